#include "racesupport.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include "audio/audio.h"
#include "ddd/collisionmodel.h"
#include "ddd/material.h"
#include "ddd/mesh.h"
#include "audio/emitter.h"
#include "race/game.h"
#include "test_geometry.h"
#include "testsupport.h"

namespace glimro_test {

using korvu::Color;
using korvu::Vector3D;
using korvu::ddd::CollisionModel;
using korvu::ddd::Material;
using korvu::ddd::Model;

namespace {

void put(korvu::ddd::ModelBank& bank, Model* model, const std::string& name) {
  model->name = name;
  bank += model;
}

// A road strip 40 wide along -z from 0 to -100, cut so that it bends.
std::unique_ptr<Model> road() {
  std::vector<Vector3D> v;
  std::vector<korvu_test::Triangle> t;
  for (int r = 0; r <= 4; ++r)
    for (float x : {-20.0f, 0.0f, 20.0f}) v.push_back({x, 0, -25.0f * r});
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 2; ++c) {
      const int a = r * 3 + c, b = a + 1, d = a + 3, e = d + 1;
      t.push_back({a, b, d});
      t.push_back({b, e, d});
    }
  return korvu_test::makeModel(v, t);
}

// Every track's models as small stand-ins, painted grey; the start lights
// are a box of three meshes, one per lamp.
void addStandInTrack(korvu::ddd::ModelBank& bank, Material* paint) {
  auto painted = [paint](std::unique_ptr<Model> m) {
    for (korvu::ddd::Mesh* mesh : m->meshes) mesh->material = paint;
    return m.release();
  };
  for (const char* kind : {"tracksection", "tracksect02", "transition0201", "transition0102", "tunnel",
                           "tunnelEnt", "tunnelEx"}) {
    put(bank, painted(road()), kind);
    const std::string k = kind;
    const bool shortName = k == "tracksect02" || k.rfind("transition", 0) == 0;
    put(bank, new CollisionModel(*road(), false), k + (shortName ? "Col" : "Collision"));
  }
  put(bank, painted(korvu_test::makeBox({-2, 0, -2}, {2, 30, 2})), "sign");
  put(bank, painted(korvu_test::makeBox({-50, 0, -5}, {-40, 80, 5})), "startPortal");
  put(bank, new CollisionModel(*korvu_test::makeBox({-50, 0, -5}, {-40, 80, 5}), false), "startPortalCollision");
  put(bank, painted(korvu_test::makeBox({-30, 0, -10}, {30, 20, 10})), "tribune");
  std::unique_ptr<Model> box = korvu_test::makeBox({-5, -5, -1}, {5, 5, 1});
  std::vector<Vector3D> v(box->vertices.begin(), box->vertices.end());
  std::vector<korvu_test::Triangle> t;
  for (korvu::ddd::Face* f : box->faces) t.push_back({f->vertex[0], f->vertex[1], f->vertex[2]});
  put(bank, painted(korvu_test::makeModel(v, t, 4)), "startLights");
}

void link(const std::string& target, const std::string& path) {
  if (symlink(target.c_str(), path.c_str()) != 0) ADD_FAILURE() << "cannot link " << path;
}

}  // namespace

RaceWorld::RaceWorld(bool loadTextures) {
  previousResources_ = glimro::raceResources;
  previousSettings_ = glimro::settings;
  if (!korvu::audio::context) {
    korvu::audio::enabled = false;
    korvu::audio::init("", 44100);
    startedAudio_ = true;
  }

  // A folder of its own whose resources are the repository's, so that the
  // race's record file lands here.
  char buffer[PATH_MAX];
  if (getcwd(buffer, sizeof buffer)) previousFolder_ = buffer;
  folder = korvu_test::makeTempDir();
  const std::string source = korvu_test::sourceDir() + "/resources";
  mkdir((folder + "/resources").c_str(), 0755);
  mkdir((folder + "/resources/sounds").c_str(), 0755);
  link(source + "/textures", folder + "/resources/textures");
  link(source + "/models", folder + "/resources/models");
  struct stat info;
  if (stat((source + "/sounds/ingame.ogg").c_str(), &info) == 0) {
    link(source + "/sounds/ingame.ogg", folder + "/resources/sounds/" + "ingame.ogg");
  } else {
    korvu_test::writeFile(folder + "/resources/sounds/ingame.ogg", "");
  }
  EXPECT_EQ(chdir(folder.c_str()), 0);

  // The shared materials list exists once some tool adds to it.
  if (stat((source + "/materials.xml").c_str(), &info) == 0)
    materials.load(source + "/materials.xml", &textures, "resources/textures/");
  models.load(source + "/models.xml", &materials, &textures, "resources/textures/");
  realTrack = models.count("tracksection") > 0;
  if (!realTrack) {
    Material* paint = new Material("standInPaint", nullptr, Color(0.25f, 0.25f, 0.27f, 1),
                                   Color(0.5f, 0.5f, 0.52f, 1), Color(0, 0, 0, 1), Color(0, 0, 0, 1), 0);
    materials += paint;
    addStandInTrack(models, paint);
  }
  const std::pair<const char*, Color> lamps[6] = {
      {"redLightOff", Color(0.3f, 0, 0, 1)},   {"redLightOn", Color(1, 0, 0, 1)},
      {"yellowLightOff", Color(0.3f, 0.3f, 0, 1)}, {"yellowLightOn", Color(1, 1, 0, 1)},
      {"greenLightOff", Color(0, 0.3f, 0, 1)}, {"greenLightOn", Color(0, 1, 0, 1)}};
  for (const auto& [name, colour] : lamps) {
    if (materials.count(name)) continue;
    materials += new Material(name, nullptr, colour, colour, Color(0, 0, 0, 1), colour, 0);
  }
  materials.prepare();
  if (stat((source + "/sounds.xml").c_str(), &info) == 0) sounds.load(source + "/sounds.xml");
  for (const char* name : {"engine", "beep"}) {
    if (sounds.count(name)) continue;
    korvu::audio::Sound* s = new korvu::audio::OggSound();
    s->name = name;
    sounds += s;
  }
  if (loadTextures) {
    EXPECT_NO_THROW(textures.refresh());
  }

  install();
  addAxes();
  glimro::settings = glimro::Settings();
  glimro::settings.compileModels = false;
}

RaceWorld::~RaceWorld() {
  glimro::raceResources = previousResources_;
  glimro::settings = previousSettings_;
  effects.reset();
  music.reset();
  if (startedAudio_) {
    korvu::audio::cleanUp();
    korvu::audio::enabled = true;
  }
  if (!previousFolder_.empty() && chdir(previousFolder_.c_str()) != 0) ADD_FAILURE() << "cannot go back";
}

}  // namespace glimro_test
