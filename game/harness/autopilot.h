// A simple driver for races without players at the keys: it follows the
// road's centre line along the track's driven route and keeps a speed the
// bends ahead allow. It only writes what a player's axes would hold
// (steering, accelerate, brake); the race's own step does the driving.
#pragma once

#include <vector>

#include "mathtypes.h"
#include "track/sectiontracking.h"

namespace glimro {
class Track;
}

namespace glimro_harness {

// The centre line through the start of every section in route order, with
// the end of a section where the road breaks off and goes on elsewhere (a
// jump or a drop).
class RoadLine {
 public:
  struct Point {
    korvu::Vector3D position;
    // Unit direction of the road and its up vector at this point.
    korvu::Vector3D direction;
    korvu::Vector3D up;
    // Distance along the line from the first point.
    float distance;
    // Radians per unit that the road turns about its up vector on the way
    // to the next point.
    float turn;
    // The way to the next point is through the air, taken at this speed
    // (units per 50 ms).
    bool jump;
    float jumpSpeed;
  };
  std::vector<Point> points;
  // The track's driven order; point p is the start of section route.section(p).
  glimro::SectionRoute route;
  // The length of one lap.
  float length = 0.0f;

  RoadLine(const glimro::Track& track, const glimro::SectionRoute& route);

  // The point at a distance along the line (wrapping round the lap).
  korvu::Vector3D at(float distance) const;
  // The place whose stretch is nearest to the position, searched among
  // `window` places forward and back from `hint`; the distance along the
  // line of the nearest point and how far the position lies from it.
  int nearest(const korvu::Vector3D& position, int hint, int window, float& along, float& off) const;

 private:
  // After a take-off that crosses the road ahead at an angle, the line
  // goes straight to where the flight meets the road.
  void land();
};

// What the autopilot asks of the vehicle, as axis values.
struct Controls {
  float steer = 0.0f;  // the steering axis: -1 full right turn .. +1
  float accelerate = 0.0f;
  float brake = 0.0f;
  // Fire the reset trigger: the vehicle has left the road for good.
  bool reset = false;
};

class Autopilot {
 public:
  explicit Autopilot(const RoadLine& line);

  // The controls for a vehicle at `position` turned by `rotation` (its
  // forward axis local +z), going at `speed` (units per 50 ms), whose race
  // sees it over section `section` (-1: not known).
  Controls drive(const korvu::Vector3D& position, const korvu::Matrix3D& rotation, double speed,
                 int section, int airborneSteps);
  // The speed (units per 50 ms) that the road ahead of a place allows to a
  // vehicle going at `speed`.
  float allowedSpeed(int at, double speed) const;

  // Where the autopilot last found the vehicle: a place on the line, -1
  // before the first call.
  int place = -1;

  // How far from the centre line the vehicle was at the last call.
  float offLine() const { return off_; }

 private:
  const RoadLine& line_;
  float off_ = 0.0f;
};

}  // namespace glimro_harness
