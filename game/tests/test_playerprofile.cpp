// Player profiles and their file, and what every player file shares
// (common/userfile.h), shown through the profiles: each way a file fails
// to read told apart, a broken file kept aside only while it is the file
// that failed, and saves that neither a held lock nor a planted link can
// stop or lead astray.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "common/playerprofile.h"
#include "common/userfile.h"
#include "filesystemshim.h"
#include "korvu.h"
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

// Temporaries and their companions.
int temporariesIn(const std::string& dir) {
  int count = 0;
  if (DIR* folder = opendir(dir.c_str())) {
    while (const dirent* entry = readdir(folder)) {
      const std::string name = entry->d_name;
      count += name.find(".tmp") != std::string::npos || name.find(".live") != std::string::npos;
    }
    closedir(folder);
  }
  return count;
}

// Another copy of the game saving a profiles file with one profile, without
// the lock: a new file renamed over it. Made the instant before this
// process's next rename, whatever it renames: after any look it takes.
void anotherCopySaves(const std::string& file, const std::string& name) {
  writeFile(file + ".other", "<profiles><profile name=\"" + name + "\"/></profiles>");
  EXPECT_EQ(rename((file + ".other").c_str(), file.c_str()), 0);
}
void beforeNextRename(korvu_test::FileSystemShim& shim, const std::string& file, const std::string& name) {
  shim.beforeRename = [&shim, file, name](const std::string&) {
    shim.beforeRename = nullptr;
    anotherCopySaves(file, name);
  };
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
    } catch (const UserFile::Refused& refusal) {
      EXPECT_NE(refusal.find("and the game neither writes through a link nor replaces one"), std::string::npos);
    }
    struct stat info;
    EXPECT_TRUE(lstat((dir + "/" + name).c_str(), &info) == 0 && S_ISLNK(info.st_mode)) << name;
  }
  EXPECT_EQ(readFile(dir + "/good.xml"), good);
}

// Another copy may replace a broken file with a good one between this
// copy's read and its keeping aside: the good file is merged, and nothing
// is kept. Each file kept aside takes the next free name, so none replaces
// another, and one that cannot be kept stays where it is.
TEST(UserFile, KeepsAsideOnlyTheFileThatFailedAndNeverOverAnEarlierOne) {
  const std::string dir = makeTempDir();
  const std::string file = dir + "/profiles.xml";
  writeFile(file, "<profiles>");
  PlayerProfileBank bank;
  bank += profile("Bo");
  bool replaced = false;
  PlayerProfileBank::userFile(file).save([&](const korvu::xml::Node* onDisk) {
    if (!replaced) anotherCopySaves(file, "Good");
    replaced = true;
    bank.getFromNode(onDisk);
    return bank.buildDomTree();
  });
  EXPECT_FALSE(exists(file + ".broken"));
  EXPECT_NE(readFile(file).find("Good"), std::string::npos);
  // The same the instant after the look, before anything is renamed: the
  // broken file is kept, the good one merged.
  writeFile(file, "<profiles>");
  {
    korvu_test::FileSystemShim shim;
    beforeNextRename(shim, file, "Later");
    bank.save(file);
  }
  EXPECT_EQ(readFile(file + ".broken"), "<profiles>");
  EXPECT_NE(readFile(file).find("Later"), std::string::npos);
  ASSERT_EQ(unlink((file + ".broken").c_str()), 0);

  // The last where the file system has no hard links: kept as a copy.
  for (const char* suffix : {".broken", ".broken.1", ".broken.2"}) {
    writeFile(file, suffix);
    korvu_test::FileSystemShim shim;
    shim.linkError = suffix == std::string(".broken.2") ? EPERM : 0;
    bank.save(file);
  }
  for (const char* suffix : {".broken", ".broken.1", ".broken.2"}) EXPECT_EQ(readFile(file + suffix), suffix);

  // Where it cannot be kept, the save fails, saying so, and leaves it.
  writeFile(file, "<profiles>");
  korvu_test::FileSystemShim shim;
  shim.linkError = EACCES;
  try {
    bank.save(file);
    ADD_FAILURE() << "saved over a file it could not keep";
  } catch (const std::string& failure) {
    EXPECT_EQ(failure.rfind("the unreadable file could not be kept aside as \"", 0), 0u) << failure;
  }
  EXPECT_EQ(readFile(file), "<profiles>");
  EXPECT_EQ(temporariesIn(dir), 0);
}

// The step that puts a save in place knows what it displaced: a file that
// another copy saved after this one read (the other copy stopped between
// its look and its rename, or a slow disk) is merged, also where the file
// was absent, and on file systems that cannot swap two files or refuse a
// rename over a file. The folder is synced after each step, so that a
// power cut loses nothing a save returned from; a file system without locks
// stops no save.
TEST(UserFile, ASaveMergesWhateverItsReplaceDisplaced) {
  const std::string dir = makeTempDir();
  struct Case {
    const char* what;
    unsigned refused;  // renameat2 flags the file system lacks
    bool absent;
    int linkError;  // EPERM: no hard links either
  };
  const Case cases[] = {{"swap", 0, false, 0},
                        {"swap, absent", 0, true, 0},
                        {"no swap", RENAME_EXCHANGE, false, 0},
                        {"no refusing rename, absent", RENAME_NOREPLACE, true, 0},
                        {"no refusing rename nor links, absent", RENAME_NOREPLACE, true, EPERM}};
  int n = 0;
  for (const Case& c : cases) {
    const std::string file = dir + "/p" + std::to_string(n++) + ".xml";
    if (!c.absent) writeFile(file, "<profiles><profile name=\"Old\"/></profiles>");
    korvu_test::FileSystemShim shim;
    shim.refusedRenameFlags = c.refused;
    shim.linkError = c.linkError;
    beforeNextRename(shim, file, "Other");
    PlayerProfileBank mine;
    mine += profile("Mine");
    mine.save(file);
    EXPECT_EQ(names(file), c.absent ? "Mine Other " : "Mine Old Other ") << c.what;
    EXPECT_EQ(temporariesIn(dir), 0) << c.what;
  }

  // A save that fails after it displaced the other copy's file (here its
  // next temporary cannot be made), and one killed there, leave that file
  // at the temporary's name; the next save merges it, and what a killed
  // save left cut short goes.
  {
    const std::string file = dir + "/left.xml";
    writeFile(file, "<profiles><profile name=\"Old\"/></profiles>");
    {
      korvu_test::FileSystemShim shim;
      shim.predictableNames = true;  // the next round's name is the displaced file's
      beforeNextRename(shim, file, "Other");
      PlayerProfileBank mine;
      mine += profile("Mine");
      EXPECT_THROW(mine.save(file), std::string);
    }
    EXPECT_EQ(names(file), "Mine Old ");
    // Saves killed after their swap: what their companions record tells
    // another copy's file (merged) from the file they read, and a text
    // never swapped, of which nobody was told (both removed).
    const auto killed = [&file](const std::string& id, const std::string& name, bool displacedTheRead) {
      writeFile(file + "." + id + ".tmp", "<profiles><profile name=\"" + name + "\"/></profiles>");
      struct stat at;
      ASSERT_EQ(stat((file + "." + id + ".tmp").c_str(), &at), 0);
      char record[200];
      std::snprintf(record, sizeof record, "1\n%llu %lld %lld %lld\n",
                    static_cast<unsigned long long>(displacedTheRead ? at.st_ino : 1),
                    static_cast<long long>(at.st_size), static_cast<long long>(at.st_mtim.tv_sec),
                    static_cast<long long>(at.st_mtim.tv_nsec));
      writeFile(file + "." + id + ".live", id == "eeee" ? "" : record);
    };
    // One killed for real, the instant after its swap displaced another
    // copy's file.
    const korvu_test::ChildResult dying = korvu_test::runInChild([&] {
      korvu_test::FileSystemShim shim;
      beforeNextRename(shim, file, "Swapped");
      shim.afterRename = [](const std::string&) { _exit(0); };
      PlayerProfileBank bank;
      bank += profile("Dying");
      bank.save(file);
    });
    EXPECT_EQ(names(file), "Dying Mine Old ") << dying.out;
    killed("cccc", "Killed", false);
    killed("aaaa", "Stale", true);
    killed("eeee", "Unsaved", false);
    writeFile(file + ".dd.tmp", "<profiles><profile na");
    PlayerProfileBank next;
    next += profile("Next");
    next.save(file);
    EXPECT_EQ(names(file), "Dying Killed Mine Next Old Other Swapped ");
    EXPECT_EQ(temporariesIn(dir), 0);
  }

  // Files displaced to a temporary's name are their displacer's while it
  // lives. Another copy's file X comes in after this one read. (a) This
  // swap displaces X, and another copy's clean-up runs in the folder sync
  // after it (a slow disk): X is still there to merge. (b) A third copy's
  // swap displaced X to its temporary name first: this save's own clean-up
  // leaves X to that copy, which holds its companion.
  for (const bool third : {false, true}) {
    const std::string file = dir + (third ? "/third.xml" : "/slow.xml");
    const std::string thirdName = file + ".bbbbbbbbbbbbbbbb";
    writeFile(file, "<profiles><profile name=\"Old\"/></profiles>");
    korvu_test::FileSystemShim shim;
    korvu::Descriptor companion(open((thirdName + ".live").c_str(), O_RDONLY | O_CREAT, 0644));
    flock(companion.get(), LOCK_EX);
    PlayerProfileBank mine;
    mine += profile("Mine");
    bool first = true;
    PlayerProfileBank::userFile(file).save([&](const korvu::xml::Node* onDisk) {
      if (first) anotherCopySaves(file, "X");
      if (first && third) {
        shim.beforeRename = [&](const std::string&) {
          shim.beforeRename = nullptr;
          writeFile(thirdName + ".tmp", "<profiles><profile name=\"Three\"/></profiles>");
          EXPECT_EQ(renameat2(AT_FDCWD, (thirdName + ".tmp").c_str(), AT_FDCWD, file.c_str(), RENAME_EXCHANGE), 0);
        };
      } else if (first) {
        shim.afterRename = [&](const std::string&) {
          shim.afterRename = nullptr;
          const korvu::TemporaryFile cleanUp(file, "");
        };
      }
      first = false;
      mine.getFromNode(onDisk);
      return mine.buildDomTree();
    });
    EXPECT_EQ(names(file), third ? "Mine Old Three " : "Mine Old X ");
    EXPECT_EQ(readFile(thirdName + ".tmp").find("X") != std::string::npos, third);
  }

  // One folder sync for each step that put a file in place or kept one
  // aside: a replace, a creation, a keeping aside and its replace.
  const std::string file = dir + "/synced.xml";
  PlayerProfileBank bank;
  bank += profile("Ann");
  for (unsigned expected : {1u, 1u, 2u}) {
    if (expected == 2) writeFile(file, "<profiles>");
    korvu_test::FileSystemShim shim;
    bank.save(file);
    EXPECT_EQ(shim.folderSyncs, expected);
  }

  // No locks here at all: the save goes on, says why, and leaves nothing.
  korvu_test::FileSystemShim shim;
  shim.flockError = ENOLCK;
  bank += profile("Cy");
  testing::internal::CaptureStdout();
  EXPECT_NO_THROW(bank.save(file));
  const std::string log = testing::internal::GetCapturedStdout();
  EXPECT_NE(log.find("(No locks available); saving without it."), std::string::npos) << log;
  EXPECT_NE(log.find(".tmp\" is written unlocked."), std::string::npos) << log;
  EXPECT_EQ(log.find("removed"), std::string::npos) << log;
  EXPECT_EQ(names(file), "Ann Cy ");
}

// A copy of the game stopped in the middle of its save holds the lock:
// another copy's save waits for it 2 s at most, or not at all once a quit
// signal came, and saves all the same. The stopped copy, going on, finds the
// file replaced and merges again, so that both saves are on file; so does a
// save whose file another copy replaces while it writes. A lock or a
// temporary file planted as a link makes nothing outside the folder and
// changes nothing there.
TEST(UserFile, AHeldOrPlantedLockAndAPlantedTemporaryNeverStopOrLeadASave) {
  using Clock = std::chrono::steady_clock;
  const auto secondsSince = [](Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
  };
  const std::string dir = makeTempDir(), outside = makeTempDir(), file = dir + "/profiles.xml";
  writeFile(file, "<profiles><profile name=\"Ann\"/></profiles>");
  PlayerProfileBank stopped, other;
  stopped += profile("Bo");
  other += profile("Cy");
  int merges = 0;
  double waited = 0;
  // flock binds one open file as it binds another process.
  const auto saveStopped = [&](const std::function<void()>& meanwhile) {
    merges = 0;
    PlayerProfileBank::userFile(file).save([&](const korvu::xml::Node* onDisk) {
      if (merges++ == 0) meanwhile();
      stopped.getFromNode(onDisk);
      return stopped.buildDomTree();
    });
  };
  testing::internal::CaptureStdout();
  saveStopped([&] {
    const Clock::time_point start = Clock::now();
    other.save(file);
    waited = secondsSince(start);
  });
  EXPECT_NE(testing::internal::GetCapturedStdout().find("Another process holds the lock \"" + file +
                                                         ".lock\"; saving without it."),
            std::string::npos);
  EXPECT_GT(waited, 1.5);
  EXPECT_LT(waited, 3.0);
  EXPECT_EQ(merges, 2);
  saveStopped([&] { writeFile(file, "<profiles><profile name=\"Di\"/></profiles>"); });
  EXPECT_EQ(merges, 2);
  PlayerProfileBank back;
  back.load(file);
  EXPECT_EQ(back.size(), 4u);

  // A quit signal ends the wait the moment it comes, also in the middle of
  // it: the game ends in order, saved.
  const int holder = open((file + ".lock").c_str(), O_RDWR | O_CREAT, 0644);
  ASSERT_EQ(flock(holder, LOCK_EX), 0);
  const korvu_test::ChildResult quitting = korvu_test::runInChild([&] {
    korvu::init(0, true);
    std::thread signal([] {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      kill(getpid(), SIGTERM);
    });
    PlayerProfileBank third;
    third += profile("Ed");
    const Clock::time_point start = Clock::now();
    third.save(file);
    std::printf("took %.3f s\n", secondsSince(start));
    signal.join();
  });
  EXPECT_EQ(quitting.exitStatus, 0) << quitting.err;
  EXPECT_NE(quitting.out.find("the game is quitting: saving without it"), std::string::npos) << quitting.out;
  const size_t took = quitting.out.find("took ");
  ASSERT_NE(took, std::string::npos) << quitting.out;
  EXPECT_LT(std::stod(quitting.out.substr(took + 5)), 1.0) << quitting.out;
  EXPECT_NE(readFile(file).find("Ed"), std::string::npos);
  close(holder);

  ASSERT_EQ(unlink((file + ".lock").c_str()), 0);
  ASSERT_EQ(symlink((outside + "/made").c_str(), (file + ".lock").c_str()), 0);
  writeFile(outside + "/kept", "not the game's");
  ASSERT_EQ(symlink((outside + "/kept").c_str(), (file + ".tmp").c_str()), 0);
  other += profile("Fay");
  other.save(file);
  EXPECT_FALSE(exists(outside + "/made"));
  EXPECT_EQ(readFile(outside + "/kept"), "not the game's");
  struct stat info;
  ASSERT_EQ(lstat(file.c_str(), &info), 0);
  EXPECT_TRUE(S_ISREG(info.st_mode));
  EXPECT_NE(readFile(file).find("Fay"), std::string::npos);
}
