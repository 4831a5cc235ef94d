#include <memory>
#include <string>

#include "ddd/bezier.h"
#include "ddd/pathfollow.h"
#include "track/layouts.h"
#include "track/trackbuilder.h"

namespace glimro {

namespace {

using korvu::Vector3D;
using korvu::ddd::BezierCurve;
using korvu::ddd::PathFollowModifier;

const float SIZE = 10000.0f;

// How a curve's pieces are chosen.
enum Road {
  PLAIN,
  TUNNEL,         // entered by "tunnelEx", left by "tunnelEnt"
  INTO_SECOND,    // piece 0 the transition, then the second road type
  SECOND,
  OUT_OF_SECOND,  // the second road type, the last piece the transition back
};

struct Curve {
  Vector3D p[4];
  int pieces;
  Road road;
  // Added to each piece's end parameter, so that the bent pieces overlap.
  double widen;
};

const Curve CURVES[] = {
    {{{0, 0, 0}, {200, 0, 0}, {400, 25, 0}, {600, 50, 0}}, 4, PLAIN, 0},
    {{{600, 50, 0}, {800, 75, 0}, {1000, 150, 0}, {1200, 150, 0}}, 4, PLAIN, 0},
    {{{1200, 150, 0}, {1400, 150, 0}, {1600, 150, 200}, {1600, 150, 400}}, 4, PLAIN, 0},
    {{{1600, 150, 400}, {1600, 150, 1000}, {2800, 150, 1000}, {2800, 150, 0}}, 15, TUNNEL, 0.0001},
    {{{2800, 150, 0}, {2800, 150, -1000}, {1900, 150, -1000}, {1300, 150, -700}}, 15, TUNNEL, 0},
    {{{1300, 150, -700}, {900, 150, -500}, {900, 150, -100}, {900, 150, 300}}, 8, PLAIN, 0},
    {{{900, 150, 300}, {900, 150, 600}, {900, 150, 900}, {900, 150, 1200}}, 8, TUNNEL, 0.0005},
    {{{900, 150, 1200}, {900, 150, 1800}, {-500, 150, 1800}, {-500, 150, 1200}}, 12, PLAIN, 0},
    {{{-500, 150, 1200}, {-500, 150, 900}, {-500, 250, 600}, {-500, 250, 300}}, 8, PLAIN, 0},
    {{{-500, 250, 300}, {-500, 250, 0}, {-500, 200, -300}, {-500, 200, -600}}, 10, PLAIN, 0},
    {{{-500, 200, -600}, {-500, 200, -1000}, {400, 200, -1000}, {600, 200, -600}}, 10, PLAIN, 0},
    {{{600, 200, -600}, {800, 200, -200}, {1000, 200, 200}, {1200, 200, 600}}, 6, INTO_SECOND, 0},
    {{{1200, 200, 600}, {1500, 200, 1200}, {3000, 200, 1200}, {3000, 200, 100}}, 9, SECOND, 0},
    {{{3000, 200, 100}, {3000, 200, -1000}, {1900, 200, -1500}, {900, 200, -1500}}, 10, SECOND, 0},
    {{{900, 200, -1500}, {500, 200, -1500}, {100, 200, -1500}, {-300, 200, -1500}}, 4, OUT_OF_SECOND, 0},
    {{{-300, 200, -1500}, {-900, 200, -1500}, {-1400, 200, -1100}, {-1400, 200, -700}}, 10, PLAIN, 0},
    {{{-1400, 200, -700}, {-1400, 200, -400}, {-1400, 200, -100}, {-1400, 200, 200}}, 8, PLAIN, 0},
    {{{-1400, 200, 200}, {-1400, 200, 500}, {-1400, 200, 900}, {-1900, 200, 900}}, 8, PLAIN, 0},
    {{{-1900, 200, 900}, {-2300, 200, 900}, {-2500, 200, 700}, {-2500, 200, 400}}, 8, PLAIN, 0},
    {{{-2500, 200, 400}, {-2500, 200, 100}, {-2200, 200, 0}, {-2000, 200, 0}}, 6, PLAIN, 0},
    {{{-2000, 200, 0}, {-1800, 200, 0}, {-1600, 200, 0}, {-1400, 150, 0}}, 4, PLAIN, 0},
    {{{-1400, 150, 0}, {-1200, 100, 0}, {-1000, 50, 0}, {-800, 25, 0}}, 4, PLAIN, 0},
    {{{-800, 25, 0}, {-600, 0, 0}, {-300, 0, 0}, {0, 0, 0}}, 4, PLAIN, 0},
};
const int CURVE_COUNT = sizeof CURVES / sizeof CURVES[0];

}  // namespace

void AlternateTrack::load() {
  TrackBuilder builder(*this, models());
  const RoadKinds roads = builder.roads();

  std::unique_ptr<BezierCurve> curves[CURVE_COUNT];
  for (int k = 0; k < CURVE_COUNT; ++k) {
    const Curve& c = CURVES[k];
    curves[k].reset(new BezierCurve(c.p[0], c.p[1], c.p[2], c.p[3], 20));
  }
  std::unique_ptr<PathFollowModifier> modifier(new PathFollowModifier(curves[0].get(), 1));
  modifier->init(10);

  init(korvu::Vector2D(SIZE, SIZE));
  builder.addStartPortal(*curves[0], *modifier);

  for (int k = 0; k < CURVE_COUNT; ++k) {
    const Curve& c = CURVES[k];
    if (k > 0) {
      modifier.reset(new PathFollowModifier(curves[k].get(), 1));
      modifier->init(10);
    }
    const std::string prefix = "tracksection" + std::to_string(k + 1);
    // The stretch of the second road type is not asked for its view
    // position every frame.
    const bool viewPos = c.road == PLAIN || c.road == TUNNEL;
    for (int i = 0; i < c.pieces; ++i) {
      const bool first = i == 0, last = i == c.pieces - 1;
      const RoadKind* kind = &roads.plain;
      switch (c.road) {
        case PLAIN: break;
        case TUNNEL: kind = first ? &roads.tunnelStart : last ? &roads.tunnelEnd : &roads.tunnel; break;
        case INTO_SECOND: kind = first ? &roads.toSecond : &roads.second; break;
        case SECOND: kind = &roads.second; break;
        case OUT_OF_SECOND: kind = last ? &roads.backToPlain : &roads.second; break;
      }
      builder.addPiece(*curves[k], *modifier, *kind, i, c.pieces, c.widen, prefix, prefix + "Col", viewPos);
    }
  }
}

}  // namespace glimro
