#include <memory>

#include "ddd/bezier.h"
#include "ddd/pathfollow.h"
#include "track/layouts.h"
#include "track/trackbuilder.h"

namespace glimro {

namespace {

using korvu::Vector3D;
using korvu::ddd::BezierCurve;
using korvu::ddd::PathFollowModifier;

const float SIZE = 3000.0f;
const int PIECES = 10;

const Vector3D CURVES[][4] = {
    {{400, 0, -600}, {0, 0, -200}, {600, 0, 0}, {0, 0, 200}},
    {{0, 0, 200}, {-600, 0, 400}, {-300, 0, -100}, {0, 0, -500}},
    {{0, 0, -500}, {300, 0, -900}, {-100, 0, -1400}, {550, 0, -1400}},
    {{550, 0, -1400}, {1200, 0, -1400}, {800, 0, -1000}, {400, 0, -600}},
};

struct Tribune {
  Vector3D position;
  float degrees;
};
const Tribune TRIBUNES[] = {
    {{-80, 20, 20}, 0}, {{100, 20, -50}, 90}, {{400, 20, -1200}, 180}, {{-80, 20, 20}, 270}};

}  // namespace

void ShortTrack::load() {
  TrackBuilder builder(*this, models());
  korvu::ddd::Model* tribune = builder.model("tribune");
  const RoadKind plain = builder.road("tracksection", "tracksectionCollision");

  std::unique_ptr<BezierCurve> curves[4];
  for (int k = 0; k < 4; ++k) {
    curves[k].reset(new BezierCurve(CURVES[k][0], CURVES[k][1], CURVES[k][2], CURVES[k][3], 20));
  }
  std::unique_ptr<PathFollowModifier> modifier(new PathFollowModifier(curves[0].get(), 1));
  modifier->init(10);

  init(korvu::Vector2D(SIZE, SIZE));
  builder.addStartPortal(*curves[0], *modifier);
  for (const Tribune& t : TRIBUNES) builder.addScenery(tribune, t.position, t.degrees);

  for (int k = 0; k < 4; ++k) {
    if (k > 0) {
      modifier.reset(new PathFollowModifier(curves[k].get(), 1));
      modifier->init(10);
    }
    const std::string prefix = "tracksection" + std::to_string(k + 1);
    for (int i = 0; i < PIECES; ++i) {
      builder.addPiece(*curves[k], *modifier, plain, i, PIECES, 0.0, prefix, prefix + "Col", true);
    }
  }
}

}  // namespace glimro
