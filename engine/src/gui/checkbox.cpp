#include "gui/checkbox.h"

#include <GL/gl.h>

#include "controls.h"
#include "gui/gui.h"
#include "xml.h"

namespace korvu {
namespace gui {

Checkbox::Checkbox() : checked(false), style(nullptr), triggerOn(nullptr), triggerOff(nullptr) {}

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

void Checkbox::doClick(ControlQueue* queue) {
  checked = !checked;
  Trigger* fired = checked ? triggerOn : triggerOff;
  if (fired && queue) *queue << fired;
}

}  // namespace gui
}  // namespace korvu
