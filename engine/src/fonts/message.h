// Timed on-screen messages: a text that lives for a number of milliseconds,
// one that also blinks, and an owning list of them that is stepped once per
// frame and drawn centred in one rectangle with a default font.
#pragma once

#include <list>
#include <string>

#include "korvu.h"
#include "mathtypes.h"

namespace korvu {
namespace fonts {

class Font;

class Message {
 public:
  const Font* font;  // not owned; null until set
  std::string text;
  float remainingTime;  // milliseconds

  Message();
  Message(const std::string& text, float time);
  virtual ~Message() = default;

  // Counts the remaining time down by dt milliseconds.
  virtual void perform(float dt);
  // Prints the text in the rectangle; a message without a font draws nothing.
  virtual void draw(Rect r, JustificationHorizontal h, JustificationVertical v);
};

// Shown for onTime, hidden for offTime, and so on, starting shown. The
// blinking never ends the message; its remaining time does.
class BlinkMessage : public Message {
 public:
  float phaseTimer;  // milliseconds left in the current phase
  bool visible;
  float onTime;
  float offTime;

  BlinkMessage();
  // An off time below 0 makes the hidden phase as long as the shown one.
  BlinkMessage(const std::string& text, float time, float onTime, float offTime);

  // Counts both timers down; a step longer than a phase flips the message
  // as often as the phases it spans. Phases that add up to no time at all
  // leave the message shown.
  void perform(float dt) override;
  void draw(Rect r, JustificationHorizontal h, JustificationVertical v) override;
};

class Messages {
 public:
  std::list<Message*> messages;  // owned, in the order added
  Rect rectangle;                // where every message is drawn
  const Font* font;              // given to added messages without one; not owned
  bool keep;                     // false: adding a message first deletes the others

  Messages();
  ~Messages();

  Messages(const Messages&) = delete;
  Messages& operator=(const Messages&) = delete;

  // Takes ownership.
  void operator+=(Message* message);
  // Steps every message, then deletes those whose time is up.
  void perform(float dt);
  // Draws every message centred both ways in the rectangle, each one from
  // the rectangle again; the modelview matrix is left as found.
  void draw();
  void clear();
  // Deletes every message whose remaining time is 0 or less.
  void purge();
};

}  // namespace fonts
}  // namespace korvu
