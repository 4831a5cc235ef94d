// Surface description of a mesh: four colours for the fixed-function
// lighting model, a shininess, an optional texture and the transparency
// flag. Applying it sets that OpenGL state, directly or from a display list.
#pragma once

#include <string>

#include "bank.h"
#include "ddd/displaylist.h"
#include "mathtypes.h"

namespace korvu {

class Image;
class ImageBank;

namespace xml { class Node; }

namespace ddd {

// Its ListState records what apply sets.
class Material : public ListState {
 public:
  // The bank holding the material, null when none.
  MappedBank<Material>* bank;
  // Key in the bank.
  std::string name;
  // Texture image, owned by an image bank; null for an untextured surface.
  const Image* texture;
  // Ambient reflectance, also used as the current colour.
  Color ambient;
  // Diffuse reflectance; its alpha decides transparency.
  Color diffuse;
  Color specular;
  Color emissive;
  // Specular exponent, handed to OpenGL unchanged.
  float shininess;
  // Set by prepare: the diffuse alpha is neither 0 nor 1.
  bool transparent;

  Material();
  Material(const std::string& name, const Image* texture, const Color& ambient,
           const Color& diffuse, const Color& specular, const Color& emissive,
           float shininess);
  ~Material();
  Material(const Material&) = delete;
  Material& operator=(const Material&) = delete;

  void apply();
  // Records the display list now without executing it.
  void compile();
  void uncompile();
  void prepare();
};

// Opaque white, untextured; meshes without a material of their own use it.
extern Material defMaterial;

// Reads the "material" children of a materials root into the bank. Texture
// images are created in (or taken from) the image bank when one is given;
// their file names are the texture path followed by the attribute value.
void readMaterials(MappedBank<Material>& bank, const xml::Node* root,
                   ImageBank* images, const std::string& texturePath);

}  // namespace ddd
}  // namespace korvu
