// make_vehicle: the hover vehicle "glimro" with its shadow hull
// "glimroShadow" and collision hull "glimroCollision", the rocket launcher
// "rocketLauncher" and the rocket "rocket", as Milkshape3D files below
// models/, the livery texture below textures/, and their entries in the
// shared models list.
//
// Vehicle space: +z forward, +y up. The hover jets sit at (0, -2.6, 19) and
// (+-10.5, -2.6, -16.5) and float 6 units over the road, so the road lies
// at about y = -8.6; the hull keeps above y = -3.8. The cockpit cameras at
// (0, 5, -3) and (0, 0, 15) stay outside every part, and nothing rises above
// y = 3.5 so the vehicle fits under the stacked roads and through tunnels.
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "catalog.h"
#include "ddd/milkshapewriter.h"
#include "mathtypes.h"
#include "picture.h"

using korvu::Vector2D;
using korvu::Vector3D;
namespace ms = korvu::ddd::milkshape;

namespace {

constexpr float PI = 3.14159265358979f;

// Material indices of the vehicle file; the same table serves every model
// so that a material means the same thing wherever it is used.
struct MaterialSpec {
  const char* name;
  float diffuse[3];
  float specular;
  float shininess;
  float emissive[3];
  const char* texture;
};

const MaterialSpec MATERIALS[] = {
    // A faint glow of its own keeps the livery readable at night.
    {"glimroLivery", {1.0f, 1.0f, 1.0f}, 0.8f, 60.0f, {0.22f, 0.22f, 0.22f}, "glimro_livery.png"},
    {"glimroDark", {0.16f, 0.17f, 0.2f}, 0.6f, 40.0f, {0.0f, 0.0f, 0.0f}, ""},
    {"glimroCanopy", {0.06f, 0.14f, 0.3f}, 1.0f, 100.0f, {0.0f, 0.02f, 0.05f}, ""},
    {"glimroAccent", {0.98f, 0.74f, 0.08f}, 0.7f, 50.0f, {0.2f, 0.15f, 0.02f}, ""},
    {"glimroJet", {0.3f, 0.9f, 1.0f}, 0.0f, 0.0f, {0.35f, 0.9f, 1.0f}, ""},
    {"rocketBody", {0.85f, 0.86f, 0.88f}, 0.7f, 50.0f, {0.0f, 0.0f, 0.0f}, ""},
    {"rocketNose", {0.9f, 0.12f, 0.08f}, 0.7f, 50.0f, {0.0f, 0.0f, 0.0f}, ""},
    {"rocketFlame", {1.0f, 0.6f, 0.2f}, 0.0f, 0.0f, {1.0f, 0.55f, 0.15f}, ""},
};
enum MaterialId { LIVERY, DARK, CANOPY, ACCENT, JET, ROCKET_BODY, ROCKET_NOSE, ROCKET_FLAME };

// Collects the parts of one model into a Milkshape3D file: one group per
// part, vertices welded by position inside a part, corner normals smooth
// (averaged over the part's faces at each vertex) or flat.
class Builder {
 public:
  ms::File file;

  // Starts a part drawn with the given material.
  void beginPart(MaterialId material, bool smooth, const std::string& name) {
    finishPart();
    smooth_ = smooth;
    material_ = material;
    ms::Group group;
    group.name = name;
    file.groups.push_back(group);
    welded_.clear();
    partStart_ = file.triangles.size();
  }

  // A triangle whose corners are listed counter-clockwise or clockwise; it
  // is turned so that it faces away from `inside`.
  void triangle(const Vector3D& a, const Vector3D& b, const Vector3D& c, const Vector2D& ta,
                const Vector2D& tb, const Vector2D& tc, const Vector3D& inside) {
    const Vector3D n = korvu::crossProduct(b - a, c - a);
    if (korvu::dotProduct(n, (a + b + c) * (1.0f / 3.0f) - inside) < 0.0f) {
      addTriangle(a, c, b, ta, tc, tb);
    } else {
      addTriangle(a, b, c, ta, tb, tc);
    }
  }

  // A quad a, b, c, d in order around its edge, split along a-c.
  void quad(const Vector3D& a, const Vector3D& b, const Vector3D& c, const Vector3D& d,
            const Vector2D& ta, const Vector2D& tb, const Vector2D& tc, const Vector2D& td,
            const Vector3D& inside) {
    triangle(a, b, c, ta, tb, tc, inside);
    triangle(a, c, d, ta, tc, td, inside);
  }

  // Ends the last part and fills in the corner normals.
  ms::File finish() {
    finishPart();
    for (const MaterialSpec& spec : MATERIALS) {
      ms::Material m;
      m.name = spec.name;
      for (int i = 0; i < 3; ++i) {
        m.ambient[i] = spec.diffuse[i] * 0.6f;
        m.diffuse[i] = spec.diffuse[i];
        m.specular[i] = spec.specular;
        m.emissive[i] = spec.emissive[i];
      }
      m.shininess = spec.shininess;
      m.texture = spec.texture;
      file.materials.push_back(m);
    }
    // Keep only the materials some group uses, renumbering the groups.
    std::vector<int> newIndex(file.materials.size(), -1);
    std::vector<ms::Material> used;
    for (ms::Group& g : file.groups) {
      if (newIndex[g.material] < 0) {
        newIndex[g.material] = static_cast<int>(used.size());
        used.push_back(file.materials[g.material]);
      }
      g.material = static_cast<int8_t>(newIndex[g.material]);
    }
    file.materials = used;
    return file;
  }

 private:
  bool smooth_ = false;
  MaterialId material_ = LIVERY;
  size_t partStart_ = 0;
  std::map<std::tuple<float, float, float>, uint16_t> welded_;

  uint16_t vertex(const Vector3D& p) {
    const auto key = std::make_tuple(p.x, p.y, p.z);
    auto found = welded_.find(key);
    if (found != welded_.end()) return found->second;
    ms::Vertex v;
    v.position[0] = p.x;
    v.position[1] = p.y;
    v.position[2] = p.z;
    const uint16_t index = static_cast<uint16_t>(file.vertices.size());
    file.vertices.push_back(v);
    welded_[key] = index;
    return index;
  }

  void addTriangle(const Vector3D& a, const Vector3D& b, const Vector3D& c, const Vector2D& ta,
                   const Vector2D& tb, const Vector2D& tc) {
    ms::Triangle t;
    const Vector3D p[3] = {a, b, c};
    const Vector2D uv[3] = {ta, tb, tc};
    for (int k = 0; k < 3; ++k) {
      t.vertex[k] = vertex(p[k]);
      t.s[k] = uv[k].x;
      t.t[k] = uv[k].y;
    }
    t.groupIndex = static_cast<uint8_t>(file.groups.size() - 1);
    file.groups.back().triangles.push_back(static_cast<uint16_t>(file.triangles.size()));
    file.triangles.push_back(t);
  }

  Vector3D position(uint16_t index) const {
    const float* p = file.vertices[index].position;
    return Vector3D(p[0], p[1], p[2]);
  }

  // Smooth normals average the faces at a vertex that meet this face at less
  // than 60 degrees, so caps and sharp rims keep their edge.
  void finishPart() {
    if (file.groups.empty() || file.groups.back().material >= 0) return;
    file.groups.back().material = static_cast<int8_t>(material_);
    std::map<uint16_t, std::vector<size_t>> facesAt;
    std::vector<Vector3D> faceNormals;
    for (size_t i = partStart_; i < file.triangles.size(); ++i) {
      const ms::Triangle& t = file.triangles[i];
      Vector3D n = korvu::crossProduct(position(t.vertex[1]) - position(t.vertex[0]),
                                       position(t.vertex[2]) - position(t.vertex[0]));
      faceNormals.push_back(n);
      for (int k = 0; k < 3; ++k) facesAt[t.vertex[k]].push_back(i - partStart_);
    }
    auto unit = [](Vector3D v) {
      v.normalize();
      return v;
    };
    for (size_t i = partStart_; i < file.triangles.size(); ++i) {
      ms::Triangle& t = file.triangles[i];
      const Vector3D own = unit(faceNormals[i - partStart_]);
      for (int k = 0; k < 3; ++k) {
        Vector3D n = own;
        if (smooth_) {
          // Unnormalised sums: larger faces weigh more.
          n = Vector3D();
          for (size_t j : facesAt[t.vertex[k]])
            if (korvu::dotProduct(unit(faceNormals[j]), own) > 0.5f) n += faceNormals[j];
          n.normalize();
        }
        t.normal[k][0] = n.x;
        t.normal[k][1] = n.y;
        t.normal[k][2] = n.z;
      }
    }
  }
};

// One cross-section of a lofted body: a rounded ring about (x, yc) at
// station z, half-width w, reaching `top` above and `bottom` below yc.
struct Station {
  float z, x, yc, w, top, bottom;
};

// The ring point k of n, starting at the top and going round through +x.
// `square` between 0 (ellipse) and 1 flattens the sides.
Vector3D ringPoint(const Station& s, int k, int n, float square) {
  const float a = 2.0f * PI * static_cast<float>(k % n) / static_cast<float>(n);
  const float sa = std::sin(a), ca = std::cos(a);
  auto shape = [square](float v) {
    const float mag = std::pow(std::fabs(v), 1.0f - 0.6f * square);
    return v < 0.0f ? -mag : mag;
  };
  const float y = ca >= 0.0f ? s.top * shape(ca) : s.bottom * shape(ca);
  return Vector3D(s.x + s.w * shape(sa), s.yc + y, s.z);
}

// Rings of n points at every station, joined into a tube. The texture runs
// along the body in s (0 at the last station, 1 at the first) and round it
// in t (0 on top, 0.5 underneath). A zero-width first or last station closes
// that end in a point; `capEnds` closes the others flat.
void loft(Builder& b, const std::vector<Station>& stations, int n, float square, bool capEnds,
          MaterialId capMaterial, bool separateCaps) {
  const float zFirst = stations.front().z, zLast = stations.back().z;
  auto texS = [&](float z) { return (z - zLast) / (zFirst - zLast); };
  for (size_t i = 0; i + 1 < stations.size(); ++i) {
    const Station& s0 = stations[i];
    const Station& s1 = stations[i + 1];
    const Vector3D inside((s0.x + s1.x) * 0.5f, (s0.yc + s1.yc) * 0.5f, (s0.z + s1.z) * 0.5f);
    for (int k = 0; k < n; ++k) {
      const Vector3D a = ringPoint(s0, k, n, square), b1 = ringPoint(s0, k + 1, n, square);
      const Vector3D c = ringPoint(s1, k + 1, n, square), d = ringPoint(s1, k, n, square);
      const float t0 = static_cast<float>(k) / n, t1 = static_cast<float>(k + 1) / n;
      const Vector2D ta(texS(s0.z), t0), tb(texS(s0.z), t1), tc(texS(s1.z), t1), td(texS(s1.z), t0);
      if (s0.w == 0.0f) {
        b.triangle(a, c, d, ta, tc, td, inside);
      } else if (s1.w == 0.0f) {
        b.triangle(a, b1, c, ta, tb, tc, inside);
      } else {
        b.quad(a, b1, c, d, ta, tb, tc, td, inside);
      }
    }
  }
  if (!capEnds) return;
  for (const Station* s : {&stations.front(), &stations.back()}) {
    if (s->w == 0.0f) continue;
    if (separateCaps) b.beginPart(capMaterial, false, "cap");
    const Vector3D centre(s->x, s->yc, s->z);
    const float dz = s == &stations.front() ? -1.0f : 1.0f;
    const Vector3D inside = centre + Vector3D(0.0f, 0.0f, dz);
    for (int k = 0; k < n; ++k) {
      const Vector3D a = ringPoint(*s, k, n, square), c = ringPoint(*s, k + 1, n, square);
      auto flatUV = [&](const Vector3D& p) {
        return Vector2D(0.5f + (p.x - s->x) / (2.0f * s->w), 0.5f - (p.y - s->yc) / (s->top + s->bottom));
      };
      b.triangle(centre, a, c, Vector2D(0.5f, 0.5f), flatUV(a), flatUV(c), inside);
    }
  }
}

// A closed box given by its eight corners: bottom four then top four, each
// four in order around. Each side shows the whole texture, or only the
// texel at `paint` when that is given.
void box(Builder& b, const Vector3D c[8], const Vector2D* paint = nullptr) {
  Vector3D centre;
  for (int i = 0; i < 8; ++i) centre += c[i];
  centre *= 0.125f;
  const int faces[6][4] = {{0, 1, 2, 3}, {4, 5, 6, 7}, {0, 1, 5, 4},
                           {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
  Vector2D uv[4] = {Vector2D(0, 1), Vector2D(1, 1), Vector2D(1, 0), Vector2D(0, 0)};
  if (paint) uv[0] = uv[1] = uv[2] = uv[3] = *paint;
  for (const auto& f : faces)
    b.quad(c[f[0]], c[f[1]], c[f[2]], c[f[3]], uv[0], uv[1], uv[2], uv[3], centre);
}

// A flat slab (wing, fin, canard) from a four-point outline and a thickness
// along `across`.
void slab(Builder& b, const Vector3D outline[4], const Vector3D& across,
          const Vector2D* paint = nullptr) {
  const Vector3D h = across * 0.5f;
  const Vector3D c[8] = {outline[0] - h, outline[1] - h, outline[2] - h, outline[3] - h,
                         outline[0] + h, outline[1] + h, outline[2] + h, outline[3] + h};
  box(b, c, paint);
}

// A flat glowing ellipse facing `normal` (a jet pad or a nozzle), one sided.
void disc(Builder& b, const Vector3D& centre, const Vector3D& u, const Vector3D& v,
          const Vector3D& normal, int n) {
  const Vector3D inside = centre - normal;
  for (int k = 0; k < n; ++k) {
    const float a0 = 2.0f * PI * k / n, a1 = 2.0f * PI * (k + 1) / n;
    const Vector3D p0 = centre + u * std::cos(a0) + v * std::sin(a0);
    const Vector3D p1 = centre + u * std::cos(a1) + v * std::sin(a1);
    b.triangle(centre, p0, p1, Vector2D(0.5f, 0.5f),
               Vector2D(0.5f + 0.5f * std::cos(a0), 0.5f + 0.5f * std::sin(a0)),
               Vector2D(0.5f + 0.5f * std::cos(a1), 0.5f + 0.5f * std::sin(a1)), inside);
  }
}

// ---------------------------------------------------------------------------
// The vehicle

const std::vector<Station> HULL = {
    {27.0f, 0.0f, -2.6f, 0.0f, 0.0f, 0.0f},   {24.5f, 0.0f, -2.55f, 1.6f, 0.6f, 0.6f},
    {20.0f, 0.0f, -2.4f, 3.0f, 1.1f, 1.0f},   {15.0f, 0.0f, -2.2f, 4.2f, 1.5f, 1.2f},
    {7.0f, 0.0f, -1.9f, 5.2f, 2.0f, 1.4f},    {-3.0f, 0.0f, -1.7f, 5.6f, 2.2f, 1.5f},
    {-13.0f, 0.0f, -1.7f, 5.2f, 2.0f, 1.5f},  {-19.0f, 0.0f, -1.8f, 4.4f, 1.7f, 1.4f},
    {-21.5f, 0.0f, -1.8f, 3.9f, 1.5f, 1.3f},
};

std::vector<Station> pod(float x) {
  return {{-2.0f, x, -2.0f, 0.0f, 0.0f, 0.0f},  {-4.5f, x, -2.0f, 1.3f, 1.3f, 1.3f},
          {-8.0f, x, -2.0f, 1.9f, 1.9f, 1.8f},  {-18.0f, x, -2.0f, 2.0f, 2.0f, 1.9f},
          {-23.0f, x, -2.0f, 1.7f, 1.7f, 1.6f}};
}

ms::File vehicle() {
  Builder b;
  b.beginPart(LIVERY, true, "hull");
  loft(b, HULL, 20, 0.35f, true, DARK, true);

  b.beginPart(CANOPY, true, "canopy");
  {
    // Half an ellipsoid rising from inside the hull.
    const Vector3D centre(0.0f, -0.4f, 0.5f);
    const float rx = 2.7f, ry = 2.9f, rz = 7.0f;
    const int around = 12, up = 5;
    for (int j = 0; j < up; ++j) {
      const float e0 = 0.5f * PI * j / up, e1 = 0.5f * PI * (j + 1) / up;
      for (int k = 0; k < around; ++k) {
        const float a0 = 2.0f * PI * k / around, a1 = 2.0f * PI * (k + 1) / around;
        auto p = [&](float e, float a) {
          return centre + Vector3D(rx * std::cos(e) * std::sin(a), ry * std::sin(e),
                                   rz * std::cos(e) * std::cos(a));
        };
        const Vector2D t(0.5f, 0.5f);
        if (j == up - 1) {
          b.triangle(p(e0, a0), p(e0, a1), p(e1, a0), t, t, t, centre);
        } else {
          b.quad(p(e0, a0), p(e0, a1), p(e1, a1), p(e1, a0), t, t, t, t, centre);
        }
      }
    }
  }

  for (float side : {1.0f, -1.0f}) {
    const float x = 10.5f * side;
    b.beginPart(DARK, true, side > 0 ? "podLeft" : "podRight");
    loft(b, pod(x), 14, 0.0f, true, JET, true);

    b.beginPart(LIVERY, false, side > 0 ? "wingLeft" : "wingRight");
    {
      const Vector3D outline[4] = {Vector3D(4.6f * side, -1.7f, -1.0f), Vector3D(x, -1.6f, -7.0f),
                                   Vector3D(x, -1.6f, -18.0f), Vector3D(4.6f * side, -1.7f, -17.0f)};
      // Plain lacquer from the livery's flank.
      const Vector2D red(0.5f, 0.2f);
      slab(b, outline, Vector3D(0.0f, 0.7f, 0.0f), &red);
    }
    b.beginPart(ACCENT, false, side > 0 ? "finLeft" : "finRight");
    {
      const float fx = x + 0.4f * side;
      const Vector3D outline[4] = {Vector3D(x, -0.3f, -11.0f), Vector3D(fx, 3.2f, -19.5f),
                                   Vector3D(fx, 3.2f, -22.5f), Vector3D(x, -0.3f, -22.0f)};
      slab(b, outline, Vector3D(0.4f, 0.0f, 0.0f));
    }
    b.beginPart(ACCENT, false, side > 0 ? "canardLeft" : "canardRight");
    {
      const Vector3D outline[4] = {Vector3D(3.0f * side, -2.3f, 19.0f), Vector3D(6.8f * side, -2.6f, 14.0f),
                                   Vector3D(6.8f * side, -2.6f, 12.0f), Vector3D(3.5f * side, -2.3f, 11.5f)};
      slab(b, outline, Vector3D(0.0f, 0.35f, 0.0f));
    }
    b.beginPart(JET, false, side > 0 ? "jetLeft" : "jetRight");
    disc(b, Vector3D(x, -3.95f, -16.5f), Vector3D(1.3f, 0.0f, 0.0f), Vector3D(0.0f, 0.0f, 3.0f),
         Vector3D(0.0f, -1.0f, 0.0f), 12);
  }
  b.beginPart(JET, false, "jetFront");
  disc(b, Vector3D(0.0f, -3.75f, 19.0f), Vector3D(1.6f, 0.0f, 0.0f), Vector3D(0.0f, 0.0f, 2.6f),
       Vector3D(0.0f, -1.0f, 0.0f), 12);
  b.beginPart(JET, false, "jetTail");
  disc(b, Vector3D(0.0f, -1.8f, -21.55f), Vector3D(2.4f, 0.0f, 0.0f), Vector3D(0.0f, 1.0f, 0.0f),
       Vector3D(0.0f, 0.0f, -1.0f), 12);
  return b.finish();
}

// One closed mesh: coarse versions of the hull, the pods and the wings, each
// closed on its own, so every edge has a partner for the shadow volume.
ms::File shadowHull() {
  Builder b;
  b.beginPart(DARK, false, "shadow");
  std::vector<Station> hull;
  for (size_t i : {0u, 2u, 3u, 5u, 7u, 8u}) hull.push_back(HULL[i]);
  loft(b, hull, 8, 0.35f, true, DARK, false);
  for (float side : {1.0f, -1.0f}) {
    const float x = 10.5f * side;
    std::vector<Station> p = pod(x);
    loft(b, {p[0], p[2], p[3], p[4]}, 6, 0.0f, true, DARK, false);
    const Vector3D outline[4] = {Vector3D(4.6f * side, -1.7f, -1.0f), Vector3D(x, -1.6f, -7.0f),
                                 Vector3D(x, -1.6f, -18.0f), Vector3D(4.6f * side, -1.7f, -17.0f)};
    slab(b, outline, Vector3D(0.0f, 0.7f, 0.0f));
  }
  return b.finish();
}

// A blunt closed hull over the whole vehicle, nose to fins, for the
// collision queries.
ms::File collisionHull() {
  Builder b;
  b.beginPart(DARK, false, "collision");
  const std::vector<Station> stations = {
      {27.0f, 0.0f, -2.6f, 0.8f, 0.5f, 0.7f},  {15.0f, 0.0f, -2.2f, 4.5f, 1.6f, 1.3f},
      {0.0f, 0.0f, -1.5f, 6.5f, 2.8f, 2.2f},   {-7.0f, 0.0f, -1.0f, 12.5f, 2.5f, 2.8f},
      {-23.0f, 0.0f, -1.0f, 12.5f, 2.5f, 2.8f}};
  loft(b, stations, 6, 1.0f, true, DARK, false);
  return b.finish();
}

// ---------------------------------------------------------------------------
// The launcher and the rocket. The launcher's arm rises along its own +y to
// the cradle, where the loaded rocket sits at (-0.05, 4, 1) pointing along
// +z; the rocket flies along its own +z.

ms::File launcher() {
  Builder b;
  b.beginPart(DARK, false, "arm");
  {
    const Vector3D c[8] = {Vector3D(-0.3f, -0.2f, -0.5f), Vector3D(0.3f, -0.2f, -0.5f),
                           Vector3D(0.3f, -0.2f, 0.5f),   Vector3D(-0.3f, -0.2f, 0.5f),
                           Vector3D(-0.25f, 3.2f, 0.1f),  Vector3D(0.25f, 3.2f, 0.1f),
                           Vector3D(0.25f, 3.2f, 1.1f),   Vector3D(-0.25f, 3.2f, 1.1f)};
    box(b, c);
  }
  b.beginPart(DARK, true, "hinge");
  loft(b, {{1.0f, 0.0f, 0.0f, 0.55f, 0.55f, 0.55f}, {-1.0f, 0.0f, 0.0f, 0.55f, 0.55f, 0.55f}}, 10,
       0.0f, true, ACCENT, true);
  b.beginPart(ACCENT, false, "cradle");
  for (float side : {1.0f, -1.0f}) {
    // Rails under the loaded rocket (radius 0.45 about y = 4).
    const Vector3D c[8] = {Vector3D(side * 0.25f, 3.1f, -1.6f), Vector3D(side * 0.7f, 3.1f, -1.6f),
                           Vector3D(side * 0.7f, 3.1f, 3.2f),   Vector3D(side * 0.25f, 3.1f, 3.2f),
                           Vector3D(side * 0.25f, 3.5f, -1.6f), Vector3D(side * 0.7f, 3.5f, -1.6f),
                           Vector3D(side * 0.7f, 3.5f, 3.2f),   Vector3D(side * 0.25f, 3.5f, 3.2f)};
    box(b, c);
  }
  return b.finish();
}

ms::File rocket() {
  Builder b;
  // Body first and closed on its own: it is what casts the rocket's shadow.
  b.beginPart(ROCKET_BODY, true, "body");
  const std::vector<Station> body = {{3.2f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f},
                                     {2.0f, 0.0f, 0.0f, 0.32f, 0.32f, 0.32f},
                                     {1.3f, 0.0f, 0.0f, 0.45f, 0.45f, 0.45f},
                                     {-2.2f, 0.0f, 0.0f, 0.45f, 0.45f, 0.45f}};
  loft(b, body, 10, 0.0f, true, ROCKET_BODY, false);
  b.beginPart(ROCKET_NOSE, true, "nose");
  loft(b, {{3.25f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f}, {2.0f, 0.0f, 0.0f, 0.34f, 0.34f, 0.34f}}, 10, 0.0f,
       false, ROCKET_NOSE, false);
  b.beginPart(ROCKET_NOSE, false, "fins");
  for (int k = 0; k < 4; ++k) {
    const float a = 0.25f * PI + 0.5f * PI * k;
    const Vector3D out(std::cos(a), std::sin(a), 0.0f);
    const Vector3D across(-std::sin(a) * 0.12f, std::cos(a) * 0.12f, 0.0f);
    const Vector3D outline[4] = {out * 0.4f + Vector3D(0, 0, -0.6f), out * 1.0f + Vector3D(0, 0, -1.6f),
                                 out * 1.0f + Vector3D(0, 0, -2.2f), out * 0.4f + Vector3D(0, 0, -2.2f)};
    slab(b, outline, across);
  }
  b.beginPart(ROCKET_FLAME, false, "flame");
  disc(b, Vector3D(0.0f, 0.0f, -2.25f), Vector3D(0.38f, 0.0f, 0.0f), Vector3D(0.0f, 0.38f, 0.0f),
       Vector3D(0.0f, 0.0f, -1.0f), 10);
  return b.finish();
}

// ---------------------------------------------------------------------------
// The livery: s runs along the body (0 tail, 1 nose), t round it (0 on top,
// 0.5 underneath, symmetric left and right).

void livery(const std::string& file) {
  const int size = 256;
  glimro_tools::Picture picture(size, size, {0.0f, 0.0f, 0.0f, 1.0f});
  for (int y = 0; y < size; ++y) {
    const float t = (y + 0.5f) / size;
    const float around = t < 0.5f ? t : 1.0f - t;  // 0 on top, 0.5 underneath
    for (int x = 0; x < size; ++x) {
      const float s = (x + 0.5f) / size;
      // Lacquer red, darker towards the tail.
      float r = 0.78f + 0.12f * s, g = 0.07f + 0.03f * s, bl = 0.06f;
      // Twin white stripes down the spine.
      const float spine = std::fabs(around - 0.045f);
      if (spine < 0.022f) r = g = bl = 0.95f;
      // Dark underside below a yellow pin stripe.
      if (around > 0.30f) {
        r = 0.12f;
        g = 0.13f;
        bl = 0.15f;
      }
      if (std::fabs(around - 0.30f) < 0.012f) {
        r = 0.98f;
        g = 0.74f;
        bl = 0.08f;
      }
      // A black chevron band across the nose and a white tip.
      const float chevron = s - 0.80f + 0.35f * around;
      if (chevron > 0.0f && chevron < 0.035f && around < 0.30f) r = g = bl = 0.05f;
      if (s > 0.955f) r = g = bl = 0.92f;
      // Panel lines.
      for (float line : {0.22f, 0.47f, 0.68f})
        if (std::fabs(s - line) < 0.003f) {
          r *= 0.6f;
          g *= 0.6f;
          bl *= 0.6f;
        }
      picture.at(x, y) = {r, g, bl, 1.0f};
    }
  }
  glimro_tools::makeDirs(file.substr(0, file.rfind('/')));
  picture.savePng(file);
}

void saveModel(const std::string& out, const std::string& name, const ms::File& file) {
  ms::save(out + "/models/" + name + ".ms3d", file);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_vehicle RESOURCES_DIR\n");
    return 2;
  }
  const std::string out = argv[1];
  try {
    glimro_tools::makeDirs(out + "/models");
    saveModel(out, "glimro", vehicle());
    saveModel(out, "glimroShadow", shadowHull());
    saveModel(out, "glimroCollision", collisionHull());
    saveModel(out, "rocketLauncher", launcher());
    saveModel(out, "rocket", rocket());
    livery(out + "/textures/glimro_livery.png");

    using glimro_tools::element;
    std::vector<std::unique_ptr<korvu::xml::Node>> entries;
    for (const char* name : {"glimro", "glimroShadow", "rocketLauncher", "rocket"})
      entries.push_back(element("milkshapemodel",
                                {{"name", name}, {"filename", std::string("resources/models/") + name + ".ms3d"}}));
    entries.push_back(element("milkshapemodel", {{"name", "glimroCollision"},
                                                 {"filename", "resources/models/glimroCollision.ms3d"},
                                                 {"collision", "true"}}));
    glimro_tools::addToCatalog(out + "/models.xml", "models", std::move(entries));
  } catch (const std::string& message) {
    std::fprintf(stderr, "make_vehicle: %s\n", message.c_str());
    return 1;
  }
  return 0;
}
