// make_fonts: the game's three bitmap fonts, each a folder below fonts/ with
// its "bitmapfont.xml" and one glyph sheet, rendered from the system's DejaVu
// faces through FreeType. Glyphs are white (the title face a light grey
// gradient inside a dark rim) with coverage in alpha, so the engine's current
// colour tints them. Every glyph cell is a full line high with the base line
// at the same height, so one row height and one hot spot serve all glyphs.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "catalog.h"
#include "picture.h"
#include "xml.h"

using glimro_tools::Picture;
using glimro_tools::Rgba;

namespace {

const char* const FACE_FOLDER = "/usr/share/fonts/truetype/dejavu/";
const char* const SHEET_FILE = "glyphs.png";

// Transparent gaps between glyphs and rows, and along the sheet's right and
// bottom edges, so linear filtering never pulls in a neighbour (nor, through
// texture wrapping, the opposite edge).
const int H_PADDING = 2;
const int V_PADDING = 2;

const int FIRST_CODE = 32;  // the space, written as a blank character
const int LAST_CODE = 126;

struct FontStyle {
  const char* name;      // folder below fonts/ and the font's name
  const char* face;      // file in FACE_FOLDER
  int pixelSize;         // FreeType's nominal size in pixels
  FT_Int32 hinting;      // FT_LOAD_TARGET_*
  float coverageGamma;   // alpha = coverage ^ gamma; below 1 firms up thin strokes
  bool framed;           // gradient fill in a dark outline with a drop shadow
};

const FontStyle FONTS[] = {
    // Titles: large, readable on any background.
    {"andromeda30", "DejaVuSansCondensed-Bold.ttf", 24, FT_LOAD_TARGET_LIGHT, 1.0f, true},
    // Buttons and labels.
    {"arialblack12", "DejaVuSans-Bold.ttf", 12, FT_LOAD_TARGET_NORMAL, 1.0f, false},
    // Heads-up display, frame counter, messages: small and crisp.
    {"arial10", "DejaVuSans.ttf", 11, FT_LOAD_TARGET_NORMAL, 0.85f, false},
};

// A single-channel float image.
struct Plane {
  int width = 0;
  int height = 0;
  std::vector<float> v;
  Plane(int w, int h) : width(w), height(h), v(static_cast<size_t>(w) * h, 0.0f) {}
  float get(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return 0.0f;
    return v[static_cast<size_t>(y) * width + x];
  }
  float& at(int x, int y) { return v[static_cast<size_t>(y) * width + x]; }
};

// One painted glyph: its picture and where the pen's origin on the base line
// lies in it.
struct Glyph {
  int code = 0;
  int advance = 0;
  int originX = 0;  // pixels from the picture's left edge
  int originY = 0;  // pixels from the picture's top edge down to the base line
  Picture picture{0, 0, Rgba{1, 1, 1, 0}};
  // Ink extents relative to the origin (x right, y up); empty when inkLeft >= inkRight.
  int inkLeft = 0, inkRight = 0, inkTop = 0, inkBottom = 0;
  // The letter's own ink across, without outline and shadow.
  int letterLeft = 0, letterRight = 0;
};

// Dilates coverage by a disc of the given radius with a one-pixel soft edge.
Plane dilate(const Plane& in, float radius) {
  Plane out(in.width, in.height);
  const int reach = static_cast<int>(std::ceil(radius + 0.5f));
  for (int y = 0; y < in.height; ++y)
    for (int x = 0; x < in.width; ++x) {
      float best = 0.0f;
      for (int dy = -reach; dy <= reach; ++dy)
        for (int dx = -reach; dx <= reach; ++dx) {
          const float weight =
              std::clamp(radius + 0.5f - std::sqrt(static_cast<float>(dx * dx + dy * dy)), 0.0f, 1.0f);
          best = std::max(best, in.get(x + dx, y + dy) * weight);
        }
      out.at(x, y) = best;
    }
  return out;
}

// Gaussian blur, shifted by (dx, dy) whole pixels.
Plane blurShifted(const Plane& in, float sigma, int dx, int dy) {
  const int reach = static_cast<int>(std::ceil(sigma * 3.0f));
  std::vector<float> kernel(static_cast<size_t>(2 * reach + 1));
  float sum = 0.0f;
  for (int i = -reach; i <= reach; ++i) sum += kernel[static_cast<size_t>(i + reach)] = std::exp(-0.5f * i * i / (sigma * sigma));
  for (float& k : kernel) k /= sum;
  Plane across(in.width, in.height), out(in.width, in.height);
  for (int y = 0; y < in.height; ++y)
    for (int x = 0; x < in.width; ++x) {
      float s = 0.0f;
      for (int i = -reach; i <= reach; ++i) s += kernel[static_cast<size_t>(i + reach)] * in.get(x - dx + i, y - dy);
      across.at(x, y) = s;
    }
  for (int y = 0; y < in.height; ++y)
    for (int x = 0; x < in.width; ++x) {
      float s = 0.0f;
      for (int i = -reach; i <= reach; ++i) s += kernel[static_cast<size_t>(i + reach)] * across.get(x, y + i);
      out.at(x, y) = s;
    }
  return out;
}

// Straight-alpha "over": paints a layer of one colour and coverage onto a pixel.
void paintOver(Rgba& under, float r, float g, float b, float a) {
  const float outA = a + under.a * (1.0f - a);
  if (outA <= 0.0f) return;
  const float keep = under.a * (1.0f - a);
  under.r = (r * a + under.r * keep) / outA;
  under.g = (g * a + under.g * keep) / outA;
  under.b = (b * a + under.b * keep) / outA;
  under.a = outA;
}

class FontMaker {
 public:
  FontMaker(FT_Library library, const FontStyle& style) : style(style) {
    const std::string path = std::string(FACE_FOLDER) + style.face;
    if (FT_New_Face(library, path.c_str(), 0, &face) != 0) throw "Could not open the face " + path;
    if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(style.pixelSize)) != 0)
      throw "Could not size the face " + path;
    // The title gradient runs from the capitals' top down to the base line.
    load('H');
    capHeight = std::max(1, face->glyph->bitmap_top);
  }
  ~FontMaker() { FT_Done_Face(face); }
  FontMaker(const FontMaker&) = delete;
  FontMaker& operator=(const FontMaker&) = delete;

  void write(const std::string& resources);

 private:
  const FontStyle& style;
  FT_Face face = nullptr;
  int capHeight = 1;

  void load(int code) {
    if (FT_Load_Char(face, static_cast<FT_ULong>(code), FT_LOAD_RENDER | style.hinting) != 0)
      throw std::string("Could not render character ") + std::to_string(code) + " of " + style.face;
    if (face->glyph->bitmap.pixel_mode != FT_PIXEL_MODE_GRAY)
      throw std::string("Unexpected bitmap format from ") + style.face;
  }

  Glyph paint(int code);
};

Glyph FontMaker::paint(int code) {
  load(code);
  const FT_GlyphSlot slot = face->glyph;
  const FT_Bitmap& bitmap = slot->bitmap;
  const int margin = style.framed ? 5 : 0;
  Glyph glyph;
  glyph.code = code;
  glyph.advance = static_cast<int>((slot->advance.x + 32) >> 6);
  Plane fill(static_cast<int>(bitmap.width) + 2 * margin, static_cast<int>(bitmap.rows) + 2 * margin);
  for (unsigned y = 0; y < bitmap.rows; ++y)
    for (unsigned x = 0; x < bitmap.width; ++x) {
      const float coverage = bitmap.buffer[static_cast<long>(y) * bitmap.pitch + x] / 255.0f;
      fill.at(static_cast<int>(x) + margin, static_cast<int>(y) + margin) =
          std::pow(coverage, style.coverageGamma);
    }
  glyph.originX = margin - slot->bitmap_left;
  glyph.originY = margin + slot->bitmap_top;
  {
    int minX = fill.width, maxX = -1;
    for (int y = 0; y < fill.height; ++y)
      for (int x = 0; x < fill.width; ++x)
        if (fill.get(x, y) >= 3.0f / 255.0f) {
          minX = std::min(minX, x);
          maxX = std::max(maxX, x);
        }
    if (maxX >= 0) {
      glyph.letterLeft = minX - glyph.originX;
      glyph.letterRight = maxX + 1 - glyph.originX;
    }
  }

  if (style.framed) {
    // Dark rim, soft shadow below, then the fill: light at the top of
    // the capitals, a little darker at the base line.
    const Plane rim = dilate(fill, 1.0f);
    const Plane shadow = blurShifted(rim, 0.6f, 0, 2);
    glyph.picture = Picture(fill.width, fill.height, Rgba{0, 0, 0, 0});
    for (int y = 0; y < fill.height; ++y) {
      const float height = static_cast<float>(glyph.originY - y) - 0.5f;
      const float t = std::clamp(1.0f - height / capHeight, 0.0f, 1.2f);
      const float shade = 1.0f - 0.26f * t * t;
      for (int x = 0; x < fill.width; ++x) {
        Rgba& p = glyph.picture.at(x, y);
        paintOver(p, 0, 0, 0, 0.5f * shadow.get(x, y));
        paintOver(p, 0, 0, 0, 0.92f * rim.get(x, y));
        paintOver(p, shade, shade, shade, fill.get(x, y));
      }
    }
  } else {
    glyph.picture = Picture(fill.width, fill.height, Rgba{1, 1, 1, 0});
    for (size_t i = 0; i < fill.v.size(); ++i) glyph.picture.pixels[i].a = fill.v[i];
  }

  // Ink extents. Faint tails (the shadow's blur) are cut first: they would
  // not show, and they would widen every cell.
  for (Rgba& p : glyph.picture.pixels)
    if (p.a < 3.0f / 255.0f) p.a = 0.0f;
  int minX = fill.width, maxX = -1, minY = fill.height, maxY = -1;
  for (int y = 0; y < fill.height; ++y)
    for (int x = 0; x < fill.width; ++x)
      if (glyph.picture.at(x, y).a > 0.0f) {
        minX = std::min(minX, x);
        maxX = std::max(maxX, x);
        minY = std::min(minY, y);
        maxY = std::max(maxY, y);
      }
  if (maxX >= 0) {
    glyph.inkLeft = minX - glyph.originX;
    glyph.inkRight = maxX + 1 - glyph.originX;
    glyph.inkTop = glyph.originY - minY;
    glyph.inkBottom = maxY + 1 - glyph.originY;
  }
  return glyph;
}

struct Cell {
  const Glyph* glyph;
  int left;   // where the glyph's pen origin lies in the cell
  int width;  // the cell's width, which is also the glyph's advance
  int x = 0, row = 0;
};

int nextPowerOfTwo(int n) {
  int p = 1;
  while (p < n) p *= 2;
  return p;
}

// Places the cells in rows of the given width, in code order, with a
// padding gap after every cell; gives the number of rows.
int flow(std::vector<Cell>& cells, int width) {
  int row = 1, x = 0;
  for (Cell& cell : cells) {
    if (x + cell.width + H_PADDING > width) {
      ++row;
      x = 0;
    }
    cell.x = x;
    cell.row = row;
    x += cell.width + H_PADDING;
  }
  return row;
}

// Lays the cells out on the smallest power-of-two sheet (the squarer of two
// of one area) that holds them with a padding gap after every row.
void layOut(std::vector<Cell>& cells, int lineHeight, int& sheetWidth, int& sheetHeight) {
  int widest = 0;
  for (const Cell& cell : cells) widest = std::max(widest, cell.width + H_PADDING);
  long bestArea = -1;
  for (int width = nextPowerOfTwo(widest); width <= 2048; width *= 2) {
    const int height = nextPowerOfTwo(flow(cells, width) * (lineHeight + V_PADDING));
    const long area = static_cast<long>(width) * height;
    if (bestArea < 0 || area < bestArea ||
        (area == bestArea && std::max(width, height) < std::max(sheetWidth, sheetHeight))) {
      bestArea = area;
      sheetWidth = width;
      sheetHeight = height;
    }
  }
  flow(cells, sheetWidth);
}

void FontMaker::write(const std::string& resources) {
  std::vector<Glyph> glyphs;
  for (int code = FIRST_CODE + 1; code <= LAST_CODE; ++code) glyphs.push_back(paint(code));
  load(FIRST_CODE);
  const int spaceAdvance = static_cast<int>((face->glyph->advance.x + 32) >> 6);

  // One line holds the highest and the deepest ink of all glyphs.
  int ascent = 0, descent = 0;
  for (const Glyph& g : glyphs) {
    ascent = std::max(ascent, g.inkTop);
    descent = std::max(descent, g.inkBottom);
  }
  const int lineHeight = ascent + descent;

  // A cell spans the face's own advance and any letter ink that reaches
  // beyond it. The title face's outline and shadow do not widen it: the
  // file has no way to draw beyond a cell, so what of them falls outside
  // is left off and the letters keep the face's spacing. Digits share the
  // widest digit's cell so times do not jitter.
  std::vector<Cell> cells;
  int digitWidth = 0, widest = 0;
  for (const Glyph& g : glyphs) {
    const int start = std::min(0, style.framed ? g.letterLeft : g.inkLeft);
    const int end = std::max(g.advance, style.framed ? g.letterRight : g.inkRight);
    cells.push_back(Cell{&g, -start, end - start});
    if (g.code >= '0' && g.code <= '9') digitWidth = std::max(digitWidth, end - start);
  }
  for (Cell& cell : cells) {
    if (cell.glyph->code >= '0' && cell.glyph->code <= '9') {
      cell.left += (digitWidth - cell.width) / 2;
      cell.width = digitWidth;
    }
    widest = std::max(widest, cell.width);
  }
  // The file keeps heights and widths in a byte.
  if (lineHeight > 255 || widest > 255) throw std::string("Glyphs too large for ") + style.name;

  int sheetWidth = 0, sheetHeight = 0;
  layOut(cells, lineHeight, sheetWidth, sheetHeight);

  // Transparent texels keep the colour of the glyph edges next to them, so
  // filtering fades edges without a coloured fringe.
  const Rgba clear = style.framed ? Rgba{0, 0, 0, 0} : Rgba{1, 1, 1, 0};
  Picture sheet(sheetWidth, sheetHeight, clear);
  for (const Cell& cell : cells) {
    const Glyph& g = *cell.glyph;
    const int top = (cell.row - 1) * (lineHeight + V_PADDING);
    // Picture pixel (px, py) lands at the cell's origin minus the glyph's origin.
    const int offsetX = cell.x + cell.left - g.originX;
    const int offsetY = top + ascent - g.originY;
    for (int py = 0; py < g.picture.height; ++py)
      for (int px = 0; px < g.picture.width; ++px) {
        const Rgba& p = g.picture.at(px, py);
        if (p.a <= 0.0f) continue;
        const int x = offsetX + px, y = offsetY + py;
        if (style.framed && (x < cell.x || x >= cell.x + cell.width)) continue;
        if (x < cell.x || x >= cell.x + cell.width || y < top || y >= top + lineHeight)
          throw std::string("Glyph ") + std::to_string(g.code) + " of " + style.name + " leaves its cell";
        sheet.at(x, y) = p;
      }
  }

  const std::string folder = resources + "/fonts/" + style.name;
  glimro_tools::makeDirs(folder);
  sheet.savePng(folder + "/" + SHEET_FILE);

  korvu::xml::Node root;
  root.name = "bitmapfont";
  root["name"] = style.name;
  root["height"] = std::to_string(lineHeight);
  root["yHotSpot"] = std::to_string(descent);
  root["spacing"] = "0";
  root["hPadding"] = std::to_string(H_PADDING);
  root["vPadding"] = std::to_string(V_PADDING);
  root += glimro_tools::element("char", {{"char", std::to_string(FIRST_CODE)}, {"width", std::to_string(spaceAdvance)}}).release();
  korvu::xml::Node* image = glimro_tools::element("image", {{"file", SHEET_FILE}}).release();
  root += image;
  korvu::xml::Node* line = nullptr;
  int lineRow = 0;
  for (const Cell& cell : cells) {
    if (cell.row != lineRow) {
      lineRow = cell.row;
      line = glimro_tools::element("line", {{"index", std::to_string(lineRow)}}).release();
      *image += line;
    }
    *line += glimro_tools::element("char", {{"char", std::string(1, static_cast<char>(cell.glyph->code))},
                                            {"width", std::to_string(cell.width)}})
                 .release();
  }
  root.saveXML((folder + "/bitmapfont.xml").c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_fonts RESOURCES_FOLDER\n");
    return 2;
  }
  FT_Library library;
  if (FT_Init_FreeType(&library) != 0) {
    std::fprintf(stderr, "make_fonts: could not start FreeType\n");
    return 1;
  }
  int status = 0;
  try {
    for (const FontStyle& style : FONTS) FontMaker(library, style).write(argv[1]);
  } catch (const std::string& message) {
    std::fprintf(stderr, "make_fonts: %s\n", message.c_str());
    status = 1;
  }
  FT_Done_FreeType(library);
  return status;
}
