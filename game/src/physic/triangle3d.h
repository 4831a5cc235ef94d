// The rigid three-point body that keeps a hover vehicle level: the front jet
// A, the rear right jet B and the rear left jet C. Each step pushes every
// point by its jet's force (or lets it fall when the jet has none), then
// rebuilds the triangle of the first proportions around the new centre.
// What leaves the body is the step's rotation of the triangle's plane (with
// its inverse) and the move of its centre; the points live in the body's own
// space and are never turned by the vehicle's orientation.
#pragma once

#include "mathtypes.h"

namespace glimro {
namespace physic {

class Triangle3D {
 public:
  korvu::Vector3D pointA;  // front
  korvu::Vector3D pointB;  // rear right
  korvu::Vector3D pointC;  // rear left
  // Centre of gravity of the three points.
  korvu::Vector3D cog;
  // After construction the unit vector from cog towards pointA; after each
  // step the move of cog in that step, times 5 unless it went upwards.
  korvu::Vector3D dir;
  // Unit normal (A - B) x (C - B).
  korvu::Vector3D normal;
  // Rotation of the last step, turning the old normal onto the new one,
  // and its inverse; identity after construction.
  korvu::Matrix3D rot;
  korvu::Matrix3D invRot;
  // Kept for the vehicle; the body's operations do not read it.
  float hoverHeight;
  // The triangle's shape, fixed at construction: cog to A, cog to the
  // middle of B and C, and half the distance from B to C.
  float frontDist;
  float rearDist;
  float halfWidth;

  Triangle3D(korvu::Vector3D a, korvu::Vector3D b, korvu::Vector3D c, float hoverHeight);

  // The centroid of P, Q and R, found where two medians meet; the mean of
  // the three when they are collinear or coincide (the medians then do not
  // meet in one point).
  korvu::Vector3D getCenterOfGravity(korvu::Vector3D p, korvu::Vector3D q, korvu::Vector3D r) const;

  // Returns the unit normal of A, B, C as passed in and rebuilds them as
  // the rigid triangle about centre: A at front along the line from the
  // centre through A, the middle of B and C at rear on the other side, B
  // and C at halfWidth to either side in the plane of that normal.
  korvu::Vector3D redefineTriangle(korvu::Vector3D* a, korvu::Vector3D* b, korvu::Vector3D* c,
                                   korvu::Vector3D* centre, float front, float rear,
                                   float halfWidth) const;

  // One step of dt milliseconds with the forces of jets A, B and C (read
  // only). A force of exactly (0, 0, 0) means the jet touches nothing and
  // its point falls. Afterwards rot, invRot and dir hold the step's results.
  void setBalance(const korvu::Vector3D* forceA, const korvu::Vector3D* forceB,
                  const korvu::Vector3D* forceC, float dt);

  korvu::Vector3D getdir() const { return dir; }
  korvu::Matrix3D getRot() const { return rot; }
};

}  // namespace physic
}  // namespace glimro
