// The banks, render contexts, trigger queue and emitters a race reads,
// owned together for the tests and the benchmarks, which race without the
// game's resource set. Loading them and the players' axes stay with the
// owner; `install` hands them to glimro::raceResources.
#pragma once

#include <memory>

#include "controls.h"
#include "ddd/materialbank.h"
#include "ddd/modelbank.h"
#include "image.h"
#include "rendercontext.h"
#include "audio/sound.h"

namespace korvu { namespace audio { class Emitter; } }

namespace glimro_harness {

struct RaceBanks {
  korvu::ImageBank textures;
  korvu::ImageBank skyTextures;
  korvu::ddd::MaterialBank materials;
  korvu::ddd::MaterialBank skyMaterials;
  korvu::ddd::ModelBank models;
  korvu::audio::SoundBank sounds;
  // The game's own contexts (glimro::setUpRenderContexts).
  korvu::RenderContext2D context2D;
  korvu::RenderContext3D context3D;
  korvu::ControlQueue queue;
  // Null until `install`; the owner resets them before audio goes down.
  std::unique_ptr<korvu::audio::Emitter> effects;
  std::unique_ptr<korvu::audio::Emitter> music;

  RaceBanks();
  ~RaceBanks();
  RaceBanks(const RaceBanks&) = delete;
  RaceBanks& operator=(const RaceBanks&) = delete;

  // Makes the emitters (audio must be up) and makes glimro::raceResources
  // point at these banks, with everything else in it cleared.
  void install();
  // Registers the two players' steering, accelerate and brake axes in the
  // queue (which owns them) and hands them to glimro::raceResources.
  void addAxes();
};

}  // namespace glimro_harness
