// Helpers of the game's tests that use the real resources: running with the
// repository root as working directory (the resource lists name their files
// relative to it) and giving loaded images their textures.
#pragma once

#include <string>

#include "image.h"

namespace glimro_test {

// Makes the repository root the working directory while it lives.
class InSourceDir {
 public:
  InSourceDir();
  ~InSourceDir();
  InSourceDir(const InSourceDir&) = delete;
  InSourceDir& operator=(const InSourceDir&) = delete;

 private:
  std::string previous_;
};

// Decodes every image of the bank that has no texture yet from its PNG file
// and uploads it (clamped as the image asks, linear filtering). Needs a
// current OpenGL context; returns the names of the images it could not read.
std::string uploadTextures(korvu::ImageBank& bank);

}  // namespace glimro_test
