#include "bitmask.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <iostream>

namespace korvu {

Bitmask::Bitmask(int width_, int height_)
    : width(std::max(width_, 0)), height(std::max(height_, 0)), words(nullptr), wordCount(0) {
  wordCount = wordsPerRow() * height;
  words = new uint32_t[static_cast<size_t>(wordCount)]();
}

Bitmask::~Bitmask() { delete[] words; }

void Bitmask::clear() { std::fill(words, words + wordCount, 0u); }

void Bitmask::print() const {
  std::printf("%d x %d:\n", width, height);
  std::fflush(stdout);
  const int perRow = wordsPerRow();
  for (int y = 0; y < height; ++y) {
    for (int i = 0; i < perRow; ++i) {
      const uint32_t word = words[y * perRow + i];
      for (int bit = 31; bit >= 0; --bit) std::cout << (((word >> bit) & 1u) ? '#' : '.');
    }
    std::cout << "|\n";
  }
  std::cout.flush();
}

bool checkCollisionBitmask(const Bitmask* a, const Bitmask* b, int dx, int dy) {
  if (dx == INT_MIN || dy == INT_MIN) return false;
  if (dx < 0) {
    std::swap(a, b);
    dx = -dx;
    dy = -dy;
  }
  if (dx >= a->width) return false;
  const int wordOffset = dx / 32;
  const int bitOffset = dx % 32;
  const int aWords = a->wordsPerRow();
  const int bWords = b->wordsPerRow();
  // b's words that reach over a's columns.
  const int n = std::min(bWords, (a->width - dx + 31) / 32);
  const int firstRow = std::max(dy, 0);
  const int endRow = std::min(a->height, b->height + dy);
  for (int y = firstRow; y < endRow; ++y) {
    const uint32_t* aRow = a->words + y * aWords + wordOffset;
    const uint32_t* bRow = b->words + (y - dy) * bWords;
    for (int i = 0; i < n; ++i) {
      // The 32 pixels of a under b's word i; with a bit offset they straddle
      // two of a's words, the last word of b's run included.
      uint32_t under = aRow[i] << bitOffset;
      if (bitOffset != 0 && wordOffset + i + 1 < aWords) under |= aRow[i + 1] >> (32 - bitOffset);
      if (under & bRow[i]) return true;
    }
  }
  return false;
}

namespace {

// The overlap of a and of b placed at (dx, dy), per axis: where it starts
// in a and in b and how long it is (0 or less: no overlap).
struct Overlap {
  int aStart, bStart, length;
};

Overlap overlap(int aSize, int bSize, int offset) {
  if (offset >= 0) return {offset, 0, std::min(bSize, aSize - offset)};
  return {0, -offset, std::min(aSize, bSize + offset)};
}

void printOverlap(const Bitmask* a, const Bitmask* b, const Overlap& x, const Overlap& y) {
  if (x.length <= 0 || y.length <= 0) return;
  for (int row = 0; row < y.length; ++row) {
    for (int column = 0; column < x.length; ++column) {
      const bool inA = a->get(x.aStart + column, y.aStart + row);
      const bool inB = b->get(x.bStart + column, y.bStart + row);
      std::cout << (inA ? (inB ? 'X' : '1') : (inB ? '2' : '.'));
    }
    std::cout << "\n";
  }
}

}  // namespace

void printCollisionBitmask(const Bitmask* a, const Bitmask* b, int dx, int dy) {
  printOverlap(a, b, overlap(a->width, b->width, dx), overlap(a->height, b->height, dy));
  std::cout.flush();
}

void oldprintCollisionBitmask(const Bitmask* a, const Bitmask* b, int dx, int dy) {
  const Overlap x = overlap(a->width, b->width, dx);
  const Overlap y = overlap(a->height, b->height, dy);
  std::cout << "--- BEGIN COLLISION BITMASK ---\n";
  std::cout << "xOffset=" << dx << " / yOffset=" << dy << "\n";
  std::cout << "overlapWidth=" << x.length << ", overlapHeight=" << y.length << "\n";
  std::cout << "ax1=" << x.aStart << ", ax2=" << x.aStart + x.length - 1 << ", ay1=" << y.aStart
            << ", ay2=" << y.aStart + y.length - 1 << "\n";
  std::cout << "bx1=" << x.bStart << ", bx2=" << x.bStart + x.length - 1 << "\n";
  std::cout.flush();
  std::fflush(stdout);
  printOverlap(a, b, x, y);
  std::cout << "--- END COLLISION BITMASK ---\n";
  std::cout.flush();
}

}  // namespace korvu
