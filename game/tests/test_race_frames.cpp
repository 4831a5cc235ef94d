// The race drawn through its own draw path in a real window: the start grid
// by day and by night, for one player and for two side by side, from the
// chase camera, with compiled models and sky.
#include <gtest/gtest.h>
#include <GL/gl.h>

#include <memory>
#include <string>
#include <vector>

#include "ddd/camera.h"
#include "race/game.h"
#include "race/glimro.h"
#include "korvu.h"
#include "shell/playerprofile.h"
#include "racesupport.h"
#include "testsupport.h"

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
