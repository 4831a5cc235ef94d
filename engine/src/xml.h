// A small XML document model: elements with attributes and children, read
// through expat and written back as indented text. Character data, comments
// and processing instructions are dropped on reading and never written.
#pragma once

#include <sys/stat.h>

#include <list>
#include <map>
#include <string>

namespace korvu {
namespace xml {

// One element. A node owns its children; deleting a node deletes its whole
// subtree and takes it out of its parent first.
class Node {
 public:
  Node* parent;  // null for a root or a detached node
  std::string name;
  // Ordered by byte-wise comparison of the names, so they are written sorted.
  std::map<std::string, std::string> attributes;
  std::list<Node*> children;  // document order, owned

  Node();
  // attrs is a null-ended array of alternating names and values, as the
  // parser hands them; a repeated name keeps the last value.
  Node(const char* name, const char** attrs);
  ~Node();

  Node(const Node&) = delete;
  Node& operator=(const Node&) = delete;

  // Appends a child, taking it from its previous parent first.
  void operator+=(Node* child);
  // Detaches a child without deleting it.
  void operator-=(Node* child);

  // The attribute's value, created empty when missing.
  std::string& operator[](const std::string& attribute);

  // The stored value, or null when the attribute is absent.
  const std::string* getAttribute(const std::string& attribute) const;
  std::string getAttribute(const std::string& attribute, const std::string& def) const;
  // strtol with base 0 of the value; a value without digits gives 0.
  long getAttributeLong(const std::string& attribute, long def) const;
  // strtod of the value, narrowed to float.
  float getAttributeFloat(const std::string& attribute, float def) const;
  // True exactly for "1", "t" and "true".
  bool getAttributeBool(const std::string& attribute, bool def) const;

  // The element and its subtree as text, starting at the given indent (in
  // spaces); values are escaped, their bytes otherwise copied unchanged.
  std::string toString(int indent) const;

  // The declaration line and the tree, as saveXML writes them. Values are
  // encoded for the ISO-8859-1 declaration: characters up to U+00FF become
  // single bytes, others numeric character references. Throws a std::string
  // saying which name cannot be written (writableName).
  std::string fileText() const;

  // Puts fileText in the file's place through a temporary file, renamed
  // over it, and syncs the folder (replaceFile). Throws a WriteError when
  // the file cannot be written; the old file is then left as it was. Throws
  // NotSynced when only the folder's sync failed.
  void saveXML(const char* file) const;
};

// Whether an element or attribute name can be written into a file and read
// back: names are markup, so each character must fit into one ISO-8859-1
// byte, and a name may not be empty or hold white space or delimiters.
bool writableName(const std::string& name);

// Thrown where a file cannot be written: the whole message, naming the file
// meant ("Could not write XML file "<file>": <reason>"). The reason alone
// names the other file where the step that failed was on that one (the
// temporary file).
class WriteError : public std::string {
 public:
  std::string reason;
  WriteError(const std::string& file, const std::string& reason);
};

// The parser's events. Handlers are destroyed through their own type.
class XMLHandler {
 public:
  virtual void startElement(const char* name, const char** attrs) = 0;
  virtual void endElement(const char* name) = 0;

 protected:
  ~XMLHandler() = default;
};

// Builds a tree of nodes; whoever takes root owns it.
class DOMXMLHandler : public XMLHandler {
 public:
  Node* root;
  Node* current;

  DOMXMLHandler();
  void startElement(const char* name, const char** attrs) override;
  void endElement(const char* name) override;
};

// Thrown where a file cannot be opened or read as a file at all (missing,
// no permission, a link loop, no regular file): nothing was learnt of its
// content, so it is no broken document. It is the message itself, so that
// whoever catches messages catches it too.
class OpenError : public std::string {
 public:
  // The errno that stopped it; 0 for a name that is no regular file (a
  // folder, a FIFO, a socket, a device), which is never opened.
  int error;
  OpenError(const std::string& message, int error);
};

class XMLReader {
 public:
  // Bytes fed to the parser at a time. The parser scans a token that spans
  // chunks again for each chunk, so small chunks make a long token cost the
  // square of its length.
  static constexpr size_t CHUNK = 64 * 1024;

  XMLHandler* handler;  // not owned
  // The largest file read, in bytes, and the most its element names and
  // attributes may take with their entities expanded; 0 for any size.
  size_t sizeLimit;
  // The deepest nesting of elements read; 0 for any depth.
  unsigned depthLimit;
  // What the file was when it was opened (device, inode, size, times), for
  // a caller that must know later whether a file is still the one it read.
  struct stat info;
  // When keepOpen is set, a descriptor of the file read, which the caller
  // closes, also when the read throws after the file opened; else -1. A
  // file held open keeps its inode, so no other file can come to have it.
  bool keepOpen;
  int descriptor;

  explicit XMLReader(XMLHandler* handler);
  // Parses one regular file, calling the handler for each start and end
  // tag; nothing else is opened, and nothing blocks on opening. Throws an
  // OpenError "Could not open XML file" for a missing file, the same
  // followed by ": " and the reason where it exists but does not open or is
  // no regular file, and "Error reading XML file: " and the reason where
  // reading fails; a message "larger than <sizeLimit> bytes" for a file
  // beyond the limit, "expand it to more than <sizeLimit> bytes" for one
  // whose entities take it beyond, one "deeper than <depthLimit> levels"
  // for elements nested deeper; else the parser's own error text.
  void readFile(const std::string& file);
};

// Reads a file into a tree that the caller owns; throws as readFile does.
// The limits as the reader's: 0 reads a file of any size or depth. info,
// when given, receives the reader's info of the file, and descriptor, when
// given, the file kept open (the reader's keepOpen), both also when it
// throws.
Node* loadXML(const char* file, size_t sizeLimit = 0, unsigned depthLimit = 0, struct stat* info = nullptr,
              int* descriptor = nullptr);

// The name a bank gives an entry of its list file: the entry's "name", else
// its "filename" with the warning "No name specified for <kind>. Using
// filename." in the log group; empty when it has neither.
std::string entryName(const Node& entry, int group, const char* kind);
// The entry's "filename"; without one, null after the error "No filename
// specified for <kind> "<name>". Skipping entry." ("(no name)" for none).
const std::string* entryFile(const Node& entry, int group, const char* kind, const std::string& name);

}  // namespace xml
}  // namespace korvu
