#include "assetsupport.h"

#include <GL/gl.h>
#include <unistd.h>

#include <climits>

#include "testsupport.h"

namespace glimro_test {

InSourceDir::InSourceDir() {
  char buffer[PATH_MAX];
  if (getcwd(buffer, sizeof buffer)) previous_ = buffer;
  if (chdir(korvu_test::sourceDir().c_str()) != 0) ADD_FAILURE() << "cannot enter the source folder";
}

InSourceDir::~InSourceDir() {
  if (!previous_.empty() && chdir(previous_.c_str()) != 0) ADD_FAILURE() << "cannot return to " << previous_;
}

std::string uploadTextures(korvu::ImageBank& bank) {
  InSourceDir here;
  std::string failed;
  for (auto& [name, image] : bank) {
    if (!image || image->texture) continue;
    korvu_test::DecodedPng png;
    if (!korvu_test::decodePng(image->fileName, png)) {
      failed += name + " ";
      continue;
    }
    glGenTextures(1, &image->texture);
    glBindTexture(GL_TEXTURE_2D, image->texture);
    const GLint wrap = image->clamp ? GL_CLAMP_TO_EDGE : GL_REPEAT;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, png.width, png.height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 png.rgba.data());
    image->width = image->textureWidth = static_cast<uint32_t>(png.width);
    image->height = image->textureHeight = static_cast<uint32_t>(png.height);
  }
  glBindTexture(GL_TEXTURE_2D, 0);
  return failed;
}

}  // namespace glimro_test
