#include "ddd/model.h"

#include "ddd/material.h"
#include "ddd/pipeline.h"
#include "ddd/displaylist.h"
#include "ddd/settings.h"
#include "ddd/vertexarray.h"
#include "debug.h"

namespace korvu {
namespace ddd {

Model::Model()
    : bank(nullptr),
      vertexCount(0),
      faceCount(0),
      meshFaceTotal(0),
      meshCount(0),
      transparent(false),
      drawAsOne(false),
      displayList(0),
      recompile(false),
      compileOnly(false),
      bufferType(BUFFER_NONE) {}

Model::Model(const Model& other) : Model() { *this = other; }

Model& Model::operator=(const Model& other) {
  if (this == &other) return *this;
  uncompile();
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

void Model::initFaces(unsigned count) {
  destroyFaces();
  if (count == 0) return;
  faces.reserve(count);
  for (unsigned i = 0; i < count; ++i) faces.push_back(new Face());
  faceCount = count;
}

void Model::initFaces(const Model& other) {
  destroyFaces();
  faces.reserve(other.faces.size());
  for (const Face* f : other.faces) faces.push_back(new Face(*f));
  faceCount = static_cast<uint32_t>(faces.size());
}

void Model::initMeshes(unsigned count) {
  destroyMeshes();
  if (count == 0) return;
  meshes.reserve(count);
  for (unsigned i = 0; i < count; ++i) {
    Mesh* m = new Mesh();
    m->owner = this;
    meshes.push_back(m);
  }
  meshCount = count;
}

void Model::initMeshes(const Model& other) {
  destroyMeshes();
  meshes.reserve(other.meshes.size());
  for (const Mesh* source : other.meshes) {
    Mesh* m = new Mesh(*source);
    m->owner = this;
    meshes.push_back(m);
  }
  meshCount = static_cast<uint32_t>(meshes.size());
}

void Model::operator+=(const Model& other) {
  const uint32_t v = static_cast<uint32_t>(vertices.size());
  const uint32_t f = static_cast<uint32_t>(faces.size());
  // Keep the normal list as long as the position list before appending.
  normals.resize(vertices.size(), Vector3D(0, 0, 0));
  for (uint32_t i = 0; i < other.vertexCount; ++i) {
    vertices.push_back(other.vertices[i]);
    normals.push_back(i < other.normals.size() ? other.normals[i] : Vector3D(0, 0, 0));
  }
  vertexCount = static_cast<uint32_t>(vertices.size());
  for (const Face* source : other.faces) {
    const int32_t base = static_cast<int32_t>(v);
    faces.push_back(new Face(source->vertex[0] + base, source->vertex[1] + base, source->vertex[2] + base,
                             source->normal[0], source->normal[1], source->normal[2], source->texCoord[0],
                             source->texCoord[1], source->texCoord[2]));
  }
  faceCount = static_cast<uint32_t>(faces.size());
  for (const Mesh* source : other.meshes) {
    Mesh* m = new Mesh();
    m->owner = this;
    m->init(source->faceCount, source->material);
    for (uint32_t i = 0; i < source->faceCount; ++i) m->faces[i] = source->faces[i] + f;
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

  for (Mesh* mesh : meshes) {
    meshFaceTotal += mesh->faceCount;
    if (mesh->material && mesh->material->transparent) transparent = true;
    const uint32_t count = mesh->faceCount;
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
        const int32_t p = f->vertex[e];
        const int32_t q = f->vertex[(e + 1) % 3];
        bool found = false;
        for (uint32_t j = i + 1; j < count && !found; ++j) {
          Face* g = faces[mesh->faces[j]];
          for (int k = 0; k < 3; ++k) {
            const int32_t r = g->vertex[k];
            const int32_t s = g->vertex[(k + 1) % 3];
            if ((p == r && q == s) || (p == s && q == r)) {
              f->neighbour[e] = static_cast<int32_t>(j);
              g->neighbour[k] = static_cast<int32_t>(i);
              found = true;
              break;
            }
          }
        }
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
  const bool record = recordsList(*this);
  GLuint list = 0;
  if (record) {
    uncompile();
    deleteList(*this);  // a list left from a time the model was not drawn as one
    list = openList(*this);
  }
  for (size_t i = 0; i < meshes.size(); ++i) {
    Mesh* m = meshes[i];
    if (record) debug::debug(dbgDdd, "Compiling model - drawing mesh #%d", static_cast<int>(i));
    if (m->material) m->material->apply();
    if (m->vertexArray) {
      m->vertexArray->draw();
    } else {
      m->drawImmediate();
    }
    pipeline.meshesDrawn += 1;
    pipeline.elementsDrawn += m->faceCount;
  }
  if (record && closeList(*this, list)) {
    debug::debug(dbgDdd, "Compiled model %s (#%d).", name.c_str(), static_cast<int>(displayList));
  }
}

}  // namespace ddd
}  // namespace korvu
