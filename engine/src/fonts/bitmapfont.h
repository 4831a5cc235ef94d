// Bitmap fonts: glyphs cut from glyph-sheet images that a "bitmapfont.xml"
// file describes; every character code becomes one display list that draws
// its glyph and moves the position on. The font owns its sheets (in an
// image bank of its own) and its display lists. Character codes are 1 to
// 127, so a text's other characters (and each byte of a malformed one) are
// drawn as the font's "?", the font showing that something is there; an
// ASCII byte outside the font's codes draws nothing and advances by the
// spacing only, as does the mark of a font without "?".
#pragma once

#include <GL/gl.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "fonts/font.h"
#include "image.h"

namespace korvu {
namespace xml { class Node; }

namespace fonts {

extern const std::string FILENAME_BITMAPFONT;  // "bitmapfont.xml"

// One glyph (or, without a sheet, one blank character) as the file gives it.
struct BitmapFontCharacterData {
  Image* image;  // its sheet, owned by the font's image bank; null: blank
  uint32_t x, y;  // upper-left corner in the sheet, pixels from its top left
  uint8_t width, height;
  int8_t yHotSpot;  // how far the glyph reaches below the base line

  explicit BitmapFontCharacterData(Image* image_ = nullptr)
      : image(image_), x(0), y(0), width(0), height(0), yHotSpot(0) {}
};

// What a "bitmapfont" element declares, read without OpenGL.
struct BitmapFontDescription {
  std::string name;
  uint8_t height = 0;
  uint8_t spacing = 0;
  uint8_t yHotSpot = 0;
  std::map<int, BitmapFontCharacterData> characters;  // by code, 1 to 127
};

// Reads the element into a description and declares its sheets (unloaded)
// in the image bank, each named by its "file" value and read from the
// directory (a slash is added when missing) followed by that value. A sheet
// named twice is one image. Entries it cannot use are logged and skipped.
void readBitmapFont(const xml::Node* element, const std::string& directory, ImageBank& sheets,
                    BitmapFontDescription& out);

// Throws a message when a glyph reaches outside its sheet; the sheets must
// have been loaded (or decoded) so that their sizes are known.
void checkGlyphs(const BitmapFontDescription& description);

// Glyphs gathered instead of drawn. While a batch is open, BitmapFont::print
// adds the quads of its glyphs, placed where the cursor stands, to it and
// moves the cursor on as printing does; draw() then draws them all in one
// go, in the current colour and blending, where they were printed. The
// software renderer pays for every draw and keeps memory for each, so a
// text printed over several times (an outline) is far cheaper gathered
// than drawn a glyph at a time. Batches open on one thread, the drawing's;
// an inner one gathers until it closes.
class GlyphBatch {
 public:
  GlyphBatch();
  // Closes the batch; what it holds and has not drawn is dropped.
  ~GlyphBatch();
  GlyphBatch(const GlyphBatch&) = delete;
  GlyphBatch& operator=(const GlyphBatch&) = delete;

  void draw() const;

 private:
  friend class BitmapFont;
  struct Quad {
    GLuint texture;
    float x[4], y[4];  // corners on the screen, in the order of the texture's
    float s0, t0, s1, t1;
  };
  std::vector<Quad> quads_;
  GlyphBatch* outer_;
};

class BitmapFont : public Font {
 public:
  uint8_t firstChar;  // the smallest code
  int charCount;      // codes from the first to the largest, gaps included
  uint8_t height;
  uint8_t spacing;  // extra advance after every character
  GLuint listBase;  // the first of charCount display lists; 0 when none
  std::vector<uint8_t> widths;  // advance of each code from firstChar on
  ImageBank glyphImages;  // the sheets

  // Reads <directory>/bitmapfont.xml. Throws the XML reader's message, a
  // sheet's "Could not load" message, or a message when the file is no
  // bitmap font, declares no character or has a glyph outside its sheet.
  explicit BitmapFont(const std::string& directory);
  BitmapFont(const xml::Node* element, const std::string& directory);
  ~BitmapFont() override;

  // Builds the font from a "bitmapfont" element: glyph records, sheets
  // (loaded with linear filtering), widths and display lists. Throws as the
  // constructor does; the font is then empty.
  void getFromNode(const xml::Node* element, const std::string& directory);

  uint8_t getHeight() const override { return height; }
  uint16_t getWidth(const char* text) const override;
  void print(const char* text) const override;
  using Font::print;

 private:
  // Each code's glyph as a batch gathers it: corners relative to the
  // position, texture coordinates and sheet (texture 0: a blank).
  struct GlyphQuad {
    GLuint texture = 0;
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    float s0 = 0, t0 = 0, s1 = 0, t1 = 0;
  };
  std::vector<GlyphQuad> glyphs_;

  bool hasCode(int code) const { return code >= firstChar && code < firstChar + charCount; }
  // Reads the character at `text` and moves past it; the code that draws
  // it, which may be none of the font's.
  int codeAt(const char*& text) const;
  // Adds the text's glyphs to the open batch and moves the position on.
  void gather(const char* text, GlyphBatch& batch) const;
  // Frees the display lists and sheets and empties the font.
  void reset();
};

}  // namespace fonts
}  // namespace korvu
