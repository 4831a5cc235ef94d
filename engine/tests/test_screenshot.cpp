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

// The chunk types of a PNG file in order, runs of one type counted once.
std::vector<std::string> chunkTypes(const std::string& bytes) {
  std::vector<std::string> types;
  for (size_t pos = 8; pos + 8 <= bytes.size();) {
    uint32_t len = 0;
    for (int i = 0; i < 4; ++i) len = (len << 8) | uint8_t(bytes[pos + i]);
    std::string type = bytes.substr(pos + 4, 4);
    if (types.empty() || types.back() != type) types.push_back(type);
    pos += 12 + len;
  }
  return types;
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
  EXPECT_EQ(chunkTypes(bytes), (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));

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

// Before any video mode is set there is no window to read back: a failure,
// not a crash.
TEST(Screenshot, NoWindowThrows) {
  ASSERT_EQ(korvu::screen, nullptr);
  const std::string file = korvu_test::makeTempDir() + "/shot.png";
  EXPECT_THROW(korvu::saveScreenshot(file.c_str()), std::string);
  EXPECT_EQ(korvu_test::readFile(file), "");
}

TEST(Screenshot, PixelsOfEverySize) {
  const struct {
    int depth;
    Uint32 value;
  } cases[] = {{8, 0x7A}, {16, 0xBEEF}, {24, 0x332211}, {32, 0xA1B2C3D4}};
  for (const auto& c : cases) {
    SDL_Surface* s = SDL_CreateRGBSurface(0, 5, 3, c.depth, 0, 0, 0, 0);
    ASSERT_NE(s, nullptr);
    std::memset(s->pixels, 0, static_cast<size_t>(s->pitch) * s->h);
    int bpp = s->format->BytesPerPixel;
    // Little-endian bytes at (4, 2): 0x11, 0x22, 0x33 for the 3-byte case.
    std::memcpy(static_cast<uint8_t*>(s->pixels) + 2 * s->pitch + 4 * bpp, &c.value, static_cast<size_t>(bpp));
    EXPECT_EQ(korvu::getPixel(s, 4, 2), c.value) << c.depth;
    EXPECT_EQ(korvu::getPixel(s, 3, 2), 0u) << c.depth;
    SDL_FreeSurface(s);
  }
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

// Any surface: the alpha of a surface that has one is kept, and the image
// reads back top row first.
TEST(Screenshot, SavePngKeepsTheSurfacesAlpha) {
  SDL_Surface* rgba = SDL_CreateRGBSurface(0, 7, 5, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000);
  ASSERT_NE(rgba, nullptr);
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 7; ++x) {
      const uint8_t px[4] = {uint8_t(x * 30), uint8_t(y * 50), 9, uint8_t(x * 10 + y)};
      std::memcpy(static_cast<uint8_t*>(rgba->pixels) + y * rgba->pitch + x * 4, px, 4);
    }
  }
  std::string file = korvu_test::makeTempDir() + "/rgba.png";
  korvu::savePng(rgba, file.c_str());
  DecodedPng png;
  ASSERT_TRUE(korvu_test::decodePng(file, png));
  ASSERT_EQ(png.width, 7);
  ASSERT_EQ(png.height, 5);
  EXPECT_EQ(png.interlace, 1);
  for (int y = 0; y < 5; ++y)
    EXPECT_EQ(0, std::memcmp(&png.rgba[static_cast<size_t>(y) * 28], static_cast<uint8_t*>(rgba->pixels) + y * rgba->pitch, 28))
        << "row " << y;
  SDL_FreeSurface(rgba);
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
