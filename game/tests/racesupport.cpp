#include "racesupport.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include "audio/audio.h"
#include "audio/emitter.h"
#include "race/game.h"
#include "testsupport.h"

namespace glimro_test {

namespace {

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
  link(source + "/sounds/ingame.ogg", folder + "/resources/sounds/ingame.ogg");
  EXPECT_EQ(chdir(folder.c_str()), 0);

  materials.load(source + "/materials.xml", &textures, "resources/textures/");
  models.load(source + "/models.xml", &materials, &textures, "resources/textures/");
  materials.prepare();
  sounds.load(source + "/sounds.xml");
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
