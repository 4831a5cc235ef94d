// Real frames drawn through the pipeline in a window (Xvfb in CI), read back
// and checked pixel by pixel. Every frame checked is saved as a PNG artifact.
#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include <unistd.h>

#include "ddd/camera.h"
#include "ddd/cube.h"
#include "ddd/displaylist.h"
#include "ddd/light.h"
#include "ddd/material.h"
#include "ddd/materialbank.h"
#include "ddd/model.h"
#include "ddd/modelobject.h"
#include "ddd/pipeline.h"
#include "ddd/settings.h"
#include "ddd/shadowmodel.h"
#include "ddd/vertexarray.h"
#include "image.h"
#include "korvu.h"
#include "rendercontext.h"
#include "test_geometry.h"
#include "testsupport.h"

using korvu::Color;
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

namespace {

constexpr int W = 320;
constexpr int H = 240;

struct Frame {
  int width = W;
  int height = H;
  std::vector<uint8_t> rgba;
  const uint8_t* at(int x, int y) const { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
  int lum(int x, int y) const { return at(x, y)[0] + at(x, y)[1] + at(x, y)[2]; }
};

Frame grab(const std::string& artifact) {
  Frame f;
  f.rgba = korvu_test::readPixels(0, 0, W, H);
  // Saved opaque, so that the cleared background shows as black.
  std::vector<uint8_t> opaque = f.rgba;
  for (size_t i = 3; i < opaque.size(); i += 4) opaque[i] = 255;
  korvu_test::saveArtifact(artifact, W, H, opaque);
  return f;
}

int maxDifference(const Frame& a, const Frame& b) {
  int worst = 0;
  for (size_t i = 0; i < a.rgba.size(); ++i) worst = std::max(worst, std::abs(int(a.rgba[i]) - int(b.rgba[i])));
  return worst;
}

int litPixels(const Frame& f) {
  int n = 0;
  for (int y = 0; y < f.height; ++y) {
    for (int x = 0; x < f.width; ++x) n += f.lum(x, y) > 0;
  }
  return n;
}

// A solid texture of one colour, for materials and flare elements.
GLuint makeTexture(uint8_t r, uint8_t g, uint8_t b, bool checker = false) {
  GLuint id = 0;
  glGenTextures(1, &id);
  glBindTexture(GL_TEXTURE_2D, id);
  uint8_t pixels[8 * 8 * 4];
  for (int i = 0; i < 64; ++i) {
    const bool dark = checker && (((i % 8) / 2 + (i / 8) / 2) % 2 == 1);
    pixels[i * 4 + 0] = dark ? r / 4 : r;
    pixels[i * 4 + 1] = dark ? g / 4 : g;
    pixels[i * 4 + 2] = dark ? b / 4 : b;
    pixels[i * 4 + 3] = 255;
  }
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 8, 8, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glBindTexture(GL_TEXTURE_2D, 0);
  return id;
}

std::unique_ptr<korvu::Image> textureImage(const std::string& name, GLuint id) {
  std::unique_ptr<korvu::Image> image(new korvu::Image(name, name + ".png", Vector2D(0, 0)));
  image->texture = id;
  return image;
}

// A sphere of latitude/longitude bands with smooth normals; the northern
// half is one mesh, the southern the other.
void sphere(Model& m, Material* north, Material* south, int slices = 16, int stacks = 10) {
  const float pi = 3.14159265f;
  m.initVertices(static_cast<unsigned>((slices + 1) * (stacks + 1)));
  for (int i = 0; i <= stacks; ++i) {
    for (int j = 0; j <= slices; ++j) {
      const float theta = pi * i / stacks, phi = 2 * pi * j / slices;
      m.vertices[i * (slices + 1) + j] = Vector3D(std::sin(theta) * std::cos(phi), std::cos(theta),
                                                  -std::sin(theta) * std::sin(phi));
    }
  }
  std::vector<std::array<int, 3>> tris;
  for (int i = 0; i < stacks; ++i) {
    for (int j = 0; j < slices; ++j) {
      const int a = i * (slices + 1) + j, b = a + 1, c = a + slices + 1, d = c + 1;
      tris.push_back({a, c, b});
      tris.push_back({b, c, d});
    }
  }
  m.initFaces(static_cast<unsigned>(tris.size()));
  for (size_t f = 0; f < tris.size(); ++f) {
    Vector3D n[3];
    Vector2D t[3];
    for (int c = 0; c < 3; ++c) {
      const int v = tris[f][c];
      n[c] = m.vertices[v];
      t[c] = Vector2D(float(v % (slices + 1)) / slices, float(v / (slices + 1)) / stacks);
    }
    *m.faces[f] = Face(tris[f][0], tris[f][1], tris[f][2], n[0], n[1], n[2], t[0], t[1], t[2]);
  }
  const unsigned half = static_cast<unsigned>(tris.size() / 2);
  m.initMeshes(2u);
  m.meshes[0]->init(half, north);
  m.meshes[1]->init(static_cast<unsigned>(tris.size()) - half, south);
  for (unsigned i = 0; i < half; ++i) m.meshes[0]->faces[i] = i;
  for (unsigned i = half; i < tris.size(); ++i) m.meshes[1]->faces[i - half] = i;
  m.prepare();
}

// A flat square in the plane y = 0, facing up.
void floorSquare(Model& m, float half, Material* material) {
  korvu_test::fillQuad(m, Vector3D(-half, 0, half), Vector3D(half, 0, half), Vector3D(half, 0, -half),
                       Vector3D(-half, 0, -half), Vector3D(0, 1, 0), material);
}

// A quad facing the camera (+z) of the given half size.
void facingQuad(Model& m, float half, Material* material) {
  korvu_test::fillQuad(m, Vector3D(-half, -half, 0), Vector3D(half, -half, 0), Vector3D(half, half, 0),
                       Vector3D(-half, half, 0), Vector3D(0, 0, 1), material);
}

// A material that shows one flat colour whatever the lights do.
void glowing(Material& m, const Color& c, float alpha = 1.0f) {
  m.ambient = Color(0, 0, 0, alpha);
  m.diffuse = Color(0, 0, 0, alpha);
  m.specular = Color(0, 0, 0, 1);
  m.emissive = Color(c.red, c.green, c.blue, 1);
  m.prepare();
}

// One window for the whole suite: opening and closing an X connection for
// every test now and then fails to connect at all, so the window is opened
// once and each test saves and restores the GL state.
class DddRender : public ::testing::Test {
 protected:
  static bool windowOpen;

  static void SetUpTestSuite() {
    if (!std::getenv("DISPLAY")) return;
    windowOpen = korvu_test::openTestWindow(W, H).empty();
    if (windowOpen && !korvu::ddd::ext_GL_ARB_transpose_matrix) {
      try {
        korvu::ddd::init();
      } catch (const std::string&) {
      }
    }
  }

  static void TearDownTestSuite() {
    if (!windowOpen) return;
    pipeline.clearFrame();
    pipeline.camera = nullptr;
    pipeline.root = nullptr;
    pipeline.lightsEnabled = 0;
    korvu_test::closeTestWindow();
    windowOpen = false;
  }

  void SetUp() override {
    ASSERT_TRUE(windowOpen) << "This test draws into a real window: run it under an X server (Xvfb).";
    ASSERT_NO_THROW(korvu::ddd::init());
    korvu::currentViewport = &korvu::vpScreen;
    glViewport(0, 0, W, H);
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
    savedSettings = korvu::ddd::settings;
    korvu::ddd::settings = korvu::ddd::Settings();
    // Every test starts with the OpenGL lights off.
    for (int i = 0; i < 8; ++i) glDisable(GL_LIGHT0 + i);
    pipeline.lightsEnabled = 0;
    context.lighting = true;
    context.smooth = 1;
    context.ambient = Color(0, 0, 0, 1);
    context.apply();
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
  }

  void TearDown() override {
    if (!windowOpen) return;
    korvu::ddd::settings = savedSettings;
    pipeline.clearFrame();
    pipeline.camera = nullptr;
    pipeline.root = nullptr;
    korvu::currentViewport = &korvu::vpScreen;
    glPopClientAttrib();
    glPopAttrib();
    for (int i = 0; i < 8; ++i) glDisable(GL_LIGHT0 + i);
    pipeline.lightsEnabled = 0;
    while (glGetError() != GL_NO_ERROR) {
    }
  }

  // One view into the current viewport, as the race draws it.
  void drawView(Camera& camera, Object& root, korvu::Viewport* vp = nullptr) {
    if (vp) korvu::currentViewport = vp;
    const korvu::Viewport& v = *korvu::currentViewport;
    glViewport(GLint(v.x), GLint(v.y), GLsizei(v.width), GLsizei(v.height));
    context.apply();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    camera.drawView(&root);
  }

  void frame(Camera& camera, Object& root) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    drawView(camera, root);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  }

  korvu::RenderContext3D context;
  korvu::ddd::Settings savedSettings;
};

bool DddRender::windowOpen = false;

// A camera at the origin looking down -z.
std::unique_ptr<Camera> camera(double aspect = double(W) / H) {
  std::unique_ptr<Camera> c(new Camera(60, aspect));
  c->near = 0.1;
  c->far = 100;
  return c;
}

Light* addSun(Object& root, const Vector3D& position) {
  Light* sun = new Light();
  sun->position = position;
  sun->glPosition[3] = 1.0f;  // positional, at the light's origin
  sun->diffuse = Color(0.8f, 0.8f, 0.8f, 1);
  sun->specular = Color(0, 0, 0, 1);
  root += sun;
  return sun;
}

}  // namespace

TEST_F(DddRender, ThreeDrawingPathsGiveTheSameImage) {
  ASSERT_TRUE(korvu::ddd::ext_GL_ARB_vertex_buffer_object);
  auto checker = textureImage("checker", makeTexture(255, 200, 60, true));
  Material skin("skin", checker.get(), Color(0.2f, 0.2f, 0.2f, 1), Color(1, 1, 1, 1), Color(0.3f, 0.3f, 0.3f, 1),
                Color(0, 0, 0, 1), 20);
  Material paint("paint", nullptr, Color(0.1f, 0, 0, 1), Color(0.2f, 0.5f, 0.9f, 1), Color(0, 0, 0, 1),
                 Color(0, 0, 0, 1), 0);
  skin.prepare();
  paint.prepare();
  Model ball;
  ball.name = "ball";
  sphere(ball, &skin, &paint);
  ball.bufferType = korvu::ddd::BUFFER_HARDWARE;

  Object root;
  addSun(root, Vector3D(3, 4, 2));
  ModelObject* obj = new ModelObject(&ball);
  root += obj;
  obj->position = Vector3D(0, 0, -3);
  obj->rotate(25, Vector3D(1, 1, 0));
  auto cam = camera();

  frame(*cam, root);
  const Frame immediate = grab("ddd_paths_immediate");
  EXPECT_GT(litPixels(immediate), 4000);
  EXPECT_EQ(pipeline.meshesDrawn, 2u);
  EXPECT_EQ(pipeline.elementsDrawn, ball.faceCount);
  // Lit: the side towards the light is brighter than the side away from it.
  EXPECT_GT(immediate.lum(W / 2 + 30, H / 2 + 30), immediate.lum(W / 2 - 30, H / 2 - 30));

  ball.compile();
  ASSERT_NE(ball.meshes[0]->displayList, 0u);
  frame(*cam, root);
  const Frame listed = grab("ddd_paths_displaylist");
  EXPECT_LE(maxDifference(immediate, listed), 2);

  ball.uncompile();
  ball.pack();
  ASSERT_NE(ball.meshes[0]->vertexArray, nullptr);
  EXPECT_NE(ball.meshes[0]->vertexArray->bufferId, 0u);
  EXPECT_EQ(ball.meshes[0]->vertexArray->data, nullptr);
  EXPECT_EQ(ball.meshes[0]->vertexArray->type, korvu::ddd::VERTEXARRAY_T2F_N3F_V3F);
  EXPECT_EQ(ball.meshes[1]->vertexArray->type, korvu::ddd::VERTEXARRAY_N3F_V3F);
  frame(*cam, root);
  const Frame buffered = grab("ddd_paths_vbo");
  EXPECT_LE(maxDifference(immediate, buffered), 2);
  EXPECT_EQ(pipeline.meshesDrawn, 2u);
  EXPECT_EQ(pipeline.elementsDrawn, ball.faceCount);

  // Drawn as one: a single whole-model list, counted by the model.
  ball.unpack();
  ball.drawAsOne = true;
  ball.compile();
  ASSERT_NE(ball.displayList, 0u);
  frame(*cam, root);
  const Frame whole = grab("ddd_paths_whole_model");
  EXPECT_LE(maxDifference(immediate, whole), 2);
  EXPECT_EQ(pipeline.meshesDrawn, ball.meshCount);
  EXPECT_EQ(pipeline.elementsDrawn, ball.meshFaceTotal);

  // A packed model drawn as one records its arrays into the list.
  ball.uncompile();
  ball.pack();
  ball.setRecompile(true);
  EXPECT_NE(ball.displayList, 0u);
  frame(*cam, root);
  EXPECT_LE(maxDifference(immediate, grab("ddd_paths_whole_model_packed")), 2);
  glDeleteTextures(1, &checker->texture);
  checker->texture = 0;
}

TEST_F(DddRender, MeshesWhollyOutsideTheViewAreLeftOutAndNoVisibleOneIs) {
  Material red;
  glowing(red, Color(1, 0, 0));
  Model quad;
  facingQuad(quad, 1, &red);
  quad.bufferType = korvu::ddd::BUFFER_HARDWARE;
  Object root;
  ModelObject* obj = new ModelObject(&quad);
  root += obj;
  auto cam = camera();
  // At depth 5 the view reaches 2.89 to either side and 2.17 up and down.
  struct Place {
    Vector3D position;
    float scale;
    bool seen;
  };
  const Place places[] = {
      {Vector3D(0, 0, -5), 1, true},     // in front
      {Vector3D(3.5f, 0, -5), 1, true},  // pokes in at the right edge
      {Vector3D(0, -3, -5), 1, true},    // pokes in at the bottom edge
      {Vector3D(6, 0, -5), 4, true},     // far out, but stretched into view
      {Vector3D(6, 0, -5), 1, false},    // beside the view
      {Vector3D(0, 5, -5), 1, false},    // above it
      {Vector3D(0, 0, 5), 1, false},     // behind the eye
      {Vector3D(0, 0, -200), 1, false},  // beyond the far plane
  };
  Vector3D centre;
  float radius = 0;
  for (int packed = 0; packed < 2; ++packed) {
    if (packed) {
      quad.uncompile();
      quad.pack();
    } else {
      quad.compile();
    }
    ASSERT_TRUE(quad.meshes[0]->drawnBounds(centre, radius));
    EXPECT_NEAR(radius, std::sqrt(2.0f), 1e-4f);
    EXPECT_NEAR(centre.length(), 0.0f, 1e-6f);
    for (const Place& p : places) {
      obj->position = p.position;
      obj->rotation.setIdentity();
      for (int i = 0; i < 3; ++i) obj->rotation.m[i][i] = p.scale;
      obj->setHasMoved(true);
      frame(*cam, root);
      const Frame f = grab(packed ? "ddd_cull_packed" : "ddd_cull_listed");
      EXPECT_EQ(litPixels(f) > 0, p.seen) << p.position.x << " " << p.position.y << " " << p.position.z;
      EXPECT_EQ(pipeline.meshesDrawn, p.seen ? 1u : 0u) << p.position.x << " " << p.position.y << " "
                                                        << p.position.z;
    }
  }

  // Without a recorded list or packed array the extent is unknown: the
  // mesh is always sent, wherever it is.
  quad.unpack();
  EXPECT_FALSE(quad.meshes[0]->drawnBounds(centre, radius));
  obj->position = Vector3D(6, 0, -5);
  obj->rotation.setIdentity();
  obj->setHasMoved(true);
  frame(*cam, root);
  EXPECT_EQ(pipeline.meshesDrawn, 1u);
  // A list marked for recording again may no longer hold what it did, and
  // a copy holds nothing yet.
  quad.compile();
  EXPECT_TRUE(quad.meshes[0]->drawnBounds(centre, radius));
  korvu::ddd::Mesh copy(*quad.meshes[0]);
  EXPECT_FALSE(copy.drawnBounds(centre, radius));
  quad.meshes[0]->recompile = true;
  EXPECT_FALSE(quad.meshes[0]->drawnBounds(centre, radius));
}

TEST_F(DddRender, OpaqueMeshesAreFoggedWhereverTheFogReachesThem) {
  korvu::ddd::settings.shadows = false;  // the shadow stage switches fog off
  Material red;
  glowing(red, Color(1, 0, 0));
  Model quad, floor;
  facingQuad(quad, 1, &red);
  floorSquare(floor, 30, &red);
  quad.compile();
  floor.compile();
  Object root;
  ModelObject* obj = new ModelObject(&quad);
  root += obj;
  auto cam = camera();
  context.fogColor = Color(0, 1, 0, 1);
  auto draw = [&](int fogMode, const char* artifact) {
    context.fogMode = fogMode;
    context.fogStart = 20;
    context.fogEnd = 40;
    context.fogDensity = 0.1f;
    frame(*cam, root);
    return grab(artifact);
  };

  // Wholly nearer than the fog start: the same pixels as without fog, and
  // the fog is still on for what comes after.
  obj->position = Vector3D(0, 0, -5);
  const Frame clear = draw(0, "ddd_fog_near_none");
  EXPECT_EQ(maxDifference(draw(1, "ddd_fog_near_linear"), clear), 0);
  EXPECT_TRUE(glIsEnabled(GL_FOG));
  // Exponential fog tints it.
  EXPECT_GT(draw(2, "ddd_fog_near_exp").at(W / 2, H / 2)[1], 20);

  // Beyond the fog start: tinted.
  obj->position = Vector3D(0, 0, -30);
  obj->rotation.setIdentity();
  for (int i = 0; i < 3; ++i) obj->rotation.m[i][i] = 6;
  obj->setHasMoved(true);
  EXPECT_EQ(draw(0, "ddd_fog_far_none").at(W / 2, H / 2)[1], 0);
  EXPECT_GT(draw(1, "ddd_fog_far_linear").at(W / 2, H / 2)[1], 80);

  // Reaching from behind the eye to beyond the fog start (its middle
  // nearer than the start): the far end is tinted.
  obj->setModel(&floor);
  obj->rotation.setIdentity();
  obj->position = Vector3D(0, -2, -15);
  obj->setHasMoved(true);
  const Frame spread = draw(1, "ddd_fog_floor");
  EXPECT_GT(spread.at(W / 2, H / 2 - 13)[1], 80);  // about 35 away
}

TEST_F(DddRender, RecordedListsDrawNothingUntilReplayed) {
  Material red;
  glowing(red, Color(1, 0, 0));
  Model quad;
  facingQuad(quad, 1, &red);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glDisable(GL_LIGHTING);
  glColor3f(1, 1, 1);
  quad.meshes[0]->compile();
  EXPECT_NE(quad.meshes[0]->displayList, 0u);
  EXPECT_FALSE(quad.meshes[0]->recompile);
  EXPECT_EQ(litPixels(grab("ddd_list_recorded")), 0);
  quad.meshes[0]->draw();
  EXPECT_EQ(litPixels(grab("ddd_list_replayed")), W * H);

  // A material recorded with compile leaves the current state untouched.
  GLfloat before[4], after[4];
  glGetMaterialfv(GL_FRONT, GL_EMISSION, before);
  red.compile();
  glGetMaterialfv(GL_FRONT, GL_EMISSION, after);
  EXPECT_EQ(before[0], after[0]);
  EXPECT_NE(red.displayList, 0u);
  red.apply();
  glGetMaterialfv(GL_FRONT, GL_EMISSION, after);
  EXPECT_EQ(after[0], 1.0f);

  // A whole model compiled draws nothing; the next draw replays it.
  glEnable(GL_LIGHTING);
  quad.drawAsOne = true;
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  pipeline.meshesDrawn = pipeline.elementsDrawn = 0;
  quad.compile();
  EXPECT_EQ(litPixels(grab("ddd_model_list_recorded")), 0);
  pipeline.meshesDrawn = pipeline.elementsDrawn = 0;
  quad.draw();
  EXPECT_EQ(litPixels(grab("ddd_model_list_replayed")), W * H);
  EXPECT_EQ(pipeline.meshesDrawn, 1u);
  EXPECT_EQ(pipeline.elementsDrawn, 2u);

  // setRecompile(false) on a per-mesh model clears the marks, draws nothing.
  quad.drawAsOne = false;
  quad.setRecompile(true);
  EXPECT_TRUE(quad.meshes[0]->recompile);
  quad.setRecompile(false);
  EXPECT_FALSE(quad.meshes[0]->recompile);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

  // A recording ends once however it is left: closed twice, or left early
  // without a close.
  for (bool closed : {true, false}) {
    red.recompile = true;
    {
      korvu::ddd::ListRecording<Material> recording(red);
      if (closed) {
        EXPECT_TRUE(recording.close() && !recording.close());
      }
    }
    EXPECT_FALSE(korvu::ddd::recordingDisplayList()) << closed;
    EXPECT_TRUE(glIsList(red.displayList));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << closed;
  }
}

TEST_F(DddRender, MarkedMaterialsAndMeshesInsideAWholeModelListRecordCleanly) {
  korvu::ddd::MaterialBank bank;
  Material* green = new Material();
  green->name = "green";
  glowing(*green, Color(0, 1, 0));
  bank += green;
  bank.compileAll();
  bank.recompileAll();  // every material records again at its next apply
  Model quad;
  facingQuad(quad, 1, green);
  quad.meshes[0]->recompile = true;
  quad.drawAsOne = true;
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  quad.setRecompile(true);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  ASSERT_NE(quad.displayList, 0u);
  // The inner parts kept their marks instead of opening nested lists.
  EXPECT_TRUE(green->recompile);
  EXPECT_TRUE(quad.meshes[0]->recompile);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  quad.draw();
  const Frame f = grab("ddd_nested_lists");
  EXPECT_EQ(f.at(W / 2, H / 2)[1], 255);
  EXPECT_EQ(f.at(W / 2, H / 2)[0], 0);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  bank.uncompileAll();
  EXPECT_EQ(green->displayList, 0u);
}

TEST_F(DddRender, DestroyedModelsReleaseTheirDisplayLists) {
  GLuint modelList = 0, meshList = 0;
  {
    Model quad;
    facingQuad(quad, 1, &korvu::ddd::defMaterial);
    quad.drawAsOne = true;
    quad.compile();
    modelList = quad.displayList;
    ASSERT_NE(modelList, 0u);
    EXPECT_TRUE(glIsList(modelList));
    quad.drawAsOne = false;  // the list still belongs to the model
  }
  EXPECT_FALSE(glIsList(modelList));
  {
    Model quad;
    facingQuad(quad, 1, &korvu::ddd::defMaterial);
    quad.compile();
    meshList = quad.meshes[0]->displayList;
    ASSERT_NE(meshList, 0u);
  }
  EXPECT_FALSE(glIsList(meshList));
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(DddRender, SkyboxFollowsItsSwitchAndTheCameraTurn) {
  Material sky;
  sky.ambient = Color(0.2f, 0.4f, 0.9f, 1);  // the current colour while unlit
  Material ground;
  ground.ambient = Color(0.6f, 0.3f, 0.1f, 1);
  korvu::ddd::Cube box(10, &sky);
  box.setMaterial(korvu::ddd::CUBE_BOTTOM, &ground);
  Object root;
  root.skybox = &box;
  auto cam = camera();
  root += cam.get();
  // The box is drawn around the eye wherever the camera stands.
  cam->position = Vector3D(500, 500, 500);

  frame(*cam, root);
  Frame on = grab("ddd_skybox_on");
  EXPECT_EQ(litPixels(on), W * H);
  EXPECT_NEAR(on.at(W / 2, H / 2)[2], 230, 2);
  EXPECT_EQ(pipeline.meshesDrawn, 6u);

  // Looking down, the bottom side fills the view.
  cam->rotate(-90, Vector3D(1, 0, 0));
  frame(*cam, root);
  Frame down = grab("ddd_skybox_down");
  EXPECT_NEAR(down.at(W / 2, H / 2)[0], 153, 2);

  korvu::ddd::settings.skybox = false;
  frame(*cam, root);
  EXPECT_EQ(litPixels(grab("ddd_skybox_off")), 0);
  EXPECT_EQ(pipeline.meshesDrawn, 0u);
  root -= cam.get();
}

TEST_F(DddRender, SkyboxIsFoggedWhereverTheFogReachesIt) {
  Material sky;
  sky.ambient = Color(0.2f, 0.4f, 0.9f, 1);
  korvu::ddd::Cube box(10, &sky);
  Object root;
  root.skybox = &box;
  auto cam = camera();
  root += cam.get();
  // Looking at an edge of the box: the edge lies farther from the eye than
  // the sides at the left and right of the view.
  cam->rotate(45, Vector3D(0, 1, 0));
  context.fogColor = Color(1, 0, 0, 1);
  context.fogMode = 0;
  frame(*cam, root);
  const Frame clear = grab("ddd_skybox_fog_none");

  // Linear fog starting beyond the box's corners changes no pixel.
  context.fogMode = 1;
  context.fogStart = 1500;
  context.fogEnd = 2000;
  frame(*cam, root);
  EXPECT_EQ(maxDifference(grab("ddd_skybox_fog_far"), clear), 0);

  // Starting inside the box, it tints the edge but not the near sides.
  context.fogStart = 12;
  context.fogEnd = 18;
  frame(*cam, root);
  const Frame near = grab("ddd_skybox_fog_near");
  EXPECT_GT(near.at(W / 2, H / 2)[0], clear.at(W / 2, H / 2)[0] + 40);
  EXPECT_EQ(near.at(1, H / 2)[0], clear.at(1, H / 2)[0]);
  EXPECT_EQ(near.at(W - 2, H / 2)[0], clear.at(W - 2, H / 2)[0]);

  // Exponential fog reaches everything.
  context.fogMode = 2;
  context.fogDensity = 0.05f;
  frame(*cam, root);
  EXPECT_GT(grab("ddd_skybox_fog_exp").at(W / 2, H / 2)[0], clear.at(W / 2, H / 2)[0] + 40);
  root -= cam.get();
}

namespace {

// A drawable that paints a square in its own colour.
struct Patch : korvu::ddd::Drawable {
  Color colour;
  int* draws;
  Patch(const Color& c, int* counter) : colour(c), draws(counter) {}
  void buildFrameData() override {
    pipeline.transparent.push_back(korvu::ddd::OrderedMeshReference{viewPosition.z, modelview, nullptr, nullptr, this});
  }
  // Drawables keep their state changes to themselves.
  void draw() override {
    ++*draws;
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glDisable(GL_LIGHTING);
    glColor4fv(colour.rgba());
    glBegin(GL_TRIANGLE_STRIP);
    glVertex3f(-1, -1, 0);
    glVertex3f(1, -1, 0);
    glVertex3f(-1, 1, 0);
    glVertex3f(1, 1, 0);
    glEnd();
    glPopAttrib();
  }
};

}  // namespace

TEST_F(DddRender, TransparentEntriesBlendFromTheLastQueuedToTheFirst) {
  Material red, blue;
  glowing(red, Color(1, 0, 0), 0.5f);
  glowing(blue, Color(0, 0, 1), 0.5f);
  ASSERT_TRUE(red.transparent);
  Model redQuad, blueQuad;
  facingQuad(redQuad, 1, &red);
  facingQuad(blueQuad, 1, &blue);
  Object root;
  ModelObject* first = new ModelObject(&redQuad);
  ModelObject* second = new ModelObject(&blueQuad);
  root += first;
  root += second;
  // The red one is queued first although it is the farther one.
  first->position = Vector3D(0, 0, -4);
  second->position = Vector3D(0, 0, -3);
  auto cam = camera();
  frame(*cam, root);
  // blue was drawn first, then red over it: 0.5 red + 0.25 blue.
  Frame f = grab("ddd_transparent_order");
  const uint8_t* centre = f.at(W / 2, H / 2);
  EXPECT_NEAR(centre[0], 128, 2);
  EXPECT_NEAR(centre[2], 64, 2);
  EXPECT_EQ(pipeline.meshesDrawn, 2u);
  EXPECT_EQ(pipeline.elementsDrawn, 4u);
  // The stage restores the state it found.
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  GLboolean depthWrites = GL_FALSE;
  glGetBooleanv(GL_DEPTH_WRITEMASK, &depthWrites);
  EXPECT_TRUE(depthWrites);

  // Drawables queued in the list are drawn there too...
  int draws = 0;
  Patch* patch = new Patch(Color(0, 1, 0, 0.5f), &draws);
  root += patch;
  patch->position = Vector3D(0, 0, -2);
  patch->needsViewPos = true;
  frame(*cam, root);
  EXPECT_EQ(draws, 1);
  // Queued last, the nearest patch is drawn first and ends up underneath.
  Frame withPatch = grab("ddd_transparent_drawable");
  EXPECT_NEAR(withPatch.at(W / 2, H / 2)[0], 128, 2);
  EXPECT_NEAR(withPatch.at(W / 2, H / 2)[1], 32, 2);
  EXPECT_NEAR(withPatch.at(W / 2, H / 2)[2], 64, 2);

  // ...and, with the switch off, not at all; the meshes go opaque.
  korvu::ddd::settings.transparency = false;
  frame(*cam, root);
  Frame off = grab("ddd_transparent_off");
  EXPECT_EQ(draws, 1);
  EXPECT_EQ(off.at(W / 2, H / 2)[2], 255);  // the nearer blue quad, unblended
  EXPECT_EQ(off.at(W / 2, H / 2)[0], 0);
}

TEST_F(DddRender, StencilShadowDarkensExactlyTheCoveredFloor) {
  Material floorPaint("floor", nullptr, Color(0.1f, 0.1f, 0.1f, 1), Color(0.6f, 0.7f, 0.5f, 1), Color(0, 0, 0, 1),
                      Color(0, 0, 0, 1), 0);
  Material boxPaint("box", nullptr, Color(0.1f, 0.1f, 0.1f, 1), Color(0.8f, 0.3f, 0.3f, 1), Color(0, 0, 0, 1),
                    Color(0, 0, 0, 1), 0);
  floorPaint.prepare();
  boxPaint.prepare();
  Model ground;
  floorSquare(ground, 8, &floorPaint);
  korvu::ddd::Cube cube(1, &boxPaint);
  // The shadow caster is the whole box as one mesh.
  Model box;
  korvu_test::fillWholeCube(box, cube, &boxPaint);
  box.prepare();

  Object root;
  Light* sun = addSun(root, Vector3D(0, 1000, 0));
  sun->castsShadows = true;
  sun->constantAttenuation = 1;
  ModelObject* floorObj = new ModelObject(&ground);
  root += floorObj;
  ModelObject* boxObj = new ModelObject(&box);
  root += boxObj;
  boxObj->position = Vector3D(0, 3, 0);
  boxObj->setShadowModel(&box);

  auto cam = camera();
  root += cam.get();
  cam->position = Vector3D(0, 9, 9);
  cam->rotate(-40, Vector3D(1, 0, 0));

  korvu::ddd::settings.shadows = false;
  frame(*cam, root);
  const Frame lit = grab("ddd_shadow_off");
  korvu::ddd::settings.shadows = true;
  frame(*cam, root);
  const Frame shaded = grab("ddd_shadow_on");
  EXPECT_GT(pipeline.elementsDrawn, 0u);
  // No vertex array is left switched on pointing at the volumes' corners,
  // nor a scissor test from the darkening.
  EXPECT_FALSE(glIsEnabled(GL_VERTEX_ARRAY));
  EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST));

  // Every pixel of the floor whose point lies under the box (|x|, |z| < 1)
  // drops to 30 % of its lit colour; everything else keeps its colour.
  std::vector<GLfloat> depth(W * H);
  glReadPixels(0, 0, W, H, GL_DEPTH_COMPONENT, GL_FLOAT, depth.data());
  GLdouble model[16], proj[16];
  GLint viewport[4] = {0, 0, W, H};
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  korvu::ddd::multMatrix(cam->view);
  glGetDoublev(GL_MODELVIEW_MATRIX, model);
  glPopMatrix();
  glGetDoublev(GL_PROJECTION_MATRIX, proj);
  int inShadow = 0, outside = 0;
  for (int y = 0; y < H; ++y) {
    for (int x = 0; x < W; ++x) {
      GLdouble wx, wy, wz;
      gluUnProject(x + 0.5, y + 0.5, depth[y * W + x], model, proj, viewport, &wx, &wy, &wz);
      const uint8_t* before = lit.at(x, y);
      const uint8_t* after = shaded.at(x, y);
      const bool onFloor = std::fabs(wy) < 0.02;
      const double edge = std::max(std::fabs(wx), std::fabs(wz));
      if (onFloor && edge < 0.97) {
        ++inShadow;
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(after[c], before[c] * 0.3, 2.0) << x << "," << y;
      } else if (!onFloor || edge > 1.03) {
        ++outside;
        for (int c = 0; c < 3; ++c) ASSERT_EQ(after[c], before[c]) << x << "," << y;
      }
    }
  }
  EXPECT_GT(inShadow, 300);
  EXPECT_GT(outside, W * H / 2);

  // The darkening pass leaves the stencil buffer cleared.
  std::vector<GLubyte> stencil(W * H, 1);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, W, H, GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, stencil.data());
  EXPECT_EQ(std::count(stencil.begin(), stencil.end(), 0), W * H);

  // Shadow lights without casters darken nothing.
  boxObj->setShadowModel(nullptr);
  frame(*cam, root);
  EXPECT_EQ(maxDifference(lit, grab("ddd_shadow_no_caster")), 0);

  // A caster beside the view under a low sun: its long shadow falls into
  // the view and is drawn; the stencil is left cleared.
  boxObj->setShadowModel(&box);
  boxObj->position = Vector3D(-11, 3, 0);
  boxObj->setHasMoved(true);
  sun->position = Vector3D(-2011, 1003, 0);
  sun->setHasMoved(true);
  korvu::ddd::settings.shadows = false;
  frame(*cam, root);
  const Frame besideLit = grab("ddd_shadow_beside_off");
  korvu::ddd::settings.shadows = true;
  frame(*cam, root);
  const Frame besideShaded = grab("ddd_shadow_beside_on");
  int reddish = 0, darkened = 0;
  for (int y = 0; y < H; ++y) {
    for (int x = 0; x < W; ++x) {
      const uint8_t* before = besideLit.at(x, y);
      const uint8_t* after = besideShaded.at(x, y);
      reddish += before[0] > 2 * before[1] + 20;
      darkened += before[1] > 40 && after[1] < before[1] / 2;
    }
  }
  EXPECT_EQ(reddish, 0) << "the box is in view";
  EXPECT_GT(darkened, 300);
  glReadPixels(0, 0, W, H, GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, stencil.data());
  EXPECT_EQ(std::count(stencil.begin(), stencil.end(), 0), W * H);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  root -= cam.get();
}

TEST_F(DddRender, LightStageUsesAtMostEightLights) {
  Object root;
  std::vector<Light*> lamps;
  for (int i = 0; i < 10; ++i) lamps.push_back(addSun(root, Vector3D(float(i), 5, 0)));
  auto cam = camera();
  frame(*cam, root);
  EXPECT_EQ(pipeline.lightsEnabled, 10u);
  for (int i = 0; i < 8; ++i) EXPECT_TRUE(glIsEnabled(GL_LIGHT0 + i)) << i;
  GLfloat position[4];
  glGetLightfv(GL_LIGHT7, GL_POSITION, position);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

  for (int i = 3; i < 10; ++i) lamps[i]->on = false;
  lamps[1]->spot = false;
  lamps[1]->spotCutoff = 20;
  frame(*cam, root);
  EXPECT_EQ(pipeline.lightsEnabled, 3u);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(glIsEnabled(GL_LIGHT0 + i)) << i;
  for (int i = 3; i < 8; ++i) EXPECT_FALSE(glIsEnabled(GL_LIGHT0 + i)) << i;
  GLfloat cutoff = 0;
  glGetLightfv(GL_LIGHT1, GL_SPOT_CUTOFF, &cutoff);
  EXPECT_EQ(cutoff, 180.0f);

  for (int i = 0; i < 3; ++i) lamps[i]->on = false;
  frame(*cam, root);
  EXPECT_EQ(pipeline.lightsEnabled, 0u);
  for (int i = 0; i < 8; ++i) EXPECT_FALSE(glIsEnabled(GL_LIGHT0 + i)) << i;
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

namespace {

// The flare scene: a light in an otherwise empty sky, with only the
// hard-glow elements textured.
struct FlareScene {
  Object root;
  std::unique_ptr<Camera> cam;
  Light* sun;
  std::unique_ptr<korvu::Image> glow;

  explicit FlareScene(double aspect) : cam(camera(aspect)) {
    sun = addSun(root, Vector3D(-3, 2, -10));
    sun->flareSize = 0.01f;
    glow = textureImage("glow", makeTexture(255, 255, 255));
    cam->flareTextures[korvu::ddd::FLARE_HARD_GLOW] = glow.get();
  }
  ~FlareScene() {
    glDeleteTextures(1, &glow->texture);
    glow->texture = 0;
  }
};

// Brightness at the point the flare element at `position` along the axis
// from the light through the centre lands on, in window pixels.
int elementBrightness(const Frame& f, const korvu::Viewport& vp, const Light& light, float position, float offset = 0) {
  const float cx = vp.width / 2, cy = vp.height / 2;
  const float x = light.screenPosition.x + (cx - light.screenPosition.x) * position;
  const float y = light.screenPosition.y + (cy - light.screenPosition.y) * position;
  return f.lum(int(vp.x + x + offset), int(vp.y + y + offset));
}

}  // namespace

TEST_F(DddRender, LensFlaresRunThroughTheViewportCentreUnlessCovered) {
  FlareScene scene(double(W) / H);
  frame(*scene.cam, scene.root);
  Frame f = grab("ddd_flare_visible");
  ASSERT_EQ(pipeline.flareLights.size(), 1u);
  const Light& sun = *scene.sun;
  EXPECT_GT(sun.screenPosition.x, 0);
  EXPECT_LT(sun.screenPosition.x, W / 2);
  EXPECT_GT(sun.screenPosition.y, H / 2);
  for (float position : {0.0f, 0.55f, 0.95f, 1.56f, 1.95f}) {
    EXPECT_GT(elementBrightness(f, korvu::vpScreen, sun, position), 100) << position;
    // Off the line, the sky stays dark.
    EXPECT_EQ(elementBrightness(f, korvu::vpScreen, sun, position, 12), 0) << position;
  }
  EXPECT_GT(litPixels(f), 50);

  // Switched off: no flare at all.
  korvu::ddd::settings.lensflares = false;
  frame(*scene.cam, scene.root);
  EXPECT_EQ(litPixels(grab("ddd_flare_switched_off")), 0);
  korvu::ddd::settings.lensflares = true;

  // A quad in front of the light hides every element.
  Material blue;
  glowing(blue, Color(0, 0, 1));
  Model quad;
  facingQuad(quad, 0.5f, &blue);
  ModelObject* cover = new ModelObject(&quad);
  scene.root += cover;
  cover->position = Vector3D(-1.5f, 1, -5);
  frame(*scene.cam, scene.root);
  Frame hidden = grab("ddd_flare_hidden");
  int red = 0;
  for (size_t i = 0; i < hidden.rgba.size(); i += 4) red += hidden.rgba[i];
  EXPECT_EQ(red, 0);
  EXPECT_GT(litPixels(hidden), 100);  // the quad itself
}

TEST_F(DddRender, SideBySideViewportsEachUseTheirOwnCentre) {
  FlareScene scene(double(W / 2) / H);
  korvu::Viewport left(0, 0, W / 2, H), right(W / 2, 0, W / 2, H);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  drawView(*scene.cam, scene.root, &left);
  const Vector3D leftSun = scene.sun->screenPosition;
  drawView(*scene.cam, scene.root, &right);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  korvu::currentViewport = &korvu::vpScreen;
  Frame f = grab("ddd_flare_split_screen");
  // The same light lands on the same spot of each half.
  EXPECT_NEAR(leftSun.x, scene.sun->screenPosition.x, 0.01);
  EXPECT_NEAR(leftSun.y, scene.sun->screenPosition.y, 0.01);
  for (float position : {0.0f, 0.55f, 0.95f, 1.95f}) {
    EXPECT_GT(elementBrightness(f, left, *scene.sun, position), 100) << position;
    EXPECT_GT(elementBrightness(f, right, *scene.sun, position), 100) << position;
    EXPECT_EQ(elementBrightness(f, right, *scene.sun, position, 12), 0) << position;
  }
  // The right half's own centre, not the window's.
  EXPECT_EQ(f.lum(W / 2 + W / 4, H / 2), f.lum(W / 4, H / 2));
}

// Models drawn in immediate mode, frame after frame, beside a light whose
// flare test runs in feedback mode: the process must not keep growing.
TEST_F(DddRender, ImmediateModeFramesWithAFlareLightKeepMemoryFlat) {
  FlareScene scene(double(W) / H);
  Material paint;
  glowing(paint, Color(0.2f, 0.6f, 0.2f));
  Model ball;
  sphere(ball, &paint, &paint, 64, 48);  // a few hundred kilobytes of corners a frame
  ModelObject* obj = new ModelObject(&ball);
  scene.root += obj;
  obj->position = Vector3D(1, -0.5f, -4);
  const auto residentKb = [] {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
      if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
      std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
  };
  long before = 0;
  for (int i = 0; i < 300; ++i) {
    if (i == 50) before = residentKb();
    frame(*scene.cam, scene.root);
  }
  const long after = residentKb();
  const Frame f = grab("ddd_immediate_frames_with_flare");
  ASSERT_EQ(pipeline.flareLights.size(), 1u);
  EXPECT_GT(elementBrightness(f, korvu::vpScreen, *scene.sun, 0.0f), 100);
  EXPECT_GT(f.at(W / 2 + 40, H / 2 - 20)[1], 100);  // the ball
  // AddressSanitizer holds freed blocks back from reuse, so only a plain
  // build's resident memory tells.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
  return;
#endif
#endif
  EXPECT_LT(after - before, 4096) << "kB grown over 250 frames";
}
