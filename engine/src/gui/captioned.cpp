#include "gui/captioned.h"

#include "debug.h"
#include "gui/gui.h"
#include "xml.h"

namespace korvu {
namespace gui {

CaptionedObject::CaptionedObject() : image(nullptr) {}

CaptionedObject::~CaptionedObject() {}

void CaptionedObject::getSelfFromNode(const xml::Node* node, GUI* gui) {
  caption = node->getAttribute("caption", caption);
  readImage(node, "image", gui, image);
}

}  // namespace gui
}  // namespace korvu
