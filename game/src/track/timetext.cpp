#include "track/timetext.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace glimro {

void decodeTicks(float ticks, int& min, int& sec, int& ms) {
  // Converting a float outside the int range is undefined; saturate instead.
  int t;
  if (std::isnan(ticks)) {
    t = 0;
  } else if (ticks >= 2147483648.0f) {
    t = std::numeric_limits<int>::max();
  } else if (ticks <= -2147483648.0f) {
    t = std::numeric_limits<int>::min();
  } else {
    t = static_cast<int>(ticks);
  }
  ms = t % 1000;
  const int s = t / 1000;
  min = s / 60;
  sec = s % 60;
}

std::string ticksToStr(float ticks) {
  // Large enough for every result, the most negative included
  // ("-35791:-23.-648").
  static char time[16];
  int min, sec, ms;
  decodeTicks(ticks, min, sec, ms);
  std::snprintf(time, sizeof time, "%02d:%02d.%03d", min, sec, ms);
  return std::string(time);
}

std::string clockToStr(double clock) { return ticksToStr(static_cast<float>(static_cast<long>(clock))); }

}  // namespace glimro
