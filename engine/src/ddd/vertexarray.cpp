#include "ddd/vertexarray.h"

#include <GL/glext.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "ddd/mesh.h"
#include "ddd/model.h"
#include "ddd/settings.h"
#include "debug.h"

namespace korvu {
namespace ddd {

bool VertexData::operator<(const VertexData& o) const {
  const float a[8] = {position.x, position.y, position.z, normal.x, normal.y, normal.z, texCoord.x, texCoord.y};
  const float b[8] = {o.position.x, o.position.y, o.position.z, o.normal.x, o.normal.y, o.normal.z,
                      o.texCoord.x, o.texCoord.y};
  for (int i = 0; i < 8; ++i) {
    if (a[i] < b[i]) return true;
    if (b[i] < a[i]) return false;
  }
  return false;
}

bool VertexData::operator==(const VertexData& o) const {
  return position.x == o.position.x && position.y == o.position.y && position.z == o.position.z &&
         normal.x == o.normal.x && normal.y == o.normal.y && normal.z == o.normal.z && texCoord.x == o.texCoord.x &&
         texCoord.y == o.texCoord.y;
}

size_t VertexDataHash::operator()(const VertexData& v) const {
  const float values[8] = {v.position.x, v.position.y, v.position.z, v.normal.x,
                           v.normal.y,   v.normal.z,   v.texCoord.x, v.texCoord.y};
  uint64_t h = 14695981039346656037ull;
  for (float value : values) {
    uint32_t bits = 0;
    if (value != 0.0f) std::memcpy(&bits, &value, sizeof bits);  // 0 and -0 compare equal
    h = (h ^ bits) * 1099511628211ull;
    h ^= h >> 29;
  }
  return static_cast<size_t>(h);
}

void sphereAround(const std::vector<Vector3D>& points, Vector3D& centre, float& radius) {
  radius = -1.0f;
  if (points.empty()) return;
  Vector3D low = points.front(), high = low;
  for (const Vector3D& p : points) {
    low = Vector3D(std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z));
    high = Vector3D(std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z));
  }
  centre = Vector3D((low.x + high.x) * 0.5f, (low.y + high.y) * 0.5f, (low.z + high.z) * 0.5f);
  float farthest = 0.0f;
  for (const Vector3D& p : points) {
    const Vector3D d(p.x - centre.x, p.y - centre.y, p.z - centre.z);
    farthest = std::max(farthest, d.x * d.x + d.y * d.y + d.z * d.z);
  }
  radius = std::sqrt(farthest);
}

VertexArray::VertexArray(VertexArrayType type_)
    : type(type_),
      data(nullptr),
      vertexCount(0),
      indices(nullptr),
      indexCount(0),
      bufferId(0),
      centre(0, 0, 0),
      radius(-1.0f) {}

VertexArray::~VertexArray() {
  release();
  corners.clear();
  indexList.clear();
}

unsigned VertexArray::getElementCount() const { return type == VERTEXARRAY_T2F_N3F_V3F ? 8 : 6; }

unsigned VertexArray::getElementSize() const { return 4 * getElementCount(); }

void VertexArray::operator+=(const Mesh& mesh) {
  const Model* owner = mesh.owner;
  if (!owner) return;
  uint32_t next = static_cast<uint32_t>(corners.size());
  corners.reserve(corners.size() + 3 * static_cast<size_t>(mesh.faceCount));
  indexList.reserve(indexList.size() + 3 * static_cast<size_t>(mesh.faceCount));
  for (uint32_t i = 0; i < mesh.faceCount; ++i) {
    const Face* f = owner->faces[mesh.faces[i]];
    for (int c = 0; c < 3; ++c) {
      VertexData key;
      key.position = owner->vertices[f->vertex[c]];
      key.normal = f->normal[c];
      key.texCoord = type == VERTEXARRAY_T2F_N3F_V3F ? f->texCoord[c] : Vector2D(0, 0);
      auto found = corners.find(key);
      if (found == corners.end()) found = corners.emplace(key, next++).first;
      indexList.push_back(found->second);
    }
  }
  debug::debug(dbgDdd, "Packed %d vertices of a mesh of model \"%s\" into an array of size %d.",
               static_cast<int>(3 * mesh.faceCount), owner->name.c_str(), static_cast<int>(corners.size()));
}

void VertexArray::pack() {
  release();
  vertexCount = static_cast<uint32_t>(corners.size());
  const unsigned stride = getElementCount();
  data = new float[static_cast<size_t>(vertexCount) * stride + 1];
  for (const auto& corner : corners) {
    float* e = data + static_cast<size_t>(corner.second) * stride;
    const VertexData& v = corner.first;
    if (type == VERTEXARRAY_T2F_N3F_V3F) {
      *e++ = v.texCoord.x;
      *e++ = v.texCoord.y;
    }
    *e++ = v.normal.x;
    *e++ = v.normal.y;
    *e++ = v.normal.z;
    *e++ = v.position.x;
    *e++ = v.position.y;
    *e++ = v.position.z;
  }
  indexCount = static_cast<uint32_t>(indexList.size());
  indices = new uint32_t[static_cast<size_t>(indexCount) + 1];
  uint32_t* out = indices;
  for (uint32_t index : indexList) *out++ = index;
  indexList.clear();
  std::vector<Vector3D> positions;
  positions.reserve(corners.size());
  for (const auto& corner : corners) positions.push_back(corner.first.position);
  sphereAround(positions, centre, radius);
  corners.clear();

  if (!ext_GL_ARB_vertex_buffer_object) return;
  glptrGenBuffersARB(1, &bufferId);
  if (!bufferId) {
    debug::warning(dbgDdd, "Failed to create VBO for vertexArray %p.", static_cast<void*>(this));
    return;
  }
  glptrBindBufferARB(GL_ARRAY_BUFFER_ARB, bufferId);
  glptrBufferDataARB(GL_ARRAY_BUFFER_ARB, static_cast<GLsizeiptrARB>(getElementSize()) * vertexCount, data,
                     GL_STATIC_DRAW_ARB);
  glptrBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
  delete[] data;
  data = nullptr;
  vertexCount = 0;
  debug::debug(dbgDdd, "Created VBO for vertexArray %p.", static_cast<void*>(this));
}

void VertexArray::release() {
  if (bufferId) {
    if (glptrDeleteBuffersARB) glptrDeleteBuffersARB(1, &bufferId);
    bufferId = 0;
  }
  delete[] data;
  data = nullptr;
  vertexCount = 0;
  delete[] indices;
  indices = nullptr;
  indexCount = 0;
  radius = -1.0f;
}

void VertexArray::draw() {
  if (!indexCount) return;
  glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
  if (bufferId) glptrBindBufferARB(GL_ARRAY_BUFFER_ARB, bufferId);
  glInterleavedArrays(type == VERTEXARRAY_T2F_N3F_V3F ? GL_T2F_N3F_V3F : GL_N3F_V3F, 0, data);
  glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(indexCount), GL_UNSIGNED_INT, indices);
  if (bufferId) glptrBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
  glPopClientAttrib();
}

}  // namespace ddd
}  // namespace korvu
