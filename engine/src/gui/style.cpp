#include "gui/style.h"

#include <GL/gl.h>

#include <cmath>
#include <cstdlib>

#include "debug.h"
#include "fonts/font.h"
#include "gui/gui.h"
#include "image.h"
#include "xml.h"

namespace korvu {
namespace gui {

namespace {

void quad(float x0, float y0, float x1, float y1, float x2, float y2, float x3, float y3) {
  glVertex2f(x0, y0);
  glVertex2f(x1, y1);
  glVertex2f(x2, y2);
  glVertex2f(x3, y3);
}

// One textured quad; corners and texture coordinates in the same order.
void piece(const Image* image, const float (&v)[4][2], const float (&t)[4][2]) {
  glBindTexture(GL_TEXTURE_2D, image->texture);
  glBegin(GL_QUADS);
  for (int k = 0; k < 4; ++k) {
    glTexCoord2f(t[k][0], t[k][1]);
    glVertex2f(v[k][0], v[k][1]);
  }
  glEnd();
}

// An image that never got a texture (or has no size) has nothing to show.
bool drawable(const Image* image) { return image && image->texture != 0 && image->width > 0 && image->height > 0; }

}  // namespace

// ------------------------------------------------------------------ helpers

Color parseColor(const char* text) {
  unsigned long value = std::strtoul(text, nullptr, 16);
  if (value > 0xFFFFFFFFul) value = 0xFFFFFFFFul;
  const auto channel = [value](int shift) { return static_cast<float>((value >> shift) & 0xFF) / 255.0f; };
  return Color(channel(24), channel(16), channel(8), channel(0));
}

Color readColor(const xml::Node* node, const std::string& attribute, Color current) {
  const std::string* text = node->getAttribute(attribute);
  return text ? parseColor(text->c_str()) : current;
}

JustificationHorizontal readHorizontal(const xml::Node* node, const std::string& attribute,
                                       JustificationHorizontal current) {
  return justificationHorizontal(node->getAttribute(attribute, STR_JUSTIFICATION_HORIZONTAL[current]).c_str());
}

JustificationVertical readVertical(const xml::Node* node, const std::string& attribute,
                                   JustificationVertical current) {
  return justificationVertical(node->getAttribute(attribute, STR_JUSTIFICATION_VERTICAL[current]).c_str());
}

Style* lookUpStyle(const GUI* gui, const std::string& name) {
  if (gui) return gui->findStyle(name);
  debug::warning(dbgGui, "Unknown style \"%s\".", name.c_str());
  return nullptr;
}

// -------------------------------------------------------------------- Style

Style::Style() : bank(nullptr) {}

Style::~Style() {
  if (bank) *bank -= this;
}

void Style::getFromNode(const xml::Node* node, GUI*) {
  const std::string* given = node->getAttribute("name");
  if (given) {
    name = *given;
  } else {
    debug::error(dbgGui, "No name specified for style. Using empty name.");
    name.clear();
  }
}

void Style::assign(const Style&) {}

// ---------------------------------------------------------------- FontStyle

FontStyle::FontStyle() : horizontal(JUSTIFY_LEFT), vertical(JUSTIFY_VCENTER) {}

void FontStyle::getFromNode(const xml::Node* node, GUI* gui) {
  Style::getFromNode(node, gui);
  horizontal = readHorizontal(node, "horizontal", horizontal);
  vertical = readVertical(node, "vertical", vertical);
}

SimpleFontStyle::SimpleFontStyle() : font(nullptr), color(1, 1, 1, 1) {}

void SimpleFontStyle::getFromNode(const xml::Node* node, GUI* gui) {
  FontStyle::getFromNode(node, gui);
  color = readColor(node, "color", color);
  readFont(node, "font", gui, font);
}

void SimpleFontStyle::assign(const Style& other) { *this = static_cast<const SimpleFontStyle&>(other); }

void SimpleFontStyle::print(const Rect& rect, const char* text) {
  if (!font) return;
  glPushAttrib(GL_CURRENT_BIT | GL_ENABLE_BIT | GL_TEXTURE_BIT);
  glColor4f(color.red, color.green, color.blue, color.alpha);
  font->print(rect, horizontal, vertical, text);
  glPopAttrib();
}

std::string SimpleFontStyle::cutToWidth(const std::string& text, float width, bool keepEnd) const {
  if (!font) return text;
  // Glyphs are whole pixels: a fraction of one more is no room for one.
  return font->cutToWidth(text, static_cast<int>(std::floor(width)), keepEnd);
}

// ----------------------------------------------------------- PlainRectStyle

PlainRectStyle::PlainRectStyle() : color(0, 0, 0, 0), colorBorder1(0, 0, 0, 0), colorBorder2(0, 0, 0, 0), border(0) {}

void PlainRectStyle::getFromNode(const xml::Node* node, GUI* gui) {
  RectStyle::getFromNode(node, gui);
  border = node->getAttributeFloat("border", border);
  color = readColor(node, "color", color);
  colorBorder1 = readColor(node, "colorBorder1", colorBorder1);
  colorBorder2 = readColor(node, "colorBorder2", colorBorder2);
}

void PlainRectStyle::assign(const Style& other) { *this = static_cast<const PlainRectStyle&>(other); }

void PlainRectStyle::draw(const Rect& r) {
  const float x = r.x, y = r.y, w = r.w, h = r.h, b = border;
  glPushAttrib(GL_CURRENT_BIT | GL_ENABLE_BIT | GL_TEXTURE_BIT);
  glDisable(GL_TEXTURE_2D);
  glColor4f(color.red, color.green, color.blue, color.alpha);
  glBegin(GL_QUADS);
  quad(x, y, x + w, y, x + w, y + h, x, y + h);
  glEnd();
  if (b != 0) {
    glColor4f(colorBorder1.red, colorBorder1.green, colorBorder1.blue, colorBorder1.alpha);
    glBegin(GL_QUADS);
    quad(x - b, y + h + b, x + w + b, y + h + b, x + w + 1, y + h, x - b, y + h);  // top
    quad(x - b, y + h, x, y + h, x, y - 1, x - b, y - b);                          // left
    glEnd();
    glColor4f(colorBorder2.red, colorBorder2.green, colorBorder2.blue, colorBorder2.alpha);
    glBegin(GL_QUADS);
    quad(x, y, x + w + b, y, x + w + b, y - b, x - b, y - b);                  // bottom
    quad(x + w, y + h, x + w + b, y + h + b, x + w + b, y, x + w, y);          // right
    glEnd();
  }
  glPopAttrib();
}

// -------------------------------------------------------- TexturedRectStyle

TexturedRectStyle::TexturedRectStyle()
    : color(0, 0, 0, 0),
      colorBorder(0, 0, 0, 0),
      upperLeft(nullptr),
      upper(nullptr),
      upperRight(nullptr),
      left(nullptr),
      center(nullptr),
      right(nullptr),
      lowerLeft(nullptr),
      lower(nullptr),
      lowerRight(nullptr),
      stretch(true) {}

void TexturedRectStyle::getFromNode(const xml::Node* node, GUI* gui) {
  RectStyle::getFromNode(node, gui);
  stretch = node->getAttributeBool("stretch", stretch);
  color = readColor(node, "color", color);
  colorBorder = readColor(node, "colorBorder", colorBorder);
  readImage(node, "center", gui, center);
  readImage(node, "upperLeft", gui, upperLeft);
  readImage(node, "upper", gui, upper);
  readImage(node, "upperRight", gui, upperRight);
  readImage(node, "left", gui, left);
  readImage(node, "right", gui, right);
  readImage(node, "lowerLeft", gui, lowerLeft);
  readImage(node, "lower", gui, lower);
  readImage(node, "lowerRight", gui, lowerRight);
}

void TexturedRectStyle::assign(const Style& other) { *this = static_cast<const TexturedRectStyle&>(other); }

void TexturedRectStyle::draw(const Rect& r) {
  const float x = r.x, y = r.y, w = r.w, h = r.h;
  // Repeat factors of a piece: how often its image fits along the side.
  const auto across = [this, w](const Image* i) { return stretch ? 1.0f : w / static_cast<float>(i->width); };
  const auto along = [this, h](const Image* i) { return stretch ? 1.0f : h / static_cast<float>(i->height); };
  const auto iw = [](const Image* i) { return static_cast<float>(i->width); };
  const auto ih = [](const Image* i) { return static_cast<float>(i->height); };

  glPushAttrib(GL_CURRENT_BIT | GL_ENABLE_BIT | GL_TEXTURE_BIT);
  glEnable(GL_TEXTURE_2D);
  glColor4f(color.red, color.green, color.blue, color.alpha);
  if (drawable(center)) {
    const float S = across(center), T = along(center);
    piece(center, {{x, y}, {x + w, y}, {x + w, y + h}, {x, y + h}}, {{0, T}, {S, T}, {S, 0}, {0, 0}});
  }
  glColor4f(colorBorder.red, colorBorder.green, colorBorder.blue, colorBorder.alpha);
  if (drawable(upperLeft)) {
    const Image* i = upperLeft;
    piece(i, {{x - iw(i), y + h}, {x, y + h}, {x, y + h + ih(i)}, {x - iw(i), y + h + ih(i)}},
          {{0, 1}, {1, 1}, {1, 0}, {0, 0}});
  }
  if (drawable(upper)) {
    const Image* i = upper;
    const float S = across(i);
    piece(i, {{x, y + h}, {x + w, y + h}, {x + w, y + h + ih(i)}, {x, y + h + ih(i)}},
          {{0, 1}, {S, 1}, {S, 0}, {0, 0}});
  }
  if (drawable(upperRight)) {
    const Image* i = upperRight;
    piece(i, {{x + w, y + h}, {x + w + iw(i), y + h}, {x + w + iw(i), y + h + ih(i)}, {x + w, y + h + ih(i)}},
          {{0, 1}, {1, 1}, {1, 0}, {0, 0}});
  }
  if (drawable(left)) {
    const Image* i = left;
    const float T = along(i);
    piece(i, {{x - iw(i), y}, {x, y}, {x, y + h}, {x - iw(i), y + h}}, {{0, T}, {1, T}, {1, 0}, {0, 0}});
  }
  if (drawable(right)) {
    const Image* i = right;
    const float T = along(i);
    piece(i, {{x + w, y}, {x + w + iw(i), y}, {x + w + iw(i), y + h}, {x + w, y + h}},
          {{0, T}, {1, T}, {1, 0}, {0, 0}});
  }
  if (drawable(lowerLeft)) {
    const Image* i = lowerLeft;
    piece(i, {{x - iw(i), y - ih(i)}, {x, y - ih(i)}, {x, y}, {x - iw(i), y}}, {{0, 1}, {1, 1}, {1, 0}, {0, 0}});
  }
  if (drawable(lower)) {
    const Image* i = lower;
    const float S = across(i);
    piece(i, {{x, y - ih(i)}, {x + w, y - ih(i)}, {x + w, y}, {x, y}}, {{0, 1}, {S, 1}, {S, 0}, {0, 0}});
  }
  if (drawable(lowerRight)) {
    const Image* i = lowerRight;
    piece(i, {{x + w, y - ih(i)}, {x + w + iw(i), y - ih(i)}, {x + w + iw(i), y}, {x + w, y}},
          {{0, 1}, {1, 1}, {1, 0}, {0, 0}});
  }
  glPopAttrib();
}

}  // namespace gui
}  // namespace korvu
