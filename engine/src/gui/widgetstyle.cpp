#include "gui/widgetstyle.h"

#include <GL/gl.h>

#include "gui/gui.h"
#include "image.h"
#include "xml.h"

namespace korvu {
namespace gui {

// --------------------------------------------------------------- LabelStyle

LabelStyle::LabelStyle()
    : rect(nullptr), font(nullptr), imageHorizontal(JUSTIFY_HCENTER), imageVertical(JUSTIFY_VCENTER),
      imageColor(1, 1, 1, 1), cut(false) {}

void LabelStyle::getFromNode(const xml::Node* node, GUI* gui) {
  Style::getFromNode(node, gui);
  readStyle(node, "rect", gui, rect, "rectangle style");
  readStyle(node, "font", gui, font, "font style");
  imageHorizontal = readHorizontal(node, "imageHorizontal", imageHorizontal);
  imageVertical = readVertical(node, "imageVertical", imageVertical);
  imageColor = readColor(node, "imageColor", imageColor);
  cut = node->getAttributeBool("cut", cut);
}

void LabelStyle::assign(const Style& other) { *this = static_cast<const LabelStyle&>(other); }

void LabelStyle::draw(const Rect& r) {
  if (rect) rect->draw(r);
}

Vector2D LabelStyle::placeImage(Rect& text, float iw, float ih) const {
  Vector2D p;
  switch (imageHorizontal) {
    case JUSTIFY_LEFT:
      p.x = text.x;
      if (font && font->horizontal == JUSTIFY_LEFT) {
        text.x += iw;
        text.w -= iw;
      }
      break;
    case JUSTIFY_HCENTER:
      p.x = text.x + text.w * 0.5f - iw * 0.5f;
      break;
    case JUSTIFY_RIGHT:
      p.x = text.x + text.w - iw;
      if (font && font->horizontal == JUSTIFY_RIGHT) text.w -= iw;
      break;
  }
  switch (imageVertical) {
    case JUSTIFY_TOP:
      p.y = text.y + text.h - ih;
      if (font && font->vertical == JUSTIFY_TOP) text.h -= ih;
      break;
    case JUSTIFY_VCENTER:
      p.y = text.y + text.h * 0.5f - ih * 0.5f;
      break;
    case JUSTIFY_BOTTOM:
      p.y = text.y;
      if (font && font->vertical == JUSTIFY_BOTTOM) {
        text.y += ih;
        text.h -= ih;
      }
      break;
  }
  return p;
}

void LabelStyle::print(Rect r, const char* text, const Image* image, bool keepEnd) {
  // Room the text has beside an image that placing it did not take out.
  float beside = 0;
  if (image) {
    const float iw = static_cast<float>(image->width);
    const float before = r.w;
    const Vector2D p = placeImage(r, iw, static_cast<float>(image->height));
    if (font && imageHorizontal != JUSTIFY_HCENTER && r.w == before)
      beside = font->horizontal == JUSTIFY_HCENTER ? 2 * iw : iw;
    glColor4fv(imageColor.rgba());
    if (image->texture) image->draw(p);
  }
  if (!font) return;
  if (cut) {
    font->print(r, font->cutToWidth(text, r.w - beside, keepEnd).c_str());
  } else {
    font->print(r, text);
  }
}

// -------------------------------------------------------------- ButtonStyle

ButtonStyle::ButtonStyle() : up(nullptr), down(nullptr), upHot(nullptr), downHot(nullptr) {}

void ButtonStyle::getFromNode(const xml::Node* node, GUI* gui) {
  Style::getFromNode(node, gui);
  readStyle(node, "up", gui, up, "label style");
  readStyle(node, "down", gui, down, "label style");
  readStyle(node, "upHot", gui, upHot, "label style");
  readStyle(node, "downHot", gui, downHot, "label style");
}

void ButtonStyle::assign(const Style& other) { *this = static_cast<const ButtonStyle&>(other); }

LabelStyle* ButtonStyle::getStyle(ButtonState state) const {
  const bool isDown = state & BUTTON_DOWN;
  const bool hot = state & BUTTON_HOT;
  if (hot) return isDown ? downHot : upHot;
  return isDown ? down : up;
}

void ButtonStyle::draw(const Rect& r, ButtonState state) {
  if (LabelStyle* s = getStyle(state)) s->draw(r);
}

void ButtonStyle::print(const Rect& r, ButtonState state, const char* text, const Image* image) {
  if (LabelStyle* s = getStyle(state)) s->print(r, text, image);
}

// -------------------------------------------------------- DropdownListStyle

DropdownListStyle::DropdownListStyle() : image(nullptr) {}

void DropdownListStyle::getFromNode(const xml::Node* node, GUI* gui) {
  ButtonStyle::getFromNode(node, gui);
  readImage(node, "image", gui, image);
}

void DropdownListStyle::assign(const Style& other) { *this = static_cast<const DropdownListStyle&>(other); }

void DropdownListStyle::print(const Rect& r, ButtonState state, const char* text) {
  ButtonStyle::print(r, state, text, image);
}

// ------------------------------------------------------------ CheckboxStyle

CheckboxStyle::CheckboxStyle() : checked(nullptr), unchecked(nullptr) {}

void CheckboxStyle::getFromNode(const xml::Node* node, GUI* gui) {
  Style::getFromNode(node, gui);
  readStyle(node, "checked", gui, checked, "button style");
  readStyle(node, "unchecked", gui, unchecked, "button style");
}

void CheckboxStyle::assign(const Style& other) { *this = static_cast<const CheckboxStyle&>(other); }

ButtonStyle* CheckboxStyle::getStyle(bool isChecked) const { return isChecked ? checked : unchecked; }

LabelStyle* CheckboxStyle::getStyle(ButtonState state, bool isChecked) const {
  ButtonStyle* button = getStyle(isChecked);
  return button ? button->getStyle(state) : nullptr;
}

void CheckboxStyle::draw(const Rect& r, ButtonState state, bool isChecked) {
  if (LabelStyle* s = getStyle(state, isChecked)) s->draw(r);
}

void CheckboxStyle::print(const Rect& r, ButtonState state, bool isChecked, const char* text, const Image* image) {
  if (LabelStyle* s = getStyle(state, isChecked)) s->print(r, text, image);
}

}  // namespace gui
}  // namespace korvu
