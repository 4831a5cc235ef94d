// Saving what is on the screen as an interlaced 8-bit RGBA PNG file.
#pragma once

#include <SDL.h>

namespace korvu {

// Reads the whole window back and writes it, top row first, as a PNG file
// (replacing an older one). Throws a std::string on failure.
void saveScreenshot(const char* file);

// Writes any surface as an 8-bit RGBA PNG with Adam7 interlacing; a surface
// without alpha gives alpha 255. Throws a std::string on failure.
void savePng(SDL_Surface* surface, const char* file);

// The raw pixel value at (x, y), which the caller keeps inside the surface;
// an unknown pixel size logs a critical message and gives 0.
Uint32 getPixel(SDL_Surface* surface, int x, int y);

}  // namespace korvu
