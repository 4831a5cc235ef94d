// Times the collision queries of a race step: a vehicle-sized hull swept
// against a bent road piece, a jet sphere against the road, and the ray
// down to the road.
//
//   bench_collision [iterations]
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <array>
#include <algorithm>
#include <memory>
#include <vector>

#include "../engine/tests/test_geometry.h"
#include "ddd/collideable.h"
#include "ddd/collision.h"
#include "ddd/collisionmodel.h"
#include "ddd/model.h"

using korvu::Matrix3D;
using korvu::Vector3D;
using namespace korvu::ddd;

namespace {

using Clock = std::chrono::steady_clock;

// A road piece bent along a quarter circle of radius 80 that climbs 6
// units and banks towards the inside: a cambered deck 14 wide with walls
// on both sides. `segments` cross-sections along the piece.
std::unique_ptr<Model> makeRoad(int segments) {
  // Profile across the road, from the outer wall's top to the inner one's.
  const std::vector<Vector3D> profile = {
      {-8.0f, 1.5f, 0}, {-7.5f, 1.5f, 0}, {-7.0f, 0.0f, 0}, {-5.25f, 0.15f, 0}, {-3.5f, 0.25f, 0},
      {-1.75f, 0.3f, 0}, {0.0f, 0.32f, 0}, {1.75f, 0.3f, 0}, {3.5f, 0.25f, 0}, {5.25f, 0.15f, 0},
      {7.0f, 0.0f, 0}, {7.5f, 1.5f, 0}, {8.0f, 1.5f, 0}};
  const int across = static_cast<int>(profile.size());
  std::vector<Vector3D> v;
  std::vector<std::array<int, 3>> t;
  const float radius = 80.0f;
  for (int s = 0; s <= segments; ++s) {
    float u = static_cast<float>(s) / static_cast<float>(segments);
    float angle = u * 1.5707963f;
    float bank = 0.08f * std::sin(u * 3.1415927f);
    Vector3D out(std::cos(angle), 0, std::sin(angle));
    float height = 6.0f * u * u * (3.0f - 2.0f * u);
    for (const Vector3D& p : profile) {
      float r = radius + p.x;
      float y = p.y + height - p.x * bank;
      v.push_back(Vector3D(out.x * r, y, out.z * r));
    }
  }
  for (int s = 0; s < segments; ++s) {
    for (int k = 0; k + 1 < across; ++k) {
      int a = s * across + k, b = a + 1, c = a + across, d = c + 1;
      t.push_back({a, b, c});
      t.push_back({b, d, c});
    }
  }
  // Face up: the first deck triangle's normal must point up.
  const auto& deck = t[10];  // the first triangle between profile points 5 and 6
  Vector3D n = korvu::crossProduct(v[deck[1]] - v[deck[0]], v[deck[2]] - v[deck[0]]);
  if (n.y < 0) {
    for (auto& tri : t) std::swap(tri[1], tri[2]);
  }
  return korvu_test::makeModel(v, t, 200);
}

// The hull: an ellipsoid 2 wide, 0.8 high and 4 long.
std::unique_ptr<Model> makeHull(int slices, int stacks) {
  return korvu_test::makeEllipsoid(Vector3D(1.0f, 0.4f, 2.0f), slices, stacks);
}

// The road's deck height under a point (by the downward ray).
float deckHeight(const Collideable& road, const Vector3D& above) {
  std::unique_ptr<Intersection> hit(getRayMeshIntersection(above, Vector3D(0, -1, 0), &road));
  if (!hit) return 0.0f;
  float nearest = 1e30f;
  for (SurfaceIntersection* s : hit->surfacesA) {
    if (s->distance > 0 && s->distance < nearest) nearest = s->distance;
  }
  return above.y - nearest;
}

template <typename F>
double microsecondsPer(int iterations, F&& body) {
  Clock::time_point start = Clock::now();
  for (int i = 0; i < iterations; ++i) body(i);
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / iterations;
}

}  // namespace

int main(int argc, char** argv) {
  const int iterations = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;

  std::unique_ptr<Model> roadModel = makeRoad(120);
  std::unique_ptr<Model> hullModel = makeHull(18, 9);
  CollisionModel road(*roadModel, false);
  CollisionModel hull(*hullModel, false);
  Clock::time_point prepStart = Clock::now();
  road.prepare();
  hull.prepare();
  double prepMs = std::chrono::duration<double, std::milli>(Clock::now() - prepStart).count();

  Collideable roadC(&road, false, COLLIDEABLE_MESH);
  Vector3D position;
  Matrix3D rotation, inverse;
  Collideable hullC(&hull, &position, &rotation, &inverse, false, COLLIDEABLE_MESH);
  BoundingSphere jetSphere(Vector3D(), 0.6f);
  Vector3D jetPosition;
  Collideable jet(&jetSphere, &jetPosition, nullptr, nullptr, COLLIDEABLE_SPHERE);

  // Places along the middle of the road, with the deck height under each.
  const int places = 64;
  std::vector<Vector3D> spots;
  std::vector<Vector3D> ahead;
  for (int i = 0; i < places; ++i) {
    float angle = 1.5707963f * (0.1f + 0.8f * static_cast<float>(i) / places);
    Vector3D p(std::cos(angle) * 80.0f, 50.0f, std::sin(angle) * 80.0f);
    p.y = deckHeight(roadC, p);
    spots.push_back(p);
    ahead.push_back(Vector3D(-std::sin(angle), 0, std::cos(angle)));
  }

  // Swept hull: hovering 0.6 over the deck, moving 0.5 ahead and 0.9 down
  // (into the deck: a contact), or 0.5 ahead and 0.1 down (free).
  // Times the sweep from every spot, counting the contacts.
  auto sweepFromSpots = [&](float drop, int& stopped) {
    return microsecondsPer(iterations, [&](int i) {
      const Vector3D& s = spots[static_cast<std::size_t>(i % places)];
      position = Vector3D(s.x, s.y + 0.6f + 0.4f, s.z);
      Vector3D target = position + ahead[static_cast<std::size_t>(i % places)] * 0.5f + Vector3D(0, -drop, 0);
      Collision* c = getMeshCollision(&hullC, &roadC, target);
      if (c) ++stopped;
      delete c;
    });
  };
  int contacts = 0;
  double sweptHit = sweepFromSpots(0.9f, contacts);
  int freeContacts = 0;
  double sweptFree = sweepFromSpots(0.1f, freeContacts);
  // Far from the road: rejected by the bounding spheres.
  double sweptAway = microsecondsPer(iterations, [&](int) {
    position = Vector3D(500, 0, 500);
    delete getMeshCollision(&hullC, &roadC, Vector3D(500.5f, 0, 500));
  });

  int sphereHits = 0;
  double sphere = microsecondsPer(iterations, [&](int i) {
    const Vector3D& s = spots[static_cast<std::size_t>(i % places)];
    jetPosition = Vector3D(s.x, s.y + 0.4f, s.z);
    Intersection* hit = getIntersection(&jet, &roadC);
    if (hit) ++sphereHits;
    delete hit;
  });

  int rayHits = 0;
  double ray = microsecondsPer(iterations, [&](int i) {
    const Vector3D& s = spots[static_cast<std::size_t>(i % places)];
    Intersection* hit = getRayMeshIntersection(Vector3D(s.x, s.y + 1.0f, s.z), Vector3D(0, -1, 0), &roadC);
    if (hit) ++rayHits;
    delete hit;
  });

  std::printf("road: %u faces, %u vertices, %u edges; hull: %u faces, %u vertices, %u edges\n", road.faceCount,
              road.vertexCount, road.edgeCount, hull.faceCount, hull.vertexCount, hull.edgeCount);
  std::printf("prepare both: %.2f ms\n", prepMs);
  std::printf("swept hull into the deck:      %8.2f us/query (%d of %d stopped)\n", sweptHit, contacts, iterations);
  std::printf("swept hull, free move:         %8.2f us/query (%d of %d stopped)\n", sweptFree, freeContacts,
              iterations);
  std::printf("swept hull, far from the road: %8.2f us/query\n", sweptAway);
  std::printf("jet sphere against the road:   %8.2f us/query (%d of %d touching)\n", sphere, sphereHits, iterations);
  std::printf("ray down to the road:          %8.2f us/query (%d of %d hitting)\n", ray, rayHits, iterations);
  return 0;
}
