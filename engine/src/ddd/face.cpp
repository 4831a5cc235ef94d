#include "ddd/face.h"

namespace korvu {
namespace ddd {

Face::Face() : Face(0, 0, 0) {}

Face::Face(int i, int j, int k) : vertex{i, j, k}, neighbour{-1, -1, -1}, lit(false) {}

Face::Face(int i, int j, int k, const Vector3D& n0, const Vector3D& n1, const Vector3D& n2) : Face(i, j, k) {
  normal[0] = n0;
  normal[1] = n1;
  normal[2] = n2;
}

Face::Face(int i, int j, int k, const Vector3D& n0, const Vector3D& n1, const Vector3D& n2, const Vector2D& t0,
           const Vector2D& t1, const Vector2D& t2)
    : Face(i, j, k, n0, n1, n2) {
  texCoord[0] = t0;
  texCoord[1] = t1;
  texCoord[2] = t2;
}

}  // namespace ddd
}  // namespace korvu
