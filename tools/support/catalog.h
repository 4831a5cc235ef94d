// Lists that several asset tools add to: the models, materials, sounds and
// images XML files. Entries are keyed by their "name" attribute and written
// sorted by it, so the file is the same whichever tool runs first.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "xml.h"

namespace glimro_tools {

// Reads the list (root element rootName) if the file exists, replaces
// entries of the same name, adds the others and writes it back. Throws a
// std::string when the file cannot be read or written.
void addToCatalog(const std::string& file, const std::string& rootName,
                  std::vector<std::unique_ptr<korvu::xml::Node>> entries);

// A new element with the given attributes, for building entries.
std::unique_ptr<korvu::xml::Node> element(
    const std::string& name,
    const std::vector<std::pair<std::string, std::string>>& attributes);

// Makes the folder and its parents; throws a std::string on failure.
void makeDirs(const std::string& path);

}  // namespace glimro_tools
