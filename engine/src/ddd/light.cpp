#include "ddd/light.h"

#include <GL/glu.h>

#include "ddd/camera.h"
#include "ddd/pipeline.h"
#include "ddd/settings.h"
#include "image.h"
#include "korvu.h"

namespace korvu {
namespace ddd {

Light::Light()
    : on(true),
      glPosition{0.0f, 0.0f, 0.0f, 0.0f},
      ambient(0, 0, 0, 1),
      diffuse(1, 1, 1, 1),
      specular(1, 1, 1, 1),
      spot(false),
      constantAttenuation(1.0f),
      linearAttenuation(0.0f),
      quadraticAttenuation(0.0f),
      spotCutoff(180.0f),
      spotDirection(0, 0, -1),
      spotExponent(0.0f),
      flareSize(0.0f),
      castsShadows(false),
      projectsTexture(false) {
  needsViewPos = true;
}

Light::~Light() {
  if (probeBuffer && glptrDeleteBuffersARB) glptrDeleteBuffersARB(1, &probeBuffer);
}

void Light::drawSelf() {}

// Mesa's software driver (22.x) keeps for good the vertex buffer that a draw
// in feedback mode reads from. Sent between glBegin and glEnd, the point
// lands in the driver's shared immediate-mode buffer, and every such buffer
// a flare test touched stayed allocated (with models drawn in immediate mode
// the best part of a megabyte a frame); replayed from a display list, it
// kept the list storage that the race's compiled models share (a megabyte a
// race). A buffer of the light's own, holding just the point, is all the
// driver can keep. Without buffer objects, or inside a recording, the point
// goes as it is.
void Light::sendProbe() {
  if (!probeBuffer && ext_GL_ARB_vertex_buffer_object && !recordingDisplayList()) {
    static const GLfloat ORIGIN[3] = {0.0f, 0.0f, 0.0f};
    glptrGenBuffersARB(1, &probeBuffer);
    if (probeBuffer) {
      glptrBindBufferARB(GL_ARRAY_BUFFER_ARB, probeBuffer);
      glptrBufferDataARB(GL_ARRAY_BUFFER_ARB, sizeof ORIGIN, ORIGIN, GL_STATIC_DRAW_ARB);
      glptrBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
    }
  }
  if (!probeBuffer || recordingDisplayList()) {
    glBegin(GL_POINTS);
    glVertex3f(0.0f, 0.0f, 0.0f);
    glEnd();
    return;
  }
  glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
  glptrBindBufferARB(GL_ARRAY_BUFFER_ARB, probeBuffer);
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(3, GL_FLOAT, 0, nullptr);
  glDrawArrays(GL_POINTS, 0, 1);
  glptrBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
  glPopClientAttrib();
}

void Light::buildFrameData() {
  if (!on) return;
  pipeline.lights.push_back(this);
  if (settings.shadows && castsShadows) pipeline.shadowLights.push_back(this);
  if (settings.projectiveTextures && projectsTexture) pipeline.projectorLights.push_back(this);
}

void Light::apply(GLenum light) {
  glLightfv(light, GL_AMBIENT, ambient.rgba());
  glLightfv(light, GL_DIFFUSE, diffuse.rgba());
  glLightfv(light, GL_SPECULAR, specular.rgba());
  glLightfv(light, GL_POSITION, glPosition);
  glLightf(light, GL_CONSTANT_ATTENUATION, constantAttenuation);
  glLightf(light, GL_LINEAR_ATTENUATION, linearAttenuation);
  glLightf(light, GL_QUADRATIC_ATTENUATION, quadraticAttenuation);
  if (spot) {
    glLightf(light, GL_SPOT_CUTOFF, spotCutoff);
    const float direction[3] = {spotDirection.x, spotDirection.y, spotDirection.z};
    glLightfv(light, GL_SPOT_DIRECTION, direction);
    glLightf(light, GL_SPOT_EXPONENT, spotExponent);
  } else {
    glLightf(light, GL_SPOT_CUTOFF, 180.0f);
  }

  const Camera* camera = pipeline.camera;
  if (!settings.lensflares || flareSize <= 0.0f || !camera || !currentViewport) return;

  // Is the origin inside the view frustum? The far plane is pushed out a
  // thousandfold so that a distant sun still counts as in view.
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  gluPerspective(camera->fovy, camera->aspect, camera->near, camera->far * 1000.0);
  glMatrixMode(GL_MODELVIEW);
  GLfloat feedback[10];
  glFeedbackBuffer(10, GL_3D, feedback);
  glRenderMode(GL_FEEDBACK);
  sendProbe();
  GLint written = glRenderMode(GL_RENDER);
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  if (written != 4) return;

  // Where it lands with the real projection (a point beyond the far plane
  // gets a depth above 1).
  GLdouble modelviewMatrix[16];
  GLdouble projectionMatrix[16];
  glGetDoublev(GL_MODELVIEW_MATRIX, modelviewMatrix);
  glGetDoublev(GL_PROJECTION_MATRIX, projectionMatrix);
  const Viewport& vp = *currentViewport;
  GLint viewport[4] = {static_cast<GLint>(vp.x), static_cast<GLint>(vp.y), static_cast<GLint>(vp.width),
                       static_cast<GLint>(vp.height)};
  GLdouble wx = 0, wy = 0, wz = 0;
  if (gluProject(0.0, 0.0, 0.0, modelviewMatrix, projectionMatrix, viewport, &wx, &wy, &wz) != GL_TRUE) return;
  screenPosition = Vector3D(static_cast<float>(wx - vp.x), static_cast<float>(wy - vp.y), static_cast<float>(wz));
  pipeline.flareLights.push_back(this);
}

void Light::drawLensflares() {
  const Camera* camera = pipeline.camera;
  if (!camera || !currentViewport) return;
  if (!(screenPosition.x > 0.0f)) return;
  const Viewport& vp = *currentViewport;
  // Only pixels of this viewport can be read for the occlusion test.
  if (screenPosition.x >= vp.width || screenPosition.y < 0.0f || screenPosition.y >= vp.height) return;

  GLfloat depth = 0.0f;
  glReadPixels(static_cast<GLint>(vp.x + screenPosition.x), static_cast<GLint>(vp.y + screenPosition.y), 1, 1,
               GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
  if (!(depth == 1.0f || depth > screenPosition.z)) return;

  const float dx = pipeline.screenCentre.x - screenPosition.x;
  const float dy = pipeline.screenCentre.y - screenPosition.y;
  glLoadIdentity();
  glTranslatef(screenPosition.x, screenPosition.y, 0.0f);

  float previous = 0.0f;
  GLuint boundTexture = 0;
  for (const FlareParticle& flare : camera->flares) {
    const int type = static_cast<int>(flare.type);
    if (type < 0 || type > 3) continue;
    const Image* image = camera->flareTextures[type];
    if (!image) continue;
    const float step = flare.position - previous;
    previous = flare.position;
    glTranslatef(dx * step, dy * step, 0.0f);
    glColor4fv(flare.colour.rgba());
    if (image->texture != boundTexture) {
      glBindTexture(GL_TEXTURE_2D, image->texture);
      boundTexture = image->texture;
    }
    const float half = flare.size * flareSize * vp.height;
    glBegin(GL_TRIANGLE_STRIP);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2f(-half, -half);
    glTexCoord2f(1.0f, 0.0f);
    glVertex2f(half, -half);
    glTexCoord2f(0.0f, 1.0f);
    glVertex2f(-half, half);
    glTexCoord2f(1.0f, 1.0f);
    glVertex2f(half, half);
    glEnd();
  }
}

}  // namespace ddd
}  // namespace korvu
