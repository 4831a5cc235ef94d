// The node of the menu GUI. A component owns its children and places them
// relative to its own lower-left corner (2D units, one per pixel, y
// upwards). The children list runs from the topmost child to the bottom-most:
// drawing goes from the back of the list to the front, hit testing from the
// front to the back. Focus and mouse capture are recorded in the GUI root
// (gui/gui.h); a component deleted or detached while it holds either is
// forgotten there.
#pragma once

#include <list>
#include <string>

#include "mathtypes.h"

namespace korvu {

class ControlQueue;
namespace xml { class Node; }

namespace gui {

class GUI;

// The absolute position of the component being drawn (relative to the
// frame the GUI root stands in); the root sets it to (0, 0) and every draw
// pass advances and restores it.
extern Vector2D currentPos;

// How deeply widget elements of a description may nest; deeper ones are
// skipped with a logged error, so that a hostile file cannot exhaust the
// stack of the recursive tree walks.
constexpr int MAX_NESTING = 64;

class Component {
 public:
  Component* parent;  // null for a root or a detached component
  std::list<Component*> children;  // owned; topmost first
  // Set on the focus holder and on every ancestor of it.
  bool focused;
  // The keyboard focus walk may stop here.
  bool focusable;
  std::string name;
  // Lower-left corner relative to the parent, and size.
  float x, y;
  float width, height;
  // Not visible: neither drawn nor hit, children included.
  bool visible;
  // Not enabled: not hit and no per-frame step, children included; still drawn.
  bool enabled;

  Component();
  // Deletes the children, leaves the parent and is forgotten by the root's
  // focus and capture records.
  virtual ~Component();

  Component(const Component&) = delete;
  Component& operator=(const Component&) = delete;

  // Reads the generic attributes; derived classes read theirs after these.
  virtual void getSelfFromNode(const xml::Node* node, GUI* gui);
  // Translates to the component, draws it and its children (each clipped to
  // this component's rectangle) and translates back.
  virtual void draw();
  virtual void drawSelf();
  // Drawn after the children, outside this component's scissor box.
  virtual void drawSelfPost();
  virtual void performSelf(ControlQueue* queue, float dt);
  // Pointer positions in GUI root coordinates.
  virtual void enter(ControlQueue* queue, Vector2D position);
  virtual void leave(ControlQueue* queue, Vector2D position);
  // Window coordinates (y downwards) and SDL's button number.
  virtual void mouseDown(ControlQueue* queue, Vector2D position, unsigned char button);
  virtual void mouseUp(ControlQueue* queue, Vector2D position, unsigned char button);
  // The key's character (0 while SDL's unicode translation is off); true
  // when the component took the key. Tab (9) walks the focus on.
  virtual bool keyDown(ControlQueue* queue, unsigned short character);
  virtual bool keyUp(ControlQueue* queue, unsigned short character);

  // Reads this component and then its children from an element. Without a
  // GUI given, this component is taken as the GUI (when it is one).
  void getFromNode(const xml::Node* node, GUI* gui);
  // Creates, reads and appends a widget for every child element that names
  // a widget class; other elements are skipped.
  void getChildrenFromNode(const xml::Node* node, GUI* gui);

  // Appends the child at the bottom, taking it from its old parent first;
  // this component itself or one of its ancestors is refused.
  void operator+=(Component* child);
  // Detaches a child without deleting it. Throws "Trying to remove a
  // component which is not a child." for anything else.
  void operator-=(Component* child);
  // The first component of that name below this one: direct children
  // first, then each child's subtree in list order; null when none.
  Component* operator[](const std::string& name) const;
  // Makes this component its parent's topmost child.
  void bringToFront();
  // Centres the component in a frame of that size; a size of 0 or less
  // leaves that coordinate alone.
  void center(Vector2D size);

  Component* getParent() const { return parent; }
  // The GUI at the top of the tree, or null when the top is no GUI.
  GUI* getRoot() const;
  // p in this component's coordinates.
  bool contains(Vector2D p) const;
  bool isEnabled() const { return enabled && visible; }
  bool isFocused() const { return focused; }
  // True when this component and all its ancestors are visible and enabled:
  // what the pointer can reach.
  bool isShown() const;

  // The deepest enabled and visible component at p (this component's
  // coordinates), topmost sibling first; null when this one is not hit.
  Component* find(Vector2D p);
  // The per-frame step of the enabled part of the subtree.
  void perform(ControlQueue* queue, float dt);

  // Takes (true) or gives back (false) the GUI root's mouse capture.
  void captureMouse(bool capture);
  // Takes or gives up the GUI root's focus, setting the focused flags along
  // the way to the root.
  void setFocused(bool focus);
  // Moves the focus to the next focusable component in walk order. The walk
  // stays inside the innermost container that is not focusable, skips
  // subtrees that hold nothing focusable, and leaves the focus where it was
  // when nothing else can take it.
  void focusNext();

 private:
  void setFocusFlags(bool focus);
};

// Kept for symmetry with focusNext; does nothing.
void focusPrevious();

}  // namespace gui
}  // namespace korvu
