#include "gui/button.h"

#include <GL/gl.h>

#include "controls.h"
#include "gui/gui.h"

namespace korvu {
namespace gui {

void pressDown(Component* widget, bool& pressed, unsigned char button) {
  if (button != SDL_BUTTON_LEFT) return;
  widget->captureMouse(true);
  pressed = true;
}

bool pressUp(Component* widget, bool& pressed, unsigned char button) {
  if (button != SDL_BUTTON_LEFT) return false;
  const bool click = pressed && widget->focused;
  pressed = false;
  widget->captureMouse(false);
  return click;
}

PressKey pressKey(Component* widget, unsigned short character) {
  if (character == 13 || character == 32) return PRESS_CLICK;
  if (character != 9) return PRESS_IGNORED;
  widget->focusNext();
  return PRESS_TAKEN;
}

ButtonState pressState(const Component* widget, bool pressed) {
  int state = 0;
  if (pressed && widget->focused) state |= BUTTON_DOWN;
  if (widget->focused) state |= BUTTON_HOT;
  return static_cast<ButtonState>(state);
}

Button::Button() : pressed(false), style(nullptr), trigger(nullptr) { focusable = true; }

Button::~Button() {}

void Button::getSelfFromNode(const xml::Node* node, GUI* gui) {
  Component::getSelfFromNode(node, gui);
  CaptionedObject::getSelfFromNode(node, gui);
  readStyle(node, "style", gui, style, "button style");
  readTrigger(node, "trigger", gui, trigger);
}

void Button::drawSelf() {
  if (!style) return;
  const Rect r(0, 0, width, height);
  const ButtonState state = getState();
  style->draw(r, state);
  glPushMatrix();
  style->print(r, state, caption.c_str(), image);
  glPopMatrix();
}

void Button::mouseDown(ControlQueue*, Vector2D, unsigned char button) { pressDown(this, pressed, button); }

void Button::mouseUp(ControlQueue* queue, Vector2D, unsigned char button) {
  if (pressUp(this, pressed, button)) doClick(queue);
}

bool Button::keyDown(ControlQueue* queue, unsigned short character) {
  const PressKey action = pressKey(this, character);
  if (action == PRESS_CLICK) doClick(queue);
  return action != PRESS_IGNORED;
}

void Button::doClick(ControlQueue* queue) {
  if (trigger && queue) *queue << trigger;
}

}  // namespace gui
}  // namespace korvu
