// A push button: a caption with four looks (up, down, hot, down and hot)
// that pushes its trigger into the trigger queue when clicked or activated
// with Enter or Space. Also the press handling that the other push widgets
// (drop-down lists, check boxes) share. Styles and triggers are not owned.
#pragma once

#include "gui/captioned.h"
#include "gui/component.h"
#include "gui/widgetstyle.h"

namespace korvu {

class Trigger;

namespace gui {

// A left press captures the mouse and marks the widget pressed.
void pressDown(Component* widget, bool& pressed, unsigned char button);
// A left release ends the press and gives the capture back; true when the
// widget was down (pressed and focused, so the pointer is over it): a click.
bool pressUp(Component* widget, bool& pressed, unsigned char button);
// What a key does to a push widget: Enter (13) and Space (32) click, Tab
// (9) walks the focus on, anything else is not taken.
enum PressKey { PRESS_IGNORED, PRESS_TAKEN, PRESS_CLICK };
PressKey pressKey(Component* widget, unsigned short character);
// Down while pressed and focused, hot while focused.
ButtonState pressState(const Component* widget, bool pressed);

class Button : public Component, public CaptionedObject {
 public:
  bool pressed;          // from a left press on the button until the release
  ButtonStyle* style;    // not owned; null: nothing is drawn
  Trigger* trigger;      // not owned; null: a click fires nothing

  Button();
  ~Button() override;
  void getSelfFromNode(const xml::Node* node, GUI* gui) override;
  void drawSelf() override;
  void mouseDown(ControlQueue* queue, Vector2D position, unsigned char button) override;
  void mouseUp(ControlQueue* queue, Vector2D position, unsigned char button) override;
  bool keyDown(ControlQueue* queue, unsigned short character) override;

  // Pushes the trigger.
  void doClick(ControlQueue* queue);
  bool isDown() const { return pressed && focused; }
  ButtonState getState() const { return pressState(this, pressed); }
};

}  // namespace gui
}  // namespace korvu
