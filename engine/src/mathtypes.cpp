#include "mathtypes.h"

#include <time.h>

#include <cstdlib>
#include <limits>

#include "xml.h"

namespace korvu {

const std::string XML_COLOR_CODE = "code";
const std::string XML_COLOR_RED = "red";
const std::string XML_COLOR_GREEN = "green";
const std::string XML_COLOR_BLUE = "blue";
const std::string XML_COLOR_ALPHA = "alpha";

int fpsResolution = 10;

Color::Color(const xml::Node* element) : red(0.0f), green(0.0f), blue(0.0f), alpha(1.0f) {
  if (!element) return;
  const std::string* code = element->getAttribute(XML_COLOR_CODE);
  if (code) {
    // strtoul saturates at ULONG_MAX; anything past 32 bits reads FFFFFFFF.
    unsigned long raw = std::strtoul(code->c_str(), nullptr, 16);
    std::uint32_t v = raw > 0xFFFFFFFFul ? 0xFFFFFFFFu : static_cast<std::uint32_t>(raw);
    red = static_cast<float>(v >> 24) / 255.0f;
    green = static_cast<float>((v >> 16) & 255u) / 255.0f;
    blue = static_cast<float>((v >> 8) & 255u) / 255.0f;
    alpha = static_cast<float>(v & 255u) / 255.0f;
    return;
  }
  red = element->getAttributeFloat(XML_COLOR_RED, 0.0f);
  green = element->getAttributeFloat(XML_COLOR_GREEN, 0.0f);
  blue = element->getAttributeFloat(XML_COLOR_BLUE, 0.0f);
  alpha = element->getAttributeFloat(XML_COLOR_ALPHA, 1.0f);
}

Vector3D closestPointOnLine(const Vector3D& a, const Vector3D& b, const Vector3D& p) {
  Vector3D d = b - a;
  float len = d.length();
  if (len < EPSILON_LENGTH) return a;
  Vector3D u = d / len;
  float t = dotProduct(p - a, u);
  if (t <= 0.0f) return a;
  if (t >= len) return b;
  return a + u * t;
}

namespace {

// rand() reduced to 0..32767; glibc's RAND_MAX + 1 is a multiple of 32768,
// so the reduction keeps the numbers evenly spread.
int random15() { return std::rand() % 32768; }

}  // namespace

float random(float max) { return static_cast<float>(random15()) / 32767.0f * max; }

float random(float min, float max) {
  return min + static_cast<float>(random15()) / 32767.0f * (max - min);
}

namespace {
// Nanoseconds of the monotonic clock up to which getElapsedTicks has handed
// out whole milliseconds; 0 before the first call. What a frame leaves under
// a millisecond stays behind this mark and goes to the next frame, so the
// frames sum to the time that passed.
std::uint64_t lastTicks = 0;
int fpsFrames = 0;
int fpsSum = 0;
int fpsResult = 0;
}  // namespace

std::uint32_t getElapsedTicks() {
  // The monotonic clock, not the wall clock (which SDL's counter reads): a
  // clock set back or forward must not make a frame of minus a few seconds,
  // wrapped to seven weeks, or of the hours it was set on.
  timespec ts;
  if (clock_gettime(CLOCK_MONOTONIC, &ts) != 0) return 0;
  const std::uint64_t now =
      static_cast<std::uint64_t>(ts.tv_sec) * 1000000000u + static_cast<std::uint64_t>(ts.tv_nsec);
  if (lastTicks == 0 || now < lastTicks) {
    lastTicks = now;
    return 0;
  }
  const std::uint64_t elapsed = (now - lastTicks) / 1000000u;
  lastTicks += elapsed * 1000000u;
  const std::uint64_t longest = std::numeric_limits<std::uint32_t>::max();
  return static_cast<std::uint32_t>(elapsed < longest ? elapsed : longest);
}

int calcFPS(int milliseconds) {
  ++fpsFrames;
  fpsSum += milliseconds;
  if (fpsResolution > 0 && fpsFrames >= fpsResolution) {
    fpsFrames -= fpsResolution;
    // Ten frames inside one millisecond tick give no rate to speak of: keep
    // the previous figure instead of dividing by zero.
    if (fpsSum > 0) fpsResult = fpsResolution * 1000 / fpsSum;
    fpsSum = 0;
  }
  return fpsResult;
}

}  // namespace korvu
