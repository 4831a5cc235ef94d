// The game's command table and its default bindings, built into a real queue
// and evaluator and driven by SDL events.
#include <gtest/gtest.h>

#include <SDL.h>

#include <cmath>
#include <sstream>
#include <string>
#include <typeinfo>
#include <vector>

#include "race/game.h"
#include "race/glimro.h"
#include "race/raceresources.h"
#include "raceharness.h"
#include "shell/commands.h"
#include "sdlevents.h"

using namespace korvu;
using korvu_test::buttonEvent;
using korvu_test::keyEvent;
using korvu_test::stickEvent;

namespace {

struct Row {
  int id;
  const char* name;
  const char* description;
  bool axis;
  // Its default bindings as their text lines, in the order appended.
  std::vector<const char*> bindings;
};

// Written out by hand, in registration order.
const Row EXPECTED[] = {
    {0, "exit", "Exit", false, {"exit=key:q:down", "exit=key:esc:down"}},
    {1, "toggleMenu", "Toggle menu", false, {}},
    {2, "fullscreen", "Toggle fullscreen", false, {"fullscreen=key:f:down"}},
    {32, "Screenshot", "Save screenshot", false, {"Screenshot=key:f12:down"}},
    {3, "console", "Activate debugging console", false, {"console=key:#:down"}},
    {6, "x1", "X axis (player 1)", true,
     {"x1=key:left:pressed:-1", "x1=key:right:pressed:1", "x1=joy:0:axis:0:-1:4000:30000",
      "x1=joy:0:axis:0:1:4000:30000"}},
    {7, "accelerate1", "Accelerate (player 1)", true,
     {"accelerate1=key:up:pressed:1", "accelerate1=joy:0:button:0:pressed:1", "accelerate1=joy:0:button:9:pressed:1"}},
    {8, "break1", "Break (player 1)", true,
     {"break1=key:down:pressed:1", "break1=joy:0:button:1:pressed:1", "break1=joy:0:button:8:pressed:1"}},
    {9, "camera1", "Switch camera (player 1)", false, {"camera1=key:k:down"}},
    {10, "light1", "Toggle headlights (player 1)", false, {"light1=key:l:down"}},
    {11, "reset1", "Reset player 1", false, {"reset1=key:backspace:down", "reset1=joy:0:button:3:down"}},
    {12, "openRocket1", "Open rocket launcher player 1", false,
     {"openRocket1=key:return:down", "openRocket1=joy:0:button:4:down"}},
    {13, "launchRocket1", "Launch rocket launcher player 1", false,
     {"launchRocket1=key:rctrl:down", "launchRocket1=joy:0:button:5:down"}},
    {14, "x2", "X axis (player 2)", true,
     {"x2=key:a:pressed:-1", "x2=key:d:pressed:1", "x2=joy:1:axis:0:-1:4000:30000", "x2=joy:1:axis:0:1:4000:30000"}},
    {15, "accelerate2", "Accelerate (player 2)", true,
     {"accelerate2=key:w:pressed:1", "accelerate2=joy:1:button:0:pressed:1", "accelerate2=joy:1:button:9:pressed:1"}},
    {16, "break2", "Break (player 2)", true,
     {"break2=key:s:pressed:1", "break2=joy:1:button:1:pressed:1", "break2=joy:1:button:8:pressed:1"}},
    {18, "light2", "Toggle headlights (player 2)", false, {"light2=key:y:down"}},
    {17, "camera2", "Switch camera (player 2)", false, {"camera2=key:x:down"}},
    {19, "reset2", "Reset player 2", false, {"reset2=key:tab:down", "reset2=joy:1:button:3:down"}},
    {20, "openRocket2", "Open rocket launcher player 2", false,
     {"openRocket2=key:lshift:down", "openRocket2=joy:1:button:4:down"}},
    {21, "launchRocket2", "Launch rocket launcher player 2", false,
     {"launchRocket2=key:lctrl:down", "launchRocket2=joy:1:button:5:down"}},
    {22, "sun", "Toggle sun", false, {"sun=key:n:down"}},
    {23, "fps", "Toggle FPS display", false, {"fps=key:f2:down"}},
    {24, "fpsOn", "Activate FPS display", false, {}},
    {25, "fpsOff", "Deactivate FPS display", false, {}},
    {35, "BufferedModels", "Toggle buffered models", false, {"BufferedModels=key:f6:down"}},
    {26, "compiledModels", "Toggle compiled models", false, {"compiledModels=key:f7:down"}},
    {28, "wireframe", "Toggle wireframe", false, {"wireframe=key:f3:down"}},
    {33, "skybox", "Toggle skybox", false, {"skybox=key:f1:down"}},
    {37, "mipmapMode", "Toggle mipmap mode", false, {"mipmapMode=key:f4:down"}},
    {36, "mipmaps", "Toggle mipmaps", false, {"mipmaps=key:f5:down"}},
    {38, "culling", "Toggle view frustum culling", false, {"culling=key:f8:down"}},
    {29, "transparency", "Toggle transparency", false, {"transparency=key:f9:down"}},
    {27, "lensflares", "Toggle lensflares", false, {"lensflares=key:f10:down"}},
    {30, "shadows", "Toggle shadows", false, {"shadows=key:f11:down"}},
    {31, "projectiveTextures", "Toggle projective textures", false, {"projectiveTextures=key:j:down"}},
    {34, "music", "Toggle music", false, {"music=key:m:down"}},
    {4, "profiling", "Print profiling stats", false, {"profiling=key:p:down"}},
    {5, "credits", "Show credits", false, {}},
    {39, "singlePlayerGame", "Start single player game", false, {}},
    {40, "multiplayerGame", "Start multiplayer game", false, {}},
    {41, "startGame", "Start game", false, {}},
    {42, "newProfile", "New profile", false, {}},
    {43, "editProfile1", "Edit profile player 1", false, {}},
    {44, "editProfile2", "Edit profile player 2", false, {}},
    {45, "ok", "OK", false, {}},
    {46, "cancel", "Cancel", false, {}},
};

class CommandsTest : public ::testing::Test {
 protected:
  ControlQueue queue;
  InputEvaluator evaluator;
  // The players' axes, as the table hands them to the race.
  glimro::RaceResources controls;

  void SetUp() override {
    glimro::buildControls(queue, evaluator, controls);
    queue.evaluator = &evaluator;
  }

  void send(const SDL_Event& e) { queue << e; }

  std::vector<int> poppedIds() {
    std::vector<int> ids;
    Trigger* t;
    for (queue >> t; t; queue >> t) ids.push_back(t->id);
    return ids;
  }
};

}  // namespace

// The table, the registered triggers and the appended bindings, row by row.
TEST_F(CommandsTest, EveryCommandRegisteredOnceWithItsFieldsAndBindingsInOrder) {
  const auto& table = glimro::commandTable();
  ASSERT_EQ(table.size(), 47u);
  ASSERT_EQ(queue.triggers.size(), 47u);
  ASSERT_EQ(sizeof EXPECTED / sizeof EXPECTED[0], 47u);
  std::vector<bool> idSeen(47, false);
  std::vector<std::string> bindings;
  for (size_t i = 0; i < table.size(); ++i) {
    const Row& row = EXPECTED[i];
    SCOPED_TRACE(row.name);
    EXPECT_EQ(table[i].id, row.id);
    EXPECT_EQ(table[i].name, row.name);
    EXPECT_EQ(table[i].description, row.description);
    EXPECT_EQ(table[i].axis, row.axis);
    bindings.insert(bindings.end(), row.bindings.begin(), row.bindings.end());
    Trigger* t = queue.find(row.name);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->id, row.id);
    EXPECT_EQ(t->description, row.description);
    EXPECT_EQ(t->kind, row.axis ? 1 : 0);
    EXPECT_FALSE(idSeen[row.id]) << "id twice: " << row.id;
    idSeen[row.id] = true;
    Axis* a = dynamic_cast<Axis*>(t);
    EXPECT_EQ(a != nullptr, row.axis);
    if (a != nullptr) {
      EXPECT_EQ(a->min, 0.0);
      EXPECT_EQ(a->max, 1.0);
      EXPECT_EQ(a->value, 0.0);
    }
  }
  for (int p = 0; p < 2; ++p) {
    const std::string n = std::to_string(p + 1);
    EXPECT_EQ(controls.xAxis[p], queue.find("x" + n));
    EXPECT_EQ(controls.accelerateAxis[p], queue.find("accelerate" + n));
    EXPECT_EQ(controls.breakAxis[p], queue.find("break" + n));
  }

  std::vector<std::string> lines;
  int keyTriggers = 0, keyAxes = 0, buttonTriggers = 0, buttonAxes = 0, stickHalves = 0;
  for (const Translator* t : evaluator.getTranslators()) {
    std::ostringstream os;
    t->out(os);
    lines.push_back(os.str());
    if (const KeyTrigger* k = dynamic_cast<const KeyTrigger*>(t)) {
      ++keyTriggers;
      EXPECT_FALSE(k->flag);
    }
    keyAxes += dynamic_cast<const KeyAxis*>(t) != nullptr;
    buttonTriggers += dynamic_cast<const JoyButtonTrigger*>(t) != nullptr;
    buttonAxes += dynamic_cast<const JoyButtonAxis*>(t) != nullptr;
    stickHalves += dynamic_cast<const JoyAxis*>(t) != nullptr;
  }
  EXPECT_EQ(lines, bindings);
  EXPECT_EQ(keyTriggers, 30);
  EXPECT_EQ(keyAxes, 8);
  EXPECT_EQ(buttonTriggers, 6);
  EXPECT_EQ(buttonAxes, 8);
  EXPECT_EQ(stickHalves, 4);
}

TEST_F(CommandsTest, RightCtrlFromSdlsQueueLaunchesPlayerOnesRocket) {
  ASSERT_EQ(korvu_test::initEventsWithoutWindow(), 0) << SDL_GetError();

  SDL_Event e = keyEvent(SDL_KEYDOWN, SDLK_RCTRL);
  EXPECT_EQ(SDL_PushEvent(&e), 0);
  EXPECT_TRUE(queue.readEvents());
  SDL_Quit();

  Trigger* t = nullptr;
  queue >> t;
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->id, 13);
  EXPECT_EQ(t->name, "launchRocket1");
  queue >> t;
  EXPECT_EQ(t, nullptr);
}

TEST_F(CommandsTest, DefaultBindingsDriveBothPlayers) {
  // A key fires once per press, holding it fires nothing more.
  send(keyEvent(SDL_KEYDOWN, SDLK_q));
  queue.perform(16.0);
  send(keyEvent(SDL_KEYUP, SDLK_q));
  send(keyEvent(SDL_KEYDOWN, SDLK_ESCAPE));
  send(keyEvent(SDL_KEYDOWN, SDLK_l));
  send(keyEvent(SDL_KEYDOWN, SDLK_y));
  send(buttonEvent(SDL_JOYBUTTONDOWN, 0, 5));
  send(buttonEvent(SDL_JOYBUTTONDOWN, 1, 3));
  EXPECT_EQ(poppedIds(), (std::vector<int>{0, 0, 10, 18, 13, 19}));

  Axis* x1 = controls.xAxis[0];
  Axis* x2 = controls.xAxis[1];
  send(keyEvent(SDL_KEYDOWN, SDLK_LEFT));
  send(keyEvent(SDL_KEYDOWN, SDLK_RIGHT));
  send(keyEvent(SDL_KEYUP, SDLK_LEFT));
  EXPECT_EQ(x1->value, 1.0);
  send(keyEvent(SDL_KEYUP, SDLK_RIGHT));
  EXPECT_EQ(x1->value, 0.0);

  send(stickEvent(0, 0, -20000));
  EXPECT_NEAR(x1->value, -16000.0 / 26000.0, 1e-12);
  send(stickEvent(0, 0, 3000));
  EXPECT_EQ(x1->value, 0.0);
  send(stickEvent(1, 0, 32767));
  EXPECT_EQ(x2->value, 1.0);
  EXPECT_EQ(x1->value, 0.0);

  for (Uint8 b : {0, 9}) {
    send(buttonEvent(SDL_JOYBUTTONDOWN, 0, b));
    EXPECT_EQ(controls.accelerateAxis[0]->value, 1.0) << int(b);
    send(buttonEvent(SDL_JOYBUTTONUP, 0, b));
    EXPECT_EQ(controls.accelerateAxis[0]->value, 0.0) << int(b);
  }
  for (Uint8 b : {1, 8}) {
    send(buttonEvent(SDL_JOYBUTTONDOWN, 1, b));
    EXPECT_EQ(controls.breakAxis[1]->value, 1.0) << int(b);
    send(buttonEvent(SDL_JOYBUTTONUP, 1, b));
  }
  send(keyEvent(SDL_KEYDOWN, SDLK_w));
  EXPECT_EQ(controls.accelerateAxis[1]->value, 1.0);
  EXPECT_EQ(controls.breakAxis[0]->value, 0.0);
}

// The road of a key from SDL's queue to the vehicle: each player's
// accelerator and steering, read by the race's own poll through the default
// bindings, drive and turn that player's vehicle alone. The other vehicle
// stands while one accelerates, and keeps its heading, driving too, while
// one steers.
TEST_F(CommandsTest, EachPlayersKeysDriveAndTurnThatPlayersVehicleAlone) {
  const SDLKey accelerators[] = {SDLK_UP, SDLK_w}, steering[] = {SDLK_RIGHT, SDLK_d};
  // Degrees about the vertical, between -180 and 180.
  const auto heading = [](const glimro::Glimro* v) {
    return std::atan2(v->rotation.m[0][2], v->rotation.m[2][2]) * 180.0 / M_PI;
  };
  for (size_t player = 0; player < 2; ++player) {
    SCOPED_TRACE(player + 1);
    glimro_harness::RaceOptions options;
    options.players = 2;
    glimro_harness::RaceHarness h(options);
    h.autopilot = false;
    h.controlQueue = &queue;
    for (int p = 0; p < 2; ++p) {
      h.xAxis[p] = controls.xAxis[p];
      h.accelerateAxis[p] = controls.accelerateAxis[p];
      h.breakAxis[p] = controls.breakAxis[p];
    }
    ASSERT_EQ(korvu_test::initEventsWithoutWindow(), 0) << SDL_GetError();
    while (h.game->countdown > 0) h.step();
    for (int i = 0; i < 50; ++i) h.step();
    const glimro::Glimro* own = h.game->players[player];
    const glimro::Glimro* other = h.game->players[1 - player];
    const auto push = [&](Uint8 type, SDLKey key, int frames) {
      SDL_Event e = keyEvent(type, key);
      EXPECT_EQ(SDL_PushEvent(&e), 0);
      for (int i = 0; i < frames; ++i) h.step();
    };
    push(SDL_KEYDOWN, accelerators[player], 25);
    EXPECT_GT(own->speed, 1.0);
    EXPECT_EQ(other->speed, 0.0);
    const double ownHeading = heading(own), otherHeading = heading(other);
    push(SDL_KEYDOWN, accelerators[1 - player], 0);
    push(SDL_KEYDOWN, steering[player], 10);
    EXPECT_GT(other->speed, 0.0);
    EXPECT_GT(std::abs(std::remainder(heading(own) - ownHeading, 360.0)), 10.0);
    EXPECT_LT(std::abs(std::remainder(heading(other) - otherHeading, 360.0)), 0.5);
    for (SDLKey key : {accelerators[0], accelerators[1], steering[player]}) push(SDL_KEYUP, key, 0);
    h.step();
    SDL_Quit();
  }
}
