// Pictures that asset tools paint in floating point and write as 8-bit RGBA
// PNG files. Colours are straight (not premultiplied) red, green, blue and
// alpha in 0..1. Writing rounds with a small seeded dither, so smooth ramps
// show no bands and the same picture always gives the same bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace glimro_tools {

// A small deterministic generator (xorshift), the same sequence on every
// platform for a given seed.
class Random {
 public:
  explicit Random(uint64_t seed);
  uint32_t next();
  // Uniform in [0, 1).
  double uniform();
  double uniform(double min, double max);

 private:
  uint64_t state;
};

struct Rgba {
  float r, g, b, a;
};

class Picture {
 public:
  int width;
  int height;
  std::vector<Rgba> pixels;  // row by row, top row first

  // Every pixel starts as the given colour.
  Picture(int width, int height, Rgba fill);

  Rgba& at(int x, int y) { return pixels[static_cast<size_t>(y) * width + x]; }
  const Rgba& at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }

  // Writes the picture as an RGBA PNG through the engine's writer. Every
  // channel is clamped to 0..1 and rounded to 8 bits. With a dither seed,
  // alpha values strictly between 0 and 1 get a dither of under one step
  // from a generator seeded with it, so smooth ramps of light show no bands;
  // exact 0 and 1 stay exact (so empty borders stay empty). Colours are
  // rounded plainly: they only scale the light. Without a seed everything
  // is rounded plainly, for small detail such as glyphs. Throws a
  // std::string on failure.
  void savePng(const std::string& file) const;
  void savePng(const std::string& file, uint64_t ditherSeed) const;

 private:
  void write(const std::string& file, Random* dither) const;
};

}  // namespace glimro_tools
