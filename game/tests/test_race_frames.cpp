// The race drawn through its own draw path in a real window with the game's
// render contexts: the start grid by day and by night for one player and
// for two side by side, the start lamps as they change, and a two-player
// race at speed with a rocket and an explosion, and a vehicle drawn moving
// evenly at a 60 Hz screen's frames. Every frame's heads-up
// display is read line by line at its place in each player's view, also
// with the widest name a profile takes. Then a
// rocket's burst, every track from the grid, on a bend, in a tunnel and
// from above, and each sky's six faces as one sheet.
#include <gtest/gtest.h>
#include <unistd.h>
#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "ddd/camera.h"
#include "ddd/material.h"
#include "ddd/mesh.h"
#include "ddd/model.h"
#include "ddd/particles.h"
#include "ddd/settings.h"
#include "fonts/font.h"
#include "korvu.h"
#include "race/game.h"
#include "race/glimro.h"
#include "race/rocket.h"
#include "raceharness.h"
#include "raceworld.h"
#include "rendercontext.h"
#include "common/playerprofile.h"
#include "common/triggers.h"
#include "controls.h"
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

// The race drawn, with or without the heads-up displays; the window's
// pixels, bottom row first.
Pixels drawn(glimro_harness::RaceHarness& h, bool hud) {
  h.font = hud ? h.hudFont.get() : nullptr;
  korvu::clearScreen();
  h.game->draw(0.0f);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  EXPECT_GT(h.game->meshes, 0);
  h.font = h.hudFont.get();
  return korvu_test::readPixels(0, 0, W, H);
}

// A frame of a race built in a test world, kept as the artifact.
Pixels frame(Game& g, const std::string& artifact) {
  korvu::clearScreen();
  g.draw(0.0f);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << artifact;
  EXPECT_GT(g.meshes, 0);
  EXPECT_GT(g.faces, 0);
  korvu_test::saveWindowArtifact(artifact);
  return korvu_test::readPixels(0, 0, W, H);
}

const uint8_t* at(const Pixels& p, int x, int y, int width = W) {
  return &p[(static_cast<size_t>(y) * width + x) * 4];
}

// Grey as road, walls and concrete are by day and by night; sky, sea, fog
// and the clear colour are bluer, or darker than any lit surface.
bool grey(const uint8_t* c) {
  return c[0] >= 10 && std::max({c[0], c[1], c[2]}) - std::min({c[0], c[1], c[2]}) <= 10;
}

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

// Brightness (the mean of the channels) over [x0, x1) x [y0, y1) of a
// picture `width` wide: its mean and spread, how much bluer than red it is,
// and the shares of grey and of glowing cyan pixels.
struct Tone { double mean, spread, bluer, grey, cyan; };
Tone tone(const Pixels& p, int x0, int y0, int x1, int y1, int width = W) {
  double sum = 0, squares = 0, bluer = 0, greys = 0, cyans = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) {
      const uint8_t* c = at(p, x, y, width);
      const double v = (c[0] + c[1] + c[2]) / 3.0;
      sum += v;
      squares += v * v;
      bluer += c[2] - c[0];
      greys += grey(c);
      cyans += c[1] > 150 && c[2] > 180 && c[0] < 0.6 * c[1];
    }
  const double n = static_cast<double>(x1 - x0) * (y1 - y0), mean = sum / n;
  return {mean, std::sqrt(std::max(0.0, squares / n - mean * mean)), bluer / n, greys / n, cyans / n};
}

struct Box {
  std::string text;
  int x0, y0, x1, y1;  // window pixels, [x0, x1) x [y0, y1)
  bool holds(int x, int y) const { return x >= x0 - 2 && x < x1 + 2 && y >= y0 - 2 && y < y1 + 2; }
};

// Where each line of the player's display belongs: baselines 20, 35 and 60
// below the top, the name centred, the rest from the left margin. The name
// keeps 10 pixels clear of the race time on its line, on both sides so
// that it stays centred; a name too wide for that ends in an ellipsis.
std::vector<Box> hudLines(const Glimro& v, const korvu::Viewport& vp, const korvu::fonts::Font& font) {
  std::string lapLine;
  if (v.lapTimeMessage.remainingTime <= 0.0f)
    lapLine = v.lapClock();
  else if (v.lapTimeMessage.visible)
    lapLine = v.lapTimeMessage.text;
  const std::string time = v.raceClock();
  const int nameRoom = static_cast<int>(vp.width) - 2 * (10 + static_cast<int>(font.getWidth(time.c_str())) + 10);
  const std::string name = font.cutToWidth(v.profile->name, nameRoom);
  const std::string standing = "Lap: " + std::to_string(v.lap) + " / Position: " + std::to_string(v.racePosition);
  const int top = static_cast<int>(vp.height), vx = static_cast<int>(vp.x);
  const int nameX = static_cast<int>(vp.width) / 2 - (static_cast<int>(font.getWidth(name.c_str())) + 1) / 2;
  const struct { std::string text; int x, baseline; } lines[] = {{name, nameX, top - 20},
               {time, 10, top - 20},
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

// The displays alone on black, drawn as the race draws them over its
// views: where each glyph's ink lies, without the scene or the outline.
Pixels displaysAlone(glimro_harness::RaceHarness& h) {
  korvu::setClearColor(0, 0, 0, 0);
  korvu::clearScreen();
  Game& g = *h.game;
  for (size_t i = 0; i < g.players.size(); ++i) {
    korvu::Viewport& vp = g.viewports[i];
    korvu::currentViewport = &vp;
    glViewport(GLint(vp.x), GLint(vp.y), GLsizei(vp.width), GLsizei(vp.height));
    h.renderContext2D.apply();
    korvu::resetCursor();
    g.players[i]->drawHud();
  }
  return korvu_test::readPixels(0, 0, W, H);
}

// Relative luminance, 0..1, of an sRGB pixel (its gamma taken as 2.2).
double luminance(const uint8_t* c) {
  const auto linear = [](uint8_t v) { return std::pow(v / 255.0, 2.2); };
  return 0.2126 * linear(c[0]) + 0.7152 * linear(c[1]) + 0.0722 * linear(c[2]);
}

// How a line reads where it reads worst: over each stretch of the line a
// glyph's height wide, the contrast ratio (1 to 21) of the glyphs' solid
// ink against the pixels right around them that carry no ink, both as the
// frame shows them; the least of the stretches.
double lineContrast(const Pixels& shown, const Pixels& alone, const Box& b, int stretch) {
  double least = 21;
  for (int x0 = b.x0 - 1; x0 <= b.x1; x0 += stretch) {
    double ink = 0, around = 0;
    int inkCount = 0, aroundCount = 0;
    for (int y = b.y0 - 1; y <= b.y1; ++y)
      for (int x = x0; x < x0 + stretch && x <= b.x1; ++x) {
        if (at(alone, x, y)[0] < 200) continue;
        ink += luminance(at(shown, x, y));
        ++inkCount;
        for (int dy = -1; dy <= 1; ++dy)
          for (int dx = -1; dx <= 1; ++dx) {
            const uint8_t* a = at(alone, x + dx, y + dy);
            if (a[0] + a[1] + a[2] >= 24) continue;
            around += luminance(at(shown, x + dx, y + dy));
            ++aroundCount;
          }
      }
    if (inkCount < 4 || aroundCount == 0) continue;
    const double l1 = ink / inkCount, l2 = around / aroundCount;
    least = std::min(least, (std::max(l1, l2) + 0.05) / (std::min(l1, l2) + 0.05));
  }
  return least;
}

// Compares the frame drawn with the displays against the same frame
// without them, and against the displays drawn alone. Each line's ink must
// lie in its box, from its first glyph to its last, be the font's yellow,
// and be glyphs with gaps between them rather than a filled box; nothing
// changes outside the lines. Each line must read over whatever lies behind
// it: all along it, its glyphs and what surrounds them contrast at least
// 4.5 to 1. A name of one wide glyph over and over runs its strokes
// together: with `runOnName`, its gaps and contrast are not asked for.
void expectDisplays(glimro_harness::RaceHarness& h, const std::string& artifact, bool runOnName = false) {
  SCOPED_TRACE(artifact);
  // The first frame of a race compiles its models; compare later ones.
  drawn(h, false);
  const Pixels bare = drawn(h, false);
  const Pixels shown = drawn(h, true);
  korvu_test::saveWindowArtifact(artifact);
  const Pixels alone = displaysAlone(h);
  const korvu::fonts::Font& font = *h.hudFont;
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
        const uint8_t *a = at(bare, x, y), *b = at(shown, x, y), *ink = at(alone, x, y);
        const bool changed = std::abs(b[0] - a[0]) + std::abs(b[1] - a[1]) + std::abs(b[2] - a[2]) >= 24;
        const bool inkHere = ink[0] + ink[1] + ink[2] >= 24;
        if (!changed && !inkHere) continue;
        size_t k = 0;
        while (k < boxes.size() && !boxes[k].holds(x, y)) ++k;
        if (k == boxes.size()) {
          ++stray;
          continue;
        }
        if (!inkHere) continue;  // the outline
        if (std::abs(ink[0] - ink[1]) > 4 || ink[2] > 4) ++notYellow;
        ++inked[k];
        first[k] = std::min(first[k], x);
        last[k] = std::max(last[k], x);
        columns[k].resize(W);
        columns[k][x] = true;
      }
    EXPECT_EQ(stray, 0) << "display ink outside its lines";
    EXPECT_EQ(notYellow, 0) << "display ink that is not the font's yellow";
    for (size_t k = 0; k + 1 < boxes.size(); ++k) {
      const Box& b = boxes[k];
      SCOPED_TRACE("\"" + b.text + "\"");
      if (b.text.empty()) continue;
      ASSERT_GT(inked[k], 0) << "the line is missing";
      EXPECT_LE(first[k], b.x0 + font.getHeight()) << "starts late";
      EXPECT_GE(last[k], b.x1 - font.getHeight()) << "ends early";
      const int area = (b.x1 - b.x0) * (b.y1 - b.y0);
      EXPECT_LT(inked[k], area / 2) << "a filled box, not glyphs";
      if (runOnName && k == 0) continue;
      int gaps = 0;
      for (int x = first[k]; x <= last[k]; ++x) gaps += !columns[k][x];
      EXPECT_GE(gaps, static_cast<int>(b.text.size()) / 3) << "no gaps between the glyphs";
      EXPECT_GE(lineContrast(shown, alone, b, font.getHeight()), 4.5) << "does not read over what lies behind it";
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
      glimro_harness::RaceHarness h(glimro_harness::drawnRace(0, 1, night, W, H));
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
      // At the game's own 800 by 600 the names lie over the start banner
      // and its lights' white bar.
      glimro_harness::RaceHarness small(glimro_harness::drawnRace(0, 2, night, 800, 600));
      glimro::settings.culling = false;
      expectDisplays(small, "race_grid_two_players_800x600_" + when);
      glimro_harness::RaceHarness h(glimro_harness::drawnRace(0, 2, night, W, H));
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

// The widest name a profile takes, 32 "W"s, on every display the game
// has: one and two players at 800 by 600 and at 1024 by 768. It lies
// between the race time and the view's right edge, ends in an ellipsis
// where it does not fit whole, and its ink stays in its box.
TEST_F(RaceFrames, TheWidestNameStaysBetweenTheTimeAndTheViewsEdge) {
  const std::string widest(32, 'W');
  for (int players : {1, 2})
    for (const auto& [w, h] : {std::pair<int, int>{800, 600}, {1024, 768}}) {
      const std::string what = std::to_string(players) + (players == 1 ? "_player_" : "_players_") +
                               std::to_string(w) + "x" + std::to_string(h);
      glimro_harness::RaceHarness race(glimro_harness::drawnRace(0, players, false, w, h));
      glimro::settings.culling = false;
      for (auto& profile : race.profiles) profile->name = widest;
      expectDisplays(race, "race_widest_name_" + what, true);
      for (size_t p = 0; p < race.game->players.size(); ++p) {
        SCOPED_TRACE(what + ", player " + std::to_string(p + 1));
        const korvu::Viewport& vp = race.game->viewports[p];
        const std::vector<Box> lines = hudLines(*race.game->players[p], vp, *race.hudFont);
        const Box &name = lines[0], &time = lines[1];
        EXPECT_GE(name.x0, time.x1 + 10);
        EXPECT_LE(name.x1, static_cast<int>(vp.x + vp.width) - 10);
        // Only the two players' views at 800 by 600 are too narrow for it.
        const bool cut = players == 2 && w == 800;
        EXPECT_EQ(name.text, cut ? name.text.substr(0, name.text.size() - 3) + "..." : widest);
        if (cut) {
          EXPECT_GT(name.text.size(), 10u);
        }
      }
    }
}

TEST_F(RaceFrames, TwoPlayersAtSpeedWithARocketAnExplosionAndTheirDisplays) {
  // The extensions, point sprites among them, as the game's start-up has them.
  korvu::ddd::init();
  glimro_harness::RaceHarness h(glimro_harness::drawnRace(1, 2, false, W, H));
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

// The display's clocks as drawn, just under a whole millisecond: the lap
// clock shows the whole milliseconds a table keeps, and the stopped race
// clock the table's entry, as the font prints them at their lines.
TEST_F(RaceFrames, TheDisplaysClocksShowTheTablesWholeMilliseconds) {
  glimro_harness::RaceHarness h(glimro_harness::drawnRace(0, 1, false, W, H));
  Glimro& v = *h.game->players[0];
  const korvu::fonts::Font& font = *h.hudFont;
  const auto expectLine = [&](const std::string& text, int baseline) {
    const Pixels alone = displaysAlone(h);
    korvu::clearScreen();
    h.renderContext2D.apply();
    glColor4f(1, 1, 0, 1);
    korvu::resetCursor();
    korvu::moveCursor(korvu::Vector2D(10, static_cast<float>(baseline)));
    font.print(korvu::JUSTIFY_LEFT, text.c_str());
    const Pixels printed = korvu_test::readPixels(0, 0, W, H);
    int differ = 0;
    for (int y = baseline - font.yHotSpot - 2; y < baseline - font.yHotSpot + font.getHeight() + 2; ++y)
      for (int x = 0; x < 20 + font.getWidth(text.c_str()); ++x) differ += at(alone, x, y)[1] != at(printed, x, y)[1];
    EXPECT_EQ(differ, 0) << "the display does not show " << text;
  };
  v.lap = 1;
  v.lapTime = 1999.99999;
  expectLine("00:01.999", H - 35);
  v.lap = glimro::settings.laps;
  v.raceTime = 110619.998;
  v.nextLap();
  const long entry = h.game->track->stats.tracktimes.entries[0].ticks;
  EXPECT_EQ(entry, 110619);
  expectLine(glimro::ticksToStr(static_cast<float>(entry)), H - 20);
}

// Each view goes to the software rasterizer while the next one is sent. Its
// threads, slowed where they wake a fence's waiters as on a busy machine
// (the library preloaded into a second run of this test), must find every
// fence still there. Handed over by a plain flush, a fence was destroyed
// within a hundred frames, and on a busy machine the wake-up then wrote
// into the freed block: a race once aborted on the corrupted heap.
TEST_F(RaceFrames, TheRasterizerFindsTheFenceOfEveryViewHandedOverStillThere) {
  if (!std::getenv("KORVU_SLOWED_WAKEUPS")) {
    const std::string filter = std::string("--gtest_filter=RaceFrames.") +
                               testing::UnitTest::GetInstance()->current_test_info()->name();
    const korvu_test::ChildResult r = korvu_test::runInChild([&] {
      setenv("LD_PRELOAD", KORVU_SLOW_WAKEUPS, 1);
      setenv("KORVU_SLOWED_WAKEUPS", "1", 1);
      execl("/proc/self/exe", "glimro_tests", filter.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    });
    EXPECT_TRUE(r.exited && r.exitStatus == 0 && r.out.find("[  PASSED  ] 1 test.") != std::string::npos)
        << "signal " << r.termSignal << "\n" << r.out << r.err;
    return;
  }
  korvu::ddd::init();
  glimro_harness::RaceHarness h(glimro_harness::drawnRace(0, 2, false, W, H));
  for (int frame = 0; frame < 240; ++frame) {
    h.step();
    korvu::clearScreen();
    h.game->draw(0.0f);
    korvu::flipScreen();
  }
}

// At a 60 Hz screen's frames of 16, 17 and 17 ms a vehicle at a steady
// speed is drawn moving by even amounts, although a frame holds one step
// of the vehicles or none.
TEST_F(RaceFrames, AVehicleAtASteadySpeedMovesEvenlyOnScreen) {
  glimro_harness::RaceOptions o = glimro_harness::drawnRace(0, 1, false, W, H);
  o.frames = {16, 17, 17};
  glimro_harness::RaceHarness h(o);
  Game& g = *h.game;
  Glimro& v = *g.players[0];
  g.stepPilot = [&]() {
    h.driveAxes();
    v.speed = 12.0;
    h.accelerateAxis[0]->value = 0.0;
    h.breakAxis[0]->value = 0.0;
  };
  while (v.raceTime < 1000.0) h.step();
  std::vector<float> moves;
  korvu::Vector3D last;
  for (int f = 0; f <= 30; ++f) {
    h.step();
    korvu::clearScreen();
    g.draw(0.0f);
    // Where the frame's pass put the vehicle.
    if (f > 0) moves.push_back((v.worldPosition - last).length());
    last = v.worldPosition;
    ASSERT_EQ(v.airborneSteps, 0) << "off the road";
  }
  korvu_test::saveWindowArtifact("race_steady_speed_60hz");
  float mean = 0.0f;
  for (float m : moves) mean += m / static_cast<float>(moves.size());
  ASSERT_GT(mean, 3.0f);
  for (float m : moves) EXPECT_NEAR(m, mean, 0.05f * mean);
}

// A vehicle put back by a reset is drawn where it was put from the next
// frame on, even when that frame runs no step: never on the way from where
// it crashed.
TEST_F(RaceFrames, AResetVehicleIsDrawnWhereItWasPut) {
  glimro_harness::RaceOptions o = glimro_harness::drawnRace(0, 1, false, W, H);
  o.frames = {7};
  glimro_harness::RaceHarness h(o);
  Game& g = *h.game;
  Glimro& v = *g.players[0];
  while (v.raceTime < 2000.0 || g.stepClock - g.clock < h.nextFrame()) h.step();
  ASSERT_NE(v.previousSection, nullptr);
  const korvu::Vector3D crash = v.position;
  const korvu::Vector3D place = v.previousSection->ModelObject::position + korvu::Vector3D(0, 15, 0);
  ASSERT_GT((crash - place).length(), 10.0f);
  korvu::Trigger* reset = new korvu::Trigger(glimro::TRG_RESET1, "reset1", "");
  h.queue += reset;
  h.queue << reset;
  const double stepClock = g.stepClock;
  h.step();
  ASSERT_EQ(g.stepClock, stepClock) << "the frame ran a step";
  korvu::clearScreen();
  g.draw(0.0f);
  korvu_test::saveWindowArtifact("race_after_a_reset");
  EXPECT_LT((v.worldPosition - place).length(), 1e-3f)
      << "drawn " << (v.worldPosition - crash).length() << " from the crash site";
}

TEST_F(RaceFrames, ARocketBurstReadsAsFire) {
  glimro_harness::RaceWorld world(true);
  glimro::settings.resX = W;
  glimro::settings.resY = H;
  glimro::settings.culling = false;
  // The extensions, as the game's start-up finds them: the sparks are
  // point sprites.
  korvu::ddd::init();
  world.textures.load("resources/textures/additional.xml");
  world.textures.refresh();
  ASSERT_NE(glimro::raceResources->texture("particle"), nullptr);
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
  glimro_harness::RaceWorld world(true);
  glimro::settings.resX = W;
  glimro::settings.resY = H;
  glimro::settings.compileModels = true;
  glimro::settings.culling = false;
  glimro::PlayerProfile one;
  const char* names[3] = {"short", "alternate", "03"};
  double zenith = 0;  // the day's
  for (int number = 0; number < 3; ++number) {
    for (bool night : {false, true}) {
      const std::string tail = std::string(night ? "_night" : "_day");
      const std::string prefix = std::string("track_") + names[number] + "_";
      SCOPED_TRACE(prefix + tail);
      glimro::settings.track = number;
      Game g("race", {&one}, 1, night);
      // Just ahead of the vehicle the road is grey and marked; above, the
      // sky of the time of day.
      auto expectRoadAhead = [&](const Pixels& p, const char* kind) {
        const Tone road = tone(p, 440, 348, 580, 428);
        // The vehicle's shadow darkens some of it by night.
        EXPECT_GT(road.grey, 0.5) << kind << ": no road ahead";
        EXPECT_GT(road.spread, 2) << kind << ": a flat road";
        EXPECT_EQ(skyBlue(p) > 80, !night) << kind << ": sky " << skyBlue(p);
      };
      expectRoadAhead(frame(g, prefix + "grid" + tail), "grid");
      const glimro::TrackSection* next = nullptr;
      const glimro::TrackSection* bend = pick(*g.track, "", &next);
      ASSERT_NE(bend, nullptr);
      driveTo(g, bend, next);
      expectRoadAhead(frame(g, prefix + "bend" + tail), "bend");
      // The short track has neither a tunnel nor the steel deck.
      if (const glimro::TrackSection* s = pick(*g.track, "tunnelWall", &next)) {
        driveTo(g, s, next);
        // Walls and ceiling fill the upper half, lit and tiled.
        const Tone walls = tone(frame(g, prefix + "tunnel" + tail), 0, H / 2, W, H);
        EXPECT_GT(walls.mean, 25) << "a dark tunnel";
        EXPECT_GT(walls.spread, 15) << "a flat tunnel";
      }
      if (const glimro::TrackSection* s = pick(*g.track, "trackDeck", &next)) {
        driveTo(g, s, next);
        // The deck's glowing rails run ahead, above the vehicle.
        const double rails = tone(frame(g, prefix + "deck" + tail), 0, H * 45 / 100, W, H).cyan;
        EXPECT_GT(rails, 0.001) << "no deck rails";
      }
      // From high above the start, past the fog the race uses.
      korvu::RenderContext3D& context = glimro::raceResources->renderContext3D;
      context.fogStart = 8000;
      context.fogEnd = 9000;
      const Vector3D start = g.track->sections.front()->position;
      look(g, start + Vector3D(-900, 1100, 900), Vector3D(0.75f, -1.0f, -0.75f), 70, double(W) / H, 9000);
      const Pixels above = frame(g, prefix + "above" + tail);
      // The track is what changes when it is taken away, and it is grey,
      // not fog.
      g.track->active = false;
      korvu::clearScreen();
      g.draw(0.0f);
      g.track->active = true;
      const Pixels bare = korvu_test::readPixels(0, 0, W, H);
      int track = 0;
      for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
          const uint8_t *a = at(above, x, y), *b = at(bare, x, y);
          track += grey(a) && std::abs(a[0] - b[0]) + std::abs(a[1] - b[1]) + std::abs(a[2] - b[2]) >= 24;
        }
      EXPECT_GT(track, W * H / 50) << "the track is not seen from above";

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
        // Clouds or stars on every face but the night's sea straight down.
        // By day a blue zenith, and on each side bright sky over darker sea.
        const Tone all = tone(rgba, 0, 0, side, side, side);
        SCOPED_TRACE("sky face in column " + std::to_string(f.column) + ", row " + std::to_string(f.row));
        if (!night || f.row != 0) {
          EXPECT_GT(all.spread, 2) << "a flat sky";
        }
        if (!night && f.row == 1) {
          EXPECT_GT(tone(rgba, 0, side / 2, side, side, side).mean - tone(rgba, 0, 0, side, side / 2, side).mean, 20)
              << "no horizon";
        }
        if (f.row == 2 && !night) {
          EXPECT_GT(all.bluer, 30) << "a zenith that is not blue";
          zenith = all.mean;
        } else if (f.row == 2) {
          EXPECT_LT(4 * all.mean, zenith) << "a night as bright as the day";
        }
        for (int y = 0; y < side; ++y)
          for (int x = 0; x < side * 4; ++x)
            sheet[((f.row * side + y) * 4 * side + f.column * side) * 4 + x] = rgba[(y * side) * 4 + x];
      }
      for (size_t i = 3; i < sheet.size(); i += 4) sheet[i] = 255;
      korvu_test::saveArtifact(std::string("sky_") + (night ? "night" : "day") + "_faces", 4 * side, 3 * side, sheet);
    }
  }
}
