#include "canvas.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "picture.h"

namespace glimro_tools {

Rgb mix(const Rgb& a, const Rgb& b, float t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Rgb scale(const Rgb& c, float f) { return {c.r * f, c.g * f, c.b * f}; }

uint32_t hash(uint32_t a, uint32_t b, uint32_t c) {
  uint32_t h = 0x9e3779b9u ^ a;
  h = (h ^ (h >> 16)) * 0x85ebca6bu;
  h ^= b + 0x7f4a7c15u + (h << 6) + (h >> 2);
  h = (h ^ (h >> 13)) * 0xc2b2ae35u;
  h ^= c + 0x165667b1u + (h << 6) + (h >> 2);
  h = (h ^ (h >> 16)) * 0x85ebca6bu;
  return h ^ (h >> 15);
}

float hashUnit(uint32_t a, uint32_t b, uint32_t c) { return (hash(a, b, c) >> 8) / 16777216.0f; }

float valueNoise(float x, float y, int cell, int period, uint32_t seed) {
  const float fx = x / cell, fy = y / cell;
  const int ix = static_cast<int>(std::floor(fx)), iy = static_cast<int>(std::floor(fy));
  float tx = fx - ix, ty = fy - iy;
  tx = tx * tx * (3 - 2 * tx);
  ty = ty * ty * (3 - 2 * ty);
  auto corner = [&](int cx, int cy) {
    const uint32_t wx = static_cast<uint32_t>(((cx % period) + period) % period);
    const uint32_t wy = static_cast<uint32_t>(((cy % period) + period) % period);
    return hashUnit(wx, wy, seed);
  };
  const float top = corner(ix, iy) + (corner(ix + 1, iy) - corner(ix, iy)) * tx;
  const float bottom = corner(ix, iy + 1) + (corner(ix + 1, iy + 1) - corner(ix, iy + 1)) * tx;
  return top + (bottom - top) * ty;
}

namespace {

bool powerOfTwo(int n) { return n > 0 && (n & (n - 1)) == 0; }

int wrap(int v, int size) { return ((v % size) + size) % size; }

// 5 by 7 glyphs, one string of 35 dots per glyph, rows from the top.
const std::map<char, const char*>& glyphs() {
  static const std::map<char, const char*> table = {
      {'A', ".###.#...##...#######...##...##...#"}, {'B', "####.#...##...#####.#...##...#####."},
      {'C', ".###.#...##....#....#....#...#.###."}, {'D', "####.#...##...##...##...##...#####."},
      {'E', "######....#....####.#....#....#####"}, {'F', "######....#....####.#....#....#...."},
      {'G', ".###.#...##....#.####...##...#.###."}, {'H', "#...##...##...#######...##...##...#"},
      {'I', ".###...#....#....#....#....#...###."}, {'K', "#...##..#.#.#..##...#.#..#..#.#...#"},
      {'L', "#....#....#....#....#....#....#####"}, {'M', "#...###.###.#.##...##...##...##...#"},
      {'N', "#...###..##.#.##..###...##...##...#"}, {'O', ".###.#...##...##...##...##...#.###."},
      {'P', "####.#...##...#####.#....#....#...."}, {'R', "####.#...##...#####.#.#..#..#.#...#"},
      {'S', ".#####....#.....###.....#....#####."}, {'T', "#####..#....#....#....#....#....#.."},
      {'U', "#...##...##...##...##...##...#.###."}, {'V', "#...##...##...##...##...#.#.#...#.."},
      {'W', "#...##...##...##.#.##.#.###.###...#"}, {'Y', "#...##...#.#.#...#....#....#....#.."},
      {'0', ".###.#...##..###.#.###..##...#.###."}, {'1', "..#...##....#....#....#....#...###."},
      {'2', ".###.#...#....#...#...#...#...#####"}, {'3', "####.....#....#.###.....#....#####."},
      {' ', "..................................."}};
  return table;
}

}  // namespace

Canvas::Canvas(int width, int height, const Rgb& fill) : width_(width), height_(height) {
  if (!powerOfTwo(width) || !powerOfTwo(height)) {
    throw "A texture of " + std::to_string(width) + " by " + std::to_string(height) +
        " pixels is not a power of two on both sides.";
  }
  pixels_.assign(static_cast<size_t>(width) * height, fill);
}

Rgb Canvas::get(int x, int y) const {
  return pixels_[static_cast<size_t>(wrap(y, height_)) * width_ + wrap(x, width_)];
}

void Canvas::set(int x, int y, const Rgb& c, float alpha) {
  Rgb& p = pixels_[static_cast<size_t>(wrap(y, height_)) * width_ + wrap(x, width_)];
  p = alpha >= 1.0f ? c : mix(p, c, alpha);
}

void Canvas::rect(int x0, int y0, int x1, int y1, const Rgb& c, float alpha) {
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) set(x, y, c, alpha);
  }
}

void Canvas::grain(float amount, uint32_t seed, int cell) {
  for (int y = 0; y < height_; ++y) {
    for (int x = 0; x < width_; ++x) {
      const float n = cell <= 1 ? hashUnit(static_cast<uint32_t>(x), static_cast<uint32_t>(y), seed)
                                : valueNoise(float(x), float(y), cell, std::max(1, width_ / cell), seed);
      Rgb& p = pixels_[static_cast<size_t>(y) * width_ + x];
      p = scale(p, 1.0f + amount * (n - 0.5f));
    }
  }
}

int Canvas::textWidth(const std::string& words, int dot) {
  return words.empty() ? 0 : static_cast<int>(words.size()) * 6 * dot - dot;
}

void Canvas::text(int x, int y, int dot, const std::string& words, const Rgb& c) {
  for (size_t i = 0; i < words.size(); ++i) {
    auto found = glyphs().find(words[i]);
    if (found == glyphs().end()) throw std::string("No glyph for \"") + words[i] + "\".";
    const char* dots = found->second;
    for (int row = 0; row < 7; ++row) {
      for (int col = 0; col < 5; ++col) {
        if (dots[row * 5 + col] != '#') continue;
        const int px = x + static_cast<int>(i) * 6 * dot + col * dot;
        rect(px, y + row * dot, px + dot, y + (row + 1) * dot, c);
      }
    }
  }
}

void Canvas::save(const std::string& fileName) const {
  Picture picture(width_, height_, {0, 0, 0, 1});
  for (size_t i = 0; i < pixels_.size(); ++i) picture.pixels[i] = {pixels_[i].r, pixels_[i].g, pixels_[i].b, 1};
  picture.savePng(fileName);
}

}  // namespace glimro_tools
