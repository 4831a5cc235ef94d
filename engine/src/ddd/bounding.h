// Bounding volumes of a model's vertices: an axis-aligned box and a sphere
// that keeps its squared radius for cheap distance tests. Plain values.
#pragma once

#include "mathtypes.h"

namespace korvu {
namespace ddd {

class Model;

class BoundingBox {
 public:
  Vector3D min;
  Vector3D max;

  BoundingBox() = default;
  // The box of the model's vertices; all zero for a null or empty model.
  explicit BoundingBox(const Model* model);
  // The two corners as given (not reordered).
  BoundingBox(const Vector3D& min, const Vector3D& max) : min(min), max(max) {}
};

class BoundingSphere {
 public:
  // In the model's space.
  Vector3D center;
  float radius = 0.0f;
  float radiusSquared = 0.0f;

  BoundingSphere() = default;
  // Encloses the model's vertices, centred on the centre of their box, or
  // on the model's origin with aroundOrigin (which stays valid under any
  // rotation about the origin). Not the smallest enclosing sphere. All zero
  // for a null or empty model.
  BoundingSphere(const Model* model, bool aroundOrigin);
  BoundingSphere(const Vector3D& center, float radius)
      : center(center), radius(radius), radiusSquared(radius * radius) {}
};

}  // namespace ddd
}  // namespace korvu
