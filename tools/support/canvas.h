// Painting textures in code: an opaque picture of floats with wrapping
// coordinates (textures repeat), deterministic grain and noise, blocky
// lettering, written as PNG through the shared picture writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace glimro_tools {

struct Rgb {
  float r, g, b;
};

Rgb mix(const Rgb& a, const Rgb& b, float t);
Rgb scale(const Rgb& c, float f);

// The same number for the same arguments on every run.
uint32_t hash(uint32_t a, uint32_t b = 0, uint32_t c = 0);
// In [0, 1).
float hashUnit(uint32_t a, uint32_t b = 0, uint32_t c = 0);
// Smooth noise in [0, 1) over a grid of cells of the given size that
// repeats every `period` cells, so textures tile without a seam.
float valueNoise(float x, float y, int cell, int period, uint32_t seed);

class Canvas {
 public:
  // Both sides must be powers of two (textures are mipmapped); throws a
  // std::string otherwise.
  Canvas(int width, int height, const Rgb& fill = {0, 0, 0});

  int width() const { return width_; }
  int height() const { return height_; }

  // Coordinates wrap around both edges.
  Rgb get(int x, int y) const;
  void set(int x, int y, const Rgb& c, float alpha = 1.0f);
  // Pixels x0 <= x < x1, y0 <= y < y1 (wrapping).
  void rect(int x0, int y0, int x1, int y1, const Rgb& c, float alpha = 1.0f);
  // Scales every pixel by 1 + amount * (noise - 0.5): grain per pixel and,
  // with cell > 1, blotches that tile.
  void grain(float amount, uint32_t seed, int cell = 1);
  // Capital letters, digits and the blank in a 5 by 7 block font, each dot
  // `dot` pixels wide; (x, y) is the top left corner of the first letter.
  void text(int x, int y, int dot, const std::string& words, const Rgb& c);
  // Width in pixels that text() covers.
  static int textWidth(const std::string& words, int dot);

  // Writes an 8-bit RGBA PNG, rounded plainly; throws a std::string on
  // failure.
  void save(const std::string& fileName) const;

 private:
  int width_;
  int height_;
  std::vector<Rgb> pixels_;
};

}  // namespace glimro_tools
