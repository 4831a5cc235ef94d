#include "ddd/model.h"

#include <algorithm>

#include "ddd/material.h"
#include "ddd/pipeline.h"
#include "ddd/displaylist.h"
#include "ddd/settings.h"
#include "ddd/vertexarray.h"
#include "debug.h"

namespace korvu {
namespace ddd {

namespace {

// One edge of a face of a mesh, for finding neighbours: the unordered pair of
// vertex indices as key, the face's position in the mesh and the edge number.
struct EdgeEntry {
  uint64_t key;
  uint32_t position;
  uint32_t edge;

  bool operator<(const EdgeEntry& o) const { return key != o.key ? key < o.key : position < o.position; }
};

// The same key for both directions of an edge.
uint64_t edgeKey(int32_t p, int32_t q) {
  const uint32_t lo = static_cast<uint32_t>(std::min(p, q));
  const uint32_t hi = static_cast<uint32_t>(std::max(p, q));
  return (static_cast<uint64_t>(lo) << 32) | hi;
}

// Every edge of the mesh's faces, sorted by key and then by position. A face
// whose edges repeat a vertex pair lists the pair once, with the first edge
// that has it: that is the edge a neighbour search would match.
void listEdges(const std::vector<Face*>& faces, const Mesh& mesh, std::vector<EdgeEntry>& edges) {
  edges.clear();
  if (mesh.faceCount < 2) return;
  edges.reserve(3 * static_cast<size_t>(mesh.faceCount));
  for (uint32_t j = 0; j < mesh.faceCount; ++j) {
    const Face* g = faces[mesh.faces[j]];
    uint64_t keys[3];
    for (uint32_t k = 0; k < 3; ++k) {
      keys[k] = edgeKey(g->vertex[k], g->vertex[(k + 1) % 3]);
      if ((k > 0 && keys[k] == keys[0]) || (k > 1 && keys[k] == keys[1])) continue;
      edges.push_back(EdgeEntry{keys[k], j, k});
    }
  }
  std::sort(edges.begin(), edges.end());
}

}  // namespace

Model::Model()
    : bank(nullptr),
      vertexCount(0),
      faceCount(0),
      meshFaceTotal(0),
      meshCount(0),
      transparent(false),
      drawAsOne(false),
      bufferType(BUFFER_NONE) {}

Model::Model(const Model& other) : Model() { *this = other; }

Model& Model::operator=(const Model& other) {
  if (this == &other) return *this;
  uncompile();
  // A whole-model list recorded while the model was drawn as one is not
  // dropped by uncompile once the flag is off; the copy has no list, so
  // release it here rather than lose it.
  deleteList(*this);
  initVertices(other);
  initFaces(other);
  meshFaceTotal = other.meshFaceTotal;
  initMeshes(other);
  bufferType = other.bufferType;
  transparent = other.transparent;
  drawAsOne = other.drawAsOne;
  recompile = other.recompile;
  compileOnly = other.compileOnly;
  bank = nullptr;
  displayList = 0;
  return *this;
}

Model::~Model() {
  if (bank) bank->operator-=(this);
  debug::debug(dbgDdd, "Releasing model \"%s\".", name.c_str());
  // The whole-model list belongs to the model; the meshes free their own.
  if (displayList) {
    glDeleteLists(displayList, 1);
    displayList = 0;
  }
  destroyMeshes();
  destroyFaces();
  vertexCount = 0;
}

void Model::destroyFaces() {
  for (Face* f : faces) delete f;
  faces.clear();
  faceCount = 0;
}

void Model::destroyMeshes() {
  for (Mesh* m : meshes) delete m;
  meshes.clear();
  meshCount = 0;
}

void Model::initVertices(unsigned count) {
  if (count == 0) return;
  vertices.assign(count, Vector3D(0, 0, 0));
  normals.assign(count, Vector3D(0, 0, 0));
  vertexCount = count;
}

void Model::initVertices(const Model& other) {
  vertexCount = 0;
  if (other.vertexCount == 0) return;
  vertices.assign(other.vertices.begin(), other.vertices.begin() + other.vertexCount);
  normals.assign(other.vertexCount, Vector3D(0, 0, 0));
  for (uint32_t i = 0; i < other.vertexCount && i < other.normals.size(); ++i) normals[i] = other.normals[i];
  vertexCount = other.vertexCount;
}

void Model::replaceFaces(unsigned n, const std::function<Face*(unsigned)>& make) {
  destroyFaces();
  faces.reserve(n);
  for (unsigned i = 0; i < n; ++i) faces.push_back(make(i));
  faceCount = n;
}

void Model::replaceMeshes(unsigned n, const std::function<Mesh*(unsigned)>& make) {
  destroyMeshes();
  meshes.reserve(n);
  for (unsigned i = 0; i < n; ++i) {
    Mesh* m = make(i);
    m->owner = this;
    meshes.push_back(m);
  }
  meshCount = n;
}

void Model::initFaces(unsigned count) {
  replaceFaces(count, [](unsigned) { return new Face(); });
}

void Model::initFaces(const Model& other) {
  replaceFaces(static_cast<unsigned>(other.faces.size()), [&](unsigned i) { return new Face(*other.faces[i]); });
}

void Model::initMeshes(unsigned count) {
  replaceMeshes(count, [](unsigned) { return new Mesh(); });
}

void Model::initMeshes(const Model& other) {
  replaceMeshes(static_cast<unsigned>(other.meshes.size()), [&](unsigned i) { return new Mesh(*other.meshes[i]); });
}

void Model::operator+=(const Model& other) {
  const uint32_t v = static_cast<uint32_t>(vertices.size());
  const uint32_t f = static_cast<uint32_t>(faces.size());
  // Counts taken first, so that appending a model to itself appends one copy.
  const uint32_t otherVertices = other.vertexCount;
  const size_t otherFaces = other.faces.size();
  const size_t otherMeshes = other.meshes.size();
  // Keep the normal list as long as the position list before appending.
  normals.resize(vertices.size(), Vector3D(0, 0, 0));
  vertices.reserve(vertices.size() + otherVertices);
  normals.reserve(normals.size() + otherVertices);
  for (uint32_t i = 0; i < otherVertices; ++i) {
    vertices.push_back(other.vertices[i]);
    normals.push_back(i < other.normals.size() ? other.normals[i] : Vector3D(0, 0, 0));
  }
  vertexCount = static_cast<uint32_t>(vertices.size());
  const int32_t base = static_cast<int32_t>(v);
  faces.reserve(faces.size() + otherFaces);
  for (size_t i = 0; i < otherFaces; ++i) {
    const Face* source = other.faces[i];
    faces.push_back(new Face(source->vertex[0] + base, source->vertex[1] + base, source->vertex[2] + base,
                             source->normal[0], source->normal[1], source->normal[2], source->texCoord[0],
                             source->texCoord[1], source->texCoord[2]));
  }
  faceCount = static_cast<uint32_t>(faces.size());
  meshes.reserve(meshes.size() + otherMeshes);
  for (size_t i = 0; i < otherMeshes; ++i) {
    const Mesh* source = other.meshes[i];
    Mesh* m = new Mesh();
    m->owner = this;
    m->init(source->faceCount, source->material);
    for (uint32_t k = 0; k < source->faceCount; ++k) m->faces[k] = source->faces[k] + f;
    meshes.push_back(m);
  }
  meshCount = static_cast<uint32_t>(meshes.size());
}

void Model::transform(const Matrix3D& m) {
  // Directions take the rotation part only; translating a normal would
  // bend it.
  auto turn = [&m](Vector3D& n) {
    n = Vector3D(m.m[0][0] * n.x + m.m[0][1] * n.y + m.m[0][2] * n.z,
                 m.m[1][0] * n.x + m.m[1][1] * n.y + m.m[1][2] * n.z,
                 m.m[2][0] * n.x + m.m[2][1] * n.y + m.m[2][2] * n.z);
  };
  for (Vector3D& p : vertices) p = m * p;
  for (Vector3D& n : normals) turn(n);
  for (Face* f : faces) {
    for (int c = 0; c < 3; ++c) turn(f->normal[c]);
  }
}

void Model::prepare() {
  for (uint32_t i = 0; i < vertexCount && i < normals.size(); ++i) normals[i] = Vector3D(0, 0, 0);
  transparent = false;
  meshFaceTotal = 0;

  std::vector<EdgeEntry> edges;
  for (Mesh* mesh : meshes) {
    meshFaceTotal += mesh->faceCount;
    if (mesh->material && mesh->material->transparent) transparent = true;
    const uint32_t count = mesh->faceCount;
    listEdges(faces, *mesh, edges);
    for (uint32_t i = 0; i < count; ++i) {
      Face* f = faces[mesh->faces[i]];
      const Vector3D& a = vertices[f->vertex[0]];
      const Vector3D& b = vertices[f->vertex[1]];
      const Vector3D& c = vertices[f->vertex[2]];
      f->faceNormal = crossProduct(b - a, c - a);
      f->faceNormal.normalize();
      for (int k = 0; k < 3; ++k) {
        const size_t vi = static_cast<size_t>(f->vertex[k]);
        if (vi < normals.size()) normals[vi] += f->normal[k];
      }
      for (int e = 0; e < 3; ++e) {
        if (f->neighbour[e] != -1) continue;
        // The first face after this one that has the edge, and its edge number.
        const uint64_t key = edgeKey(f->vertex[e], f->vertex[(e + 1) % 3]);
        const auto found = std::lower_bound(edges.begin(), edges.end(), EdgeEntry{key, i + 1, 0});
        if (found == edges.end() || found->key != key) continue;
        f->neighbour[e] = static_cast<int32_t>(found->position);
        faces[mesh->faces[found->position]]->neighbour[found->edge] = static_cast<int32_t>(i);
      }
    }
  }

  for (uint32_t i = 0; i < vertexCount && i < normals.size(); ++i) {
    Vector3D& n = normals[i];
    if (n.x != 0.0f || n.y != 0.0f || n.z != 0.0f) n.normalize();
  }
}

void Model::pack() {
  for (Mesh* m : meshes) m->pack();
}

void Model::unpack() {
  for (Mesh* m : meshes) m->unpack();
}

void Model::compile() {
  if (drawAsOne) {
    compileOnly = true;
    recompile = true;
    draw();
    return;
  }
  for (Mesh* m : meshes) m->compile();
}

void Model::setRecompile(bool value) {
  if (drawAsOne) {
    recompile = value;
    draw();
    return;
  }
  for (Mesh* m : meshes) m->recompile = value;
}

void Model::uncompile() {
  const GLuint list = displayList;
  if (drawAsOne && deleteList(*this)) {
    debug::debug(dbgDdd, "Uncompiled model %s (#%d).", name.c_str(), static_cast<int>(list));
  }
  for (Mesh* m : meshes) m->uncompile();
}

void Model::draw() {
  if (replayList(*this)) {
    pipeline.meshesDrawn += meshCount;
    pipeline.elementsDrawn += meshFaceTotal;
    return;
  }
  ListRecording recording(*this);
  for (size_t i = 0; i < meshes.size(); ++i) {
    Mesh* m = meshes[i];
    if (recording.records) debug::debug(dbgDdd, "Compiling model - drawing mesh #%d", static_cast<int>(i));
    if (m->material) m->material->apply();
    if (m->vertexArray) {
      m->vertexArray->draw();
    } else {
      m->drawImmediate();
    }
    pipeline.meshesDrawn += 1;
    pipeline.elementsDrawn += m->faceCount;
  }
  if (recording.close()) {
    debug::debug(dbgDdd, "Compiled model %s (#%d).", name.c_str(), static_cast<int>(displayList));
  }
}

}  // namespace ddd
}  // namespace korvu
