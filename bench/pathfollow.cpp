// Bends a road-sized model along a closed course of Bezier curves in pieces,
// the way a track is built, and reports the time per piece.
//
//   bench_pathfollow [pieces] [rings] [profile points]
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "ddd/bezier.h"
#include "ddd/face.h"
#include "ddd/model.h"
#include "ddd/pathfollow.h"

using korvu::Vector3D;
using korvu::ddd::BezierCurve;
using korvu::ddd::Model;
using korvu::ddd::PathFollowModifier;

namespace {

using Clock = std::chrono::steady_clock;

// A road piece along z from 0 to length: `rings` cross-sections of a road
// profile (a slightly cambered deck with kerbs and a base), joined by quads.
// With jitter every vertex gets an axis coordinate of its own.
std::unique_ptr<Model> makeRoad(int rings, int profile, float length, bool jitter) {
  std::unique_ptr<Model> model(new Model());
  std::vector<Vector3D> section(profile);
  for (int k = 0; k < profile; ++k) {
    float u = static_cast<float>(k) / (profile - 1);  // 0..1 across
    float x = (u - 0.5f) * 24.0f;
    float y = 0.3f * (1.0f - (2.0f * u - 1.0f) * (2.0f * u - 1.0f));
    if (k < 2 || k >= profile - 2) y += 0.8f;  // kerbs
    section[k] = Vector3D(x, y, 0.0f);
  }
  model->initVertices(static_cast<unsigned>(rings * profile));
  for (int r = 0; r < rings; ++r) {
    float z = length * r / (rings - 1);
    for (int k = 0; k < profile; ++k) {
      float dz = jitter && r > 0 && r + 1 < rings ? 1e-3f * k : 0.0f;
      model->vertices[r * profile + k] = Vector3D(section[k].x, section[k].y, z + dz);
      model->normals[r * profile + k] = Vector3D(0, 1, 0);
    }
  }
  model->initFaces(static_cast<unsigned>((rings - 1) * (profile - 1) * 2));
  int f = 0;
  const Vector3D up(0, 1, 0);
  for (int r = 0; r + 1 < rings; ++r) {
    for (int k = 0; k + 1 < profile; ++k) {
      int a = r * profile + k, b = a + 1, c = a + profile, d = c + 1;
      *model->faces[f++] = korvu::ddd::Face(a, c, b, up, up, up);
      *model->faces[f++] = korvu::ddd::Face(b, c, d, up, up, up);
    }
  }
  return model;
}

// A closed course of `count` curves around an oval that rises and falls.
std::vector<std::unique_ptr<BezierCurve>> makeCourse(int count) {
  std::vector<Vector3D> points(count);
  for (int i = 0; i < count; ++i) {
    double a = 2.0 * 3.141592654 * i / count;
    points[i] = Vector3D(static_cast<float>(1500.0 * std::cos(a)), static_cast<float>(40.0 * std::sin(3.0 * a)),
                         static_cast<float>(900.0 * std::sin(a)));
  }
  std::vector<std::unique_ptr<BezierCurve>> curves;
  for (int i = 0; i < count; ++i) {
    const Vector3D& p0 = points[i];
    const Vector3D& p3 = points[(i + 1) % count];
    // Tangents from the neighbours, so the course runs smoothly.
    Vector3D d0 = (points[(i + 1) % count] - points[(i + count - 1) % count]) / 6.0f;
    Vector3D d3 = (points[(i + 2) % count] - points[i]) / 6.0f;
    curves.emplace_back(new BezierCurve(p0, p0 + d0, p3 - d3, p3, 20));
  }
  return curves;
}

struct Result {
  double meanUs = 0, minUs = 1e30, maxUs = 0, totalMs = 0, copyUs = 0;
};

Result run(const Model& road, int pieces, int curveCount) {
  std::vector<std::unique_ptr<BezierCurve>> course = makeCourse(curveCount);
  Result result;
  double checksum = 0.0;
  int piece = 0;
  const auto start = Clock::now();
  for (int c = 0; c < curveCount && piece < pieces; ++c) {
    PathFollowModifier modifier(course[c].get(), c % 3 == 0 ? 0 : 1);
    modifier.setEndRoll(c % 2 ? 8.0f : -8.0f);
    modifier.init(10);
    const int perCurve = (pieces - piece) / (curveCount - c);
    for (int p = 0; p < perCurve; ++p, ++piece) {
      const float t0 = static_cast<float>(p) / perCurve, t1 = static_cast<float>(p + 1) / perCurve;
      const auto begin = Clock::now();
      Model bent(road);
      result.copyUs += std::chrono::duration<double, std::micro>(Clock::now() - begin).count();
      modifier.transformModel(&bent, Vector3D(0, 0, 1), t0, t1);
      korvu::Matrix3D place = modifier.getRotation(Vector3D(0, 0, 1), t0);
      const double us = std::chrono::duration<double, std::micro>(Clock::now() - begin).count();
      result.minUs = std::min(result.minUs, us);
      result.maxUs = std::max(result.maxUs, us);
      checksum += bent.vertices.back().x + place[0][0];
    }
  }
  result.totalMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  result.meanUs = result.totalMs * 1000.0 / piece;
  result.copyUs /= piece;
  if (!std::isfinite(checksum)) std::printf("  (bent geometry is not finite!)\n");
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  const int pieces = argc > 1 ? std::atoi(argv[1]) : 179;
  const int rings = argc > 2 ? std::atoi(argv[2]) : 100;
  const int profile = argc > 3 ? std::atoi(argv[3]) : 40;
  if (pieces < 1 || rings < 2 || profile < 2) {
    std::fprintf(stderr, "usage: %s [pieces >= 1] [rings >= 2] [profile points >= 2]\n", argv[0]);
    return 1;
  }
  const int curves = 18;
  std::printf("Bending a road piece along %d curves in %d pieces (copy + bend + placement per piece)\n", curves,
              pieces);
  for (bool jitter : {false, true}) {
    std::unique_ptr<Model> road = makeRoad(rings, profile, 60.0f, jitter);
    Result r = run(*road, pieces, curves);
    std::printf("%s\n  %u vertices, %u faces: %.1f us per piece (min %.1f, max %.1f; %.1f of it copying the"
                " model), %.1f ms for all %d pieces\n",
                jitter ? "every vertex at a parameter of its own:" : "rings of vertices, as road models are:",
                road->vertexCount, road->faceCount, r.meanUs, r.minUs, r.maxUs, r.copyUs, r.totalMs, pieces);
  }
  return 0;
}
