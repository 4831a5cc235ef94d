// The settings file and the last-choices file: reading rules, defaults and
// round trips.
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "ddd/settings.h"
#include "shell/moresettings.h"
#include "race/settings.h"
#include "filesystemshim.h"
#include "testsupport.h"

using glimro::MoreSettings;
using glimro::Settings;
using korvu_test::makeTempDir;
using korvu_test::readFile;
using korvu_test::writeFile;

TEST(SettingsFile, MissingFileThrowsAndKeepsTheDefaults) {
  Settings s;
  EXPECT_THROW(s.load(makeTempDir() + "/none.xml"), std::string);
  EXPECT_EQ(s.resX, 800);
  EXPECT_EQ(s.resY, 600);
  EXPECT_TRUE(s.fullscreen);
  EXPECT_EQ(s.laps, 3);
  EXPECT_FALSE(s.wireframe);
  EXPECT_TRUE(s.shadows && s.lensflares && s.skybox && s.transparency && s.mipmaps && s.trilinear);
  EXPECT_EQ(s.audiodevice, "");
}

TEST(SettingsFile, ReadsNumberFormsSwitchWordsAndTheLaterElement) {
  const std::string dir = makeTempDir();
  writeFile(dir + "/s.xml",
            "<settings>"
            "<resolution x=\"0x400\" y=\"01400\"/>"
            "<showFps enabled=\"yes\"/><shadows enabled=\"t\"/><skybox enabled=\"True\"/>"
            "<laps value=\"5\"/><laps value=\"010\"/>"
            "<quality lights=\"70000\" fog=\"-1\"/>"
            "<mipmaps enabled=\"0\" trilinear=\"1\"/>"
            "<audiodevice value=\"wave out\"/><Unknown enabled=\"1\"/>"
            "</settings>");
  Settings s;
  s.load(dir + "/s.xml");
  EXPECT_EQ(s.resX, 1024);
  EXPECT_EQ(s.resY, 768);
  EXPECT_TRUE(s.fullscreen);  // no attribute: unchanged
  EXPECT_FALSE(s.showFps);
  EXPECT_TRUE(s.shadows);
  EXPECT_FALSE(s.skybox);
  EXPECT_EQ(s.laps, 8);  // octal, and the later element wins
  EXPECT_EQ(s.lightsQuality, static_cast<short>(70000));
  EXPECT_EQ(s.fogQuality, -1);
  EXPECT_FALSE(s.mipmaps);
  EXPECT_TRUE(s.trilinear);
  EXPECT_EQ(s.audiodevice, "wave out");

  // Another root, letter case included, or no XML reads nothing and is
  // named; the game never writes the file, so it stays as it is.
  for (const std::string broken : {"<Settings><laps value=\"9\"/></Settings>", "<settings><laps"}) {
    writeFile(dir + "/s.xml", broken);
    EXPECT_THROW(s.load(dir + "/s.xml"), std::string);
    EXPECT_EQ(s.laps, 8);
    EXPECT_EQ(readFile(dir + "/s.xml"), broken);
    EXPECT_NE(access((dir + "/s.xml.broken").c_str(), F_OK), 0);
  }
}

// A race of no laps would end at the first crossing of the line with a
// false record; such a value keeps the laps and says so.
TEST(SettingsFile, LapsBelowOneKeepTheLapsWithAWarning) {
  const std::string dir = makeTempDir();
  for (const char* value : {"0", "abc", "-2", "1000000"}) {
    SCOPED_TRACE(value);
    writeFile(dir + "/s.xml", std::string("<settings><laps value=\"") + value + "\"/></settings>");
    Settings s;
    testing::internal::CaptureStdout();
    s.load(dir + "/s.xml");
    const std::string log = testing::internal::GetCapturedStdout();
    const bool accepted = std::string(value) == "1000000";
    EXPECT_EQ(s.laps, accepted ? 1000000 : 3);
    EXPECT_EQ(log.find("(warning) Laps \"" + std::string(value) + "\" in \"" + dir + "/s.xml\"") !=
                  std::string::npos,
              !accepted)
        << log;
  }
}

// No window of no pixels opens: such a size keeps the one before and says so.
TEST(SettingsFile, ResolutionBelowOneKeepsTheSizeWithAWarning) {
  const std::string dir = makeTempDir();
  const std::string in = " in \"" + dir + "/s.xml\"";
  const struct { const char* attributes; int x, y; std::string warning; } cases[] = {
      {"x=\"0\" y=\"0\"", 800, 600, "(warning) Resolution \"0\" by \"0\"" + in},
      {"x=\"-640\" y=\"480\"", 800, 600, "(warning) Resolution \"-640\" by \"480\"" + in},
      {"y=\"abc\"", 800, 600, "(warning) Resolution \"800\" by \"abc\""},
      {"x=\"640\"", 640, 600, ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.attributes);
    writeFile(dir + "/s.xml", std::string("<settings><resolution ") + c.attributes + "/></settings>");
    Settings s;
    testing::internal::CaptureStdout();
    s.load(dir + "/s.xml");
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_EQ(s.resX, c.x);
    EXPECT_EQ(s.resY, c.y);
    EXPECT_EQ(log.find(c.warning.empty() ? "(warning)" : c.warning) != std::string::npos, !c.warning.empty()) << log;
  }
}

TEST(SettingsFile, SwitchSettersMirrorTheRenderSwitches) {
  Settings s;
  const korvu::ddd::Settings before = korvu::ddd::settings;
  s.setShadows(false);
  s.setSkybox(false);
  s.setLensflares(false);
  EXPECT_FALSE(korvu::ddd::settings.shadows);
  EXPECT_FALSE(korvu::ddd::settings.skybox);
  EXPECT_FALSE(korvu::ddd::settings.lensflares);
  EXPECT_TRUE(korvu::ddd::settings.transparency);
  korvu::ddd::settings = before;
}

TEST(LastChoices, RoundTripInFixedOrderAndKeepUnknownTypes) {
  const std::string dir = makeTempDir();
  writeFile(dir + "/m.xml",
            "<moresettings><profile name=\"x\" type=\"multiplayer_3\"/>"
            "<profile type=\"singleplayer\"/>"
            "<profile name=\"A &amp; &quot;B&quot;\" type=\"multiplayer_2\"/>"
            "<profile name=\"first\" type=\"singleplayer\"/>"
            "<profile name=\"second\" type=\"singleplayer\"/></moresettings>");
  MoreSettings m;
  m.load(dir + "/m.xml");
  EXPECT_EQ(m.singleplayer, "second");
  EXPECT_EQ(m.multiplayer_1, "");
  EXPECT_EQ(m.multiplayer_2, "A & \"B\"");

  // The three choices once each, first; what the game does not know stays.
  m.save(dir + "/m.xml");
  EXPECT_EQ(readFile(dir + "/m.xml"),
            "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" ?>\n<moresettings>\n"
            "  <profile name=\"second\" type=\"singleplayer\"/>\n"
            "  <profile name=\"\" type=\"multiplayer_1\"/>\n"
            "  <profile name=\"A &amp; &quot;B&quot;\" type=\"multiplayer_2\"/>\n"
            "  <profile name=\"x\" type=\"multiplayer_3\"/>\n"
            "</moresettings>\n");
  MoreSettings again;
  again.load(dir + "/m.xml");
  EXPECT_EQ(again.multiplayer_2, m.multiplayer_2);
}

// Two copies of the game on one file, saving in turn: each save sets the
// choices its copy made since it last read or wrote the file (the same
// name chosen again included), and keeps the other copy's choices and all
// else in the file. Files that carry when a choice was made still read.
TEST(LastChoices, CopiesSavingInTurnKeepEachOthersChoices) {
  const std::string file = makeTempDir() + "/m.xml";
  writeFile(file, "<moresettings v=\"2\"><profile name=\"Ada\" time=\"1\" type=\"singleplayer\"/><c><d/></c>"
                  "</moresettings>");
  MoreSettings alone, pair;
  alone.load(file);
  pair.load(file);
  EXPECT_EQ(pair.singleplayer, "Ada");
  pair.choose(&MoreSettings::singleplayer, "Bo");
  pair.choose(&MoreSettings::multiplayer_2, "Cy");
  pair.save(file);
  alone.choose(&MoreSettings::singleplayer, "Ada");
  alone.save(file);
  EXPECT_EQ(alone.multiplayer_2, "Cy");
  const std::string text = readFile(file);
  EXPECT_NE(text.find("<moresettings v=\"2\">\n  <profile name=\"Ada\" type=\"singleplayer\"/>"), std::string::npos);
  EXPECT_NE(text.find("<profile name=\"Cy\" type=\"multiplayer_2\"/>\n  <c>\n    <d/>\n  </c>"), std::string::npos);
  // The pair's next save keeps the single choice the other copy made since.
  pair.choose(&MoreSettings::multiplayer_1, "Dee");
  pair.save(file);
  EXPECT_EQ(pair.singleplayer, "Ada");
  MoreSettings back;
  back.load(file);
  EXPECT_EQ(back.singleplayer, "Ada");
  EXPECT_EQ(back.multiplayer_1, "Dee");
  EXPECT_EQ(back.multiplayer_2, "Cy");
  EXPECT_FALSE(pair.unsaved());

  // A save that failed keeps its choice for the next, and takes what the
  // file held then for no choice of its own.
  alone.choose(&MoreSettings::multiplayer_2, "Eve");
  const std::string held = file + ".0000000000000000.tmp";
  {
    korvu_test::FileSystemShim shim;
    shim.predictableNames = true;
    ASSERT_EQ(mkdir(held.c_str(), 0755), 0);
    EXPECT_THROW(alone.save(file), std::string);
  }
  EXPECT_TRUE(alone.unsaved());
  pair.choose(&MoreSettings::singleplayer, "Fay");
  pair.choose(&MoreSettings::multiplayer_1, "Gus");
  pair.save(file);
  ASSERT_EQ(rmdir(held.c_str()), 0);
  alone.save(file);
  back.load(file);
  EXPECT_EQ(back.singleplayer, "Fay");
  EXPECT_EQ(back.multiplayer_1, "Gus");
  EXPECT_EQ(back.multiplayer_2, "Eve");
  // A file that cannot be read is kept aside before the save replaces it.
  writeFile(file, "<moresettings><profile");
  alone.save(file);
  EXPECT_EQ(readFile(file + ".broken"), "<moresettings><profile");
}

// The last choices at start-up: a file that does not parse is kept aside
// by the next save, a link loop stays and is not written. The settings
// file has the size limit.
TEST(LastChoices, BrokenFilesAreKeptAsideAndUnopenableOnesLeftAlone) {
  const std::string dir = makeTempDir();
  writeFile(dir + "/m.xml", "<moresettings>");
  MoreSettings m;
  m.loadAtStart(dir + "/m.xml");
  EXPECT_NO_THROW(m.save(dir + "/m.xml"));
  EXPECT_EQ(readFile(dir + "/m.xml.broken"), "<moresettings>");
  ASSERT_EQ(symlink((dir + "/loop.xml").c_str(), (dir + "/loop.xml").c_str()), 0);
  m.loadAtStart(dir + "/loop.xml");
  EXPECT_THROW(m.save(dir + "/loop.xml"), std::string);

  writeFile(dir + "/s.xml", "<settings>" + std::string(glimro::USER_FILE_LIMIT, ' ') + "</settings>");
  EXPECT_THROW(Settings().load(dir + "/s.xml"), std::string);

  // A save never writes what the next start would refuse. Names that the
  // file's encoding cannot hold are left out, and the choice is saved...
  writeFile(dir + "/n.xml", "<moresettings \u0414=\"1\" a=\"2\"><\u0416/></moresettings>");
  m.choose(&MoreSettings::singleplayer, "Bo");
  testing::internal::CaptureStdout();
  EXPECT_NO_THROW(m.save(dir + "/n.xml"));
  EXPECT_NE(testing::internal::GetCapturedStdout().find(
                "2 element or attribute names in the last choices cannot be written (the first: \"\u0414\")"),
            std::string::npos);
  MoreSettings back;
  back.load(dir + "/n.xml");
  EXPECT_EQ(back.singleplayer, "Bo");
  EXPECT_NE(readFile(dir + "/n.xml").find("<moresettings a=\"2\">"), std::string::npos);
  // ...and a file that the indent of its deep elements would take beyond the
  // size limit stays as it was.
  std::string deep = "<moresettings>";
  for (int i = 0; i < 60; ++i) deep += "<p>";
  for (int i = 0; i < 40000; ++i) deep += "<x/>";
  for (int i = 0; i < 60; ++i) deep += "</p>";
  writeFile(dir + "/d.xml", deep += "</moresettings>");
  try {
    m.save(dir + "/d.xml");
    ADD_FAILURE() << "saved";
  } catch (const std::string& reason) {
    EXPECT_EQ(reason.rfind("it would take ", 0), 0u) << reason;
  }
  EXPECT_EQ(readFile(dir + "/d.xml"), deep);
}
