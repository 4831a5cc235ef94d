#include "ddd/milkshape.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include <sys/stat.h>

#include "ddd/face.h"
#include "ddd/material.h"
#include "ddd/materialbank.h"
#include "ddd/mesh.h"
#include "debug.h"
#include "image.h"

namespace korvu {
namespace ddd {

namespace milkshape {

const char FILE_ID[10] = {'M', 'S', '3', 'D', '0', '0', '0', '0', '0', '0'};
const char* const MSG_BAD_ID = "Not a valid Milkshape3D model file.";
const char* const MSG_BAD_VERSION =
    "Unhandled file version. Only Milkshape3D Version 1.3 and 1.4 is supported.";

namespace {

// A cursor over the file image that never reads past its end: every block
// is claimed with need() before its bytes are taken.
class Cursor {
 public:
  Cursor(const unsigned char* data, std::size_t size, const std::string& source)
      : data_(data), size_(size), pos_(0), source_(source) {}

  std::size_t left() const { return size_ - pos_; }

  // Throws unless count records of recordSize bytes are left.
  void need(std::size_t count, std::size_t recordSize, const char* what) const {
    // count is at most 65535 and recordSize at most a few hundred, so the
    // product cannot overflow.
    std::size_t bytes = count * recordSize;
    if (bytes > left()) {
      char text[256];
      std::snprintf(text, sizeof text, "%zu bytes, only %zu are left.", bytes, left());
      throw fileText() + " is cut short: " + what + " need " + text;
    }
  }

  uint8_t u8() { return data_[pos_++]; }
  int8_t s8() { return static_cast<int8_t>(data_[pos_++]); }
  uint16_t u16() {
    uint16_t v = static_cast<uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
    pos_ += 2;
    return v;
  }
  uint32_t u32() {
    uint32_t v = static_cast<uint32_t>(data_[pos_]) | (static_cast<uint32_t>(data_[pos_ + 1]) << 8) |
                 (static_cast<uint32_t>(data_[pos_ + 2]) << 16) |
                 (static_cast<uint32_t>(data_[pos_ + 3]) << 24);
    pos_ += 4;
    return v;
  }
  int32_t s32() { return static_cast<int32_t>(u32()); }
  float f32() {
    uint32_t bits = u32();
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
  }
  void skip(std::size_t n) { pos_ += n; }

  // A zero-terminated text in a field of fieldSize bytes. Throws when the
  // field holds no zero byte; with mustEnd false the whole field is taken.
  std::string text(std::size_t fieldSize, bool mustEnd, const std::string& what) {
    const char* field = reinterpret_cast<const char*>(data_ + pos_);
    const void* zero = std::memchr(field, 0, fieldSize);
    if (!zero && mustEnd) {
      throw fileText() + ": " + what + " does not end within its " + std::to_string(fieldSize) +
            " bytes.";
    }
    std::size_t length = zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - field)
                              : fieldSize;
    pos_ += fieldSize;
    return std::string(field, length);
  }

  std::string fileText() const { return "Milkshape3D file \"" + source_ + "\""; }

 private:
  const unsigned char* data_;
  std::size_t size_;
  std::size_t pos_;
  const std::string& source_;
};

}  // namespace

File parse(const unsigned char* data, std::size_t size, bool readMaterials,
           const std::string& source) {
  if (size < ID_SIZE || std::memcmp(data, FILE_ID, ID_SIZE) != 0) throw std::string(MSG_BAD_ID);
  Cursor in(data, size, source);
  in.skip(ID_SIZE);
  in.need(1, 4, "the version");
  File file;
  file.version = in.s32();
  if (file.version != 3 && file.version != 4) throw std::string(MSG_BAD_VERSION);

  in.need(1, 2, "the vertex count");
  unsigned vertexCount = in.u16();
  in.need(vertexCount, VERTEX_SIZE, "the vertex records");
  file.vertices.resize(vertexCount);
  for (Vertex& v : file.vertices) {
    v.flags = in.u8();
    for (float& c : v.position) c = in.f32();
    v.boneId = in.s8();
    v.referenceCount = in.u8();
  }

  in.need(1, 2, "the triangle count");
  unsigned triangleCount = in.u16();
  in.need(triangleCount, TRIANGLE_SIZE, "the triangle records");
  file.triangles.resize(triangleCount);
  for (unsigned i = 0; i < triangleCount; ++i) {
    Triangle& t = file.triangles[i];
    t.flags = in.u16();
    for (int k = 0; k < 3; ++k) {
      t.vertex[k] = in.u16();
      if (t.vertex[k] >= vertexCount) {
        throw in.fileText() + ": triangle " + std::to_string(i) + " uses vertex " +
              std::to_string(t.vertex[k]) + ", but there are only " +
              std::to_string(vertexCount) + " vertices.";
      }
    }
    for (auto& n : t.normal) {
      for (float& c : n) c = in.f32();
    }
    for (float& s : t.s) s = in.f32();
    for (float& c : t.t) c = in.f32();
    t.smoothingGroup = in.u8();
    t.groupIndex = in.u8();
  }

  in.need(1, 2, "the group count");
  unsigned groupCount = in.u16();
  file.groups.resize(groupCount);
  for (unsigned i = 0; i < groupCount; ++i) {
    Group& g = file.groups[i];
    std::string what = "group " + std::to_string(i);
    in.need(1, GROUP_HEAD_SIZE, what.c_str());
    g.flags = in.u8();
    // Group names are not used; an unterminated one is taken whole.
    g.name = in.text(NAME_SIZE, false, what + "'s name");
    unsigned n = in.u16();
    std::string body = what + "'s triangle indices and material";
    in.need(1, 2 * static_cast<std::size_t>(n) + 1, body.c_str());
    g.triangles.resize(n);
    for (uint16_t& t : g.triangles) {
      t = in.u16();
      if (t >= triangleCount) {
        throw in.fileText() + ": " + what + " uses triangle " + std::to_string(t) +
              ", but there are only " + std::to_string(triangleCount) + " triangles.";
      }
    }
    g.material = in.s8();
  }

  if (!readMaterials) return file;

  in.need(1, 2, "the material count");
  unsigned materialCount = in.u16();
  in.need(materialCount, MATERIAL_SIZE, "the material records");
  file.materials.resize(materialCount);
  for (unsigned i = 0; i < materialCount; ++i) {
    Material& m = file.materials[i];
    std::string what = "material " + std::to_string(i);
    m.name = in.text(NAME_SIZE, true, "the name of " + what);
    for (float& c : m.ambient) c = in.f32();
    for (float& c : m.diffuse) c = in.f32();
    for (float& c : m.specular) c = in.f32();
    for (float& c : m.emissive) c = in.f32();
    m.shininess = in.f32();
    m.transparency = in.f32();
    m.mode = in.u8();
    m.texture = in.text(TEXTURE_SIZE, true, "the texture path of " + what);
    // The alpha map is not used; an unterminated one is taken whole.
    m.alphaMap = in.text(TEXTURE_SIZE, false, "the alpha map of " + what);
  }
  return file;
}

std::string textureBaseName(const std::string& path) {
  std::string::size_type slash = path.rfind('\\');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace milkshape

namespace {

// Closes a file once, whichever way the reading ends.
struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

void MilkshapeModel::load(const char* fileName, MaterialBank* materials, ImageBank* images,
                          std::string texturePath) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(fileName, "rb"));
  if (!file) {
    debug::debug(dbgDdd, "Could not open milkshape file \"%s\".", fileName);
    throw std::string("Could not open file \"") + fileName + "\".";
  }
  // Only a regular file has a length to trust; a directory or a device
  // opens all the same but reads as nonsense.
  struct stat info;
  if (fstat(fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode)) {
    throw std::string("Could not read file \"") + fileName + "\".";
  }
  std::vector<unsigned char> buffer(static_cast<std::size_t>(info.st_size));
  if (!buffer.empty() && std::fread(buffer.data(), 1, buffer.size(), file.get()) != buffer.size()) {
    throw std::string("Could not read file \"") + fileName + "\".";
  }
  file.reset();
  loadFromMemory(buffer.data(), buffer.size(), fileName, materials, images, texturePath);
}

void MilkshapeModel::loadFromMemory(const unsigned char* data, std::size_t size,
                                    const std::string& source, MaterialBank* materials,
                                    ImageBank* images, const std::string& texturePath) {
  // The whole file is checked before the model or a bank is touched, so a
  // bad file leaves both as they were.
  milkshape::File file = milkshape::parse(data, size, materials != nullptr, source);
  apply(file, materials, images, texturePath);
}

void MilkshapeModel::apply(const milkshape::File& file, MaterialBank* materials,
                           ImageBank* images, const std::string& texturePath) {
  const unsigned vertexCount = static_cast<unsigned>(file.vertices.size());
  initVertices(vertexCount);
  for (unsigned i = 0; i < vertexCount; ++i) {
    const float* p = file.vertices[i].position;
    vertices[i] = Vector3D(p[0], p[1], p[2]);
  }

  const unsigned faceTotal = static_cast<unsigned>(file.triangles.size());
  initFaces(faceTotal);
  for (unsigned i = 0; i < faceTotal; ++i) {
    const milkshape::Triangle& t = file.triangles[i];
    Face* f = faces[i];
    for (int k = 0; k < 3; ++k) {
      f->vertex[k] = t.vertex[k];
      f->normal[k] = Vector3D(t.normal[k][0], t.normal[k][1], t.normal[k][2]);
      f->texCoord[k] = Vector2D(t.s[k], t.t[k]);
      if (t.normal[k][0] == 0.0f && t.normal[k][1] == 0.0f && t.normal[k][2] == 0.0f) {
        debug::warning(dbgDdd,
                       "Milkshape: Vertex normal %d of face %u (of %u) of model %s is 0/0/0 "
                       "(corresponding vertex: #%d of %u) [Smoothing Group: %u; Group Index: "
                       "%u]!",
                       k, i, faceTotal, name.c_str(), t.vertex[k], vertexCount,
                       static_cast<unsigned>(t.smoothingGroup),
                       static_cast<unsigned>(t.groupIndex));
      }
    }
  }

  const unsigned groupCount = static_cast<unsigned>(file.groups.size());
  initMeshes(groupCount);
  for (unsigned i = 0; i < groupCount; ++i) {
    const milkshape::Group& g = file.groups[i];
    Mesh* mesh = meshes[i];
    mesh->init(static_cast<unsigned>(g.triangles.size()), &defMaterial);
    for (std::size_t j = 0; j < g.triangles.size(); ++j) mesh->faces[j] = g.triangles[j];
  }

  if (!materials) return;

  for (std::size_t m = 0; m < file.materials.size(); ++m) {
    const milkshape::Material& record = file.materials[m];

    const Image* texture = nullptr;
    if (images && !record.texture.empty()) {
      std::string imageName = milkshape::textureBaseName(record.texture);
      if (imageName.empty()) {
        // A path that ends in a backslash names no file.
        debug::warning(dbgDdd, "Milkshape: texture path \"%s\" of model %s names no file.",
                       record.texture.c_str(), name.c_str());
      } else {
        debug::debug(dbgDdd, "Loading milkshape texture: \"%s\".", imageName.c_str());
        auto found = images->find(imageName);
        Image* image = found != images->end() ? found->second : nullptr;
        if (image) {
          image->release();
          image->fileName = texturePath + imageName;
        } else {
          image = new Image(imageName, texturePath + imageName, Vector2D(0.0f, 0.0f));
          image->filter = IMAGEFILTER_TRILINEAR;
          *images += image;
        }
        texture = image;
      }
    }

    auto found = materials->find(record.name);
    ddd::Material* material = found != materials->end() ? found->second : nullptr;
    if (!material) {
      material = new ddd::Material();
      material->name = record.name;
      *materials += material;
    }
    material->texture = texture;
    material->ambient = Color(record.ambient[0], record.ambient[1], record.ambient[2],
                              record.ambient[3]);
    material->diffuse = Color(record.diffuse[0], record.diffuse[1], record.diffuse[2],
                              record.diffuse[3]);
    material->specular = Color(record.specular[0], record.specular[1], record.specular[2],
                               record.specular[3]);
    material->emissive = Color(record.emissive[0], record.emissive[1], record.emissive[2],
                               record.emissive[3]);
    material->shininess = record.shininess;

    for (unsigned i = 0; i < groupCount; ++i) {
      if (file.groups[i].material == static_cast<int>(m)) {
        meshes[i]->material = material;
        debug::debug(dbgDdd, "modelname: \"%s\": adding material: \"%s\"to mesh.", name.c_str(),
                     material->name.c_str());
      }
    }
  }
}

}  // namespace ddd
}  // namespace korvu
