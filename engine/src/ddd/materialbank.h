// The bank of materials with its file reader and the bulk operations that
// the render switches use.
#pragma once

#include <string>

#include "bank.h"
#include "ddd/material.h"

namespace korvu {

class ImageBank;

namespace xml { class Node; }

namespace ddd {

class MaterialBank : public MappedBank<Material> {
 public:
  MaterialBank() = default;
  ~MaterialBank() override = default;

  // Reads a materials file; another root element is ignored silently.
  // Throws the XML layer's message when the file cannot be read.
  void load(const std::string& fileName, ImageBank* images, const std::string& texturePath);
  // Adds one material per "material" child of the root.
  void getFromNode(const xml::Node* root, ImageBank* images, const std::string& texturePath);

  // Records every material's display list now, without executing it.
  void compileAll();
  // Marks every material to be recorded again at its next apply.
  void recompileAll();
  void uncompileAll();
  // Sets every material's transparency flag.
  void prepare();
};

}  // namespace ddd
}  // namespace korvu
