// Draws a two-player race on the start grid at 1024x768 through the race's
// own draw path, with the game's resources and default render settings
// (compiled models, shadows, lens flares, culled views), and prints frames
// per second. Run from the repository root (the resources are read from
// there) under an X server:
//
//   bench_race_frame [frames] [track number] [night]
#include <SDL.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "audio/audio.h"
#include "ddd/camera.h"
#include "ddd/settings.h"
#include "race/game.h"
#include "race/glimro.h"
#include "korvu.h"
#include "shell/playerprofile.h"
#include "racebanks.h"
#include "shell/settings.h"
#include "track/track.h"

namespace {

using Clock = std::chrono::steady_clock;

const int WIDTH = 1024;
const int HEIGHT = 768;

// The banks and objects a race reads, loaded as the game's start-up loads
// them, with audio off.
struct Resources : glimro_harness::RaceBanks {
  Resources() {
    textures.maxFilter = korvu::IMAGEFILTER_TRILINEAR;
    skyTextures.maxFilter = korvu::IMAGEFILTER_TRILINEAR;
    // The models bring most materials; the shared list may not exist.
    if (FILE* list = std::fopen("resources/materials.xml", "r")) {
      std::fclose(list);
      materials.load("resources/materials.xml", &textures, "resources/textures/");
    }
    models.load("resources/models.xml", &materials, &textures, "resources/textures/");
    materials.prepare();
    sounds.load("resources/sounds.xml");
    textures.refresh();

    context3D.fogDensity = 0.5f;
    context3D.perspectiveHint = context3D.pointSmoothHint = context3D.polygonSmoothHint = 5;
    context2D.blending = true;
    install();
  }
};

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::atoi(argv[1]) : 300;
  glimro::settings.track = argc > 2 ? std::atoi(argv[2]) : 0;
  const bool night = argc > 3 && std::string(argv[3]) == "night";
  glimro::settings.resX = WIDTH;
  glimro::settings.resY = HEIGHT;
  try {
    korvu::init(SDL_INIT_VIDEO, false);
    korvu::initScreen(WIDTH, HEIGHT, 32, false);
    korvu::ddd::init();
    korvu::audio::enabled = false;
    korvu::audio::init("", 44100);

    std::unique_ptr<Resources> resources(new Resources());
    glimro::PlayerProfile one, two;
    one.name = "one";
    two.name = "two";
    const Clock::time_point setUp = Clock::now();
    std::unique_ptr<glimro::Game> game(new glimro::Game("bench", {&one, &two}, 2, night));
    const double setUpMs = std::chrono::duration<double, std::milli>(Clock::now() - setUp).count();
    game->cullViews();

    // One frame to record the display lists, then the timed ones.
    korvu::clearScreen();
    game->draw(0.0f);
    korvu::flipScreen();
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < frames; ++i) {
      korvu::clearScreen();
      game->draw(0.0f);
      korvu::flipScreen();
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("track %s, %s, two players at %dx%d: %d frames in %.3f s, %.1f frames per second "
                "(%d meshes, %d faces per frame; race set-up %.0f ms)\n",
                game->track->name.c_str(), night ? "night" : "day", WIDTH, HEIGHT, frames, seconds,
                frames / seconds, game->meshes, game->faces, setUpMs);
    game.reset();
    resources.reset();
    korvu::audio::cleanUp();
  } catch (const std::string& message) {
    std::fprintf(stderr, "bench_race_frame: %s\n", message.c_str());
    return 1;
  }
  SDL_Quit();
  return 0;
}
