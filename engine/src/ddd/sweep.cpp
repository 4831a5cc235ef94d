// The swept queries: a collideable moving in a straight line against one
// that stands still.
#include <cmath>

#include "ddd/collision.h"
#include "ddd/collisionmath.h"

namespace korvu {
namespace ddd {

using collisionmath::lengthSquared;
using collisionmath::Reach;
using collisionmath::Span;
using collisionmath::turn;

namespace {

// Scratch data of one mesh query, sized by the models involved. It lives
// on the heap, not on the stack (a model may be large), and is kept between
// calls, so a query allocates only when it meets a larger model than any
// before.
struct SweepScratch {
  std::vector<Vector3D> verticesA;
  std::vector<Vector3D> faceNormalsA;
  std::vector<Vector3D> cornerNormalsA;  // three per face
  std::vector<Vector3D> edgeNormalsA;
  std::vector<Vector3D> verticesB;
  // Per vertex of b: the sides of the two boxes around a's sweep that it
  // lies beyond (Reach::outside; phase 1 boxes in the low byte, the box of
  // a's swept sphere in the high byte).
  std::vector<uint16_t> outsideB;
  std::vector<int> candidateVerticesA;
  std::vector<int> candidateEdgesA;
  std::vector<int> candidateVerticesB;
  std::vector<int> candidateEdgesB;
  // The boxes of the paths of the candidate vertices (phases 1 and 3) and
  // of the candidate edges of b (phase 2), parallel to the candidate lists.
  std::vector<Span> pathsA;
  std::vector<Span> pathsB;
  std::vector<Span> spansB;
};

// Resizes without ever giving memory back.
template <typename T>
void fit(std::vector<T>& v, std::size_t n) {
  if (v.size() < n) v.resize(n);
}

struct Sphere {
  Vector3D center;
  float radius;
  float radiusSquared;
};

bool inside(const Sphere& s, const Vector3D& p) { return lengthSquared(p - s.center) < s.radiusSquared; }


// Local to world: translation by the position after the rotation.
Matrix3D placement(const Collideable& c) {
  Matrix3D m;
  m.m[0][3] = c.position->x;
  m.m[1][3] = c.position->y;
  m.m[2][3] = c.position->z;
  return m.multRight(*c.rotation);
}

// How far from a face's plane an origin may lie to be worth the ray test.
// The query's own limit is the move's length; but t is at least the plane
// distance (the direction is of unit length, up to rounding, which the
// small allowance covers), so once a contact at best is known, origins
// farther than best cannot beat it.
float planeLimit(float best, float len) {
  float limit = best * 1.0001f;
  return limit < len ? limit : len;
}

bool ready(const Collideable* c) { return c->sphere && c->model && c->model->isReady(); }

// An edge a0..a1 moving along the unit direction dir, with the plane it
// sweeps worked out once so that it can meet many still edges.
struct SweptEdge {
  Vector3D a0;
  Vector3D a1;
  Vector3D ea;
  // Normal of the swept plane and the plane's offset.
  Vector3D n;
  float h;

  SweptEdge(const Vector3D& from, const Vector3D& to, const Vector3D& dir)
      : a0(from), a1(to), ea(to - from), n(crossProduct(ea, dir)) {
    n.normalize();
    h = dotProduct(n, a0);
  }

  // The ends of the still edge lie strictly on opposite sides of the swept
  // plane (the cheap first test).
  bool straddles(const Vector3D& b0, const Vector3D& b1) const {
    return (dotProduct(n, b1) - h) * (dotProduct(n, b0) - h) < 0.0f;
  }

  // Does the still edge b0..b1 meet the moving edge strictly inside both?
  // t is the distance moved, point the contact on the edge at the start.
  bool meets(const Vector3D& dir, const Vector3D& b0, const Vector3D& b1, Vector3D& point,
             float& t) const {
    if (!straddles(b0, b1)) return false;
    Vector3D e = b1 - b0;
    e.normalize();
    float den = dotProduct(n, e);
    if (den == 0.0f) return false;
    float along = (h - dotProduct(n, b0)) / den;
    // Where edge b crosses the swept plane.
    Vector3D crossing = b0 + e * along;
    // Solve crossing - a0 = u ea + t dir in the coordinate plane that drops
    // the largest component of n.
    Vector3D w = crossing - a0;
    float ax = std::fabs(n.x), ay = std::fabs(n.y), az = std::fabs(n.z);
    if (ax > ay && ax > az) {
      t = (w.z * ea.y - w.y * ea.z) / (ea.y * dir.z - ea.z * dir.y);
    } else if (ay >= ax && ay > az) {
      t = (w.z * ea.x - w.x * ea.z) / (ea.x * dir.z - ea.z * dir.x);
    } else {
      t = (w.y * ea.x - w.x * ea.y) / (ea.x * dir.y - ea.y * dir.x);
    }
    if (t < 0.0f) return false;
    point = crossing - dir * t;
    return dotProduct(a0 - point, a1 - point) < 0.0f;
  }
};

}  // namespace

Collision* getMeshCollision(const Collideable* a, const Collideable* b, const Vector3D& newA) {
  if (!ready(a) || !ready(b)) return nullptr;
  const Vector3D start = *a->position;
  if (newA == start) return nullptr;

  // Broad phase: does a's sphere come near b's along the move?
  Vector3D D = b->worldCenter() - a->rotatedCenter();
  Vector3D P = closestPointOnLine(start, newA, D);
  if ((D - P).length() > a->sphere->radius + b->sphere->radius) return nullptr;

  Vector3D dir = newA - start;
  const float len = dir.length();
  if (len >= EPSILON_LENGTH) dir = dir / len;
  const float half = len * 0.5f;
  const Vector3D backwards = -dir;

  const Vector3D centerA = a->worldCenter();
  const Vector3D centerB = b->worldCenter();
  Sphere sweptA;
  sweptA.center = centerA + dir * half;
  sweptA.radius = half + a->sphere->radius;
  sweptA.radiusSquared = sweptA.radius * sweptA.radius;
  Sphere sweptB;
  sweptB.center = centerB - dir * half;
  sweptB.radius = half + b->sphere->radius;
  sweptB.radiusSquared = sweptB.radius * sweptB.radius;

  const CollisionModel& ma = *a->model;
  const CollisionModel& mb = *b->model;
  const Matrix3D& ra = *a->rotation;
  const Matrix3D& rb = *b->rotation;
  const Matrix3D placeA = placement(*a);
  const Matrix3D placeB = placement(*b);

  thread_local SweepScratch s;
  const std::size_t vertexCountA = ma.vertexCount;
  const std::size_t vertexCountB = mb.vertexCount;

  // World copy of a (small: the mover), whole.
  fit(s.verticesA, vertexCountA);
  fit(s.faceNormalsA, ma.faces.size());
  fit(s.cornerNormalsA, ma.faces.size() * 3);
  fit(s.edgeNormalsA, ma.edges.size());
  // How far a's vertices reach from the start of the move; every point that
  // a sweeps lies within this much plus half the move of the path's middle.
  float reachSquared = 0.0f;
  for (std::size_t v = 0; v < vertexCountA; ++v) {
    s.verticesA[v] = placeA * ma.vertices[v];
    float r2 = lengthSquared(s.verticesA[v] - centerA);
    if (r2 > reachSquared) reachSquared = r2;
  }
  for (std::size_t f = 0; f < ma.faces.size(); ++f) {
    s.faceNormalsA[f] = turn(ra, ma.faceNormals[f]);
    const CollisionFace& face = *static_cast<const CollisionFace*>(ma.faces[f]);
    for (int k = 0; k < 3; ++k) s.cornerNormalsA[f * 3 + k] = turn(ra, face.edgeNormals[k]);
  }
  for (std::size_t e = 0; e < ma.edges.size(); ++e) s.edgeNormalsA[e] = turn(ra, ma.edgeNormals[e]);

  // Every point that a sweeps lies within this box: a face of b wholly
  // beyond one of its sides cannot be met in phase 1.
  const Reach sweep(sweptA.center, half + std::sqrt(reachSquared));
  // An edge of b wholly beyond a side of this box cannot have its nearest
  // point inside a's swept sphere.
  const Reach reachA(sweptA.center, sweptA.radius);

  // World vertices of b, with the sides of both boxes that each lies
  // beyond; its normals are turned only where a test needs them.
  fit(s.verticesB, vertexCountB);
  fit(s.outsideB, vertexCountB);
  for (std::size_t v = 0; v < vertexCountB; ++v) {
    const Vector3D& p = s.verticesB[v] = placeB * mb.vertices[v];
    s.outsideB[v] = static_cast<uint16_t>(sweep.outside(p) | reachA.outside(p) << 8);
  }

  // Candidates: features of one side inside the other side's swept sphere.
  s.candidateVerticesA.clear();
  s.candidateEdgesA.clear();
  s.candidateVerticesB.clear();
  s.candidateEdgesB.clear();
  for (std::size_t v = 0; v < vertexCountA; ++v) {
    if (inside(sweptB, s.verticesA[v])) s.candidateVerticesA.push_back(static_cast<int>(v));
  }
  // An edge whose box misses the other side's swept sphere cannot have its
  // nearest point inside; only the others are measured.
  const Reach reachB(sweptB.center, sweptB.radius);
  for (std::size_t e = 0; e < ma.edges.size(); ++e) {
    const Edge& edge = *ma.edges[e];
    const Vector3D& p0 = s.verticesA[static_cast<std::size_t>(edge.vertex0)];
    const Vector3D& p1 = s.verticesA[static_cast<std::size_t>(edge.vertex1)];
    if (reachB.clear(p0, p1)) continue;
    if (inside(sweptB, closestPointOnLine(p0, p1, sweptB.center))) {
      s.candidateEdgesA.push_back(static_cast<int>(e));
    }
  }
  for (std::size_t v = 0; v < vertexCountB; ++v) {
    if (s.outsideB[v] >> 8 == 0 && inside(sweptA, s.verticesB[v])) {
      s.candidateVerticesB.push_back(static_cast<int>(v));
    }
  }
  for (std::size_t e = 0; e < mb.edges.size(); ++e) {
    const Edge& edge = *mb.edges[e];
    const std::size_t i0 = static_cast<std::size_t>(edge.vertex0);
    const std::size_t i1 = static_cast<std::size_t>(edge.vertex1);
    if ((s.outsideB[i0] & s.outsideB[i1]) >> 8) continue;
    const Vector3D& p0 = s.verticesB[i0];
    const Vector3D& p1 = s.verticesB[i1];
    // Phase 2 only meets edges of b that face against the motion.
    if (inside(sweptA, closestPointOnLine(p0, p1, sweptA.center)) &&
        dotProduct(dir, turn(rb, mb.edgeNormals[e])) <= 0.0f) {
      s.candidateEdgesB.push_back(static_cast<int>(e));
    }
  }

  float best = len;
  SurfaceIntersection sideA;
  SurfaceIntersection sideB;
  float t;
  Vector3D point;

  // Phase 1: vertices of a against faces of b. A face can only be hit where
  // a passes, so faces clear of a's sweep (with a margin for rounding) are
  // passed over without looking at their corners; and a vertex only meets
  // a face whose box (with the same kind of margin) its path reaches.
  if (!s.candidateVerticesA.empty()) {
    s.pathsA.clear();
    for (int v : s.candidateVerticesA) {
      const Vector3D& p = s.verticesA[static_cast<std::size_t>(v)];
      s.pathsA.emplace_back(p, p + dir * len);
    }
    const std::size_t candidates = s.candidateVerticesA.size();
    for (std::size_t f = 0; f < mb.faces.size(); ++f) {
      const CollisionFace& face = *static_cast<const CollisionFace*>(mb.faces[f]);
      const std::size_t i0 = static_cast<std::size_t>(face.vertex[0]);
      const std::size_t i1 = static_cast<std::size_t>(face.vertex[1]);
      const std::size_t i2 = static_cast<std::size_t>(face.vertex[2]);
      if (s.outsideB[i0] & s.outsideB[i1] & s.outsideB[i2] & 0xFF) continue;
      Vector3D n = turn(rb, mb.faceNormals[f]);
      if (dotProduct(dir, n) > 0.0f) continue;
      const Vector3D& v0 = s.verticesB[i0];
      const Vector3D& v1 = s.verticesB[i1];
      const Vector3D& v2 = s.verticesB[i2];
      const Reach box(v0, v1, v2);
      Vector3D en0, en1, en2;
      bool turned = false;
      for (std::size_t c = 0; c < candidates; ++c) {
        if (box.apart(s.pathsA[c].lo, s.pathsA[c].hi)) continue;
        if (!turned) {
          en0 = turn(rb, face.edgeNormals[0]);
          en1 = turn(rb, face.edgeNormals[1]);
          en2 = turn(rb, face.edgeNormals[2]);
          turned = true;
        }
        const int v = s.candidateVerticesA[c];
        if (collisionmath::rayMeetsFace(s.verticesA[static_cast<std::size_t>(v)], dir, v0, v1, v2, en0,
                                        en1, en2, n, t, point, false, planeLimit(best, len)) &&
            t > 0.0f && t < best) {
          best = t;
          sideA = SurfaceIntersection(-1, -1, v);
          sideB = SurfaceIntersection(static_cast<int>(f), -1, -1);
        }
      }
    }
  }

  // Phase 2: edges of a against edges of b. The boxes of the candidate edges of b, and the box around them all: an
  // edge of a whose strip misses that box meets none of them.
  s.spansB.clear();
  Span allB;
  for (int j : s.candidateEdgesB) {
    const Edge& eb = *mb.edges[static_cast<std::size_t>(j)];
    s.spansB.emplace_back(s.verticesB[static_cast<std::size_t>(eb.vertex0)],
                          s.verticesB[static_cast<std::size_t>(eb.vertex1)]);
    allB = s.spansB.size() == 1 ? s.spansB.back() : allB.with(s.spansB.back());
  }
  if (s.candidateEdgesB.empty()) s.candidateEdgesA.clear();
  for (int i : s.candidateEdgesA) {
    if (dotProduct(dir, s.edgeNormalsA[static_cast<std::size_t>(i)]) < 0.0f) continue;
    const Edge& ea = *ma.edges[static_cast<std::size_t>(i)];
    const Vector3D& a0 = s.verticesA[static_cast<std::size_t>(ea.vertex0)];
    const Vector3D& a1 = s.verticesA[static_cast<std::size_t>(ea.vertex1)];
    // A meeting closer than best lies in the strip that the edge sweeps up
    // to there; edges of b clear of the strip's box are passed over.
    const Reach strip(a0, a1, a0 + dir * best, a1 + dir * best);
    if (strip.apart(allB.lo, allB.hi)) continue;
    const SweptEdge swept(a0, a1, dir);
    for (std::size_t c = 0; c < s.candidateEdgesB.size(); ++c) {
      if (strip.apart(s.spansB[c].lo, s.spansB[c].hi)) continue;
      const int j = s.candidateEdgesB[c];
      const Edge& eb = *mb.edges[static_cast<std::size_t>(j)];
      const Vector3D& b0 = s.verticesB[static_cast<std::size_t>(eb.vertex0)];
      const Vector3D& b1 = s.verticesB[static_cast<std::size_t>(eb.vertex1)];
      if (swept.meets(dir, b0, b1, point, t) && t > 0.0f && t < best) {
        best = t;
        sideA = SurfaceIntersection(-1, i, -1);
        sideB = SurfaceIntersection(-1, j, -1);
      }
    }
  }

  // Phase 3: faces of a against vertices of b, b moving backwards.
  if (!s.candidateVerticesB.empty()) {
    s.pathsB.clear();
    for (int v : s.candidateVerticesB) {
      const Vector3D& p = s.verticesB[static_cast<std::size_t>(v)];
      s.pathsB.emplace_back(p, p + backwards * len);
    }
    const std::size_t candidates = s.candidateVerticesB.size();
    for (std::size_t f = 0; f < ma.faces.size(); ++f) {
      const Vector3D& n = s.faceNormalsA[f];
      if (dotProduct(dir, n) < 0.0f) continue;
      const CollisionFace& face = *static_cast<const CollisionFace*>(ma.faces[f]);
      const Vector3D& v0 = s.verticesA[static_cast<std::size_t>(face.vertex[0])];
      const Vector3D& v1 = s.verticesA[static_cast<std::size_t>(face.vertex[1])];
      const Vector3D& v2 = s.verticesA[static_cast<std::size_t>(face.vertex[2])];
      const Vector3D* en = &s.cornerNormalsA[f * 3];
      const Reach box(v0, v1, v2);
      for (std::size_t c = 0; c < candidates; ++c) {
        if (box.apart(s.pathsB[c].lo, s.pathsB[c].hi)) continue;
        const int v = s.candidateVerticesB[c];
        if (collisionmath::rayMeetsFace(s.verticesB[static_cast<std::size_t>(v)], backwards, v0, v1, v2,
                                        en[0], en[1], en[2], n, t, point, false, planeLimit(best, len)) &&
            t > 0.0f && t < best) {
          best = t;
          sideA = SurfaceIntersection(static_cast<int>(f), -1, -1);
          sideB = SurfaceIntersection(-1, -1, v);
        }
      }
    }
  }

  if (!(best < len)) return nullptr;
  Collision* result = new Collision(a, b, start + dir * best, *b->position);
  result->surfaceA = sideA;
  result->surfaceB = sideB;
  return result;
}

Collision* getMeshCollision(const Collideable*, const Collideable*, const Vector3D&,
                            const Vector3D&) {
  return nullptr;
}

Collision* getCollision(const Collideable* a, const Collideable* b, const Vector3D& newA,
                        const Vector3D& newB) {
  const bool aMoves = newA != *a->position;
  const bool bMoves = newB != *b->position;
  if (a->type == COLLIDEABLE_SPHERE && b->type == COLLIDEABLE_SPHERE) {
    if (!bMoves) return getSphereCollision(a, b, newA);
    if (!aMoves) return getSphereCollision(b, a, newB);
    return getSphereCollision(a, b, newA, newB);
  }
  if (a->type == COLLIDEABLE_SPHERE && b->type == COLLIDEABLE_MESH) {
    if (!bMoves) return getSphereMeshCollision(a, b, newA);
    return getSphereMeshCollision(a, b, newA, newB);
  }
  if (a->type == COLLIDEABLE_MESH && b->type == COLLIDEABLE_SPHERE) {
    if (!aMoves) return getSphereMeshCollision(b, a, newB);
    return getSphereMeshCollision(b, a, newB, newA);
  }
  if (a->type == COLLIDEABLE_MESH && b->type == COLLIDEABLE_MESH) {
    if (!bMoves) return getMeshCollision(a, b, newA);
    if (!aMoves) return getMeshCollision(b, a, newB);
    return getMeshCollision(a, b, newA, newB);
  }
  return nullptr;
}

bool checkEdgeCollision(const Vector3D& a0, const Vector3D& a1, const Vector3D& dir,
                        const Vector3D& b0, const Vector3D& b1, Vector3D& point, float& t) {
  SweptEdge swept(a0, a1, dir);
  return swept.meets(dir, b0, b1, point, t);
}

Collision* getSphereCollision(const Collideable* a, const Collideable* b, const Vector3D& newA) {
  if (!a->sphere || !b->sphere) return nullptr;
  const Vector3D start = *a->position;
  // Where a's position would put the two centres together.
  Vector3D D = b->worldCenter() - a->rotatedCenter();
  Vector3D P = newA == start ? start : closestPointOnLine(start, newA, D);
  float d = (D - P).length();
  float r = a->sphere->radius + b->sphere->radius;
  if (!(d < r)) return nullptr;

  // Back from P towards the start, to where the spheres first touch: the
  // smallest s on the path start + u s with |start + u s - D| = r.
  Vector3D toStart = start - P;
  float pathLength = toStart.length();
  Vector3D u = toStart;
  u.normalize();
  float back = 0.0f;
  if (pathLength >= EPSILON_LENGTH) {
    Vector3D forward = -u;
    Vector3D fromD = start - D;
    float c = lengthSquared(fromD) - r * r;
    float s0 = 0.0f;
    if (c > 0.0f) {
      float bh = dotProduct(forward, fromD);
      float disc = bh * bh - c;
      s0 = -bh - std::sqrt(disc > 0.0f ? disc : 0.0f);
      if (s0 < 0.0f) s0 = 0.0f;
      if (s0 > pathLength) s0 = pathLength;
    }
    back = pathLength - s0;
  }
  return new Collision(a, b, P + u * back, *b->position);
}

Collision* getSphereCollision(const Collideable*, const Collideable*, const Vector3D&,
                              const Vector3D&) {
  return nullptr;
}

Collision* getSphereMeshCollision(const Collideable*, const Collideable*, const Vector3D&) {
  return nullptr;
}

Collision* getSphereMeshCollision(const Collideable*, const Collideable*, const Vector3D&,
                                  const Vector3D&) {
  return nullptr;
}

std::list<Collision*>* getCollisions(const Collideable* a, const std::list<Collideable*>& list,
                                     const Vector3D& newA) {
  auto* result = new std::list<Collision*>();
  if (!a->sphere) return result;
  Vector3D half = (newA - *a->position) / 2.0f;
  Vector3D center = a->worldCenter() + half;
  BoundingSphere sweptSphere(Vector3D(), half.length() + a->sphere->radius);
  Collideable swept(&sweptSphere, &center, nullptr, nullptr, COLLIDEABLE_SPHERE);
  for (const Collideable* e : list) {
    if (!testSphereIntersection(&swept, e)) continue;
    if (Collision* c = getCollision(a, e, newA, *e->position)) result->push_back(c);
  }
  return result;
}

std::list<Collision*>* getSphereCollisions(const CollideableModelObject* a,
                                           const CollideableModelObject* b,
                                           const Vector3D& newA) {
  auto* result = new std::list<Collision*>();
  if (Collision* c = getSphereCollision(static_cast<const Collideable*>(a),
                                        static_cast<const Collideable*>(b), newA)) {
    result->push_back(c);
  }
  for (const Object* child : b->children) {
    const auto* collideable = dynamic_cast<const CollideableModelObject*>(child);
    if (!collideable) continue;
    if (std::list<Collision*>* more = getSphereCollisions(a, collideable, newA)) {
      result->splice(result->end(), *more);
      delete more;
    }
  }
  if (result->empty()) {
    delete result;
    return nullptr;
  }
  return result;
}

}  // namespace ddd
}  // namespace korvu
