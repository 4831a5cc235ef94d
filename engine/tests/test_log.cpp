#include <memory>
#include <string>
#include <vector>

#include "debug.h"
#include "testsupport.h"
#include "xml.h"

using korvu::debug::DebugLevel;
using korvu::debug::Group;
using korvu::debug::groups;

namespace {

class Log : public ::testing::Test {
 protected:
  korvu::debug::Groups saved;
  void SetUp() override {
    saved = groups;
    groups.clear();
    groups[korvu::dbgCore] = Group("korvu:core", DebugLevel::info);
    groups[korvu::dbgAudio] = Group("korvu:audio", DebugLevel::info);
    groups[1] = Group("glimro:game", DebugLevel::info);
    groups[5] = Group("glimro:game", DebugLevel::info);
  }
  void TearDown() override { groups = saved; }

  static void start() { testing::internal::CaptureStdout(); }
  static std::string written() { return testing::internal::GetCapturedStdout(); }

  // Everything the five writers put out for one group.
  static std::string allLevels(int group) {
    start();
    korvu::debug::critical(group, "c");
    korvu::debug::error(group, "e");
    korvu::debug::warning(group, "w");
    korvu::debug::info(group, "i");
    korvu::debug::debug(group, "d");
    return written();
  }

  static korvu::xml::Node* group(const char* name, const char* level) {
    korvu::xml::Node* n = new korvu::xml::Node();
    n->name = "group";
    if (name) (*n)["name"] = name;
    if (level) (*n)["level"] = level;
    return n;
  }
};

}  // namespace

TEST_F(Log, LineFormat) {
  start();
  korvu::debug::warning(korvu::dbgCore, "Quit called again.");
  korvu::debug::error(1, "%d%% of %s", 50, "laps");
  korvu::debug::critical(korvu::dbgCore, nullptr);
  EXPECT_EQ(written(), "[korvu:core] (warning) Quit called again.\n[glimro:game] (error) 50% of laps\n");

  // Longer than any fixed buffer a writer might use.
  const std::string longText(3000, 'z');
  start();
  korvu::debug::warning(korvu::dbgCore, "%s|", longText.c_str());
  EXPECT_EQ(written(), "[korvu:core] (warning) " + longText + "|\n");
}

TEST_F(Log, LevelsDecideWhatIsWritten) {
  EXPECT_EQ(allLevels(korvu::dbgCore),
            "[korvu:core] (critical) c\n[korvu:core] (error) e\n[korvu:core] (warning) w\n");
  groups[korvu::dbgCore].level = DebugLevel::debug;
  EXPECT_EQ(allLevels(korvu::dbgCore),
            "[korvu:core] (critical) c\n[korvu:core] (error) e\n[korvu:core] (warning) w\n");
  groups[korvu::dbgCore].level = DebugLevel::error;
  EXPECT_EQ(allLevels(korvu::dbgCore), "[korvu:core] (critical) c\n[korvu:core] (error) e\n");
  groups[korvu::dbgCore].level = DebugLevel::none;
  EXPECT_EQ(allLevels(korvu::dbgCore), "");
}

// What a player without a terminal is shown of start-up: the warnings and
// worse that were written, untagged, only while the capture ran.
TEST_F(Log, CaptureKeepsTheWrittenWarningsAndWorse) {
  groups[5].level = DebugLevel::error;
  allLevels(5);  // before the capture
  korvu::debug::startCapture();
  allLevels(korvu::dbgCore);
  start();
  korvu::debug::warning(5, "dropped by its group");
  korvu::debug::error(5, "%s in \"%s\"", "No laps", "/a/settings.xml");
  written();
  EXPECT_EQ(korvu::debug::stopCapture(), (std::vector<std::string>{"c", "e", "w", "No laps in \"/a/settings.xml\""}));
  allLevels(korvu::dbgCore);  // after it
  EXPECT_TRUE(korvu::debug::stopCapture().empty());
}

TEST_F(Log, UnknownIdWritesUndefinedAndStays) {
  start();
  korvu::debug::error(77, "x");
  EXPECT_EQ(written(), "[undefined] (error) x\n");
  ASSERT_EQ(groups.count(77), 1u);
  EXPECT_EQ(groups[77].name, "undefined");
  EXPECT_EQ(groups[77].level, DebugLevel::info);
}

TEST_F(Log, SettingsElementSetsGroupLevels) {
  std::unique_ptr<korvu::xml::Node> debug(new korvu::xml::Node());
  debug->name = "debug";
  *debug += group("korvu:core", "critical");
  *debug += group("korvu:audio", "warning");
  *debug += group("korvu:audio", "error");         // a later entry wins
  *debug += group("glimro:game", "Warning");        // not a level word: silenced
  *debug += group("korvu:nothing", "debug");        // no such group
  *debug += group(nullptr, "none");
  korvu::xml::Node* other = group("korvu:core", "none");
  other->name = "grp";                               // not a "group" element
  *debug += other;
  groups[korvu::dbgMath] = Group("korvu:math", DebugLevel::warning);
  *debug += group("korvu:math", nullptr);           // no level: unchanged

  const size_t before = groups.size();
  groups.getSettingsFromNode(debug.get());
  EXPECT_EQ(groups.size(), before);
  EXPECT_EQ(groups[korvu::dbgCore].level, DebugLevel::critical);
  EXPECT_EQ(groups[korvu::dbgAudio].level, DebugLevel::error);
  EXPECT_EQ(groups[1].level, DebugLevel::none);
  EXPECT_EQ(groups[5].level, DebugLevel::none);  // both groups of that name
  EXPECT_EQ(groups[korvu::dbgMath].level, DebugLevel::warning);
  EXPECT_EQ(allLevels(1), "");
  EXPECT_EQ(allLevels(korvu::dbgCore), "[korvu:core] (critical) c\n");
}

TEST_F(Log, SettingsFile) {
  std::string dir = korvu_test::makeTempDir();
  korvu_test::writeFile(dir + "/d.xml", "<debug><group name=\"korvu:audio\" level=\"none\"/></debug>");
  korvu_test::writeFile(dir + "/s.xml", "<settings><group name=\"korvu:core\" level=\"none\"/></settings>");
  groups.loadSettings((dir + "/d.xml").c_str());
  groups.loadSettings((dir + "/s.xml").c_str());
  EXPECT_EQ(groups[korvu::dbgAudio].level, DebugLevel::none);
  EXPECT_EQ(groups[korvu::dbgCore].level, DebugLevel::info);
  try {
    groups.loadSettings((dir + "/missing.xml").c_str());
    ADD_FAILURE() << "no failure";
  } catch (const std::string& message) {
    EXPECT_EQ(message, "Could not open XML file");
  }
}
