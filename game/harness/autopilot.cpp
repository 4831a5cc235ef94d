#include "autopilot.h"

#include <algorithm>
#include <cmath>

#include "ddd/collisionmodel.h"
#include "track/track.h"

namespace glimro_harness {

using korvu::Matrix3D;
using korvu::Vector3D;

namespace {

Vector3D turned(const Matrix3D& rotation, Vector3D v) {
  // The rotation has no translation, so transforming turns the vector.
  return v.transform(rotation);
}

Vector3D unit(Vector3D v) {
  v.normalize();
  return v;
}

// The steering axis at full lock turns the vehicle 100 degrees a second;
// the autopilot plans with this share of it.
const float TURN_RATE = 1.745329f;  // radians per second
const float TURN_MARGIN = 0.3f;
// Speeds in units per 50 ms: the drive model tops out at 40.
const float TOP_SPEED = 36.0f;
const float LOW_SPEED = 3.0f;
// Seconds a vehicle takes to come down after a take-off from a ramp.
const float FLIGHT_TIME = 0.8f;
// Steps without touching the road after which the vehicle is put back (the
// longest jump takes about sixty).
const int RESET_STEPS = 150;
// How far above the centre line (units, on a road banked upright) the
// autopilot aims.
const float BANK_AIM = 60.0f;
// More than the arc asks for, against the lag of the velocity behind the
// heading.
const float STEER_GAIN = 1.5f;

// A section's drivable surface (its collision model: the road's top, five
// vertices across at every ring) in world space.
std::vector<Vector3D> worldVertices(const glimro::TrackSection& section) {
  std::vector<Vector3D> world;
  const korvu::ddd::CollisionModel* model = section.Collideable::model;
  if (model == nullptr) return world;
  for (Vector3D v : model->vertices) {
    v.transform(section.ModelObject::rotation);
    world.push_back(v + section.ModelObject::position);
  }
  return world;
}

// Where the next section begins at this one's end, the two share the
// vertices of that end.
bool joins(const std::vector<Vector3D>& vertices, const Vector3D& next) {
  for (const Vector3D& v : vertices) {
    if ((v - next).length() < 1.0f) return true;
  }
  return false;
}

// The middle of a section's far end: the vertices that lie farthest along
// the chord from its start to its far end (the end ring stands almost
// across the chord, since a piece bends far less than a right angle).
Vector3D farEnd(const std::vector<Vector3D>& vertices, const Vector3D& start, Vector3D chord) {
  for (int round = 0; round < 2; ++round) {
    float farthest = -1e30f;
    for (const Vector3D& v : vertices) farthest = std::max(farthest, dotProduct(v - start, chord));
    Vector3D sum;
    int n = 0;
    for (const Vector3D& v : vertices) {
      if (dotProduct(v - start, chord) > farthest - 12.0f) {
        sum += v;
        ++n;
      }
    }
    if (n == 0) return start;
    chord = unit(sum / static_cast<float>(n) - start);
    if (round == 1) return sum / static_cast<float>(n);
  }
  return start;
}

}  // namespace

RoadLine::RoadLine(const glimro::Track& track, const glimro::SectionRoute& route) : route(route) {
  std::vector<const glimro::TrackSection*> byIndex(track.sections.begin(), track.sections.end());
  std::vector<const glimro::TrackSection*> driven;
  for (int p = 0; p < route.length(); ++p) {
    const int s = route.section(p);
    if (s >= 0 && s < static_cast<int>(byIndex.size())) driven.push_back(byIndex[static_cast<size_t>(s)]);
  }
  for (size_t k = 0; k < driven.size(); ++k) {
    const glimro::TrackSection* section = driven[k];
    Point point;
    point.position = section->position;
    point.direction = unit(turned(section->rotation, Vector3D(0, 0, -1)));
    point.up = unit(turned(section->rotation, Vector3D(0, 1, 0)));
    point.distance = 0.0f;
    point.turn = 0.0f;
    point.jump = false;
    point.jumpSpeed = TOP_SPEED;
    points.push_back(point);
    // Where the next section does not begin at this one's end, the road
    // leaves the ground: the take-off is a point of its own.
    const glimro::TrackSection* next = driven[(k + 1) % driven.size()];
    const std::vector<Vector3D> vertices = worldVertices(*section);
    if (!vertices.empty() && !joins(vertices, next->ModelObject::position)) {
      Point takeOff = point;
      takeOff.position = farEnd(vertices, point.position, point.direction);
      takeOff.jump = true;
      points.push_back(takeOff);
    }
  }
  land();
  const size_t n = points.size();
  for (size_t i = 0; i < n; ++i) {
    Point& a = points[i];
    const Point& b = points[(i + 1) % n];
    const float step = (b.position - a.position).length();
    if (i + 1 < n) points[i + 1].distance = a.distance + step;
    else length = a.distance + step;
    // The turn about the road's up vector: the directions seen in the
    // road's plane; a jump turns nothing.
    Vector3D da = a.direction - a.up * dotProduct(a.direction, a.up);
    Vector3D db = b.direction - a.up * dotProduct(b.direction, a.up);
    da.normalize();
    db.normalize();
    const float c = std::max(-1.0f, std::min(1.0f, dotProduct(da, db)));
    a.turn = step > 1e-3f && !a.jump ? std::acos(c) / step : 0.0f;
  }
}

void RoadLine::land() {
  for (size_t j = 0; j < points.size(); ++j) {
    if (!points[j].jump) continue;
    // The flight goes on along the take-off's direction; where that crosses
    // the road ahead (seen from above), the vehicle comes down. A road that
    // goes on in the same direction is met head on and needs nothing.
    const Point& takeOff = points[j];
    const float dx = takeOff.direction.x, dz = takeOff.direction.z;
    for (size_t k = j + 1; k + 1 < points.size() && k < j + 6; ++k) {
      const Vector3D a = points[k].position, b = points[k + 1].position;
      const float ex = b.x - a.x, ez = b.z - a.z;
      const float denominator = dx * ez - dz * ex;
      if (std::fabs(denominator) < 1e-3f * std::sqrt(ex * ex + ez * ez)) continue;
      const float wx = a.x - takeOff.position.x, wz = a.z - takeOff.position.z;
      const float along = (wx * ez - wz * ex) / denominator;  // on the flight
      const float t = (wx * dz - wz * dx) / denominator;      // on the road
      if (along <= 0.0f || t < 0.0f || t > 1.0f) continue;
      Point landing = points[k];
      landing.position = a + (b - a) * t;
      landing.jump = false;
      // Crossing the road, the vehicle must come down onto it rather than
      // fly over: about four fifths of a second in the air.
      points[j].jumpSpeed = std::min(TOP_SPEED, along / FLIGHT_TIME / 20.0f);
      points.erase(points.begin() + static_cast<long>(j) + 1, points.begin() + static_cast<long>(k) + 1);
      points.insert(points.begin() + static_cast<long>(j) + 1, landing);
      break;
    }
  }
}

Vector3D RoadLine::at(float distance) const {
  if (points.empty()) return Vector3D();
  float d = std::fmod(distance, length);
  if (d < 0) d += length;
  // Points are few (under two hundred): a binary search for the stretch.
  auto it = std::upper_bound(points.begin(), points.end(), d,
                             [](float v, const Point& p) { return v < p.distance; });
  const size_t i = static_cast<size_t>(std::max<long>(0, (it - points.begin()) - 1));
  const Point& a = points[i];
  const Point& b = points[(i + 1) % points.size()];
  const float next = i + 1 < points.size() ? b.distance : length;
  const float span = next - a.distance;
  const float t = span > 1e-3f ? (d - a.distance) / span : 0.0f;
  return a.position + (b.position - a.position) * t;
}

int RoadLine::nearest(const Vector3D& position, int hint, int window, float& along, float& off) const {
  const int n = static_cast<int>(points.size());
  int best = -1;
  float bestOff = 0.0f;
  for (int k = -window; k <= window; ++k) {
    const int i = ((hint + k) % n + n) % n;
    const Point& a = points[static_cast<size_t>(i)];
    const Point& b = points[static_cast<size_t>((i + 1) % n)];
    const Vector3D ab = b.position - a.position;
    const float span2 = dotProduct(ab, ab);
    float t = span2 > 1e-6f ? dotProduct(position - a.position, ab) / span2 : 0.0f;
    t = std::max(0.0f, std::min(1.0f, t));
    const float d = (position - (a.position + ab * t)).length();
    if (best < 0 || d < bestOff) {
      best = i;
      bestOff = d;
      along = a.distance + std::sqrt(span2) * t;
    }
  }
  off = bestOff;
  return best;
}

Autopilot::Autopilot(const RoadLine& line) : line_(line) {}

float Autopilot::allowedSpeed(int at, double speed) const {
  // Look as far ahead as the vehicle needs to brake from its speed, and at
  // least a few sections.
  const float reach = 250.0f + static_cast<float>(speed) * 20.0f * 0.6f;
  float allowed = TOP_SPEED;
  const int n = static_cast<int>(line_.points.size());
  float ahead = 0.0f;
  for (int k = 0; k < n && ahead < reach; ++k) {
    const RoadLine::Point& p = line_.points[static_cast<size_t>((at + k) % n)];
    // A jump is taken at its own speed, and what lies beyond it is seen to
    // on landing.
    if (p.jump) return std::min(allowed, p.jumpSpeed);
    if (p.turn > 1e-5f) {
      // Units per second that the turn rate can follow, as units per 50 ms.
      const float v = TURN_RATE * TURN_MARGIN / p.turn / 20.0f;
      allowed = std::min(allowed, v);
    }
    const RoadLine::Point& q = line_.points[static_cast<size_t>((at + k + 1) % n)];
    ahead += (q.position - p.position).length();
  }
  return std::max(allowed, LOW_SPEED);
}

Controls Autopilot::drive(const Vector3D& position, const Matrix3D& rotation, double speed, int section,
                          int airborneSteps) {
  Controls c;
  // Falling far off the road: back onto it, as a player would.
  if (airborneSteps > RESET_STEPS) {
    c.reset = true;
    place = -1;
    return c;
  }
  const int n = static_cast<int>(line_.points.size());
  if (n == 0) return c;
  float along = 0.0f, off = 0.0f;
  if (place < 0) {
    const int seed = section >= 0 ? line_.route.place(section) : -1;
    place = line_.nearest(position, seed < 0 ? 0 : seed, seed < 0 ? n : 3, along, off);
  } else {
    place = line_.nearest(position, place, 3, along, off);
    // Far from where it was looked for (after a reset or a fall): search
    // the whole line again.
    if (off > 150.0f) place = line_.nearest(position, place, n, along, off);
  }

  // Pure pursuit: the arc through a point ahead on the line, farther at
  // speed, asks for a turn rate of speed * 2 sin(angle) / distance.
  const float lookAhead = 60.0f + static_cast<float>(speed) * 3.0f;
  Vector3D target = line_.at(along + lookAhead);
  // On a banked road the hover slides the vehicle down the slope: aim
  // above the centre line, the more the steeper the bank.
  const RoadLine::Point& here = line_.points[static_cast<size_t>(place)];
  const Vector3D worldUp(0, 1, 0);
  const Vector3D uphill = worldUp - here.up * dotProduct(here.up, worldUp) -
                          here.direction * dotProduct(here.direction, worldUp);
  target += uphill * BANK_AIM;
  const Vector3D forward = turned(rotation, Vector3D(0, 0, 1));
  const Vector3D side = turned(rotation, Vector3D(1, 0, 0));
  const Vector3D toTarget = target - position;
  const float x = dotProduct(toTarget, side), z = dotProduct(toTarget, forward);
  const float angle = std::atan2(x, z);
  const float distance = std::max(std::sqrt(x * x + z * z), 1.0f);
  // Radians per millisecond, as degrees per 10 ms (the steering's unit); a
  // positive value turns +z towards +x, and the axis holds its negation.
  const float rate = static_cast<float>(speed) / 50.0f * 2.0f * std::sin(angle) / distance;
  float steer = rate * 572.9578f * STEER_GAIN;
  // Standing or crawling, turn towards the line all the same.
  if (speed < LOW_SPEED) steer += angle * 57.29578f / 30.0f;
  c.steer = -std::max(-1.0f, std::min(1.0f, steer));
  off_ = off;

  const float allowed = allowedSpeed(place, speed);
  if (speed < allowed - 1.0) c.accelerate = 1.0f;
  else if (speed > allowed + 2.0) c.brake = 1.0f;
  return c;
}

}  // namespace glimro_harness
