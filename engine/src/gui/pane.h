// A rectangle drawn with a rectangle style that holds other widgets: a
// panel of the menus. Not focusable.
#pragma once

#include "gui/component.h"

namespace korvu {
namespace gui {

class RectStyle;

class Pane : public Component {
 public:
  RectStyle* style;  // not owned; null: the pane itself draws nothing

  Pane();
  ~Pane() override;
  void getSelfFromNode(const xml::Node* node, GUI* gui) override;
  void drawSelf() override;
};

}  // namespace gui
}  // namespace korvu
