// Value types of the engine (vectors, matrices, colours, rectangles), a few
// free math helpers and the frame clock.
//
// Everything here is a small value type: operators return new values, and
// nothing is shared between calls, so results may be held side by side and
// the types may be used on any thread.
#pragma once

#include <cmath>
#include <cstdint>
#include <sstream>
#include <string>
#include <type_traits>

namespace korvu {

namespace xml { class Node; }

// Attribute names of a colour in XML.
extern const std::string XML_COLOR_CODE;   // "code": hexadecimal RRGGBBAA
extern const std::string XML_COLOR_RED;    // "red"
extern const std::string XML_COLOR_GREEN;  // "green"
extern const std::string XML_COLOR_BLUE;   // "blue"
extern const std::string XML_COLOR_ALPHA;  // "alpha"

// Below this length a vector, segment, axis or normal counts as degenerate.
constexpr float EPSILON_LENGTH = 1e-7f;

// ---------------------------------------------------------------------------
// Vector2D

struct Vector2D {
  float x = 0.0f;
  float y = 0.0f;

  constexpr Vector2D() = default;
  constexpr Vector2D(float x_, float y_) : x(x_), y(y_) {}

  Vector2D& operator+=(const Vector2D& o) { x += o.x; y += o.y; return *this; }
  Vector2D& operator-=(const Vector2D& o) { x -= o.x; y -= o.y; return *this; }
};

inline constexpr Vector2D operator+(const Vector2D& a, const Vector2D& b) { return {a.x + b.x, a.y + b.y}; }
inline constexpr Vector2D operator-(const Vector2D& a, const Vector2D& b) { return {a.x - b.x, a.y - b.y}; }
inline constexpr Vector2D operator*(const Vector2D& a, float f) { return {a.x * f, a.y * f}; }
inline constexpr bool operator==(const Vector2D& a, const Vector2D& b) { return a.x == b.x && a.y == b.y; }
inline constexpr bool operator!=(const Vector2D& a, const Vector2D& b) { return !(a == b); }

struct Matrix3D;

// ---------------------------------------------------------------------------
// Vector3D

struct Vector3D {
  float x = 0.0f;
  float y = 0.0f;
  float z = 0.0f;

  constexpr Vector3D() = default;
  constexpr Vector3D(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}

  Vector3D& operator+=(const Vector3D& o) { x += o.x; y += o.y; z += o.z; return *this; }
  Vector3D& operator-=(const Vector3D& o) { x -= o.x; y -= o.y; z -= o.z; return *this; }
  Vector3D& operator*=(float f) { x *= f; y *= f; z *= f; return *this; }
  Vector3D& operator/=(float f) { x /= f; y /= f; z /= f; return *this; }

  float length() const { return std::sqrt(x * x + y * y + z * z); }

  // Scales to length 1; a vector shorter than EPSILON_LENGTH becomes (0, 0, 0).
  void normalize() {
    float len = length();
    if (len >= EPSILON_LENGTH) {
      x /= len;
      y /= len;
      z /= len;
    } else {
      x = y = z = 0.0f;
    }
  }

  // Replaces the vector by m applied to (x, y, z, 1): the point is rotated and
  // translated; m's bottom row is not used. Returns the vector itself.
  inline Vector3D& transform(const Matrix3D& m);
};

inline constexpr Vector3D operator+(const Vector3D& a, const Vector3D& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline constexpr Vector3D operator-(const Vector3D& a, const Vector3D& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline constexpr Vector3D operator-(const Vector3D& a) { return {-a.x, -a.y, -a.z}; }
inline constexpr Vector3D operator*(const Vector3D& a, float f) { return {a.x * f, a.y * f, a.z * f}; }
inline constexpr Vector3D operator*(float f, const Vector3D& a) { return {a.x * f, a.y * f, a.z * f}; }
inline constexpr Vector3D operator/(const Vector3D& a, float f) { return {a.x / f, a.y / f, a.z / f}; }
inline constexpr bool operator==(const Vector3D& a, const Vector3D& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }
inline constexpr bool operator!=(const Vector3D& a, const Vector3D& b) { return !(a == b); }

// a x b in a right-handed system.
inline constexpr Vector3D crossProduct(const Vector3D& a, const Vector3D& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

inline constexpr float dotProduct(const Vector3D& a, const Vector3D& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

inline float length(const Vector3D& v) { return v.length(); }

// ---------------------------------------------------------------------------
// Matrix2D: a 3 by 3 matrix, [row][column]; identity by default.

struct Matrix2D {
  float m[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};

  float* operator[](int row) { return m[row]; }
  const float* operator[](int row) const { return m[row]; }

  // Rule of Sarrus.
  float determinant() const {
    return m[0][0] * m[1][1] * m[2][2] + m[0][1] * m[1][2] * m[2][0] + m[0][2] * m[1][0] * m[2][1] -
           m[0][2] * m[1][1] * m[2][0] - m[0][0] * m[1][2] * m[2][1] - m[0][1] * m[1][0] * m[2][2];
  }
};

// ---------------------------------------------------------------------------
// Matrix3D: 4 by 4, [row][column], column vectors multiplied from the right
// (p' = M p), so the translation sits in the last column. OpenGL wants the
// transpose of this memory order (hand it over with the transpose-matrix
// entry points).

struct Matrix3D {
  float m[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};

  float* operator[](int row) { return m[row]; }
  const float* operator[](int row) const { return m[row]; }

  void setIdentity() { *this = Matrix3D(); }

  // a x b
  static Matrix3D product(const Matrix3D& a, const Matrix3D& b) {
    Matrix3D r;
    for (int i = 0; i < 4; ++i) {
      for (int j = 0; j < 4; ++j) {
        r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] + a.m[i][3] * b.m[3][j];
      }
    }
    return r;
  }

  // this becomes M x this.
  Matrix3D& multLeft(const Matrix3D& M) { *this = product(M, *this); return *this; }
  // this becomes this x M.
  Matrix3D& multRight(const Matrix3D& M) { *this = product(*this, M); return *this; }

  // The rotation by angle about axis, counter-clockwise looking down the axis
  // towards the origin; degrees unless radians is set. A degenerate axis
  // leaves cos(angle) on the first three diagonal places and zeros elsewhere.
  void setRotate(float angle, const Vector3D& axis, bool radians = false) {
    double a = radians ? angle : angle / 180.0 * 3.1415927;
    float c = static_cast<float>(std::cos(a));
    float s = static_cast<float>(std::sin(a));
    float t = static_cast<float>(1.0 - std::cos(a));
    Vector3D n = axis;
    n.normalize();
    const float x = n.x, y = n.y, z = n.z;
    m[0][0] = t * x * x + c;     m[0][1] = t * x * y - s * z; m[0][2] = t * x * z + s * y; m[0][3] = 0;
    m[1][0] = t * x * y + s * z; m[1][1] = t * y * y + c;     m[1][2] = t * y * z - s * x; m[1][3] = 0;
    m[2][0] = t * x * z - s * y; m[2][1] = t * y * z + s * x; m[2][2] = t * z * z + c;     m[2][3] = 0;
    m[3][0] = 0;                 m[3][1] = 0;                 m[3][2] = 0;                 m[3][3] = 1;
  }
  void setRotate(float angle, float x, float y, float z, bool radians = false) {
    setRotate(angle, Vector3D(x, y, z), radians);
  }

  // Determinant of the 3 by 3 minor without that row and column; 0 when
  // either index lies outside 0..3.
  float subDeterminant(int row, int column) const {
    if (row < 0 || row > 3 || column < 0 || column > 3) return 0.0f;
    Matrix2D minor;
    for (int i = 0, mi = 0; i < 4; ++i) {
      if (i == row) continue;
      for (int j = 0, mj = 0; j < 4; ++j) {
        if (j == column) continue;
        minor.m[mi][mj++] = m[i][j];
      }
      ++mi;
    }
    return minor.determinant();
  }

  // Expansion along the last row.
  float determinant() const {
    float det = 0.0f;
    for (int j = 0; j < 4; ++j) {
      float sign = ((3 + j) % 2 == 0) ? 1.0f : -1.0f;
      det += sign * subDeterminant(3, j) * m[3][j];
    }
    return det;
  }

  // The adjugate divided by det (pass the matrix's own determinant); a
  // determinant of exactly 0 gives an unchanged copy.
  Matrix3D inverse(float det) const {
    if (det == 0.0f) return *this;
    Matrix3D r;
    float inv = 1.0f / det;
    for (int i = 0; i < 4; ++i) {
      for (int j = 0; j < 4; ++j) {
        float sign = ((i + j) % 2 == 0) ? 1.0f : -1.0f;
        r.m[i][j] = sign * subDeterminant(j, i) * inv;
      }
    }
    return r;
  }
};

inline Matrix3D operator*(const Matrix3D& a, const Matrix3D& b) { return Matrix3D::product(a, b); }

// M applied to the point v (w = 1), translation included.
inline Vector3D operator*(const Matrix3D& M, const Vector3D& v) {
  return {M.m[0][0] * v.x + M.m[0][1] * v.y + M.m[0][2] * v.z + M.m[0][3],
          M.m[1][0] * v.x + M.m[1][1] * v.y + M.m[1][2] * v.z + M.m[1][3],
          M.m[2][0] * v.x + M.m[2][1] * v.y + M.m[2][2] * v.z + M.m[2][3]};
}

inline Vector3D& Vector3D::transform(const Matrix3D& M) {
  *this = M * *this;
  return *this;
}

// ---------------------------------------------------------------------------
// Color: red, green, blue, alpha in 0..1, laid out as four consecutive floats
// (so &c.red can go to glColor4fv).

struct Color {
  float red = 0.0f;
  float green = 0.0f;
  float blue = 0.0f;
  float alpha = 0.0f;

  constexpr Color() = default;
  constexpr Color(float r, float g, float b, float a = 1.0f) : red(r), green(g), blue(b), alpha(a) {}
  // Reads "code" (hexadecimal RRGGBBAA) or else "red", "green", "blue"
  // (default 0) and "alpha" (default 1). A null element gives (0, 0, 0, 1).
  explicit Color(const xml::Node* element);

  const float* rgba() const { return &red; }
};

inline constexpr bool operator==(const Color& a, const Color& b) {
  return a.red == b.red && a.green == b.green && a.blue == b.blue && a.alpha == b.alpha;
}
inline constexpr bool operator!=(const Color& a, const Color& b) { return !(a == b); }

// ---------------------------------------------------------------------------
// Rect: x, y, w, h; origin at the lower left, y upwards.

struct Rect {
  float x = 0.0f;
  float y = 0.0f;
  float w = 0.0f;
  float h = 0.0f;

  constexpr Rect() = default;
  constexpr Rect(float x_, float y_, float w_, float h_) : x(x_), y(y_), w(w_), h(h_) {}
};

// ---------------------------------------------------------------------------
// Free helpers

// The point of the segment a..b nearest to p (a when the segment is shorter
// than EPSILON_LENGTH).
Vector3D closestPointOnLine(const Vector3D& a, const Vector3D& b, const Vector3D& p);

// 0..max inclusive, in steps of max/32767 (from the unseeded rand()).
float random(float max);
// min..max inclusive.
float random(float min, float max);

// An integer in decimal.
template <typename T>
std::string toStr(T value) {
  static_assert(std::is_integral<T>::value, "toStr takes integers");
  std::ostringstream out;
  out << value;
  return out.str();
}

// Frame clock: whole milliseconds of the monotonic clock since the previous
// call, 0 on the first. The part of a millisecond a call leaves goes to the
// next, so the calls sum to the time that passed; setting the system clock
// changes nothing.
std::uint32_t getElapsedTicks();

// Frames over which calcFPS averages.
extern int fpsResolution;

// Frames per second, averaged over fpsResolution frames and updated once per
// fpsResolution calls; 0 until the first window is complete. A window whose
// frames took no time at all keeps the previous figure.
int calcFPS(int milliseconds);

}  // namespace korvu
