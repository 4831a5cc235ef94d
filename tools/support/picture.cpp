#include "picture.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "catalog.h"
#include "screenshot.h"

namespace glimro_tools {

namespace {

uint8_t toByte(float value) {
  return static_cast<uint8_t>(std::lround(std::clamp(value, 0.0f, 1.0f) * 255.0f));
}

}  // namespace

Picture::Picture(int width_, int height_)
    : width(width_), height(height_), rgba(static_cast<size_t>(width_) * height_ * 4, 0) {}

void Picture::set(int x, int y, float red, float green, float blue, float alpha) {
  uint8_t* pixel = &rgba[(static_cast<size_t>(y) * width + x) * 4];
  pixel[0] = toByte(red);
  pixel[1] = toByte(green);
  pixel[2] = toByte(blue);
  pixel[3] = toByte(alpha);
}

void Picture::save(const std::string& file) const {
  const size_t slash = file.rfind('/');
  if (slash != std::string::npos) makeDirs(file.substr(0, slash));
  // Byte order R, G, B, A in memory whatever the machine's endianness.
  const Uint32 rmask = SDL_BYTEORDER == SDL_BIG_ENDIAN ? 0xff000000 : 0x000000ff;
  const Uint32 gmask = SDL_BYTEORDER == SDL_BIG_ENDIAN ? 0x00ff0000 : 0x0000ff00;
  const Uint32 bmask = SDL_BYTEORDER == SDL_BIG_ENDIAN ? 0x0000ff00 : 0x00ff0000;
  const Uint32 amask = SDL_BYTEORDER == SDL_BIG_ENDIAN ? 0x000000ff : 0xff000000;
  SDL_Surface* surface =
      SDL_CreateRGBSurface(SDL_SWSURFACE, width, height, 32, rmask, gmask, bmask, amask);
  if (!surface) throw std::string("Could not create a surface for ") + file;
  for (int y = 0; y < height; ++y)
    std::memcpy(static_cast<uint8_t*>(surface->pixels) + y * surface->pitch,
                &rgba[static_cast<size_t>(y) * width * 4], static_cast<size_t>(width) * 4);
  try {
    korvu::savePng(surface, file.c_str());
  } catch (...) {
    SDL_FreeSurface(surface);
    throw;
  }
  SDL_FreeSurface(surface);
}

}  // namespace glimro_tools
