// A race's surroundings without the game's resource set, for the tests and
// the benchmarks: the real vehicle, rocket, track, lamp and sky assets of
// the source tree's resources, the listed sounds with audio switched off
// (when no audio is up), emitters, the game's render contexts and a trigger
// queue with the players' axes. It works in a folder of its own whose
// "resources" lead to the source tree's, so record files land there. While
// it lives glimro::raceResources points at it and the settings are the
// defaults; it puts the process's state back when it goes.
#pragma once

#include <memory>
#include <string>

#include "audio/sound.h"
#include "controls.h"
#include "ddd/materialbank.h"
#include "ddd/modelbank.h"
#include "image.h"
#include "race/raceresources.h"
#include "race/settings.h"

namespace korvu { namespace audio { class Emitter; } }

namespace glimro_harness {

// Where the assets come from: the source tree, or KORVU_SOURCE_DIR.
std::string sourceDir();

class RaceWorld : public glimro::RaceResources {
 public:
  korvu::ImageBank textures;
  korvu::ImageBank skyTextures;
  korvu::ddd::MaterialBank materials;
  korvu::ddd::MaterialBank skyMaterials;
  korvu::ddd::ModelBank models;
  korvu::audio::SoundBank sounds;
  korvu::ControlQueue queue;
  std::unique_ptr<korvu::audio::Emitter> effects;
  std::unique_ptr<korvu::audio::Emitter> music;
  // The working folder while the world lives.
  std::string folder;

  // With `images` the textures are loaded (needs a current GL context).
  // Throws a message when it cannot be built, with the process's state put
  // back.
  explicit RaceWorld(bool images = false);
  ~RaceWorld();
  RaceWorld(const RaceWorld&) = delete;
  RaceWorld& operator=(const RaceWorld&) = delete;

 private:
  // Puts back what the world changed and removes its folder.
  void restore();

  std::string previousFolder_;
  glimro::RaceResources* previousResources_ = nullptr;
  glimro::Settings previousSettings_;
  bool startedAudio_ = false;
};

}  // namespace glimro_harness
