// The styles widgets use, built on the basic ones: a label style joins a
// background, a font style and the placement of a caption image; a button
// style holds one label style per look; a drop-down list style adds an image
// of its own; a check box style holds one button style per state. None owns
// the styles or images it points to.
#pragma once

#include "gui/style.h"

namespace korvu {
namespace gui {

// The look of a push widget: bit 1 pressed, bit 2 hot (focused).
enum ButtonState : int { BUTTON_UP = 0, BUTTON_DOWN = 1, BUTTON_HOT = 2, BUTTON_DOWN_HOT = 3 };

class LabelStyle : public Style {
 public:
  RectStyle* rect;  // the background; null: none
  FontStyle* font;  // prints the text; null: none
  // Where the caption image sits in the rectangle.
  JustificationHorizontal imageHorizontal;
  JustificationVertical imageVertical;
  Color imageColor;  // tint of the caption image
  // A text wider than its room is cut short with an ellipsis instead of
  // running over the rectangle's edge (or the image); for texts a player
  // writes, such as profile names. Off: the text is printed whole.
  bool cut;

  // No background, no font, image centred both ways, white, texts whole.
  LabelStyle();
  void getFromNode(const xml::Node* node, GUI* gui) override;
  void assign(const Style& other) override;

  void draw(const Rect& r);
  // Draws the image (when given) and prints the text. An image on the same
  // side as the text takes its room out of the text rectangle; with `cut`,
  // the text also keeps clear of an image on another side (of one on
  // either side when centred, so that it stays centred) and a text too
  // wide loses its end, or its start with `keepEnd`.
  void print(Rect r, const char* text, const Image* image, bool keepEnd = false);
  // Where an image of iw by ih goes in the rectangle (its lower-left
  // corner); narrows `text` by the image where the font style is justified
  // to the same side.
  Vector2D placeImage(Rect& text, float iw, float ih) const;
};

class ButtonStyle : public Style {
 public:
  LabelStyle* up;
  LabelStyle* down;
  LabelStyle* upHot;
  LabelStyle* downHot;

  ButtonStyle();
  void getFromNode(const xml::Node* node, GUI* gui) override;
  void assign(const Style& other) override;

  // The label style of the look; null when it is missing.
  LabelStyle* getStyle(ButtonState state) const;
  void draw(const Rect& r, ButtonState state);
  void print(const Rect& r, ButtonState state, const char* text, const Image* image);
};

class DropdownListStyle : public ButtonStyle {
 public:
  Image* image;  // shown beside every caption; not owned

  DropdownListStyle();
  void getFromNode(const xml::Node* node, GUI* gui) override;
  void assign(const Style& other) override;

  using ButtonStyle::print;
  void print(const Rect& r, ButtonState state, const char* text);
};

class CheckboxStyle : public Style {
 public:
  ButtonStyle* checked;
  ButtonStyle* unchecked;

  CheckboxStyle();
  void getFromNode(const xml::Node* node, GUI* gui) override;
  void assign(const Style& other) override;

  ButtonStyle* getStyle(bool isChecked) const;
  LabelStyle* getStyle(ButtonState state, bool isChecked) const;
  void draw(const Rect& r, ButtonState state, bool isChecked);
  void print(const Rect& r, ButtonState state, bool isChecked, const char* text, const Image* image);
};

}  // namespace gui
}  // namespace korvu
