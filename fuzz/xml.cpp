// Feeds arbitrary bytes to the XML reader as a file. A document that reads
// is turned into text, and, when its names can be written, saved and read
// again: the second reading must give the same tree.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "xml.h"

namespace {

// Plain buffers, so that they outlive every destructor run at exit.
char inputPath[64];
char savedPath[64];
char savedTempPath[80];

void removeTempFiles() {
  std::remove(inputPath);
  std::remove(savedPath);
  std::remove(savedTempPath);
}

void makeTempPaths() {
  const int pid = static_cast<int>(getpid());
  std::snprintf(inputPath, sizeof inputPath, "/tmp/fuzz_xml_%d_in.xml", pid);
  std::snprintf(savedPath, sizeof savedPath, "/tmp/fuzz_xml_%d_out.xml", pid);
  std::snprintf(savedTempPath, sizeof savedTempPath, "%s.tmp", savedPath);
  std::atexit(removeTempFiles);
}

bool writeAll(const char* path, const uint8_t* data, size_t size) {
  FILE* f = std::fopen(path, "wb");
  if (!f) return false;
  bool ok = std::fwrite(data, 1, size, f) == size;
  ok = std::fclose(f) == 0 && ok;
  return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!inputPath[0]) makeTempPaths();
  if (!writeAll(inputPath, data, size)) std::abort();

  korvu::xml::Node* root = nullptr;
  try {
    root = korvu::xml::loadXML(inputPath);
  } catch (const std::string&) {
    return 0;
  }
  if (!root) std::abort();  // a successful read always has a root
  const std::string text = root->toString(0);

  bool written = true;
  try {
    root->saveXML(savedPath);
  } catch (const std::string&) {
    written = false;  // names that ISO-8859-1 cannot hold
  }
  if (written) {
    korvu::xml::Node* again = nullptr;
    try {
      again = korvu::xml::loadXML(savedPath);
    } catch (const std::string& message) {
      std::fprintf(stderr, "written file does not read back: %s\n", message.c_str());
      std::abort();
    }
    if (again->toString(0) != text) {
      std::fprintf(stderr, "tree changed on the way through a file\n");
      std::abort();
    }
    delete again;
  }
  delete root;
  return 0;
}
