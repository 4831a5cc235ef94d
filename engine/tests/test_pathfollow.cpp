// Bending models along paths: frames, up correction, roll, and the bend
// itself checked by where the bent geometry lands.
#include <cmath>
#include <memory>

#include <gtest/gtest.h>

#include "ddd/bezier.h"
#include "ddd/face.h"
#include "ddd/model.h"
#include "ddd/pathfollow.h"

using korvu::Matrix3D;
using korvu::Vector3D;
using korvu::dotProduct;
using korvu::ddd::BezierCurve;
using korvu::ddd::Model;
using korvu::ddd::PathFollowModifier;

namespace {

const Vector3D X(1, 0, 0), Y(0, 1, 0), Z(0, 0, 1);

Vector3D unit(Vector3D v) {
  v.normalize();
  return v;
}

// The rotation part applied to a direction.
Vector3D turn(const Matrix3D& m, const Vector3D& v) {
  Matrix3D r = m;
  r[0][3] = r[1][3] = r[2][3] = 0;
  return r * v;
}

::testing::AssertionResult near(const Vector3D& expected, const Vector3D& actual, float tolerance) {
  if ((expected - actual).length() <= tolerance) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "expected (" << expected.x << ", " << expected.y << ", " << expected.z
                                       << ") got (" << actual.x << ", " << actual.y << ", " << actual.z << ")";
}

// A proper rotation: unit columns at right angles, determinant 1 (not a
// mirror, not a scaling).
::testing::AssertionResult isRotation(const Matrix3D& m) {
  Vector3D x = turn(m, X), y = turn(m, Y), z = turn(m, Z);
  if (!near(z, korvu::crossProduct(x, y), 1e-4f) || std::fabs(x.length() - 1) > 1e-4f ||
      std::fabs(y.length() - 1) > 1e-4f || std::fabs(dotProduct(x, y)) > 1e-4f) {
    return ::testing::AssertionFailure() << "not a rotation: x (" << x.x << ", " << x.y << ", " << x.z << ")";
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult isIdentity(const Matrix3D& m) {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      if (std::fabs(m[i][j] - (i == j ? 1.0f : 0.0f)) > 1e-5f) return ::testing::AssertionFailure() << i << j;
  return ::testing::AssertionSuccess();
}

// A box-shaped strip along z from 0 to length: rings of four corners at
// x = +-2, y = +-0.5, joined by quads with outward normals.
std::unique_ptr<Model> makeStrip(float length, int rings) {
  std::unique_ptr<Model> model(new Model());
  const Vector3D corner[4] = {{-2, -0.5f, 0}, {2, -0.5f, 0}, {2, 0.5f, 0}, {-2, 0.5f, 0}};
  const Vector3D side[4] = {-Y, X, Y, -X};
  model->initVertices(rings * 4);
  model->initFaces((rings - 1) * 8);
  for (int r = 0, f = 0; r < rings; ++r) {
    for (int k = 0; k < 4; ++k) {
      model->vertices[r * 4 + k] = corner[k] + Z * (length * r / (rings - 1));
      model->normals[r * 4 + k] = unit(corner[k]);
      if (r + 1 == rings) continue;
      int a = r * 4 + k, b = r * 4 + (k + 1) % 4;
      *model->faces[f++] = korvu::ddd::Face(a, b, b + 4, side[k], side[k], side[k]);
      *model->faces[f++] = korvu::ddd::Face(a, b + 4, a + 4, side[k], side[k], side[k]);
    }
  }
  return model;
}

// Turns and climbs, so frames twist along it.
BezierCurve curved() { return BezierCurve(Vector3D(0, 0, 0), Vector3D(0, 0, 60), Vector3D(40, 5, 90), Vector3D(90, 10, 100), 20); }
BezierCurve straight() { return BezierCurve(Vector3D(0, 0, 0), Vector3D(0, 0, 10.0f / 3), Vector3D(0, 0, 20.0f / 3), Vector3D(0, 0, 10), 4); }

}  // namespace

TEST(PathFollowModifier, StraightPathStretchesAStripAndKeepsItsCrossSections) {
  BezierCurve curve = straight();
  PathFollowModifier modifier(&curve, 0);
  modifier.init(10);
  std::unique_ptr<Model> original = makeStrip(2.0f, 5);
  Model bent(*original), clamped(*original), half(*original);
  modifier.transformModel(&bent, Z, Y, 0.0f, 1.0f);
  for (size_t i = 0; i < bent.vertices.size(); ++i) {
    const Vector3D& v = original->vertices[i];
    EXPECT_TRUE(near(Vector3D(v.x, v.y, v.z * 5.0f), bent.vertices[i], 1e-4f)) << i;
    EXPECT_TRUE(near(original->normals[i], bent.normals[i], 1e-5f)) << i;
  }
  for (size_t f = 0; f < bent.faces.size(); ++f)
    for (int c = 0; c < 3; ++c) EXPECT_TRUE(near(original->faces[f]->normal[c], bent.faces[f]->normal[c], 1e-5f));
  // Parameters are clamped; half the path gives half the length.
  modifier.transformModel(&clamped, Z, -1.0f, 3.0f);
  for (size_t i = 0; i < bent.vertices.size(); ++i) EXPECT_EQ(bent.vertices[i], clamped.vertices[i]);
  modifier.transformModel(&half, Z, 0.5f, 1.0f);
  EXPECT_TRUE(near(Vector3D(-2, 0.5f, 5.0f), half.vertices.back(), 1e-4f));
}

TEST(PathFollowModifier, BentPiecePlacedOnACurveLiesOnIt) {
  BezierCurve curve = curved();
  const int rings = 7;
  std::unique_ptr<Model> original = makeStrip(30.0f, rings);
  struct Case { int upMode; float startRoll, endRoll, t0, t1; };
  for (const Case& k : {Case{0, 0, 0, 0, 1}, Case{1, 0, 30, 0.25f, 0.6f}, Case{2, -20, 15, 0.6f, 0.95f}}) {
    SCOPED_TRACE(::testing::Message() << "up mode " << k.upMode);
    PathFollowModifier modifier(&curve, k.upMode);
    modifier.setStartRoll(k.startRoll);
    modifier.setEndRoll(k.endRoll);
    modifier.init(10);
    Model bent(*original);
    modifier.transformModel(&bent, Z, k.t0, k.t1);
    // Placed as a track places its pieces.
    const Matrix3D place = modifier.getRotation(Z, k.t0);
    ASSERT_TRUE(isRotation(place));
    auto world = [&](int i) { return curve.getVertexAt(k.t0) + place * bent.vertices[i]; };
    for (int r = 0; r < rings; ++r) {
      const float s = k.t0 + (k.t1 - k.t0) * r / (rings - 1);
      const Vector3D centre = (world(r * 4) + world(r * 4 + 1) + world(r * 4 + 2) + world(r * 4 + 3)) * 0.25f;
      // The last ring's centre is the far end: the curve's point at t1.
      EXPECT_TRUE(near(curve.getVertexAt(s), centre, 2e-3f)) << "ring " << r;
      // The cross-section keeps its size, stands across the path and is
      // turned by the frame at its own parameter.
      const Vector3D across = world(r * 4 + 1) - world(r * 4), upwards = world(r * 4 + 3) - world(r * 4);
      EXPECT_NEAR(4.0f, across.length(), 1e-3f);
      EXPECT_NEAR(1.0f, upwards.length(), 1e-3f);
      EXPECT_NEAR(0.0f, dotProduct(upwards, unit(curve.getTangentAt(s))), 1e-3f);
      EXPECT_TRUE(near(turn(modifier.getRotation(Z, s), X), unit(across), 1e-3f)) << "ring " << r;
    }
    // Corner normals turn with their own vertex's frame.
    for (size_t f = 0; f < bent.faces.size(); ++f)
      for (int c = 0; c < 3; ++c) {
        const float s = k.t0 + (k.t1 - k.t0) * original->vertices[bent.faces[f]->vertex[c]].z / 30.0f;
        EXPECT_TRUE(near(turn(modifier.getRotation(Z, s), original->faces[f]->normal[c]),
                         turn(place, bent.faces[f]->normal[c]), 1e-3f));
      }
  }
}

TEST(PathFollowModifier, FramesCarryTheStartTangentAndKeepTheUp) {
  BezierCurve curve = curved();
  float plainDrift = 0.0f;
  for (int mode : {0, 1, 2, 5}) {
    PathFollowModifier modifier(&curve, mode);
    modifier.setStartRoll(10);
    modifier.setEndRoll(10);
    modifier.init(10);
    EXPECT_TRUE(isIdentity(modifier.getRotation(0.0f))) << mode;
    for (int i = 1; i <= 20; ++i) {
      const float t = i / 20.0f;
      const Matrix3D m = modifier.getRotation(t);
      ASSERT_TRUE(isRotation(m)) << mode << " " << t;
      const Vector3D tangent = unit(curve.getTangentAt(t));
      EXPECT_TRUE(near(tangent, turn(m, unit(curve.getTangentAt(0))), 1e-3f)) << mode << " " << t;
      // The up's part across the tangent against the path up's.
      auto acrossPart = [&](const Vector3D& v) { return unit(v - tangent * dotProduct(v, tangent)); };
      const float agree = dotProduct(acrossPart(turn(m, Y)), acrossPart(Y));
      if (mode == 2) {
        EXPECT_NEAR(1.0f, agree, 1e-4f) << t;
      } else if (mode == 1) {
        EXPECT_NEAR(1.0f, std::fabs(agree), 1e-4f) << t;
      } else if (mode == 0) {
        plainDrift = std::max(plainDrift, 1.0f - agree);
      }
    }
  }
  // Without correction the frame twists away on this curve.
  EXPECT_GT(plainDrift, 1e-3f);
}

TEST(PathFollowModifier, RollsAndWantedUpVectors) {
  BezierCurve curve = straight();
  auto rolled = [](float degrees) {
    const float r = degrees / 180.0f * 3.1415927f;
    return Vector3D(-std::sin(r), std::cos(r), 0);
  };
  PathFollowModifier modifier(&curve, 0);
  modifier.setStartRoll(10);
  modifier.setEndRoll(30);
  modifier.init(10);
  EXPECT_FLOAT_EQ(20.0f, modifier.getRollAngle(0.5f));
  EXPECT_FLOAT_EQ(30.0f, modifier.getRollAngle(2.0f));
  for (float t : {0.0f, 0.3f, 1.0f}) EXPECT_TRUE(near(rolled(10 + 20 * t), modifier.getRotation(Z, Y, t) * Y, 1e-5f)) << t;
  // The frame alone carries the roll change since the start.
  EXPECT_TRUE(near(rolled(20), turn(modifier.getRotation(1.0f), Y), 1e-5f));
  EXPECT_TRUE(near(rolled(10), turn(modifier.getRollRotation(0.25f, 0.75f), Y), 1e-5f));

  // Wanted ups turn into rolls (a set roll adds to the start's), and the
  // up vector in between is interpolated through them.
  PathFollowModifier banked(&curve, 0);
  banked.setStartRoll(5);
  banked.setStartUp(Vector3D(1, 1, 0));
  banked.setEndUp(Vector3D(-2, 2, 0));
  banked.init(10);
  EXPECT_NEAR(-40.0f, banked.getRollAngle(0), 1e-3f);
  EXPECT_NEAR(45.0f, banked.getRollAngle(1), 1e-3f);
  EXPECT_TRUE(near(rolled(2.5f), banked.getRotation(Z, Y, 0.5f) * Y, 1e-5f));
  EXPECT_TRUE(near(rolled(45), banked.getUpVector(1), 1e-5f));
  EXPECT_NEAR(-45.0f - 2.5f, banked.getBankingAngle(Vector3D(1, 1, 0), 0.5f, false), 1e-3f);
  // Flip takes the nearer of an up and its opposite; none along the tangent.
  PathFollowModifier level(&curve, 0);
  level.init(10);
  const float lean = std::atan(0.01f) * 180.0f / 3.1415927f;
  EXPECT_NEAR(180.0f - lean, std::fabs(level.getBankingAngle(Vector3D(0.01f, -1, 0), 0.5f, false)), 0.01f);
  EXPECT_NEAR(lean, std::fabs(level.getBankingAngle(Vector3D(0.01f, -1, 0), 0.5f, true)), 0.01f);
  EXPECT_EQ(0.0f, level.getBankingAngle(Z, 0.5f, false));

  PathFollowModifier unbanked(&curve, 1);
  unbanked.setStartRoll(-7);
  unbanked.setEndRoll(12);
  unbanked.init(10);
  EXPECT_FLOAT_EQ(-7.0f, unbanked.getRollAngle(0));
  EXPECT_FLOAT_EQ(12.0f, unbanked.getRollAngle(1));
}

TEST(PathFollowModifier, OrientsAnyModelAxisOntoThePath) {
  BezierCurve curve = curved();
  PathFollowModifier modifier(&curve, 1);
  modifier.init(10);
  for (float t : {0.0f, 0.4f, 1.0f}) {
    // An up along the axis is replaced by x.
    const Matrix3D a = modifier.getRotation(Y, Y, t), b = modifier.getRotation(Y, X, t);
    for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(b[i / 4][i % 4], a[i / 4][i % 4]);
    for (const Vector3D& axis : {X, Y, Z, -Z, Vector3D(1, 2, 3)}) {
      const Matrix3D m = modifier.getRotation(axis, Y, t);
      EXPECT_TRUE(isRotation(m));
      EXPECT_TRUE(near(unit(curve.getTangentAt(t)), turn(m, unit(axis)), 1e-3f));
    }
  }
  // An axis against the start tangent turns half round; with a path up that
  // leans along the axis the axis must still end on the tangent.
  PathFollowModifier leaning(&curve, 0);
  leaning.setPathUp(Vector3D(0, 1, 0.3f));
  leaning.init(10);
  for (float t : {0.0f, 0.5f}) {
    const Matrix3D m = leaning.getRotation(-Z, Y, t);
    EXPECT_TRUE(isRotation(m));
    EXPECT_TRUE(near(unit(curve.getTangentAt(t)), turn(m, -Z), 1e-3f)) << t;
  }
}

TEST(PathFollowModifier, DirectAndUpRotations) {
  BezierCurve curve = curved();
  PathFollowModifier modifier(&curve, 0);
  EXPECT_TRUE(isIdentity(modifier.getDirectRotation(0.3f, 0.3f)));
  EXPECT_TRUE(near(unit(curve.getTangentAt(0.9f)), turn(modifier.getDirectRotation(0.2f, 0.9f), unit(curve.getTangentAt(0.2f))), 1e-5f));
  // Tangents 0.04 degrees apart count as one direction.
  const float off = std::tan(0.04f / 180.0f * 3.1415927f);
  BezierCurve slight(Vector3D(0, 0, 0), Vector3D(0, 0, 1), Vector3D(0, 0, 2), Vector3D(off, 0, 3), 4);
  EXPECT_TRUE(isIdentity(PathFollowModifier(&slight, 0).getDirectRotation(0, 1)));
  // Opposite tangents, after a U-turn or running back on itself: a half
  // turn, never a mirror.
  BezierCurve uTurn(Vector3D(0, 0, 0), Vector3D(0, 0, 10), Vector3D(10, 0, 10), Vector3D(10, 0, 0), 4);
  BezierCurve reverse(Vector3D(0, 0, 0), Vector3D(0, 0, 10), Vector3D(0, 0, 10), Vector3D(0, 0, 0), 4);
  for (BezierCurve* c : {&uTurn, &reverse}) {
    const Matrix3D back = PathFollowModifier(c, 0).getDirectRotation(0, 1);
    EXPECT_TRUE(isRotation(back));
    EXPECT_TRUE(near(-Z, turn(back, Z), 1e-5f));
  }

  EXPECT_TRUE(near(Y, turn(modifier.getUpRotation(X, Y, Z, false), X), 1e-5f));
  EXPECT_TRUE(near(Y, turn(modifier.getUpRotation(-Y, Y, Z, false), -Y), 1e-5f));
  EXPECT_TRUE(isIdentity(modifier.getUpRotation(-Y, Y, Z, true)));
  // Nothing to turn when b, or a, lies along c.
  EXPECT_TRUE(isIdentity(modifier.getUpRotation(X, Z, Z, false)));
  EXPECT_TRUE(isIdentity(modifier.getUpRotation(Z * 3.0f, Y, Z, false)));
}

TEST(PathFollowModifier, DegenerateInputsGiveDefinedResults) {
  BezierCurve curve = curved();
  std::unique_ptr<Model> original = makeStrip(10.0f, 3);
  // Step counts below 1 sample the path once.
  PathFollowModifier one(&curve, 1), none(&curve, 1), negative(&curve, 1);
  one.init(1);
  none.init(0);
  negative.init(-5);
  for (float t : {0.0f, 0.5f, 1.0f}) {
    const Matrix3D a = one.getRotation(Z, t), b = none.getRotation(Z, t), c = negative.getRotation(Z, t);
    EXPECT_TRUE(isRotation(b));
    for (int i = 0; i < 16; ++i) EXPECT_EQ(a[i / 4][i % 4], b[i / 4][i % 4]);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(a[i / 4][i % 4], c[i / 4][i % 4]);
  }
  // Used before init: the start is the only sample.
  PathFollowModifier early(&curve, 1);
  EXPECT_TRUE(near(unit(curve.getTangentAt(0.7f)), turn(early.getRotation(Z, 0.7f), Z), 1e-3f));

  // A model without length along the axis is laid at t0 whole: unchanged.
  PathFollowModifier modifier(&curve, 2);
  modifier.init(10);
  Model flat(*original);
  for (Vector3D& v : flat.vertices) v.z = 0.0f;
  Model flatBent(flat);
  modifier.transformModel(&flatBent, Z, 0.3f, 0.8f);
  for (size_t i = 0; i < flat.vertices.size(); ++i) EXPECT_TRUE(near(flat.vertices[i], flatBent.vertices[i], 1e-3f));
  // A zero axis, a model without vertices and no model change nothing.
  Model untouched(*original), empty;
  modifier.transformModel(&untouched, Vector3D(0, 0, 0), 0.0f, 1.0f);
  for (size_t i = 0; i < untouched.vertices.size(); ++i) EXPECT_EQ(original->vertices[i], untouched.vertices[i]);
  modifier.transformModel(&empty, Z, 0.0f, 1.0f);
  modifier.transformModel(nullptr, Z, 0.0f, 1.0f);

  // P0 = P1: no direction at the start. Rolls and bends stay rigid turns.
  BezierCurve still(Vector3D(0, 0, 0), Vector3D(0, 0, 0), Vector3D(0, 0, 20), Vector3D(20, 0, 30), 8);
  PathFollowModifier stiff(&still, 1);
  stiff.setStartRoll(30);
  stiff.setStartUp(Vector3D(1, 1, 0));
  stiff.init(10);
  EXPECT_FLOAT_EQ(30.0f, stiff.getRollAngle(0));
  EXPECT_TRUE(isRotation(stiff.getRollRotation(0.0f)));
  EXPECT_TRUE(isRotation(stiff.getDirectRotation(0.0f, 0.5f)));
  for (float t : {0.0f, 0.01f, 0.5f, 1.0f}) EXPECT_TRUE(isRotation(stiff.getRotation(Z, t))) << t;
  Model bent(*original);
  stiff.transformModel(&bent, Z, 0.0f, 1.0f);
  for (int r = 0; r < 3; ++r) EXPECT_NEAR(4.0f, (bent.vertices[r * 4 + 1] - bent.vertices[r * 4]).length(), 1e-3f);
}
