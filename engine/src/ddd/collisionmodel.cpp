#include "ddd/collisionmodel.h"

#include <cstring>
#include <unordered_map>

namespace korvu {
namespace ddd {

// ---------------------------------------------------------------------------
// CollisionFace

CollisionFace::CollisionFace() : Face(), edges{-1, -1, -1} {}

CollisionFace::CollisionFace(const Face& f) : Face(f), edges{-1, -1, -1} {}

CollisionFace::CollisionFace(const Face& f, int e0, int e1, int e2) : Face(f), edges{e0, e1, e2} {}

// ---------------------------------------------------------------------------
// CollisionMesh

CollisionMesh::CollisionMesh() : Mesh(), vertexCount(0), edgeCount(0) {}

CollisionMesh::CollisionMesh(const Mesh& m) : Mesh(m), vertexCount(0), edgeCount(0) {}

CollisionMesh::~CollisionMesh() { releaseGroups(); }

void CollisionMesh::releaseGroups() {
  for (Mesh* m : flatMeshes) delete m;
  flatMeshes.clear();
  for (std::vector<int>* g : edgeGroups) delete g;
  edgeGroups.clear();
}

void CollisionMesh::prepare() {
  vertices.clear();
  edges.clear();
  vertexCount = 0;
  edgeCount = 0;
  releaseGroups();
}

// ---------------------------------------------------------------------------
// flatGroup

std::vector<std::vector<int>*>* flatGroup(const std::vector<Vector3D>& vectors) {
  // Both bounds are taken in single precision, the dot product in double.
  const double parallel = 1.0f - 0.005f;
  const double opposite = -1.0f + 0.005f;
  auto* groups = new std::vector<std::vector<int>*>();
  for (std::size_t i = 0; i < vectors.size(); ++i) {
    const Vector3D& v = vectors[i];
    bool placed = false;
    for (std::vector<int>* g : *groups) {
      const Vector3D& w = vectors[static_cast<std::size_t>((*g)[0])];
      double d = static_cast<double>(v.x) * w.x + static_cast<double>(v.y) * w.y +
                 static_cast<double>(v.z) * w.z;
      if (d > parallel || d < opposite) {
        g->push_back(static_cast<int>(i));
        placed = true;
        break;
      }
    }
    if (!placed) groups->push_back(new std::vector<int>(1, static_cast<int>(i)));
  }
  return groups;
}

// ---------------------------------------------------------------------------
// CollisionModel

CollisionModel::CollisionModel() : Model(), edgeCount(0), prepared(false) {}

CollisionModel::CollisionModel(const Model& model, bool /*flag*/)
    : Model(model), edgeCount(0), prepared(false) {
  // The base copy made plain faces and meshes; replace them by collision
  // copies (the virtual slots are this class's only now).
  initFaces(model);
  initMeshes(model);
}

CollisionModel::~CollisionModel() { releaseCollisionData(); }

void CollisionModel::releaseCollisionData() {
  for (Edge* e : edges) delete e;
  edges.clear();
  edgeNormals.clear();
  edgeCount = 0;
  faceNormals.clear();
  for (Mesh* m : flatMeshes) delete m;
  flatMeshes.clear();
  for (std::vector<int>* g : edgeGroups) delete g;
  edgeGroups.clear();
}

void CollisionModel::initFaces(unsigned count) {
  prepared = false;
  replaceFaces(count, [](unsigned) -> Face* { return new CollisionFace(); });
}

void CollisionModel::initFaces(const Model& other) {
  prepared = false;
  replaceFaces(other.faceCount, [&](unsigned i) -> Face* { return new CollisionFace(*other.faces[i]); });
}

void CollisionModel::initMeshes(unsigned count) {
  prepared = false;
  replaceMeshes(count, [](unsigned) -> Mesh* { return new CollisionMesh(); });
}

void CollisionModel::initMeshes(const Model& other) {
  prepared = false;
  replaceMeshes(other.meshCount, [&](unsigned i) -> Mesh* { return new CollisionMesh(*other.meshes[i]); });
}

bool CollisionModel::isReady() const {
  return prepared && faceCount == faces.size() && faceNormals.size() == faces.size() &&
         edgeCount == edges.size() && edgeNormals.size() == edges.size() &&
         vertexCount <= vertices.size();
}

namespace {

// Exact position equality as a hash key: -0 and +0 compare equal, so both
// map to +0; positions holding a NaN never equal anything and are never
// entered.
struct PositionKey {
  uint32_t bits[3];
  bool operator==(const PositionKey& o) const {
    return bits[0] == o.bits[0] && bits[1] == o.bits[1] && bits[2] == o.bits[2];
  }
};

struct PositionKeyHash {
  std::size_t operator()(const PositionKey& k) const {
    std::size_t h = k.bits[0];
    h = h * 0x9E3779B97F4A7C15ull + k.bits[1];
    h = h * 0x9E3779B97F4A7C15ull + k.bits[2];
    return h ^ (h >> 29);
  }
};

bool makeKey(const Vector3D& p, PositionKey& key) {
  const float c[3] = {p.x, p.y, p.z};
  for (int i = 0; i < 3; ++i) {
    if (c[i] != c[i]) return false;
    float v = c[i] == 0.0f ? 0.0f : c[i];
    std::memcpy(&key.bits[i], &v, sizeof(float));
  }
  return true;
}

}  // namespace

// Every vertex takes the index of the first vertex with exactly its
// position; the list is compacted in order, the kept vertices keep their
// own normals, and the face corners follow. (The same result as removing
// each later duplicate in turn, without rewriting the faces per removal.)
void CollisionModel::weld() {
  const uint32_t n = vertexCount < vertices.size() ? vertexCount
                                                    : static_cast<uint32_t>(vertices.size());
  std::vector<int> remap(n);
  std::vector<Vector3D> keptVertices;
  std::vector<Vector3D> keptNormals;
  keptVertices.reserve(n);
  keptNormals.reserve(n);
  std::unordered_map<PositionKey, int, PositionKeyHash> first;
  first.reserve(n);
  for (uint32_t i = 0; i < n; ++i) {
    PositionKey key;
    if (makeKey(vertices[i], key)) {
      auto found = first.find(key);
      if (found != first.end()) {
        remap[i] = found->second;
        continue;
      }
      first.emplace(key, static_cast<int>(keptVertices.size()));
    }
    remap[i] = static_cast<int>(keptVertices.size());
    keptVertices.push_back(vertices[i]);
    keptNormals.push_back(i < normals.size() ? normals[i] : Vector3D());
  }
  if (keptVertices.size() == n) return;
  for (Face* f : faces) {
    for (int& v : f->vertex) {
      if (v >= 0 && static_cast<uint32_t>(v) < n) v = remap[static_cast<std::size_t>(v)];
    }
  }
  vertices = std::move(keptVertices);
  normals = std::move(keptNormals);
  vertexCount = static_cast<uint32_t>(vertices.size());
}

void CollisionModel::prepare() {
  prepared = false;
  faceCount = static_cast<uint32_t>(faces.size());
  meshCount = static_cast<uint32_t>(meshes.size());
  // Faces or meshes appended by plain model operations are turned into
  // collision ones first, so that every face and mesh carries the fields
  // the queries read.
  for (Face*& f : faces) {
    if (!dynamic_cast<CollisionFace*>(f)) {
      Face* plain = f;
      f = new CollisionFace(*plain);
      delete plain;
    }
  }
  for (Mesh*& m : meshes) {
    if (!dynamic_cast<CollisionMesh*>(m)) {
      Mesh* plain = m;
      m = new CollisionMesh(*plain);
      m->owner = this;
      delete plain;
    }
  }

  // 1. Render data, from the unwelded vertices.
  Model::prepare();

  // 2. Reset.
  releaseCollisionData();
  faceNormals.assign(faces.size(), Vector3D());
  for (Mesh* m : meshes) static_cast<CollisionMesh*>(m)->prepare();

  // 3. Weld.
  weld();

  auto position = [this](int v) -> const Vector3D& { return vertices[static_cast<std::size_t>(v)]; };
  auto validVertex = [this](int v) { return v >= 0 && static_cast<uint32_t>(v) < vertexCount; };

  // 4. Face normals, oriented to agree with the first corner's normal.
  for (std::size_t f = 0; f < faces.size(); ++f) {
    const Face& face = *faces[f];
    if (!validVertex(face.vertex[0]) || !validVertex(face.vertex[1]) ||
        !validVertex(face.vertex[2])) {
      continue;
    }
    const Vector3D& p0 = position(face.vertex[0]);
    Vector3D n = crossProduct(position(face.vertex[1]) - p0, position(face.vertex[2]) - p0);
    if (dotProduct(n, face.normal[0]) < 0.0f) n = -n;
    n.normalize();
    faceNormals[f] = n;
  }

  // 5. Edges: one per distinct pair of end points, in the corner order of
  // the first face that has it.
  std::unordered_map<uint64_t, int> edgeOf;
  edgeOf.reserve(faces.size() * 2);
  for (std::size_t f = 0; f < faces.size(); ++f) {
    CollisionFace& face = *static_cast<CollisionFace*>(faces[f]);
    for (int k = 0; k < 3; ++k) {
      int a = face.vertex[k];
      int b = face.vertex[(k + 1) % 3];
      uint32_t lo = static_cast<uint32_t>(a < b ? a : b);
      uint32_t hi = static_cast<uint32_t>(a < b ? b : a);
      uint64_t key = (static_cast<uint64_t>(lo) << 32) | hi;
      auto found = edgeOf.find(key);
      if (found != edgeOf.end()) {
        edges[static_cast<std::size_t>(found->second)]->face2 = static_cast<int>(f);
        face.edges[k] = found->second;
      } else {
        int index = static_cast<int>(edges.size());
        edges.push_back(new Edge(a, b, static_cast<int>(f), -1));
        edgeOf.emplace(key, index);
        face.edges[k] = index;
      }
    }
  }
  edgeCount = static_cast<uint32_t>(edges.size());

  // 6. Outward in-plane normals of each face's sides.
  for (std::size_t f = 0; f < faces.size(); ++f) {
    CollisionFace& face = *static_cast<CollisionFace*>(faces[f]);
    bool valid = validVertex(face.vertex[0]) && validVertex(face.vertex[1]) &&
                 validVertex(face.vertex[2]);
    for (int k = 0; k < 3; ++k) {
      face.edgeNormals[k] = Vector3D();
      if (!valid) continue;
      const Edge& e = *edges[static_cast<std::size_t>(face.edges[k])];
      const Vector3D& p0 = position(e.vertex0);
      const Vector3D& p1 = position(e.vertex1);
      Vector3D m = crossProduct(faceNormals[f], p0 - p1);
      for (int c = 0; c < 3; ++c) {
        const Vector3D& pc = position(face.vertex[c]);
        if (pc != p0 && pc != p1) {
          if (dotProduct(pc - p0, m) > 0.0f) m = -m;
          break;
        }
      }
      m.normalize();
      face.edgeNormals[k] = m;
    }
  }

  // 7. Edge normals.
  edgeNormals.resize(edges.size());
  for (std::size_t i = 0; i < edges.size(); ++i) {
    const Edge& e = *edges[i];
    if (e.face2 < 0) {
      edgeNormals[i] = faceNormals[static_cast<std::size_t>(e.face1)];
    } else {
      Vector3D n = faceNormals[static_cast<std::size_t>(e.face1)] +
                   faceNormals[static_cast<std::size_t>(e.face2)];
      n.normalize();
      edgeNormals[i] = n;
    }
  }

  // 8. Per-mesh vertex and edge lists, each entry once, as first met.
  std::vector<char> vertexSeen(vertexCount, 0);
  std::vector<char> edgeSeen(edges.size(), 0);
  for (Mesh* m : meshes) {
    CollisionMesh& mesh = *static_cast<CollisionMesh*>(m);
    for (uint32_t j = 0; j < mesh.faceCount && j < mesh.faces.size(); ++j) {
      if (mesh.faces[j] >= faces.size()) continue;
      const CollisionFace& face = *static_cast<CollisionFace*>(faces[mesh.faces[j]]);
      for (int v : face.vertex) {
        if (validVertex(v) && !vertexSeen[static_cast<std::size_t>(v)]) {
          vertexSeen[static_cast<std::size_t>(v)] = 1;
          mesh.vertices.push_back(v);
        }
      }
      for (int e : face.edges) {
        if (!edgeSeen[static_cast<std::size_t>(e)]) {
          edgeSeen[static_cast<std::size_t>(e)] = 1;
          mesh.edges.push_back(e);
        }
      }
    }
    mesh.vertexCount = static_cast<uint32_t>(mesh.vertices.size());
    mesh.edgeCount = static_cast<uint32_t>(mesh.edges.size());
    for (int v : mesh.vertices) vertexSeen[static_cast<std::size_t>(v)] = 0;
    for (int e : mesh.edges) edgeSeen[static_cast<std::size_t>(e)] = 0;
  }

  auto edgeDirection = [&](int e) {
    const Edge& edge = *edges[static_cast<std::size_t>(e)];
    if (!validVertex(edge.vertex0) || !validVertex(edge.vertex1)) return Vector3D();
    Vector3D d = position(edge.vertex1) - position(edge.vertex0);
    d.normalize();
    return d;
  };
  // A plain mesh holding the given model face indices.
  auto makeFlatMesh = [](const std::vector<int>& group, const std::vector<uint32_t>* faceList) {
    Mesh* flat = new Mesh();
    flat->init(static_cast<unsigned>(group.size()), nullptr);
    for (std::size_t k = 0; k < group.size(); ++k) {
      std::size_t member = static_cast<std::size_t>(group[k]);
      flat->faces[k] = faceList ? (*faceList)[member] : static_cast<uint32_t>(member);
    }
    return flat;
  };
  auto deleteGroups = [](std::vector<std::vector<int>*>* groups) {
    for (std::vector<int>* g : *groups) delete g;
    delete groups;
  };

  // 9. Flat meshes of each mesh.
  for (Mesh* m : meshes) {
    CollisionMesh& mesh = *static_cast<CollisionMesh*>(m);
    std::vector<uint32_t> faceList;
    std::vector<Vector3D> normalsOfMesh;
    for (uint32_t j = 0; j < mesh.faceCount && j < mesh.faces.size(); ++j) {
      if (mesh.faces[j] >= faces.size()) continue;
      faceList.push_back(mesh.faces[j]);
      normalsOfMesh.push_back(faceNormals[mesh.faces[j]]);
    }
    std::vector<std::vector<int>*>* groups = flatGroup(normalsOfMesh);
    for (std::vector<int>* g : *groups) mesh.flatMeshes.push_back(makeFlatMesh(*g, &faceList));
    deleteGroups(groups);
  }

  // 10. Flat meshes of the model.
  {
    std::vector<std::vector<int>*>* groups = flatGroup(faceNormals);
    for (std::vector<int>* g : *groups) flatMeshes.push_back(makeFlatMesh(*g, nullptr));
    deleteGroups(groups);
  }

  // 11. Edge groups of each mesh (members are positions in its edge list).
  for (Mesh* m : meshes) {
    CollisionMesh& mesh = *static_cast<CollisionMesh*>(m);
    if (mesh.edges.empty()) continue;
    std::vector<Vector3D> directions;
    directions.reserve(mesh.edges.size());
    for (int e : mesh.edges) directions.push_back(edgeDirection(e));
    std::vector<std::vector<int>*>* groups = flatGroup(directions);
    mesh.edgeGroups = *groups;
    delete groups;
  }

  // 12. Edge groups of the model.
  if (!edges.empty()) {
    std::vector<Vector3D> directions;
    directions.reserve(edges.size());
    for (std::size_t e = 0; e < edges.size(); ++e) directions.push_back(edgeDirection(static_cast<int>(e)));
    std::vector<std::vector<int>*>* groups = flatGroup(directions);
    edgeGroups = *groups;
    delete groups;
  }

  prepared = true;
}

}  // namespace ddd
}  // namespace korvu
