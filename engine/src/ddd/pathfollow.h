// Bends model geometry along a path. The path is sampled once into a table of
// rotation frames that carry its start direction along the curve by small
// rotations; on top of that come an optional up-vector correction and a roll
// interpolated from a start to an end value. A model's extent along a chosen
// axis is then laid onto a stretch [t0, t1] of the path: each vertex moves to
// the path point of its own parameter, its cross-section turned by the frame
// there. Angles given to and returned by the operations are degrees.
#pragma once

#include <vector>

#include "mathtypes.h"

namespace korvu {
namespace ddd {

class Model;
class Path;

class PathFollowModifier {
 public:
  // upMode: 0 no up correction, 1 up correction that may flip, 2 up
  // correction that never flips; any other value acts as 0. The path is not
  // owned and must outlive the modifier.
  PathFollowModifier(Path* path, int upMode);
  ~PathFollowModifier();

  // Samples the path at steps + 1 parameters (a count below 1 counts as 1),
  // then turns wanted start and end up vectors into start and end rolls.
  void init(int steps);

  // Bends the model in place: its vertices from the smallest to the largest
  // coordinate along axis are spread over the path from t0 to t1. A vertex
  // at the smallest coordinate keeps its position; place the bent model at
  // the path point of t0 with getRotation(axis, up, t0) to lay it on the
  // path.
  void transformModel(Model* model, Vector3D axis, Vector3D up, float t0, float t1) const;
  void transformModel(Model* model, Vector3D axis, float t0, float t1) const;

  // The frame at t relative to the frame at 0, with up correction and roll.
  Matrix3D getRotation(float t) const;
  // Turns a model whose length runs along axis, with the given up, into the
  // path's frame at t.
  Matrix3D getRotation(Vector3D axis, Vector3D up, float t) const;
  Matrix3D getRotation(Vector3D axis, float t) const;

  // The smallest rotation carrying the tangent direction at t0 onto the one
  // at t1.
  Matrix3D getDirectRotation(float t0, float t1) const;
  // The rotation about c that turns a into the half-plane of b (with flip,
  // of b or -b, whichever is nearer).
  Matrix3D getUpRotation(Vector3D a, Vector3D b, Vector3D c, bool flip) const;
  // Rotation about the tangent at t by the roll at t.
  Matrix3D getRollRotation(float t) const;
  // Rotation about the tangent at t1 by the roll change from t0 to t1.
  Matrix3D getRollRotation(float t0, float t1) const;
  // The roll at t, linear from the start to the end roll.
  float getRollAngle(float t) const;
  // The path's up vector at t.
  Vector3D getUpVector(float t) const;
  // Signed angle about the tangent at t from the current up vector to up.
  float getBankingAngle(Vector3D up, float t, bool flip) const;
  float getBankingAngle(float t, bool flip) const;

  // Wanted up vectors at the ends; (0, 0, 0) means none. They act at the
  // next init.
  void setStartUp(Vector3D up);
  void setEndUp(Vector3D up);
  void setStartRoll(float degrees);
  void setEndRoll(float degrees);
  // The reference up of the whole path, stored as given.
  void setPathUp(const Vector3D& up);

 private:
  // Index of the last sample whose parameter is at most t.
  int sampleBelow(float t) const;

  Path* path;
  // One rotation frame and one path parameter per sample; empty before init.
  std::vector<Matrix3D> frames;
  std::vector<float> parameters;
  int steps;
  int upMode;
  float startRoll;
  float endRoll;
  Vector3D startUp;
  Vector3D endUp;
  Vector3D pathUp;
};

}  // namespace ddd
}  // namespace korvu
