// Static queries: spheres against spheres and meshes, rays against meshes,
// the two ray/triangle tests and point classification.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "ddd/collision.h"
#include "test_geometry.h"
#include "vectorchecks.h"

using namespace korvu;
using namespace korvu::ddd;
using korvu_test::makeGrid;
using korvu_test::makeModel;
using korvu_test::expectVec;
using korvu_test::prepared;

namespace {

// A sphere collideable with a place of its own.
struct Ball {
  Vector3D position;
  Matrix3D rotation;
  Matrix3D inverse;
  std::unique_ptr<Collideable> c;
  Ball(const Vector3D& at, float radius, int type = COLLIDEABLE_SPHERE) : position(at) {
    BoundingSphere s(Vector3D(), radius);
    c.reset(new Collideable(&s, &position, &rotation, &inverse, type));
  }
};

// A mesh collideable standing at the origin.
struct Solid {
  std::unique_ptr<CollisionModel> model;
  std::unique_ptr<Collideable> c;
  explicit Solid(const Model& m) : model(prepared(m)), c(new Collideable(model.get(), false, COLLIDEABLE_MESH)) {}
};

// One triangle in the plane y = 0 facing up, corners (0,0,0), (0,0,4), (4,0,0).
std::unique_ptr<Model> floorTriangle() {
  return makeModel({{0, 0, 0}, {0, 0, 4}, {4, 0, 0}}, {{0, 1, 2}});
}

}  // namespace

TEST(SphereQueries, SpheresMustOverlapNotJustTouch) {
  Ball a(Vector3D(0, 0, 0), 1.0f);
  Ball b(Vector3D(3, 0, 0), 2.0f);
  EXPECT_FALSE(testSphereIntersection(a.c.get(), b.c.get()));
  EXPECT_FALSE(testIntersection(a.c.get(), b.c.get()));
  b.position.x = 2.999f;
  EXPECT_TRUE(testSphereIntersection(a.c.get(), b.c.get()));
  EXPECT_TRUE(testIntersection(a.c.get(), b.c.get()));
  // The record form of two spheres is not answered.
  EXPECT_EQ(getIntersection(a.c.get(), b.c.get()), nullptr);
  // Without a sphere, or of type none, nothing touches.
  Vector3D p;
  Collideable bare(static_cast<const BoundingSphere*>(nullptr), &p, nullptr, nullptr, COLLIDEABLE_SPHERE);
  EXPECT_FALSE(testSphereIntersection(a.c.get(), &bare));
  Ball none(Vector3D(0, 0, 0), 5.0f, COLLIDEABLE_NONE);
  EXPECT_FALSE(testIntersection(a.c.get(), none.c.get()));
  EXPECT_EQ(getIntersection(none.c.get(), a.c.get()), nullptr);
}

TEST(SphereQueries, CollideableKeepsItsPlaceByPointer) {
  auto model = prepared(*floorTriangle());
  Collideable own(model.get(), false, COLLIDEABLE_MESH);
  ASSERT_NE(own.position, nullptr);
  EXPECT_EQ(*own.position, Vector3D(0, 0, 0));
  EXPECT_EQ(own.rotation->m[0][0], 1.0f);
  EXPECT_EQ(own.inverseRotation->m[2][2], 1.0f);
  EXPECT_FLOAT_EQ(own.sphere->radius, 4.0f);
  EXPECT_EQ(own.sphere->center, Vector3D(0, 0, 0));

  Ball ball(Vector3D(1, 0, 1), 2.0f);
  EXPECT_EQ(ball.c->model, nullptr);
  EXPECT_EQ(ball.c->type, COLLIDEABLE_SPHERE);
  ball.position = Vector3D(100, 0, 0);
  EXPECT_EQ(ball.c->worldCenter(), Vector3D(100, 0, 0));
  EXPECT_FALSE(testIntersection(ball.c.get(), &own));
}

TEST(SphereQueries, FaceAndEdgeContactsOnAFloor) {
  Solid floor(*makeGrid(10.0f, 0.0f, 2));
  // Above the inside of one triangle: exactly one face contact.
  Ball ball(Vector3D(1, 0.5f, 1.3f), 1.0f);
  std::unique_ptr<Intersection> hit(getSphereMeshIntersection(ball.c.get(), floor.c.get(), false, false));
  ASSERT_NE(hit, nullptr);
  ASSERT_EQ(hit->surfacesA.size(), 1u);
  ASSERT_EQ(hit->surfacesB.size(), 1u);
  EXPECT_FLOAT_EQ(hit->surfacesA[0]->distance, 0.5f);
  expectVec(hit->surfacesA[0]->vector, 0, -1, 0);
  const int face = hit->surfacesB[0]->face;
  EXPECT_EQ(hit->surfacesB[0]->edge, -1);
  EXPECT_EQ(hit->surfacesB[0]->vertex, -1);
  EXPECT_EQ(hit->a, ball.c.get());
  EXPECT_EQ(hit->b, floor.c.get());
  EXPECT_TRUE(testSphereMeshIntersection(ball.c.get(), floor.c.get(), false, false));

  // Near the line x = 0: a face contact on one side and an edge contact
  // from the face across the line, measured to the edge's nearest point.
  ball.position = Vector3D(0.3f, 0.5f, 5.0f);
  hit.reset(getSphereMeshIntersection(ball.c.get(), floor.c.get(), false, false));
  ASSERT_NE(hit, nullptr);
  ASSERT_EQ(hit->surfacesA.size(), 2u);
  int faces = 0, edges = 0;
  for (std::size_t i = 0; i < 2; ++i) {
    const SurfaceIntersection& a = *hit->surfacesA[i];
    const SurfaceIntersection& b = *hit->surfacesB[i];
    ASSERT_GE(b.face, 0);
    if (b.edge < 0) {
      ++faces;
      EXPECT_FLOAT_EQ(a.distance, 0.5f);
    } else {
      ++edges;
      EXPECT_NEAR(a.distance, std::sqrt(0.34f), 1e-6f);
      expectVec(a.vector, -0.3f, -0.5f, 0.0f);
      const Edge& e = *floor.model->edges[static_cast<std::size_t>(b.edge)];
      EXPECT_EQ(floor.model->vertices[static_cast<std::size_t>(e.vertex0)].x, 0.0f);
      EXPECT_EQ(floor.model->vertices[static_cast<std::size_t>(e.vertex1)].x, 0.0f);
      // Both faces on the edge may name it; this one is the far side.
      EXPECT_TRUE(e.face1 == b.face || e.face2 == b.face);
    }
  }
  EXPECT_EQ(faces, 1);
  EXPECT_EQ(edges, 1);
  // Faces only: the edge contact goes.
  hit.reset(getSphereMeshIntersection(ball.c.get(), floor.c.get(), false, true));
  ASSERT_NE(hit, nullptr);
  EXPECT_EQ(hit->surfacesA.size(), 1u);
  (void)face;
}

TEST(SphereQueries, RangeAndBoundaryCases) {
  Solid tri(*floorTriangle());
  // The centre at exactly the radius above the plane: a contact.
  Ball ball(Vector3D(1, 1, 1), 1.0f);
  std::unique_ptr<Intersection> hit(getSphereMeshIntersection(ball.c.get(), tri.c.get(), false, false));
  ASSERT_NE(hit, nullptr);
  EXPECT_FLOAT_EQ(hit->surfacesA[0]->distance, 1.0f);
  // Below the face: a negative distance, and nothing when one-sided.
  ball.position.y = -0.5f;
  hit.reset(getSphereMeshIntersection(ball.c.get(), tri.c.get(), false, false));
  ASSERT_NE(hit, nullptr);
  EXPECT_FLOAT_EQ(hit->surfacesA[0]->distance, -0.5f);
  EXPECT_EQ(getSphereMeshIntersection(ball.c.get(), tri.c.get(), true, false), nullptr);
  EXPECT_FALSE(testSphereMeshIntersection(ball.c.get(), tri.c.get(), true, false));
  // The centre in the plane touches only two-sided.
  ball.position.y = 0.0f;
  hit.reset(getSphereMeshIntersection(ball.c.get(), tri.c.get(), false, false));
  EXPECT_NE(hit, nullptr);
  EXPECT_EQ(getSphereMeshIntersection(ball.c.get(), tri.c.get(), true, false), nullptr);
  // A foot exactly on a side counts as inside.
  ball.position = Vector3D(2, 0.5f, 2);
  hit.reset(getSphereMeshIntersection(ball.c.get(), tri.c.get(), false, false));
  ASSERT_NE(hit, nullptr);
  EXPECT_EQ(hit->surfacesB[0]->edge, -1);

  // An edge at exactly the radius is no contact; a hair closer is.
  Ball wide(Vector3D(-3, 4, 1), 5.0f);
  EXPECT_EQ(getSphereMeshIntersection(wide.c.get(), tri.c.get(), false, false), nullptr);
  EXPECT_FALSE(testSphereMeshIntersection(wide.c.get(), tri.c.get(), false, false));
  wide.position.x = -2.999f;
  hit.reset(getSphereMeshIntersection(wide.c.get(), tri.c.get(), false, false));
  ASSERT_NE(hit, nullptr);
  EXPECT_EQ(hit->surfacesB[0]->edge, static_cast<const CollisionFace*>(tri.model->faces[0])->edges[0]);
  EXPECT_TRUE(testSphereMeshIntersection(wide.c.get(), tri.c.get(), false, false));
  // But only edge contacts: faces only gives nothing.
  EXPECT_FALSE(testSphereMeshIntersection(wide.c.get(), tri.c.get(), false, true));
}

TEST(SphereQueries, MeshFirstIsAnsweredWithTheSphereFirst) {
  Solid tri(*floorTriangle());
  Ball ball(Vector3D(1, 0.5f, 1), 1.0f);
  std::unique_ptr<Intersection> hit(getIntersection(tri.c.get(), ball.c.get()));
  ASSERT_NE(hit, nullptr);
  EXPECT_EQ(hit->a, ball.c.get());
  EXPECT_EQ(hit->b, tri.c.get());
  EXPECT_TRUE(testIntersection(tri.c.get(), ball.c.get()));
  // Two meshes are not answered by the static queries.
  EXPECT_FALSE(testIntersection(tri.c.get(), tri.c.get()));
  EXPECT_EQ(getIntersection(tri.c.get(), tri.c.get()), nullptr);
}

TEST(SphereQueries, DegenerateTriangleTouchesNothing) {
  // A sliver with collinear corners next to a real triangle far away; the
  // sphere is near the sliver's line but clear of it.
  auto model = makeModel({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {-5, 0, 0}, {-5, 0, 1}, {-4, 0, 0}},
                         {{0, 1, 2}, {3, 4, 5}});
  Solid solid(*model);
  ASSERT_EQ(solid.model->faceNormals[0], Vector3D(0, 0, 0));
  Ball ball(Vector3D(1, 1.5f, 0), 1.0f);
  ASSERT_TRUE(testSphereIntersection(ball.c.get(), solid.c.get()));
  EXPECT_EQ(getSphereMeshIntersection(ball.c.get(), solid.c.get(), false, false), nullptr);
  EXPECT_FALSE(testSphereMeshIntersection(ball.c.get(), solid.c.get(), false, false));
  // The real triangle still answers.
  ball.position = Vector3D(-4.8f, 0.5f, 0.2f);
  std::unique_ptr<Intersection> hit(getSphereMeshIntersection(ball.c.get(), solid.c.get(), false, false));
  ASSERT_NE(hit, nullptr);
  EXPECT_EQ(hit->surfacesB[0]->face, 1);
}

TEST(SphereQueries, TurnedAndMovedMeshAnswersInWorldOrientation) {
  auto model = prepared(*makeGrid(5.0f, 0.0f, 1));
  Vector3D position(10, 0, 0);
  Matrix3D rotation;
  rotation.setRotate(90.0f, Vector3D(0, 0, 1));  // the floor's up becomes -x
  Matrix3D inverse = rotation.inverse(rotation.determinant());
  Collideable wall(model.get(), &position, &rotation, &inverse, false, COLLIDEABLE_MESH);
  Ball ball(Vector3D(9.25f, 1.0f, 0.5f), 1.0f);
  std::unique_ptr<Intersection> hit(getIntersection(ball.c.get(), &wall));
  ASSERT_NE(hit, nullptr);
  ASSERT_EQ(hit->surfacesA.size(), 1u);
  EXPECT_NEAR(hit->surfacesA[0]->distance, 0.75f, 1e-5f);
  expectVec(hit->surfacesA[0]->vector, 1, 0, 0);
  // Moving the owner's position moves the collideable.
  position.x = 20.0f;
  EXPECT_EQ(getIntersection(ball.c.get(), &wall), nullptr);
}

TEST(SphereQueries, UnpreparedModelsAnswerNothing) {
  std::unique_ptr<Model> m = floorTriangle();
  CollisionModel raw(*m, false);
  Collideable c(&raw, false, COLLIDEABLE_MESH);
  Ball ball(Vector3D(1, 0.5f, 1), 1.0f);
  EXPECT_EQ(getSphereMeshIntersection(ball.c.get(), &c, false, false), nullptr);
  EXPECT_FALSE(testSphereMeshIntersection(ball.c.get(), &c, false, false));
  raw.prepare();
  EXPECT_TRUE(testSphereMeshIntersection(ball.c.get(), &c, false, false));
}

TEST(RayQueries, EveryCrossedFaceInFaceOrder) {
  Solid box(*korvu_test::makeBox(Vector3D(-1, -1, -1), Vector3D(1, 1, 1)));
  const Vector3D down(0, -2, 0);
  std::unique_ptr<Intersection> hit(getRayMeshIntersection(Vector3D(0.3f, 5, 0.6f), down, box.c.get()));
  ASSERT_NE(hit, nullptr);
  EXPECT_EQ(hit->a, nullptr);
  EXPECT_EQ(hit->b, box.c.get());
  ASSERT_EQ(hit->surfacesA.size(), 2u);
  // The top (faces 4, 5) comes before the bottom (6, 7); t is in lengths of
  // the direction.
  EXPECT_LT(hit->surfacesB[0]->face, hit->surfacesB[1]->face);
  EXPECT_GE(hit->surfacesB[0]->face, 4);
  EXPECT_LE(hit->surfacesB[1]->face, 7);
  EXPECT_FLOAT_EQ(hit->surfacesA[0]->distance, 2.0f);
  EXPECT_FLOAT_EQ(hit->surfacesA[1]->distance, 3.0f);
  EXPECT_EQ(hit->surfacesA[0]->vector, down);

  // From inside, the face behind the origin is reported with a negative t.
  hit.reset(getRayMeshIntersection(Vector3D(0.3f, 0, 0.6f), Vector3D(0, -1, 0), box.c.get()));
  ASSERT_NE(hit, nullptr);
  ASSERT_EQ(hit->surfacesA.size(), 2u);
  EXPECT_FLOAT_EQ(hit->surfacesA[0]->distance, -1.0f);
  EXPECT_FLOAT_EQ(hit->surfacesA[1]->distance, 1.0f);

  // Missing the box, along a side's plane, or without a model: none.
  EXPECT_EQ(getRayMeshIntersection(Vector3D(3, 5, 0), down, box.c.get()), nullptr);
  Solid floor(*makeGrid(5.0f, 0.0f, 1));
  EXPECT_EQ(getRayMeshIntersection(Vector3D(-10, 0, 0.5f), Vector3D(1, 0, 0), floor.c.get()), nullptr);
  EXPECT_EQ(getRayMeshIntersection(Vector3D(0, 1, 0), down, nullptr), nullptr);
  Ball ball(Vector3D(), 1.0f);
  EXPECT_EQ(getRayMeshIntersection(Vector3D(0, 1, 0), down, ball.c.get()), nullptr);
}

TEST(RayQueries, TriangleTests) {
  const Vector3D v0(0, 0, 0), v1(0, 0, 4), v2(4, 0, 0);  // faces up
  float t = 0, u = 0, v = 0;
  EXPECT_TRUE(intersectFace(Vector3D(1, 2, 1), Vector3D(0, -1, 0), v0, v1, v2, t, u, v, false, false));
  EXPECT_FLOAT_EQ(t, 2.0f);
  EXPECT_FLOAT_EQ(u, 0.25f);
  EXPECT_FLOAT_EQ(v, 0.25f);
  // Seen from below it is culled; without bounds a miss still answers.
  EXPECT_FALSE(intersectFace(Vector3D(1, -2, 1), Vector3D(0, 1, 0), v0, v1, v2, t, u, v, false, true));
  EXPECT_TRUE(intersectFace(Vector3D(1, 2, 1), Vector3D(0, -1, 0), v0, v1, v2, t, u, v, false, true));
  EXPECT_FLOAT_EQ(u, 0.25f);
  EXPECT_FALSE(intersectFace(Vector3D(5, 2, 5), Vector3D(0, -1, 0), v0, v1, v2, t, u, v, false, false));
  EXPECT_TRUE(intersectFace(Vector3D(5, 2, 5), Vector3D(0, -1, 0), v0, v1, v2, t, u, v, true, false));
  EXPECT_FLOAT_EQ(u + v, 2.5f);
  // Parallel to the plane.
  EXPECT_FALSE(intersectFace(Vector3D(1, 2, 1), Vector3D(1, 0, 0), v0, v1, v2, t, u, v, false, false));

  // The nine-point form with known normals.
  auto model = prepared(*makeModel({v0, v1, v2}, {{0, 1, 2}}));
  const CollisionFace& f = *static_cast<const CollisionFace*>(model->faces[0]);
  const Vector3D& n = model->faceNormals[0];
  Vector3D point;
  EXPECT_TRUE(intersectFace(Vector3D(1, 2, 1), Vector3D(0, -1, 0), v0, v1, v2, f.edgeNormals[0],
                            f.edgeNormals[1], f.edgeNormals[2], n, t, point, false, false, 5.0f));
  EXPECT_FLOAT_EQ(t, 2.0f);
  EXPECT_EQ(point, Vector3D(1, 0, 1));
  // Too far for maxDist, behind the origin, or seen from behind with culling.
  EXPECT_FALSE(intersectFace(Vector3D(1, 2, 1), Vector3D(0, -1, 0), v0, v1, v2, f.edgeNormals[0],
                             f.edgeNormals[1], f.edgeNormals[2], n, t, point, false, false, 1.5f));
  EXPECT_FALSE(intersectFace(Vector3D(1, 2, 1), Vector3D(0, 1, 0), v0, v1, v2, f.edgeNormals[0],
                             f.edgeNormals[1], f.edgeNormals[2], n, t, point, false, false, 5.0f));
  EXPECT_TRUE(intersectFace(Vector3D(1, 2, 1), Vector3D(0, 1, 0), v0, v1, v2, f.edgeNormals[0],
                            f.edgeNormals[1], f.edgeNormals[2], n, t, point, false, false, -1.0f));
  EXPECT_FLOAT_EQ(t, -2.0f);
  EXPECT_FALSE(intersectFace(Vector3D(1, -2, 1), Vector3D(0, 1, 0), v0, v1, v2, f.edgeNormals[0],
                             f.edgeNormals[1], f.edgeNormals[2], n, t, point, false, true, 5.0f));
  EXPECT_TRUE(intersectFace(Vector3D(1, -2, 1), Vector3D(0, 1, 0), v0, v1, v2, f.edgeNormals[0],
                            f.edgeNormals[1], f.edgeNormals[2], n, t, point, false, false, 5.0f));
  // A point on a side counts as inside.
  EXPECT_TRUE(intersectFace(Vector3D(2, 2, 2), Vector3D(0, -1, 0), v0, v1, v2, f.edgeNormals[0],
                            f.edgeNormals[1], f.edgeNormals[2], n, t, point, false, false, 5.0f));
}

TEST(SphereQueries, ListForms) {
  Solid tri(*floorTriangle());
  Ball near(Vector3D(1, 0.5f, 1), 1.0f);
  Ball far(Vector3D(100, 0, 0), 1.0f);
  Ball touching(Vector3D(1, 0.5f, 1.5f), 1.0f);
  std::list<Collideable*> others = {tri.c.get(), far.c.get(), touching.c.get()};
  std::unique_ptr<std::list<bool>> tests(testIntersections(near.c.get(), others));
  EXPECT_EQ(*tests, (std::list<bool>{true, false, true}));
  std::unique_ptr<std::list<Intersection*>> found(getIntersections(near.c.get(), others));
  // The sphere pair is never answered with a record.
  ASSERT_EQ(found->size(), 1u);
  EXPECT_EQ(found->front()->b, tri.c.get());
  delete found->front();
  std::list<Collideable*> strangers = {far.c.get()};
  found.reset(getIntersections(near.c.get(), strangers));
  ASSERT_NE(found, nullptr);
  EXPECT_TRUE(found->empty());
}
