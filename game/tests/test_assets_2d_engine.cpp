// The fonts and the flare and particle images in resources/ through the
// engine's own loaders: every one loads without a log line, a line printed in each font stays in
// the box its metrics promise, and one picture shows every glyph of the
// three fonts beside the flare and particle images.
#include <GL/gl.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "assetsupport.h"
#include "fonts/bitmapfont.h"
#include "image.h"
#include "testsupport.h"

using glimro_test::FONT_DIRS;
using glimro_test::GLOW_NAMES;
using glimro_test::resource;

namespace {

class RealFonts : public korvu_test::GLWindowTest {
 protected:
  int windowWidth() const override { return 1024; }
  int windowHeight() const override { return 480; }

  void SetUp() override {
    korvu_test::GLWindowTest::SetUp();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, windowWidth(), 0, windowHeight(), -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClearColor(0.05f, 0.05f, 0.1f, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(1, 1, 1, 1);
  }

  std::vector<std::unique_ptr<korvu::fonts::BitmapFont>> loadFonts() {
    std::vector<std::unique_ptr<korvu::fonts::BitmapFont>> fonts;
    for (const char* dir : FONT_DIRS) fonts.emplace_back(new korvu::fonts::BitmapFont(resource("fonts/") + dir));
    return fonts;
  }
};

}  // namespace

TEST_F(RealFonts, EveryFontAndImageLoadsWithoutALogLine) {
  testing::internal::CaptureStdout();
  std::vector<std::unique_ptr<korvu::fonts::BitmapFont>> fonts;
  korvu::ImageBank textures;
  try {
    fonts = loadFonts();
    textures.maxFilter = korvu::IMAGEFILTER_TRILINEAR;
    textures.load(resource("textures/additional.xml"));
    textures.refresh();
  } catch (const std::string& message) {
    ADD_FAILURE() << message;
  }
  const std::string log = testing::internal::GetCapturedStdout();
  EXPECT_EQ(log, "");
  ASSERT_EQ(fonts.size(), 3u);
  for (size_t i = 0; i < fonts.size(); ++i) {
    EXPECT_EQ(fonts[i]->name, FONT_DIRS[i]);
    EXPECT_EQ(fonts[i]->firstChar, ' ');
    EXPECT_EQ(fonts[i]->charCount, 95);
  }
  EXPECT_EQ(textures.size(), 5u);
  for (const auto& entry : textures) EXPECT_NE(entry.second->texture, 0u) << entry.first;
}

TEST_F(RealFonts, ALineInEachFontStaysInItsBox) {
  const auto fonts = loadFonts();
  const char* const text = "Lap 2/3  Best 01:23.456  Glimro pyjq!";
  const int baseLines[] = {380, 250, 120};
  for (size_t i = 0; i < fonts.size(); ++i) {
    const korvu::fonts::BitmapFont& font = *fonts[i];
    glLoadIdentity();
    glTranslatef(20, static_cast<float>(baseLines[i]), 0);
    font.print(text);
    GLfloat m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    EXPECT_EQ(m[12], 20.0f + font.getWidth(text)) << FONT_DIRS[i];
  }
  korvu_test::saveWindowArtifact("assets_font_lines");

  // In a band around each line, the lit pixels lie inside the text's box:
  // from its start to its width, from the hot spot below the base line to
  // the line height above that.
  const std::vector<uint8_t> frame = korvu_test::readPixels(0, 0, 1024, 480);
  for (size_t i = 0; i < fonts.size(); ++i) {
    SCOPED_TRACE(FONT_DIRS[i]);
    const korvu::fonts::BitmapFont& font = *fonts[i];
    const int bottom = baseLines[i] - font.yHotSpot;
    const int top = bottom + font.getHeight();
    int lit = 0, outside = 0, left = 1024, right = 0;
    for (int y = bottom - 20; y < top + 20; ++y) {
      for (int x = 0; x < 1024; ++x) {
        if (frame[(static_cast<size_t>(y) * 1024 + x) * 4] < 100) continue;
        ++lit;
        left = std::min(left, x);
        right = std::max(right, x);
        if (y < bottom || y >= top || x < 20 || x >= 20 + font.getWidth(text)) ++outside;
      }
    }
    EXPECT_EQ(outside, 0);
    EXPECT_GT(lit, font.getHeight() * 40);
    // The ink spans the text: from its first glyph to its last.
    EXPECT_LT(left, 20 + font.getHeight() / 2);
    EXPECT_GT(right, 20 + font.getWidth(text) - font.getHeight());
  }
}

TEST_F(RealFonts, PictureOfEveryGlyphAndTheGlowImages) {
  const auto fonts = loadFonts();
  float y = 480;
  for (const auto& font : fonts) {
    // Every code, wrapped into lines that fit the window.
    std::string line;
    auto flush = [&]() {
      y -= font->getHeight() + 4;
      glLoadIdentity();
      glTranslatef(10, y + font->yHotSpot, 0);
      font->print(line.c_str());
      line.clear();
    };
    for (int code = font->firstChar; code < font->firstChar + font->charCount; ++code) {
      line += static_cast<char>(code);
      if (font->getWidth(line.c_str()) > 980) {
        line.pop_back();
        flush();
        line += static_cast<char>(code);
      }
    }
    flush();
  }
  korvu::ImageBank textures;
  textures.load(resource("textures/additional.xml"));
  textures.refresh();
  glLoadIdentity();
  float x = 0;
  for (const char* name : GLOW_NAMES) {
    const auto found = textures.find(name);
    ASSERT_NE(found, textures.end()) << name;
    found->second->draw(korvu::Vector2D(x, 0));
    x += static_cast<float>(found->second->width) + 4;
  }
  EXPECT_GT(y, 256.0f);  // the glyphs stay clear of the images
  korvu_test::saveWindowArtifact("assets_all_glyphs_and_glows");
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}
