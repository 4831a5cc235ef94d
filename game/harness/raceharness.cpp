#include "raceharness.h"

#include "common/playerprofile.h"
#include "common/triggers.h"
#include "fonts/bitmapfont.h"
#include "fonts/message.h"
#include "race/game.h"
#include "race/glimro.h"
#include "track/track.h"

namespace glimro_harness {

namespace {

bool saysWrongDirection(const glimro::Glimro& vehicle) {
  for (const korvu::fonts::Message* m : vehicle.messages.messages) {
    if (m->text == "Wrong direction!") return true;
  }
  return false;
}

}  // namespace

RaceOptions drawnRace(int track, int players, bool night, int width, int height) {
  RaceOptions o;
  o.track = track;
  o.players = players;
  o.night = night;
  o.drawable = true;
  o.resX = width;
  o.resY = height;
  return o;
}

RaceHarness::RaceHarness(const RaceOptions& o) : RaceWorld(), options(o) {
  if (options.frames.empty()) options.frames = {20.0f};
  // The flares' and the rockets' images beside the models'.
  textures.load("resources/textures/additional.xml");
  if (o.drawable) {
    textures.refresh();
    hudFont.reset(new korvu::fonts::BitmapFont("resources/fonts/arial10"));
    font = hudFont.get();
  }
  for (int i = 0; i < 2; ++i) {
    const std::string p = std::to_string(i + 1);
    resets[i] = new korvu::Trigger(i == 0 ? glimro::TRG_RESET1 : glimro::TRG_RESET2, "reset" + p, "");
    queue += resets[i];
  }
  glimro::settings.track = o.track;
  glimro::settings.laps = o.laps;
  glimro::settings.resX = o.resX;
  glimro::settings.resY = o.resY;
  glimro::settings.compileModels = o.drawable;

  std::vector<glimro::PlayerProfile*> drivers;
  for (int i = 0; i < o.players; ++i) {
    profiles.emplace_back(new glimro::PlayerProfile());
    profiles.back()->name = "Pilot " + std::to_string(i + 1);
    drivers.push_back(profiles.back().get());
  }
  game.reset(new glimro::Game("harness", drivers, static_cast<unsigned>(o.players), o.night));
  glimro::game = game.get();
  // The autopilots act at every step, whatever the frames are: the same
  // driving on every machine.
  game->stepPilot = [this]() { driveAxes(); };
  line.reset(new RoadLine(*game->track, game->track->route()));
  for (int i = 0; i < o.players; ++i) pilots.emplace_back(*line);
  wrongDirectionFrames.assign(static_cast<size_t>(o.players), 0);
  resetCount.assign(static_cast<size_t>(o.players), 0);
}

RaceHarness::~RaceHarness() {
  if (glimro::game == game.get()) glimro::game = nullptr;
  game.reset();
}

float RaceHarness::nextFrame() const {
  return options.frames[static_cast<size_t>(frames) % options.frames.size()];
}

bool RaceHarness::step() {
  const bool running = game->mainLoop(nextFrame());
  ++frames;
  for (size_t i = 0; i < game->players.size(); ++i) {
    if (saysWrongDirection(*game->players[i])) ++wrongDirectionFrames[i];
  }
  return running;
}

void RaceHarness::driveAxes() {
  if (autopilot) {
    for (size_t i = 0; i < game->players.size() && i < 2; ++i) {
      const glimro::Glimro* v = game->players[i];
      const Controls c = pilots[i].drive(v->position, v->rotation, v->speed,
                                         v->currentSection != nullptr ? v->currentSection->index : -1,
                                         v->airborneSteps);
      if (c.reset && resetFrames[i] != frames) {
        resetFrames[i] = frames;
        queue << resets[i];
        ++resetCount[i];
      }
      xAxis[i]->value = c.steer;
      accelerateAxis[i]->value = c.accelerate;
      breakAxis[i]->value = c.brake;
    }
  }
}

bool RaceHarness::runToFinish(long maxFrames) {
  for (long n = 0; n < maxFrames && !game->raceOver; ++n) step();
  return game->raceOver;
}

}  // namespace glimro_harness
