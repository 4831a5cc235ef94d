// A push button: a caption with four looks (up, down, hot, down and hot)
// that pushes its trigger into the trigger queue when clicked or activated
// with Enter or Space. Styles and triggers are not owned.
#pragma once

#include "gui/captioned.h"
#include "gui/pushwidget.h"
#include "gui/widgetstyle.h"

namespace korvu {

class Trigger;

namespace gui {

class Button : public PushWidget, public CaptionedObject {
 public:
  ButtonStyle* style;  // not owned; null: nothing is drawn
  Trigger* trigger;    // not owned; null: a click fires nothing

  Button();
  ~Button() override;
  void getSelfFromNode(const xml::Node* node, GUI* gui) override;
  void drawSelf() override;

  // Pushes the trigger.
  void doClick(ControlQueue* queue) override;
};

}  // namespace gui
}  // namespace korvu
