#include "shapefile.h"

#include <cstring>

#include "ddd/milkshapewriter.h"

namespace glimro_tools {

namespace ms = korvu::ddd::milkshape;

int ShapeFile::group(const Look& look) {
  auto found = groupByLook_.find(look.name);
  if (found != groupByLook_.end()) return found->second;
  ms::Material m;
  m.name = look.name;
  std::memcpy(m.ambient, look.ambient, sizeof m.ambient);
  std::memcpy(m.diffuse, look.diffuse, sizeof m.diffuse);
  std::memcpy(m.specular, look.specular, sizeof m.specular);
  std::memcpy(m.emissive, look.emissive, sizeof m.emissive);
  m.shininess = look.shininess;
  m.texture = look.texture;
  file_.materials.push_back(m);
  ms::Group g;
  g.name = look.name;
  g.material = static_cast<int8_t>(file_.materials.size() - 1);
  file_.groups.push_back(g);
  const int index = static_cast<int>(file_.groups.size() - 1);
  groupByLook_[look.name] = index;
  return index;
}

uint16_t ShapeFile::vertex(const korvu::Vector3D& p) {
  // -0 and 0 are one position.
  const std::vector<float> key = {p.x + 0.0f, p.y + 0.0f, p.z + 0.0f};
  auto found = vertexByPosition_.find(key);
  if (found != vertexByPosition_.end()) return found->second;
  if (file_.vertices.size() >= 65535) throw std::string("Model has too many vertices for a Milkshape3D file.");
  ms::Vertex v;
  v.position[0] = key[0];
  v.position[1] = key[1];
  v.position[2] = key[2];
  file_.vertices.push_back(v);
  const uint16_t index = static_cast<uint16_t>(file_.vertices.size() - 1);
  vertexByPosition_[key] = index;
  return index;
}

void ShapeFile::triangle(int group, const Corner& a, const Corner& b, const Corner& c) {
  if (file_.triangles.size() >= 65535) throw std::string("Model has too many triangles for a Milkshape3D file.");
  ms::Triangle t;
  const Corner* corners[3] = {&a, &b, &c};
  for (int k = 0; k < 3; ++k) {
    t.vertex[k] = vertex(corners[k]->position);
    t.normal[k][0] = corners[k]->normal.x;
    t.normal[k][1] = corners[k]->normal.y;
    t.normal[k][2] = corners[k]->normal.z;
    t.s[k] = corners[k]->s;
    t.t[k] = corners[k]->t;
  }
  t.groupIndex = static_cast<uint8_t>(group);
  file_.groups[static_cast<size_t>(group)].triangles.push_back(static_cast<uint16_t>(file_.triangles.size()));
  file_.triangles.push_back(t);
}

void ShapeFile::quad(int group, const Corner& a, const Corner& b, const Corner& c, const Corner& d) {
  triangle(group, a, b, c);
  triangle(group, a, c, d);
}

void ShapeFile::save(const std::string& fileName) const { ms::save(fileName, file_); }

}  // namespace glimro_tools
