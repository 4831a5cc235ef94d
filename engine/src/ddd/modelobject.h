// A scene node that shows a model, optionally casting a shadow.
#pragma once

#include "ddd/object.h"

namespace korvu {
namespace ddd {

class Model;
class ShadowModel;

class ModelObject : public Object {
 public:
  // Not owned (the model bank owns models).
  Model* model;
  // Owned; null when the object casts no shadow.
  ShadowModel* shadowModel;

  explicit ModelObject(Model* model);
  ~ModelObject() override;

  // Sets the model; a transparent model makes the node ask for its view
  // position.
  void setModel(Model* model);
  // Replaces the shadow model by one built from a copy of the given model
  // (null only removes it).
  void setShadowModel(Model* model);

  void drawSelf() override;
  // Queues the meshes (opaque by material, transparent entries) or the
  // whole model, and the shadow model.
  void buildFrameData() override;
};

}  // namespace ddd
}  // namespace korvu
