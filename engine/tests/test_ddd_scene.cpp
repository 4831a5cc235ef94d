// The scene graph without a window: placement and matrices, reattaching,
// ownership, and what the frame pass queues in the pipeline's lists.
#include <gtest/gtest.h>

#include <cmath>

#include "audio/audio.h"
#include "ddd/camera.h"
#include "ddd/emitterobject.h"
#include "ddd/light.h"
#include "ddd/material.h"
#include "ddd/model.h"
#include "ddd/modelobject.h"
#include "ddd/pipeline.h"
#include "ddd/settings.h"
#include "ddd/shadowmodel.h"
#include "audio/emitter.h"
#include "vectorchecks.h"

using korvu::Matrix3D;
using korvu::Vector2D;
using korvu::Vector3D;
using korvu::ddd::Camera;
using korvu::ddd::Face;
using korvu::ddd::Light;
using korvu::ddd::Material;
using korvu::ddd::Model;
using korvu::ddd::ModelObject;
using korvu::ddd::Object;
using korvu::ddd::pipeline;
using korvu_test::expectMatrixNear;
using korvu_test::expectVec;

namespace {

// Placements and matrices are checked to this tolerance unless a test says
// otherwise.
constexpr float TOL = 1e-4f;

Vector3D column(const Matrix3D& m) { return Vector3D(m.m[0][3], m.m[1][3], m.m[2][3]); }

// Runs one frame pass from the root with the given camera, as the
// pipeline's render does, without drawing anything.
void framePass(Object& root, Camera& camera) {
  camera.computeView();
  pipeline.camera = &camera;
  pipeline.root = &root;
  pipeline.clearFrame();
  root.process(camera.view);
}

// Materials with queued opaque references (groups emptied for this render
// but kept from the last one do not count).
size_t opaqueGroups() {
  size_t used = 0;
  for (const auto& group : pipeline.opaque) used += group.second.empty() ? 0 : 1;
  return used;
}

// Counts destructions, to check ownership.
struct Counted : Object {
  explicit Counted(int* counter) : counter_(counter) {}
  ~Counted() override { ++*counter_; }
  int* counter_;
};

// Restores the render switches after a test changes them.
struct SwitchGuard {
  korvu::ddd::Settings saved = korvu::ddd::settings;
  ~SwitchGuard() { korvu::ddd::settings = saved; }
};

// A model with one triangle per mesh, each mesh with its own material.
void triangles(Model& m, const std::vector<Material*>& materials) {
  const unsigned n = static_cast<unsigned>(materials.size());
  m.initVertices(3u);
  m.vertices[1] = Vector3D(1, 0, 0);
  m.vertices[2] = Vector3D(0, 1, 0);
  m.initFaces(n);
  for (unsigned i = 0; i < n; ++i) *m.faces[i] = Face(0, 1, 2);
  m.initMeshes(n);
  for (unsigned i = 0; i < n; ++i) {
    m.meshes[i]->init(1, materials[i]);
    m.meshes[i]->faces[0] = i;
  }
}

}  // namespace

TEST(DddScene, WorldMatricesFollowTheParentChain) {
  Object root;
  Object* parent = new Object();
  Object* child = new Object();
  root += parent;
  *parent += child;
  parent->position = Vector3D(0, 0, 10);
  parent->rotate(90, Vector3D(0, 1, 0));
  child->position = Vector3D(0, 0, 5);
  Camera camera(60, 1.0);
  framePass(root, camera);
  // Turned 90 degrees about y, the child's local +z points along world +x.
  expectVec(child->worldPosition, 5, 0, 10, TOL);
  expectVec(column(child->world), 5, 0, 10, TOL);
  expectVec(parent->world * Vector3D(1, 0, 0), 0, 0, 9, TOL);
  EXPECT_FALSE(child->hasMoved);
  EXPECT_FALSE(root.hasMoved);

  // Moving the parent alone leaves the children where they were...
  parent->position = Vector3D(0, 0, 20);
  parent->hasMoved = true;
  framePass(root, camera);
  expectVec(parent->worldPosition, 0, 0, 20, TOL);
  expectVec(child->worldPosition, 5, 0, 10, TOL);
  // ...until the whole subtree is marked.
  parent->setHasMoved(true);
  EXPECT_TRUE(child->hasMoved);
  framePass(root, camera);
  expectVec(child->worldPosition, 5, 0, 20, TOL);
}

TEST(DddScene, ViewMatrixInvertsTheCameraPlacement) {
  Object root;
  Object* rig = new Object();
  root += rig;
  rig->position = Vector3D(3, 0, 0);
  rig->rotate(30, Vector3D(0, 0, 1));
  Camera* camera = new Camera(45, 4.0 / 3.0);
  *rig += camera;
  camera->position = Vector3D(0, 2, 7);
  camera->rotate(-20, Vector3D(1, 0, 0));
  Object* marker = new Object();
  root += marker;
  marker->needsViewPos = true;
  marker->position = Vector3D(1, 2, 3);
  framePass(root, *camera);
  // The view undoes the camera's world placement.
  expectMatrixNear(camera->view * camera->world, Matrix3D(), TOL);
  // A node asking for its view position gets view x world.
  expectMatrixNear(marker->modelview, camera->view * marker->world, TOL);
  expectVec(marker->viewPosition, column(marker->modelview).x, column(marker->modelview).y,
            column(marker->modelview).z, TOL);
  // Nodes that do not ask keep the identity.
  expectMatrixNear(rig->modelview, Matrix3D(), TOL);
  // The camera at the marker's place sees it at the eye.
  Camera atMarker(45, 1.0);
  root += &atMarker;
  atMarker.position = Vector3D(1, 2, 3);
  framePass(root, atMarker);
  expectVec(marker->viewPosition, 0, 0, 0, TOL);
  root -= &atMarker;
}

TEST(DddScene, InactiveSubtreesAreNeitherUpdatedNorQueued) {
  Object root;
  Object* branch = new Object();
  root += branch;
  Light* lamp = new Light();
  *branch += lamp;
  Camera camera(60, 1.0);
  branch->active = false;
  framePass(root, camera);
  EXPECT_TRUE(branch->hasMoved);
  EXPECT_TRUE(lamp->hasMoved);
  EXPECT_TRUE(pipeline.lights.empty());
  branch->active = true;
  framePass(root, camera);
  EXPECT_EQ(pipeline.lights.size(), 1u);
  lamp->on = false;
  framePass(root, camera);
  EXPECT_TRUE(pipeline.lights.empty());
}

TEST(DddScene, ReattachKeepsTheWorldPlacement) {
  Object root;
  Object* parent = new Object();
  root += parent;
  parent->position = Vector3D(0, 0, 10);
  parent->rotate(90, Vector3D(0, 1, 0));
  Object* rocket = new Object();
  *parent += rocket;
  rocket->position = Vector3D(0, 0, 5);
  Camera camera(60, 1.0);
  framePass(root, camera);
  const Matrix3D before = rocket->world;

  rocket->reattachAt(parent);  // already there: nothing changes
  EXPECT_EQ(rocket->parent, parent);
  expectVec(rocket->position, 0, 0, 5, TOL);

  rocket->reattachAt(&root);
  EXPECT_EQ(rocket->parent, &root);
  EXPECT_EQ(root.children.back(), rocket);
  EXPECT_TRUE(parent->children.empty());
  expectVec(rocket->position, 5, 0, 10, TOL);
  expectMatrixNear(rocket->rotation, parent->rotation, TOL);
  expectMatrixNear(rocket->rotation * rocket->inverseRotation, Matrix3D(), TOL);
  rocket->hasMoved = true;
  framePass(root, camera);
  expectMatrixNear(rocket->world, before, TOL);

  // A node that is not an ancestor is refused; the node stays put.
  Object stranger;
  rocket->reattachAt(&stranger);
  EXPECT_EQ(rocket->parent, &root);
  EXPECT_TRUE(stranger.children.empty());
}

TEST(DddScene, RotateKeepsTheInverseInStep) {
  Object a, b;
  a.rotate(90, Vector3D(0, 0, 2));
  b.rotate(90, Vector3D(0, 0, 1));
  expectMatrixNear(a.rotation, b.rotation, 1e-6f);
  expectVec(a.rotation * Vector3D(1, 0, 0), 0, 1, 0, TOL);
  a.rotate(33, Vector3D(1, 2, 3));
  a.rotate(-71, Vector3D(0, 1, 0));
  a.rotate(12, Vector3D(5, 0, -1));
  expectMatrixNear(a.rotation * a.inverseRotation, Matrix3D(), TOL);
  expectMatrixNear(a.inverseRotation * a.rotation, Matrix3D(), TOL);
  // The turn is about the node's own axes: x then (own) z.
  Object c;
  c.rotate(90, Vector3D(1, 0, 0));
  c.rotate(90, Vector3D(0, 0, 1));
  expectVec(c.rotation * Vector3D(1, 0, 0), 0, 0, 1, TOL);
}

TEST(DddScene, ChildrenMoveBetweenParentsAndDieWithThem) {
  int destroyed = 0;
  Object root;
  Object* a = new Counted(&destroyed);
  Object* b = new Counted(&destroyed);
  root += a;
  root += b;
  Object* leaf = new Counted(&destroyed);
  *a += leaf;
  *b += leaf;  // moves it
  EXPECT_TRUE(a->children.empty());
  ASSERT_EQ(b->children.size(), 1u);
  EXPECT_EQ(leaf->parent, b);
  *b += new Counted(&destroyed);
  delete b;  // takes its two children with it and leaves root
  EXPECT_EQ(destroyed, 3);
  ASSERT_EQ(root.children.size(), 1u);
  EXPECT_EQ(root.children.front(), a);

  // Removing a node that is not listed still clears its parent.
  Object loose;
  loose.parent = &root;
  root -= &loose;
  EXPECT_EQ(loose.parent, nullptr);
  EXPECT_EQ(root.children.size(), 1u);

  // A destroyed node whose list holds children that do not point back still
  // finishes: an orphan is deleted, a node owned elsewhere is left alone.
  int orphans = 0;
  Object keeper;
  Object* owned = new Counted(&orphans);
  keeper += owned;
  {
    Object doomed;
    Object* orphan = new Counted(&orphans);
    doomed += orphan;
    orphan->parent = nullptr;
    doomed.children.push_back(owned);
  }
  EXPECT_EQ(orphans, 1);
  EXPECT_EQ(owned->parent, &keeper);
}

TEST(DddFramePass, MeshesQueueOpaqueByMaterialAndTransparentInOrder) {
  SwitchGuard guard;
  Material red, blue, glass;
  glass.diffuse.alpha = 0.5f;
  glass.prepare();
  Model m;
  m.name = "mixed";
  triangles(m, {&blue, &glass, &red, &blue});
  m.prepare();
  ASSERT_TRUE(m.transparent);

  Object root;
  ModelObject* first = new ModelObject(&m);
  root += first;
  EXPECT_TRUE(first->needsViewPos);  // a transparent model asks for it
  first->position = Vector3D(0, 0, -10);
  ModelObject* second = new ModelObject(&m);
  root += second;
  second->position = Vector3D(0, 0, -20);
  Camera camera(60, 1.0);
  framePass(root, camera);

  ASSERT_EQ(opaqueGroups(), 2u);
  const auto& blues = pipeline.opaque[&blue];
  ASSERT_EQ(blues.size(), 4u);
  EXPECT_EQ(blues.front().mesh, m.meshes[0]);
  EXPECT_EQ(blues.front().model, nullptr);
  EXPECT_FLOAT_EQ(blues.front().world.m[2][3], -10.0f);
  EXPECT_EQ(blues.back().mesh, m.meshes[3]);
  EXPECT_FLOAT_EQ(blues.back().world.m[2][3], -20.0f);
  EXPECT_EQ(pipeline.opaque[&red].size(), 2u);

  ASSERT_EQ(pipeline.transparent.size(), 2u);
  const auto& t0 = pipeline.transparent.front();
  EXPECT_EQ(t0.mesh, m.meshes[1]);
  EXPECT_EQ(t0.material, &glass);
  EXPECT_EQ(t0.drawable, nullptr);
  EXPECT_FLOAT_EQ(t0.viewDepth, -10.0f);
  EXPECT_FLOAT_EQ(t0.modelview.m[2][3], -10.0f);
  EXPECT_FLOAT_EQ(pipeline.transparent.back().viewDepth, -20.0f);
  EXPECT_TRUE(pipeline.shadowRefs.empty());

  // The same scene again is queued into the storage of the last pass.
  const auto* blueStorage = blues.data();
  const auto* glassStorage = pipeline.transparent.data();
  framePass(root, camera);
  EXPECT_EQ(pipeline.opaque[&blue].data(), blueStorage);
  EXPECT_EQ(pipeline.transparent.data(), glassStorage);
  EXPECT_EQ(blues.size(), 4u);

  // With the transparency switch off the glass goes with the opaque meshes.
  korvu::ddd::settings.transparency = false;
  framePass(root, camera);
  EXPECT_TRUE(pipeline.transparent.empty());
  EXPECT_EQ(pipeline.opaque[&glass].size(), 2u);
  // A material that a whole pass left unused loses its group.
  m.meshes[0]->material = &red;
  m.meshes[3]->material = &red;
  framePass(root, camera);
  framePass(root, camera);
  EXPECT_EQ(pipeline.opaque.count(&blue), 0u);
  EXPECT_EQ(opaqueGroups(), pipeline.opaque.size());
}

TEST(DddFramePass, LateTransparencyTurnsOnTheViewPosition) {
  SwitchGuard guard;
  Material glass;
  Model m;
  triangles(m, {&glass});
  m.prepare();  // still opaque here
  Object root;
  ModelObject* obj = new ModelObject(&m);
  root += obj;
  obj->position = Vector3D(0, 0, -4);
  EXPECT_FALSE(obj->needsViewPos);
  glass.diffuse.alpha = 0.25f;
  glass.prepare();
  Camera camera(60, 1.0);
  framePass(root, camera);
  EXPECT_TRUE(obj->needsViewPos);
  ASSERT_EQ(pipeline.transparent.size(), 1u);
  // The first pass still carries the old (default) view data...
  EXPECT_FLOAT_EQ(pipeline.transparent.front().viewDepth, 0.0f);
  framePass(root, camera);
  // ...from the next one on it is current.
  EXPECT_FLOAT_EQ(pipeline.transparent.front().viewDepth, -4.0f);
}

TEST(DddFramePass, WholeModelsAndShadowCasters) {
  SwitchGuard guard;
  Material a, b;
  Model m;
  triangles(m, {&a, &b, &a});
  m.drawAsOne = true;
  m.prepare();
  Object root;
  ModelObject* obj = new ModelObject(&m);
  root += obj;
  obj->position = Vector3D(2, 0, 0);
  obj->setShadowModel(&m);
  Camera camera(60, 1.0);
  korvu::ddd::settings.shadows = false;  // shadow references are queued anyway
  framePass(root, camera);
  ASSERT_EQ(opaqueGroups(), 1u);
  ASSERT_EQ(pipeline.opaque[nullptr].size(), 1u);
  EXPECT_EQ(pipeline.opaque[nullptr].front().model, &m);
  EXPECT_EQ(pipeline.opaque[nullptr].front().mesh, nullptr);
  ASSERT_EQ(pipeline.shadowRefs.size(), 1u);
  EXPECT_EQ(pipeline.shadowRefs.front().shadowModel, obj->shadowModel);
  expectVec(pipeline.shadowRefs.front().worldPosition, 2, 0, 0, TOL);
}

TEST(DddFramePass, LightsQueueByTheirFlagsAndTheSwitches) {
  SwitchGuard guard;
  Object root;
  Light* plain = new Light();
  Light* sun = new Light();
  sun->castsShadows = true;
  sun->projectsTexture = true;
  root += plain;
  root += sun;
  Camera camera(60, 1.0);
  framePass(root, camera);
  EXPECT_EQ(pipeline.lights.size(), 2u);
  ASSERT_EQ(pipeline.shadowLights.size(), 1u);
  EXPECT_EQ(pipeline.shadowLights.front(), sun);
  EXPECT_EQ(pipeline.projectorLights.size(), 1u);
  EXPECT_TRUE(sun->needsViewPos);

  korvu::ddd::settings.shadows = false;
  korvu::ddd::settings.projectiveTextures = false;
  framePass(root, camera);
  EXPECT_EQ(pipeline.lights.size(), 2u);
  EXPECT_TRUE(pipeline.shadowLights.empty());
  EXPECT_TRUE(pipeline.projectorLights.empty());
}

TEST(DddFramePass, EmitterFollowsTheViewPosition) {
  korvu::audio::enabled = false;
  korvu::audio::init("", 44100);
  {
    Object root;
    korvu::ddd::EmitterObject* emitterObject = new korvu::ddd::EmitterObject();
    root += emitterObject;
    emitterObject->position = Vector3D(1, 2, -3);
    Camera camera(60, 1.0);
    root += &camera;
    camera.position = Vector3D(0, 0, 5);
    framePass(root, camera);
    expectVec(emitterObject->emitter->position, 1, 2, -8, TOL);
    root -= &camera;
  }
  korvu::audio::cleanUp();
}

namespace {

// Keeps the extension flags and entry points of an earlier set-up.
struct ExtensionGuard {
  bool flags[4] = {korvu::ddd::ext_GL_ARB_transpose_matrix, korvu::ddd::ext_GL_ARB_vertex_buffer_object,
                   korvu::ddd::ext_GL_ARB_point_parameter, korvu::ddd::ext_GL_ARB_point_sprite};
  decltype(glptrLoadTransposeMatrixfARB) p0 = glptrLoadTransposeMatrixfARB;
  decltype(glptrLoadTransposeMatrixdARB) p1 = glptrLoadTransposeMatrixdARB;
  decltype(glptrMultTransposeMatrixfARB) p2 = glptrMultTransposeMatrixfARB;
  decltype(glptrMultTransposeMatrixdARB) p3 = glptrMultTransposeMatrixdARB;
  decltype(glptrBindBufferARB) p4 = glptrBindBufferARB;
  decltype(glptrDeleteBuffersARB) p5 = glptrDeleteBuffersARB;
  decltype(glptrGenBuffersARB) p6 = glptrGenBuffersARB;
  decltype(glptrBufferDataARB) p7 = glptrBufferDataARB;
  decltype(glptrMapBufferARB) p8 = glptrMapBufferARB;
  decltype(glptrUnmapBufferARB) p9 = glptrUnmapBufferARB;
  decltype(glptrPointParameterfARB) p10 = glptrPointParameterfARB;
  decltype(glptrPointParameterfvARB) p11 = glptrPointParameterfvARB;
  ~ExtensionGuard() {
    korvu::ddd::ext_GL_ARB_transpose_matrix = flags[0];
    korvu::ddd::ext_GL_ARB_vertex_buffer_object = flags[1];
    korvu::ddd::ext_GL_ARB_point_parameter = flags[2];
    korvu::ddd::ext_GL_ARB_point_sprite = flags[3];
    glptrLoadTransposeMatrixfARB = p0;
    glptrLoadTransposeMatrixdARB = p1;
    glptrMultTransposeMatrixfARB = p2;
    glptrMultTransposeMatrixdARB = p3;
    glptrBindBufferARB = p4;
    glptrDeleteBuffersARB = p5;
    glptrGenBuffersARB = p6;
    glptrBufferDataARB = p7;
    glptrMapBufferARB = p8;
    glptrUnmapBufferARB = p9;
    glptrPointParameterfARB = p10;
    glptrPointParameterfvARB = p11;
  }
};

}  // namespace

TEST(DddSetup, ExtensionsAreSubstringsAndTransposeIsRequired) {
  ExtensionGuard guard;
  static int lookups = 0;
  auto lookup = [](const char*) -> void* {
    ++lookups;
    return reinterpret_cast<void*>(&lookups);
  };
  korvu::ddd::initFrom("GL_ARB_transpose_matrix GL_ARB_point_parameters", lookup);
  EXPECT_TRUE(korvu::ddd::ext_GL_ARB_transpose_matrix);
  EXPECT_TRUE(korvu::ddd::ext_GL_ARB_point_parameter);
  EXPECT_FALSE(korvu::ddd::ext_GL_ARB_vertex_buffer_object);
  EXPECT_FALSE(korvu::ddd::ext_GL_ARB_point_sprite);
  // Buffer entry points are fetched even without the extension.
  EXPECT_NE(glptrBindBufferARB, nullptr);
  EXPECT_EQ(lookups, 12);

  try {
    korvu::ddd::initFrom("GL_ARB_vertex_buffer_object GL_ARB_point_sprite", lookup);
    FAIL() << "missing transpose extension must throw";
  } catch (const std::string& message) {
    EXPECT_EQ(message, "Required extension GL_ARB_transpose_matrix extension not available - wrong OpenGL version?");
  }
  EXPECT_FALSE(korvu::ddd::ext_GL_ARB_vertex_buffer_object);
  EXPECT_FALSE(korvu::ddd::ext_GL_ARB_point_sprite);
  EXPECT_EQ(glptrBindBufferARB, nullptr);
  EXPECT_EQ(glptrMultTransposeMatrixfARB, nullptr);

  // A listed extension without its entry points is treated as absent.
  korvu::ddd::initFrom("GL_ARB_transpose_matrix GL_ARB_vertex_buffer_object",
                       [](const char* name) -> void* {
                         return std::string(name).find("Buffer") == std::string::npos
                                    ? reinterpret_cast<void*>(&lookups)
                                    : nullptr;
                       });
  EXPECT_FALSE(korvu::ddd::ext_GL_ARB_vertex_buffer_object);
  EXPECT_THROW(korvu::ddd::initFrom(nullptr, lookup), std::string);
  EXPECT_EQ(glptrMultTransposeMatrixfARB, nullptr);
}
