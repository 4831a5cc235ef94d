// UTF-8, as the engine's texts hold it: one decoder for the XML writer's
// encoding and for the characters the fonts draw.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korvu {

// Decodes the UTF-8 sequence that starts at s, reading at most `size`
// bytes (and none after a zero, which is no continuation byte). Returns
// its length and sets cp, or returns 0 when the bytes there are not a
// valid, shortest-form sequence of a scalar value.
size_t decodeUtf8(const char* s, size_t size, uint32_t& cp);

}  // namespace korvu
