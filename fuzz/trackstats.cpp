// Feeds arbitrary bytes to the track statistics reader, and to the save as
// the file it merges with. Whatever it keeps must be two sorted best-ten
// tables of possible times, and a saved copy must read back to the same
// tables.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tempfiles.h"
#include "track/timetext.h"
#include "track/trackstats.h"

namespace {

using fuzzfiles::fail;

void checkTable(const glimro::TimeTable& table) {
  for (int i = 0; i < glimro::TIMETABLE_SIZE; ++i) {
    const glimro::TimeEntry& e = table.entries[i];
    if (e.ticks < 0 || e.ticks > INT32_MAX) fail("impossible time kept");
    if (e.ticks == 0 && !e.name.empty()) fail("empty slot with a name");
    if (i > 0 && e < table.entries[i - 1]) fail("table out of order");
    glimro::ticksToStr(static_cast<float>(e.ticks));
  }
}

bool sameTables(const glimro::TimeTable& a, const glimro::TimeTable& b) {
  for (int i = 0; i < glimro::TIMETABLE_SIZE; ++i) {
    if (a.entries[i].ticks != b.entries[i].ticks || a.entries[i].name != b.entries[i].name) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (fuzzfiles::init("trackstats", ".xml")) fuzzfiles::quietLog();
  if (!fuzzfiles::writeAll(fuzzfiles::inputPath, data, size)) std::abort();

  glimro::TrackStats stats;
  try {
    stats.load(fuzzfiles::inputPath);
  } catch (const std::string&) {
    // Empty tables, merged below with what the file holds.
  }
  checkTable(stats.laptimes);
  checkTable(stats.tracktimes);

  fuzzfiles::saveOver(data, size);
  try {
    stats.save(fuzzfiles::savedPath);
  } catch (const std::string& message) {
    fail(message.c_str());
  }
  checkTable(stats.laptimes);
  checkTable(stats.tracktimes);
  glimro::TrackStats again;
  try {
    again.load(fuzzfiles::savedPath);
  } catch (const std::string& message) {
    fail(message.c_str());
  }
  if (!sameTables(stats.laptimes, again.laptimes) || !sameTables(stats.tracktimes, again.tracktimes)) {
    fail("tables changed on the way through a file");
  }
  return 0;
}
