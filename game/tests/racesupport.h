// A race's surroundings for tests, without the game's resource set: the
// real vehicle, rocket, track, lamp and sky assets, the listed sounds with
// audio switched off, emitters, the game's render contexts, a trigger
// queue with the players' axes, and a working folder whose "resources"
// lead to the repository's. It fills glimro::raceResources and
// the settings a race reads, and puts everything back when it goes.
#pragma once

#include <string>

#include "racebanks.h"
#include "race/raceresources.h"
#include "shell/settings.h"

namespace glimro_test {

class RaceWorld : public glimro_harness::RaceBanks {
 public:
  // The working folder while the world lives.
  std::string folder;

  // With `textures` the images are loaded (needs a current GL context).
  explicit RaceWorld(bool textures = false);
  ~RaceWorld();
  RaceWorld(const RaceWorld&) = delete;
  RaceWorld& operator=(const RaceWorld&) = delete;

 private:
  std::string previousFolder_;
  glimro::RaceResources previousResources_;
  glimro::Settings previousSettings_;
  bool startedAudio_ = false;
};

}  // namespace glimro_test
