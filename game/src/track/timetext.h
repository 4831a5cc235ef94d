// Race times as text: milliseconds shown as minutes, seconds and
// milliseconds ("%02d:%02d.%03d"), the form of every time the race shows.
#pragma once

#include <string>

namespace glimro {

// Splits a time, truncated toward zero to whole milliseconds, into minutes
// (not wrapped at 60), seconds and milliseconds. A time beyond the int range
// (or not a number) is taken as the nearest int (0 for not a number).
void decodeTicks(float ticks, int& min, int& sec, int& ms);

// The time as "%02d:%02d.%03d": 83456.7 gives "01:23.456". Each call
// overwrites one static buffer; the returned string is a copy of it.
std::string ticksToStr(float ticks);

// A clock as the race shows it: its whole milliseconds, cut as the best-time
// tables keep them, as ticksToStr gives them. A float of the clock itself
// could round up to the next millisecond (110619.998 to 110620).
std::string clockToStr(double clock);

}  // namespace glimro
