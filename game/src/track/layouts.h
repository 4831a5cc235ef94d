// The three built-in tracks. Each is built in code from its Bezier curves
// when a race loads it; they differ from the base only in load().
#pragma once

#include "track/track.h"

namespace glimro {

// A flat closed circuit of four curves, 40 sections, with four tribunes.
class ShortTrack : public Track {
 public:
  void load() override;
};

// A long circuit of 23 curves, 179 sections, climbing to 250, with tunnels
// and a stretch of the second road type; no scenery.
class AlternateTrack : public Track {
 public:
  void load() override;
};

// 31 curves, 142 sections in three chains, banked and looping, with a
// tunnel, a stretch of the second road type, a sign and four tribunes.
class Track03 : public Track {
 public:
  void load() override;
};

// The layout of a track number, named: 1 "track_alternate", 2 "track_03",
// every other number "track_short", and titled as the menus name it. The
// caller owns it.
Track* createTrack(int number);

}  // namespace glimro
