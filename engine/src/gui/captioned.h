// The caption that labels, buttons, check boxes, drop-down lists and text
// fields share: a text and an optional image. A captioned widget derives
// from Component first and CaptionedObject second; its one getSelfFromNode
// overrides both. The image belongs to the GUI's image bank.
#pragma once

#include <string>

namespace korvu {

class Image;
namespace xml { class Node; }

namespace gui {

class GUI;

class CaptionedObject {
 public:
  std::string caption;
  Image* image;  // not owned; null: text only

  CaptionedObject();
  virtual ~CaptionedObject();
  // "caption" (default the current caption) and "image" (a present
  // attribute that names no image leaves none).
  virtual void getSelfFromNode(const xml::Node* node, GUI* gui);
};

}  // namespace gui
}  // namespace korvu
