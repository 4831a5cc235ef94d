#include "track/layouts.h"

namespace glimro {

Track* createTrack(int number) {
  Track* track;
  switch (number) {
    case 1:
      track = new AlternateTrack();
      track->name = "track_alternate";
      break;
    case 2:
      track = new Track03();
      track->name = "track_03";
      break;
    default:
      track = new ShortTrack();
      track->name = "track_short";
      break;
  }
  return track;
}

}  // namespace glimro
