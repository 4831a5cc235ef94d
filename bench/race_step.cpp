// What a race frame costs: the race's frame of a two-player race on each
// track, driven by the autopilot without a window, at frames of 16 ms (a
// 60 Hz screen) and of 40 ms (microseconds a frame), then a two-player
// race at 1024x768 on the alternate track, stepped and drawn in a window
// (frames per second; needs an X display, Xvfb is fine).
//
//   bench_race_step [frames per track] [drawn frames]
#include <GL/gl.h>
#include <SDL.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ddd/settings.h"
#include "race/game.h"
#include "race/glimro.h"
#include "korvu.h"
#include "raceharness.h"

using Clock = std::chrono::steady_clock;

namespace {

const char* const TRACKS[3] = {"short", "alternate", "third"};

double micros(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

// Processor time of the whole process (every thread, the driver's too), in
// microseconds. On a shared machine it moves less with the load than the
// wall clock does.
double processorMicros() {
  rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e6 + usage.ru_utime.tv_usec + usage.ru_stime.tv_usec;
}

// Frame costs of one race after the countdown, in microseconds.
void frameCosts(int track, float frame, int frames) {
  glimro_harness::RaceOptions o;
  o.track = track;
  o.players = 2;
  o.frames = {frame};
  glimro_harness::RaceHarness h(o);
  while (!h.game->players[0]->started) h.step();
  // The autopilots' own time is not the race's.
  double piloting = 0.0;
  h.game->stepPilot = [&]() {
    const Clock::time_point start = Clock::now();
    h.driveAxes();
    piloting += micros(Clock::now() - start);
  };
  std::vector<double> costs;
  costs.reserve(static_cast<size_t>(frames));
  for (int i = 0; i < frames && !h.game->raceOver; ++i) {
    piloting = 0.0;
    const Clock::time_point start = Clock::now();
    h.game->mainLoop(frame);
    costs.push_back(micros(Clock::now() - start) - piloting);
  }
  std::sort(costs.begin(), costs.end());
  double sum = 0;
  for (double c : costs) sum += c;
  std::printf("race frame of %2.0f ms, two vehicles, %-9s track: mean %7.1f us  median %7.1f us  99%% %7.1f us  max %7.1f us  (%zu frames)\n",
              frame, TRACKS[track], sum / costs.size(), costs[costs.size() / 2], costs[costs.size() * 99 / 100],
              costs.back(), costs.size());
}

}  // namespace

int main(int argc, char** argv) {
  const int raceFrames = argc > 1 ? std::max(100, std::atoi(argv[1])) : 3000;
  const int frames = argc > 2 ? std::max(10, std::atoi(argv[2])) : 600;
  try {
    for (float frame : {16.0f, 40.0f}) {
      for (int track = 0; track < 3; ++track) frameCosts(track, frame, raceFrames);
    }
  } catch (const std::string& message) {
    std::fprintf(stderr, "bench_race_step: %s\n", message.c_str());
    return 1;
  }

  try {
    korvu::init(SDL_INIT_VIDEO, false);
    korvu::initScreen(1024, 768, 32, false);
    korvu::ddd::init();
  } catch (const std::string& message) {
    std::fprintf(stderr, "bench_race_step: no window (%s); drawn frames skipped\n", message.c_str());
    return 0;
  }
  std::printf("renderer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
  try {
    glimro_harness::RaceOptions o;
    o.track = 1;
    o.players = 2;
    o.drawable = true;
    o.resX = 1024;
    o.resY = 768;
    glimro_harness::RaceHarness h(o);
    for (int i = 0; i < 250; ++i) h.step();
    double stepping = 0, drawing = 0;
    const double processorStart = processorMicros();
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < frames; ++i) {
      const Clock::time_point a = Clock::now();
      h.step();
      const Clock::time_point b = Clock::now();
      korvu::clearScreen();
      h.game->draw(0.0f);
      korvu::flipScreen();
      drawing += micros(Clock::now() - b);
      stepping += micros(b - a);
    }
    const double seconds = micros(Clock::now() - start) / 1e6;
    const double processor = (processorMicros() - processorStart) / frames;
    std::printf("two players, 1024x768, alternate track: %.1f frames/s (step %.0f us, draw %.0f us a frame; processor time %.0f us a frame, all threads; %d frames, %d meshes and %d faces in the last)\n",
                frames / seconds, stepping / frames, drawing / frames, processor, frames, h.game->meshes, h.game->faces);
  } catch (const std::string& message) {
    std::fprintf(stderr, "bench_race_step: %s\n", message.c_str());
    return 1;
  }
  return 0;
}
