#include "ddd/material.h"

#include <cstring>

#include "ddd/displaylist.h"
#include "ddd/settings.h"
#include "debug.h"
#include "image.h"
#include "xml.h"

namespace korvu {
namespace ddd {

Material defMaterial("Default", nullptr, Color(1, 1, 1, 1), Color(1, 1, 1, 1), Color(1, 1, 1, 1),
                     Color(1, 1, 1, 1), 0.0f);

Material::Material()
    : bank(nullptr),
      texture(nullptr),
      ambient(0, 0, 0, 0),
      diffuse(0, 0, 0, 0),
      specular(0, 0, 0, 0),
      emissive(0, 0, 0, 0),
      shininess(0.0f),
      transparent(false) {}

Material::Material(const std::string& name_, const Image* texture_, const Color& ambient_, const Color& diffuse_,
                   const Color& specular_, const Color& emissive_, float shininess_)
    : bank(nullptr),
      name(name_),
      texture(texture_),
      ambient(ambient_),
      diffuse(diffuse_),
      specular(specular_),
      emissive(emissive_),
      shininess(shininess_),
      transparent(false) {}

Material::~Material() {
  uncompile();
  if (bank) bank->operator-=(this);
}

void Material::apply() {
  if (replayList(*this)) return;
  ListRecording recording(*this);
  glColor4fv(ambient.rgba());
  glMaterialfv(GL_FRONT, GL_AMBIENT, ambient.rgba());
  glMaterialfv(GL_FRONT, GL_DIFFUSE, diffuse.rgba());
  glMaterialfv(GL_FRONT, GL_SPECULAR, specular.rgba());
  glMaterialfv(GL_FRONT, GL_EMISSION, emissive.rgba());
  glMaterialf(GL_FRONT, GL_SHININESS, shininess);
  if (texture) {
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture->texture);
  } else {
    glDisable(GL_TEXTURE_2D);
  }
  if (recording.close()) debug::debug(dbgDdd, "Compiled material \"%s\".", name.c_str());
}

void Material::compile() {
  compileOnly = true;
  recompile = true;
  apply();
}

void Material::uncompile() {
  if (deleteList(*this)) debug::debug(dbgDdd, "Uncompiled material \"%s\".", name.c_str());
}

void Material::prepare() { transparent = diffuse.alpha != 0.0f && diffuse.alpha != 1.0f; }

namespace {

// Applies the element's explicit "clamp" and "filter" attributes to the image
// (absent ones leave it as it is).
void applyTextureSettings(const xml::Node* element, Image* image) {
  if (element->getAttribute("clamp")) image->clamp = element->getAttributeBool("clamp", image->clamp);
  if (const std::string* filter = element->getAttribute("filter")) {
    for (int i = 0; i < 4; ++i) {
      if (*filter == STR_IMAGEFILTER[i]) image->filter = static_cast<ImageFilter>(i);
    }
  }
}

// The texture image of a material element: the one the bank already holds
// under that name, or a new one added to it.
const Image* textureImage(const xml::Node* element, const std::string& textureName, ImageBank& images,
                          const std::string& texturePath) {
  ImageBank::iterator existing = images.find(textureName);
  if (existing != images.end() && existing->second) {
    // Sharing keeps every material that names this texture pointing at a
    // live image; a second image under the same name would delete the first
    // and leave the earlier materials with a dangling texture. Settings the
    // element gives still count while the image has no texture yet.
    Image* image = existing->second;
    debug::debug(dbgDdd, "Material texture \"%s\" is already in the image bank; sharing it.",
                 textureName.c_str());
    if (image->texture == 0) applyTextureSettings(element, image);
    return image;
  }
  Image* image = new Image(textureName, texturePath + textureName, Vector2D(0, 0));
  applyTextureSettings(element, image);
  images += image;
  return image;
}

}  // namespace

void readMaterials(MappedBank<Material>& bank, const xml::Node* root, ImageBank* images,
                   const std::string& texturePath) {
  if (!root || root->name != "materials") return;
  for (const xml::Node* element : root->children) {
    if (!element || element->name != "material") continue;
    const std::string* name = element->getAttribute("name");
    if (!name) {
      debug::error(dbgImages, "No name specified for material. Skipping entry.");
      continue;
    }
    Material* material = new Material();
    material->name = *name;
    material->shininess = element->getAttributeFloat("shininess", 0.0f);
    for (const xml::Node* child : element->children) {
      if (!child) continue;
      if (child->name == "ambient") {
        material->ambient = Color(child);
      } else if (child->name == "diffuse") {
        material->diffuse = Color(child);
      } else if (child->name == "specular") {
        material->specular = Color(child);
      } else if (child->name == "emissive") {
        material->emissive = Color(child);
      }
    }
    if (images) {
      if (const std::string* textureName = element->getAttribute("texture")) {
        material->texture = textureImage(element, *textureName, *images, texturePath);
      }
    }
    bank += material;
  }
}

}  // namespace ddd
}  // namespace korvu
