// The point quadtree and the scene node that keeps objects in one.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <list>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ddd/quadtree.h"

using korvu::Matrix3D;
using korvu::Quadtree;
using korvu::Vector2D;
using korvu::Vector3D;
using korvu::ddd::Object;
using korvu::ddd::QuadtreeObject;

namespace {

std::list<int> query(const Quadtree<int>& tree, Vector2D max, Vector2D min) {
  std::list<int> out;
  tree.getObjects(max, min, &out);
  out.sort();
  return out;
}

std::list<int> frustum(const Quadtree<int>& tree, Vector2D max, Vector2D min, Vector2D dir, float angle) {
  std::list<int> out;
  tree.getObjectsFrustumView(max, min, dir, angle, &out);
  out.sort();
  return out;
}

// Counts its frame passes and deletions.
struct CountingObject : Object {
  int* passes;
  int* deleted;
  CountingObject(int* passes_, int* deleted_) : passes(passes_), deleted(deleted_) {}
  ~CountingObject() override {
    if (deleted) ++*deleted;
  }
  void buildFrameData() override { ++*passes; }
};

}  // namespace

TEST(Quadtree, RefusesPositionsOutsideItsRectangle) {
  Quadtree<int> tree(100, 100, 0, 0, 0);
  ::testing::internal::CaptureStdout();
  tree.put(1, Vector2D(50, -50));
  tree.put(2, Vector2D(-50, 50));
  std::string quiet = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ("", quiet) << "corners are inside";

  ::testing::internal::CaptureStdout();
  tree.put(3, Vector2D(50.001f, 0));
  tree.put(4, Vector2D(0, -50.01f));
  tree.put(5, Vector2D(std::nanf(""), 0));
  std::string log = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(std::string::npos, log.find("(warning) Quadtree ignoring object at pos 50.001/0.000.\n")) << log;
  EXPECT_NE(std::string::npos, log.find("Quadtree ignoring object at pos 0.000/-50.010.")) << log;
  EXPECT_NE(std::string::npos, log.find("Quadtree ignoring object at pos nan/0.000.")) << log;

  EXPECT_EQ((std::list<int>{1, 2}), query(tree, Vector2D(1000, 1000), Vector2D(-1000, -1000)));

  // A root without extent takes nothing but its centre.
  Quadtree<int> unset;
  EXPECT_EQ(9, unset.maxDepth);
  EXPECT_EQ(0, unset.depth);
  ::testing::internal::CaptureStdout();
  unset.put(1, Vector2D(0.5f, 0));
  unset.put(2, Vector2D(0, 0));
  EXPECT_NE(std::string::npos, ::testing::internal::GetCapturedStdout().find("ignoring"));
  EXPECT_EQ((std::list<int>{2}), query(unset, Vector2D(1, 1), Vector2D(-1, -1)));
}

TEST(Quadtree, SplitsIntoQuadrantsByTheCentreLines) {
  Quadtree<int> tree(100, 60, 10, 20, 0);
  tree.put(1, Vector2D(10, 25));  // on the vertical centre line, above: 0
  ASSERT_TRUE(tree.isLeaf());
  EXPECT_EQ(Vector2D(10, 25), tree.itemPosition);
  tree.put(2, Vector2D(10, 20));  // the centre itself: 3
  tree.put(3, Vector2D(9, 20));   // left, on the horizontal line: 2
  tree.put(4, Vector2D(-40, 50)); // the upper left corner: 1
  ASSERT_FALSE(tree.isLeaf());
  EXPECT_TRUE(tree.items.empty());
  EXPECT_EQ(Vector2D(0, 0), tree.itemPosition);
  const int expected[4] = {1, 4, 3, 2};
  const double centreX[4] = {35, -15, -15, 35}, centreY[4] = {35, 35, 5, 5};
  for (int q = 0; q < 4; ++q) {
    const Quadtree<int>* child = tree.quadrants[q];
    ASSERT_NE(nullptr, child) << q;
    EXPECT_EQ(std::list<int>{expected[q]}, child->items) << q;
    EXPECT_DOUBLE_EQ(50, child->width);
    EXPECT_DOUBLE_EQ(30, child->height);
    EXPECT_DOUBLE_EQ(centreX[q], child->centerX);
    EXPECT_DOUBLE_EQ(centreY[q], child->centerY);
    EXPECT_EQ(1, child->depth);
    EXPECT_TRUE(child->isLeaf());
  }
}

TEST(Quadtree, ItemsAtOnePositionShareALeafAtTheDepthLimit) {
  Quadtree<int> tree(1024, 1024, 0, 0, 0);
  tree.put(1, Vector2D(100, 100));
  tree.put(2, Vector2D(100, 100));
  tree.put(3, Vector2D(100, 100));
  tree.put(4, Vector2D(-300, 10));
  const Quadtree<int>* node = &tree;
  int levels = 0;
  while (!node->isLeaf()) {
    int children = 0;
    const Quadtree<int>* next = nullptr;
    for (const Quadtree<int>* q : node->quadrants) {
      if (q && q->items.size() != 1) {
        next = q;
        ++children;
      }
    }
    ASSERT_EQ(1, children) << "one branch carries the shared position";
    node = next;
    ++levels;
    EXPECT_EQ(levels, node->depth);
  }
  EXPECT_EQ(9, levels);
  EXPECT_EQ((std::list<int>{1, 2, 3}), node->items);
  EXPECT_EQ(Vector2D(100, 100), node->itemPosition);
  EXPECT_EQ((std::list<int>{1, 2, 3}), query(tree, Vector2D(100, 100), Vector2D(100, 100)));
  EXPECT_EQ((std::list<int>{1, 2, 3, 4}), query(tree, Vector2D(512, 512), Vector2D(-512, -512)));

  // A lower depth limit stops the split earlier.
  Quadtree<int> shallow(1024, 1024, 0, 0, 0);
  shallow.maxDepth = 2;
  shallow.put(1, Vector2D(5, 5));
  shallow.put(2, Vector2D(6, 6));
  ASSERT_NE(nullptr, shallow.quadrants[0]);
  ASSERT_NE(nullptr, shallow.quadrants[0]->quadrants[2]);
  EXPECT_EQ((std::list<int>{1, 2}), shallow.quadrants[0]->quadrants[2]->items);
  EXPECT_EQ(2, shallow.quadrants[0]->quadrants[2]->depth);
}

TEST(Quadtree, RectangleQueryMatchesADirectScan) {
  Quadtree<int> tree(2000, 1000, 100, -50, 0);
  std::vector<Vector2D> positions;
  std::srand(7);
  for (int i = 0; i < 600; ++i) {
    // Some on a coarse grid so that box edges pass through positions.
    Vector2D p = (i % 3 == 0) ? Vector2D(static_cast<float>(std::rand() % 20 * 100 - 900),
                                         static_cast<float>(std::rand() % 10 * 100 - 550))
                              : Vector2D(std::rand() / (float)RAND_MAX * 2000 - 900,
                                         std::rand() / (float)RAND_MAX * 1000 - 550);
    positions.push_back(p);
    tree.put(i, p);
  }
  for (int b = 0; b < 200; ++b) {
    Vector2D a(static_cast<float>(std::rand() % 22 * 100 - 1000), static_cast<float>(std::rand() % 12 * 100 - 650));
    Vector2D c(static_cast<float>(std::rand() % 22 * 100 - 1000), static_cast<float>(std::rand() % 12 * 100 - 650));
    Vector2D min(std::min(a.x, c.x), std::min(a.y, c.y)), max(std::max(a.x, c.x), std::max(a.y, c.y));
    std::list<int> expected;
    for (int i = 0; i < (int)positions.size(); ++i) {
      const Vector2D& p = positions[i];
      if (min.x <= p.x && p.x <= max.x && min.y <= p.y && p.y <= max.y) expected.push_back(i);
    }
    ASSERT_EQ(expected, query(tree, max, min)) << "box " << min.x << "," << min.y << " " << max.x << "," << max.y;
  }
  // The result is appended, never cleared; an inverted box finds nothing.
  std::list<int> out{-1};
  tree.getObjects(Vector2D(2000, 2000), Vector2D(-2000, -2000), &out);
  EXPECT_EQ(601u, out.size());
  EXPECT_EQ(-1, out.front());
  EXPECT_TRUE(query(tree, Vector2D(-2000, -2000), Vector2D(2000, 2000)).empty());
}

TEST(Quadtree, FrustumQueryTakesTheViewConeAndTheEyesSurroundings) {
  Quadtree<int> tree(1000, 1000, 0, 0, 0);
  tree.put(1, Vector2D(200, 0));     // 45 degrees from the eye at (0, -200)
  tree.put(2, Vector2D(200, -150));  // 76 degrees, 206 units from the eye
  tree.put(3, Vector2D(100, -180));  // 79 degrees but 102 units from the eye
  tree.put(4, Vector2D(0, 250));     // straight ahead, outside the box
  tree.put(5, Vector2D(0, 0));       // straight ahead
  tree.put(6, Vector2D(-200, 200));  // on the box corner, 27 degrees
  EXPECT_EQ((std::list<int>{1, 3, 5, 6}), frustum(tree, Vector2D(200, 200), Vector2D(-200, -200), Vector2D(0, 1), 50));
  // A narrower cone keeps the items close to the eye and straight ahead.
  EXPECT_EQ((std::list<int>{3, 5}), frustum(tree, Vector2D(200, 200), Vector2D(-200, -200), Vector2D(0, 1), 20));
  // Without a view direction only the distance decides (eye at the centre).
  EXPECT_EQ((std::list<int>{5}), frustum(tree, Vector2D(200, 200), Vector2D(-200, -200), Vector2D(0, 0), 50));
}

TEST(Quadtree, FrustumQueryNeverSeesStraightBehind) {
  // Positions straight behind the eye whose cosine rounds just below -1.
  struct Case {
    Vector2D dir, behind;
  };
  for (const Case& c : {Case{Vector2D(-0.871937096118927f, 0.5164604783058167f), Vector2D(449.9150085449219f, -266.4909362792969f)},
                        Case{Vector2D(-0.3799666166305542f, -0.5549243092536926f), Vector2D(232.43069458007812f, 339.4546813964844f)},
                        Case{Vector2D(0.9003223180770874f, 0.8547544479370117f), Vector2D(-315.0595703125f, -299.1134948730469f)},
                        Case{Vector2D(0, 1), Vector2D(0, -400)}}) {
    Quadtree<int> tree(2000, 2000, 0, 0, 0);
    tree.put(1, c.behind);
    EXPECT_TRUE(frustum(tree, Vector2D(1000, 1000), Vector2D(-1000, -1000), c.dir, 50).empty())
        << c.behind.x << "," << c.behind.y;
    // Straight ahead at the same distance is seen.
    Quadtree<int> ahead(2000, 2000, 0, 0, 0);
    Vector2D eye = c.dir * -200.0f;
    ahead.put(2, eye + (eye - c.behind));
    EXPECT_EQ(std::list<int>{2}, frustum(ahead, Vector2D(1000, 1000), Vector2D(-1000, -1000), c.dir, 50));
  }
}

TEST(QuadtreeObject, FilesObjectsAndProcessesTheChosenOnes) {
  int passes[4] = {0, 0, 0, 0};
  int deleted = 0;
  int childPasses = 0;
  {
    QuadtreeObject node;
    node.quadtree.width = 200;
    node.quadtree.height = 200;
    CountingObject* objects[3];
    const Vector3D where[3] = {{10, 5, 20}, {-50, 0, -50}, {60, 0, 70}};
    for (int i = 0; i < 3; ++i) {
      objects[i] = new CountingObject(&passes[i], &deleted);
      objects[i]->position = where[i];
      node += objects[i];
      EXPECT_EQ(&node, objects[i]->parent);
    }
    EXPECT_TRUE(node.children.empty());
    CountingObject* always = new CountingObject(&childPasses, &deleted);
    node.Object::operator+=(always);

    // Filed by x and z, where they stood when added.
    objects[0]->position = Vector3D(-90, 0, -90);
    std::list<Object*> found;
    node.quadtree.getObjects(Vector2D(30, 30), Vector2D(0, 0), &found);
    EXPECT_EQ(std::list<Object*>{objects[0]}, found);

    // No choice: every active object.
    objects[2]->active = false;
    node.process(Matrix3D());
    EXPECT_EQ(1, passes[0]);
    EXPECT_EQ(1, passes[1]);
    EXPECT_EQ(0, passes[2]);
    EXPECT_EQ(1, childPasses);
    // Their world matrices hang under the node's.
    EXPECT_FLOAT_EQ(-90, objects[0]->worldPosition.x);

    // An empty choice: none of them, but still the ordinary children.
    std::list<Object*> none;
    node.visible = &none;
    node.process(Matrix3D());
    EXPECT_EQ(1, passes[0]);
    EXPECT_EQ(1, passes[1]);
    EXPECT_EQ(2, childPasses);

    // A choice from the quadtree.
    std::list<Object*> chosen;
    node.quadtree.getObjects(Vector2D(0, 0), Vector2D(-100, -100), &chosen);
    node.visible = &chosen;
    node.process(Matrix3D());
    EXPECT_EQ(1, passes[0]);
    EXPECT_EQ(2, passes[1]);

    // Taken out of the list, an object stays in the quadtree (and is the
    // caller's to delete).
    node -= objects[1];
    node -= objects[1];
    EXPECT_EQ(2u, node.objects.size());
    std::list<Object*> stillFiled;
    node.quadtree.getObjects(Vector2D(-40, -40), Vector2D(-60, -60), &stillFiled);
    EXPECT_EQ(std::list<Object*>{objects[1]}, stillFiled);
    node.visible = nullptr;
    delete objects[1];
    EXPECT_EQ(1, deleted);
  }
  // The node deleted its two objects and its child.
  EXPECT_EQ(4, deleted);
}

TEST(QuadtreeObject, TakesObjectsOverFromAnEarlierParent) {
  int passes = 0, deleted = 0;
  Object* elsewhere = new Object();
  QuadtreeObject* node = new QuadtreeObject();
  node->quadtree.width = node->quadtree.height = 10;
  CountingObject* object = new CountingObject(&passes, &deleted);
  *elsewhere += object;
  *node += object;
  EXPECT_EQ(node, object->parent);
  EXPECT_TRUE(elsewhere->children.empty());
  // Deleting both owners deletes the object once.
  delete elsewhere;
  EXPECT_EQ(0, deleted);
  delete node;
  EXPECT_EQ(1, deleted);

  // Added twice, deleted once; a refused position still joins the list.
  QuadtreeObject other;
  other.quadtree.width = other.quadtree.height = 10;
  CountingObject* twice = new CountingObject(&passes, &deleted);
  CountingObject* far = new CountingObject(&passes, &deleted);
  far->position = Vector3D(100, 0, 0);
  other += twice;
  other += twice;
  ::testing::internal::CaptureStdout();
  other += far;
  EXPECT_NE(std::string::npos, ::testing::internal::GetCapturedStdout().find("Quadtree ignoring object at pos 100.000/0.000."));
  EXPECT_EQ(3u, other.objects.size());
  other.clear();
  EXPECT_TRUE(other.objects.empty());
  EXPECT_EQ(3, deleted);
}
