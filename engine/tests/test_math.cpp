#include <GL/gl.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "mathtypes.h"
#include "testsupport.h"
#include "xml.h"

using korvu::Color;
using korvu::Matrix3D;
using korvu::Vector2D;
using korvu::Vector3D;

namespace {

void expectVec(const Vector3D& v, float x, float y, float z, float tol = 1e-5f) {
  EXPECT_NEAR(v.x, x, tol);
  EXPECT_NEAR(v.y, y, tol);
  EXPECT_NEAR(v.z, z, tol);
}

void expectMatrixNear(const Matrix3D& a, const Matrix3D& b, float tol) {
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) EXPECT_NEAR(a[i][j], b[i][j], tol) << "element [" << i << "][" << j << "]";
  }
}

Matrix3D translation(float x, float y, float z) {
  Matrix3D m;
  m[0][3] = x;
  m[1][3] = y;
  m[2][3] = z;
  return m;
}

}  // namespace

// Results of the same operator are independent values: holding two at once,
// or feeding one into the next, must not disturb either.
TEST(Vectors, OperatorResultsAreIndependentValues) {
  Vector3D a(1, 2, 3), b(-4, 0.5f, 2);
  Vector3D sum = a * 2.0f + b * 3.0f;
  expectVec(sum, 2 - 12, 4 + 1.5f, 6 + 6);

  const Vector3D& p = a + b;
  const Vector3D& q = b + b;
  expectVec(p, -3, 2.5f, 5);
  expectVec(q, -8, 1, 4);

  Vector3D c1 = korvu::crossProduct(a, b);
  Vector3D c2 = korvu::crossProduct(b, a);
  expectVec(c1 + c2, 0, 0, 0);
  expectVec((a - b) - (b - a), 10, 3, 2);
  expectVec(a / 2.0f - b / 4.0f, 1.5f, 0.875f, 1.0f);

  Vector2D u(1, 2), v(3, -5);
  Vector2D s = (u + v) - (v - u);
  EXPECT_FLOAT_EQ(s.x, 2);
  EXPECT_FLOAT_EQ(s.y, 4);

  Vector3D acc(1, 1, 1);
  acc += a;
  acc -= b * 2.0f;
  acc *= 2.0f;
  expectVec(acc, 20, 4, 0);
}

TEST(Vectors, CrossAndDotProducts) {
  Vector3D x(1, 0, 0), y(0, 1, 0), z(0, 0, 1);
  expectVec(korvu::crossProduct(x, y), 0, 0, 1);  // right-handed
  expectVec(korvu::crossProduct(y, z), 1, 0, 0);
  expectVec(korvu::crossProduct(z, x), 0, 1, 0);
  Vector3D a(2, -3, 5), b(7, 1, -4);
  Vector3D c = korvu::crossProduct(a, b);
  EXPECT_NEAR(korvu::dotProduct(c, a), 0, 1e-4);
  EXPECT_NEAR(korvu::dotProduct(c, b), 0, 1e-4);
  EXPECT_FLOAT_EQ(korvu::dotProduct(a, b), 14 - 3 - 20);
  EXPECT_FLOAT_EQ(korvu::length(Vector3D(3, 4, 12)), 13);
  EXPECT_FLOAT_EQ(Vector3D(-3, 4, 0).length(), 5);
}

TEST(Vectors, NormalizeAndTheDegenerateBound) {
  Vector3D v(3, 0, -4);
  v.normalize();
  expectVec(v, 0.6f, 0, -0.8f);

  Vector3D tiny(5e-8f, 0, 0);  // shorter than 1e-7
  tiny.normalize();
  EXPECT_EQ(tiny, Vector3D(0, 0, 0));

  Vector3D zero;
  zero.normalize();
  EXPECT_EQ(zero, Vector3D(0, 0, 0));
  EXPECT_FALSE(std::isnan(zero.x));

  Vector3D small(2e-7f, 0, 0);  // just above the bound: still a direction
  small.normalize();
  EXPECT_NEAR(small.x, 1.0f, 1e-5);
}

TEST(Vectors, TransformAppliesRotationAndTranslationButNotTheBottomRow) {
  Matrix3D m;
  m.setRotate(90, 0, 0, 1);
  m[0][3] = 10;
  m[1][3] = 20;
  m[2][3] = 30;
  // The bottom row must not take part.
  m[3][0] = 7;
  m[3][1] = 8;
  m[3][2] = 9;
  m[3][3] = 3;
  Vector3D p(1, 2, 3);
  Vector3D& r = p.transform(m);
  EXPECT_EQ(&r, &p);
  expectVec(p, 10 - 2, 20 + 1, 33);
  expectVec(m * Vector3D(1, 2, 3), 8, 21, 33);
}

TEST(Matrices, RotationAboutTheMainAxes) {
  Matrix3D m;
  m.setRotate(90, Vector3D(0, 0, 1));
  expectVec(m * Vector3D(1, 0, 0), 0, 1, 0);

  Matrix3D rad;
  rad.setRotate(3.1415927f / 2, Vector3D(0, 0, 1), true);
  expectMatrixNear(m, rad, 1e-6f);

  // About y: rows (c, 0, s), (0, 1, 0), (-s, 0, c).
  Matrix3D ry;
  ry.setRotate(30, 0, 1, 0);
  const float c = std::cos(3.1415927f / 6), s = std::sin(3.1415927f / 6);
  Matrix3D expected;
  expected[0][0] = c;
  expected[0][2] = s;
  expected[2][0] = -s;
  expected[2][2] = c;
  expectMatrixNear(ry, expected, 1e-6f);

  // The axis need not be of unit length.
  Matrix3D scaledAxis;
  scaledAxis.setRotate(30, 0, 5, 0);
  expectMatrixNear(scaledAxis, ry, 1e-6f);

  // setRotate replaces the whole matrix, translation included.
  Matrix3D t = translation(4, 5, 6);
  t.setRotate(0, 1, 0, 0);
  expectMatrixNear(t, Matrix3D(), 1e-7f);
}

TEST(Matrices, DegenerateAxisLeavesOnlyTheCosine) {
  Matrix3D m;
  m.setRotate(60, 0, 0, 0);
  Matrix3D expected;
  expected[0][0] = expected[1][1] = expected[2][2] = 0.5f;
  expectMatrixNear(m, expected, 1e-6f);
}

TEST(Matrices, MultiplicationOrder) {
  Matrix3D r;
  r.setRotate(90, 0, 0, 1);
  Matrix3D t = translation(5, 0, 0);

  // (T x R) p rotates first, then translates.
  Matrix3D tr = t;
  tr.multRight(r);
  expectVec(tr * Vector3D(1, 0, 0), 5, 1, 0);

  // R x T translates first, then rotates.
  Matrix3D rt = t;
  rt.multLeft(r);
  expectVec(rt * Vector3D(1, 0, 0), 0, 6, 0);

  expectMatrixNear(t * r, tr, 0);
  EXPECT_EQ(&rt.multLeft(Matrix3D()), &rt);
}

TEST(Matrices, DeterminantAndInverse) {
  Matrix3D d;
  d[0][0] = 2;
  d[1][1] = 3;
  d[2][2] = 4;
  EXPECT_FLOAT_EQ(d.determinant(), 24);

  // A full matrix (bottom row included) with a known determinant.
  Matrix3D g;
  const float vals[4][4] = {{2, -1, 0, 3}, {1, 3, 2, -2}, {0, 1, 4, 1}, {1, 0, -1, 2}};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) g[i][j] = vals[i][j];
  EXPECT_NEAR(g.determinant(), 42.0f, 1e-3);
  Matrix3D inv = g.inverse(g.determinant());
  expectMatrixNear(g * inv, Matrix3D(), 1e-5f);
  expectMatrixNear(inv * g, Matrix3D(), 1e-5f);

  // A rigid motion: the inverse undoes it.
  Matrix3D m;
  m.setRotate(37, 1, 2, 3);
  m.multLeft(translation(1, -2, 7));
  Matrix3D mi = m.inverse(m.determinant());
  expectVec(mi * (m * Vector3D(3, 4, 5)), 3, 4, 5, 1e-4f);

  // A singular matrix comes back unchanged.
  Matrix3D s = g;
  for (int j = 0; j < 4; ++j) s[1][j] = s[0][j] * 2;
  EXPECT_EQ(s.determinant(), 0.0f);
  expectMatrixNear(s.inverse(0.0f), s, 0);

  EXPECT_EQ(g.subDeterminant(-1, 0), 0.0f);
  EXPECT_EQ(g.subDeterminant(0, 4), 0.0f);
  // Minor without row 3 and column 3: the upper-left 3x3 block.
  EXPECT_NEAR(g.subDeterminant(3, 3), 2 * (12 - 2) + 1 * (4 - 0), 1e-4);
}

TEST(MathHelpers, ClosestPointOnSegment) {
  Vector3D a(1, 1, 1), b(5, 1, 1);
  EXPECT_EQ(korvu::closestPointOnLine(a, a, Vector3D(9, 9, 9)), a);
  EXPECT_EQ(korvu::closestPointOnLine(a, b, Vector3D(8, 3, 0)), b);  // exactly b
  EXPECT_EQ(korvu::closestPointOnLine(a, b, Vector3D(-3, 0, 0)), a);
  EXPECT_EQ(korvu::closestPointOnLine(a, b, Vector3D(1, 7, 7)), a);  // t == 0
  expectVec(korvu::closestPointOnLine(a, b, Vector3D(2.5f, -4, 9)), 2.5f, 1, 1);
  Vector3D c(0, 0, 0), d(2, 2, 0);
  expectVec(korvu::closestPointOnLine(c, d, Vector3D(2, 0, 5)), 1, 1, 0);
}

TEST(MathHelpers, RandomStaysInItsRange) {
  EXPECT_EQ(korvu::random(0.0f), 0.0f);
  EXPECT_EQ(korvu::random(2.0f, 2.0f), 2.0f);
  float lo = 1e9f, hi = -1e9f;
  for (int i = 0; i < 20000; ++i) {
    float r = korvu::random(-3.0f, 5.0f);
    ASSERT_GE(r, -3.0f);
    ASSERT_LE(r, 5.0f);
    lo = std::min(lo, r);
    hi = std::max(hi, r);
    float s = korvu::random(10.0f);
    ASSERT_GE(s, 0.0f);
    ASSERT_LE(s, 10.0f);
  }
  // The whole range is used, not just a sliver of it.
  EXPECT_LT(lo, -2.9f);
  EXPECT_GT(hi, 4.9f);
}

TEST(MathHelpers, NumbersAsText) {
  EXPECT_EQ(korvu::toStr(0u), "0");
  EXPECT_EQ(korvu::toStr(UINT_MAX), "4294967295");
  EXPECT_EQ(korvu::toStr(-42L), "-42");
  EXPECT_EQ(korvu::toStr(1234567L), "1234567");  // no grouping or fill
}

namespace {

Color colorOf(std::initializer_list<std::pair<const char*, const char*>> attrs) {
  korvu::xml::Node node;
  node.name = "color";
  for (const auto& a : attrs) node[a.first] = a.second;
  return Color(&node);
}

void expectColor(const Color& c, float r, float g, float b, float a) {
  EXPECT_NEAR(c.red, r, 1e-6);
  EXPECT_NEAR(c.green, g, 1e-6);
  EXPECT_NEAR(c.blue, b, 1e-6);
  EXPECT_NEAR(c.alpha, a, 1e-6);
}

}  // namespace

TEST(Colors, HexadecimalCodes) {
  expectColor(colorOf({{"code", "FF8000FF"}}), 1, 128 / 255.0f, 0, 1);
  expectColor(colorOf({{"code", "ff8000ff"}}), 1, 128 / 255.0f, 0, 1);
  expectColor(colorOf({{"code", "0x11223344"}}), 0x11 / 255.0f, 0x22 / 255.0f, 0x33 / 255.0f, 0x44 / 255.0f);
  // Six digits are the low 24 bits.
  expectColor(colorOf({{"code", "FFFFFF"}}), 0, 1, 1, 1);
  // The code wins over the single channels.
  expectColor(colorOf({{"code", "000000FF"}, {"red", "1"}, {"alpha", "0.5"}}), 0, 0, 0, 1);
  // Text that is no number reads 0, alpha included.
  expectColor(colorOf({{"code", "zz"}}), 0, 0, 0, 0);
  expectColor(colorOf({{"code", ""}}), 0, 0, 0, 0);
  // Conversion stops at the first non-digit.
  expectColor(colorOf({{"code", "FF00FF00junk"}}), 1, 0, 1, 0);
  // Beyond 32 bits it saturates to white.
  expectColor(colorOf({{"code", "123456789ABCDEF01"}}), 1, 1, 1, 1);
}

TEST(Colors, SingleChannels) {
  expectColor(colorOf({}), 0, 0, 0, 1);
  expectColor(colorOf({{"red", "0.25"}, {"blue", "0.75"}}), 0.25f, 0, 0.75f, 1);
  expectColor(colorOf({{"green", "0.5"}, {"alpha", "0"}}), 0, 0.5f, 0, 0);
  // No clamping.
  expectColor(colorOf({{"red", "2"}, {"green", "-1"}}), 2, -1, 0, 1);
  expectColor(Color(static_cast<const korvu::xml::Node*>(nullptr)), 0, 0, 0, 1);
  EXPECT_EQ(korvu::XML_COLOR_CODE, "code");
  EXPECT_EQ(korvu::XML_COLOR_ALPHA, "alpha");
}

// The only test of this binary that drives the FPS counter, so it starts
// from the counter's initial state.
TEST(FrameClock, FramesPerSecondOverTenFrames) {
  ASSERT_EQ(korvu::fpsResolution, 10);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(korvu::calcFPS(16), 0) << "frame " << i;
  EXPECT_EQ(korvu::calcFPS(16), 62);  // 10000 / 160
  // The figure holds until the next ten frames are complete.
  for (int i = 0; i < 9; ++i) EXPECT_EQ(korvu::calcFPS(5), 62);
  EXPECT_EQ(korvu::calcFPS(5), 200);
  // Ten frames inside one tick: no division by zero, the figure stays.
  for (int i = 0; i < 10; ++i) EXPECT_EQ(korvu::calcFPS(0), 200);
  // And the window after that one starts afresh.
  for (int i = 0; i < 9; ++i) korvu::calcFPS(0);
  EXPECT_EQ(korvu::calcFPS(1000), 10);
}

TEST(FrameClock, ElapsedTicksSincePreviousCall) {
  ASSERT_EQ(SDL_Init(SDL_INIT_TIMER), 0);
  korvu::getElapsedTicks();
  SDL_Delay(30);
  std::uint32_t first = korvu::getElapsedTicks();
  EXPECT_GE(first, 30u);
  // The clock restarts at every call, so a call right after gives little.
  std::uint32_t second = korvu::getElapsedTicks();
  EXPECT_LT(second, first + 1000u);
  SDL_Quit();
}

// setRotate must turn the same way as OpenGL's own rotation; OpenGL keeps
// its matrix in the transposed order.
class MathGL : public korvu_test::GLWindowTest {};

TEST_F(MathGL, RotationMatchesOpenGL) {
  const float cases[][4] = {{90, 0, 0, 1}, {-33, 1, 2, 3}, {250, 0, 1, 0}, {12.5f, -4, 0.5f, 2}};
  for (const auto& c : cases) {
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glRotatef(c[0], c[1], c[2], c[3]);
    GLfloat gl[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, gl);
    Matrix3D m;
    m.setRotate(c[0], c[1], c[2], c[3]);
    for (int row = 0; row < 4; ++row)
      for (int col = 0; col < 4; ++col)
        EXPECT_NEAR(m[row][col], gl[col * 4 + row], 1e-5) << "angle " << c[0] << " [" << row << "][" << col << "]";
  }
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}
