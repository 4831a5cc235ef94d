// Collision models: welding, face and side normals, edges and their faces,
// groups of parallel faces and edges.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>

#include "ddd/collisionmodel.h"
#include "test_geometry.h"
#include "vectorchecks.h"

using namespace korvu;
using namespace korvu::ddd;
using korvu_test::makeBox;
using korvu_test::makeModel;
using korvu_test::prepared;

namespace {

void expectNear(const Vector3D& v, float x, float y, float z) { korvu_test::expectVec(v, x, y, z, 1e-6f); }

const CollisionFace& cface(const CollisionModel& m, int f) {
  return *static_cast<const CollisionFace*>(m.faces[static_cast<std::size_t>(f)]);
}

// Checks what the queries rely on in every prepared model.
void expectInvariants(const CollisionModel& m) {
  ASSERT_TRUE(m.prepared);
  ASSERT_EQ(m.vertices.size(), m.vertexCount);
  ASSERT_EQ(m.normals.size(), m.vertexCount);
  for (uint32_t i = 0; i < m.vertexCount; ++i) {
    for (uint32_t j = 0; j < i; ++j) EXPECT_FALSE(m.vertices[i] == m.vertices[j]) << i << " " << j;
  }
  ASSERT_EQ(m.faceNormals.size(), m.faceCount);
  ASSERT_EQ(m.edges.size(), m.edgeCount);
  ASSERT_EQ(m.edgeNormals.size(), m.edgeCount);
  for (uint32_t f = 0; f < m.faceCount; ++f) {
    const CollisionFace& face = cface(m, static_cast<int>(f));
    float len = m.faceNormals[f].length();
    EXPECT_TRUE(len == 0.0f || std::fabs(len - 1.0f) < 1e-5f);
    for (int k = 0; k < 3; ++k) {
      ASSERT_GE(face.vertex[k], 0);
      ASSERT_LT(static_cast<uint32_t>(face.vertex[k]), m.vertexCount);
      ASSERT_GE(face.edges[k], 0);
      ASSERT_LT(static_cast<uint32_t>(face.edges[k]), m.edgeCount);
      const Edge& e = *m.edges[static_cast<std::size_t>(face.edges[k])];
      int a = face.vertex[k], b = face.vertex[(k + 1) % 3];
      EXPECT_TRUE((e.vertex0 == a && e.vertex1 == b) || (e.vertex0 == b && e.vertex1 == a));
      Vector3D side = m.vertices[static_cast<std::size_t>(b)] - m.vertices[static_cast<std::size_t>(a)];
      EXPECT_NEAR(dotProduct(face.edgeNormals[k], m.faceNormals[f]), 0.0f, 1e-5f);
      EXPECT_NEAR(dotProduct(face.edgeNormals[k], side), 0.0f, 1e-5f);
    }
  }
  for (const Edge* e : m.edges) {
    ASSERT_GE(e->face1, 0);
    ASSERT_LT(static_cast<uint32_t>(e->face1), m.faceCount);
    EXPECT_TRUE(e->face2 == -1 || e->face2 > e->face1);
  }
  for (const Mesh* mesh : m.meshes) EXPECT_NE(dynamic_cast<const CollisionMesh*>(mesh), nullptr);
}

}  // namespace

TEST(FlatGroup, GroupsParallelAndOppositeAgainstTheFirstMember) {
  std::unique_ptr<std::vector<std::vector<int>*>> none(flatGroup({}));
  EXPECT_TRUE(none->empty());

  std::vector<std::vector<int>*>* groups =
      flatGroup({Vector3D(1, 0, 0), Vector3D(-1, 0, 0), Vector3D(0, 1, 0), Vector3D(0, 0, 0),
                 Vector3D(0, 0, 0)});
  ASSERT_EQ(groups->size(), 4u);
  EXPECT_EQ(*(*groups)[0], (std::vector<int>{0, 1}));
  EXPECT_EQ(*(*groups)[1], (std::vector<int>{2}));
  // A zero vector joins nothing and takes nothing.
  EXPECT_EQ(*(*groups)[2], (std::vector<int>{3}));
  EXPECT_EQ(*(*groups)[3], (std::vector<int>{4}));
  for (auto* g : *groups) delete g;
  delete groups;

  // Membership is decided against the first member only: a slowly turning
  // row splits.
  std::vector<Vector3D> row;
  for (int i = 0; i < 4; ++i) {
    float a = static_cast<float>(i) * 0.06f;  // ~3.4 degrees per step
    row.push_back(Vector3D(std::cos(a), std::sin(a), 0));
  }
  groups = flatGroup(row);
  ASSERT_EQ(groups->size(), 2u);
  EXPECT_EQ(*(*groups)[0], (std::vector<int>{0, 1}));
  EXPECT_EQ(*(*groups)[1], (std::vector<int>{2, 3}));
  for (auto* g : *groups) delete g;
  delete groups;
}

TEST(CollisionModel, ConstructionCopiesWithoutPreparing) {
  auto box = makeBox(Vector3D(0, 0, 0), Vector3D(1, 1, 1));
  box->name = "box";
  CollisionModel c(*box, false);
  EXPECT_TRUE(c.name.empty());
  EXPECT_FALSE(c.prepared);
  EXPECT_FALSE(c.isReady());
  EXPECT_EQ(c.vertexCount, 24u);
  ASSERT_EQ(c.faceCount, 12u);
  ASSERT_EQ(c.meshCount, 1u);
  EXPECT_EQ(c.meshes[0]->owner, &c);
  for (Face* f : c.faces) {
    auto* cf = dynamic_cast<CollisionFace*>(f);
    ASSERT_NE(cf, nullptr);
    EXPECT_EQ(cf->edges[0], -1);
    EXPECT_EQ(cf->edges[2], -1);
  }
  EXPECT_EQ(c.faces[5]->vertex[1], box->faces[5]->vertex[1]);
  EXPECT_EQ(c.meshes[0]->faces, box->meshes[0]->faces);
  EXPECT_EQ(c.edgeCount, 0u);
}

TEST(CollisionModel, WeldsTheBoxAndBuildsClosedEdges) {
  auto c = prepared(*makeBox(Vector3D(-1, -1, -1), Vector3D(1, 1, 1)));
  expectInvariants(*c);
  EXPECT_EQ(c->vertexCount, 8u);
  // 12 triangles of a closed solid: 18 edges, each with two faces.
  EXPECT_EQ(c->edgeCount, 18u);
  for (const Edge* e : c->edges) EXPECT_NE(e->face2, -1);
  // Side normals point away from the face, towards the outside of the side.
  const CollisionFace& top = cface(*c, 4);  // first triangle of +y
  expectNear(c->faceNormals[4], 0, 1, 0);
  for (int k = 0; k < 3; ++k) {
    const Vector3D& a = c->vertices[static_cast<std::size_t>(top.vertex[k])];
    const Vector3D& opposite = c->vertices[static_cast<std::size_t>(top.vertex[(k + 2) % 3])];
    EXPECT_LT(dotProduct(opposite - a, top.edgeNormals[k]), 0.0f);
  }
  // Edges along the cube's sides have the mean of two perpendicular faces;
  // the diagonals inside a side have that side's normal.
  int diagonals = 0;
  for (uint32_t i = 0; i < c->edgeCount; ++i) {
    const Edge& e = *c->edges[i];
    Vector3D n1 = c->faceNormals[static_cast<std::size_t>(e.face1)];
    Vector3D n2 = c->faceNormals[static_cast<std::size_t>(e.face2)];
    if (n1 == n2) {
      ++diagonals;
      expectNear(c->edgeNormals[i], n1.x, n1.y, n1.z);
    } else {
      EXPECT_NEAR(dotProduct(c->edgeNormals[i], n1), std::sqrt(0.5f), 1e-6f);
    }
  }
  EXPECT_EQ(diagonals, 6);
  // Opposite sides are parallel too: three flat groups of four faces.
  ASSERT_EQ(c->flatMeshes.size(), 3u);
  EXPECT_EQ(c->flatMeshes[0]->faces, (std::vector<uint32_t>{0, 1, 2, 3}));
  EXPECT_EQ(c->flatMeshes[2]->faces, (std::vector<uint32_t>{8, 9, 10, 11}));
  const CollisionMesh& mesh = *static_cast<const CollisionMesh*>(c->meshes[0]);
  EXPECT_EQ(mesh.vertexCount, 8u);
  EXPECT_EQ(mesh.edgeCount, 18u);
  ASSERT_EQ(mesh.flatMeshes.size(), 3u);
  EXPECT_EQ(mesh.flatMeshes[1]->faces, (std::vector<uint32_t>{4, 5, 6, 7}));
  std::size_t members = 0;
  for (const auto* g : c->edgeGroups) members += g->size();
  EXPECT_EQ(members, 18u);
  EXPECT_EQ(mesh.edgeGroups.size(), c->edgeGroups.size());
}

TEST(CollisionModel, SharedSideInOppositeOrderGivesOneEdge) {
  // Two triangles of a square, sharing the side 0-2; the second is also a
  // separate copy of the shared corners, which welding joins.
  std::vector<Vector3D> v = {{0, 0, 0}, {1, 0, 0}, {1, 0, -1}, {0, 0, -1}, {0, 0, 0}, {1, 0, -1}};
  auto c = prepared(*makeModel(v, {{0, 1, 2}, {4, 5, 3}}));
  expectInvariants(*c);
  EXPECT_EQ(c->vertexCount, 4u);
  // The face's corners follow the welding: 4 -> 0, 5 -> 2.
  EXPECT_EQ(c->faces[1]->vertex[0], 0);
  EXPECT_EQ(c->faces[1]->vertex[1], 2);
  EXPECT_EQ(c->faces[1]->vertex[2], 3);
  ASSERT_EQ(c->edgeCount, 5u);
  const Edge& shared = *c->edges[1];  // side 1-2 of face 0 is edge 1, side 2-0 edge 2
  EXPECT_EQ(shared.face2, -1);
  const Edge& diagonal = *c->edges[2];
  EXPECT_EQ(diagonal.vertex0, 2);
  EXPECT_EQ(diagonal.vertex1, 0);
  EXPECT_EQ(diagonal.face1, 0);
  EXPECT_EQ(diagonal.face2, 1);
  EXPECT_EQ(cface(*c, 1).edges[0], 2);
  // Coplanar faces give the shared side the common normal; a border edge
  // has its face's normal.
  expectNear(c->edgeNormals[2], 0, 1, 0);
  expectNear(c->edgeNormals[0], 0, 1, 0);
  EXPECT_EQ(c->flatMeshes.size(), 1u);
}

TEST(CollisionModel, FoldedFacesAndOrientationByTheFirstCornerNormal) {
  std::vector<Vector3D> v = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  auto model = makeModel(v, {{0, 1, 2}, {0, 2, 1}});
  // Face 1's corner-0 normal points against its winding: it is flipped.
  model->faces[1]->normal[0] = Vector3D(0, 0, 1);
  auto c = prepared(*model);
  expectNear(c->faceNormals[0], 0, 0, 1);
  expectNear(c->faceNormals[1], 0, 0, 1);
  // Now fold the second face back onto the first: opposite normals cancel.
  model->faces[1]->normal[0] = Vector3D(0, 0, -1);
  c = prepared(*model);
  expectNear(c->faceNormals[1], 0, 0, -1);
  ASSERT_EQ(c->edgeCount, 3u);
  for (uint32_t e = 0; e < 3; ++e) {
    EXPECT_EQ(c->edges[e]->face2, 1);
    expectNear(c->edgeNormals[e], 0, 0, 0);
  }
  // A corner normal exactly perpendicular keeps the cross product.
  model->faces[1]->normal[0] = Vector3D(1, 0, 0);
  c = prepared(*model);
  expectNear(c->faceNormals[1], 0, 0, -1);
}

TEST(CollisionModel, WeldingIsExact) {
  float x = 1.0f;
  float next = std::nextafter(x, 2.0f);
  std::vector<Vector3D> v = {{0, 0, 0}, {x, 0, 0}, {0, 1, 0}, {next, 0, 0}, {-0.0f, 0, 0},
                             {0, 1, 0}};
  // The second face faces the other way.
  auto c = prepared(*makeModel(v, {{0, 1, 2}, {4, 5, 3}}));
  // -0 equals +0, the next float up stays apart.
  ASSERT_EQ(c->vertexCount, 4u);
  EXPECT_EQ(c->vertices[3].x, next);
  EXPECT_EQ(c->faces[1]->vertex[0], 0);
  EXPECT_EQ(c->faces[1]->vertex[1], 2);
  EXPECT_EQ(c->faces[1]->vertex[2], 3);
  // A kept vertex keeps its own normal, not the one of the vertex welded
  // into it.
  expectNear(c->normals[0], 0, 0, 1);
  expectNear(c->normals[2], 0, 0, 1);
  expectNear(c->normals[3], 0, 0, -1);

  // NaN never equals anything, not even itself.
  float nan = std::numeric_limits<float>::quiet_NaN();
  std::vector<Vector3D> w = {{nan, 0, 0}, {nan, 0, 0}, {0, 1, 0}};
  auto c2 = prepared(*makeModel(w, {{0, 1, 2}}));
  EXPECT_EQ(c2->vertexCount, 3u);
}

TEST(CollisionModel, DegenerateFacesAndEmptyModels) {
  std::vector<Vector3D> v = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {0, 1, 0}};
  auto c = prepared(*makeModel(v, {{0, 1, 3}, {0, 1, 2}}));
  expectNear(c->faceNormals[1], 0, 0, 0);
  for (int k = 0; k < 3; ++k) expectNear(cface(*c, 1).edgeNormals[k], 0, 0, 0);
  // The collinear face forms a flat group of its own.
  ASSERT_EQ(c->flatMeshes.size(), 2u);
  EXPECT_EQ(c->flatMeshes[1]->faceCount, 1u);
  EXPECT_EQ(c->flatMeshes[1]->faces[0], 1u);

  // A face with two equal corners: its repeated side names it as both faces.
  auto d = prepared(*makeModel({{0, 0, 0}, {1, 0, 0}}, {{0, 1, 0}}));
  ASSERT_EQ(d->edgeCount, 2u);
  EXPECT_EQ(d->edges[0]->face1, 0);
  EXPECT_EQ(d->edges[0]->face2, 0);

  CollisionModel empty;
  empty.prepare();
  EXPECT_TRUE(empty.prepared);
  EXPECT_TRUE(empty.isReady());
  EXPECT_EQ(empty.edgeCount, 0u);
  EXPECT_TRUE(empty.flatMeshes.empty());
  EXPECT_TRUE(empty.edgeGroups.empty());
}

TEST(CollisionModel, PreparingAgainGivesTheSameData) {
  auto c = prepared(*makeBox(Vector3D(0, 0, 0), Vector3D(2, 1, 3)));
  std::vector<Vector3D> vertices = c->vertices;
  std::vector<Vector3D> faceNormals = c->faceNormals;
  std::vector<Vector3D> edgeNormals = c->edgeNormals;
  std::vector<std::array<int, 4>> edges;
  for (const Edge* e : c->edges) edges.push_back({e->vertex0, e->vertex1, e->face1, e->face2});
  std::size_t groups = c->edgeGroups.size();
  std::size_t flats = c->flatMeshes.size();
  expectNear(c->normals[0], 0, 0, 1);

  c->prepare();
  expectInvariants(*c);
  EXPECT_EQ(c->vertices, vertices);
  EXPECT_EQ(c->faceNormals, faceNormals);
  EXPECT_EQ(c->edgeNormals, edgeNormals);
  ASSERT_EQ(c->edges.size(), edges.size());
  for (std::size_t i = 0; i < edges.size(); ++i) {
    EXPECT_EQ(c->edges[i]->vertex0, edges[i][0]);
    EXPECT_EQ(c->edges[i]->face2, edges[i][3]);
  }
  EXPECT_EQ(c->edgeGroups.size(), groups);
  EXPECT_EQ(c->flatMeshes.size(), flats);
  // The welded corner (0, 0, 3) now sums the corner normals of the faces of
  // all three sides around it: twice +z, once -y, once -x.
  const float s6 = std::sqrt(6.0f);
  expectNear(c->normals[0], -1.0f / s6, -1.0f / s6, 2.0f / s6);
}

TEST(CollisionModel, ReplacingFacesInvalidatesUntilPreparedAgain) {
  auto c = prepared(*makeBox(Vector3D(0, 0, 0), Vector3D(1, 1, 1)));
  ASSERT_TRUE(c->isReady());
  c->initFaces(3u);
  EXPECT_FALSE(c->isReady());

  // Plain faces and meshes appended by the model's own operations become
  // collision ones when it is prepared.
  auto box = prepared(*makeBox(Vector3D(0, 0, 0), Vector3D(1, 1, 1)));
  auto other = makeBox(Vector3D(2, 0, 0), Vector3D(3, 1, 1));
  *box += *other;
  box->prepare();
  expectInvariants(*box);
  EXPECT_EQ(box->faceCount, 24u);
  EXPECT_EQ(box->vertexCount, 16u);
  EXPECT_EQ(box->edgeCount, 36u);
}

TEST(CollisionModel, WeldMatchesRemovingDuplicatesOneByOne) {
  // Many repeated positions (with -0 and +0 among them), welded the slow
  // way: remove each vertex equal to an earlier one and shift the corners.
  std::vector<Vector3D> v;
  std::vector<korvu_test::Triangle> t;
  unsigned seed = 12345;
  auto next = [&seed]() {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % 4;
  };
  const float values[4] = {0.0f, -0.0f, 1.0f, 2.5f};
  for (int i = 0; i < 60; ++i) v.push_back({values[next()], values[next()] + 1.0f, values[next()]});
  for (int i = 0; i + 2 < 60; i += 3) t.push_back({i, i + 1, i + 2});
  auto model = makeModel(v, t);

  std::vector<Vector3D> slow = v;
  std::vector<korvu_test::Triangle> slowFaces = t;
  for (std::size_t i = 1; i < slow.size();) {
    std::size_t j = 0;
    while (j < i && !(slow[j] == slow[i])) ++j;
    if (j == i) {
      ++i;
      continue;
    }
    for (auto& f : slowFaces) {
      for (int& c : f) {
        if (c == static_cast<int>(i)) {
          c = static_cast<int>(j);
        } else if (c > static_cast<int>(i)) {
          --c;
        }
      }
    }
    slow.erase(slow.begin() + static_cast<std::ptrdiff_t>(i));
  }

  auto c = prepared(*model);
  ASSERT_EQ(c->vertexCount, slow.size());
  EXPECT_LT(c->vertexCount, 60u);
  for (std::size_t i = 0; i < slow.size(); ++i) EXPECT_EQ(c->vertices[i], slow[i]) << i;
  for (std::size_t f = 0; f < t.size(); ++f) {
    for (int k = 0; k < 3; ++k) EXPECT_EQ(c->faces[f]->vertex[k], slowFaces[f][k]);
  }
}
