#include "race/raceresources.h"

#include "ddd/collisionmodel.h"
#include "ddd/materialbank.h"
#include "ddd/modelbank.h"
#include "image.h"
#include "rendercontext.h"
#include "audio/sound.h"

namespace glimro {

RaceResources* raceResources = nullptr;

void setUpRenderContexts(korvu::RenderContext2D& context2D, korvu::RenderContext3D& context3D,
                         float viewDistance) {
  context2D.smooth = 0;
  context2D.blending = true;
  context2D.lighting = false;
  context3D.fogMode = 1;
  context3D.fogStart = viewDistance;
  context3D.fogEnd = viewDistance;
  context3D.fogDensity = 0.5f;
  context3D.fogColor = korvu::Color{0.0f, 0.0f, 0.0f, 0.0f};
  context3D.depthTest = true;
  context3D.lighting = true;
  context3D.smooth = 1;
  context3D.perspectiveHint = 5;
  context3D.pointSmoothHint = 5;
  context3D.polygonSmoothHint = 5;
}

namespace {

template <class Bank>
typename Bank::mapped_type find(const Bank* bank, const std::string& name) {
  if (!bank) return nullptr;
  auto found = bank->find(name);
  return found == bank->end() ? nullptr : found->second;
}

}  // namespace

korvu::ddd::Model* RaceResources::model(const std::string& name) const { return find(modelBank, name); }

korvu::ddd::Material* RaceResources::material(const std::string& name) const {
  return find(materialBank, name);
}

korvu::audio::Sound* RaceResources::sound(const std::string& name) const { return find(soundBank, name); }

const korvu::Image* RaceResources::texture(const std::string& name) const { return find(textureBank, name); }

korvu::ddd::Model* RaceResources::requireModel(const std::string& name) const {
  korvu::ddd::Model* m = model(name);
  if (!m) throw "The race needs the model \"" + name + "\", which is not loaded.";
  return m;
}

korvu::ddd::CollisionModel* RaceResources::requireCollisionModel(const std::string& name) const {
  auto* m = dynamic_cast<korvu::ddd::CollisionModel*>(requireModel(name));
  if (!m) throw "The race needs \"" + name + "\" as a collision model, but it is loaded as a plain model.";
  return m;
}

korvu::ddd::Material* RaceResources::requireMaterial(const std::string& name) const {
  korvu::ddd::Material* m = material(name);
  if (!m) throw "The race needs the material \"" + name + "\", which is not loaded.";
  return m;
}

korvu::audio::Sound* RaceResources::requireSound(const std::string& name) const {
  korvu::audio::Sound* s = sound(name);
  if (!s) throw "The race needs the sound \"" + name + "\", which is not loaded.";
  return s;
}

}  // namespace glimro
