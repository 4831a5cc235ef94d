// Rockets in flight: fired from an open launcher, they fly straight ahead
// for a second and burst into a particle explosion. They hit nothing.
#include "ddd/particles.h"
#include "race/game.h"
#include "race/glimro.h"
#include "race/raceresources.h"
#include "race/rocket.h"

namespace glimro {

using korvu::Color;
using korvu::Vector3D;

namespace {

// Units per millisecond along the rocket's own +z.
const float ROCKET_SPEED = 0.2f;
const unsigned BURST_PARTICLES = 100;

}  // namespace

void Glimro::launchRocket() {
  if (!launcherOpen || rocket == nullptr || parent == nullptr) return;
  Rocket* fired = rocket;
  fired->reattachAt(parent);
  fired->velocity = Vector3D(0, 0, 1) * ROCKET_SPEED;
  if (game != nullptr) game->rockets.push_back(fired);
  loadRocket();
}

void Rocket::perform(float dt) {
  lifetime -= dt;
  if (lifetime > 0.0f) {
    Vector3D step = velocity;
    step.transform(rotation);
    position += step * dt;
    setHasMoved(true);
    return;
  }
  korvu::ddd::SimpleParticleEngine* burst =
      new korvu::ddd::SimpleParticleEngine(BURST_PARTICLES, 0, BURST_PARTICLES, false);
  burst->position = position;
  // Drawn in the transparent stage, which places it by its view position.
  burst->needsViewPos = true;
  if (parent != nullptr) *parent += burst;
  burst->colourMin = Color(0.3f, 0.0f, 0.0f, 0.5f);
  burst->colourMax = Color(2.0f, 0.5f, 0.3f, 1.0f);
  burst->changeMin = Color(0.001f, 0.001f, 0.001f, 0.001f);
  burst->changeMax = Color(0.003f, 0.003f, 0.002f, 0.003f);
  burst->velocity = Vector3D(0, 0, 0);
  burst->velocitySpread = Vector3D(0.1f, 0.03f, 0.1f);
  burst->texture = raceResources->texture("particle");
  if (game != nullptr) {
    game->particleEngines.push_back(burst);
  } else if (parent == nullptr) {
    delete burst;  // nobody would own it
  }
}

}  // namespace glimro
