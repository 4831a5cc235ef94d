// Makes everything the three tracks look up by name: the road pieces (plain
// road, the second road type with its two transitions, the tunnel with its
// entry and exit) with their collision models, the start portal with its
// collision model, the start lights, the tribune and the sign, their
// textures, and the six start-lamp materials.
//
// Road pieces run from z = 0 to z = -PIECE_LENGTH (the track bends them
// along its curves with the axis (0, 0, -1)), with the driving surface at
// y = 0 between x = -40 and 40. Every piece starts and ends with the plain
// road's cross-section except where it joins its own family (tunnel to
// tunnel, second type to second type), so bent neighbours meet without gaps.
//
// Usage: make_track RESOURCES_DIR
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "canvas.h"
#include "catalog.h"
#include "shapefile.h"

using glimro_tools::Canvas;
using glimro_tools::Corner;
using glimro_tools::Look;
using glimro_tools::Rgb;
using glimro_tools::ShapeFile;
using glimro_tools::mix;
using glimro_tools::scale;
using korvu::Vector3D;

namespace {

// ---------------------------------------------------------------------------
// Dimensions (world units).

constexpr float PIECE_LENGTH = 160.0f;
constexpr int RINGS = 10;  // intervals along a piece

constexpr float ROAD_HALF = 40.0f;     // drivable half width
constexpr float LINE_INNER = 37.0f;    // edge line from here to ROAD_HALF
constexpr float KERB_OUTER = 43.0f;    // kerb from ROAD_HALF to here
constexpr float KERB_HEIGHT = 1.2f;
constexpr float RAIL_HEIGHT = 4.0f;    // parapet of the second road type
constexpr float SIDE_BOTTOM = -2.0f;   // lower end of the slab's outer face
constexpr float SLAB_BOTTOM = -3.0f;   // underside: stacked roads are 50 apart
constexpr float BEVEL_INNER = 36.0f;

constexpr float TUNNEL_WALL = 48.0f;   // inner walls at plus and minus this
constexpr float TUNNEL_SPRING = 40.0f; // wall height where the lamp chamfer starts
constexpr float TUNNEL_CROWN_HALF = 36.0f;
constexpr float TUNNEL_ROOF = 56.0f;   // inside height; the chase camera rides at about 40
constexpr float TUNNEL_OUTER = 52.0f;
constexpr float TUNNEL_OUTER_ROOF = 60.0f;
constexpr int TUNNEL_MOUTH_RING = 3;

// ---------------------------------------------------------------------------
// Looks.

Look look(const std::string& name, const Rgb& ambient, const Rgb& diffuse, float specular, float shininess,
          const Rgb& emissive, const std::string& texture) {
  Look l{name,
         {ambient.r, ambient.g, ambient.b, 1},
         {diffuse.r, diffuse.g, diffuse.b, 1},
         {specular, specular, specular, 1},
         {emissive.r, emissive.g, emissive.b, 1},
         shininess,
         texture};
  return l;
}

const Rgb NONE{0, 0, 0};
Rgb grey(float v) { return {v, v, v}; }

const Look ASPHALT = look("trackAsphalt", grey(0.6f), grey(0.75f), 0.1f, 8, grey(0.14f), "road_asphalt.png");
const Look EDGE_LINE = look("trackLine", grey(0.75f), grey(0.8f), 0.2f, 8, grey(0.45f), "");
const Look KERB = look("trackKerb", grey(0.6f), grey(0.75f), 0.2f, 8, grey(0.3f), "road_kerb.png");
const Look CONCRETE = look("trackConcrete", grey(0.55f), grey(0.7f), 0.0f, 0, grey(0.08f), "road_concrete.png");
const Look DECK = look("trackDeck", grey(0.6f), grey(0.75f), 0.5f, 40, grey(0.16f), "road_deck.png");
const Look DECK_LINE = look("trackDeckLine", {0.2f, 0.7f, 0.8f}, {0.2f, 0.7f, 0.8f}, 0.3f, 20, {0.1f, 0.6f, 0.75f}, "");
const Look RAIL = look("trackRail", grey(0.6f), grey(0.75f), 0.4f, 30, grey(0.3f), "road_rail.png");
const Look TUNNEL_WALL_LOOK = look("tunnelWall", grey(0.5f), grey(0.7f), 0.2f, 12, grey(0.18f), "tunnel_wall.png");
const Look TUNNEL_LAMP = look("tunnelLamp", grey(0.3f), grey(0.3f), 0.0f, 0, {1, 0.92f, 0.75f}, "tunnel_lamp.png");
const Look TUNNEL_CEILING = look("tunnelCeiling", grey(0.45f), grey(0.5f), 0.0f, 0, grey(0.12f), "road_concrete.png");
const Look TUNNEL_FACADE = look("tunnelFacade", grey(0.6f), grey(0.75f), 0.1f, 8, grey(0.15f), "tunnel_facade.png");
const Look PORTAL_FRAME = look("portalFrame", grey(0.6f), grey(0.75f), 0.6f, 40, grey(0.12f), "portal_frame.png");
const Look PORTAL_BANNER = look("portalBanner", grey(0.6f), grey(0.75f), 0.2f, 10, grey(0.4f), "portal_banner.png");
const Look PORTAL_GLOW = look("portalGlow", {0.9f, 0.95f, 1}, {0.9f, 0.95f, 1}, 0.0f, 0, {0.85f, 0.92f, 1}, "");
// A faint glow of its own, so the housing's shape reads against the night.
const Look LIGHT_HOUSING = look("startLightHousing", grey(0.08f), grey(0.1f), 0.5f, 30, grey(0.05f), "");
const Look CROWD = look("tribuneCrowd", grey(0.65f), grey(0.8f), 0.0f, 0, grey(0.12f), "tribune_crowd.png");
const Look TRIBUNE_ROOF = look("tribuneRoof", grey(0.65f), grey(0.8f), 0.2f, 10, grey(0.1f), "tribune_roof.png");
const Look SIGN_BOARD = look("signBoard", grey(0.6f), grey(0.75f), 0.2f, 10, grey(0.45f), "sign_board.png");
const Look SIGN_FRAME = look("signFrame", grey(0.2f), grey(0.25f), 0.5f, 30, NONE, "");

// The lamps of the start lights: the materials file holds all six, and the
// model's three lamp meshes start on the "off" ones.
struct Lamp {
  const char* off;
  const char* on;
  Rgb glass;  // colour of the unlit glass
  Rgb glow;   // emission when lit
};
const Lamp LAMPS[3] = {{"redLightOff", "redLightOn", {0.35f, 0.04f, 0.03f}, {1.0f, 0.12f, 0.06f}},
                       {"yellowLightOff", "yellowLightOn", {0.35f, 0.27f, 0.03f}, {1.0f, 0.78f, 0.1f}},
                       {"greenLightOff", "greenLightOn", {0.04f, 0.3f, 0.08f}, {0.15f, 1.0f, 0.3f}}};

// An unlit lamp shows only its coloured glass; a lit one glows at full
// strength on top of the light that falls on it, brighter by day too.
Look lampLook(const Lamp& lamp, bool on) {
  return look(on ? lamp.on : lamp.off, scale(lamp.glass, on ? 0.8f : 0.4f), scale(lamp.glass, on ? 1.0f : 0.7f), 0.8f,
              60, on ? lamp.glow : NONE, "");
}

// ---------------------------------------------------------------------------
// Cross-sections and sweeps along -z.

struct P2 {
  float x, y;
};

// One strip of a cross-section. Seen from +z (x to the right, y up), its
// front lies to the left of a -> b. s runs from s0 at a to s1 at b; t runs
// along the piece, tRepeat times over its length.
struct Strip {
  P2 a, b;
  const Look* look;
  float s0, s1;
  float tRepeat;
};
using Section = std::vector<Strip>;

// The strip mirrored at x = 0, still with its front on the left.
Strip mirrored(const Strip& s) { return {{-s.b.x, s.b.y}, {-s.a.x, s.a.y}, s.look, s.s1, s.s0, s.tRepeat}; }

// Adds the strips and their mirror images.
void addMirrored(Section& out, const Section& right) {
  for (const Strip& s : right) out.push_back(s);
  for (const Strip& s : right) out.push_back(mirrored(s));
}

float ringZ(int ring) { return -PIECE_LENGTH * static_cast<float>(ring) / RINGS; }

// Weight of the end section at a ring: 0 up to ring `from`, 1 from ring `to`
// on, smooth in between.
float blendWeight(int ring, int from, int to) {
  if (ring <= from) return 0;
  if (ring >= to) return 1;
  const float t = static_cast<float>(ring - from) / (to - from);
  return t * t * (3 - 2 * t);
}

P2 lerp(const P2& a, const P2& b, float w) { return {a.x + (b.x - a.x) * w, a.y + (b.y - a.y) * w}; }

// A sweep draws the ring intervals [firstRing, lastRing) of a cross-section
// that changes from `start` to `end` between the rings blendFrom and
// blendTo; intervals from lookSwitch on use the end section's looks.
struct Sweep {
  const Section* start;
  const Section* end;
  int firstRing, lastRing;
  int blendFrom, blendTo;
  int lookSwitch;
};

void sweep(ShapeFile& file, const Sweep& sw) {
  for (size_t j = 0; j < sw.start->size(); ++j) {
    for (int i = sw.firstRing; i < sw.lastRing; ++i) {
      const Strip& from = (*sw.start)[j];
      const Strip& to = (*sw.end)[j];
      const Strip& shown = i >= sw.lookSwitch ? to : from;
      const int group = file.group(*shown.look);
      Corner c[4];
      for (int k = 0; k < 2; ++k) {
        const int ring = i + k;
        const float w = blendWeight(ring, sw.blendFrom, sw.blendTo);
        const P2 a = lerp(from.a, to.a, w), b = lerp(from.b, to.b, w);
        Vector3D n(-(b.y - a.y), b.x - a.x, 0);
        n.normalize();
        const float z = ringZ(ring);
        const float t = shown.tRepeat * static_cast<float>(ring) / RINGS;
        // Corners: a at ring i, b at ring i, b at ring i + 1, a at ring i + 1.
        c[k == 0 ? 0 : 3] = {Vector3D(a.x, a.y, z), n, shown.s0, t};
        c[k == 0 ? 1 : 2] = {Vector3D(b.x, b.y, z), n, shown.s1, t};
      }
      file.quad(group, c[0], c[1], c[2], c[3]);
    }
  }
}

void sweepPlain(ShapeFile& file, const Section& section, int firstRing = 0, int lastRing = RINGS) {
  sweep(file, {&section, &section, firstRing, lastRing, 0, 0, RINGS});
}

// The plain road: asphalt, white edge lines, red and white kerbs, a thin
// concrete slab.
Section plainRoad() {
  Section s = {{{-LINE_INNER, 0}, {LINE_INNER, 0}, &ASPHALT, 0, 1, 2}};
  addMirrored(s, {{{LINE_INNER, 0}, {ROAD_HALF, 0}, &EDGE_LINE, 0, 1, 1},
                  {{ROAD_HALF, 0}, {ROAD_HALF, KERB_HEIGHT}, &KERB, 0, 0.3f, 8},
                  {{ROAD_HALF, KERB_HEIGHT}, {KERB_OUTER, KERB_HEIGHT}, &KERB, 0.3f, 1, 8},
                  {{KERB_OUTER, KERB_HEIGHT}, {KERB_OUTER, SIDE_BOTTOM}, &CONCRETE, 0, 0.1f, 2},
                  {{KERB_OUTER, SIDE_BOTTOM}, {BEVEL_INNER, SLAB_BOTTOM}, &CONCRETE, 0.1f, 0.3f, 2}});
  s.push_back({{BEVEL_INNER, SLAB_BOTTOM}, {-BEVEL_INNER, SLAB_BOTTOM}, &CONCRETE, 0, 1, 2});
  return s;
}

// The second road type: a steel deck with chevrons, cyan edge lines and a
// parapet on each side; the same strips as the plain road, so the
// transitions can blend one into the other.
Section steelDeck() {
  Section s = {{{-LINE_INNER, 0}, {LINE_INNER, 0}, &DECK, 0, 1, 2}};
  addMirrored(s, {{{LINE_INNER, 0}, {ROAD_HALF, 0}, &DECK_LINE, 0, 1, 1},
                  {{ROAD_HALF, 0}, {ROAD_HALF, RAIL_HEIGHT}, &RAIL, 0, 0.6f, 8},
                  {{ROAD_HALF, RAIL_HEIGHT}, {KERB_OUTER, RAIL_HEIGHT}, &RAIL, 0.6f, 1, 8},
                  {{KERB_OUTER, RAIL_HEIGHT}, {KERB_OUTER, SIDE_BOTTOM}, &CONCRETE, 0, 0.15f, 2},
                  {{KERB_OUTER, SIDE_BOTTOM}, {BEVEL_INNER, SLAB_BOTTOM}, &CONCRETE, 0.15f, 0.3f, 2}});
  s.push_back({{BEVEL_INNER, SLAB_BOTTOM}, {-BEVEL_INNER, SLAB_BOTTOM}, &CONCRETE, 0, 1, 2});
  return s;
}

// The tunnel's shell around the plain road: walkways, tiled walls, lamp
// strips in the upper corners, ceiling, and the outer concrete hull.
Section tunnelShell() {
  Section s = {{{TUNNEL_CROWN_HALF, TUNNEL_ROOF}, {-TUNNEL_CROWN_HALF, TUNNEL_ROOF}, &TUNNEL_CEILING, 0, 1, 2},
               {{-38, TUNNEL_OUTER_ROOF}, {38, TUNNEL_OUTER_ROOF}, &CONCRETE, 0, 1, 2}};
  addMirrored(s, {{{KERB_OUTER, KERB_HEIGHT}, {TUNNEL_WALL, KERB_HEIGHT}, &CONCRETE, 0, 0.1f, 2},
                  {{TUNNEL_WALL, KERB_HEIGHT}, {TUNNEL_WALL, TUNNEL_SPRING}, &TUNNEL_WALL_LOOK, 0, 1, 4},
                  {{TUNNEL_WALL, TUNNEL_SPRING}, {TUNNEL_CROWN_HALF, TUNNEL_ROOF}, &TUNNEL_LAMP, 0, 1, 4},
                  {{38, TUNNEL_OUTER_ROOF}, {TUNNEL_OUTER, 42}, &CONCRETE, 0, 0.3f, 2},
                  {{TUNNEL_OUTER, 42}, {TUNNEL_OUTER, SLAB_BOTTOM}, &CONCRETE, 0.3f, 1, 2},
                  {{TUNNEL_OUTER, SLAB_BOTTOM}, {BEVEL_INNER, SLAB_BOTTOM}, &CONCRETE, 0, 0.2f, 2}});
  return s;
}

// The collision surface: the flat top of the slab, and for the tunnel the
// wider floor up to its walls and the walls themselves (facing the road).
Section collisionTop(float half) {
  Section s;
  const float xs[] = {-half, -20, 0, 20, half};
  for (int i = 0; i < 4; ++i) s.push_back({{xs[i], 0}, {xs[i + 1], 0}, &CONCRETE, 0, 1, 1});
  return s;
}

Section tunnelCollisionExtra() {
  Section s;
  addMirrored(s, {{{KERB_OUTER, 0}, {TUNNEL_WALL, 0}, &CONCRETE, 0, 1, 1},
                  {{TUNNEL_WALL, 0}, {TUNNEL_WALL, TUNNEL_SPRING}, &CONCRETE, 0, 1, 1}});
  return s;
}

// A band between two outlines of equal length in the plane z, facing +z or
// -z; the outlines run clockwise around the opening seen from +z.
void band(ShapeFile& file, const std::vector<P2>& inner, const std::vector<P2>& outer, float z, bool facingPlusZ,
          const Look& l, const std::function<P2(const P2&)>& st) {
  const int group = file.group(l);
  const Vector3D n(0, 0, facingPlusZ ? 1.0f : -1.0f);
  for (size_t i = 0; i + 1 < inner.size(); ++i) {
    const P2 q[4] = {inner[i], inner[i + 1], outer[i + 1], outer[i]};
    Corner c[4];
    for (int k = 0; k < 4; ++k) {
      const P2 t = st(q[k]);
      c[k] = {Vector3D(q[k].x, q[k].y, z), n, t.x, t.y};
    }
    if (facingPlusZ) {
      file.quad(group, c[0], c[1], c[2], c[3]);
    } else {
      file.quad(group, c[3], c[2], c[1], c[0]);
    }
  }
}

// The outline walls of a flat plate between z0 and z1 (z0 > z1), facing
// outwards; the outline runs clockwise seen from +z.
void rim(ShapeFile& file, const std::vector<P2>& outline, float z0, float z1, const Look& l) {
  const int group = file.group(l);
  for (size_t i = 0; i + 1 < outline.size(); ++i) {
    const P2 a = outline[i], b = outline[i + 1];
    // Clockwise seen from +z: the outside lies to the left of a -> b.
    Vector3D n(-(b.y - a.y), b.x - a.x, 0);
    n.normalize();
    const float len = std::hypot(b.x - a.x, b.y - a.y) / 32.0f;
    file.quad(group, {Vector3D(a.x, a.y, z0), n, 0, 0}, {Vector3D(b.x, b.y, z0), n, len, 0},
              {Vector3D(b.x, b.y, z1), n, len, 0.1f}, {Vector3D(a.x, a.y, z1), n, 0, 0.1f});
  }
}

// The face of a tunnel mouth at the given ring, looking out of the tunnel.
void tunnelMouth(ShapeFile& file, int ring, bool facingPlusZ) {
  const std::vector<P2> inner = {{-KERB_OUTER, KERB_HEIGHT},          {-TUNNEL_WALL, KERB_HEIGHT},
                                 {-TUNNEL_WALL, TUNNEL_SPRING},       {-TUNNEL_CROWN_HALF, TUNNEL_ROOF},
                                 {TUNNEL_CROWN_HALF, TUNNEL_ROOF},    {TUNNEL_WALL, TUNNEL_SPRING},
                                 {TUNNEL_WALL, KERB_HEIGHT},          {KERB_OUTER, KERB_HEIGHT}};
  const std::vector<P2> outer = {{-KERB_OUTER, SLAB_BOTTOM}, {-62, SLAB_BOTTOM}, {-62, 46}, {-42, 70},
                                 {42, 70},                    {62, 46},           {62, SLAB_BOTTOM},
                                 {KERB_OUTER, SLAB_BOTTOM}};
  auto st = [](const P2& p) { return P2{(p.x + 62) / 124, (70 - p.y) / 73}; };
  const float depth = 4.0f;
  const float z = ringZ(ring);
  const float back = facingPlusZ ? z - depth : z + depth;
  band(file, inner, outer, z, facingPlusZ, TUNNEL_FACADE, st);
  band(file, inner, outer, back, !facingPlusZ, CONCRETE, st);
  const std::vector<P2> edge(outer.begin() + 1, outer.end() - 1);
  if (facingPlusZ) {
    rim(file, edge, z, back, CONCRETE);
  } else {
    rim(file, edge, back, z, CONCRETE);
  }
}

// ---------------------------------------------------------------------------
// Boxes, for the portal, the lights, the tribune and the sign.

struct BoxLooks {
  const Look* sides;  // the x faces
  const Look* top;
  const Look* bottom;
  const Look* front;  // +z
  const Look* back;   // -z
};

// The same look on every face; a null pointer leaves a face out.
BoxLooks allFaces(const Look& l) { return {&l, &l, &l, &l, &l}; }

// An axis-aligned box; each face maps t once from top to bottom and s
// sRepeat times along its width.
void box(ShapeFile& file, const Vector3D& lo, const Vector3D& hi, const BoxLooks& looks, float sRepeat = 1) {
  struct FaceSpec {
    Vector3D n;
    const Look* l;
  };
  const Vector3D c[8] = {{lo.x, lo.y, hi.z}, {hi.x, lo.y, hi.z}, {hi.x, hi.y, hi.z}, {lo.x, hi.y, hi.z},
                         {lo.x, lo.y, lo.z}, {hi.x, lo.y, lo.z}, {hi.x, hi.y, lo.z}, {lo.x, hi.y, lo.z}};
  // Corner indices counter-clockwise seen from outside, lower left first.
  const int faces[6][4] = {{0, 1, 2, 3}, {5, 4, 7, 6}, {1, 5, 6, 2}, {4, 0, 3, 7}, {3, 2, 6, 7}, {4, 5, 1, 0}};
  const FaceSpec spec[6] = {{{0, 0, 1}, looks.front},
                            {{0, 0, -1}, looks.back},
                            {{1, 0, 0}, looks.sides},
                            {{-1, 0, 0}, looks.sides},
                            {{0, 1, 0}, looks.top},
                            {{0, -1, 0}, looks.bottom}};
  for (int f = 0; f < 6; ++f) {
    if (!spec[f].l) continue;
    const int group = file.group(*spec[f].l);
    const int* q = faces[f];
    file.quad(group, {c[q[0]], spec[f].n, 0, 1}, {c[q[1]], spec[f].n, sRepeat, 1}, {c[q[2]], spec[f].n, sRepeat, 0},
              {c[q[3]], spec[f].n, 0, 0});
  }
}

// ---------------------------------------------------------------------------
// The models.

struct Made {
  std::string name;
  ShapeFile shape;
  bool collision;
};

enum class Mouth { none, entry, exit };

// The rings the tunnel shell covers: the entry piece's mouth is a few rings
// in from its start, the exit piece's a few rings before its end.
struct ShellRings {
  int first, last;
};
ShellRings shellRings(Mouth mouth) {
  return {mouth == Mouth::entry ? TUNNEL_MOUTH_RING : 0, mouth == Mouth::exit ? RINGS - TUNNEL_MOUTH_RING : RINGS};
}

// A plain or steel-deck road piece.
ShapeFile road(const Section& section) {
  ShapeFile file;
  sweepPlain(file, section);
  return file;
}

// A piece that starts with one road type and ends with the other: the
// kerbs grow into parapets (or shrink back) over its middle, and the
// surface changes half way.
ShapeFile transition(const Section& from, const Section& to) {
  ShapeFile file;
  sweep(file, {&from, &to, 0, RINGS, 3, 7, RINGS / 2});
  return file;
}

// The plain road under a tunnel shell, with a mouth on the entry and exit
// pieces.
ShapeFile tunnelPiece(const Section& plain, Mouth mouth) {
  ShapeFile file = road(plain);
  const ShellRings rings = shellRings(mouth);
  sweepPlain(file, tunnelShell(), rings.first, rings.last);
  if (mouth == Mouth::entry) tunnelMouth(file, rings.first, true);
  if (mouth == Mouth::exit) tunnelMouth(file, rings.last, false);
  return file;
}

ShapeFile roadCollision() {
  ShapeFile file;
  sweepPlain(file, collisionTop(KERB_OUTER));
  return file;
}

ShapeFile tunnelCollision(Mouth mouth) {
  ShapeFile file = roadCollision();
  const ShellRings rings = shellRings(mouth);
  sweepPlain(file, tunnelCollisionExtra(), rings.first, rings.last);
  return file;
}

// Portal: two pillars beside the road and a bannered cross beam; the start
// lights hang from the beam at x = -38 and 38, y = 68, just in front of it.
constexpr float PILLAR_INNER = 48.0f;
constexpr float PILLAR_OUTER = 58.0f;
constexpr float PILLAR_BOTTOM = -24.0f;
constexpr float BEAM_BOTTOM = 80.0f;
constexpr float BEAM_TOP = 96.0f;

ShapeFile startPortal() {
  ShapeFile file;
  const BoxLooks frame = allFaces(PORTAL_FRAME);
  for (int side = -1; side <= 1; side += 2) {
    const float x0 = side < 0 ? -PILLAR_OUTER : PILLAR_INNER, x1 = side < 0 ? -PILLAR_INNER : PILLAR_OUTER;
    box(file, {x0, PILLAR_BOTTOM, -5}, {x1, BEAM_TOP, 5}, frame, 1);
    // A glowing strip down the face of each pillar towards the road.
    const float gx0 = side < 0 ? -PILLAR_INNER : PILLAR_INNER - 0.4f;
    const float gx1 = side < 0 ? -PILLAR_INNER + 0.4f : PILLAR_INNER;
    box(file, {gx0, 2, -1}, {gx1, BEAM_BOTTOM - 2, 1}, allFaces(PORTAL_GLOW));
  }
  // The beam carries the banner on its front and back.
  const int banner = file.group(PORTAL_BANNER);
  for (int face = 0; face < 2; ++face) {
    const float z = face == 0 ? 4.0f : -4.0f;
    const Vector3D n(0, 0, face == 0 ? 1.0f : -1.0f);
    const float xa = face == 0 ? -PILLAR_INNER : PILLAR_INNER, xb = -xa;
    file.quad(banner, {Vector3D(xa, BEAM_BOTTOM, z), n, 0, 1}, {Vector3D(xb, BEAM_BOTTOM, z), n, 1, 1},
              {Vector3D(xb, BEAM_TOP, z), n, 1, 0}, {Vector3D(xa, BEAM_TOP, z), n, 0, 0});
  }
  box(file, {-PILLAR_INNER, BEAM_BOTTOM, -4}, {PILLAR_INNER, BEAM_TOP, 4},
      {nullptr, &PORTAL_FRAME, &PORTAL_FRAME, nullptr, nullptr}, 4);
  box(file, {-28, BEAM_BOTTOM - 1.2f, -2}, {28, BEAM_BOTTOM, 2}, allFaces(PORTAL_GLOW));
  return file;
}

// The pillars only: vehicles pass under the beam and between the pillars.
ShapeFile startPortalCollision() {
  ShapeFile file;
  for (int side = -1; side <= 1; side += 2) {
    const float x0 = side < 0 ? -PILLAR_OUTER : PILLAR_INNER, x1 = side < 0 ? -PILLAR_INNER : PILLAR_OUTER;
    box(file, {x0, PILLAR_BOTTOM, -5}, {x1, BEAM_TOP, 5}, allFaces(CONCRETE));
  }
  return file;
}

// A domed round lamp in the plane z, facing +z.
void lampDisc(ShapeFile& file, int group, float cy, float z, float radius) {
  constexpr int SEGMENTS = 12;
  const float pi = 3.14159265f;
  const Corner centre{Vector3D(0, cy, z + 0.6f), Vector3D(0, 0, 1), 0.5f, 0.5f};
  for (int i = 0; i < SEGMENTS; ++i) {
    Corner rimCorner[2];
    for (int k = 0; k < 2; ++k) {
      const float a = 2 * pi * static_cast<float>((i + k) % SEGMENTS) / SEGMENTS;
      const float ca = std::cos(a), sa = std::sin(a);
      Vector3D n(ca * 0.5f, sa * 0.5f, 1);
      n.normalize();
      rimCorner[k] = {Vector3D(radius * ca, cy + radius * sa, z), n, 0.5f + 0.5f * ca, 0.5f - 0.5f * sa};
    }
    file.triangle(group, centre, rimCorner[0], rimCorner[1]);
  }
}

// Start lights: red, yellow and green lamps (the first three meshes, top to
// bottom) in a black housing that faces +z, centred on the origin.
ShapeFile startLights() {
  ShapeFile file;
  int lamps[3];
  for (int i = 0; i < 3; ++i) lamps[i] = file.group(lampLook(LAMPS[i], false));
  const BoxLooks housing = allFaces(LIGHT_HOUSING);
  box(file, {-5.5f, -14, -2}, {5.5f, 14, 2}, housing);
  for (int i = 0; i < 3; ++i) {
    const float cy = 8.0f - 8.0f * static_cast<float>(i);
    lampDisc(file, lamps[i], cy, 2.05f, 3.7f);
    box(file, {-4.5f, cy + 3.8f, 2}, {4.5f, cy + 4.3f, 5}, housing);  // visor
  }
  return file;
}

// Tribune: seats rise from the front (z = 60) to the back (z = 8) between
// side walls, under a striped roof; everything lies within x = 0..140,
// z = 0..60, so the origin is the back left corner, and the crowd looks
// along +z. The base reaches 20 below the origin. Two tribunes at one point,
// one turned by 270 degrees, stand back to side without overlapping.
//
// The seats are three blocks of concrete steps with the crowd on their
// risers, divided by two stairways with hand rails; a parapet of sponsor
// boards and a rail run along the front, and the roof rests on the back wall
// and on slim columns. Several stands are in view at once, so faces that
// are hidden (against the ground, inside the walls, under the roof) are left
// out and coplanar ones are drawn as one.
ShapeFile tribune() {
  ShapeFile file;
  constexpr float LENGTH = 140, FRONT = 60, BACK = 8, BASE = -20, FLOOR = 4, WALL = 2;
  constexpr int STEPS = 6;
  constexpr float RISE = 6.5f, ROOF = 58;
  const float depth = (FRONT - BACK - 12) / STEPS;
  const float x0 = WALL, x1 = LENGTH - WALL;
  const float top = FLOOR + RISE * STEPS;
  const float roofFront = FRONT - 8, rise = 4;
  // Posts are seen from the front and the sides only.
  const BoxLooks post = {&SIGN_FRAME, nullptr, nullptr, &SIGN_FRAME, nullptr};
  // The whole back, base to roof, is one face; the base shows its front and
  // the walkway on top between the side walls.
  box(file, {0, BASE, 0}, {LENGTH, ROOF + 2, 0}, {nullptr, nullptr, nullptr, nullptr, &CONCRETE}, 4);
  box(file, {x0, BASE, 0}, {x1, FLOOR, FRONT}, {nullptr, &CONCRETE, nullptr, &CONCRETE, nullptr}, 4);
  const int crowd = file.group(CROWD);
  const int steps = file.group(CONCRETE);
  const Vector3D front(0, 0, 1), up(0, 1, 0);
  // Blocks of seats between the stairways; the stairs share the seats' treads.
  const float blocks[3][2] = {{x0, 44}, {50, 90}, {96, x1}};
  const float stairs[2][2] = {{44, 50}, {90, 96}};
  const float zFirst = FRONT - 4;  // a walkway behind the parapet
  for (int k = 0; k < STEPS; ++k) {
    const float zf = zFirst - depth * k, zb = zf - depth;
    const float y0 = FLOOR + RISE * k, y1 = y0 + RISE;
    for (const auto& b : blocks) {
      const float sRepeat = (b[1] - b[0]) / 24;
      file.quad(crowd, {Vector3D(b[0], y0, zf), front, 0, 1}, {Vector3D(b[1], y0, zf), front, sRepeat, 1},
                {Vector3D(b[1], y1, zf), front, sRepeat, 0}, {Vector3D(b[0], y1, zf), front, 0, 0});
    }
    for (const auto& st : stairs) {
      file.quad(steps, {Vector3D(st[0], y0, zf), front, 0, 1}, {Vector3D(st[1], y0, zf), front, 0.25f, 1},
                {Vector3D(st[1], y1, zf), front, 0.25f, 0}, {Vector3D(st[0], y1, zf), front, 0, 0});
    }
    const float sRepeat = (x1 - x0) / 24;
    file.quad(steps, {Vector3D(x0, y1, zf), up, 0, 0}, {Vector3D(x1, y1, zf), up, sRepeat, 0},
              {Vector3D(x1, y1, zb), up, sRepeat, depth / 24}, {Vector3D(x0, y1, zb), up, 0, depth / 24});
  }
  // A hand rail up the middle of each stairway: a post at the foot and the
  // head and a bar 4 above the noses of the steps.
  const float zHead = zFirst - depth * (STEPS - 1);
  for (const auto& st : stairs) {
    {
      const float x = (st[0] + st[1]) * 0.5f;
      for (int k : {0, STEPS - 1}) {
        const float z = zFirst - depth * k, y = FLOOR + RISE * (k + 1);
        box(file, {x - 0.25f, y, z - 0.8f}, {x + 0.25f, y + 4, z - 0.3f}, post);
      }
      const float za = zFirst, ya = FLOOR + RISE + 4, zb = zHead, yb = top + 4;
      // The bar rises towards the back, so its upper face leans to the front.
      Vector3D n(0, za - zb, yb - ya);
      n.normalize();
      const int g = file.group(SIGN_FRAME);
      for (float side : {-0.3f, 0.3f}) {
        const Vector3D sideN(side > 0 ? 1.0f : -1.0f, 0, 0);
        const Corner c[4] = {{Vector3D(x + side, ya - 0.6f, za - 0.55f), sideN, 0, 1},
                             {Vector3D(x + side, yb - 0.6f, zb - 0.55f), sideN, 1, 1},
                             {Vector3D(x + side, yb, zb - 0.55f), sideN, 1, 0},
                             {Vector3D(x + side, ya, za - 0.55f), sideN, 0, 0}};
        if (side > 0) {
          file.quad(g, c[0], c[1], c[2], c[3]);
        } else {
          file.quad(g, c[3], c[2], c[1], c[0]);
        }
      }
      file.quad(g, {Vector3D(x - 0.3f, ya, za - 0.55f), n, 0, 1}, {Vector3D(x + 0.3f, ya, za - 0.55f), n, 1, 1},
                {Vector3D(x + 0.3f, yb, zb - 0.55f), n, 1, 0}, {Vector3D(x - 0.3f, yb, zb - 0.55f), n, 0, 0});
    }
  }
  // The back wall with a walkway on top of the last step, people standing
  // along it and the dark glass of the boxes above them.
  box(file, {x0, top, 0}, {x1, ROOF, BACK}, {nullptr, nullptr, nullptr, &CONCRETE, nullptr}, 4);
  file.quad(crowd, {Vector3D(x0, top, BACK + 0.05f), front, 0, 1}, {Vector3D(x1, top, BACK + 0.05f), front, (x1 - x0) / 24, 1},
            {Vector3D(x1, top + RISE, BACK + 0.05f), front, (x1 - x0) / 24, 0}, {Vector3D(x0, top + RISE, BACK + 0.05f), front, 0, 0});
  box(file, {x0 + 4, top + RISE + 2, BACK}, {x1 - 4, top + RISE + 8, BACK + 0.3f}, {nullptr, nullptr, nullptr, &SIGN_FRAME, nullptr});
  box(file, {x0, FLOOR, BACK}, {x1, top, zFirst - depth * STEPS}, {nullptr, &CONCRETE, nullptr, nullptr, nullptr}, 4);
  // The side walls reach down over the ends of the base.
  for (float wx : {0.0f, x1}) {
    box(file, {wx, BASE, 0}, {wx + WALL, top + 2, FRONT}, {&CONCRETE, &CONCRETE, nullptr, &CONCRETE, nullptr}, 2);
    box(file, {wx, top + 2, 0}, {wx + WALL, ROOF, BACK + 6}, {&CONCRETE, nullptr, nullptr, &CONCRETE, nullptr}, 1);
  }
  // The parapet carries sponsor boards on its face, with a rail on top
  // whose ends rest in the side walls.
  box(file, {x0, FLOOR, FRONT - 1.5f}, {x1, FLOOR + 4, FRONT}, {nullptr, &CONCRETE, nullptr, &SIGN_BOARD, nullptr}, 8);
  for (float x : {35.0f, 70.0f, 105.0f}) box(file, {x - 0.25f, FLOOR + 4, FRONT - 1}, {x + 0.25f, FLOOR + 8, FRONT - 0.5f}, post);
  box(file, {x0, FLOOR + 7.6f, FRONT - 1.1f}, {x1, FLOOR + 8.2f, FRONT - 0.4f}, {nullptr, &SIGN_FRAME, nullptr, &SIGN_FRAME, nullptr});
  box(file, {x0, FLOOR + 5.8f, FRONT - 0.95f}, {x1, FLOOR + 6.1f, FRONT - 0.55f}, {nullptr, nullptr, nullptr, &SIGN_FRAME, nullptr});
  // The roof slopes up towards the front on the back wall and four columns,
  // with a deep fascia and struts under it.
  const int roof = file.group(TRIBUNE_ROOF);
  Vector3D roofUp(0, roofFront, -rise);
  roofUp.normalize();
  const Vector3D roofDown = roofUp * -1.0f;
  file.quad(roof, {Vector3D(0, ROOF + 2, 0), roofUp, 0, 1}, {Vector3D(0, ROOF + 2 + rise, roofFront), roofUp, 0, 0},
            {Vector3D(LENGTH, ROOF + 2 + rise, roofFront), roofUp, 8, 0}, {Vector3D(LENGTH, ROOF + 2, 0), roofUp, 8, 1});
  const int under = file.group(CONCRETE);
  file.quad(under, {Vector3D(0, ROOF, 0), roofDown, 0, 0}, {Vector3D(LENGTH, ROOF, 0), roofDown, 4, 0},
            {Vector3D(LENGTH, ROOF + rise, roofFront), roofDown, 4, 1}, {Vector3D(0, ROOF + rise, roofFront), roofDown, 0, 1});
  box(file, {0, ROOF + rise - 1, roofFront - 1}, {LENGTH, ROOF + rise + 3, roofFront + 1},
      {&PORTAL_FRAME, nullptr, nullptr, &PORTAL_FRAME, nullptr}, 8);
  for (float x : {0.0f, LENGTH - 2}) box(file, {x, ROOF, 0}, {x + 2, ROOF + 2 + rise * 0.5f, roofFront}, {&CONCRETE, nullptr, nullptr, &CONCRETE, nullptr});
  for (float x : {1.0f, 46.0f, 92.0f, LENGTH - 2}) {
    box(file, {x - 0.6f, FLOOR, FRONT - 10}, {x + 0.6f, ROOF + rise - 1, FRONT - 9}, post);
  }
  return file;
}

// Sign: a lit board 120 wide and 40 high whose centre is 10 above the origin,
// readable from both sides, on two posts reaching 70 below the origin.
ShapeFile sign() {
  ShapeFile file;
  const BoxLooks frame = allFaces(SIGN_FRAME);
  box(file, {-62, -12, -1.5f}, {62, 32, 1.5f}, frame);
  const int board = file.group(SIGN_BOARD);
  for (int face = 0; face < 2; ++face) {
    const float z = face == 0 ? 1.6f : -1.6f;
    const Vector3D n(0, 0, face == 0 ? 1.0f : -1.0f);
    const float xa = face == 0 ? -60.0f : 60.0f, xb = -xa;
    file.quad(board, {Vector3D(xa, -10, z), n, 0, 1}, {Vector3D(xb, -10, z), n, 1, 1}, {Vector3D(xb, 30, z), n, 1, 0},
              {Vector3D(xa, 30, z), n, 0, 0});
  }
  for (int side = -1; side <= 1; side += 2) {
    const float x = 40.0f * side;
    box(file, {x - 2, -70, -2}, {x + 2, -12, 2}, frame);
  }
  return file;
}

// ---------------------------------------------------------------------------
// Textures.

uint32_t seedOf(const std::string& name) {
  uint32_t h = 2166136261u;
  for (char c : name) h = (h ^ static_cast<uint8_t>(c)) * 16777619u;
  return h;
}

// Smooth noise in [0, 1) that repeats every w by h pixels; cell must divide
// both.
float tileNoise(float x, float y, int cell, int w, int h, uint32_t seed) {
  const float fx = x / cell, fy = y / cell;
  const int ix = static_cast<int>(std::floor(fx)), iy = static_cast<int>(std::floor(fy));
  float tx = fx - ix, ty = fy - iy;
  tx = tx * tx * (3 - 2 * tx);
  ty = ty * ty * (3 - 2 * ty);
  const int pw = std::max(1, w / cell), ph = std::max(1, h / cell);
  auto corner = [&](int cx, int cy) {
    return glimro_tools::hashUnit(static_cast<uint32_t>(((cx % pw) + pw) % pw),
                                  static_cast<uint32_t>(((cy % ph) + ph) % ph), seed);
  };
  const float top = corner(ix, iy) + (corner(ix + 1, iy) - corner(ix, iy)) * tx;
  const float bottom = corner(ix, iy + 1) + (corner(ix + 1, iy + 1) - corner(ix, iy + 1)) * tx;
  return top + (bottom - top) * ty;
}

// Octaves of tileNoise from `cell` down to 2 pixels, in [0, 1).
float tileFbm(float x, float y, int cell, int w, int h, uint32_t seed) {
  float sum = 0, norm = 0, amplitude = 1;
  for (int c = cell; c >= 2; c /= 2, amplitude *= 0.55f, ++seed) {
    sum += tileNoise(x, y, c, w, h, seed) * amplitude;
    norm += amplitude;
  }
  return sum / norm;
}

float clamp01(float v) { return std::min(1.0f, std::max(0.0f, v)); }

float smooth(float e0, float e1, float x) {
  const float t = clamp01((x - e0) / (e1 - e0));
  return t * t * (3 - 2 * t);
}

// Coverage of a pixel column or row [p, p + 1) by the span [a, b): 1 inside,
// a fraction on the edge pixels, so painted edges are crisp but not jagged.
float span(float p, float a, float b) { return clamp01(std::min(p + 1, b) - std::max(p, a)); }

// Multiplies every pixel by a factor.
void shadeAll(Canvas& c, const std::function<float(int, int)>& factor) {
  for (int y = 0; y < c.height(); ++y)
    for (int x = 0; x < c.width(); ++x) c.set(x, y, scale(c.get(x, y), factor(x, y)));
}

// Fine stones: most pixels within a few per cent, a few light or dark chips.
void aggregate(Canvas& c, uint32_t seed, float amount) {
  shadeAll(c, [&](int x, int y) {
    const float h = glimro_tools::hashUnit(static_cast<uint32_t>(x), static_cast<uint32_t>(y), seed);
    if (h > 0.94f) return 1 + 2.2f * amount;
    if (h < 0.05f) return 1 - 1.8f * amount;
    return 1 + amount * 0.5f * (h - 0.5f);
  });
}

// A crack: a wandering line from (x, y), `steps` pixels long, painted with
// the given colour; wraps across the edges like everything else.
void crack(Canvas& c, float x, float y, float heading, int steps, const Rgb& colour, float width, uint32_t seed) {
  for (int i = 0; i < steps; ++i) {
    heading += (glimro_tools::hashUnit(static_cast<uint32_t>(i), seed) - 0.5f) * 0.45f;
    x += std::cos(heading);
    y += std::sin(heading);
    const int r = static_cast<int>(std::ceil(width));
    for (int dy = -r; dy <= r; ++dy)
      for (int dx = -r; dx <= r; ++dx) {
        const float d = std::hypot(dx + std::floor(x) - x, dy + std::floor(y) - y);
        const float a = clamp01(width - d + 0.5f);
        if (a > 0) c.set(static_cast<int>(std::floor(x)) + dx, static_cast<int>(std::floor(y)) + dy, colour, a * 0.8f);
      }
  }
}

// s runs across the road (74 units over the picture's width), t along it
// (80 units over its height). The lanes where the vehicles run are worn
// darker with tyre marks; repair patches, sealed cracks and oil; the
// centre dashes, two per piece, 30 of every 80 units.
Canvas roadAsphalt() {
  constexpr int S = 512;
  Canvas c(S, S, {0.31f, 0.31f, 0.32f});
  const uint32_t seed = seedOf("asphalt");
  shadeAll(c, [&](int x, int y) {
    const float big = tileFbm(float(x), float(y), 128, S, S, seed);
    return 0.86f + 0.28f * big;
  });
  for (int lane : {150, 362}) {
    shadeAll(c, [&](int x, int y) {
      int dx = std::abs(x - lane);
      const float worn = std::exp(-float(dx * dx) / (2 * 46.0f * 46.0f));
      // Tyre marks: streaks along the road, narrow across it.
      const float streak = tileNoise(float(x) * 16, float(y), 64, S * 16, S, seed + 7);
      const float mark = smooth(0.5f, 0.8f, streak) * std::exp(-float((dx - 22) * (dx - 22)) / 180.0f);
      return 1 - 0.1f * worn - 0.22f * mark;
    });
  }
  // Patches of newer, darker asphalt with a sealed rim.
  const struct { int x0, y0, x1, y1; } patches[] = {{60, 300, 126, 400}, {440, 120, 520, 210}};
  for (const auto& p : patches) {
    for (int y = p.y0; y < p.y1; ++y)
      for (int x = p.x0; x < p.x1; ++x) {
        const bool rim = x < p.x0 + 2 || x >= p.x1 - 2 || y < p.y0 + 2 || y >= p.y1 - 2;
        c.set(x, y, rim ? scale(c.get(x, y), 0.7f) : scale(c.get(x, y), 0.88f));
      }
  }
  for (int k = 0; k < 3; ++k) {
    const uint32_t h = glimro_tools::hash(k, seed);
    crack(c, float(h % S), float((h >> 9) % S), float((h >> 18) % 628) / 100.0f, 50 + (h >> 27) * 6,
          {0.17f, 0.17f, 0.18f}, 0.6f, h);
  }
  // Oil drops down the middle of the lanes.
  for (int k = 0; k < 24; ++k) {
    const uint32_t h = glimro_tools::hash(k, seed + 3);
    const float cx = (k % 2 ? 362.0f : 150.0f) + float(h % 40) - 20, cy = float((h >> 8) % S);
    const float r = 3 + float((h >> 20) % 8);
    for (int y = int(cy - r - 2); y < int(cy + r + 2); ++y)
      for (int x = int(cx - r - 2); x < int(cx + r + 2); ++x) {
        const float d = std::hypot(x - cx, (y - cy) * 0.6f) / r;
        if (d < 1) c.set(x, y, {0.12f, 0.12f, 0.13f}, 0.5f * (1 - d * d));
      }
  }
  aggregate(c, seed + 11, 0.09f);
  // The dash, worn where the tyres cross it.
  for (int y = 0; y < 192; ++y)
    for (int x = 249; x < 264; ++x) {
      const float cover = span(float(x), 250.0f, 262.5f) * span(float(y), 0.0f, 192.0f);
      const float wear = smooth(0.55f, 0.85f, tileFbm(float(x), float(y), 16, S, S, seed + 5));
      c.set(x, y, {0.93f, 0.93f, 0.88f}, cover * (0.95f - 0.5f * wear));
    }
  return c;
}

// t along the road: red and white blocks (16 per piece, 10 units each) with
// a joint between them; s up the kerb's face to 0.3, then across its top.
Canvas roadKerb() {
  constexpr int S = 128;
  Canvas c(S, S);
  for (int y = 0; y < S; ++y)
    for (int x = 0; x < S; ++x) {
      const bool red = y < 64;
      Rgb colour = red ? Rgb{0.82f, 0.09f, 0.07f} : Rgb{0.93f, 0.93f, 0.9f};
      if (x < 38) colour = scale(colour, 0.8f);              // the face, in shadow
      if (x >= 38 && x < 41) colour = scale(colour, 1.08f);  // the rounded edge
      if (y % 64 == 0) colour = scale(colour, 0.55f);        // joint
      c.set(x, y, colour);
    }
  shadeAll(c, [&](int x, int y) {
    const float dirt = tileFbm(float(x), float(y), 32, S, S, seedOf("kerb"));
    return 0.92f + 0.1f * dirt - 0.25f * std::exp(-float(x) / 6.0f);
  });
  aggregate(c, seedOf("kerb") + 1, 0.04f);
  return c;
}

// Cast concrete: blotches of the mix, pores, faint water stains and a few
// hairline cracks; nothing on the edges, so the tiles meet unseen.
Canvas roadConcrete() {
  constexpr int S = 512;
  Canvas c(S, S, {0.57f, 0.565f, 0.55f});
  const uint32_t seed = seedOf("concrete");
  shadeAll(c, [&](int x, int y) {
    const float big = tileFbm(float(x), float(y), 128, S, S, seed);
    const float stain = tileNoise(float(x) * 8, float(y), 128, S * 8, S, seed + 4);
    return 0.84f + 0.3f * big - 0.1f * smooth(0.6f, 0.9f, stain);
  });
  for (int k = 0; k < 5; ++k) {
    const uint32_t h = glimro_tools::hash(k, seed + 9);
    crack(c, float(h % S), float((h >> 9) % S), float((h >> 18) % 628) / 100.0f, 40 + (h >> 27) * 6,
          {0.36f, 0.36f, 0.35f}, 0.5f, h);
  }
  shadeAll(c, [&](int x, int y) {
    const float h = glimro_tools::hashUnit(static_cast<uint32_t>(x), static_cast<uint32_t>(y), seed + 2);
    return h < 0.025f ? 0.6f : 1 + 0.06f * (h - 0.5f);
  });
  return c;
}

// Steel tread plate: raised bars that alternate their slant, seams between
// plates with bolts, polished lanes and rust at the seams; the chevron
// pointing along the driving direction (down the picture).
Canvas roadDeck() {
  constexpr int S = 512;
  Canvas c(S, S, {0.27f, 0.31f, 0.38f});
  const uint32_t seed = seedOf("deck");
  for (int y = 0; y < S; ++y)
    for (int x = 0; x < S; ++x) {
      const int i = x / 16, j = y / 16;
      const float u = x % 16 - 7.5f, v = y % 16 - 7.5f;
      const float sgn = (i + j) % 2 ? 1.0f : -1.0f;
      const float along = (u + sgn * v) * 0.7071f, across = (u - sgn * v) * 0.7071f;
      const float bar = along * along / 36.0f + across * across / 2.2f;
      if (bar < 1) {
        // Lit from the upper left: the near flank bright, the far one dark.
        const float light = 1.25f - 0.45f * clamp01((u + v) / 8.0f + 0.5f);
        c.set(x, y, scale({0.34f, 0.39f, 0.46f}, light), clamp01((1 - bar) * 3));
      }
    }
  shadeAll(c, [&](int x, int y) {
    const float grime = tileFbm(float(x), float(y), 64, S, S, seed);
    float f = 0.8f + 0.35f * grime;
    for (int lane : {150, 362}) f += 0.12f * std::exp(-float((x - lane) * (x - lane)) / (2 * 40.0f * 40.0f));
    return f;
  });
  // Seams between plates, bolts beside them, rust creeping out of them.
  for (int y = 0; y < S; ++y)
    for (int x = 0; x < S; ++x) {
      const int sx = std::min(x % 256, 256 - x % 256), sy = std::min(y % 256, 256 - y % 256);
      const int seam = std::min(sx, sy);
      if (seam < 2) c.set(x, y, {0.08f, 0.09f, 0.11f}, seam == 0 ? 1.0f : 0.6f);
      const float rust = smooth(0.55f, 0.8f, tileFbm(float(x), float(y), 32, S, S, seed + 3)) *
                         std::exp(-float(seam) / 10.0f);
      c.set(x, y, {0.42f, 0.22f, 0.1f}, 0.7f * rust);
    }
  for (int k = 0; k < 4; ++k) {
    for (int along = 16; along < 256; along += 32) {
      const float bx = k < 2 ? float(k * 256 + 7) : float(along + (k - 2) * 256);
      const float by = k < 2 ? float(along) : 7.0f;
      for (const float offset : {0.0f, 256.0f})
        for (int dy = -3; dy <= 3; ++dy)
          for (int dx = -3; dx <= 3; ++dx) {
            const float d = std::hypot(float(dx), float(dy));
            if (d > 3) continue;
            const float light = 1.2f - 0.25f * (dx + dy) / 3.0f;
            const int px = int(bx) + dx + (k < 2 ? 0 : 0), py = int(by + (k < 2 ? offset : 0)) + dy;
            c.set(px + (k < 2 ? 0 : 0), py + (k < 2 ? 0 : int(offset)), scale({0.5f, 0.54f, 0.6f}, light),
                  clamp01(3.5f - d));
          }
    }
  }
  for (int y = 0; y < S; ++y)
    for (int x = 0; x < S; ++x) {
      const float dx = std::abs(x + 0.5f - 256.0f);
      const float arm = y + 0.5f - 204.0f + dx * 0.6f;  // 0 on the chevron's upper edge
      const float cover = clamp01(140.5f - dx) * clamp01(arm + 0.5f) * clamp01(52.5f - arm);
      if (cover <= 0) continue;
      const float wear = smooth(0.55f, 0.85f, tileFbm(float(x), float(y), 16, S, S, seed + 5));
      c.set(x, y, {0.75f, 0.92f, 1.0f}, cover * (0.9f - 0.45f * wear));
    }
  aggregate(c, seed + 1, 0.04f);
  return c;
}

Canvas roadRail() {
  Canvas c(64, 64, {0.62f, 0.66f, 0.72f});
  // s runs up the parapet's inside face (to 0.6), then across its top:
  // brushed panels with a glowing cyan band under a cyan cap.
  c.grain(0.12f, seedOf("rail"), 4);
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) {
      if (y % 32 == 0) c.set(x, y, {0.3f, 0.33f, 0.38f});
      if (x >= 22 && x < 30) c.set(x, y, {0.3f, 0.85f, 0.95f});
      if (x >= 38 && x < 42) c.set(x, y, {0.2f, 0.2f, 0.22f});
      if (x >= 42) c.set(x, y, {0.3f, 0.85f, 0.95f});
    }
  }
  c.grain(0.06f, seedOf("rail") + 1);
  return c;
}

// s runs up the wall (39 units), t along it (40 units). A steel kick plate
// at the foot and a trim of the same steel at the top, so the wall's two
// edges look alike where the texture's filter blends them; between them
// glazed tiles with a blue band, dirtier towards the road.
Canvas tunnelWall() {
  constexpr int S = 512;
  constexpr int PLATE = 48, TRIM = 464, TILE = 32;
  Canvas c(S, S);
  const uint32_t seed = seedOf("tunnel");
  for (int y = 0; y < S; ++y)
    for (int x = 0; x < S; ++x) {
      if (x < PLATE || x >= TRIM) {
        const bool rib = (x >= 6 && x < 9) || (x >= PLATE - 6 && x < PLATE - 3) || (x >= TRIM + 4 && x < TRIM + 7) ||
                         x >= S - 5;
        c.set(x, y, rib ? Rgb{0.5f, 0.52f, 0.55f} : Rgb{0.42f, 0.44f, 0.47f});
        continue;
      }
      const int tx = (x - PLATE) / TILE, ty = y / TILE;
      const int gx = (x - PLATE) % TILE, gy = y % TILE;
      const bool blue = tx == 6 || tx == 7;
      Rgb tile = blue ? Rgb{0.14f, 0.3f, 0.68f} : Rgb{0.82f, 0.81f, 0.76f};
      tile = scale(tile, 0.94f + 0.1f * glimro_tools::hashUnit(tx, ty, seed));
      if (gx == 1 || gy == 1) tile = scale(tile, 1.08f);  // the glaze catches the light
      if (gx == 0 || gy == 0) tile = {0.5f, 0.5f, 0.47f};  // grout
      c.set(x, y, tile);
    }
  shadeAll(c, [&](int x, int y) {
    const float dirt = tileFbm(float(x), float(y), 64, S, S, seed + 1);
    const float drips = tileNoise(float(x), float(y) * 12, 64, S, S * 12, seed + 2);
    const float fromRoad = std::exp(-float(x) / 110.0f);
    return 1 - 0.45f * fromRoad * (0.4f + 0.6f * dirt) - 0.08f * smooth(0.6f, 0.9f, drips) * (1 - fromRoad);
  });
  aggregate(c, seed + 3, 0.03f);
  return c;
}

Canvas tunnelLamp() {
  // Lamps in a dark housing, four along each piece: s runs up the chamfer.
  Canvas c(64, 64, {0.22f, 0.22f, 0.24f});
  c.grain(0.1f, seedOf("lamp"), 8);
  c.rect(20, 6, 44, 40, {0.1f, 0.1f, 0.1f});
  c.rect(22, 8, 42, 38, {1.0f, 0.96f, 0.85f});
  return c;
}

// The tunnel's front, painted in the mouth's own units: s spans x from -62
// to 62 and t runs down from y = 70 to -3. Concrete panels, and a frame of
// hazard stripes round the opening; the stripes are laid in those units,
// so they run on unbroken round every corner.
Canvas tunnelFacade() {
  constexpr int S = 512;
  Canvas c = roadConcrete();
  const uint32_t seed = seedOf("facade");
  const std::vector<P2> opening = {{-48, -10}, {-48, 40}, {-36, 56}, {36, 56}, {48, 40}, {48, -10}};
  auto distance = [&](float x, float y) {
    float best = 1e9f;
    for (size_t i = 0; i + 1 < opening.size(); ++i) {
      const P2 a = opening[i], b = opening[i + 1];
      const float ex = b.x - a.x, ey = b.y - a.y;
      const float t = clamp01(((x - a.x) * ex + (y - a.y) * ey) / (ex * ex + ey * ey));
      best = std::min(best, std::hypot(x - a.x - ex * t, y - a.y - ey * t));
    }
    return best;
  };
  for (int py = 0; py < S; ++py)
    for (int px = 0; px < S; ++px) {
      const float x = (px + 0.5f) / S * 124 - 62, y = 70 - (py + 0.5f) / S * 73;
      const float d = distance(x, y);
      const float unitsPerPixel = 124.0f / S;
      // Panel joints, away from the picture's edges.
      const float jx = std::abs(std::remainder(x + 62, 124.0f / 6)), jy = std::abs(std::remainder(70 - y, 73.0f / 3));
      if ((jx < 0.25f && std::abs(x) < 60) || (jy < 0.35f && y < 68 && y > 0)) {
        c.set(px, py, {0.3f, 0.3f, 0.3f}, 0.6f);
      }
      // Streaks of grime running down from the top.
      const float streak = tileNoise(float(px) * 6, float(py), 128, S * 6, S, seed);
      c.set(px, py, {0.25f, 0.24f, 0.22f}, 0.3f * smooth(0.55f, 0.9f, streak) * clamp01((y - 20) / 50));
      if (d < 9) {
        const float edge = clamp01((9 - d) / unitsPerPixel) * clamp01((d - 1) / unitsPerPixel);
        const bool yellow = std::fmod(std::fmod((x + y) / 5.0f, 2.0f) + 2.0f, 2.0f) < 1.0f;
        const float fade = 0.85f + 0.2f * tileFbm(float(px), float(py), 32, S, S, seed + 1);
        c.set(px, py, scale(yellow ? Rgb{0.95f, 0.72f, 0.08f} : Rgb{0.08f, 0.08f, 0.08f}, fade), edge);
        // A steel lip right at the opening.
        c.set(px, py, {0.4f, 0.42f, 0.45f}, clamp01((1 - d) / unitsPerPixel + 1) * (d < 1 ? 1.0f : 0.0f));
      }
    }
  return c;
}

Canvas portalFrame() {
  Canvas c(64, 64, {0.32f, 0.34f, 0.4f});
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) {
      if (x < 3 || x >= 61) c.set(x, y, {0.85f, 0.2f, 0.1f});
      if (y % 32 == 0) c.set(x, y, {0.15f, 0.16f, 0.2f});
      if ((x == 8 || x == 55) && y % 16 == 8) c.set(x, y, {0.7f, 0.72f, 0.78f});
    }
  }
  c.grain(0.1f, seedOf("frame"), 8);
  return c;
}

// Lettering in a real face: coverage of the words set in DejaVu Sans Bold,
// capitals `capHeight` pixels high and stretched `stretch` times across
// (the boards are wider on the model than their pictures), centred on the
// canvas. Throws a std::string when the face cannot be read.
std::vector<float> lettering(const Canvas& c, const std::string& words, int capHeight, float stretch) {
  FT_Library library = nullptr;
  if (FT_Init_FreeType(&library) != 0) throw std::string("Could not start FreeType.");
  FT_Face face = nullptr;
  const std::string path = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";
  if (FT_New_Face(library, path.c_str(), 0, &face) != 0) {
    FT_Done_FreeType(library);
    throw "Could not open the face " + path;
  }
  // Capitals are about 0.73 of the nominal size in this face.
  const int size = static_cast<int>(std::lround(capHeight / 0.73f));
  FT_Set_Pixel_Sizes(face, static_cast<FT_UInt>(std::lround(size * stretch)), static_cast<FT_UInt>(size));
  std::vector<float> cover(static_cast<size_t>(c.width()) * c.height(), 0);
  // Measure, then draw.
  int width = 0, top = 0;
  for (char ch : words) {
    if (FT_Load_Char(face, static_cast<FT_ULong>(ch), FT_LOAD_RENDER) != 0) continue;
    width += static_cast<int>(face->glyph->advance.x >> 6);
    top = std::max(top, face->glyph->bitmap_top);
  }
  int penX = (c.width() - width) / 2;
  const int baseline = (c.height() + top) / 2;
  for (char ch : words) {
    if (FT_Load_Char(face, static_cast<FT_ULong>(ch), FT_LOAD_RENDER) != 0) continue;
    const FT_Bitmap& b = face->glyph->bitmap;
    for (unsigned y = 0; y < b.rows; ++y)
      for (unsigned x = 0; x < b.width; ++x) {
        const int cx = penX + face->glyph->bitmap_left + static_cast<int>(x);
        const int cy = baseline - face->glyph->bitmap_top + static_cast<int>(y);
        if (cx < 0 || cy < 0 || cx >= c.width() || cy >= c.height()) continue;
        cover[static_cast<size_t>(cy) * c.width() + cx] = b.buffer[y * b.pitch + x] / 255.0f;
      }
    penX += static_cast<int>(face->glyph->advance.x >> 6);
  }
  FT_Done_Face(face);
  FT_Done_FreeType(library);
  return cover;
}

// The coverage grown by a disc of `radius` pixels (for outlines and glows).
std::vector<float> grown(const std::vector<float>& in, int w, int h, float radius) {
  std::vector<float> out(in.size(), 0);
  const int r = static_cast<int>(std::ceil(radius));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      float best = 0;
      for (int dy = -r; dy <= r; ++dy)
        for (int dx = -r; dx <= r; ++dx) {
          const int sx = x + dx, sy = y + dy;
          if (sx < 0 || sy < 0 || sx >= w || sy >= h) continue;
          const float weight = clamp01(radius + 0.5f - std::hypot(float(dx), float(dy)));
          best = std::max(best, in[static_cast<size_t>(sy) * w + sx] * weight);
        }
      out[static_cast<size_t>(y) * w + x] = best;
    }
  return out;
}

// Paints lettering with a soft glow, a dark outline and a fill that runs
// from `upper` at the top to `lower` at the bottom of the canvas.
void paintLettering(Canvas& c, const std::vector<float>& cover, const Rgb& glow, float glowRadius, const Rgb& upper,
                    const Rgb& lower) {
  const int w = c.width(), h = c.height();
  const std::vector<float> halo = grown(cover, w, h, glowRadius);
  const std::vector<float> outline = grown(cover, w, h, 2.0f);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const size_t i = static_cast<size_t>(y) * w + x;
      c.set(x, y, glow, 0.45f * halo[i] * halo[i]);
      c.set(x, y, {0.02f, 0.02f, 0.04f}, outline[i]);
      c.set(x, y, mix(upper, lower, float(y) / h), cover[i]);
    }
}

Canvas portalBanner() {
  Canvas c(512, 64, {0.05f, 0.05f, 0.07f});
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 512; ++x) {
      if (y < 8 || y >= 56) {
        const bool white = ((x / 8) + (y / 8)) % 2 == 0;
        c.set(x, y, white ? Rgb{0.95f, 0.95f, 0.95f} : Rgb{0.05f, 0.05f, 0.05f});
      }
    }
  }
  // The banner is 96 by 16 units on the portal, 6 to 1; the picture 8 to 1.
  paintLettering(c, lettering(c, "START", 30, 8.0f / 6.0f), {1.0f, 0.6f, 0.1f}, 5, {1.0f, 0.93f, 0.45f},
                 {1.0f, 0.66f, 0.1f});
  return c;
}

// Spectators on the risers of the steps, 16 seats to the picture (24 units
// along the stand, 5 high): shirts, faces, hair, now and then a raised arm
// or a flag, on rows of coloured seats.
Canvas tribuneCrowd() {
  constexpr int W = 512, H = 128;
  Canvas c(W, H, {0.16f, 0.18f, 0.24f});
  const Rgb shirts[] = {{0.85f, 0.15f, 0.1f}, {0.1f, 0.35f, 0.85f}, {0.95f, 0.85f, 0.2f}, {0.15f, 0.6f, 0.2f},
                        {0.9f, 0.9f, 0.9f},   {0.6f, 0.2f, 0.6f},   {0.95f, 0.5f, 0.1f}, {0.2f, 0.2f, 0.22f},
                        {0.1f, 0.7f, 0.8f},   {0.75f, 0.1f, 0.3f}};
  const Rgb skins[] = {{0.93f, 0.76f, 0.62f}, {0.8f, 0.6f, 0.45f}, {0.55f, 0.38f, 0.26f}, {0.36f, 0.24f, 0.16f}};
  const Rgb hair[] = {{0.1f, 0.07f, 0.05f}, {0.35f, 0.22f, 0.1f}, {0.8f, 0.65f, 0.35f}, {0.5f, 0.5f, 0.5f}};
  // Seat backs in the stand's colours.
  for (int seat = 0; seat < 16; ++seat) {
    const int x0 = seat * 32;
    for (int y = 70; y < 112; ++y)
      for (int x = x0 + 3; x < x0 + 29; ++x) c.set(x, y, y < 74 ? Rgb{0.1f, 0.4f, 0.75f} : Rgb{0.07f, 0.3f, 0.6f});
  }
  // The step's concrete edge at the bottom.
  c.rect(0, 112, W, H, {0.55f, 0.55f, 0.53f});
  c.rect(0, 112, W, 114, {0.7f, 0.7f, 0.68f});
  for (int seat = 0; seat < 16; ++seat) {
    const uint32_t h = glimro_tools::hash(static_cast<uint32_t>(seat), 78);
    if (h % 9 == 0) continue;  // an empty seat
    const float cx = seat * 32 + 16 + float(int(h >> 4) % 5 - 2);
    const float lift = float((h >> 8) % 6);
    const Rgb shirt = shirts[(h >> 12) % 10];
    const Rgb skin = skins[(h >> 16) % 4];
    const Rgb top = hair[(h >> 20) % 4];
    const float headY = 40 - lift;
    for (int y = 0; y < 112; ++y)
      for (int x = int(cx) - 16; x < int(cx) + 16; ++x) {
        const float dx = x + 0.5f - cx, dy = y + 0.5f - headY;
        // Body: rounded shoulders widening to the lap, shaded at the sides.
        const float shoulder = headY + 9;
        if (y >= shoulder) {
          const float half = std::min(12.5f, 7.5f + (y - shoulder) * 0.9f);
          const float a = clamp01(half - std::abs(dx) + 0.5f);
          if (a > 0) c.set(x, y, scale(shirt, 1.05f - 0.35f * std::abs(dx) / half), a);
        }
        // Head, hair on top.
        const float r = std::hypot(dx, dy * 0.88f);
        const float a = clamp01(8.0f - r + 0.5f);
        if (a > 0) c.set(x, y, dy < -2.0f - 1.5f * std::abs(dx) / 8 ? top : scale(skin, 1.05f - 0.25f * dx / 8), a);
      }
    // A raised arm, sometimes with a flag.
    if ((h >> 24) % 4 == 0) {
      const float side = (h >> 26) % 2 ? 1.0f : -1.0f;
      const float ax = cx + side * 11;
      c.rect(int(ax) - 2, int(headY - 22), int(ax) + 2, int(headY + 14), shirt);
      c.rect(int(ax) - 2, int(headY - 27), int(ax) + 3, int(headY - 21), skin);
      if ((h >> 28) % 2 == 0) {
        const Rgb flag = (h >> 29) % 2 ? Rgb{0.95f, 0.8f, 0.1f} : Rgb{0.9f, 0.1f, 0.1f};
        c.rect(int(ax) + (side > 0 ? 2 : -20), int(headY - 36), int(ax) + (side > 0 ? 20 : -2), int(headY - 24), flag);
      }
    }
  }
  aggregate(c, seedOf("crowd"), 0.05f);
  return c;
}

Canvas tribuneRoof() {
  constexpr int S = 128;
  Canvas c(S, S);
  for (int x = 0; x < S; ++x) {
    const Rgb stripe = (x / 32) % 2 == 0 ? Rgb{0.92f, 0.92f, 0.9f} : Rgb{0.8f, 0.12f, 0.1f};
    for (int y = 0; y < S; ++y) {
      // Ribs of the sheet metal, lit on one side.
      const int r = x % 8;
      c.set(x, y, scale(stripe, r == 0 ? 0.75f : r == 1 ? 1.08f : 1.0f));
    }
  }
  shadeAll(c, [&](int x, int y) { return 0.9f + 0.15f * tileFbm(float(x), float(y), 32, S, S, seedOf("roof")); });
  return c;
}

// The board is 120 by 40 units, 3 to 1; the picture 4 to 1.
Canvas signBoard() {
  constexpr int W = 512, H = 128;
  Canvas c(W, H);
  for (int y = 0; y < H; ++y) c.rect(0, y, W, y + 1, mix({0.06f, 0.14f, 0.4f}, {0.02f, 0.04f, 0.14f}, float(y) / (H - 1)));
  // Faint diagonal light streaks behind the letters.
  shadeAll(c, [&](int x, int y) { return 1 + 0.25f * smooth(0.6f, 0.95f, tileNoise(float(x + y), float(y) * 0.1f, 64, W, H, 5)); });
  const Rgb gold{0.95f, 0.75f, 0.1f};
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const int edge = std::min(std::min(x, W - 1 - x), std::min(y, H - 1 - y) * 4 / 3);
      if (edge < 6) c.set(x, y, scale(gold, edge < 2 || edge > 3 ? 0.8f : 1.1f));
      else if (edge < 8) c.set(x, y, {0.02f, 0.02f, 0.05f});
    }
  paintLettering(c, lettering(c, "GLIMRO", 54, 4.0f / 3.0f), {0.3f, 0.7f, 1.0f}, 7, {1.0f, 1.0f, 1.0f},
                 {0.7f, 0.85f, 1.0f});
  return c;
}

// ---------------------------------------------------------------------------

std::unique_ptr<korvu::xml::Node> colourElement(const std::string& name, const float* c) {
  auto text = [](float v) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", static_cast<double>(v));
    return std::string(buffer);
  };
  return glimro_tools::element(name, {{"red", text(c[0])}, {"green", text(c[1])}, {"blue", text(c[2])},
                                      {"alpha", text(c[3])}});
}

std::unique_ptr<korvu::xml::Node> materialEntry(const Look& l) {
  char shininess[32];
  std::snprintf(shininess, sizeof shininess, "%g", static_cast<double>(l.shininess));
  auto node = glimro_tools::element("material", {{"name", l.name}, {"shininess", shininess}});
  *node += colourElement("ambient", l.ambient).release();
  *node += colourElement("diffuse", l.diffuse).release();
  *node += colourElement("specular", l.specular).release();
  *node += colourElement("emissive", l.emissive).release();
  return node;
}

void make(const std::string& out) {
  glimro_tools::makeDirs(out + "/models");
  glimro_tools::makeDirs(out + "/textures");

  const Section plain = plainRoad();
  const Section deck = steelDeck();
  std::vector<Made> models;
  models.push_back({"tracksection", road(plain), false});
  models.push_back({"tracksectionCollision", roadCollision(), true});
  models.push_back({"tracksect02", road(deck), false});
  models.push_back({"tracksect02Col", roadCollision(), true});
  models.push_back({"transition0102", transition(plain, deck), false});
  models.push_back({"transition0102Col", roadCollision(), true});
  models.push_back({"transition0201", transition(deck, plain), false});
  models.push_back({"transition0201Col", roadCollision(), true});
  models.push_back({"tunnel", tunnelPiece(plain, Mouth::none), false});
  models.push_back({"tunnelCollision", tunnelCollision(Mouth::none), true});
  // In driving order the track puts "tunnelEx" first and "tunnelEnt" last:
  // the first has the mouth the vehicles drive into, the second the one
  // they leave by.
  models.push_back({"tunnelEx", tunnelPiece(plain, Mouth::entry), false});
  models.push_back({"tunnelExCollision", tunnelCollision(Mouth::entry), true});
  models.push_back({"tunnelEnt", tunnelPiece(plain, Mouth::exit), false});
  models.push_back({"tunnelEntCollision", tunnelCollision(Mouth::exit), true});
  models.push_back({"startPortal", startPortal(), false});
  models.push_back({"startPortalCollision", startPortalCollision(), true});
  models.push_back({"startLights", startLights(), false});
  models.push_back({"tribune", tribune(), false});
  models.push_back({"sign", sign(), false});

  std::vector<std::unique_ptr<korvu::xml::Node>> entries;
  for (const Made& m : models) {
    const std::string file = "models/" + m.name + ".ms3d";
    m.shape.save(out + "/" + file);
    std::vector<std::pair<std::string, std::string>> attributes = {{"name", m.name},
                                                                   {"filename", "resources/" + file}};
    if (m.collision) {
      attributes.push_back({"collision", "true"});
    } else {
      attributes.push_back({"buffer", "hardware"});
    }
    entries.push_back(glimro_tools::element("milkshapemodel", attributes));
  }
  glimro_tools::addToCatalog(out + "/models.xml", "models", std::move(entries));

  std::vector<std::unique_ptr<korvu::xml::Node>> materials;
  for (const Lamp& lamp : LAMPS) {
    materials.push_back(materialEntry(lampLook(lamp, false)));
    materials.push_back(materialEntry(lampLook(lamp, true)));
  }
  glimro_tools::addToCatalog(out + "/materials.xml", "materials", std::move(materials));

  const std::pair<const char*, Canvas> textures[] = {
      {"road_asphalt.png", roadAsphalt()},     {"road_kerb.png", roadKerb()},
      {"road_concrete.png", roadConcrete()},   {"road_deck.png", roadDeck()},
      {"road_rail.png", roadRail()},           {"tunnel_wall.png", tunnelWall()},
      {"tunnel_lamp.png", tunnelLamp()},       {"tunnel_facade.png", tunnelFacade()},
      {"portal_frame.png", portalFrame()},     {"portal_banner.png", portalBanner()},
      {"tribune_crowd.png", tribuneCrowd()},   {"tribune_roof.png", tribuneRoof()},
      {"sign_board.png", signBoard()}};
  for (const auto& [name, canvas] : textures) canvas.save(out + "/textures/" + name);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_track RESOURCES_DIR\n");
    return 2;
  }
  try {
    make(argv[1]);
  } catch (const std::string& message) {
    std::fprintf(stderr, "make_track: %s\n", message.c_str());
    return 1;
  }
  return 0;
}
