// An RGBA picture in memory that the asset tools paint pixel by pixel and
// write as a PNG file through the engine's PNG writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace glimro_tools {

struct Picture {
  int width;
  int height;
  // Top row first, four bytes per pixel.
  std::vector<uint8_t> rgba;

  Picture(int width, int height);

  // Channels in 0..1, clamped and rounded.
  void set(int x, int y, float red, float green, float blue, float alpha = 1.0f);

  // Writes the picture as a PNG file, making its folder first; throws a
  // std::string on failure.
  void save(const std::string& file) const;
};

}  // namespace glimro_tools
