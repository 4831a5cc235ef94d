// The vehicle's, launcher's and rocket's models and the day and night skies
// as the tools make them: loaded through the engine and cross-checked with
// an independent reader, closed shadow and collision hulls, the vehicle's
// fit around its jets, cameras and the roads, seamless sky faces, and
// frames of the vehicle and the skies under a real window.
#include <gtest/gtest.h>
#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "assetsupport.h"
#include "ddd/camera.h"
#include "ddd/collisionmodel.h"
#include "ddd/cube.h"
#include "ddd/face.h"
#include "ddd/light.h"
#include "ddd/material.h"
#include "ddd/materialbank.h"
#include "ddd/mesh.h"
#include "ddd/modelbank.h"
#include "ddd/modelobject.h"
#include "ddd/pipeline.h"
#include "ddd/settings.h"
#include "image.h"
#include "korvu.h"
#include "rendercontext.h"
#include "testsupport.h"

using namespace korvu;
using namespace korvu::ddd;

namespace {

const char* const MODELS[] = {"glimro", "glimroShadow", "glimroCollision", "rocketLauncher", "rocket"};

// The models, materials and images of the real resources.
struct Resources {
  ImageBank images;
  MaterialBank materials;
  ModelBank models;
  Resources() {
    glimro_test::InSourceDir here;
    models.load("resources/models.xml", &materials, &images, "resources/textures/");
    materials.prepare();
    models.prepare();
  }
  Model* model(const std::string& name) {
    auto found = models.find(name);
    return found == models.end() ? nullptr : found->second;
  }
};

// What the independent reader reports for a model file, from its summary.
std::map<std::string, double> independentSummary(const std::string& file) {
  std::map<std::string, double> values;
  const std::string command = "assimp info '" + file + "' 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return values;
  char line[512];
  while (std::fgets(line, sizeof line, pipe)) {
    char key[64];
    double a, b, c;
    if (std::sscanf(line, " %63[A-Za-z ]: %lf", key, &a) == 2) values[key] = a;
    if (std::sscanf(line, " Minimum point (%lf %lf %lf)", &a, &b, &c) == 3) {
      values["minX"] = a, values["minY"] = b, values["minZ"] = c;
    }
    if (std::sscanf(line, " Maximum point (%lf %lf %lf)", &a, &b, &c) == 3) {
      values["maxX"] = a, values["maxY"] = b, values["maxZ"] = c;
    }
  }
  pclose(pipe);
  return values;
}

struct Bounds {
  Vector3D min{1e9f, 1e9f, 1e9f}, max{-1e9f, -1e9f, -1e9f};
  void add(const Vector3D& p) {
    min = Vector3D(std::fmin(min.x, p.x), std::fmin(min.y, p.y), std::fmin(min.z, p.z));
    max = Vector3D(std::fmax(max.x, p.x), std::fmax(max.y, p.y), std::fmax(max.z, p.z));
  }
};

Bounds boundsOf(const Model& m) {
  Bounds b;
  for (uint32_t i = 0; i < m.vertexCount; ++i) b.add(m.vertices[i]);
  return b;
}

// The bounds of the model's solid meshes, without blended glows.
Bounds solidBoundsOf(const Model& m) {
  Bounds b;
  for (uint32_t i = 0; i < m.meshCount; ++i) {
    const Mesh& mesh = *m.meshes[i];
    if (mesh.material && mesh.material->transparent) continue;
    for (uint32_t f = 0; f < mesh.faceCount; ++f)
      for (int k = 0; k < 3; ++k) b.add(m.vertices[m.faces[mesh.faces[f]]->vertex[k]]);
  }
  return b;
}

// Every edge of the mesh is met exactly once in each direction, and the
// mesh encloses a positive volume (its faces point outwards).
void expectClosedOutward(const Model& m, uint32_t meshIndex, const std::string& what) {
  const Mesh& mesh = *m.meshes[meshIndex];
  std::map<std::pair<int, int>, int> directed;
  double volume = 0.0;
  for (uint32_t i = 0; i < mesh.faceCount; ++i) {
    const Face& f = *m.faces[mesh.faces[i]];
    for (int k = 0; k < 3; ++k) {
      ++directed[{f.vertex[k], f.vertex[(k + 1) % 3]}];
      EXPECT_NE(f.neighbour[k], -1) << what << ": face " << i << " has no neighbour across edge " << k;
    }
    const Vector3D& a = m.vertices[f.vertex[0]];
    volume += dotProduct(a, crossProduct(m.vertices[f.vertex[1]], m.vertices[f.vertex[2]])) / 6.0;
  }
  int open = 0;
  for (const auto& [edge, count] : directed) {
    auto back = directed.find({edge.second, edge.first});
    if (count != 1 || back == directed.end() || back->second != 1) ++open;
  }
  EXPECT_EQ(open, 0) << what << " has edges without exactly one opposite partner";
  EXPECT_GT(volume, 0.0) << what << " is turned inside out";
}

// How many faces of the model a ray from p along dir passes through.
int rayHits(const Model& m, const Vector3D& p, const Vector3D& dir) {
  int hits = 0;
  for (uint32_t i = 0; i < m.faceCount; ++i) {
    const Face& f = *m.faces[i];
    const Vector3D a = m.vertices[f.vertex[0]], b = m.vertices[f.vertex[1]], c = m.vertices[f.vertex[2]];
    const Vector3D e1 = b - a, e2 = c - a, h = crossProduct(dir, e2);
    const float det = dotProduct(e1, h);
    if (std::fabs(det) < 1e-9f) continue;
    const Vector3D s = p - a;
    const float u = dotProduct(s, h) / det;
    const Vector3D q = crossProduct(s, e1);
    const float v = dotProduct(dir, q) / det;
    const float t = dotProduct(e2, q) / det;
    if (u >= 0 && v >= 0 && u + v <= 1 && t > 0) ++hits;
  }
  return hits;
}

}  // namespace

TEST(VehicleAssets, ModelsLoadAndAgreeWithAnIndependentReader) {
  Resources res;
  const bool haveReader = std::system("command -v assimp >/dev/null 2>&1") == 0;
  for (const char* name : MODELS) {
    SCOPED_TRACE(name);
    Model* m = res.model(name);
    ASSERT_NE(m, nullptr);
    ASSERT_GT(m->faceCount, 0u);
    for (uint32_t i = 0; i < m->meshCount; ++i) EXPECT_NE(m->meshes[i]->material, &defMaterial);
    if (!haveReader) continue;
    auto summary = independentSummary(korvu_test::sourceDir() + "/resources/models/" + name + ".ms3d");
    EXPECT_EQ(summary["Faces"], m->faceCount);
    std::set<Material*> materials;
    for (uint32_t i = 0; i < m->meshCount; ++i) materials.insert(m->meshes[i]->material);
    EXPECT_EQ(summary["Materials"], materials.size());
    const Bounds b = boundsOf(*m);
    EXPECT_NEAR(summary["minX"], b.min.x, 1e-3);
    EXPECT_NEAR(summary["minY"], b.min.y, 1e-3);
    EXPECT_NEAR(summary["minZ"], b.min.z, 1e-3);
    EXPECT_NEAR(summary["maxX"], b.max.x, 1e-3);
    EXPECT_NEAR(summary["maxY"], b.max.y, 1e-3);
    EXPECT_NEAR(summary["maxZ"], b.max.z, 1e-3);
  }
  if (!haveReader) GTEST_SKIP() << "assimp is not installed (scripts/deps)";
}

TEST(VehicleAssets, ShadowAndCollisionHullsAreClosed) {
  Resources res;
  ASSERT_NE(res.model("glimroShadow"), nullptr);
  // Only the first mesh of a shadow caster casts.
  expectClosedOutward(*res.model("glimroShadow"), 0, "glimroShadow");
  expectClosedOutward(*res.model("rocket"), 0, "rocket body");

  auto* collision = dynamic_cast<CollisionModel*>(res.model("glimroCollision"));
  ASSERT_NE(collision, nullptr) << "glimroCollision is not marked as a collision model";
  int border = 0;
  for (const Edge* e : collision->edges) border += e->face2 == -1;
  EXPECT_EQ(border, 0);
  expectClosedOutward(*collision, 0, "glimroCollision");
}

TEST(VehicleAssets, VehicleFitsItsJetsCamerasAndTheRoads) {
  Resources res;
  const Model& glimro = *res.model("glimro");
  EXPECT_GE(glimro.faceCount, 300u);
  EXPECT_LE(glimro.faceCount, 1500u);

  // The jets hover 6 above the road at y = -2.6; the hull keeps well clear
  // of it and low enough for stacked roads and tunnels.
  const Bounds b = boundsOf(glimro);
  EXPECT_GT(b.min.y, -4.5f);
  EXPECT_LT(b.max.y, 3.6f);
  const Bounds shadow = boundsOf(*res.model("glimroShadow"));
  const Bounds collision = boundsOf(*res.model("glimroCollision"));
  EXPECT_GT(collision.min.y, -4.5f);
  for (const Vector3D& jet : {Vector3D(0, -2.6f, 19), Vector3D(10.5f, -2.6f, -16.5f), Vector3D(-10.5f, -2.6f, -16.5f)}) {
    // Each jet lies under the vehicle: a ray from below meets the body.
    EXPECT_GT(rayHits(glimro, jet - Vector3D(0, 10, 0), Vector3D(0, 1, 0)), 0) << jet.x << " " << jet.z;
    EXPECT_GT(rayHits(*res.model("glimroShadow"), jet - Vector3D(0, 10, 0), Vector3D(0, 1, 0)), 0);
  }
  // The shadow is the solid body's outline: as wide and as long, and thin,
  // so that a low sun does not draw it out into a slab.
  const Bounds solid = solidBoundsOf(glimro);
  EXPECT_NEAR(shadow.min.x, solid.min.x, 1.0f);
  EXPECT_NEAR(shadow.max.z, solid.max.z, 1.0f);
  EXPECT_NEAR(shadow.min.z, solid.min.z, 1.5f);
  EXPECT_LT(shadow.max.y - shadow.min.y, 2.5f);
  EXPECT_NEAR(collision.min.x, solid.min.x, 1.0f);

  // The cockpit cameras: nothing above them (so neither sits inside a part)
  // and nothing in front of them.
  for (const Vector3D& cam : {Vector3D(0, 5, -3), Vector3D(0, 0, 15)}) {
    EXPECT_EQ(rayHits(glimro, cam, Vector3D(0, 1, 0)), 0) << cam.y << " " << cam.z;
    EXPECT_EQ(rayHits(glimro, cam, Vector3D(0, 0, 1)), 0) << cam.y << " " << cam.z;
    EXPECT_EQ(rayHits(glimro, cam, Vector3D(0, -0.15f, 1)), 0) << cam.y << " " << cam.z;
  }

  // The rocket flies along +z: its nose is ahead of its tail.
  const Bounds rocket = boundsOf(*res.model("rocket"));
  EXPECT_GT(rocket.max.z, -rocket.min.z);
  // The launcher's cradle holds the loaded rocket at (-0.05, 4, 1).
  const Bounds launcher = boundsOf(*res.model("rocketLauncher"));
  EXPECT_GT(launcher.max.y, 3.0f);
  EXPECT_LT(launcher.max.y, 4.0f - 0.45f);
}

namespace {

// One face of a sky as the engine's cube maps it: the cube corner of
// texture coordinate (s, t) is o + s * ds + t * dt.
struct SkyFace {
  std::string name;
  korvu_test::DecodedPng png;
  Vector3D o, ds, dt, normal;
};

// The affine texture map of each cube side, taken from the cube itself.
std::vector<SkyFace> skyFaces(const std::string& prefix) {
  const char* names[6] = {"front", "back", "top", "bottom", "left", "right"};
  Cube cube(1.0f, &defMaterial);
  std::vector<SkyFace> faces;
  for (int side = 0; side < 6; ++side) {
    SkyFace f;
    f.name = names[side];
    const Face& face = *cube.faces[cube.meshes[side]->faces[0]];
    const Vector3D p[3] = {cube.vertices[face.vertex[0]], cube.vertices[face.vertex[1]],
                           cube.vertices[face.vertex[2]]};
    const Vector2D* t = face.texCoord;
    // Solve p_k = o + s_k ds + t_k dt from the three corners.
    const float det = (t[1].x - t[0].x) * (t[2].y - t[0].y) - (t[2].x - t[0].x) * (t[1].y - t[0].y);
    const Vector3D e1 = p[1] - p[0], e2 = p[2] - p[0];
    f.ds = (e1 * (t[2].y - t[0].y) - e2 * (t[1].y - t[0].y)) / det;
    f.dt = (e2 * (t[1].x - t[0].x) - e1 * (t[2].x - t[0].x)) / det;
    f.o = p[0] - f.ds * t[0].x - f.dt * t[0].y;
    f.normal = face.normal[0];
    EXPECT_TRUE(korvu_test::decodePng(korvu_test::sourceDir() + "/resources/textures/skybox/" + prefix + "_" +
                                          f.name + ".png",
                                      f.png))
        << prefix << " " << f.name;
    faces.push_back(f);
  }
  return faces;
}

// The pixel of the face that the direction d passes through.
const uint8_t* pixelToward(const SkyFace& f, const Vector3D& d) {
  const float a = dotProduct(d, f.normal);
  const Vector3D p = d / a - f.o;
  // ds and dt are orthogonal and of length 2.
  const float s = dotProduct(p, f.ds) / 4.0f, t = dotProduct(p, f.dt) / 4.0f;
  const int x = std::min(std::max(int(s * f.png.width), 0), f.png.width - 1);
  const int y = std::min(std::max(int(t * f.png.height), 0), f.png.height - 1);
  return &f.png.rgba[(size_t(y) * f.png.width + x) * 4];
}

}  // namespace

TEST(VehicleAssets, SkyFacesMeetWithoutSeams) {
  for (const char* prefix : {"day", "night"}) {
    SCOPED_TRACE(prefix);
    std::vector<SkyFace> faces = skyFaces(prefix);
    for (const SkyFace& f : faces) ASSERT_EQ(f.png.width, f.png.height);
    // Walk the border pixels of every face and compare each with the pixel
    // of the neighbouring face just across the edge.
    double total = 0;
    int samples = 0, worst = 0;
    for (const SkyFace& f : faces) {
      const int n = f.png.width;
      for (int i = 0; i < n; ++i) {
        const float c = (i + 0.5f) / n, e = 0.5f / n;
        for (const auto& [s, t] : {std::pair<float, float>{c, e}, {c, 1 - e}, {e, c}, {1 - e, c}}) {
          const Vector3D onFace = f.o + f.ds * s + f.dt * t;
          // Just over the edge the direction belongs to the neighbour.
          const Vector3D outward = (s < e * 2 ? -f.ds : s > 1 - e * 2 ? f.ds : t < e * 2 ? -f.dt : f.dt) * (1.0f / n);
          const Vector3D across = onFace + outward;
          const SkyFace* other = nullptr;
          for (const SkyFace& g : faces)
            if (&g != &f && dotProduct(across, g.normal) >= 0.999f) other = &g;
          ASSERT_NE(other, nullptr);
          const uint8_t* mine = &f.png.rgba[(size_t(t * n) * n + size_t(s * n)) * 4];
          const uint8_t* theirs = pixelToward(*other, across);
          for (int ch = 0; ch < 3; ++ch) {
            const int d = std::abs(int(mine[ch]) - int(theirs[ch]));
            total += d;
            worst = std::max(worst, d);
          }
          ++samples;
        }
      }
    }
    EXPECT_LT(total / (samples * 3), 2.0) << "mean step across the edges";
    // Single stars may land a pixel apart on the two sides of an edge.
    EXPECT_LT(worst, std::string(prefix) == "day" ? 40 : 255) << "largest step across the edges";
  }
}

TEST(VehicleAssets, DaySkyHasItsSunWhereTheRacePutsItAndNightIsDark) {
  std::vector<SkyFace> day = skyFaces("day"), night = skyFaces("night");
  auto brightness = [](const std::vector<SkyFace>& faces, const Vector3D& d) {
    const SkyFace* best = &faces[0];
    for (const SkyFace& f : faces)
      if (dotProduct(d, f.normal) > dotProduct(d, best->normal)) best = &f;
    const uint8_t* p = pixelToward(*best, d);
    return int(p[0]) + p[1] + p[2];
  };
  Vector3D sun(-1000000, 220000, -500000), moon(0, 500000, -3000000), up(0, 1, 0), away(1, 0.2f, 0.5f);
  sun.normalize();
  moon.normalize();
  away.normalize();
  EXPECT_GE(brightness(day, sun), 735);
  EXPECT_LT(brightness(day, away), brightness(day, sun) - 100);
  EXPECT_GT(brightness(night, moon), 600);
  EXPECT_LT(brightness(night, up), 90);
  EXPECT_LT(brightness(night, Vector3D(0, -1, 0)), 60);
}

// ---------------------------------------------------------------------------
// Frames

namespace {

class VehicleFrames : public korvu_test::GLWindowTest {
 protected:
  int windowWidth() const override { return 640; }
  int windowHeight() const override { return 480; }
};

// A lit scene with the day or night sky, a grey ground where the road would
// be and the vehicle with its launcher and rocket.
struct Showroom {
  Resources res;
  ImageBank skyImages;
  MaterialBank skyMaterials;
  Cube sky{10.0f, &defMaterial};
  Material groundPaint{"ground", nullptr, Color(0.2f, 0.2f, 0.22f, 1), Color(0.45f, 0.45f, 0.48f, 1),
                       Color(0, 0, 0, 1), Color(0, 0, 0, 1), 0};
  Model ground;
  Object root;
  ModelObject* vehicle;
  ModelObject* launcher;
  Camera* chase;

  explicit Showroom(bool night) {
    {
      glimro_test::InSourceDir here;
      skyMaterials.load(night ? "resources/textures/skybox/night.xml" : "resources/textures/skybox/day.xml",
                        &skyImages, "resources/textures/skybox/");
    }
    // The engine's own image loading, as the game's start-up uses it.
    {
      glimro_test::InSourceDir here;
      EXPECT_NO_THROW(skyImages.refresh());
      EXPECT_NO_THROW(res.images.refresh());
    }
    const std::pair<const char*, CubeFace> sides[6] = {{"front", CUBE_FRONT}, {"back", CUBE_BACK},
                                                       {"left", CUBE_LEFT},   {"right", CUBE_RIGHT},
                                                       {"top", CUBE_TOP},     {"bottom", CUBE_BOTTOM}};
    for (const auto& [name, side] : sides) {
      EXPECT_NE(skyMaterials[name], nullptr) << name;
      sky.setMaterial(side, skyMaterials[name]);
    }
    root.skybox = &sky;
    root.skyboxClockwise = true;

    // A 400 by 400 floor at road height under the vehicle.
    ground.initVertices(4);
    const float s = 200, y = -8.6f;
    ground.vertices = {Vector3D(-s, y, -s), Vector3D(s, y, -s), Vector3D(s, y, s), Vector3D(-s, y, s)};
    ground.initFaces(2);
    const Vector3D up(0, 1, 0);
    *ground.faces[0] = Face(0, 2, 1, up, up, up);
    *ground.faces[1] = Face(0, 3, 2, up, up, up);
    ground.initMeshes(1);
    ground.meshes[0]->init(2, &groundPaint);
    ground.meshes[0]->faces = {0, 1};
    ground.prepare();
    root += new ModelObject(&ground);

    Light* sun = new Light();
    sun->glPosition[0] = -0.1f, sun->glPosition[1] = 1.0f, sun->glPosition[2] = 0.1f, sun->glPosition[3] = 0;
    const float light = night ? 0.25f : 0.7f;
    sun->ambient = Color(light * 0.5f, light * 0.5f, light * 0.5f, 1);
    sun->diffuse = Color(light, light, light, 1);
    sun->specular = Color(1, 1, 1, 1);
    sun->castsShadows = true;
    // Where the race puts its day and night lights; the shadow falls away
    // from them.
    sun->position = night ? Vector3D(0, 500000, -3000000) : Vector3D(-1000000, 220000, -500000);
    sun->constantAttenuation = 1;
    root += sun;

    vehicle = new ModelObject(res.model("glimro"));
    vehicle->setShadowModel(res.model("glimroShadow"));
    root += vehicle;
    launcher = new ModelObject(res.model("rocketLauncher"));
    launcher->position = Vector3D(0.4f, -1.5f, -8.8f);
    launcher->rotate(6.5f, Vector3D(0, 1, 0));
    *vehicle += launcher;
    ModelObject* rocket = new ModelObject(res.model("rocket"));
    rocket->position = Vector3D(-0.05f, 4.0f, 1.0f);
    rocket->setShadowModel(res.model("rocket"));
    *launcher += rocket;

    chase = new Camera(80.0, 640.0 / 480.0);
    chase->near = 0.1;
    chase->far = 20000;
    *vehicle += chase;
  }

  // Draws one frame from the camera and saves it.
  void shoot(Camera* camera, const std::string& artifact) {
    RenderContext3D context;
    context.lighting = true;
    context.smooth = 1;
    context.ambient = Color(0.4f, 0.4f, 0.4f, 1);
    korvu::currentViewport = &korvu::vpScreen;
    glViewport(0, 0, 640, 480);
    glClearColor(0, 0, 0.5f, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    context.apply();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    camera->drawView(&root);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << artifact;
    korvu_test::saveWindowArtifact(artifact);
  }
};

// Pixels whose red clearly dominates: the livery.
int liveryPixels(const std::vector<uint8_t>& rgba) {
  int n = 0;
  for (size_t i = 0; i < rgba.size(); i += 4) n += rgba[i] > 90 && rgba[i] > 2 * rgba[i + 1] && rgba[i] > 2 * rgba[i + 2];
  return n;
}

}  // namespace

TEST_F(VehicleFrames, ChaseAndShowroomViewsByDayAndNight) {
  for (bool night : {false, true}) {
    SCOPED_TRACE(night ? "night" : "day");
    Showroom room(night);
    const std::string when = night ? "night" : "day";
    // The race's chase camera: behind and above, looking forward and down.
    room.chase->position = Vector3D(0, 30, -40);
    room.chase->rotate(180, Vector3D(0, 1, 0));
    room.chase->rotate(-20, Vector3D(1, 0, 0));
    room.shoot(room.chase, "vehicle_chase_" + when);
    const std::vector<uint8_t> chase = korvu_test::readPixels(0, 0, 640, 480);
    EXPECT_GT(liveryPixels(chase), 2000);
    // The sky fills the top rows.
    const std::vector<uint8_t> top = korvu_test::readPixels(0, 470, 640, 10);
    double blue = 0;
    for (size_t i = 0; i < top.size(); i += 4) blue += top[i + 2];
    if (!night) {
      EXPECT_GT(blue / (top.size() / 4), 120);
    }

    // A three-quarter view from the front left with the launcher open.
    room.launcher->position = Vector3D(0.5f, 1.7f, -8.2f);
    room.launcher->rotation.setIdentity();
    room.launcher->inverseRotation.setIdentity();
    room.launcher->rotate(-90, Vector3D(0, 0, 1));
    room.launcher->setHasMoved(true);
    room.chase->rotation.setIdentity();
    room.chase->inverseRotation.setIdentity();
    room.chase->position = Vector3D(32, 12, 40);
    room.chase->rotate(38, Vector3D(0, 1, 0));
    room.chase->rotate(-14, Vector3D(1, 0, 0));
    room.chase->setHasMoved(true);
    room.shoot(room.chase, "vehicle_showroom_" + when);
    EXPECT_GT(liveryPixels(korvu_test::readPixels(0, 0, 640, 480)), 1200);

    // Square from the left at the height of the pods: the hover pads glow
    // under the jets.
    room.chase->rotation.setIdentity();
    room.chase->inverseRotation.setIdentity();
    room.chase->position = Vector3D(-34, -2, -1);
    room.chase->rotate(-90, Vector3D(0, 1, 0));
    room.chase->setHasMoved(true);
    room.shoot(room.chase, "vehicle_side_" + when);
    const std::vector<uint8_t> side = korvu_test::readPixels(0, 0, 640, 480);
    EXPECT_GT(liveryPixels(side), 1200);
    int glow = 0;
    for (size_t i = 0; i < side.size(); i += 4) glow += side[i + 2] > 180 && side[i + 1] > 150 && side[i + 2] > side[i] + 60;
    EXPECT_GT(glow, 40) << "no cyan pad light";
  }
}

// The upper half of the window, above the floor, is sky: not black, and
// not one flat colour (the clear colour where the sky is missing), by the
// mean and the spread of the brightness (sum of the channels).
void expectSky(const std::string& what) {
  const std::vector<uint8_t> rgba = korvu_test::readPixels(0, 240, 640, 240);
  double sum = 0, squares = 0;
  const double n = rgba.size() / 4.0;
  for (size_t i = 0; i < rgba.size(); i += 4) {
    const double v = rgba[i] + rgba[i + 1] + rgba[i + 2];
    sum += v;
    squares += v * v;
  }
  const double mean = sum / n, spread = std::sqrt(std::max(0.0, squares / n - mean * mean));
  EXPECT_GT(mean, 8.0) << what << ": black";
  EXPECT_GT(spread, 5.0) << what << ": one flat colour";
}

TEST_F(VehicleFrames, SkiesSeenAllAround) {
  for (bool night : {false, true}) {
    const std::string when = night ? "night" : "day";
    Showroom room(night);
    room.root -= room.vehicle;
    delete room.vehicle;
    Camera* eye = new Camera(90.0, 640.0 / 480.0);
    eye->near = 0.1;
    eye->far = 100;
    room.root += eye;
    // Towards the sun (day) or the moon (night), then round the horizon a
    // little above it, then straight up.
    eye->rotate(night ? 0.0f : 63.0f, Vector3D(0, 1, 0));
    eye->rotate(night ? 9.0f : 11.0f, Vector3D(1, 0, 0));
    room.shoot(eye, "sky_" + when + "_toward_light");
    expectSky(when + " toward the light");
    for (int heading = 0; heading < 360; heading += 90) {
      eye->rotation.setIdentity();
      eye->inverseRotation.setIdentity();
      eye->rotate(static_cast<float>(heading), Vector3D(0, 1, 0));
      eye->rotate(30, Vector3D(1, 0, 0));
      room.shoot(eye, "sky_" + when + "_" + std::to_string(heading));
      expectSky(when + " heading " + std::to_string(heading));
    }
    eye->rotation.setIdentity();
    eye->inverseRotation.setIdentity();
    eye->rotate(90, Vector3D(1, 0, 0));
    room.shoot(eye, "sky_" + when + "_up");
    expectSky(when + " up");
  }
}
