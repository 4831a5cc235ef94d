// Draws a two-player race at 1024x768 through the race's own draw path,
// with the game's resources and default render settings (compiled models,
// shadows, lens flares, culled views). Run from the repository root (the
// resources are read from there) under an X server:
//
//   bench_race_frame [frames] [track number] [night]
//     the start grid, drawn `frames` times: frames per second.
//   bench_race_frame lap [track number [frames]]
//     the autopilot drives both vehicles for one lap of the track (of every
//     track without a number; only the first frames when given), every view
//     drawn each frame: the frame time's median, 95th percentile and worst
//     frame.
//   bench_race_frame pictures FOLDER
//     the grid and a bend of every track, by day and by night, for one and
//     for two players, saved as PNG files in FOLDER.
//   bench_race_frame compare FOLDER_A FOLDER_B
//     for every picture of FOLDER_A, the share of pixels that differ in
//     FOLDER_B and by how much.
//
// BENCH_OFF (a comma-separated list of skybox, transparency, shadows,
// lensflares, hud, track) switches single stages off for profiling
// ("track": the track's objects are left out of both views).
#include <SDL.h>

#include <SDL_image.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "audio/audio.h"
#include "ddd/camera.h"
#include "ddd/pipeline.h"
#include "ddd/settings.h"
#include "race/game.h"
#include "race/glimro.h"
#include "korvu.h"
#include "raceharness.h"
#include "raceworld.h"
#include "screenshot.h"
#include "common/playerprofile.h"
#include "race/settings.h"
#include "track/track.h"

namespace {

using Clock = std::chrono::steady_clock;

const int WIDTH = 1024;
const int HEIGHT = 768;

// The game's texture filtering on a race world's banks.
void useTrilinear(glimro_harness::RaceWorld& world) {
  world.textures.maxFilter = korvu::IMAGEFILTER_TRILINEAR;
  world.skyTextures.maxFilter = korvu::IMAGEFILTER_TRILINEAR;
  world.textures.refresh();
  world.skyTextures.refresh();
}

// Stages switched off by BENCH_OFF, for profiling; the HUD and the track's
// meshes are switched off by the modes that draw them.
bool hudOff = false;
bool trackOff = false;

void switchStagesOff() {
  const char* off = std::getenv("BENCH_OFF");
  if (!off) return;
  const std::string list = std::string(",") + off + ",";
  auto has = [&](const char* name) { return list.find(std::string(",") + name + ",") != std::string::npos; };
  korvu::ddd::settings.skybox = !has("skybox");
  korvu::ddd::settings.transparency = !has("transparency");
  korvu::ddd::settings.shadows = !has("shadows");
  korvu::ddd::settings.lensflares = !has("lensflares");
  hudOff = has("hud");
  trackOff = has("track");
}

void drawFrame(glimro::Game& game) {
  if (trackOff) {
    for (glimro::Glimro* player : game.players) player->visibleObjects.clear();
  }
  korvu::clearScreen();
  game.draw(0.0f);
  korvu::flipScreen();
}

// A race of the autopilot's with the game's texture filtering and render
// context, drawn at the benchmark's size.
std::unique_ptr<glimro_harness::RaceHarness> drivenRace(int track, int players, bool night, int laps) {
  glimro_harness::RaceOptions o = glimro_harness::drawnRace(track, players, night, WIDTH, HEIGHT);
  o.laps = laps;
  std::unique_ptr<glimro_harness::RaceHarness> h(new glimro_harness::RaceHarness(o));
  useTrilinear(*h);
  if (hudOff) h->font = nullptr;
  return h;
}

double percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0.0;
  std::sort(v.begin(), v.end());
  // The nearest-rank percentile.
  const double rank = std::ceil(p * static_cast<double>(v.size()));
  return v[static_cast<size_t>(std::max(rank, 1.0)) - 1];
}

// One lap of a track for both vehicles: every frame runs the race's step
// and draws every view. The frames are timed whole, step and drawing.
void driveLap(int track, long frames) {
  std::unique_ptr<glimro_harness::RaceHarness> h = drivenRace(track, 2, false, 1);
  glimro::Game& game = *h->game;
  std::vector<double> ms;
  ms.reserve(10000);
  // Ten minutes of race time at most, or the frames asked for.
  const long limit = frames > 0 ? frames : 30000;
  drawFrame(game);
  for (long n = 0; n < limit && !game.raceOver; ++n) {
    const Clock::time_point t = Clock::now();
    h->step();
    drawFrame(game);
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t).count());
  }
  double total = 0.0;
  for (double m : ms) total += m;
  std::printf("lap of %s, two players at %dx%d%s: %zu frames in %.1f s, frame time median %.2f ms, "
              "95th percentile %.2f ms, worst %.2f ms\n",
              game.track->name.c_str(), WIDTH, HEIGHT, game.raceOver ? "" : " (not finished)", ms.size(),
              total / 1000.0, percentile(ms, 0.5), percentile(ms, 0.95), percentile(ms, 1.0));
  std::fflush(stdout);
}

// The first player's heading in the ground plane, in radians.
float heading(const glimro_harness::RaceHarness& h) {
  const korvu::Matrix3D& m = h.game->players[0]->rotation;
  return std::atan2(m.m[0][2], m.m[2][2]);
}

// The grid (after one step of the countdown) and the first bend after the
// start, of every track by day and by night, for one and two
// players.
void savePictures(const std::string& folder) {
  std::filesystem::create_directories(folder);
  const std::string absolute = std::filesystem::absolute(folder).string();
  for (int track = 0; track < 3; ++track) {
    for (int players = 1; players <= 2; ++players) {
      for (bool night : {false, true}) {
        std::unique_ptr<glimro_harness::RaceHarness> h = drivenRace(track, players, night, 3);
        const std::string stem = absolute + "/" + h->game->track->name + (night ? "_night_" : "_day_") +
                                 std::to_string(players) + "p_";
        h->step();
        drawFrame(*h->game);
        drawFrame(*h->game);
        korvu::saveScreenshot((stem + "grid.png").c_str());
        // Past the countdown and the start, the first frame at which the
        // first player has turned by more than 20 degrees in the last second.
        std::vector<float> headings;
        long n = 0;
        for (; n < 6000; ++n) {
          h->step();
          headings.push_back(heading(*h));
          if (n < 400) continue;
          float turned = std::fabs(headings.back() - headings[headings.size() - 51]);
          if (turned > 3.14159265f) turned = 6.2831853f - turned;
          if (turned > 0.35f) break;
        }
        drawFrame(*h->game);
        drawFrame(*h->game);
        korvu::saveScreenshot((stem + "bend.png").c_str());
        std::printf("%s: grid and bend (frame %ld)\n", stem.c_str(), n);
      }
    }
  }
}

// Per picture of folder a: the share of pixels whose largest channel
// difference to the same picture in b is above 0 and above 1, and the
// largest difference.
int comparePictures(const std::string& a, const std::string& b) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(a)) {
    if (entry.path().extension() == ".png") names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  int worse = 0;
  for (const std::string& name : names) {
    SDL_Surface* x = IMG_Load((a + "/" + name).c_str());
    SDL_Surface* y = IMG_Load((b + "/" + name).c_str());
    if (!x || !y || x->w != y->w || x->h != y->h) {
      std::printf("%-40s missing or of another size\n", name.c_str());
      ++worse;
    } else {
      long differ = 0, beyondOne = 0;
      int largest = 0;
      for (int j = 0; j < x->h; ++j) {
        for (int i = 0; i < x->w; ++i) {
          Uint8 p[4], q[4];
          SDL_GetRGBA(korvu::getPixel(x, i, j), x->format, &p[0], &p[1], &p[2], &p[3]);
          SDL_GetRGBA(korvu::getPixel(y, i, j), y->format, &q[0], &q[1], &q[2], &q[3]);
          int d = 0;
          for (int c = 0; c < 3; ++c) d = std::max(d, std::abs(p[c] - q[c]));
          differ += d > 0;
          beyondOne += d > 1;
          largest = std::max(largest, d);
        }
      }
      const double all = static_cast<double>(x->w) * x->h;
      std::printf("%-40s differ %.4f %%, by more than 1: %.4f %%, largest %d\n", name.c_str(), 100.0 * differ / all,
                  100.0 * beyondOne / all, largest);
      if (beyondOne > all / 1000) ++worse;
    }
    if (x) SDL_FreeSurface(x);
    if (y) SDL_FreeSurface(y);
  }
  std::printf("%d of %zu pictures differ by more than 1 on more than 0.1 %% of their pixels\n", worse, names.size());
  return worse == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "compare") {
    if (argc < 4) {
      std::fprintf(stderr, "usage: bench_race_frame compare FOLDER_A FOLDER_B\n");
      return 2;
    }
    return comparePictures(argv[2], argv[3]);
  }
  switchStagesOff();
  if (mode == "lap" || mode == "pictures") {
    if (mode == "pictures" && argc < 3) {
      std::fprintf(stderr, "usage: bench_race_frame pictures FOLDER\n");
      return 2;
    }
    try {
      korvu::init(SDL_INIT_VIDEO, false);
      korvu::initScreen(WIDTH, HEIGHT, 32, false);
      korvu::ddd::init();
      if (mode == "pictures") {
        savePictures(argv[2]);
      } else if (argc > 2) {
        driveLap(std::atoi(argv[2]), argc > 3 ? std::atol(argv[3]) : 0);
      } else {
        for (int track = 0; track < 3; ++track) driveLap(track, 0);
      }
    } catch (const std::string& message) {
      std::fprintf(stderr, "bench_race_frame: %s\n", message.c_str());
      return 1;
    }
    SDL_Quit();
    return 0;
  }
  const int frames = argc > 1 ? std::atoi(argv[1]) : 300;
  const bool night = argc > 3 && std::string(argv[3]) == "night";
  try {
    korvu::init(SDL_INIT_VIDEO, false);
    korvu::initScreen(WIDTH, HEIGHT, 32, false);
    korvu::ddd::init();
    korvu::audio::enabled = false;
    korvu::audio::init("", 44100);

    std::unique_ptr<glimro_harness::RaceWorld> world(new glimro_harness::RaceWorld(true));
    useTrilinear(*world);
    // The game's settings; the grid loads no heads-up font.
    glimro::settings.compileModels = true;
    glimro::settings.track = argc > 2 ? std::atoi(argv[2]) : 0;
    glimro::settings.resX = WIDTH;
    glimro::settings.resY = HEIGHT;
    glimro::PlayerProfile one, two;
    one.name = "one";
    two.name = "two";
    const Clock::time_point setUp = Clock::now();
    std::unique_ptr<glimro::Game> game(new glimro::Game("bench", {&one, &two}, 2, night));
    const double setUpMs = std::chrono::duration<double, std::milli>(Clock::now() - setUp).count();
    game->cullViews();

    // One frame to record the display lists, then the timed ones.
    drawFrame(*game);
    const Clock::time_point start = Clock::now();
    const std::clock_t cpuStart = std::clock();
    for (int i = 0; i < frames; ++i) drawFrame(*game);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    // The processor time of all the program's threads (the software
    // renderer's included): steadier than the frame rate on a busy machine.
    const double cpuMs = 1000.0 * static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    // What the last view drawn queued: the material changes and the draws
    // of the opaque stage, the transparent entries and the shadow volumes.
    const korvu::ddd::Pipeline& p = korvu::ddd::pipeline;
    size_t groups = 0, opaque = 0;
    for (const auto& group : p.opaque) {
      if (group.second.empty()) continue;
      groups += group.first != nullptr;
      opaque += group.second.size();
    }
    std::printf("last view: %zu materials applied for %zu opaque draws, %zu transparent entries, %zu shadow volumes, "
                "%zu lights, %zu flare lights\n",
                groups, opaque, p.transparent.size(), p.shadowRefs.size(), p.lights.size(), p.flareLights.size());
    std::printf("track %s, %s, two players at %dx%d: %d frames in %.3f s, %.1f frames per second, "
                "%.2f ms processor time per frame (%d meshes, %d faces per frame; race set-up %.0f ms)\n",
                game->track->name.c_str(), night ? "night" : "day", WIDTH, HEIGHT, frames, seconds,
                frames / seconds, frames > 0 ? cpuMs / frames : 0.0, game->meshes, game->faces, setUpMs);
    game.reset();
    world.reset();
    korvu::audio::cleanUp();
  } catch (const std::string& message) {
    std::fprintf(stderr, "bench_race_frame: %s\n", message.c_str());
    return 1;
  }
  SDL_Quit();
  return 0;
}
