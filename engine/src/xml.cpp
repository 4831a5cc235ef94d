#include "xml.h"

#include <expat.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "debug.h"
#include "replacefile.h"
#include "utf8.h"

namespace korvu {
namespace xml {

namespace {

const char* const DECLARATION = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" ?>\n";

// Characters an XML 1.0 document may hold at all.
bool isDocumentChar(uint32_t cp) {
  return cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) ||
         (cp >= 0xE000 && cp <= 0xFFFD) || (cp >= 0x10000 && cp <= 0x10FFFF);
}

// Appends the name in ISO-8859-1 to out and gives true, or gives false and
// appends nothing when it cannot be written (writableName).
bool encodeName(const std::string& name, std::string& out) {
  std::string encoded;
  for (size_t i = 0; i < name.size();) {
    uint32_t cp;
    const size_t len = decodeUtf8(name.data() + i, name.size() - i, cp);
    if (len == 0 || cp > 0xFF || cp <= 0x20 || (cp >= 0x7F && cp <= 0x9F) ||
        std::strchr("<>&\"'=/", static_cast<int>(cp)))
      return false;
    encoded += static_cast<char>(cp);
    i += len;
  }
  if (encoded.empty()) return false;
  out += encoded;
  return true;
}

void appendReference(std::string& out, uint32_t cp) {
  out += "&#";
  out += std::to_string(cp);
  out += ';';
}

// Turns trees into text. Plain text copies the stored bytes of names and
// values (values escaped); file text is encoded for the ISO-8859-1
// declaration so that every value reads back as it was stored.
class Writer {
 public:
  explicit Writer(bool forFile) : forFile_(forFile) {}

  std::string out;
  // Set when a name cannot be written into a file (it would not read back).
  std::string badName;

  void tree(const Node* root, int indent) {
    struct Open {
      const Node* node;
      std::list<Node*>::const_iterator next;
      int indent;
    };
    // Iterative, so that deep documents cannot exhaust the stack.
    std::vector<Open> open;
    if (indent < 0) indent = 0;
    if (startElement(root, indent)) open.push_back({root, root->children.begin(), indent});
    while (!open.empty()) {
      Open& top = open.back();
      if (top.next == top.node->children.end()) {
        out.append(static_cast<size_t>(top.indent), ' ');
        out += "</";
        writeName(top.node->name);
        out += ">\n";
        open.pop_back();
        continue;
      }
      const Node* child = *top.next;
      ++top.next;
      const int childIndent = top.indent + 2;
      if (startElement(child, childIndent)) open.push_back({child, child->children.begin(), childIndent});
    }
  }

 private:
  bool forFile_;

  // Writes the start tag; true when the element has children to follow.
  bool startElement(const Node* node, int indent) {
    out.append(static_cast<size_t>(indent), ' ');
    out += '<';
    writeName(node->name);
    for (const auto& attribute : node->attributes) {
      out += ' ';
      writeName(attribute.first);
      out += "=\"";
      writeValue(attribute.second);
      out += '"';
    }
    if (node->children.empty()) {
      out += "/>\n";
      return false;
    }
    out += ">\n";
    return true;
  }

  void writeName(const std::string& name) {
    if (!forFile_) {
      out += name;
      return;
    }
    if (!encodeName(name, out) && badName.empty()) badName = name.empty() ? std::string("(empty)") : name;
  }

  void writeValue(const std::string& value) {
    for (size_t i = 0; i < value.size();) {
      const char c = value[i];
      switch (c) {
        case '&': out += "&amp;"; ++i; continue;
        case '<': out += "&lt;"; ++i; continue;
        case '>': out += "&gt;"; ++i; continue;
        case '"': out += "&quot;"; ++i; continue;
        default: break;
      }
      if (!forFile_) {
        out += c;
        ++i;
        continue;
      }
      uint32_t cp;
      const size_t len = decodeUtf8(value.data() + i, value.size() - i, cp);
      if (len == 0) {
        // Not UTF-8: keep the byte as the ISO-8859-1 character it would be.
        appendReference(out, static_cast<unsigned char>(c));
        ++i;
        continue;
      }
      i += len;
      if (cp == 0x9 || cp == 0xA || cp == 0xD) {
        // A reader turns raw white space in a value into spaces.
        appendReference(out, cp);
      } else if (!isDocumentChar(cp)) {
        // No XML document can hold this character, not even as a reference.
        appendReference(out, 0xFFFD);
      } else if (cp <= 0xFF) {
        out += static_cast<char>(cp);
      } else {
        appendReference(out, cp);
      }
    }
  }
};

// Closes the file and frees the parser on every way out of readFile; the
// parser's user data, which counts how deep the open elements nest and how
// much they hand on.
struct ReadState {
  FILE* file = nullptr;
  XML_Parser parser = nullptr;
  XMLHandler* handler = nullptr;
  unsigned depth = 0;
  unsigned depthLimit = 0;  // 0 for any depth
  bool tooDeep = false;
  // The bytes of the names and values handed on, entities expanded: a
  // small file may expand far beyond the size limit.
  size_t handed = 0;
  size_t sizeLimit = 0;  // 0 for any size
  bool expandsTooFar = false;
  ~ReadState() {
    if (parser) XML_ParserFree(parser);
    if (file) std::fclose(file);
  }
};

void xmlStart(void* userData, const char* name, const char** attrs) {
  ReadState& state = *static_cast<ReadState*>(userData);
  if (state.depthLimit > 0 && state.depth >= state.depthLimit) {
    state.tooDeep = true;
    XML_StopParser(state.parser, XML_FALSE);
    return;
  }
  for (const char** text = attrs; state.sizeLimit > 0 && *text; ++text) state.handed += std::strlen(*text);
  state.handed += std::strlen(name);
  if (state.sizeLimit > 0 && state.handed > state.sizeLimit) {
    state.expandsTooFar = true;
    XML_StopParser(state.parser, XML_FALSE);
    return;
  }
  ++state.depth;
  state.handler->startElement(name, attrs);
}

void xmlEnd(void* userData, const char* name) {
  ReadState& state = *static_cast<ReadState*>(userData);
  --state.depth;
  state.handler->endElement(name);
}

}  // namespace

// ---------------------------------------------------------------------------
// Node

Node::Node() : parent(nullptr) {}

Node::Node(const char* elementName, const char** attrs) : parent(nullptr), name(elementName ? elementName : "") {
  if (!attrs) return;
  for (size_t i = 0; attrs[i] && attrs[i + 1]; i += 2) attributes[attrs[i]] = attrs[i + 1];
}

Node::~Node() {
  if (parent) *parent -= this;
  // Deletes the subtree without recursion, so that deep documents cannot
  // exhaust the stack: each node is emptied before it is deleted.
  std::vector<Node*> pending(children.begin(), children.end());
  children.clear();
  while (!pending.empty()) {
    Node* node = pending.back();
    pending.pop_back();
    pending.insert(pending.end(), node->children.begin(), node->children.end());
    node->children.clear();
    node->parent = nullptr;
    delete node;
  }
}

void Node::operator+=(Node* child) {
  if (!child) return;
  if (child->parent) *child->parent -= child;
  children.push_back(child);
  child->parent = this;
}

void Node::operator-=(Node* child) {
  if (!child) return;
  children.remove(child);
  // A node that belongs to another parent keeps it.
  if (child->parent == this) child->parent = nullptr;
}

std::string& Node::operator[](const std::string& attribute) { return attributes[attribute]; }

const std::string* Node::getAttribute(const std::string& attribute) const {
  auto found = attributes.find(attribute);
  return found == attributes.end() ? nullptr : &found->second;
}

std::string Node::getAttribute(const std::string& attribute, const std::string& def) const {
  const std::string* value = getAttribute(attribute);
  return value ? *value : def;
}

long Node::getAttributeLong(const std::string& attribute, long def) const {
  const std::string* value = getAttribute(attribute);
  if (!value) return def;
  return std::strtol(value->c_str(), nullptr, 0);
}

float Node::getAttributeFloat(const std::string& attribute, float def) const {
  const std::string* value = getAttribute(attribute);
  if (!value) return def;
  const double d = std::strtod(value->c_str(), nullptr);
  // Beyond the float range the conversion is not defined; round as the
  // hardware would, to the largest float or to infinity.
  if (std::fabs(d) > FLT_MAX) {
    const float big = std::fabs(d) < 3.4028235677973366e38 ? FLT_MAX : HUGE_VALF;
    return d < 0 ? -big : big;
  }
  return static_cast<float>(d);
}

bool Node::getAttributeBool(const std::string& attribute, bool def) const {
  const std::string* value = getAttribute(attribute);
  if (!value) return def;
  return *value == "1" || *value == "t" || *value == "true";
}

std::string Node::toString(int indent) const {
  Writer writer(false);
  writer.tree(this, indent);
  return writer.out;
}

std::string Node::fileText() const {
  Writer writer(true);
  writer.out = DECLARATION;
  writer.tree(this, 0);
  if (!writer.badName.empty()) throw "the name \"" + writer.badName + "\" cannot be written";
  return writer.out;
}

void Node::saveXML(const char* file) const {
  const std::string target = file ? file : "";
  try {
    replaceFile(target, fileText());
  } catch (const NotSynced&) {
    throw;  // written: no "Could not write"
  } catch (const std::string& reason) {
    throw WriteError(target, reason);
  }
}

bool writableName(const std::string& name) {
  std::string encoded;
  return encodeName(name, encoded);
}

WriteError::WriteError(const std::string& file, const std::string& why)
    : std::string("Could not write XML file \"" + file + "\": " + why), reason(why) {}

// ---------------------------------------------------------------------------
// The parser side

DOMXMLHandler::DOMXMLHandler() : root(nullptr), current(nullptr) {}

void DOMXMLHandler::startElement(const char* name, const char** attrs) {
  Node* node = new Node(name, attrs);
  if (!root) {
    root = node;
  } else {
    // current is only null here when events arrive after the root closed.
    *(current ? current : root) += node;
  }
  current = node;
}

void DOMXMLHandler::endElement(const char*) {
  if (current) current = current->parent;
}

OpenError::OpenError(const std::string& message, int errorNumber) : std::string(message), error(errorNumber) {}

XMLReader::XMLReader(XMLHandler* h)
    : handler(h), sizeLimit(0), depthLimit(0), info(), keepOpen(false), descriptor(-1) {}

void XMLReader::readFile(const std::string& file) {
  ReadState state;
  // Only a regular file is read: a FIFO would hold the reader until some
  // other process writes to it, and a device is nothing to parse. It is
  // looked at before it is opened, so that no device is opened at all, and
  // opened without blocking, in case another file took its name between.
  const auto notRegular = [] { return OpenError("Could not open XML file: it is not a regular file", 0); };
  if (::stat(file.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) throw notRegular();
  const int descriptor = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (descriptor < 0) {
    const int error = errno;
    // A missing file is the usual "none yet"; its message stays the short one.
    if (error == ENOENT) throw OpenError("Could not open XML file", error);
    throw OpenError(std::string("Could not open XML file: ") + std::strerror(error), error);
  }
  state.file = ::fdopen(descriptor, "r");
  if (!state.file) {
    const int error = errno;
    ::close(descriptor);
    throw OpenError(std::string("Could not open XML file: ") + std::strerror(error), error);
  }
  if (::fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) throw notRegular();
  if (keepOpen) this->descriptor = ::fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
  const auto tooLarge = [this] { return "The file is larger than " + std::to_string(sizeLimit) + " bytes"; };
  if (sizeLimit > 0 && static_cast<unsigned long long>(info.st_size) > sizeLimit) throw tooLarge();
  state.parser = XML_ParserCreate(nullptr);
  if (!state.parser) throw std::string("Could not create XML parser");
  state.handler = handler;
  state.depthLimit = depthLimit;
  state.sizeLimit = sizeLimit;
  XML_SetUserData(state.parser, &state);
  XML_SetElementHandler(state.parser, xmlStart, xmlEnd);

  size_t total = 0;
  // End of file is tested before each read, so a file whose length is a
  // multiple of the chunk ends with an empty final chunk.
  while (!std::feof(state.file)) {
    // The parser's own buffer: no copy, and no chunk on the caller's stack.
    void* buffer = XML_GetBuffer(state.parser, static_cast<int>(CHUNK));
    if (!buffer) throw std::string("Out of memory reading XML file");
    const size_t count = std::fread(buffer, 1, CHUNK, state.file);
    if (std::ferror(state.file)) {
      const int error = errno;
      throw OpenError(std::string("Error reading XML file: ") + std::strerror(error), error);
    }
    // The size seen before reading does not hold for a file that grows.
    total += count;
    if (sizeLimit > 0 && total > sizeLimit) throw tooLarge();
    const int final = count < CHUNK;
    if (XML_ParseBuffer(state.parser, static_cast<int>(count), final) == XML_STATUS_ERROR) {
      if (state.tooDeep) throw "Its elements nest deeper than " + std::to_string(depthLimit) + " levels";
      if (state.expandsTooFar) throw "Its entities expand it to more than " + std::to_string(sizeLimit) + " bytes";
      const XML_LChar* text = XML_ErrorString(XML_GetErrorCode(state.parser));
      throw std::string(text ? text : "unknown XML error");
    }
  }
}

Node* loadXML(const char* file, size_t sizeLimit, unsigned depthLimit, struct stat* info, int* descriptor) {
  if (descriptor) *descriptor = -1;
  if (!file) throw OpenError("Could not open XML file", ENOENT);
  DOMXMLHandler handler;
  XMLReader reader(&handler);
  reader.sizeLimit = sizeLimit;
  reader.depthLimit = depthLimit;
  reader.keepOpen = descriptor != nullptr;
  const auto handOver = [&] {
    if (info) *info = reader.info;
    if (descriptor) *descriptor = reader.descriptor;
  };
  try {
    reader.readFile(file);
  } catch (...) {
    // What the parser accepted before the error is of no use to anyone.
    delete handler.root;
    handOver();
    throw;
  }
  handOver();
  return handler.root;
}

std::string entryName(const Node& entry, int group, const char* kind) {
  if (const std::string* name = entry.getAttribute("name")) return *name;
  debug::warning(group, "No name specified for %s. Using filename.", kind);
  return entry.getAttribute("filename", "");
}

const std::string* entryFile(const Node& entry, int group, const char* kind, const std::string& name) {
  const std::string* file = entry.getAttribute("filename");
  if (!file)
    debug::error(group, "No filename specified for %s \"%s\". Skipping entry.", kind,
                 name.empty() ? "(no name)" : name.c_str());
  return file;
}

}  // namespace xml
}  // namespace korvu
