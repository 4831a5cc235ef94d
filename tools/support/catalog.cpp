#include "catalog.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

namespace glimro_tools {

using korvu::xml::Node;

void addToCatalog(const std::string& file, const std::string& rootName,
                  std::vector<std::unique_ptr<Node>> entries) {
  std::map<std::string, std::unique_ptr<Node>> byName;
  struct stat info;
  if (stat(file.c_str(), &info) == 0) {
    std::unique_ptr<Node> old(korvu::xml::loadXML(file.c_str()));
    if (!old || old->name != rootName) throw file + ": not a \"" + rootName + "\" list";
    while (!old->children.empty()) {
      Node* child = old->children.front();
      *old -= child;
      byName[child->getAttribute("name", "")].reset(child);
    }
  }
  for (auto& entry : entries) {
    const std::string name = entry->getAttribute("name", "");
    byName[name] = std::move(entry);
  }
  Node root;
  root.name = rootName;
  for (auto& [name, entry] : byName) root += entry.release();
  const size_t slash = file.rfind('/');
  if (slash != std::string::npos) makeDirs(file.substr(0, slash));
  root.saveXML(file.c_str());
}

std::unique_ptr<Node> element(const std::string& name,
                              const std::vector<std::pair<std::string, std::string>>& attributes) {
  std::unique_ptr<Node> node(new Node());
  node->name = name;
  for (const auto& [key, value] : attributes) (*node)[key] = value;
  return node;
}

void makeDirs(const std::string& path) {
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '/') continue;
    const std::string part = path.substr(0, i);
    if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
      throw "Could not create folder " + part + ": " + std::strerror(errno);
  }
}

}  // namespace glimro_tools
