// The steps every track layout is built from: looking up its models, the
// start portal with its lights and their emitter, scenery, and road pieces
// cut from a Bezier curve, each a section made of bent copies of a road
// model and its collision model. The bent copies go into the model bank,
// which owns them; what is added to the track, the track owns.
#pragma once

#include <string>

#include "mathtypes.h"

namespace korvu {
namespace ddd {
class BezierCurve;
class CollisionModel;
class Model;
class ModelBank;
class PathFollowModifier;
}  // namespace ddd
}  // namespace korvu

namespace glimro {

class Track;

// A road model and the model its collision model is copied from.
struct RoadKind {
  korvu::ddd::Model* model = nullptr;
  korvu::ddd::Model* collision = nullptr;
};

// The road kinds of the long tracks: the plain and the second road type,
// the transitions between them, and the tunnel with its two ends.
struct RoadKinds {
  RoadKind plain, second, toSecond, backToPlain, tunnel, tunnelStart, tunnelEnd;
};

class TrackBuilder {
 public:
  TrackBuilder(Track& track, korvu::ddd::ModelBank& bank);

  // The bank's model of that name; throws a message naming it when the
  // bank has none.
  korvu::ddd::Model* model(const std::string& name) const;
  // Both models of a road kind, looked up as model() does.
  RoadKind road(const std::string& model, const std::string& collision) const;
  // Every kind of RoadKinds, looked up as road() does.
  RoadKinds roads() const;

  // The start portal at the curve's start, turned as the modifier's frame
  // at 0, with the two start lights and the lights' emitter hung on it.
  void addStartPortal(const korvu::ddd::BezierCurve& curve, const korvu::ddd::PathFollowModifier& modifier);
  // A model object turned about +y by degrees (0: unturned), placed and
  // added to the track as culled scenery.
  void addScenery(korvu::ddd::Model* model, korvu::Vector3D position, float degrees);

  // Piece i of a curve cut into n: bent copies over [i/n, (i+1)/n + widen]
  // named prefix and collisionPrefix followed by i as "%8x", placed at the
  // curve's point of i/n and turned as the modifier's frame there, then
  // appended to the track's sections.
  void addPiece(const korvu::ddd::BezierCurve& curve, const korvu::ddd::PathFollowModifier& modifier,
                         const RoadKind& kind, int i, int n, double widen, const std::string& prefix,
                         const std::string& collisionPrefix, bool needsViewPos);

 private:
  Track& track;
  korvu::ddd::ModelBank& bank;
};

// Road models are modelled along their local -z with +y up.
extern const korvu::Vector3D ROAD_AXIS;
extern const korvu::Vector3D ROAD_UP;

}  // namespace glimro
