#include "gui/pane.h"

#include "gui/gui.h"
#include "gui/style.h"

namespace korvu {
namespace gui {

Pane::Pane() : style(nullptr) {}

Pane::~Pane() {}

void Pane::getSelfFromNode(const xml::Node* node, GUI* gui) {
  Component::getSelfFromNode(node, gui);
  readStyle(node, "style", gui, style, "rectangle style");
}

void Pane::drawSelf() {
  if (style) style->draw(Rect(0, 0, width, height));
}

}  // namespace gui
}  // namespace korvu
