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

std::list<int> frustum(const Quadtree<int>& tree, float half, Vector2D dir, float angle) {
  std::list<int> out;
  tree.getObjectsFrustumView(Vector2D(half, half), Vector2D(-half, -half), dir, angle, &out);
  out.sort();
  return out;
}

// Counts its frame passes and deletions.
struct CountingObject : Object {
  int* passes;
  int* deleted;
  CountingObject(int* p, int* d, Vector3D at = Vector3D()) : passes(p), deleted(d) { position = at; }
  ~CountingObject() override { ++*deleted; }
  void buildFrameData() override { ++*passes; }
};

}  // namespace

TEST(Quadtree, RefusesPositionsOutsideItsRectangle) {
  Quadtree<int> tree(100, 100, 0, 0, 0);
  ::testing::internal::CaptureStdout();
  tree.put(1, Vector2D(50, -50));
  tree.put(2, Vector2D(-50, 50));
  EXPECT_EQ("", ::testing::internal::GetCapturedStdout()) << "corners are inside";
  ::testing::internal::CaptureStdout();
  tree.put(3, Vector2D(50.001f, 0));
  tree.put(4, Vector2D(0, std::nanf("")));
  std::string log = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(std::string::npos, log.find("(warning) Quadtree ignoring object at pos 50.001/0.000.\n")) << log;
  EXPECT_NE(std::string::npos, log.find("Quadtree ignoring object at pos 0.000/nan.")) << log;
  EXPECT_EQ((std::list<int>{1, 2}), query(tree, Vector2D(1000, 1000), Vector2D(-1000, -1000)));

  // A root whose size is not set yet takes nothing but its centre.
  Quadtree<int> unset;
  ::testing::internal::CaptureStdout();
  unset.put(1, Vector2D(0.5f, 0));
  unset.put(2, Vector2D(0, 0));
  EXPECT_NE(std::string::npos, ::testing::internal::GetCapturedStdout().find("ignoring"));
  EXPECT_EQ((std::list<int>{2}), query(unset, Vector2D(1, 1), Vector2D(-1, -1)));
}

TEST(Quadtree, SplitsByTheCentreLinesDownToTheDepthLimit) {
  Quadtree<int> tree(100, 60, 10, 20, 0);
  tree.put(1, Vector2D(10, 25));   // on the vertical centre line, above: 0
  tree.put(2, Vector2D(10, 20));   // the centre itself: 3
  tree.put(3, Vector2D(9, 20));    // left, on the horizontal line: 2
  tree.put(4, Vector2D(-40, 50));  // the upper left corner: 1
  EXPECT_TRUE(tree.items.empty());
  const int expected[4] = {1, 4, 3, 2};
  const double centreX[4] = {35, -15, -15, 35}, centreY[4] = {35, 35, 5, 5};
  for (int q = 0; q < 4; ++q) {
    const Quadtree<int>* child = tree.quadrants[q];
    ASSERT_NE(nullptr, child) << q;
    EXPECT_EQ(std::list<int>{expected[q]}, child->items) << q;
    EXPECT_EQ(50, child->width);
    EXPECT_EQ(30, child->height);
    EXPECT_EQ(centreX[q], child->centerX);
    EXPECT_EQ(centreY[q], child->centerY);
    EXPECT_EQ(1, child->depth);
  }

  // Items at one position split the tree down to depth 9 and share a leaf.
  Quadtree<int> deep(1024, 1024, 0, 0, 0);
  for (int i = 1; i <= 3; ++i) deep.put(i, Vector2D(100, 100));
  deep.put(4, Vector2D(-300, 10));
  const Quadtree<int>* node = deep.quadrants[0];
  while (node && !node->isLeaf()) {
    EXPECT_EQ(1, 4 - std::count(node->quadrants, node->quadrants + 4, nullptr)) << node->depth;
    node = *std::find_if(node->quadrants, node->quadrants + 4, [](const Quadtree<int>* q) { return q != nullptr; });
  }
  ASSERT_NE(nullptr, node);
  EXPECT_EQ(9, node->depth);
  EXPECT_EQ((std::list<int>{1, 2, 3}), node->items);
  EXPECT_EQ((std::list<int>{1, 2, 3}), query(deep, Vector2D(100, 100), Vector2D(100, 100)));
}

TEST(Quadtree, RectangleQueryMatchesADirectScan) {
  Quadtree<int> tree(2000, 1000, 100, -50, 0);
  std::vector<Vector2D> positions;
  std::srand(7);
  auto grid = [](int n, int step, int offset) { return static_cast<float>(std::rand() % n * step - offset); };
  for (int i = 0; i < 600; ++i) {
    // A third on a grid, so that box edges pass exactly through positions.
    Vector2D p = (i % 3 == 0) ? Vector2D(grid(20, 100, 900), grid(10, 100, 550))
                              : Vector2D(std::rand() % 200000 / 100.0f - 900, std::rand() % 100000 / 100.0f - 550);
    positions.push_back(p);
    tree.put(i, p);
  }
  for (int b = 0; b < 200; ++b) {
    Vector2D a(grid(22, 100, 1000), grid(12, 100, 650)), c(grid(22, 100, 1000), grid(12, 100, 650));
    Vector2D min(std::min(a.x, c.x), std::min(a.y, c.y)), max(std::max(a.x, c.x), std::max(a.y, c.y));
    std::list<int> expected;
    for (int i = 0; i < 600; ++i) {
      const Vector2D& p = positions[i];
      if (min.x <= p.x && p.x <= max.x && min.y <= p.y && p.y <= max.y) expected.push_back(i);
    }
    ASSERT_EQ(expected, query(tree, max, min)) << min.x << "," << min.y << " " << max.x << "," << max.y;
  }
  // Appended, never cleared.
  std::list<int> out{-1};
  tree.getObjects(Vector2D(2000, 2000), Vector2D(-2000, -2000), &out);
  EXPECT_EQ(601u, out.size());
  EXPECT_EQ(-1, out.front());
}

TEST(Quadtree, FrustumQueryTakesTheViewConeAndTheEyesSurroundings) {
  Quadtree<int> tree(1000, 1000, 0, 0, 0);
  tree.put(1, Vector2D(200, 0));     // 45 degrees from the eye at (0, -200)
  tree.put(2, Vector2D(200, -150));  // 76 degrees, 206 units from the eye
  tree.put(3, Vector2D(100, -180));  // 79 degrees but 102 units from the eye
  tree.put(4, Vector2D(0, 250));     // straight ahead, outside the box
  tree.put(5, Vector2D(0, 0));       // straight ahead
  tree.put(6, Vector2D(-200, 200));  // on the box corner, 27 degrees
  EXPECT_EQ((std::list<int>{1, 3, 5, 6}), frustum(tree, 200, Vector2D(0, 1), 50));
  EXPECT_EQ((std::list<int>{3, 5}), frustum(tree, 200, Vector2D(0, 1), 20));
  // Without a view direction only the distance decides (eye at the centre).
  EXPECT_EQ((std::list<int>{5}), frustum(tree, 200, Vector2D(0, 0), 50));

  // Straight behind the eye, where the cosine rounds just below -1: never
  // seen; straight ahead at the same distance: seen.
  const Vector2D cases[4][2] = {{{-0.871937096f, 0.516460478f}, {449.915009f, -266.490936f}},
                                {{-0.379966617f, -0.554924309f}, {232.430695f, 339.454681f}},
                                {{0.900322318f, 0.854754448f}, {-315.059570f, -299.113495f}},
                                {{0, 1}, {0, -400}}};
  for (const auto& c : cases) {
    Quadtree<int> behind(2000, 2000, 0, 0, 0), ahead(2000, 2000, 0, 0, 0);
    const Vector2D eye = c[0] * -200.0f;
    behind.put(1, c[1]);
    ahead.put(2, eye + (eye - c[1]));
    EXPECT_TRUE(frustum(behind, 1000, c[0], 50).empty()) << c[1].x << "," << c[1].y;
    EXPECT_EQ(std::list<int>{2}, frustum(ahead, 1000, c[0], 50));
  }
}

TEST(QuadtreeObject, FilesObjectsAndProcessesTheChosenOnes) {
  int passes[3] = {0, 0, 0}, childPasses = 0, deleted = 0;
  {
    QuadtreeObject node;
    node.quadtree.width = node.quadtree.height = 200;
    const Vector3D where[3] = {{10, 5, 20}, {-50, 0, -50}, {60, 0, 70}};
    CountingObject* objects[3];
    for (int i = 0; i < 3; ++i) {
      node += objects[i] = new CountingObject(&passes[i], &deleted, where[i]);
      EXPECT_EQ(&node, objects[i]->parent);
    }
    EXPECT_TRUE(node.children.empty());
    node.Object::operator+=(new CountingObject(&childPasses, &deleted));

    // Filed by x and z where they stood when added.
    objects[0]->position = Vector3D(-90, 0, -90);
    std::list<Object*> found;
    node.quadtree.getObjects(Vector2D(30, 30), Vector2D(0, 0), &found);
    EXPECT_EQ(std::list<Object*>{objects[0]}, found);

    // No choice: every active object, under the node's matrix.
    objects[2]->active = false;
    node.position = Vector3D(1000, 0, 0);
    node.process(Matrix3D());
    EXPECT_EQ((std::vector<int>{1, 1, 0, 1}), (std::vector<int>{passes[0], passes[1], passes[2], childPasses}));
    EXPECT_EQ(910, objects[0]->worldPosition.x);
    // An empty choice: none of them, but still the ordinary children.
    std::list<Object*> chosen;
    node.visible = &chosen;
    node.process(Matrix3D());
    EXPECT_EQ((std::vector<int>{1, 1, 0, 2}), (std::vector<int>{passes[0], passes[1], passes[2], childPasses}));
    node.quadtree.getObjects(Vector2D(0, 0), Vector2D(-100, -100), &chosen);
    node.process(Matrix3D());
    EXPECT_EQ((std::vector<int>{1, 2, 0, 3}), (std::vector<int>{passes[0], passes[1], passes[2], childPasses}));

    // Taken out of the list, an object stays filed and is the caller's.
    node -= objects[1];
    EXPECT_EQ(2u, node.objects.size());
    std::list<Object*> stillFiled;
    node.quadtree.getObjects(Vector2D(-40, -40), Vector2D(-60, -60), &stillFiled);
    EXPECT_EQ(std::list<Object*>{objects[1]}, stillFiled);
    node.visible = nullptr;
    delete objects[1];
  }
  EXPECT_EQ(4, deleted);
}

TEST(QuadtreeObject, OwnsEachObjectOnce) {
  int passes = 0, deleted = 0;
  // Taken over from an earlier parent: deleting both deletes it once.
  Object* elsewhere = new Object();
  QuadtreeObject* node = new QuadtreeObject();
  node->quadtree.width = node->quadtree.height = 10;
  CountingObject* object = new CountingObject(&passes, &deleted);
  *elsewhere += object;
  *node += object;
  EXPECT_TRUE(elsewhere->children.empty());
  delete elsewhere;
  delete node;
  EXPECT_EQ(1, deleted);

  // Added twice, deleted once; a refused position still joins the list.
  QuadtreeObject other;
  other.quadtree.width = other.quadtree.height = 10;
  CountingObject* twice = new CountingObject(&passes, &deleted);
  other += twice;
  other += twice;
  ::testing::internal::CaptureStdout();
  other += new CountingObject(&passes, &deleted, Vector3D(100, 0, 0));
  EXPECT_NE(std::string::npos, ::testing::internal::GetCapturedStdout().find("ignoring object at pos 100.000/0.000."));
  EXPECT_EQ(3u, other.objects.size());
  other.clear();
  EXPECT_TRUE(other.objects.empty());
  EXPECT_EQ(3, deleted);
}
