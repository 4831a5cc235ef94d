// Feeds arbitrary bytes to the XML reader as a file. A document that reads
// is turned into text, and, when its names can be written, saved and read
// again: the second reading must give the same tree.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tempfiles.h"
#include "xml.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzfiles::init("xml", ".xml");
  if (!fuzzfiles::writeAll(fuzzfiles::inputPath, data, size)) std::abort();

  korvu::xml::Node* root = nullptr;
  try {
    root = korvu::xml::loadXML(fuzzfiles::inputPath);
  } catch (const std::string&) {
    return 0;
  }
  if (!root) std::abort();  // a successful read always has a root
  const std::string text = root->toString(0);

  bool written = true;
  try {
    root->saveXML(fuzzfiles::savedPath);
  } catch (const std::string&) {
    written = false;  // names that ISO-8859-1 cannot hold
  }
  if (written) {
    korvu::xml::Node* again = nullptr;
    try {
      again = korvu::xml::loadXML(fuzzfiles::savedPath);
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
