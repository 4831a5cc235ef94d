// Feeds arbitrary bytes to the image bank as an images XML file. Every
// entry that reads must be in the bank under its name with its file beside
// the XML file; the files are then turned into plain names in a directory
// of this process holding a few small pictures of different pixel formats,
// and decoded as for a texture (no OpenGL here), with the mask built where
// the hot spot's x asks for one.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <SDL.h>

#include "bitmask.h"
#include "image.h"
#include "korvu.h"
#include "screenshot.h"
#include "tempfiles.h"
#include "xml.h"

using namespace korvu;

namespace {

const char* const PICTURES[] = {"rgba.png", "rgb.bmp", "grey.bmp", "rgb565.bmp"};
using fuzzfiles::fail;

// A 5 x 3 picture of the given depth with a gradient in it.
void writePicture(const char* name, int depth) {
  const Uint32 masks[4] = {depth == 16 ? 0xF800u : 0x000000FFu, depth == 16 ? 0x07E0u : 0x0000FF00u,
                           depth == 16 ? 0x001Fu : 0x00FF0000u, depth == 32 ? 0xFF000000u : 0u};
  SDL_Surface* s = SDL_CreateRGBSurface(0, 5, 3, depth, masks[0], masks[1], masks[2], masks[3]);
  if (!s) fail("cannot make a picture");
  if (depth == 8) {
    SDL_Color grey[256];
    for (int i = 0; i < 256; ++i) grey[i].r = grey[i].g = grey[i].b = static_cast<Uint8>(i);
    SDL_SetColors(s, grey, 0, 256);
  }
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 5; ++x) {
      SDL_Rect r{static_cast<Sint16>(x), static_cast<Sint16>(y), 1, 1};
      SDL_FillRect(s, &r, SDL_MapRGBA(s->format, static_cast<Uint8>(50 * x), static_cast<Uint8>(80 * y), 7,
                                      static_cast<Uint8>(60 * x)));
    }
  }
  const std::string path = fuzzfiles::inDir(name);
  try {
    if (depth == 32) {
      savePng(s, path.c_str());
    } else if (SDL_SaveBMP(s, path.c_str()) != 0) {
      fail("cannot save a picture");
    }
  } catch (const std::string& message) {
    fail(message.c_str());
  }
  SDL_FreeSurface(s);
}

void setUp() {
  if (!fuzzfiles::init("images", ".xml", "pictures")) return;
  fuzzfiles::quietLog();
  writePicture(PICTURES[0], 32);
  writePicture(PICTURES[1], 24);
  writePicture(PICTURES[2], 8);
  writePicture(PICTURES[3], 16);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  setUp();
  if (!fuzzfiles::writeAll(fuzzfiles::inputPath, data, size)) std::abort();

  ImageBank bank;
  try {
    bank.load(fuzzfiles::inputPath);
  } catch (const std::string&) {
    return 0;
  }
  const std::string dir = std::string(fuzzfiles::inputPath).substr(0, std::string(fuzzfiles::inputPath).rfind('/') + 1);
  for (const auto& entry : bank) {
    const Image* image = entry.second;
    if (!image || image->name != entry.first || image->bank != &bank) fail("bank out of order");
    if (image->fileName.compare(0, dir.size(), dir) != 0) fail("a file outside the XML file's folder");
    if (image->filter < IMAGEFILTER_NONE || image->filter > IMAGEFILTER_TRILINEAR) fail("a filter out of range");
    if (image->texture != 0) fail("an image loaded while reading the list");
  }

  // Decode each entry from one of the pictures, chosen by its file name.
  for (auto& entry : bank) {
    Image& image = *entry.second;
    size_t sum = 0;
    for (unsigned char c : image.fileName) sum += c;
    image.fileName = fuzzfiles::inDir(PICTURES[sum % 4]);
    if (image.hotSpot.x > 0.0f && image.hotSpot.x < 2.0f) image.alphaThreshold = image.hotSpot.x - 1.0f;
    std::vector<uint8_t> pixels;
    try {
      image.decode(pixels, 64);
    } catch (const std::string& message) {
      fail(message.c_str());
    }
    if (image.width != 5 || image.height != 3 || image.textureWidth != 8 || image.textureHeight != 4 ||
        pixels.size() != 8 * 4 * 4) {
      fail("a picture decoded to the wrong size");
    }
    if (image.alphaThreshold >= 0.0f && (!image.bitmask || image.bitmask->width != 5 || image.bitmask->height != 3)) {
      fail("no mask of the picture's size");
    }
  }
  return 0;
}
