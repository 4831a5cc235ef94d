// The game's resource set: the one object that owns every bank (sounds,
// textures, materials, models, fonts, player profiles), the two sound
// emitters, the GUI, the trigger queue with the input evaluator and their
// default bindings, the joysticks, the console while one runs and the render
// contexts. Built once after the screen, 3D and audio are up; the rest of the
// game reaches every resource through its fields, and the race through the
// part it shares (RaceResources, its base), which raceResources points at.
#pragma once

#include <SDL.h>

#include "bank.h"
#include "race/raceresources.h"

namespace korvu {
class Axis;
class ControlQueue;
class ImageBank;
class InputEvaluator;
class Trigger;
namespace audio { class Emitter; class SoundBank; }
namespace ddd { class MaterialBank; class ModelBank; }
namespace fonts { class Font; }
namespace gui { class GUI; class List; }
}  // namespace korvu

namespace glimro {

class ConsoleThread;
class PlayerProfileBank;

class Resources : public RaceResources {
 public:
  // Triggers belong to the control queue.
  korvu::Trigger* exitTrigger = nullptr;
  korvu::Trigger* toggleMenuTrigger = nullptr;
  // Players 1 and 2; null for a joystick that is not there.
  SDL_Joystick* joysticks[2] = {nullptr, nullptr};
  korvu::ImageBank* guiImageBank = nullptr;
  // Owns the fonts; `font` is the last one loaded (the small one).
  korvu::MappedBank<korvu::fonts::Font>* fontBank = nullptr;
  korvu::InputEvaluator* inputEvaluator = nullptr;
  // The debugging console while one runs.
  ConsoleThread* console = nullptr;
  PlayerProfileBank* profileBank = nullptr;
  // One item per profile, shared by use count with the three profile
  // drop-down lists, which delete it with the last of them.
  korvu::gui::List* profileList = nullptr;

  // Loads everything. A failing sounds list, texture list, materials file,
  // models file or font is written on standard error and loading goes on;
  // a GUI description that cannot be read or sounds that do not decode end
  // the program. Other failures leave the constructor as a std::string,
  // with what was built already freed.
  Resources();
  ~Resources();
  Resources(const Resources&) = delete;
  Resources& operator=(const Resources&) = delete;

 private:
  void load();
  void release();
};

// The resource set; null before start-up has built it and after shutdown.
extern Resources* resources;

}  // namespace glimro
