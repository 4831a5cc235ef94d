#include "ddd/pathfollow.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "ddd/bezier.h"
#include "ddd/face.h"
#include "ddd/model.h"
#include "debug.h"

namespace korvu {
namespace ddd {

namespace {

const double PI = 3.141592654;
// Angles at most this far from 0 (or from 180) degrees count as none (or as
// a half turn).
const float ANGLE_TOLERANCE = 0.05f;
// Cosines beyond this count as parallel.
const float PARALLEL = 0.9999995f;

// Clamps into [0, 1]; a NaN counts as 0.
float clampParameter(float t) {
  if (!(t > 0.0f)) return 0.0f;
  if (t > 1.0f) return 1.0f;
  return t;
}

Vector3D normalized(Vector3D v) {
  v.normalize();
  return v;
}

bool isZero(const Vector3D& v) { return v.x == 0.0f && v.y == 0.0f && v.z == 0.0f; }

float toRadians(float degrees) { return static_cast<float>(degrees / 180.0 * PI); }

// The angle in degrees of a cosine; rounding that pushed the cosine out of
// [-1, 1] is undone first.
float angleOfCosine(float cosine) {
  double e = cosine;
  if (e > 1.0) e = 1.0;
  if (e < -1.0) e = -1.0;
  return static_cast<float>(180.0 * std::acos(e) / PI);
}

// The rotation by the angle (radians) about the axis, as glRotate turns.
// An axis too short to give a direction yields the identity: there is no
// turn to make, and the scaled matrix a literal formula would give would
// shrink whatever it is applied to.
Matrix3D rotation(const Vector3D& axis, float radians) {
  Matrix3D m;
  Vector3D k = normalized(axis);
  if (isZero(k)) return m;
  m.setRotate(radians, k, true);
  return m;
}

// Some unit vector across v (v non-zero).
Vector3D across(const Vector3D& v) {
  Vector3D k = normalized(crossProduct(v, Vector3D(0.0f, 1.0f, 0.0f)));
  if (isZero(k)) k = normalized(crossProduct(v, Vector3D(1.0f, 0.0f, 0.0f)));
  return k;
}

Matrix3D translation(const Vector3D& offset) {
  Matrix3D m;
  m[0][3] = offset.x;
  m[1][3] = offset.y;
  m[2][3] = offset.z;
  return m;
}

// A direction only: the rotation part of m applied to n.
Vector3D rotateDirection(const Matrix3D& m, const Vector3D& n) {
  return {m[0][0] * n.x + m[0][1] * n.y + m[0][2] * n.z,
          m[1][0] * n.x + m[1][1] * n.y + m[1][2] * n.z,
          m[2][0] * n.x + m[2][1] * n.y + m[2][2] * n.z};
}

}  // namespace

PathFollowModifier::PathFollowModifier(Path* path_, int upMode_)
    : path(path_),
      steps(0),
      upMode(upMode_),
      startRoll(0.0f),
      endRoll(0.0f),
      startUp(0.0f, 0.0f, 0.0f),
      endUp(0.0f, 0.0f, 0.0f),
      pathUp(0.0f, 1.0f, 0.0f) {}

PathFollowModifier::~PathFollowModifier() = default;

void PathFollowModifier::setStartUp(Vector3D up) { startUp = up; }
void PathFollowModifier::setEndUp(Vector3D up) { endUp = up; }
void PathFollowModifier::setStartRoll(float degrees) { startRoll = degrees; }
void PathFollowModifier::setEndRoll(float degrees) { endRoll = degrees; }
void PathFollowModifier::setPathUp(const Vector3D& up) { pathUp = up; }

void PathFollowModifier::init(int steps_) {
  if (steps_ < 1) {
    debug::warning(dbgDdd, "Path follow modifier sampled with %d steps; using 1.", steps_);
    steps_ = 1;
  }
  steps = steps_;
  frames.assign(static_cast<size_t>(steps) + 1, Matrix3D());
  parameters.assign(static_cast<size_t>(steps) + 1, 0.0f);
  for (int i = 1; i <= steps; ++i) {
    parameters[i] = static_cast<float>(i) / static_cast<float>(steps);
    frames[i] = getDirectRotation(parameters[i - 1], parameters[i]) * frames[i - 1];
  }
  if (!isZero(startUp)) {
    float r = getRollAngle(0.0f);
    startRoll = 0.0f;
    startRoll = getBankingAngle(startUp, 0.0f, false) + r;
  }
  if (!isZero(endUp)) {
    float r = getRollAngle(1.0f);
    endRoll = 0.0f;
    endRoll = getBankingAngle(endUp, 1.0f, false) + r;
  }
  debug::info(dbgCore, "Path follow modifier sampled in %d steps.", steps);
  debug::info(dbgCore, "Path follow modifier rolls from %.3f to %.3f degrees.", startRoll, endRoll);
}

int PathFollowModifier::sampleBelow(float t) const {
  if (parameters.empty()) return -1;
  int i = static_cast<int>(t * static_cast<float>(steps));
  if (i > steps) i = steps;
  if (i < 0) i = 0;
  while (i < steps && parameters[i + 1] <= t) ++i;
  while (i > 0 && parameters[i] > t) --i;
  return i;
}

Matrix3D PathFollowModifier::getDirectRotation(float t0, float t1) const {
  t0 = clampParameter(t0);
  t1 = clampParameter(t1);
  Vector3D a = normalized(path->getTangentAt(t0));
  Vector3D b = normalized(path->getTangentAt(t1));
  // Where the path stands still there is no direction to carry.
  if (isZero(a) || isZero(b)) return Matrix3D();
  float theta = angleOfCosine(dotProduct(a, b));
  if (theta <= ANGLE_TOLERANCE) return Matrix3D();
  if (theta <= 180.0f - ANGLE_TOLERANCE) return rotation(crossProduct(a, b), toRadians(theta));
  // The tangents point opposite ways: turn through the plane in which the
  // path moved, or across the tangent when it moved along it.
  Vector3D k = crossProduct(a, path->getVertexAt(t1) - path->getVertexAt(t0));
  if (isZero(normalized(k))) k = across(a);
  return rotation(k, toRadians(theta));
}

Matrix3D PathFollowModifier::getUpRotation(Vector3D a, Vector3D b, Vector3D c, bool flip) const {
  b = normalized(b);
  c = normalized(c);
  float bc = dotProduct(b, c);
  if (!(bc > -PARALLEL && bc < PARALLEL)) return Matrix3D();
  Vector3D u = normalized(crossProduct(b, c));
  Vector3D v = normalized(crossProduct(a, c));
  // An a along c has no part across c to turn.
  if (isZero(v)) return Matrix3D();
  float e = dotProduct(u, v);
  if (e >= PARALLEL) return Matrix3D();
  Vector3D k = crossProduct(v, u);
  if (e < -PARALLEL) {
    k = c;
    if (e < -1.0f) e = -1.0f;
  }
  if (flip && e < 0.0f) {
    k = -k;
    e = -e;
  }
  return rotation(k, static_cast<float>(std::acos(static_cast<double>(e))));
}

float PathFollowModifier::getRollAngle(float t) const {
  t = clampParameter(t);
  return startRoll + (endRoll - startRoll) * t;
}

Matrix3D PathFollowModifier::getRollRotation(float t) const {
  t = clampParameter(t);
  return rotation(path->getTangentAt(t), toRadians(getRollAngle(t)));
}

Matrix3D PathFollowModifier::getRollRotation(float t0, float t1) const {
  t1 = clampParameter(t1);
  return rotation(path->getTangentAt(t1), toRadians(getRollAngle(t1) - getRollAngle(t0)));
}

Matrix3D PathFollowModifier::getRotation(float t) const {
  t = clampParameter(t);
  // Before init the start is the only sample.
  int i = sampleBelow(t);
  Matrix3D m = i < 0 ? getDirectRotation(0.0f, t) : getDirectRotation(parameters[i], t) * frames[i];
  if (upMode == 1 || upMode == 2) {
    m = getUpRotation(m * pathUp, pathUp, path->getTangentAt(t), upMode == 1) * m;
  }
  return getRollRotation(0.0f, t) * m;
}

Matrix3D PathFollowModifier::getRotation(Vector3D axis, Vector3D up, float t) const {
  t = clampParameter(t);
  axis = normalized(axis);
  up = normalized(up);
  if (isZero(axis)) axis = Vector3D(0.0f, 0.0f, 1.0f);
  if (isZero(up) || dotProduct(axis, up) > 0.999f) {
    up = Vector3D(0.0f, 1.0f, 0.0f);
    if (dotProduct(axis, up) > 0.999f) up = Vector3D(1.0f, 0.0f, 0.0f);
  }
  if (dotProduct(axis, up) > 0.001f) up = crossProduct(axis, crossProduct(up, axis));

  Vector3D t0 = normalized(path->getTangentAt(0.0f));
  float theta = angleOfCosine(dotProduct(axis, t0));
  Matrix3D a;
  if (theta > 180.0f - ANGLE_TOLERANCE) {
    // A half turn about the path up's part across the axis, so the axis
    // really ends on the tangent.
    Vector3D k = pathUp - axis * dotProduct(pathUp, axis);
    if (isZero(normalized(k))) k = across(axis);
    a = rotation(k, toRadians(theta));
  } else if (theta > ANGLE_TOLERANCE) {
    a = rotation(crossProduct(axis, t0), toRadians(theta));
  }
  Matrix3D m = a;
  m = getUpRotation(a * up, pathUp, t0, false) * m;
  m = getRollRotation(0.0f) * m;
  m = getRotation(t) * m;
  return m;
}

Matrix3D PathFollowModifier::getRotation(Vector3D axis, float t) const {
  return getRotation(axis, Vector3D(0.0f, 1.0f, 0.0f), t);
}

Vector3D PathFollowModifier::getUpVector(float t) const {
  t = clampParameter(t);
  Vector3D t0 = path->getTangentAt(0.0f);
  Vector3D d = crossProduct(pathUp, crossProduct(t0, pathUp));
  return getRotation(d, pathUp, t) * pathUp;
}

float PathFollowModifier::getBankingAngle(Vector3D up, float t, bool flip) const {
  t = clampParameter(t);
  Vector3D current = getUpVector(t);
  Vector3D tangent = normalized(path->getTangentAt(t));
  up = normalized(up);
  float wt = dotProduct(up, tangent);
  if (!(wt > -PARALLEL && wt < PARALLEL)) return 0.0f;
  Vector3D a = normalized(crossProduct(up, tangent));
  Vector3D b = normalized(crossProduct(current, tangent));
  // Without a tangent, or with the current up along it, there is no plane
  // to measure the bank in.
  if (isZero(a) || isZero(b)) return 0.0f;
  float e = dotProduct(b, a);
  if (flip && e < 0.0f) {
    a = -a;
    e = -e;
  }
  if (e > -PARALLEL && e < PARALLEL && dotProduct(crossProduct(b, a), tangent) < 0.0f) {
    return -angleOfCosine(e);
  }
  return angleOfCosine(e);
}

float PathFollowModifier::getBankingAngle(float t, bool flip) const {
  return getBankingAngle(pathUp, t, flip);
}

void PathFollowModifier::transformModel(Model* model, Vector3D axis, float t0, float t1) const {
  transformModel(model, axis, Vector3D(0.0f, 1.0f, 0.0f), t0, t1);
}

void PathFollowModifier::transformModel(Model* model, Vector3D axis, Vector3D up, float t0,
                                        float t1) const {
  if (model == nullptr) return;
  const size_t count = std::min<size_t>(model->vertexCount, model->vertices.size());
  if (count == 0) return;
  t0 = clampParameter(t0);
  t1 = clampParameter(t1);
  axis = normalized(axis);
  up = normalized(up);
  if (isZero(axis)) return;

  std::vector<Vector3D>& vertices = model->vertices;
  float min = dotProduct(vertices[0], axis);
  float max = min;
  for (size_t i = 1; i < count; ++i) {
    float d = dotProduct(vertices[i], axis);
    if (d < min) min = d;
    if (d > max) max = d;
  }
  const float length = max - min;

  const Matrix3D base = getRotation(axis, up, 0.0f);
  const Matrix3D start = getRotation(axis, up, t0);
  const Matrix3D startInverse = start.inverse(start.determinant());
  const Vector3D startPoint = path->getVertexAt(t0);
  const Matrix3D back = translation(axis * min) * startInverse * translation(-startPoint);

  // Vertices at one coordinate along the axis share their frame: road
  // models are rings of vertices repeated along their length, so each frame
  // is evaluated once per ring rather than once per vertex and corner.
  std::unordered_map<float, size_t> frameOf;
  std::vector<Matrix3D> frameList;
  std::vector<size_t> vertexFrame(count);
  for (size_t i = 0; i < count; ++i) {
    const Vector3D v = vertices[i];
    const float d = dotProduct(v, axis);
    // A model without length along the axis is laid at t0 whole.
    float s = t0;
    if (length > 0.0f) s = t0 + (t1 - t0) * (d - min) / length;
    auto found = frameOf.find(s);
    size_t f;
    if (found == frameOf.end()) {
      f = frameList.size();
      Matrix3D r = getRotation(s) * base;
      // The path point goes into the frame's translation, so one product
      // does the turn and the move.
      Vector3D p = path->getVertexAt(s);
      r[0][3] = p.x;
      r[1][3] = p.y;
      r[2][3] = p.z;
      frameList.push_back(r);
      frameOf.emplace(s, f);
    } else {
      f = found->second;
    }
    vertexFrame[i] = f;
    const Matrix3D& r = frameList[f];
    vertices[i] = back * (r * (v - axis * d));
    if (i < model->normals.size()) {
      model->normals[i] = rotateDirection(startInverse, rotateDirection(r, model->normals[i]));
    }
  }

  for (Face* face : model->faces) {
    if (face == nullptr) continue;
    for (int c = 0; c < 3; ++c) {
      const int32_t index = face->vertex[c];
      // A corner naming no vertex of the model has no frame to follow.
      if (index < 0 || static_cast<size_t>(index) >= count) continue;
      const Matrix3D& r = frameList[vertexFrame[index]];
      face->normal[c] = rotateDirection(startInverse, rotateDirection(r, face->normal[c]));
    }
  }
}

}  // namespace ddd
}  // namespace korvu
