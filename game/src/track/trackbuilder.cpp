#include "track/trackbuilder.h"

#include <cstdio>

#include "ddd/bezier.h"
#include "ddd/collisionmodel.h"
#include "ddd/emitterobject.h"
#include "ddd/model.h"
#include "ddd/modelbank.h"
#include "ddd/modelobject.h"
#include "ddd/pathfollow.h"
#include "track/track.h"

namespace glimro {

using korvu::Matrix3D;
using korvu::Vector3D;
using korvu::ddd::CollideableModelObject;
using korvu::ddd::CollisionModel;
using korvu::ddd::Model;
using korvu::ddd::ModelObject;

const Vector3D ROAD_AXIS(0.0f, 0.0f, -1.0f);
const Vector3D ROAD_UP(0.0f, 1.0f, 0.0f);

namespace {

// Turns the object by the rotation and keeps its inverse rotation in step.
void turnBy(korvu::ddd::Object& object, const Matrix3D& rotation) {
  object.rotation.multRight(rotation);
  object.inverseRotation.multRight(object.rotation.inverse(object.rotation.determinant()));
}

}  // namespace

TrackBuilder::TrackBuilder(Track& track_, korvu::ddd::ModelBank& bank_) : track(track_), bank(bank_) {}

Model* TrackBuilder::model(const std::string& name) const {
  // find, not operator[]: a lookup must not leave an empty entry behind.
  auto entry = bank.find(name);
  if (entry == bank.end() || !entry->second) throw "The model bank has no model \"" + name + "\" for the track";
  return entry->second;
}

RoadKind TrackBuilder::road(const std::string& modelName, const std::string& collisionName) const {
  RoadKind kind;
  kind.model = model(modelName);
  kind.collision = model(collisionName);
  return kind;
}

RoadKinds TrackBuilder::roads() const {
  RoadKinds kinds;
  kinds.plain = road("tracksection", "tracksectionCollision");
  kinds.second = road("tracksect02", "tracksect02Col");
  kinds.backToPlain = road("transition0201", "transition0201Col");
  kinds.toSecond = road("transition0102", "transition0102Col");
  kinds.tunnel = road("tunnel", "tunnelCollision");
  kinds.tunnelEnd = road("tunnelEnt", "tunnelEntCollision");
  kinds.tunnelStart = road("tunnelEx", "tunnelExCollision");
  return kinds;
}

void TrackBuilder::addStartPortal(const korvu::ddd::BezierCurve& curve,
                                  const korvu::ddd::PathFollowModifier& modifier) {
  Model* portalModel = model("startPortal");
  CollisionModel* portalCollision = dynamic_cast<CollisionModel*>(model("startPortalCollision"));
  if (!portalCollision) throw std::string("The track model \"startPortalCollision\" is not a collision model");
  Model* lights = model("startLights");

  CollideableModelObject* portal = new CollideableModelObject(portalCollision, portalModel, 2);
  turnBy(*portal, modifier.getRotation(ROAD_AXIS, 0.0f));
  portal->position = curve.getVertexAt(0.0f);
  track.addNormalObject(portal);

  for (float x : {-38.0f, 38.0f}) {
    ModelObject* light = new ModelObject(lights);
    light->active = true;
    light->position = Vector3D(x, 68.0f, 1.0f);
    *portal += light;
  }
  korvu::ddd::EmitterObject* emitter = new korvu::ddd::EmitterObject();
  track.startLightEmitter = emitter;
  emitter->active = true;
  emitter->position = Vector3D(0.0f, 20.0f, 1.0f);
  *portal += emitter;
}

void TrackBuilder::addScenery(Model* sceneryModel, Vector3D position, float degrees) {
  ModelObject* object = new ModelObject(sceneryModel);
  object->position = position;
  if (degrees != 0.0f) {
    object->rotation.setRotate(degrees, ROAD_UP);
    object->inverseRotation.setRotate(-degrees, ROAD_UP);
  }
  track += object;
}

void TrackBuilder::addPiece(const korvu::ddd::BezierCurve& curve,
                             const korvu::ddd::PathFollowModifier& modifier, const RoadKind& kind, int i, int n,
                             double widen, const std::string& prefix, const std::string& collisionPrefix,
                             bool needsViewPos) {
  const float t0 = static_cast<float>(i) / static_cast<float>(n);
  const float t1 = widen == 0.0 ? static_cast<float>(i + 1) / static_cast<float>(n)
                                : static_cast<float>(static_cast<double>(i + 1) / n + widen);

  Model* bent = new Model(*kind.model);
  CollisionModel* bentCollision = new CollisionModel(*kind.collision, false);
  modifier.transformModel(bent, ROAD_AXIS, ROAD_UP, t0, t1);
  modifier.transformModel(bentCollision, ROAD_AXIS, ROAD_UP, t0, t1);

  TrackSection* section = new TrackSection(bentCollision, bent);
  section->position = curve.getVertexAt(t0);
  turnBy(*section, modifier.getRotation(ROAD_AXIS, t0));
  if (needsViewPos) section->needsViewPos = true;

  char index[16];
  std::snprintf(index, sizeof index, "%8x", static_cast<unsigned>(i));
  bent->name = prefix + index;
  bank += bent;
  bentCollision->name = collisionPrefix + index;
  bank += bentCollision;

  track += section;
}

}  // namespace glimro
