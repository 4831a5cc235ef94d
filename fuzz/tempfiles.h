// The temporary files a fuzz target feeds its input through: one for the
// input and one for what the target saves again, named after the process,
// and removed when the process ends.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace fuzzfiles {

// Plain buffers, so that they outlive every destructor run at exit.
inline char inputPath[64];
inline char savedPath[64];
inline char savedTempPath[80];  // where a save writes before it renames

inline void removeAll() {
  std::remove(inputPath);
  std::remove(savedPath);
  std::remove(savedTempPath);
}

// Names the files the first time it is called, e.g. prefix "xml" with
// extension ".xml" gives /tmp/fuzz_xml_<pid>_in.xml and ..._out.xml.
inline void init(const char* prefix, const char* extension) {
  if (inputPath[0]) return;
  const int pid = static_cast<int>(getpid());
  std::snprintf(inputPath, sizeof inputPath, "/tmp/fuzz_%s_%d_in%s", prefix, pid, extension);
  std::snprintf(savedPath, sizeof savedPath, "/tmp/fuzz_%s_%d_out%s", prefix, pid, extension);
  std::snprintf(savedTempPath, sizeof savedTempPath, "%s.tmp", savedPath);
  std::atexit(removeAll);
}

inline bool writeAll(const char* path, const uint8_t* data, size_t size) {
  FILE* f = std::fopen(path, "wb");
  if (!f) return false;
  bool ok = std::fwrite(data, 1, size, f) == size;
  ok = std::fclose(f) == 0 && ok;
  return ok;
}

}  // namespace fuzzfiles
