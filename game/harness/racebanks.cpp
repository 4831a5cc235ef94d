#include "racebanks.h"

#include "emitter.h"
#include "raceresources.h"

namespace glimro_harness {

RaceBanks::RaceBanks() {
  context3D.lighting = true;
  context3D.smooth = 1;
  context3D.fogMode = 1;
}

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

}  // namespace glimro_harness
