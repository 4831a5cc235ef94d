// Small known models for the tests (and the benchmarks) of models,
// rendering, collision and model files.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <vector>

#include "ddd/collisionmodel.h"
#include "ddd/cube.h"
#include "ddd/face.h"
#include "ddd/material.h"
#include "ddd/mesh.h"
#include "ddd/model.h"
#include "mathtypes.h"

namespace korvu_test {

using korvu::Vector2D;
using korvu::Vector3D;
using Triangle = std::array<int, 3>;

// Fills m with the given vertices and triangles, and one mesh on `material`
// per entry of meshFaces (the faces it holds). Every corner gets `normal`;
// the corners of each triangle get the texture coordinates (0,0), (1,0) and
// (0,1).
inline void fillModel(korvu::ddd::Model& m, const std::vector<Vector3D>& vertices,
                      const std::vector<Triangle>& triangles,
                      const std::vector<std::vector<uint32_t>>& meshFaces,
                      korvu::ddd::Material* material = &korvu::ddd::defMaterial,
                      const Vector3D& normal = Vector3D(0, 0, 1)) {
  using korvu::ddd::Face;
  m.initVertices(static_cast<unsigned>(vertices.size()));
  for (std::size_t i = 0; i < vertices.size(); ++i) m.vertices[i] = vertices[i];
  m.initFaces(static_cast<unsigned>(triangles.size()));
  for (std::size_t i = 0; i < triangles.size(); ++i) {
    const Triangle& t = triangles[i];
    *m.faces[i] = Face(t[0], t[1], t[2], normal, normal, normal, Vector2D(0, 0), Vector2D(1, 0), Vector2D(0, 1));
  }
  m.initMeshes(static_cast<unsigned>(meshFaces.size()));
  for (std::size_t k = 0; k < meshFaces.size(); ++k) {
    m.meshes[k]->init(static_cast<unsigned>(meshFaces[k].size()), material);
    for (std::size_t i = 0; i < meshFaces[k].size(); ++i) m.meshes[k]->faces[i] = meshFaces[k][i];
  }
}

// A square of two triangles (corners 0-1-2 and 0-2-3) in one mesh, every
// corner with `normal`; prepared.
inline void fillQuad(korvu::ddd::Model& m, const Vector3D& c0, const Vector3D& c1, const Vector3D& c2,
                     const Vector3D& c3, const Vector3D& normal, korvu::ddd::Material* material) {
  fillModel(m, {c0, c1, c2, c3}, {{0, 1, 2}, {0, 2, 3}}, {{0, 1}}, material, normal);
  m.prepare();
}

// The cube's vertices and faces with all twelve faces in one mesh, so that
// the whole box casts a shadow. Not prepared.
inline void fillWholeCube(korvu::ddd::Model& m, const korvu::ddd::Cube& cube, korvu::ddd::Material* material) {
  m.initVertices(cube);
  m.initFaces(cube);
  m.initMeshes(1u);
  m.meshes[0]->init(m.faceCount, material);
  for (uint32_t i = 0; i < m.faceCount; ++i) m.meshes[0]->faces[i] = i;
}

// A model of the given triangles, all in one mesh on the default material.
// Every corner gets the triangle's own normal, so faces can be oriented by
// their corner-0 normal.
inline std::unique_ptr<korvu::ddd::Model> makeModel(const std::vector<Vector3D>& vertices,
                                                    const std::vector<Triangle>& triangles,
                                                    int facesPerMesh = 0) {
  using namespace korvu::ddd;
  std::unique_ptr<Model> m(new Model());
  m->initVertices(static_cast<unsigned>(vertices.size()));
  for (std::size_t i = 0; i < vertices.size(); ++i) m->vertices[i] = vertices[i];
  m->initFaces(static_cast<unsigned>(triangles.size()));
  for (std::size_t f = 0; f < triangles.size(); ++f) {
    Face& face = *m->faces[f];
    const Triangle& t = triangles[f];
    Vector3D n = korvu::crossProduct(vertices[t[1]] - vertices[t[0]], vertices[t[2]] - vertices[t[0]]);
    n.normalize();
    for (int k = 0; k < 3; ++k) {
      face.vertex[k] = t[k];
      face.normal[k] = n;
    }
  }
  std::size_t perMesh = facesPerMesh > 0 ? static_cast<std::size_t>(facesPerMesh) : triangles.size();
  std::size_t meshCount = triangles.empty() ? 1 : (triangles.size() + perMesh - 1) / perMesh;
  m->initMeshes(static_cast<unsigned>(meshCount));
  for (std::size_t i = 0; i < meshCount; ++i) {
    std::size_t first = i * perMesh;
    std::size_t count = std::min(perMesh, triangles.size() - first);
    m->meshes[i]->init(static_cast<unsigned>(count), &defMaterial);
    for (std::size_t j = 0; j < count; ++j) m->meshes[i]->faces[j] = static_cast<uint32_t>(first + j);
  }
  return m;
}

// An axis-aligned box from lo to hi as a modelling program stores it: every
// side has its own four corners (24 vertices), two outward triangles per
// side.
inline std::unique_ptr<korvu::ddd::Model> makeBox(const Vector3D& lo, const Vector3D& hi) {
  std::vector<Vector3D> v;
  std::vector<Triangle> t;
  auto side = [&](Vector3D a, Vector3D b, Vector3D c, Vector3D d) {
    int base = static_cast<int>(v.size());
    v.insert(v.end(), {a, b, c, d});
    t.push_back({base, base + 1, base + 2});
    t.push_back({base, base + 2, base + 3});
  };
  const float x0 = lo.x, y0 = lo.y, z0 = lo.z, x1 = hi.x, y1 = hi.y, z1 = hi.z;
  side({x0, y0, z1}, {x1, y0, z1}, {x1, y1, z1}, {x0, y1, z1});  // +z
  side({x1, y0, z0}, {x0, y0, z0}, {x0, y1, z0}, {x1, y1, z0});  // -z
  side({x0, y1, z1}, {x1, y1, z1}, {x1, y1, z0}, {x0, y1, z0});  // +y
  side({x0, y0, z0}, {x1, y0, z0}, {x1, y0, z1}, {x0, y0, z1});  // -y
  side({x1, y0, z1}, {x1, y0, z0}, {x1, y1, z0}, {x1, y1, z1});  // +x
  side({x0, y0, z0}, {x0, y0, z1}, {x0, y1, z1}, {x0, y1, z0});  // -x
  return makeModel(v, t);
}

// A flat square grid at height y from -half to +half in x and z, facing up,
// cells x cells quads of two triangles each; facesPerMesh splits it into
// several meshes.
inline std::unique_ptr<korvu::ddd::Model> makeGrid(float half, float y, int cells,
                                                   int facesPerMesh = 0) {
  std::vector<Vector3D> v;
  std::vector<Triangle> t;
  const float step = 2.0f * half / static_cast<float>(cells);
  for (int i = 0; i <= cells; ++i) {
    for (int j = 0; j <= cells; ++j) {
      v.push_back({-half + step * static_cast<float>(j), y, -half + step * static_cast<float>(i)});
    }
  }
  const int row = cells + 1;
  for (int i = 0; i < cells; ++i) {
    for (int j = 0; j < cells; ++j) {
      int a = i * row + j, b = a + 1, c = a + row, d = c + 1;
      // Counter-clockwise seen from above (+y).
      t.push_back({a, c, b});
      t.push_back({b, c, d});
    }
  }
  return makeModel(v, t, facesPerMesh);
}

// An ellipsoid with the given half axes, `slices` around and `stacks` from
// pole to pole, wound outwards.
inline std::unique_ptr<korvu::ddd::Model> makeEllipsoid(const Vector3D& axes, int slices, int stacks) {
  std::vector<Vector3D> v;
  std::vector<Triangle> t;
  v.push_back({0, axes.y, 0});
  for (int i = 1; i < stacks; ++i) {
    float phi = 3.1415927f * static_cast<float>(i) / static_cast<float>(stacks);
    for (int j = 0; j < slices; ++j) {
      float theta = 6.2831853f * static_cast<float>(j) / static_cast<float>(slices);
      v.push_back({axes.x * std::sin(phi) * std::cos(theta), axes.y * std::cos(phi),
                   axes.z * std::sin(phi) * std::sin(theta)});
    }
  }
  v.push_back({0, -axes.y, 0});
  const int bottom = static_cast<int>(v.size()) - 1;
  auto ring = [slices](int i, int j) { return 1 + (i - 1) * slices + (j % slices); };
  for (int j = 0; j < slices; ++j) t.push_back({0, ring(1, j + 1), ring(1, j)});
  for (int i = 1; i + 1 < stacks; ++i) {
    for (int j = 0; j < slices; ++j) {
      t.push_back({ring(i, j), ring(i, j + 1), ring(i + 1, j)});
      t.push_back({ring(i, j + 1), ring(i + 1, j + 1), ring(i + 1, j)});
    }
  }
  for (int j = 0; j < slices; ++j) t.push_back({bottom, ring(stacks - 1, j), ring(stacks - 1, j + 1)});
  return makeModel(v, t);
}

inline std::unique_ptr<korvu::ddd::CollisionModel> prepared(const korvu::ddd::Model& model) {
  std::unique_ptr<korvu::ddd::CollisionModel> c(new korvu::ddd::CollisionModel(model, false));
  c->prepare();
  return c;
}

}  // namespace korvu_test
