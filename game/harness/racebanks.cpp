#include "racebanks.h"

#include <string>

#include "controls.h"
#include "audio/emitter.h"
#include "race/raceresources.h"
#include "shell/settings.h"

namespace glimro_harness {

RaceBanks::RaceBanks() { glimro::setUpRenderContexts(context2D, context3D, glimro::settings.viewDistance); }

RaceBanks::~RaceBanks() = default;

void RaceBanks::install() {
  effects.reset(new korvu::audio::Emitter());
  music.reset(new korvu::audio::Emitter());
  glimro::RaceResources& r = glimro::raceResources;
  r = glimro::RaceResources();
  r.renderContext2D = &context2D;
  r.renderContext3D = &context3D;
  r.soundBank = &sounds;
  r.effectsEmitter = effects.get();
  r.musicEmitter = music.get();
  r.textureBank = &textures;
  r.skyboxTextureBank = &skyTextures;
  r.materialBank = &materials;
  r.skyboxMaterialBank = &skyMaterials;
  r.modelBank = &models;
  r.controlQueue = &queue;
}

void RaceBanks::addAxes() {
  glimro::RaceResources& r = glimro::raceResources;
  for (int i = 0; i < 2; ++i) {
    const std::string p = std::to_string(i + 1);
    r.xAxis[i] = new korvu::Axis(6 + 8 * i, "x" + p, "", 0, 1);
    r.accelerateAxis[i] = new korvu::Axis(7 + 8 * i, "accelerate" + p, "", 0, 1);
    r.breakAxis[i] = new korvu::Axis(8 + 8 * i, "break" + p, "", 0, 1);
    queue += r.xAxis[i];
    queue += r.accelerateAxis[i];
    queue += r.breakAxis[i];
  }
}

}  // namespace glimro_harness
