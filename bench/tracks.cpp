// Time to build each track from the game's models, as a race set-up does:
// the layout's load() (curves, bent copies of the road pieces, sections),
// then the model bank's preparation (render and collision data of every
// model, the new copies included). Run from the directory that holds
// resources/; no window needed.
//
//   bench_tracks [repetitions]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "ddd/materialbank.h"
#include "ddd/modelbank.h"
#include "image.h"
#include "track/layouts.h"

namespace ddd = korvu::ddd;

namespace {

double milliseconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

  korvu::ImageBank images;
  ddd::MaterialBank materials;
  ddd::ModelBank models;
  try {
    materials.load("resources/materials.xml", &images, "resources/textures/");
    models.load("resources/models.xml", &materials, &images, "resources/textures/");
  } catch (const std::string& message) {
    std::fprintf(stderr, "Cannot read the game's models: %s\n", message.c_str());
    return 1;
  }
  const auto prepareStart = std::chrono::steady_clock::now();
  models.prepare();
  std::printf("models: %zu, first preparation %.1f ms\n", models.size(), milliseconds(prepareStart));

  for (int number = 0; number < 3; ++number) {
    double loadBest = 1e30, prepareBest = 1e30;
    size_t sections = 0;
    std::string name;
    for (int r = 0; r < repetitions; ++r) {
      std::unique_ptr<glimro::Track> track(glimro::createTrack(number));
      track->modelBank = &models;
      name = track->name;
      auto start = std::chrono::steady_clock::now();
      try {
        track->load();
      } catch (const std::string& message) {
        std::fprintf(stderr, "%s: %s\n", name.c_str(), message.c_str());
        break;
      }
      loadBest = std::min(loadBest, milliseconds(start));
      start = std::chrono::steady_clock::now();
      models.prepare();
      prepareBest = std::min(prepareBest, milliseconds(start));
      sections = track->sections.size();
    }
    std::printf("%-16s %3zu sections: load %7.1f ms, bank preparation %7.1f ms (best of %d)\n", name.c_str(),
                sections, loadBest, prepareBest, repetitions);
  }
  return 0;
}
