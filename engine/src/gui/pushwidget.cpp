#include "gui/pushwidget.h"

#include "controls.h"

namespace korvu {
namespace gui {

PushWidget::PushWidget() : pressed(false) { focusable = true; }

void PushWidget::mouseDown(ControlQueue*, Vector2D, unsigned char button) {
  if (button != SDL_BUTTON_LEFT) return;
  captureMouse(true);
  pressed = true;
}

void PushWidget::mouseUp(ControlQueue* queue, Vector2D, unsigned char button) {
  if (button != SDL_BUTTON_LEFT) return;
  const bool click = isDown();
  pressed = false;
  captureMouse(false);
  if (click) doClick(queue);
}

bool PushWidget::keyDown(ControlQueue* queue, unsigned short character) {
  if (character == 13 || character == 32) {
    doClick(queue);
    return true;
  }
  if (character != 9) return false;
  focusNext();
  return true;
}

ButtonState PushWidget::getState() const {
  int state = 0;
  if (isDown()) state |= BUTTON_DOWN;
  if (focused) state |= BUTTON_HOT;
  return static_cast<ButtonState>(state);
}

}  // namespace gui
}  // namespace korvu
