// Feeds arbitrary bytes to the settings reader and the last-choices reader
// as their files. The last choices are saved over the same bytes, which the
// save merges with, and read back, and must come back as they were saved.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "shell/moresettings.h"
#include "race/settings.h"
#include "tempfiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (fuzzfiles::init("settings", ".xml")) fuzzfiles::quietLog();
  if (!fuzzfiles::writeAll(fuzzfiles::inputPath, data, size)) return 0;

  glimro::Settings settings;
  try {
    settings.load(fuzzfiles::inputPath);
  } catch (const std::string&) {
  }

  glimro::MoreSettings choices;
  try {
    choices.load(fuzzfiles::inputPath);
  } catch (const std::string&) {
    // No choices read: the save takes the file's, where it has them.
  }
  fuzzfiles::saveOver(data, size);
  try {
    choices.save(fuzzfiles::savedPath);
  } catch (const std::string& message) {
    fuzzfiles::fail(message.c_str());
  }
  glimro::MoreSettings again;
  again.load(fuzzfiles::savedPath);
  if (again.singleplayer != choices.singleplayer || again.multiplayer_1 != choices.multiplayer_1 ||
      again.multiplayer_2 != choices.multiplayer_2) {
    std::fprintf(stderr, "last choices changed in a save and reload\n");
    std::abort();
  }
  return 0;
}
