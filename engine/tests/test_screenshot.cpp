#include <GL/gl.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include <malloc.h>

#include <cstring>
#include <string>
#include <vector>

#include "korvu.h"
#include "screenshot.h"
#include "testsupport.h"

using korvu_test::DecodedPng;

namespace {

// The chunk types of a PNG file in order.
std::vector<std::string> chunkTypes(const std::string& bytes) {
  std::vector<std::string> types;
  size_t pos = 8;
  while (pos + 8 <= bytes.size()) {
    uint32_t len = (uint32_t(uint8_t(bytes[pos])) << 24) | (uint32_t(uint8_t(bytes[pos + 1])) << 16) |
                   (uint32_t(uint8_t(bytes[pos + 2])) << 8) | uint32_t(uint8_t(bytes[pos + 3]));
    types.push_back(bytes.substr(pos + 4, 4));
    pos += 12 + len;
  }
  return types;
}

std::vector<std::string> collapseRepeats(const std::vector<std::string>& in) {
  std::vector<std::string> out;
  for (const auto& t : in) {
    if (out.empty() || out.back() != t) out.push_back(t);
  }
  return out;
}

// A width whose rows of three bytes are not a multiple of four: OpenGL's
// default row padding would skew and overrun the read-back.
class ScreenshotGL : public korvu_test::GLWindowTest {
 protected:
  int windowWidth() const override { return 642; }
  int windowHeight() const override { return 101; }
};

}  // namespace

TEST_F(ScreenshotGL, WritesTheWindowAsInterlacedRgba) {
  const int w = 642, h = 101;
  // A pattern in which every row and column differs: red follows x, green
  // follows y, blue marks the top band; drawn pixel-exact.
  std::vector<uint8_t> image(static_cast<size_t>(w) * h * 4);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      uint8_t* p = &image[(static_cast<size_t>(y) * w + x) * 4];
      p[0] = static_cast<uint8_t>(x * 7);
      p[1] = static_cast<uint8_t>(y * 2 + x / 256);
      p[2] = y >= h - 10 ? 255 : 0;  // OpenGL rows: the top of the window
      p[3] = 17;                      // not what the screenshot must hold
    }
  }
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, w, 0, h, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glRasterPos2i(0, 0);
  glDrawPixels(w, h, GL_RGBA, GL_UNSIGNED_BYTE, image.data());
  glFinish();
  ASSERT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  // The shot must not depend on the current pack alignment.
  glPixelStorei(GL_PACK_ALIGNMENT, 4);

  std::string dir = korvu_test::makeTempDir();
  std::string file = dir + "/screenshot.png";
  korvu_test::writeFile(file, std::string(100000, 'x'));  // an older shot is replaced
  korvu::saveScreenshot(file.c_str());
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  GLint alignment = 0;
  glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
  EXPECT_EQ(alignment, 4);

  DecodedPng png;
  ASSERT_TRUE(korvu_test::decodePng(file, png));
  EXPECT_EQ(png.width, w);
  EXPECT_EQ(png.height, h);
  EXPECT_EQ(png.bitDepth, 8);
  EXPECT_EQ(png.colorType, 6);
  EXPECT_EQ(png.interlace, 1);
  std::string bytes = korvu_test::readFile(file);
  EXPECT_EQ(collapseRepeats(chunkTypes(bytes)), (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));

  int mismatches = 0;
  for (int y = 0; y < h && mismatches < 5; ++y) {
    for (int x = 0; x < w && mismatches < 5; ++x) {
      const uint8_t* drawn = &image[(static_cast<size_t>(h - 1 - y) * w + x) * 4];
      const uint8_t* got = &png.rgba[(static_cast<size_t>(y) * w + x) * 4];
      if (got[0] != drawn[0] || got[1] != drawn[1] || got[2] != drawn[2] || got[3] != 255) {
        ADD_FAILURE() << "pixel " << x << "," << y << " is " << int(got[0]) << "/" << int(got[1]) << "/"
                      << int(got[2]) << "/" << int(got[3]) << ", drawn " << int(drawn[0]) << "/"
                      << int(drawn[1]) << "/" << int(drawn[2]);
        ++mismatches;
      }
    }
  }
  // The top row of the file is the top of the window.
  EXPECT_EQ(png.rgba[2], 255);
  EXPECT_EQ(png.rgba[(static_cast<size_t>(h - 1) * w) * 4 + 2], 0);
  // The artifact is the file's own content (turned back to bottom row first).
  std::vector<uint8_t> bottomUp(png.rgba.size());
  const size_t row = static_cast<size_t>(w) * 4;
  for (int y = 0; y < h; ++y) {
    std::memcpy(&bottomUp[static_cast<size_t>(h - 1 - y) * row], &png.rgba[static_cast<size_t>(y) * row], row);
  }
  korvu_test::saveArtifact("screenshot_pattern_642", w, h, bottomUp);
}

namespace {

size_t heapInUse() {
  struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

}  // namespace

// A failed write leaves nothing behind: the surface of the shot (about
// 190 kB here) is released when the writer throws.
TEST_F(ScreenshotGL, UnwritablePathThrowsTheMessageAndKeepsNothing) {
  std::string file = korvu_test::makeTempDir() + "/missing/shot.png";
  try {
    korvu::saveScreenshot(file.c_str());
    ADD_FAILURE() << "no failure for " << file;
  } catch (const std::string& message) {
    EXPECT_EQ(message, "Could not open file \"" + file + "\" for writing.");
  }
  size_t before = heapInUse();
  for (int i = 0; i < 4; ++i) EXPECT_THROW(korvu::saveScreenshot(file.c_str()), std::string);
  EXPECT_LT(heapInUse(), before + 100000);
}

TEST(Screenshot, WithoutAWindowThrows) {
  ASSERT_EQ(korvu::screen, nullptr);
  EXPECT_THROW(korvu::saveScreenshot("never.png"), std::string);
}

TEST(Screenshot, PixelsOfEverySize) {
  SDL_Surface* s3 = SDL_CreateRGBSurface(0, 5, 3, 24, 0xFF, 0xFF00, 0xFF0000, 0);
  ASSERT_NE(s3, nullptr);
  uint8_t* p = static_cast<uint8_t*>(s3->pixels) + 2 * s3->pitch + 4 * 3;
  p[0] = 0x11;
  p[1] = 0x22;
  p[2] = 0x33;
  EXPECT_EQ(korvu::getPixel(s3, 4, 2), 0x332211u);
  EXPECT_EQ(korvu::getPixel(s3, 3, 2), 0u);
  SDL_FreeSurface(s3);

  SDL_Surface* s4 = SDL_CreateRGBSurface(0, 3, 2, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000);
  ASSERT_NE(s4, nullptr);
  Uint32 v = 0xA1B2C3D4;
  std::memcpy(static_cast<uint8_t*>(s4->pixels) + s4->pitch + 8, &v, 4);
  EXPECT_EQ(korvu::getPixel(s4, 2, 1), 0xA1B2C3D4u);
  SDL_FreeSurface(s4);

  SDL_Surface* s2 = SDL_CreateRGBSurface(0, 3, 2, 16, 0xF800, 0x07E0, 0x001F, 0);
  ASSERT_NE(s2, nullptr);
  Uint16 v16 = 0xBEEF;
  std::memcpy(static_cast<uint8_t*>(s2->pixels) + s2->pitch + 2, &v16, 2);
  EXPECT_EQ(korvu::getPixel(s2, 1, 1), 0xBEEFu);
  SDL_FreeSurface(s2);

  SDL_Surface* s1 = SDL_CreateRGBSurface(0, 3, 2, 8, 0, 0, 0, 0);
  ASSERT_NE(s1, nullptr);
  static_cast<uint8_t*>(s1->pixels)[s1->pitch + 2] = 0x7A;
  EXPECT_EQ(korvu::getPixel(s1, 2, 1), 0x7Au);
  SDL_FreeSurface(s1);
}

TEST(Screenshot, UnknownPixelSizeIsLoggedAndReadsZero) {
  uint8_t pixels[64] = {0xFF};
  SDL_PixelFormat format;
  std::memset(&format, 0, sizeof format);
  format.BytesPerPixel = 5;
  format.BitsPerPixel = 40;
  SDL_Surface surface;
  std::memset(&surface, 0, sizeof surface);
  surface.format = &format;
  surface.w = 2;
  surface.h = 1;
  surface.pitch = 10;
  surface.pixels = pixels;
  korvu::debug::groups[korvu::dbgCore] = korvu::debug::Group("korvu:core", korvu::debug::DebugLevel::info);
  testing::internal::CaptureStdout();
  Uint32 v = korvu::getPixel(&surface, 1, 0);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(v, 0u);
  EXPECT_EQ(out, "[korvu:core] (critical) Unknown surface format (bpp=5).\n");
}

// Any surface: the alpha of a surface that has one is kept, a palette is
// looked up, and the image reads back top row first.
TEST(Screenshot, SavePngOfSurfaces) {
  std::string dir = korvu_test::makeTempDir();

  SDL_Surface* rgba = SDL_CreateRGBSurface(0, 7, 5, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000);
  ASSERT_NE(rgba, nullptr);
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 7; ++x) {
      uint8_t* p = static_cast<uint8_t*>(rgba->pixels) + y * rgba->pitch + x * 4;
      p[0] = static_cast<uint8_t>(x * 30);
      p[1] = static_cast<uint8_t>(y * 50);
      p[2] = 9;
      p[3] = static_cast<uint8_t>(x * 10 + y);
    }
  }
  std::string file = dir + "/rgba.png";
  korvu::savePng(rgba, file.c_str());
  SDL_FreeSurface(rgba);
  DecodedPng png;
  ASSERT_TRUE(korvu_test::decodePng(file, png));
  ASSERT_EQ(png.width, 7);
  ASSERT_EQ(png.height, 5);
  EXPECT_EQ(png.interlace, 1);
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 7; ++x) {
      const uint8_t* p = &png.rgba[(static_cast<size_t>(y) * 7 + x) * 4];
      EXPECT_EQ(p[0], x * 30);
      EXPECT_EQ(p[1], y * 50);
      EXPECT_EQ(p[2], 9);
      EXPECT_EQ(p[3], x * 10 + y);
    }
  }

  SDL_Surface* indexed = SDL_CreateRGBSurface(0, 2, 1, 8, 0, 0, 0, 0);
  ASSERT_NE(indexed, nullptr);
  SDL_Color colors[2] = {{10, 20, 30, 0}, {200, 100, 50, 0}};
  SDL_SetColors(indexed, colors, 0, 2);
  static_cast<uint8_t*>(indexed->pixels)[0] = 1;
  static_cast<uint8_t*>(indexed->pixels)[1] = 0;
  file = dir + "/indexed.png";
  korvu::savePng(indexed, file.c_str());
  SDL_FreeSurface(indexed);
  ASSERT_TRUE(korvu_test::decodePng(file, png));
  const uint8_t expected[8] = {200, 100, 50, 255, 10, 20, 30, 255};
  EXPECT_EQ(std::vector<uint8_t>(png.rgba.begin(), png.rgba.end()), std::vector<uint8_t>(expected, expected + 8));
}

TEST(Screenshot, SavePngUnwritablePath) {
  SDL_Surface* s = SDL_CreateRGBSurface(0, 2, 2, 24, 0xFF, 0xFF00, 0xFF0000, 0);
  ASSERT_NE(s, nullptr);
  std::string file = korvu_test::makeTempDir();  // a directory cannot be opened as a file
  try {
    korvu::savePng(s, file.c_str());
    ADD_FAILURE() << "no failure";
  } catch (const std::string& message) {
    EXPECT_EQ(message, "Could not open file \"" + file + "\" for writing.");
  }
  SDL_FreeSurface(s);
}

// A device that takes no bytes: libpng's own write error for an image larger
// than the stream buffer, and the failed close for a small one.
TEST(Screenshot, SavePngWriteFailures) {
  SDL_Surface* big = SDL_CreateRGBSurface(0, 160, 160, 24, 0xFF, 0xFF00, 0xFF0000, 0);
  ASSERT_NE(big, nullptr);
  uint32_t state = 12345;
  uint8_t* pixels = static_cast<uint8_t*>(big->pixels);
  for (int i = 0; i < big->pitch * big->h; ++i) {
    state = state * 1103515245u + 12345u;  // noise does not compress
    pixels[i] = static_cast<uint8_t>(state >> 16);
  }
  try {
    korvu::savePng(big, "/dev/full");
    ADD_FAILURE() << "writing to a full device succeeded";
  } catch (const std::string& message) {
    EXPECT_EQ(message, "Could not set libpng error callback.");
  }
  SDL_FreeSurface(big);

  SDL_Surface* small = SDL_CreateRGBSurface(0, 2, 2, 24, 0xFF, 0xFF00, 0xFF0000, 0);
  ASSERT_NE(small, nullptr);
  try {
    korvu::savePng(small, "/dev/full");
    ADD_FAILURE() << "writing to a full device succeeded";
  } catch (const std::string& message) {
    EXPECT_EQ(message, "Could not write file \"/dev/full\".");
  }
  SDL_FreeSurface(small);
}
