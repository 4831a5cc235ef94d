#include "fonts/font.h"

#include <GL/gl.h>

#include <cassert>
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "utf8.h"

namespace korvu {
namespace fonts {

const char* const ELLIPSIS = "...";

int32_t readCharacter(const char*& text) {
  uint32_t code = 0;
  // Four bytes at most: a zero ends the text before any byte after it.
  const size_t length = decodeUtf8(text, 4, code);
  text += length ? length : 1;
  return length ? static_cast<int32_t>(code) : BAD_CHARACTER;
}

std::size_t nextCharacter(const std::string& text, std::size_t at) {
  const char* p = text.c_str() + at;
  readCharacter(p);
  return static_cast<std::size_t>(p - text.c_str());
}

Font::Font() : bank(nullptr), yHotSpot(0) {}

Font::~Font() {
  if (bank) *bank -= this;
}

namespace {

// getWidth counts in 16 bits, which a long text (a name from a hand-edited
// file) overflows: measured in pieces of this many characters, no piece
// can, as no character advances by more than 2 x 255 pixels. The pieces
// end between characters, where a cut changes nothing that is drawn.
constexpr size_t MEASURED_PIECE = 128;

long widthOf(const Font& font, const std::string& text) {
  long sum = 0;
  for (size_t at = 0; at < text.size();) {
    size_t end = at;
    for (size_t n = 0; n < MEASURED_PIECE && end < text.size(); ++n) end = nextCharacter(text, end);
    sum += font.getWidth(text.substr(at, end - at).c_str());
    at = end;
  }
  return sum;
}

}  // namespace

std::string Font::cutToWidth(const std::string& text, int width, bool keepEnd) const {
  if (widthOf(*this, text) <= width) return text;
  // Where each character starts, then the end: a cut inside a character
  // would show its pieces as marks.
  std::vector<size_t> cuts{0};
  while (cuts.back() < text.size()) cuts.push_back(nextCharacter(text, cuts.back()));
  const size_t count = cuts.size() - 1;
  // The part of the text kept, `length` characters at the cut side.
  const auto kept = [&](size_t length) {
    return keepEnd ? text.substr(cuts[count - length]) : text.substr(0, cuts[length]);
  };
  const auto shown = [&](const std::string& part) { return keepEnd ? ELLIPSIS + part : part + ELLIPSIS; };
  // A longer part is never narrower than a shorter one, so the longest
  // that fits with the ellipsis is found by halving.
  const auto fits = [&](size_t length) { return widthOf(*this, shown(kept(length))) <= width; };
  if (!fits(0)) return std::string();
  size_t good = 0, bad = count;
  while (bad - good > 1) {
    const size_t middle = good + (bad - good) / 2;
    (fits(middle) ? good : bad) = middle;
  }
  std::string part = kept(good);
  // No space left hanging beside the ellipsis.
  if (keepEnd) {
    const size_t first = part.find_first_not_of(' ');
    part.erase(0, first == std::string::npos ? part.size() : first);
  } else {
    part.erase(part.find_last_not_of(' ') + 1);
  }
  return shown(part);
}

void Font::print(const Rect& r, JustificationHorizontal h, JustificationVertical v, const char* text) const {
  const int width = getWidth(text);
  const int height = getHeight();
  float x = r.x;
  switch (h) {
    case JUSTIFY_LEFT:
      x = r.x;
      break;
    case JUSTIFY_HCENTER:
      x = r.x + 0.5f * r.w - static_cast<float>(width / 2);
      break;
    case JUSTIFY_RIGHT:
      x = r.x + r.w - static_cast<float>(width);
      break;
    default:
      assert(!"horizontal justification out of range");
  }
  float y = r.y;
  switch (v) {
    case JUSTIFY_TOP:
      y = r.y + r.h - static_cast<float>(height);
      break;
    case JUSTIFY_VCENTER:
      y = r.y + 0.5f * r.h - static_cast<float>(height / 2);
      break;
    case JUSTIFY_BOTTOM:
      y = r.y;
      break;
    default:
      assert(!"vertical justification out of range");
  }
  glTranslatef(x, y, 0.0f);
  print(text);
  glTranslatef(-x, -y, 0.0f);
}

void Font::print(JustificationHorizontal h, const char* text) const {
  switch (h) {
    case JUSTIFY_HCENTER:
      // -ceil(width / 2)
      glTranslatef(static_cast<float>((-static_cast<int>(getWidth(text))) >> 1), 0.0f, 0.0f);
      break;
    case JUSTIFY_RIGHT:
      glTranslatef(-static_cast<float>(getWidth(text)), 0.0f, 0.0f);
      break;
    default:
      break;
  }
  print(text);
}

void Font::printf(JustificationHorizontal h, const char* format, ...) const {
  char buffer[PRINTF_BUFFER_SIZE];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  print(h, buffer);
}

void Font::printf(const Rect& r, JustificationHorizontal h, JustificationVertical v, const char* format, ...) const {
  char buffer[PRINTF_BUFFER_SIZE];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  print(r, h, v, buffer);
}

void Font::printf(const char* format, ...) const {
  char buffer[PRINTF_BUFFER_SIZE];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  print(buffer);
}

}  // namespace fonts
}  // namespace korvu
