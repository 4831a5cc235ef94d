#include "race/glimro.h"

#include <algorithm>
#include <string>

#include "common/loggroups.h"
#include "ddd/bounding.h"
#include "ddd/camera.h"
#include "ddd/collisionmodel.h"
#include "ddd/emitterobject.h"
#include "debug.h"
#include "audio/emitter.h"
#include "physic/triangle3d.h"
#include "race/raceresources.h"
#include "race/rocket.h"
#include "audio/source.h"
#include "track/track.h"

namespace glimro {

using korvu::Vector3D;
using korvu::ddd::Camera;

namespace {

const Vector3D UP(0.0f, 1.0f, 0.0f);

// Where a new rocket sits in the launcher's frame.
const Vector3D ROCKET_SEAT(-0.05f, 4.0f, 1.0f);

struct CameraPose {
  Vector3D position;
  // Turns about the camera's own axes, in order; a zero angle is no turn.
  float firstDegrees;
  Vector3D firstAxis;
  float secondDegrees;
  Vector3D secondAxis;
  double far;
  bool flares;
};

const CameraPose CAMERA_POSES[4] = {
    {Vector3D(0.0f, 5.0f, -3.0f), 180.0f, UP, 0.0f, UP, 10000.0, false},
    {Vector3D(0.0f, 5.0f, -3.0f), 0.0f, UP, 0.0f, UP, 10000.0, false},
    {Vector3D(0.0f, 30.0f, -40.0f), 180.0f, UP, -20.0f, Vector3D(1.0f, 0.0f, 0.0f), 20000.0, true},
    {Vector3D(0.0f, 0.0f, 15.0f), 180.0f, UP, 0.0f, UP, 10000.0, false},
};

const char* const FLARE_IMAGES[4] = {"lenseflareStreaks", "lenseflareBigGlow", "lenseflareHardGlow",
                                     "lenseflareHalo"};

korvu::Matrix3D between(const korvu::Matrix3D& a, const korvu::Matrix3D& b, float share) {
  // Element by element: a step turns the vehicle by a few degrees at most,
  // so the mix stays a rotation to well within what a picture shows, and it
  // is exact at both ends.
  korvu::Matrix3D m;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) m.m[i][j] = a.m[i][j] + (b.m[i][j] - a.m[i][j]) * share;
  }
  return m;
}

}  // namespace

Glimro::Glimro(bool /*player*/)
    : korvu::ddd::CollideableModelObject(raceResources->requireCollisionModel("glimroCollision"), nullptr, 0),
      locked(true),
      started(false),
      finished(false),
      accelerate(false),
      brake(false),
      steer(0.0),
      thrust(0.0),
      speed(0.0),
      cameraIndex(2),
      airborneSteps(0),
      cameras{nullptr, nullptr, nullptr, nullptr},
      spheres{nullptr, nullptr, nullptr, nullptr},
      sphereColliders{nullptr, nullptr, nullptr, nullptr},
      body(nullptr),
      jetIntersection(nullptr),
      jetA(0.0f, -2.6f, 19.0f),
      jetB(10.5f, -2.6f, -16.5f),
      jetC(-10.5f, -2.6f, -16.5f),
      hoverHeight(6.0f),
      racePosition(0),
      lap(0),
      lapTime(0.0),
      bestLapTime(0.0),
      raceTime(0.0),
      lapStart(0.0),
      currentSection(nullptr),
      previousSection(nullptr),
      emitterObject(nullptr),
      engineSound(nullptr),
      launcher(nullptr),
      rocket(nullptr),
      launcherOpen(false),
      profile(nullptr) {
  // Every lookup that can fail comes before the first allocation.
  korvu::ddd::Model* display = raceResources->requireModel("glimro");
  korvu::ddd::Model* shadow = raceResources->requireModel("glimroShadow");
  korvu::ddd::Model* launcherModel = raceResources->requireModel("rocketLauncher");

  setModel(display);
  setShadowModel(shadow);

  launcher = new korvu::ddd::ModelObject(launcherModel);
  loadRocket();
  *this += launcher;
  openRocketLauncher(false);

  position = Vector3D(102.0f, 6.0f, 55.77f);
  messages.rectangle = korvu::Rect(50.0f, 550.0f, 300.0f, 30.0f);
  messages.font = raceResources->font;

  for (int i = 0; i < 4; ++i) {
    const CameraPose& pose = CAMERA_POSES[i];
    Camera* camera = new Camera(80.0, 1.33);
    cameras[i] = camera;
    *this += camera;
    camera->near = 0.1;
    camera->far = pose.far;
    camera->position = pose.position;
    if (pose.firstDegrees != 0.0f) camera->rotate(pose.firstDegrees, pose.firstAxis);
    if (pose.secondDegrees != 0.0f) camera->rotate(pose.secondDegrees, pose.secondAxis);
    if (pose.flares) {
      for (int k = 0; k < 4; ++k) camera->flareTextures[k] = raceResources->texture(FLARE_IMAGES[k]);
    }
  }

  body = new physic::Triangle3D(jetA, jetB, jetC, hoverHeight);

  const Vector3D centres[4] = {jetA, jetB, jetC, Vector3D()};
  for (int i = 0; i < 4; ++i) {
    spheres[i] = new korvu::ddd::BoundingSphere(centres[i], i < 3 ? hoverHeight : 5.0f);
    sphereColliders[i] = new korvu::ddd::Collideable(spheres[i], &this->ModelObject::position,
                                                     &this->ModelObject::rotation,
                                                     &this->ModelObject::inverseRotation,
                                                     korvu::ddd::COLLIDEABLE_SPHERE);
  }
}

Glimro::~Glimro() {
  if (emitterObject) {
    delete emitterObject;
    emitterObject = nullptr;
    engineSound = nullptr;
  }
  delete body;
  for (int i = 0; i < 4; ++i) {
    delete sphereColliders[i];
    delete spheres[i];
  }
  // The cameras and the launcher with its rocket go with the children.
}

void Glimro::init() {
  korvu::debug::debug(DBG_GAME, "Creating emitter for glimro.");
  emitterObject = new korvu::ddd::EmitterObject();
  *this += emitterObject;
  emitterObject->position = Vector3D(0.0f, 0.0f, 2.0f);

  korvu::debug::debug(DBG_GAME, "Creating engine sound for glimro.");
  engineSound = new korvu::audio::SimpleSource();
  // The vehicle sets its pitch every step: the emitter must not delete it
  // when it stops (as it does at once with audio off).
  engineSound->kept = true;
  *engineSound += raceResources->sound("engine");
  engineSound->pitch = 0.01f;
  engineSound->loop = true;
  engineSound->apply();
  engineSound->play();
  *emitterObject->emitter += engineSound;
}

void Glimro::reset() {
  if (!previousSection) return;
  position = previousSection->ModelObject::position + Vector3D(0.0f, 15.0f, 0.0f);
  rotation = previousSection->ModelObject::rotation;
  inverseRotation = previousSection->ModelObject::inverseRotation;

  body->pointA = jetA;
  body->pointB = jetB;
  body->pointC = jetC;
  body->cog = body->getCenterOfGravity(jetA, jetB, jetC);
  body->dir = jetA - body->cog;
  Vector3D normal = korvu::crossProduct(jetA - jetB, jetC - jetA);
  normal.normalize();
  body->normal = normal;

  gravity = velocity = drift = Vector3D();
  airborneSteps = 0;
  rotate(180.0f, UP);
  speed = 0.0;
  setHasMoved(true);
  // Put back, not moved there: nothing is drawn on the way.
  lastPose = pose();
}

Camera* Glimro::getCurrentCamera() const { return cameras[cameraIndex]; }

void Glimro::nextCamera() { cameraIndex = static_cast<uint16_t>((cameraIndex + 1) % 4); }

void Glimro::setRotateY(float value) { steer = value; }

void Glimro::doRotateY(float degrees) { rotate(degrees, UP); }

void Glimro::openRocketLauncher(bool open) {
  launcherOpen = open;
  launcher->rotation.setIdentity();
  launcher->inverseRotation.setIdentity();
  if (open) {
    launcher->position = Vector3D(0.5f, 1.7f, -8.2f);
    launcher->rotate(-90.0f, Vector3D(0.0f, 0.0f, 1.0f));
  } else {
    launcher->position = Vector3D(0.4f, -1.5f, -8.8f);
    launcher->rotate(6.5f, UP);
  }
  launcher->hasMoved = true;
}

void Glimro::loadRocket() {
  rocket = new Rocket();
  rocket->position = ROCKET_SEAT;
  *launcher += rocket;
}

void Glimro::perform(float dt) {
  if (speed > 0.0) rotate(static_cast<float>(steer * dt / 10.0), UP);

  if (accelerate) {
    thrust += dt / 5000.0;
  } else {
    thrust -= dt / 50.0;
    if (thrust < 0.0) thrust = 0.0;
  }

  if (brake) {
    thrust = 0.0;
    speed -= static_cast<float>(dt / 10.0);
    if (speed < 0.0) speed = 0.0;
  } else if (thrust == 0.0) {
    speed -= static_cast<float>(dt / 50.0);
    if (speed < 0.1) speed = 0.0;
  }
  speed += thrust;
  // Not clamped to 40: at full thrust the speed climbs just past it and
  // drops back to 30.
  if (speed > 40.0) speed = 30.0;

  // The rotation's 3 by 3 part applied to the forward push.
  const float s = static_cast<float>(speed);
  const Vector3D forward(rotation.m[0][2] * s, rotation.m[1][2] * s, rotation.m[2][2] * s);
  drift = (drift + forward) * 0.1f;
  velocity = velocity * 0.9f + drift;
  velocity += gravity * 0.3f;
  setHasMoved(true);
}

void Glimro::passTime(float dt, double now) {
  messages.perform(dt);
  if (lapTimeMessage.remainingTime > 0.0f) lapTimeMessage.perform(dt);
  setClocks(now);
}

void Glimro::setClocks(double now) {
  if (!started || finished) return;
  raceTime = now;
  lapTime = std::max(0.0, now - lapStart);
}

Pose Glimro::pose() const { return Pose{position, rotation, inverseRotation}; }

void Glimro::setPose(const Pose& p) {
  position = p.position;
  rotation = p.rotation;
  inverseRotation = p.inverseRotation;
  setHasMoved(true);
}

Pose Glimro::poseBetweenSteps(float share) const {
  if (share >= 1.0f) return pose();
  return Pose{lastPose.position + (position - lastPose.position) * share,
              between(lastPose.rotation, rotation, share), between(lastPose.inverseRotation, inverseRotation, share)};
}

void Glimro::showBetweenSteps(float share) {
  if (showing_ || share >= 1.0f) return;
  stepped_ = pose();
  showing_ = true;
  setPose(poseBetweenSteps(share));
}

void Glimro::showStepped() {
  if (!showing_) return;
  showing_ = false;
  setPose(stepped_);
}

}  // namespace glimro
