// One triangle of a model: three vertex indices with per-corner normals and
// texture coordinates, plus the data that Model::prepare derives from them.
#pragma once

#include <cstdint>

#include "mathtypes.h"

namespace korvu {
namespace ddd {

class Face {
 public:
  // Indices into the owning model's vertex list, corners 0, 1, 2.
  int32_t vertex[3];
  // The normal sent with each corner.
  Vector3D normal[3];
  // Texture coordinate (s, t) of each corner.
  Vector2D texCoord[3];
  // Neighbour across edge k (corners k and (k+1) mod 3), as a position in
  // the face index list of the same mesh; -1 for none.
  int32_t neighbour[3];
  // Unit normal of the triangle, set by Model::prepare.
  Vector3D faceNormal;
  // Scratch flag of the shadow-volume pass: the face turns away from the
  // light. Written before it is read.
  bool lit;

  Face();
  Face(int i, int j, int k);
  Face(int i, int j, int k, const Vector3D& n0, const Vector3D& n1, const Vector3D& n2);
  Face(int i, int j, int k, const Vector3D& n0, const Vector3D& n1, const Vector3D& n2,
       const Vector2D& t0, const Vector2D& t1, const Vector2D& t2);
  Face(const Face& other) = default;
  Face& operator=(const Face& other) = default;
  // Virtual so that a model deletes faces of derived kinds (the collision
  // layer's faces) correctly through its Face pointers.
  virtual ~Face() = default;
};

}  // namespace ddd
}  // namespace korvu
