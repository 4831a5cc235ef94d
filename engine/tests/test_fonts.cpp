// Bitmap fonts and on-screen messages: the font description read into glyph
// records, refused fonts, text width, printing into a frame (glyph pixels,
// the advance, bytes outside the font), glyph batches over two sheets and
// nested, justification in a rectangle and beside the cursor, texts cut to
// a width, UTF-8 characters beyond the font, and timed and blinking
// messages.
#include <GL/gl.h>

#include <memory>
#include <string>
#include <vector>

#include "fonts/bitmapfont.h"
#include "fonts/font.h"
#include "fonts/message.h"
#include "testsupport.h"
#include "xml.h"

using namespace korvu;
using namespace korvu::fonts;

namespace {

// A font of four characters on a 32 x 32 sheet: "A" red (6 wide), "B" green
// (4 wide) in the first row, "C" blue (5 wide, 2 below the base line) in the
// second, and a blank " " 3 wide; height 8, spacing 1, paddings 1 and 2.
const char* const TEST_FONT_XML =
    "<bitmapfont name=\"tiny\" height=\"8\" spacing=\"1\" width=\"6\" hPadding=\"1\" vPadding=\"2\">\n"
    "  <char char=\" \" width=\"3\"/>\n"
    "  <image file=\"sheet.png\">\n"
    "    <line index=\"1\"><char char=\"A\"/><char char=\"B\" width=\"4\"/></line>\n"
    "    <line index=\"2\"><char char=\"C\" width=\"5\" yHotSpot=\"2\"/></line>\n"
    "  </image>\n"
    "</bitmapfont>\n";

struct Rgb {
  uint8_t r, g, b;
};
const Rgb RED{255, 0, 0}, GREEN{0, 255, 0}, BLUE{0, 0, 255}, BLACK{0, 0, 0};

// Writes the test font's sheet and description into dir.
void writeTestFont(const std::string& dir, const std::string& xml = TEST_FONT_XML) {
  std::vector<uint8_t> sheet(32 * 32 * 4, 0);
  auto fill = [&sheet](int x0, int y0, int w, int h, Rgb c) {
    for (int y = y0; y < y0 + h; ++y) {
      for (int x = x0; x < x0 + w; ++x) {
        uint8_t* p = &sheet[static_cast<size_t>(y * 32 + x) * 4];
        p[0] = c.r;
        p[1] = c.g;
        p[2] = c.b;
        p[3] = 255;
      }
    }
  };
  fill(0, 0, 6, 8, RED);
  fill(7, 0, 4, 8, GREEN);
  fill(0, 10, 5, 8, BLUE);
  korvu_test::writeRgbaPng(dir + "/sheet.png", 32, 32, sheet);
  korvu_test::writeFile(dir + "/bitmapfont.xml", xml);
}

std::unique_ptr<xml::Node> parse(const std::string& text) {
  const std::string dir = korvu_test::makeTempDir();
  korvu_test::writeFile(dir + "/doc.xml", text);
  return std::unique_ptr<xml::Node>(xml::loadXML((dir + "/doc.xml").c_str()));
}

// The modelview translation.
Vector2D cursor() {
  GLfloat m[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, m);
  return Vector2D(m[12], m[13]);
}

// A font of fixed metrics that records where and what it was asked to print.
class RecordingFont : public Font {
 public:
  mutable std::vector<Vector2D> at;
  mutable std::string last;
  uint8_t getHeight() const override { return 12; }
  uint16_t getWidth(const char*) const override { return 31; }
  void print(const char* text) const override {
    at.push_back(cursor());
    last = text;
    glTranslatef(31, 0, 0);
  }
  using Font::print;
};

class FontFrame : public korvu_test::GLWindowTest {
 protected:
  int windowWidth() const override { return 64; }
  int windowHeight() const override { return 40; }
  void SetUp() override {
    korvu_test::GLWindowTest::SetUp();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 64, 0, 40, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glColor4f(1, 1, 1, 1);
    glClearColor(0, 0, 0, 1);  // opaque, so the saved frames show as they are
    glClear(GL_COLOR_BUFFER_BIT);
  }
  // Each pixel of the frame against the colour wanted there.
  void expectFrame(const std::function<Rgb(int, int)>& want, const char* what) {
    const std::vector<uint8_t> frame = korvu_test::readPixels(0, 0, 64, 40);
    int wrong = 0;
    for (int y = 0; y < 40; ++y) {
      for (int x = 0; x < 64; ++x) {
        const uint8_t* p = &frame[static_cast<size_t>(y * 64 + x) * 4];
        const Rgb w = want(x, y);
        if (p[0] != w.r || p[1] != w.g || p[2] != w.b) {
          if (++wrong <= 5) ADD_FAILURE() << what << ": pixel " << x << ", " << y << " is " << int(p[0]) << ","
                                          << int(p[1]) << "," << int(p[2]);
        }
      }
    }
    EXPECT_EQ(wrong, 0) << what;
  }
};

// The test font's metrics with "C" on a second sheet, at the place where
// the first sheet has "A": a glyph drawn from the wrong sheet shows red.
const char* const TWO_SHEET_FONT_XML =
    "<bitmapfont name=\"two\" height=\"8\" spacing=\"1\" width=\"6\" hPadding=\"1\" vPadding=\"2\">\n"
    "  <char char=\" \" width=\"3\"/>\n"
    "  <image file=\"sheet.png\"><line index=\"1\"><char char=\"A\"/><char char=\"B\" width=\"4\"/></line></image>\n"
    "  <image file=\"other.png\"><line index=\"1\"><char char=\"C\" width=\"5\" yHotSpot=\"2\"/></line></image>\n"
    "</bitmapfont>\n";

void writeTwoSheetFont(const std::string& dir) {
  writeTestFont(dir, TWO_SHEET_FONT_XML);
  std::vector<uint8_t> other(32 * 32 * 4, 0);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 5; ++x) {
      uint8_t* p = &other[static_cast<size_t>(y * 32 + x) * 4];
      p[2] = 255;
      p[3] = 255;
    }
  korvu_test::writeRgbaPng(dir + "/other.png", 32, 32, other);
}

// A font that measures only: "W" 13 wide, "." and " " 4, anything else 8.
class MeasuringFont : public Font {
 public:
  uint8_t getHeight() const override { return 12; }
  uint16_t getWidth(const char* text) const override {
    uint16_t sum = 0;
    for (const char* p = text; *p; ++p) sum = static_cast<uint16_t>(sum + (*p == 'W' ? 13 : *p == '.' || *p == ' ' ? 4 : 8));
    return sum;
  }
  void print(const char*) const override {}
};

// Where the test font draws "AB C" with its base line starting at (x, y).
Rgb testTextAt(int px, int py, int x, int y) {
  if (py >= y && py < y + 8) {
    if (px >= x && px < x + 6) return RED;
    if (px >= x + 7 && px < x + 11) return GREEN;
  }
  if (py >= y - 2 && py < y + 6 && px >= x + 16 && px < x + 21) return BLUE;
  return BLACK;
}

}  // namespace

TEST(BitmapFontDescription, RowsAdvancesAndDefaults) {
  auto root = parse(
      "<bitmapfont height=\"16\" width=\"10\" yHotSpot=\"3\" hPadding=\"1\" vPadding=\"0x2\">"
      "<image file=\"a.png\">"
      "<line index=\"2\"><char char=\"a\"/><char char=\"b\" width=\"12\"/><char width=\"40\"/>"
      "<char char=\"99\" height=\"7\" yHotSpot=\"-1\"/><char char=\"200\"/><char char=\"e\"/></line>"
      "<line><char char=\"f\"/></line><line index=\"0\"><char char=\"g\"/></line>"
      "</image>"
      "<image><line index=\"1\"><char char=\"h\"/></line></image>"
      "<char/><char char=\"!\" width=\"5\"/>"
      "<image file=\"a.png\"><line index=\"1\"><char char=\"a\" width=\"4\"/></line></image>"
      "<image file=\"sub/b.png\"><line index=\"3\"><char char=\"z\"/></line></image>"
      "</bitmapfont>");
  ASSERT_TRUE(root);
  ImageBank sheets;
  BitmapFontDescription d;
  testing::internal::CaptureStdout();
  readBitmapFont(root.get(), "fonts/x", sheets, d);
  const std::string log = testing::internal::GetCapturedStdout();

  EXPECT_EQ(d.name, "fonts/x");
  EXPECT_EQ(d.height, 16);
  EXPECT_EQ(d.yHotSpot, 3);
  // One image per file name, read beside the description.
  ASSERT_EQ(sheets.size(), 2u);
  Image* a = sheets["a.png"];
  EXPECT_EQ(a->fileName, "fonts/x/a.png");
  EXPECT_EQ(sheets["sub/b.png"]->fileName, "fonts/x/sub/b.png");
  EXPECT_EQ(a->texture, 0u);

  // Codes: ' ' (the blank without a code), '!', 'a', 'b', 'c' (99), 'e', 'z'.
  std::vector<int> codes;
  for (const auto& entry : d.characters) codes.push_back(entry.first);
  EXPECT_EQ(codes, (std::vector<int>{' ', '!', 'a', 'b', 'c', 'e', 'z'}));

  // Row 2 starts 16 + 2 below the top; x grows by width + hPadding, and a
  // glyph without a code takes no room.
  const BitmapFontCharacterData& b = d.characters.at('b');
  EXPECT_EQ(b.image, a);
  EXPECT_EQ(b.x, 11u);
  EXPECT_EQ(b.y, 18u);
  EXPECT_EQ(b.width, 12);
  EXPECT_EQ(b.height, 16);
  EXPECT_EQ(b.yHotSpot, 3);
  const BitmapFontCharacterData& c = d.characters.at('c');
  EXPECT_EQ(c.x, 24u);
  EXPECT_EQ(c.width, 10);
  EXPECT_EQ(c.height, 7);
  EXPECT_EQ(c.yHotSpot, -1);
  // A code out of range is skipped but still takes its room in the row.
  EXPECT_EQ(d.characters.at('e').x, 46u);
  // The later "a" replaces the earlier one and keeps the same sheet.
  EXPECT_EQ(d.characters.at('a').width, 4);
  EXPECT_EQ(d.characters.at('a').y, 0u);
  EXPECT_EQ(d.characters.at('a').image, a);
  EXPECT_EQ(d.characters.at('z').y, 36u);
  // Blanks: no sheet, width 0 unless given.
  EXPECT_EQ(d.characters.at(' ').image, nullptr);
  EXPECT_EQ(d.characters.at(' ').width, 0);
  EXPECT_EQ(d.characters.at('!').width, 5);

  for (const char* message :
       {"No name specified for font. Using directory name.",
        "No character index specified for character node. Skipping character.",
        "Character code 200 of character node is not between 1 and 127. Skipping character.",
        "No filename specified for font image. Skipping image.",
        "No character index specified for blank character node. Using #32.",
        "Line of font image \"a.png\" without an index of 1 or more. Skipping line."}) {
    EXPECT_NE(log.find(message), std::string::npos) << message << "\n" << log;
  }
}

TEST(BitmapFontDescription, GlyphsOutsideTheirSheetAreFound) {
  ImageBank sheets;
  Image* sheet = new Image("s", "s.png", Vector2D());
  sheets += sheet;
  sheet->width = 20;
  sheet->height = 16;
  BitmapFontDescription d;
  d.name = "f";
  BitmapFontCharacterData glyph(sheet);
  glyph.x = 12;
  glyph.width = 8;
  glyph.height = 16;
  d.characters['a'] = glyph;
  d.characters[' '] = BitmapFontCharacterData();
  EXPECT_NO_THROW(checkGlyphs(d));
  d.characters['a'].width = 9;
  EXPECT_THROW(checkGlyphs(d), std::string);
  d.characters['a'].width = 8;
  d.characters['a'].y = 1;
  EXPECT_THROW(checkGlyphs(d), std::string);
  d.characters['a'].y = UINT32_MAX;
  EXPECT_THROW(checkGlyphs(d), std::string);
}

TEST_F(FontFrame, PrintedLineCoversItsGlyphsAndAdvancesByItsWidth) {
  const std::string dir = korvu_test::makeTempDir();
  writeTestFont(dir);
  BitmapFont font(dir);  // no slash: one is added
  EXPECT_EQ(font.name, "tiny");
  EXPECT_EQ(font.getHeight(), 8);
  EXPECT_EQ(font.firstChar, ' ');
  EXPECT_EQ(font.charCount, 'C' - ' ' + 1);
  EXPECT_EQ(font.getWidth("AB C"), 22);
  EXPECT_EQ(font.getWidth(""), 0);
  // Bytes outside the font add the spacing only.
  EXPECT_EQ(font.getWidth("A\x80Z\x1f"), 6 + 4);
  EXPECT_EQ(font.getWidth("?"), 1);  // a gap inside the range

  glTranslatef(10, 20, 0);
  font.print("AB C");
  EXPECT_EQ(cursor(), Vector2D(32, 20));
  korvu_test::saveWindowArtifact("font_test_line");
  expectFrame([](int x, int y) { return testTextAt(x, y, 10, 20); }, "AB C at 10, 20");
  // The colour and texture state are the caller's again.
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  GLint listBase = -1;
  glGetIntegerv(GL_LIST_BASE, &listBase);
  EXPECT_EQ(listBase, 0);

  // Bytes outside the font and a gap inside it draw nothing.
  glClear(GL_COLOR_BUFFER_BIT);
  glLoadIdentity();
  glTranslatef(2, 30, 0);
  font.print("\x80Z?A\x7f");
  EXPECT_EQ(cursor(), Vector2D(2 + 1 + 1 + 1 + 7 + 1, 30));
  expectFrame(
      [](int x, int y) { return (y >= 30 && y < 38 && x >= 5 && x < 11) ? RED : BLACK; }, "only A after three skips");

  // printf formats, then prints beside the cursor.
  glClear(GL_COLOR_BUFFER_BIT);
  glLoadIdentity();
  glTranslatef(31, 20, 0);
  font.printf(JUSTIFY_HCENTER, "%c%c %s", 'A', 'B', "C");
  EXPECT_EQ(cursor(), Vector2D(31 - 11 + 22, 20));
  expectFrame([](int x, int y) { return testTextAt(x, y, 20, 20); }, "AB C centred on 31");

  // Gathered into a batch, texts draw nothing until the batch draws them,
  // each where it was printed, and the cursor moves as printing moves it.
  glClear(GL_COLOR_BUFFER_BIT);
  glLoadIdentity();
  {
    GlyphBatch batch;
    glTranslatef(2, 30, 0);
    font.print("\x80Z?A\x7f");
    glLoadIdentity();
    glTranslatef(31, 20, 0);
    font.printf(JUSTIFY_HCENTER, "%c%c %s", 'A', 'B', "C");
    EXPECT_EQ(cursor(), Vector2D(31 - 11 + 22, 20));
    expectFrame([](int, int) { return BLACK; }, "nothing before the batch draws");
    batch.draw();
  }
  expectFrame(
      [](int x, int y) { return (y >= 30 && y < 38 && x >= 5 && x < 11) ? RED : testTextAt(x, y, 20, 20); },
      "both texts drawn by the batch");
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// A batch holding glyphs of two sheets, and a batch opened inside another,
// leave the frame as printing the same texts unbatched leaves it; the
// texts are half transparent, so a glyph drawn twice shows brighter.
TEST_F(FontFrame, BatchesChangeSheetsAndNestAsPrintingUnbatchedDraws) {
  const std::string dir = korvu_test::makeTempDir();
  writeTwoSheetFont(dir);
  BitmapFont font(dir);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glColor4f(1, 1, 1, 0.5f);
  const auto at = [](float x, float y) {
    glLoadIdentity();
    glTranslatef(x, y, 0);
  };
  // Sheets change from the first to the second and back within each text.
  const auto printAll = [&](const std::function<void(int)>& between) {
    at(2, 28);
    font.print("AB CA");
    between(0);
    at(30, 16);
    font.print("CAB C");
    between(1);
    at(4, 4);
    font.print("C CB");
  };
  printAll([](int) {});
  const std::vector<uint8_t> unbatched = korvu_test::readPixels(0, 0, 64, 40);
  const auto expectUnbatched = [&](const char* what) {
    const std::vector<uint8_t> frame = korvu_test::readPixels(0, 0, 64, 40);
    int wrong = 0;
    for (size_t i = 0; i < frame.size(); ++i) wrong += frame[i] != unbatched[i];
    EXPECT_EQ(wrong, 0) << what;
  };
  // The first text holds both sheets' glyphs, half-bright, in its place.
  const std::vector<uint8_t> red = korvu_test::readPixels(2, 28, 1, 1), blue = korvu_test::readPixels(18, 26, 1, 1);
  EXPECT_TRUE(red[0] > 100 && red[0] < 160 && red[2] == 0) << int(red[0]) << "," << int(red[2]);
  EXPECT_TRUE(blue[2] > 100 && blue[2] < 160 && blue[0] == 0) << int(blue[0]) << "," << int(blue[2]);

  glClear(GL_COLOR_BUFFER_BIT);
  {
    GlyphBatch batch;
    printAll([](int) {});
    batch.draw();
  }
  korvu_test::saveWindowArtifact("font_batch_two_sheets");
  expectUnbatched("one batch over two sheets");

  // The inner batch draws the middle text alone; the outer one, still
  // open after it, gathers the last text too and draws the other two once.
  glClear(GL_COLOR_BUFFER_BIT);
  {
    GlyphBatch outer;
    std::unique_ptr<GlyphBatch> inner;
    printAll([&](int step) {
      if (step == 0) {
        inner.reset(new GlyphBatch);
      } else {
        inner->draw();
        inner.reset();
      }
    });
    // "CAB C" is 28 wide and reaches 2 below its base line at 16.
    const std::vector<uint8_t> middle = korvu_test::readPixels(0, 0, 64, 40);
    int elsewhere = 0;
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 64; ++x) {
        const uint8_t* p = &middle[static_cast<size_t>(y * 64 + x) * 4];
        elsewhere += (x < 30 || x >= 58 || y < 14 || y >= 24) && (p[0] || p[1] || p[2]);
      }
    EXPECT_EQ(elsewhere, 0) << "drawn before the outer batch draws";
    outer.draw();
  }
  korvu_test::saveWindowArtifact("font_batch_nested");
  expectUnbatched("a batch inside a batch");
  glDisable(GL_BLEND);
}

TEST_F(FontFrame, RefusedFonts) {
  const std::string dir = korvu_test::makeTempDir();
  auto refusal = [](const std::string& directory) -> std::string {
    try {
      BitmapFont font(directory);
    } catch (const std::string& message) {
      return message;
    }
    return "";
  };
  EXPECT_EQ(refusal(dir + "/none"), "Could not open XML file");

  writeTestFont(dir, "<font height=\"8\"/>");
  EXPECT_NE(refusal(dir).find("is no bitmap font description"), std::string::npos);

  writeTestFont(dir, "<bitmapfont name=\"empty\" height=\"8\"><image file=\"sheet.png\"/></bitmapfont>");
  EXPECT_EQ(refusal(dir), "Font \"empty\" declares no character.");

  // Row 4 of 8-pixel rows with 2 between them starts at 30: past a 32-pixel sheet.
  writeTestFont(dir,
                "<bitmapfont name=\"tall\" height=\"8\" vPadding=\"2\" width=\"4\"><image file=\"sheet.png\">"
                "<line index=\"4\"><char char=\"a\"/></line></image></bitmapfont>");
  EXPECT_NE(refusal(dir).find("Character 97 of font \"tall\" lies outside its image"), std::string::npos);

  writeTestFont(dir,
                "<bitmapfont name=\"lost\" height=\"8\" width=\"4\"><image file=\"gone.png\">"
                "<line index=\"1\"><char char=\"a\"/></line></image></bitmapfont>");
  EXPECT_EQ(refusal(dir).find("Could not load \"" + dir + "/gone.png\""), 0u);

  // Built from an element: the directory as given names a font without one.
  auto root = parse("<bitmapfont height=\"8\"><char char=\"x\" width=\"2\"/></bitmapfont>");
  BitmapFont blank(root.get(), "fonts/blank/");
  EXPECT_EQ(blank.name, "fonts/blank/");
  EXPECT_EQ(blank.getWidth("xx"), 4);
}

TEST_F(FontFrame, TextIsPlacedInRectanglesAndBesideTheCursor) {
  RecordingFont font;
  struct Case {
    Rect r;
    JustificationHorizontal h;
    JustificationVertical v;
    Vector2D want;
  } cases[] = {
      {{0, 0, 101, 20}, JUSTIFY_HCENTER, JUSTIFY_VCENTER, {35.5f, 4}},
      {{10, 40, 100, 30}, JUSTIFY_LEFT, JUSTIFY_BOTTOM, {10, 40}},
      {{10, 40, 100, 30}, JUSTIFY_RIGHT, JUSTIFY_TOP, {79, 58}},
  };
  for (const Case& c : cases) {
    glLoadIdentity();
    glTranslatef(3, 5, 0);
    font.print(c.r, c.h, c.v, "x");
    EXPECT_EQ(font.at.back(), Vector2D(3 + c.want.x, 5 + c.want.y));
    // Only the advance stays behind.
    EXPECT_EQ(cursor(), Vector2D(3 + 31, 5));
  }
  const std::pair<JustificationHorizontal, float> beside[] = {
      {JUSTIFY_LEFT, 0}, {JUSTIFY_HCENTER, -16}, {JUSTIFY_RIGHT, -31}};
  for (const auto& b : beside) {
    glLoadIdentity();
    font.print(b.first, "x");
    EXPECT_EQ(font.at.back(), Vector2D(b.second, 0));
  }
  // Formatted texts are cut after 1023 characters.
  font.printf("%s-%d", std::string(2000, 'q').c_str(), 7);
  EXPECT_EQ(font.last, std::string(1023, 'q'));
  glLoadIdentity();
  font.printf(Rect(0, 0, 101, 20), JUSTIFY_HCENTER, JUSTIFY_VCENTER, "%d", 12);
  EXPECT_EQ(font.last, "12");
  EXPECT_EQ(font.at.back(), Vector2D(35.5f, 4));
}

TEST(FontCut, TextsTooWideEndInAnEllipsisWithinTheWidth) {
  MeasuringFont font;
  const std::string widest(32, 'W');
  // Texts that fit, to the pixel, are kept whole.
  EXPECT_EQ(font.cutToWidth("", 0), "");
  EXPECT_EQ(font.cutToWidth("Bo", 16), "Bo");
  EXPECT_EQ(font.cutToWidth(widest, 416), widest);
  // The longest beginning that fits with the ellipsis: 6 x 13 + 12 = 90.
  EXPECT_EQ(font.cutToWidth(widest, 415), std::string(31, 'W') + "...");
  EXPECT_EQ(font.cutToWidth(widest, 90), "WWWWWW...");
  EXPECT_EQ(font.cutToWidth(widest, 102), "WWWWWW...");
  // A space before the cut is not left hanging before the ellipsis.
  EXPECT_EQ(font.cutToWidth("Ab cdef", 39), "Ab...");
  // Far wider than 16 bits count (5042 x 13 = 65546): still measured whole.
  EXPECT_EQ(font.cutToWidth(std::string(5042, 'W'), 90), "WWWWWW...");
  // Cut at the start, the end stays: "..." then what fits of it.
  EXPECT_EQ(font.cutToWidth(widest, 90, true), "...WWWWWW");
  EXPECT_EQ(font.cutToWidth("abcd ef", 39, true), "...ef");
  EXPECT_EQ(font.cutToWidth("Bo", 16, true), "Bo");
  // Too narrow for the ellipsis itself: nothing.
  EXPECT_EQ(font.cutToWidth(widest, 12), "...");
  EXPECT_EQ(font.cutToWidth(widest, 11), "");
  EXPECT_EQ(font.cutToWidth(widest, -5), "");
}

// Texts are UTF-8, the font's codes ASCII: every other character, and each
// byte of a malformed one, takes the room of "?" and draws it, and cuts
// fall between characters. The test font has "?" where it has "B".
TEST_F(FontFrame, CharactersBeyondTheFontShowAsOneMarkEach) {
  const std::string dir = korvu_test::makeTempDir();
  std::string xml = TEST_FONT_XML;
  xml.replace(xml.find("char=\"B\""), 8, "char=\"?\"");
  writeTestFont(dir, xml);
  BitmapFont font(dir);
  const std::pair<const char*, const char*> measured[] = {
      {"A\xc3\xa4" "C", "A?C"},  // a letter of two bytes
      {"\xe2\x82\xac", "?"},  // three
      {"\xf0\x9f\x98\x80", "?"},  // four
      {"A\x80" "C", "A?C"},  // a stray continuation byte
      {"A\xc3" "C", "A?C"},  // a sequence cut off
      {"\xe2\x82", "??"},  // ... at the end
      {"\xc0\xaf", "??"},  // an overlong form
      {"\xed\xa0\x80", "???"},  // a surrogate
      {"\xf4\x90\x80\x80", "????"},  // beyond Unicode
  };
  for (const auto& m : measured) EXPECT_EQ(font.getWidth(m.first), font.getWidth(m.second)) << m.second;

  const char* const text = "A\xc3\xa4 C";
  glTranslatef(10, 20, 0);
  font.print(text);
  EXPECT_EQ(cursor(), Vector2D(32, 20));
  korvu_test::saveWindowArtifact("font_two_byte_letter_as_mark");
  expectFrame([](int x, int y) { return testTextAt(x, y, 10, 20); }, "A, a mark, C");
  glClear(GL_COLOR_BUFFER_BIT);
  glLoadIdentity();
  {
    GlyphBatch batch;
    // Measured and gathered, the advance is the same: this one is undone.
    font.print(JUSTIFY_RIGHT, text);
    EXPECT_EQ(cursor(), Vector2D(0, 0));
    glLoadIdentity();
    glTranslatef(10, 20, 0);
    font.print(text);
    batch.draw();
  }
  expectFrame([](int x, int y) { return testTextAt(x, y, 10, 20); }, "A, a mark, C gathered");

  // "?" advances by 5, "." (a gap) by 1.
  const std::string euros = "\xe2\x82\xac\xe2\x82\xac\xe2\x82\xac";
  EXPECT_EQ(font.cutToWidth(euros, 12), "\xe2\x82\xac...");
  EXPECT_EQ(font.cutToWidth(euros, 12, true), "...\xe2\x82\xac");
  // Measured in pieces, a long text is still cut nowhere.
  std::string many;
  for (int i = 0; i < 100; ++i) many += "\xe2\x82\xac";
  EXPECT_EQ(font.cutToWidth(many, 500), many);
}

TEST(Messages, TimesRunOutAndNewMessagesReplaceOld) {
  int alive = 0;
  struct Counted : Message {
    int& alive;
    Counted(int& a, float time) : Message("m", time), alive(a) { ++alive; }
    ~Counted() override { --alive; }
  };
  RecordingFont listFont, ownFont;
  Messages list;
  list.font = &listFont;
  list += new Counted(alive, 3000);
  Counted* second = new Counted(alive, 3000);
  second->font = &ownFont;
  list += second;
  EXPECT_EQ(alive, 1);  // the first went at once
  ASSERT_EQ(list.messages.size(), 1u);
  EXPECT_EQ(second->font, &ownFont);

  int performs = 0;
  while (!list.messages.empty() && performs < 1000) {
    list.perform(16);
    ++performs;
  }
  EXPECT_EQ(performs, 188);  // 3000 - 188 * 16 = -8
  EXPECT_EQ(alive, 0);

  // Kept messages stay side by side; a message of no time goes at the next step.
  list.keep = true;
  list += new Counted(alive, 0);
  list += new Counted(alive, 10);
  ASSERT_EQ(list.messages.size(), 2u);
  EXPECT_EQ(list.messages.back()->font, &listFont);
  list.perform(0);
  EXPECT_EQ(list.messages.size(), 1u);
  {
    Messages other;
    other += new Counted(alive, 5);
  }
  EXPECT_EQ(alive, 1);
  list.clear();
  EXPECT_EQ(alive, 0);
}

TEST(Messages, BlinkingPhases) {
  BlinkMessage m("lap", 10000, 500, 250);
  std::string seen;
  for (int t = 0; t < 1500; t += 50) {
    seen += m.visible ? '#' : '.';
    m.perform(50);
  }
  // A phase ends once its time is over, not as it runs out.
  EXPECT_EQ(seen, "###########.....##########....");
  EXPECT_FLOAT_EQ(m.remainingTime, 8500);

  // A long step flips as often as the phases it spans.
  BlinkMessage jump("lap", 10000, 500, 250);
  jump.perform(1300);
  EXPECT_FALSE(jump.visible);
  EXPECT_FLOAT_EQ(jump.phaseTimer, 200);
  jump.perform(1e9f);
  EXPECT_GE(jump.phaseTimer, 0.0f);

  // A negative off time means as long as the on time.
  BlinkMessage even("x", 1000, 100, -1);
  EXPECT_EQ(even.offTime, 100);
  even.perform(150);
  EXPECT_FALSE(even.visible);
  even.perform(60);
  EXPECT_TRUE(even.visible);

  // Phases of no time at all neither hang nor blink.
  for (float on : {0.0f, -5.0f}) {
    BlinkMessage still("x", 1000, on, 0);
    still.perform(16);
    still.perform(16);
    EXPECT_TRUE(still.visible);
    EXPECT_FLOAT_EQ(still.remainingTime, 968);
  }
  BlinkMessage none;
  none.perform(16);
  EXPECT_TRUE(none.visible);
  EXPECT_EQ(none.font, nullptr);
}

TEST_F(FontFrame, MessagesAreDrawnCentredAndBlink) {
  const std::string dir = korvu_test::makeTempDir();
  writeTestFont(dir);
  BitmapFont font(dir);
  Messages list;
  list.font = &font;
  list.rectangle = Rect(0, 0, 64, 40);
  list += new Message("AB C", 3000);
  list.perform(16);
  list.draw();
  // Width 22, height 8: the base line starts at 32 - 11, 20 - 4.
  expectFrame([](int x, int y) { return testTextAt(x, y, 21, 16); }, "centred message");
  EXPECT_EQ(cursor(), Vector2D(0, 0));
  korvu_test::saveWindowArtifact("message_centred");

  // Frames of 40 ms with 100 ms shown and 60 ms hidden.
  list += new BlinkMessage("AB C", 3000, 100, 60);
  std::string seen;
  for (int frame = 0; frame < 8; ++frame) {
    glClear(GL_COLOR_BUFFER_BIT);
    list.draw();
    const std::vector<uint8_t> p = korvu_test::readPixels(21, 16, 1, 1);
    seen += p[0] == 255 ? '#' : '.';
    if (frame == 3) korvu_test::saveWindowArtifact("message_blink_hidden");
    list.perform(40);
  }
  EXPECT_EQ(seen, "###..##.");
}
