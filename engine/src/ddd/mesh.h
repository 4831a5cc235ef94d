// A run of a model's faces that share one material: the unit the render
// pipeline draws. A mesh draws itself in immediate mode (optionally recorded
// into a display list) or from a packed vertex array.
#pragma once

#include <cstdint>
#include <vector>

#include "ddd/displaylist.h"
#include "mathtypes.h"

namespace korvu {
namespace ddd {

class Model;
class Material;
class VertexArray;

// Its ListState records an immediate-mode draw.
class Mesh : public ListState {
 public:
  // The model whose vertices and faces this mesh indexes; not owned.
  Model* owner;
  // Number of faces, equal to faces.size().
  uint32_t faceCount;
  // Indices into the owner's face list, in drawing order.
  std::vector<uint32_t> faces;
  // Not owned; must be set before the mesh is drawn or packed.
  Material* material;
  // Packed form, owned; null while the mesh draws in immediate mode.
  VertexArray* vertexArray;
  // A sphere in the owner's space around the corners the display list
  // holds, taken when it is recorded; radius below 0 for none.
  Vector3D listCentre;
  float listRadius;

  Mesh();
  // The copy has no owner, no display list and no vertex array; it takes
  // the face indices, the material and the two compile flags.
  Mesh(const Mesh& other);
  Mesh& operator=(const Mesh& other);
  virtual ~Mesh();

  // Sizes the face index array (values left to the caller) and sets the
  // material.
  void init(unsigned faceCount, Material* material);

  // From the vertex array when packed, else immediately.
  void draw();
  // Immediate mode with display-list recording and replay.
  void drawImmediate();
  // Records the display list now without drawing (immediate meshes).
  void compile();
  void uncompile();
  // Builds the vertex array (not for models of buffer type none).
  void pack();
  // Drops the vertex array and marks any display list for re-recording.
  void unpack();

  // Whether corners carry texture coordinates: the material has a texture.
  bool textured() const;
  // The sphere around what draw sends now (its vertex array, or its
  // recorded list); false when it would send the live geometry, whose
  // extent is not kept.
  bool drawnBounds(Vector3D& centre, float& radius) const;
};

}  // namespace ddd
}  // namespace korvu
