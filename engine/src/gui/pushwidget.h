// The press handling that buttons, check boxes and drop-down lists share: a
// focusable widget that a left press captures the mouse for and marks
// pressed, and that clicks on the release over it or on Enter or Space.
#pragma once

#include "gui/component.h"
#include "gui/widgetstyle.h"

namespace korvu {
namespace gui {

class PushWidget : public Component {
 public:
  bool pressed;  // from a left press on the widget until the release

  PushWidget();
  // A left press captures the mouse and marks the widget pressed.
  void mouseDown(ControlQueue* queue, Vector2D position, unsigned char button) override;
  // A left release ends the press and gives the capture back; it clicks
  // when the widget was down (the pointer is over it).
  void mouseUp(ControlQueue* queue, Vector2D position, unsigned char button) override;
  // Enter (13) and Space (32) click, Tab (9) walks the focus on; any other
  // key is not taken.
  bool keyDown(ControlQueue* queue, unsigned short character) override;

  virtual void doClick(ControlQueue* queue) = 0;
  bool isDown() const { return pressed && focused; }
  // Down while pressed and focused, hot while focused.
  ButtonState getState() const;
};

}  // namespace gui
}  // namespace korvu
