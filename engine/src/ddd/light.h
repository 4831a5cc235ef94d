// A scene node that carries one fixed-function OpenGL light, can cast
// stencil shadows and shows the camera's lens flare when it is in view.
#pragma once

#include <GL/gl.h>

#include "ddd/object.h"
#include "mathtypes.h"

namespace korvu {
namespace ddd {

class Light : public Object {
 public:
  // Viewport pixels (origin lower left) and window depth of the light's
  // origin, from the last flare projection.
  Vector3D screenPosition;
  // A light that is off is not queued.
  bool on;
  // GL_POSITION in the light's own frame.
  float glPosition[4];
  Color ambient;
  Color diffuse;
  Color specular;
  // The spot parameters are loaded only when set.
  bool spot;
  float constantAttenuation;
  float linearAttenuation;
  float quadraticAttenuation;
  float spotCutoff;
  Vector3D spotDirection;
  float spotExponent;
  // Scale of the lens flare; 0 or less for none.
  float flareSize;
  bool castsShadows;
  bool projectsTexture;

  Light();
  ~Light() override;

  void drawSelf() override;
  void buildFrameData() override;
  // Loads the parameters into the given OpenGL light while the modelview
  // matrix holds the light's modelview; projects the light for its flare.
  void apply(GLenum light);
  // Draws the camera's flare elements along the line through the viewport
  // centre when the light's pixel is not covered.
  void drawLensflares();

 private:
  // The buffer holding the one point the flare test feeds back (0 until
  // the first test, or without buffer objects).
  GLuint probeBuffer = 0;

  // Sends that point, from its buffer where there is one.
  void sendProbe();
};

}  // namespace ddd
}  // namespace korvu
