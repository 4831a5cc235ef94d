#include "ddd/shadowmodel.h"

#include <cmath>

#include "ddd/pipeline.h"
#include "ddd/settings.h"
#include "debug.h"

static_assert(sizeof(korvu::Vector3D) == 3 * sizeof(float), "shadow corners go to OpenGL as packed floats");

namespace korvu {
namespace ddd {

ShadowModel::ShadowModel() : quadCount(0), volumeBuffer(0) {}

ShadowModel::~ShadowModel() {
  if (volumeBuffer && glptrDeleteBuffersARB) glptrDeleteBuffersARB(1, &volumeBuffer);
  volumeBuffer = 0;
}

void ShadowModel::initData() {
  if (volumeBuffer && glptrDeleteBuffersARB) glptrDeleteBuffersARB(1, &volumeBuffer);
  volumeBuffer = 0;
  // The corners stay in client memory; they change whenever the light turns.
  volume.assign(static_cast<size_t>(faces.size()) * 12, Vector3D(0, 0, 0));
  quadCount = 0;
  debug::debug(dbgDdd, "(vertex buffer objects extension not available");
  lastLight = Vector3D(0, 0, 0);
}

void ShadowModel::generateShadowVolume(const Vector3D& light) {
  const Vector3D change = lastLight - light;
  if (std::fabs(change.x) <= 0.01f && std::fabs(change.y) <= 0.01f && std::fabs(change.z) <= 0.01f) return;

  quadCount = 0;
  lastLight = light;
  if (meshes.empty() || !meshes[0]) return;
  const Mesh& mesh = *meshes[0];

  Vector3D* target = nullptr;
  bool mapped = false;
  if (volumeBuffer && glptrBindBufferARB && glptrMapBufferARB && glptrUnmapBufferARB) {
    glptrBindBufferARB(GL_ARRAY_BUFFER_ARB, volumeBuffer);
    target = static_cast<Vector3D*>(glptrMapBufferARB(GL_ARRAY_BUFFER_ARB, GL_WRITE_ONLY_ARB));
    mapped = target != nullptr;
    if (!mapped) glptrBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
  }
  if (!mapped) target = volume.data();
  const size_t capacity = volume.size() / 4;

  for (uint32_t i = 0; i < mesh.faceCount; ++i) {
    Face* f = faces[mesh.faces[i]];
    f->lit = dotProduct(light, f->faceNormal) > 0.0f;
  }
  const Vector3D extrusion = light * DDD_INFINITY;
  for (uint32_t i = 0; i < mesh.faceCount; ++i) {
    const Face* f = faces[mesh.faces[i]];
    if (!f->lit) continue;
    for (int k = 0; k < 3; ++k) {
      const int32_t n = f->neighbour[k];
      const bool silhouette = n < 0 || static_cast<uint32_t>(n) >= mesh.faceCount || !faces[mesh.faces[n]]->lit;
      if (!silhouette || quadCount >= capacity) continue;
      const Vector3D& p0 = vertices[f->vertex[k]];
      const Vector3D& p1 = vertices[f->vertex[(k + 1) % 3]];
      Vector3D* quad = target + static_cast<size_t>(quadCount) * 4;
      quad[0] = p0;
      quad[1] = p1;
      quad[2] = p1 + extrusion;
      quad[3] = p0 + extrusion;
      ++quadCount;
    }
  }

  if (mapped) {
    glptrUnmapBufferARB(GL_ARRAY_BUFFER_ARB);
    glptrBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
  }
}

void ShadowModel::drawShadowVolume() {
  ++pipeline.meshesDrawn;
  pipeline.elementsDrawn += quadCount;
  glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
  const bool buffered = volumeBuffer && glptrBindBufferARB;
  if (buffered) {
    glptrBindBufferARB(GL_ARRAY_BUFFER_ARB, volumeBuffer);
    glVertexPointer(3, GL_FLOAT, 0, nullptr);
  } else {
    glVertexPointer(3, GL_FLOAT, 0, volume.data());
  }
  glDrawArrays(GL_QUADS, 0, static_cast<GLsizei>(quadCount * 4));
  if (buffered) glptrBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
  glPopClientAttrib();
}

}  // namespace ddd
}  // namespace korvu
