// A point quadtree that files items by a 2D position inside a rectangle, one
// item per leaf, splitting a leaf into quadrants when a second item arrives;
// and the scene node that keeps scenery objects in such a tree and lets its
// owner choose, per rendered view, which of them the frame pass processes.
#pragma once

#include <cmath>
#include <list>

#include "ddd/object.h"
#include "debug.h"
#include "mathtypes.h"

namespace korvu {

// Items are indexed once and stay until the tree is destroyed; the tree does
// not own them. Quadrants, for a point (x, y) and the node's centre (cx, cy):
// 0 for x >= cx, y > cy; 1 for x < cx, y > cy; 2 for x < cx, y <= cy;
// 3 for x >= cx, y <= cy.
template <typename T>
class Quadtree {
 public:
  // The items of a leaf; empty in an inner node.
  std::list<T> items;
  // Position of the leaf's first item; (0, 0) in an inner node or empty leaf.
  Vector2D itemPosition;
  // Child nodes, created on demand; all null in a leaf. Owned.
  Quadtree<T>* quadrants[4];
  // The node's rectangle: centre +- size / 2 on each axis, bounds included.
  double width;
  double height;
  double centerX;
  double centerY;
  // Below this depth a leaf splits when a second item arrives; at it, items
  // pile up in one leaf.
  int maxDepth;
  // 0 at the root.
  int depth;

  // An empty root at (0, 0) without extent: the owner sets width and height
  // before the first put (until then every position but the centre is
  // refused).
  Quadtree() : Quadtree(0.0, 0.0, 0.0, 0.0, 0) {}
  Quadtree(double width_, double height_, double centerX_, double centerY_, int depth_)
      : itemPosition(0.0f, 0.0f),
        quadrants{nullptr, nullptr, nullptr, nullptr},
        width(width_),
        height(height_),
        centerX(centerX_),
        centerY(centerY_),
        maxDepth(9),
        depth(depth_) {}
  ~Quadtree() {
    for (Quadtree<T>*& q : quadrants) {
      delete q;
      q = nullptr;
    }
  }
  Quadtree(const Quadtree&) = delete;
  Quadtree& operator=(const Quadtree&) = delete;

  bool isLeaf() const {
    return quadrants[0] == nullptr && quadrants[1] == nullptr && quadrants[2] == nullptr &&
           quadrants[3] == nullptr;
  }

  // Files the item at the position; a position outside the rectangle (or
  // not a number) is refused with a warning.
  void put(T item, Vector2D position) {
    const double x = position.x;
    const double y = position.y;
    if (!(x >= centerX - 0.5 * width && x <= centerX + 0.5 * width &&
          y >= centerY - 0.5 * height && y <= centerY + 0.5 * height)) {
      debug::warning(dbgCore, "Quadtree ignoring object at pos %.3f/%.3f.", x, y);
      return;
    }
    file(item, position);
  }

  // Below an inner node: into the quadrant of the position.
  void divided(T item, Vector2D position) { quadrant(position)->file(item, position); }

  // At a leaf holding one item: both the old and the new item move down into
  // their quadrants (which splits again while they share one).
  void subdivide(T item, Vector2D position) {
    if (!items.empty()) {
      T first = items.front();
      const Vector2D firstPosition = itemPosition;
      items.clear();
      itemPosition = Vector2D(0.0f, 0.0f);
      quadrant(firstPosition)->file(first, firstPosition);
    }
    quadrant(position)->file(item, position);
  }

  // Appends the items of every leaf whose position lies in the box from min
  // to max (bounds included). out is not cleared.
  void getObjects(Vector2D max, Vector2D min, std::list<T>* out) const {
    if (out == nullptr) return;
    collect(max, min, out, [&](const Vector2D& p) { return inBox(p, max, min); });
  }

  // Appends the items of every leaf in the box that is also within maxAngle
  // degrees of viewDir, seen from an eye 200 units behind the box centre, or
  // within 150 units of that eye. out is not cleared.
  void getObjectsFrustumView(Vector2D max, Vector2D min, Vector2D viewDir, float maxAngle,
                             std::list<T>* out) const {
    if (out == nullptr) return;
    const Vector2D eye = (min + (max - min) * 0.5f) - viewDir * 200.0f;
    const float dirLength = std::sqrt(viewDir.x * viewDir.x + viewDir.y * viewDir.y);
    collect(max, min, out, [&](const Vector2D& p) {
      if (!inBox(p, max, min)) return false;
      const Vector2D v = p - eye;
      const float distance = std::sqrt(v.x * v.x + v.y * v.y);
      const float cosine = (v.x * viewDir.x + v.y * viewDir.y) / (dirLength * distance);
      // Rounding may push the cosine just past +-1; straight ahead is 0
      // degrees, straight behind 180. A zero vector gives no angle at all,
      // and the distance alone decides.
      float angle;
      if (cosine > 1.0f) {
        angle = 0.0f;
      } else if (cosine < -1.0f) {
        angle = 180.0f;
      } else {
        angle = static_cast<float>(std::acos(cosine) * 180.0 / 3.141592654);
      }
      return angle <= maxAngle || distance <= 150.0f;
    });
  }

 private:
  static bool inBox(const Vector2D& p, const Vector2D& max, const Vector2D& min) {
    return min.x <= p.x && p.x <= max.x && min.y <= p.y && p.y <= max.y;
  }

  int quadrantIndex(const Vector2D& p) const {
    if (p.y > centerY) return p.x >= centerX ? 0 : 1;
    return p.x >= centerX ? 3 : 2;
  }

  // The quadrant of the position, created when missing.
  Quadtree<T>* quadrant(const Vector2D& p) {
    const int q = quadrantIndex(p);
    if (quadrants[q] == nullptr) {
      const double dx = (q == 0 || q == 3) ? width / 4.0 : -width / 4.0;
      const double dy = (q == 0 || q == 1) ? height / 4.0 : -height / 4.0;
      quadrants[q] = new Quadtree<T>(width / 2.0, height / 2.0, centerX + dx, centerY + dy, depth + 1);
      quadrants[q]->maxDepth = maxDepth;
    }
    return quadrants[q];
  }

  // Files a position the root has accepted; the quadrant rule keeps it
  // inside every quadrant it descends into, so bounds are tested only once.
  void file(T item, const Vector2D& position) {
    if (!isLeaf()) {
      divided(item, position);
    } else if (items.empty()) {
      items.push_back(item);
      itemPosition = position;
    } else if (depth + 1 <= maxDepth) {
      subdivide(item, position);
    } else {
      items.push_back(item);
    }
  }

  // Visits the leaves below this node that may meet the box and appends the
  // items of those whose position passes the test.
  template <typename LeafTest>
  void collect(const Vector2D& max, const Vector2D& min, std::list<T>* out, const LeafTest& test) const {
    if (isLeaf()) {
      if (!items.empty() && test(itemPosition)) out->insert(out->end(), items.begin(), items.end());
      return;
    }
    for (const Quadtree<T>* q : quadrants) {
      if (q == nullptr) continue;
      // A little slack keeps rounding of the rectangle from skipping a
      // quadrant whose edge runs through the box edge; the leaf test is
      // exact anyway.
      const double slackX = q->width * 1e-6 + 1e-6;
      const double slackY = q->height * 1e-6 + 1e-6;
      if (max.x < q->centerX - 0.5 * q->width - slackX || min.x > q->centerX + 0.5 * q->width + slackX ||
          max.y < q->centerY - 0.5 * q->height - slackY || min.y > q->centerY + 0.5 * q->height + slackY) {
        continue;
      }
      q->collect(max, min, out, test);
    }
  }
};

namespace ddd {

// A scene node that keeps scenery objects in a list and, by their (x, z)
// position, in a quadtree. The owner points `visible` at the objects a view
// needs (from the quadtree's queries); null means all of them.
class QuadtreeObject : public Object {
 public:
  // The index of the objects by (position.x, position.z); the owner sets its
  // width and height before objects are added.
  Quadtree<Object*> quadtree;
  // Every object added with operator+=, in order; owned.
  std::list<Object*> objects;
  // The objects for the next frame pass; null for all. Not owned.
  std::list<Object*>* visible;

  QuadtreeObject();
  ~QuadtreeObject() override;

  // Files the object at its current (x, z) position and takes it over; it
  // hangs under this node but not among its children.
  void operator+=(Object* object);
  // Drops every occurrence from the list; the quadtree entry stays, so the
  // object must outlive the tree's queries.
  void operator-=(Object* object);
  // Deletes every object of the list (for the end of the node's life: the
  // quadtree keeps its entries).
  void clear();

  // Runs the frame pass of the selected objects before the node's children.
  void buildFrameData() override;
};

}  // namespace ddd
}  // namespace korvu
