// Images: an image file that becomes one OpenGL texture, with a hot spot,
// clamping and a texture filter; and the named bank that owns them. Images
// are declared first (an unloaded record) and given their textures later,
// once an OpenGL context exists. Whatever the file's pixel format, the
// texture is made from 8-bit RGBA; the picture sits in the top-left corner
// of a power-of-two texture whose rest is transparent black.
#pragma once

#include <GL/gl.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bank.h"
#include "mathtypes.h"

struct SDL_Surface;

namespace korvu {

class Bitmask;
namespace xml { class Node; }

// Texture filtering; the values index STR_IMAGEFILTER. The underlying type
// is fixed, so a value out of range can be held and refused.
enum ImageFilter : int {
  IMAGEFILTER_NONE = 0,       // nearest, no mipmaps
  IMAGEFILTER_LINEAR = 1,     // linear, no mipmaps
  IMAGEFILTER_BILINEAR = 2,   // mipmapped, nearest mipmap with linear sampling
  IMAGEFILTER_TRILINEAR = 3   // mipmapped, linear between mipmaps
};

// "none", "linear", "bilinear", "trilinear".
extern const char* const STR_IMAGEFILTER[4];

// One image. No virtual operations: the parts that draw it read its fields
// directly.
class Image {
 public:
  // The bank that holds the image, null while in none (only the bank sets it).
  MappedBank<Image>* bank;
  // The key under which a bank stores the image.
  std::string name;
  // The path the picture is read from, relative to the working directory.
  std::string fileName;
  // The picture's size in pixels as loaded; 0 until the first load.
  uint32_t width;
  uint32_t height;
  // The point of the picture (pixels from its lower-left corner, y upwards)
  // that drawing places at the given position.
  Vector2D hotSpot;
  // At 0 or more, loading also builds a collision mask from the alpha
  // channel; -1 builds none.
  float alphaThreshold;
  // Owned; null unless a mask was built.
  Bitmask* bitmask;
  // The OpenGL texture name; 0 while the image has no texture.
  GLuint texture;
  // The power-of-two size of the texture; 0 until the first load.
  uint32_t textureWidth;
  uint32_t textureHeight;
  // The texture clamps to its edge in both directions.
  bool clamp;
  // The image's own filter; its bank's maximum filter caps it.
  ImageFilter filter;

  // An unloaded record: no bank, no texture, sizes 0, no mask, no clamping,
  // linear filtering. Opens no file.
  Image(const std::string& name, const std::string& fileName, Vector2D hotSpot);
  // Leaves its bank, deletes its mask and releases its texture.
  ~Image();

  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;

  // (Re)creates the texture from the file: builds the mask when the alpha
  // threshold asks for one, pads to power-of-two sizes, builds mipmaps when
  // the image's own filter is bilinear or trilinear and sets clamping. Sets
  // no filter (refresh does). Throws "Could not load ..." when the file
  // cannot be read or is larger than the largest texture; the image then
  // has no texture.
  void load();
  // The part of load that needs no OpenGL: reads the file, builds the mask
  // when asked, sets the picture and texture sizes and fills pixels with the
  // texture's RGBA bytes, top row first. Returns whether the picture has
  // any alpha (else the texture is made RGB). Throws as load does.
  bool decode(std::vector<uint8_t>& pixels, uint32_t maxTextureSize);
  // Deletes the texture, if any, and sets the texture name to 0; the record
  // and its settings stay, so the image can be loaded again.
  void release();
  // Loads when there is no texture yet, then applies the image's filter.
  void refresh();
  void reload();
  // Applies a filter to the texture, capped by the bank's maximum filter
  // when the image is in an ImageBank; the image's own filter field stays.
  void setFilter(ImageFilter f);
  // Rebuilds the mask from a surface of any pixel format: a pixel is set
  // when its alpha / 256 is above the alpha threshold (a surface without
  // alpha is opaque; a colour-keyed pixel is transparent).
  void createBitmask(SDL_Surface* surface);
  // Draws the picture as one quad in the current colour with its hot spot
  // at the position; leaves the matrix and the texture state as found.
  void draw(Vector2D position) const;
};

// A bank of images with a maximum filter that caps every image in it.
class ImageBank : public MappedBank<Image> {
 public:
  ImageFilter maxFilter;

  // Empty, unnamed, in no bank, maximum filter linear.
  ImageBank();

  // Reads an images XML file (root "images") into the bank without loading
  // the images; file names are relative to the XML file's folder. Throws
  // the XML reader's message when the file cannot be read.
  void load(const std::string& fileName);
  // Reads the "image" children of an element; each "filename" is prefixed
  // with path (no separator added).
  void getFromNode(const xml::Node* element, const std::string& path);

  // The image operations of the same names on every image, in the order of
  // their names. refresh and reload go on past an image that fails and then
  // throw the messages of all that failed.
  void refresh();
  void reload();
  void release();
};

}  // namespace korvu
