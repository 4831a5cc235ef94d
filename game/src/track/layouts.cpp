#include "track/layouts.h"

namespace glimro {

// The titles are the menus' track items (tools/gui.cpp).
Track* createTrack(int number) {
  Track* track;
  switch (number) {
    case 1:
      track = new AlternateTrack();
      track->name = "track_alternate";
      track->title = "Alternate track";
      break;
    case 2:
      track = new Track03();
      track->name = "track_03";
      track->title = "Track three";
      break;
    default:
      track = new ShortTrack();
      track->name = "track_short";
      track->title = "Short track";
      break;
  }
  return track;
}

}  // namespace glimro
