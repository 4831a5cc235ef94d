// The vehicle's hover step: jet forces against the nearby road sections,
// the section under the vehicle with the lap line, the hover body's balance
// and the engine's pitch.
#include <cmath>
#include <memory>

#include "ddd/collision.h"
#include "fonts/message.h"
#include "race/game.h"
#include "race/glimro.h"
#include "physic/triangle3d.h"
#include "track/sectiontracking.h"
#include "audio/source.h"
#include "track/track.h"

namespace glimro {

using korvu::Vector3D;
using korvu::ddd::Intersection;
using korvu::ddd::SurfaceIntersection;

namespace {

const Vector3D DOWN(0, -1, 0);
// Steps in a row without any jet contact before the extra gravity sets in.
const int AIRBORNE_STEPS = 25;

// Adds the push of one jet sphere against a section; true when the sphere
// touches it.
bool addJetForce(const korvu::ddd::Collideable* jet, const TrackSection* section, float hoverHeight,
                 Vector3D& force) {
  std::unique_ptr<Intersection> hit(korvu::ddd::getIntersection(jet, section));
  if (!hit) return false;
  for (const SurfaceIntersection* contact : hit->surfacesA) {
    Vector3D into = contact->vector;
    into.normalize();
    force += into * (hoverHeight - contact->distance);
  }
  return true;
}

// The vertical line through the point passes through the collideable's
// bounding sphere: only then can it meet one of its faces.
bool lineMeetsSphere(const Vector3D& point, const korvu::ddd::Collideable& c) {
  if (c.sphere == nullptr) return true;
  const Vector3D centre = c.worldCenter();
  const float dx = centre.x - point.x, dz = centre.z - point.z;
  const float r = c.sphere->radius;
  return dx * dx + dz * dz <= r * r * 1.0001f + 1e-3f;
}

}  // namespace

void Glimro::alignment(float dt) {
  Vector3D force[3];
  bool touched = false;
  // The section under the vehicle: the nearest one that the vertical line
  // through it meets below it (below as the vehicle sees it, so that a
  // vehicle upside down in a loop keeps its road). Where roads are stacked
  // the line meets the road above as well, which is not the one driven.
  const float upward = rotation.m[1][1] >= 0.0f ? 1.0f : -1.0f;
  TrackSection* under = nullptr;
  float underDistance = 0.0f;
  for (korvu::ddd::Object* object : nearbyObjects) {
    TrackSection* section = dynamic_cast<TrackSection*>(object);
    if (section == nullptr) continue;
    touched |= addJetForce(sphereColliders[0], section, hoverHeight, force[0]);
    std::unique_ptr<Intersection> probe;
    if (lineMeetsSphere(position, *section)) probe.reset(korvu::ddd::getRayMeshIntersection(position, DOWN, section));
    if (probe) {
      for (const SurfaceIntersection* face : probe->surfacesA) {
        // The ray runs downwards: a positive parameter lies below.
        const float distance = face->distance * upward;
        if (distance >= 0.0f && (under == nullptr || distance < underDistance)) {
          under = section;
          underDistance = distance;
        }
      }
    }
    touched |= addJetForce(sphereColliders[1], section, hoverHeight, force[1]);
    touched |= addJetForce(sphereColliders[2], section, hoverHeight, force[2]);
  }
  // Every record was released as soon as it was read.
  jetIntersection = nullptr;
  if (under != nullptr) followSection(under);

  body->setBalance(&force[0], &force[1], &force[2], dt);
  rotation.multRight(body->rot);
  inverseRotation.multLeft(body->invRot);
  drift = body->dir;

  if (touched) {
    airborneSteps = 0;
    gravity = Vector3D(0, 0, 0);
  } else if (++airborneSteps > AIRBORNE_STEPS) {
    gravity = Vector3D(0, -2, 0);
  }

  if (engineSound != nullptr) {
    float pitch = static_cast<float>(speed / 30.0);
    if (pitch < 0.01f) pitch = 0.01f;
    engineSound->pitch = pitch;
    engineSound->apply();
  }
}

void Glimro::followSection(TrackSection* hit) {
  if (game == nullptr || game->track == nullptr || currentSection == nullptr || previousSection == nullptr) return;
  const SectionRoute& route = game->track->route();
  int current = currentSection->index;
  int previous = previousSection->index;
  TrackSection* oldCurrent = currentSection;
  switch (glimro::trackSection(route, hit->index, current, previous)) {
    case SectionChange::STAYED:
      previousSection = hit;
      break;
    case SectionChange::ADVANCED:
      previousSection = oldCurrent;
      currentSection = hit;
      break;
    case SectionChange::LAP:
      // The lap ends where the vehicle crossed the line within its step,
      // not where the step ended.
      setClocks(game->lineCrossingTime(lastPose.position, position));
      nextLap();
      previousSection = oldCurrent;
      currentSection = hit;
      break;
    case SectionChange::WRONG_DIRECTION:
      messages += new korvu::fonts::Message("Wrong direction!", 500);
      break;
    case SectionChange::NONE:
      break;
  }
}

void Glimro::move(float dt) {
  position.x += velocity.x * dt / 50.0f;
  position.y += velocity.y * dt / 50.0f;
  position.z += velocity.z * dt / 50.0f;
}

Vector3D Glimro::hitPlane(const Vector3D* p0, const Vector3D* p1, const Vector3D* p2,
                          const Vector3D* p) {
  Vector3D n = korvu::crossProduct(*p1 - *p0, *p2 - *p0);
  n.normalize();
  if (n.length() == 0.0f) return n;
  // Where the line through p - velocity along the normal meets the plane.
  const Vector3D from = *p - velocity;
  const Vector3D onPlane = from + n * korvu::dotProduct(n, *p0 - from);
  const float speed = velocity.length();
  Vector3D along = *p - onPlane;
  along.normalize();
  velocity = along * speed;
  return n;
}

}  // namespace glimro
