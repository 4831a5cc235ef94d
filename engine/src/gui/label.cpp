#include "gui/label.h"

#include <GL/gl.h>

#include "gui/gui.h"
#include "gui/widgetstyle.h"

namespace korvu {
namespace gui {

Label::Label() : style(nullptr) {}

Label::~Label() {}

void Label::getSelfFromNode(const xml::Node* node, GUI* gui) {
  Component::getSelfFromNode(node, gui);
  CaptionedObject::getSelfFromNode(node, gui);
  readStyle(node, "style", gui, style, "label style");
}

void Label::drawSelf() {
  if (!style) return;
  const Rect r(0, 0, width, height);
  style->draw(r);
  glPushMatrix();
  style->print(r, caption.c_str(), image);
  glPopMatrix();
}

}  // namespace gui
}  // namespace korvu
