// What the fuzz targets share: the temporary files they feed their input
// through (one for the input, one for what the target saves again, and a
// directory for files a target makes itself), all named after the process
// and removed when the process ends; and the ways a target quiets the log,
// reads its input as XML and reports a broken rule.
#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "bank.h"
#include "common/loggroups.h"
#include "debug.h"
#include "korvu.h"
#include "xml.h"

namespace fuzzfiles {

// Plain buffers, so that they outlive every destructor run at exit.
inline char inputPath[64];
inline char savedPath[64];
inline char savedLockPath[80];  // the lock a save holds while it merges
inline char savedAsidePath[80]; // where a save keeps an unreadable file
inline char dirPath[64];        // empty unless a directory was asked for

[[noreturn]] inline void fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

inline void removeAll() {
  std::remove(inputPath);
  std::remove(savedPath);
  std::remove(savedLockPath);
  std::remove(savedAsidePath);
  if (!dirPath[0]) return;
  if (DIR* dir = opendir(dirPath)) {
    char path[sizeof dirPath + 256];
    while (const dirent* entry = readdir(dir)) {
      if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
      std::snprintf(path, sizeof path, "%s/%s", dirPath, entry->d_name);
      std::remove(path);
    }
    closedir(dir);
  }
  rmdir(dirPath);
}

// Names the files the first time it is called, e.g. prefix "xml" with
// extension ".xml" gives /tmp/fuzz_xml_<pid>_in.xml and ..._out.xml; with a
// directory name, e.g. "models", it also makes /tmp/fuzz_xml_<pid>_models,
// which goes at exit with all in it. True on that first call only, so that a
// target can do the rest of its set-up once.
inline bool init(const char* prefix, const char* extension, const char* dirName = nullptr) {
  if (inputPath[0]) return false;
  const int pid = static_cast<int>(getpid());
  std::snprintf(inputPath, sizeof inputPath, "/tmp/fuzz_%s_%d_in%s", prefix, pid, extension);
  std::snprintf(savedPath, sizeof savedPath, "/tmp/fuzz_%s_%d_out%s", prefix, pid, extension);
  std::snprintf(savedLockPath, sizeof savedLockPath, "%s.lock", savedPath);
  std::snprintf(savedAsidePath, sizeof savedAsidePath, "%s.broken", savedPath);
  std::atexit(removeAll);
  if (dirName) {
    std::snprintf(dirPath, sizeof dirPath, "/tmp/fuzz_%s_%d_%s", prefix, pid, dirName);
    if (mkdir(dirPath, 0700) != 0) fail("cannot make the directory of the run");
  }
  return true;
}

// A plain file name inside the directory.
inline std::string inDir(const std::string& name) { return std::string(dirPath) + "/" + name; }

inline bool writeAll(const char* path, const uint8_t* data, size_t size) {
  FILE* f = std::fopen(path, "wb");
  if (!f) return false;
  bool ok = std::fwrite(data, 1, size, f) == size;
  ok = std::fclose(f) == 0 && ok;
  return ok;
}

// The file a save merges with is this run's input, so that the merge reads
// it too; what an earlier run's save kept aside goes first.
inline void saveOver(const uint8_t* data, size_t size) {
  std::remove(savedAsidePath);
  if (!writeAll(savedPath, data, size)) fail("cannot write the file a save merges with");
}

// Bad input is expected in a run, and its messages would only flood it:
// every engine and game log group is silenced, keeping its name so that log
// settings can still match it.
inline void quietLog() {
  for (const korvu::DebugGroupDefinition* d = korvu::defDebugGroups; d->id != 0; ++d) {
    korvu::debug::groups[d->id] = korvu::debug::Group(std::string("korvu:") + d->word, korvu::debug::DebugLevel::none);
  }
  glimro::nameLogGroups();
  for (int id = glimro::DBG_CORE; id <= glimro::DBG_FPS; ++id)
    korvu::debug::groups[id].level = korvu::debug::DebugLevel::none;
}

// The XML file read, or null where the reader refuses it; a read that
// succeeds has a root.
inline std::unique_ptr<korvu::xml::Node> readXML(const char* path) {
  std::unique_ptr<korvu::xml::Node> root;
  try {
    root.reset(korvu::xml::loadXML(path));
  } catch (const std::string&) {
    return nullptr;
  }
  if (!root) fail("a successful read without a root");
  return root;
}

// Every entry of a bank under its own name and pointing back at the bank.
template <class T>
void checkBank(const korvu::MappedBank<T>& bank, const char* what) {
  for (const auto& entry : bank) {
    if (!entry.second || entry.second->name != entry.first || entry.second->bank != &bank) fail(what);
  }
}

}  // namespace fuzzfiles
