// A check box: a push widget with an on/off state; each click flips it and
// pushes the trigger for switching on or the one for switching off.
// Styles and triggers are not owned.
#pragma once

#include "gui/captioned.h"
#include "gui/component.h"
#include "gui/widgetstyle.h"

namespace korvu {

class Trigger;

namespace gui {

class Checkbox : public Component, public CaptionedObject {
 public:
  bool pressed;
  bool checked;  // no description attribute sets it; the game writes it
  CheckboxStyle* style;
  Trigger* triggerOn;   // fired when a click switches the box on
  Trigger* triggerOff;  // fired when a click switches it off

  Checkbox();
  ~Checkbox() override;
  // "trigger" sets both triggers; "triggerOn" and "triggerOff", read after
  // it, replace one each.
  void getSelfFromNode(const xml::Node* node, GUI* gui) override;
  void drawSelf() override;
  void mouseDown(ControlQueue* queue, Vector2D position, unsigned char button) override;
  void mouseUp(ControlQueue* queue, Vector2D position, unsigned char button) override;
  bool keyDown(ControlQueue* queue, unsigned short character) override;

  // Flips the state, then pushes the trigger of the new state.
  void doClick(ControlQueue* queue);
  bool isDown() const { return pressed && focused; }
  ButtonState getState() const;
};

}  // namespace gui
}  // namespace korvu
