// The track's models as the game reads them: every file the track tool
// makes loads through the engine's reader and agrees with an independent
// Milkshape3D reader; the road pieces' collision surfaces face up wherever
// vehicles drive; neighbouring pieces meet without gaps when the track bends
// them; and every model is drawn once and saved as a picture.
#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <sstream>
#include <tuple>

#include "assetsupport.h"
#include "ddd/bezier.h"
#include "ddd/camera.h"
#include "ddd/collideable.h"
#include "ddd/collision.h"
#include "ddd/collisionmodel.h"
#include "ddd/light.h"
#include "ddd/material.h"
#include "ddd/materialbank.h"
#include "ddd/milkshape.h"
#include "ddd/modelbank.h"
#include "ddd/modelobject.h"
#include "ddd/pathfollow.h"
#include "ddd/pipeline.h"
#include "ddd/settings.h"
#include "image.h"
#include "korvu.h"
#include "track/layouts.h"
#include "rendercontext.h"
#include "testsupport.h"
#include "vectorchecks.h"

using korvu::Color;
using korvu::Matrix3D;
using korvu::Vector3D;
using korvu::ddd::CollisionModel;
using korvu::ddd::Model;

namespace {

constexpr float PIECE_LENGTH = 160.0f;

const char* const RENDERED[] = {"tracksection", "tracksect02", "transition0102", "transition0201", "tunnel",
                                "tunnelEx",     "tunnelEnt",   "startPortal",    "startLights",    "tribune",
                                "sign"};
const char* const COLLISION[] = {"tracksectionCollision", "tracksect02Col",     "transition0102Col",
                                 "transition0201Col",     "tunnelCollision",    "tunnelExCollision",
                                 "tunnelEntCollision",    "startPortalCollision"};

// Road pieces and their collision partners; the first seven of each list.
constexpr int ROAD_COUNT = 7;

// Pieces that follow one another in driving order on the three tracks.
const std::pair<int, int> NEIGHBOURS[] = {{0, 0}, {0, 2}, {2, 1}, {1, 1}, {1, 3}, {3, 0},
                                          {0, 5}, {5, 4}, {4, 4}, {4, 6}, {6, 0}, {6, 5}};

using Banks = glimro_test::GameBanks;
using glimro_test::fromSourceDir;

Banks& banks() {
  static Banks* b = new Banks();
  return *b;
}

std::string modelFile(const std::string& name) {
  return korvu_test::sourceDir() + "/resources/models/" + name + ".ms3d";
}

struct Box {
  Vector3D lo{1e30f, 1e30f, 1e30f};
  Vector3D hi{-1e30f, -1e30f, -1e30f};
  void add(const Vector3D& p) {
    lo = Vector3D(std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z));
    hi = Vector3D(std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z));
  }
};

Box boxOf(const Model& m) {
  Box b;
  for (uint32_t i = 0; i < m.vertexCount; ++i) b.add(m.vertices[i]);
  return b;
}

// What an independent reader makes of a file: assimp converts it to a
// Wavefront OBJ file, which lists the distinct positions it read and each
// mesh's faces as positions.
struct ForeignReading {
  std::vector<Vector3D> positions;
  std::vector<std::string> materials;                   // per mesh
  std::vector<std::vector<std::array<int, 3>>> meshes;  // 0-based position indices
};

ForeignReading readWithAssimp(const std::string& file) {
  ForeignReading r;
  const std::string obj = korvu_test::makeTempDir() + "/model.obj";
  if (std::system(("assimp export '" + file + "' '" + obj + "' >/dev/null 2>&1").c_str()) != 0) return r;
  std::istringstream lines(korvu_test::readFile(obj));
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string word;
    words >> word;
    if (word == "v") {
      Vector3D p;
      words >> p.x >> p.y >> p.z;
      r.positions.push_back(p);
    } else if (word == "usemtl") {
      r.materials.emplace_back();
      words >> r.materials.back();
      r.meshes.emplace_back();
    } else if (word == "f" && !r.meshes.empty()) {
      std::array<int, 3> face{};
      for (int& corner : face) {
        words >> word;
        corner = std::atoi(word.c_str()) - 1;  // "position/uv/normal", 1-based
      }
      r.meshes.back().push_back(face);
    }
  }
  return r;
}

bool closeTo(const Vector3D& a, const Vector3D& b, float tolerance) {
  return std::fabs(a.x - b.x) <= tolerance && std::fabs(a.y - b.y) <= tolerance && std::fabs(a.z - b.z) <= tolerance;
}

TEST(TrackModelFiles, EveryFileReadsAlikeInTheEngineAndInAnIndependentReader) {
  std::vector<std::string> names(std::begin(RENDERED), std::end(RENDERED));
  names.insert(names.end(), std::begin(COLLISION), std::end(COLLISION));
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    korvu::ImageBank images;
    korvu::ddd::MaterialBank materials;
    korvu::ddd::MilkshapeModel m;
    ASSERT_NO_THROW(m.load(modelFile(name).c_str(), &materials, &images, "resources/textures/"));
    const ForeignReading a = readWithAssimp(modelFile(name));
    ASSERT_EQ(a.positions.size(), m.vertexCount) << "is assimp-utils installed?";
    ASSERT_EQ(a.meshes.size(), m.meshCount);
    for (uint32_t i = 0; i < m.meshCount; ++i) {
      const korvu::ddd::Mesh& mesh = *m.meshes[i];
      EXPECT_EQ(a.materials[i], mesh.material->name);
      ASSERT_EQ(a.meshes[i].size(), mesh.faceCount);
      for (uint32_t j = 0; j < mesh.faceCount; ++j) {
        for (int c = 0; c < 3; ++c) {
          const int foreign = a.meshes[i][j][c];
          ASSERT_TRUE(foreign >= 0 && foreign < static_cast<int>(a.positions.size()));
          SCOPED_TRACE("mesh " + std::to_string(i) + " face " + std::to_string(j) + " corner " + std::to_string(c));
          const Vector3D& p = m.vertices[m.faces[mesh.faces[j]]->vertex[c]];
          korvu_test::expectVec(a.positions[foreign], p.x, p.y, p.z, 1e-3f);
        }
      }
    }

    // Every vertex is used, and no two share a position.
    std::set<int> used;
    for (uint32_t f = 0; f < m.faceCount; ++f) used.insert(m.faces[f]->vertex, m.faces[f]->vertex + 3);
    EXPECT_EQ(used.size(), m.vertexCount);
    std::set<std::tuple<float, float, float>> positions;
    for (uint32_t i = 0; i < m.vertexCount; ++i) positions.insert({m.vertices[i].x, m.vertices[i].y, m.vertices[i].z});
    EXPECT_EQ(positions.size(), m.vertexCount);

    // The game's image loader reads every texture; each has power-of-two
    // sides, so it needs no padding and mipmaps cleanly.
    for (auto& [imageName, image] : images) {
      image->fileName = korvu_test::sourceDir() + "/" + image->fileName;
      std::vector<uint8_t> pixels;
      ASSERT_NO_THROW(image->decode(pixels, 4096)) << imageName;
      EXPECT_EQ(image->width, image->textureWidth) << imageName;
      EXPECT_EQ(image->height, image->textureHeight) << imageName;
    }
  }
}

TEST(TrackModelFiles, TheGameFindsEveryModelAndLampMaterialByName) {
  Banks& b = banks();
  for (const char* name : RENDERED) {
    Model* m = b.model(name);
    ASSERT_NE(m, nullptr) << name;
    EXPECT_EQ(dynamic_cast<CollisionModel*>(m), nullptr) << name;
    EXPECT_EQ(m->bufferType, korvu::ddd::BUFFER_HARDWARE) << name;
  }
  for (const char* name : COLLISION) {
    auto* m = dynamic_cast<CollisionModel*>(b.model(name));
    ASSERT_NE(m, nullptr) << name << " is not a collision model";
    EXPECT_TRUE(m->prepared);
  }

  // The countdown switches the first three meshes of the start lights
  // between these materials; they start off.
  const char* const lamps[3][2] = {
      {"redLightOff", "redLightOn"}, {"yellowLightOff", "yellowLightOn"}, {"greenLightOff", "greenLightOn"}};
  Model* lights = b.model("startLights");
  ASSERT_NE(lights, nullptr);
  ASSERT_GE(lights->meshCount, 4u);
  float lastHeight = 1e30f;
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(lamps[i][0]);
    EXPECT_EQ(lights->meshes[i]->material->name, lamps[i][0]);
    auto off = b.materials.find(lamps[i][0]), on = b.materials.find(lamps[i][1]);
    ASSERT_TRUE(off != b.materials.end() && on != b.materials.end());
    const Color& e = on->second->emissive;
    EXPECT_GT(std::max({e.red, e.green, e.blue}), 0.9f);
    EXPECT_EQ(off->second->emissive.red + off->second->emissive.green + off->second->emissive.blue, 0.0f);
    EXPECT_FALSE(on->second->transparent);
    // Lamps face the grid (+z), red at the top, green at the bottom.
    float height = 0;
    for (uint32_t f : lights->meshes[i]->faces) {
      EXPECT_GT(lights->faces[f]->faceNormal.z, 0.5f);
      height += lights->vertices[lights->faces[f]->vertex[1]].y;
    }
    height /= lights->meshes[i]->faceCount;
    EXPECT_LT(height, lastHeight);
    lastHeight = height;
  }
}

TEST(TrackModelFiles, FacesWindTowardsTheirNormals) {
  // Culling drops faces whose winding disagrees with the side they are lit
  // from: every face turns its front the way its corner normals point.
  Banks& b = banks();
  for (const char* name : RENDERED) {
    const Model* m = b.model(name);
    ASSERT_NE(m, nullptr) << name;
    for (uint32_t f = 0; f < m->faceCount; ++f) {
      const korvu::ddd::Face& face = *m->faces[f];
      for (int c = 0; c < 3; ++c) {
        const Vector3D& n = face.normal[c];
        EXPECT_GT(face.faceNormal.x * n.x + face.faceNormal.y * n.y + face.faceNormal.z * n.z, 0.5f)
            << name << " face " << f << " corner " << c;
      }
    }
  }
}

TEST(TrackModelFiles, RoadPiecesRunAlongMinusZThinAndWithRingsToBend) {
  Banks& b = banks();
  for (int i = 0; i < ROAD_COUNT; ++i) {
    for (const char* name : {RENDERED[i], COLLISION[i]}) {
      SCOPED_TRACE(name);
      Model* m = b.model(name);
      ASSERT_NE(m, nullptr);
      const Box box = boxOf(*m);
      EXPECT_EQ(box.hi.z, 0.0f);
      EXPECT_EQ(box.lo.z, -PIECE_LENGTH);
      // About 80 wide; the slab stays thin, for roads stacked 50 apart.
      EXPECT_GE(box.lo.x, -62.0f);
      EXPECT_LE(box.hi.x, 62.0f);
      EXPECT_GE(box.lo.y, -3.0f);
      if (i < 4) {
        EXPECT_LE(box.hi.y, 4.0f);
      }
      // Rings at most 1/8 of the piece apart, so bends stay smooth.
      std::set<float> rings;
      for (uint32_t v = 0; v < m->vertexCount; ++v) rings.insert(m->vertices[v].z);
      float last = -PIECE_LENGTH;
      for (float z : rings) {
        EXPECT_LE(z - last, PIECE_LENGTH / 8 + 1e-3f);
        last = z;
      }
    }
    const uint32_t triangles = b.model(RENDERED[i])->faceCount;
    EXPECT_GE(triangles, 200u) << RENDERED[i];
    EXPECT_LE(triangles, 2000u) << RENDERED[i];
  }
}

TEST(TrackModelFiles, CollisionSurfacesFaceUpWhereverVehiclesDrive) {
  Banks& b = banks();
  for (int i = 0; i < ROAD_COUNT; ++i) {
    SCOPED_TRACE(COLLISION[i]);
    auto* cm = dynamic_cast<CollisionModel*>(b.model(COLLISION[i]));
    ASSERT_NE(cm, nullptr);
    // Flat faces at road level face up; the only others are tunnel walls
    // facing the road.
    for (uint32_t f = 0; f < cm->faceCount; ++f) {
      const korvu::ddd::Face& face = *cm->faces[f];
      const Vector3D centre = (cm->vertices[face.vertex[0]] + cm->vertices[face.vertex[1]] +
                               cm->vertices[face.vertex[2]]) / 3.0f;
      const Vector3D& n = cm->faceNormals[f];
      if (std::fabs(centre.y) < 1e-4f) {
        EXPECT_GT(n.y, 0.9999f) << "face " << f;
      } else {
        EXPECT_GT(std::fabs(n.x), 0.9999f) << "face " << f;
        EXPECT_LT(n.x * centre.x, 0.0f) << "face " << f;
        EXPECT_GE(std::fabs(centre.x), 45.0f) << "face " << f;
      }
    }
    // A vertical probe anywhere over the road finds exactly one face, and a
    // jet sphere sunk into the road is only ever pushed up.
    korvu::ddd::Collideable road(cm, false, korvu::ddd::COLLIDEABLE_MESH);
    korvu::ddd::BoundingSphere jetShape(Vector3D(0, 0, 0), 6.0f);
    for (float x = -39.5f; x <= 39.5f; x += 7.9f) {
      for (float z = -0.5f; z >= -PIECE_LENGTH + 0.5f; z -= 13.3f) {
        std::unique_ptr<korvu::ddd::Intersection> probe(
            korvu::ddd::getRayMeshIntersection(Vector3D(x, 20, z), Vector3D(0, -1, 0), &road));
        ASSERT_NE(probe, nullptr) << x << ", " << z;
        EXPECT_EQ(probe->surfacesB.size(), 1u) << x << ", " << z;
        Vector3D jet(x, 4, z);
        korvu::ddd::Collideable sphere(&jetShape, &jet, nullptr, nullptr, korvu::ddd::COLLIDEABLE_SPHERE);
        std::unique_ptr<korvu::ddd::Intersection> contact(korvu::ddd::getIntersection(&sphere, &road));
        ASSERT_NE(contact, nullptr);
        for (const korvu::ddd::SurfaceIntersection* s : contact->surfacesA) {
          EXPECT_LT(s->vector.y, 0.0f) << x << ", " << z;
        }
      }
    }
  }
}

// Where the vertices of a piece end up when the track bends it over
// [t0, t1] of a curve and places it, as the layouts do.
std::vector<Vector3D> bentAndPlaced(const Model& original, const korvu::ddd::BezierCurve& curve,
                                    const korvu::ddd::PathFollowModifier& modifier, float t0, float t1) {
  Model copy(original);
  const Vector3D axis(0, 0, -1), up(0, 1, 0);
  modifier.transformModel(&copy, axis, up, t0, t1);
  const Matrix3D rotation = modifier.getRotation(axis, t0);
  const Vector3D origin = curve.getVertexAt(t0);
  std::vector<Vector3D> world;
  for (uint32_t v = 0; v < copy.vertexCount; ++v) {
    Vector3D p = copy.vertices[v];
    p.transform(rotation);
    world.push_back(p + origin);
  }
  return world;
}

TEST(TrackModelFiles, NeighbouringPiecesMeetWithoutGapsWhenBent) {
  Banks& b = banks();
  // A curve that turns, climbs and banks.
  korvu::ddd::BezierCurve curve(Vector3D(0, 0, 0), Vector3D(300, 0, -60), Vector3D(520, 60, -400),
                                Vector3D(380, 120, -720), 20);
  korvu::ddd::PathFollowModifier modifier(&curve, 1);
  modifier.setEndRoll(20);
  modifier.init(10);
  for (const char* const* list : {RENDERED, COLLISION}) {
    for (const auto& [first, second] : NEIGHBOURS) {
      SCOPED_TRACE(std::string(list[first]) + " then " + list[second]);
      const Model* a = b.model(list[first]);
      const Model* c = b.model(list[second]);
      ASSERT_TRUE(a && c);
      // The end of the first and the start of the second share one
      // cross-section...
      std::multiset<std::pair<float, float>> end, start;
      for (uint32_t v = 0; v < a->vertexCount; ++v) {
        if (a->vertices[v].z == -PIECE_LENGTH) end.insert({a->vertices[v].x, a->vertices[v].y});
      }
      for (uint32_t v = 0; v < c->vertexCount; ++v) {
        if (c->vertices[v].z == 0) start.insert({c->vertices[v].x, c->vertices[v].y});
      }
      EXPECT_FALSE(end.empty());
      EXPECT_EQ(end, start);
      // ... which stays one when both are bent along the curve.
      const std::vector<Vector3D> wa = bentAndPlaced(*a, curve, modifier, 0.25f, 0.5f);
      const std::vector<Vector3D> wc = bentAndPlaced(*c, curve, modifier, 0.5f, 0.75f);
      for (uint32_t v = 0; v < a->vertexCount; ++v) {
        if (a->vertices[v].z != -PIECE_LENGTH) continue;
        bool met = false;
        for (uint32_t w = 0; w < c->vertexCount && !met; ++w) {
          met = c->vertices[w].z == 0 && c->vertices[w].x == a->vertices[v].x &&
                c->vertices[w].y == a->vertices[v].y && closeTo(wa[v], wc[w], 0.05f);
        }
        EXPECT_TRUE(met) << "vertex " << v << " at " << wa[v].x << ", " << wa[v].y << ", " << wa[v].z;
      }
    }
  }
}

TEST(TrackModelFiles, TunnelsLeaveRoomForTheChaseCamera) {
  // The chase camera rides 30 above a vehicle that hovers about 9 above
  // the road, 40 behind it; the vehicle's centre stays within 30 of the
  // middle while its jets are over the road. Nothing may come into that
  // space below 50.
  Banks& b = banks();
  for (const char* name : {"tunnel", "tunnelEx", "tunnelEnt"}) {
    SCOPED_TRACE(name);
    const Model* m = b.model(name);
    ASSERT_NE(m, nullptr);
    bool roofed = false;
    for (uint32_t f = 0; f < m->faceCount; ++f) {
      Box face;
      for (int c = 0; c < 3; ++c) face.add(m->vertices[m->faces[f]->vertex[c]]);
      const bool inside = face.hi.x > -32 && face.lo.x < 32 && face.hi.y > 1.5f && face.lo.y < 50;
      EXPECT_FALSE(inside) << "face " << f;
      roofed = roofed || (face.lo.x <= 0 && face.hi.x >= 0 && face.lo.y >= 50 && face.hi.y <= 60 &&
                          m->faces[f]->faceNormal.y < -0.99f);
    }
    EXPECT_TRUE(roofed);
  }
}

TEST(TrackModelFiles, VehiclesPassThroughThePortalButNotItsPillars) {
  Banks& b = banks();
  auto* cm = dynamic_cast<CollisionModel*>(b.model("startPortalCollision"));
  ASSERT_NE(cm, nullptr);
  korvu::ddd::Collideable portal(cm, false, korvu::ddd::COLLIDEABLE_MESH);
  korvu::ddd::BoundingSphere body(Vector3D(0, 0, 0), 12.0f);
  auto hits = [&](float x, float y) {
    for (float z = 40; z >= -40; z -= 2) {
      Vector3D at(x, y, z);
      korvu::ddd::Collideable vehicle(&body, &at, nullptr, nullptr, korvu::ddd::COLLIDEABLE_SPHERE);
      std::unique_ptr<korvu::ddd::Intersection> contact(korvu::ddd::getIntersection(&vehicle, &portal));
      if (contact) return true;
    }
    return false;
  };
  for (float x : {-34.0f, -11.0f, 0.0f, 11.0f, 34.0f}) {
    EXPECT_FALSE(hits(x, 9)) << x;
    EXPECT_FALSE(hits(x, 60)) << x;
  }
  EXPECT_TRUE(hits(-50, 9));
  EXPECT_TRUE(hits(50, 9));
  // The lights hang at x = -38 and 38, y = 68 inside the portal's opening,
  // reaching up into the beam.
  const Box lights = boxOf(*b.model("startLights"));
  const Box portal3d = boxOf(*b.model("startPortal"));
  EXPECT_LT(38 + lights.hi.x, 48.0f);
  EXPECT_GT(68 + lights.lo.y, 40.0f);
  EXPECT_GT(68 + lights.hi.y, 80.0f);
  EXPECT_LT(68 + lights.hi.y, portal3d.hi.y);
}

TEST(TrackModelFiles, TwoTribunesAtOnePointTurnedApartMeetAtACorner) {
  // The short track puts two tribunes at one point, the second turned by
  // 270 degrees; they stand back to side without overlapping.
  const Box one = boxOf(*banks().model("tribune"));
  Matrix3D turn;
  turn.setRotate(270, Vector3D(0, 1, 0));
  Box two;
  for (int corner = 0; corner < 8; ++corner) {
    Vector3D p((corner & 1) ? one.hi.x : one.lo.x, (corner & 2) ? one.hi.y : one.lo.y,
               (corner & 4) ? one.hi.z : one.lo.z);
    two.add(p.transform(turn));
  }
  const float overlapX = std::min(one.hi.x, two.hi.x) - std::max(one.lo.x, two.lo.x);
  const float overlapZ = std::min(one.hi.z, two.hi.z) - std::max(one.lo.z, two.lo.z);
  EXPECT_LE(std::min(overlapX, overlapZ), 1e-3f);
  // The crowd looks along +z.
  Model* t = banks().model("tribune");
  int facingFront = 0;
  for (uint32_t i = 0; i < t->meshCount; ++i) {
    if (t->meshes[i]->material->name != "tribuneCrowd") continue;
    for (uint32_t f : t->meshes[i]->faces) facingFront += t->faces[f]->faceNormal.z > 0.99f;
  }
  EXPECT_GT(facingFront, 0);
}

// ---------------------------------------------------------------------------
// Pictures.

constexpr int W = 480;
constexpr int H = 360;

class TrackModelPictures : public glimro_test::SuiteWindowTest {
 protected:
  static void SetUpTestSuite() {
    if (!openWindow(W, H)) return;
    try {
      korvu::ddd::init();
    } catch (const std::string&) {
    }
    // Every texture the models name, loaded by the game's image loader.
    banks().images.maxFilter = korvu::IMAGEFILTER_TRILINEAR;
    fromSourceDir([] { banks().images.refresh(); });
  }

  static void TearDownTestSuite() {
    if (windowOpen) banks().images.release();
    closeWindow();
  }

  // The race's daylight: bright ambient, a sun from above, a blue sky.
  void draw(korvu::ddd::Camera& camera, korvu::ddd::Object& root, bool night = false) {
    korvu::RenderContext3D context;
    context.lighting = true;
    context.smooth = 1;
    context.ambient = night ? Color(0.01f, 0.01f, 0.02f, 1) : Color(0.7f, 0.7f, 0.7f, 0.7f);
    context.apply();
    if (night) {
      glClearColor(0, 0, 0.05f, 0);
    } else {
      glClearColor(0.25f, 0.45f, 0.75f, 0);
    }
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    camera.drawView(&root);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  }

  static korvu::ddd::Light* addSun(korvu::ddd::Object& root, bool night) {
    auto* sun = new korvu::ddd::Light();
    sun->glPosition[0] = -0.1f;
    sun->glPosition[1] = 1.0f;
    sun->glPosition[2] = 0.1f;
    sun->glPosition[3] = 0.0f;
    const float level = night ? 0.05f : 0.5f;
    sun->ambient = Color(level, level, level, 1);
    sun->diffuse = Color(level, level, level, 1);
    sun->specular = Color(night ? 0.05f : 1.0f, night ? 0.05f : 1.0f, night ? 0.05f : 1.0f, 1);
    root += sun;
    return sun;
  }

  struct Frame {
    std::vector<uint8_t> rgba;
    int covered = 0;  // pixels that are not the background
    int colours = 0;  // distinct colours among them, roughly
  };

  Frame grab(const std::string& artifact, bool night = false) {
    Frame f;
    f.rgba = korvu_test::readPixels(0, 0, W, H);
    std::set<int> seen;
    for (size_t i = 0; i < f.rgba.size(); i += 4) {
      f.rgba[i + 3] = 255;
      const int r = f.rgba[i], g = f.rgba[i + 1], bl = f.rgba[i + 2];
      const bool background = night ? (r == 0 && g == 0 && bl <= 13)
                                     : (std::abs(r - 64) <= 1 && std::abs(g - 115) <= 1 && std::abs(bl - 191) <= 1);
      if (background) continue;
      ++f.covered;
      seen.insert((r / 16) * 256 + (g / 16) * 16 + bl / 16);
    }
    f.colours = static_cast<int>(seen.size());
    korvu_test::saveArtifact(artifact, W, H, f.rgba);
    return f;
  }
};


TEST_F(TrackModelPictures, EveryModelDrawsLitAndTextured) {
  for (const char* name : RENDERED) {
    SCOPED_TRACE(name);
    Model* m = banks().model(name);
    ASSERT_NE(m, nullptr);
    korvu::ddd::Object root;
    addSun(root, false);
    root += new korvu::ddd::ModelObject(m);
    const Box box = boxOf(*m);
    const Vector3D centre = (box.lo + box.hi) * 0.5f;
    const float radius = (box.hi - box.lo).length() * 0.5f;
    // From the front (+z) and to the right, a little above.
    auto camera = lookAt(centre + Vector3D(0.55f, 0.35f, 0.75f) * (radius * 2.1f), centre, 5000);
    draw(*camera, root);
    const Frame f = grab(std::string("track_model_") + name);
    EXPECT_GT(f.covered, W * H / 20);
    EXPECT_GT(f.colours, 4);
  }
}

// The three tracks as a race builds them from these models: from above,
// from behind the start grid, and through the chase camera on a few
// sections (30 above and 40 behind a vehicle, looking ahead), by day and
// by night.
TEST_F(TrackModelPictures, TheThreeTracksAsBuilt) {
  struct Shot {
    const char* name;
    int section;  // the chase camera on this section, or -1 for eye and target
    Vector3D eye, target;
    bool night;
  };
  const struct {
    int number;
    const char* name;
    std::vector<Shot> shots;
  } tracks[] = {
      {0, "short", {{"above", -1, {1200, 1300, 300}, {350, 0, -600}, false},
                    {"grid", -1, {503, 40, -703}, {380, 8, -580}, false},
                    {"grid_night", -1, {503, 40, -703}, {380, 8, -580}, true}}},
      {1, "alternate", {{"above", -1, {-2200, 2300, 2600}, {200, 150, -100}, false},
                        {"tunnel", 14, {}, {}, false},
                        {"deck", 106, {}, {}, false},
                        {"deck_night", 106, {}, {}, true}}},
      {2, "03", {{"above", -1, {-1800, 1500, 1700}, {100, -150, 0}, false},
                 {"grid", -1, {-110, 40, 0}, {60, 10, 0}, false},
                 {"tunnel_mouth", 83, {}, {}, false},
                 {"banked", 20, {}, {}, false}}},
  };
  for (const auto& t : tracks) {
    // A bank of its own: the track adds its bent pieces to it.
    Banks own;
    own.images.maxFilter = korvu::IMAGEFILTER_TRILINEAR;
    std::unique_ptr<glimro::Track> track(glimro::createTrack(t.number));
    track->modelBank = &own.models;
    ASSERT_NO_THROW(track->load()) << t.name;
    own.models.prepare();
    const std::vector<glimro::TrackSection*> sections(track->sections.begin(), track->sections.end());
    fromSourceDir([&own] { own.images.refresh(); });
    korvu::ddd::Object day, night;
    addSun(day, false);
    addSun(night, true);
    glimro::Track* scene = track.release();
    for (const Shot& shot : t.shots) {
      SCOPED_TRACE(std::string(t.name) + " " + shot.name);
      Vector3D eye = shot.eye, target = shot.target;
      if (shot.section >= 0) {
        // A section's rotation turns its -z onto the road's direction.
        const glimro::TrackSection* s = sections.at(static_cast<size_t>(shot.section));
        eye = s->rotation * Vector3D(0, 39, 40) + s->position;
        target = s->rotation * Vector3D(0, 9, -120) + s->position;
      }
      korvu::ddd::Object& root = shot.night ? night : day;
      root += scene;
      auto camera = lookAt(eye, target, 20000);
      draw(*camera, root, shot.night);
      const Frame f = grab(std::string("track_model_") + t.name + "_" + shot.name, shot.night);
      EXPECT_GT(f.covered, W * H / 20);
    }
    korvu::ddd::pipeline.clearFrame();
    own.images.release();
  }
}

}  // namespace
