#include "ddd/bezier.h"

#include <GL/gl.h>

namespace korvu {
namespace ddd {

namespace {

// Clamps into [0, 1]; a NaN counts as 0 so that it cannot reach the
// polynomials.
float clampParameter(float t) {
  if (!(t > 0.0f)) return 0.0f;
  if (t > 1.0f) return 1.0f;
  return t;
}

}  // namespace

BezierCurve::BezierCurve(const Vector3D& p0, const Vector3D& p1, const Vector3D& p2,
                         const Vector3D& p3, int segments_)
    : segments(segments_ > 0 ? segments_ : 1) {
  controlPoints[0] = p0;
  controlPoints[1] = p1;
  controlPoints[2] = p2;
  controlPoints[3] = p3;
  drawingPoints.resize(static_cast<size_t>(segments) + 1);
  // The end points are copied rather than evaluated, so they are exact.
  drawingPoints[0] = p0;
  for (int i = 1; i < segments; ++i) {
    drawingPoints[i] = getVertexAt(static_cast<float>(i) / static_cast<float>(segments));
  }
  drawingPoints[segments] = p3;
}

BezierCurve::~BezierCurve() = default;

void BezierCurve::drawSelf() {
  glDisable(GL_TEXTURE_2D);
  glBegin(GL_LINE_STRIP);
  for (const Vector3D& p : drawingPoints) {
    glVertex3d(p.x, p.y, p.z);
  }
  glEnd();
  glEnable(GL_TEXTURE_2D);
}

Vector3D BezierCurve::getVertexAt(float t) const {
  t = clampParameter(t);
  const double td = t;
  const double u = 1.0 - td;
  const float b0 = static_cast<float>(u * u * u);
  const float b1 = static_cast<float>(3.0 * td * u * u);
  const float b2 = static_cast<float>(3.0 * td * td * u);
  const float b3 = static_cast<float>(td * td * td);
  const Vector3D* p = controlPoints;
  return p[0] * b0 + p[1] * b1 + p[2] * b2 + p[3] * b3;
}

Vector3D BezierCurve::getTangentAt(float t) const {
  t = clampParameter(t);
  const Vector3D* p = controlPoints;
  if (t == 0.0f) return (p[1] - p[0]) * 3.0f;
  if (t == 1.0f) return (p[3] - p[2]) * 3.0f;
  const float t2 = t * t;
  return p[0] * (-3.0f + 6.0f * t - 3.0f * t2) + p[1] * (3.0f - 12.0f * t + 9.0f * t2) +
         p[2] * (6.0f * t - 9.0f * t2) + p[3] * (3.0f * t2);
}

Vector3D BezierCurve::getScndDerivAt(float t) const {
  t = clampParameter(t);
  const Vector3D* p = controlPoints;
  if (t == 0.0f) return (p[0] - p[1] * 2.0f + p[2]) * 6.0f;
  if (t == 1.0f) return (p[1] - p[2] * 2.0f + p[3]) * 6.0f;
  return p[0] * (6.0f - 6.0f * t) + p[1] * (18.0f * t - 12.0f) + p[2] * (6.0f - 18.0f * t) +
         p[3] * (6.0f * t);
}

void BezierCurve::translate(const Vector3D& offset) {
  for (Vector3D& p : controlPoints) p += offset;
  // The line strip follows, so a moved curve draws where it now is.
  for (Vector3D& p : drawingPoints) p += offset;
}

}  // namespace ddd
}  // namespace korvu
