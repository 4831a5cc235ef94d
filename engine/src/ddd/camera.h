// The node a view is drawn from, with its projection and its row of
// lens-flare elements.
#pragma once

#include <list>

#include "ddd/object.h"
#include "mathtypes.h"

namespace korvu {

class Image;

namespace ddd {

// Selects the camera's flare texture of an element.
enum FlareParticleType {
  FLARE_STREAKS = 0,
  FLARE_BIG_GLOW = 1,
  FLARE_HARD_GLOW = 2,
  FLARE_HALO = 3,
};

struct FlareParticle {
  FlareParticleType type;
  // Relative size.
  float size;
  // Place on the axis from the light (0) through the viewport centre (1).
  float position;
  Color colour;

  FlareParticle(FlareParticleType type, float size, float position, const Color& colour);
};

class Camera : public Object {
 public:
  // Vertical field of view in degrees.
  double fovy;
  // Width over height.
  double aspect;
  double near;
  double far;
  // Images of the four element types, owned by an image bank.
  const Image* flareTextures[4];
  std::list<FlareParticle> flares;
  // Inverse of the camera's placement in root space; set by drawView.
  Matrix3D view;

  Camera(double fovy, double aspect);

  // Draws the scene below root into the current viewport. Expects
  // korvu::currentViewport to be that viewport and the modelview matrix to
  // be the identity.
  void drawView(Object* root);
  // Computes view from the camera's and its ancestors' placements.
  void computeView();
};

}  // namespace ddd
}  // namespace korvu
