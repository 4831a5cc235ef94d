// Race times as minutes, seconds and milliseconds.
#include <cmath>
#include <gtest/gtest.h>

#include "track/timetext.h"

using glimro::decodeTicks;
using glimro::ticksToStr;

TEST(RaceTimeText, TruncatesAndDoesNotWrapMinutes) {
  struct Case { float ticks; const char* text; };
  for (const Case& c : {Case{83456.7f, "01:23.456"}, Case{3600000, "60:00.000"}, Case{999.9f, "00:00.999"},
                        Case{0, "00:00.000"}, Case{4500000, "75:00.000"}, Case{-1500, "00:-1.-500"},
                        Case{1e12f, "35791:23.647"}, Case{-1e12f, "-35791:-23.-648"}}) {
    EXPECT_EQ(ticksToStr(c.ticks), c.text) << c.ticks;
  }
  int min = -1, sec = -1, ms = -1;
  decodeTicks(61001.9f, min, sec, ms);
  EXPECT_EQ(min, 1);
  EXPECT_EQ(sec, 1);
  EXPECT_EQ(ms, 1);
  decodeTicks(std::nanf(""), min, sec, ms);
  EXPECT_EQ(min + sec + ms, 0);
}
