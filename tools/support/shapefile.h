// Building a Milkshape3D model from triangles: positions shared by exact
// equality, a normal and a texture coordinate per corner, one group per
// surface look (material), written through the engine's writer.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "ddd/milkshape.h"
#include "mathtypes.h"

namespace glimro_tools {

// A material record: colours for the fixed-function lights and an optional
// texture, named by its file in resources/textures/.
struct Look {
  std::string name;
  float ambient[4];
  float diffuse[4];
  float specular[4];
  float emissive[4];
  float shininess;
  std::string texture;
};

// A corner of a triangle.
struct Corner {
  korvu::Vector3D position;
  korvu::Vector3D normal;
  float s;
  float t;
};

class ShapeFile {
 public:
  // The group that draws with this look, made on first use; groups keep the
  // order of their first use. A look is known by its name.
  int group(const Look& look);

  // A triangle of the group, corners counter-clockwise seen from its front.
  void triangle(int group, const Corner& a, const Corner& b, const Corner& c);
  // Two triangles a, b, c and a, c, d.
  void quad(int group, const Corner& a, const Corner& b, const Corner& c, const Corner& d);

  size_t triangleCount() const { return file_.triangles.size(); }
  size_t vertexCount() const { return file_.vertices.size(); }

  const korvu::ddd::milkshape::File& file() const { return file_; }
  // Writes the model; throws a std::string on failure.
  void save(const std::string& fileName) const;

 private:
  uint16_t vertex(const korvu::Vector3D& p);

  korvu::ddd::milkshape::File file_;
  std::map<std::string, int> groupByLook_;
  std::map<std::vector<float>, uint16_t> vertexByPosition_;
};

}  // namespace glimro_tools
