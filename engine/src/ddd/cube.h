// The cube model, built as the skybox.
#pragma once

#include "ddd/model.h"

namespace korvu {
namespace ddd {

// The six sides of a cube, equal to the index of the side's mesh.
enum CubeFace {
  CUBE_FRONT = 0,
  CUBE_BACK = 1,
  CUBE_TOP = 2,
  CUBE_BOTTOM = 3,
  CUBE_LEFT = 4,
  CUBE_RIGHT = 5,
};

// A cube of half-edge `size` centred on the origin, one mesh per side, each
// face wound counter-clockwise seen from outside. Used as the skybox.
class Cube : public Model {
 public:
  Cube(float size, Material* material);
  void setMaterial(CubeFace side, Material* material);
};

}  // namespace ddd
}  // namespace korvu
