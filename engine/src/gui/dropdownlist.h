// A drop-down list: a push button whose caption is the selected entry of a
// list of choices; each click selects the next entry (the first after the
// last) and pushes the widget's trigger. No list ever opens on screen. Lists
// are shared between drop-down lists through a use count and delete
// themselves when the last holder lets go; a list owns its items, an item
// does not own its data.
#pragma once

#include <list>
#include <string>

#include "gui/captioned.h"
#include "gui/pushwidget.h"
#include "gui/widgetstyle.h"

namespace korvu {

class Trigger;

namespace gui {

struct ListItem {
  std::string text;
  long id;
  void* data;  // the program's object; not owned

  ListItem() : id(0), data(nullptr) {}
  // "caption" and "id" (decimal, "0x" hexadecimal or leading-0 octal), each
  // defaulting to the current value; no data.
  void getFromNode(const xml::Node* node);
};

class List {
 public:
  int useCount;  // drop-down lists holding the list
  std::list<ListItem*> items;  // owned, in display order

  List();
  ~List();
  List(const List&) = delete;
  List& operator=(const List&) = delete;

  void use() { ++useCount; }
  // Drops one use; the list deletes itself (a heap object) when none is
  // left, after which the caller must not touch it.
  void unuse();
  // Appends an item and takes ownership.
  void operator+=(ListItem* item);
  // Removes every entry of the item without deleting it.
  void operator-=(ListItem* item);
  // The first item whose data is that pointer, or null.
  ListItem* findByData(const void* data) const;
  bool holds(const ListItem* item) const;
  // Deletes every item.
  void clear();
};

class DropdownList : public PushWidget, public CaptionedObject {
 public:
  DropdownListStyle* style;  // not owned
  Trigger* trigger;          // not owned
  List* items;               // one use counted while held
  ListItem* selected;        // an item of items, or null

  DropdownList();
  // Lets go of the list.
  ~DropdownList() override;
  void getSelfFromNode(const xml::Node* node, GUI* gui) override;
  void drawSelf() override;

  // Takes a list (counting a use unless it is the one already held) and
  // selects the current item again when the list holds it, else the first;
  // null lets go of the list and clears the selection.
  void setItems(List* list);
  // Selects without firing; the caption becomes the item's text (empty for
  // null).
  void selectItem(ListItem* item);
  // Selects the next item, then pushes the trigger.
  void doClick(ControlQueue* queue) override;
};

}  // namespace gui
}  // namespace korvu
