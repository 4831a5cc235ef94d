// The static queries and the list forms over them.
#include "ddd/collision.h"

#include <cmath>

#include "ddd/collisionmath.h"

namespace korvu {
namespace ddd {

using collisionmath::isZero;
using collisionmath::lengthSquared;
using collisionmath::toModelSpace;
using collisionmath::turn;

Intersection::~Intersection() {
  for (SurfaceIntersection* s : surfacesA) delete s;
  for (SurfaceIntersection* s : surfacesB) delete s;
}

// ---------------------------------------------------------------------------
// Dispatch

bool testIntersection(const Collideable* a, const Collideable* b) {
  if (a->type == COLLIDEABLE_SPHERE && b->type == COLLIDEABLE_SPHERE) {
    return testSphereIntersection(a, b);
  }
  if (a->type == COLLIDEABLE_SPHERE && b->type == COLLIDEABLE_MESH) {
    return testSphereMeshIntersection(a, b, false, false);
  }
  if (a->type == COLLIDEABLE_MESH && b->type == COLLIDEABLE_SPHERE) {
    return testSphereMeshIntersection(b, a, false, false);
  }
  if (a->type == COLLIDEABLE_MESH && b->type == COLLIDEABLE_MESH) return testMeshIntersection(a, b);
  return false;
}

Intersection* getIntersection(const Collideable* a, const Collideable* b) {
  if (a->type == COLLIDEABLE_SPHERE && b->type == COLLIDEABLE_SPHERE) {
    return getSphereIntersection(a, b);
  }
  if (a->type == COLLIDEABLE_SPHERE && b->type == COLLIDEABLE_MESH) {
    return getSphereMeshIntersection(a, b, false, false);
  }
  if (a->type == COLLIDEABLE_MESH && b->type == COLLIDEABLE_SPHERE) {
    return getSphereMeshIntersection(b, a, false, false);
  }
  if (a->type == COLLIDEABLE_MESH && b->type == COLLIDEABLE_MESH) return getMeshIntersection(a, b);
  return nullptr;
}

bool testSphereIntersection(const Collideable* a, const Collideable* b) {
  if (!a->sphere || !b->sphere) return false;
  float distance = (b->worldCenter() - a->worldCenter()).length();
  return a->sphere->radius + b->sphere->radius > distance;
}

Intersection* getSphereIntersection(const Collideable*, const Collideable*) { return nullptr; }

bool testMeshIntersection(const Collideable*, const Collideable*) { return false; }

Intersection* getMeshIntersection(const Collideable*, const Collideable*) { return nullptr; }

// ---------------------------------------------------------------------------
// Sphere against mesh

namespace {

// What the sphere/mesh queries share: the sphere's centre in the mesh's
// model space and the face loop with its plane and inside tests.
struct SphereMeshSetup {
  const CollisionModel* model = nullptr;
  Vector3D center;
  float radius = 0.0f;
  float radiusSquared = 0.0f;
  // Faces wholly outside this box around the sphere can touch it neither
  // with their inside nor with a side.
  collisionmath::Reach reach{Vector3D(), 0.0f};
};

bool setUp(const Collideable* s, const Collideable* m, SphereMeshSetup& out) {
  if (!s->sphere || !m->sphere || !m->model || !m->model->isReady()) return false;
  if (!testSphereIntersection(s, m)) return false;
  out.model = m->model;
  out.center = toModelSpace(*m, s->worldCenter());
  out.radius = s->sphere->radius;
  out.radiusSquared = s->sphere->radiusSquared;
  out.reach = collisionmath::Reach(out.center, std::fabs(out.radius));
  return true;
}

// The signed distance of the centre from face f's plane when it lies in the
// queried range; false otherwise. A degenerate face (zero normal) has no
// plane and never touches anything.
bool inRange(const SphereMeshSetup& q, std::size_t f, bool oneSided, float& d) {
  const Vector3D& n = q.model->faceNormals[f];
  if (isZero(n)) return false;
  const CollisionFace& face = *static_cast<const CollisionFace*>(q.model->faces[f]);
  const Vector3D& v0 = q.model->vertices[static_cast<std::size_t>(face.vertex[0])];
  if (q.reach.clear(v0, q.model->vertices[static_cast<std::size_t>(face.vertex[1])],
                    q.model->vertices[static_cast<std::size_t>(face.vertex[2])])) {
    return false;
  }
  d = dotProduct(n, q.center) - dotProduct(n, v0);
  if (oneSided) return d > 0.0f && d <= q.radius;
  return -q.radius <= d && d <= q.radius;
}

bool footInside(const CollisionModel& model, const CollisionFace& face, const Vector3D& p) {
  for (int k = 0; k < 3; ++k) {
    const Vector3D& v = model.vertices[static_cast<std::size_t>(face.vertex[k])];
    if (dotProduct(p - v, face.edgeNormals[k]) > 0.0f) return false;
  }
  return true;
}

// Per-call memo of the edges already measured; kept between calls so that
// a query allocates only when a model larger than any before comes along.
struct EdgeMemo {
  enum State : unsigned char { UNVISITED = 0, MISSED = 1, HIT = 2 };
  std::vector<unsigned char> state;
  std::vector<float> distanceSquared;
  std::vector<Vector3D> vector;

  void reset(std::size_t edges) {
    state.assign(edges, UNVISITED);
    if (distanceSquared.size() < edges) {
      distanceSquared.resize(edges);
      vector.resize(edges);
    }
  }
};

}  // namespace

bool testSphereMeshIntersection(const Collideable* s, const Collideable* m, bool oneSided,
                                bool facesOnly) {
  SphereMeshSetup q;
  if (!setUp(s, m, q)) return false;
  const CollisionModel& model = *q.model;
  for (std::size_t f = 0; f < model.faces.size(); ++f) {
    float d;
    if (!inRange(q, f, oneSided, d)) continue;
    const CollisionFace& face = *static_cast<const CollisionFace*>(model.faces[f]);
    Vector3D p = q.center - model.faceNormals[f] * d;
    if (footInside(model, face, p)) return true;
    if (facesOnly) continue;
    for (int k = 0; k < 3; ++k) {
      const Edge& e = *model.edges[static_cast<std::size_t>(face.edges[k])];
      Vector3D nearest = closestPointOnLine(model.vertices[static_cast<std::size_t>(e.vertex0)],
                                            model.vertices[static_cast<std::size_t>(e.vertex1)],
                                            q.center);
      if (lengthSquared(nearest - q.center) < q.radiusSquared) return true;
    }
  }
  return false;
}

Intersection* getSphereMeshIntersection(const Collideable* s, const Collideable* m,
                                        bool oneSided, bool facesOnly) {
  SphereMeshSetup q;
  if (!setUp(s, m, q)) return nullptr;
  const CollisionModel& model = *q.model;
  const Matrix3D& toWorld = *m->rotation;
  Intersection* result = new Intersection(s, m);

  thread_local EdgeMemo memo;
  if (!facesOnly) memo.reset(model.edges.size());

  for (std::size_t f = 0; f < model.faces.size(); ++f) {
    float d;
    if (!inRange(q, f, oneSided, d)) continue;
    const CollisionFace& face = *static_cast<const CollisionFace*>(model.faces[f]);
    const Vector3D& n = model.faceNormals[f];
    Vector3D p = q.center - n * d;
    if (footInside(model, face, p)) {
      result->surfacesA.push_back(new SurfaceIntersection(d, -turn(toWorld, n)));
      result->surfacesB.push_back(new SurfaceIntersection(static_cast<int>(f), -1, -1));
      continue;
    }
    if (facesOnly) continue;
    float best = q.radiusSquared;
    int bestEdge = -1;
    for (int k = 0; k < 3; ++k) {
      int e = face.edges[k];
      std::size_t i = static_cast<std::size_t>(e);
      if (memo.state[i] == EdgeMemo::UNVISITED) {
        const Edge& edge = *model.edges[i];
        Vector3D nearest =
            closestPointOnLine(model.vertices[static_cast<std::size_t>(edge.vertex0)],
                               model.vertices[static_cast<std::size_t>(edge.vertex1)], q.center);
        Vector3D w = nearest - q.center;
        float d2 = lengthSquared(w);
        if (d2 < q.radiusSquared) {
          memo.state[i] = EdgeMemo::HIT;
          memo.distanceSquared[i] = d2;
          memo.vector[i] = w;
        } else {
          memo.state[i] = EdgeMemo::MISSED;
        }
      }
      if (memo.state[i] == EdgeMemo::HIT && memo.distanceSquared[i] < best) {
        best = memo.distanceSquared[i];
        bestEdge = e;
      }
    }
    if (bestEdge >= 0) {
      std::size_t i = static_cast<std::size_t>(bestEdge);
      result->surfacesA.push_back(
          new SurfaceIntersection(std::sqrt(best), turn(toWorld, memo.vector[i])));
      result->surfacesB.push_back(new SurfaceIntersection(static_cast<int>(f), bestEdge, -1));
    }
  }

  if (result->surfacesA.empty()) {
    delete result;
    return nullptr;
  }
  return result;
}

// ---------------------------------------------------------------------------
// Rays

Intersection* getRayMeshIntersection(const Vector3D& origin, const Vector3D& direction,
                                     const Collideable* c) {
  if (!c || !c->model) return nullptr;
  const CollisionModel& model = *c->model;
  Vector3D o = toModelSpace(*c, origin);
  Vector3D d = turn(*c->inverseRotation, direction);
  Intersection* result = nullptr;
  for (std::size_t f = 0; f < model.faces.size() && f < model.faceCount; ++f) {
    const Face& face = *model.faces[f];
    float t, u, v;
    if (!intersectFace(o, d, model.vertices[static_cast<std::size_t>(face.vertex[0])],
                       model.vertices[static_cast<std::size_t>(face.vertex[1])],
                       model.vertices[static_cast<std::size_t>(face.vertex[2])], t, u, v, false,
                       false)) {
      continue;
    }
    if (!result) result = new Intersection(nullptr, c);
    result->surfacesA.push_back(new SurfaceIntersection(t, direction));
    result->surfacesB.push_back(new SurfaceIntersection(static_cast<int>(f), -1, -1));
  }
  return result;
}

bool intersectFace(const Vector3D& o, const Vector3D& d, const Vector3D& V0, const Vector3D& V1,
                   const Vector3D& V2, float& t, float& u, float& v, bool noBounds,
                   bool cullBack) {
  const float EPSILON = 0.0001f;
  Vector3D e1 = V1 - V0;
  Vector3D e2 = V2 - V0;
  Vector3D p = crossProduct(d, e2);
  float det = dotProduct(e1, p);
  Vector3D s = o - V0;
  Vector3D q = crossProduct(s, e1);
  if (!cullBack) {
    if (det > -EPSILON && det < EPSILON) return false;
    float inv = 1.0f / det;
    u = dotProduct(s, p) * inv;
    if (!noBounds && (u < 0.0f || u > 1.0f)) return false;
    v = dotProduct(d, q) * inv;
    if (!noBounds && (v < 0.0f || u + v > 1.0f)) return false;
    t = dotProduct(e2, q) * inv;
    return true;
  }
  if (det < EPSILON) return false;
  u = dotProduct(s, p);
  if (!noBounds && (u < 0.0f || u > det)) return false;
  v = dotProduct(d, q);
  if (!noBounds && (v < 0.0f || u + v > det)) return false;
  float inv = 1.0f / det;
  t = dotProduct(e2, q) * inv;
  u *= inv;
  v *= inv;
  return true;
}

bool intersectFace(const Vector3D& o, const Vector3D& d, const Vector3D& V0, const Vector3D& V1,
                   const Vector3D& V2, const Vector3D& en0, const Vector3D& en1,
                   const Vector3D& en2, const Vector3D& n, float& t, Vector3D& point,
                   bool /*flag*/, bool cullBack, float maxDist) {
  return collisionmath::rayMeetsFace(o, d, V0, V1, V2, en0, en1, en2, n, t, point, cullBack, maxDist);
}

int classifyPoints(const Vector3D& normal, const Vector3D& point,
                   const std::vector<Vector3D>& points, int& maxIndex, int& minIndex,
                   float& maxDist, float& minDist) {
  if (points.empty()) return -2;
  float first = dotProduct(points[0] - point, normal);
  maxIndex = minIndex = 0;
  maxDist = minDist = first;
  for (std::size_t i = 1; i < points.size(); ++i) {
    float dist = dotProduct(points[i] - point, normal);
    if (dist > maxDist) {
      maxDist = dist;
      maxIndex = static_cast<int>(i);
    } else if (dist < minDist) {
      minDist = dist;
      minIndex = static_cast<int>(i);
    }
  }
  if (maxDist > 0.0f && minDist > 0.0f) return 1;
  if (maxDist < 0.0f && minDist < 0.0f) return -1;
  return 0;
}

// ---------------------------------------------------------------------------
// List forms

std::list<bool>* testIntersections(const Collideable* c, const std::list<Collideable*>& others) {
  auto* result = new std::list<bool>();
  for (const Collideable* other : others) result->push_back(testIntersection(c, other));
  return result;
}

std::list<Intersection*>* getIntersections(const Collideable* c,
                                           const std::list<Collideable*>& others) {
  auto* result = new std::list<Intersection*>();
  for (const Collideable* other : others) {
    if (Intersection* i = getIntersection(c, other)) result->push_back(i);
  }
  return result;
}

}  // namespace ddd
}  // namespace korvu
