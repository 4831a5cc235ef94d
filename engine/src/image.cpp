#include "image.h"

namespace korvu {

const char* const STR_IMAGEFILTER[4] = {"none", "linear", "bilinear", "trilinear"};

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
  // bitmask stays null until loading learns to build masks from the alpha
  // channel; deleting it belongs here then.
  release();
}

void Image::release() {
  if (texture == 0) return;
  glDeleteTextures(1, &texture);
  texture = 0;
}

ImageBank::ImageBank() : maxFilter(IMAGEFILTER_LINEAR) {}

void ImageBank::release() {
  for (auto& entry : *this) {
    if (entry.second) entry.second->release();
  }
}

}  // namespace korvu
