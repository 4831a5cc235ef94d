// Writing Milkshape3D files (version 3 or 4) with the record layout that the
// loader reads (milkshape.h). Tests, fuzz seeds and the tools that make the
// game's models write their files through here.
#pragma once

#include <string>
#include <vector>

#include "ddd/milkshape.h"

namespace korvu {
namespace ddd {

class Model;

namespace milkshape {

// The file image of file: header (with file.version as it stands), vertices,
// triangles, groups, materials, and an empty animation block (no joints).
// Throws a std::string when a count exceeds 65535 or a name or path does
// not fit its field with its terminating zero.
std::vector<unsigned char> encode(const File& file);

// Writes encode(file) to fileName; throws a std::string when the file
// cannot be written.
void save(const std::string& fileName, const File& file);

// A file holding the model's vertices, faces (corner normals and texture
// coordinates) and meshes as groups. Each distinct material of the meshes
// becomes one material record (colours, shininess and the name of its
// texture image); meshes on the default material or on none get no
// material. Throws a std::string when the model does not fit the format
// (more than 65535 vertices, faces or meshes, or more than 127 materials).
File fromModel(const Model& model);

}  // namespace milkshape
}  // namespace ddd
}  // namespace korvu
