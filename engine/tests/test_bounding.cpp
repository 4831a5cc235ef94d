// Bounding boxes and spheres of model vertices.
#include <gtest/gtest.h>

#include "ddd/bounding.h"
#include "test_geometry.h"

using namespace korvu;
using namespace korvu::ddd;

namespace {

std::unique_ptr<Model> pointsModel(const std::vector<Vector3D>& points) {
  std::unique_ptr<Model> m(new Model());
  m->initVertices(static_cast<unsigned>(points.size()));
  for (std::size_t i = 0; i < points.size(); ++i) m->vertices[i] = points[i];
  return m;
}

}  // namespace

TEST(Bounding, SingleVertexAndTwoVertices) {
  auto one = pointsModel({{3, 4, 0}});
  BoundingBox box(one.get());
  EXPECT_EQ(box.min, Vector3D(3, 4, 0));
  EXPECT_EQ(box.max, Vector3D(3, 4, 0));
  BoundingSphere aroundBox(one.get(), false);
  EXPECT_EQ(aroundBox.center, Vector3D(3, 4, 0));
  EXPECT_EQ(aroundBox.radius, 0.0f);
  BoundingSphere aroundOrigin(one.get(), true);
  EXPECT_EQ(aroundOrigin.center, Vector3D(0, 0, 0));
  EXPECT_FLOAT_EQ(aroundOrigin.radius, 5.0f);
  EXPECT_FLOAT_EQ(aroundOrigin.radiusSquared, 25.0f);

  auto two = pointsModel({{-1, 0, 0}, {3, 0, 0}});
  BoundingSphere s(two.get(), false);
  EXPECT_EQ(s.center, Vector3D(1, 0, 0));
  EXPECT_FLOAT_EQ(s.radius, 2.0f);
  EXPECT_FLOAT_EQ(BoundingSphere(two.get(), true).radius, 3.0f);
}

TEST(Bounding, BoxOfAScatteredModelEnclosesEveryVertex) {
  // The first vertex is neither the lowest nor the highest on any axis.
  auto m = pointsModel({{0, 0, 0}, {5, -2, 1}, {-3, 7, -4}, {2, 1, 9}});
  BoundingBox box(m.get());
  EXPECT_EQ(box.min, Vector3D(-3, -2, -4));
  EXPECT_EQ(box.max, Vector3D(5, 7, 9));
  BoundingSphere s(m.get(), false);
  EXPECT_EQ(s.center, Vector3D(1, 2.5f, 2.5f));
  for (const Vector3D& v : m->vertices) EXPECT_LE(dotProduct(v - s.center, v - s.center), s.radiusSquared);
}

TEST(Bounding, EmptyAndNullModelsAndGivenValues) {
  Model empty;
  for (const Model* m : {static_cast<const Model*>(nullptr), static_cast<const Model*>(&empty)}) {
    BoundingBox box(m);
    EXPECT_EQ(box.min, Vector3D());
    EXPECT_EQ(box.max, Vector3D());
    for (bool origin : {false, true}) {
      BoundingSphere s(m, origin);
      EXPECT_EQ(s.center, Vector3D());
      EXPECT_EQ(s.radius, 0.0f);
      EXPECT_EQ(s.radiusSquared, 0.0f);
    }
  }
  BoundingBox reversed(Vector3D(1, 1, 1), Vector3D(0, 0, 0));
  EXPECT_EQ(reversed.min, Vector3D(1, 1, 1));
  EXPECT_EQ(reversed.max, Vector3D(0, 0, 0));
  BoundingSphere negative(Vector3D(1, 2, 3), -2.0f);
  EXPECT_EQ(negative.radius, -2.0f);
  EXPECT_EQ(negative.radiusSquared, 4.0f);
}
