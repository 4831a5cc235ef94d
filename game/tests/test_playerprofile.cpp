#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "common/playerprofile.h"
#include "testsupport.h"

using glimro::PlayerProfile;
using glimro::PlayerProfileBank;
using korvu_test::makeTempDir;
using korvu_test::readFile;
using korvu_test::writeFile;

namespace {

PlayerProfile* profile(const std::string& name) {
  PlayerProfile* p = new PlayerProfile();
  p->name = name;
  return p;
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
  // is kept aside, so creating a profile does not replace the old ones.
  bank.loadOrKeepAside(dir + "/missing.xml");
  testing::internal::CaptureStdout();
  bank.loadOrKeepAside(dir + "/broken.xml");
  EXPECT_NE(testing::internal::GetCapturedStdout().find("broken.xml.broken"), std::string::npos);
  EXPECT_TRUE(bank.empty());
  EXPECT_EQ(readFile(dir + "/broken.xml.broken"), "<profiles><profile name=\"z\"></profiles>");

  // A directory where the temporary file would go makes the write fail.
  writeFile(dir + "/p.xml", "old");
  ASSERT_EQ(mkdir((dir + "/p.xml.tmp").c_str(), 0755), 0);
  bank += profile("a");
  EXPECT_THROW(bank.save(dir + "/p.xml"), std::string);
  EXPECT_EQ(readFile(dir + "/p.xml"), "old");
}

// A file beyond the size limit is refused unparsed, named and kept aside.
TEST(PlayerProfiles, FilesBeyondTheSizeLimitAreRefusedAndKeptAside) {
  const std::string file = makeTempDir() + "/profiles.xml";
  const std::string text = "<profiles>" + std::string(glimro::USER_FILE_LIMIT, ' ') + "</profiles>";
  writeFile(file, text);
  testing::internal::CaptureStdout();
  PlayerProfileBank().loadOrKeepAside(file);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("\"" + file + "\": The file is larger than 4194304 bytes"),
            std::string::npos);
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
      bank.loadOrKeepAside(file);
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
