#include <memory>
#include <string>

#include "common/loggroups.h"
#include "ddd/bezier.h"
#include "ddd/pathfollow.h"
#include "debug.h"
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
  FIRST,
  TUNNEL_IN,   // piece 0 "tunnelEx", then tunnel
  TUNNEL,
  TUNNEL_OUT,  // tunnel, the last piece "tunnelEnt"
  SECOND,      // piece 0 and the last piece are the transitions
};

const Vector3D NONE(0, 0, 0);
const Vector3D UP(0, 1, 0);
const Vector3D DOWN(0, -1, 0);
const Vector3D LEANING(0, 1, -1);  // passed as it is, not normalised

struct Curve {
  int group;   // the chain: 1, 2 or 3
  int number;  // within the group
  Vector3D p[4];
  int pieces;
  Road road;
  // The modifier's up correction mode.
  int mode;
  // Wanted up vectors at the ends; NONE leaves them unset.
  Vector3D startUp, endUp;
  float startRoll, endRoll;
};

// In the order the sections are added, which is not one unbroken road: the
// chains s1-1..2, s2-1..11, s1-3..6 and s3-1..14 follow one another.
const Curve CURVES[] = {
    {1, 1, {{0, 0, 0}, {200, 0, 0}, {400, 0, 0}, {600, 50, 0}}, 4, FIRST, 0, NONE, NONE, 0, 0},
    {1, 2, {{600, 50, 0}, {800, 100, 0}, {800, -400, 100}, {600, -400, 100}}, 6, FIRST, 0, UP, DOWN, 0, 0},
    {2, 1, {{1300, 0, 0}, {1400, 0, 0}, {1500, 0, 0}, {1600, 0, 0}}, 2, FIRST, 0, NONE, NONE, 0, 0},
    {2, 2, {{1600, 0, 0}, {1800, 0, 0}, {2000, 0, 200}, {2000, 0, 400}}, 4, FIRST, 0, NONE, UP, 0, 0},
    {2, 3, {{2000, 0, 400}, {2000, 20, 800}, {1700, 40, 1100}, {1300, 60, 1100}}, 8, FIRST, 0, UP, UP, 0, 5},
    {2, 4, {{1300, 60, 1100}, {1000, 80, 1100}, {800, 100, 900}, {800, 120, 600}}, 6, FIRST, 0, UP, UP, 5, 5},
    {2, 5, {{800, 120, 600}, {800, 140, 400}, {1000, 160, 200}, {1200, 180, 200}}, 6, FIRST, 0, UP, UP, 5, 5},
    {2, 6, {{1200, 180, 200}, {1300, 190, 200}, {1400, 200, 200}, {1500, 210, 200}}, 3, FIRST, 0, UP, UP, 5, 8},
    {2, 7, {{1500, 210, 200}, {1600, 220, 200}, {1700, 220, 300}, {1700, 220, 400}}, 3, FIRST, 0, UP, UP, 8, 8},
    {2, 8, {{1700, 220, 400}, {1700, 220, 500}, {1600, 220, 600}, {1400, 165, 600}}, 3, FIRST, 0, UP, UP, 8, 0},
    {2, 9, {{1400, 165, 600}, {1200, 110, 600}, {1000, 55, 800}, {800, 0, 1000}}, 6, FIRST, 1, UP, UP, 0, 0},
    {2, 10, {{800, 0, 1000}, {600, -55, 1200}, {400, -110, 1200}, {400, -170, 900}}, 4, FIRST, 1, UP, UP, 0, 0},
    {2, 11, {{400, -170, 900}, {400, -210, 700}, {400, -210, 500}, {400, -210, 300}}, 4, FIRST, 1, UP, UP, 0, 0},
    {1, 3, {{600, -400, 100}, {400, -400, 100}, {400, -400, -100}, {400, -400, -300}}, 4, FIRST, 0, DOWN, NONE, 0, 0},
    {1, 4, {{400, -400, -300}, {400, -400, -600}, {100, -362.5f, -800}, {-200, -325, -800}}, 6, FIRST, 0, UP, UP, 0, 0},
    {1, 5, {{-200, -325, -800}, {-600, -275, -800}, {-900, -225, -400}, {-900, -145, 0}}, 7, FIRST, 0, UP, UP, 0, 0},
    {1, 6, {{-900, -145, 0}, {-900, -105, 200}, {-700, -55, 400}, {-500, -5, 500}}, 4, FIRST, 0, UP, UP, 0, 0},
    {3, 1, {{-200, 0, 300}, {-200, 0, 500}, {-200, 0, 700}, {-200, 0, 900}}, 4, FIRST, 0, UP, UP, 40, 20},
    {3, 2, {{-200, 0, 900}, {-200, 0, 1100}, {0, 0, 1100}, {200, 0, 1100}}, 4, TUNNEL_IN, 0, UP, UP, 20, 0},
    {3, 3, {{200, 0, 1100}, {400, 0, 1100}, {600, 0, 900}, {600, 0, 700}}, 4, TUNNEL, 0, UP, UP, 0, 0},
    {3, 4, {{600, 0, 700}, {600, 0, 300}, {600, -200, -100}, {600, -200, -500}}, 8, TUNNEL, 0, UP, UP, 0, 0},
    {3, 5, {{600, -200, -500}, {600, -200, -800}, {300, -200, -1000}, {0, -200, -1000}}, 4, TUNNEL_OUT, 0, UP, UP, 0, 0},
    {3, 6, {{0, -200, -1000}, {-200, -200, -1000}, {-400, -200, -1000}, {-600, -200, -1000}}, 4, FIRST, 0, UP, UP, 0, 0},
    {3, 7, {{-600, -200, -1000}, {-700, -200, -1000}, {-700, -200, -900}, {-700, -200, -800}}, 4, FIRST, 0, UP, UP, 0, 0},
    {3, 8, {{-700, -200, -800}, {-700, -200, -700}, {-500, -200, -600}, {-500, -270, -500}}, 4, FIRST, 0, UP, UP, 0, 0},
    {3, 9, {{-500, -270, -500}, {-500, -340, -400}, {-700, -410, -300}, {-800, -410, -300}}, 4, FIRST, 0, UP, LEANING, 0, 0},
    {3, 10, {{-800, -410, -300}, {-900, -410, -300}, {-1100, -341.6f, -400}, {-1200, -273.3f, -500}}, 4, FIRST, 0, LEANING, LEANING, 0, 0},
    {3, 11, {{-1200, -273.3f, -500}, {-1300, -205, -600}, {-1400, -136.6f, -600}, {-1500, -68.3f, -600}}, 4, FIRST, 0, LEANING, UP, 0, 0},
    {3, 12, {{-1500, -68.3f, -600}, {-1600, 0, -600}, {-1750, 0, -500}, {-1800, 0, -400}}, 4, FIRST, 0, UP, UP, 0, 0},
    {3, 13, {{-1800, 0, -400}, {-1900, 0, -200}, {-1800, 0, 0}, {-1600, 0, 0}}, 4, FIRST, 0, NONE, NONE, 0, 0},
    {3, 14, {{-1600, 0, 0}, {-1100, 0, 0}, {-500, 0, 0}, {0, 0, 0}}, 6, SECOND, 0, NONE, NONE, 0, 0},
};
const int CURVE_COUNT = sizeof CURVES / sizeof CURVES[0];

struct Decoration {
  bool sign;
  Vector3D position;
  float degrees;  // about +y; 0 leaves it unturned
};
const Decoration DECORATIONS[] = {
    {true, {-100, 70, 700}, -90},   {false, {800, 80, -200}, -45}, {false, {950, 80, -200}, 0},
    {false, {800, 80, 200}, -135}, {false, {950, 80, 200}, 180},
};

}  // namespace

void Track03::load() {
  // The road leaves s1-1 over a ramp for s2-1; s1-2 (sections 4 to 9) is
  // not on the driven route.
  junctions = {{3, 10}, {58, 62}};
  std::unique_ptr<BezierCurve> curves[CURVE_COUNT];
  for (int k = 0; k < CURVE_COUNT; ++k) {
    const Curve& c = CURVES[k];
    curves[k].reset(new BezierCurve(c.p[0], c.p[1], c.p[2], c.p[3], 20));
  }

  TrackBuilder builder(*this, models());
  korvu::ddd::Model* tribune = builder.model("tribune");
  korvu::ddd::Model* sign = builder.model("sign");
  const RoadKinds roads = builder.roads();

  init(korvu::Vector2D(SIZE, SIZE));
  std::unique_ptr<PathFollowModifier> modifier(new PathFollowModifier(curves[0].get(), CURVES[0].mode));
  modifier->init(10);

  for (const Decoration& d : DECORATIONS) builder.addScenery(d.sign ? sign : tribune, d.position, d.degrees);
  builder.addStartPortal(*curves[0], *modifier);

  for (int k = 0; k < CURVE_COUNT; ++k) {
    const Curve& c = CURVES[k];
    if (c.group == 2 && (c.number == 4 || c.number == 5)) {
      korvu::debug::info(DBG_CORE, "~s2-%d-------------------", c.number);
    }
    if (k > 0) {
      modifier.reset(new PathFollowModifier(curves[k].get(), c.mode));
      if (c.group == 1 && c.number == 3) modifier->setPathUp(UP);
      if (c.startUp != NONE) modifier->setStartUp(c.startUp);
      if (c.endUp != NONE) modifier->setEndUp(c.endUp);
      modifier->setStartRoll(c.startRoll);
      modifier->setEndRoll(c.endRoll);
      modifier->init(10);
    }
    const std::string prefix = "s" + std::to_string(c.group) + "tracksection" + std::to_string(c.number);
    // The second road type's pieces are not asked for their view position
    // every frame.
    const bool viewPos = c.road != SECOND;
    for (int i = 0; i < c.pieces; ++i) {
      const bool first = i == 0, last = i == c.pieces - 1;
      const RoadKind* kind = &roads.plain;
      switch (c.road) {
        case FIRST: break;
        case TUNNEL_IN: kind = first ? &roads.tunnelStart : &roads.tunnel; break;
        case TUNNEL: kind = &roads.tunnel; break;
        case TUNNEL_OUT: kind = last ? &roads.tunnelEnd : &roads.tunnel; break;
        case SECOND: kind = first ? &roads.toSecond : last ? &roads.backToPlain : &roads.second; break;
      }
      builder.addPiece(*curves[k], *modifier, *kind, i, c.pieces, 0.0, prefix, prefix + "Col", viewPos);
    }
  }
}

}  // namespace glimro
