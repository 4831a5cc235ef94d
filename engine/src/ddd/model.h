// The engine's triangle model: vertex positions with vertex normals, faces
// and meshes (runs of faces with one material). Models are drawn whole from
// one display list, mesh by mesh in immediate mode or from display lists, or
// from per-mesh vertex arrays.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "bank.h"
#include "ddd/displaylist.h"
#include "ddd/face.h"
#include "ddd/mesh.h"
#include "mathtypes.h"

namespace korvu {
namespace ddd {

class Material;

enum ModelBufferType {
  BUFFER_NONE = 0,
  BUFFER_SOFTWARE = 1,
  BUFFER_HARDWARE = 2,
};

// Its ListState is the whole-model list of a model drawn as one.
class Model : public ListState {
 public:
  // Key in the model bank; empty unless the creator sets it.
  std::string name;
  // The bank holding the model, null when none.
  MappedBank<Model>* bank;
  uint32_t vertexCount;
  std::vector<Vector3D> vertices;
  // One vertex normal per vertex, set by prepare.
  std::vector<Vector3D> normals;
  uint32_t faceCount;
  // Sum of the meshes' face counts, set by prepare.
  uint32_t meshFaceTotal;
  // Owned.
  std::vector<Face*> faces;
  uint32_t meshCount;
  // Owned.
  std::vector<Mesh*> meshes;
  // Some mesh's material is transparent; set by prepare.
  bool transparent;
  // Drawn and compiled as one whole-model display list.
  bool drawAsOne;
  ModelBufferType bufferType;

  Model();
  // An empty model that then takes other's geometry (operator=); the name
  // is not copied.
  Model(const Model& other);
  // Copies geometry and flags through the virtual init operations; the
  // copy has no bank, no display list and no vertex arrays.
  Model& operator=(const Model& other);
  virtual ~Model();

  // Face normals, vertex normals, transparency and mesh-local adjacency.
  virtual void prepare();
  virtual void initVertices(unsigned count);
  virtual void initVertices(const Model& other);
  virtual void initFaces(unsigned count);
  virtual void initFaces(const Model& other);
  virtual void initMeshes(unsigned count);
  virtual void initMeshes(const Model& other);

  // Appends other's vertices, faces and meshes (indices shifted).
  void operator+=(const Model& other);
  // Applies the matrix to every position; normals get its rotation part.
  void transform(const Matrix3D& m);

  void pack();
  void unpack();
  void compile();
  void setRecompile(bool value);
  void uncompile();
  // Draws every mesh with its material (or replays the whole-model list).
  void draw();

 protected:
  void destroyFaces();
  void destroyMeshes();
  // Replace every face (mesh) by n that make gives for 0 to n - 1, so that
  // a derived model's init operations fill the lists with its own kinds;
  // the meshes get this model as owner.
  void replaceFaces(unsigned n, const std::function<Face*(unsigned)>& make);
  void replaceMeshes(unsigned n, const std::function<Mesh*(unsigned)>& make);
};

}  // namespace ddd
}  // namespace korvu
