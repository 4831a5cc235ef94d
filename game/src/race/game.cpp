#include "race/game.h"

#include <cstdio>

#include "common/loggroups.h"
#include "ddd/camera.h"
#include "ddd/cube.h"
#include "ddd/light.h"
#include "ddd/material.h"
#include "ddd/materialbank.h"
#include "ddd/mesh.h"
#include "ddd/model.h"
#include "ddd/modelbank.h"
#include "ddd/particles.h"
#include "debug.h"
#include "audio/emitter.h"
#include "race/glimro.h"
#include "gui/gui.h"
#include "image.h"
#include "track/layouts.h"
#include "race/raceresources.h"
#include "rendercontext.h"
#include "race/rocket.h"
#include "race/settings.h"
#include "audio/source.h"

namespace glimro {

const char* const RACE_MUSIC = "resources/sounds/ingame.ogg";

Game* game = nullptr;

using korvu::Color;
using korvu::Vector3D;

namespace {

// Lamp materials of the start lights per state: red, yellow and green lamp.
const char* const LAMPS_OFF[3] = {"redLightOff", "yellowLightOff", "greenLightOff"};
const char* const LAMPS_RED[3] = {"redLightOn", "yellowLightOff", "greenLightOff"};
const char* const LAMPS_RED_YELLOW[3] = {"redLightOn", "yellowLightOn", "greenLightOff"};
const char* const LAMPS_GO[3] = {"greenLightOn", "greenLightOn", "greenLightOn"};

const char* const* lampsOf(int n) {
  if (n >= 3) return LAMPS_OFF;
  if (n == 2) return LAMPS_RED;
  if (n == 1) return LAMPS_RED_YELLOW;
  return LAMPS_GO;
}

struct Weather {
  Color fog, ambient, clear, sunAmbient, sunDiffuse, sunSpecular;
  Vector3D sunPosition;
  float flareSize;
  const char* sky;
};

const Weather DAY = {Color(0, 0, 0.3f, 0),       Color(0.7f, 0.7f, 0.7f, 0.7f), Color(0, 0, 0.5f, 0),
                     Color(0.5f, 0.5f, 0.5f, 1), Color(0.5f, 0.5f, 0.5f, 1),    Color(1, 1, 1, 1),
                     Vector3D(-1000000.0f, 220000.0f, -500000.0f), 0.025f,
                     "resources/textures/skybox/day.xml"};
const Weather NIGHT = {Color(0, 0, 0.05f, 0),          Color(0.01f, 0.01f, 0.02f, 1.0f), Color(0, 0, 0.05f, 0),
                       Color(0.05f, 0.05f, 0.1f, 1),   Color(0.05f, 0.05f, 0.1f, 1),     Color(0.05f, 0.05f, 0.1f, 1),
                       Vector3D(0.0f, 500000.0f, -3000000.0f), 0.0f,
                       "resources/textures/skybox/night.xml"};

const char* const SKYBOX_PATH = "resources/textures/skybox/";

// Sky material names and the cube sides they go on, in the order they are
// set.
const std::pair<const char*, korvu::ddd::CubeFace> SKY_SIDES[6] = {
    {"front", korvu::ddd::CUBE_FRONT}, {"back", korvu::ddd::CUBE_BACK},  {"left", korvu::ddd::CUBE_LEFT},
    {"right", korvu::ddd::CUBE_RIGHT}, {"top", korvu::ddd::CUBE_TOP},    {"bottom", korvu::ddd::CUBE_BOTTOM}};

struct Grid {
  Vector3D base;
  float heading;
};

// Refuses a race whose resources are incomplete, before anything is built,
// with a message naming the first thing missing.
void checkResources(size_t players, unsigned count, const std::vector<PlayerProfile*>& profiles) {
  if (players > 2) throw std::string("A race has at most two players.");
  if (count < players) throw std::string("A race needs a vehicle for every player.");
  for (const PlayerProfile* p : profiles)
    if (!p) throw std::string("A race needs a profile for every player.");
  if (!raceResources) throw std::string("The race has no resources to race with.");
  const RaceResources& r = *raceResources;
  if (!r.modelBank || !r.materialBank || !r.soundBank || !r.textureBank || !r.skyboxTextureBank ||
      !r.skyboxMaterialBank || !r.controlQueue) {
    throw std::string("The race's resources are not set up.");
  }
  if (!r.effectsEmitter || !r.musicEmitter) throw std::string("The race needs the effects and the music emitter.");
  r.requireCollisionModel("glimroCollision");
  for (const char* name : {"glimro", "glimroShadow", "rocketLauncher", "rocket"}) r.requireModel(name);
  if (r.requireModel("startLights")->meshCount < 3)
    throw std::string("The model \"startLights\" needs three lamps (meshes).");
  for (const char* const* lamps : {LAMPS_OFF, LAMPS_RED_YELLOW, LAMPS_GO})
    for (int i = 0; i < 3; ++i) r.requireMaterial(lamps[i]);
  r.requireSound("engine");
  r.requireSound("beep");
}

}  // namespace

Game::Game(const char* /*name*/, std::vector<PlayerProfile*> profiles, unsigned count, bool night_)
    : world(nullptr),
      sun(nullptr),
      track(nullptr),
      raceOver(false),
      leave(false),
      night(night_),
      viewDistance(0.0f),
      countdown(4),
      countdownTimer(0.0f),
      clock(0.0),
      stepClock(0.0),
      startClock(0.0),
      stepShare(1.0f),
      skybox(nullptr),
      meshes(0),
      faces(0),
      playersRacing(0) {
  try {
    checkResources(profiles.size(), count, profiles);

    korvu::debug::debug(DBG_CORE, "Creating track.");
    world = new korvu::ddd::Object();
    track = createTrack(settings.track);
    // Every layout shares the grid rule; the short track has its own base
    // point and heading.
    const bool shortTrack = dynamic_cast<ShortTrack*>(track) != nullptr;
    const Grid grid = shortTrack ? Grid{Vector3D(460.0f, 12.0f, -660.0f), -45.0f}
                                 : Grid{Vector3D(-50.0f, 12.0f, 0.0f), 90.0f};
    track->modelBank = raceResources->modelBank;
    // The world's first child; the vehicles follow in grid order. Each part
    // joins the world as soon as it exists, so a failure further on
    // releases it with the world.
    *world += track;

    korvu::debug::debug(DBG_CORE, "Loading track.");
    korvu::debug::info(DBG_CORE, "Loading track.");
    loadTrack();
    if (track->sections.empty()) throw std::string("The track has no road sections.");

    korvu::debug::info(DBG_CORE, "Creating glimros.");
    korvu::debug::debug(DBG_CORE, "Creating glimros.");
    const size_t n = profiles.size();
    vehicles.reserve(count);
    for (unsigned i = 0; i < count; ++i) {
      korvu::debug::debug(DBG_GAME, "Creating %s glimro.", i < n ? "player" : "non-player");
      Glimro* vehicle = new Glimro(i < n);
      *world += vehicle;
      vehicles.push_back(vehicle);
      ranking.push_back(vehicle);
    }
    korvu::Matrix3D heading, inverse;
    heading.setRotate(grid.heading, Vector3D(0.0f, 1.0f, 0.0f));
    inverse.setRotate(-grid.heading, Vector3D(0.0f, 1.0f, 0.0f));
    for (unsigned i = 0; i < count; ++i) {
      Glimro* vehicle = vehicles[i];
      vehicle->init();
      vehicle->rotation = heading;
      vehicle->inverseRotation = inverse;
      Vector3D offset(i % 2 == 0 ? -11.0f : 11.0f, 0.0f, -20.0f * static_cast<float>(i));
      vehicle->position = grid.base + heading * offset;
      vehicle->setHasMoved(true);
      vehicle->lastPose = vehicle->pose();
      vehicle->currentSection = vehicle->previousSection = track->sections.back();
    }

    korvu::debug::debug(DBG_CORE, "Creating players.");
    players.reserve(n);
    viewports.reserve(n);
    for (size_t j = 0; j < n; ++j) {
      Glimro* vehicle = vehicles[j];
      players.push_back(vehicle);
      vehicle->profile = profiles[j];
      const unsigned w = static_cast<unsigned>(settings.resX) / static_cast<unsigned>(n);
      viewports.emplace_back(static_cast<float>((n - 1 - j) * w), 0.0f, static_cast<float>(w),
                             static_cast<float>(settings.resY));
      vehicle->messages.rectangle =
          korvu::Rect(50.0f, static_cast<float>(settings.resY) - 150.0f, static_cast<float>(w) - 100.0f, 20.0f);
      const float aspect = viewports.back().width / viewports.back().height;
      for (korvu::ddd::Camera* camera : vehicle->cameras) camera->aspect = aspect;
      ++playersRacing;
    }

    korvu::debug::debug(DBG_CORE, "Creating sun.");
    sun = new korvu::ddd::Light();
    *world += sun;
    sun->castsShadows = true;
    sun->glPosition[0] = -0.1f;
    sun->glPosition[1] = 1.0f;
    sun->glPosition[2] = 0.1f;
    sun->glPosition[3] = 0.0f;

    skybox = new korvu::ddd::Cube(10.0f, &korvu::ddd::defMaterial);
    skybox->drawAsOne = true;
    setWeather(night);
    world->skybox = skybox;
    world->skyboxClockwise = true;
    setStartLights(countdown);

    if (settings.compileModels) {
      raceResources->materialBank->compileAll();
      raceResources->modelBank->compileAll();
      skybox->compile();
    }
  } catch (const std::string& message) {
    korvu::debug::error(DBG_GAME, "Cannot set up the race: %s", message.c_str());
    release();
    throw;
  } catch (...) {
    release();
    throw;
  }
}

Game::~Game() { release(); }

void Game::release() {
  for (korvu::ddd::SimpleParticleEngine* engine : particleEngines) delete engine;
  particleEngines.clear();
  for (Rocket* rocket : rockets) delete rocket;
  rockets.clear();
  delete track;
  track = nullptr;
  if (world) world->skybox = nullptr;
  delete skybox;
  skybox = nullptr;
  delete world;
  world = nullptr;
  sun = nullptr;
  // The sky's materials and pictures serve this race alone: the menus never
  // show them and the next race's weather loads its own. Kept, they would
  // hold their textures through the menus after every race.
  if (raceResources->skyboxMaterialBank) raceResources->skyboxMaterialBank->clear();
  if (raceResources->skyboxTextureBank) raceResources->skyboxTextureBank->clear();
  viewports.clear();
  players.clear();
  vehicles.clear();
  ranking.clear();
}

void Game::loadTrack() {
  korvu::debug::debug(DBG_GAME, "Loading track stats...");
  track->loadStats();
  korvu::debug::debug(DBG_GAME, "Loading track...");
  track->load();
  korvu::debug::debug(DBG_GAME, "Preparing models...");
  raceResources->modelBank->prepare();
  korvu::debug::debug(DBG_GAME, "Done loading tracks.");
}

void Game::playerHasFinished() {
  if (--playersRacing != 0) return;
  raceOver = true;
  korvu::gui::GUI* gui = raceResources->gui;
  // The table shows what another copy of the game saved while this race ran,
  // also when the race was left before the line.
  track->mergeStatsOnFile();
  track->writeRecordsToGui("lTR_", gui);
  // A panel the GUI description lacks is passed over.
  if (gui) {
    if (korvu::gui::Component* menu = (*gui)["pGameMenu"]) menu->visible = false;
    if (korvu::gui::Component* over = (*gui)["pRaceOver"]) over->visible = true;
    gui->active = true;
    gui->visible = true;
  }
  for (Glimro* player : players) player->locked = true;
}

void Game::setStartLights(int n) {
  korvu::ddd::Model* lights = raceResources->model("startLights");
  if (n <= 2) {
    korvu::audio::SimpleSource* beep = new korvu::audio::SimpleSource();
    *beep += raceResources->sound("beep");
    *raceResources->effectsEmitter += beep;
    beep->gain = 1.0f;
    beep->pitch = static_cast<float>(1.0 - 0.2 * n);
    beep->rolloff = 0.0f;
    beep->apply();
    beep->play();
  }
  // Music is no precondition of the race: with audio off the stream opens
  // no file, and one that cannot be read leaves the race without music.
  if (n == 0) {
    try {
      korvu::audio::OggStreamSource* music = new korvu::audio::OggStreamSource(RACE_MUSIC, 2, 262144);
      *raceResources->musicEmitter += music;
      music->rolloff = 0.0f;
      music->pitch = 1.0f;
      music->loop = true;
      music->apply();
      music->play();
    } catch (const std::string& message) {
      korvu::debug::warning(DBG_GAME, "The race runs without music: %s", message.c_str());
    }
  }
  if (lights && lights->meshCount >= 3) {
    const char* const* lamps = lampsOf(n);
    for (int i = 0; i < 3; ++i) lights->meshes[i]->material = raceResources->material(lamps[i]);
    // A whole-model list holds the old lamps: record it again (without
    // drawing it in the middle of the step).
    if (lights->drawAsOne && lights->displayList != 0) lights->compile();
  }
  korvu::debug::debug(DBG_GAME, "Countdown: %d.", n);
}

void Game::setWeather(bool night_) {
  const Weather& w = night_ ? NIGHT : DAY;
  // The sides point into the bank that is about to be emptied.
  for (const auto& side : SKY_SIDES) skybox->setMaterial(side.second, nullptr);
  raceResources->skyboxTextureBank->clear();
  raceResources->skyboxMaterialBank->clear();
  try {
    raceResources->skyboxMaterialBank->load(w.sky, raceResources->skyboxTextureBank, SKYBOX_PATH);
  } catch (const std::string& message) {
    std::fprintf(stderr, "Error loading materials: \"%s\"\n", message.c_str());
    std::fflush(stderr);
  }

  korvu::RenderContext3D& context = raceResources->renderContext3D;
  context.fogStart = settings.fogStart;
  context.fogEnd = settings.viewDistance;
  context.fogColor = w.fog;
  context.ambient = w.ambient;
  korvu::setClearColor(w.clear.red, w.clear.green, w.clear.blue, w.clear.alpha);

  sun->ambient = w.sunAmbient;
  sun->diffuse = w.sunDiffuse;
  sun->specular = w.sunSpecular;
  sun->position = w.sunPosition;
  sun->flareSize = w.flareSize;
  sun->setHasMoved(true);
  viewDistance = settings.viewDistance;

  // A sky image that cannot be loaded leaves its side untextured; the race
  // goes on.
  try {
    raceResources->skyboxTextureBank->refresh();
  } catch (const std::string& message) {
    korvu::debug::error(DBG_GAME, "Could not load the sky's images: %s", message.c_str());
  }
  raceResources->skyboxMaterialBank->prepare();

  for (const auto& side : SKY_SIDES) {
    auto found = raceResources->skyboxMaterialBank->find(side.first);
    skybox->setMaterial(side.second,
                        found == raceResources->skyboxMaterialBank->end() ? nullptr : found->second);
  }
  skybox->pack();
  // A recorded sky still holds the old sides.
  if (skybox->displayList != 0) skybox->compile();
  night = night_;
}

}  // namespace glimro
