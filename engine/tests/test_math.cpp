#include <GL/gl.h>
#include <SDL.h>
#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstdint>

#include "mathtypes.h"
#include "testsupport.h"
#include "vectorchecks.h"
#include "xml.h"

using korvu::Color;
using korvu::Matrix3D;
using korvu::Vector3D;
using korvu_test::expectMatrixNear;
using korvu_test::expectVec;

namespace {

// Seconds by which the system clock, as this program sees it, is set back.
long wallClockSetBack = 0;

}  // namespace

// This program's own system-clock reads, standing in front of the C
// library's: the frame clock's test sets the wall clock back without
// touching the machine's clock. Every read still reaches the kernel.
extern "C" int gettimeofday(struct timeval* __restrict tv, void* __restrict tz) noexcept {
  const int result = static_cast<int>(syscall(SYS_gettimeofday, tv, tz));
  if (result == 0) tv->tv_sec -= wallClockSetBack;
  return result;
}

extern "C" int clock_gettime(clockid_t id, struct timespec* ts) noexcept {
  const int result = static_cast<int>(syscall(SYS_clock_gettime, id, ts));
  if (result == 0 && id == CLOCK_REALTIME) ts->tv_sec -= wallClockSetBack;
  return result;
}

namespace {

Matrix3D translation(float x, float y, float z) {
  Matrix3D m;
  m[0][3] = x;
  m[1][3] = y;
  m[2][3] = z;
  return m;
}

}  // namespace

// Results of the same operator are independent values: two held at once, or
// one fed into the next, must not disturb each other.
TEST(Vectors, OperatorResultsAreIndependentValues) {
  Vector3D a(1, 2, 3), b(-4, 0.5f, 2);
  expectVec(a * 2.0f + b * 3.0f, -10, 5.5f, 12);
  const Vector3D& p = a + b;
  const Vector3D& q = b + b;
  expectVec(p, -3, 2.5f, 5);
  expectVec(q, -8, 1, 4);
  expectVec(korvu::crossProduct(a, b) + korvu::crossProduct(b, a), 0, 0, 0);
  expectVec((a - b) - (b - a), 10, 3, 2);
  expectVec(a / 2.0f - b / 4.0f, 1.5f, 0.875f, 1.0f);
  korvu::Vector2D s = (korvu::Vector2D(1, 2) + korvu::Vector2D(3, -5)) - korvu::Vector2D(2, 1);
  EXPECT_EQ(s, korvu::Vector2D(2, -4));
}

TEST(Vectors, ProductsLengthAndNormalize) {
  expectVec(korvu::crossProduct(Vector3D(1, 0, 0), Vector3D(0, 1, 0)), 0, 0, 1);  // right-handed
  expectVec(korvu::crossProduct(Vector3D(0, 0, 1), Vector3D(1, 0, 0)), 0, 1, 0);
  EXPECT_FLOAT_EQ(korvu::dotProduct(Vector3D(2, -3, 5), Vector3D(7, 1, -4)), -9);
  EXPECT_FLOAT_EQ(korvu::length(Vector3D(3, 4, 12)), 13);

  Vector3D v(3, 0, -4);
  v.normalize();
  expectVec(v, 0.6f, 0, -0.8f);
  Vector3D tiny(5e-8f, 0, 0);  // shorter than 1e-7: no direction
  tiny.normalize();
  EXPECT_EQ(tiny, Vector3D(0, 0, 0));
  Vector3D zero;
  zero.normalize();
  EXPECT_EQ(zero, Vector3D(0, 0, 0));  // and no NaN
  Vector3D small(2e-7f, 0, 0);
  small.normalize();
  EXPECT_NEAR(small.x, 1.0f, 1e-5);
}

TEST(Vectors, TransformIgnoresTheBottomRow) {
  Matrix3D m;
  m.setRotate(90, 0, 0, 1);
  m[0][3] = 10;
  m[1][3] = 20;
  m[2][3] = 30;
  m[3][0] = 7;
  m[3][1] = 8;
  m[3][3] = 3;
  Vector3D p(1, 2, 3);
  EXPECT_EQ(&p.transform(m), &p);
  expectVec(p, 8, 21, 33);
  expectVec(m * Vector3D(1, 2, 3), 8, 21, 33);
}

TEST(Matrices, Rotations) {
  Matrix3D m;
  m.setRotate(90, Vector3D(0, 0, 1));
  expectVec(m * Vector3D(1, 0, 0), 0, 1, 0);
  Matrix3D rad;
  rad.setRotate(3.1415927f / 2, Vector3D(0, 0, 1), true);
  expectMatrixNear(m, rad, 1e-6f);

  // About y: rows (c, 0, s), (0, 1, 0), (-s, 0, c); the axis need not be a unit.
  Matrix3D ry;
  ry.setRotate(30, 0, 5, 0);
  const float c = std::cos(3.1415927f / 6), s = std::sin(3.1415927f / 6);
  Matrix3D expected;
  expected[0][0] = expected[2][2] = c;
  expected[0][2] = s;
  expected[2][0] = -s;
  expectMatrixNear(ry, expected, 1e-6f);

  // The whole matrix is replaced, translation included; a degenerate axis
  // leaves the cosine on the diagonal.
  Matrix3D t = translation(4, 5, 6);
  t.setRotate(60, 0, 0, 0);
  Matrix3D cosOnly;
  cosOnly[0][0] = cosOnly[1][1] = cosOnly[2][2] = 0.5f;
  expectMatrixNear(t, cosOnly, 1e-6f);
}

TEST(Matrices, MultiplicationOrder) {
  Matrix3D r;
  r.setRotate(90, 0, 0, 1);
  Matrix3D tr = translation(5, 0, 0);
  tr.multRight(r);  // T x R: rotate, then translate
  expectVec(tr * Vector3D(1, 0, 0), 5, 1, 0);
  Matrix3D rt = translation(5, 0, 0);
  EXPECT_EQ(&rt.multLeft(r), &rt);  // R x T: translate, then rotate
  expectVec(rt * Vector3D(1, 0, 0), 0, 6, 0);
}

TEST(Matrices, DeterminantAndInverse) {
  Matrix3D g;
  const float vals[4][4] = {{2, -1, 0, 3}, {1, 3, 2, -2}, {0, 1, 4, 1}, {1, 0, -1, 2}};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) g[i][j] = vals[i][j];
  EXPECT_NEAR(g.determinant(), 42.0f, 1e-3);
  EXPECT_NEAR(g.subDeterminant(3, 3), 24.0f, 1e-4);  // the upper-left block
  EXPECT_EQ(g.subDeterminant(-1, 0), 0.0f);
  EXPECT_EQ(g.subDeterminant(0, 4), 0.0f);
  Matrix3D inv = g.inverse(g.determinant());
  expectMatrixNear(g * inv, Matrix3D(), 1e-5f);
  expectMatrixNear(inv * g, Matrix3D(), 1e-5f);

  Matrix3D m;
  m.setRotate(37, 1, 2, 3);
  m.multLeft(translation(1, -2, 7));
  expectVec(m.inverse(m.determinant()) * (m * Vector3D(3, 4, 5)), 3, 4, 5, 1e-4f);

  // Singular: an unchanged copy.
  for (int j = 0; j < 4; ++j) g[1][j] = g[0][j] * 2;
  EXPECT_EQ(g.determinant(), 0.0f);
  expectMatrixNear(g.inverse(0.0f), g, 0);
}

TEST(MathHelpers, ClosestPointOnSegment) {
  Vector3D a(1, 1, 1), b(5, 1, 1);
  EXPECT_EQ(korvu::closestPointOnLine(a, a, Vector3D(9, 9, 9)), a);
  EXPECT_EQ(korvu::closestPointOnLine(a, b, Vector3D(8, 3, 0)), b);  // exactly b
  EXPECT_EQ(korvu::closestPointOnLine(a, b, Vector3D(-3, 0, 0)), a);
  EXPECT_EQ(korvu::closestPointOnLine(a, b, Vector3D(1, 7, 7)), a);
  expectVec(korvu::closestPointOnLine(a, b, Vector3D(2.5f, -4, 9)), 2.5f, 1, 1);
  expectVec(korvu::closestPointOnLine(Vector3D(), Vector3D(2, 2, 0), Vector3D(2, 0, 5)), 1, 1, 0);
}

TEST(MathHelpers, RandomNumbersAndText) {
  EXPECT_EQ(korvu::random(0.0f), 0.0f);
  EXPECT_EQ(korvu::random(2.0f, 2.0f), 2.0f);
  float lo = 1e9f, hi = -1e9f;
  for (int i = 0; i < 20000; ++i) {
    float r = korvu::random(-3.0f, 5.0f);
    ASSERT_TRUE(r >= -3.0f && r <= 5.0f) << r;
    lo = std::min(lo, r);
    hi = std::max(hi, r);
  }
  EXPECT_LT(lo, -2.9f);  // the whole range is used
  EXPECT_GT(hi, 4.9f);
  EXPECT_EQ(korvu::toStr(UINT_MAX), "4294967295");
  EXPECT_EQ(korvu::toStr(-1234567L), "-1234567");
}

namespace {

void expectColor(std::initializer_list<std::pair<const char*, const char*>> attrs, float r, float g, float b,
                 float a) {
  korvu::xml::Node node;
  node.name = "color";
  for (const auto& at : attrs) node[at.first] = at.second;
  Color c(&node);
  std::string where = attrs.size() ? std::string(attrs.begin()->first) + "=" + attrs.begin()->second : "none";
  EXPECT_NEAR(c.red, r, 1e-6) << where;
  EXPECT_NEAR(c.green, g, 1e-6) << where;
  EXPECT_NEAR(c.blue, b, 1e-6) << where;
  EXPECT_NEAR(c.alpha, a, 1e-6) << where;
}

}  // namespace

TEST(Colors, FromXml) {
  expectColor({{"code", "FF8000FF"}}, 1, 128 / 255.0f, 0, 1);
  expectColor({{"code", "0x11223344"}}, 0x11 / 255.0f, 0x22 / 255.0f, 0x33 / 255.0f, 0x44 / 255.0f);
  expectColor({{"code", "FFFFFF"}}, 0, 1, 1, 1);  // six digits are the low 24 bits
  expectColor({{"code", "000000FF"}, {"red", "1"}, {"alpha", "0.5"}}, 0, 0, 0, 1);  // the code wins
  expectColor({{"code", "zz"}}, 0, 0, 0, 0);
  expectColor({{"code", "FF00FF00junk"}}, 1, 0, 1, 0);
  expectColor({{"code", "123456789ABCDEF01"}}, 1, 1, 1, 1);  // saturates beyond 32 bits
  expectColor({}, 0, 0, 0, 1);
  expectColor({{"red", "0.25"}, {"blue", "2"}}, 0.25f, 0, 2, 1);  // no clamping
  expectColor({{"green", "0.5"}, {"alpha", "0"}}, 0, 0.5f, 0, 0);
  Color none(static_cast<const korvu::xml::Node*>(nullptr));
  EXPECT_EQ(none, Color(0, 0, 0, 1));
}

// The only test of this program that drives the FPS counter, so it starts
// from the counter's initial state.
TEST(FrameClock, FramesPerSecondOverTenFrames) {
  for (int i = 0; i < 9; ++i) EXPECT_EQ(korvu::calcFPS(16), 0);
  EXPECT_EQ(korvu::calcFPS(16), 62);  // 10000 / 160
  for (int i = 0; i < 9; ++i) EXPECT_EQ(korvu::calcFPS(5), 62);
  EXPECT_EQ(korvu::calcFPS(5), 200);
  // Ten frames inside one tick: no division by zero, the figure stays.
  for (int i = 0; i < 10; ++i) EXPECT_EQ(korvu::calcFPS(0), 200);
  for (int i = 0; i < 9; ++i) korvu::calcFPS(0);
  EXPECT_EQ(korvu::calcFPS(1000), 10);
}

std::uint64_t monotonicMicroseconds() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::uint64_t>(ts.tv_sec) * 1000000u + static_cast<std::uint64_t>(ts.tv_nsec) / 1000u;
}

TEST(FrameClock, ElapsedTicksSincePreviousCall) {
  ASSERT_EQ(SDL_Init(SDL_INIT_TIMER), 0);
  korvu::getElapsedTicks();
  SDL_Delay(30);
  EXPECT_GE(korvu::getElapsedTicks(), 30u);

  // Frames far shorter than a millisecond: whole milliseconds each, and
  // what each leaves goes to the next, so they sum to the time that passed.
  korvu::getElapsedTicks();
  const std::uint64_t start = monotonicMicroseconds();
  std::uint64_t sum = 0;
  for (int frame = 0; frame < 200; ++frame) {
    usleep(300);
    sum += korvu::getElapsedTicks();
  }
  const std::uint64_t passed = monotonicMicroseconds() - start;
  EXPECT_LE(sum * 1000u, passed + 1000u);
  EXPECT_GE(sum * 1000u + 1000u, passed);

  // The system clock set 3 s back between two frames: the next frame is as
  // short as the time that passed, not wrapped around to seven weeks; set
  // 3 s forward, it is not 3 s long.
  korvu::getElapsedTicks();
  wallClockSetBack = 3;
  EXPECT_LT(korvu::getElapsedTicks(), 1000u);
  wallClockSetBack = -3;
  EXPECT_LT(korvu::getElapsedTicks(), 1000u);
  wallClockSetBack = 0;
  SDL_Quit();
}

// setRotate turns the same way as OpenGL (which stores the transpose).
class MathGL : public korvu_test::GLWindowTest {};

TEST_F(MathGL, RotationMatchesOpenGL) {
  const float cases[][4] = {{90, 0, 0, 1}, {-33, 1, 2, 3}, {250, 0, 1, 0}, {12.5f, -4, 0.5f, 2}};
  for (const auto& c : cases) {
    glLoadIdentity();
    glRotatef(c[0], c[1], c[2], c[3]);
    GLfloat gl[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, gl);
    Matrix3D m;
    m.setRotate(c[0], c[1], c[2], c[3]);
    for (int row = 0; row < 4; ++row)
      for (int col = 0; col < 4; ++col) EXPECT_NEAR(m[row][col], gl[col * 4 + row], 1e-5) << c[0];
  }
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}
