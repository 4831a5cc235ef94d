// Milkshape3D model files (versions 3 and 4): the record layout, a checked
// reader of a whole file image, and the model class that loads such a file.
//
// The layout below is shared by the reader here and the writer in
// milkshapewriter.h, so both agree byte for byte. All numbers are
// little-endian; records follow one another without gaps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ddd/model.h"

namespace korvu {

class ImageBank;

namespace ddd {

class MaterialBank;

namespace milkshape {

// "MS3D000000" (no terminating zero in the file).
extern const char FILE_ID[10];
constexpr std::size_t ID_SIZE = 10;
constexpr std::size_t HEADER_SIZE = 14;      // id, int32 version
constexpr std::size_t VERTEX_SIZE = 15;      // u8 flags, 3 floats, s8 bone, u8 references
constexpr std::size_t TRIANGLE_SIZE = 70;    // u16 flags, 3 u16, 9+3+3 floats, 2 u8
constexpr std::size_t NAME_SIZE = 32;        // group and material names
constexpr std::size_t GROUP_HEAD_SIZE = 35;  // u8 flags, name, u16 triangle count
constexpr std::size_t TEXTURE_SIZE = 128;    // texture and alpha-map paths
constexpr std::size_t MATERIAL_SIZE = 361;   // name, 18 floats, u8 mode, 2 paths

// Messages of the two header checks (callers compare them).
extern const char* const MSG_BAD_ID;
extern const char* const MSG_BAD_VERSION;

struct Vertex {
  uint8_t flags = 0;
  float position[3] = {0.0f, 0.0f, 0.0f};
  int8_t boneId = -1;
  uint8_t referenceCount = 0;
};

struct Triangle {
  uint16_t flags = 0;
  uint16_t vertex[3] = {0, 0, 0};
  // Corner normals: x, y, z of corner 0, then corner 1, then corner 2.
  float normal[3][3] = {{0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}};
  float s[3] = {0.0f, 0.0f, 0.0f};
  float t[3] = {0.0f, 0.0f, 0.0f};
  uint8_t smoothingGroup = 1;
  uint8_t groupIndex = 0;
};

struct Group {
  uint8_t flags = 0;
  // At most NAME_SIZE - 1 bytes are stored.
  std::string name;
  std::vector<uint16_t> triangles;
  // Index into the material block; -1 for none.
  int8_t material = -1;
};

struct Material {
  // At most NAME_SIZE - 1 bytes are stored.
  std::string name;
  float ambient[4] = {0.2f, 0.2f, 0.2f, 1.0f};
  float diffuse[4] = {0.8f, 0.8f, 0.8f, 1.0f};
  float specular[4] = {0.0f, 0.0f, 0.0f, 1.0f};
  float emissive[4] = {0.0f, 0.0f, 0.0f, 1.0f};
  float shininess = 0.0f;
  float transparency = 1.0f;
  uint8_t mode = 0;
  // At most TEXTURE_SIZE - 1 bytes each are stored.
  std::string texture;
  std::string alphaMap;
};

// The part of a file that the engine reads.
struct File {
  int32_t version = 4;
  std::vector<Vertex> vertices;
  std::vector<Triangle> triangles;
  std::vector<Group> groups;
  // Read only when asked for; the writer always writes the block.
  std::vector<Material> materials;
};

// Reads a whole file image. Without readMaterials the reading stops after
// the groups. Throws a std::string naming the problem when the image is not
// a Milkshape3D file of version 3 or 4, ends before a block its counts
// announce, refers to a vertex or triangle that does not exist, or holds a
// material name or texture path that does not end within its field. source
// names the file in those messages.
File parse(const unsigned char* data, std::size_t size, bool readMaterials,
           const std::string& source);

// The part of a texture path after its last backslash (the whole path when
// it holds none); forward slashes do not separate.
std::string textureBaseName(const std::string& path);

}  // namespace milkshape

// A model whose geometry comes from a Milkshape3D file.
class MilkshapeModel : public Model {
 public:
  MilkshapeModel() = default;
  ~MilkshapeModel() override = default;

  // Reads the file and fills the model: vertices, triangles with corner
  // normals and texture coordinates, one mesh per group. With a material
  // bank the file's materials are put into it (shared by name, texture
  // images shared by base name in the image bank, whose file names are
  // texturePath followed by that name). Throws a std::string when the file
  // cannot be read or is not a sound Milkshape3D file; the model and the
  // banks are then unchanged.
  void load(const char* fileName, MaterialBank* materials, ImageBank* images,
            std::string texturePath);

  // The same from a file image in memory; source names it in messages.
  void loadFromMemory(const unsigned char* data, std::size_t size, const std::string& source,
                      MaterialBank* materials, ImageBank* images,
                      const std::string& texturePath);

 private:
  void apply(const milkshape::File& file, MaterialBank* materials, ImageBank* images,
             const std::string& texturePath);
};

}  // namespace ddd
}  // namespace korvu
