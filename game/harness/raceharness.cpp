#include "raceharness.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>

#include "audio/audio.h"
#include "shell/commands.h"
#include "audio/emitter.h"
#include "fonts/bitmapfont.h"
#include "fonts/message.h"
#include "race/game.h"
#include "race/glimro.h"
#include "shell/playerprofile.h"
#include "track/track.h"

namespace glimro_harness {

namespace {

void makeFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0755) != 0) throw std::string("Cannot make the folder ") + path;
}

void link(const std::string& target, const std::string& path) {
  if (symlink(target.c_str(), path.c_str()) != 0) throw std::string("Cannot link ") + path;
}

bool saysWrongDirection(const glimro::Glimro& vehicle) {
  for (const korvu::fonts::Message* m : vehicle.messages.messages) {
    if (m->text == "Wrong direction!") return true;
  }
  return false;
}

}  // namespace

std::string sourceDir() {
  const char* dir = std::getenv("KORVU_SOURCE_DIR");
  return dir != nullptr && *dir != '\0' ? dir : GLIMRO_SOURCE_DIR;
}

RaceHarness::RaceHarness(const RaceOptions& o) : options(o) {
  previousResources_ = glimro::raceResources;
  previousSettings_ = glimro::settings;
  char buffer[PATH_MAX];
  if (getcwd(buffer, sizeof buffer) != nullptr) previousFolder_ = buffer;

  try {
    if (!korvu::audio::context) {
      korvu::audio::enabled = false;
      korvu::audio::init("", 44100);
      startedAudio_ = true;
    }

    // A folder of its own whose resources are the source tree's, so that
    // record files land here and every race starts with empty tables.
    char pattern[] = "/tmp/glimro-race-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::string("Cannot make a working folder.");
    folder = pattern;
    const std::string source = sourceDir() + "/resources";
    makeFolder(folder + "/resources");
    for (const char* sub : {"textures", "models", "fonts", "sounds"}) {
      link(source + "/" + sub, folder + "/resources/" + sub);
    }
    if (chdir(folder.c_str()) != 0) throw std::string("Cannot enter ") + folder;

    textures.load("resources/textures/additional.xml");
    materials.load(source + "/materials.xml", &textures, "resources/textures/");
    models.load(source + "/models.xml", &materials, &textures, "resources/textures/");
    materials.prepare();
    // Sounds stay silent with audio off; the race only needs their names.
    for (const char* name : {"engine", "beep"}) {
      korvu::audio::Sound* s = new korvu::audio::OggSound();
      s->name = name;
      sounds += s;
    }
    if (o.drawable) {
      textures.refresh();
      font.reset(new korvu::fonts::BitmapFont("resources/fonts/arial10"));
    }

    install();
    glimro::RaceResources& r = glimro::raceResources;
    r.font = font.get();
    addAxes();
    for (int i = 0; i < 2; ++i) {
      const std::string p = std::to_string(i + 1);
      resets[i] = new korvu::Trigger(i == 0 ? glimro::TRG_RESET1 : glimro::TRG_RESET2, "reset" + p, "");
      queue += resets[i];
    }

    glimro::settings = glimro::Settings();
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
    line.reset(new RoadLine(*game->track, game->track->route()));
    for (int i = 0; i < o.players; ++i) pilots.emplace_back(*line);
    wrongDirectionFrames.assign(static_cast<size_t>(o.players), 0);
    resetCount.assign(static_cast<size_t>(o.players), 0);
  } catch (...) {
    restore();
    throw;
  }
}

RaceHarness::~RaceHarness() { restore(); }

void RaceHarness::restore() {
  if (glimro::game == game.get()) glimro::game = nullptr;
  game.reset();
  glimro::raceResources = previousResources_;
  glimro::settings = previousSettings_;
  effects.reset();
  music.reset();
  if (startedAudio_) {
    korvu::audio::cleanUp();
    korvu::audio::enabled = true;
    startedAudio_ = false;
  }
  if (!previousFolder_.empty() && chdir(previousFolder_.c_str()) != 0) previousFolder_.clear();
  // The links go, not what they lead to.
  std::error_code ignored;
  if (!folder.empty()) std::filesystem::remove_all(folder, ignored);
  folder.clear();
}

bool RaceHarness::step() {
  driveAxes();
  const bool running = game->mainLoop(options.frame);
  ++frames;
  for (size_t i = 0; i < game->players.size(); ++i) {
    if (saysWrongDirection(*game->players[i])) ++wrongDirectionFrames[i];
  }
  return running;
}

void RaceHarness::driveAxes() {
  glimro::RaceResources& r = glimro::raceResources;
  if (autopilot) {
    for (size_t i = 0; i < game->players.size() && i < 2; ++i) {
      const glimro::Glimro* v = game->players[i];
      const Controls c = pilots[i].drive(v->position, v->rotation, v->speed,
                                         v->currentSection != nullptr ? v->currentSection->index : -1,
                                         v->airborneSteps);
      if (c.reset) {
        queue << resets[i];
        ++resetCount[i];
      }
      r.xAxis[i]->value = c.steer;
      r.accelerateAxis[i]->value = c.accelerate;
      r.breakAxis[i]->value = c.brake;
    }
  }
}

bool RaceHarness::runToFinish(long maxFrames) {
  for (long n = 0; n < maxFrames && !game->raceOver; ++n) step();
  return game->raceOver;
}

}  // namespace glimro_harness
