#include "gui/textfield.h"

#include <GL/gl.h>
#include <SDL.h>

#include "fonts/font.h"
#include "gui/gui.h"
#include "gui/widgetstyle.h"

namespace korvu {
namespace gui {

namespace {

// The root's repeat timing, or the defaults for a field outside a GUI.
float delayOf(const Component* c) {
  const GUI* root = c->getRoot();
  return root ? root->repeatDelay : 300.0f;
}

float intervalOf(const Component* c) {
  const GUI* root = c->getRoot();
  return root ? root->repeatInterval : 30.0f;
}

}  // namespace

Textfield::Textfield() : repeatKey(0), refused(0), repeatTimer(0), style(nullptr) { focusable = true; }

Textfield::~Textfield() {}

void Textfield::getSelfFromNode(const xml::Node* node, GUI* gui) {
  Component::getSelfFromNode(node, gui);
  CaptionedObject::getSelfFromNode(node, gui);
  readStyle(node, "style", gui, style, "label style");
}

void Textfield::drawSelf() {
  if (!style) return;
  const Rect r(0, 0, width, height);
  style->draw(r);
  shown.assign(caption);
  if (focused) shown += '*';
  glPushMatrix();
  // Typing goes on at the end: a text too wide for a cutting style shows that.
  style->print(r, shown.c_str(), image, true);
  glPopMatrix();
}

void Textfield::performSelf(ControlQueue* queue, float dt) {
  if (repeatKey == 0) return;
  // Key-up events go to whoever holds the focus, so a field the focus left
  // (by Tab) would never see the release of its repeating key.
  if (!focused) {
    repeatKey = 0;
    return;
  }
  const float interval = intervalOf(this);
  repeatTimer += dt;
  // A non-positive interval would never let the loop end.
  if (interval <= 0) {
    repeatTimer = 0;
    keyDown(queue, repeatKey);
    return;
  }
  while (repeatKey != 0 && repeatTimer >= interval) {
    repeatTimer -= interval;
    keyDown(queue, repeatKey);
  }
}

void Textfield::enter(ControlQueue*, Vector2D) { SDL_EnableUNICODE(1); }

void Textfield::leave(ControlQueue*, Vector2D) {
  SDL_EnableUNICODE(0);
  repeatKey = 0;
}

bool Textfield::keyDown(ControlQueue*, unsigned short character) {
  if (character == 8) {
    if (caption.empty()) {
      repeatKey = 0;
      return true;
    }
    // The last character goes whole, as a byte of it left behind would be
    // drawn as a mark.
    size_t last = 0;
    for (size_t at = 0; at < caption.size(); at = fonts::nextCharacter(caption, at)) last = at;
    caption.erase(last);
  } else if ((character >= 32 && character <= 126) || (character >= 128 && character <= 255)) {
    if (length() >= MAX_LENGTH) {
      repeatKey = 0;
      ++refused;
      return true;
    }
    // Texts are UTF-8 everywhere in the game: a Latin-1 letter is appended
    // as its character, not as the lone byte of its code.
    if (character < 128) {
      caption += static_cast<char>(character);
    } else {
      caption += static_cast<char>(0xC0 | (character >> 6));
      caption += static_cast<char>(0x80 | (character & 0x3F));
    }
  } else if (character == 9) {
    focusNext();
    return true;
  } else {
    return false;
  }
  if (character != repeatKey) {
    repeatKey = character;
    repeatTimer = -delayOf(this);
  }
  return true;
}

std::size_t Textfield::length() const {
  std::size_t characters = 0;
  for (std::size_t at = 0; at < caption.size(); at = fonts::nextCharacter(caption, at)) ++characters;
  return characters;
}

bool Textfield::keyUp(ControlQueue*, unsigned short) {
  repeatKey = 0;
  return true;
}

}  // namespace gui
}  // namespace korvu
