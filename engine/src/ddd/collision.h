// Collision result records and the queries of the race.
//
// Static queries say where two collideables touch now (Intersection);
// swept queries say where a moving collideable first touches another
// (Collision). Every answer is a new record that the caller deletes, or a
// null pointer when there is no contact, never an empty record. List forms
// return a new list that the caller deletes together with its entries.
#pragma once

#include <cstdint>
#include <list>
#include <vector>

#include "ddd/collideable.h"
#include "ddd/collisionmodel.h"
#include "mathtypes.h"

namespace korvu {
namespace ddd {

// One side of one contact.
class SurfaceIntersection {
 public:
  // A distance or a ray parameter, as the query defines it; 0 when the
  // query sets none.
  float distance;
  // A direction, as the query defines it.
  Vector3D vector;
  // Face, edge and vertex of that side's collision model involved in the
  // contact; -1 for none.
  int32_t face;
  int32_t edge;
  int32_t vertex;

  SurfaceIntersection() : distance(0.0f), face(-1), edge(-1), vertex(-1) {}
  SurfaceIntersection(float distance, Vector3D vector)
      : distance(distance), vector(vector), face(-1), edge(-1), vertex(-1) {}
  SurfaceIntersection(int face, int edge, int vertex)
      : distance(0.0f), face(face), edge(edge), vertex(vertex) {}
  SurfaceIntersection(float distance, Vector3D vector, int face, int edge, int vertex)
      : distance(distance), vector(vector), face(face), edge(edge), vertex(vertex) {}
};

// The answer of a static query: entry i of surfacesA and entry i of
// surfacesB describe the same contact.
class Intersection {
 public:
  // The sphere of a sphere/mesh query; null for a ray query. Not owned.
  const Collideable* a;
  // The mesh. Not owned.
  const Collideable* b;
  // Entries owned.
  std::vector<SurfaceIntersection*> surfacesA;
  std::vector<SurfaceIntersection*> surfacesB;

  Intersection(const Collideable* a, const Collideable* b) : a(a), b(b) {}
  ~Intersection();
  Intersection(const Intersection&) = delete;
  Intersection& operator=(const Intersection&) = delete;
};

// The answer of a swept query.
class Collision {
 public:
  // The collideable that moves, and the one it runs into. Not owned.
  const Collideable* a;
  const Collideable* b;
  // Where a's position stands at first contact.
  Vector3D position;
  // b's position when the query ran.
  Vector3D positionB;
  // The touching feature of each side (vertex against face or edge against
  // edge).
  SurfaceIntersection surfaceA;
  SurfaceIntersection surfaceB;

  Collision(const Collideable* a, const Collideable* b, const Vector3D& position,
            const Vector3D& positionB)
      : a(a), b(b), position(position), positionB(positionB) {}
};

// ---------------------------------------------------------------------------
// Static queries

// Do a and b touch, by their types (sphere/sphere, sphere/mesh either way;
// mesh/mesh is never answered).
bool testIntersection(const Collideable* a, const Collideable* b);
// Where they touch, by their types; in the mixed cases the record's first
// collideable is the sphere.
Intersection* getIntersection(const Collideable* a, const Collideable* b);

// The two bounding spheres overlap (touching is not enough).
bool testSphereIntersection(const Collideable* a, const Collideable* b);
// Always none.
Intersection* getSphereIntersection(const Collideable* a, const Collideable* b);

// Sphere s against the faces and edges of mesh m. oneSided counts only
// faces the centre lies in front of; facesOnly skips edge contacts.
bool testSphereMeshIntersection(const Collideable* s, const Collideable* m, bool oneSided,
                                bool facesOnly);
// Per face at most one contact: a face contact (a-side distance = signed
// distance of the centre from the plane, vector = the face normal negated,
// in world orientation; b-side face) or the nearest edge within the radius
// (a-side distance and vector from the centre to that edge's nearest point,
// world orientation; b-side face and edge).
Intersection* getSphereMeshIntersection(const Collideable* s, const Collideable* m,
                                        bool oneSided, bool facesOnly);

// Always false / none.
bool testMeshIntersection(const Collideable* a, const Collideable* b);
Intersection* getMeshIntersection(const Collideable* a, const Collideable* b);

// Every face of c that the line through origin along direction crosses,
// from either side and behind the origin too: a-side distance = the ray
// parameter t (in lengths of direction), vector = direction; b-side face.
Intersection* getRayMeshIntersection(const Vector3D& origin, const Vector3D& direction,
                                     const Collideable* c);

// Ray against triangle (V0, V1, V2): t along d from o and the barycentric
// u, v. Without noBounds, only hits inside the triangle count; with
// cullBack, only triangles seen from the front (counter-clockwise).
bool intersectFace(const Vector3D& o, const Vector3D& d, const Vector3D& V0, const Vector3D& V1,
                   const Vector3D& V2, float& t, float& u, float& v, bool noBounds,
                   bool cullBack);

// Ray against a face whose unit normal n and outward in-plane side normals
// en0, en1, en2 are known. maxDist limits the distance of o from the plane
// (and keeps hits in front of o); a negative maxDist means no limit. flag
// has no effect.
bool intersectFace(const Vector3D& o, const Vector3D& d, const Vector3D& V0, const Vector3D& V1,
                   const Vector3D& V2, const Vector3D& en0, const Vector3D& en1,
                   const Vector3D& en2, const Vector3D& n, float& t, Vector3D& point, bool flag,
                   bool cullBack, float maxDist);

// Signed distances of points from the plane through point with normal:
// 1 when all lie strictly in front, -1 when all strictly behind, 0
// otherwise, -2 (nothing written) for no points.
int classifyPoints(const Vector3D& normal, const Vector3D& point,
                   const std::vector<Vector3D>& points, int& maxIndex, int& minIndex,
                   float& maxDist, float& minDist);

// A new list with testIntersection(c, entry) for each entry of others.
std::list<bool>* testIntersections(const Collideable* c, const std::list<Collideable*>& others);
// A new list of the non-null answers of getIntersection(c, entry), in
// order; empty rather than null.
std::list<Intersection*>* getIntersections(const Collideable* c,
                                           const std::list<Collideable*>& others);

// ---------------------------------------------------------------------------
// Swept queries

// Mesh a moving in a straight line from its position to newA while b stays:
// where a first touches b (stop position and the touching features), or
// none when the whole move is free. A contact at distance 0 or exactly at
// the end of the move does not count; among equal distances vertex/face
// wins over edge/edge, which wins over face/vertex.
Collision* getMeshCollision(const Collideable* a, const Collideable* b, const Vector3D& newA);
// Both moving: not answered (always none).
Collision* getMeshCollision(const Collideable* a, const Collideable* b, const Vector3D& newA,
                            const Vector3D& newB);
// By the two types; the mover is the record's first collideable.
Collision* getCollision(const Collideable* a, const Collideable* b, const Vector3D& newA,
                        const Vector3D& newB);
// Edge a0..a1 moving along the unit direction dir against the still edge
// b0..b1: true when they meet at a point strictly inside both, with t the
// distance moved (not negative) and point the contact on edge a at the
// start.
bool checkEdgeCollision(const Vector3D& a0, const Vector3D& a1, const Vector3D& dir,
                        const Vector3D& b0, const Vector3D& b1, Vector3D& point, float& t);
// Sphere a moving to newA against sphere b: where a's position stands when
// the spheres first touch along the move.
Collision* getSphereCollision(const Collideable* a, const Collideable* b, const Vector3D& newA);
// Not answered (always none).
Collision* getSphereCollision(const Collideable* a, const Collideable* b, const Vector3D& newA,
                              const Vector3D& newB);
Collision* getSphereMeshCollision(const Collideable* a, const Collideable* b,
                                  const Vector3D& newA);
Collision* getSphereMeshCollision(const Collideable* a, const Collideable* b,
                                  const Vector3D& newA, const Vector3D& newB);
// a moving to newA against every entry of list whose sphere its swept
// sphere overlaps; a new list, possibly empty, never null.
std::list<Collision*>* getCollisions(const Collideable* a, const std::list<Collideable*>& list,
                                     const Vector3D& newA);
// Sphere collisions of a against b and, recursively, b's collideable
// children; none rather than an empty list.
std::list<Collision*>* getSphereCollisions(const CollideableModelObject* a,
                                           const CollideableModelObject* b,
                                           const Vector3D& newA);

}  // namespace ddd
}  // namespace korvu
