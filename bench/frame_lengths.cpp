// What the frame lengths do to a race, without a window: a full-throttle
// run-up from the grid (the autopilot only steering) at many frame
// patterns, the distance from the grid after 1 s and 3 s of race time; and
// three autopilot laps of every track at a few patterns, the race time.
// A race that runs the same on every machine shows the same figures in
// every column.
//
//   bench_frame_lengths [runup|races]   (both without an argument)
#include <cstdio>
#include <string>
#include <vector>

#include "common/loggroups.h"
#include "debug.h"
#include "race/game.h"
#include "race/glimro.h"
#include "raceharness.h"

namespace {

struct Pattern {
  const char* name;
  std::vector<float> frames;
};

const std::vector<Pattern> RUNUP_PATTERNS = {
    {"1", {1}},       {"0/1", {0, 1}},       {"0/2", {0, 2}},   {"2", {2}},   {"5", {5}},
    {"10", {10}},     {"16/17/17", {16, 17, 17}}, {"20", {20}}, {"25", {25}}, {"26", {26}},
    {"33", {33}},     {"40", {40}},          {"50", {50}},      {"60", {60}}, {"12/40/7/31", {12, 40, 7, 31}}};

const std::vector<Pattern> RACE_PATTERNS = {
    {"1", {1}}, {"16/17/17", {16, 17, 17}}, {"25", {25}}, {"40", {40}}, {"60", {60}}};

// The distance from the grid at the given race times, each interpolated
// between the two frames around it.
std::vector<double> runUp(const Pattern& pattern, const std::vector<double>& at) {
  glimro_harness::RaceOptions o;
  o.frames = pattern.frames;
  glimro_harness::RaceHarness h(o);
  glimro::Glimro& v = *h.game->players[0];
  const korvu::Vector3D grid = v.position;
  h.game->stepPilot = [&h]() {
    h.driveAxes();
    h.accelerateAxis[0]->value = 1.0;
    h.breakAxis[0]->value = 0.0;
  };
  std::vector<double> distances(at.size(), -1.0);
  double lastTime = -1.0, lastDistance = 0.0;
  for (long frame = 0; frame < 2000000 && distances.back() < 0.0; ++frame) {
    h.step();
    if (!v.started) continue;
    const double time = v.raceTime;
    const double distance = (v.poseBetweenSteps(h.game->stepShare).position - grid).length();
    for (size_t i = 0; i < at.size(); ++i) {
      if (distances[i] < 0.0 && lastTime >= 0.0 && lastTime <= at[i] && time >= at[i] && time > lastTime)
        distances[i] = lastDistance + (distance - lastDistance) * (at[i] - lastTime) / (time - lastTime);
    }
    lastTime = time;
    lastDistance = distance;
  }
  return distances;
}

void runUps() {
  std::printf("full-throttle run-up, distance from the grid (units)\n%-12s %9s %9s\n", "frames (ms)", "after 1 s",
              "after 3 s");
  for (const Pattern& p : RUNUP_PATTERNS) {
    const std::vector<double> d = runUp(p, {1000.0, 3000.0});
    std::printf("%-12s %9.0f %9.0f\n", p.name, d[0], d[1]);
  }
}

void races() {
  const char* const tracks[3] = {"short", "alternate", "third"};
  std::printf("three autopilot laps, race time (s)\n%-10s", "track");
  for (const Pattern& p : RACE_PATTERNS) std::printf(" %10s", p.name);
  std::printf("\n");
  for (int track = 0; track < 3; ++track) {
    std::printf("%-10s", tracks[track]);
    for (const Pattern& p : RACE_PATTERNS) {
      glimro_harness::RaceOptions o;
      o.track = track;
      o.frames = p.frames;
      glimro_harness::RaceHarness h(o);
      // Ten minutes of race time at the pattern's mean frame.
      double mean = 0.0;
      for (float f : p.frames) mean += f;
      mean /= static_cast<double>(p.frames.size());
      const bool over = h.runToFinish(static_cast<long>(600000.0 / mean));
      if (over) std::printf(" %10.3f", h.game->players[0]->raceTime / 1000.0);
      else std::printf(" %10s", "unfinished");
      std::fflush(stdout);
    }
    std::printf("\n");
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::string what = argc > 1 ? argv[1] : "";
  // Without a window the sky's pictures cannot load; that is not measured.
  korvu::debug::groups[glimro::DBG_GAME].level = korvu::debug::DebugLevel::critical;
  try {
    if (what.empty() || what == "runup") runUps();
    if (what.empty() || what == "races") races();
  } catch (const std::string& message) {
    std::fprintf(stderr, "bench_frame_lengths: %s\n", message.c_str());
    return 1;
  }
  return 0;
}
