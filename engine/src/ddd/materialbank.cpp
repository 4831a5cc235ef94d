#include "ddd/materialbank.h"

#include <memory>

#include "xml.h"

namespace korvu {
namespace ddd {

void MaterialBank::load(const std::string& fileName, ImageBank* images, const std::string& texturePath) {
  std::unique_ptr<xml::Node> root(xml::loadXML(fileName.c_str()));
  if (root && root->name == "materials") getFromNode(root.get(), images, texturePath);
}

void MaterialBank::getFromNode(const xml::Node* root, ImageBank* images, const std::string& texturePath) {
  readMaterials(*this, root, images, texturePath);
}

void MaterialBank::compileAll() { forEach(&Material::compile); }

void MaterialBank::recompileAll() {
  for (auto& entry : *this) {
    if (entry.second) entry.second->recompile = true;
  }
}

void MaterialBank::uncompileAll() { forEach(&Material::uncompile); }

void MaterialBank::prepare() { forEach(&Material::prepare); }

}  // namespace ddd
}  // namespace korvu
