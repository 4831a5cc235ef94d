// A race's surroundings for tests, without the game's resource set: the
// real vehicle, rocket and sky assets, the real track models when the
// resources hold them (small stand-ins otherwise), lamp materials, the
// listed sounds with audio switched off, emitters, render contexts, a
// trigger queue with the players' axes, and a working folder whose
// "resources" lead to the repository's. It fills glimro::raceResources and
// the settings a race reads, and puts everything back when it goes.
#pragma once

#include <memory>
#include <string>

#include "controls.h"
#include "ddd/materialbank.h"
#include "ddd/modelbank.h"
#include "image.h"
#include "raceresources.h"
#include "rendercontext.h"
#include "settings.h"
#include "sound.h"

namespace korvu { namespace audio { class Emitter; } }

namespace glimro_test {

class RaceWorld {
 public:
  korvu::ImageBank textures;
  korvu::ImageBank skyTextures;
  korvu::ddd::MaterialBank materials;
  korvu::ddd::MaterialBank skyMaterials;
  korvu::ddd::ModelBank models;
  korvu::audio::SoundBank sounds;
  korvu::RenderContext2D context2D;
  korvu::RenderContext3D context3D;
  korvu::ControlQueue queue;
  std::unique_ptr<korvu::audio::Emitter> effects;
  std::unique_ptr<korvu::audio::Emitter> music;
  // The working folder while the world lives.
  std::string folder;
  // The track models came from the resources, not stand-ins.
  bool realTrack = false;

  // With `textures` the images are loaded (needs a current GL context).
  explicit RaceWorld(bool textures = false);
  ~RaceWorld();
  RaceWorld(const RaceWorld&) = delete;
  RaceWorld& operator=(const RaceWorld&) = delete;

 private:
  std::string previousFolder_;
  glimro::RaceResources previousResources_;
  glimro::Settings previousSettings_;
  bool startedAudio_ = false;
};

}  // namespace glimro_test
