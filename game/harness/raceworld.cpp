#include "raceworld.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>

#include "audio/audio.h"
#include "audio/emitter.h"
#include "common/triggers.h"

namespace glimro_harness {

namespace {

void makeFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0755) != 0) throw std::string("Cannot make the folder ") + path;
}

void link(const std::string& target, const std::string& path) {
  if (symlink(target.c_str(), path.c_str()) != 0) throw std::string("Cannot link ") + path;
}

}  // namespace

std::string sourceDir() {
  const char* dir = std::getenv("KORVU_SOURCE_DIR");
  return dir != nullptr && *dir != '\0' ? dir : GLIMRO_SOURCE_DIR;
}

RaceWorld::RaceWorld(bool images) {
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
    glimro::settings = glimro::Settings();
    glimro::settings.compileModels = false;
    glimro::setUpRenderContexts(renderContext2D, renderContext3D, glimro::settings.viewDistance);

    // A folder of its own whose resources are the source tree's, so that
    // record files land here and every race starts with empty tables.
    char pattern[] = "/tmp/glimro-race-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::string("Cannot make a working folder.");
    folder = pattern;
    const std::string source = sourceDir() + "/resources";
    makeFolder(folder + "/resources");
    for (const char* sub : {"textures", "models", "fonts"}) link(source + "/" + sub, folder + "/resources/" + sub);
    // The sounds one by one, so that a test may take one away.
    makeFolder(folder + "/resources/sounds");
    for (const auto& entry : std::filesystem::directory_iterator(source + "/sounds"))
      link(entry.path().string(), folder + "/resources/sounds/" + entry.path().filename().string());
    if (chdir(folder.c_str()) != 0) throw std::string("Cannot enter ") + folder;

    materials.load(source + "/materials.xml", &textures, "resources/textures/");
    models.load(source + "/models.xml", &materials, &textures, "resources/textures/");
    materials.prepare();
    // Only declared: with audio off no sound is decoded.
    sounds.load(source + "/sounds.xml");
    if (images) textures.refresh();

    effects.reset(new korvu::audio::Emitter());
    music.reset(new korvu::audio::Emitter());
    soundBank = &sounds;
    effectsEmitter = effects.get();
    musicEmitter = music.get();
    textureBank = &textures;
    skyboxTextureBank = &skyTextures;
    materialBank = &materials;
    skyboxMaterialBank = &skyMaterials;
    modelBank = &models;
    controlQueue = &queue;
    // The players' axes, as the game's command table registers them.
    for (int i = 0; i < 2; ++i) {
      const std::string p = std::to_string(i + 1);
      xAxis[i] = new korvu::Axis(i == 0 ? glimro::TRG_X1 : glimro::TRG_X2, "x" + p, "", 0, 1);
      accelerateAxis[i] =
          new korvu::Axis(i == 0 ? glimro::TRG_ACCELERATE1 : glimro::TRG_ACCELERATE2, "accelerate" + p, "", 0, 1);
      breakAxis[i] = new korvu::Axis(i == 0 ? glimro::TRG_BREAK1 : glimro::TRG_BREAK2, "break" + p, "", 0, 1);
      queue += xAxis[i];
      queue += accelerateAxis[i];
      queue += breakAxis[i];
    }
    glimro::raceResources = this;
  } catch (...) {
    restore();
    throw;
  }
}

RaceWorld::~RaceWorld() { restore(); }

void RaceWorld::restore() {
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

}  // namespace glimro_harness
