// What a race takes of the game's resources: the banks its vehicles,
// rockets, start lights and sky are looked up in, the emitters it plays
// through, the render contexts, the GUI, the HUD font, the trigger queue
// with the players' axes, and where the triggers it does not act on go.
// The game's resource set is one (shell's Resources derives from it); the
// tests and benchmarks race with one of their own (the harness's RaceWorld).
// The race reaches whichever stands through raceResources. The fields are
// filled and their objects owned by the one that derives.
#pragma once

#include <string>

#include "rendercontext.h"

namespace korvu {
class Axis;
class Trigger;
class ControlQueue;
class Image;
class ImageBank;
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
  korvu::RenderContext2D renderContext2D;
  // Applied per player view; the race's weather sets its ambient light and fog.
  korvu::RenderContext3D renderContext3D;
  // The menus; the race shows its race-over panel in it. May be null.
  korvu::gui::GUI* gui = nullptr;
  korvu::audio::SoundBank* soundBank = nullptr;
  // The start-light beeps.
  korvu::audio::Emitter* effectsEmitter = nullptr;
  // Title and race music.
  korvu::audio::Emitter* musicEmitter = nullptr;
  korvu::ImageBank* textureBank = nullptr;
  korvu::ImageBank* skyboxTextureBank = nullptr;
  korvu::ddd::MaterialBank* materialBank = nullptr;
  // Filled by the race's day or night set-up.
  korvu::ddd::MaterialBank* skyboxMaterialBank = nullptr;
  korvu::ddd::ModelBank* modelBank = nullptr;
  // The heads-up display's font (and the frame counter's); may be null.
  korvu::fonts::Font* font = nullptr;
  korvu::ControlQueue* controlQueue = nullptr;
  // Index 0 player 1, index 1 player 2; the axes belong to the control queue.
  korvu::Axis* xAxis[2] = {nullptr, nullptr};
  korvu::Axis* accelerateAxis[2] = {nullptr, nullptr};
  korvu::Axis* breakAxis[2] = {nullptr, nullptr};
  // Where the race hands every trigger it does not act on itself (the
  // shell's global commands); false ends the program. May be null.
  bool (*globalEvents)(korvu::Trigger* trigger) = nullptr;

  RaceResources() = default;
  RaceResources(const RaceResources&) = delete;
  RaceResources& operator=(const RaceResources&) = delete;

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

// The resources the race reads: the resource set while the game runs, a
// test's or benchmark's own while it races; null while there is neither.
extern RaceResources* raceResources;

// The game's two render contexts as a race draws with them: the 2D one
// blends (the heads-up text is drawn from the font's alpha), the 3D one is
// lit, smooth and fogged out to `viewDistance`.
void setUpRenderContexts(korvu::RenderContext2D& context2D, korvu::RenderContext3D& context3D,
                         float viewDistance);

}  // namespace glimro
