// A one-line text entry that edits its caption at the end: printable
// characters and Backspace, with key repeat, up to MAX_LENGTH characters
// (UTF-8 sequences, not bytes).
// It marks itself with "*" while it has the focus, and turns SDL's unicode
// translation on while the pointer is over it, so that key events carry
// characters.
#pragma once

#include <cstddef>
#include <string>

#include "gui/captioned.h"
#include "gui/component.h"

namespace korvu {
namespace gui {

class LabelStyle;

class Textfield : public Component, public CaptionedObject {
 public:
  // The longest text a field takes; longer typing is dropped.
  static constexpr std::size_t MAX_LENGTH = 32;

  unsigned short repeatKey;  // the character that repeats; 0: none
  // Characters refused because the text was full, counted until the owner
  // sets it back to 0 (after telling the player why the typing stopped).
  unsigned refused;
  float repeatTimer;         // milliseconds towards the next repeat
  LabelStyle* style;         // not owned

  Textfield();
  ~Textfield() override;
  void getSelfFromNode(const xml::Node* node, GUI* gui) override;
  void drawSelf() override;
  // The key repeat; a field that lost the focus stops repeating.
  void performSelf(ControlQueue* queue, float dt) override;
  void enter(ControlQueue* queue, Vector2D position) override;
  void leave(ControlQueue* queue, Vector2D position) override;
  // Backspace (8, which takes the last UTF-8 character) and the printable
  // characters 32 to 126 and 128 to 255 (appended in UTF-8) edit the text
  // and start the repeat; Tab walks the focus on; everything else (Delete,
  // 127, among it) is not taken.
  bool keyDown(ControlQueue* queue, unsigned short character) override;
  // Ends the repeat, whatever the key; always taken.
  bool keyUp(ControlQueue* queue, unsigned short character) override;
  // The caption's length in characters, as MAX_LENGTH counts them.
  std::size_t length() const;

 private:
  std::string shown;  // what is printed; kept so that drawing allocates nothing
};

}  // namespace gui
}  // namespace korvu
