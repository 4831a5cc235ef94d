// Collision models: triangle models prepared for the collision queries.
// prepare welds vertices that share a position, gives every face a unit
// normal and the outward in-plane normal of each side, makes every triangle
// side a shared edge record that knows the faces on either side, and groups
// faces with parallel normals and edges with parallel directions.
#pragma once

#include <cstdint>
#include <vector>

#include "ddd/face.h"
#include "ddd/mesh.h"
#include "ddd/model.h"
#include "mathtypes.h"

namespace korvu {
namespace ddd {

// One side shared by the faces of a collision model.
class Edge {
 public:
  // End points (model vertex indices).
  int32_t vertex0;
  int32_t vertex1;
  // The face that first produced the edge; its corners run from vertex0
  // to vertex1.
  int32_t face1;
  // The other face on the edge; -1 for a border edge.
  int32_t face2;

  Edge() : vertex0(-1), vertex1(-1), face1(-1), face2(-1) {}
  Edge(int v0, int v1, int f1, int f2) : vertex0(v0), vertex1(v1), face1(f1), face2(f2) {}
};

class CollisionFace : public Face {
 public:
  // Entry k: the model edge joining corners k and (k+1) mod 3; -1 until the
  // model is prepared.
  int32_t edges[3];
  // Entry k: unit normal of side k in the face's plane, pointing away from
  // the face; zero until prepared and for a degenerate face.
  Vector3D edgeNormals[3];

  CollisionFace();
  explicit CollisionFace(const Face& f);
  CollisionFace(const Face& f, int e0, int e1, int e2);
};

class CollisionMesh : public Mesh {
 public:
  uint32_t vertexCount;
  // Model vertex indices used by the mesh's faces, each once, as first met.
  std::vector<int> vertices;
  uint32_t edgeCount;
  // Model edge indices used by the mesh's faces, each once, as first met.
  std::vector<int> edges;
  // Owned: one plain mesh per group of the mesh's faces with parallel
  // normals (entries are model face indices).
  std::vector<Mesh*> flatMeshes;
  // Owned: groups of parallel edges; members are positions in `edges`.
  std::vector<std::vector<int>*> edgeGroups;

  CollisionMesh();
  explicit CollisionMesh(const Mesh& m);
  ~CollisionMesh() override;
  CollisionMesh(const CollisionMesh&) = delete;
  CollisionMesh& operator=(const CollisionMesh&) = delete;

  // Empties the derived lists and groups.
  void prepare();

 private:
  void releaseGroups();
};

class CollisionModel : public Model {
 public:
  uint32_t edgeCount;
  // Owned.
  std::vector<Edge*> edges;
  // One per edge: the normal of face1 for a border edge, otherwise the
  // normalized sum of the normals of face1 and face2.
  std::vector<Vector3D> edgeNormals;
  // One unit normal per face; zero for a degenerate face.
  std::vector<Vector3D> faceNormals;
  // Owned: one plain mesh per group of faces with parallel normals.
  std::vector<Mesh*> flatMeshes;
  // Owned: groups of parallel edges (model edge indices).
  std::vector<std::vector<int>*> edgeGroups;
  // prepare has run to its end since the faces were last replaced.
  bool prepared;

  CollisionModel();
  // A copy of model with collision faces and meshes; flag has no effect.
  // Not prepared: the owner runs prepare once the geometry is final.
  CollisionModel(const Model& model, bool flag);
  ~CollisionModel() override;
  // A plain member-wise copy would share the owned edges and groups.
  CollisionModel(const CollisionModel&) = delete;
  CollisionModel& operator=(const CollisionModel&) = delete;

  // Render data first (Model::prepare), then the collision data, rebuilt
  // from the geometry as it stands.
  void prepare() override;
  void initFaces(unsigned count) override;
  void initFaces(const Model& other) override;
  void initMeshes(unsigned count) override;
  void initMeshes(const Model& other) override;

  // Prepared, and the derived lists match the faces and edges: what the
  // queries need before they index into them.
  bool isReady() const;

 private:
  void releaseCollisionData();
  void weld();
};

// Groups vectors that are parallel or opposite to a group's first member
// (dot product beyond 1 - 0.005). Returns a new container of new groups of
// indices into vectors, each in increasing order; the caller owns both.
std::vector<std::vector<int>*>* flatGroup(const std::vector<Vector3D>& vectors);

}  // namespace ddd
}  // namespace korvu
