// Small stand-ins for the models a track layout looks up, for tests that
// build tracks without the game's assets. Each road kind has its own number
// of vertices across, so a bent piece tells which kind it was made from.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ddd/collisionmodel.h"
#include "ddd/modelbank.h"
#include "test_geometry.h"

namespace standins {

using korvu::Vector3D;

// Vertices across the road of each kind.
const int PLAIN = 3, SECOND = 4, TO_SECOND = 5, TO_PLAIN = 6, TUNNEL = 7, TUNNEL_START = 8, TUNNEL_END = 9;

// A road strip 40 wide along -z from 0 to -100, `columns` vertices across,
// cut in four along its length so that it bends. Vertex row r, column c is
// r * columns + c; row 4 is the far end.
inline std::unique_ptr<korvu::ddd::Model> makeRoad(int columns) {
  std::vector<Vector3D> v;
  std::vector<korvu_test::Triangle> t;
  for (int r = 0; r <= 4; ++r) {
    for (int c = 0; c < columns; ++c) v.push_back({-20.0f + 40.0f * c / (columns - 1), 0, -25.0f * r});
  }
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c + 1 < columns; ++c) {
      int a = r * columns + c, b = a + 1, d = a + columns, e = d + 1;
      t.push_back({a, b, d});
      t.push_back({b, e, d});
    }
  }
  return korvu_test::makeModel(v, t);
}

// The far end of a road piece's centre line: the middle of its last row.
inline Vector3D farCentre(const korvu::ddd::Model& road) {
  const int columns = static_cast<int>(road.vertices.size()) / 5;
  return (road.vertices[4 * columns] + road.vertices[5 * columns - 1]) * 0.5f;
}

inline int kindOf(const korvu::ddd::Model& road) { return static_cast<int>(road.vertices.size()) / 5; }

inline void put(korvu::ddd::ModelBank& bank, korvu::ddd::Model* model, const std::string& name) {
  model->name = name;
  bank += model;
}

// Every model the three layouts look up.
inline void fill(korvu::ddd::ModelBank& bank) {
  using korvu_test::makeBox;
  const struct { const char* model; const char* collision; int columns; } roads[] = {
      {"tracksection", "tracksectionCollision", PLAIN},   {"tracksect02", "tracksect02Col", SECOND},
      {"transition0102", "transition0102Col", TO_SECOND}, {"transition0201", "transition0201Col", TO_PLAIN},
      {"tunnel", "tunnelCollision", TUNNEL},              {"tunnelEx", "tunnelExCollision", TUNNEL_START},
      {"tunnelEnt", "tunnelEntCollision", TUNNEL_END}};
  for (const auto& r : roads) {
    put(bank, makeRoad(r.columns).release(), r.model);
    put(bank, makeRoad(r.columns).release(), r.collision);
  }
  put(bank, makeBox({-50, 0, -5}, {50, 80, 5}).release(), "startPortal");
  put(bank, new korvu::ddd::CollisionModel(*makeBox({-50, 0, -5}, {50, 80, 5}), false), "startPortalCollision");
  put(bank, makeBox({-5, -5, -1}, {5, 5, 1}).release(), "startLights");
  put(bank, makeBox({-30, 0, -10}, {30, 20, 10}).release(), "tribune");
  put(bank, makeBox({-10, 0, -1}, {10, 10, 1}).release(), "sign");
}

}  // namespace standins
