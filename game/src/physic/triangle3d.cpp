#include "physic/triangle3d.h"

#include <cmath>

namespace glimro {
namespace physic {

using korvu::Matrix3D;
using korvu::Vector3D;
using korvu::crossProduct;
using korvu::dotProduct;

namespace {

Vector3D normalized(Vector3D v) {
  v.normalize();
  return v;
}

// Fall of an untouched jet, units per second.
const Vector3D FALL_IMPULSE(0.0f, -19.62f, 0.0f);

Vector3D impulseOf(const Vector3D& force) {
  Vector3D impulse = (force * -1.0f) * 10.0f;
  if (force.x == 0.0f && force.y == 0.0f && force.z == 0.0f) impulse += FALL_IMPULSE;
  return impulse;
}

}  // namespace

Triangle3D::Triangle3D(Vector3D a, Vector3D b, Vector3D c, float hoverHeight_)
    : pointA(a), pointB(b), pointC(c), hoverHeight(hoverHeight_) {
  cog = getCenterOfGravity(a, b, c);
  frontDist = (a - cog).length();
  const Vector3D rearMiddle = b + normalized(c - b) * ((c - b).length() / 2.0f);
  rearDist = (rearMiddle - cog).length();
  halfWidth = (c - b).length() * 0.5f;
  normal = normalized(crossProduct(a - b, c - b));
  dir = normalized(a - cog);
}

Vector3D Triangle3D::getCenterOfGravity(Vector3D p, Vector3D q, Vector3D r) const {
  const Vector3D u = normalized(r - q);
  const Vector3D w = normalized(p - q);
  const Vector3D m1 = q + u * ((r - q).length() * 0.5f);
  const Vector3D m2 = q + w * ((p - q).length() * 0.5f);
  const Vector3D d1 = p - m1;
  const Vector3D d2 = r - m2;
  const Vector3D n = normalized(crossProduct(u, w));
  const float nx = std::fabs(n.x), ny = std::fabs(n.y), nz = std::fabs(n.z);

  // The medians are intersected in the coordinate plane the triangle is
  // least steep to.
  const float Vector3D::*ci;
  const float Vector3D::*cj;
  if (nx > ny && nx > nz) {
    ci = &Vector3D::y;
    cj = &Vector3D::z;
  } else if (ny >= nx && ny > nz) {
    ci = &Vector3D::x;
    cj = &Vector3D::z;
  } else {
    ci = &Vector3D::x;
    cj = &Vector3D::y;
  }
  const float denominator = d1.*ci * d2.*cj - d1.*cj * d2.*ci;
  const float t = ((m1.*cj - m2.*cj) * d1.*ci - (m1.*ci - m2.*ci) * d1.*cj) / denominator;
  const Vector3D centre = m2 + d2 * t;
  if (denominator == 0.0f || !std::isfinite(centre.x) || !std::isfinite(centre.y) || !std::isfinite(centre.z)) {
    return (p + q + r) / 3.0f;
  }
  return centre;
}

Vector3D Triangle3D::redefineTriangle(Vector3D* a, Vector3D* b, Vector3D* c, Vector3D* centre, float front,
                                      float rear, float width) const {
  const Vector3D n = normalized(crossProduct(*a - *b, *c - *b));
  const Vector3D f = normalized(*a - *centre);
  *a = *centre + f * front;
  const Vector3D middle = *centre + f * (rear * -1.0f);
  const Vector3D s = normalized(crossProduct(f, n));
  *c = middle + s * (width * -1.0f);
  *b = middle + s * width;
  return n;
}

void Triangle3D::setBalance(const Vector3D* forceA, const Vector3D* forceB, const Vector3D* forceC, float dt) {
  const Vector3D oldA = pointA, oldB = pointB, oldC = pointC;
  const Vector3D moveA = impulseOf(*forceA) * dt / 1000.0f;
  const Vector3D moveB = impulseOf(*forceB) * dt / 1000.0f;
  const Vector3D moveC = impulseOf(*forceC) * dt / 1000.0f;
  pointA += moveA;
  pointB += moveB;
  pointC += moveC;

  Vector3D centre = getCenterOfGravity(pointA, pointB, pointC);
  Vector3D newNormal;
  if (crossProduct(pointA - pointB, pointC - pointB).length() < korvu::EPSILON_LENGTH ||
      (pointA - centre).length() < korvu::EPSILON_LENGTH) {
    // Pushed flat into a line or a point: the triangle has no plane to be
    // rebuilt in, and rebuilding it would collapse the body for good. It
    // keeps its shape and orientation and moves by the mean push instead.
    const Vector3D shift = (moveA + moveB + moveC) / 3.0f;
    pointA = oldA + shift;
    pointB = oldB + shift;
    pointC = oldC + shift;
    centre = cog + shift;
    newNormal = normal;
  } else {
    newNormal = redefineTriangle(&pointA, &pointB, &pointC, &centre, frontDist, rearDist, halfWidth);
  }

  const Vector3D moved = centre - cog;
  cog = centre;

  const Vector3D axis = crossProduct(normal, newNormal);
  const float k = dotProduct(newNormal, normal);
  rot.setIdentity();
  invRot.setIdentity();
  if (!(axis.x == 0.0f && axis.y == 0.0f && axis.z == 0.0f) && k >= -1.0f && k <= 1.0f) {
    const float theta = std::acos(k);
    rot.setRotate(theta, axis, true);
    invRot.setRotate(-theta, axis, true);
  }
  normal = newNormal;

  dir = moved;
  if (moved.y <= 0.0f) dir = moved * 5.0f;
}

}  // namespace physic
}  // namespace glimro
