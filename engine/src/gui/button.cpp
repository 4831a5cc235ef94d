#include "gui/button.h"

#include <GL/gl.h>

#include "controls.h"
#include "gui/gui.h"

namespace korvu {
namespace gui {

Button::Button() : style(nullptr), trigger(nullptr) {}

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

void Button::doClick(ControlQueue* queue) {
  if (trigger && queue) *queue << trigger;
}

}  // namespace gui
}  // namespace korvu
