#include "gui/component.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "debug.h"
#include "gui/button.h"
#include "gui/checkbox.h"
#include "gui/dropdownlist.h"
#include "gui/gui.h"
#include "gui/label.h"
#include "gui/pane.h"
#include "gui/textfield.h"
#include "xml.h"

namespace korvu {
namespace gui {

Vector2D currentPos;

namespace {

// How many widget levels the description being read is deep at the moment.
int readingDepth = 0;

Component* makeWidget(const std::string& element) {
  if (element == "Pane") return new Pane();
  if (element == "Label") return new Label();
  if (element == "Button") return new Button();
  if (element == "Checkbox") return new Checkbox();
  if (element == "DropdownList") return new DropdownList();
  if (element == "Textfield") return new Textfield();
  return nullptr;
}

bool holdsFocusable(const Component* c) {
  for (const Component* child : c->children) {
    if (child->focusable || holdsFocusable(child)) return true;
  }
  return false;
}

// Coordinates and sizes beyond this many pixels, or no number at all, are
// refused: drawing moves by a component's position and back again, which
// such values would not survive, and every later sibling would be misplaced.
constexpr float MAX_PIXELS = 1e6f;

float readPixels(const xml::Node* node, const char* attribute, float current, const std::string& name) {
  const float value = node->getAttributeFloat(attribute, current);
  if (std::fabs(value) <= MAX_PIXELS) return value;
  debug::error(dbgGui, "Component \"%s\" has an impossible %s. Keeping %g.", name.c_str(), attribute, current);
  return current;
}

int countTree(const Component* c) {
  int n = 1;
  for (const Component* child : c->children) n += countTree(child);
  return n;
}

}  // namespace

Component::Component()
    : parent(nullptr),
      focused(false),
      focusable(false),
      x(0),
      y(0),
      width(0),
      height(0),
      visible(true),
      enabled(true) {}

Component::~Component() {
  // Each child's destructor takes it out of the list.
  while (!children.empty()) delete children.front();
  if (GUI* root = getRoot()) root->forget(this);
  if (parent) *parent -= this;
}

void Component::getSelfFromNode(const xml::Node* node, GUI*) {
  const std::string* given = node->getAttribute("name");
  if (given) {
    name = *given;
  } else {
    debug::error(dbgGui, "No name specified for component \"%s\". Using empty name.", node->name.c_str());
    name.clear();
  }
  x = readPixels(node, "x", x, name);
  y = readPixels(node, "y", y, name);
  width = readPixels(node, "width", width, name);
  height = readPixels(node, "height", height, name);
  visible = node->getAttributeBool("visible", visible);
  enabled = node->getAttributeBool("enabled", enabled);
}

void Component::draw() {
  if (!visible) return;
  currentPos += Vector2D(x, y);
  glTranslatef(x, y, 0);
  drawSelf();
  glPushAttrib(GL_SCISSOR_BIT);
  glScissor(static_cast<GLint>(currentPos.x), static_cast<GLint>(currentPos.y),
            static_cast<GLsizei>(std::max(0.0f, width)), static_cast<GLsizei>(std::max(0.0f, height)));
  glEnable(GL_SCISSOR_TEST);
  for (auto it = children.rbegin(); it != children.rend(); ++it) (*it)->draw();
  glPopAttrib();
  drawSelfPost();
  glTranslatef(-x, -y, 0);
  currentPos -= Vector2D(x, y);
}

void Component::drawSelf() {}
void Component::drawSelfPost() {}
void Component::performSelf(ControlQueue*, float) {}
void Component::enter(ControlQueue*, Vector2D) {}
void Component::leave(ControlQueue*, Vector2D) {}
void Component::mouseDown(ControlQueue*, Vector2D, unsigned char) {}
void Component::mouseUp(ControlQueue*, Vector2D, unsigned char) {}

bool Component::keyDown(ControlQueue*, unsigned short character) {
  if (character != 9) return false;
  focusNext();
  return true;
}

bool Component::keyUp(ControlQueue*, unsigned short) { return false; }

void Component::getFromNode(const xml::Node* node, GUI* gui) {
  if (!gui) gui = dynamic_cast<GUI*>(this);
  getSelfFromNode(node, gui);
  getChildrenFromNode(node, gui);
}

void Component::getChildrenFromNode(const xml::Node* node, GUI* gui) {
  struct Level {
    Level() { ++readingDepth; }
    ~Level() { --readingDepth; }
  } level;
  for (const xml::Node* element : node->children) {
    std::unique_ptr<Component> widget(makeWidget(element->name));
    if (!widget) continue;
    if (readingDepth > MAX_NESTING) {
      debug::error(dbgGui, "Widgets nested deeper than %d levels. Skipping \"%s\".", MAX_NESTING,
                   element->getAttribute("name", "").c_str());
      continue;
    }
    widget->getFromNode(element, gui);
    *this += widget.release();
  }
}

void Component::operator+=(Component* child) {
  if (!child) return;
  // A component taken into its own subtree would make the tree a loop.
  for (const Component* c = this; c; c = c->parent) {
    if (c == child) {
      debug::error(dbgGui, "Component \"%s\" cannot become a child of its own subtree.", child->name.c_str());
      return;
    }
  }
  if (child->parent) *child->parent -= child;
  children.push_back(child);
  child->parent = this;
}

void Component::operator-=(Component* child) {
  if (!child || child->parent != this) throw std::string("Trying to remove a component which is not a child.");
  // A detached component no longer reaches the root, so the root must not
  // keep it as its focus or capture.
  if (GUI* root = getRoot()) root->forget(child);
  children.remove(child);
  child->parent = nullptr;
}

Component* Component::operator[](const std::string& wanted) const {
  for (Component* child : children) {
    if (child->name == wanted) return child;
  }
  for (Component* child : children) {
    if (Component* found = (*child)[wanted]) return found;
  }
  return nullptr;
}

void Component::bringToFront() {
  if (!parent) return;
  parent->children.remove(this);
  parent->children.push_front(this);
}

void Component::center(Vector2D size) {
  // Integer arithmetic, truncating twice, done in floating point so that
  // no size converts out of range.
  if (size.x > 0) x = std::trunc(std::trunc(size.x - width) / 2);
  if (size.y > 0) y = std::trunc(std::trunc(size.y - height) / 2);
}

GUI* Component::getRoot() const {
  const Component* top = this;
  while (top->parent) top = top->parent;
  return dynamic_cast<GUI*>(const_cast<Component*>(top));
}

bool Component::contains(Vector2D p) const { return p.x >= 0 && p.x < width && p.y >= 0 && p.y < height; }

bool Component::isShown() const {
  for (const Component* c = this; c; c = c->parent) {
    if (!c->isEnabled()) return false;
  }
  return true;
}

Component* Component::find(Vector2D p) {
  if (!isEnabled() || !contains(p)) return nullptr;
  for (Component* child : children) {
    if (Component* hit = child->find(p - Vector2D(child->x, child->y))) return hit;
  }
  return this;
}

void Component::perform(ControlQueue* queue, float dt) {
  if (!enabled) return;
  performSelf(queue, dt);
  for (auto it = children.rbegin(); it != children.rend(); ++it) (*it)->perform(queue, dt);
}

void Component::captureMouse(bool capture) {
  GUI* root = getRoot();
  if (!root) return;
  if (capture) {
    root->capture = this;
  } else if (root->capture == this) {
    root->capture = nullptr;
  }
}

void Component::setFocusFlags(bool focus) {
  for (Component* c = this; c; c = c->parent) c->focused = focus;
}

void Component::setFocused(bool focus) {
  GUI* root = getRoot();
  if (!root) return;
  if (focus) {
    if (root->focus == this) return;
    if (root->focus) root->focus->setFocused(false);
    setFocusFlags(true);
    root->focus = this;
  } else if (root->focus == this) {
    setFocusFlags(false);
    root->focus = nullptr;
  }
}

void Component::focusNext() {
  // Without the guard the walk would circle for ever inside a container
  // whose subtree holds nothing focusable; every step visits one component,
  // so a walk longer than the tree has components found nothing new.
  const Component* top = this;
  while (top->parent) top = top->parent;
  const int limit = 2 * countTree(top) + 2;

  Component* c = this;
  for (int step = 0; step < limit; ++step) {
    Component* candidate;
    if (!c->children.empty() && holdsFocusable(c)) {
      candidate = c->children.front();
    } else if (!c->parent) {
      return;
    } else if (c == c->parent->children.back()) {
      candidate = c->parent;
      if (candidate->focusable) {
        candidate->setFocused(true);
        return;
      }
      // The walk starts again at the container's first child.
      candidate = candidate->children.front();
    } else {
      auto it = std::find(c->parent->children.begin(), c->parent->children.end(), c);
      candidate = *++it;
    }
    if (candidate->focusable) {
      candidate->setFocused(true);
      return;
    }
    c = candidate;
  }
}

void focusPrevious() {}

}  // namespace gui
}  // namespace korvu
