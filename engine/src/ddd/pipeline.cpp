#include "ddd/pipeline.h"

#include <algorithm>
#include <cmath>

#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>

#include "ddd/camera.h"
#include "ddd/light.h"
#include "ddd/material.h"
#include "ddd/mesh.h"
#include "ddd/model.h"
#include "ddd/object.h"
#include "ddd/settings.h"
#include "ddd/shadowmodel.h"
#include "korvu.h"

namespace korvu {
namespace ddd {

Pipeline pipeline;

namespace {

// Width and height of the viewport being drawn (the OpenGL viewport when
// none is current).
void viewportSize(float& width, float& height) {
  if (currentViewport) {
    width = currentViewport->width;
    height = currentViewport->height;
    return;
  }
  GLint vp[4] = {0, 0, 0, 0};
  glGetIntegerv(GL_VIEWPORT, vp);
  width = static_cast<float>(vp[2]);
  height = static_cast<float>(vp[3]);
}

// The eye-space depth up to which enabled fog leaves pixels exactly as they
// are: for linear fog from the fragment depth its start (less a margin for
// rounding), where the fog factor is still exactly 1; 0 for other fog.
float fogFreeDepth() {
  GLint mode = 0, source = 0;
  glGetIntegerv(GL_FOG_MODE, &mode);
  glGetIntegerv(GL_FOG_COORDINATE_SOURCE, &source);
  if (mode != GL_LINEAR || source != GL_FRAGMENT_DEPTH) return 0.0f;
  GLfloat start = 0.0f, end = 0.0f;
  glGetFloatv(GL_FOG_START, &start);
  glGetFloatv(GL_FOG_END, &end);
  if (!(end > start)) return 0.0f;
  return start / 1.01f;
}

// Whether the fog in force leaves every pixel of the model, drawn about the
// eye without translation, as it is.
bool fogMissesSky(const Model& sky) {
  float farthest = 0.0f;
  for (const Vector3D& v : sky.vertices) farthest = std::max(farthest, v.length());
  return glIsEnabled(GL_FOG) && farthest < fogFreeDepth();
}

// Longest of the columns of m's rotation part: how much it stretches a
// length at most.
float stretch(const Matrix3D& m) {
  float longest = 0.0f;
  for (int j = 0; j < 3; ++j) {
    longest = std::max(longest, m.m[0][j] * m.m[0][j] + m.m[1][j] * m.m[1][j] + m.m[2][j] * m.m[2][j]);
  }
  return std::sqrt(longest);
}

// The camera's view volume in its own space, for spheres.
struct ViewVolume {
  float near, far;
  // Unit normals of the four sides through the eye (top, bottom, right,
  // left); a point p is inside a side when dot(normal, p) <= 0.
  Vector3D sides[4];

  explicit ViewVolume(const Camera& camera)
      : near(static_cast<float>(camera.near)), far(static_cast<float>(camera.far)) {
    const float up = static_cast<float>(std::tan(camera.fovy * 3.14159265358979 / 360.0));
    const float across = up * static_cast<float>(camera.aspect);
    const float u = std::sqrt(1.0f + up * up), a = std::sqrt(1.0f + across * across);
    sides[0] = Vector3D(0, 1 / u, up / u);
    sides[1] = Vector3D(0, -1 / u, up / u);
    sides[2] = Vector3D(1 / a, 0, across / a);
    sides[3] = Vector3D(-1 / a, 0, across / a);
  }

  // Whether no point of the sphere can be drawn.
  bool outside(const Vector3D& centre, float radius) const {
    if (-centre.z + radius < near || -centre.z - radius > far) return true;
    for (const Vector3D& n : sides) {
      if (dotProduct(n, centre) > radius) return true;
    }
    return false;
  }
};

// A window rectangle that holds every pixel a set of shadow volumes can
// touch, grown as volumes are added; `whole` when that cannot be bounded.
struct VolumeBounds {
  float left = 1e30f, bottom = 1e30f, right = -1e30f, top = -1e30f;
  bool whole = false;

  // Adds the convex hull of sixteen corners, seen through an eye-space
  // matrix and a projection. The part of the hull in front of a plane just
  // before the near plane has as corners the corners in front and crossings
  // of that plane on segments between corners, so projecting those bounds
  // every pixel the hull can be drawn on.
  void add(const Vector3D (&corners)[16], const Matrix3D& eye, const GLfloat (&projection)[16], float near) {
    Vector3D p[16];
    for (int i = 0; i < 16; ++i) p[i] = eye * corners[i];
    const float plane = -near * 0.5f;
    for (int i = 0; i < 16; ++i) {
      if (p[i].z <= plane) {
        project(p[i], projection);
        continue;
      }
      for (int j = 0; j < 16; ++j) {
        if (p[j].z > plane) continue;
        const float t = (plane - p[i].z) / (p[j].z - p[i].z);
        // On the plane, whatever the rounding of corners extruded far away.
        Vector3D crossing = p[i] + (p[j] - p[i]) * t;
        crossing.z = plane;
        project(crossing, projection);
      }
    }
  }

  void merge(const VolumeBounds& other) {
    whole = whole || other.whole;
    left = std::min(left, other.left);
    right = std::max(right, other.right);
    bottom = std::min(bottom, other.bottom);
    top = std::max(top, other.top);
  }

  // Adds an eye-space point in front of the eye, in normalised device
  // coordinates.
  void project(const Vector3D& v, const GLfloat (&m)[16]) {
    const float x = m[0] * v.x + m[4] * v.y + m[8] * v.z + m[12];
    const float y = m[1] * v.x + m[5] * v.y + m[9] * v.z + m[13];
    const float w = m[3] * v.x + m[7] * v.y + m[11] * v.z + m[15];
    if (!(w > 0.0f)) {
      whole = true;
      return;
    }
    left = std::min(left, x / w);
    right = std::max(right, x / w);
    bottom = std::min(bottom, y / w);
    top = std::max(top, y / w);
  }
};

// The eight corners of the box around a model's vertices and the same
// moved by the extrusion of its last rebuild: their hull holds the model's
// shadow volume.
bool volumeCorners(const ShadowModel& model, Vector3D (&corners)[16]) {
  if (model.vertices.empty()) return false;
  Vector3D low = model.vertices[0], high = low;
  for (const Vector3D& v : model.vertices) {
    low = Vector3D(std::min(low.x, v.x), std::min(low.y, v.y), std::min(low.z, v.z));
    high = Vector3D(std::max(high.x, v.x), std::max(high.y, v.y), std::max(high.z, v.z));
  }
  const Vector3D extrusion = model.lastLight * DDD_INFINITY;
  for (int i = 0; i < 8; ++i) {
    corners[i] = Vector3D(i & 1 ? high.x : low.x, i & 2 ? high.y : low.y, i & 4 ? high.z : low.z);
    corners[i + 8] = corners[i] + extrusion;
  }
  return true;
}

}  // namespace

void Pipeline::clearFrame() {
  lights.clear();
  flareLights.clear();
  shadowLights.clear();
  projectorLights.clear();
  // A group keeps its storage for the next render; one that the last render
  // did not use is dropped, so groups of materials no longer drawn do not
  // pile up.
  for (auto it = opaque.begin(); it != opaque.end();) {
    if (it->second.empty()) {
      it = opaque.erase(it);
    } else {
      it->second.clear();
      ++it;
    }
  }
  transparent.clear();
  shadowRefs.clear();
  meshesDrawn = 0;
  elementsDrawn = 0;
}

void Pipeline::render(Camera* camera_, Object* root_) {
  camera = camera_;
  root = root_;
  clearFrame();
  if (!camera || !root) return;
  renderSkybox();
  // The sky covers the whole view. Handing it to the driver now lets a
  // rasterizer that works on its own threads (as a software one does) fill
  // it while this thread runs the frame pass and sends the opaque meshes;
  // otherwise nothing is drawn until the frame is shown.
  if (root->skybox && settings.skybox) handOver();
  renderPre();
  renderLights();
  renderModelsOpaque();
  if (settings.transparency) renderModelsTransparent();
  if (settings.shadows) renderShadows();
  if (settings.lensflares) renderLensflares();
  // Likewise the finished view is drawn while the next one is sent.
  handOver();
}

void Pipeline::handOver() {
  // The software rasterizer frees the fence of a part handed over this way
  // as soon as this thread, starting the next part, sees that its threads
  // have all counted themselves done; the last of them may still be waking
  // the fence's waiters then, and writes into the freed block, which
  // corrupts the heap. A sync object in place of the plain flush holds the
  // fence until the frame has been shown: its threads have left it by then,
  // as they finish the parts in order and the frame's last one is waited
  // for. A frame that is never shown is waited for after a while instead.
  if (!ext_GL_ARB_sync) {
    glFlush();
    return;
  }
  if (handedOver.size() >= 64) {
    glFinish();
    frameShown();
  }
  handedOver.push_back(glptrFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0));
}

void Pipeline::frameShown() {
  // Entry points fetched again since (a new context) find these gone.
  if (glptrDeleteSync)
    for (GLsync sync : handedOver) glptrDeleteSync(sync);
  handedOver.clear();
}

void Pipeline::renderSkybox() {
  if (!root->skybox || !settings.skybox) return;
  glPushMatrix();
  // Rotation only: the box stays centred on the eye.
  for (const Object* n = camera; n; n = n->parent) multMatrix(n->inverseRotation);
  if (root->skyboxClockwise) glFrontFace(GL_CW);
  glDisable(GL_LIGHTING);
  glDisable(GL_DEPTH_TEST);
  glShadeModel(GL_FLAT);
  glDepthMask(GL_FALSE);
  // Fog that cannot reach the box would only cost a software rasterizer
  // time on every pixel of the view.
  const bool fogOff = fogMissesSky(*root->skybox);
  if (fogOff) glDisable(GL_FOG);
  root->skybox->draw();
  if (fogOff) glEnable(GL_FOG);
  if (root->skyboxClockwise) glFrontFace(GL_CCW);
  glPopMatrix();
}

void Pipeline::renderPre() { root->process(camera->view); }

void Pipeline::renderLights() {
  const unsigned queued = static_cast<unsigned>(lights.size());
  unsigned i = 0;
  for (Light* light : lights) {
    if (i >= MAX_GL_LIGHTS) break;
    glPushMatrix();
    multMatrix(light->modelview);
    light->apply(GL_LIGHT0 + i);
    glPopMatrix();
    if (i >= lightsEnabled) glEnable(GL_LIGHT0 + i);
    ++i;
  }
  // Switch off the lights the previous render used and this one does not;
  // there are only eight to switch.
  for (unsigned j = queued; j < lightsEnabled && j < MAX_GL_LIGHTS; ++j) glDisable(GL_LIGHT0 + j);
  lightsEnabled = queued;
}

void Pipeline::renderModelsOpaque() {
  glEnable(GL_LIGHTING);
  glEnable(GL_DEPTH_TEST);
  glShadeModel(GL_SMOOTH);
  glDepthMask(GL_TRUE);
  glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
  glPushMatrix();
  multMatrix(camera->view);
  // A mesh whose extent is known is left out when it lies wholly outside
  // the view, and drawn without fog when it lies wholly within the depth
  // the fog leaves unchanged: the same pixels for less work.
  const ViewVolume volume(*camera);
  const Matrix3D& view = camera->view;
  const float viewStretch = stretch(view);
  const bool fogged = glIsEnabled(GL_FOG);
  const float fogFree = fogged ? fogFreeDepth() : 0.0f;
  bool fogOn = fogged;
  for (auto& group : opaque) {
    if (group.second.empty()) continue;
    if (group.first) group.first->apply();
    for (const MeshReference& ref : group.second) {
      bool fog = fogged;
      if (!ref.model && ref.mesh) {
        Vector3D centre;
        float radius = 0.0f;
        if (ref.mesh->drawnBounds(centre, radius)) {
          centre = view * (ref.world * centre);
          radius = radius * stretch(ref.world) * viewStretch * 1.01f + 1e-3f;
          if (volume.outside(centre, radius)) continue;
          if (-centre.z + radius < fogFree) fog = false;
        }
      }
      if (fog != fogOn) {
        if (fog) {
          glEnable(GL_FOG);
        } else {
          glDisable(GL_FOG);
        }
        fogOn = fog;
      }
      glPushMatrix();
      multMatrix(ref.world);
      if (ref.model) {
        ref.model->draw();
      } else if (ref.mesh) {
        ++meshesDrawn;
        elementsDrawn += ref.mesh->faceCount;
        ref.mesh->draw();
      }
      glPopMatrix();
    }
  }
  if (fogOn != fogged) glEnable(GL_FOG);
  glPopMatrix();
  glPopClientAttrib();
}

void Pipeline::renderModelsTransparent() {
  glPushAttrib(GL_ALL_ATTRIB_BITS);
  glEnable(GL_LIGHTING);
  glEnable(GL_DEPTH_TEST);
  glShadeModel(GL_SMOOTH);
  glDepthMask(GL_FALSE);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
  glPushMatrix();
  // Drawn from the last entry queued to the first.
  for (auto it = transparent.rbegin(); it != transparent.rend(); ++it) {
    const OrderedMeshReference& entry = *it;
    if (entry.material) entry.material->apply();
    glPushMatrix();
    multMatrix(entry.modelview);
    if (entry.mesh) {
      ++meshesDrawn;
      elementsDrawn += entry.mesh->faceCount;
      entry.mesh->draw();
    } else if (entry.drawable) {
      entry.drawable->draw();
    }
    glPopMatrix();
  }
  glPopMatrix();
  glPopClientAttrib();
  glPopAttrib();
}

namespace {

// Limits drawing to the bounds within the OpenGL viewport, with a pixel to
// spare for rounding; false (and nothing changed) when the bounds are
// whole or a scissor test is already on.
bool scissorTo(const VolumeBounds& bounds) {
  if (bounds.whole || bounds.left > bounds.right || glIsEnabled(GL_SCISSOR_TEST)) return false;
  GLint vp[4] = {0, 0, 0, 0};
  glGetIntegerv(GL_VIEWPORT, vp);
  const float x0 = std::max(-1.0f, bounds.left), x1 = std::min(1.0f, bounds.right);
  const float y0 = std::max(-1.0f, bounds.bottom), y1 = std::min(1.0f, bounds.top);
  const int left = static_cast<int>(std::floor((x0 + 1.0f) * 0.5f * vp[2])) - 2;
  const int right = static_cast<int>(std::ceil((x1 + 1.0f) * 0.5f * vp[2])) + 2;
  const int bottom = static_cast<int>(std::floor((y0 + 1.0f) * 0.5f * vp[3])) - 2;
  const int top = static_cast<int>(std::ceil((y1 + 1.0f) * 0.5f * vp[3])) + 2;
  glScissor(vp[0] + std::max(left, 0), vp[1] + std::max(bottom, 0),
            std::max(0, std::min(right, vp[2]) - std::max(left, 0)), std::max(0, std::min(top, vp[3]) - std::max(bottom, 0)));
  glEnable(GL_SCISSOR_TEST);
  return true;
}

}  // namespace

void Pipeline::renderShadows() {
  glDisable(GL_FOG);
  if (shadowLights.empty()) return;

  float width = 0, height = 0;
  viewportSize(width, height);

  glPushMatrix();
  multMatrix(camera->view);
  glShadeModel(GL_FLAT);
  glDepthMask(GL_FALSE);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_LIGHTING);

  for (Light* light : shadowLights) {
    // Rebuild every caster's volume for this light, in the caster's frame.
    for (ShadowReference& ref : shadowRefs) {
      const Vector3D d = ref.worldPosition - light->worldPosition;
      const Matrix3D inv = ref.world.inverse(ref.world.determinant());
      Vector3D local(inv.m[0][0] * d.x + inv.m[0][1] * d.y + inv.m[0][2] * d.z,
                     inv.m[1][0] * d.x + inv.m[1][1] * d.y + inv.m[1][2] * d.z,
                     inv.m[2][0] * d.x + inv.m[2][1] * d.y + inv.m[2][2] * d.z);
      local.normalize();
      ref.shadowModel->generateShadowVolume(local);
    }

    // Where the volumes can reach on the screen: only there can the stencil
    // count differ from zero, so the darkening need not cover more.
    // A volume wholly beside the view changes no stencil value and is not
    // drawn.
    VolumeBounds bounds;
    GLfloat projection[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    shadowInView.assign(shadowRefs.size(), true);
    for (size_t i = 0; i < shadowRefs.size(); ++i) {
      const ShadowReference& ref = shadowRefs[i];
      Vector3D corners[16];
      if (!volumeCorners(*ref.shadowModel, corners)) {
        bounds.whole = true;
        continue;
      }
      VolumeBounds one;
      one.add(corners, camera->view * ref.world, projection, static_cast<float>(camera->near));
      if (!one.whole && (one.left > 1.0f || one.right < -1.0f || one.bottom > 1.0f || one.top < -1.0f)) {
        shadowInView[i] = false;
        continue;
      }
      bounds.merge(one);
    }

    // Count the volumes into the stencil buffer: front faces up, back down.
    glEnableClientState(GL_VERTEX_ARRAY);
    glDisable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    glFrontFace(GL_CCW);
    glStencilFunc(GL_ALWAYS, 1, ~0u);
    glStencilOp(GL_KEEP, GL_KEEP, GL_INCR);
    glEnable(GL_STENCIL_TEST);
    for (int pass = 0; pass < 2; ++pass) {
      if (pass == 1) {
        glFrontFace(GL_CW);
        glStencilOp(GL_KEEP, GL_KEEP, GL_DECR);
      }
      for (size_t i = 0; i < shadowRefs.size(); ++i) {
        if (!shadowInView[i]) continue;
        glPushMatrix();
        multMatrix(shadowRefs[i].world);
        shadowRefs[i].shadowModel->drawShadowVolume();
        glPopMatrix();
      }
    }

    // Darken every counted pixel and zero its stencil for the next light.
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glStencilFunc(GL_NOTEQUAL, 0, ~0u);
    glStencilOp(GL_KEEP, GL_KEEP, GL_ZERO);
    glDisable(GL_DEPTH_TEST);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    gluOrtho2D(0, width, 0, height);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glColor4f(0.0f, 0.0f, 0.0f, 0.7f);
    const bool scissored = scissorTo(bounds);
    if (bounds.whole || bounds.left <= bounds.right) {
      glBegin(GL_TRIANGLE_STRIP);
      glVertex3f(0.0f, 0.0f, 0.0f);
      glVertex3f(0.0f, height, 0.0f);
      glVertex3f(width, 0.0f, 0.0f);
      glVertex3f(width, height, 0.0f);
      glEnd();
    }
    if (scissored) glDisable(GL_SCISSOR_TEST);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
  }

  glPopMatrix();
  glDisable(GL_STENCIL_TEST);
  glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
  glFrontFace(GL_CCW);
  glDepthMask(GL_TRUE);
  // The volumes' client-side corners may go away before the next frame;
  // leave no array switched on that still points at them.
  glDisableClientState(GL_VERTEX_ARRAY);
}

void Pipeline::renderLensflares() {
  if (flareLights.empty()) return;
  float width = 0, height = 0;
  viewportSize(width, height);
  screenCentre = Vector2D(width / 2.0f, height / 2.0f);

  glPushMatrix();
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  glDisable(GL_DEPTH_TEST);
  glEnable(GL_TEXTURE_2D);
  glDisable(GL_LIGHTING);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluOrtho2D(0, width, 0, height);
  glMatrixMode(GL_MODELVIEW);
  if (ext_GL_ARB_point_sprite) glEnable(GL_POINT_SPRITE_ARB);
  for (Light* light : flareLights) light->drawLensflares();
  glPopMatrix();
}

void Pipeline::renderProjectiveTextures() {
  for (Light* light : projectorLights) (void)light;
}

}  // namespace ddd
}  // namespace korvu
