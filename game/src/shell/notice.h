// The notice: what the player must know and would otherwise find only in
// the log, which a player who started the game from the desktop never sees
// (the warnings of start-up, over the first menu; a failed save). Each
// message starts a line of its own and is wrapped to the window's width; the
// lines stand in a dark box at the top of the window for a time, or until
// the first click.
#pragma once

#include <string>
#include <vector>

#include "mathtypes.h"

namespace korvu { namespace fonts { class Font; } }

namespace glimro {

// The text cut into lines no wider than `width` pixels in the font: at
// blanks (line breaks and tabs count as blanks), and where one word alone is
// wider, after a '/' of a path or else between any two characters. Every
// line holds at least one character.
std::vector<std::string> wrapText(const korvu::fonts::Font& font, const std::string& text, float width);

class Notice {
 public:
  // The messages as given to show, and the lines shown, wrapped; no lines:
  // nothing is shown.
  std::vector<std::string> messages;
  std::vector<std::string> lines;
  // Milliseconds the lines are still shown.
  float remaining = 0.0f;
  // Where the box stands, in window pixels with y upwards.
  korvu::Rect box;
  const korvu::fonts::Font* font = nullptr;  // not owned

  // Shows the messages in the window's top part, over no more than half of
  // it: lines beyond are summed up in a last line that points to the log.
  // Longer notices stay longer (10 s for one message, 3 s more for each
  // further one). Without messages or a font it shows nothing.
  void show(const std::vector<std::string>& given, const korvu::fonts::Font* withFont, float windowWidth,
            float windowHeight);
  // Counts the time down by dt milliseconds; a mouse button pressed in the
  // window (its event still queued, so the GUI gets it all the same) ends
  // the notice at once.
  void perform(float dt);
  void clear();
  // Draws the box and the lines; the OpenGL state is left as found.
  void draw() const;
};

// The one notice of the game, over the menus and the race alike.
extern Notice notice;

}  // namespace glimro
