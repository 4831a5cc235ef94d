#include "ddd/collideable.h"

#include "ddd/collisionmodel.h"

namespace korvu {
namespace ddd {

Collideable::Collideable(CollisionModel* model, bool /*flag*/, int type)
    : Collideable(model, nullptr, nullptr, nullptr, false, type) {}

Collideable::Collideable(CollisionModel* model, Vector3D* position, Matrix3D* rotation,
                         Matrix3D* inverseRotation, bool /*flag*/, int type)
    : Collideable(model, new BoundingSphere(model, true), type) {
  setPlace(position, rotation, inverseRotation);
}

Collideable::Collideable(const BoundingSphere* sphere, Vector3D* position, Matrix3D* rotation,
                         Matrix3D* inverseRotation, int type)
    : Collideable(nullptr, sphere ? new BoundingSphere(sphere->center, sphere->radius) : nullptr,
                  type) {
  setPlace(position, rotation, inverseRotation);
}

Collideable::Collideable(CollisionModel* model, BoundingSphere* ownedSphere, int type)
    : position(nullptr),
      rotation(nullptr),
      inverseRotation(nullptr),
      model(model),
      sphere(ownedSphere),
      type(type) {}

void Collideable::setPlace(Vector3D* newPosition, Matrix3D* newRotation,
                           Matrix3D* newInverseRotation) {
  if (ownsPosition_) delete position;
  if (ownsRotation_) delete rotation;
  if (ownsInverseRotation_) delete inverseRotation;
  ownsPosition_ = !newPosition;
  ownsRotation_ = !newRotation;
  ownsInverseRotation_ = !newInverseRotation;
  position = newPosition ? newPosition : new Vector3D();
  rotation = newRotation ? newRotation : new Matrix3D();
  inverseRotation = newInverseRotation ? newInverseRotation : new Matrix3D();
}

Collideable::~Collideable() {
  delete sphere;
  if (ownsPosition_) delete position;
  if (ownsRotation_) delete rotation;
  if (ownsInverseRotation_) delete inverseRotation;
}

Vector3D Collideable::rotatedCenter() const {
  const Matrix3D& r = *rotation;
  const Vector3D& c = sphere->center;
  return {r.m[0][0] * c.x + r.m[0][1] * c.y + r.m[0][2] * c.z + r.m[0][3],
          r.m[1][0] * c.x + r.m[1][1] * c.y + r.m[1][2] * c.z + r.m[1][3],
          r.m[2][0] * c.x + r.m[2][1] * c.y + r.m[2][2] * c.z + r.m[2][3]};
}

Vector3D Collideable::worldCenter() const { return rotatedCenter() + *position; }

CollideableModelObject::CollideableModelObject(CollisionModel* collisionModel, Model* model,
                                               int /*flag*/)
    : Collideable(collisionModel, new BoundingSphere(collisionModel, true), COLLIDEABLE_MESH),
      ModelObject(model) {
  setPlace(&this->ModelObject::position, &this->ModelObject::rotation,
           &this->ModelObject::inverseRotation);
}

CollideableModelObject::CollideableModelObject(BoundingSphere* sphere, Model* model, int type)
    : Collideable(nullptr, sphere ? new BoundingSphere(sphere->center, sphere->radius) : nullptr,
                  type),
      ModelObject(model) {
  setPlace(&this->ModelObject::position, &this->ModelObject::rotation,
           &this->ModelObject::inverseRotation);
}

// The model-object part goes first, then the collideable part (which
// deletes the sphere), as the order of the bases gives.
CollideableModelObject::~CollideableModelObject() = default;

}  // namespace ddd
}  // namespace korvu
