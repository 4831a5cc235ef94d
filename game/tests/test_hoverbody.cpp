// The hover body: its shape from the race vehicle's jets, falling and
// pushed points, the step's rotation, and that it stays rigid.
#include <cmath>
#include <cstdlib>

#include <gtest/gtest.h>

#include "physic/triangle3d.h"
#include "vectorchecks.h"

using glimro::physic::Triangle3D;
using korvu::Matrix3D;
using korvu::Vector3D;
using korvu_test::expectMatrixNear;
using korvu_test::expectVec;

namespace {

Triangle3D raceBody() { return Triangle3D(Vector3D(0, -2.6f, 19), Vector3D(10.5f, -2.6f, -16.5f), Vector3D(-10.5f, -2.6f, -16.5f), 6.0f); }

const Vector3D ZERO(0, 0, 0);

void expectRigid(const Triangle3D& t, float tol) {
  EXPECT_NEAR((t.pointA - t.cog).length(), t.frontDist, tol);
  EXPECT_NEAR(((t.pointB + t.pointC) * 0.5f - t.cog).length(), t.rearDist, tol);
  EXPECT_NEAR((t.pointC - t.pointB).length(), 2 * t.halfWidth, tol);
  // The rear middle lies on the far side of the centre from A.
  EXPECT_LT(korvu::dotProduct(t.pointA - t.cog, (t.pointB + t.pointC) * 0.5f - t.cog), 0.0f);
}

}  // namespace

TEST(HoverBody, ShapeOfTheRaceVehiclesJets) {
  Triangle3D t = raceBody();
  expectVec(t.cog, 0, -2.6f, -14.0f / 3, 1e-4f);
  EXPECT_NEAR(t.frontDist, 71.0f / 3, 1e-4f);
  EXPECT_NEAR(t.rearDist, 35.5f / 3, 1e-4f);
  EXPECT_FLOAT_EQ(t.halfWidth, 10.5f);
  EXPECT_FLOAT_EQ(t.hoverHeight, 6.0f);
  expectVec(t.normal, 0, -1, 0);
  expectVec(t.getdir(), 0, 0, 1);
  expectMatrixNear(t.getRot(), Matrix3D(), 0);
  expectMatrixNear(t.invRot, Matrix3D(), 0);
  // The centre is the centroid whatever plane the triangle stands in,
  // and the mean of the points when they are on one line.
  const Vector3D tilted[3] = {{1, 2, 3}, {-4, 7, 1}, {2, -3, 9}};
  expectVec(t.getCenterOfGravity(tilted[0], tilted[1], tilted[2]), -1.0f / 3, 2, 13.0f / 3, 1e-4f);
  expectVec(t.getCenterOfGravity({0, 5, 0}, {0, 0, 5}, {5, 0, 0}), 5.0f / 3, 5.0f / 3, 5.0f / 3, 1e-4f);
  expectVec(t.getCenterOfGravity({0, 0, 0}, {1, 1, 1}, {3, 3, 3}), 4.0f / 3, 4.0f / 3, 4.0f / 3, 1e-5f);
  expectVec(t.getCenterOfGravity({2, 2, 2}, {2, 2, 2}, {2, 2, 2}), 2, 2, 2);
}

TEST(HoverBody, UntouchedJetsFallAndTouchedOnesArePushed) {
  Triangle3D t = raceBody();
  const Vector3D a = t.pointA, b = t.pointB, c = t.pointC, g = t.cog;
  t.setBalance(&ZERO, &ZERO, &ZERO, 20);
  const Vector3D drop(0, -0.3924f, 0);
  expectVec(t.pointA, a.x, a.y + drop.y, a.z, 1e-4f);
  expectVec(t.pointB, b.x, b.y + drop.y, b.z, 1e-4f);
  expectVec(t.pointC, c.x, c.y + drop.y, c.z, 1e-4f);
  expectVec(t.cog, g.x, g.y + drop.y, g.z, 1e-4f);
  expectMatrixNear(t.rot, Matrix3D(), 0);
  expectMatrixNear(t.invRot, Matrix3D(), 0);
  expectVec(t.dir, 0, -1.962f, 0, 1e-4f);

  // Only A untouched: A falls, B and C are lifted by their own impulses
  // (-10 x force per second), however small a force is.
  Triangle3D u = raceBody();
  const Vector3D up(0, -1, 0), tiny(0, 0, 1e-30f);
  u.setBalance(&ZERO, &up, &up, 100);
  // A moves -1.962, B and C +1 each: the centre rises by 0.0127/3 ...
  EXPECT_NEAR(u.cog.y, -2.6f + (-1.962f + 1.0f + 1.0f) / 3, 1e-4f);
  EXPECT_GT(u.dir.y, 0.0f);  // ... and an upward move is not scaled
  EXPECT_NEAR(u.dir.y, (-1.962f + 2.0f) / 3, 1e-4f);
  // The nose went down relative to the tail: the plane turned about x.
  EXPECT_LT(u.pointA.y, u.pointB.y);
  Vector3D turned = u.rot * Vector3D(0, -1, 0);
  expectVec(turned, u.normal.x, u.normal.y, u.normal.z, 1e-5f);
  expectMatrixNear(u.invRot * u.rot, Matrix3D(), 1e-5f);

  Triangle3D w = raceBody();
  w.setBalance(&tiny, &tiny, &tiny, 20);  // contact everywhere, nothing moves
  expectVec(w.cog, g.x, g.y, g.z, 1e-5f);
  expectVec(w.dir, 0, 0, 0);  // d.y == 0 counts as downwards: 5 x 0
}

TEST(HoverBody, StaysRigidUnderRandomForces) {
  std::srand(7);
  auto rnd = [](float range) { return (static_cast<float>(std::rand()) / static_cast<float>(RAND_MAX) * 2 - 1) * range; };
  Triangle3D t = raceBody();
  for (int step = 0; step < 2000; ++step) {
    Vector3D f[3];
    for (Vector3D& v : f) v = (std::rand() % 5 == 0) ? ZERO : Vector3D(rnd(3), rnd(6), rnd(3));
    t.setBalance(&f[0], &f[1], &f[2], 5 + rnd(4));
    SCOPED_TRACE(step);
    expectRigid(t, 2e-3f * (1 + std::fabs(t.cog.y) / 100));
    EXPECT_NEAR(t.normal.length(), 1.0f, 1e-4f);
    expectMatrixNear(t.invRot * t.rot, Matrix3D(), 1e-4f);
    if (::testing::Test::HasFailure()) break;
  }
}

TEST(HoverBody, APointPushedOntoTheOthersDoesNotCollapseTheBody) {
  Triangle3D t = raceBody();
  // Pushes A exactly onto the middle of B and C within one step: the pushed
  // points lie on one line.
  const Vector3D pushA(0, 0, 35.5f);  // moves A by -35.5 in z
  const Vector3D still(0, 0, 1e-30f);
  const Vector3D before = t.normal;
  t.setBalance(&pushA, &still, &still, 100);
  expectRigid(t, 1e-3f);
  expectVec(t.normal, before.x, before.y, before.z);
  for (const Vector3D* p : {&t.pointA, &t.pointB, &t.pointC, &t.cog}) EXPECT_TRUE(std::isfinite(p->x + p->y + p->z));
  t.setBalance(&ZERO, &ZERO, &ZERO, 20);
  expectRigid(t, 1e-3f);
}
