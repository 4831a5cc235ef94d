// Player profiles and their file, and what every player file shares
// (common/userfile.h), shown through the profiles: each way a file fails
// to read told apart, a broken file kept aside, and saves that write only
// under their lock, in an order a power cut cannot undo.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/playerprofile.h"
#include "common/userfile.h"
#include "filesystemshim.h"
#include "korvu.h"
#include "replacefile.h"
#include "testsupport.h"

using glimro::PlayerProfile;
using glimro::PlayerProfileBank;
using glimro::UserFile;
using korvu_test::makeTempDir;
using korvu_test::readFile;
using korvu_test::writeFile;

namespace {

PlayerProfile* profile(const std::string& name) {
  PlayerProfile* p = new PlayerProfile();
  p->name = name;
  return p;
}

std::string nested(const std::string& root, int levels) {
  std::string text = "<" + root + ">";
  for (int i = 1; i < levels; ++i) text += "<p>";
  for (int i = 1; i < levels; ++i) text += "</p>";
  return text + "</" + root + ">";
}

// The game's temporaries.
int temporariesIn(const std::string& dir) {
  int count = 0;
  if (DIR* folder = opendir(dir.c_str())) {
    while (const dirent* entry = readdir(folder)) {
      const std::string name = entry->d_name;
      count += name.find(".tmp") != std::string::npos;
    }
    closedir(folder);
  }
  return count;
}

// The names in a profiles file, in order.
std::string names(const std::string& file) {
  PlayerProfileBank back;
  back.load(file);
  std::string all;
  for (const auto& entry : back) all += entry.first + " ";
  return all;
}

bool exists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

}  // namespace

TEST(PlayerProfiles, FileKeepsTheLaterOfTwoNamesAndIsWrittenInByteOrder) {
  std::string dir = makeTempDir();
  writeFile(dir + "/profiles.xml",
            "<profiles><profile name=\"b\"/><other name=\"x\"/><profile name=\"anna\"/>"
            "<profile name=\"b\" color=\"1\"/><profile/></profiles>");
  PlayerProfileBank bank;
  bank += profile("Zed");
  bank.load(dir + "/profiles.xml");  // adds to what is there
  EXPECT_EQ(bank.size(), 4u);
  for (const auto& entry : bank) EXPECT_EQ(entry.second->bank, &bank);

  const std::string odd = "Al \"Ace\" & <Co> 'n' J\xc3\xbcrgen \xe2\x98\x85";
  bank += profile(odd);
  bank.save(dir + "/profiles.xml");
  EXPECT_EQ(readFile(dir + "/profiles.xml"),
            "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" ?>\n<profiles>\n"
            "  <profile name=\"\"/>\n"
            "  <profile name=\"Al &quot;Ace&quot; &amp; &lt;Co&gt; 'n' J\xfcrgen &#9733;\"/>\n"
            "  <profile name=\"Zed\"/>\n  <profile name=\"anna\"/>\n  <profile name=\"b\"/>\n"
            "</profiles>\n");
  PlayerProfileBank back;
  back.load(dir + "/profiles.xml");
  EXPECT_EQ(back.size(), 5u);
  EXPECT_NE(back.find(odd), back.end());
}

TEST(PlayerProfiles, BadFilesAndFailedSaves) {
  std::string dir = makeTempDir();
  writeFile(dir + "/wrong.xml", "<settings><profile name=\"y\"/></settings>");
  writeFile(dir + "/broken.xml", "<profiles><profile name=\"z\"></profiles>");
  PlayerProfileBank bank;
  EXPECT_THROW(bank.load(dir + "/wrong.xml"), std::string);
  EXPECT_THROW(bank.load(dir + "/broken.xml"), std::string);
  EXPECT_THROW(bank.load(dir + "/missing.xml"), std::string);
  EXPECT_TRUE(bank.empty());
  // At start-up a missing file is no profiles yet; one that cannot be read
  // is kept aside by the first save, so creating a profile does not
  // replace the old ones.
  bank.loadAtStart(dir + "/missing.xml");
  testing::internal::CaptureStdout();
  bank.loadAtStart(dir + "/broken.xml");
  EXPECT_NE(testing::internal::GetCapturedStdout().find(
                "It is kept aside when the player profiles are next saved, and a new file is written in its place."),
            std::string::npos);
  EXPECT_TRUE(bank.empty());
  bank += profile("a");
  bank.save(dir + "/broken.xml");
  EXPECT_EQ(readFile(dir + "/broken.xml.broken"), "<profiles><profile name=\"z\"></profiles>");

  // A folder where each temporary would go makes the write fail.
  korvu_test::FileSystemShim shim;
  shim.predictableNames = true;
  writeFile(dir + "/p.xml", "old");
  ASSERT_EQ(mkdir(korvu_test::temporaryOf(dir + "/p.xml").c_str(), 0755), 0);
  EXPECT_THROW(bank.save(dir + "/p.xml"), std::string);
  EXPECT_EQ(readFile(dir + "/p.xml"), "old");
}

// A file beyond the size limit is refused unparsed, named and kept aside.
TEST(PlayerProfiles, FilesBeyondTheSizeLimitAreRefusedAndKeptAside) {
  const std::string file = makeTempDir() + "/profiles.xml";
  const std::string text = "<profiles>" + std::string(glimro::USER_FILE_LIMIT, ' ') + "</profiles>";
  writeFile(file, text);
  testing::internal::CaptureStdout();
  PlayerProfileBank bank;
  bank.loadAtStart(file);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("\"" + file + "\": The file is larger than 4194304 bytes"),
            std::string::npos);
  bank.save(file);
  EXPECT_EQ(readFile(file + ".broken"), text);
}

// A file the player may not open (mode 000) or a link loop stays as it is,
// its reason logged, and no save replaces it.
TEST(PlayerProfiles, FilesThatDoNotOpenStayAndAreNotWritten) {
  const std::string dir = makeTempDir(), locked = dir + "/profiles.xml", loop = dir + "/loop.xml";
  ASSERT_EQ(chmod(dir.c_str(), 0777), 0);
  writeFile(locked, "<profiles/>");
  ASSERT_EQ(chmod(locked.c_str(), 0), 0);
  ASSERT_EQ(symlink(loop.c_str(), loop.c_str()), 0);
  const korvu_test::ChildResult child = korvu_test::runUnprivileged([&] {
    for (const std::string& file : {locked, loop}) {
      PlayerProfileBank bank;
      bank.loadAtStart(file);
      bank += profile("Bo");
      EXPECT_THROW(bank.save(file), std::string);
      if (testing::Test::HasFailure()) std::printf("written: %s\n", file.c_str());
    }
  });
  ASSERT_EQ(child.exitStatus, 0) << child.out << child.err;
  EXPECT_NE(child.out.find("profiles from \"" + locked + "\": Permission denied"), std::string::npos) << child.out;
  EXPECT_NE(child.out.find("profiles from \"" + loop + "\": Too many levels of symbolic links"), std::string::npos);
  EXPECT_EQ(child.out.find("written:"), std::string::npos) << child.out;
  struct stat info;
  EXPECT_TRUE(stat(locked.c_str(), &info) == 0 && (info.st_mode & 07777) == 0);
  EXPECT_EQ(readFile(locked), "<profiles/>");
  EXPECT_TRUE(lstat(loop.c_str(), &info) == 0 && S_ISLNK(info.st_mode));
  for (const std::string& aside : {locked + ".broken", loop + ".broken"}) EXPECT_NE(lstat(aside.c_str(), &info), 0);
}

TEST(PlayerProfiles, ElementReadingAndDirectDeletion) {
  PlayerProfile p;
  p.name = "old";
  korvu::xml::Node bare;
  p.getFromNode(&bare);  // no name attribute: the name stays
  EXPECT_EQ(p.name, "old");
  EXPECT_EQ(std::unique_ptr<korvu::xml::Node>(p.buildDomTree())->toString(0), "<profile name=\"old\"/>\n");

  PlayerProfileBank bank;
  PlayerProfile* gone = profile("gone");
  bank += gone;
  delete gone;  // leaves the bank instead of leaving a dangling entry
  EXPECT_TRUE(bank.empty());
}

// What the start-up read finds, and what becomes of the file: nothing that
// is no regular file is opened or waited on, the read moves nothing, and
// only a file that opened and did not read is kept aside, by the next save.
// A link is read through but never written through or replaced.
TEST(UserFile, EachWayAFileFailsIsToldApartAndOnlyUnreadableOnesKeptAside) {
  const std::string dir = makeTempDir();
  writeFile(dir + "/good.xml", nested("profiles", glimro::USER_FILE_DEPTH));
  writeFile(dir + "/deep.xml", nested("profiles", glimro::USER_FILE_DEPTH + 1));
  writeFile(dir + "/broken.xml", "<profiles>");
  writeFile(dir + "/other.xml", "<settings/>");
  ASSERT_EQ(symlink((dir + "/loop.xml").c_str(), (dir + "/loop.xml").c_str()), 0);
  ASSERT_EQ(mkfifo((dir + "/fifo.xml").c_str(), 0644), 0);
  ASSERT_EQ(symlink((dir + "/fifo.xml").c_str(), (dir + "/tofifo.xml").c_str()), 0);
  ASSERT_EQ(mkdir((dir + "/folder.xml").c_str(), 0755), 0);
  ASSERT_EQ(symlink("/unmounted/profiles.xml", (dir + "/dangling.xml").c_str()), 0);
  ASSERT_EQ(symlink("good.xml", (dir + "/linked.xml").c_str()), 0);
  const std::string kept = "It is kept aside when the player profiles are next saved";
  struct Case {
    const char* name;
    UserFile::State state;
    std::string reason;
  };
  const Case cases[] = {
      {"good.xml", UserFile::READ, ""},
      {"linked.xml", UserFile::READ, ""},
      {"none.xml", UserFile::MISSING, "there is no such file."},
      {"loop.xml", UserFile::UNOPENED, "Too many levels of symbolic links. It is left as it is"},
      {"dangling.xml", UserFile::UNOPENED,
       "it is a link to \"/unmounted/profiles.xml\", which is missing. It is left as it is"},
      {"fifo.xml", UserFile::NOT_REGULAR, "it is not a regular file. It is left as it is"},
      {"tofifo.xml", UserFile::NOT_REGULAR, "it is not a regular file. It is left as it is"},
      {"folder.xml", UserFile::NOT_REGULAR, "it is not a regular file. It is left as it is"},
      {"broken.xml", UserFile::BROKEN, "no element found. " + kept},
      {"deep.xml", UserFile::BROKEN, "Its elements nest deeper than 64 levels. " + kept},
      {"other.xml", UserFile::OTHER_ROOT, "its root element is \"settings\", not \"profiles\". " + kept},
  };
  PlayerProfileBank bank;
  bank += profile("Bo");
  for (const Case& c : cases) {
    const std::string file = dir + "/" + c.name;
    UserFile profiles = PlayerProfileBank::userFile(file);
    const bool read = profiles.load() != nullptr;
    EXPECT_EQ(read, c.state == UserFile::READ) << c.name;
    EXPECT_EQ(profiles.state, c.state) << c.name;
    if (c.state != UserFile::READ) {
      EXPECT_EQ(profiles.problem.rfind("Could not read the player profiles from \"" + file + "\": " + c.reason, 0), 0u)
          << profiles.problem;
    }
    EXPECT_EQ(exists(file), c.state != UserFile::MISSING) << c.name;
    const bool unreadable = c.state == UserFile::BROKEN || c.state == UserFile::OTHER_ROOT;
    // A save replaces only what it could read, or keeps it aside first.
    if (c.state == UserFile::UNOPENED || c.state == UserFile::NOT_REGULAR || c.name == std::string("linked.xml")) {
      EXPECT_THROW(bank.save(file), UserFile::Refused) << c.name;
    } else {
      const std::string before = readFile(file);
      EXPECT_NO_THROW(bank.save(file)) << c.name;
      if (unreadable) {
        EXPECT_EQ(readFile(file + ".broken"), before) << c.name;
      }
    }
    EXPECT_EQ(exists(file + ".broken"), unreadable) << c.name;
  }
  // Both links alike: neither is replaced, and the message says why.
  const std::string good = readFile(dir + "/good.xml");
  for (const char* name : {"dangling.xml", "linked.xml"}) {
    try {
      bank.save(dir + "/" + name);
      ADD_FAILURE() << "saved through the link " << name;
    } catch (const UserFile::Refused& refusal) {
      EXPECT_NE(refusal.find("and the game neither writes through a link nor replaces one"), std::string::npos);
    }
    struct stat info;
    EXPECT_TRUE(lstat((dir + "/" + name).c_str(), &info) == 0 && S_ISLNK(info.st_mode)) << name;
  }
  EXPECT_EQ(readFile(dir + "/good.xml"), good);
}

// A save is on disk once it returns, and a power cut at any moment leaves
// the old file or the whole new one: the temporary is synced before it is
// renamed over the file, and the folder after, also where the file is made,
// all under the lock. A broken file is kept aside first, under the first
// free ".broken" name, as a hard link or, where there are none, a copy, and
// never over an earlier one; a save that cannot keep it fails, saying so,
// and leaves it.
TEST(UserFile, KeepsAsideAndReplacesInAnOrderAPowerCutCannotUndo) {
  const std::string dir = makeTempDir(), file = dir + "/profiles.xml";
  PlayerProfileBank bank;
  bank += profile("Bo");
  struct Case {
    const char* before;  // null: no file
    int linkError;
    const char* steps;
  };
  const Case cases[] = {{nullptr, 0, "frd"},      {"<profiles/>", 0, "frd"},      {".broken", 0, "ldfrd"},
                        {".broken.1", 0, "ldfrd"}, {".broken.2", EPERM, "fdfrd"}};
  for (const Case& c : cases) {
    if (c.before) writeFile(file, c.before);
    korvu_test::FileSystemShim shim;
    shim.linkError = c.linkError;
    shim.beforeRename = [&file](const std::string&) {
      const korvu::Descriptor other(open((file + ".lock").c_str(), O_RDONLY));
      ASSERT_GE(other.get(), 0) << "no lock file at the rename";
      EXPECT_NE(flock(other.get(), LOCK_EX | LOCK_NB), 0) << "the lock is not held at the rename";
      EXPECT_EQ(errno, EWOULDBLOCK) << "the lock is not held at the rename";
    };
    bank.save(file);
    EXPECT_EQ(shim.steps, c.steps) << (c.before ? c.before : "no file");
    EXPECT_EQ(names(file), "Bo ");
  }
  for (const char* suffix : {".broken", ".broken.1", ".broken.2"}) EXPECT_EQ(readFile(file + suffix), suffix);

  // Where it cannot be kept, or is kept under a name whose folder then
  // cannot be synced, the save fails, saying which, and leaves it.
  writeFile(file, "<profiles>");
  const std::string aside = "\"" + file + ".broken.3\"";
  const struct {
    int linkError, syncError;
    std::string said;
  } failures[] = {{EACCES, 0, "the unreadable file could not be kept aside as " + aside + ": Permission denied"},
                  {0, EIO, "the unreadable file is kept as " + aside + ", but its folder could not be synced to disk "
                           "(Input/output error), so the file is left as it was"}};
  for (const auto& f : failures) {
    korvu_test::FileSystemShim shim;
    shim.linkError = f.linkError;
    shim.folderSyncError = f.syncError;
    try {
      bank.save(file);
      ADD_FAILURE() << "saved over a file it could not keep: " << f.said;
    } catch (const std::string& failure) {
      EXPECT_EQ(failure, f.said);
    }
  }
  EXPECT_EQ(readFile(file), "<profiles>");
  // Kept, and then the write fails: the next save finds it kept already,
  // and syncs its folder before the replace, as the first try does.
  korvu_test::FileSystemShim shim;
  shim.predictableNames = true;
  ASSERT_EQ(mkdir(korvu_test::temporaryOf(file).c_str(), 0755), 0);
  EXPECT_THROW(bank.save(file), std::string);
  ASSERT_EQ(rmdir(korvu_test::temporaryOf(file).c_str()), 0);
  shim.steps.clear();
  bank.save(file);
  EXPECT_EQ(shim.steps, "dfrd");
  EXPECT_EQ(readFile(file + ".broken.3"), "<profiles>");
  EXPECT_FALSE(exists(file + ".broken.4"));
  EXPECT_EQ(temporariesIn(dir), 0);
  // A folder that cannot be synced after the rename fails the save as
  // written but not sure to outlive a cut.
  shim.folderSyncError = EIO;
  bank += profile("Cy");
  try {
    bank.save(file);
    ADD_FAILURE() << "a save that may not outlive a power cut is called done";
  } catch (const korvu::NotSynced& failure) {
    EXPECT_EQ(failure, "\"" + file + "\" holds the save, but its folder could not be synced to disk (Input/output "
                       "error), so a power cut may undo it");
  }
  EXPECT_EQ(names(file), "Bo Cy ");
}

// Another process holds the lock (a copy of the game stopped in the middle
// of its save): a save waits 2 s for it, a quit signal or not, then writes
// nothing and says why; once the lock is free, the save goes through. A
// lock file that is a link or no regular file refuses the save and makes
// nothing where it leads.
TEST(UserFile, ASaveWritesOnlyUnderItsLock) {
  const std::string dir = makeTempDir(), outside = makeTempDir(), file = dir + "/profiles.xml";
  writeFile(file, "<profiles><profile name=\"Ann\"/></profiles>");
  const std::string before = readFile(file);
  PlayerProfileBank bank;
  bank += profile("Bo");
  {
    korvu_test::LockHolder holder(file + ".lock");
    const korvu_test::ChildResult waiting = korvu_test::runInChild([&] {
      korvu::init(0, true);
      std::thread signal([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        kill(getpid(), SIGTERM);
      });
      const auto start = std::chrono::steady_clock::now();
      try {
        bank.save(file);
        std::printf("saved\n");
      } catch (const std::string& reason) {
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        std::printf("refused after %.1f s: %s\n", took.count(), reason.c_str());
      }
      signal.join();
    });
    const size_t said = waiting.out.find("refused after ");
    ASSERT_NE(said, std::string::npos) << waiting.out;
    const double waited = std::stod(waiting.out.substr(said + 14));
    EXPECT_TRUE(waited > 1.9 && waited < 3.5) << waiting.out;
    EXPECT_NE(waiting.out.find(" s: its lock \"" + file + ".lock\" was held by other processes (another copy of the game "
                               "saving it, or another program) for all of the 2 s a save waits\n"),
              std::string::npos)
        << waiting.out;
    EXPECT_EQ(readFile(file), before);
    EXPECT_EQ(temporariesIn(dir), 0);
  }
  bank.save(file);
  EXPECT_EQ(names(file), "Ann Bo ");

  ASSERT_EQ(rename((file + ".lock").c_str(), (outside + "/lock").c_str()), 0);
  ASSERT_EQ(symlink((outside + "/made").c_str(), (file + ".lock").c_str()), 0);
  bank += profile("Cy");
  for (const char* why : {"is a link, which the game does not follow", "is not a regular file"}) {
    try {
      bank.save(file);
      ADD_FAILURE() << "saved without the lock";
    } catch (const std::string& reason) {
      EXPECT_EQ(reason, "its lock \"" + file + ".lock\" " + why);
    }
    ASSERT_EQ(unlink((file + ".lock").c_str()), 0);
    ASSERT_EQ(mkfifo((file + ".lock").c_str(), 0644), 0);
  }
  EXPECT_FALSE(exists(outside + "/made"));
  EXPECT_EQ(names(file), "Ann Bo ");
}

// What saves that died left goes at the next save: under the lock, every
// file that the game names its temporaries by; where locks fail, only
// those over an hour old, as another copy may be writing a newer one. A
// file whose name only looks like one stays. Without locks, the save goes
// on, and says once, in the log and for the player, that two copies are
// not kept apart there.
TEST(UserFile, LeftTemporariesGoAndNothingElse) {
  const std::string dir = makeTempDir(), file = dir + "/profiles.xml";
  const std::vector<std::string> left = {".0123456789abcdef.tmp", ".fedcba9876543210.live", ".00000000000000aa.tmp"};
  const std::vector<std::string> players = {".tmp",      ".1.tmp",     ".2024.tmp", ".bad.tmp", ".0123.tmp",
                                            ".0123456789abcde.tmp",    ".0123456789ABCDEF.tmp",
                                            ".0123456789abcdef.tmp.tmp", "x.0123456789abcdef.tmp"};
  for (const std::string& name : players) writeFile(file + name, "the player's");
  for (const std::string& name : left) writeFile(file + name, "<profiles><profile name=\"Dead\"/></profiles>");
  PlayerProfileBank bank;
  bank += profile("Bo");
  bank.save(file);
  for (const std::string& name : left) EXPECT_FALSE(exists(file + name)) << name;
  for (const std::string& name : players) EXPECT_EQ(readFile(file + name), "the player's") << name;
  EXPECT_EQ(names(file), "Bo ");

  const korvu_test::ChildResult unlocked = korvu_test::runInChild([&] {
    for (size_t i = 0; i < left.size(); ++i) {
      writeFile(file + left[i], "");
      // The first two are two hours old.
      const timespec old[2] = {{time(nullptr) - 7200, 0}, {time(nullptr) - 7200, 0}};
      if (i < 2) utimensat(AT_FDCWD, (file + left[i]).c_str(), old, 0);
    }
    korvu_test::FileSystemShim shim;
    shim.flockError = ENOLCK;
    bank += profile("Cy");
    bank.save(file);
    std::printf("for the player: %s\n", std::exchange(UserFile::unlockedNotice, "").c_str());
    bank.save(file);
    std::printf("for the player: %s\n", UserFile::unlockedNotice.c_str());
  });
  EXPECT_EQ(unlocked.exitStatus, 0) << unlocked.err;
  const std::string told = "Could not lock \"" + file + ".lock\" (No locks available): the game saves there "
                           "without locks, so two copies of the game on that folder may overwrite each other's "
                           "saves where their saves overlap.\n";
  // Once in the log, once for the player, and no more.
  const size_t logged = unlocked.out.find("(warning) " + told), shown = unlocked.out.find("for the player: " + told);
  EXPECT_TRUE(logged != std::string::npos && shown != std::string::npos) << unlocked.out;
  EXPECT_EQ(unlocked.out.find(told, std::max(logged, shown) + told.size()), std::string::npos) << unlocked.out;
  EXPECT_NE(unlocked.out.find("for the player: \n"), std::string::npos) << unlocked.out;
  EXPECT_EQ(names(file), "Bo Cy ");
  for (size_t i = 0; i < left.size(); ++i) EXPECT_EQ(exists(file + left[i]), i >= 2) << left[i];
  for (const std::string& name : players) EXPECT_EQ(readFile(file + name), "the player's") << name;
}
