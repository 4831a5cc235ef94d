#include "gui/dropdownlist.h"

#include <GL/gl.h>

#include <algorithm>

#include "controls.h"
#include "debug.h"
#include "gui/gui.h"
#include "xml.h"

namespace korvu {
namespace gui {

void ListItem::getFromNode(const xml::Node* node) {
  text = node->getAttribute("caption", text);
  id = node->getAttributeLong("id", id);
  data = nullptr;
}

List::List() : useCount(0) {}

List::~List() { clear(); }

void List::unuse() {
  if (--useCount <= 0) delete this;
}

void List::operator+=(ListItem* item) {
  if (item) items.push_back(item);
}

void List::operator-=(ListItem* item) { items.remove(item); }

ListItem* List::findByData(const void* data) const {
  for (ListItem* item : items) {
    if (item->data == data) return item;
  }
  return nullptr;
}

bool List::holds(const ListItem* item) const {
  return item && std::find(items.begin(), items.end(), item) != items.end();
}

void List::clear() {
  // An item appended twice is still deleted once.
  while (!items.empty()) {
    ListItem* item = items.front();
    items.remove(item);
    delete item;
  }
}

DropdownList::DropdownList() : style(nullptr), trigger(nullptr), items(nullptr), selected(nullptr) {}

DropdownList::~DropdownList() {
  if (items) items->unuse();
}

void DropdownList::getSelfFromNode(const xml::Node* node, GUI* gui) {
  Component::getSelfFromNode(node, gui);
  CaptionedObject::getSelfFromNode(node, gui);
  if (!readStyle(node, "style", gui, style, "drop-down list style")) {
    debug::warning(dbgGui, "Could not find matching style for dropdown list \"%s\".", name.c_str());
  }
  readTrigger(node, "trigger", gui, trigger);
  List* read = nullptr;
  for (const xml::Node* element : node->children) {
    if (element->name != "Item") continue;
    if (!read) {
      read = new List();
      read->use();
      // The widget's old list goes; the new one is already counted.
      if (items) items->unuse();
      items = read;
      selected = nullptr;
    }
    ListItem* item = new ListItem();
    item->getFromNode(element);
    *read += item;
  }
  if (read) setItems(read);
}

void DropdownList::drawSelf() {
  if (!style) return;
  const Rect r(0, 0, width, height);
  const ButtonState state = getState();
  style->draw(r, state);
  glPushMatrix();
  style->print(r, state, caption.c_str());
  glPopMatrix();
}

void DropdownList::setItems(List* list) {
  if (list != items) {
    // A selection in the old list must not outlive it.
    if (items) items->unuse();
    items = list;
    if (items) items->use();
  }
  if (!items) {
    selected = nullptr;
    return;
  }
  if (items->items.empty()) {
    selectItem(nullptr);
  } else {
    selectItem(items->holds(selected) ? selected : items->items.front());
  }
}

void DropdownList::selectItem(ListItem* item) {
  selected = item;
  caption = item ? item->text : std::string();
  debug::debug(dbgGui, "Selected dropdown list item \"%s\".", caption.c_str());
}

void DropdownList::doClick(ControlQueue* queue) {
  if (items && !items->items.empty()) {
    auto& all = items->items;
    auto at = selected ? std::find(all.begin(), all.end(), selected) : all.end();
    if (at == all.end() || ++at == all.end()) at = all.begin();
    selectItem(*at);
  }
  if (trigger && queue) *queue << trigger;
}

}  // namespace gui
}  // namespace korvu
