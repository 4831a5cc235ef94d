#include "image.h"

#include <GL/glu.h>
#include <SDL.h>
#include <SDL_image.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "bitmask.h"
#include "debug.h"
#include "screenshot.h"
#include "xml.h"

namespace korvu {

const char* const STR_IMAGEFILTER[4] = {"none", "linear", "bilinear", "trilinear"};

namespace {

struct SurfaceGuard {
  SDL_Surface* surface;
  ~SurfaceGuard() {
    if (surface) SDL_FreeSurface(surface);
  }
};

// Locks a surface that needs it for the guard's lifetime.
struct SurfaceLock {
  SDL_Surface* surface;
  bool locked;
  explicit SurfaceLock(SDL_Surface* s) : surface(s), locked(false) {
    if (SDL_MUSTLOCK(surface)) locked = SDL_LockSurface(surface) == 0;
  }
  bool ready() const { return locked || !SDL_MUSTLOCK(surface); }
  ~SurfaceLock() {
    if (locked) SDL_UnlockSurface(surface);
  }
};

// The smallest power of two that is at least n (1 for 0 and 1); n is at
// most the largest texture size.
uint32_t powerOfTwo(uint32_t n) {
  uint32_t p = 1;
  while (p < n) p <<= 1;
  return p;
}

// The mask of the byte at offset i of a pixel in memory, read as one
// native-endian word of `bytes` bytes.
Uint32 byteMask(int i, int bytes) {
#if SDL_BYTEORDER == SDL_LIL_ENDIAN
  (void)bytes;
  return 0xFFu << (8 * i);
#else
  return 0xFFu << (8 * (bytes - 1 - i));
#endif
}

// A pixel's RGBA as SDL reports it, a colour-keyed pixel transparent.
void pixelRGBA(SDL_Surface* s, int x, int y, Uint8* out) {
  const Uint32 p = getPixel(s, x, y);
  SDL_GetRGBA(p, s->format, &out[0], &out[1], &out[2], &out[3]);
  if ((s->flags & SDL_SRCCOLORKEY) && p == s->format->colorkey) out[3] = 0;
}

// Copies the picture, top row first, into the top-left corner of a
// textureWidth x textureHeight RGBA buffer whose rest is transparent black.
// Returns whether the picture has any alpha (an alpha channel or a key).
bool toRGBA(SDL_Surface* s, uint32_t textureWidth, uint32_t textureHeight, std::vector<uint8_t>& out) {
  out.assign(static_cast<size_t>(textureWidth) * textureHeight * 4, 0);
  const SDL_PixelFormat* f = s->format;
  const bool keyed = (s->flags & SDL_SRCCOLORKEY) != 0;
  const bool hasAlpha = f->Amask != 0 || keyed;
  SurfaceLock lock(s);
  if (!lock.ready()) return hasAlpha;
  const size_t rowBytes = static_cast<size_t>(textureWidth) * 4;
  const int bpp = f->BytesPerPixel;
  const bool rgbOrder = !keyed && (bpp == 3 || bpp == 4) && f->Rmask == byteMask(0, bpp) &&
                        f->Gmask == byteMask(1, bpp) && f->Bmask == byteMask(2, bpp);
  for (int y = 0; y < s->h; ++y) {
    const uint8_t* src = static_cast<const uint8_t*>(s->pixels) + static_cast<size_t>(y) * s->pitch;
    uint8_t* dst = &out[static_cast<size_t>(y) * rowBytes];
    if (rgbOrder && bpp == 4 && f->Amask == byteMask(3, 4)) {
      std::memcpy(dst, src, static_cast<size_t>(s->w) * 4);
    } else if (rgbOrder && bpp == 3) {
      for (int x = 0; x < s->w; ++x, src += 3, dst += 4) {
        dst[0] = src[0];
        dst[1] = src[1];
        dst[2] = src[2];
        dst[3] = 255;
      }
    } else {
      for (int x = 0; x < s->w; ++x, dst += 4) pixelRGBA(s, x, y, dst);
    }
  }
  return hasAlpha;
}

std::string loadFailure(const std::string& fileName, const std::string& why) {
  return "Could not load \"" + fileName + "\": " + why + ".";
}

// The whole file; throws when it cannot be read.
std::vector<uint8_t> readWholeFile(const std::string& fileName) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(fileName.c_str(), "rb"), std::fclose);
  if (!file) throw loadFailure(fileName, std::strerror(errno));
  std::vector<uint8_t> bytes;
  uint8_t block[65536];
  size_t got;
  while ((got = std::fread(block, 1, sizeof block, file.get())) > 0) bytes.insert(bytes.end(), block, block + got);
  if (std::ferror(file.get())) throw loadFailure(fileName, "the file cannot be read");
  return bytes;
}

// A PNG file whose chunks claim more bytes than the file holds. The PNG
// reader behind IMG_Load does not stop at the end of such a file but reads
// on for ever, so these are refused before it sees them.
bool truncatedPng(const std::vector<uint8_t>& bytes) {
  static const uint8_t SIGNATURE[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  if (bytes.size() < 8 || std::memcmp(bytes.data(), SIGNATURE, 8) != 0) return false;
  size_t at = 8;
  while (at + 12 <= bytes.size()) {
    const uint32_t length = (uint32_t(bytes[at]) << 24) | (uint32_t(bytes[at + 1]) << 16) |
                            (uint32_t(bytes[at + 2]) << 8) | uint32_t(bytes[at + 3]);
    if (length > bytes.size() - at - 12) return true;
    if (std::memcmp(&bytes[at + 4], "IEND", 4) == 0) return false;
    at += 12 + length;
  }
  return true;
}

}  // namespace

Image::Image(const std::string& name_, const std::string& fileName_, Vector2D hotSpot_)
    : bank(nullptr),
      name(name_),
      fileName(fileName_),
      width(0),
      height(0),
      hotSpot(hotSpot_),
      alphaThreshold(-1.0f),
      bitmask(nullptr),
      texture(0),
      textureWidth(0),
      textureHeight(0),
      clamp(false),
      filter(IMAGEFILTER_LINEAR) {
  debug::info(dbgImages, "Creating image \"%s\" with file \"%s\".", name.c_str(), fileName.c_str());
}

Image::~Image() {
  if (bank) *bank -= this;
  delete bitmask;
  release();
}

bool Image::decode(std::vector<uint8_t>& pixels, uint32_t maxTextureSize) {
  const std::vector<uint8_t> bytes = readWholeFile(fileName);
  if (bytes.size() > static_cast<size_t>(INT32_MAX)) throw loadFailure(fileName, "the file is too large");
  if (truncatedPng(bytes)) throw loadFailure(fileName, "the PNG file is truncated or corrupt");
  SurfaceGuard picture{IMG_Load_RW(SDL_RWFromConstMem(bytes.data(), static_cast<int>(bytes.size())), 1)};
  if (!picture.surface) throw loadFailure(fileName, SDL_GetError());
  SDL_Surface* surface = picture.surface;
  if (static_cast<uint32_t>(surface->w) > maxTextureSize || static_cast<uint32_t>(surface->h) > maxTextureSize) {
    throw loadFailure(fileName, "the picture is larger than the largest texture (" +
                                    std::to_string(maxTextureSize) + " pixels)");
  }
  if (alphaThreshold >= 0.0f) createBitmask(surface);

  width = static_cast<uint32_t>(surface->w);
  height = static_cast<uint32_t>(surface->h);
  textureWidth = powerOfTwo(width);
  textureHeight = powerOfTwo(height);
  if (textureWidth != width || textureHeight != height) {
    debug::warning(dbgImages, "\"%s\" does not have power of 2 dimensions. Fixing image.", fileName.c_str());
  }
  return toRGBA(surface, textureWidth, textureHeight, pixels);
}

void Image::load() {
  release();
  GLint maxSize = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
  std::vector<uint8_t> pixels;
  const bool hasAlpha = decode(pixels, static_cast<uint32_t>(std::max(maxSize, 0)));
  const GLint internal = hasAlpha ? GL_RGBA8 : GL_RGB8;
  const GLsizei tw = static_cast<GLsizei>(textureWidth);
  const GLsizei th = static_cast<GLsizei>(textureHeight);

  glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_2D, texture);
  // Rows are tightly packed whatever the caller left in the pixel store.
  glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
  glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
  if (filter >= IMAGEFILTER_BILINEAR) {
    debug::debug(dbgImages, "Generating mipmaps for image \"%s\".", name.c_str());
    gluBuild2DMipmaps(GL_TEXTURE_2D, internal, tw, th, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  } else {
    glTexImage2D(GL_TEXTURE_2D, 0, internal, tw, th, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  }
  glPopClientAttrib();
  if (clamp) {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  }
}

void Image::release() {
  if (texture == 0) return;
  glDeleteTextures(1, &texture);
  texture = 0;
}

void Image::refresh() {
  if (texture == 0) load();
  setFilter(filter);
}

void Image::reload() {
  release();
  load();
}

void Image::setFilter(ImageFilter f) {
  if (texture == 0) return;
  if (bank) {
    if (const ImageBank* images = dynamic_cast<const ImageBank*>(bank)) {
      if (images->maxFilter < f) f = images->maxFilter;
    }
  }
  GLint minFilter, magFilter;
  switch (f) {
    case IMAGEFILTER_NONE:
      minFilter = GL_NEAREST;
      magFilter = GL_NEAREST;
      break;
    case IMAGEFILTER_LINEAR:
      minFilter = GL_LINEAR;
      magFilter = GL_LINEAR;
      break;
    case IMAGEFILTER_BILINEAR:
      minFilter = GL_NEAREST_MIPMAP_LINEAR;
      magFilter = GL_LINEAR;
      break;
    case IMAGEFILTER_TRILINEAR:
      minFilter = GL_LINEAR_MIPMAP_LINEAR;
      magFilter = GL_LINEAR;
      break;
    default:
      debug::error(dbgImages, "Not setting filter for image \"%s\" because of internal error!", name.c_str());
      return;
  }
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, minFilter);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, magFilter);
  debug::info(dbgImages, "Setting filter for image \"%s\" to %s.", name.c_str(), STR_IMAGEFILTER[f]);
}

void Image::createBitmask(SDL_Surface* surface) {
  delete bitmask;
  bitmask = new Bitmask(surface->w, surface->h);
  SurfaceLock lock(surface);
  if (!lock.ready()) return;
  for (int y = 0; y < surface->h; ++y) {
    for (int x = 0; x < surface->w; ++x) {
      Uint8 rgba[4];
      pixelRGBA(surface, x, y, rgba);
      if (rgba[3] * 0.00390625f > alphaThreshold) bitmask->set(x, y);
    }
  }
}

void Image::draw(Vector2D position) const {
  const float w = static_cast<float>(width);
  const float h = static_cast<float>(height);
  const float s = textureWidth ? w / static_cast<float>(textureWidth) : 0.0f;
  const float t = textureHeight ? h / static_cast<float>(textureHeight) : 0.0f;
  const float hx = hotSpot.x;
  const float hy = hotSpot.y;
  glPushMatrix();
  glPushAttrib(GL_TEXTURE_BIT);
  glEnable(GL_TEXTURE_2D);
  glTranslatef(position.x, position.y, 0.0f);
  glBindTexture(GL_TEXTURE_2D, texture);
  glBegin(GL_QUADS);
  glTexCoord2f(0.0f, t);
  glVertex2f(-hx, -hy);
  glTexCoord2f(0.0f, 0.0f);
  glVertex2f(-hx, h - hy);
  glTexCoord2f(s, 0.0f);
  glVertex2f(w - hx, h - hy);
  glTexCoord2f(s, t);
  glVertex2f(w - hx, -hy);
  glEnd();
  glPopAttrib();
  glPopMatrix();
}

ImageBank::ImageBank() : maxFilter(IMAGEFILTER_LINEAR) {}

void ImageBank::load(const std::string& fileName) {
  std::unique_ptr<xml::Node> root(xml::loadXML(fileName.c_str()));
  if (!root || root->name != "images") return;
  const std::string::size_type slash = fileName.rfind('/');
  getFromNode(root.get(), slash == std::string::npos ? std::string() : fileName.substr(0, slash + 1));
}

void ImageBank::getFromNode(const xml::Node* element, const std::string& path) {
  if (!element) return;
  for (const xml::Node* child : element->children) {
    if (child->name != "image") continue;
    const std::string imageName = xml::entryName(*child, dbgImages, "image");
    const std::string* file = xml::entryFile(*child, dbgImages, "image", imageName);
    if (!file) continue;
    Image* image = new Image(imageName, path + *file,
                             Vector2D(child->getAttributeFloat("hotX", 0.0f), child->getAttributeFloat("hotY", 0.0f)));
    image->clamp = child->getAttributeBool("clamp", false);
    if (const std::string* word = child->getAttribute("filter")) {
      for (int i = 0; i < 4; ++i) {
        if (*word == STR_IMAGEFILTER[i]) image->filter = static_cast<ImageFilter>(i);
      }
    }
    *this += image;
  }
}

namespace {

// Runs op on every image, in name order, past failures; then throws the
// messages of all that failed.
template <class Op>
void everyImage(ImageBank& bank, Op op) {
  std::string failures;
  for (auto& entry : bank) {
    if (!entry.second) continue;
    try {
      op(entry.second);
    } catch (const std::string& message) {
      failures += failures.empty() ? message : " " + message;
    }
  }
  if (!failures.empty()) throw failures;
}

}  // namespace

void ImageBank::refresh() {
  everyImage(*this, [](Image* image) { image->refresh(); });
}

void ImageBank::reload() {
  everyImage(*this, [](Image* image) { image->reload(); });
}

void ImageBank::release() {
  for (auto& entry : *this) {
    if (entry.second) entry.second->release();
  }
}

}  // namespace korvu
