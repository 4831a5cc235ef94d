// The render pipeline: the state of the render in progress (camera, root,
// frame lists filled during the frame pass, counts) and its stages.
#pragma once

#include <GL/gl.h>
#include <GL/glext.h>

#include <map>
#include <vector>

#include "mathtypes.h"

namespace korvu {
namespace ddd {

class Camera;
class Drawable;
class Light;
class Material;
class Mesh;
class Model;
class Object;
class ShadowModel;

// An opaque draw: a mesh, or a whole model (mesh null), at a world matrix.
struct MeshReference {
  Matrix3D world;
  Mesh* mesh;
  Model* model;
};

// A transparent entry: a mesh with its material, or a drawable (mesh null).
struct OrderedMeshReference {
  float viewDepth;
  Matrix3D modelview;
  Material* material;
  Mesh* mesh;
  Drawable* drawable;
};

struct ShadowReference {
  Matrix3D world;
  ShadowModel* shadowModel;
  Vector3D worldPosition;
};

// The frame lists are vectors that are emptied, not freed, between renders,
// so that a steady scene queues its frame without allocating.
class Pipeline {
 public:
  Camera* camera = nullptr;
  // Lights that projected themselves for lens flares this render.
  std::vector<Light*> flareLights;
  std::vector<Light*> shadowLights;
  std::vector<Light*> projectorLights;
  // Centre of the current viewport in viewport pixels.
  Vector2D screenCentre;
  // Opaque references grouped by material; the null key holds whole models.
  // A group used in one render is kept, emptied, for the next one; the
  // stages pass over empty groups.
  std::map<Material*, std::vector<MeshReference>> opaque;
  // Transparent entries in the order queued.
  std::vector<OrderedMeshReference> transparent;
  std::vector<ShadowReference> shadowRefs;
  // Per shadow reference, whether its volume can reach the current view
  // (the shadow stage's scratch, kept between renders).
  std::vector<bool> shadowInView;
  std::vector<Light*> lights;
  // Meshes drawn in the current render (a shadow volume counts one).
  unsigned meshesDrawn = 0;
  // Faces drawn in the current render (a shadow volume counts its quads).
  unsigned elementsDrawn = 0;
  // Lights queued at the previous render; OpenGL lights below this number
  // (and below eight) are taken to be enabled.
  unsigned lightsEnabled = 0;
  Object* root = nullptr;

  // Runs every stage for one view; called by Camera::drawView.
  void render(Camera* camera, Object* root);
  // Hands what has been sent so far to the driver, without waiting for it.
  void handOver();
  // Called once the frame has been shown (korvu::flipScreen), when the
  // driver has finished every view of it, and before the context goes.
  void frameShown();
  // Empties the frame lists (keeping their storage) and the counts.
  void clearFrame();

  void renderSkybox();
  void renderPre();
  void renderLights();
  void renderModelsOpaque();
  void renderModelsTransparent();
  void renderShadows();
  void renderLensflares();
  // Walks the projector lights; no stage draws projected textures.
  void renderProjectiveTextures();

 private:
  // A sync object for each hand-over since the frame was last shown; each
  // holds its part of the frame's fence in the driver (see handOver).
  std::vector<GLsync> handedOver;
};

// The number of OpenGL lights the light stage uses.
constexpr unsigned MAX_GL_LIGHTS = 8;

extern Pipeline pipeline;

}  // namespace ddd
}  // namespace korvu
