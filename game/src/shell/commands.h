// The game's command table: its 47 triggers and axes, and the keys, joystick
// buttons and joystick axes bound to them by default.
#pragma once

#include <string>
#include <vector>

#include "controls.h"
#include "input.h"

namespace glimro {

// Trigger ids, as the menus, the race and the global commands switch on them.
enum TriggerId {
  TRG_EXIT = 0,
  TRG_TOGGLE_MENU = 1,
  TRG_FULLSCREEN = 2,
  TRG_CONSOLE = 3,
  TRG_PROFILING = 4,
  TRG_CREDITS = 5,
  TRG_X1 = 6,
  TRG_ACCELERATE1 = 7,
  TRG_BREAK1 = 8,
  TRG_CAMERA1 = 9,
  TRG_LIGHT1 = 10,
  TRG_RESET1 = 11,
  TRG_OPEN_ROCKET1 = 12,
  TRG_LAUNCH_ROCKET1 = 13,
  TRG_X2 = 14,
  TRG_ACCELERATE2 = 15,
  TRG_BREAK2 = 16,
  TRG_CAMERA2 = 17,
  TRG_LIGHT2 = 18,
  TRG_RESET2 = 19,
  TRG_OPEN_ROCKET2 = 20,
  TRG_LAUNCH_ROCKET2 = 21,
  TRG_SUN = 22,
  TRG_FPS = 23,
  TRG_FPS_ON = 24,
  TRG_FPS_OFF = 25,
  TRG_COMPILED_MODELS = 26,
  TRG_LENSFLARES = 27,
  TRG_WIREFRAME = 28,
  TRG_TRANSPARENCY = 29,
  TRG_SHADOWS = 30,
  TRG_PROJECTIVE_TEXTURES = 31,
  TRG_SCREENSHOT = 32,
  TRG_SKYBOX = 33,
  TRG_MUSIC = 34,
  TRG_BUFFERED_MODELS = 35,
  TRG_MIPMAPS = 36,
  TRG_MIPMAP_MODE = 37,
  TRG_CULLING = 38,
  TRG_SINGLE_PLAYER_GAME = 39,
  TRG_MULTIPLAYER_GAME = 40,
  TRG_START_GAME = 41,
  TRG_NEW_PROFILE = 42,
  TRG_EDIT_PROFILE1 = 43,
  TRG_EDIT_PROFILE2 = 44,
  TRG_OK = 45,
  TRG_CANCEL = 46
};

// One default binding of a command.
struct DefaultBinding {
  enum Kind {
    KEY,         // a key; `input` is the SDLKey
    JOY_BUTTON,  // a button `input` of joystick `joystick`
    JOY_AXIS     // axis `input` of joystick `joystick`, the half of sign `value`
  };
  Kind kind;
  int joystick;
  int input;
  // Axis commands: the value a held key or button gives the axis, or the
  // half's direction for a joystick axis. Unused for plain triggers.
  double value;
};

struct Command {
  int id;
  std::string name;
  std::string description;
  bool axis;  // an Axis with range 0 to 1, else a plain Trigger
  std::vector<DefaultBinding> bindings;
};

// The table, in the order the commands are registered.
const std::vector<Command>& commandTable();

// Joystick-axis limits of the default bindings.
const short JOYSTICK_DEADZONE = 4000;
const short JOYSTICK_MAXIMUM = 30000;

// What the game keeps of the built table.
struct Controls {
  korvu::Trigger* exitTrigger = nullptr;
  korvu::Trigger* toggleMenuTrigger = nullptr;
  // Index 0 player 1, index 1 player 2.
  korvu::Axis* xAxis[2] = {nullptr, nullptr};
  korvu::Axis* accelerateAxis[2] = {nullptr, nullptr};
  korvu::Axis* breakAxis[2] = {nullptr, nullptr};
};

// Creates every command of the table, registers it in the queue (which owns
// it) and appends its default bindings to the evaluator (which owns them),
// row by row in table order.
Controls buildControls(korvu::ControlQueue& queue, korvu::InputEvaluator& evaluator);

}  // namespace glimro
