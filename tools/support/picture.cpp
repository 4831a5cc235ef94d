#include "picture.h"

#include <SDL.h>

#include <cmath>
#include <cstring>

#include "screenshot.h"

namespace glimro_tools {

Random::Random(uint64_t seed) : state(seed ? seed : 0x9E3779B97F4A7C15ull) {}

uint32_t Random::next() {
  state ^= state << 13;
  state ^= state >> 7;
  state ^= state << 17;
  return static_cast<uint32_t>(state >> 32);
}

double Random::uniform() { return next() / 4294967296.0; }

double Random::uniform(double min, double max) { return min + (max - min) * uniform(); }

Picture::Picture(int width, int height, Rgba fill)
    : width(width), height(height), pixels(static_cast<size_t>(width) * height, fill) {}

namespace {

// A channel value in 0..1 as a byte, rounded with the given offset
// (-0.5..0.5 steps); 0 and 1 map to 0 and 255 whatever the offset.
uint8_t toByte(float value, double dither) {
  if (!(value > 0.0f)) return 0;
  if (value >= 1.0f) return 255;
  const long rounded = std::lround(value * 255.0 + dither);
  return static_cast<uint8_t>(rounded < 0 ? 0 : rounded > 255 ? 255 : rounded);
}

}  // namespace

void Picture::savePng(const std::string& file) const { write(file, nullptr); }

void Picture::savePng(const std::string& file, uint64_t ditherSeed) const {
  Random random(ditherSeed);
  write(file, &random);
}

void Picture::write(const std::string& file, Random* random) const {
  SDL_Surface* surface = SDL_CreateRGBSurface(0, width, height, 32, 0x000000FF, 0x0000FF00,
                                              0x00FF0000, 0xFF000000);
  if (!surface) throw std::string("Could not make a surface for \"") + file + "\": " + SDL_GetError();
  for (int y = 0; y < height; ++y) {
    Uint8* row = static_cast<Uint8*>(surface->pixels) + static_cast<size_t>(y) * surface->pitch;
    for (int x = 0; x < width; ++x) {
      const Rgba& p = at(x, y);
      // Two uniform draws make a triangular dither that hides 8-bit steps
      // without adding visible grain.
      const double dither = random ? (random->uniform() + random->uniform()) * 0.5 - 0.5 : 0.0;
      const Uint32 value = SDL_MapRGBA(surface->format, toByte(p.r, 0), toByte(p.g, 0), toByte(p.b, 0),
                                       toByte(p.a, dither));
      std::memcpy(row + x * 4, &value, sizeof value);
    }
  }
  try {
    korvu::savePng(surface, file.c_str());
  } catch (...) {
    SDL_FreeSurface(surface);
    throw;
  }
  SDL_FreeSurface(surface);
}

}  // namespace glimro_tools
