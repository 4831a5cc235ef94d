// The race step on real tracks and vehicles without a window: laps and
// their record tables and messages, ranking, rockets and their bursts, the
// countdown, vehicle against vehicle, falling off the road, hovering on
// the grid, and leaving the race.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio/audio.h"
#include "audio/emitter.h"
#include "audio/source.h"
#include "common/triggers.h"
#include "ddd/emitterobject.h"
#include "controls.h"
#include "ddd/material.h"
#include "ddd/mesh.h"
#include "ddd/model.h"
#include "ddd/particles.h"
#include "fonts/message.h"
#include "gui/gui.h"
#include "gui/label.h"
#include "race/game.h"
#include "race/glimro.h"
#include "raceharness.h"
#include "race/rocket.h"
#include "track/timetext.h"
#include "track/track.h"
#include "xml.h"

using glimro::Game;
using glimro::Glimro;
using glimro_harness::RaceHarness;
using glimro_harness::RaceOptions;
using korvu::Vector3D;

namespace {

RaceOptions race(int track = 0, int players = 1) {
  RaceOptions o;
  o.track = track;
  o.players = players;
  return o;
}

std::string shownMessage(const Glimro& v) {
  return v.messages.messages.empty() ? std::string() : v.messages.messages.back()->text;
}

// Puts the vehicle on a section, as the tracking rule would.
void onSection(Glimro& v, Game& g, int index) {
  for (glimro::TrackSection* s : g.track->sections) {
    if (s->index == index) v.currentSection = v.previousSection = s;
  }
}

void fire(RaceHarness& h, int id, const std::string& name) {
  korvu::Trigger* t = new korvu::Trigger(id, name, "");
  h.queue += t;
  h.queue << t;
}

}  // namespace

TEST(RaceLaps, ThreeLapsGiveThreeLapTimesOneRaceTimeAndTheirMessages) {
  RaceHarness h(race());
  Game& g = *h.game;
  Glimro& v = *g.players[0];
  glimro::TimeTable& laps = g.track->stats.laptimes;
  glimro::TimeTable& races = g.track->stats.tracktimes;
  // Somebody drove a 50 s lap before.
  laps.add(glimro::TimeEntry(50000, "Earlier"));

  // The first crossing only starts the lap clock.
  v.lapTime = 1234;
  v.nextLap();
  EXPECT_EQ(v.lap, 1);
  EXPECT_EQ(v.lapTime, 0.0);
  EXPECT_EQ(laps.entries[1].ticks, 0);
  EXPECT_TRUE(v.messages.messages.empty());
  EXPECT_LE(v.lapTimeMessage.remainingTime, 0.0f);

  // A first lap slower than the table's best: best for the vehicle, no record.
  v.lapTime = 61000.7;
  v.nextLap();
  EXPECT_EQ(v.bestLapTime, 61000.7);
  EXPECT_EQ(shownMessage(v), "Fastest lap: 01:01.000");
  EXPECT_EQ(v.lapTimeMessage.text, "01:01.000");
  EXPECT_GT(v.lapTimeMessage.remainingTime, 0.0f);
  EXPECT_EQ(laps.entries[1].ticks, 61000);
  EXPECT_EQ(laps.entries[1].name, "Pilot 1");

  // As fast as the best: not a new best, no new message.
  v.messages.clear();
  v.lapTime = 61000.7;
  v.nextLap();
  EXPECT_EQ(v.lap, 3);
  EXPECT_TRUE(v.messages.messages.empty());

  // The last lap is the track's record, and the race is over at once.
  v.raceTime = 170000.5;
  v.lapTime = 48000;
  v.nextLap();
  EXPECT_EQ(v.lap, 4);
  EXPECT_EQ(v.bestLapTime, 48000.0);
  EXPECT_EQ(laps.entries[0].ticks, 48000);
  EXPECT_EQ(races.entries[0].ticks, 170000);
  EXPECT_EQ(races.entries[0].name, "Pilot 1");
  // The finish replaces the fastest-lap message of the same crossing.
  ASSERT_EQ(v.messages.messages.size(), 1u);
  EXPECT_EQ(shownMessage(v), "Finished in 02:50.000 (new track record)");
  EXPECT_TRUE(v.finished);
  EXPECT_TRUE(v.locked);
  EXPECT_TRUE(g.raceOver);
  // Four lap entries in all: the earlier one and this race's three.
  EXPECT_EQ(laps.entries[3].ticks, 61000);
  EXPECT_EQ(laps.entries[4].ticks, 0);

  // A finished vehicle's clocks stand still, and the line counts no more.
  const double raceTime = v.raceTime;
  v.passTime(500, raceTime + 500);
  EXPECT_EQ(v.raceTime, raceTime);
  v.nextLap();
  EXPECT_EQ(v.lap, 4);
  EXPECT_EQ(races.entries[1].ticks, 0);
  EXPECT_EQ(g.playersRacing, 0);
}

// Another copy of the game on the same folder saved a better race while
// this one ran: the finish places the time after it, and no false record is
// told. Times this copy read at the start count once.
TEST(RaceLaps, TheFinishPlacesTheTimeAmongThoseAnotherCopySavedMeanwhile) {
  RaceHarness h(race());
  Game& g = *h.game;
  Glimro& v = *g.players[0];
  g.track->stats.tracktimes.add(glimro::TimeEntry(180000, "Read"));
  g.track->stats.save(g.track->statsFile());
  glimro::TrackStats other;
  other.tracktimes.add(glimro::TimeEntry(180000, "Read"));
  other.tracktimes.add(glimro::TimeEntry(160000, "Other"));
  other.save(g.track->statsFile());

  v.lap = glimro::settings.laps;
  v.raceTime = 170000;
  v.lapTime = 50000;
  v.nextLap();
  const glimro::TimeTable& races = g.track->stats.tracktimes;
  EXPECT_EQ(shownMessage(v), "Finished in 02:50.000");
  EXPECT_EQ(races.entries[0].name, "Other");
  EXPECT_EQ(races.entries[1].name, "Pilot 1");
  EXPECT_EQ(races.entries[2].name, "Read");
  EXPECT_EQ(races.entries[3].ticks, 0);
}

// A crossing's lines and the display's clocks show the whole millisecond
// that the table keeps, also for a clock just under one (or under a whole
// second or minute), which a float of the clock rounds up.
TEST(RaceLaps, EveryTimeShownIsTheTimeTheTableKeeps) {
  RaceHarness h(race());
  Game& g = *h.game;
  Glimro& v = *g.players[0];
  const auto shown = [](long ticks) { return glimro::ticksToStr(static_cast<float>(ticks)); };
  const struct {
    double lap, race;
    const char *lapShown, *raceShown;
  } cases[] = {{48000.999, 110619.998, "00:48.000", "01:50.619"}, {1999.99999, 59999.9999, "00:01.999", "00:59.999"}};
  for (const auto& c : cases) {
    g.track->stats = glimro::TrackStats();
    v.finished = false;
    v.lap = 1;
    v.bestLapTime = 0;
    v.lapTime = c.lap;
    EXPECT_EQ(v.lapClock(), c.lapShown);
    v.nextLap();
    const std::string lapEntry = shown(g.track->stats.laptimes.entries[0].ticks);
    EXPECT_EQ(lapEntry, c.lapShown);
    EXPECT_EQ(shownMessage(v), "Fastest lap: " + lapEntry + " (new record)");
    EXPECT_EQ(v.lapTimeMessage.text, lapEntry);
    v.lap = glimro::settings.laps;
    v.raceTime = c.race;
    v.nextLap();
    const std::string raceEntry = shown(g.track->stats.tracktimes.entries[0].ticks);
    EXPECT_EQ(raceEntry, c.raceShown);
    EXPECT_EQ(shownMessage(v), "Finished in " + raceEntry + " (new track record)");
    EXPECT_EQ(v.raceClock(), raceEntry);
    EXPECT_EQ(v.lapClock(), "00:00.000");
  }
}

TEST(RaceLaps, RankingPutsALapAheadFirstAndKeepsTiesInTheirOrder) {
  RaceHarness h(race(0, 2));
  Game& g = *h.game;
  Glimro& a = *g.players[0];
  Glimro& b = *g.players[1];
  h.autopilot = false;

  // Same lap, same section: the previous order (the grid) stays.
  onSection(a, g, 5);
  onSection(b, g, 5);
  h.step();
  EXPECT_EQ(g.ranking.front(), &a);
  EXPECT_EQ(a.racePosition, 1);
  EXPECT_EQ(b.racePosition, 2);

  // Farther on the same lap leads.
  onSection(b, g, 6);
  h.step();
  EXPECT_EQ(b.racePosition, 1);
  EXPECT_EQ(a.racePosition, 2);

  // Back level: b keeps the lead it had.
  onSection(a, g, 6);
  h.step();
  EXPECT_EQ(b.racePosition, 1);

  // A lap ahead leads whatever the section.
  a.lap = 2;
  b.lap = 1;
  onSection(a, g, 0);
  onSection(b, g, 39);
  h.step();
  EXPECT_EQ(a.racePosition, 1);
  EXPECT_TRUE(glimro::findGlimroLeader(&a, &b));
  EXPECT_FALSE(glimro::findGlimroLeader(&b, &a));
}

TEST(RaceRockets, ARocketFliesASecondBurstsAndItsExplosionGoes) {
  RaceHarness h(race());
  Game& g = *h.game;
  Glimro& v = *g.players[0];
  h.autopilot = false;

  // A closed launcher keeps its rocket.
  glimro::Rocket* loaded = v.rocket;
  v.launchRocket();
  EXPECT_TRUE(g.rockets.empty());
  EXPECT_EQ(v.rocket, loaded);
  EXPECT_EQ(loaded->parent, v.launcher);

  fire(h, glimro::TRG_OPEN_ROCKET1, "openRocket1");
  fire(h, glimro::TRG_LAUNCH_ROCKET1, "launchRocket1");
  fire(h, glimro::TRG_LAUNCH_ROCKET1, "launchRocket1b");
  g.mainLoop(0.0f);
  ASSERT_EQ(g.rockets.size(), 2u);
  EXPECT_EQ(g.rockets.front(), loaded);
  EXPECT_EQ(loaded->parent, g.world);
  ASSERT_NE(v.rocket, nullptr);
  EXPECT_NE(v.rocket, g.rockets.back());
  EXPECT_EQ(v.rocket->parent, v.launcher);
  EXPECT_TRUE(v.launcherOpen);

  // Straight on along the vehicle's forward axis at 0.2 units a millisecond.
  Vector3D forward(0, 0, 1);
  forward.transform(v.rotation);
  const Vector3D start = loaded->position;
  for (int i = 0; i < 99; ++i) g.mainLoop(10.0f);
  ASSERT_EQ(g.rockets.size(), 2u);
  const Vector3D flown = loaded->position - start;
  EXPECT_NEAR(flown.length(), 198.0f, 0.05f);
  EXPECT_GT(korvu::dotProduct(flown, forward), 197.9f);
  const Vector3D last = loaded->position;

  // The hundredth step bursts both where they stand.
  g.mainLoop(10.0f);
  EXPECT_TRUE(g.rockets.empty());
  ASSERT_EQ(g.particleEngines.size(), 2u);
  korvu::ddd::SimpleParticleEngine* burst = g.particleEngines.front();
  EXPECT_EQ(burst->position, last);
  EXPECT_EQ(burst->parent, g.world);
  EXPECT_EQ(burst->particles.size(), 100u);

  // Every particle fades within a second and a half; then the engines go.
  int steps = 0;
  while (!g.particleEngines.empty() && steps < 200) {
    g.mainLoop(10.0f);
    ++steps;
  }
  EXPECT_TRUE(g.particleEngines.empty());
  EXPECT_GT(steps, 30);

  // A rocket whose lifetime ends within its first step bursts without
  // moving; a frame of a whole second is a pause and takes only the
  // longest frame of it.
  v.launchRocket();
  g.rockets.front()->lifetime = glimro::LONGEST_FRAME;
  const Vector3D at = g.rockets.front()->position;
  g.mainLoop(1000.0f);
  EXPECT_TRUE(g.rockets.empty());
  ASSERT_EQ(g.particleEngines.size(), 1u);
  EXPECT_EQ(g.particleEngines.front()->position, at);

  // Fired where the player saw the launcher: halfway through a step that
  // moved the vehicle 10 units, 5 units short of where the step left it.
  v.launchRocket();
  const Vector3D seated = g.rockets.back()->position;
  g.rockets.back()->lifetime = 0.0f;
  v.lastPose = v.pose();
  v.lastPose.position -= forward * 10.0f;
  g.stepShare = 0.5f;
  fire(h, glimro::TRG_LAUNCH_ROCKET1, "launchRocket1c");
  g.mainLoop(0.0f);
  ASSERT_EQ(g.rockets.size(), 1u);
  EXPECT_NEAR((g.rockets.back()->position - (seated - forward * 5.0f)).length(), 0.0f, 1e-3f);
}

TEST(RaceStep, CountdownAcrossLongFrames) {
  {
    RaceHarness h(race());
    Game& g = *h.game;
    // A first frame of 2.5 s is a pause: the countdown moves on by the
    // longest frame only; frames of that length bring it to 2.5 s.
    g.mainLoop(2500.0f);
    EXPECT_EQ(g.countdown, 3);
    EXPECT_FLOAT_EQ(g.countdownTimer, 1000.0f - glimro::LONGEST_FRAME);
    while (g.clock < 2500.0) g.mainLoop(glimro::LONGEST_FRAME);
    EXPECT_EQ(g.countdown, 1);
    EXPECT_FLOAT_EQ(g.countdownTimer, 500.0f);
    // Shown at the state reached: red and yellow on.
    korvu::ddd::Model* lights = h.models.find("startLights")->second;
    EXPECT_EQ(lights->meshes[0]->material->name, "redLightOn");
    EXPECT_EQ(lights->meshes[1]->material->name, "yellowLightOn");
    EXPECT_EQ(lights->meshes[2]->material->name, "greenLightOff");
    EXPECT_TRUE(g.players[0]->locked);
    EXPECT_FALSE(g.players[0]->started);
    for (float frame : {250.0f, 249.0f}) g.mainLoop(frame);
    EXPECT_EQ(g.countdown, 1);
    g.mainLoop(1.0f);
    EXPECT_EQ(g.countdown, 1);  // exactly 0 ms left is not below 0
    g.mainLoop(0.5f);
    EXPECT_EQ(g.countdown, 0);
    EXPECT_TRUE(g.players[0]->started);
    EXPECT_FALSE(g.players[0]->locked);
  }
  {
    RaceHarness h(race(0, 2));
    Game& g = *h.game;
    // A first frame of 5 s does not end the countdown: it moves on by the
    // longest frame, and the vehicles wait on the grid.
    g.mainLoop(5000.0f);
    EXPECT_DOUBLE_EQ(g.clock, glimro::LONGEST_FRAME);
    EXPECT_EQ(g.countdown, 3);
    for (Glimro* v : g.vehicles) {
      EXPECT_FALSE(v->started);
      EXPECT_TRUE(v->locked);
    }
    while (g.clock < 5000.0) g.mainLoop(glimro::LONGEST_FRAME);
    EXPECT_EQ(g.countdown, 0);
    for (Glimro* v : g.vehicles) {
      EXPECT_TRUE(v->started);
      EXPECT_FALSE(v->locked);
    }
    // Race time began where the last light went out, 3 s after the first
    // frame's start; idle from then on, and the clocks run.
    const double started = g.players[0]->raceTime;
    EXPECT_DOUBLE_EQ(started, 2000.0);
    const float timer = g.countdownTimer;
    g.mainLoop(200.0f);
    EXPECT_EQ(g.countdown, 0);
    EXPECT_FLOAT_EQ(g.countdownTimer, timer);
    EXPECT_DOUBLE_EQ(g.players[0]->raceTime - started, 200.0);
    // A machine that slept a minute: the race moves on by the longest
    // frame, and the vehicles still hover.
    g.mainLoop(60000.0f);
    EXPECT_DOUBLE_EQ(g.players[0]->raceTime - started, 200.0 + glimro::LONGEST_FRAME);
    for (Glimro* v : g.vehicles) EXPECT_NEAR(v->position.y, 8.4, 2.0);
  }
}

// The same driving gives the same race whatever the frames are: a
// full-throttle run-up from the grid (the autopilot only steering) is as
// far from the grid after 3 s of race time at every frame pattern, and
// the vehicle is drawn where it is at the frame's time. The race clock
// follows the frames, not the steps: it moves on by each frame's length.
TEST(RaceStep, ARunUpIsTheSameAtEveryFrameLength) {
  const std::vector<std::vector<float>> patterns = {{1},  {0, 1}, {0, 2}, {2},  {5},  {10}, {16, 17, 17},
                                                    {20}, {25},   {26},   {33}, {40}, {50}, {60},
                                                    {12, 40, 7, 31}, {100}, {150}, {glimro::LONGEST_FRAME}};
  std::vector<double> distances;
  for (const std::vector<float>& frames : patterns) {
    RaceOptions o = race();
    o.frames = frames;
    RaceHarness h(o);
    Game& g = *h.game;
    Glimro& v = *g.players[0];
    g.stepPilot = [&h]() {
      h.driveAxes();
      h.accelerateAxis[0]->value = 1.0;
      h.breakAxis[0]->value = 0.0;
    };
    const Vector3D grid = v.position;
    double lastTime = -1.0, lastDistance = 0.0, at3s = -1.0;
    while (at3s < 0.0 && h.frames < 100000) {
      const float frame = h.nextFrame();
      h.step();
      if (!v.started) continue;
      if (lastTime >= 0.0) {
        ASSERT_NEAR(v.raceTime - lastTime, frame, 1e-6) << "frames " << frames.front() << " at " << v.raceTime;
      }
      const double distance = (v.poseBetweenSteps(g.stepShare).position - grid).length();
      if (lastTime >= 0.0 && lastTime <= 3000.0 && v.raceTime >= 3000.0 && v.raceTime > lastTime)
        at3s = lastDistance + (distance - lastDistance) * (3000.0 - lastTime) / (v.raceTime - lastTime);
      lastTime = v.raceTime;
      lastDistance = distance;
    }
    ASSERT_GT(at3s, 300.0) << "frames " << frames.front();
    distances.push_back(at3s);
  }
  const auto range = std::minmax_element(distances.begin(), distances.end());
  EXPECT_LT(*range.second / *range.first, 1.03) << *range.first << " to " << *range.second;
}

// The process stopped for 10 s mid-race (or the machine suspended): the
// frame after it moves the race on by the longest frame only, on the keys
// held before it, and drops the rest. The race goes on as one that had a
// frame of that length there, lap clock and all.
TEST(RaceStep, APauseMidRaceMovesTheRaceOnByTheLongestFrameOnly) {
  // One race at a time: the race reaches its world through glimro::game.
  struct Finish {
    double raceTime;
    Vector3D position;
  };
  auto race4sThen = [](float frame) {
    RaceOptions o = race();
    o.laps = 1;
    RaceHarness h(o);
    Game& g = *h.game;
    const Glimro& v = *g.players[0];
    while (!v.started || v.raceTime < 4000.0) h.step();
    const double clock = g.clock, raceTime = v.raceTime;
    const Vector3D position = v.position;
    h.options.frames = {frame};
    h.step();
    // Never more than a third of a second seen by nobody.
    EXPECT_LE(g.clock - clock, 333.0) << frame;
    EXPECT_DOUBLE_EQ(g.clock - clock, glimro::LONGEST_FRAME) << frame;
    EXPECT_DOUBLE_EQ(v.raceTime - raceTime, glimro::LONGEST_FRAME) << frame;
    EXPECT_LT(g.stepClock - g.clock, glimro::VEHICLE_STEP) << frame;
    // Velocity is in units per 50 ms.
    EXPECT_LE((v.position - position).length(), v.velocity.length() * glimro::LONGEST_FRAME / 50.0f * 1.5f)
        << frame;
    h.options.frames = {20.0f};
    EXPECT_TRUE(h.runToFinish(20000)) << frame;
    return Finish{v.raceTime, v.position};
  };
  const Finish paused = race4sThen(10000.0f);
  const Finish steady = race4sThen(glimro::LONGEST_FRAME);
  EXPECT_DOUBLE_EQ(paused.raceTime, steady.raceTime);
  EXPECT_EQ(paused.position, steady.position);
}

// A lap ends where the vehicle crossed the line within its step, to the
// millisecond, not where the step ended.
TEST(RaceLaps, TheLineIsCrossedWithinTheStep) {
  RaceHarness h(race());
  Game& g = *h.game;
  const glimro::TrackSection& first = *g.track->sections.front();
  Vector3D along(0, 0, -1);
  along.transform(first.rotation);
  const Vector3D line = first.position;
  g.startClock = 1000.0;
  g.stepClock = 4000.0;
  const double stepStart = 3000.0;
  EXPECT_NEAR(g.lineCrossingTime(line - along * 10.0f, line + along * 30.0f), stepStart + 5.0, 1e-3);
  EXPECT_NEAR(g.lineCrossingTime(line - along * 30.0f, line + along * 10.0f), stepStart + 15.0, 1e-3);
  // Found past the line already, or short of it: the step's start or end.
  EXPECT_NEAR(g.lineCrossingTime(line + along * 5.0f, line + along * 30.0f), stepStart, 1e-3);
  EXPECT_NEAR(g.lineCrossingTime(line - along * 30.0f, line - along * 5.0f), stepStart + glimro::VEHICLE_STEP, 1e-3);

  // Driven by the race's own steps at a steady 0.5 units a millisecond from
  // the grid straight through the middle of the start portal, passing it
  // 107.4 ms after the start signal: the lap under way ends there, within
  // the sixth step, whatever the frames.
  const float speed = 0.5f, distance = 53.7f;
  for (const std::vector<float>& frames : {std::vector<float>{7}, std::vector<float>{20}, std::vector<float>{60}}) {
    RaceOptions o = race();
    o.frames = frames;
    RaceHarness run(o);
    Game& r = *run.game;
    Glimro& v = *r.players[0];
    run.autopilot = false;
    const korvu::ddd::Object* portal = r.track->startLightEmitter->parent;
    ASSERT_NE(portal, nullptr);
    const Vector3D middle(portal->position.x, v.position.y, portal->position.z);
    Vector3D way = middle - v.position;
    way.normalize();
    r.stepPilot = [&]() {
      if (!v.started) return;
      const float t = static_cast<float>(r.stepClock - r.startClock);
      v.position = middle + way * (speed * t - distance);
      v.velocity = way * (speed * 50.0f);
      v.setHasMoved(true);
    };
    v.lap = 1;
    while (v.lap == 1 && v.raceTime < 1000.0) run.step();
    ASSERT_EQ(v.lap, 2) << "frames of " << frames.front() << " ms";
    EXPECT_NEAR(v.bestLapTime, distance / speed, 0.05) << "frames of " << frames.front() << " ms";
    EXPECT_NEAR(v.lapStart, distance / speed, 0.05) << "frames of " << frames.front() << " ms";
  }
}

// Frames as the shell runs them, audio switched off: the race step, then
// the audio step, which stops every source at once. The engine sounds the
// vehicles keep must outlive that; the beeps go the frame after.
TEST(RaceStep, SecondsOfRacingWithAudioSwitchedOff) {
  RaceHarness h(race(0, 2));
  Game& g = *h.game;
  ASSERT_FALSE(korvu::audio::enabled);
  float highest = 0.0f;
  for (int f = 0; f < 300; ++f) {
    ASSERT_TRUE(h.step());
    korvu::audio::context->perform(h.options.frames[0]);
    h.effects->perform(h.options.frames[0]);
    for (Glimro* v : g.vehicles) highest = std::max(highest, v->engineSound->pitch);
  }
  EXPECT_EQ(g.countdown, 0);
  EXPECT_GT(highest, 0.01f) << "the engine pitch never followed the speed";
  for (Glimro* v : g.vehicles) EXPECT_EQ(v->engineSound->emitter, v->emitterObject->emitter);
  EXPECT_TRUE(h.effects->empty());
  EXPECT_TRUE(h.music->empty());
}

TEST(RaceStep, VehicleAgainstVehicleHandsOnSpeedAndKeepsAMinimum) {
  RaceHarness h(race(0, 2));
  Game& g = *h.game;
  Glimro& a = *g.vehicles[0];
  Glimro& b = *g.vehicles[1];
  // b stands 60 units ahead of a, a runs into it within the step.
  Vector3D ahead(0, 0, 1);
  ahead.transform(a.rotation);
  b.position = a.position + ahead * 60.0f;
  b.rotation = a.rotation;
  b.inverseRotation = a.inverseRotation;
  const float dt = 50.0f;
  struct Case {
    double speedA, speedAfter;
  };
  for (const Case& c : {Case{0.005, 0.01}, Case{-0.005, -0.01}, Case{0.0, 0.0}, Case{12.0, 12.0}}) {
    a.velocity = ahead * 80.0f;
    a.speed = c.speedA;
    b.velocity = Vector3D(3, 0, 4);
    b.speed = 7;
    g.collideWithVehicles(&a, dt);
    // a keeps its direction at 0.9 of b's speed; b takes 0.9 of that.
    EXPECT_NEAR((a.velocity - ahead * 4.5f).length(), 0.0f, 1e-4f) << c.speedA;
    EXPECT_NEAR((b.velocity - (Vector3D(3, 0, 4) + ahead * 4.05f)).length(), 0.0f, 1e-4f);
    EXPECT_NEAR(b.speed, 0.9 * c.speedA, 1e-9);
    EXPECT_EQ(a.speed, c.speedAfter);
  }
  // Slower than the other, a keeps its own speed: it comes out no faster.
  a.velocity = ahead * 80.0f;
  b.velocity = Vector3D(300, 0, 400);
  g.collideWithVehicles(&a, dt);
  EXPECT_NEAR((a.velocity - ahead * 80.0f).length(), 0.0f, 1e-3f);
  EXPECT_NEAR((b.velocity - (Vector3D(300, 0, 400) + ahead * 72.0f)).length(), 0.0f, 1e-3f);
  // Moving away: nothing changes.
  a.velocity = ahead * -10.0f;
  b.velocity = Vector3D(3, 0, 4);
  g.collideWithVehicles(&a, dt);
  EXPECT_EQ(a.velocity, ahead * -10.0f);
  EXPECT_EQ(b.velocity, Vector3D(3, 0, 4));
}

// Player 1 turns right on the grid, which swings its tail into player 2's
// nose, and both stand with no key down: touching, they stay at rest. They
// once handed each other ever more speed and threw each other into the air.
TEST(RaceStep, VehiclesLeftTouchingOnTheGridStayAtRest) {
  for (float frame : {20.0f, 100.0f}) {
    RaceOptions o = race(0, 2);
    o.frames = {frame};
    RaceHarness h(o);
    Game& g = *h.game;
    h.autopilot = false;
    while (!g.vehicles[0]->started) h.step();
    const auto run = [&](double ms) {
      for (double t = 0; t < ms; t += frame) h.step();
    };
    h.xAxis[0]->value = 1.0;
    h.accelerateAxis[0]->value = 1.0;
    run(250);
    h.xAxis[0]->value = h.accelerateAxis[0]->value = 0.0;
    h.breakAxis[0]->value = 1.0;
    run(2000);
    h.breakAxis[0]->value = 0.0;
    for (double t = 0; t < 12000; t += frame) {
      h.step();
      for (const Glimro* v : g.vehicles) {
        ASSERT_LT(v->velocity.length(), 0.6f) << "frame " << frame << ", " << t << " ms";
        ASSERT_LT(v->position.y, 10.0f) << "frame " << frame << ", " << t << " ms";
      }
    }
  }
}

TEST(RaceStep, GravityTakesOverOffTheRoadAndLetsGoOnContact) {
  RaceHarness h(race(1));
  Game& g = *h.game;
  Glimro& v = *g.players[0];
  h.autopilot = false;
  // High above open ground, far from every section.
  v.position = Vector3D(3000, 1000, 3000);
  for (int step = 1; step <= 26; ++step) {
    h.step();
    ASSERT_EQ(v.airborneSteps, step);
    if (step <= 25) {
      ASSERT_EQ(v.gravity, Vector3D(0, 0, 0)) << step;
    }
  }
  EXPECT_EQ(v.gravity, Vector3D(0, -2, 0));
  // Falling faster and faster.
  const float before = v.velocity.y;
  for (int i = 0; i < 10; ++i) h.step();
  EXPECT_LT(v.velocity.y, before - 3.0f);

  // Put down just above the first section: the next step touches.
  v.position = g.track->sections.front()->position + Vector3D(0, 6, 0);
  v.velocity = Vector3D(0, 0, 0);
  h.step();
  EXPECT_EQ(v.airborneSteps, 0);
  EXPECT_EQ(v.gravity, Vector3D(0, 0, 0));
}

// Also in the long frames of a slow machine, which the race moves in its
// steps: in one step of 150 ms the hover body shakes and drops through the
// road.
TEST(RaceStep, TheHoverSettlesAboveTheGridOnEveryTrack) {
  for (int track = 0; track < 3; ++track)
  for (float frame : {20.0f, 150.0f}) {
    SCOPED_TRACE(frame);
    RaceOptions o = race(track, 2);
    o.frames = {frame};
    RaceHarness h(o);
    Game& g = *h.game;
    double lowest[2] = {1e9, 1e9}, highest[2] = {-1e9, -1e9};
    // Three seconds of countdown with the brake held.
    for (float t = 0; t < 3000; t += frame) {
      h.step();
      if (t < 2000) continue;
      for (int i = 0; i < 2; ++i) {
        lowest[i] = std::min(lowest[i], static_cast<double>(g.vehicles[i]->position.y));
        highest[i] = std::max(highest[i], static_cast<double>(g.vehicles[i]->position.y));
      }
    }
    for (int i = 0; i < 2; ++i) {
      const Glimro& v = *g.vehicles[i];
      // The grid is at road height 0: the body floats on its jets.
      EXPECT_GT(lowest[i], 6.0) << "track " << track;
      EXPECT_LT(highest[i], 12.0) << "track " << track;
      EXPECT_LT(highest[i] - lowest[i], 1.5) << "track " << track;
      EXPECT_GT(v.rotation.m[1][1], 0.99f) << "track " << track;
      EXPECT_LT(v.velocity.length(), 0.6f) << "track " << track;
      EXPECT_EQ(v.airborneSteps, 0);
      EXPECT_EQ(v.lap, 0);
    }
  }
}

TEST(RaceStep, AResetOverTheSeamOfTwoSectionsIsNoWrongDirection) {
  for (int track = 0; track < 3; ++track) {
    RaceHarness h(race(track));
    Game& g = *h.game;
    Glimro& v = *g.players[0];
    h.autopilot = false;
    // Put back over the start of section 20, where section 19 ends.
    onSection(v, g, 20);
    fire(h, glimro::TRG_RESET1, "reset1");
    for (int f = 0; f < 60; ++f) {
      h.step();
      ASSERT_EQ(h.wrongDirectionFrames[0], 0) << "track " << track << " frame " << f;
    }
    EXPECT_EQ(v.currentSection->index, 20) << "track " << track;
    EXPECT_EQ(v.airborneSteps, 0);
  }
}

TEST(RaceStep, ExitEndsTheRaceAndTheRaceOverButtonLeavesItWithoutEndingTheProgram) {
  korvu::gui::GUI table;
  auto* first = new korvu::gui::Label();
  first->name = "lTR_total_0_Name";
  table += first;
  RaceHarness h(race(0, 2));
  Game& g = *h.game;
  h.autopilot = false;
  // The race-over table shows what another copy of the game saved while
  // this race ran.
  glimro::raceResources->gui = &table;
  glimro::TrackStats other;
  other.tracktimes.add(glimro::TimeEntry(160000, "Other"));
  other.save(g.track->statsFile());
  fire(h, glimro::TRG_EXIT, "exit");
  EXPECT_TRUE(g.mainLoop(20.0f));
  glimro::raceResources->gui = nullptr;
  EXPECT_TRUE(g.raceOver);
  EXPECT_EQ(g.playersRacing, 0);
  EXPECT_EQ(g.track->stats.tracktimes.entries[0].name, "Other");
  EXPECT_EQ(first->caption, "Other");
  EXPECT_FALSE(g.leave);
  for (Glimro* v : g.players) EXPECT_TRUE(v->locked);

  // The race-over panel's button fires the trigger its description names:
  // it leaves the race, and the program goes on.
  std::unique_ptr<korvu::xml::Node> gui(korvu::xml::loadXML((glimro_harness::sourceDir() + "/resources/gui.xml").c_str()));
  std::string trigger;
  std::function<void(const korvu::xml::Node*)> find = [&](const korvu::xml::Node* n) {
    if (n->getAttribute("name", "") == "bRaceOverContinue") trigger = n->getAttribute("trigger", "");
    for (const korvu::xml::Node* c : n->children) find(c);
  };
  find(gui.get());
  ASSERT_EQ(trigger, "exit");
  fire(h, glimro::TRG_EXIT, "exit again");
  EXPECT_TRUE(g.mainLoop(20.0f));
  EXPECT_TRUE(g.leave);

  // Triggers the race does not own go to the global commands, whose false
  // ends the program; a one-player race drops player 2's triggers.
  glimro::raceResources->globalEvents = [](korvu::Trigger* t) { return t->id != glimro::TRG_CANCEL; };
  fire(h, glimro::TRG_FPS, "fps");
  EXPECT_TRUE(g.mainLoop(20.0f));
  fire(h, glimro::TRG_CANCEL, "cancel");
  EXPECT_FALSE(g.mainLoop(20.0f));
  glimro::terminate = true;
  EXPECT_FALSE(g.mainLoop(20.0f));
  glimro::terminate = false;
}
