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
  Image image("wall", "textures/wall.png", korvu::Vector2D(3.0f, 4.0f));
  EXPECT_EQ(image.bank, nullptr);
  EXPECT_EQ(image.hotSpot, korvu::Vector2D(3.0f, 4.0f));
  EXPECT_EQ(image.width + image.height + image.textureWidth + image.textureHeight, 0u);
  EXPECT_EQ(image.texture, 0u);
  EXPECT_EQ(image.alphaThreshold, -1.0f);
  EXPECT_EQ(image.bitmask, nullptr);
  EXPECT_FALSE(image.clamp);
  EXPECT_STREQ(korvu::STR_IMAGEFILTER[image.filter], "linear");
  EXPECT_STREQ(korvu::STR_IMAGEFILTER[korvu::IMAGEFILTER_TRILINEAR], "trilinear");
  image.release();  // no texture: no OpenGL call, so this runs without a context
  EXPECT_EQ(image.texture, 0u);
}

TEST(Image, BankOwnsAndImagesLeaveIt) {
  ImageBank bank;
  EXPECT_EQ(bank.maxFilter, korvu::IMAGEFILTER_LINEAR);
  Image* a = new Image("a", "a.png", korvu::Vector2D());
  bank += a;
  bank += new Image("b", "b.png", korvu::Vector2D());
  delete a;
  EXPECT_EQ(bank.find("a"), bank.end());
  bank += new Image("b", "other.png", korvu::Vector2D());  // replaces the older "b"
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
