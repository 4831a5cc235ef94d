// A check box: a push widget with an on/off state; each click flips it and
// pushes the trigger for switching on or the one for switching off.
// Styles and triggers are not owned.
#pragma once

#include "gui/captioned.h"
#include "gui/pushwidget.h"
#include "gui/widgetstyle.h"

namespace korvu {

class Trigger;

namespace gui {

class Checkbox : public PushWidget, public CaptionedObject {
 public:
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

  // Flips the state, then pushes the trigger of the new state.
  void doClick(ControlQueue* queue) override;
};

}  // namespace gui
}  // namespace korvu
