#include "fonts/bitmapfont.h"

#include <algorithm>
#include <memory>

#include "debug.h"
#include "xml.h"

namespace korvu {
namespace fonts {

const std::string FILENAME_BITMAPFONT = "bitmapfont.xml";

namespace {

constexpr int FIRST_CODE = 1;
constexpr int LAST_CODE = 127;
// What stands for a character beyond the codes.
constexpr int MARK = '?';
// Beyond any sheet; positions saturate here instead of wrapping.
constexpr uint64_t FAR_AWAY = UINT32_MAX;

std::string withSlash(const std::string& directory) {
  if (!directory.empty() && directory.back() == '/') return directory;
  return directory + "/";
}

// The "char" attribute: a single character is itself, anything else a
// number. False when the attribute is missing.
bool readCode(const xml::Node* element, long& code) {
  const std::string* value = element->getAttribute("char");
  if (!value) return false;
  code = value->size() == 1 ? static_cast<unsigned char>((*value)[0]) : element->getAttributeLong("char", 0);
  return true;
}

bool codeInRange(long code, const char* what) {
  if (code >= FIRST_CODE && code <= LAST_CODE) return true;
  debug::error(dbgFonts, "Character code %ld of %s node is not between %d and %d. Skipping character.", code, what,
               FIRST_CODE, LAST_CODE);
  return false;
}

}  // namespace

void readBitmapFont(const xml::Node* root, const std::string& directory, ImageBank& sheets,
                    BitmapFontDescription& out) {
  const std::string dir = withSlash(directory);
  if (const std::string* name = root->getAttribute("name")) {
    out.name = *name;
  } else {
    debug::warning(dbgFonts, "No name specified for font. Using directory name.");
    out.name = directory;
  }
  out.height = static_cast<uint8_t>(root->getAttributeLong("height", 0));
  out.spacing = static_cast<uint8_t>(root->getAttributeLong("spacing", 0));
  out.yHotSpot = static_cast<uint8_t>(root->getAttributeLong("yHotSpot", 0));
  const uint8_t defaultWidth = static_cast<uint8_t>(root->getAttributeLong("width", 0));
  const uint16_t hPadding = static_cast<uint16_t>(root->getAttributeLong("hPadding", 0));
  const uint16_t vPadding = static_cast<uint16_t>(root->getAttributeLong("vPadding", 0));

  for (const xml::Node* child : root->children) {
    if (child->name == "char") {
      long code = 32;
      if (!readCode(child, code)) {
        debug::error(dbgFonts, "No character index specified for blank character node. Using #32.");
      }
      if (!codeInRange(code, "blank character")) continue;
      BitmapFontCharacterData blank;
      blank.width = static_cast<uint8_t>(child->getAttributeLong("width", 0));
      out.characters[static_cast<int>(code)] = blank;
    } else if (child->name == "image") {
      const std::string* file = child->getAttribute("file");
      if (!file) {
        debug::error(dbgFonts, "No filename specified for font image. Skipping image.");
        continue;
      }
      // Glyphs of an earlier element with the same file keep their sheet.
      Image* sheet = nullptr;
      auto known = sheets.find(*file);
      if (known != sheets.end() && known->second) {
        sheet = known->second;
      } else {
        sheet = new Image(*file, dir + *file, Vector2D());
        sheets += sheet;
      }
      for (const xml::Node* line : child->children) {
        if (line->name != "line") continue;
        const long index = line->getAttributeLong("index", 0);
        if (index < 1) {
          debug::error(dbgFonts, "Line of font image \"%s\" without an index of 1 or more. Skipping line.",
                       file->c_str());
          continue;
        }
        const uint64_t rowHeight = static_cast<uint64_t>(out.height) + vPadding;
        const uint64_t top = static_cast<uint64_t>(index - 1) < FAR_AWAY
                                 ? std::min(rowHeight * static_cast<uint64_t>(index - 1), FAR_AWAY)
                                 : FAR_AWAY;
        uint64_t x = 0;
        for (const xml::Node* c : line->children) {
          if (c->name != "char") continue;
          long code = 0;
          if (!readCode(c, code)) {
            debug::error(dbgFonts, "No character index specified for character node. Skipping character.");
            continue;
          }
          BitmapFontCharacterData glyph(sheet);
          glyph.x = static_cast<uint32_t>(x);
          glyph.y = static_cast<uint32_t>(top);
          glyph.width = static_cast<uint8_t>(c->getAttributeLong("width", defaultWidth));
          glyph.height = static_cast<uint8_t>(c->getAttributeLong("height", out.height));
          glyph.yHotSpot = static_cast<int8_t>(c->getAttributeLong("yHotSpot", out.yHotSpot));
          x = std::min(x + glyph.width + hPadding, FAR_AWAY);
          if (codeInRange(code, "character")) out.characters[static_cast<int>(code)] = glyph;
        }
      }
    }
  }
}

void checkGlyphs(const BitmapFontDescription& description) {
  for (const auto& entry : description.characters) {
    const BitmapFontCharacterData& glyph = entry.second;
    const Image* sheet = glyph.image;
    if (!sheet) continue;
    if (uint64_t(glyph.x) + glyph.width > sheet->width || uint64_t(glyph.y) + glyph.height > sheet->height) {
      throw "Character " + std::to_string(entry.first) + " of font \"" + description.name + "\" lies outside its image \"" +
          sheet->fileName + "\" (" + std::to_string(sheet->width) + " x " + std::to_string(sheet->height) + ").";
    }
  }
}

BitmapFont::BitmapFont(const std::string& directory)
    : firstChar(0), charCount(0), height(0), spacing(0), listBase(0) {
  const std::string dir = withSlash(directory);
  const std::string file = dir + FILENAME_BITMAPFONT;
  std::unique_ptr<xml::Node> root(xml::loadXML(file.c_str()));
  if (!root || root->name != "bitmapfont") throw "\"" + file + "\" is no bitmap font description.";
  getFromNode(root.get(), dir);
}

BitmapFont::BitmapFont(const xml::Node* element, const std::string& directory)
    : firstChar(0), charCount(0), height(0), spacing(0), listBase(0) {
  getFromNode(element, directory);
}

BitmapFont::~BitmapFont() { reset(); }

void BitmapFont::reset() {
  if (listBase != 0) glDeleteLists(listBase, charCount);
  listBase = 0;
  firstChar = 0;
  charCount = 0;
  widths.clear();
  glyphs_.clear();
  glyphImages.clear();
}

void BitmapFont::getFromNode(const xml::Node* element, const std::string& directory) {
  reset();
  glyphImages.maxFilter = IMAGEFILTER_LINEAR;
  BitmapFontDescription description;
  readBitmapFont(element, directory, glyphImages, description);
  name = description.name;
  height = description.height;
  spacing = description.spacing;
  yHotSpot = description.yHotSpot;
  try {
    if (description.characters.empty()) throw "Font \"" + name + "\" declares no character.";
    glyphImages.refresh();
    checkGlyphs(description);
  } catch (const std::string&) {
    glyphImages.clear();
    throw;
  }

  const int first = description.characters.begin()->first;
  const int last = description.characters.rbegin()->first;
  const int count = last - first + 1;
  const GLuint base = glGenLists(count);
  if (base == 0) {
    glyphImages.clear();
    throw "Could not make the display lists of font \"" + name + "\".";
  }
  firstChar = static_cast<uint8_t>(first);
  charCount = count;
  listBase = base;
  widths.assign(static_cast<size_t>(count), 0);
  glyphs_.assign(static_cast<size_t>(count), GlyphQuad());
  for (int code = first; code <= last; ++code) {
    auto found = description.characters.find(code);
    const BitmapFontCharacterData* glyph = found == description.characters.end() ? nullptr : &found->second;
    const int width = glyph ? glyph->width : 0;
    widths[static_cast<size_t>(code - first)] = static_cast<uint8_t>(width);
    glNewList(base + static_cast<GLuint>(code - first), GL_COMPILE);
    if (glyph && glyph->image) {
      const Image& sheet = *glyph->image;
      const float tw = static_cast<float>(sheet.textureWidth);
      const float th = static_cast<float>(sheet.textureHeight);
      const int x = static_cast<int>(glyph->x), y = static_cast<int>(glyph->y);
      const int w = glyph->width, h = glyph->height, hy = glyph->yHotSpot;
      const GlyphQuad& g = glyphs_[static_cast<size_t>(code - first)] =
          GlyphQuad{sheet.texture, 0, -hy, w, h - hy, x / tw, (y + h) / th, (x + w) / tw, y / th};
      glBindTexture(GL_TEXTURE_2D, g.texture);
      glBegin(GL_QUADS);
      glTexCoord2f(g.s0, g.t0);
      glVertex2i(g.x0, g.y0);
      glTexCoord2f(g.s0, g.t1);
      glVertex2i(g.x0, g.y1);
      glTexCoord2f(g.s1, g.t1);
      glVertex2i(g.x1, g.y1);
      glTexCoord2f(g.s1, g.t0);
      glVertex2i(g.x1, g.y0);
      glEnd();
    }
    glTranslatef(static_cast<float>(width + spacing), 0.0f, 0.0f);
    glEndList();
  }
}

int BitmapFont::codeAt(const char*& text) const {
  const unsigned char byte = static_cast<unsigned char>(*text);
  if (byte < 0x80) {
    ++text;
    return byte;
  }
  readCharacter(text);
  return MARK;
}

uint16_t BitmapFont::getWidth(const char* text) const {
  uint16_t sum = 0;
  for (const char* p = text; *p;) {
    const int code = codeAt(p);
    if (hasCode(code)) sum = static_cast<uint16_t>(sum + widths[static_cast<size_t>(code - firstChar)]);
    sum = static_cast<uint16_t>(sum + spacing);
  }
  return sum;
}

namespace {

// The batch that prints gather into; null while none is open.
GlyphBatch* openBatch = nullptr;

}  // namespace

GlyphBatch::GlyphBatch() : outer_(openBatch) { openBatch = this; }

GlyphBatch::~GlyphBatch() { openBatch = outer_; }

void GlyphBatch::draw() const {
  if (quads_.empty()) return;
  glPushAttrib(GL_ENABLE_BIT | GL_TEXTURE_BIT);
  glEnable(GL_TEXTURE_2D);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  GLuint bound = quads_.front().texture;
  glBindTexture(GL_TEXTURE_2D, bound);
  glBegin(GL_QUADS);
  for (const Quad& q : quads_) {
    if (q.texture != bound) {
      glEnd();
      bound = q.texture;
      glBindTexture(GL_TEXTURE_2D, bound);
      glBegin(GL_QUADS);
    }
    glTexCoord2f(q.s0, q.t0);
    glVertex2f(q.x[0], q.y[0]);
    glTexCoord2f(q.s0, q.t1);
    glVertex2f(q.x[1], q.y[1]);
    glTexCoord2f(q.s1, q.t1);
    glVertex2f(q.x[2], q.y[2]);
    glTexCoord2f(q.s1, q.t0);
    glVertex2f(q.x[3], q.y[3]);
  }
  glEnd();
  glPopMatrix();
  glPopAttrib();
}

void BitmapFont::gather(const char* text, GlyphBatch& batch) const {
  GLfloat m[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, m);
  // Column-major: the position's x and y after the cursor's matrix.
  const auto placed = [&](float x, float y, float& outX, float& outY) {
    outX = m[0] * x + m[4] * y + m[12];
    outY = m[1] * x + m[5] * y + m[13];
  };
  float advance = 0.0f;
  for (const char* p = text; *p;) {
    const int code = codeAt(p);
    if (hasCode(code)) {
      const GlyphQuad& g = glyphs_[static_cast<size_t>(code - firstChar)];
      if (g.texture != 0) {
        GlyphBatch::Quad q;
        q.texture = g.texture;
        placed(advance + g.x0, static_cast<float>(g.y0), q.x[0], q.y[0]);
        placed(advance + g.x0, static_cast<float>(g.y1), q.x[1], q.y[1]);
        placed(advance + g.x1, static_cast<float>(g.y1), q.x[2], q.y[2]);
        placed(advance + g.x1, static_cast<float>(g.y0), q.x[3], q.y[3]);
        q.s0 = g.s0;
        q.t0 = g.t0;
        q.s1 = g.s1;
        q.t1 = g.t1;
        batch.quads_.push_back(q);
      }
      advance += widths[static_cast<size_t>(code - firstChar)];
    }
    advance += spacing;
  }
  glTranslatef(advance, 0.0f, 0.0f);
}

void BitmapFont::print(const char* text) const {
  if (openBatch != nullptr) {
    gather(text, *openBatch);
    return;
  }
  glPushAttrib(GL_CURRENT_BIT | GL_LIST_BIT | GL_TEXTURE_BIT);
  glEnable(GL_TEXTURE_2D);
  glListBase(listBase - firstChar);
  // Runs of the font's own codes go to their lists in one call; any other
  // byte would name a list that is not the font's, so it draws the code
  // that stands for its character, or only advances.
  const char* run = text;
  for (const char* p = text;;) {
    const signed char byte = static_cast<signed char>(*p);
    if (byte > 0 && hasCode(byte)) {
      ++p;
      continue;
    }
    if (p > run) glCallLists(static_cast<GLsizei>(p - run), GL_BYTE, run);
    if (!*p) break;
    const int code = codeAt(p);
    if (hasCode(code)) {
      glCallList(listBase + static_cast<GLuint>(code - firstChar));
    } else if (spacing) {
      glTranslatef(static_cast<float>(spacing), 0.0f, 0.0f);
    }
    run = p;
  }
  glPopAttrib();
}

}  // namespace fonts
}  // namespace korvu
