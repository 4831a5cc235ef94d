// The shell against the game's real resources in a real window, with audio
// off: the resource set, every global command with its message, the console
// commands with and without a race, and the menu flow driven by the
// triggers the GUI's widgets push.
#include <GL/gl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "audio/audio.h"
#include "shell/commands.h"
#include "audio/emitter.h"
#include "shell/consolethread.h"
#include "controls.h"
#include "ddd/light.h"
#include "ddd/modelbank.h"
#include "ddd/settings.h"
#include "debug.h"
#include "fonts/font.h"
#include "fonts/message.h"
#include "race/game.h"
#include "race/glimro.h"
#include "shell/globalcommands.h"
#include "gui/checkbox.h"
#include "gui/dropdownlist.h"
#include "gui/gui.h"
#include "gui/textfield.h"
#include "image.h"
#include "korvu.h"
#include "shell/menu.h"
#include "shell/moresettings.h"
#include "shell/notice.h"
#include "common/playerprofile.h"
#include "shell/resources.h"
#include "race/settings.h"
#include "shell/shell.h"
#include "filesystemshim.h"
#include "testsupport.h"
#include "track/layouts.h"
#include "track/track.h"

// Last: its macros (None, Bool, Status) clash with the test framework's names.
#include <SDL_syswm.h>
#include <X11/Xlib.h>

using glimro::resources;
using glimro::settings;

namespace {

// Runs in a folder of its own whose "resources" is the game's, so profiles
// and last choices are written there and nowhere else.
class ShellTest : public korvu_test::GLWindowTest {
 protected:
  int windowWidth() const override { return 800; }
  int windowHeight() const override { return 600; }

  void SetUp() override {
    GLWindowTest::SetUp();
    korvu::ddd::init();
    korvu::audio::enabled = false;
    korvu::audio::init("", 44100);
    dir = korvu_test::makeTempDir();
    ASSERT_EQ(symlink((korvu_test::sourceDir() + "/resources").c_str(), (dir + "/resources").c_str()), 0);
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    oldDir = cwd;
    ASSERT_EQ(chdir(dir.c_str()), 0);
    korvu_test::writeFile("profiles.xml",
                          "<profiles><profile name=\"Bo\"/><profile name=\"Ann\"/></profiles>");
    savedSettings = settings;
    savedSwitches = korvu::ddd::settings;
  }

  // The resource set and the menus as start-up leaves them.
  void start() {
    resources = new glimro::Resources();
    settings.applyToResources();
    glimro::prepareMenus();
  }

  void TearDown() override {
    delete glimro::game;
    glimro::game = nullptr;
    delete resources;
    resources = nullptr;
    glimro::globalMessages.clear();
    glimro::notice.clear();
    glimro::unsavedTimes.clear();
    glimro::profilesUnsaved = false;
    glimro::raceStartWarnings.clear();
    glimro::selectedPlayers = 0;
    glimro::editingProfile = nullptr;
    glimro::moreSettings = glimro::MoreSettings();
    glimro::terminate = false;
    settings = savedSettings;
    korvu::ddd::settings = savedSwitches;
    korvu::audio::cleanUp();
    EXPECT_EQ(chdir(oldDir.c_str()), 0);
    GLWindowTest::TearDown();
  }

  korvu::Trigger* trigger(int id) {
    for (auto& entry : resources->controlQueue->triggers)
      if (entry.second->id == id) return entry.second;
    ADD_FAILURE() << "no trigger " << id;
    return nullptr;
  }

  // Queues the triggers and runs one menu step.
  bool menuStep(std::initializer_list<int> ids) {
    for (int id : ids) *resources->controlQueue << trigger(id);
    return glimro::menuMainLoop(16.0f);
  }

  std::string message() const {
    const auto& list = glimro::globalMessages.messages;
    return list.empty() ? "" : list.back()->text;
  }

  // The notice's messages, one a line.
  static std::string noticeText() {
    std::string text;
    for (const std::string& m : glimro::notice.messages) text += m + "\n";
    return text;
  }

  bool shown(const char* name) { return glimro::isVisible(name); }

  korvu::gui::DropdownList* list(const char* name) {
    return glimro::findComponent<korvu::gui::DropdownList>(name);
  }

  std::string dir, oldDir;
  glimro::Settings savedSettings;
  korvu::ddd::Settings savedSwitches;
};

}  // namespace

TEST_F(ShellTest, ResourceSetLoadsEverythingAndSharesTheProfileList) {
  start();
  EXPECT_EQ(resources->controlQueue->triggers.size(), 47u);
  EXPECT_EQ(resources->controlQueue->evaluator, resources->gui);
  EXPECT_EQ(resources->gui->fallback, resources->inputEvaluator);
  EXPECT_EQ(resources->exitTrigger, resources->controlQueue->find("exit"));
  EXPECT_EQ(resources->toggleMenuTrigger, resources->controlQueue->find("toggleMenu"));
  for (int p = 0; p < 2; ++p) {
    const std::string n = std::to_string(p + 1);
    EXPECT_EQ(resources->accelerateAxis[p], resources->controlQueue->find("accelerate" + n));
  }
  // The race reads the set itself.
  EXPECT_EQ(glimro::raceResources, resources);
  ASSERT_NE(resources->font, nullptr);
  EXPECT_EQ(resources->textureBank->maxFilter, korvu::IMAGEFILTER_TRILINEAR);
  EXPECT_GT(resources->modelBank->size(), 10u);
  // Profiles in name order, each list on the first.
  ASSERT_EQ(resources->profileList->items.size(), 2u);
  EXPECT_EQ(resources->profileList->items.front()->text, "Ann");
  for (const char* name : {"dlProfile0", "dlProfile1", "dlProfile2"}) {
    ASSERT_NE(list(name), nullptr) << name;
    EXPECT_EQ(list(name)->items, resources->profileList);
    EXPECT_EQ(list(name)->caption, "Ann");
  }
  EXPECT_TRUE(shown("pMainMenu"));
  EXPECT_TRUE(shown("pBack"));
  EXPECT_FALSE(shown("pCredits"));
}

TEST_F(ShellTest, LastChoicesPreselectEachProfileList) {
  korvu_test::writeFile("profiles.xml",
                        "<profiles><profile name=\"Ann\"/><profile name=\"Bo\"/><profile name=\"Cy\"/>"
                        "<profile name=\"Di\"/></profiles>");
  // The remembered names and the captions they leave, for the single
  // player's list and player 1's and player 2's.
  struct Case {
    const char* names[3];
    const char* captions[3];
  };
  const Case cases[] = {
      {{"Cy", "Di", "Bo"}, {"Cy", "Di", "Bo"}},
      // A name that is no profile leaves its list on the first.
      {{"Zed", "", "Di"}, {"Ann", "Ann", "Di"}},
  };
  const char* lists[] = {"dlProfile0", "dlProfile1", "dlProfile2"};
  const char* types[] = {"singleplayer", "multiplayer_1", "multiplayer_2"};
  for (const Case& c : cases) {
    std::string file = "<moresettings>";
    for (int i = 0; i < 3; ++i)
      file += std::string("<profile name=\"") + c.names[i] + "\" type=\"" + types[i] + "\"/>";
    korvu_test::writeFile("moresettings.xml", file + "</moresettings>");
    delete resources;
    start();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(list(lists[i])->caption, c.captions[i]) << lists[i] << ", " << c.names[i];
  }
}

TEST_F(ShellTest, GlobalCommandsSwitchAndConfirm) {
  start();
  struct Case {
    int id;
    bool glimro::Settings::*field;
    const char* label;
  };
  const Case cases[] = {
      {glimro::TRG_SHADOWS, &glimro::Settings::shadows, "Shadows: "},
      {glimro::TRG_LENSFLARES, &glimro::Settings::lensflares, "Lensflares: "},
      {glimro::TRG_SKYBOX, &glimro::Settings::skybox, "Skybox: "},
      {glimro::TRG_TRANSPARENCY, &glimro::Settings::transparency, "Transparency: "},
      {glimro::TRG_PROJECTIVE_TEXTURES, &glimro::Settings::projectiveTextures, "Projective textures: "},
      {glimro::TRG_WIREFRAME, &glimro::Settings::wireframe, "Wireframe view: "},
      {glimro::TRG_MUSIC, &glimro::Settings::music, "Music: "},
      {glimro::TRG_CULLING, &glimro::Settings::culling, "View frustum culling: "},
      {glimro::TRG_COMPILED_MODELS, &glimro::Settings::compileModels, "Compiled models: "},
      {glimro::TRG_BUFFERED_MODELS, &glimro::Settings::bufferedModels, "Buffered models: "},
  };
  for (const Case& c : cases) {
    const bool before = settings.*c.field;
    EXPECT_TRUE(glimro::handleGlobalEvents(trigger(c.id)));
    EXPECT_EQ(settings.*c.field, !before) << c.label;
    EXPECT_EQ(message(), std::string(c.label) + (before ? "Off" : "On"));
    EXPECT_EQ(glimro::globalMessages.messages.size(), 1u);  // the newest replaces the last
  }
  EXPECT_FALSE(korvu::ddd::settings.shadows);
  EXPECT_FALSE(korvu::ddd::settings.skybox);
  EXPECT_TRUE(resources->renderContext3D.wireframe);
  EXPECT_TRUE(resources->musicEmitter->mute);

  // The frame counter: the toggle moves the check box, on and off do not.
  auto* box = glimro::findComponent<korvu::gui::Checkbox>("cbFPS");
  ASSERT_NE(box, nullptr);
  glimro::handleGlobalEvents(trigger(glimro::TRG_FPS));
  EXPECT_TRUE(settings.showFps);
  EXPECT_TRUE(box->checked);
  EXPECT_EQ(message(), "FPS: On");
  glimro::handleGlobalEvents(trigger(glimro::TRG_FPS_OFF));
  EXPECT_FALSE(settings.showFps);
  EXPECT_TRUE(box->checked);

  // Mipmap mode while mipmaps are off: the filter stays linear, the
  // message still names the mode.
  glimro::handleGlobalEvents(trigger(glimro::TRG_MIPMAPS));
  EXPECT_EQ(message(), "Mipmapping: Off");
  EXPECT_EQ(resources->textureBank->maxFilter, korvu::IMAGEFILTER_LINEAR);
  glimro::handleGlobalEvents(trigger(glimro::TRG_MIPMAP_MODE));
  EXPECT_EQ(message(), "Mipmapping: Bilinear");
  EXPECT_EQ(resources->textureBank->maxFilter, korvu::IMAGEFILTER_LINEAR);
  glimro::handleGlobalEvents(trigger(glimro::TRG_MIPMAPS));
  EXPECT_EQ(resources->textureBank->maxFilter, korvu::IMAGEFILTER_BILINEAR);

  // Exit and cancel end the program; ids without a global meaning do not.
  EXPECT_FALSE(glimro::handleGlobalEvents(trigger(glimro::TRG_EXIT)));
  EXPECT_FALSE(glimro::handleGlobalEvents(trigger(glimro::TRG_CANCEL)));
  EXPECT_TRUE(glimro::handleGlobalEvents(trigger(glimro::TRG_START_GAME)));
}

TEST_F(ShellTest, ScreenshotsReportWhereTheyCannotBeWritten) {
  start();
  glimro::handleGlobalEvents(trigger(glimro::TRG_SCREENSHOT));
  EXPECT_EQ(message(), "Saved screenshot.png");
  struct stat info;
  EXPECT_EQ(stat("screenshot.png", &info), 0);

  mkdir("locked", 0555);
  ASSERT_EQ(chdir("locked"), 0);
  if (access(".", W_OK) != 0) {  // root may write anyway
    glimro::handleGlobalEvents(trigger(glimro::TRG_SCREENSHOT));
    EXPECT_EQ(message().rfind("Could not save screenshot: ", 0), 0u) << message();
  }
  ASSERT_EQ(chdir(".."), 0);
}

TEST_F(ShellTest, ConsoleCommandsActOnTheMainThreadAndOnlyWithARace) {
  start();
  glimro::ConsoleThread console;
  console.running = true;  // as started, without reading standard input
  korvu::quilvane::Command sunpos{"sunpos", {}, {"1", "2"}};
  testing::internal::CaptureStdout();
  console.execute(sunpos);
  korvu::quilvane::Command quitWithCapital{"Quit", {}, {}};
  console.execute(quitWithCapital);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Usage: sunpos x y z\n?Unknown command \"Quit\".\n");

  // Without a race the queued commands do nothing and fail nothing.
  sunpos.args = {"a", "200", "300"};
  console.execute(sunpos);
  console.execute({"rotatez", {}, {"9"}});
  console.performPending();

  glimro::PlayerProfile* ann = resources->profileBank->find("Ann")->second;
  glimro::game = new glimro::Game("dummy", {ann}, 1, false);
  const korvu::Matrix3D before = glimro::game->players[0]->rotation;
  console.execute(sunpos);
  console.execute({"rotatez", {}, {}});
  // Queued, not yet done: the console thread never touches the race.
  EXPECT_NE(glimro::game->sun->position.y, 200.0f);
  console.performPending();
  EXPECT_EQ(glimro::game->sun->position.x, 0.0f);
  EXPECT_EQ(glimro::game->sun->position.y, 200.0f);
  EXPECT_EQ(glimro::game->sun->position.z, 300.0f);
  EXPECT_NE(glimro::game->players[0]->rotation.m[0][0], before.m[0][0]);
  EXPECT_TRUE(console.running);  // sunpos and rotatez keep it open

  console.execute({"close", {}, {}});
  EXPECT_FALSE(console.running);
  EXPECT_FALSE(glimro::terminate);

  // Fullscreen stops the console and switches on the main thread; a switch
  // the window system refuses keeps the window and says so.
  console.running = true;
  const bool wasFullscreen = korvu::fullscreen;
  console.execute({"fullscreen", {{"key", "value"}}, {}});
  EXPECT_FALSE(console.running);
  EXPECT_EQ(korvu::fullscreen, wasFullscreen);
  glimro::globalMessages.clear();
  console.performPending();
  EXPECT_TRUE(korvu::fullscreen != wasFullscreen ||
              message().rfind("Could not toggle fullscreen mode: ", 0) == 0)
      << message();
  if (korvu::fullscreen != wasFullscreen) korvu::toggleFullscreen();

  // Quit ends the program at the next frame, in the menus as in a race.
  delete glimro::game;
  glimro::game = nullptr;
  EXPECT_TRUE(glimro::runFrame(16));
  console.running = true;
  console.execute({"quit", {}, {}});
  EXPECT_TRUE(glimro::terminate);
  EXPECT_FALSE(console.running);
  EXPECT_FALSE(glimro::runFrame(16));
}

// A frame after the process stood 10 s (stopped, or the machine suspended)
// is a pause: the race, the messages and the rest of the frame move on by
// the longest frame only.
TEST_F(ShellTest, AFrameAfterAPauseMovesEverythingOnByTheLongestFrameOnly) {
  start();
  glimro::PlayerProfile* ann = resources->profileBank->find("Ann")->second;
  glimro::game = new glimro::Game("dummy", {ann}, 1, false);
  glimro::postMessage("Before the pause");
  ASSERT_EQ(glimro::globalMessages.messages.size(), 1u);
  const float shown = glimro::globalMessages.messages.back()->remainingTime;
  EXPECT_TRUE(glimro::runFrame(10000));
  EXPECT_DOUBLE_EQ(glimro::game->clock, glimro::LONGEST_FRAME);
  ASSERT_EQ(glimro::globalMessages.messages.size(), 1u);
  EXPECT_FLOAT_EQ(glimro::globalMessages.messages.back()->remainingTime, shown - glimro::LONGEST_FRAME);
}

// An X protocol error (a request the server refused) does not end the
// process as a lost connection does: the engine notes the failed display
// and the frame goes on. From then on a frame, and the loading screen of a
// race started in it, draw nothing, and the end leaves SDL and the resource
// set's OpenGL objects to the system, with status 0.
TEST_F(ShellTest, AFrameAfterAnXErrorDrawsNothingAndTheEndTouchesNoDisplay) {
  start();
  glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  ASSERT_GT(SDL_GetWMInfo(&info), 0);
  testing::internal::CaptureStdout();
  XMapWindow(info.info.x11.display, None);  // no such window
  XSync(info.info.x11.display, False);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("The X server refused a request"), std::string::npos);
  ASSERT_TRUE(korvu::displayLost());

  for (int id : {glimro::TRG_SINGLE_PLAYER_GAME, glimro::TRG_START_GAME}) *resources->controlQueue << trigger(id);
  EXPECT_FALSE(glimro::runFrame(16));
  ASSERT_NE(glimro::game, nullptr);
  const std::vector<uint8_t> pixels = korvu_test::readPixels(0, 0, windowWidth(), windowHeight());
  size_t drawn = 0;
  for (size_t i = 0; i < pixels.size(); i += 4) drawn += pixels[i] != 255 || pixels[i + 1] != 0 || pixels[i + 2] != 0;
  EXPECT_EQ(drawn, 0u);

  korvu_test::ChildResult end = korvu_test::runInChild([] {
    std::atexit([] { std::printf("SDL %d, resources %d\n", SDL_WasInit(SDL_INIT_VIDEO) != 0, resources != nullptr); });
    glimro::quit(0);
  });
  EXPECT_TRUE(end.exited);
  EXPECT_EQ(end.exitStatus, 0) << end.err;
  EXPECT_EQ(end.out, "SDL 1, resources 1\n");
}

TEST_F(ShellTest, MenuFlowThroughTheRealDescription) {
  start();
  // Credits and back.
  EXPECT_TRUE(menuStep({glimro::TRG_CREDITS}));
  EXPECT_TRUE(shown("pCredits"));
  EXPECT_FALSE(shown("pMainMenu"));
  EXPECT_TRUE(menuStep({glimro::TRG_EXIT}));
  EXPECT_TRUE(shown("pMainMenu"));

  // Two players with one profile for both: refused, and said why.
  EXPECT_TRUE(menuStep({glimro::TRG_MULTIPLAYER_GAME}));
  EXPECT_TRUE(shown("pStartGameMenu2"));
  EXPECT_EQ(list("dlProfile1")->selected, list("dlProfile2")->selected);
  EXPECT_TRUE(menuStep({glimro::TRG_START_GAME}));
  EXPECT_EQ(glimro::game, nullptr);
  EXPECT_EQ(message(), "Both players have the same profile; choose another for player 2.");

  // A new profile through the editor; cancel first changes nothing.
  EXPECT_TRUE(menuStep({glimro::TRG_NEW_PROFILE}));
  EXPECT_TRUE(shown("pEditProfileMenu"));
  auto* field = glimro::findComponent<korvu::gui::Textfield>("tfProfileName");
  ASSERT_NE(field, nullptr);
  EXPECT_EQ(field->caption, "");  // typing starts a name, not the end of one
  field->caption = "Cy & \"Co\"";
  EXPECT_TRUE(menuStep({glimro::TRG_CANCEL}));
  EXPECT_TRUE(shown("pStartGameMenu2"));
  EXPECT_EQ(resources->profileBank->size(), 2u);
  EXPECT_EQ(korvu_test::readFile("profiles.xml").find("Cy"), std::string::npos);

  EXPECT_TRUE(menuStep({glimro::TRG_NEW_PROFILE}));
  field->caption = "Cy & \"Co\"";
  EXPECT_TRUE(menuStep({glimro::TRG_OK}));
  EXPECT_FALSE(shown("pEditProfileMenu"));
  EXPECT_TRUE(shown("pStartGameMenu2"));
  EXPECT_EQ(resources->profileList->items.size(), 3u);
  glimro::PlayerProfileBank reread;
  reread.load("profiles.xml");
  EXPECT_EQ(reread.size(), 3u);
  EXPECT_NE(reread.find("Cy & \"Co\""), reread.end());

  // Renaming a profile to a name another profile holds is refused.
  EXPECT_TRUE(menuStep({glimro::TRG_EDIT_PROFILE2}));
  EXPECT_EQ(field->caption, "Ann");
  field->caption = "Bo";
  EXPECT_TRUE(menuStep({glimro::TRG_OK}));
  EXPECT_EQ(resources->profileBank->size(), 3u);
  EXPECT_TRUE(menuStep({glimro::TRG_CANCEL}));

  // Player 2 takes the next profile; the race starts and the choices are
  // kept. A best-time file that does not read is kept aside, and said so
  // when the race is left.
  korvu_test::writeFile("track_short_stats.xml", "<trackstats><laptimes>");
  list("dlProfile2")->doClick(resources->controlQueue);
  korvu::Trigger* ignored = nullptr;
  while ((*resources->controlQueue >> ignored), ignored) {
  }
  EXPECT_TRUE(menuStep({glimro::TRG_START_GAME}));
  ASSERT_NE(glimro::game, nullptr);
  EXPECT_EQ(glimro::game->players.size(), 2u);
  EXPECT_FALSE(resources->gui->visible);
  EXPECT_TRUE(shown("pGameMenu"));
  glimro::MoreSettings kept;
  kept.load("moresettings.xml");
  EXPECT_EQ(kept.multiplayer_1, "Ann");
  EXPECT_EQ(kept.multiplayer_2, "Bo");
  // The race hides the backdrop, whose picture gives its texture up until
  // the menus are back; the panels' pieces stay.
  korvu::Image* backdrop = resources->gui->findImage("backdrop");
  korvu::Image* panel = resources->gui->findImage("panel_c");
  ASSERT_NE(backdrop, nullptr);
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(backdrop->texture, 0u);
  EXPECT_NE(panel->texture, 0u);
  // A record file that cannot be written is named on screen by its full
  // path, with the reason; the race's times are kept, and the next race on
  // the track saves them with its own.
  korvu_test::FileSystemShim shim;
  shim.predictableNames = true;
  ASSERT_EQ(mkdir(korvu_test::temporaryOf("track_short_stats.xml").c_str(), 0755), 0);
  glimro::game->track->stats.laptimes.add(glimro::TimeEntry(61000, "Ann"));
  ++glimro::game->track->timesPlaced;  // as a lap driven into the table does
  // Saves that went without locks have that said with the first notice.
  glimro::UserFile::unlockedNotice = "Saves go without locks.";
  glimro::leaveRace();
  const std::string notice = noticeText();
  EXPECT_NE(notice.find("save them.\nSaves go without locks.\n"), std::string::npos) << notice;
  EXPECT_NE(notice.find("It is kept aside when the best times of \"Short track\" are next saved"), std::string::npos)
      << notice;
  const std::string stats = dir + "/track_short_stats.xml";
  EXPECT_NE(notice.find("Could not save the best times of \"Short track\" to \"" + stats + "\": could not create \"" +
                        korvu_test::temporaryOf(stats) + "\": File exists.\nThe times of this race are kept while the "
                        "game runs: the next race on this track and the end of the game try again to save them.\n"),
            std::string::npos)
      << notice;
  EXPECT_EQ(glimro::game, nullptr);
  EXPECT_TRUE(shown("pBack"));
  EXPECT_NE(backdrop->texture, 0u);
  ASSERT_EQ(rmdir(korvu_test::temporaryOf("track_short_stats.xml").c_str()), 0);
  // So is a failed save of the choices, made as the race starts.
  ASSERT_EQ(mkdir(korvu_test::temporaryOf("moresettings.xml").c_str(), 0755), 0);
  glimro::UserFile::unlockedNotice = "Saves go without locks.";
  EXPECT_TRUE(menuStep({glimro::TRG_START_GAME}));
  ASSERT_NE(glimro::game, nullptr);
  glimro::game->track->stats.laptimes.add(glimro::TimeEntry(62000, "Bo"));
  glimro::leaveRace();
  // The broken record file was still in place as this race started, and
  // is kept aside now.
  EXPECT_EQ(noticeText(), "Could not save the last choices to \"" + dir + "/moresettings.xml\": could not create \"" +
                              korvu_test::temporaryOf(dir + "/moresettings.xml") + "\": File exists.\n" +
                              "They are kept while the game runs: the next race's start and the end of the game try "
                              "again to save them.\nSaves go without locks.\n" +
                              "Could not read the best times of \"Short track\" from \"" + stats +
                              "\": no element found. It is kept aside when the best times of \"Short track\" are "
                              "next saved, and a new file is written in its place.\n" +
                              "The best times of \"Short track\" are saved, and the unreadable file is kept as \"" +
                              stats + ".broken\".\n");
  ASSERT_EQ(rmdir(korvu_test::temporaryOf("moresettings.xml").c_str()), 0);
  glimro::TrackStats saved;
  saved.load("track_short_stats.xml");
  EXPECT_EQ(saved.laptimes.entries[0].name, "Ann");
  EXPECT_EQ(saved.laptimes.entries[1].name, "Bo");
  EXPECT_EQ(saved.laptimes.entries[2].ticks, 0);
  EXPECT_EQ(korvu_test::readFile("track_short_stats.xml.broken"), "<trackstats><laptimes>");
  // A race that placed no time loses none when its save fails, and says so.
  ASSERT_EQ(mkdir(korvu_test::temporaryOf("track_short_stats.xml").c_str(), 0755), 0);
  EXPECT_TRUE(menuStep({glimro::TRG_START_GAME}));
  ASSERT_NE(glimro::game, nullptr);
  glimro::leaveRace();
  EXPECT_NE(noticeText().find("File exists.\nThis race placed no time in the tables, so none is lost.\n"),
            std::string::npos)
      << noticeText();
  // Nor is any kept, for the end of the game to call lost.
  EXPECT_TRUE(glimro::unsavedTimes.empty());
  // A race whose one lap took first place keeps it, and the end of the game
  // saves it once the file can be written again, or says that it is lost.
  const auto firstPlaceLap = [&](double lapTime) {
    EXPECT_TRUE(menuStep({glimro::TRG_START_GAME}));
    ASSERT_NE(glimro::game, nullptr);
    glimro::Glimro& vehicle = *glimro::game->players[0];
    vehicle.lap = 1;
    vehicle.lapTime = lapTime;
    vehicle.nextLap();
    glimro::leaveRace();
    EXPECT_NE(noticeText().find("The times of this race are kept while the game runs"), std::string::npos)
        << noticeText();
  };
  firstPlaceLap(60000);
  ASSERT_EQ(rmdir(korvu_test::temporaryOf("track_short_stats.xml").c_str()), 0);
  glimro::saveUnsaved();
  glimro::TrackStats atTheEnd;
  atTheEnd.load("track_short_stats.xml");
  EXPECT_EQ(atTheEnd.laptimes.entries[0].ticks, 60000);
  EXPECT_EQ(atTheEnd.laptimes.entries[2].name, "Bo");
  ASSERT_EQ(mkdir(korvu_test::temporaryOf("track_short_stats.xml").c_str(), 0755), 0);
  firstPlaceLap(59000);
  testing::internal::CaptureStdout();
  glimro::saveUnsaved();
  std::string log = testing::internal::GetCapturedStdout();
  EXPECT_NE(log.find("Could not save the best times to \"" + stats + "\": could not create \"" +
                     korvu_test::temporaryOf(stats) + "\": File exists. The times driven in this game that it lacks "
                     "are lost.\n"),
            std::string::npos)
      << log;
  ASSERT_EQ(rmdir(korvu_test::temporaryOf("track_short_stats.xml").c_str()), 0);
  // A folder that cannot be synced after the rename: the file holds the
  // save, which a power cut may undo, and only that is said; the times are
  // kept and saved again (here after a cut undid the save), and the end of
  // the game calls nothing lost.
  const std::string beforeTheCut = korvu_test::readFile("track_short_stats.xml");
  shim.folderSyncError = EIO;
  firstPlaceLap(58000);
  EXPECT_NE(noticeText().find("\"" + stats + "\" holds the save, but its folder could not be synced to disk "
                              "(Input/output error), so a power cut may undo it.\nThe times of this race are kept "
                              "while the game runs, and saved again by the next race on this track"),
            std::string::npos)
      << noticeText();
  korvu_test::writeFile("track_short_stats.xml", beforeTheCut);
  testing::internal::CaptureStdout();
  glimro::saveUnsaved();
  log = testing::internal::GetCapturedStdout();
  EXPECT_TRUE(log.find("\"" + stats + "\" holds the save") != std::string::npos &&
              log.find("Could not") == std::string::npos && log.find("lost") == std::string::npos)
      << log;
  shim.folderSyncError = 0;
  atTheEnd.load("track_short_stats.xml");
  EXPECT_EQ(atTheEnd.laptimes.entries[0].ticks, 58000);

  // Exit in the main menu ends the program and leaves the rest queued.
  EXPECT_TRUE(menuStep({glimro::TRG_EXIT}));  // start menu back to the main menu
  EXPECT_TRUE(shown("pMainMenu"));
  EXPECT_FALSE(menuStep({glimro::TRG_EXIT, glimro::TRG_CREDITS}));
  korvu::Trigger* left = nullptr;
  *resources->controlQueue >> left;
  ASSERT_NE(left, nullptr);
  EXPECT_EQ(left->id, glimro::TRG_CREDITS);
}

// Another copy of the game on the same folder made "Cy", "Dee" and "Eve"
// after this one started: storing a profile here keeps them and shows them
// in the lists; a rename here drops the old name from the file, also of a
// profile made here.
TEST_F(ShellTest, StoringAProfileTakesInThoseAnotherCopyMade) {
  start();
  std::string onFile = "<profile name=\"Ann\"/><profile name=\"Bo\"/>";
  auto otherCopyMakes = [&](const std::string& name) {
    onFile += "<profile name=\"" + name + "\"/>";
    korvu_test::writeFile("profiles.xml", "<profiles>" + onFile + "</profiles>");
  };
  // Opening either start menu, and coming back to one from a race, shows
  // what the other copy saved.
  otherCopyMakes("Cy");
  EXPECT_TRUE(menuStep({glimro::TRG_SINGLE_PLAYER_GAME}));
  EXPECT_EQ(list("dlProfile0")->items->items.size(), 3u);
  EXPECT_TRUE(menuStep({glimro::TRG_START_GAME}));
  ASSERT_NE(glimro::game, nullptr) << message();
  otherCopyMakes("Dee");
  glimro::leaveRace();
  EXPECT_EQ(list("dlProfile0")->items->items.size(), 4u);
  EXPECT_TRUE(menuStep({glimro::TRG_EXIT}));
  otherCopyMakes("Eve");
  EXPECT_TRUE(menuStep({glimro::TRG_MULTIPLAYER_GAME}));
  EXPECT_EQ(list("dlProfile1")->items->items.size(), 5u);
  EXPECT_TRUE(menuStep({glimro::TRG_EDIT_PROFILE2}));
  auto* field = glimro::findComponent<korvu::gui::Textfield>("tfProfileName");
  ASSERT_NE(field, nullptr);
  ASSERT_EQ(field->caption, "Ann");
  field->caption = "Anne";
  EXPECT_TRUE(menuStep({glimro::TRG_OK}));
  EXPECT_EQ(resources->profileBank->size(), 5u);
  std::vector<std::string> shownNames;
  for (korvu::gui::ListItem* item : resources->profileList->items) shownNames.push_back(item->text);
  EXPECT_EQ(shownNames, (std::vector<std::string>{"Anne", "Bo", "Cy", "Dee", "Eve"}));
  EXPECT_EQ(korvu_test::readFile("profiles.xml"),
            "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" ?>\n<profiles>\n  <profile name=\"Anne\"/>\n"
            "  <profile name=\"Bo\"/>\n  <profile name=\"Cy\"/>\n  <profile name=\"Dee\"/>\n"
            "  <profile name=\"Eve\"/>\n</profiles>\n");

  // A profile made and renamed here leaves its old name off the file. The
  // first save that went without locks has that said on screen, once.
  glimro::UserFile::unlockedNotice = "Saves go without locks.";
  EXPECT_TRUE(menuStep({glimro::TRG_NEW_PROFILE}));
  field->caption = "Fay";
  EXPECT_TRUE(menuStep({glimro::TRG_OK}));
  EXPECT_EQ(noticeText() + glimro::UserFile::unlockedNotice, "Saves go without locks.\n");
  list("dlProfile2")->selectItem(resources->profileList->findByData(resources->profileBank->find("Fay")->second));
  EXPECT_TRUE(menuStep({glimro::TRG_EDIT_PROFILE2}));
  field->caption = "Gil";
  EXPECT_TRUE(menuStep({glimro::TRG_OK}));
  const std::string renamed = korvu_test::readFile("profiles.xml");
  EXPECT_TRUE(renamed.find("\"Gil\"") != std::string::npos && renamed.find("\"Fay\"") == std::string::npos)
      << renamed;
}

// Another process holds a file's lock beyond a save's wait: the save writes
// nothing and says so on screen, and what it held is saved at the next save
// of that file or at the end of the game, or named there as lost.
TEST_F(ShellTest, SavesRefusedForAHeldLockAreToldAndMadeLater) {
  start();
  const std::string before = korvu_test::readFile("profiles.xml");
  const auto busy = [&](const std::string& file) {
    return "its lock \"" + dir + "/" + file + ".lock\" was held by other processes (another copy of the game saving "
           "it, or another program) for all of the 2 s a save waits";
  };
  const auto makeProfile = [&](const std::string& name) {
    EXPECT_TRUE(menuStep({glimro::TRG_NEW_PROFILE}));
    auto* field = glimro::findComponent<korvu::gui::Textfield>("tfProfileName");
    ASSERT_NE(field, nullptr);
    field->caption = name;
    EXPECT_TRUE(menuStep({glimro::TRG_OK}));
  };
  auto profilesHeld = std::make_unique<korvu_test::LockHolder>("profiles.xml.lock");
  EXPECT_TRUE(menuStep({glimro::TRG_SINGLE_PLAYER_GAME}));
  makeProfile("Cy");
  EXPECT_EQ(noticeText(), "Could not save the profiles to \"" + dir + "/profiles.xml\": " + busy("profiles.xml") +
                              ".\nThe profile is kept while the game runs: the next profile saved and the end of the "
                              "game try again to save it.\n");
  EXPECT_EQ(korvu_test::readFile("profiles.xml"), before);
  {
    korvu_test::LockHolder choicesHeld("moresettings.xml.lock");
    EXPECT_TRUE(menuStep({glimro::TRG_START_GAME}));
    ASSERT_NE(glimro::game, nullptr) << message();
    glimro::leaveRace();
  }
  EXPECT_NE(noticeText().find("Could not save the last choices to \"" + dir + "/moresettings.xml\": " +
                              busy("moresettings.xml") +
                              ".\nThey are kept while the game runs: the next race's start and the end of the game "
                              "try again to save them.\n"),
            std::string::npos)
      << noticeText();
  EXPECT_EQ(korvu_test::readFile("moresettings.xml"), "");
  // The end of the game saves the choices; the profiles, still held, are
  // named as lost.
  testing::internal::CaptureStdout();
  glimro::saveUnsaved();
  EXPECT_NE(testing::internal::GetCapturedStdout().find(
                "Could not save the profiles to \"" + dir + "/profiles.xml\": " + busy("profiles.xml") +
                ". The profiles made or renamed in this game that it lacks are lost."),
            std::string::npos);
  glimro::MoreSettings chosen;
  chosen.load("moresettings.xml");
  EXPECT_FALSE(chosen.singleplayer.empty());
  EXPECT_EQ(chosen.singleplayer, glimro::moreSettings.singleplayer);
  // The next profile saved takes the refused one with it.
  profilesHeld.reset();
  makeProfile("Di");
  glimro::PlayerProfileBank saved;
  saved.load("profiles.xml");
  EXPECT_EQ(saved.size(), 4u);
  EXPECT_NE(saved.find("Cy"), saved.end());
  // A race whose record file is held keeps its times; the end, in the next
  // race on that track, saves them with that race's.
  const auto lapOf = [&](double lapTime) {
    EXPECT_TRUE(menuStep({glimro::TRG_START_GAME}));
    ASSERT_NE(glimro::game, nullptr) << message();
    glimro::Glimro& vehicle = *glimro::game->players[0];
    vehicle.lap = 1;
    vehicle.lapTime = lapTime;
    vehicle.nextLap();
  };
  lapOf(31000);
  const std::string stats = glimro::game->track->statsFile();
  auto statsHeld = std::make_unique<korvu_test::LockHolder>(stats + ".lock");
  glimro::leaveRace();
  statsHeld.reset();
  // A profile refused meanwhile is saved by that end as well.
  profilesHeld = std::make_unique<korvu_test::LockHolder>("profiles.xml.lock");
  makeProfile("Ed");
  profilesHeld.reset();
  lapOf(32000);
  glimro::saveBeforeEnd();
  glimro::TrackStats both;
  both.load(stats);
  EXPECT_EQ(both.laptimes.entries[0].ticks, 31000);
  EXPECT_EQ(both.laptimes.entries[1].ticks, 32000);
  glimro::PlayerProfileBank withEd;
  withEd.load("profiles.xml");
  EXPECT_NE(withEd.find("Ed"), withEd.end());
  glimro::leaveRace();
  // Ended in a race whose record file stays held: the end tries that file
  // once, and names its times as lost.
  lapOf(30000);
  statsHeld = std::make_unique<korvu_test::LockHolder>(stats + ".lock");
  const auto ending = std::chrono::steady_clock::now();
  testing::internal::CaptureStdout();
  glimro::saveBeforeEnd();
  const std::string log = testing::internal::GetCapturedStdout();
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - ending).count(), 3.5);
  EXPECT_NE(log.find("Could not save the best times of \"Short track\" to \"" + dir + "/" + stats + "\": " +
                     busy(stats) +
                     ". The times driven in this game that it lacks are lost."),
            std::string::npos)
      << log;
}

// A record file that does not open (here a link loop) is told once, in the
// notice when the race is left, naming the track as the menus do; nothing
// over the race. The race runs, and its end does not write over the file;
// a time driven there is kept, and saved once the file is mended.
TEST_F(ShellTest, RecordFileThatDoesNotOpenIsToldOnceInTheMenusWords) {
  ASSERT_EQ(symlink("track_short_stats.xml", "track_short_stats.xml"), 0);
  start();
  for (korvu::gui::ListItem* item : list("dlTrack1")->items->items)
    EXPECT_EQ(std::unique_ptr<glimro::Track>(glimro::createTrack(static_cast<int>(item->id)))->title, item->text);
  EXPECT_TRUE(menuStep({glimro::TRG_SINGLE_PLAYER_GAME, glimro::TRG_START_GAME}));
  ASSERT_NE(glimro::game, nullptr) << message();
  EXPECT_EQ(message(), "");
  glimro::leaveRace();
  EXPECT_EQ(noticeText(), "Could not read the best times of \"Short track\" from \"" + dir +
                              "/track_short_stats.xml\": Too many levels of symbolic links. It is left as it is, and "
                              "nothing is saved to it while it stays so.\n");
  EXPECT_TRUE(glimro::unsavedTimes.empty());
  struct stat info;
  ASSERT_EQ(lstat("track_short_stats.xml", &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  EXPECT_NE(lstat("track_short_stats.xml.broken", &info), 0);
  EXPECT_TRUE(menuStep({glimro::TRG_START_GAME}));
  ASSERT_NE(glimro::game, nullptr) << message();
  glimro::game->track->stats.laptimes.add(glimro::TimeEntry(61000, "Ann"));
  ++glimro::game->track->timesPlaced;  // as a lap driven into the table does
  glimro::leaveRace();
  EXPECT_NE(noticeText().find("stays so.\nThe times of this race are kept while the game runs; nothing is saved to "
                              "that file while it stays so.\n"),
            std::string::npos)
      << noticeText();
  ASSERT_EQ(unlink("track_short_stats.xml"), 0);
  glimro::saveUnsaved();
  glimro::TrackStats saved;
  saved.load("track_short_stats.xml");
  EXPECT_EQ(saved.laptimes.entries[0].ticks, 61000);
}

// What the menus refuse, they say on screen; the race does not start and no
// profile is made.
TEST_F(ShellTest, RefusedProfilesAndRacesSayWhy) {
  korvu_test::writeFile("profiles.xml", "<profiles/>");
  start();
  for (int mode : {glimro::TRG_SINGLE_PLAYER_GAME, glimro::TRG_MULTIPLAYER_GAME}) {
    // Each refusal on its own: the one before must not stand in for it.
    glimro::globalMessages.clear();
    menuStep({mode, glimro::TRG_START_GAME});
    EXPECT_EQ(glimro::game, nullptr);
    EXPECT_EQ(message().rfind("Choose a profile", 0), 0u) << "mode " << mode << ": " << message();
    menuStep({glimro::TRG_CANCEL});
  }
  auto* field = glimro::findComponent<korvu::gui::Textfield>("tfProfileName");
  ASSERT_NE(field, nullptr);
  for (const char* blank : {"", "   "}) {
    menuStep({glimro::TRG_NEW_PROFILE});
    field->caption = blank;
    menuStep({glimro::TRG_OK});
    EXPECT_TRUE(shown("pEditProfileMenu"));
    EXPECT_EQ(message(), "A profile needs a name: point at the field and type one.");
  }
  EXPECT_TRUE(resources->profileBank->empty());
  // The field stops at its longest name and says so at the key it refuses,
  // and again at OK.
  const std::string limit = "A name takes at most 32 characters; the field takes no more.";
  field->caption.clear();
  glimro::globalMessages.clear();
  for (char c : std::string(33, 'x')) {
    menuStep({});
    EXPECT_EQ(message(), "");
    field->keyDown(resources->controlQueue, static_cast<unsigned short>(c));
  }
  menuStep({});
  EXPECT_EQ(message(), limit);
  glimro::globalMessages.clear();
  menuStep({glimro::TRG_OK});
  EXPECT_NE(resources->profileBank->find(std::string(32, 'x')), resources->profileBank->end());
  EXPECT_EQ(message(), limit);

  // A profile that cannot be saved is kept for the session and saved with
  // the next one; the notice names the file by its full path, and why.
  korvu_test::FileSystemShim shim;
  shim.predictableNames = true;
  ASSERT_EQ(mkdir(korvu_test::temporaryOf("profiles.xml").c_str(), 0755), 0);
  menuStep({glimro::TRG_NEW_PROFILE});
  field->caption = "Eve";
  menuStep({glimro::TRG_OK});
  EXPECT_EQ(noticeText(), "Could not save the profiles to \"" + dir +
                              "/profiles.xml\": could not create \"" + korvu_test::temporaryOf(dir + "/profiles.xml") +
                              "\": File exists.\nThe profile is kept while the game runs: the next profile "
                              "saved and the end of the game try again to save it.\n");
  ASSERT_EQ(rmdir(korvu_test::temporaryOf("profiles.xml").c_str()), 0);
  menuStep({glimro::TRG_NEW_PROFILE});
  field->caption = "Fay";
  menuStep({glimro::TRG_OK});
  EXPECT_NE(korvu_test::readFile("profiles.xml").find("Eve"), std::string::npos);
  // A name of 31 letters of two bytes each is no longer than the field takes.
  glimro::globalMessages.clear();
  menuStep({glimro::TRG_NEW_PROFILE});
  field->caption.clear();
  for (int i = 0; i < 31; ++i) field->keyDown(resources->controlQueue, 0xE9);
  // A link in the file's place refuses every save until it is mended, and
  // the notice does not promise otherwise.
  ASSERT_EQ(rename("profiles.xml", "kept.xml"), 0);
  ASSERT_EQ(symlink("kept.xml", "profiles.xml"), 0);
  menuStep({glimro::TRG_OK});
  EXPECT_EQ(message(), "");
  EXPECT_NE(noticeText().find("neither writes through a link nor replaces one.\nThe profile is kept while the game "
                              "runs; nothing is saved to that file while it stays so.\n"),
            std::string::npos)
      << noticeText();
  // Mended, the end of the game saves it; so it does a profile whose save a
  // power cut undid after its folder could not be synced.
  ASSERT_EQ(unlink("profiles.xml"), 0);
  ASSERT_EQ(rename("kept.xml", "profiles.xml"), 0);
  glimro::saveUnsaved();
  const std::string before = korvu_test::readFile("profiles.xml");
  EXPECT_NE(before.find(std::string(31, '\xE9')), std::string::npos);
  shim.folderSyncError = EIO;
  menuStep({glimro::TRG_NEW_PROFILE});
  field->caption = "Gus";
  menuStep({glimro::TRG_OK});
  EXPECT_NE(noticeText().find("holds the save"), std::string::npos) << noticeText();
  shim.folderSyncError = 0;
  korvu_test::writeFile("profiles.xml", before);
  glimro::saveUnsaved();
  EXPECT_NE(korvu_test::readFile("profiles.xml").find("\"Gus\""), std::string::npos);
}

// Start-up warnings stay readable at 800 by 600: a path too long for a line
// is cut after a '/', no line is wider than the window, and what does not
// fit in the top half is summed up in a last line.
TEST_F(ShellTest, StartupNoticeWrapsIntoTheWindow) {
  start();
  const korvu::fonts::Font& font = *resources->font;
  const std::string path = "/home/a-player" + std::string(30, 'x') + "/.local/share/glimro/resources/settings.xml";
  const std::vector<std::string> narrow = glimro::wrapText(font, path, 300.0f);
  EXPECT_GE(narrow.size(), 2u);
  for (size_t i = 0; i < narrow.size(); ++i) {
    EXPECT_LE(font.getWidth(narrow[i].c_str()), 300) << narrow[i];
    EXPECT_TRUE(i + 1 == narrow.size() || narrow[i].back() == '/') << narrow[i];
  }
  EXPECT_EQ(glimro::wrapText(font, "line one\nline\ttwo", 760.0f), std::vector<std::string>{"line one line two"});
  // A word without a '/' is cut between UTF-8 characters, never inside one.
  std::string accented;
  for (int i = 0; i < 12; ++i) accented += "Müller-Gérard€";
  for (const std::string& line : glimro::wrapText(font, accented, 120.0f))
    for (const char* p = line.c_str(); *p != '\0';)
      ASSERT_NE(korvu::fonts::readCharacter(p), korvu::fonts::BAD_CHARACTER) << line;

  // Each start-up warning begins a line of its own, the one after a
  // warning that wraps as well.
  const std::string laps = "Laps \"0\" in \"" + path + "\" is not a number of at least 1.";
  testing::internal::CaptureStdout();
  korvu::debug::startCapture();
  korvu::debug::warning(korvu::dbgCore, "%s", laps.c_str());
  korvu::debug::warning(korvu::dbgCore, "No joystick.");
  glimro::showNotice(korvu::debug::stopCapture());
  testing::internal::GetCapturedStdout();
  EXPECT_GE(glimro::notice.lines.size(), 3u);
  EXPECT_EQ(glimro::notice.lines.front().rfind("Laps \"0\" in ", 0), 0u) << glimro::notice.lines.front();
  EXPECT_EQ(glimro::notice.lines.back(), "No joystick.");

  const std::vector<std::string> many(40, laps);
  glimro::notice.show(many, &font, 800.0f, 600.0f);
  EXPECT_GE(glimro::notice.box.y, 299.0f);
  const std::string& last = glimro::notice.lines.back();
  EXPECT_TRUE(last.rfind("... and ", 0) == 0 && last.find(" more in the game's log") != std::string::npos) << last;
}
