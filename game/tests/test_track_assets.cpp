// The three tracks built from the game's own models: sections, bent copies,
// portal and scenery where they belong; and the short track drawn from four
// viewpoints.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>

#include "assetsupport.h"
#include "ddd/camera.h"
#include "ddd/collisionmodel.h"
#include "ddd/emitterobject.h"
#include "ddd/light.h"
#include "ddd/materialbank.h"
#include "ddd/modelbank.h"
#include "ddd/modelobject.h"
#include "ddd/pipeline.h"
#include "ddd/settings.h"
#include "image.h"
#include "korvu.h"
#include "track/layouts.h"
#include "rendercontext.h"
#include "testsupport.h"
#include "vectorchecks.h"

using glimro::Track;
using glimro::TrackSection;
using korvu::Color;
using korvu::Vector2D;
using korvu::Vector3D;
using korvu::ddd::CollisionModel;
using korvu::ddd::Object;
using korvu_test::expectVec;

namespace {

// The game's banks, read once for all tests.
glimro_test::GameBanks& game() {
  static glimro_test::GameBanks* g = new glimro_test::GameBanks();
  return *g;
}

std::unique_ptr<Track> build(int number) {
  std::unique_ptr<Track> track(glimro::createTrack(number));
  track->modelBank = &game().models;
  track->load();
  game().models.prepare();  // as the race set-up does after load()
  return track;
}

bool collideableAt(const Track& track, const Object* o) {
  std::list<Object*> near;
  const Vector2D at(o->position.x, o->position.z);
  track.collisionTree.getObjects(at + Vector2D(1, 1), at - Vector2D(1, 1), &near);
  for (const Object* n : near)
    if (n == o) return true;
  return false;
}

}  // namespace

TEST(TrackAssets, ShortTrackFromTheGameModels) {
  std::unique_ptr<Track> track = build(0);
  const size_t bankSize = game().models.size();
  ASSERT_EQ(track->sections.size(), 40u);
  const Vector3D starts[4] = {{400, 0, -600}, {0, 0, 200}, {0, 0, -500}, {550, 0, -1400}};
  const std::string blanks(7, ' ');
  for (TrackSection* s : track->sections) {
    const int curve = s->index / 10 + 1, piece = s->index % 10;
    if (piece == 0) {
      expectVec(s->position, starts[curve - 1].x, starts[curve - 1].y, starts[curve - 1].z, 1e-3f);
    }
    const std::string name = "tracksection" + std::to_string(curve);
    EXPECT_EQ(s->ModelObject::model->name, name + blanks + std::to_string(piece));
    EXPECT_EQ(s->Collideable::model->name, name + "Col" + blanks + std::to_string(piece));
    EXPECT_EQ(game().models[s->ModelObject::model->name], s->ModelObject::model);
    EXPECT_TRUE(s->Collideable::model->isReady()) << s->index;
    EXPECT_TRUE(collideableAt(*track, s)) << s->index;
  }

  // The portal with its two lamps and the lamps' emitter; solid, never culled.
  ASSERT_EQ(track->children.size(), 1u);
  Object* portal = track->children.front();
  EXPECT_EQ(dynamic_cast<korvu::ddd::ModelObject*>(portal)->model, game().models["startPortal"]);
  EXPECT_TRUE(collideableAt(*track, portal));
  ASSERT_EQ(portal->children.size(), 3u);
  for (Object* lamp : {portal->children.front(), *std::next(portal->children.begin())}) {
    EXPECT_EQ(dynamic_cast<korvu::ddd::ModelObject*>(lamp)->model, game().models["startLights"]);
  }
  EXPECT_EQ(portal->children.back(), track->startLightEmitter);

  // Four tribunes in the culled scene, none of them solid.
  int tribunes = 0;
  for (Object* o : track->objects) {
    auto* m = dynamic_cast<korvu::ddd::ModelObject*>(o);
    if (m && m->model == game().models["tribune"]) {
      ++tribunes;
      EXPECT_FALSE(collideableAt(*track, o));
    }
  }
  EXPECT_EQ(tribunes, 4);

  // A second race on the track replaces the bent copies.
  track.reset();
  track = build(0);
  EXPECT_EQ(game().models.size(), bankSize);
}

TEST(TrackAssets, AlternateAndThirdTrackFromTheGameModels) {
  struct Case { int number; size_t sections; Vector3D last; };
  for (const Case& c : {Case{1, 179, {-223.4375f, 0.390625f, 0}}, Case{2, 142, {-257.4074f, 0, 0}}}) {
    SCOPED_TRACE(c.number);
    std::unique_ptr<Track> track = build(c.number);
    ASSERT_EQ(track->sections.size(), c.sections);
    expectVec(track->sections.back()->position, c.last.x, c.last.y, c.last.z, 1e-2f);
    for (TrackSection* s : track->sections) EXPECT_TRUE(s->Collideable::model->isReady()) << s->index;
    EXPECT_EQ(track->children.size(), 1u);  // the portal
  }
}

// ---------------------------------------------------------------------------
// Pictures

namespace {

constexpr int W = 640;
constexpr int H = 480;

class TrackPictures : public glimro_test::SuiteWindowTest {
 protected:
  static void SetUpTestSuite() {
    if (!openWindow(W, H)) return;
    glimro_test::fromSourceDir([] {
      korvu::ddd::init();
      game().images.refresh();
    });
  }

  static void TearDownTestSuite() {
    if (windowOpen) game().images.release();
    closeWindow();
  }
};

}  // namespace

TEST_F(TrackPictures, TracksFromSeveralViewpoints) {
  // The race's sun: directional, from above.
  korvu::ddd::Light* sun = new korvu::ddd::Light();
  sun->glPosition[0] = -0.1f;
  sun->glPosition[1] = 1.0f;
  sun->glPosition[2] = 0.1f;
  sun->glPosition[3] = 0.0f;
  sun->diffuse = Color(0.6f, 0.6f, 0.6f, 1);
  sun->specular = Color(1, 1, 1, 1);
  Object world;
  world += sun;

  korvu::RenderContext3D context;
  context.lighting = true;
  context.smooth = 1;
  context.ambient = Color(0.6f, 0.6f, 0.6f, 1);

  const struct {
    int track;
    const char* name;
    Vector3D eye, target;
  } views[] = {
      {0, "track_short_grid", {540, 45, -740}, {400, 20, -600}},
      {0, "track_short_portal", {290, 50, -490}, {400, 45, -600}},
      {0, "track_short_bend", {700, 180, -1450}, {870, 0, -1150}},
      {0, "track_short_above", {420, 1800, -549}, {420, 0, -550}},
      {0, "track_short_tribune", {-20, 75, 190}, {-10, 40, 50}},
      {1, "track_alternate_above", {0, 4200, 1}, {0, 0, 0}},
      {1, "track_alternate_tunnel", {1450, 230, 250}, {1600, 170, 450}},
      {2, "track_03_above", {100, 3000, 101}, {100, 0, 100}},
      {2, "track_03_loop", {250, -100, 650}, {700, -200, 50}},
      {2, "track_03_sign", {60, 95, 700}, {-100, 80, 700}},
  };
  Track* track = nullptr;
  int built = -1;
  for (const auto& v : views) {
    SCOPED_TRACE(v.name);
    if (built != v.track) {
      delete track;  // leaves the world as it goes
      track = build(v.track).release();
      world += track;
      built = v.track;
    }
    std::unique_ptr<korvu::ddd::Camera> camera = lookAt(v.eye, v.target, 6000);
    context.apply();
    glClearColor(0.25f, 0.45f, 0.75f, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    camera->drawView(&world);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    EXPECT_GT(korvu::ddd::pipeline.meshesDrawn, 0u);

    std::vector<uint8_t> rgba = korvu_test::readPixels(0, 0, W, H);
    int covered = 0;
    for (size_t i = 0; i < rgba.size(); i += 4) {
      rgba[i + 3] = 255;  // the cleared sky has alpha 0
      if (std::abs(rgba[i] - 64) > 1 || std::abs(rgba[i + 1] - 115) > 1 || std::abs(rgba[i + 2] - 191) > 1) ++covered;
    }
    // Every view has the road or the portal in it.
    EXPECT_GT(covered, W * H / 20);
    korvu_test::saveArtifact(v.name, W, H, rgba);
  }
}
