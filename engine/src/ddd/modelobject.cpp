#include "ddd/modelobject.h"

#include "ddd/material.h"
#include "ddd/mesh.h"
#include "ddd/model.h"
#include "ddd/pipeline.h"
#include "ddd/settings.h"
#include "ddd/shadowmodel.h"
#include "debug.h"

namespace korvu {
namespace ddd {

ModelObject::ModelObject(Model* model_) : model(nullptr), shadowModel(nullptr) {
  active = true;
  setModel(model_);
}

ModelObject::~ModelObject() { setShadowModel(nullptr); }

void ModelObject::setModel(Model* model_) {
  model = model_;
  if (model && model->transparent) needsViewPos = true;
}

void ModelObject::setShadowModel(Model* source) {
  delete shadowModel;
  shadowModel = nullptr;
  if (!source) return;
  ShadowModel* shadow = new ShadowModel();
  *static_cast<Model*>(shadow) = *source;
  // The volume is built from face normals and adjacency; a source that was
  // never prepared has neither, so the copy derives them itself.
  shadow->prepare();
  shadow->initData();
  shadowModel = shadow;
}

void ModelObject::drawSelf() {}

void ModelObject::buildFrameData() {
  if (!model) return;
  if (!model->drawAsOne) {
    for (Mesh* mesh : model->meshes) {
      Material* material = mesh->material;
      if (material && material->transparent && settings.transparency) {
        if (!needsViewPos) {
          debug::warning(dbgDdd, "Transparent mesh of model \"%s\" has no view pos flag!", model->name.c_str());
          needsViewPos = true;
        }
        pipeline.transparent.push_back(OrderedMeshReference{viewPosition.z, modelview, material, mesh, nullptr});
      } else {
        pipeline.opaque[material].push_back(MeshReference{world, mesh, nullptr});
      }
    }
  } else {
    pipeline.opaque[nullptr].push_back(MeshReference{world, nullptr, model});
  }
  if (shadowModel) {
    pipeline.shadowRefs.push_back(ShadowReference{world, shadowModel, worldPosition});
  }
}

}  // namespace ddd
}  // namespace korvu
