// A caption (text and optional image) shown with a label style. Not
// focusable; the game writes captions of labels it finds by name.
#pragma once

#include "gui/captioned.h"
#include "gui/component.h"

namespace korvu {
namespace gui {

class LabelStyle;

class Label : public Component, public CaptionedObject {
 public:
  LabelStyle* style;  // not owned; null: nothing is drawn

  Label();
  ~Label() override;
  void getSelfFromNode(const xml::Node* node, GUI* gui) override;
  void drawSelf() override;
};

}  // namespace gui
}  // namespace korvu
