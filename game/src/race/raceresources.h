// What a race takes from the game's resource set: the banks its vehicles,
// rockets, start lights and sky are looked up in, the emitters it plays
// through, the 3D render context its weather sets, the HUD font, the
// trigger queue and the players' axes. The race reads them through the one
// global raceResources, which the resource set fills; tests fill it with
// banks of their own. Nothing here is owned.
#pragma once

#include <string>

namespace korvu {
class Axis;
class Trigger;
class ControlQueue;
class Image;
class ImageBank;
class RenderContext2D;
class RenderContext3D;
namespace audio {
class Emitter;
class Sound;
class SoundBank;
}  // namespace audio
namespace ddd {
class CollisionModel;
class Material;
class MaterialBank;
class Model;
class ModelBank;
}  // namespace ddd
namespace fonts { class Font; }
namespace gui { class GUI; }
}  // namespace korvu

namespace glimro {

struct RaceResources {
  korvu::RenderContext2D* renderContext2D = nullptr;
  korvu::RenderContext3D* renderContext3D = nullptr;
  // The menus; the race shows its race-over panel in it. May be null.
  korvu::gui::GUI* gui = nullptr;
  korvu::audio::SoundBank* soundBank = nullptr;
  korvu::audio::Emitter* effectsEmitter = nullptr;
  korvu::audio::Emitter* musicEmitter = nullptr;
  korvu::ImageBank* textureBank = nullptr;
  korvu::ImageBank* skyboxTextureBank = nullptr;
  korvu::ddd::MaterialBank* materialBank = nullptr;
  korvu::ddd::MaterialBank* skyboxMaterialBank = nullptr;
  korvu::ddd::ModelBank* modelBank = nullptr;
  // The HUD font; may be null.
  korvu::fonts::Font* font = nullptr;
  korvu::ControlQueue* controlQueue = nullptr;
  // Index 0 player 1, index 1 player 2.
  korvu::Axis* xAxis[2] = {nullptr, nullptr};
  korvu::Axis* accelerateAxis[2] = {nullptr, nullptr};
  korvu::Axis* breakAxis[2] = {nullptr, nullptr};
  // Where the race hands every trigger it does not act on itself (the
  // shell's global commands); false ends the program. May be null.
  bool (*globalEvents)(korvu::Trigger* trigger) = nullptr;

  // Lookups by name that never add an empty entry to a bank; null when the
  // bank or the name is missing.
  korvu::ddd::Model* model(const std::string& name) const;
  korvu::ddd::Material* material(const std::string& name) const;
  korvu::audio::Sound* sound(const std::string& name) const;
  const korvu::Image* texture(const std::string& name) const;

  // The same, throwing a message that names what is missing (or, for the
  // collision model, not marked as one).
  korvu::ddd::Model* requireModel(const std::string& name) const;
  korvu::ddd::CollisionModel* requireCollisionModel(const std::string& name) const;
  korvu::ddd::Material* requireMaterial(const std::string& name) const;
  korvu::audio::Sound* requireSound(const std::string& name) const;
};

extern RaceResources raceResources;

// The game's two render contexts as a race draws with them: the 2D one
// blends (the heads-up text is drawn from the font's alpha), the 3D one is
// lit, smooth and fogged out to `viewDistance`.
void setUpRenderContexts(korvu::RenderContext2D& context2D, korvu::RenderContext3D& context3D,
                         float viewDistance);

}  // namespace glimro
