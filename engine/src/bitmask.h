// One bit per pixel for pixel-exact 2D collision tests. Rows run from the
// picture's top row down; each row starts on a word of its own, and pixel
// column x is bit 31 - (x mod 32) of the row's word x / 32 (the leftmost
// pixel of a word is its most significant bit). Bits past the width are
// padding and stay 0 in masks built by the engine.
#pragma once

#include <cstdint>

namespace korvu {

class Bitmask {
 public:
  int width;   // pixels per row
  int height;  // rows
  uint32_t* words;  // owned; wordsPerRow() * height words
  int wordCount;

  // All bits clear. Negative sizes count as 0.
  Bitmask(int width, int height);
  ~Bitmask();

  Bitmask(const Bitmask&) = delete;
  Bitmask& operator=(const Bitmask&) = delete;

  int wordsPerRow() const { return (width + 31) / 32; }

  void clear();

  // The pixel at column x of row y (row 0 is the top row); the caller keeps
  // both inside the mask.
  bool get(int x, int y) const {
    return (words[y * wordsPerRow() + x / 32] >> (31 - x % 32)) & 1u;
  }
  void set(int x, int y) { words[y * wordsPerRow() + x / 32] |= 1u << (31 - x % 32); }

  // Debug dump on standard output: "W x H:", then each row's words as "#"
  // and "." from the most significant bit, each row ended by "|".
  void print() const;
};

// Whether b, with its first pixel placed at column dx and row dy of a, has a
// set pixel on a set pixel of a. Offsets may be negative.
bool checkCollisionBitmask(const Bitmask* a, const Bitmask* b, int dx, int dy);

// Debug dumps of the overlap of a and of b placed at (dx, dy): "." neither,
// "1" only a, "2" only b, "X" both. The old form adds a header and a footer.
void printCollisionBitmask(const Bitmask* a, const Bitmask* b, int dx, int dy);
void oldprintCollisionBitmask(const Bitmask* a, const Bitmask* b, int dx, int dy);

}  // namespace korvu
