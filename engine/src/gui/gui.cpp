#include "gui/gui.h"

#include <GL/gl.h>

#include <memory>
#include <typeinfo>

#include "debug.h"
#include "gui/style.h"
#include "gui/widgetstyle.h"
#include "image.h"
#include "sprite.h"
#include "xml.h"

namespace korvu {
namespace gui {

namespace {

Style* makeStyle(const std::string& element) {
  if (element == "PlainRectStyle") return new PlainRectStyle();
  if (element == "TexturedRectStyle") return new TexturedRectStyle();
  if (element == "SimpleFontStyle") return new SimpleFontStyle();
  if (element == "LabelStyle") return new LabelStyle();
  if (element == "ButtonStyle") return new ButtonStyle();
  if (element == "DropdownListStyle") return new DropdownListStyle();
  if (element == "CheckboxStyle") return new CheckboxStyle();
  return nullptr;
}

bool inside(const Component* c, const Component* subtree) {
  for (; c; c = c->parent) {
    if (c == subtree) return true;
  }
  return false;
}

// The element of that name in a bank or registry (either may be missing);
// null, logged, when there is none.
template <class Map>
typename Map::mapped_type lookUp(const Map* bank, const std::string& name, const char* kind) {
  if (bank) {
    auto it = bank->find(name);
    if (it != bank->end() && it->second) return it->second;
  }
  debug::warning(dbgGui, "Unknown %s \"%s\".", kind, name.c_str());
  return nullptr;
}

}  // namespace

GUI::GUI()
    : fonts(nullptr),
      images(nullptr),
      triggers(nullptr),
      styles(new StyleBank()),
      cursor(nullptr),
      capture(nullptr),
      focus(this),
      fallback(nullptr),
      active(false),
      repeatDelay(300),
      repeatInterval(30) {
  visible = false;
}

GUI::GUI(const std::string& file, ImageBank* images_, FontBank* fonts_, Triggers* triggers_)
    : fonts(fonts_),
      images(images_),
      triggers(triggers_),
      styles(new StyleBank()),
      cursor(nullptr),
      capture(nullptr),
      focus(nullptr),
      fallback(nullptr),
      active(false),
      dir(file.substr(0, file.rfind('/') + 1)),
      repeatDelay(300),
      repeatInterval(30) {
  try {
    std::unique_ptr<xml::Node> root(xml::loadXML(file.c_str()));
    if (root && root->name == "GUI") getFromNode(root.get(), nullptr);
  } catch (...) {
    // No destructor runs for a GUI that was never made; what it owns goes
    // here (the component part still takes the widgets read so far).
    delete styles;
    delete cursor;
    throw;
  }
}

GUI::~GUI() {
  delete styles;
  delete cursor;
  // The children go with the component part; nothing may reach them
  // through the records meanwhile.
  focus = nullptr;
  capture = nullptr;
}

void GUI::getSelfFromNode(const xml::Node* node, GUI* gui) {
  GUI* g = gui ? gui : this;
  Component::getSelfFromNode(node, g);
  for (const xml::Node* element : node->children) {
    if (element->name == "images") {
      if (!images) {
        debug::error(dbgGui, "The GUI has no image bank for its images.");
        continue;
      }
      readImages(element);
      images->release();
      refreshImages();
    } else {
      readStyleElement(element, g);
    }
  }
  if (const std::string* cursorName = node->getAttribute("cursor")) {
    delete cursor;
    cursor = new ImageSprite(Vector2D(0, 0), false, nullptr);
    // Without its image the cursor still moves and hovers; it is not drawn.
    cursor->setImage(findImage(*cursorName));
    cursor->visible = true;
    cursor->position = Vector2D(width / 2, height / 2);
  }
}

void GUI::readStyleElement(const xml::Node* element, GUI* gui) {
  std::unique_ptr<Style> style(makeStyle(element->name));
  if (!style) return;
  style->getFromNode(element, gui);
  auto taken = styles->find(style->name);
  if (taken == styles->end() || !taken->second) {
    *styles += style.release();
    return;
  }
  // Replacing the earlier style would leave whatever points at it (other
  // styles, widgets of an earlier GUI read) pointing at a deleted one;
  // the earlier style takes the later settings instead.
  Style* earlier = taken->second;
  const Style& later = *style;
  if (typeid(*earlier) == typeid(later)) {
    debug::warning(dbgGui, "Style \"%s\" is defined twice; the later definition applies.", style->name.c_str());
    earlier->assign(later);
  } else {
    debug::error(dbgGui, "Style \"%s\" is defined twice with different kinds; the later one is ignored.",
                 style->name.c_str());
  }
}

void GUI::readImages(const xml::Node* element) {
  ImageBank declared;
  declared.getFromNode(element, dir);
  while (!declared.empty()) {
    Image* image = declared.begin()->second;
    declared -= image;
    auto taken = images->find(image->name);
    if (taken == images->end() || !taken->second) {
      *images += image;
      continue;
    }
    // Replacing the earlier image would leave the styles and the cursor
    // that use it pointing at a deleted one; it takes the later settings
    // instead and is loaded again from its new file.
    debug::warning(dbgGui, "Image \"%s\" is defined twice; the later definition applies.", image->name.c_str());
    Image* earlier = taken->second;
    earlier->fileName = image->fileName;
    earlier->hotSpot = image->hotSpot;
    earlier->clamp = image->clamp;
    earlier->filter = image->filter;
    delete image;
  }
}

void GUI::refreshImages() {
  try {
    images->refresh();
  } catch (const std::string& message) {
    debug::error(dbgGui, "%s", message.c_str());
  }
}

void GUI::draw() {
  if (!visible) return;
  glPushAttrib(GL_ALL_ATTRIB_BITS);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glDisable(GL_DEPTH_TEST);
  glEnable(GL_BLEND);
  currentPos = Vector2D(0, 0);
  Component::draw();
  glPopAttrib();
}

void GUI::drawSelfPost() {
  // A cursor whose image is missing or could not be loaded is not drawn.
  if (cursor && cursor->visible && cursor->image && cursor->image->texture) cursor->draw();
}

bool GUI::pass(const SDL_Event& event, ControlQueue* queue) {
  return fallback ? fallback->evaluate(event, queue) : false;
}

void GUI::hover(ControlQueue* queue) {
  const Vector2D p = cursor->position;
  Component* hit = find(p);
  if (capture) {
    if (hit == capture) {
      if (focus != capture) {
        capture->enter(queue, p);
        capture->setFocused(true);
      }
    } else if (focus == capture) {
      capture->leave(queue, p);
      setFocused(true);
    }
    return;
  }
  if (hit == focus) return;
  if (focus) focus->leave(queue, p);
  if (hit) {
    hit->enter(queue, p);
    hit->setFocused(true);
  }
}

Component* GUI::focusHolder(ControlQueue* queue) {
  // The shell hides panels under a resting pointer; what the player sees
  // under it, not a hidden widget, is what keys and clicks reach.
  if (focus && !focus->isShown() && cursor) hover(queue);
  return focus && focus->isShown() ? focus : nullptr;
}

Component* GUI::target(ControlQueue* queue) { return capture ? capture : focusHolder(queue); }

bool GUI::evaluate(const SDL_Event& event, ControlQueue* queue) {
  if (!active) return pass(event, queue);
  switch (event.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
      // Keys follow the focus, also while another component holds the
      // mouse capture.
      Component* holder = focusHolder(queue);
      const unsigned short character = event.key.keysym.unicode;
      const bool taken = holder && (event.type == SDL_KEYDOWN ? holder->keyDown(queue, character)
                                                              : holder->keyUp(queue, character));
      return taken || pass(event, queue);
    }
    case SDL_MOUSEMOTION: {
      if (!cursor) return true;
      Vector2D p(static_cast<float>(event.motion.x) - x, (height - static_cast<float>(event.motion.y)) - y);
      if (p.x < 0) p.x = 0;
      if (p.x >= width) p.x = width - 1;
      if (p.y < 0) p.y = 0;
      if (p.y >= height) p.y = height - 1;
      cursor->position = p;
      hover(queue);
      return true;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      Component* holder = target(queue);
      const Vector2D p(event.button.x, event.button.y);
      if (holder) {
        if (event.type == SDL_MOUSEBUTTONDOWN) {
          holder->mouseDown(queue, p, event.button.button);
        } else {
          holder->mouseUp(queue, p, event.button.button);
        }
      }
      return true;
    }
    default:
      return pass(event, queue);
  }
}

void GUI::perform(double dt, ControlQueue* queue) {
  if (fallback) fallback->perform(dt, queue);
}

void GUI::flush() {
  if (fallback) fallback->flush();
}

void GUI::forget(const Component* subtree) {
  if (focus && inside(focus, subtree)) {
    for (Component* c = focus; c; c = c->parent) c->focused = false;
    focus = nullptr;
  }
  if (capture && inside(capture, subtree)) capture = nullptr;
}

Style* GUI::findStyle(const std::string& name) const { return lookUp(styles, name, "style"); }

Image* GUI::findImage(const std::string& name) const { return lookUp(images, name, "image"); }

fonts::Font* GUI::findFont(const std::string& name) const { return lookUp(fonts, name, "font"); }

Trigger* GUI::findTrigger(const std::string& name) const { return lookUp(triggers, name, "trigger"); }

void readImage(const xml::Node* node, const std::string& attribute, const GUI* gui, Image*& field) {
  if (const std::string* wanted = node->getAttribute(attribute)) {
    field = lookUp(gui ? gui->images : nullptr, *wanted, "image");
  }
}

void readFont(const xml::Node* node, const std::string& attribute, const GUI* gui, fonts::Font*& field) {
  if (const std::string* wanted = node->getAttribute(attribute)) {
    field = lookUp(gui ? gui->fonts : nullptr, *wanted, "font");
  }
}

void readTrigger(const xml::Node* node, const std::string& attribute, const GUI* gui, Trigger*& field) {
  if (const std::string* wanted = node->getAttribute(attribute)) {
    field = lookUp(gui ? gui->triggers : nullptr, *wanted, "trigger");
  }
}

}  // namespace gui
}  // namespace korvu
