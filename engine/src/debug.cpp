#include "debug.h"

#include <cstdio>
#include <cstring>
#include <mutex>

#include "xml.h"

namespace korvu {
namespace debug {

const char* const LEVEL_NAME[6] = {"none", "critical", "error", "warning", "info", "debug"};

Groups groups;

namespace {

// The capture's state; the console thread logs too.
std::mutex captureMutex;
bool capturing = false;
std::vector<std::string> captured;

}  // namespace

void init() {}

void startCapture() {
  std::lock_guard<std::mutex> lock(captureMutex);
  captured.clear();
  capturing = true;
}

std::vector<std::string> stopCapture() {
  std::lock_guard<std::mutex> lock(captureMutex);
  capturing = false;
  std::vector<std::string> lines;
  lines.swap(captured);
  return lines;
}

DebugLevel debugLevel(const char* word) {
  if (word) {
    for (int i = 0; i < 6; ++i) {
      if (std::strcmp(word, LEVEL_NAME[i]) == 0) return static_cast<DebugLevel>(i);
    }
  }
  return DebugLevel::none;
}

void vmessagef(DebugLevel level, int group, const char* format, va_list args) {
  if (!format) return;
  Group& g = groups[group];  // an id nobody named gets the default group
  if (static_cast<int>(level) > static_cast<int>(g.level)) return;
  // One whole line per call: build it first, then write it in one go so
  // lines of the console thread and the main thread do not mix.
  char stackBuf[512];
  va_list copy;
  va_copy(copy, args);
  int len = std::vsnprintf(stackBuf, sizeof stackBuf, format, copy);
  va_end(copy);
  std::string message;
  if (len < 0) {
    message = "";
  } else if (static_cast<size_t>(len) < sizeof stackBuf) {
    message.assign(stackBuf, static_cast<size_t>(len));
  } else {
    message.resize(static_cast<size_t>(len) + 1);
    std::vsnprintf(&message[0], message.size(), format, args);
    message.resize(static_cast<size_t>(len));
  }
  std::string line = "[" + g.name + "] (" + LEVEL_NAME[static_cast<int>(level)] + ") " + message + "\n";
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
  if (static_cast<int>(level) <= static_cast<int>(DebugLevel::warning)) {
    std::lock_guard<std::mutex> lock(captureMutex);
    if (capturing) captured.push_back(message);
  }
}

#define KORVU_LOG_WRITER(fn, lvl)                       \
  void fn(int group, const char* format, ...) {         \
    va_list args;                                       \
    va_start(args, format);                             \
    vmessagef(DebugLevel::lvl, group, format, args);    \
    va_end(args);                                       \
  }

KORVU_LOG_WRITER(critical, critical)
KORVU_LOG_WRITER(error, error)
KORVU_LOG_WRITER(warning, warning)
#undef KORVU_LOG_WRITER

void info(int, const char*, ...) {}
void debug(int, const char*, ...) {}

void Groups::getSettingsFromNode(const xml::Node* element) {
  if (!element) return;
  for (const xml::Node* child : element->children) {
    if (child->name != "group") continue;
    const std::string* name = child->getAttribute("name");
    const std::string* level = child->getAttribute("level");
    if (!name || !level) continue;
    DebugLevel l = debugLevel(level->c_str());
    for (auto& entry : *this) {
      if (entry.second.name == *name) entry.second.level = l;
    }
  }
}

void Groups::loadSettings(const char* file) {
  xml::Node* root = xml::loadXML(file);
  if (root && root->name == "debug") getSettingsFromNode(root);
  delete root;
}

}  // namespace debug
}  // namespace korvu
