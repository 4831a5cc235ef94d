// The race drawn through its own draw path in a real window: the start grid
// by day and by night, for one player and for two side by side, from the
// chase camera, with compiled models and sky; every track from the grid, on
// a bend, in a tunnel and from above, and each sky's six faces as one sheet.
#include <gtest/gtest.h>
#include <GL/gl.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "ddd/camera.h"
#include "ddd/material.h"
#include "ddd/mesh.h"
#include "ddd/model.h"
#include "ddd/settings.h"
#include "race/game.h"
#include "race/glimro.h"
#include "korvu.h"
#include "shell/playerprofile.h"
#include "racesupport.h"
#include "race/rocket.h"
#include "rendercontext.h"
#include "testsupport.h"
#include "track/track.h"

using glimro::Game;

namespace {

const int W = 1024;
const int H = 768;

class RaceFrames : public korvu_test::GLWindowTest {
 protected:
  int windowWidth() const override { return W; }
  int windowHeight() const override { return H; }
};

// Pixels of the rectangle whose red clearly dominates: the vehicles'
// livery, dimmer by night.
int liveryPixels(int x, int y, int w, int h, bool night) {
  const std::vector<uint8_t> rgba = korvu_test::readPixels(x, y, w, h);
  const int least = night ? 30 : 90;
  int n = 0;
  for (size_t i = 0; i < rgba.size(); i += 4)
    n += rgba[i] > least && rgba[i] > 2 * rgba[i + 1] && rgba[i] > 2 * rgba[i + 2];
  return n;
}

// Mean blue of the top rows of the rectangle: the sky.
double skyBlue(int x, int w) {
  const std::vector<uint8_t> rgba = korvu_test::readPixels(x, H - 20, w, 20);
  double sum = 0;
  for (size_t i = 0; i < rgba.size(); i += 4) sum += rgba[i + 2];
  return sum / (rgba.size() / 4);
}

void frame(Game& g, const std::string& artifact) {
  korvu::clearScreen();
  g.draw(0.0f);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << artifact;
  EXPECT_GT(g.meshes, 0);
  EXPECT_GT(g.faces, 0);
  korvu_test::saveWindowArtifact(artifact);
}

}  // namespace

TEST_F(RaceFrames, StartGridByDayAndNightForOneAndTwoPlayers) {
  glimro_test::RaceWorld world(true);
  glimro::settings.resX = W;
  glimro::settings.resY = H;
  glimro::settings.compileModels = true;
  // The race step fills the culled lists; without it every object is drawn.
  glimro::settings.culling = false;
  glimro::PlayerProfile one, two;
  for (bool night : {false, true}) {
    const std::string when = night ? "night" : "day";
    {
      SCOPED_TRACE("one player, " + when);
      Game g("race", {&one}, 1, night);
      frame(g, "race_grid_one_player_" + when);
      EXPECT_GT(liveryPixels(0, 0, W, H, night), 3000);
      if (!night) {
        EXPECT_GT(skyBlue(0, W), 100);
      } else {
        EXPECT_LT(skyBlue(0, W), 60);
      }
      // The start lights change through a recorded model without a GL
      // error, and a change of weather reaches the recorded sky.
      g.setStartLights(2);
      g.setWeather(!night);
      frame(g, "race_grid_one_player_" + when + "_then_" + (night ? "day" : "night"));
      if (night) {
        EXPECT_GT(skyBlue(0, W), 100);
      } else {
        EXPECT_LT(skyBlue(0, W), 60);
      }
    }
    {
      SCOPED_TRACE("two players, " + when);
      Game g("race", {&one, &two}, 2, night);
      frame(g, "race_grid_two_players_" + when);
      // Each half shows its own player's vehicle from behind, and the
      // other one beside it.
      EXPECT_GT(liveryPixels(0, 0, W / 2, H, night), 1500);
      EXPECT_GT(liveryPixels(W / 2, 0, W / 2, H, night), 1500);
    }
  }
}

TEST_F(RaceFrames, ARocketBurstReadsAsFire) {
  glimro_test::RaceWorld world(true);
  glimro::settings.resX = W;
  glimro::settings.resY = H;
  glimro::settings.culling = false;
  // The extensions, as the game's start-up finds them: the sparks are
  // point sprites.
  korvu::ddd::init();
  world.textures.load("resources/textures/additional.xml");
  world.textures.refresh();
  ASSERT_NE(glimro::raceResources.texture("particle"), nullptr);
  glimro::PlayerProfile one;
  Game g("race", {&one}, 1, false);
  // Fired rockets and their bursts are handed to the running race.
  glimro::game = &g;
  glimro::Glimro& v = *g.players[0];
  // Fire, not a white disc: around the burst many warm pixels, and the
  // white-hot ones only at its heart.
  auto count = [](int& warm, int& white) {
    const std::vector<uint8_t> rgba = korvu_test::readPixels(W / 2 - 200, H / 2 - 60, 400, 260);
    warm = white = 0;
    for (size_t i = 0; i < rgba.size(); i += 4) {
      const int r = rgba[i], gr = rgba[i + 1], b = rgba[i + 2];
      warm += r > 180 && gr < r - 50 && b < gr + 10;
      white += r > 250 && gr > 250 && b > 250;
    }
  };
  v.openRocketLauncher(true);
  v.launchRocket();
  ASSERT_EQ(g.rockets.size(), 1u);
  // The red and white of the kerbs, before the burst.
  frame(g, "race_before_burst");
  int warm = 0, white = 0, warmBefore = 0, whiteBefore = 0;
  count(warmBefore, whiteBefore);
  // Burst 50 units ahead, then let the fire spread for a tenth of a second.
  g.rockets.front()->lifetime = 250.0f;
  for (int i = 0; i < 36; ++i) g.mainLoop(10.0f);
  ASSERT_EQ(g.particleEngines.size(), 1u);
  frame(g, "race_burst");
  count(warm, white);
  EXPECT_GT(warm - warmBefore, 300);
  EXPECT_LT(white - whiteBefore, warm - warmBefore);
  // A moment later the fire has spread into embers.
  for (int i = 0; i < 25; ++i) g.mainLoop(10.0f);
  frame(g, "race_burst_spread");
  glimro::game = nullptr;
}

namespace {

using korvu::Vector3D;

const float DEGREES = 180.0f / 3.14159265f;

// Puts the player's vehicle on the section, hovering and heading the way
// the road runs there, so its chase camera shows the road ahead.
void driveTo(Game& g, const glimro::TrackSection* section, const glimro::TrackSection* next) {
  glimro::Glimro* v = g.players[0];
  const Vector3D d = next->position - section->position;
  const float heading = std::atan2(d.x, d.z) * DEGREES;
  v->rotation.setRotate(heading, Vector3D(0, 1, 0));
  v->inverseRotation.setRotate(-heading, Vector3D(0, 1, 0));
  v->position = section->position + Vector3D(0, 12, 0);
  v->setHasMoved(true);
}

// Whether the section shows a mesh of the material, or of none of the
// special ones when `material` is empty.
bool shows(const glimro::TrackSection* s, const std::string& material) {
  for (const korvu::ddd::Mesh* m : s->ModelObject::model->meshes) {
    const std::string name = m->material ? m->material->name : "";
    if (material.empty() ? name == "tunnelWall" || name == "trackDeck" : name == material) return !material.empty();
  }
  return material.empty();
}

// The road turns most sharply at the section whose heading differs most
// from its neighbour's, among the pieces that show the material (the plain
// road for "").
const glimro::TrackSection* pick(const glimro::Track& track, const std::string& material,
                                 const glimro::TrackSection** next) {
  std::vector<const glimro::TrackSection*> s(track.sections.begin(), track.sections.end());
  const glimro::TrackSection* best = nullptr;
  float bestTurn = -1;
  for (size_t i = 1; i + 2 < s.size(); ++i) {
    if (!shows(s[i], material) || !shows(s[i + 1], material) || std::abs(s[i]->position.y - s[i + 1]->position.y) > 5)
      continue;
    Vector3D a = s[i]->position - s[i - 1]->position, b = s[i + 2]->position - s[i + 1]->position;
    a.normalize();
    b.normalize();
    const float turn = 1 - korvu::dotProduct(a, b);
    if (turn > bestTurn) {
      bestTurn = turn;
      best = s[i];
      *next = s[i + 1];
    }
  }
  return best;
}

// Puts the player's camera at `eye` looking along `d`, with its vehicle
// far above it and out of sight.
void look(Game& g, const Vector3D& eye, Vector3D d, double fov, double aspect, double far) {
  glimro::Glimro* v = g.players[0];
  v->rotation = korvu::Matrix3D();
  v->inverseRotation = korvu::Matrix3D();
  v->position = eye + Vector3D(0, 1000, 0);
  korvu::ddd::Camera* camera = v->getCurrentCamera();
  camera->position = Vector3D(0, -1000, 0);
  camera->rotation = korvu::Matrix3D();
  camera->inverseRotation = korvu::Matrix3D();
  d.normalize();
  camera->rotate(std::atan2(-d.x, -d.z) * DEGREES, Vector3D(0, 1, 0));
  camera->rotate(std::asin(std::max(-1.0f, std::min(1.0f, d.y))) * DEGREES, Vector3D(1, 0, 0));
  camera->fovy = fov;
  camera->aspect = aspect;
  camera->far = far;
  v->setHasMoved(true);
}

}  // namespace

TEST_F(RaceFrames, EveryTrackAndSkyAsTheRaceDrawsThem) {
  glimro_test::RaceWorld world(true);
  glimro::settings.resX = W;
  glimro::settings.resY = H;
  glimro::settings.compileModels = true;
  glimro::settings.culling = false;
  glimro::PlayerProfile one;
  const char* names[3] = {"short", "alternate", "03"};
  for (int number = 0; number < 3; ++number) {
    for (bool night : {false, true}) {
      const std::string tail = std::string(night ? "_night" : "_day");
      const std::string prefix = std::string("track_") + names[number] + "_";
      SCOPED_TRACE(prefix + tail);
      glimro::settings.track = number;
      Game g("race", {&one}, 1, night);
      frame(g, prefix + "grid" + tail);
      const glimro::TrackSection* next = nullptr;
      const glimro::TrackSection* bend = pick(*g.track, "", &next);
      ASSERT_NE(bend, nullptr);
      driveTo(g, bend, next);
      frame(g, prefix + "bend" + tail);
      // The short track has neither a tunnel nor the steel deck.
      for (const char* kind : {"tunnel", "deck"}) {
        if (const glimro::TrackSection* s = pick(*g.track, kind[0] == 't' ? "tunnelWall" : "trackDeck", &next)) {
          driveTo(g, s, next);
          frame(g, prefix + kind + tail);
        }
      }
      // From high above the start, past the fog the race uses.
      korvu::RenderContext3D& context = *glimro::raceResources.renderContext3D;
      context.fogStart = 8000;
      context.fogEnd = 9000;
      const Vector3D start = g.track->sections.front()->position;
      look(g, start + Vector3D(-900, 1100, 900), Vector3D(0.75f, -1.0f, -0.75f), 70, double(W) / H, 9000);
      frame(g, prefix + "above" + tail);

      if (number != 0) continue;
      // The sky's faces as a cross, drawn by a camera of 90 degrees high
      // above the world with nothing else in reach.
      const int side = 256;
      g.viewports[0] = korvu::Viewport(0, 0, side, side);
      std::vector<uint8_t> sheet(4 * side * 3 * side * 4, 0);
      const struct {
        Vector3D d;
        int column, row;  // in the sheet, row 0 at the bottom
      } faces[6] = {{{0, 0, -1}, 1, 1}, {{1, 0, 0}, 2, 1}, {{0, 0, 1}, 3, 1},
                    {{-1, 0, 0}, 0, 1}, {{0, 1, -0.0001f}, 1, 2}, {{0, -1, -0.0001f}, 1, 0}};
      for (const auto& f : faces) {
        look(g, Vector3D(0, 50000, 0), f.d, 90, 1, 40);
        korvu::clearScreen();
        g.draw(0.0f);
        const std::vector<uint8_t> rgba = korvu_test::readPixels(0, 0, side, side);
        for (int y = 0; y < side; ++y)
          for (int x = 0; x < side * 4; ++x)
            sheet[((f.row * side + y) * 4 * side + f.column * side) * 4 + x] = rgba[(y * side) * 4 + x];
      }
      for (size_t i = 3; i < sheet.size(); i += 4) sheet[i] = 255;
      korvu_test::saveArtifact(std::string("sky_") + (night ? "night" : "day") + "_faces", 4 * side, 3 * side, sheet);
    }
  }
}
