// Curves in space parametrised by t from 0 to 1: the Path interface that the
// path-follow modifier reads, and the cubic Bezier curve that implements it.
#pragma once

#include <vector>

#include "ddd/object.h"
#include "mathtypes.h"

namespace korvu {
namespace ddd {

// Any curve the path-follow modifier can bend a model along. Parameters
// outside [0, 1] are clamped into it by the implementations.
class Path {
 public:
  // The point of the curve at t.
  virtual Vector3D getVertexAt(float t) const = 0;
  // The first derivative with respect to t (not normalised).
  virtual Vector3D getTangentAt(float t) const = 0;
  // Moves the whole curve by offset.
  virtual void translate(const Vector3D& offset) = 0;

 protected:
  // Paths are never deleted through this interface.
  ~Path() = default;
};

// A cubic Bezier curve through P0 (t = 0) and P3 (t = 1), shaped by P1 and
// P2. As a scene object it draws itself as a line strip of `segments`
// pieces.
class BezierCurve : public Object, public Path {
 public:
  // P0, P1, P2, P3.
  Vector3D controlPoints[4];
  // segments + 1 points of the line strip, P0 and P3 at the ends.
  std::vector<Vector3D> drawingPoints;
  // At least 1.
  int segments;

  // A segment count below 1 gives one segment.
  BezierCurve(const Vector3D& p0, const Vector3D& p1, const Vector3D& p2, const Vector3D& p3,
              int segments);
  ~BezierCurve() override;

  // Draws the line strip in the current GL matrix, untextured.
  void drawSelf() override;

  Vector3D getVertexAt(float t) const override;
  Vector3D getTangentAt(float t) const override;
  // Moves the control points and the drawing points.
  void translate(const Vector3D& offset) override;

  // The second derivative with respect to t.
  Vector3D getScndDerivAt(float t) const;
};

}  // namespace ddd
}  // namespace korvu
