// Small helpers shared by the collision queries: placing directions and
// points between a collideable's model space and world space.
#pragma once

#include "ddd/collideable.h"
#include "mathtypes.h"

namespace korvu {
namespace ddd {
namespace collisionmath {

// The upper-left 3 by 3 part of m applied to v (a direction).
inline Vector3D turn(const Matrix3D& m, const Vector3D& v) {
  return {m.m[0][0] * v.x + m.m[0][1] * v.y + m.m[0][2] * v.z,
          m.m[1][0] * v.x + m.m[1][1] * v.y + m.m[1][2] * v.z,
          m.m[2][0] * v.x + m.m[2][1] * v.y + m.m[2][2] * v.z};
}

// A world point in c's model space.
inline Vector3D toModelSpace(const Collideable& c, const Vector3D& world) {
  return turn(*c.inverseRotation, world - *c.position);
}

inline bool isZero(const Vector3D& v) { return v.x == 0.0f && v.y == 0.0f && v.z == 0.0f; }

inline float lengthSquared(const Vector3D& v) { return dotProduct(v, v); }

}  // namespace collisionmath
}  // namespace ddd
}  // namespace korvu
