// A copy of a model that builds and draws the shadow volume of its first
// mesh: silhouette edges seen from a light, extruded away from it.
#pragma once

#include <GL/gl.h>

#include <vector>

#include "ddd/model.h"
#include "mathtypes.h"

namespace korvu {
namespace ddd {

class ShadowModel : public Model {
 public:
  // Quad corners, four per quad; room for three quads per face.
  std::vector<Vector3D> volume;
  // Quads built by the last rebuild.
  unsigned quadCount;
  // Light direction of the last rebuild.
  Vector3D lastLight;
  // Buffer object holding the corners, 0 for none.
  GLuint volumeBuffer;

  ShadowModel();
  ~ShadowModel() override;

  // Sizes the volume for the current face list.
  void initData();
  // Rebuilds the quads for a unit light direction in the model's frame,
  // pointing from the light towards the model.
  void generateShadowVolume(const Vector3D& light);
  // Draws the quads; the caller has set matrices and stencil state.
  void drawShadowVolume();
};

}  // namespace ddd
}  // namespace korvu
