#include <GL/gl.h>

#include <string>

#include "image.h"
#include "testsupport.h"

using korvu::Image;
using korvu::ImageBank;

namespace {

GLuint makeTexture() {
  GLuint id = 0;
  glGenTextures(1, &id);
  glBindTexture(GL_TEXTURE_2D, id);
  const unsigned char pixel[4] = {255, 0, 0, 255};
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
  return id;
}

class ImageTextures : public korvu_test::GLWindowTest {
 protected:
  int windowWidth() const override { return 64; }
  int windowHeight() const override { return 64; }
};

}  // namespace

TEST(Image, NewRecordIsUnloaded) {
  Image image("wall", "resources/textures/wall.png", korvu::Vector2D(3.0f, 4.0f));
  EXPECT_EQ(image.bank, nullptr);
  EXPECT_EQ(image.name, "wall");
  EXPECT_EQ(image.fileName, "resources/textures/wall.png");
  EXPECT_EQ(image.hotSpot, korvu::Vector2D(3.0f, 4.0f));
  EXPECT_EQ(image.width, 0u);
  EXPECT_EQ(image.height, 0u);
  EXPECT_EQ(image.textureWidth, 0u);
  EXPECT_EQ(image.textureHeight, 0u);
  EXPECT_EQ(image.texture, 0u);
  EXPECT_EQ(image.alphaThreshold, -1.0f);
  EXPECT_EQ(image.bitmask, nullptr);
  EXPECT_FALSE(image.clamp);
  EXPECT_EQ(image.filter, korvu::IMAGEFILTER_LINEAR);
  image.release();  // nothing to release, and no OpenGL call without a texture
  EXPECT_EQ(image.texture, 0u);

  const char* words[] = {"none", "linear", "bilinear", "trilinear"};
  for (int i = 0; i < 4; ++i) EXPECT_STREQ(korvu::STR_IMAGEFILTER[i], words[i]);
  EXPECT_EQ(korvu::IMAGEFILTER_TRILINEAR, 3);
}

TEST(Image, BankOwnsAndImagesLeaveIt) {
  ImageBank bank;
  EXPECT_EQ(bank.maxFilter, korvu::IMAGEFILTER_LINEAR);
  EXPECT_TRUE(bank.name.empty());
  EXPECT_EQ(bank.bank, nullptr);
  Image* a = new Image("a", "a.png", korvu::Vector2D());
  bank += a;
  EXPECT_EQ(a->bank, &bank);
  bank += new Image("b", "b.png", korvu::Vector2D());
  delete a;
  EXPECT_EQ(bank.size(), 1u);
  EXPECT_EQ(bank.find("a"), bank.end());

  // Same name: the newer image replaces the older one.
  Image* newer = new Image("b", "other.png", korvu::Vector2D());
  bank += newer;
  ASSERT_EQ(bank.size(), 1u);
  EXPECT_EQ(bank.find("b")->second->fileName, "other.png");
}

TEST_F(ImageTextures, ReleaseDeletesTheTextureAndKeepsTheRecord) {
  ImageBank bank;
  Image* a = new Image("a", "a.png", korvu::Vector2D());
  Image* b = new Image("b", "b.png", korvu::Vector2D());
  bank += a;
  bank += b;
  a->texture = makeTexture();
  b->texture = makeTexture();
  const GLuint first = a->texture;
  ASSERT_TRUE(glIsTexture(first));

  a->release();
  EXPECT_EQ(a->texture, 0u);
  EXPECT_FALSE(glIsTexture(first));
  a->release();
  EXPECT_EQ(a->bank, &bank);
  EXPECT_EQ(a->fileName, "a.png");

  a->texture = makeTexture();
  const GLuint again = a->texture;
  const GLuint second = b->texture;
  bank.release();
  EXPECT_EQ(a->texture, 0u);
  EXPECT_EQ(b->texture, 0u);
  EXPECT_FALSE(glIsTexture(again));
  EXPECT_FALSE(glIsTexture(second));
  EXPECT_EQ(bank.size(), 2u);

  // Destroying an image gives its texture back as well.
  b->texture = makeTexture();
  const GLuint last = b->texture;
  delete b;
  EXPECT_FALSE(glIsTexture(last));
  EXPECT_EQ(bank.size(), 1u);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}
