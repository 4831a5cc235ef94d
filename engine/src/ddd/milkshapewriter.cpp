#include "ddd/milkshapewriter.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

#include "ddd/face.h"
#include "ddd/material.h"
#include "ddd/mesh.h"
#include "ddd/model.h"
#include "image.h"

namespace korvu {
namespace ddd {
namespace milkshape {

namespace {

constexpr std::size_t MAX_COUNT = 65535;

class Writer {
 public:
  std::vector<unsigned char> bytes;

  void u8(uint8_t v) { bytes.push_back(v); }
  void s8(int8_t v) { bytes.push_back(static_cast<unsigned char>(v)); }
  void u16(uint16_t v) {
    bytes.push_back(static_cast<unsigned char>(v & 0xff));
    bytes.push_back(static_cast<unsigned char>(v >> 8));
  }
  void u32(uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<unsigned char>(v >> shift));
  }
  void s32(int32_t v) { u32(static_cast<uint32_t>(v)); }
  void f32(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    u32(bits);
  }
  void floats(const float* f, int n) {
    for (int i = 0; i < n; ++i) f32(f[i]);
  }
  // The text, zero-padded to the field's size; it must leave room for the
  // terminating zero.
  void text(const std::string& s, std::size_t fieldSize, const std::string& what) {
    if (s.size() >= fieldSize) {
      throw "Cannot write Milkshape3D file: " + what + " \"" + s + "\" is longer than " +
          std::to_string(fieldSize - 1) + " bytes.";
    }
    bytes.insert(bytes.end(), s.begin(), s.end());
    bytes.insert(bytes.end(), fieldSize - s.size(), 0);
  }
};

void checkCount(std::size_t count, const char* what) {
  if (count > MAX_COUNT) {
    throw std::string("Cannot write Milkshape3D file: ") + std::to_string(count) + " " + what +
        " (at most 65535).";
  }
}

void colour(float out[4], const Color& c) {
  out[0] = c.red;
  out[1] = c.green;
  out[2] = c.blue;
  out[3] = c.alpha;
}

}  // namespace

std::vector<unsigned char> encode(const File& file) {
  checkCount(file.vertices.size(), "vertices");
  checkCount(file.triangles.size(), "triangles");
  checkCount(file.groups.size(), "groups");
  checkCount(file.materials.size(), "materials");

  Writer out;
  out.bytes.reserve(HEADER_SIZE + file.vertices.size() * VERTEX_SIZE +
                    file.triangles.size() * TRIANGLE_SIZE + file.materials.size() * MATERIAL_SIZE +
                    64);
  out.bytes.insert(out.bytes.end(), FILE_ID, FILE_ID + ID_SIZE);
  out.s32(file.version);

  out.u16(static_cast<uint16_t>(file.vertices.size()));
  for (const Vertex& v : file.vertices) {
    out.u8(v.flags);
    out.floats(v.position, 3);
    out.s8(v.boneId);
    out.u8(v.referenceCount);
  }

  out.u16(static_cast<uint16_t>(file.triangles.size()));
  for (const Triangle& t : file.triangles) {
    out.u16(t.flags);
    for (uint16_t v : t.vertex) out.u16(v);
    for (const auto& n : t.normal) out.floats(n, 3);
    out.floats(t.s, 3);
    out.floats(t.t, 3);
    out.u8(t.smoothingGroup);
    out.u8(t.groupIndex);
  }

  out.u16(static_cast<uint16_t>(file.groups.size()));
  for (const Group& g : file.groups) {
    checkCount(g.triangles.size(), "triangles in a group");
    out.u8(g.flags);
    out.text(g.name, NAME_SIZE, "group name");
    out.u16(static_cast<uint16_t>(g.triangles.size()));
    for (uint16_t t : g.triangles) out.u16(t);
    out.s8(g.material);
  }

  out.u16(static_cast<uint16_t>(file.materials.size()));
  for (const Material& m : file.materials) {
    out.text(m.name, NAME_SIZE, "material name");
    out.floats(m.ambient, 4);
    out.floats(m.diffuse, 4);
    out.floats(m.specular, 4);
    out.floats(m.emissive, 4);
    out.f32(m.shininess);
    out.f32(m.transparency);
    out.u8(m.mode);
    out.text(m.texture, TEXTURE_SIZE, "texture path");
    out.text(m.alphaMap, TEXTURE_SIZE, "alpha map path");
  }

  // Animation block without joints: frames per second, current time,
  // total frames, joint count.
  out.f32(24.0f);
  out.f32(0.0f);
  out.s32(30);
  out.u16(0);
  return out.bytes;
}

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

void save(const std::string& fileName, const File& file) {
  std::vector<unsigned char> bytes = encode(file);
  std::unique_ptr<std::FILE, FileCloser> out(std::fopen(fileName.c_str(), "wb"));
  if (!out) throw "Could not write file \"" + fileName + "\".";
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out.get()) == bytes.size();
  ok = std::fclose(out.release()) == 0 && ok;
  if (!ok) throw "Could not write file \"" + fileName + "\".";
}

File fromModel(const Model& model) {
  checkCount(model.vertexCount, "vertices");
  checkCount(model.faceCount, "triangles");
  checkCount(model.meshCount, "groups");

  File file;
  file.vertices.resize(model.vertexCount);
  for (uint32_t i = 0; i < model.vertexCount; ++i) {
    const Vector3D& p = model.vertices[i];
    file.vertices[i].position[0] = p.x;
    file.vertices[i].position[1] = p.y;
    file.vertices[i].position[2] = p.z;
  }

  file.triangles.resize(model.faceCount);
  for (uint32_t i = 0; i < model.faceCount; ++i) {
    const Face& f = *model.faces[i];
    Triangle& t = file.triangles[i];
    for (int k = 0; k < 3; ++k) {
      if (f.vertex[k] < 0 || static_cast<uint32_t>(f.vertex[k]) >= model.vertexCount) {
        throw "Cannot write Milkshape3D file: face " + std::to_string(i) + " uses vertex " +
            std::to_string(f.vertex[k]) + " of " + std::to_string(model.vertexCount) + ".";
      }
      t.vertex[k] = static_cast<uint16_t>(f.vertex[k]);
      t.normal[k][0] = f.normal[k].x;
      t.normal[k][1] = f.normal[k].y;
      t.normal[k][2] = f.normal[k].z;
      t.s[k] = f.texCoord[k].x;
      t.t[k] = f.texCoord[k].y;
    }
  }

  std::map<const ddd::Material*, int> materialIndex;
  file.groups.resize(model.meshCount);
  for (uint32_t i = 0; i < model.meshCount; ++i) {
    const Mesh& mesh = *model.meshes[i];
    Group& g = file.groups[i];
    g.name = "group" + std::to_string(i);
    checkCount(mesh.faceCount, "faces in a mesh");
    g.triangles.resize(mesh.faceCount);
    for (uint32_t j = 0; j < mesh.faceCount; ++j) {
      if (mesh.faces[j] >= model.faceCount) {
        throw "Cannot write Milkshape3D file: mesh " + std::to_string(i) + " uses face " +
            std::to_string(mesh.faces[j]) + " of " + std::to_string(model.faceCount) + ".";
      }
      g.triangles[j] = static_cast<uint16_t>(mesh.faces[j]);
      file.triangles[mesh.faces[j]].groupIndex = static_cast<uint8_t>(i);
    }
    const ddd::Material* material = mesh.material;
    if (!material || material == &defMaterial) continue;
    auto found = materialIndex.find(material);
    if (found == materialIndex.end()) {
      if (file.materials.size() >= 127) {
        throw std::string("Cannot write Milkshape3D file: more than 127 materials.");
      }
      Material record;
      record.name = material->name;
      colour(record.ambient, material->ambient);
      colour(record.diffuse, material->diffuse);
      colour(record.specular, material->specular);
      colour(record.emissive, material->emissive);
      record.shininess = material->shininess;
      if (material->texture) record.texture = material->texture->name;
      found = materialIndex.emplace(material, static_cast<int>(file.materials.size())).first;
      file.materials.push_back(record);
    }
    g.material = static_cast<int8_t>(found->second);
  }
  return file;
}

}  // namespace milkshape
}  // namespace ddd
}  // namespace korvu
