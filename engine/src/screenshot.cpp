#include "screenshot.h"

#include <GL/gl.h>
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "debug.h"
#include "korvu.h"

namespace korvu {

namespace {

// Frees an SDL surface when it goes out of scope, thrown or not.
struct SurfaceGuard {
  SDL_Surface* surface;
  ~SurfaceGuard() {
    if (surface) SDL_FreeSurface(surface);
  }
};

// The rows of the PNG image. Built before libpng's error return point is
// set, so that no object with a destructor lives across setjmp/longjmp.
struct PngRows {
  std::vector<std::vector<png_byte>> rows;
  std::vector<png_bytep> pointers;
};

void buildRows(SDL_Surface* surface, PngRows& out) {
  const int width = surface->w;
  const int height = surface->h;
  out.rows.resize(static_cast<size_t>(height));
  out.pointers.resize(static_cast<size_t>(height));
  for (int y = 0; y < height; ++y) {
    std::vector<png_byte>& row = out.rows[static_cast<size_t>(y)];
    row.resize(static_cast<size_t>(width) * 4);
    for (int x = 0; x < width; ++x) {
      Uint8 r, g, b, a;
      SDL_GetRGBA(getPixel(surface, x, y), surface->format, &r, &g, &b, &a);
      png_byte* p = &row[static_cast<size_t>(x) * 4];
      p[0] = r;
      p[1] = g;
      p[2] = b;
      p[3] = a;
    }
    out.pointers[static_cast<size_t>(y)] = row.data();
  }
}

// The libpng part, kept apart from anything with a destructor: returns null
// on success or the message to throw.
const char* writePng(FILE* fp, png_uint_32 width, png_uint_32 height, png_bytep* rows) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    png_destroy_write_struct(&png, &info);
    return "Could not create libpng data structures.";
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return "Could not set libpng error callback.";
  }
  png_init_io(png, fp);
  png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_ADAM7,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return nullptr;
}

}  // namespace

Uint32 getPixel(SDL_Surface* surface, int x, int y) {
  const int bpp = surface->format->BytesPerPixel;
  const Uint8* p = static_cast<const Uint8*>(surface->pixels) + y * surface->pitch + x * bpp;
  switch (bpp) {
    case 1:
      return *p;
    case 2: {
      Uint16 v;
      std::memcpy(&v, p, sizeof v);
      return v;
    }
    case 3:
      return static_cast<Uint32>(p[0]) | (static_cast<Uint32>(p[1]) << 8) | (static_cast<Uint32>(p[2]) << 16);
    case 4: {
      Uint32 v;
      std::memcpy(&v, p, sizeof v);
      return v;
    }
    default:
      debug::critical(dbgCore, "Unknown surface format (bpp=%d).", bpp);
      return 0;
  }
}

void savePng(SDL_Surface* surface, const char* file) {
  FILE* fp = std::fopen(file, "wb");
  if (!fp) throw std::string("Could not open file \"") + file + "\" for writing.";
  PngRows rows;
  try {
    buildRows(surface, rows);
  } catch (const std::bad_alloc&) {
    std::fclose(fp);
    throw std::string("Out of memory");
  }
  const char* failure = writePng(fp, static_cast<png_uint_32>(surface->w), static_cast<png_uint_32>(surface->h),
                                 rows.pointers.data());
  // Buffered bytes reach the disk only now; a full disk shows up here.
  bool closed = std::fclose(fp) == 0;
  if (failure) throw std::string(failure);
  if (!closed) throw std::string("Could not write file \"") + file + "\".";
}

void saveScreenshot(const char* file) {
  if (!screen) throw std::string("No screen to take a screenshot of.");
  const int width = screen->w;
  const int height = screen->h;
  SurfaceGuard guard{SDL_CreateRGBSurface(0, width, height, 24, 0x000000FF, 0x0000FF00, 0x00FF0000, 0)};
  if (!guard.surface) throw std::string(SDL_GetError());
  std::vector<Uint8> buffer;
  try {
    buffer.resize(static_cast<size_t>(width) * height * 3);
  } catch (const std::bad_alloc&) {
    throw std::string("Out of memory");
  }
  // Rows of exactly width * 3 bytes, whatever the width.
  GLint oldAlignment = 4;
  glGetIntegerv(GL_PACK_ALIGNMENT, &oldAlignment);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, buffer.data());
  glPixelStorei(GL_PACK_ALIGNMENT, oldAlignment);
  // OpenGL hands the bottom row first; the surface holds the top row first.
  Uint8* pixels = static_cast<Uint8*>(guard.surface->pixels);
  const size_t rowBytes = static_cast<size_t>(width) * 3;
  for (int y = 0; y < height; ++y) {
    std::memcpy(pixels + static_cast<size_t>(y) * guard.surface->pitch,
                buffer.data() + static_cast<size_t>(height - 1 - y) * rowBytes, rowBytes);
  }
  buffer.clear();
  buffer.shrink_to_fit();
  savePng(guard.surface, file);
}

}  // namespace korvu
