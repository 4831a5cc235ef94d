// Driving by sight: where the road lies ahead in a player's chase-camera
// view, read from the window's pixels, and a driver that holds the
// accelerate key and steers with the arrow keys to keep the road centred.
#pragma once

#include <string>

#include "session.h"

namespace glimro_e2e {

// A player's view: the columns [x, x + width) of the window.
struct ViewColumns {
  int x = 0;
  int width = 0;
};

// The road's centre ahead as a fraction of the view's half width, negative
// to the left; `seen` false when no road lies in the rows looked at, or
// none right before the vehicle's nose.
struct RoadSight {
  bool seen = false;
  float offset = 0.0f;
};

// Asphalt, kerbs and lane marks count as road; the sky, the sea and the fog
// are blue and the stands' concrete is plain grey.
bool isRoad(const uint8_t* rgb);
RoadSight lookAhead(const Frame& frame, const ViewColumns& view);

// The heads-up font's pale yellow; white clouds and the sun's glare are not.
bool isHudText(const uint8_t* rgb);
// At least `lines` rows of yellow heads-up text (two: the timers and the
// lap line) in the rectangle.
bool hasHudText(const Frame& frame, int left, int top, int width, int height, int lines = 2);
// A message in the band below a view's timers, where the race tells the
// player about a finished lap, whose ink spans the width that the heads-up
// font prints its text (printedWidth) within a few pixels.
bool raceMessageShown(const Frame& frame, const ViewColumns& view, int width);

// The keys of one player.
struct PlayerKeys {
  std::string accelerate, brake, left, right, reset;
};
extern const PlayerKeys PLAYER1_KEYS;
extern const PlayerKeys PLAYER2_KEYS;

// Accelerates and steers by sight until `done` says so or the timeout
// passes; resets the vehicle onto the road when the road has been out of
// sight for a while. Releases every key it pressed. True when `done` ended it.
template <typename Done>
bool driveUntil(GameSession& session, const ViewColumns& view, const PlayerKeys& keys, double timeoutSeconds,
                Done done);

// One player's keys, pressed and released frame by frame after what the
// view shows (the loop above; two of them drive a two-player race).
class Steering {
 public:
  Steering(GameSession& session, const PlayerKeys& keys) : session(session), keys(keys) {}
  ~Steering();
  void start();
  void follow(const RoadSight& sight);
  // Puts the vehicle back on the road when the player's view has stood
  // still for some seconds: caught against a wall it sees road ahead but
  // goes nowhere, and a player would reset it.
  void watch(const Frame& frame, const ViewColumns& view);

 private:
  void hold(int direction);
  void throttle(bool on);
  GameSession& session;
  PlayerKeys keys;
  int held = 0;  // -1 left, +1 right, 0 neither
  bool accelerating = false;
  Clock::time_point lastSeen, started, lastLook, lastMoved;
  Frame still;  // the view when it last moved
};

template <typename Done>
bool driveUntil(GameSession& session, const ViewColumns& view, const PlayerKeys& keys, double timeoutSeconds,
                Done done) {
  Steering steering(session, keys);
  steering.start();
  const Clock::time_point start = Clock::now();
  while (secondsSince(start) < timeoutSeconds) {
    const Frame frame = session.grab();
    if (frame.empty() || done(frame)) return !frame.empty();
    steering.follow(lookAhead(frame, view));
    steering.watch(frame, view);
  }
  return false;
}

}  // namespace glimro_e2e
