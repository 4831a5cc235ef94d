// Render contexts: bundles of fixed-function OpenGL state set in one call
// (polygon mode, shading, hints, lighting, and for 3D depth test, culling and
// fog), and the cursor of 2D drawing (the current OpenGL matrix).
#pragma once

#include "mathtypes.h"

namespace korvu {

class RenderContext {
 public:
  RenderContext() = default;
  virtual ~RenderContext() = default;

  // Sets the context's OpenGL state and makes it currentRenderContext.
  virtual void apply();

  // Polygons drawn as outlines.
  bool wireframe = false;
  // Smooth shading when not 0, flat when 0.
  int smooth = 0;
  // Quality hints: 0 don't care, above 0 nicest, below 0 fastest.
  short fogHint = 0;
  short perspectiveHint = 0;
  short pointSmoothHint = 0;
  short polygonSmoothHint = 0;
  // Above 0: the specular colour is added after texturing (while lighting).
  short separateSpecular = 0;
  bool lighting = false;
  // Global ambient light of the light model.
  Color ambient{0.2f, 0.2f, 0.2f, 0.1f};

 protected:
  // The state every context sets; each apply starts with it.
  void applyBase();
};

class RenderContext2D : public RenderContext {
 public:
  // One unit per pixel over the current viewport, origin at its bottom left;
  // modelview matrix selected (not reset); no depth test, culling or fog.
  void apply() override;

  // Additive blending weighted by the source alpha.
  bool blending = false;
};

class RenderContext3D : public RenderContext {
 public:
  // Depth test, culling of back faces, normalisation and fog; sets no matrix.
  void apply() override;

  bool depthTest = true;
  // Handed to glClearDepth (OpenGL clamps it into 0..1).
  float clearDepth = 10000.0f;
  // 0 no fog, 1 linear, 2 exponential, anything else exponential squared.
  int fogMode = 0;
  float fogStart = 0.0f;
  float fogEnd = 0.0f;
  float fogDensity = 0.0f;
  // Fog hint used while fog is on (encoded like the other hints).
  short fogQualityHint = 0;
  Color fogColor{0.0f, 0.0f, 0.0f, 0.0f};
};

// The context applied last; null before the first apply.
extern RenderContext* currentRenderContext;

// glLoadIdentity on the current matrix.
void resetCursor();
void moveCursor(const Vector2D& v);
void moveCursor(const Vector3D& v);
// Degrees about the axis.
void rotateCursor(float angle, const Vector3D& axis);

}  // namespace korvu
