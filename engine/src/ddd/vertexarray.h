// The packed form of a mesh: its corners de-duplicated into one interleaved,
// indexed array, held in a buffer object when the driver offers them.
#pragma once

#include <GL/gl.h>

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "mathtypes.h"

namespace korvu {
namespace ddd {

class Mesh;

// One corner as the de-duplication key: position, normal, texture
// coordinate. Ordered lexicographically over the eight floats, exact
// comparison without tolerance.
struct VertexData {
  Vector3D position;
  Vector3D normal;
  Vector2D texCoord;

  bool operator<(const VertexData& other) const;
  // Equal exactly when neither orders before the other.
  bool operator==(const VertexData& other) const;
};

// A sphere around the points: the centre of their axis-aligned box and the
// distance to the farthest; radius -1 when there are none.
void sphereAround(const std::vector<Vector3D>& points, Vector3D& centre, float& radius);

// Hash consistent with that equality (0 and -0 hash alike).
struct VertexDataHash {
  size_t operator()(const VertexData& v) const;
};

enum VertexArrayType {
  VERTEXARRAY_N3F_V3F = 0,      // nx ny nz x y z
  VERTEXARRAY_T2F_N3F_V3F = 1,  // s t nx ny nz x y z
};

class VertexArray {
 public:
  VertexArrayType type;
  // While collecting: each distinct corner and its element index.
  std::unordered_map<VertexData, uint32_t, VertexDataHash> corners;
  // While collecting: the element index of every corner added, in order.
  std::vector<uint32_t> indexList;
  // Interleaved elements in client memory; null once in a buffer object.
  float* data;
  uint32_t vertexCount;
  // One element index per corner, three per face; stays in client memory.
  uint32_t* indices;
  uint32_t indexCount;
  // Buffer object holding the elements, 0 for none.
  GLuint bufferId;
  // A sphere around the packed positions; radius below 0 before pack.
  Vector3D centre;
  float radius;

  explicit VertexArray(VertexArrayType type);
  ~VertexArray();
  VertexArray(const VertexArray&) = delete;
  VertexArray& operator=(const VertexArray&) = delete;

  // Floats per element: 6 or 8.
  unsigned getElementCount() const;
  // Bytes per element: 24 or 32.
  unsigned getElementSize() const;

  // Collects every corner of the mesh.
  void operator+=(const Mesh& mesh);
  // Turns the collected corners into the element and index arrays and
  // uploads the elements when buffer objects are available.
  void pack();
  // Frees the buffer object and both arrays.
  void release();
  // Draws every indexed triangle.
  void draw();
};

}  // namespace ddd
}  // namespace korvu
