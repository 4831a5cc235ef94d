// The race's frame: the step that runs triggers, countdown, rockets,
// explosions and controls, moves every vehicle against the others and the
// track in fixed steps and lets it hover and drive, culls the players'
// views and ranks the vehicles; and the drawing of every player's view and
// heads-up display.
#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "common/loggroups.h"
#include "common/triggers.h"
#include "controls.h"
#include "ddd/camera.h"
#include "ddd/collision.h"
#include "ddd/collisionmodel.h"
#include "ddd/particles.h"
#include "ddd/pipeline.h"
#include "debug.h"
#include "race/game.h"
#include "race/glimro.h"
#include "race/raceresources.h"
#include "rendercontext.h"
#include "race/rocket.h"
#include "race/settings.h"
#include "track/track.h"

namespace glimro {

using korvu::Vector2D;
using korvu::Vector3D;
using korvu::ddd::Collision;
using korvu::ddd::CollisionModel;

std::atomic<bool> terminate(false);

namespace {

const float COUNTDOWN_STEP = 1000.0f;
const float HANDED_ON = 0.9f;
const double SMALLEST_SPEED = 0.01;
const float ADVANCE = 0.8f;
const int MAX_PASSES = 1000;
const float CULL_ANGLE = 50.0f;

Vector3D unit(Vector3D v) {
  v.normalize();
  return v;
}

// The struck side's normal in world space: the face's, the vertex's or the
// mean of the edge's faces, by the first index the record names.
bool contactNormal(const Collision& hit, Vector3D& n) {
  const korvu::ddd::Collideable* struck = hit.b;
  if (struck == nullptr || struck->model == nullptr) return false;
  const CollisionModel& m = *struck->model;
  const korvu::ddd::SurfaceIntersection& side = hit.surfaceB;
  Vector3D local;
  if (side.face >= 0 && static_cast<size_t>(side.face) < m.faceNormals.size()) {
    local = m.faceNormals[static_cast<size_t>(side.face)];
  } else if (side.vertex >= 0 && static_cast<size_t>(side.vertex) < m.normals.size()) {
    local = m.normals[static_cast<size_t>(side.vertex)];
  } else if (side.edge >= 0 && static_cast<size_t>(side.edge) < m.edges.size()) {
    const korvu::ddd::Edge& e = *m.edges[static_cast<size_t>(side.edge)];
    local = m.faceNormals[static_cast<size_t>(e.face1)];
    if (e.face2 >= 0) local = (local + m.faceNormals[static_cast<size_t>(e.face2)]) * 0.5f;
  } else {
    return false;
  }
  // The model's normals are in the struck object's own frame.
  n = unit(local.transform(*struck->rotation));
  return true;
}

// Makes the viewport current, for the engine and for OpenGL.
void enter(korvu::Viewport& vp) {
  korvu::currentViewport = &vp;
  glViewport(static_cast<GLint>(vp.x), static_cast<GLint>(vp.y), static_cast<GLsizei>(vp.width),
             static_cast<GLsizei>(vp.height));
}

}  // namespace

bool Game::mainLoop(float dt) {
  // The shell's frames are held to this already; the race holds its other
  // callers' frames to it too.
  dt = std::min(dt, LONGEST_FRAME);
  clock += dt;
  const bool running = handleTriggers();
  stepCountdown(dt);
  stepRockets(dt);
  stepExplosions(dt);
  moveVehicles();
  for (Glimro* v : vehicles) v->passTime(dt, clock - startClock);
  cullViews();
  rank();
  // The shell has polled the events once this frame already.
  korvu::ControlQueue* queue = raceResources->controlQueue;
  const bool events = queue == nullptr || queue->readEvents();
  return running && events && !terminate;
}

void Game::moveVehicles() {
  // The steps run ahead of the frame's time by less than one step, so the
  // pose at the frame's time lies between the last two; what is left of
  // the frame carries over.
  while (stepClock < clock) {
    if (stepPilot) stepPilot();
    applyControls();
    for (Glimro* v : vehicles) v->lastPose = v->pose();
    for (Glimro* v : vehicles) {
      if (settings.collisions) collideWithVehicles(v, VEHICLE_STEP);
      findNearbyObjects(v);
      const bool contact = sweep(v, VEHICLE_STEP);
      hover(v, VEHICLE_STEP, contact);
    }
    stepClock += VEHICLE_STEP;
  }
  stepShare = 1.0f - static_cast<float>((stepClock - clock) / VEHICLE_STEP);
}

double Game::lineCrossingTime(const Vector3D& from, const Vector3D& to) const {
  // The share of the step at which the vehicle passed the plane across the
  // start of the first section (its road runs along its local -z).
  double share = 1.0;
  if (!track->sections.empty()) {
    const TrackSection& first = *track->sections.front();
    Vector3D along(0, 0, -1);
    along.transform(first.ModelObject::rotation);
    const double before = korvu::dotProduct(from - first.ModelObject::position, along);
    const double after = korvu::dotProduct(to - first.ModelObject::position, along);
    if (before < 0.0 && after >= 0.0) share = before / (before - after);
    else if (before >= 0.0) share = 0.0;
  }
  return stepClock - startClock + share * VEHICLE_STEP;
}

bool Game::handleTriggers() {
  RaceResources& r = *raceResources;
  bool running = true;
  if (r.controlQueue == nullptr) return running;
  korvu::Trigger* trigger = nullptr;
  while (*r.controlQueue >> trigger, trigger != nullptr) {
    const int player = trigger->id >= TRG_X2 && trigger->id <= TRG_LAUNCH_ROCKET2 ? 1 : 0;
    Glimro* vehicle = player < static_cast<int>(players.size()) ? players[static_cast<size_t>(player)] : nullptr;
    switch (trigger->id) {
      case TRG_EXIT:
        if (!raceOver) {
          playersRacing = 1;
          playerHasFinished();
        } else {
          leave = true;
        }
        break;
      case TRG_CAMERA1:
      case TRG_CAMERA2:
        if (vehicle != nullptr) vehicle->nextCamera();
        break;
      case TRG_RESET1:
      case TRG_RESET2:
        if (vehicle != nullptr && !vehicle->finished) vehicle->reset();
        break;
      case TRG_OPEN_ROCKET1:
      case TRG_OPEN_ROCKET2:
        if (vehicle != nullptr) vehicle->openRocketLauncher(!vehicle->launcherOpen);
        break;
      case TRG_LAUNCH_ROCKET1:
      case TRG_LAUNCH_ROCKET2:
        // From where the player saw the launcher, between the vehicle's
        // last two steps.
        if (vehicle != nullptr) {
          vehicle->showBetweenSteps(stepShare);
          vehicle->launchRocket();
          vehicle->showStepped();
        }
        break;
      case TRG_SUN:
        setWeather(!night);
        break;
      default:
        if (r.globalEvents != nullptr) running = r.globalEvents(trigger) && running;
        break;
    }
  }
  return running;
}

void Game::stepCountdown(float dt) {
  if (raceOver || countdown <= 0) return;
  countdownTimer -= dt;
  if (countdownTimer >= 0.0f) return;
  do {
    countdownTimer += COUNTDOWN_STEP;
    --countdown;
  } while (countdownTimer < 0.0f && countdown > 0);
  setStartLights(countdown);
  if (countdown > 0) return;
  // Race time and the vehicles' steps begin where the last light went out,
  // within this frame, so that a race runs the same steps whatever the
  // frames were. The vehicles rest on the grid: setting their steps' clock
  // there changes nothing that shows.
  startClock = clock + countdownTimer - COUNTDOWN_STEP;
  stepClock = startClock;
  for (Glimro* v : vehicles) {
    v->started = true;
    v->locked = false;
    v->lastPose = v->pose();
  }
}

void Game::stepRockets(float dt) {
  // A spent rocket bursts in its last perform and goes.
  for (auto it = rockets.begin(); it != rockets.end();) {
    Rocket* rocket = *it;
    rocket->perform(dt);
    if (rocket->lifetime <= 0.0f) {
      it = rockets.erase(it);
      delete rocket;
    } else {
      ++it;
    }
  }
}

void Game::stepExplosions(float dt) {
  for (auto it = particleEngines.begin(); it != particleEngines.end();) {
    korvu::ddd::SimpleParticleEngine* engine = *it;
    engine->perform(dt);
    if (engine->particles.empty()) {
      korvu::debug::debug(DBG_GAME, "Deleting particle engine %p.", static_cast<void*>(engine));
      it = particleEngines.erase(it);
      delete engine;
    } else {
      ++it;
    }
  }
}

void Game::applyControls() {
  RaceResources& r = *raceResources;
  for (size_t i = 0; i < players.size() && i < 2; ++i) {
    Glimro* v = players[i];
    const korvu::Axis* steer = r.xAxis[i];
    const korvu::Axis* accelerate = r.accelerateAxis[i];
    const korvu::Axis* brake = r.breakAxis[i];
    v->steer = static_cast<float>(-(steer != nullptr ? steer->value : 0.0));
    if (v->locked) {
      v->accelerate = false;
      v->brake = true;
    } else {
      v->accelerate = accelerate != nullptr && accelerate->value > 0.0;
      v->brake = brake != nullptr && brake->value > 0.0;
    }
  }
}

void Game::findNearbyObjects(Glimro* v) {
  v->nearbyObjects.clear();
  const float radius = settings.collisionRadius;
  track->collisionTree.getObjects(Vector2D(v->position.x + radius, v->position.z + radius),
                                  Vector2D(v->position.x - radius, v->position.z - radius), &v->nearbyObjects);
}

void Game::hover(Glimro* v, float dt, bool contact) {
  v->alignment(dt);
  if (!contact) v->perform(dt);
}

void Game::cullViews() {
  for (Glimro* v : players) {
    v->visibleObjects.clear();
    if (!settings.culling) continue;
    Vector3D f(0, 0, 1);
    f.transform(v->rotation);
    track->quadtree.getObjectsFrustumView(Vector2D(v->position.x + viewDistance, v->position.z + viewDistance),
                                          Vector2D(v->position.x - viewDistance, v->position.z - viewDistance),
                                          Vector2D(f.x, f.z), CULL_ANGLE, &v->visibleObjects);
  }
}

void Game::rank() {
  // A stable sort keeps the order of vehicles that tie.
  ranking.sort(findGlimroLeader);
  uint16_t position = 0;
  for (Glimro* v : ranking) v->racePosition = ++position;
}

void Game::collideWithVehicles(Glimro* v, float dt) {
  for (Glimro* other : vehicles) {
    if (other == v) continue;
    const Vector3D target = v->position + v->velocity * (dt / 50.0f);
    std::unique_ptr<Collision> hit(korvu::ddd::getMeshCollision(v, other, target));
    if (!hit) continue;
    // It comes out no faster than it went in: taking on the speed of a
    // faster one, two vehicles that stay in touch (one turned into the
    // other on the grid) gained speed at every step and threw each other
    // into the air.
    const float otherSpeed = other->velocity.length();
    v->velocity = unit(v->velocity) * std::min(v->velocity.length(), HANDED_ON * otherSpeed);
    other->velocity += v->velocity * HANDED_ON;
    other->speed = 0.9 * v->speed;  // in double, as speeds are
    if (v->speed > 0.0 && v->speed < SMALLEST_SPEED) v->speed = SMALLEST_SPEED;
    else if (v->speed < 0.0 && v->speed > -SMALLEST_SPEED) v->speed = -SMALLEST_SPEED;
  }
}

bool Game::sweep(Glimro* v, float dt) {
  const Vector3D displacement = v->velocity * (dt / 50.0f);
  const float total = displacement.length();
  if (!(total >= 0.0f)) return false;
  float remaining = total;
  float remainingTime = dt;
  Vector3D travel = v->velocity;
  Vector3D n(0, 0, 0);
  bool contact = false;
  for (int pass = 1;; ++pass) {
    if (pass > MAX_PASSES) {
      korvu::debug::debug(DBG_GAME, "Vehicle still in contact after %d passes.", MAX_PASSES);
      return contact;
    }
    bool passHit = false;
    for (korvu::ddd::Object* object : v->nearbyObjects) {
      korvu::ddd::CollideableModelObject* solid = dynamic_cast<korvu::ddd::CollideableModelObject*>(object);
      if (solid == nullptr) continue;
      const Vector3D target = v->position + travel * (remainingTime / 50.0f);
      std::unique_ptr<Collision> hit(korvu::ddd::getMeshCollision(v, solid, target));
      if (!hit) continue;
      passHit = contact = true;
      const Vector3D d = v->position - hit->position;
      remaining = std::max(remaining - d.length(), 0.0f);
      v->position += d * -ADVANCE;
      v->setHasMoved(true);
      // A vehicle without velocity that still touches: nothing remains.
      remainingTime = total > 0.0f ? dt * remaining / total : 0.0f;
      if (!contactNormal(*hit, n)) korvu::debug::debug(DBG_GAME, "Contact without a face, vertex or edge.");
      const Vector3D reflected = -d + n * (2.0f * korvu::dotProduct(d, n));
      travel = unit(reflected) * v->velocity.length();
      v->velocity = travel;
    }
    if (!passHit) {
      v->position += v->velocity * (remainingTime / 50.0f);
      if (remainingTime > 0.0f) v->setHasMoved(true);
      return contact;
    }
  }
}

void Game::draw(float) {
  RaceResources& r = *raceResources;
  faces = 0;
  meshes = 0;
  // Depth and stencil share one buffer: clearing only the depth that the
  // frame's clear has just cleared makes a software renderer keep every
  // stencil value apart, pixel by pixel. The shadow stage leaves the stencil
  // at zero everywhere, so clearing it as well, before anything is drawn,
  // changes no value and lets both clears become one plain fill.
  glClear(GL_STENCIL_BUFFER_BIT);
  for (Glimro* v : vehicles) v->showBetweenSteps(stepShare);
  for (size_t i = 0; i < players.size(); ++i) {
    r.renderContext3D.apply();
    enter(viewports[i]);
    track->visible = settings.culling ? &players[i]->visibleObjects : nullptr;
    korvu::resetCursor();
    players[i]->getCurrentCamera()->drawView(world);
    meshes += static_cast<int>(korvu::ddd::pipeline.meshesDrawn);
    faces += static_cast<int>(korvu::ddd::pipeline.elementsDrawn);
  }
  for (Glimro* v : vehicles) v->showStepped();
  for (size_t i = 0; i < players.size(); ++i) {
    enter(viewports[i]);
    r.renderContext2D.apply();
    korvu::resetCursor();
    players[i]->drawHud();
  }
}

}  // namespace glimro
