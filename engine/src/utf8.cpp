#include "utf8.h"

namespace korvu {

size_t decodeUtf8(const char* s, size_t size, uint32_t& cp) {
  const unsigned char lead = static_cast<unsigned char>(s[0]);
  if (lead < 0x80) {
    cp = lead;
    return 1;
  }
  size_t len;
  uint32_t smallest;
  if ((lead & 0xE0) == 0xC0) {
    len = 2;
    cp = lead & 0x1F;
    smallest = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    len = 3;
    cp = lead & 0x0F;
    smallest = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    len = 4;
    cp = lead & 0x07;
    smallest = 0x10000;
  } else {
    return 0;
  }
  if (len > size) return 0;
  for (size_t k = 1; k < len; ++k) {
    const unsigned char next = static_cast<unsigned char>(s[k]);
    if ((next & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (next & 0x3F);
  }
  if (cp < smallest || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

}  // namespace korvu
