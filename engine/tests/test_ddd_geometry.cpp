// Computation on models: prepare, copies, appending, vertex-array
// de-duplication, the cube, and shadow-volume silhouettes (plus one check of
// display-list release that needs a window).
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>
#include <set>

#include "ddd/cube.h"
#include "ddd/material.h"
#include "ddd/model.h"
#include "ddd/modelobject.h"
#include "ddd/settings.h"
#include "ddd/shadowmodel.h"
#include "ddd/vertexarray.h"
#include "image.h"
#include "test_geometry.h"
#include "testsupport.h"
#include "vectorchecks.h"

using korvu::Vector2D;
using korvu::Vector3D;
using korvu::ddd::Cube;
using korvu::ddd::Face;
using korvu::ddd::Material;
using korvu::ddd::Mesh;
using korvu::ddd::Model;
using korvu::ddd::ShadowModel;
using korvu::ddd::VertexArray;
using korvu_test::expectVec;
using korvu_test::fillModel;
using korvu_test::fillWholeCube;

namespace {

// The unit square in z = 0 as two triangles sharing the diagonal 0-2.
void square(Model& m, bool oneMesh = true) {
  fillModel(m, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 2, 3}},
            oneMesh ? std::vector<std::vector<uint32_t>>{{0, 1}} : std::vector<std::vector<uint32_t>>{{0}, {1}});
}

}  // namespace

TEST(DddModelPrepare, FaceNormalsVertexNormalsAndCounts) {
  Model m;
  // A tent: two faces tilted against each other, plus one vertex no face uses.
  fillModel(m, {{0, 0, 0}, {1, 0, 1}, {0, 1, 1}, {-1, 0, 1}, {5, 5, 5}}, {{0, 1, 2}, {0, 2, 3}}, {{0, 1}});
  m.faces[0]->normal[0] = Vector3D(1, 0, 0);
  m.faces[1]->normal[0] = Vector3D(0, 1, 0);
  m.prepare();
  EXPECT_EQ(m.meshFaceTotal, 2u);
  // (b - a) x (c - a), normalised.
  Vector3D n0 = korvu::crossProduct(Vector3D(1, 0, 1), Vector3D(0, 1, 1));
  n0.normalize();
  expectVec(m.faces[0]->faceNormal, n0.x, n0.y, n0.z);
  Vector3D n1 = korvu::crossProduct(Vector3D(0, 1, 1), Vector3D(-1, 0, 1));
  n1.normalize();
  expectVec(m.faces[1]->faceNormal, n1.x, n1.y, n1.z);
  // Vertex 0 sums the corner normals (1,0,0) and (0,1,0); vertex 2 gets +z twice.
  const float h = 1.0f / std::sqrt(2.0f);
  expectVec(m.normals[0], h, h, 0);
  expectVec(m.normals[2], 0, 0, 1);
  expectVec(m.normals[4], 0, 0, 0);
  // Corner normals themselves are left alone.
  expectVec(m.faces[0]->normal[0], 1, 0, 0);

  // A degenerate face gets a zero face normal; preparing again gives the same.
  m.vertices[2] = m.vertices[1];
  m.prepare();
  expectVec(m.faces[0]->faceNormal, 0, 0, 0);
  EXPECT_EQ(m.meshFaceTotal, 2u);
}

TEST(DddModelPrepare, AdjacencyIsMeshLocalAndFindsBothOrientations) {
  Model one;
  square(one);
  one.prepare();
  // Face 0 = (0,1,2): its edge 2 joins corners 2 and 0, i.e. vertices 2-0.
  // Face 1 = (0,2,3): its edge 0 joins vertices 0-2 (the opposite direction).
  EXPECT_EQ(one.faces[0]->neighbour[0], -1);
  EXPECT_EQ(one.faces[0]->neighbour[1], -1);
  EXPECT_EQ(one.faces[0]->neighbour[2], 1);
  EXPECT_EQ(one.faces[1]->neighbour[0], 0);
  EXPECT_EQ(one.faces[1]->neighbour[1], -1);
  EXPECT_EQ(one.faces[1]->neighbour[2], -1);

  // The same edge with equal direction in both faces still counts.
  Model same;
  fillModel(same, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2}, {2, 0, 3}}, {{0, 1}});
  same.prepare();
  EXPECT_EQ(same.faces[0]->neighbour[2], 1);
  EXPECT_EQ(same.faces[1]->neighbour[0], 0);

  // Neighbours are positions within the mesh, not model face indices.
  Model shifted;
  fillModel(shifted, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {9, 9, 9}}, {{4, 4, 4}, {0, 1, 2}, {0, 2, 3}},
            {{1, 2}, {0}});
  shifted.prepare();
  EXPECT_EQ(shifted.faces[1]->neighbour[2], 1);
  EXPECT_EQ(shifted.faces[2]->neighbour[0], 0);

  // Faces of different meshes never become neighbours.
  Model two;
  square(two, false);
  two.prepare();
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(two.faces[0]->neighbour[k], -1);
    EXPECT_EQ(two.faces[1]->neighbour[k], -1);
  }
}

namespace {

// The neighbour search done the plain way, mesh by mesh: each face's open
// edges against every later face of the mesh, first match wins.
void plainAdjacency(Model& m) {
  for (const Mesh* mesh : m.meshes) {
    for (uint32_t i = 0; i < mesh->faceCount; ++i) {
      Face* f = m.faces[mesh->faces[i]];
      for (int c = 0; c < 3; ++c) {
        if (f->neighbour[c] != -1) continue;
        const int p = f->vertex[c], q = f->vertex[(c + 1) % 3];
        bool found = false;
        for (uint32_t j = i + 1; j < mesh->faceCount && !found; ++j) {
          Face* g = m.faces[mesh->faces[j]];
          for (int k = 0; k < 3 && !found; ++k) {
            const int r = g->vertex[k], s = g->vertex[(k + 1) % 3];
            if ((p == r && q == s) || (p == s && q == r)) {
              f->neighbour[c] = static_cast<int32_t>(j);
              g->neighbour[k] = static_cast<int32_t>(i);
              found = true;
            }
          }
        }
      }
    }
  }
}

}  // namespace

TEST(DddModelPrepare, AdjacencyMatchesThePlainSearchOnLargeAndOddMeshes) {
  // Thousands of faces over a narrow band of vertices, so edges are shared
  // by two, three or more faces; some faces repeat a vertex, some are
  // listed twice in a mesh or in both meshes, some come with neighbours
  // already set.
  std::mt19937 random(11);
  auto pick = [&random](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  const int vertexTotal = 500;
  std::vector<Vector3D> vertices;
  for (int i = 0; i < vertexTotal; ++i) vertices.emplace_back(float(i % 37), float(i / 37), float(i % 5));
  std::vector<korvu_test::Triangle> triangles;
  for (int t = 0; t < 2000; ++t) {
    const int base = pick(vertexTotal - 6);
    korvu_test::Triangle tri = {base + pick(6), base + pick(6), base + pick(6)};
    if (t % 50 == 0) tri[2] = tri[0];
    triangles.push_back(tri);
  }
  std::vector<std::vector<uint32_t>> meshFaces(2);
  for (uint32_t f = 0; f < triangles.size(); ++f) {
    meshFaces[f < 1600 ? 0 : 1].push_back(f);
    if (f % 97 == 0) meshFaces[0].push_back(f);
    if (f % 89 == 0) meshFaces[1].push_back(f);
  }
  Model m;
  fillModel(m, vertices, triangles, meshFaces);
  for (uint32_t f = 0; f < m.faceCount; f += 131) m.faces[f]->neighbour[f % 3] = static_cast<int32_t>(f % 7);

  Model expected(m);
  plainAdjacency(expected);
  m.prepare();
  unsigned paired = 0;
  for (uint32_t f = 0; f < m.faceCount; ++f) {
    for (int k = 0; k < 3; ++k) {
      ASSERT_EQ(m.faces[f]->neighbour[k], expected.faces[f]->neighbour[k]) << "face " << f << " edge " << k;
      paired += m.faces[f]->neighbour[k] != -1;
    }
  }
  EXPECT_GT(paired, 1500u);
  // A second prepare searches only the edges still open, like the plain way.
  plainAdjacency(expected);
  m.prepare();
  for (uint32_t f = 0; f < m.faceCount; ++f) {
    for (int k = 0; k < 3; ++k) ASSERT_EQ(m.faces[f]->neighbour[k], expected.faces[f]->neighbour[k]);
  }

  // Four faces on one edge pair up in mesh order, first with second and
  // third with fourth; the fourth repeats a vertex and so has the edge
  // twice: the first of the two (edge 1) takes the neighbour.
  Model fan;
  fillModel(fan, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}}, {{0, 1, 2}, {1, 0, 3}, {0, 1, 4}, {1, 1, 0}},
            {{0, 1, 2, 3}});
  Model fanExpected(fan);
  plainAdjacency(fanExpected);
  fan.prepare();
  EXPECT_EQ(fan.faces[0]->neighbour[0], 1);
  EXPECT_EQ(fan.faces[1]->neighbour[0], 0);
  EXPECT_EQ(fan.faces[2]->neighbour[0], 3);
  EXPECT_EQ(fan.faces[3]->neighbour[1], 2);
  EXPECT_EQ(fan.faces[3]->neighbour[2], -1);
  for (int f = 0; f < 4; ++f) {
    for (int k = 0; k < 3; ++k) EXPECT_EQ(fan.faces[f]->neighbour[k], fanExpected.faces[f]->neighbour[k]);
  }
}

TEST(DddModelPrepare, TransparencyFollowsTheMaterials) {
  Material glass;
  glass.diffuse.alpha = 0.5f;
  glass.prepare();
  Model m;
  square(m, false);
  m.prepare();
  EXPECT_FALSE(m.transparent);
  m.meshes[1]->material = &glass;
  m.prepare();
  EXPECT_TRUE(m.transparent);
}

TEST(DddModelCopy, CopyHasEqualGeometryButNoNameBankListsOrArrays) {
  korvu::MappedBank<Model> bank;
  Model* original = new Model();
  original->name = "hover";
  square(*original, false);
  original->drawAsOne = true;
  original->bufferType = korvu::ddd::BUFFER_HARDWARE;
  original->meshes[1]->recompile = true;
  original->prepare();
  bank += original;

  Model copy(*original);
  EXPECT_EQ(copy.name, "");
  EXPECT_EQ(copy.bank, nullptr);
  EXPECT_EQ(copy.displayList, 0u);
  EXPECT_TRUE(copy.drawAsOne);
  EXPECT_EQ(copy.bufferType, korvu::ddd::BUFFER_HARDWARE);
  EXPECT_EQ(copy.meshFaceTotal, 2u);
  ASSERT_EQ(copy.vertexCount, 4u);
  ASSERT_EQ(copy.faceCount, 2u);
  ASSERT_EQ(copy.meshCount, 2u);
  for (unsigned i = 0; i < 4; ++i) {
    EXPECT_EQ(copy.vertices[i], original->vertices[i]);
    EXPECT_EQ(copy.normals[i], original->normals[i]);
  }
  for (unsigned i = 0; i < 2; ++i) {
    EXPECT_NE(copy.faces[i], original->faces[i]);
    EXPECT_EQ(copy.faces[i]->neighbour[2], original->faces[i]->neighbour[2]);
    EXPECT_EQ(copy.faces[i]->faceNormal, original->faces[i]->faceNormal);
    EXPECT_EQ(copy.faces[i]->texCoord[1], original->faces[i]->texCoord[1]);
    const Mesh* mesh = copy.meshes[i];
    EXPECT_EQ(mesh->owner, &copy);
    EXPECT_EQ(mesh->displayList, 0u);
    EXPECT_EQ(mesh->vertexArray, nullptr);
    EXPECT_EQ(mesh->material, original->meshes[i]->material);
    EXPECT_EQ(mesh->faces, original->meshes[i]->faces);
  }
  EXPECT_TRUE(copy.meshes[1]->recompile);

  // Assigning into a filled model replaces everything it had.
  Model target;
  fillModel(target, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}, {{0}, {0}, {0}});
  target.name = "kept";
  target = *original;
  EXPECT_EQ(target.name, "kept");
  EXPECT_EQ(target.meshCount, 2u);
  EXPECT_EQ(target.meshes.size(), 2u);
  EXPECT_EQ(target.faces.size(), 2u);
  EXPECT_EQ(target.meshes[0]->owner, &target);
}

class DddModelGL : public korvu_test::GLWindowTest {};

TEST_F(DddModelGL, AssignmentReleasesAWholeModelListLeftBehind) {
  Model quad;
  square(quad);
  quad.drawAsOne = true;
  quad.compile();
  const GLuint list = quad.displayList;
  ASSERT_NE(list, 0u);
  ASSERT_TRUE(glIsList(list));
  // No longer drawn as one: uncompile leaves the list, the assignment must not.
  quad.drawAsOne = false;
  Model other;
  square(other);
  quad = other;
  EXPECT_EQ(quad.displayList, 0u);
  EXPECT_FALSE(glIsList(list));
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST(DddModelAppend, AppendShiftsIndicesAndKeepsDerivedData) {
  Model a;
  square(a);
  Model b;
  fillModel(b, {{0, 0, 1}, {1, 0, 1}, {0, 1, 1}}, {{0, 1, 2}}, {{0}});
  b.faces[0]->neighbour[0] = 0;
  a += b;
  EXPECT_EQ(a.vertexCount, 7u);
  EXPECT_EQ(a.normals.size(), 7u);
  ASSERT_EQ(a.faceCount, 3u);
  EXPECT_EQ(a.faces[2]->vertex[0], 4);
  EXPECT_EQ(a.faces[2]->vertex[2], 6);
  EXPECT_EQ(a.faces[2]->neighbour[0], -1);
  EXPECT_EQ(a.faces[2]->texCoord[1], Vector2D(1, 0));
  ASSERT_EQ(a.meshCount, 2u);
  EXPECT_EQ(a.meshes[1]->owner, &a);
  EXPECT_EQ(a.meshes[1]->faces[0], 2u);
  a.prepare();
  EXPECT_EQ(a.meshFaceTotal, 3u);

  // Appending a model to itself appends exactly one copy.
  Model twice;
  square(twice);
  twice += twice;
  EXPECT_EQ(twice.vertexCount, 8u);
  ASSERT_EQ(twice.faceCount, 4u);
  ASSERT_EQ(twice.meshCount, 2u);
  EXPECT_EQ(twice.faces[3]->vertex[2], 7);
  EXPECT_EQ(twice.meshes[1]->faces, (std::vector<uint32_t>{2, 3}));
}

TEST(DddVertexArray, SharedCornersMergeExactly) {
  Model m;
  square(m);
  VertexArray plain(korvu::ddd::VERTEXARRAY_N3F_V3F);
  plain += *m.meshes[0];
  EXPECT_EQ(plain.corners.size(), 4u);
  EXPECT_EQ(plain.indexList.size(), 6u);
  plain.pack();
  EXPECT_EQ(plain.vertexCount, 4u);
  EXPECT_EQ(plain.indexCount, 6u);
  EXPECT_TRUE(plain.corners.empty());
  EXPECT_TRUE(plain.indexList.empty());
  // First appearance order: 0,1,2 then 0 and 2 again, then 3.
  const uint32_t expected[6] = {0, 1, 2, 0, 2, 3};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(plain.indices[i], expected[i]);
  // Element 2 is vertex 2: normal then position.
  const float* e = plain.data + 2 * plain.getElementCount();
  EXPECT_FLOAT_EQ(e[2], 1.0f);
  EXPECT_FLOAT_EQ(e[3], 1.0f);
  EXPECT_FLOAT_EQ(e[4], 1.0f);
  EXPECT_FLOAT_EQ(e[5], 0.0f);

  // A different normal on one shared corner splits it.
  m.faces[1]->normal[0] = Vector3D(0, 0.0001f, 1);
  VertexArray split(korvu::ddd::VERTEXARRAY_N3F_V3F);
  split += *m.meshes[0];
  EXPECT_EQ(split.corners.size(), 5u);

  // Components compare as numbers: 0 and -0 are the same corner.
  m.faces[1]->normal[0] = Vector3D(-0.0f, 0, 1);
  VertexArray signedZero(korvu::ddd::VERTEXARRAY_N3F_V3F);
  signedZero += *m.meshes[0];
  EXPECT_EQ(signedZero.corners.size(), 4u);
}

TEST(DddVertexArray, TextureCoordinatesSeparateOnlyTexturedArrays) {
  Model m;
  square(m);
  // Corner 0 of face 1 uses vertex 0 with texture (0,0) like face 0 does;
  // give it another coordinate.
  m.faces[1]->texCoord[0] = Vector2D(0.5f, 0.5f);
  m.faces[1]->texCoord[1] = Vector2D(1, 1);
  VertexArray textured(korvu::ddd::VERTEXARRAY_T2F_N3F_V3F);
  textured += *m.meshes[0];
  EXPECT_EQ(textured.corners.size(), 6u);
  textured.pack();
  EXPECT_EQ(textured.getElementSize(), 32u);
  // s, t come first in a textured element.
  EXPECT_FLOAT_EQ(textured.data[3 * 8 + 0], 0.5f);

  VertexArray plain(korvu::ddd::VERTEXARRAY_N3F_V3F);
  plain += *m.meshes[0];
  EXPECT_EQ(plain.corners.size(), 4u);
  EXPECT_EQ(plain.getElementSize(), 24u);
}

TEST(DddVertexArray, EmptyMeshPacksEmpty) {
  Model m;
  fillModel(m, {{0, 0, 0}}, {}, {{}});
  VertexArray a(korvu::ddd::VERTEXARRAY_N3F_V3F);
  a += *m.meshes[0];
  a.pack();
  EXPECT_EQ(a.vertexCount, 0u);
  EXPECT_EQ(a.indexCount, 0u);
  a.release();
  EXPECT_EQ(a.data, nullptr);
  EXPECT_EQ(a.indices, nullptr);
}

TEST(DddMeshPack, ModelsWithoutBufferTypeStayImmediate) {
  const bool hadBuffers = korvu::ddd::ext_GL_ARB_vertex_buffer_object;
  korvu::ddd::ext_GL_ARB_vertex_buffer_object = false;
  Model m;
  square(m, false);
  m.pack();
  EXPECT_EQ(m.meshes[0]->vertexArray, nullptr);
  m.bufferType = korvu::ddd::BUFFER_SOFTWARE;
  m.pack();
  ASSERT_NE(m.meshes[0]->vertexArray, nullptr);
  EXPECT_EQ(m.meshes[0]->vertexArray->type, korvu::ddd::VERTEXARRAY_N3F_V3F);
  // Without buffer objects the elements stay in client memory.
  EXPECT_EQ(m.meshes[0]->vertexArray->vertexCount, 3u);
  EXPECT_NE(m.meshes[0]->vertexArray->data, nullptr);
  m.unpack();
  EXPECT_EQ(m.meshes[0]->vertexArray, nullptr);
  EXPECT_FALSE(m.meshes[0]->recompile);

  // A textured material packs texture coordinates.
  korvu::Image picture("p", "p.png", Vector2D(0, 0));
  Material textured;
  textured.texture = &picture;
  m.meshes[1]->material = &textured;
  m.pack();
  EXPECT_EQ(m.meshes[1]->vertexArray->type, korvu::ddd::VERTEXARRAY_T2F_N3F_V3F);
  m.unpack();
  korvu::ddd::ext_GL_ARB_vertex_buffer_object = hadBuffers;
}

TEST(DddCube, GeometryWindingAndTextureCoordinates) {
  Cube cube(10.0f, &korvu::ddd::defMaterial);
  ASSERT_EQ(cube.vertexCount, 8u);
  ASSERT_EQ(cube.faceCount, 12u);
  ASSERT_EQ(cube.meshCount, 6u);
  EXPECT_TRUE(cube.name.empty());
  EXPECT_FALSE(cube.drawAsOne);
  std::set<std::array<float, 3>> corners;
  for (const Vector3D& v : cube.vertices) {
    EXPECT_EQ(std::fabs(v.x), 10.0f);
    EXPECT_EQ(std::fabs(v.y), 10.0f);
    EXPECT_EQ(std::fabs(v.z), 10.0f);
    corners.insert({v.x, v.y, v.z});
  }
  EXPECT_EQ(corners.size(), 8u);

  // Each side: its two faces lie in the side's plane, carry its outward
  // normal on every corner and wind counter-clockwise seen from outside.
  const Vector3D outward[6] = {{0, 0, 1}, {0, 0, -1}, {0, 1, 0}, {0, -1, 0}, {-1, 0, 0}, {1, 0, 0}};
  for (int side = 0; side < 6; ++side) {
    const Mesh* mesh = cube.meshes[side];
    ASSERT_EQ(mesh->faceCount, 2u);
    EXPECT_EQ(mesh->material, &korvu::ddd::defMaterial);
    std::set<int> used;
    for (int k = 0; k < 2; ++k) {
      EXPECT_EQ(mesh->faces[k], static_cast<uint32_t>(2 * side + k));
      const Face* f = cube.faces[mesh->faces[k]];
      const Vector3D& a = cube.vertices[f->vertex[0]];
      const Vector3D& b = cube.vertices[f->vertex[1]];
      const Vector3D& c = cube.vertices[f->vertex[2]];
      Vector3D n = korvu::crossProduct(b - a, c - a);
      n.normalize();
      expectVec(n, outward[side].x, outward[side].y, outward[side].z);
      for (int corner = 0; corner < 3; ++corner) {
        EXPECT_EQ(f->normal[corner], outward[side]);
        EXPECT_NEAR(korvu::dotProduct(cube.vertices[f->vertex[corner]], outward[side]), 10.0f, 1e-5f);
        used.insert(f->vertex[corner]);
      }
    }
    EXPECT_EQ(used.size(), 4u) << "side " << side;
  }
  // Mesh 3 is the bottom, y = -10.
  for (int k = 0; k < 2; ++k) {
    const Face* f = cube.faces[cube.meshes[korvu::ddd::CUBE_BOTTOM]->faces[k]];
    for (int c = 0; c < 3; ++c) EXPECT_EQ(cube.vertices[f->vertex[c]].y, -10.0f);
  }
  // Texture coordinates belong to the vertex within a side: on the front,
  // vertex 2 is (0,0) in both faces that use it; on the right, vertex 5 is (0,1).
  const Face* front1 = cube.faces[1];
  EXPECT_EQ(front1->vertex[1], 2);
  EXPECT_EQ(front1->texCoord[1], Vector2D(0, 0));
  EXPECT_EQ(front1->texCoord[0], Vector2D(0, 1));  // vertex 1
  const Face* right0 = cube.faces[10];
  EXPECT_EQ(right0->vertex[0], 5);
  EXPECT_EQ(right0->texCoord[0], Vector2D(0, 1));

  Material sky;
  cube.setMaterial(korvu::ddd::CUBE_TOP, &sky);
  EXPECT_EQ(cube.meshes[2]->material, &sky);
  EXPECT_EQ(cube.meshes[3]->material, &korvu::ddd::defMaterial);
}

namespace {

// A closed box from the cube (prepared), for shadow volumes.
void expectQuadsAreSilhouette(const ShadowModel& s, const Vector3D& light) {
  for (unsigned q = 0; q < s.quadCount; ++q) {
    const Vector3D* quad = &s.volume[q * 4];
    Vector3D far0 = quad[0] + light * korvu::ddd::DDD_INFINITY;
    Vector3D far1 = quad[1] + light * korvu::ddd::DDD_INFINITY;
    EXPECT_EQ(quad[2], far1);
    EXPECT_EQ(quad[3], far0);
  }
}

}  // namespace

TEST(DddShadowVolume, SilhouetteOfABoxSeenAlongAnAxis) {
  Cube box(1.0f, &korvu::ddd::defMaterial);
  // One mesh holding all twelve faces, so the whole box casts.
  Model single;
  fillWholeCube(single, box, &korvu::ddd::defMaterial);
  single.prepare();

  ShadowModel shadow;
  static_cast<Model&>(shadow) = single;
  shadow.initData();
  ASSERT_EQ(shadow.volume.size(), 12u * 12u);
  const Vector3D down(0, -1, 0);
  shadow.generateShadowVolume(down);
  // Light from above: the faces turned away are the two of the bottom; their
  // outer edges (four sides of the square) are the silhouette.
  EXPECT_EQ(shadow.quadCount, 4u);
  for (const Face* f : shadow.faces) {
    EXPECT_EQ(f->lit, f->faceNormal.y < -0.5f);
  }
  expectQuadsAreSilhouette(shadow, down);
  for (unsigned q = 0; q < shadow.quadCount; ++q) {
    EXPECT_EQ(shadow.volume[q * 4].y, -1.0f);
    EXPECT_EQ(shadow.volume[q * 4 + 1].y, -1.0f);
  }

  // A light direction within 0.01 of the last one keeps the quads.
  shadow.quadCount = 99;
  shadow.generateShadowVolume(Vector3D(0.0f, -1.0f, 0.01f));
  EXPECT_EQ(shadow.quadCount, 99u);
  shadow.generateShadowVolume(Vector3D(0.0f, -1.0101f, 0.0f));
  EXPECT_EQ(shadow.quadCount, 4u);

  // A zero direction flags no face and builds nothing.
  shadow.generateShadowVolume(Vector3D(0, 0, 0));
  EXPECT_EQ(shadow.quadCount, 0u);

  // Seen diagonally, three faces of the box are turned away: six silhouette edges.
  Vector3D diagonal(-1, -1, -1);
  diagonal.normalize();
  shadow.generateShadowVolume(diagonal);
  EXPECT_EQ(shadow.quadCount, 6u);
  expectQuadsAreSilhouette(shadow, diagonal);
}

TEST(DddShadowVolume, OnlyTheFirstMeshCastsAndOpenEdgesAlwaysDo) {
  Model m;
  // Mesh 0: one lone triangle facing -z; mesh 1: another one.
  fillModel(m, {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {5, 5, 0}, {5, 6, 0}, {6, 5, 0}}, {{0, 1, 2}, {3, 4, 5}}, {{0}, {1}});
  m.prepare();
  ShadowModel s;
  static_cast<Model&>(s) = m;
  s.initData();
  s.generateShadowVolume(Vector3D(0, 0, -1));
  // The light points the way the faces face, so they count as turned away
  // and every open edge of mesh 0 casts.
  EXPECT_EQ(s.quadCount, 3u);
  for (unsigned q = 0; q < s.quadCount; ++q) EXPECT_LT(s.volume[q * 4].x, 2.0f);
  s.generateShadowVolume(Vector3D(0, 0, 1));
  EXPECT_EQ(s.quadCount, 0u);
}

TEST(DddShadowVolume, UnpreparedSourceStillCastsTheRightShadow) {
  Cube box(1.0f, &korvu::ddd::defMaterial);
  Model single;
  fillWholeCube(single, box, &korvu::ddd::defMaterial);
  // Not prepared: no face normals, no neighbours.
  korvu::ddd::ModelObject caster(&single);
  caster.setShadowModel(&single);
  ASSERT_NE(caster.shadowModel, nullptr);
  caster.shadowModel->generateShadowVolume(Vector3D(0, -1, 0));
  EXPECT_EQ(caster.shadowModel->quadCount, 4u);
  // The source itself is untouched.
  EXPECT_EQ(single.faces[0]->neighbour[0], -1);
  EXPECT_EQ(single.faces[0]->faceNormal, Vector3D(0, 0, 0));

  // Setting a shadow model twice leaves one; null removes it.
  caster.setShadowModel(&single);
  EXPECT_NE(caster.shadowModel, nullptr);
  caster.setShadowModel(nullptr);
  EXPECT_EQ(caster.shadowModel, nullptr);
  caster.setShadowModel(nullptr);
  EXPECT_EQ(caster.shadowModel, nullptr);
}
