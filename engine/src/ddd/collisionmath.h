// Small helpers shared by the collision queries: placing directions and
// points between a collideable's model space and world space.
#pragma once

#include <cmath>

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

// An axis-aligned box around a sphere, a little larger than the sphere so
// that rounding never lets it turn away something the exact tests would
// take: what lies wholly outside it cannot touch the sphere.
struct Reach {
  Vector3D lo;
  Vector3D hi;
  Reach(const Vector3D& center, float radius) {
    float margin = radius * 0.001f + 1e-4f +
                   1e-5f * (std::fabs(center.x) + std::fabs(center.y) + std::fabs(center.z));
    Vector3D r(radius + margin, radius + margin, radius + margin);
    lo = center - r;
    hi = center + r;
  }
  // The box around the given corners, with the same kind of margin.
  Reach(const Vector3D& p, const Vector3D& q, const Vector3D& r, const Vector3D& u) {
    lo = hi = p;
    take(q);
    take(r);
    take(u);
    widen();
  }
  // The box around a triangle's corners, with the same kind of margin.
  Reach(const Vector3D& p, const Vector3D& q, const Vector3D& r) {
    lo = hi = p;
    take(q);
    take(r);
    widen();
  }

  // Which sides of the box p lies beyond, one bit per side. Points that
  // share a bit all lie beyond that side.
  unsigned outside(const Vector3D& p) const {
    return static_cast<unsigned>(p.x > hi.x) | static_cast<unsigned>(p.x < lo.x) << 1 |
           static_cast<unsigned>(p.y > hi.y) << 2 | static_cast<unsigned>(p.y < lo.y) << 3 |
           static_cast<unsigned>(p.z > hi.z) << 4 | static_cast<unsigned>(p.z < lo.z) << 5;
  }

  // The boxes are apart on some axis (the other box's lo and hi given).
  bool apart(const Vector3D& otherLo, const Vector3D& otherHi) const {
    return otherLo.x > hi.x || otherHi.x < lo.x || otherLo.y > hi.y || otherHi.y < lo.y ||
           otherLo.z > hi.z || otherHi.z < lo.z;
  }

  // All the points lie beyond one side of the box. (A NaN never counts as
  // beyond, so it is never turned away.)
  bool clear(const Vector3D& p, const Vector3D& q) const {
    return (p.x > hi.x && q.x > hi.x) || (p.x < lo.x && q.x < lo.x) || (p.y > hi.y && q.y > hi.y) ||
           (p.y < lo.y && q.y < lo.y) || (p.z > hi.z && q.z > hi.z) || (p.z < lo.z && q.z < lo.z);
  }
  bool clear(const Vector3D& p, const Vector3D& q, const Vector3D& r) const {
    return (p.x > hi.x && q.x > hi.x && r.x > hi.x) || (p.x < lo.x && q.x < lo.x && r.x < lo.x) ||
           (p.y > hi.y && q.y > hi.y && r.y > hi.y) || (p.y < lo.y && q.y < lo.y && r.y < lo.y) ||
           (p.z > hi.z && q.z > hi.z && r.z > hi.z) || (p.z < lo.z && q.z < lo.z && r.z < lo.z);
  }

 private:
  // Grows the box to hold p. (A NaN coordinate never lowers lo nor raises
  // hi, as with the comparisons above.)
  void take(const Vector3D& p) {
    if (p.x < lo.x) lo.x = p.x;
    if (p.y < lo.y) lo.y = p.y;
    if (p.z < lo.z) lo.z = p.z;
    if (p.x > hi.x) hi.x = p.x;
    if (p.y > hi.y) hi.y = p.y;
    if (p.z > hi.z) hi.z = p.z;
  }
  void widen() {
    Vector3D size = hi - lo;
    float margin = 0.001f * (size.x + size.y + size.z) + 1e-4f +
                   1e-5f * (std::fabs(lo.x) + std::fabs(lo.y) + std::fabs(lo.z) + std::fabs(hi.x) +
                            std::fabs(hi.y) + std::fabs(hi.z));
    lo -= Vector3D(margin, margin, margin);
    hi += Vector3D(margin, margin, margin);
  }
};

// The box of a segment, without margin.
struct Span {
  Vector3D lo;
  Vector3D hi;
  Span() = default;
  Span(const Vector3D& p, const Vector3D& q)
      : lo(p.x < q.x ? p.x : q.x, p.y < q.y ? p.y : q.y, p.z < q.z ? p.z : q.z),
        hi(p.x < q.x ? q.x : p.x, p.y < q.y ? q.y : p.y, p.z < q.z ? q.z : p.z) {}
  // The box around both.
  Span with(const Span& o) const {
    Span u;
    u.lo = Span(lo, o.lo).lo;
    u.hi = Span(hi, o.hi).hi;
    return u;
  }
};

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
