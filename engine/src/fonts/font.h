// Fonts: the abstract font knows its line height and the width of a text,
// prints a text at the current modelview position, and places a text in a
// rectangle or beside the position. Printing leaves the modelview matrix
// moved right by the text's advance, so whoever prints sets the matrix first.
// 2D units are pixels with y upwards; the current colour colours the text.
// Texts are UTF-8; widths and cuts go by whole characters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "bank.h"
#include "korvu.h"
#include "mathtypes.h"

namespace korvu {
namespace fonts {

// Texts printed through printf are cut after this many characters.
constexpr int PRINTF_BUFFER_SIZE = 1024;
// What stands for the end of a text cut to a width.
extern const char* const ELLIPSIS;  // "..."

// What readCharacter returns for a byte that starts no well-formed UTF-8
// sequence (a stray, overlong, surrogate or cut-off one).
constexpr int32_t BAD_CHARACTER = -1;
// Reads the UTF-8 character at `text`, moves `text` past it and returns its
// code point; a bad byte is read alone, so that each shows as one mark.
// Reads no further than a zero (which is read as code 0).
int32_t readCharacter(const char*& text);
// Where the character starting at `at` (before the text's end) ends: the
// places a text may be cut at.
std::size_t nextCharacter(const std::string& text, std::size_t at);

class Font {
 public:
  // The key under which a font bank stores the font.
  std::string name;
  // The bank that holds the font, null while in none.
  MappedBank<Font>* bank;
  // How far glyphs reach below the base line by default.
  uint8_t yHotSpot;

  Font();
  // Leaves its bank.
  virtual ~Font();

  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;

  // Line height in pixels.
  virtual uint8_t getHeight() const = 0;
  // Advance of a zero-terminated text in pixels, as print draws it.
  virtual uint16_t getWidth(const char* text) const = 0;
  // Draws the text with its base line's start at the current position and
  // leaves the position moved on by its advance.
  virtual void print(const char* text) const = 0;

  // The text as it fits in `width` pixels: itself when its advance is no
  // wider, else its longest beginning (trailing spaces dropped) followed by
  // ELLIPSIS that is, or nothing when not even the ellipsis fits; with
  // `keepEnd`, ELLIPSIS followed by its longest end instead (for a text
  // being typed, whose end is where the typing goes on). Cuts fall between
  // characters. Only ever for what is drawn: the text a caller keeps stays
  // whole.
  std::string cutToWidth(const std::string& text, int width, bool keepEnd = false) const;

  // Places the text in the rectangle: horizontally at its left edge, centre
  // or right edge, its base line at the top (less the line height), centre
  // or bottom. Only the text's advance is left behind.
  void print(const Rect& r, JustificationHorizontal h, JustificationVertical v, const char* text) const;
  // Prints starting at, centred on or ending at the current position; the
  // shift is not undone.
  void print(JustificationHorizontal h, const char* text) const;

  // The same, formatted by the printf rules first.
  void printf(JustificationHorizontal h, const char* format, ...) const __attribute__((format(printf, 3, 4)));
  void printf(const Rect& r, JustificationHorizontal h, JustificationVertical v, const char* format, ...) const
      __attribute__((format(printf, 5, 6)));
  void printf(const char* format, ...) const __attribute__((format(printf, 2, 3)));
};

}  // namespace fonts
}  // namespace korvu
