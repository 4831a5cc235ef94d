// The game's command table: its 47 triggers and axes, and the keys, joystick
// buttons and joystick axes bound to them by default.
#pragma once

#include <string>
#include <vector>

#include "common/triggers.h"
#include "controls.h"
#include "input.h"

namespace glimro {

struct RaceResources;

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

// Creates every command of the table, registers it in the queue (which owns
// it) and appends its default bindings to the evaluator (which owns them),
// row by row in table order; hands the players' axes to the race's
// resources.
void buildControls(korvu::ControlQueue& queue, korvu::InputEvaluator& evaluator, RaceResources& race);

}  // namespace glimro
