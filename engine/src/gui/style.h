// Styles: the named looks of the GUI, read from the description file and
// kept by name in the GUI's style bank. A style decides how, never where:
// the widget hands it a rectangle in its own coordinates. Font styles print
// a text into the rectangle, rectangle styles fill it (a flat colour with a
// bevelled border, or a frame of nine images). A style owns nothing: its
// fonts, images and other styles belong to their banks.
#pragma once

#include <string>

#include "bank.h"
#include "debug.h"
#include "korvu.h"
#include "mathtypes.h"
#include "xml.h"

namespace korvu {

class Image;
namespace fonts { class Font; }

namespace gui {

class GUI;

class Style {
 public:
  MappedBank<Style>* bank;  // the style bank that holds it, null while in none
  std::string name;

  Style();
  // Leaves its bank.
  virtual ~Style();
  // Reads "name" (logged and left empty when missing); derived styles then
  // read their own attributes, each defaulting to the current value.
  virtual void getFromNode(const xml::Node* node, GUI* gui);
  // Takes over the settings of another style of exactly this class. A style
  // defined twice is updated this way, so that whatever points at the first
  // definition sees the second.
  virtual void assign(const Style& other);

  void setName(const std::string& n) { name = n; }
  std::string getName() const { return name; }

 protected:
  // Copies no bank membership and no name.
  Style& operator=(const Style&) { return *this; }
};

// Prints a text into a rectangle with a justification of its own.
class FontStyle : public Style {
 public:
  JustificationHorizontal horizontal;
  JustificationVertical vertical;

  FontStyle();
  void getFromNode(const xml::Node* node, GUI* gui) override;
  virtual void print(const Rect& rect, const char* text) = 0;
  // The text as printing it fits in `width` units, cut short with an
  // ellipsis where it would not (at its start with `keepEnd`); a style that
  // cannot measure keeps it whole.
  virtual std::string cutToWidth(const std::string& text, float /*width*/, bool /*keepEnd*/) const { return text; }
};

class SimpleFontStyle : public FontStyle {
 public:
  fonts::Font* font;  // not owned; null prints nothing
  Color color;

  // Left, vertically centred, no font, opaque white.
  SimpleFontStyle();
  void getFromNode(const xml::Node* node, GUI* gui) override;
  void assign(const Style& other) override;
  void print(const Rect& rect, const char* text) override;
  std::string cutToWidth(const std::string& text, float width, bool keepEnd) const override;
};

// Fills a rectangle.
class RectStyle : public Style {
 public:
  virtual void draw(const Rect& rect) = 0;
};

// A flat quad with an optional border of `border` units outside it: top and
// left bands in colorBorder1, bottom and right bands in colorBorder2.
class PlainRectStyle : public RectStyle {
 public:
  Color color;
  Color colorBorder1;
  Color colorBorder2;
  float border;  // 0: no border

  // All colours transparent black, no border.
  PlainRectStyle();
  void getFromNode(const xml::Node* node, GUI* gui) override;
  void assign(const Style& other) override;
  void draw(const Rect& rect) override;
};

// A centre image over the rectangle and eight frame images around it.
class TexturedRectStyle : public RectStyle {
 public:
  Color color;        // of the centre piece
  Color colorBorder;  // of the eight frame pieces
  // Not owned; a null piece is not drawn.
  Image* upperLeft;
  Image* upper;
  Image* upperRight;
  Image* left;
  Image* center;
  Image* right;
  Image* lowerLeft;
  Image* lower;
  Image* lowerRight;
  // True: centre and edge pieces are stretched over their area; false: repeated.
  bool stretch;

  // Both colours transparent black, no images, stretched.
  TexturedRectStyle();
  void getFromNode(const xml::Node* node, GUI* gui) override;
  void assign(const Style& other) override;
  void draw(const Rect& rect) override;
};

// A colour of the description: one hexadecimal number RRGGBBAA read as
// strtoul does (leading space and "0x" accepted, reading stops at the first
// non-digit, no digits give 0, anything above 32 bits gives FFFFFFFF);
// shorter numbers are aligned to the right.
Color parseColor(const char* text);
// The colour attribute, or `current` when it is absent.
Color readColor(const xml::Node* node, const std::string& attribute, Color current);
JustificationHorizontal readHorizontal(const xml::Node* node, const std::string& attribute,
                                       JustificationHorizontal current);
JustificationVertical readVertical(const xml::Node* node, const std::string& attribute,
                                   JustificationVertical current);

// The style of that name in the GUI's bank; null, logged, when there is none
// (or no GUI).
Style* lookUpStyle(const GUI* gui, const std::string& name);

// A style reference: a present attribute sets the field to the style of that
// name when it is a T, else to null with a logged warning that names the
// style and the kind wanted; an absent attribute leaves the
// field alone. False when a present attribute found no fitting style.
template <class T>
bool readStyle(const xml::Node* node, const std::string& attribute, const GUI* gui, T*& field, const char* kind) {
  const std::string* wanted = node->getAttribute(attribute);
  if (!wanted) return true;
  Style* found = lookUpStyle(gui, *wanted);
  field = dynamic_cast<T*>(found);
  if (found && !field) debug::warning(dbgGui, "Style \"%s\" is no %s.", wanted->c_str(), kind);
  return field != nullptr;
}

}  // namespace gui
}  // namespace korvu
