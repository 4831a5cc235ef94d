// The bank of models with its models-file reader and the bulk operations
// that the render switches use. It holds Milkshape3D models and, for entries
// marked for collision, collision models made from them.
#pragma once

#include <string>

#include "bank.h"
#include "ddd/model.h"

namespace korvu {

class ImageBank;

namespace xml { class Node; }

namespace ddd {

class MaterialBank;

class ModelBank : public MappedBank<Model> {
 public:
  ModelBank() = default;
  ~ModelBank() override = default;

  // Reads a models file (root "models"); another root is ignored silently.
  // Throws the XML layer's message when the file cannot be read.
  void load(const std::string& fileName, MaterialBank* materials, ImageBank* images,
            std::string texturePath);
  // Adds one model per "milkshapemodel" child of the root. A bad entry or a
  // model file that fails to load is logged and skipped; the others are
  // still read.
  void getFromNode(const xml::Node* root, MaterialBank* materials, ImageBank* images,
                   std::string texturePath);

  // Runs every model's prepare (collision models build their collision
  // data there); entries without a model are reported and skipped.
  void prepare();
  // The bulk operations visit the models in name order and skip entries
  // without a model.
  void compileAll();
  void recompileAll();
  void uncompileAll();
  void packAll();
  void unpackAll();
};

}  // namespace ddd
}  // namespace korvu
