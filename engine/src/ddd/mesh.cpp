#include "ddd/mesh.h"

#include "ddd/material.h"
#include "ddd/model.h"
#include "ddd/displaylist.h"
#include "ddd/settings.h"
#include "ddd/vertexarray.h"
#include "debug.h"

namespace korvu {
namespace ddd {

Mesh::Mesh()
    : owner(nullptr),
      faceCount(0),
      material(nullptr),
      vertexArray(nullptr),
      listCentre(0, 0, 0),
      listRadius(-1.0f) {}

Mesh::Mesh(const Mesh& other) : Mesh() { *this = other; }

Mesh& Mesh::operator=(const Mesh& other) {
  if (this == &other) return *this;
  // Whatever this mesh held of its own goes; the copy starts bare.
  uncompile();
  delete vertexArray;
  vertexArray = nullptr;
  listRadius = -1.0f;
  owner = nullptr;
  init(other.faceCount, other.material);
  faces = other.faces;
  faces.resize(faceCount);
  recompile = other.recompile;
  compileOnly = other.compileOnly;
  return *this;
}

Mesh::~Mesh() {
  uncompile();
  delete vertexArray;
  vertexArray = nullptr;
  faces.clear();
  faceCount = 0;
}

void Mesh::init(unsigned count, Material* material_) {
  faces.assign(count, 0);
  faceCount = count;
  material = material_;
}

bool Mesh::textured() const { return material && material->texture; }

bool Mesh::drawnBounds(Vector3D& centre, float& radius) const {
  if (vertexArray) {
    centre = vertexArray->centre;
    radius = vertexArray->radius;
  } else if (displayList && !recompile) {
    centre = listCentre;
    radius = listRadius;
  } else {
    return false;
  }
  return radius >= 0.0f;
}

void Mesh::draw() {
  if (vertexArray) {
    vertexArray->draw();
  } else {
    drawImmediate();
  }
}

void Mesh::drawImmediate() {
  if (replayList(*this)) return;
  ListRecording recording(*this);
  if (owner) {
    const bool withTexture = textured();
    const std::vector<Face*>& modelFaces = owner->faces;
    const std::vector<Vector3D>& vertices = owner->vertices;
    glBegin(GL_TRIANGLES);
    for (uint32_t i = 0; i < faceCount; ++i) {
      const Face* f = modelFaces[faces[i]];
      for (int c = 0; c < 3; ++c) {
        glNormal3f(f->normal[c].x, f->normal[c].y, f->normal[c].z);
        if (withTexture) glTexCoord2f(f->texCoord[c].x, f->texCoord[c].y);
        const Vector3D& v = vertices[f->vertex[c]];
        glVertex3f(v.x, v.y, v.z);
      }
    }
    glEnd();
  }
  if (recording.close()) {
    listRadius = -1.0f;
    if (owner) {
      std::vector<Vector3D> corners;
      corners.reserve(3 * static_cast<size_t>(faceCount));
      for (uint32_t i = 0; i < faceCount; ++i) {
        const Face* f = owner->faces[faces[i]];
        for (int c = 0; c < 3; ++c) corners.push_back(owner->vertices[f->vertex[c]]);
      }
      sphereAround(corners, listCentre, listRadius);
    }
    debug::debug(dbgDdd, "Compiled mesh %p.", static_cast<void*>(this));
  }
}

void Mesh::compile() {
  compileOnly = true;
  recompile = true;
  draw();
}

void Mesh::uncompile() {
  if (deleteList(*this)) debug::debug(dbgDdd, "Uncompiled mesh %p.", static_cast<void*>(this));
}

void Mesh::pack() {
  unpack();
  const char* ownerName = owner ? owner->name.c_str() : "";
  if (!owner || owner->bufferType == BUFFER_NONE) {
    debug::debug(dbgDdd, "NOT packed mesh %p of model %s.", static_cast<void*>(this), ownerName);
    return;
  }
  vertexArray = new VertexArray(textured() ? VERTEXARRAY_T2F_N3F_V3F : VERTEXARRAY_N3F_V3F);
  *vertexArray += *this;
  vertexArray->pack();
  if (displayList) recompile = true;
  if (owner->displayList) owner->recompile = true;
  debug::debug(dbgDdd, "Packed mesh %p of model %s.", static_cast<void*>(this), ownerName);
}

void Mesh::unpack() {
  if (!vertexArray) return;
  delete vertexArray;
  vertexArray = nullptr;
  if (displayList) {
    uncompile();
    recompile = true;
  }
  if (owner && owner->displayList) {
    owner->uncompile();
    owner->recompile = true;
  }
  debug::debug(dbgDdd, "Unpacked mesh %p of model %s.", static_cast<void*>(this), owner ? owner->name.c_str() : "");
}

}  // namespace ddd
}  // namespace korvu
