#include "ddd/modelbank.h"

#include <memory>

#include "ddd/collisionmodel.h"
#include "ddd/milkshape.h"
#include "debug.h"
#include "xml.h"

namespace korvu {
namespace ddd {

void ModelBank::load(const std::string& fileName, MaterialBank* materials, ImageBank* images,
                     std::string texturePath) {
  std::unique_ptr<xml::Node> root(xml::loadXML(fileName.c_str()));
  if (root && root->name == "models") getFromNode(root.get(), materials, images, texturePath);
}

void ModelBank::getFromNode(const xml::Node* root, MaterialBank* materials, ImageBank* images,
                            std::string texturePath) {
  if (!root) return;
  const int total = static_cast<int>(root->children.size());
  int number = 0;
  for (const xml::Node* child : root->children) {
    ++number;
    debug::debug(dbgDdd, "Node #%d of %d.", number, total);
    if (child->name != "milkshapemodel") {
      debug::warning(dbgDdd, "Unknown node name \"%s\".", child->name.c_str());
      continue;
    }

    const std::string name = xml::entryName(*child, dbgDdd, "model");
    const std::string* fileName = xml::entryFile(*child, dbgDdd, "model", name);
    if (!fileName) continue;

    debug::debug(dbgDdd, "Loading milkshape model \"%s\".", name.c_str());
    std::unique_ptr<MilkshapeModel> loaded(new MilkshapeModel());
    loaded->name = name;
    try {
      loaded->load(fileName->c_str(), materials, images, texturePath);
    } catch (const std::string& message) {
      // The half-made model goes with the unique pointer; it was never in
      // the bank.
      debug::error(dbgDdd, "%s", message.c_str());
      continue;
    }
    debug::debug(dbgDdd, "Model loaded.");

    loaded->drawAsOne = child->getAttributeBool("drawAsOne", loaded->drawAsOne);
    if (const std::string* buffer = child->getAttribute("buffer")) {
      if (*buffer == "software") {
        loaded->bufferType = BUFFER_SOFTWARE;
      } else if (*buffer == "hardware") {
        loaded->bufferType = BUFFER_HARDWARE;
      }
    }
    debug::debug(dbgDdd, "Buffer setings read.");

    std::unique_ptr<Model> model(std::move(loaded));
    if (child->getAttributeBool("collision", false)) {
      debug::debug(dbgDdd, "Collision model requested...");
      std::unique_ptr<Model> collision(new CollisionModel(*model, false));
      collision->name = name;
      model = std::move(collision);
      debug::debug(dbgCore, "converted %s to collisionModel", name.c_str());
    }

    debug::debug(dbgDdd, "%s->drawAsOne=%s.", name.c_str(), model->drawAsOne ? "true" : "false");
    debug::debug(dbgDdd, "Loaded model \"%s\".", name.c_str());
    *this += model.release();
    debug::debug(dbgDdd, "That was node #%d of %d.", number, total);
  }
}

void ModelBank::prepare() {
  for (auto& entry : *this) {
    debug::debug(dbgDdd, "Will now prepare model \"%s\"...", entry.first.c_str());
    if (!entry.second) {
      debug::error(dbgDdd, "Dead model bank entry detected: \"%s\"!", entry.first.c_str());
      continue;
    }
    debug::debug(dbgDdd, "Yes, model \"%s\"...", entry.second->name.c_str());
    entry.second->prepare();
  }
}

void ModelBank::compileAll() { forEach(&Model::compile); }

void ModelBank::recompileAll() {
  for (auto& entry : *this) {
    Model* model = entry.second;
    if (!model) continue;
    if (model->drawAsOne) {
      model->recompile = true;
    } else {
      for (Mesh* mesh : model->meshes) mesh->recompile = true;
    }
  }
}

void ModelBank::uncompileAll() { forEach(&Model::uncompile); }

void ModelBank::packAll() { forEach(&Model::pack); }

void ModelBank::unpackAll() { forEach(&Model::unpack); }

}  // namespace ddd
}  // namespace korvu
