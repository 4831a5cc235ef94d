#include "guilayout.h"

#include <memory>

#include "fonts/bitmapfont.h"
#include "xml.h"

namespace glimro_e2e {

namespace {

const korvu::xml::Node* findNamed(const korvu::xml::Node* node, const std::string& name) {
  if (node->getAttribute("name", "") == name) return node;
  for (const korvu::xml::Node* child : node->children)
    if (const korvu::xml::Node* found = findNamed(child, name)) return found;
  return nullptr;
}

}  // namespace

ScreenRect widgetRect(const std::string& guiFile, const std::string& name, int screenWidth, int screenHeight) {
  std::unique_ptr<korvu::xml::Node> root;
  try {
    root.reset(korvu::xml::loadXML(guiFile.c_str()));
  } catch (const std::string&) {
    return ScreenRect();
  }
  const korvu::xml::Node* node = root ? findNamed(root.get(), name) : nullptr;
  if (!node || node == root.get()) return ScreenRect();

  const float width = node->getAttributeFloat("width", 0.0f);
  const float height = node->getAttributeFloat("height", 0.0f);
  float x = 0.0f;
  float y = 0.0f;
  for (const korvu::xml::Node* n = node; n->parent; n = n->parent) {
    if (n->parent == root.get()) {
      // A top-level panel: centred as the menus centre it, in whole units.
      x += static_cast<float>(static_cast<int>(screenWidth - n->getAttributeFloat("width", 0.0f)) / 2);
      y += static_cast<float>(static_cast<int>(screenHeight - n->getAttributeFloat("height", 0.0f)) / 2);
    } else {
      x += n->getAttributeFloat("x", 0.0f);
      y += n->getAttributeFloat("y", 0.0f);
    }
  }
  ScreenRect r;
  r.left = static_cast<int>(x);
  r.top = static_cast<int>(static_cast<float>(screenHeight) - y - height);
  r.width = static_cast<int>(width);
  r.height = static_cast<int>(height);
  return r;
}

int printedWidth(const std::string& fontFolder, const std::string& text) {
  std::unique_ptr<korvu::xml::Node> root;
  try {
    root.reset(korvu::xml::loadXML((fontFolder + "/bitmapfont.xml").c_str()));
  } catch (const std::string&) {
    return -1;
  }
  korvu::ImageBank sheets;
  korvu::fonts::BitmapFontDescription font;
  korvu::fonts::readBitmapFont(root.get(), fontFolder, sheets, font);
  int width = 0;
  for (const char c : text) {
    const auto glyph = font.characters.find(c);
    width += (glyph == font.characters.end() ? 0 : glyph->second.width) + font.spacing;
  }
  return width;
}

}  // namespace glimro_e2e
