#include "ddd/bounding.h"

#include <cmath>

#include "ddd/model.h"

namespace korvu {
namespace ddd {

namespace {

bool hasVertices(const Model* model) {
  return model && model->vertexCount > 0 && !model->vertices.empty();
}

uint32_t usableVertices(const Model& model) {
  return model.vertexCount < model.vertices.size() ? model.vertexCount
                                                   : static_cast<uint32_t>(model.vertices.size());
}

void extend(float v, float& lo, float& hi) {
  if (v < lo) {
    lo = v;
  } else if (v > hi) {
    hi = v;
  }
}

}  // namespace

BoundingBox::BoundingBox(const Model* model) {
  if (!hasVertices(model)) return;
  min = max = model->vertices[0];
  const uint32_t n = usableVertices(*model);
  for (uint32_t i = 1; i < n; ++i) {
    const Vector3D& v = model->vertices[i];
    extend(v.x, min.x, max.x);
    extend(v.y, min.y, max.y);
    extend(v.z, min.z, max.z);
  }
}

BoundingSphere::BoundingSphere(const Model* model, bool aroundOrigin) {
  if (!hasVertices(model)) return;
  if (!aroundOrigin) {
    BoundingBox box(model);
    center = box.min + (box.max - box.min) * 0.5f;
  }
  const uint32_t n = usableVertices(*model);
  for (uint32_t i = 0; i < n; ++i) {
    Vector3D d = model->vertices[i] - center;
    float d2 = dotProduct(d, d);
    if (d2 > radiusSquared) radiusSquared = d2;
  }
  radius = std::sqrt(radiusSquared);
}

}  // namespace ddd
}  // namespace korvu
