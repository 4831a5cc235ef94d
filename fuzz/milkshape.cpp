// Feeds arbitrary bytes to the Milkshape3D loader as a model file, with a
// material and an image bank; whatever loads is written back, read again,
// turned into a collision model and queried.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "ddd/collideable.h"
#include "ddd/collision.h"
#include "ddd/collisionmodel.h"
#include "ddd/materialbank.h"
#include "ddd/milkshape.h"
#include "ddd/milkshapewriter.h"
#include "debug.h"
#include "image.h"

using namespace korvu;
using namespace korvu::ddd;

namespace {

void quietLog() {
  static bool done = false;
  if (done) return;
  done = true;
  // Bad files are expected here; their warnings would only flood the run.
  debug::groups[dbgDdd] = debug::Group("korvu:3d", debug::DebugLevel::none);
  debug::groups[dbgCore] = debug::Group("korvu:core", debug::DebugLevel::none);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quietLog();
  MaterialBank materials;
  ImageBank images;
  MilkshapeModel model;
  model.name = "fuzzed";
  try {
    model.loadFromMemory(data, size, "fuzz.ms3d", &materials, &images, "textures/");
  } catch (const std::string&) {
    // A refused file must leave the model and the banks untouched.
    if (model.vertexCount || model.faceCount || model.meshCount || !materials.empty() || !images.empty()) {
      __builtin_trap();
    }
    return 0;
  }

  // What was read can be written and read again.
  std::vector<unsigned char> again;
  try {
    again = milkshape::encode(milkshape::fromModel(model));
  } catch (const std::string&) {
    return 0;  // more than the format's 127 materials in use
  }
  MilkshapeModel copy;
  try {
    copy.loadFromMemory(again.data(), again.size(), "copy.ms3d", &materials, &images, "textures/");
  } catch (const std::string&) {
    __builtin_trap();
  }
  if (copy.vertexCount != model.vertexCount || copy.faceCount != model.faceCount ||
      copy.meshCount != model.meshCount) {
    __builtin_trap();
  }

  CollisionModel collision(model, false);
  collision.prepare();
  Collideable mesh(&collision, false, COLLIDEABLE_MESH);
  Vector3D at(0.25f, 0.5f, 0.75f);
  BoundingSphere ball(Vector3D(), 1.0f);
  Collideable sphere(&ball, &at, nullptr, nullptr, COLLIDEABLE_SPHERE);
  delete getIntersection(&sphere, &mesh);
  delete getRayMeshIntersection(at, Vector3D(0, -1, 0), &mesh);
  delete getMeshCollision(&mesh, &mesh, Vector3D(0.5f, -1.0f, 0.25f));
  return 0;
}
