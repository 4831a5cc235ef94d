#include "ddd/camera.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include "ddd/pipeline.h"

namespace korvu {
namespace ddd {

FlareParticle::FlareParticle(FlareParticleType type_, float size_, float position_, const Color& colour_)
    : type(type_), size(size_), position(position_), colour(colour_) {}

namespace {

struct FlareRow {
  int type;
  float size;
  float position;
  float r, g, b, a;
};

// The row of flare elements every camera starts with. The order is kept as
// it is (two elements are not sorted by position); drawing walks it in turn.
const FlareRow DEFAULT_FLARES[] = {
    {1, 12.0f, 0.0f, 0.6f, 0.6f, 0.8f, 1.0f},   {0, 12.0f, 0.0f, 0.6f, 0.6f, 0.8f, 1.0f},
    {2, 3.0f, 0.0f, 0.8f, 0.8f, 0.1f, 0.5f},    {2, 0.6f, 0.2f, 0.9f, 0.6f, 0.4f, 0.5f},
    {2, 0.8f, 0.55f, 0.9f, 0.9f, 0.2f, 0.5f},   {2, 1.0f, 0.95f, 0.93f, 0.82f, 0.73f, 0.5f},
    {2, 1.8f, 1.3f, 0.7f, 0.8f, 0.3f, 0.5f},    {2, 1.4f, 1.26f, 0.4f, 0.3f, 0.2f, 0.5f},
    {2, 0.6f, 1.56f, 0.8f, 0.5f, 0.1f, 0.5f},   {2, 2.0f, 1.95f, 0.4f, 0.1f, 0.9f, 0.5f},
    {3, 1.7f, 0.3f, 0.8f, 0.5f, 0.6f, 0.5f},    {3, 0.83f, 0.35f, 0.9f, 0.2f, 0.1f, 0.5f},
    {3, 1.6f, 0.57f, 0.7f, 0.7f, 0.4f, 0.5f},   {3, 1.4f, 0.98f, 0.7f, 0.6f, 0.5f, 0.5f},
    {3, 1.4f, 1.6f, 0.7f, 0.5f, 0.5f, 0.5f},    {3, 1.7f, 2.0f, 0.5f, 0.5f, 0.7f, 0.5f},
};

}  // namespace

Camera::Camera(double fovy_, double aspect_)
    : fovy(fovy_), aspect(aspect_), near(0.0), far(1.0), flareTextures{nullptr, nullptr, nullptr, nullptr} {
  for (const FlareRow& row : DEFAULT_FLARES) {
    flares.emplace_back(static_cast<FlareParticleType>(row.type), row.size, row.position,
                        Color(row.r, row.g, row.b, row.a));
  }
}

void Camera::computeView() {
  view.setIdentity();
  for (const Object* n = this; n; n = n->parent) {
    view.multRight(n->inverseRotation);
    Matrix3D back;
    back.m[0][3] = -n->position.x;
    back.m[1][3] = -n->position.y;
    back.m[2][3] = -n->position.z;
    view.multRight(back);
  }
}

void Camera::drawView(Object* root) {
  computeView();
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(fovy, aspect, near, far);
  glMatrixMode(GL_MODELVIEW);
  pipeline.render(this, root);
}

}  // namespace ddd
}  // namespace korvu
