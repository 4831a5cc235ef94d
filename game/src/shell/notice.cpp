#include "shell/notice.h"

#include <GL/gl.h>
#include <SDL.h>

#include <algorithm>

#include "fonts/font.h"

namespace glimro {

Notice notice;

namespace {

// Pixels between the window's edge and the box, and the box and its text.
const float MARGIN = 10.0f;
const float PADDING = 8.0f;
// Pixels between two lines besides the font's height.
const float LINE_GAP = 3.0f;

bool fits(const korvu::fonts::Font& font, const std::string& text, float width) {
  // The font measures in 16 bits, which a text of some thousand characters
  // overflows; no character is narrower than a pixel.
  return static_cast<float>(text.size()) <= width && static_cast<float>(font.getWidth(text.c_str())) <= width;
}

// The longest start of a word too wide for a line of its own that fits:
// up to and with a '/' where there is one, else as many characters as fit
// (one at least), cut between UTF-8 characters.
size_t cutWord(const korvu::fonts::Font& font, const std::string& word, float width) {
  size_t fitting = korvu::fonts::nextCharacter(word, 0);
  while (fitting < word.size()) {
    const size_t longer = korvu::fonts::nextCharacter(word, fitting);
    if (!fits(font, word.substr(0, longer), width)) break;
    fitting = longer;
  }
  const size_t slash = word.rfind('/', fitting - 1);
  return slash != std::string::npos && slash > 0 ? slash + 1 : fitting;
}

}  // namespace

std::vector<std::string> wrapText(const korvu::fonts::Font& font, const std::string& given, float width) {
  // Line breaks and tabs of a message (a reader's error text) are blanks
  // here: the font has no glyphs for them.
  std::string text = given;
  for (char& c : text)
    if (c == '\n' || c == '\r' || c == '\t') c = ' ';
  std::vector<std::string> lines;
  std::string line;
  size_t at = 0;
  while (at < text.size()) {
    if (text[at] == ' ') {
      ++at;
      continue;
    }
    size_t end = text.find(' ', at);
    if (end == std::string::npos) end = text.size();
    std::string word = text.substr(at, end - at);
    at = end;
    if (!line.empty() && fits(font, line + " " + word, width)) {
      line += " " + word;
      continue;
    }
    if (!line.empty()) lines.push_back(line);
    line.clear();
    while (!fits(font, word, width) && word.size() > 1) {
      const size_t cut = cutWord(font, word, width);
      lines.push_back(word.substr(0, cut));
      word.erase(0, cut);
    }
    line = word;
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

void Notice::show(const std::vector<std::string>& given, const korvu::fonts::Font* withFont, float windowWidth,
                  float windowHeight) {
  clear();
  font = withFont;
  if (given.empty() || !font) return;
  messages = given;
  const float textWidth = windowWidth - 2.0f * (MARGIN + PADDING);
  const float lineHeight = static_cast<float>(font->getHeight()) + LINE_GAP;
  const size_t most = std::max<size_t>(2, static_cast<size_t>((windowHeight / 2.0f - 2.0f * PADDING) / lineHeight));
  size_t messagesShown = 0;
  for (const std::string& message : messages) {
    std::vector<std::string> wrapped = wrapText(*font, message, textWidth);
    // A line is kept for the sum-up of the messages that do not fit.
    const bool last = messagesShown + 1 == messages.size();
    const size_t room = most - lines.size() - (last ? 0 : 1);
    if (wrapped.size() > room) {
      if (!lines.empty()) break;
      wrapped.resize(room - 1);
      wrapped.push_back("... (the whole message is in the game's log)");
    }
    lines.insert(lines.end(), wrapped.begin(), wrapped.end());
    ++messagesShown;
  }
  if (messagesShown < messages.size())
    lines.push_back("... and " + std::to_string(messages.size() - messagesShown) +
                    " more in the game's log (its standard output).");
  const float height = static_cast<float>(lines.size()) * lineHeight + 2.0f * PADDING;
  box = korvu::Rect(MARGIN, windowHeight - MARGIN - height, windowWidth - 2.0f * MARGIN, height);
  remaining = 10000.0f + 3000.0f * static_cast<float>(messagesShown > 0 ? messagesShown - 1 : 0);
}

void Notice::perform(float dt) {
  if (lines.empty()) return;
  remaining -= dt;
  SDL_Event event;
  SDL_PumpEvents();
  if (remaining <= 0.0f || SDL_PeepEvents(&event, 1, SDL_PEEKEVENT, SDL_MOUSEBUTTONDOWNMASK) > 0) clear();
}

void Notice::clear() {
  messages.clear();
  lines.clear();
  remaining = 0.0f;
}

void Notice::draw() const {
  if (lines.empty() || !font) return;
  glPushAttrib(GL_CURRENT_BIT | GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT);
  glPushMatrix();
  glLoadIdentity();
  glDisable(GL_TEXTURE_2D);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glColor4f(0.0f, 0.0f, 0.0f, 0.8f);
  glBegin(GL_QUADS);
  glVertex2f(box.x, box.y);
  glVertex2f(box.x + box.w, box.y);
  glVertex2f(box.x + box.w, box.y + box.h);
  glVertex2f(box.x, box.y + box.h);
  glEnd();
  // A warm white, apart from the menus' own colours.
  glColor4f(1.0f, 0.9f, 0.6f, 1.0f);
  const float lineHeight = static_cast<float>(font->getHeight()) + LINE_GAP;
  float top = box.y + box.h - PADDING;
  for (const std::string& line : lines) {
    glPushMatrix();
    font->print(korvu::Rect(box.x + PADDING, top - lineHeight, box.w - 2.0f * PADDING, lineHeight),
                korvu::JUSTIFY_LEFT, korvu::JUSTIFY_TOP, line.c_str());
    glPopMatrix();
    top -= lineHeight;
  }
  glPopMatrix();
  glPopAttrib();
}

}  // namespace glimro
