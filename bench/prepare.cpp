// Time of Model::prepare and of packing a mesh into a de-duplicated vertex
// array, on one-mesh models the size of a track piece. No window needed: the
// arrays stay in client memory.
//
//   bench_prepare [repetitions] [rings] [segments]
//
// The default torus has 50 x 80 = 4000 vertices and 8000 faces.
#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "ddd/material.h"
#include "ddd/model.h"
#include "ddd/settings.h"
#include "ddd/vertexarray.h"

using korvu::Vector2D;
using korvu::Vector3D;
namespace ddd = korvu::ddd;

namespace {

// A closed torus, rings x segments vertices, two faces per quad, all in one
// mesh. With shuffled set, the faces are listed in random order, so that
// neighbours lie far apart in the mesh. With welded clear, every face gets
// three vertices of its own (as modelling programs store hard edges), so no
// face has a neighbour.
void torus(ddd::Model& m, int rings, int segments, bool shuffled, bool welded) {
  const float pi = 3.14159265f;
  std::vector<Vector3D> points;
  for (int i = 0; i < rings; ++i) {
    const float a = 2 * pi * i / rings;
    for (int j = 0; j < segments; ++j) {
      const float b = 2 * pi * j / segments;
      points.emplace_back((3 + std::cos(a)) * std::cos(b), std::sin(a), (3 + std::cos(a)) * std::sin(b));
    }
  }
  std::vector<std::array<int, 3>> triangles;
  for (int i = 0; i < rings; ++i) {
    for (int j = 0; j < segments; ++j) {
      const int a = i * segments + j, b = i * segments + (j + 1) % segments;
      const int c = ((i + 1) % rings) * segments + j, d = ((i + 1) % rings) * segments + (j + 1) % segments;
      triangles.push_back({a, c, b});
      triangles.push_back({b, c, d});
    }
  }
  if (shuffled) std::shuffle(triangles.begin(), triangles.end(), std::mt19937(7));

  const unsigned vertexCount = static_cast<unsigned>(welded ? points.size() : 3 * triangles.size());
  m.initVertices(vertexCount);
  m.initFaces(static_cast<unsigned>(triangles.size()));
  for (std::size_t f = 0; f < triangles.size(); ++f) {
    int v[3];
    for (int k = 0; k < 3; ++k) {
      v[k] = welded ? triangles[f][k] : static_cast<int>(3 * f + k);
      m.vertices[v[k]] = points[triangles[f][k]];
    }
    const Vector3D& p = points[triangles[f][0]];
    *m.faces[f] = ddd::Face(v[0], v[1], v[2], p, p, p, Vector2D(0, 0), Vector2D(1, 0), Vector2D(0, 1));
  }
  m.initMeshes(1u);
  m.meshes[0]->init(m.faceCount, &ddd::defMaterial);
  for (uint32_t i = 0; i < m.faceCount; ++i) m.meshes[0]->faces[i] = i;
}

double milliseconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

void run(const char* label, int repetitions, int rings, int segments, bool shuffled, bool welded) {
  ddd::Model model;
  torus(model, rings, segments, shuffled, welded);
  model.bufferType = ddd::BUFFER_SOFTWARE;

  double prepareBest = 1e30, packBest = 1e30;
  for (int r = 0; r < repetitions; ++r) {
    // prepare keeps neighbours found earlier; start each run from none.
    for (ddd::Face* f : model.faces) f->neighbour[0] = f->neighbour[1] = f->neighbour[2] = -1;
    auto start = std::chrono::steady_clock::now();
    model.prepare();
    prepareBest = std::min(prepareBest, milliseconds(start));

    start = std::chrono::steady_clock::now();
    model.pack();
    packBest = std::min(packBest, milliseconds(start));
    model.unpack();
  }
  unsigned paired = 0;
  for (const ddd::Face* f : model.faces) {
    for (int k = 0; k < 3; ++k) paired += f->neighbour[k] != -1;
  }
  std::printf("%-28s %5u vertices %5u faces  prepare %8.2f ms  pack %7.2f ms  (%u of %u edges paired)\n", label,
              model.vertexCount, model.faceCount, prepareBest, packBest, paired, 3 * model.faceCount);
}

}  // namespace

int main(int argc, char** argv) {
  const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const int rings = argc > 2 ? std::max(3, std::atoi(argv[2])) : 50;
  const int segments = argc > 3 ? std::max(3, std::atoi(argv[3])) : 80;
  ddd::ext_GL_ARB_vertex_buffer_object = false;  // no context: keep the elements in client memory
  std::printf("best of %d runs each\n", repetitions);
  run("torus, faces in order", repetitions, rings, segments, false, true);
  run("torus, faces shuffled", repetitions, rings, segments, true, true);
  run("torus, unwelded (no pairs)", repetitions, rings, segments, false, false);
  return 0;
}
