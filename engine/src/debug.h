// The process's one log: printf-style lines on standard output, tagged with a
// level and a group; every group has its own threshold. A capture keeps the
// warnings and worse besides, for a program whose player sees no terminal.
#pragma once

#include <cstdarg>
#include <map>
#include <string>
#include <vector>

namespace korvu {

namespace xml { class Node; }

// Ids of the engine's own log groups (named "korvu:<word>" by korvu::init).
enum {
  dbgCore = -1,
  dbgControls = -2,
  dbgGui = -3,
  dbgDdd = -4,
  dbgMath = -5,
  dbgSprites = -6,
  dbgImages = -7,
  dbgFonts = -8,
  dbgXml = -9,
  dbgAudio = -10,
  dbgCollision = -11
};

namespace debug {

// Scoped, because the level words are also the names of the writers below.
enum class DebugLevel { none = 0, critical = 1, error = 2, warning = 3, info = 4, debug = 5 };

extern const char* const LEVEL_NAME[6];

struct Group {
  std::string name;
  DebugLevel level;
  Group() : name("undefined"), level(DebugLevel::info) {}
  Group(const std::string& n, DebugLevel l) : name(n), level(l) {}
};

class Groups : public std::map<int, Group> {
 public:
  // Applies a "debug" element: its "group" children set the levels of the
  // groups whose names they give.
  void getSettingsFromNode(const xml::Node* element);
  // Reads a file whose root element is "debug" and applies it.
  void loadSettings(const char* file);
};

extern Groups groups;

void init();

DebugLevel debugLevel(const char* word);

void vmessagef(DebugLevel level, int group, const char* format, va_list args);

// From startCapture to stopCapture every line the log writes at level warning
// or worse is also kept, its text without the group and level tags (lines a
// group's threshold drops are not kept either). Starting again empties what
// was kept; the lines of every thread are kept.
void startCapture();
// Ends the capture and hands over the lines kept, in the order written.
std::vector<std::string> stopCapture();

void critical(int group, const char* format, ...) __attribute__((format(printf, 2, 3)));
void error(int group, const char* format, ...) __attribute__((format(printf, 2, 3)));
void warning(int group, const char* format, ...) __attribute__((format(printf, 2, 3)));
// The log writes no lines at the levels info and debug.
void info(int group, const char* format, ...) __attribute__((format(printf, 2, 3)));
void debug(int group, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace debug
}  // namespace korvu
