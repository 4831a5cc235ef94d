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

// The ray test against a face with known unit normal n and outward side
// normals en0..en2 (the nine-point intersectFace of collision.h, which
// calls this). Kept inline so that the swept query's loops over many
// origins against one face do the per-face work once.
inline bool rayMeetsFace(const Vector3D& o, const Vector3D& d, const Vector3D& V0,
                         const Vector3D& V1, const Vector3D& V2, const Vector3D& en0,
                         const Vector3D& en1, const Vector3D& en2, const Vector3D& n, float& t,
                         Vector3D& point, bool cullBack, float maxDist) {
  float den = dotProduct(n, d);
  if (den == 0.0f) return false;
  float num = dotProduct(n, V0) - dotProduct(n, o);
  t = num;
  if (den > 0.0f) {
    if (cullBack) return false;
    if (!(maxDist < 0.0f) && (num > maxDist || num <= 0.0f)) return false;
  } else {
    if (!(maxDist < 0.0f) && (num < -maxDist || num >= 0.0f)) return false;
  }
  t = num / den;
  point = o + d * t;
  return dotProduct(point - V0, en0) <= 0.0f && dotProduct(point - V1, en1) <= 0.0f &&
         dotProduct(point - V2, en2) <= 0.0f;
}

}  // namespace collisionmath
}  // namespace ddd
}  // namespace korvu
