// What the collision queries accept: a shape (a bounding sphere, and for a
// mesh collideable a prepared collision model) tied to a place. A
// collideable does not copy its owner's position and rotation but points to
// them, so it always stands where its owner stands.
#pragma once

#include <cstdint>

#include "ddd/bounding.h"
#include "ddd/modelobject.h"
#include "mathtypes.h"

namespace korvu {
namespace ddd {

class CollisionModel;
class Model;

enum CollideableType {
  COLLIDEABLE_NONE = 0,
  COLLIDEABLE_SPHERE = 1,
  COLLIDEABLE_MESH = 2,
};

class Collideable {
 public:
  // Where the collideable stands in world space; not owned (unless it was
  // made in place of a null pointer).
  Vector3D* position;
  // The owner's rotation, local to world; not owned (same exception).
  Matrix3D* rotation;
  // The inverse of rotation, world to local; not owned (same exception).
  Matrix3D* inverseRotation;
  // The shape of a mesh collideable; not owned; null for a sphere.
  CollisionModel* model;
  // Owned; centre in local coordinates; may be null.
  BoundingSphere* sphere;
  // A CollideableType: 0 none, 1 sphere, 2 mesh.
  int32_t type;

  // A collideable at the origin, unrotated, with a place of its own; its
  // sphere is the model's sphere about the model's origin. The bool has no
  // effect.
  Collideable(CollisionModel* model, bool flag, int type);
  // Placed by the given pointers (null ones are replaced by a zero vector
  // or an identity matrix of its own); sphere as above.
  Collideable(CollisionModel* model, Vector3D* position, Matrix3D* rotation,
              Matrix3D* inverseRotation, bool flag, int type);
  // Without a collision model: a copy of the given sphere's centre and
  // radius (no sphere when null), placed as above.
  Collideable(const BoundingSphere* sphere, Vector3D* position, Matrix3D* rotation,
              Matrix3D* inverseRotation, int type);
  // Deletes the sphere and whatever it made in place of null pointers;
  // never what it was given.
  virtual ~Collideable();
  Collideable(const Collideable&) = delete;
  Collideable& operator=(const Collideable&) = delete;

  // rotation applied to the sphere's centre, plus position.
  Vector3D worldCenter() const;
  // rotation applied to the sphere's centre.
  Vector3D rotatedCenter() const;

 protected:
  // The shape only; the place is set with setPlace (for objects whose
  // place fields are not built yet).
  Collideable(CollisionModel* model, BoundingSphere* ownedSphere, int type);
  // Points the collideable at the given place; null ones are substituted.
  void setPlace(Vector3D* position, Matrix3D* rotation, Matrix3D* inverseRotation);

 private:
  bool ownsPosition_ = false;
  bool ownsRotation_ = false;
  bool ownsInverseRotation_ = false;
};

// A scene model object that is at the same time a collideable placed by
// the object's own position and rotation: moving or turning the object
// moves the collideable.
class CollideableModelObject : public Collideable, public ModelObject {
 public:
  // The scene object's fields; the collideable's pointers refer to them
  // (reach those as Collideable::position and so on).
  using ModelObject::inverseRotation;
  using ModelObject::position;
  using ModelObject::rotation;

  // A mesh collideable (type 2 whatever the int) showing model (which may
  // be null and set later with setModel).
  CollideableModelObject(CollisionModel* collisionModel, Model* model, int flag);
  // A collideable with a copy of the given sphere and the given type.
  CollideableModelObject(BoundingSphere* sphere, Model* model, int type);
  ~CollideableModelObject() override;
};

}  // namespace ddd
}  // namespace korvu
