// A race without a window or players at the keys, in a race world of its
// own (raceworld.h): frames of fixed lengths and an autopilot at every
// player's axes, which drives at every step of the vehicles. Drawing needs
// a current GL context and the harness made with `drawable`.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "autopilot.h"
#include "raceworld.h"

namespace korvu { namespace fonts { class Font; } }

namespace glimro {
class Game;
class PlayerProfile;
}  // namespace glimro

namespace glimro_harness {

struct RaceOptions {
  // 0 short, 1 alternate, 2 third track.
  int track = 0;
  int players = 1;
  int laps = 3;
  // Milliseconds per frame, taken in turn (16, 17, 17 for a 60 Hz screen).
  std::vector<float> frames = {20.0f};
  bool night = false;
  // Load the images and the HUD font (needs a current GL context).
  bool drawable = false;
  int resX = 800;
  int resY = 600;
};

// The options of a race drawn in a window of the given size.
RaceOptions drawnRace(int track, int players, bool night, int width, int height);

class RaceHarness : public RaceWorld {
 public:
  // The heads-up display's font, with `drawable`; also the world's `font`.
  std::unique_ptr<korvu::fonts::Font> hudFont;
  std::vector<std::unique_ptr<glimro::PlayerProfile>> profiles;
  // The race; also glimro::game while the harness lives.
  std::unique_ptr<glimro::Game> game;
  std::unique_ptr<RoadLine> line;
  // One per player; the harness sets the player's axes from it every frame
  // while `autopilot` is on.
  std::vector<Autopilot> pilots;
  bool autopilot = true;
  RaceOptions options;
  // Frames run, and per player the frames in which "Wrong direction!" was
  // among the vehicle's messages.
  long frames = 0;
  std::vector<long> wrongDirectionFrames;
  // Per player the resets the autopilot asked for.
  std::vector<int> resetCount;

  // Builds the race; throws a message when it cannot.
  explicit RaceHarness(const RaceOptions& options);
  ~RaceHarness();
  RaceHarness(const RaceHarness&) = delete;
  RaceHarness& operator=(const RaceHarness&) = delete;

  // One frame of the race; the step's result.
  bool step();
  // The length of the next frame.
  float nextFrame() const;
  // The autopilots' part of a step: every player's axes (and a reset
  // trigger for a vehicle that has left the road).
  void driveAxes();
  // Frames until the race is over or `maxFrames` have run; true when it is
  // over.
  bool runToFinish(long maxFrames);

 private:
  // The players' reset triggers, registered in the queue, and the frame in
  // which each was last fired: the race acts on it in the next frame, and
  // the steps between ask no more.
  korvu::Trigger* resets[2] = {nullptr, nullptr};
  long resetFrames[2] = {-1, -1};
};

}  // namespace glimro_harness
