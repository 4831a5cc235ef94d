// Feeds arbitrary bytes to the bitmap font reader: everything before the
// first PNG signature is the "bitmapfont.xml", the rest the glyph sheet.
// Every sheet the description names is that one picture, in a directory of
// this process, so no input can make the reader open another file. The
// description is read, its sheets decoded as for a texture (no OpenGL
// here) and its glyphs checked against them; a font that passes has every
// glyph inside its sheet and every code between 1 and 127.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fonts/bitmapfont.h"
#include "image.h"
#include "korvu.h"
#include "tempfiles.h"
#include "xml.h"

using namespace korvu;

namespace {

const unsigned char PNG_SIGNATURE[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
const char* const SHEET = "sheet.png";
using fuzzfiles::fail;

void setUp() {
  if (!fuzzfiles::init("bitmapfont", ".xml", "font")) return;
  fuzzfiles::quietLog();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  setUp();
  size_t split = size;
  for (size_t i = 0; i + sizeof PNG_SIGNATURE <= size; ++i) {
    if (std::memcmp(data + i, PNG_SIGNATURE, sizeof PNG_SIGNATURE) == 0) {
      split = i;
      break;
    }
  }
  if (!fuzzfiles::writeAll(fuzzfiles::inputPath, data, split)) std::abort();
  if (!fuzzfiles::writeAll(fuzzfiles::inDir(SHEET).c_str(), data + split, size - split)) std::abort();

  const std::unique_ptr<xml::Node> root = fuzzfiles::readXML(fuzzfiles::inputPath);
  if (!root) return 0;
  for (xml::Node* child : root->children) {
    if (child->name == "image" && child->getAttribute("file")) (*child)["file"] = SHEET;
  }

  ImageBank sheets;
  fonts::BitmapFontDescription description;
  fonts::readBitmapFont(root.get(), fuzzfiles::dirPath, sheets, description);
  if (sheets.size() > 1) fail("one file became several sheets");
  for (const auto& entry : description.characters) {
    if (entry.first < 1 || entry.first > 127) fail("a code out of range");
    const Image* sheet = entry.second.image;
    if (sheet && (sheets.empty() || sheets.begin()->second != sheet)) fail("a glyph on a sheet outside the bank");
  }
  bool decoded = true;
  for (auto& entry : sheets) {
    std::vector<uint8_t> pixels;
    try {
      entry.second->decode(pixels, 1024);
    } catch (const std::string&) {
      decoded = false;
      continue;
    }
    const Image& s = *entry.second;
    if (pixels.size() != static_cast<size_t>(s.textureWidth) * s.textureHeight * 4) fail("wrong pixel count");
    if (s.textureWidth < s.width || s.textureHeight < s.height || (s.textureWidth & (s.textureWidth - 1)) ||
        (s.textureHeight & (s.textureHeight - 1))) {
      fail("texture sizes are not the powers of two around the picture");
    }
  }
  if (!decoded) return 0;
  try {
    fonts::checkGlyphs(description);
  } catch (const std::string&) {
    return 0;
  }
  for (const auto& entry : description.characters) {
    const fonts::BitmapFontCharacterData& g = entry.second;
    if (g.image && (uint64_t(g.x) + g.width > g.image->width || uint64_t(g.y) + g.height > g.image->height)) {
      fail("a glyph outside its sheet passed the check");
    }
  }
  return 0;
}
