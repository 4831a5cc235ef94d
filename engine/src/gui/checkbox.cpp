#include "gui/checkbox.h"

#include <GL/gl.h>

#include "controls.h"
#include "gui/button.h"
#include "gui/gui.h"
#include "xml.h"

namespace korvu {
namespace gui {

Checkbox::Checkbox()
    : pressed(false), checked(false), style(nullptr), triggerOn(nullptr), triggerOff(nullptr) {
  focusable = true;
}

Checkbox::~Checkbox() {}

void Checkbox::getSelfFromNode(const xml::Node* node, GUI* gui) {
  Component::getSelfFromNode(node, gui);
  CaptionedObject::getSelfFromNode(node, gui);
  readStyle(node, "style", gui, style, "check box style");
  Trigger* both = nullptr;
  if (node->getAttribute("trigger")) {
    readTrigger(node, "trigger", gui, both);
    triggerOn = triggerOff = both;
  }
  readTrigger(node, "triggerOn", gui, triggerOn);
  readTrigger(node, "triggerOff", gui, triggerOff);
}

void Checkbox::drawSelf() {
  if (!style) return;
  const Rect r(0, 0, width, height);
  const ButtonState state = getState();
  style->draw(r, state, checked);
  glPushMatrix();
  style->print(r, state, checked, caption.c_str(), image);
  glPopMatrix();
}

void Checkbox::mouseDown(ControlQueue*, Vector2D, unsigned char button) { pressDown(this, pressed, button); }

void Checkbox::mouseUp(ControlQueue* queue, Vector2D, unsigned char button) {
  if (pressUp(this, pressed, button)) doClick(queue);
}

bool Checkbox::keyDown(ControlQueue* queue, unsigned short character) {
  const PressKey action = pressKey(this, character);
  if (action == PRESS_CLICK) doClick(queue);
  return action != PRESS_IGNORED;
}

void Checkbox::doClick(ControlQueue* queue) {
  checked = !checked;
  Trigger* fired = checked ? triggerOn : triggerOff;
  if (fired && queue) *queue << fired;
}

ButtonState Checkbox::getState() const { return pressState(this, pressed); }

}  // namespace gui
}  // namespace korvu
