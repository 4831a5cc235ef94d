// Cubic Bezier curves: points, derivatives, clamping, the line strip.
#include <GL/gl.h>

#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "ddd/bezier.h"
#include "testsupport.h"

using korvu::Vector3D;
using korvu::ddd::BezierCurve;

namespace {

void expectNear(const Vector3D& expected, const Vector3D& actual, float tolerance = 1e-4f) {
  EXPECT_NEAR(expected.x, actual.x, tolerance);
  EXPECT_NEAR(expected.y, actual.y, tolerance);
  EXPECT_NEAR(expected.z, actual.z, tolerance);
}

BezierCurve curveOf(int segments) {
  return BezierCurve(Vector3D(1, 2, 3), Vector3D(4, -2, 7), Vector3D(-3, 5, 1), Vector3D(6, 0, -2), segments);
}

}  // namespace

TEST(BezierCurve, PointsAndDerivativesWithClampedParameters) {
  BezierCurve curve(Vector3D(1, 2, 3), Vector3D(4, -2, 7), Vector3D(-3, 5, 1), Vector3D(6, 0, -2), 8);
  const Vector3D* p = curve.controlPoints;
  EXPECT_EQ(p[0], curve.getVertexAt(-0.5f));
  EXPECT_EQ(p[0], curve.getVertexAt(std::nanf("")));
  EXPECT_EQ(p[3], curve.getVertexAt(2.0f));
  expectNear((p[0] + p[1] * 3.0f + p[2] * 3.0f + p[3]) / 8.0f, curve.getVertexAt(0.5f));
  expectNear((p[1] - p[0]) * 3.0f, curve.getTangentAt(-1.0f), 0.0f);
  expectNear((p[3] - p[2]) * 3.0f, curve.getTangentAt(7.0f), 0.0f);
  expectNear((p[3] + p[2] - p[1] - p[0]) * 0.75f, curve.getTangentAt(0.5f));
  expectNear((p[0] - p[1] * 2.0f + p[2]) * 6.0f, curve.getScndDerivAt(-1.0f), 0.0f);
  expectNear((p[1] - p[2] * 2.0f + p[3]) * 6.0f, curve.getScndDerivAt(1.5f), 0.0f);
  // Central differences, inside and next to both ends (where the end
  // formulas must agree with the general one).
  const float h = 1e-3f;
  for (float t : {0.002f, 0.37f, 0.81f, 0.998f}) {
    expectNear((curve.getVertexAt(t + h) - curve.getVertexAt(t - h)) / (2 * h), curve.getTangentAt(t), 2e-2f);
    expectNear((curve.getTangentAt(t + h) - curve.getTangentAt(t - h)) / (2 * h), curve.getScndDerivAt(t), 2e-2f);
  }
  expectNear(curve.getTangentAt(1.0f - 1e-6f), curve.getTangentAt(1.0f), 1e-3f);
  expectNear(curve.getScndDerivAt(1e-6f), curve.getScndDerivAt(0.0f), 1e-3f);
}

TEST(BezierCurve, StraightControlPolygonGivesAnEvenLine) {
  BezierCurve curve(Vector3D(0, 0, 0), Vector3D(1, 0, 0), Vector3D(2, 0, 0), Vector3D(3, 0, 0), 4);
  for (int i = 0; i <= 20; ++i) {
    expectNear(Vector3D(3.0f * i / 20, 0, 0), curve.getVertexAt(i / 20.0f));
    expectNear(Vector3D(3, 0, 0), curve.getTangentAt(i / 20.0f));
    expectNear(Vector3D(0, 0, 0), curve.getScndDerivAt(i / 20.0f));
  }
}

TEST(BezierCurve, DrawingPointsAndTranslation) {
  BezierCurve curve = curveOf(5);
  ASSERT_EQ(6u, curve.drawingPoints.size());
  EXPECT_EQ(curve.controlPoints[0], curve.drawingPoints.front());
  EXPECT_EQ(curve.controlPoints[3], curve.drawingPoints.back());
  for (int i = 1; i < 5; ++i) expectNear(curve.getVertexAt(i / 5.0f), curve.drawingPoints[i], 0.0f);
  for (int segments : {0, -7}) {
    BezierCurve one = curveOf(segments);
    EXPECT_EQ(1, one.segments);
    EXPECT_EQ((std::vector<Vector3D>{one.controlPoints[0], one.controlPoints[3]}), one.drawingPoints);
  }

  BezierCurve moved = curveOf(5);
  const Vector3D d(10, -4, 2.5f);
  static_cast<korvu::ddd::Path&>(moved).translate(d);
  for (int i = 0; i <= 10; ++i) {
    expectNear(curve.getVertexAt(i / 10.0f) + d, moved.getVertexAt(i / 10.0f));
    expectNear(curve.getTangentAt(i / 10.0f), moved.getTangentAt(i / 10.0f));
    expectNear(curve.getScndDerivAt(i / 10.0f), moved.getScndDerivAt(i / 10.0f));
  }
  for (size_t i = 0; i < curve.drawingPoints.size(); ++i) expectNear(curve.drawingPoints[i] + d, moved.drawingPoints[i]);
}

class BezierDrawTest : public korvu_test::GLWindowTest {};

TEST_F(BezierDrawTest, DrawsItsLineStrip) {
  const int w = windowWidth(), h = windowHeight();
  glViewport(0, 0, w, h);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, w, 0, h, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glDisable(GL_LIGHTING);
  glDisable(GL_DEPTH_TEST);
  glColor3f(1, 1, 1);
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);

  // An arc from the lower left over the top to the lower right.
  BezierCurve curve(Vector3D(20, 20, 0), Vector3D(60, 220, 0), Vector3D(260, 220, 0), Vector3D(300, 20, 0), 32);
  curve.drawSelf();
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D)) << "texturing is switched back on after the strip";
  glDisable(GL_TEXTURE_2D);
  glFinish();
  EXPECT_EQ(static_cast<GLenum>(GL_NO_ERROR), glGetError());

  std::vector<uint8_t> pixels = korvu_test::readPixels(0, 0, w, h);
  korvu_test::saveArtifact("bezier_line_strip", w, h, pixels);
  auto litNear = [&](float x, float y) {
    for (int dy = -2; dy <= 2; ++dy)
      for (int dx = -2; dx <= 2; ++dx) {
        int px = static_cast<int>(std::lround(x)) + dx, py = static_cast<int>(std::lround(y)) + dy;
        if (px >= 0 && py >= 0 && px < w && py < h && pixels[(py * w + px) * 4] > 128) return true;
      }
    return false;
  };
  for (int i = 0; i <= 16; ++i) {
    Vector3D p = curve.getVertexAt(i / 16.0f);
    EXPECT_TRUE(litNear(p.x, p.y)) << "no line near curve point " << i;
  }
  // Dark inside the arc and along the chord.
  EXPECT_FALSE(litNear(160, 100));
  EXPECT_FALSE(litNear(160, 20));
}
