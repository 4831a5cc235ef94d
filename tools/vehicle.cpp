// make_vehicle: the hover vehicle "glimro" with its shadow hull
// "glimroShadow" and collision hull "glimroCollision", the rocket launcher
// "rocketLauncher" and the rocket "rocket", as Milkshape3D files below
// models/, the livery texture below textures/, and their entries in the
// shared models list.
//
// Vehicle space: +z forward, +y up. The hover jets sit at (0, -2.6, 19) and
// (+-10.5, -2.6, -16.5) and float 6 units over the road, so the road lies
// at about y = -8.6; the hull keeps above y = -4, the pads and their glow
// above y = -4.5. The cockpit cameras at (0, 5, -3) and (0, 0, 15) stay
// outside every part, and nothing rises above y = 3.5 so the vehicle fits
// under the stacked roads and through tunnels.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <initializer_list>
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
// so that a material means the same thing wherever it is used. An alpha
// below 1 makes a material blended: the engine draws it after the solids.
struct MaterialSpec {
  const char* name;
  float diffuse[3];
  float specular;
  float shininess;
  float emissive[3];
  const char* texture;
  float alpha;
};

const MaterialSpec MATERIALS[] = {
    // A faint glow of its own keeps the livery readable at night.
    {"glimroLivery", {1.0f, 1.0f, 1.0f}, 0.8f, 60.0f, {0.22f, 0.22f, 0.22f}, "glimro_livery.png", 1.0f},
    {"glimroDark", {0.16f, 0.17f, 0.2f}, 0.6f, 40.0f, {0.0f, 0.0f, 0.0f}, "", 1.0f},
    {"glimroCanopy", {0.05f, 0.12f, 0.26f}, 1.0f, 110.0f, {0.0f, 0.02f, 0.05f}, "", 1.0f},
    {"glimroAccent", {0.98f, 0.74f, 0.08f}, 0.7f, 50.0f, {0.2f, 0.15f, 0.02f}, "", 1.0f},
    {"glimroJet", {0.3f, 0.9f, 1.0f}, 0.0f, 0.0f, {0.35f, 0.9f, 1.0f}, "", 1.0f},
    // The hover pads' faces: the livery's pad picture, lit by itself.
    {"glimroPad", {0.0f, 0.0f, 0.0f}, 0.0f, 0.0f, {1.0f, 1.0f, 1.0f}, "glimro_livery.png", 1.0f},
    // The pads' light on the road below: the livery's halo picture, blended.
    {"glimroGlow", {0.0f, 0.0f, 0.0f}, 0.0f, 0.0f, {0.55f, 0.95f, 1.0f}, "glimro_livery.png", 0.9f},
    {"rocketBody", {0.9f, 0.9f, 0.92f}, 0.7f, 50.0f, {0.0f, 0.0f, 0.0f}, "", 1.0f},
    {"rocketNose", {0.86f, 0.1f, 0.07f}, 0.7f, 50.0f, {0.0f, 0.0f, 0.0f}, "", 1.0f},
    {"rocketFlame", {1.0f, 0.6f, 0.2f}, 0.0f, 0.0f, {1.0f, 0.55f, 0.15f}, "", 1.0f},
};
enum MaterialId { LIVERY, DARK, CANOPY, ACCENT, JET, PAD, GLOW, ROCKET_BODY, ROCKET_NOSE, ROCKET_FLAME };

// Where a part's texture coordinates land in the livery picture, which
// holds several pictures side by side (see livery()).
struct UvRect {
  float u0, u1, v0, v1;
  Vector2D at(float s, float t) const { return Vector2D(u0 + (u1 - u0) * s, v0 + (v1 - v0) * t); }
};
const UvRect WHOLE{0.0f, 1.0f, 0.0f, 1.0f};
const UvRect HULL_UV{0.0f, 1.0f, 0.0f, 0.75f};
const UvRect POD_UV{0.0f, 0.5f, 0.75f, 1.0f};
// Half a texel in from the square's edges, so filtering stays inside.
const UvRect PAD_UV{0.5f + 1.0f / 512, 0.75f - 1.0f / 512, 0.75f + 1.0f / 512, 1.0f - 1.0f / 512};
const UvRect HALO_UV{0.75f + 1.0f / 512, 1.0f - 1.0f / 512, 0.75f + 1.0f / 512, 1.0f - 1.0f / 512};

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
      m.diffuse[3] = spec.alpha;
      m.shininess = spec.shininess;
      m.texture = spec.texture;
      file.materials.push_back(m);
    }
    // One group per material: parts of one look are drawn as one mesh.
    std::vector<ms::Group> merged;
    for (ms::Group& g : file.groups) {
      auto same = std::find_if(merged.begin(), merged.end(),
                               [&](const ms::Group& m) { return m.material == g.material; });
      if (same == merged.end()) {
        merged.push_back(g);
      } else {
        same->triangles.insert(same->triangles.end(), g.triangles.begin(), g.triangles.end());
      }
    }
    for (size_t i = 0; i < merged.size(); ++i)
      for (uint16_t t : merged[i].triangles) file.triangles[t].groupIndex = static_cast<uint8_t>(i);
    file.groups = merged;
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
// in t (0 on top, 0.5 underneath), placed in `uv`. A zero-width first or
// last station closes that end in a point; `capEnds` closes the others flat.
void loft(Builder& b, const std::vector<Station>& stations, int n, float square, bool capEnds,
          MaterialId capMaterial, bool separateCaps, const UvRect& uv = WHOLE) {
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
      const Vector2D ta = uv.at(texS(s0.z), t0), tb = uv.at(texS(s0.z), t1), tc = uv.at(texS(s1.z), t1),
                     td = uv.at(texS(s1.z), t0);
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
// texel at `paint` when that is given, or what `mapped` gives each corner.
// Bit f of `faces` keeps side f (bottom, top, then the four round the
// outline from corners 0-1 on); hidden ones can be left out.
void box(Builder& b, const Vector3D c[8], const Vector2D* paint = nullptr,
         const std::function<Vector2D(const Vector3D&)>& mapped = nullptr, unsigned faces = 0x3f) {
  Vector3D centre;
  for (int i = 0; i < 8; ++i) centre += c[i];
  centre *= 0.125f;
  const int sides[6][4] = {{0, 1, 2, 3}, {4, 5, 6, 7}, {0, 1, 5, 4},
                           {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
  Vector2D uv[4] = {Vector2D(0, 1), Vector2D(1, 1), Vector2D(1, 0), Vector2D(0, 0)};
  if (paint) uv[0] = uv[1] = uv[2] = uv[3] = *paint;
  for (int i = 0; i < 6; ++i) {
    if (!(faces & (1u << i))) continue;
    const int* f = sides[i];
    if (mapped) {
      for (int k = 0; k < 4; ++k) uv[k] = mapped(c[f[k]]);
    }
    b.quad(c[f[0]], c[f[1]], c[f[2]], c[f[3]], uv[0], uv[1], uv[2], uv[3], centre);
  }
}

// A flat slab (wing, fin, canard) from a four-point outline and a thickness
// along `across`.
void slab(Builder& b, const Vector3D outline[4], const Vector3D& across, const Vector2D* paint = nullptr,
          const std::function<Vector2D(const Vector3D&)>& mapped = nullptr, unsigned faces = 0x3f) {
  const Vector3D h = across * 0.5f;
  const Vector3D c[8] = {outline[0] - h, outline[1] - h, outline[2] - h, outline[3] - h,
                         outline[0] + h, outline[1] + h, outline[2] + h, outline[3] + h};
  box(b, c, paint, mapped, faces);
}

// A flat ellipse facing `normal` (a pad, a nozzle, a glow), one sided; the
// texture shows the square `uv` with the ellipse inscribed.
void disc(Builder& b, const Vector3D& centre, const Vector3D& u, const Vector3D& v, const Vector3D& normal, int n,
          const UvRect& uv = WHOLE) {
  const Vector3D inside = centre - normal;
  for (int k = 0; k < n; ++k) {
    const float a0 = 2.0f * PI * k / n, a1 = 2.0f * PI * (k + 1) / n;
    const Vector3D p0 = centre + u * std::cos(a0) + v * std::sin(a0);
    const Vector3D p1 = centre + u * std::cos(a1) + v * std::sin(a1);
    b.triangle(centre, p0, p1, uv.at(0.5f, 0.5f), uv.at(0.5f + 0.5f * std::cos(a0), 0.5f + 0.5f * std::sin(a0)),
               uv.at(0.5f + 0.5f * std::cos(a1), 0.5f + 0.5f * std::sin(a1)), inside);
  }
}

// The open side of an upright elliptic cylinder about `centre` (radii rx
// across, rz along), from yTop down to yBottom, facing outwards.
void band(Builder& b, const Vector3D& centre, float rx, float rz, float yTop, float yBottom, int n) {
  const Vector2D t(0.5f, 0.5f);
  for (int k = 0; k < n; ++k) {
    const float a0 = 2.0f * PI * k / n, a1 = 2.0f * PI * (k + 1) / n;
    const Vector3D p0(centre.x + rx * std::cos(a0), 0.0f, centre.z + rz * std::sin(a0));
    const Vector3D p1(centre.x + rx * std::cos(a1), 0.0f, centre.z + rz * std::sin(a1));
    const Vector3D up(0.0f, yTop, 0.0f), down(0.0f, yBottom, 0.0f);
    b.quad(p0 + up, p1 + up, p1 + down, p0 + down, t, t, t, t, Vector3D(centre.x, yTop, centre.z));
  }
}

// ---------------------------------------------------------------------------
// The vehicle: a low lifting body with a bubble canopy, joined by swept
// wings to two engine pods; glowing hover pads under the three jets.

const std::vector<Station> HULL = {
    {27.0f, 0.0f, -2.65f, 0.0f, 0.0f, 0.0f},   {25.6f, 0.0f, -2.65f, 1.7f, 0.42f, 0.5f},
    {23.0f, 0.0f, -2.6f, 2.9f, 0.75f, 0.75f},  {19.5f, 0.0f, -2.5f, 3.9f, 1.0f, 0.95f},
    {15.0f, 0.0f, -2.35f, 4.7f, 1.3f, 1.1f},   {9.5f, 0.0f, -2.15f, 5.3f, 1.7f, 1.25f},
    {3.5f, 0.0f, -1.95f, 5.7f, 2.0f, 1.35f},   {-3.5f, 0.0f, -1.8f, 5.8f, 2.15f, 1.4f},
    {-10.5f, 0.0f, -1.75f, 5.55f, 2.05f, 1.4f}, {-16.5f, 0.0f, -1.75f, 4.9f, 1.8f, 1.35f},
    {-21.5f, 0.0f, -1.8f, 4.0f, 1.45f, 1.25f},
};
const float HULL_SQUARE = 0.45f;

std::vector<Station> pod(float x) {
  return {{-2.0f, x, -2.0f, 0.0f, 0.0f, 0.0f},  {-3.6f, x, -2.0f, 1.35f, 1.35f, 1.35f},
          {-7.5f, x, -2.0f, 1.95f, 1.95f, 1.9f}, {-18.0f, x, -2.0f, 2.0f, 2.0f, 1.95f},
          {-23.0f, x, -2.0f, 1.65f, 1.65f, 1.6f}};
}

// The wing between the hull's flank and a pod, in the livery's pod picture
// seen from above.
void wingOutline(float side, Vector3D outline[4]) {
  const float x = 10.5f * side;
  outline[0] = Vector3D(4.9f * side, -1.8f, 1.5f);
  outline[1] = Vector3D(x, -1.65f, -6.5f);
  outline[2] = Vector3D(x, -1.65f, -18.5f);
  outline[3] = Vector3D(4.9f * side, -1.8f, -17.5f);
}

// A hover pad under a jet: a glowing skirt and lens, and the pale light
// it throws on the road around it.
void hoverPad(Builder& b, const Vector3D& jet, float rx, float rz, float lensY, const std::string& name) {
  const Vector3D centre(jet.x, lensY, jet.z);
  b.beginPart(JET, false, name + "Skirt");
  band(b, centre, rx, rz, lensY + 0.6f, lensY, 12);
  b.beginPart(PAD, false, name + "Lens");
  disc(b, centre, Vector3D(rx, 0, 0), Vector3D(0, 0, rz), Vector3D(0, -1, 0), 12, PAD_UV);
  b.beginPart(GLOW, false, name + "Glow");
  disc(b, Vector3D(jet.x, -4.45f, jet.z), Vector3D(rx * 3.0f, 0, 0), Vector3D(0, 0, rz * 2.0f), Vector3D(0, 1, 0), 12,
       HALO_UV);
}

ms::File vehicle() {
  Builder b;
  b.beginPart(LIVERY, true, "hull");
  loft(b, HULL, 16, HULL_SQUARE, true, DARK, true, HULL_UV);

  b.beginPart(CANOPY, true, "canopy");
  {
    // Half an ellipsoid rising from inside the hull, drawn out to a point
    // behind.
    const Vector3D centre(0.0f, -0.5f, 1.5f);
    const float rx = 2.6f, ry = 2.6f;
    const int around = 12, up = 5;
    for (int j = 0; j < up; ++j) {
      const float e0 = 0.5f * PI * j / up, e1 = 0.5f * PI * (j + 1) / up;
      for (int k = 0; k < around; ++k) {
        const float a0 = 2.0f * PI * k / around, a1 = 2.0f * PI * (k + 1) / around;
        auto p = [&](float e, float a) {
          const float rz = std::cos(a) > 0.0f ? 6.5f : 9.0f;
          return centre + Vector3D(rx * std::cos(e) * std::sin(a), ry * std::sin(e), rz * std::cos(e) * std::cos(a));
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
    b.beginPart(LIVERY, true, side > 0 ? "podLeft" : "podRight");
    loft(b, pod(x), 12, 0.0f, true, DARK, true, POD_UV);

    b.beginPart(LIVERY, false, side > 0 ? "wingLeft" : "wingRight");
    {
      Vector3D outline[4];
      wingOutline(side, outline);
      // Chord along s, span across the upper third of the pod picture.
      auto mapped = [](const Vector3D& p) {
        return POD_UV.at((p.z + 23.0f) / 21.0f, 0.02f + 0.22f * (std::fabs(p.x) - 4.9f) / 5.6f);
      };
      slab(b, outline, Vector3D(0.0f, 0.6f, 0.0f), nullptr, mapped);
    }
    b.beginPart(ACCENT, false, side > 0 ? "finLeft" : "finRight");
    {
      const float fx = x + 0.35f * side;
      const Vector3D outline[4] = {Vector3D(x, -0.2f, -12.0f), Vector3D(fx, 3.2f, -19.8f),
                                   Vector3D(fx, 3.2f, -22.6f), Vector3D(x, -0.2f, -22.2f)};
      slab(b, outline, Vector3D(0.35f, 0.0f, 0.0f));
    }
    b.beginPart(ACCENT, false, side > 0 ? "canardLeft" : "canardRight");
    {
      const Vector3D outline[4] = {Vector3D(3.2f * side, -2.45f, 19.5f), Vector3D(7.0f * side, -2.25f, 14.2f),
                                   Vector3D(7.0f * side, -2.25f, 12.6f), Vector3D(3.8f * side, -2.45f, 12.0f)};
      slab(b, outline, Vector3D(0.0f, 0.3f, 0.0f));
    }
    hoverPad(b, Vector3D(x, -2.6f, -16.5f), 1.35f, 3.0f, -4.3f, side > 0 ? "padLeft" : "padRight");
  }
  hoverPad(b, Vector3D(0.0f, -2.6f, 19.0f), 1.5f, 2.4f, -3.9f, "padFront");
  b.beginPart(JET, false, "jetTail");
  disc(b, Vector3D(0.0f, -1.8f, -21.55f), Vector3D(2.6f, 0.0f, 0.0f), Vector3D(0.0f, 1.0f, 0.0f),
       Vector3D(0.0f, 0.0f, -1.0f), 12);
  return b.finish();
}

// One closed mesh of thin plates under the hull, the pods and the wings,
// each closed on its own: its shadow is the vehicle's outline seen from
// the light, not the whole height of the body drawn out along the rays.
ms::File shadowHull() {
  Builder b;
  b.beginPart(DARK, false, "shadow");
  std::vector<Station> hull;
  for (size_t i : {0u, 2u, 4u, 6u, 8u, 10u}) {
    Station s = HULL[i];
    s.yc -= 0.6f * s.bottom;
    s.top = s.bottom = s.w == 0.0f ? 0.0f : 0.3f;
    hull.push_back(s);
  }
  loft(b, hull, 8, 1.0f, true, DARK, false);
  for (float side : {1.0f, -1.0f}) {
    std::vector<Station> p = pod(10.5f * side);
    std::vector<Station> plate = {p[0], p[2], p[3], p[4]};
    for (Station& s : plate) {
      s.yc = -3.1f;
      s.top = s.bottom = s.w == 0.0f ? 0.0f : 0.3f;
    }
    loft(b, plate, 6, 1.0f, true, DARK, false);
    Vector3D outline[4];
    wingOutline(side, outline);
    slab(b, outline, Vector3D(0.0f, 0.5f, 0.0f));
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

// A plain patch of the hull's red lacquer in the livery, for parts painted
// in one colour.
const Vector2D LACQUER = HULL_UV.at(0.6f, 0.14f);

ms::File launcher() {
  Builder b;
  // A tapered pylon in the hull's lacquer, on a graphite hinge.
  b.beginPart(LIVERY, false, "arm");
  {
    const Vector3D c[8] = {Vector3D(-0.32f, -0.2f, -0.75f), Vector3D(0.32f, -0.2f, -0.75f),
                           Vector3D(0.32f, -0.2f, 0.65f),   Vector3D(-0.32f, -0.2f, 0.65f),
                           Vector3D(-0.22f, 3.1f, -0.2f),   Vector3D(0.22f, 3.1f, -0.2f),
                           Vector3D(0.22f, 3.1f, 1.3f),     Vector3D(-0.22f, 3.1f, 1.3f)};
    box(b, c, &LACQUER, nullptr, 0x3e);  // the foot stands in the hinge
  }
  b.beginPart(DARK, true, "hinge");
  loft(b, {{0.9f, 0.0f, 0.0f, 0.55f, 0.55f, 0.55f}, {-0.9f, 0.0f, 0.0f, 0.55f, 0.55f, 0.55f}}, 8, 0.0f, true,
       ACCENT, true);
  b.beginPart(DARK, false, "cradle");
  for (float side : {1.0f, -1.0f}) {
    // Rails under the loaded rocket (radius 0.45 about y = 4).
    const Vector3D c[8] = {Vector3D(side * 0.22f, 3.05f, -1.7f), Vector3D(side * 0.62f, 3.05f, -1.7f),
                           Vector3D(side * 0.62f, 3.05f, 3.0f),  Vector3D(side * 0.22f, 3.05f, 3.0f),
                           Vector3D(side * 0.22f, 3.4f, -1.7f),  Vector3D(side * 0.62f, 3.4f, -1.7f),
                           Vector3D(side * 0.62f, 3.4f, 3.0f),   Vector3D(side * 0.22f, 3.4f, 3.0f)};
    box(b, c, nullptr, nullptr, 0x2f);  // the front end lies against the stop
  }
  b.beginPart(ACCENT, false, "stops");
  for (float side : {1.0f, -1.0f}) {
    const Vector3D c[8] = {Vector3D(side * 0.18f, 3.05f, 3.0f),  Vector3D(side * 0.66f, 3.05f, 3.0f),
                           Vector3D(side * 0.66f, 3.05f, 3.35f), Vector3D(side * 0.18f, 3.05f, 3.35f),
                           Vector3D(side * 0.18f, 3.5f, 3.0f),   Vector3D(side * 0.66f, 3.5f, 3.0f),
                           Vector3D(side * 0.66f, 3.5f, 3.35f),  Vector3D(side * 0.18f, 3.5f, 3.35f)};
    box(b, c, nullptr, nullptr, 0x3b);  // its back is the rail's end
  }
  return b.finish();
}

ms::File rocket() {
  Builder b;
  // Body first and closed on its own: it is what casts the rocket's shadow.
  // It is drawn several times a frame, so it is kept to eight sides, and
  // under the nose's shell it is a plain cone.
  constexpr int SIDES = 8;
  b.beginPart(ROCKET_BODY, true, "body");
  const std::vector<Station> body = {{3.2f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f},
                                     {2.0f, 0.0f, 0.0f, 0.35f, 0.35f, 0.35f},
                                     {1.3f, 0.0f, 0.0f, 0.45f, 0.45f, 0.45f},
                                     {-2.0f, 0.0f, 0.0f, 0.45f, 0.45f, 0.45f},
                                     {-2.2f, 0.0f, 0.0f, 0.38f, 0.38f, 0.38f}};
  loft(b, body, SIDES, 0.0f, true, ROCKET_BODY, false);
  // The hull's red on the nose and a yellow band, each a thin shell over
  // the body.
  b.beginPart(ROCKET_NOSE, true, "nose");
  loft(b, {{3.25f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f}, {2.6f, 0.0f, 0.0f, 0.24f, 0.24f, 0.24f},
           {2.0f, 0.0f, 0.0f, 0.37f, 0.37f, 0.37f}},
       SIDES, 0.0f, false, ROCKET_NOSE, false);
  b.beginPart(ACCENT, true, "band");
  loft(b, {{0.9f, 0.0f, 0.0f, 0.47f, 0.47f, 0.47f}, {0.5f, 0.0f, 0.0f, 0.47f, 0.47f, 0.47f}}, SIDES, 0.0f, false,
       ACCENT, false);
  b.beginPart(ROCKET_NOSE, false, "fins");
  for (int k = 0; k < 4; ++k) {
    const float a = 0.25f * PI + 0.5f * PI * k;
    const Vector3D out(std::cos(a), std::sin(a), 0.0f);
    const Vector3D across(-std::sin(a) * 0.1f, std::cos(a) * 0.1f, 0.0f);
    const Vector3D outline[4] = {out * 0.4f + Vector3D(0, 0, -0.4f), out * 0.95f + Vector3D(0, 0, -1.5f),
                                 out * 0.95f + Vector3D(0, 0, -2.1f), out * 0.4f + Vector3D(0, 0, -2.1f)};
    // Both faces and the trailing edge; the root is in the body and the
    // other edges are too thin to see.
    slab(b, outline, across, nullptr, nullptr, 0x13);
  }
  b.beginPart(ROCKET_FLAME, false, "flame");
  disc(b, Vector3D(0.0f, 0.0f, -2.25f), Vector3D(0.32f, 0.0f, 0.0f), Vector3D(0.0f, 0.32f, 0.0f),
       Vector3D(0.0f, 0.0f, -1.0f), SIDES);
  return b.finish();
}

// ---------------------------------------------------------------------------
// The livery, 256 pixels square, holds four pictures. The top three
// quarters dress the hull: s runs along it (0 tail, 1 nose), t round it (0
// on top, 0.5 underneath, symmetric left and right). Below, the left half
// dresses the pods the same way (and the wings, which take its upper
// part); then the hover pads' lens and the halo of their light on the
// road, whose alpha the blended halo material uses.

using glimro_tools::Rgba;

struct Paint {
  float r, g, b;
  Paint operator*(float f) const { return {r * f, g * f, b * f}; }
};
Paint mixPaint(const Paint& a, const Paint& b, float t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

const Paint RED{0.8f, 0.07f, 0.05f};
const Paint WHITE{0.93f, 0.93f, 0.92f};
const Paint YELLOW{0.98f, 0.74f, 0.08f};
const Paint GRAPHITE{0.13f, 0.14f, 0.16f};

// How far (in pixels) p lies from the nearest of the values, for lines.
float nearest(float p, std::initializer_list<float> values, float scale) {
  float best = 1e9f;
  for (float v : values) best = std::min(best, std::fabs(p - v) * scale);
  return best;
}

// A recessed panel line: dark in its groove, with a faint light lip on one
// side, antialiased over about a pixel and a half.
Paint panelLine(Paint c, float distance, float signedSide) {
  const float groove = std::clamp(1.3f - distance, 0.0f, 1.0f);
  const float lip = std::clamp(1.0f - std::fabs(distance - 1.6f), 0.0f, 1.0f) * (signedSide > 0.0f ? 1.0f : 0.0f);
  c = c * (1.0f - 0.55f * groove);
  return mixPaint(c, WHITE, 0.12f * lip);
}

Paint hullPaint(float s, float around, int size) {
  const float px = static_cast<float>(size);            // pixels per unit of s
  const float pt = static_cast<float>(size) * 0.75f;    // pixels per unit of t
  // Lacquer red, a touch deeper towards the tail.
  Paint c = RED * (0.9f + 0.1f * s);
  // A broad white spine stripe that narrows to a point towards the nose,
  // edged with yellow pin stripes.
  const float stripe = 0.032f * std::clamp((0.93f - s) / 0.3f, 0.0f, 1.0f);
  const float edge = around - stripe;
  if (edge < 0.0f) c = WHITE;
  if (edge >= 0.0f && edge * pt < 1.5f && stripe > 0.0f) c = YELLOW;
  // Yellow pin stripe along the flank, then the graphite underside.
  const float flank = 0.3f;
  if (around > flank) c = GRAPHITE * (0.9f + 0.2f * std::fabs(std::sin(s * 60.0f)) * 0.1f);
  if (std::fabs(around - flank) * pt < 1.2f) c = YELLOW;
  // Black intake slots on the flanks behind the cockpit.
  for (float slot : {0.22f, 0.255f, 0.29f})
    if (std::fabs(s - slot) < 0.006f && around > 0.17f && around < 0.26f) c = GRAPHITE * 0.5f;
  // A white roundel on each flank.
  {
    const float ds = (s - 0.5f) * 512.0f, dt = (around - 0.2f) * 384.0f;
    const float r = std::sqrt(ds * ds + dt * dt);
    if (r < 16.0f) c = r > 14.0f ? GRAPHITE : WHITE;
  }
  // The carbon nose cap.
  if (s > 0.965f) c = GRAPHITE;
  // Panel lines: round the body at the frames, along it at the shoulder
  // and the chine, and the cockpit's access hatch.
  const float across = nearest(s, {0.13f, 0.36f, 0.62f, 0.8f, 0.965f}, px);
  const float along = nearest(around, {0.13f, 0.4f}, pt);
  float line = std::min(across, along);
  const bool hatch = s > 0.36f && s < 0.62f && around < 0.13f;
  if (hatch) line = std::min(line, nearest(around, {0.1f}, pt));
  return panelLine(c, line, 1.0f);
}

Paint podPaint(float s, float around, int size) {
  const float px = static_cast<float>(size) * 0.5f, pt = static_cast<float>(size) * 0.25f;
  // Red above, graphite below a yellow pin stripe, like the hull, and a
  // white band behind the intake.
  Paint c = RED * (0.88f + 0.1f * s);
  if (around > 0.3f) c = GRAPHITE;
  if (std::fabs(around - 0.3f) * pt < 1.0f) c = YELLOW;
  if (s > 0.72f && s < 0.78f && around <= 0.3f) c = WHITE;
  if (s > 0.93f) c = GRAPHITE * 0.6f;
  const float line = std::min(nearest(s, {0.2f, 0.45f, 0.7f, 0.93f}, px), nearest(around, {0.15f}, pt));
  return panelLine(c, line, 1.0f);
}

// The pad's lens: white-hot in the middle, cyan, then dark vanes round a
// darker rim.
Rgba padPaint(float x, float y) {
  const float r = std::sqrt(x * x + y * y);
  const float core = std::exp(-r * r / 0.12f);
  Paint c = mixPaint(Paint{0.15f, 0.65f, 0.95f}, Paint{0.95f, 1.0f, 1.0f}, core);
  const float angle = std::atan2(y, x);
  const float vane = std::pow(std::fabs(std::cos(angle * 4.0f)), 24.0f) * std::clamp((r - 0.35f) * 4.0f, 0.0f, 1.0f);
  c = c * (1.0f - 0.55f * vane);
  if (r > 0.86f) c = mixPaint(c, Paint{0.05f, 0.25f, 0.4f}, std::clamp((r - 0.86f) / 0.1f, 0.0f, 1.0f));
  return {c.r, c.g, c.b, 1.0f};
}

// The light on the road: white in alpha, falling off softly to nothing
// before the edge.
Rgba haloPaint(float x, float y) {
  const float r = std::sqrt(x * x + y * y);
  const float light = std::exp(-r * r / 0.18f) * std::clamp((0.97f - r) / 0.25f, 0.0f, 1.0f);
  return {1.0f, 1.0f, 1.0f, 0.85f * light};
}

void livery(const std::string& file) {
  const int size = 256;
  glimro_tools::Picture picture(size, size, {0.0f, 0.0f, 0.0f, 1.0f});
  const int hullRows = size * 3 / 4, quarter = size / 4;
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      Rgba out;
      if (y < hullRows) {
        const float t = (y + 0.5f) / hullRows;
        const Paint c = hullPaint((x + 0.5f) / size, t < 0.5f ? t : 1.0f - t, size);
        out = {c.r, c.g, c.b, 1.0f};
      } else if (x < size / 2) {
        const float t = (y - hullRows + 0.5f) / quarter;
        const Paint c = podPaint((x + 0.5f) / (size / 2), t < 0.5f ? t : 1.0f - t, size);
        out = {c.r, c.g, c.b, 1.0f};
      } else {
        const int cx = (x - size / 2) % quarter;
        const float u = (cx + 0.5f) / quarter * 2.0f - 1.0f, v = (y - hullRows + 0.5f) / quarter * 2.0f - 1.0f;
        out = x < size * 3 / 4 ? padPaint(u, v) : haloPaint(u, v);
      }
      picture.at(x, y) = out;
    }
  glimro_tools::makeDirs(file.substr(0, file.rfind('/')));
  picture.savePng(file, 0x6C17);
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
