// Swept queries: a mesh moving in a straight line against a still one,
// moving spheres, the type dispatch and the list forms.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "ddd/collision.h"
#include "test_geometry.h"

using namespace korvu;
using namespace korvu::ddd;
using korvu_test::makeBox;
using korvu_test::makeGrid;
using korvu_test::makeModel;
using korvu_test::prepared;
using korvu_test::Triangle;

namespace {

// A mesh collideable with a place of its own that the test moves.
struct Body {
  std::unique_ptr<CollisionModel> model;
  Vector3D position;
  Matrix3D rotation;
  Matrix3D inverse;
  std::unique_ptr<Collideable> c;
  Body(const Model& m, const Vector3D& at) : model(prepared(m)), position(at) {
    c.reset(new Collideable(model.get(), &position, &rotation, &inverse, false, COLLIDEABLE_MESH));
  }
  void turn(float degrees, const Vector3D& axis) {
    rotation.setRotate(degrees, axis);
    inverse = rotation.inverse(rotation.determinant());
  }
  int vertexAt(const Vector3D& local) const {
    for (uint32_t i = 0; i < model->vertexCount; ++i) {
      if (model->vertices[i] == local) return static_cast<int>(i);
    }
    return -1;
  }
  int edgeBetween(const Vector3D& p, const Vector3D& q) const {
    int a = vertexAt(p), b = vertexAt(q);
    for (uint32_t e = 0; e < model->edgeCount; ++e) {
      const Edge& edge = *model->edges[e];
      if ((edge.vertex0 == a && edge.vertex1 == b) || (edge.vertex0 == b && edge.vertex1 == a)) {
        return static_cast<int>(e);
      }
    }
    return -1;
  }
};

// A convex solid from its corners, each triangle wound to face outwards.
std::unique_ptr<Model> convex(const std::vector<Vector3D>& v, std::vector<Triangle> t) {
  Vector3D centre;
  for (const Vector3D& p : v) centre += p;
  centre = centre / static_cast<float>(v.size());
  for (Triangle& tri : t) {
    Vector3D n = crossProduct(v[tri[1]] - v[tri[0]], v[tri[2]] - v[tri[0]]);
    Vector3D middle = (v[tri[0]] + v[tri[1]] + v[tri[2]]) / 3.0f;
    if (dotProduct(n, middle - centre) < 0.0f) std::swap(tri[1], tri[2]);
  }
  return makeModel(v, t);
}

const std::vector<Triangle> TETRAHEDRON = {{0, 1, 2}, {0, 1, 3}, {0, 2, 3}, {1, 2, 3}};

std::unique_ptr<Model> unitBox() { return makeBox(Vector3D(-0.5f, -0.5f, -0.5f), Vector3D(0.5f, 0.5f, 0.5f)); }

// Exactly one feature on each side of a swept contact.
void expectOneFeatureEach(const Collision& c) {
  auto count = [](const SurfaceIntersection& s) {
    return (s.face >= 0 ? 1 : 0) + (s.edge >= 0 ? 1 : 0) + (s.vertex >= 0 ? 1 : 0);
  };
  EXPECT_EQ(count(c.surfaceA), 1);
  EXPECT_EQ(count(c.surfaceB), 1);
}

}  // namespace

TEST(MeshSweep, BoxFallingOntoAFloorStopsExactlyAtContact) {
  Body floor(*makeGrid(10.0f, 0.0f, 2), Vector3D(0, 0, 0));
  Body box(*unitBox(), Vector3D(3.25f, 2.0f, 2.5f));
  std::unique_ptr<Collision> hit(getMeshCollision(box.c.get(), floor.c.get(), Vector3D(3.25f, -1.0f, 2.5f)));
  ASSERT_NE(hit, nullptr);
  EXPECT_EQ(hit->position, Vector3D(3.25f, 0.5f, 2.5f));
  EXPECT_EQ(hit->positionB, Vector3D(0, 0, 0));
  EXPECT_EQ(hit->a, box.c.get());
  EXPECT_EQ(hit->b, floor.c.get());
  expectOneFeatureEach(*hit);
  // Vertices, edges and faces all touch at once: a vertex of the box on a
  // face of the floor wins the tie.
  ASSERT_GE(hit->surfaceA.vertex, 0);
  EXPECT_EQ(box.model->vertices[static_cast<std::size_t>(hit->surfaceA.vertex)].y, -0.5f);
  ASSERT_GE(hit->surfaceB.face, 0);
  EXPECT_EQ(floor.model->faceNormals[static_cast<std::size_t>(hit->surfaceB.face)], Vector3D(0, 1, 0));

  // A move that ends exactly at contact is free.
  EXPECT_EQ(getMeshCollision(box.c.get(), floor.c.get(), Vector3D(3.25f, 0.5f, 2.5f)), nullptr);
  // A move that starts in contact reports nothing (only distances above 0
  // count): neither sinking by less than the box's height (its top would
  // be the next thing to meet the floor) nor sliding along it.
  box.position.y = 0.5f;
  EXPECT_EQ(getMeshCollision(box.c.get(), floor.c.get(), Vector3D(3.25f, 0.0f, 2.5f)), nullptr);
  EXPECT_EQ(getMeshCollision(box.c.get(), floor.c.get(), Vector3D(5.25f, 0.5f, 3.5f)), nullptr);
  hit.reset(getMeshCollision(box.c.get(), floor.c.get(), Vector3D(3.25f, -1.0f, 2.5f)));
  ASSERT_NE(hit, nullptr);
  EXPECT_EQ(hit->position, Vector3D(3.25f, -0.5f, 2.5f));
  EXPECT_EQ(box.model->vertices[static_cast<std::size_t>(hit->surfaceA.vertex)].y, 0.5f);
  // Neither does a move that stays put, even inside the floor.
  box.position.y = 0.0f;
  EXPECT_EQ(getMeshCollision(box.c.get(), floor.c.get(), Vector3D(3.25f, 0.0f, 2.5f)), nullptr);
  // A sideways move far above the floor never comes near it.
  box.position = Vector3D(0, 30, 0);
  EXPECT_EQ(getMeshCollision(box.c.get(), floor.c.get(), Vector3D(5, 30, 0)), nullptr);
}

TEST(MeshSweep, SlantedMoveAndTurnedMover) {
  Body floor(*makeGrid(10.0f, 0.0f, 2), Vector3D(0, 0, 0));
  Body box(*unitBox(), Vector3D(1.5f, 1.5f, 1.25f));
  // Down and sideways: contact after a third of the way.
  std::unique_ptr<Collision> hit(getMeshCollision(box.c.get(), floor.c.get(), Vector3D(4.5f, -1.5f, 1.25f)));
  ASSERT_NE(hit, nullptr);
  EXPECT_NEAR(hit->position.x, 2.5f, 1e-5f);
  EXPECT_NEAR(hit->position.y, 0.5f, 1e-5f);
  EXPECT_EQ(hit->position.z, 1.25f);

  // Turned 45 degrees about z the box stands on an edge whose end points
  // touch first, half a diagonal below its centre.
  box.position = Vector3D(3.25f, 2.0f, 2.5f);
  box.turn(45.0f, Vector3D(0, 0, 1));
  hit.reset(getMeshCollision(box.c.get(), floor.c.get(), Vector3D(3.25f, -1.0f, 2.5f)));
  ASSERT_NE(hit, nullptr);
  EXPECT_NEAR(hit->position.y, std::sqrt(0.5f), 1e-5f);
  ASSERT_GE(hit->surfaceA.vertex, 0);
  Vector3D corner = box.model->vertices[static_cast<std::size_t>(hit->surfaceA.vertex)];
  Vector3D turned = box.rotation * corner;
  EXPECT_NEAR(turned.y, -std::sqrt(0.5f), 1e-5f);
}

TEST(MeshSweep, FacesFacingAlongTheMoveAreNotHit) {
  // Rising from below, the box meets only the back of the floor.
  Body floor(*makeGrid(10.0f, 0.0f, 2), Vector3D(0, 0, 0));
  Body box(*unitBox(), Vector3D(3.25f, -2.0f, 2.5f));
  EXPECT_EQ(getMeshCollision(box.c.get(), floor.c.get(), Vector3D(3.25f, 2.0f, 2.5f)), nullptr);
}

TEST(MeshSweep, CrossedEdgesMeetEdgeToEdge) {
  // A wedge whose lowest feature is an edge along x falls onto a ridge
  // whose highest feature is an edge along z.
  const std::vector<Vector3D> wedge = {{-1, 0, 0}, {1, 0, 0}, {0, 1, -1}, {0, 1, 1}};
  const std::vector<Vector3D> ridge = {{0, 0, -1}, {0, 0, 1}, {-1, -1, 0}, {1, -1, 0}};
  Body a(*convex(wedge, TETRAHEDRON), Vector3D(0, 0.75f, 0));
  Body b(*convex(ridge, TETRAHEDRON), Vector3D(0, 0, 0));
  std::unique_ptr<Collision> hit(getMeshCollision(a.c.get(), b.c.get(), Vector3D(0, -2, 0)));
  ASSERT_NE(hit, nullptr);
  EXPECT_EQ(hit->position, Vector3D(0, 0, 0));
  expectOneFeatureEach(*hit);
  EXPECT_EQ(hit->surfaceA.edge, a.edgeBetween(wedge[0], wedge[1]));
  EXPECT_EQ(hit->surfaceB.edge, b.edgeBetween(ridge[0], ridge[1]));
  EXPECT_GE(hit->surfaceA.edge, 0);
}

TEST(MeshSweep, FaceOfTheMoverOntoAPeak) {
  // The box's bottom meets the tip of a pyramid: a face of a against a
  // vertex of b. The tip lies under the bottom's diagonal, so both bottom
  // triangles touch it; the first in face order is kept.
  const std::vector<Vector3D> pyramid = {{0, 0, 0}, {-1, -1, -1}, {1, -1, -1}, {0, -1, 1}};
  Body peak(*convex(pyramid, TETRAHEDRON), Vector3D(0, 0, 0));
  Body box(*unitBox(), Vector3D(0, 1.5f, 0));
  std::unique_ptr<Collision> hit(getMeshCollision(box.c.get(), peak.c.get(), Vector3D(0, -1, 0)));
  ASSERT_NE(hit, nullptr);
  EXPECT_EQ(hit->position, Vector3D(0, 0.5f, 0));
  expectOneFeatureEach(*hit);
  EXPECT_EQ(hit->surfaceA.face, 6);
  EXPECT_EQ(hit->surfaceB.vertex, peak.vertexAt(pyramid[0]));
}

TEST(MeshSweep, LargeModelsNeedNoStackSpace) {
  // A floor of 45000 faces in meshes of 100.
  Body floor(*makeGrid(75.0f, 0.0f, 150, 100), Vector3D(0, 0, 0));
  ASSERT_EQ(floor.model->faceCount, 45000u);
  Body box(*unitBox(), Vector3D(0.25f, 3.0f, 0.75f));
  std::unique_ptr<Collision> hit(getMeshCollision(box.c.get(), floor.c.get(), Vector3D(0.25f, -3.0f, 0.75f)));
  ASSERT_NE(hit, nullptr);
  EXPECT_EQ(hit->position, Vector3D(0.25f, 0.5f, 0.75f));
  // And the floor moving up into the resting box: b is then the mover.
  Vector3D boxAt = box.position;
  floor.position.y = -3.0f;
  std::unique_ptr<Collision> up(getCollision(box.c.get(), floor.c.get(), boxAt, Vector3D(0, 3.0f, 0)));
  ASSERT_NE(up, nullptr);
  EXPECT_EQ(up->a, floor.c.get());
  EXPECT_EQ(up->b, box.c.get());
  EXPECT_EQ(up->position, Vector3D(0, 2.5f, 0));
  EXPECT_EQ(up->positionB, boxAt);
}

TEST(MeshSweep, MissingPartsAnswerNothing) {
  Body floor(*makeGrid(10.0f, 0.0f, 2), Vector3D(0, 0, 0));
  Body box(*unitBox(), Vector3D(3.25f, 2.0f, 2.5f));
  const Vector3D down(3.25f, -1.0f, 2.5f);
  Vector3D place;
  BoundingSphere s(Vector3D(), 1.0f);
  Collideable sphereOnly(&s, &place, nullptr, nullptr, COLLIDEABLE_MESH);
  EXPECT_EQ(getMeshCollision(&sphereOnly, floor.c.get(), down), nullptr);
  EXPECT_EQ(getMeshCollision(box.c.get(), &sphereOnly, down), nullptr);
  // A collision model not prepared yet.
  CollisionModel raw(*unitBox(), false);
  Collideable unprepared(&raw, &place, nullptr, nullptr, false, COLLIDEABLE_MESH);
  EXPECT_EQ(getMeshCollision(box.c.get(), &unprepared, down), nullptr);
  // Both moving is not answered.
  EXPECT_EQ(getMeshCollision(box.c.get(), floor.c.get(), down, Vector3D(0, 1, 0)), nullptr);
  EXPECT_EQ(getCollision(box.c.get(), floor.c.get(), down, Vector3D(0, 1, 0)), nullptr);
}

TEST(MeshSweep, DispatchByTypes) {
  Body floor(*makeGrid(10.0f, 0.0f, 2), Vector3D(0, 0, 0));
  Body box(*unitBox(), Vector3D(3.25f, 2.0f, 2.5f));
  const Vector3D down(3.25f, -1.0f, 2.5f);
  std::unique_ptr<Collision> hit(getCollision(box.c.get(), floor.c.get(), down, floor.position));
  ASSERT_NE(hit, nullptr);
  EXPECT_EQ(hit->a, box.c.get());

  Vector3D pa(0, 0, 0), pb(5, 0, 0);
  BoundingSphere unit(Vector3D(), 1.0f);
  Collideable ballA(&unit, &pa, nullptr, nullptr, COLLIDEABLE_SPHERE);
  Collideable ballB(&unit, &pb, nullptr, nullptr, COLLIDEABLE_SPHERE);
  hit.reset(getCollision(&ballA, &ballB, Vector3D(10, 0, 0), pb));
  ASSERT_NE(hit, nullptr);
  EXPECT_EQ(hit->a, &ballA);
  // Only b moves: b is the mover of the answer.
  hit.reset(getCollision(&ballA, &ballB, pa, Vector3D(-5, 0, 0)));
  ASSERT_NE(hit, nullptr);
  EXPECT_EQ(hit->a, &ballB);
  EXPECT_EQ(hit->position, Vector3D(2, 0, 0));
  // Spheres against meshes, and anything against type none: none.
  EXPECT_EQ(getCollision(&ballA, floor.c.get(), Vector3D(0, -5, 0), floor.position), nullptr);
  EXPECT_EQ(getCollision(floor.c.get(), &ballA, Vector3D(0, 5, 0), pa), nullptr);
  Collideable nothing(&unit, &pa, nullptr, nullptr, COLLIDEABLE_NONE);
  EXPECT_EQ(getCollision(&nothing, &ballB, Vector3D(10, 0, 0), pb), nullptr);
}

TEST(SphereSweep, StopsWhereTheSpheresFirstTouch) {
  Vector3D pa(0, 0, 0), pb(5, 0, 0);
  BoundingSphere unit(Vector3D(), 1.0f);
  Collideable a(&unit, &pa, nullptr, nullptr, COLLIDEABLE_SPHERE);
  Collideable b(&unit, &pb, nullptr, nullptr, COLLIDEABLE_SPHERE);
  std::unique_ptr<Collision> hit(getSphereCollision(&a, &b, Vector3D(10, 0, 0)));
  ASSERT_NE(hit, nullptr);
  EXPECT_EQ(hit->position, Vector3D(3, 0, 0));
  EXPECT_EQ(hit->positionB, pb);
  EXPECT_EQ(hit->surfaceA.face, -1);
  // A glancing pass: the stop lies back along the path where they touch.
  pb = Vector3D(5, 1, 0);
  hit.reset(getSphereCollision(&a, &b, Vector3D(10, 0, 0)));
  ASSERT_NE(hit, nullptr);
  EXPECT_NEAR(hit->position.x, 5.0f - std::sqrt(3.0f), 1e-5f);
  EXPECT_EQ(hit->position.y, 0.0f);
  // Passing by, or touching only at the closest point: none.
  pb = Vector3D(5, 2, 0);
  EXPECT_EQ(getSphereCollision(&a, &b, Vector3D(10, 0, 0)), nullptr);
  // Already overlapping: the stop is the start.
  pb = Vector3D(1, 0, 0);
  hit.reset(getSphereCollision(&a, &b, Vector3D(10, 0, 0)));
  ASSERT_NE(hit, nullptr);
  EXPECT_EQ(hit->position, pa);
  EXPECT_EQ(getSphereCollision(&a, &b, Vector3D(10, 0, 0), Vector3D(1, 1, 1)), nullptr);
  EXPECT_EQ(getSphereMeshCollision(&a, &b, Vector3D(10, 0, 0)), nullptr);
}

TEST(EdgeSweep, CheckEdgeCollision) {
  Vector3D point;
  float t = -1;
  // Edge along x moving down onto an edge along z.
  EXPECT_TRUE(checkEdgeCollision(Vector3D(-1, 2, 0), Vector3D(1, 2, 0), Vector3D(0, -1, 0), Vector3D(0, 0, -1),
                                 Vector3D(0, 0, 1), point, t));
  EXPECT_FLOAT_EQ(t, 2.0f);
  EXPECT_EQ(point, Vector3D(0, 2, 0));
  // Moving away: the meeting lies behind.
  EXPECT_FALSE(checkEdgeCollision(Vector3D(-1, 2, 0), Vector3D(1, 2, 0), Vector3D(0, 1, 0), Vector3D(0, 0, -1),
                                  Vector3D(0, 0, 1), point, t));
  // Parallel edges never meet edge to edge.
  EXPECT_FALSE(checkEdgeCollision(Vector3D(-1, 2, 0), Vector3D(1, 2, 0), Vector3D(0, -1, 0), Vector3D(-1, 0, 0),
                                  Vector3D(1, 0, 0), point, t));
  // An end of the still edge exactly on the swept plane does not count.
  EXPECT_FALSE(checkEdgeCollision(Vector3D(-1, 2, 0), Vector3D(1, 2, 0), Vector3D(0, -1, 0), Vector3D(0, 0, 0),
                                  Vector3D(0, 0, 1), point, t));
  // The still edge passes beyond the moving edge's end.
  EXPECT_FALSE(checkEdgeCollision(Vector3D(-1, 2, 0), Vector3D(1, 2, 0), Vector3D(0, -1, 0), Vector3D(3, 0, -1),
                                  Vector3D(3, 0, 1), point, t));
}

TEST(SweepLists, CollisionsOfOneAgainstMany) {
  Body floor(*makeGrid(10.0f, 0.0f, 2), Vector3D(0, 0, 0));
  Body far(*unitBox(), Vector3D(100, 0, 0));
  Body box(*unitBox(), Vector3D(3.25f, 2.0f, 2.5f));
  std::list<Collideable*> others = {far.c.get(), floor.c.get()};
  std::unique_ptr<std::list<Collision*>> hits(getCollisions(box.c.get(), others, Vector3D(3.25f, -1.0f, 2.5f)));
  ASSERT_EQ(hits->size(), 1u);
  EXPECT_EQ(hits->front()->b, floor.c.get());
  delete hits->front();
  hits.reset(getCollisions(box.c.get(), others, Vector3D(3.25f, 1.0f, 2.5f)));
  ASSERT_NE(hits, nullptr);
  EXPECT_TRUE(hits->empty());
  Vector3D place;
  Collideable bare(static_cast<const BoundingSphere*>(nullptr), &place, nullptr, nullptr, COLLIDEABLE_MESH);
  hits.reset(getCollisions(&bare, others, Vector3D(0, -1, 0)));
  ASSERT_NE(hits, nullptr);
  EXPECT_TRUE(hits->empty());
}

TEST(SweepLists, SphereCollisionsWalkTheSceneTree) {
  BoundingSphere unit(Vector3D(), 1.0f);
  CollideableModelObject mover(&unit, nullptr, COLLIDEABLE_SPHERE);
  auto* parent = new CollideableModelObject(&unit, nullptr, COLLIDEABLE_SPHERE);
  auto* child = new CollideableModelObject(&unit, nullptr, COLLIDEABLE_SPHERE);
  auto* plain = new Object();
  std::unique_ptr<Object> root(new Object());
  *root += parent;
  *parent += plain;
  *parent += child;
  parent->position = Vector3D(50, 0, 0);
  child->position = Vector3D(5, 0, 0);
  EXPECT_EQ(mover.type, COLLIDEABLE_SPHERE);
  // The collideable part follows the scene object's own fields.
  EXPECT_EQ(*static_cast<Collideable*>(child)->position, Vector3D(5, 0, 0));

  std::unique_ptr<std::list<Collision*>> hits(getSphereCollisions(&mover, parent, Vector3D(10, 0, 0)));
  ASSERT_NE(hits, nullptr);
  ASSERT_EQ(hits->size(), 1u);
  EXPECT_EQ(hits->front()->b, static_cast<Collideable*>(child));
  EXPECT_EQ(hits->front()->position, Vector3D(3, 0, 0));
  delete hits->front();
  EXPECT_EQ(getSphereCollisions(&mover, parent, Vector3D(0, 10, 0)), nullptr);

  // The mesh form is a mesh whatever its flag.
  auto model = prepared(*unitBox());
  CollideableModelObject solid(model.get(), nullptr, 0);
  EXPECT_EQ(solid.type, COLLIDEABLE_MESH);
  EXPECT_FLOAT_EQ(solid.sphere->radius, std::sqrt(0.75f));
  solid.position = Vector3D(1, 2, 3);
  EXPECT_EQ(*static_cast<Collideable&>(solid).position, Vector3D(1, 2, 3));
  EXPECT_EQ(static_cast<Collideable&>(solid).rotation, &solid.rotation);
}

TEST(MeshSweep, TiesGoToVertexFaceThenEdgeEdgeThenFaceVertex) {
  // Straddling the floor's edge x = 0, the box's bottom edges cross it at
  // the moment its corners land: the corners win.
  Body floor(*makeGrid(10.0f, 0.0f, 2), Vector3D(0, 0, 0));
  Body box(*unitBox(), Vector3D(0.25f, 2.0f, 2.5f));
  std::unique_ptr<Collision> hit(getMeshCollision(box.c.get(), floor.c.get(), Vector3D(0.25f, -1.0f, 2.5f)));
  ASSERT_NE(hit, nullptr);
  EXPECT_EQ(hit->position, Vector3D(0.25f, 0.5f, 2.5f));
  EXPECT_GE(hit->surfaceA.vertex, 0);
  EXPECT_GE(hit->surfaceB.face, 0);

  // A ridge whose near end lies under the box's bottom and whose top edge
  // crosses the bottom's edge z = 0.5 (and no other): the end point touches
  // the bottom face just as the two edges meet; the edges win.
  const std::vector<Vector3D> ridge = {
      {0.25f, 0, 0.375f}, {0.25f, 0, 1}, {-0.75f, -1, 0.6875f}, {1.25f, -1, 0.6875f}};
  Body b(*convex(ridge, TETRAHEDRON), Vector3D(0, 0, 0));
  box.position = Vector3D(0, 1.5f, 0);
  hit.reset(getMeshCollision(box.c.get(), b.c.get(), Vector3D(0, -1, 0)));
  ASSERT_NE(hit, nullptr);
  EXPECT_EQ(hit->position, Vector3D(0, 0.5f, 0));
  EXPECT_EQ(hit->surfaceA.edge, box.edgeBetween(Vector3D(-0.5f, -0.5f, 0.5f), Vector3D(0.5f, -0.5f, 0.5f)));
  EXPECT_EQ(hit->surfaceB.edge, b.edgeBetween(ridge[0], ridge[1]));
  EXPECT_GE(hit->surfaceA.edge, 0);

  // A short ridge wholly under one triangle of the bottom: only its end
  // points meet it, at once; the first of them in index order is kept.
  const std::vector<Vector3D> stub = {
      {0.25f, 0, -0.25f}, {0.25f, 0, 0}, {-0.75f, -1, -0.125f}, {1.25f, -1, -0.125f}};
  Body c(*convex(stub, TETRAHEDRON), Vector3D(0, 0, 0));
  hit.reset(getMeshCollision(box.c.get(), c.c.get(), Vector3D(0, -1, 0)));
  ASSERT_NE(hit, nullptr);
  EXPECT_EQ(hit->position, Vector3D(0, 0.5f, 0));
  EXPECT_EQ(hit->surfaceA.face, 6);
  EXPECT_EQ(hit->surfaceB.vertex, c.vertexAt(stub[0]));
}

namespace {

Vector3D turned(const Matrix3D& m, const Vector3D& v) {
  return {m.m[0][0] * v.x + m.m[0][1] * v.y + m.m[0][2] * v.z, m.m[1][0] * v.x + m.m[1][1] * v.y + m.m[1][2] * v.z,
          m.m[2][0] * v.x + m.m[2][1] * v.y + m.m[2][2] * v.z};
}

// The swept query as plainly as it can be written: every face, edge and
// vertex flagged by the swept spheres is tested, with nothing passed over
// early. The query under test must give exactly the same answers.
Collision* plainSweep(const Collideable* a, const Collideable* b, const Vector3D& newA) {
  const Vector3D start = *a->position;
  if (newA == start) return nullptr;
  Vector3D D = b->worldCenter() - a->rotatedCenter();
  Vector3D P = closestPointOnLine(start, newA, D);
  if ((D - P).length() > a->sphere->radius + b->sphere->radius) return nullptr;
  Vector3D dir = newA - start;
  const float len = dir.length();
  if (len >= EPSILON_LENGTH) dir = dir / len;
  const float half = len * 0.5f;
  const Vector3D centreA = a->worldCenter() + dir * half;
  const float radiusA = half + a->sphere->radius;
  const Vector3D centreB = b->worldCenter() - dir * half;
  const float radiusB = half + b->sphere->radius;

  struct World {
    std::vector<Vector3D> v, fn, en, edn;
  };
  auto world = [](const Collideable& c) {
    World w;
    Matrix3D m;
    m.m[0][3] = c.position->x;
    m.m[1][3] = c.position->y;
    m.m[2][3] = c.position->z;
    m.multRight(*c.rotation);
    const CollisionModel& model = *c.model;
    for (uint32_t i = 0; i < model.vertexCount; ++i) w.v.push_back(m * model.vertices[i]);
    for (std::size_t f = 0; f < model.faces.size(); ++f) {
      w.fn.push_back(turned(*c.rotation, model.faceNormals[f]));
      for (int k = 0; k < 3; ++k) {
        w.en.push_back(turned(*c.rotation, static_cast<const CollisionFace*>(model.faces[f])->edgeNormals[k]));
      }
    }
    for (const Vector3D& n : model.edgeNormals) w.edn.push_back(turned(*c.rotation, n));
    return w;
  };
  const World wa = world(*a), wb = world(*b);
  const CollisionModel& ma = *a->model;
  const CollisionModel& mb = *b->model;
  auto in = [](const Vector3D& p, const Vector3D& c, float r) { return dotProduct(p - c, p - c) < r * r; };
  auto edgeIn = [&](const World& w, const Edge& e, const Vector3D& c, float r) {
    return in(closestPointOnLine(w.v[static_cast<std::size_t>(e.vertex0)], w.v[static_cast<std::size_t>(e.vertex1)], c),
              c, r);
  };

  float best = len, t;
  Vector3D point;
  SurfaceIntersection sa, sb;
  for (std::size_t f = 0; f < mb.faces.size(); ++f) {
    if (dotProduct(dir, wb.fn[f]) > 0.0f) continue;
    const Face& face = *mb.faces[f];
    for (uint32_t v = 0; v < ma.vertexCount; ++v) {
      if (!in(wa.v[v], centreB, radiusB)) continue;
      if (intersectFace(wa.v[v], dir, wb.v[static_cast<std::size_t>(face.vertex[0])],
                        wb.v[static_cast<std::size_t>(face.vertex[1])], wb.v[static_cast<std::size_t>(face.vertex[2])],
                        wb.en[f * 3], wb.en[f * 3 + 1], wb.en[f * 3 + 2], wb.fn[f], t, point, false, false, len) &&
          t > 0.0f && t < best) {
        best = t;
        sa = SurfaceIntersection(-1, -1, static_cast<int>(v));
        sb = SurfaceIntersection(static_cast<int>(f), -1, -1);
      }
    }
  }
  for (std::size_t i = 0; i < ma.edges.size(); ++i) {
    const Edge& ei = *ma.edges[i];
    if (!edgeIn(wa, ei, centreB, radiusB) || dotProduct(dir, wa.edn[i]) < 0.0f) continue;
    for (std::size_t j = 0; j < mb.edges.size(); ++j) {
      const Edge& ej = *mb.edges[j];
      if (!edgeIn(wb, ej, centreA, radiusA) || dotProduct(dir, wb.edn[j]) > 0.0f) continue;
      if (checkEdgeCollision(wa.v[static_cast<std::size_t>(ei.vertex0)], wa.v[static_cast<std::size_t>(ei.vertex1)], dir,
                             wb.v[static_cast<std::size_t>(ej.vertex0)], wb.v[static_cast<std::size_t>(ej.vertex1)], point, t) &&
          t > 0.0f && t < best) {
        best = t;
        sa = SurfaceIntersection(-1, static_cast<int>(i), -1);
        sb = SurfaceIntersection(-1, static_cast<int>(j), -1);
      }
    }
  }
  for (std::size_t f = 0; f < ma.faces.size(); ++f) {
    if (dotProduct(dir, wa.fn[f]) < 0.0f) continue;
    const Face& face = *ma.faces[f];
    for (uint32_t v = 0; v < mb.vertexCount; ++v) {
      if (!in(wb.v[v], centreA, radiusA)) continue;
      if (intersectFace(wb.v[v], -dir, wa.v[static_cast<std::size_t>(face.vertex[0])],
                        wa.v[static_cast<std::size_t>(face.vertex[1])], wa.v[static_cast<std::size_t>(face.vertex[2])],
                        wa.en[f * 3], wa.en[f * 3 + 1], wa.en[f * 3 + 2], wa.fn[f], t, point, false, false, len) &&
          t > 0.0f && t < best) {
        best = t;
        sa = SurfaceIntersection(static_cast<int>(f), -1, -1);
        sb = SurfaceIntersection(-1, -1, static_cast<int>(v));
      }
    }
  }
  if (!(best < len)) return nullptr;
  Collision* c = new Collision(a, b, start + dir * best, *b->position);
  c->surfaceA = sa;
  c->surfaceB = sb;
  return c;
}

}  // namespace

TEST(MeshSweep, SameAnswersAsThePlainSearchOnRandomScenes) {
  // A bumpy floor and a small hull, both turned, with moves in every
  // direction; some end in the floor, some graze it, some miss.
  std::vector<Vector3D> v;
  std::vector<Triangle> t;
  unsigned seed = 2024;
  auto random = [&seed](float lo, float hi) {
    seed = seed * 1664525u + 1013904223u;
    return lo + (hi - lo) * static_cast<float>(seed >> 8) / 16777216.0f;
  };
  const int cells = 8;
  for (int i = 0; i <= cells; ++i) {
    for (int j = 0; j <= cells; ++j) {
      v.push_back({static_cast<float>(j - cells / 2), random(-0.3f, 0.3f), static_cast<float>(i - cells / 2)});
    }
  }
  for (int i = 0; i < cells; ++i) {
    for (int j = 0; j < cells; ++j) {
      int a = i * (cells + 1) + j, b = a + 1, c = a + cells + 1, d = c + 1;
      t.push_back({a, c, b});
      t.push_back({b, c, d});
    }
  }
  Body floor(*makeModel(v, t), Vector3D(0.5f, -0.25f, 0.25f));
  floor.turn(7.0f, Vector3D(1, 0, 1));
  Body hull(*korvu_test::makeEllipsoid(Vector3D(0.9f, 0.4f, 1.6f), 8, 5), Vector3D());

  int hits = 0, vertexHits = 0, edgeHits = 0, faceHits = 0;
  for (int n = 0; n < 200; ++n) {
    hull.position = Vector3D(random(-3, 3), random(-0.2f, 1.5f), random(-3, 3));
    hull.turn(random(0, 360), Vector3D(random(-1, 1), random(-1, 1), random(-1, 1)));
    Vector3D move(random(-1.5f, 1.5f), random(-2.0f, 0.5f), random(-1.5f, 1.5f));
    Vector3D target = hull.position + move;
    std::unique_ptr<Collision> fast(getMeshCollision(hull.c.get(), floor.c.get(), target));
    std::unique_ptr<Collision> plain(plainSweep(hull.c.get(), floor.c.get(), target));
    ASSERT_EQ(fast == nullptr, plain == nullptr) << n;
    if (!fast) continue;
    ++hits;
    ASSERT_EQ(fast->position, plain->position) << n;
    ASSERT_EQ(fast->surfaceA.vertex, plain->surfaceA.vertex) << n;
    ASSERT_EQ(fast->surfaceA.edge, plain->surfaceA.edge) << n;
    ASSERT_EQ(fast->surfaceA.face, plain->surfaceA.face) << n;
    ASSERT_EQ(fast->surfaceB.vertex, plain->surfaceB.vertex) << n;
    ASSERT_EQ(fast->surfaceB.edge, plain->surfaceB.edge) << n;
    ASSERT_EQ(fast->surfaceB.face, plain->surfaceB.face) << n;
    vertexHits += fast->surfaceA.vertex >= 0;
    edgeHits += fast->surfaceA.edge >= 0;
    faceHits += fast->surfaceA.face >= 0;
  }
  // The scenes cover every kind of contact.
  EXPECT_GT(hits, 60);
  EXPECT_GT(vertexHits, 5);
  EXPECT_GT(edgeHits, 5);
  EXPECT_GT(faceHits, 5);
}
