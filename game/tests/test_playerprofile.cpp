#include <sys/stat.h>

#include <memory>
#include <string>

#include "playerprofile.h"
#include "testsupport.h"

using glimro::PlayerProfile;
using glimro::PlayerProfileBank;
using korvu_test::makeTempDir;
using korvu_test::readFile;
using korvu_test::writeFile;

namespace {

const std::string DECL = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" ?>\n";

PlayerProfile* profile(const std::string& name) {
  PlayerProfile* p = new PlayerProfile();
  p->name = name;
  return p;
}

}  // namespace

TEST(PlayerProfiles, FileReadKeepsTheLaterOfTwoNamesAndWritesSorted) {
  std::string dir = makeTempDir();
  writeFile(dir + "/profiles.xml",
            "<profiles><profile name=\"b\"/><other name=\"x\"/><profile name=\"a\"/>"
            "<profile name=\"b\" color=\"1\"/><profile/></profiles>");
  PlayerProfileBank bank;
  bank.load(dir + "/profiles.xml");
  ASSERT_EQ(bank.size(), 3u);
  EXPECT_NE(bank.find(""), bank.end());  // a profile without a name is named ""
  for (const auto& entry : bank) EXPECT_EQ(entry.second->bank, &bank);

  bank.save(dir + "/profiles.xml");
  EXPECT_EQ(readFile(dir + "/profiles.xml"),
            DECL + "<profiles>\n  <profile name=\"\"/>\n  <profile name=\"a\"/>\n  <profile name=\"b\"/>\n</profiles>\n");
}

TEST(PlayerProfiles, NamesRoundTripAndSortByteWise) {
  std::string dir = makeTempDir();
  PlayerProfileBank bank;
  const std::string odd = "Al \"Ace\" & <Co> 'n' J\xc3\xbcrgen \xe2\x98\x85";
  bank += profile("anna");
  bank += profile("Zed");
  bank += profile(odd);
  bank.save(dir + "/p.xml");

  const std::string text = readFile(dir + "/p.xml");
  EXPECT_LT(text.find("\"Zed\""), text.find("\"anna\""));
  EXPECT_NE(text.find("name=\"Al &quot;Ace&quot; &amp; &lt;Co&gt; 'n' J\xfcrgen &#9733;\""), std::string::npos)
      << text;

  PlayerProfileBank back;
  back.load(dir + "/p.xml");
  ASSERT_EQ(back.size(), 3u);
  EXPECT_NE(back.find(odd), back.end());
  EXPECT_NE(back.find("Zed"), back.end());
}

TEST(PlayerProfiles, LoadingAddsWithoutClearingAndIgnoresOtherRoots) {
  std::string dir = makeTempDir();
  writeFile(dir + "/one.xml", "<profiles><profile name=\"x\"/></profiles>");
  writeFile(dir + "/wrong.xml", "<settings><profile name=\"y\"/></settings>");
  PlayerProfileBank bank;
  bank += profile("kept");
  bank.load(dir + "/one.xml");
  bank.load(dir + "/wrong.xml");
  EXPECT_EQ(bank.size(), 2u);
  EXPECT_EQ(bank.find("y"), bank.end());

  try {
    bank.load(dir + "/missing.xml");
    ADD_FAILURE() << "no failure";
  } catch (const std::string& message) {
    EXPECT_EQ(message, "Could not open XML file");
  }
  writeFile(dir + "/broken.xml", "<profiles><profile name=\"z\"></profiles>");
  EXPECT_THROW(bank.load(dir + "/broken.xml"), std::string);
  EXPECT_EQ(bank.size(), 2u);
}

TEST(PlayerProfiles, ProfileNodeAndBankMembership) {
  PlayerProfile p;
  EXPECT_EQ(p.bank, nullptr);
  EXPECT_TRUE(p.name.empty());
  p.name = "old";
  korvu::xml::Node bare;
  p.getFromNode(&bare);
  EXPECT_EQ(p.name, "old");
  std::unique_ptr<korvu::xml::Node> built(p.buildDomTree());
  EXPECT_EQ(built->toString(0), "<profile name=\"old\"/>\n");

  // Deleting a profile that sits in a bank takes it out of the bank.
  PlayerProfileBank bank;
  PlayerProfile* gone = profile("gone");
  bank += gone;
  bank += profile("stays");
  delete gone;
  EXPECT_EQ(bank.size(), 1u);
  EXPECT_EQ(bank.find("gone"), bank.end());
}

TEST(PlayerProfiles, FailedSaveIsReportedAndKeepsTheFile) {
  std::string dir = makeTempDir();
  writeFile(dir + "/p.xml", "old");
  // A directory where the temporary file would go makes the write fail.
  ASSERT_EQ(mkdir((dir + "/p.xml.tmp").c_str(), 0755), 0);
  PlayerProfileBank bank;
  bank += profile("a");
  EXPECT_THROW(bank.save(dir + "/p.xml"), std::string);
  EXPECT_EQ(readFile(dir + "/p.xml"), "old");
}
