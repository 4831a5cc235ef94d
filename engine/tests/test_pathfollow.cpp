// Bending models along paths: frames, up correction, roll, and the bend
// itself checked by where the bent geometry lands.
#include <cmath>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "ddd/bezier.h"
#include "ddd/face.h"
#include "ddd/model.h"
#include "ddd/pathfollow.h"

using korvu::Matrix3D;
using korvu::Vector3D;
using korvu::crossProduct;
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
  return {m[0][0] * v.x + m[0][1] * v.y + m[0][2] * v.z, m[1][0] * v.x + m[1][1] * v.y + m[1][2] * v.z,
          m[2][0] * v.x + m[2][1] * v.y + m[2][2] * v.z};
}

float det3(const Matrix3D& m) {
  return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
         m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

bool finite(const Vector3D& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

::testing::AssertionResult near(const Vector3D& expected, const Vector3D& actual, float tolerance) {
  if ((expected - actual).length() <= tolerance && finite(actual)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "expected (" << expected.x << ", " << expected.y << ", " << expected.z
                                       << ") got (" << actual.x << ", " << actual.y << ", " << actual.z << ")";
}

// A proper rotation: orthonormal columns, determinant 1.
::testing::AssertionResult isRotation(const Matrix3D& m) {
  for (const Vector3D& v : {X, Y, Z}) {
    Vector3D c = turn(m, v);
    if (!finite(c) || std::fabs(c.length() - 1.0f) > 1e-4f) {
      return ::testing::AssertionFailure() << "column of length " << c.length();
    }
  }
  if (std::fabs(det3(m) - 1.0f) > 1e-4f) return ::testing::AssertionFailure() << "determinant " << det3(m);
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult isIdentity(const Matrix3D& m) {
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      if (std::fabs(m[i][j] - (i == j ? 1.0f : 0.0f)) > 1e-5f) {
        return ::testing::AssertionFailure() << "element [" << i << "][" << j << "] is " << m[i][j];
      }
    }
  }
  return ::testing::AssertionSuccess();
}

// A box-shaped strip along z from 0 to length: `rings` rings of four corners
// (x = +-halfWidth, y = +-halfHeight), quads between them as two triangles
// each, with outward corner and vertex normals.
std::unique_ptr<Model> makeStrip(float length, int rings, float halfWidth = 2.0f, float halfHeight = 0.5f) {
  std::unique_ptr<Model> model(new Model());
  const Vector3D corner[4] = {{-halfWidth, -halfHeight, 0}, {halfWidth, -halfHeight, 0},
                              {halfWidth, halfHeight, 0}, {-halfWidth, halfHeight, 0}};
  model->initVertices(static_cast<unsigned>(rings * 4));
  for (int r = 0; r < rings; ++r) {
    float z = length * r / (rings - 1);
    for (int k = 0; k < 4; ++k) {
      model->vertices[r * 4 + k] = Vector3D(corner[k].x, corner[k].y, z);
      model->normals[r * 4 + k] = unit(Vector3D(corner[k].x, corner[k].y, 0));
    }
  }
  // Sides: bottom (k = 0 to 1), right, top, left.
  const Vector3D sideNormal[4] = {-Y, X, Y, -X};
  model->initFaces(static_cast<unsigned>((rings - 1) * 8));
  int f = 0;
  for (int r = 0; r + 1 < rings; ++r) {
    for (int k = 0; k < 4; ++k) {
      int a = r * 4 + k, b = r * 4 + (k + 1) % 4, c = a + 4, d = b + 4;
      const Vector3D& n = sideNormal[k];
      *model->faces[f++] = korvu::ddd::Face(a, b, d, n, n, n);
      *model->faces[f++] = korvu::ddd::Face(a, d, c, n, n, n);
    }
  }
  return model;
}

// A curve that turns and climbs, so frames twist along it.
BezierCurve* makeCurve() {
  return new BezierCurve(Vector3D(0, 0, 0), Vector3D(0, 0, 60), Vector3D(40, 5, 90), Vector3D(90, 10, 100), 20);
}

BezierCurve* makeStraightCurve() {
  return new BezierCurve(Vector3D(0, 0, 0), Vector3D(0, 0, 10.0f / 3.0f), Vector3D(0, 0, 20.0f / 3.0f),
                         Vector3D(0, 0, 10), 4);
}

}  // namespace

TEST(PathFollowModifier, StraightPathStretchesAStripAndKeepsItsCrossSections) {
  std::unique_ptr<BezierCurve> curve(makeStraightCurve());
  PathFollowModifier modifier(curve.get(), 0);
  modifier.init(10);
  std::unique_ptr<Model> original = makeStrip(2.0f, 5);
  Model bent(*original);
  modifier.transformModel(&bent, Z, Y, 0.0f, 1.0f);
  for (size_t i = 0; i < bent.vertices.size(); ++i) {
    const Vector3D& v = original->vertices[i];
    EXPECT_TRUE(near(Vector3D(v.x, v.y, v.z * 5.0f), bent.vertices[i], 1e-4f)) << "vertex " << i;
    EXPECT_TRUE(near(original->normals[i], bent.normals[i], 1e-5f)) << "normal " << i;
  }
  for (size_t f = 0; f < bent.faces.size(); ++f) {
    for (int c = 0; c < 3; ++c) EXPECT_TRUE(near(original->faces[f]->normal[c], bent.faces[f]->normal[c], 1e-5f));
  }

  // Parameters outside [0, 1] are clamped: the same bend.
  Model clamped(*original);
  modifier.transformModel(&clamped, Z, -1.0f, 3.0f);
  for (size_t i = 0; i < bent.vertices.size(); ++i) EXPECT_EQ(bent.vertices[i], clamped.vertices[i]);

  // Half the path gives half the length.
  Model half(*original);
  modifier.transformModel(&half, Z, 0.5f, 1.0f);
  EXPECT_TRUE(near(Vector3D(-2, 0.5f, 5.0f), half.vertices.back(), 1e-4f));
}

TEST(PathFollowModifier, BentPiecePlacedOnACurveLiesOnIt) {
  std::unique_ptr<BezierCurve> curve(makeCurve());
  const int rings = 7;
  std::unique_ptr<Model> original = makeStrip(30.0f, rings);
  struct Case {
    int upMode;
    float startRoll, endRoll;
    float t0, t1;
  };
  for (const Case& k : {Case{0, 0, 0, 0.0f, 1.0f}, Case{1, 0, 30, 0.25f, 0.6f}, Case{2, -20, 15, 0.6f, 0.95f},
                        Case{1, 10, 10, 0.0f, 0.1f}}) {
    SCOPED_TRACE(::testing::Message() << "up mode " << k.upMode << ", t " << k.t0 << " to " << k.t1);
    PathFollowModifier modifier(curve.get(), k.upMode);
    modifier.setStartRoll(k.startRoll);
    modifier.setEndRoll(k.endRoll);
    modifier.init(10);
    Model bent(*original);
    modifier.transformModel(&bent, Z, k.t0, k.t1);

    // Placed as a track places its pieces.
    const Matrix3D place = modifier.getRotation(Z, k.t0);
    ASSERT_TRUE(isRotation(place));
    const Vector3D origin = curve->getVertexAt(k.t0);
    auto world = [&](int i) { return origin + place * bent.vertices[i]; };

    for (int r = 0; r < rings; ++r) {
      const float s = k.t0 + (k.t1 - k.t0) * r / (rings - 1);
      Vector3D centre(0, 0, 0);
      for (int c = 0; c < 4; ++c) centre += world(r * 4 + c) * 0.25f;
      EXPECT_TRUE(near(curve->getVertexAt(s), centre, 2e-3f)) << "ring " << r;
      // The cross-section keeps its size and stands across the path.
      const Vector3D tangent = unit(curve->getTangentAt(s));
      const Vector3D across = world(r * 4 + 1) - world(r * 4);
      const Vector3D upwards = world(r * 4 + 3) - world(r * 4);
      EXPECT_NEAR(4.0f, across.length(), 1e-3f);
      EXPECT_NEAR(1.0f, upwards.length(), 1e-3f);
      EXPECT_NEAR(0.0f, dotProduct(across, tangent), 1e-3f);
      EXPECT_NEAR(0.0f, dotProduct(upwards, tangent), 1e-3f);
      // And it is turned by the frame at its own parameter.
      const Matrix3D frame = modifier.getRotation(Z, s);
      EXPECT_TRUE(near(turn(frame, X), unit(across), 1e-3f)) << "ring " << r;
    }
    // The far end of the piece reaches the curve's point at t1.
    Vector3D farEnd(0, 0, 0);
    for (int c = 0; c < 4; ++c) farEnd += world((rings - 1) * 4 + c) * 0.25f;
    EXPECT_TRUE(near(curve->getVertexAt(k.t1), farEnd, 2e-3f));

    // Normals turn with their vertex's frame and stay unit length.
    for (size_t f = 0; f < bent.faces.size(); ++f) {
      for (int c = 0; c < 3; ++c) {
        const int v = bent.faces[f]->vertex[c];
        const float s = k.t0 + (k.t1 - k.t0) * original->vertices[v].z / 30.0f;
        const Vector3D expected = turn(modifier.getRotation(Z, s), original->faces[f]->normal[c]);
        EXPECT_TRUE(near(expected, turn(place, bent.faces[f]->normal[c]), 1e-3f)) << "face " << f;
      }
    }
    for (size_t i = 0; i < bent.normals.size(); ++i) EXPECT_NEAR(1.0f, bent.normals[i].length(), 1e-4f);
  }
}

TEST(PathFollowModifier, FramesCarryTheStartTangentAlongThePath) {
  std::unique_ptr<BezierCurve> curve(makeCurve());
  const Vector3D start = unit(curve->getTangentAt(0));
  for (int mode : {0, 1, 2, 5}) {
    PathFollowModifier modifier(curve.get(), mode);
    modifier.setStartRoll(10);
    modifier.setEndRoll(30);
    modifier.init(10);
    EXPECT_TRUE(isIdentity(modifier.getRotation(0.0f))) << "mode " << mode;
    for (int i = 1; i <= 40; ++i) {
      const float t = i / 40.0f;
      const Matrix3D m = modifier.getRotation(t);
      ASSERT_TRUE(isRotation(m)) << "mode " << mode << " t " << t;
      EXPECT_TRUE(near(unit(curve->getTangentAt(t)), turn(m, start), 1e-3f)) << "mode " << mode << " t " << t;
    }
    EXPECT_TRUE(near(turn(modifier.getRotation(1.0f), X), turn(modifier.getRotation(5.0f), X), 0.0f));
  }
}

TEST(PathFollowModifier, UpCorrectionKeepsTheUpTowardsThePathUp) {
  std::unique_ptr<BezierCurve> curve(makeCurve());
  PathFollowModifier plain(curve.get(), 0), flipping(curve.get(), 1), steady(curve.get(), 2);
  plain.init(10);
  flipping.init(10);
  steady.init(10);
  float plainDrift = 0.0f;
  for (int i = 1; i <= 20; ++i) {
    const float t = i / 20.0f;
    const Vector3D tangent = unit(curve->getTangentAt(t));
    auto acrossPart = [&](const Vector3D& v) { return unit(v - tangent * dotProduct(v, tangent)); };
    const Vector3D wanted = acrossPart(Y);
    EXPECT_NEAR(1.0f, dotProduct(acrossPart(turn(steady.getRotation(t), Y)), wanted), 1e-4f) << t;
    EXPECT_NEAR(1.0f, std::fabs(dotProduct(acrossPart(turn(flipping.getRotation(t), Y)), wanted)), 1e-4f) << t;
    plainDrift = std::max(plainDrift, 1.0f - dotProduct(acrossPart(turn(plain.getRotation(t), Y)), wanted));
  }
  // Without correction the frame twists away on this curve.
  EXPECT_GT(plainDrift, 1e-3f);
}

TEST(PathFollowModifier, RollIsInterpolatedAndTurnsAboutTheTangent) {
  std::unique_ptr<BezierCurve> curve(makeStraightCurve());
  PathFollowModifier modifier(curve.get(), 0);
  modifier.setStartRoll(10);
  modifier.setEndRoll(30);
  modifier.init(10);
  EXPECT_FLOAT_EQ(20.0f, modifier.getRollAngle(0.5f));
  EXPECT_FLOAT_EQ(30.0f, modifier.getRollAngle(2.0f));
  EXPECT_FLOAT_EQ(10.0f, modifier.getRollAngle(-1.0f));
  auto rolled = [](float degrees) {
    const float r = degrees / 180.0f * 3.1415927f;
    return Vector3D(-std::sin(r), std::cos(r), 0);
  };
  for (float t : {0.0f, 0.3f, 0.5f, 1.0f}) {
    EXPECT_TRUE(near(rolled(10 + 20 * t), modifier.getRotation(Z, Y, t) * Y, 1e-5f)) << t;
  }
  // The frame alone carries only the roll change since the start.
  EXPECT_TRUE(near(rolled(20), turn(modifier.getRotation(1.0f), Y), 1e-5f));
  EXPECT_TRUE(near(rolled(30), turn(modifier.getRollRotation(1.0f), Y), 1e-5f));
  EXPECT_TRUE(near(rolled(10), turn(modifier.getRollRotation(0.25f, 0.75f), Y), 1e-5f));
}

TEST(PathFollowModifier, WantedUpVectorsBecomeRolls) {
  std::unique_ptr<BezierCurve> curve(makeStraightCurve());
  {
    PathFollowModifier modifier(curve.get(), 0);
    modifier.setStartUp(Vector3D(1, 1, 0));
    modifier.setEndUp(Vector3D(-2, 2, 0));
    modifier.init(10);
    EXPECT_NEAR(-45.0f, modifier.getRollAngle(0), 1e-3f);
    EXPECT_NEAR(45.0f, modifier.getRollAngle(1), 1e-3f);
    EXPECT_TRUE(near(unit(Vector3D(1, 1, 0)), modifier.getRotation(Z, Y, 0) * Y, 1e-5f));
    EXPECT_TRUE(near(Y, modifier.getRotation(Z, Y, 0.5f) * Y, 1e-5f));
    EXPECT_TRUE(near(unit(Vector3D(-1, 1, 0)), modifier.getRotation(Z, Y, 1) * Y, 1e-5f));
    EXPECT_TRUE(near(unit(Vector3D(-1, 1, 0)), modifier.getUpVector(1), 1e-5f));
    EXPECT_NEAR(-45.0f, modifier.getBankingAngle(Vector3D(1, 1, 0), 0.5f, false), 1e-3f);
  }
  {
    // A set roll is added to the banking of the wanted up.
    PathFollowModifier modifier(curve.get(), 0);
    modifier.setStartRoll(5);
    modifier.setStartUp(Vector3D(1, 1, 0));
    modifier.init(10);
    EXPECT_NEAR(-40.0f, modifier.getRollAngle(0), 1e-3f);
    EXPECT_NEAR(0.0f, modifier.getRollAngle(1), 1e-3f);
  }
  {
    // Without wanted ups the rolls stay as set.
    PathFollowModifier modifier(curve.get(), 1);
    modifier.setStartRoll(-7);
    modifier.setEndRoll(12);
    modifier.init(10);
    EXPECT_FLOAT_EQ(-7.0f, modifier.getRollAngle(0));
    EXPECT_FLOAT_EQ(12.0f, modifier.getRollAngle(1));
  }
  {
    // Banking with and without flip: an up pointing down is half a turn
    // away, or none when flipping is allowed.
    PathFollowModifier modifier(curve.get(), 0);
    modifier.init(10);
    const float lean = std::atan(0.01f) * 180.0f / 3.1415927f;
    EXPECT_NEAR(180.0f - lean, std::fabs(modifier.getBankingAngle(Vector3D(0.01f, -1, 0), 0.5f, false)), 0.01f);
    EXPECT_NEAR(lean, std::fabs(modifier.getBankingAngle(Vector3D(0.01f, -1, 0), 0.5f, true)), 0.01f);
    EXPECT_FLOAT_EQ(0.0f, modifier.getBankingAngle(Z, 0.5f, false));
  }
}

TEST(PathFollowModifier, ModelOrientationHandlesAxisAndUpChoices) {
  std::unique_ptr<BezierCurve> curve(makeCurve());
  PathFollowModifier modifier(curve.get(), 1);
  modifier.init(10);
  for (float t : {0.0f, 0.4f, 1.0f}) {
    const Matrix3D a = modifier.getRotation(Y, Y, t);
    const Matrix3D b = modifier.getRotation(Y, X, t);
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) EXPECT_FLOAT_EQ(b[i][j], a[i][j]);
    // The model's axis is turned onto the path direction, whichever axis.
    for (const Vector3D& axis : {X, Y, Z, -Z, Vector3D(1, 2, 3)}) {
      const Matrix3D m = modifier.getRotation(axis, Y, t);
      EXPECT_TRUE(isRotation(m));
      EXPECT_TRUE(near(unit(curve->getTangentAt(t)), turn(m, unit(axis)), 1e-3f));
    }
  }
  // A zero axis counts as z.
  EXPECT_TRUE(near(turn(modifier.getRotation(Z, 0.5f), Y), turn(modifier.getRotation(Vector3D(), 0.5f), Y), 0.0f));
}

TEST(PathFollowModifier, DirectRotationTurnsOneTangentOntoAnother) {
  std::unique_ptr<BezierCurve> curve(makeCurve());
  PathFollowModifier modifier(curve.get(), 0);
  EXPECT_TRUE(isIdentity(modifier.getDirectRotation(0.3f, 0.3f)));
  const Matrix3D m = modifier.getDirectRotation(0.2f, 0.9f);
  EXPECT_TRUE(isRotation(m));
  EXPECT_TRUE(near(unit(curve->getTangentAt(0.9f)), turn(m, unit(curve->getTangentAt(0.2f))), 1e-5f));

  // Tangents 0.04 degrees apart count as the same direction.
  const float off = std::tan(0.04f / 180.0f * 3.1415927f);
  BezierCurve slight(Vector3D(0, 0, 0), Vector3D(0, 0, 1), Vector3D(0, 0, 2), Vector3D(off, 0, 3), 4);
  EXPECT_TRUE(isIdentity(PathFollowModifier(&slight, 0).getDirectRotation(0, 1)));

  // Opposite tangents: a U-turn, and a path that runs back on itself.
  BezierCurve uTurn(Vector3D(0, 0, 0), Vector3D(0, 0, 10), Vector3D(10, 0, 10), Vector3D(10, 0, 0), 4);
  BezierCurve reverse(Vector3D(0, 0, 0), Vector3D(0, 0, 10), Vector3D(0, 0, 10), Vector3D(0, 0, 0), 4);
  for (BezierCurve* c : {&uTurn, &reverse}) {
    const Matrix3D back = PathFollowModifier(c, 0).getDirectRotation(0, 1);
    EXPECT_TRUE(isRotation(back)) << "a turn, not a mirror";
    EXPECT_TRUE(near(-Z, turn(back, Z), 1e-5f));
  }
}

TEST(PathFollowModifier, UpRotationTurnsAboutTheGivenDirection) {
  std::unique_ptr<BezierCurve> curve(makeStraightCurve());
  PathFollowModifier modifier(curve.get(), 0);
  // x turned about z into the half-plane of y.
  Matrix3D m = modifier.getUpRotation(X, Y, Z, false);
  EXPECT_TRUE(near(Y, turn(m, X), 1e-5f));
  EXPECT_TRUE(near(Z, turn(m, Z), 1e-5f));
  // Opposite: half a turn, or nothing when flipping is allowed.
  EXPECT_TRUE(near(Y, turn(modifier.getUpRotation(-Y, Y, Z, false), -Y), 1e-5f));
  EXPECT_TRUE(isIdentity(modifier.getUpRotation(-Y, Y, Z, true)));
  // Nothing to do when b lies along c, or when a does.
  EXPECT_TRUE(isIdentity(modifier.getUpRotation(X, Z, Z, false)));
  EXPECT_TRUE(isIdentity(modifier.getUpRotation(Z * 3.0f, Y, Z, false)));
}

TEST(PathFollowModifier, DegenerateInputsGiveDefinedResults) {
  std::unique_ptr<BezierCurve> curve(makeCurve());
  std::unique_ptr<Model> original = makeStrip(10.0f, 3);

  // Step counts below 1 sample the path once.
  PathFollowModifier one(curve.get(), 1);
  one.init(1);
  for (int steps : {0, -5}) {
    PathFollowModifier modifier(curve.get(), 1);
    modifier.init(steps);
    for (float t : {0.0f, 0.5f, 1.0f}) {
      const Matrix3D a = modifier.getRotation(Z, t), b = one.getRotation(Z, t);
      EXPECT_TRUE(isRotation(a));
      for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) EXPECT_FLOAT_EQ(b[i][j], a[i][j]);
    }
    Model bent(*original);
    modifier.transformModel(&bent, Z, 0.2f, 0.7f);
    for (const Vector3D& v : bent.vertices) EXPECT_TRUE(finite(v));
  }

  PathFollowModifier modifier(curve.get(), 2);
  modifier.init(10);
  // A model flat across the axis is laid at t0 whole: it keeps its shape
  // and lands where a piece starting at t0 lands.
  Model flat(*original);
  for (Vector3D& v : flat.vertices) v.z = 0.0f;
  Model flatBent(flat);
  modifier.transformModel(&flatBent, Z, 0.3f, 0.8f);
  for (size_t i = 0; i < flat.vertices.size(); ++i) EXPECT_TRUE(near(flat.vertices[i], flatBent.vertices[i], 1e-3f));

  // A zero axis, a model without vertices and no model change nothing.
  Model untouched(*original);
  modifier.transformModel(&untouched, Vector3D(0, 0, 0), 0.0f, 1.0f);
  for (size_t i = 0; i < untouched.vertices.size(); ++i) EXPECT_EQ(original->vertices[i], untouched.vertices[i]);
  Model empty;
  modifier.transformModel(&empty, Z, 0.0f, 1.0f);
  EXPECT_EQ(0u, empty.vertexCount);
  modifier.transformModel(nullptr, Z, 0.0f, 1.0f);

  // Used before init: the start is the only sample, still a rotation.
  PathFollowModifier early(curve.get(), 1);
  EXPECT_TRUE(isRotation(early.getRotation(0.7f)));
  EXPECT_TRUE(near(unit(curve->getTangentAt(0.7f)), turn(early.getRotation(Z, 0.7f), Z), 1e-3f));
}

TEST(PathFollowModifier, PathWithoutStartDirectionStaysRigid) {
  // P0 = P1: no tangent at the very start.
  BezierCurve curve(Vector3D(0, 0, 0), Vector3D(0, 0, 0), Vector3D(0, 0, 20), Vector3D(20, 0, 30), 8);
  ASSERT_EQ(Vector3D(0, 0, 0), curve.getTangentAt(0));
  PathFollowModifier modifier(&curve, 1);
  modifier.setStartRoll(30);
  modifier.setEndRoll(-30);
  modifier.setStartUp(Vector3D(1, 1, 0));
  modifier.init(10);
  EXPECT_TRUE(std::isfinite(modifier.getRollAngle(0)));
  EXPECT_TRUE(isRotation(modifier.getRollRotation(0.0f)));
  EXPECT_TRUE(isRotation(modifier.getDirectRotation(0.0f, 0.5f)));
  EXPECT_FLOAT_EQ(0.0f, modifier.getBankingAngle(Y, 0.0f, false));
  for (float t : {0.0f, 0.01f, 0.5f, 1.0f}) EXPECT_TRUE(isRotation(modifier.getRotation(Z, t))) << t;

  std::unique_ptr<Model> original = makeStrip(10.0f, 4);
  Model bent(*original);
  modifier.transformModel(&bent, Z, 0.0f, 1.0f);
  for (int r = 0; r < 4; ++r) {
    EXPECT_NEAR(4.0f, (bent.vertices[r * 4 + 1] - bent.vertices[r * 4]).length(), 1e-3f) << "ring " << r;
  }
}
