#include "autopilot.h"

#include <algorithm>
#include <cmath>

#include "track.h"

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
const float TURN_MARGIN = 0.4f;
// Speeds in units per 50 ms: the drive model tops out at 40.
const float TOP_SPEED = 36.0f;
const float LOW_SPEED = 6.0f;
// More than the arc asks for, against the lag of the velocity behind the
// heading.
const float STEER_GAIN = 1.5f;

}  // namespace

RoadLine::RoadLine(const glimro::Track& track, const glimro::SectionRoute& route) : route(route) {
  std::vector<const glimro::TrackSection*> byIndex(track.sections.begin(), track.sections.end());
  for (int p = 0; p < route.length(); ++p) {
    const int s = route.section(p);
    if (s < 0 || s >= static_cast<int>(byIndex.size())) continue;
    const glimro::TrackSection* section = byIndex[static_cast<size_t>(s)];
    Point point;
    point.position = section->position;
    point.direction = unit(turned(section->rotation, Vector3D(0, 0, -1)));
    point.up = unit(turned(section->rotation, Vector3D(0, 1, 0)));
    point.distance = 0.0f;
    point.turn = 0.0f;
    points.push_back(point);
  }
  const size_t n = points.size();
  for (size_t i = 0; i < n; ++i) {
    Point& a = points[i];
    const Point& b = points[(i + 1) % n];
    const float step = (b.position - a.position).length();
    if (i + 1 < n) points[i + 1].distance = a.distance + step;
    else length = a.distance + step;
    // The turn about the road's up vector: the directions seen in the
    // road's plane.
    Vector3D da = a.direction - a.up * dotProduct(a.direction, a.up);
    Vector3D db = b.direction - a.up * dotProduct(b.direction, a.up);
    da.normalize();
    db.normalize();
    const float c = std::max(-1.0f, std::min(1.0f, dotProduct(da, db)));
    a.turn = step > 1e-3f ? std::acos(c) / step : 0.0f;
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

Controls Autopilot::drive(const Vector3D& position, const Matrix3D& rotation, double speed, int section) {
  Controls c;
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
  const Vector3D target = line_.at(along + lookAhead);
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
