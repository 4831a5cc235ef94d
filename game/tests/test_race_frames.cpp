// The race drawn through its own draw path in a real window with the game's
// render contexts: the start grid by day and by night for one player and
// for two side by side, the start lamps as they change, and a two-player
// race at speed with a rocket and an explosion. Every frame's heads-up
// display is read line by line at its place in each player's view.
#include <gtest/gtest.h>
#include <GL/gl.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "ddd/particles.h"
#include "ddd/settings.h"
#include "fonts/font.h"
#include "korvu.h"
#include "race/game.h"
#include "race/glimro.h"
#include "race/rocket.h"
#include "raceharness.h"
#include "shell/playerprofile.h"
#include "testsupport.h"
#include "track/timetext.h"
#include "track/track.h"

using glimro::Game;
using glimro::Glimro;
using Pixels = std::vector<uint8_t>;

namespace {

const int W = 1024;
const int H = 768;

class RaceFrames : public korvu_test::GLWindowTest {
 protected:
  int windowWidth() const override { return W; }
  int windowHeight() const override { return H; }
};

glimro_harness::RaceOptions options(int players, bool night, int track = 0) {
  glimro_harness::RaceOptions o;
  o.track = track;
  o.players = players;
  o.night = night;
  o.drawable = true;
  o.resX = W;
  o.resY = H;
  return o;
}

// The race drawn, with or without the heads-up displays; the window's
// pixels, bottom row first.
Pixels drawn(glimro_harness::RaceHarness& h, bool hud) {
  glimro::raceResources.font = hud ? h.font.get() : nullptr;
  korvu::clearScreen();
  h.game->draw(0.0f);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  EXPECT_GT(h.game->meshes, 0);
  glimro::raceResources.font = h.font.get();
  return korvu_test::readPixels(0, 0, W, H);
}

const uint8_t* at(const Pixels& p, int x, int y) { return &p[(static_cast<size_t>(y) * W + x) * 4]; }

// Pixels of the rectangle whose red clearly dominates: the vehicles'
// livery, dimmer by night.
int liveryPixels(const Pixels& p, int x0, int w, bool night) {
  const int least = night ? 30 : 90;
  int n = 0;
  for (int y = 0; y < H; ++y)
    for (int x = x0; x < x0 + w; ++x) {
      const uint8_t* c = at(p, x, y);
      n += c[0] > least && c[0] > 2 * c[1] && c[0] > 2 * c[2];
    }
  return n;
}

// Mean blue of the top 20 rows: the sky.
double skyBlue(const Pixels& p) {
  double sum = 0;
  for (int y = H - 20; y < H; ++y)
    for (int x = 0; x < W; ++x) sum += at(p, x, y)[2];
  return sum / (20.0 * W);
}

struct Box {
  std::string text;
  int x0, y0, x1, y1;  // window pixels, [x0, x1) x [y0, y1)
  bool holds(int x, int y) const { return x >= x0 - 2 && x < x1 + 2 && y >= y0 - 2 && y < y1 + 2; }
};

// Where each line of the player's display belongs: baselines 20, 35 and 60
// below the top, the name centred, the rest from the left margin.
std::vector<Box> hudLines(const Glimro& v, const korvu::Viewport& vp, const korvu::fonts::Font& font) {
  std::string lapLine;
  if (v.lapTimeMessage.remainingTime <= 0.0f)
    lapLine = glimro::ticksToStr(v.lap > 0 ? static_cast<float>(v.lapTime) : 0.0f);
  else if (v.lapTimeMessage.visible)
    lapLine = v.lapTimeMessage.text;
  const std::string name = v.profile->name;
  const std::string standing = "Lap: " + std::to_string(v.lap) + " / Position: " + std::to_string(v.racePosition);
  const int top = H, vx = static_cast<int>(vp.x);
  const int nameX = static_cast<int>(vp.width) / 2 - (static_cast<int>(font.getWidth(name.c_str())) + 1) / 2;
  const struct { std::string text; int x, baseline; } lines[] = {{name, nameX, top - 20},
               {glimro::ticksToStr(static_cast<float>(v.raceTime)), 10, top - 20},
               {lapLine, 10, top - 35},
               {standing, 10, top - 60}};
  std::vector<Box> boxes;
  for (const auto& l : lines) {
    const int x = vx + l.x, y = l.baseline - font.yHotSpot;
    boxes.push_back({l.text, x, y, x + font.getWidth(l.text.c_str()), y + font.getHeight()});
  }
  // The timed messages' band.
  const korvu::Rect& r = v.messages.rectangle;
  boxes.push_back({"", vx + static_cast<int>(r.x), static_cast<int>(r.y) - 10, vx + static_cast<int>(r.x + r.w),
                   static_cast<int>(r.y + r.h) + 10});
  return boxes;
}

// Compares the frame drawn with the displays against the same frame
// without them. Each line's ink must lie in its box, from its first glyph
// to its last, be the font's yellow added to the scene, and be glyphs with
// gaps between them rather than a filled box; no ink anywhere else.
void expectDisplays(glimro_harness::RaceHarness& h, const std::string& artifact) {
  SCOPED_TRACE(artifact);
  // The first frame of a race compiles its models; compare later ones.
  drawn(h, false);
  const Pixels bare = drawn(h, false);
  const Pixels shown = drawn(h, true);
  korvu_test::saveWindowArtifact(artifact);
  const korvu::fonts::Font& font = *h.font;
  const Game& g = *h.game;
  for (size_t p = 0; p < g.players.size(); ++p) {
    SCOPED_TRACE("player " + std::to_string(p + 1));
    const korvu::Viewport& vp = g.viewports[p];
    const std::vector<Box> boxes = hudLines(*g.players[p], vp, font);
    std::vector<int> inked(boxes.size(), 0), first(boxes.size(), W), last(boxes.size(), -1);
    std::vector<std::vector<bool>> columns(boxes.size());
    int stray = 0, notYellow = 0;
    for (int y = 0; y < H; ++y)
      for (int x = static_cast<int>(vp.x); x < static_cast<int>(vp.x + vp.width); ++x) {
        const uint8_t *a = at(bare, x, y), *b = at(shown, x, y);
        const int dr = b[0] - a[0], dg = b[1] - a[1], db = b[2] - a[2];
        if (std::abs(dr) + std::abs(dg) + std::abs(db) < 24) continue;
        if (dr < 0 || dg < 0 || std::abs(db) > 4) ++notYellow;
        size_t k = 0;
        while (k < boxes.size() && !boxes[k].holds(x, y)) ++k;
        if (k == boxes.size()) {
          ++stray;
          continue;
        }
        ++inked[k];
        first[k] = std::min(first[k], x);
        last[k] = std::max(last[k], x);
        columns[k].resize(W);
        columns[k][x] = true;
      }
    EXPECT_EQ(stray, 0) << "display ink outside its lines";
    EXPECT_EQ(notYellow, 0) << "display ink that is not yellow added to the scene";
    for (size_t k = 0; k + 1 < boxes.size(); ++k) {
      const Box& b = boxes[k];
      SCOPED_TRACE("\"" + b.text + "\"");
      if (b.text.empty()) continue;
      ASSERT_GT(inked[k], 0) << "the line is missing";
      EXPECT_LE(first[k], b.x0 + font.getHeight()) << "starts late";
      EXPECT_GE(last[k], b.x1 - font.getHeight()) << "ends early";
      const int area = (b.x1 - b.x0) * (b.y1 - b.y0);
      EXPECT_LT(inked[k], area / 2) << "a filled box, not glyphs";
      int gaps = 0;
      for (int x = first[k]; x <= last[k]; ++x) gaps += !columns[k][x];
      EXPECT_GE(gaps, static_cast<int>(b.text.size()) / 3) << "no gaps between the glyphs";
    }
  }
}

// Pixels that the change from `before` to `after` turned into each lamp
// colour: red, yellow, green.
struct LampLight { int red = 0, yellow = 0, green = 0; };
LampLight lampChange(const Pixels& before, const Pixels& after) {
  LampLight l;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const uint8_t *a = at(before, x, y), *b = at(after, x, y);
      if (std::abs(b[0] - a[0]) + std::abs(b[1] - a[1]) + std::abs(b[2] - a[2]) < 60) continue;
      const int r = b[0], g = b[1], bl = b[2];
      if (r > 150 && g < r / 2 && bl < r / 2) ++l.red;
      if (r > 150 && g > 150 && bl < std::min(r, g) / 2) ++l.yellow;
      if (g > 150 && r < g / 2 && bl < g / 2) ++l.green;
    }
  return l;
}

}  // namespace

TEST_F(RaceFrames, StartGridByDayAndNightForOneAndTwoPlayers) {
  for (bool night : {false, true}) {
    const std::string when = night ? "night" : "day";
    {
      SCOPED_TRACE("one player, " + when);
      glimro_harness::RaceHarness h(options(1, night));
      // The race step fills the culled lists; without it every object is drawn.
      glimro::settings.culling = false;
      expectDisplays(h, "race_grid_one_player_" + when);
      const Pixels grid = drawn(h, false);
      EXPECT_GT(liveryPixels(grid, 0, W, night), 3000);
      EXPECT_EQ(skyBlue(grid) > 80, !night) << skyBlue(grid);
      // The lamps light as the countdown runs: red, red and yellow, then
      // all green.
      const struct { int state; bool red, yellow, green; } steps[] = {
          {2, true, false, false}, {1, true, true, false}, {0, false, false, true}};
      for (const auto& s : steps) {
        SCOPED_TRACE(s.state);
        h.game->setStartLights(s.state);
        const Pixels lit = drawn(h, false);
        korvu_test::saveWindowArtifact("race_start_lights_" + when + "_" + std::to_string(s.state));
        const LampLight l = lampChange(grid, lit);
        EXPECT_EQ(l.red > 20, s.red) << l.red;
        EXPECT_EQ(l.yellow > 20, s.yellow) << l.yellow;
        EXPECT_EQ(l.green > 20, s.green) << l.green;
      }
      // A change of weather reaches the recorded sky.
      h.game->setWeather(!night);
      const Pixels turned = drawn(h, false);
      korvu_test::saveWindowArtifact("race_grid_one_player_" + when + "_then_" + (night ? "day" : "night"));
      EXPECT_EQ(skyBlue(turned) > 80, night) << skyBlue(turned);
    }
    {
      SCOPED_TRACE("two players, " + when);
      glimro_harness::RaceHarness h(options(2, night));
      glimro::settings.culling = false;
      expectDisplays(h, "race_grid_two_players_" + when);
      // Each half shows its own player's vehicle from behind, and the
      // other one beside it.
      const Pixels grid = drawn(h, false);
      EXPECT_GT(liveryPixels(grid, 0, W / 2, night), 1500);
      EXPECT_GT(liveryPixels(grid, W / 2, W / 2, night), 1500);
    }
  }
}

TEST_F(RaceFrames, TwoPlayersAtSpeedWithARocketAnExplosionAndTheirDisplays) {
  // The extensions, point sprites among them, as the game's start-up has them.
  korvu::ddd::init();
  glimro_harness::RaceHarness h(options(2, false, 1));
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
  expectDisplays(h, "race_two_players_at_speed");
  EXPECT_GT(g.faces, 0);
}
