#include "rendercontext.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include "korvu.h"

namespace korvu {

RenderContext* currentRenderContext = nullptr;

namespace {

GLenum hintMode(short value) {
  if (value > 0) return GL_NICEST;
  if (value < 0) return GL_FASTEST;
  return GL_DONT_CARE;
}

}  // namespace

void RenderContext::applyBase() {
  currentRenderContext = this;
  glPolygonMode(GL_FRONT_AND_BACK, wireframe ? GL_LINE : GL_FILL);
  glShadeModel(smooth != 0 ? GL_SMOOTH : GL_FLAT);
  glHint(GL_FOG_HINT, hintMode(fogHint));
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, hintMode(perspectiveHint));
  glHint(GL_POINT_SMOOTH_HINT, hintMode(pointSmoothHint));
  glHint(GL_POLYGON_SMOOTH_HINT, hintMode(polygonSmoothHint));
  if (lighting) {
    glEnable(GL_LIGHTING);
    glLightModelf(GL_LIGHT_MODEL_LOCAL_VIEWER, 1.0f);
    glLightModeli(GL_LIGHT_MODEL_COLOR_CONTROL, separateSpecular > 0 ? GL_SEPARATE_SPECULAR_COLOR : GL_SINGLE_COLOR);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient.rgba());
  } else {
    glDisable(GL_LIGHTING);
  }
}

void RenderContext::apply() { applyBase(); }

void RenderContext2D::apply() {
  applyBase();
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  // Without a current viewport there is no area to map; the projection stays
  // the identity.
  if (currentViewport) gluOrtho2D(0.0, currentViewport->width, 0.0, currentViewport->height);
  glMatrixMode(GL_MODELVIEW);
  glDisable(GL_DEPTH_TEST);
  if (blending) {
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  } else {
    glDisable(GL_BLEND);
  }
  glDisable(GL_NORMALIZE);
  glDisable(GL_CULL_FACE);
  glDisable(GL_FOG);
}

void RenderContext3D::apply() {
  applyBase();
  glClearDepth(clearDepth);
  if (depthTest) {
    glEnable(GL_DEPTH_TEST);
  } else {
    glDisable(GL_DEPTH_TEST);
  }
  glDisable(GL_BLEND);
  glEnable(GL_NORMALIZE);
  glCullFace(GL_BACK);
  glEnable(GL_CULL_FACE);
  if (fogMode != 0) {
    GLint mode = fogMode == 1 ? GL_LINEAR : (fogMode == 2 ? GL_EXP : GL_EXP2);
    glFogi(GL_FOG_MODE, mode);
    glFogf(GL_FOG_START, fogStart);
    glFogf(GL_FOG_END, fogEnd);
    glFogf(GL_FOG_DENSITY, fogDensity);
    glFogfv(GL_FOG_COLOR, fogColor.rgba());
    glHint(GL_FOG_HINT, hintMode(fogQualityHint));
    glEnable(GL_FOG);
  } else {
    glDisable(GL_FOG);
  }
}

void resetCursor() { glLoadIdentity(); }

void moveCursor(const Vector2D& v) { glTranslatef(v.x, v.y, 0.0f); }

void moveCursor(const Vector3D& v) { glTranslatef(v.x, v.y, v.z); }

void rotateCursor(float angle, const Vector3D& axis) { glRotatef(angle, axis.x, axis.y, axis.z); }

}  // namespace korvu
