// A two-player race at speed drawn through the race's own draw path in a
// real window: both views, a rocket in flight and an explosion, and each
// player's heads-up display.
#include <gtest/gtest.h>
#include <GL/gl.h>

#include <vector>

#include "ddd/particles.h"
#include "ddd/settings.h"
#include "race/game.h"
#include "race/glimro.h"
#include "korvu.h"
#include "raceharness.h"
#include "race/rocket.h"
#include "testsupport.h"
#include "track/track.h"
#include "track/track.h"

using glimro::Game;
using glimro::Glimro;

namespace {

const int W = 1024;
const int H = 768;

class RaceDraw : public korvu_test::GLWindowTest {
 protected:
  int windowWidth() const override { return W; }
  int windowHeight() const override { return H; }
};

// Pixels of the rectangle in the HUD's yellow.
int yellowPixels(int x, int y, int w, int h) {
  const std::vector<uint8_t> rgba = korvu_test::readPixels(x, y, w, h);
  int n = 0;
  for (size_t i = 0; i < rgba.size(); i += 4) n += rgba[i] > 200 && rgba[i + 1] > 200 && rgba[i + 2] < 80;
  return n;
}

}  // namespace

TEST_F(RaceDraw, TwoPlayersAtSpeedWithARocketAnExplosionAndTheirDisplays) {
  // The extensions, point sprites among them, as the game's start-up has them.
  korvu::ddd::init();
  glimro_harness::RaceOptions o;
  o.track = 1;
  o.players = 2;
  o.drawable = true;
  o.resX = W;
  o.resY = H;
  glimro_harness::RaceHarness h(o);
  Game& g = *h.game;
  Glimro& leader = *g.players[0];

  // Round to the long straight home, at full speed down its slope.
  while (h.frames < 20000 && !(leader.currentSection->index >= 169 && leader.speed > 25.0)) h.step();
  ASSERT_GE(leader.currentSection->index, 169);
  // Player 1 fires twice and, looking back, sees the first one burst and
  // the second still flying: the vehicle is faster than its rockets.
  leader.openRocketLauncher(true);
  while (leader.cameraIndex != 1) leader.nextCamera();
  leader.launchRocket();
  for (int i = 0; i < 45; ++i) h.step();
  leader.launchRocket();
  for (int i = 0; i < 12; ++i) h.step();
  ASSERT_EQ(g.rockets.size(), 1u);
  ASSERT_EQ(g.particleEngines.size(), 1u);

  EXPECT_GT(leader.speed, 20.0);
  korvu::clearScreen();
  g.draw(0.0f);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  EXPECT_GT(g.meshes, 0);
  EXPECT_GT(g.faces, 0);
  korvu_test::saveWindowArtifact("race_two_players_at_speed");

  // Each display's race clock and lap line, top left of its own half.
  EXPECT_GT(yellowPixels(W / 2, H - 70, 200, 70), 30);
  EXPECT_GT(yellowPixels(0, H - 70, 200, 70), 30);
}
