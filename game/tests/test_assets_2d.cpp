// The bitmap fonts and glow images in resources/, as the asset tools make
// them: every character present, glyph cells inside their sheets with clear
// gaps, one base line, tintable colours, and glow pictures that are
// power-of-two, empty at their borders and shaped as the scene expects;
// then the same through the engine's own loaders: they load without a log
// line, a line printed in each font stays in the box its metrics promise,
// and one picture shows every glyph beside the glow images.
#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "assetsupport.h"
#include "fonts/bitmapfont.h"
#include "image.h"
#include "testsupport.h"
#include "xml.h"

using glimro_test::FONT_DIRS;
using glimro_test::GLOW_NAMES;
using glimro_test::resource;
using korvu_test::DecodedPng;
using korvu_test::decodePng;

namespace {

bool isPowerOfTwo(int n) { return n > 0 && (n & (n - 1)) == 0; }

const uint8_t* texel(const DecodedPng& png, int x, int y) {
  return &png.rgba[(static_cast<size_t>(y) * png.width + x) * 4];
}

// A font file read by the rules of the format, independently of the engine.
struct GlyphCell {
  int code, x, top, width;
};
struct FontFile {
  std::string name;
  int height = 0, yHotSpot = 0, hPadding = 0, vPadding = 0;
  std::map<int, int> widths;  // every code, blank or glyph
  std::vector<GlyphCell> cells;
  std::string sheet;
  int sheets = 0;
};

int codeOf(const std::string& value) {
  return value.size() == 1 ? static_cast<unsigned char>(value[0]) : static_cast<int>(std::strtol(value.c_str(), nullptr, 0));
}

FontFile readFont(const std::string& dir) {
  std::unique_ptr<korvu::xml::Node> root(korvu::xml::loadXML(resource("fonts/" + dir + "/bitmapfont.xml").c_str()));
  FontFile font;
  EXPECT_EQ(root->name, "bitmapfont");
  font.name = root->getAttribute("name", "");
  font.height = static_cast<int>(root->getAttributeLong("height", 0));
  font.yHotSpot = static_cast<int>(root->getAttributeLong("yHotSpot", 0));
  font.hPadding = static_cast<int>(root->getAttributeLong("hPadding", 0));
  font.vPadding = static_cast<int>(root->getAttributeLong("vPadding", 0));
  for (const korvu::xml::Node* child : root->children) {
    if (child->name == "char") {
      EXPECT_TRUE(font.widths.emplace(codeOf(child->getAttribute("char", "")), child->getAttributeLong("width", 0)).second);
    } else if (child->name == "image") {
      ++font.sheets;
      font.sheet = child->getAttribute("file", "");
      for (const korvu::xml::Node* line : child->children) {
        const int top = (font.height + font.vPadding) * (static_cast<int>(line->getAttributeLong("index", 0)) - 1);
        int x = 0;
        for (const korvu::xml::Node* c : line->children) {
          const GlyphCell cell{codeOf(c->getAttribute("char", "")), x, top, static_cast<int>(c->getAttributeLong("width", 0))};
          EXPECT_EQ(c->getAttribute("height"), nullptr) << "glyphs share the font's height";
          EXPECT_TRUE(font.widths.emplace(cell.code, cell.width).second) << dir << ": code " << cell.code << " twice";
          font.cells.push_back(cell);
          x += cell.width + font.hPadding;
        }
      }
    }
  }
  return font;
}

DecodedPng readSheet(const std::string& dir, const FontFile& font) {
  DecodedPng png;
  EXPECT_TRUE(decodePng(resource("fonts/" + dir + "/" + font.sheet), png)) << dir;
  return png;
}

const GlyphCell& cellOf(const FontFile& font, int code) {
  for (const GlyphCell& cell : font.cells)
    if (cell.code == code) return cell;
  static const GlyphCell none{0, 0, 0, 0};
  ADD_FAILURE() << font.name << " has no glyph " << code;
  return none;
}

// The rows of a glyph cell, counted from its top, that hold fill: bright,
// mostly opaque texels (the title face's dark rim and shadow do not count).
std::vector<int> filledRows(const DecodedPng& png, const FontFile& font, int code) {
  const GlyphCell& cell = cellOf(font, code);
  std::vector<int> rows;
  for (int y = 0; y < font.height; ++y)
    for (int x = 0; x < cell.width; ++x) {
      const uint8_t* p = texel(png, cell.x + x, cell.top + y);
      if (p[3] >= 128 && p[0] >= 128) {
        rows.push_back(y);
        break;
      }
    }
  return rows;
}

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

TEST(FontAssets, EveryPrintableCharacterOnceWithSteadyDigits) {
  for (const char* dir : FONT_DIRS) {
    SCOPED_TRACE(dir);
    const FontFile font = readFont(dir);
    EXPECT_EQ(font.name, dir);
    EXPECT_EQ(font.sheets, 1);
    EXPECT_GT(font.height, 8);
    EXPECT_GT(font.yHotSpot, 0);
    EXPECT_LT(font.yHotSpot, font.height / 2);
    ASSERT_EQ(font.widths.size(), 95u);
    EXPECT_EQ(font.widths.begin()->first, 32);
    EXPECT_EQ(font.widths.rbegin()->first, 126);
    for (const auto& [code, width] : font.widths) {
      EXPECT_GT(width, 0) << code;
      EXPECT_LT(width, font.height * 2) << code;
    }
    // Times are printed digit by digit; they must not shift as they count.
    for (int digit = '1'; digit <= '9'; ++digit) EXPECT_EQ(font.widths.at(digit), font.widths.at('0'));
  }
}

TEST(FontAssets, GlyphCellsLieInsideTheirSheetWithEmptyGaps) {
  for (const char* dir : FONT_DIRS) {
    SCOPED_TRACE(dir);
    const FontFile font = readFont(dir);
    const DecodedPng png = readSheet(dir, font);
    ASSERT_FALSE(png.rgba.empty());
    EXPECT_TRUE(isPowerOfTwo(png.width) && isPowerOfTwo(png.height)) << png.width << "x" << png.height;
    EXPECT_GE(font.hPadding, 1);
    EXPECT_GE(font.vPadding, 1);
    std::vector<int> owners(static_cast<size_t>(png.width) * png.height, 0);
    for (const GlyphCell& cell : font.cells) {
      // A gap after every cell, also at the sheet's edges, which texture
      // wrapping joins to the opposite side.
      ASSERT_LE(cell.x + cell.width + font.hPadding, png.width) << cell.code;
      ASSERT_LE(cell.top + font.height + font.vPadding, png.height) << cell.code;
      for (int y = cell.top; y < cell.top + font.height; ++y)
        for (int x = cell.x; x < cell.x + cell.width; ++x) ++owners[static_cast<size_t>(y) * png.width + x];
    }
    int stray = 0, overlaps = 0;
    for (int y = 0; y < png.height; ++y)
      for (int x = 0; x < png.width; ++x) {
        const int owner = owners[static_cast<size_t>(y) * png.width + x];
        if (owner > 1) ++overlaps;
        if (owner == 0 && texel(png, x, y)[3] != 0) ++stray;
      }
    EXPECT_EQ(overlaps, 0);
    EXPECT_EQ(stray, 0) << "ink outside the glyph cells bleeds into neighbours under filtering";
  }
}

TEST(FontAssets, GlyphsStandOnOneBaseLineAndDescendersReachBelowIt) {
  for (const char* dir : FONT_DIRS) {
    SCOPED_TRACE(dir);
    const FontFile font = readFont(dir);
    const DecodedPng png = readSheet(dir, font);
    ASSERT_FALSE(png.rgba.empty());
    const int baseLine = font.height - font.yHotSpot;  // first row below the base line
    for (int code : {'H', 'E', 'x', 'z', '1', '7', 'L'}) {
      const std::vector<int> rows = filledRows(png, font, code);
      ASSERT_FALSE(rows.empty()) << static_cast<char>(code);
      EXPECT_EQ(rows.back(), baseLine - 1) << static_cast<char>(code);
    }
    for (int code : {'g', 'j', 'p', 'q', 'y'}) {
      const std::vector<int> rows = filledRows(png, font, code);
      ASSERT_FALSE(rows.empty()) << static_cast<char>(code);
      EXPECT_GE(rows.back(), baseLine + 1) << static_cast<char>(code);
      EXPECT_LT(rows.back(), font.height) << static_cast<char>(code);
    }
    // Capitals of one height share their top row.
    EXPECT_EQ(filledRows(png, font, 'H').front(), filledRows(png, font, 'E').front());
  }
}

TEST(FontAssets, GlyphColoursTakeTheTint) {
  // The plain faces are pure white, so the drawing colour is what shows; the
  // title face's fill is a neutral grey ramp inside a black rim.
  for (const char* dir : FONT_DIRS) {
    SCOPED_TRACE(dir);
    const FontFile font = readFont(dir);
    const DecodedPng png = readSheet(dir, font);
    const bool plain = std::string(dir) != "andromeda30";
    int wrong = 0, inked = 0;
    for (size_t i = 0; i < png.rgba.size(); i += 4) {
      const uint8_t* p = &png.rgba[i];
      if (p[3] == 0) continue;
      ++inked;
      if (plain ? (p[0] != 255 || p[1] != 255 || p[2] != 255) : (p[0] != p[1] || p[1] != p[2])) ++wrong;
    }
    EXPECT_GT(inked, 1000);
    EXPECT_EQ(wrong, 0);
  }
}

TEST(GlowAssets, ListedImagesAreSquareClampedAndEmptyAtTheirBorders) {
  std::unique_ptr<korvu::xml::Node> root(korvu::xml::loadXML(resource("textures/additional.xml").c_str()));
  ASSERT_EQ(root->name, "images");
  std::map<std::string, const korvu::xml::Node*> entries;
  for (const korvu::xml::Node* child : root->children)
    if (child->name == "image") entries[child->getAttribute("name", "")] = child;
  for (const char* name : GLOW_NAMES) {
    SCOPED_TRACE(name);
    ASSERT_EQ(entries.count(name), 1u);
    const korvu::xml::Node* entry = entries[name];
    EXPECT_TRUE(entry->getAttributeBool("clamp", false));
    EXPECT_EQ(entry->getAttribute("filter", ""), "trilinear");
    DecodedPng png;
    ASSERT_TRUE(decodePng(resource("textures/" + entry->getAttribute("filename", "")), png));
    EXPECT_EQ(png.colorType, 6);  // RGBA
    EXPECT_EQ(png.bitDepth, 8);
    EXPECT_EQ(png.width, png.height);
    EXPECT_TRUE(isPowerOfTwo(png.width));
    EXPECT_GE(png.width, 64);
    EXPECT_LE(png.width, 256);
    int edgeLight = 0, brightest = 0;
    for (int y = 0; y < png.height; ++y)
      for (int x = 0; x < png.width; ++x) {
        const int alpha = texel(png, x, y)[3];
        brightest = std::max(brightest, alpha);
        if ((x == 0 || y == 0 || x == png.width - 1 || y == png.height - 1) && alpha != 0) ++edgeLight;
      }
    EXPECT_EQ(edgeLight, 0) << "a lit border shows the quad's edge";
    EXPECT_GE(brightest, 128);
  }
}

TEST(GlowAssets, GlowFadesOutwardAndTheHaloIsARingWithRedOutside) {
  DecodedPng glow, halo;
  ASSERT_TRUE(decodePng(resource("textures/lenseflareBigGlow.png"), glow));
  ASSERT_TRUE(decodePng(resource("textures/lenseflareHalo.png"), halo));
  // Along a radius the glow never brightens by more than the dither.
  const int mid = glow.width / 2;
  for (int x = mid + 1; x < glow.width; ++x)
    EXPECT_LE(texel(glow, x, mid)[3], texel(glow, x - 1, mid)[3] + 2) << x;
  EXPECT_GT(texel(glow, mid, mid)[3], 200);

  // The halo peaks on a ring well outside its centre; its light (colour
  // times alpha) peaks further out in red than in blue.
  const int c = halo.width / 2;
  int peak = c, redPeak = c, bluePeak = c;
  double bestAlpha = -1, bestRed = -1, bestBlue = -1;
  for (int x = c; x < halo.width; ++x) {
    const uint8_t* p = texel(halo, x, c);
    if (p[3] > bestAlpha) bestAlpha = p[3], peak = x;
    if (p[0] * p[3] > bestRed) bestRed = p[0] * p[3], redPeak = x;
    if (p[2] * p[3] > bestBlue) bestBlue = p[2] * p[3], bluePeak = x;
  }
  EXPECT_GT(peak - c, halo.width / 4);
  EXPECT_LT(texel(halo, c, c)[3], bestAlpha / 4);
  EXPECT_GT(redPeak, bluePeak);
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

TEST_F(RealFonts, EveryFontAndGlowLoadsWithoutALogLineAndIsPictured) {
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
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  ASSERT_EQ(fonts.size(), 3u);
  EXPECT_EQ(textures.size(), 5u);
  for (const auto& entry : textures) EXPECT_NE(entry.second->texture, 0u) << entry.first;

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
