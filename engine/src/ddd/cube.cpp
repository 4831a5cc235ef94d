#include "ddd/cube.h"

namespace korvu {
namespace ddd {

namespace {

struct CubeSide {
  Vector3D normal;
  int faces[2][3];
  // Texture coordinate of each of the side's four vertices.
  int vertex[4];
  Vector2D texCoord[4];
};

// Two faces per side, wound counter-clockwise seen from outside.
const CubeSide SIDES[6] = {
    {{0, 0, 1}, {{1, 3, 0}, {1, 2, 3}}, {0, 1, 2, 3}, {{1, 1}, {0, 1}, {0, 0}, {1, 0}}},
    {{0, 0, -1}, {{4, 6, 5}, {4, 7, 6}}, {4, 5, 6, 7}, {{0, 1}, {1, 1}, {1, 0}, {0, 0}}},
    {{0, 1, 0}, {{7, 2, 6}, {7, 3, 2}}, {2, 3, 6, 7}, {{0, 1}, {1, 1}, {0, 0}, {1, 0}}},
    {{0, -1, 0}, {{0, 5, 1}, {0, 4, 5}}, {0, 1, 4, 5}, {{1, 0}, {0, 0}, {1, 1}, {0, 1}}},
    {{-1, 0, 0}, {{0, 7, 4}, {0, 3, 7}}, {0, 3, 4, 7}, {{0, 1}, {0, 0}, {1, 1}, {1, 0}}},
    {{1, 0, 0}, {{5, 2, 1}, {5, 6, 2}}, {1, 2, 5, 6}, {{1, 1}, {1, 0}, {0, 1}, {0, 0}}},
};

Vector2D texCoordOf(const CubeSide& side, int vertex) {
  for (int i = 0; i < 4; ++i) {
    if (side.vertex[i] == vertex) return side.texCoord[i];
  }
  return Vector2D(0, 0);
}

}  // namespace

Cube::Cube(float s, Material* material) {
  initVertices(8);
  const Vector3D positions[8] = {{-s, -s, s}, {s, -s, s}, {s, s, s}, {-s, s, s},
                                 {-s, -s, -s}, {s, -s, -s}, {s, s, -s}, {-s, s, -s}};
  for (int i = 0; i < 8; ++i) vertices[i] = positions[i];
  initFaces(12);
  initMeshes(6);
  for (int m = 0; m < 6; ++m) {
    const CubeSide& side = SIDES[m];
    meshes[m]->init(2, material);
    for (int k = 0; k < 2; ++k) {
      const int* v = side.faces[k];
      Face* f = faces[2 * m + k];
      *f = Face(v[0], v[1], v[2], side.normal, side.normal, side.normal, texCoordOf(side, v[0]),
                texCoordOf(side, v[1]), texCoordOf(side, v[2]));
      meshes[m]->faces[k] = static_cast<uint32_t>(2 * m + k);
    }
  }
}

void Cube::setMaterial(CubeFace side, Material* material) {
  const int index = static_cast<int>(side);
  if (index < 0 || index >= static_cast<int>(meshes.size())) return;
  meshes[index]->material = material;
}

}  // namespace ddd
}  // namespace korvu
