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
const Look LIGHT_HOUSING = look("startLightHousing", grey(0.08f), grey(0.1f), 0.5f, 30, NONE, "");
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

Look lampLook(const Lamp& lamp, bool on) {
  return look(on ? lamp.on : lamp.off, scale(lamp.glass, 0.4f), scale(lamp.glass, 0.7f), 0.8f, 60,
              on ? lamp.glow : NONE, "");
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
  box(file, {-5, -14, -2}, {5, 14, 2}, housing);
  for (int i = 0; i < 3; ++i) {
    const float cy = 8.0f - 8.0f * static_cast<float>(i);
    lampDisc(file, lamps[i], cy, 2.05f, 3.2f);
    box(file, {-4, cy + 3.4f, 2}, {4, cy + 4, 5}, housing);  // visor
  }
  return file;
}

// Tribune: seats rise from the front (z = 60) to the back (z = 8) between
// side walls, under a striped roof; everything lies within x = 0..140,
// z = 0..60, so the origin is the back left corner, and the crowd looks
// along +z. The base reaches 20 below the origin. Two tribunes at one point,
// one turned by 270 degrees, stand back to side without overlapping.
ShapeFile tribune() {
  ShapeFile file;
  constexpr float LENGTH = 140, FRONT = 60, BACK = 8, BASE = -20, FLOOR = 4, WALL = 2;
  constexpr int STEPS = 6;
  constexpr float RISE = 5, ROOF = 58;
  const float depth = (FRONT - BACK) / STEPS;
  const BoxLooks concrete = allFaces(CONCRETE);
  box(file, {0, BASE, 0}, {LENGTH, FLOOR, FRONT}, concrete, 4);
  const int crowd = file.group(CROWD);
  const float x0 = WALL, x1 = LENGTH - WALL;
  const float sRepeat = (x1 - x0) / 24;
  for (int k = 0; k < STEPS; ++k) {
    const float zf = FRONT - depth * k, zb = zf - depth;
    const float y0 = FLOOR + RISE * k, y1 = y0 + RISE;
    const Vector3D front(0, 0, 1), up(0, 1, 0);
    file.quad(crowd, {Vector3D(x0, y0, zf), front, 0, 1}, {Vector3D(x1, y0, zf), front, sRepeat, 1},
              {Vector3D(x1, y1, zf), front, sRepeat, 0}, {Vector3D(x0, y1, zf), front, 0, 0});
    file.quad(crowd, {Vector3D(x0, y1, zf), up, 0, 0.55f}, {Vector3D(x1, y1, zf), up, sRepeat, 0.55f},
              {Vector3D(x1, y1, zb), up, sRepeat, 0.35f}, {Vector3D(x0, y1, zb), up, 0, 0.35f});
  }
  const float top = FLOOR + RISE * STEPS;
  box(file, {x0, FLOOR, 0}, {x1, ROOF, BACK}, concrete, 4);
  for (float wx : {0.0f, x1}) {
    box(file, {wx, FLOOR, 0}, {wx + WALL, top + 2, FRONT}, concrete, 2);
    box(file, {wx, top + 2, 0}, {wx + WALL, ROOF, BACK + 6}, concrete, 1);
  }
  box(file, {0, ROOF, 0}, {LENGTH, ROOF + 3, FRONT - 12}, allFaces(TRIBUNE_ROOF), 8);
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

Canvas roadAsphalt() {
  Canvas c(256, 256, {0.34f, 0.34f, 0.36f});
  c.grain(0.16f, seedOf("asphalt"), 32);
  c.grain(0.22f, seedOf("asphalt") + 1);
  // Darker lanes where the vehicles run, then the centre dashes: two per
  // piece, 30 of every 80 units.
  for (int x = 0; x < 256; ++x) {
    for (int lane : {72, 184}) {
      const float d = std::abs(x - lane) / 28.0f;
      if (d < 1) {
        for (int y = 0; y < 256; ++y) c.set(x, y, scale(c.get(x, y), 1.0f - 0.08f * (1 - d * d)));
      }
    }
  }
  for (int y = 0; y < 96; ++y) {
    for (int x = 125; x < 131; ++x) {
      const float edge = (x == 125 || x == 130) ? 0.5f : 1.0f;
      c.set(x, y, {0.92f, 0.92f, 0.88f}, 0.9f * edge);
    }
  }
  c.grain(0.06f, seedOf("asphalt-top"));
  return c;
}

Canvas roadKerb() {
  Canvas c(64, 64);
  c.rect(0, 0, 64, 32, {0.85f, 0.1f, 0.08f});
  c.rect(0, 32, 64, 64, {0.93f, 0.93f, 0.9f});
  c.grain(0.08f, seedOf("kerb"));
  return c;
}

Canvas roadConcrete() {
  Canvas c(128, 128, {0.56f, 0.56f, 0.55f});
  c.grain(0.2f, seedOf("concrete"), 16);
  c.grain(0.12f, seedOf("concrete") + 1);
  for (int i = 0; i < 128; ++i) {
    c.set(i, 0, {0.3f, 0.3f, 0.3f}, 0.6f);
    c.set(0, i, {0.3f, 0.3f, 0.3f}, 0.6f);
  }
  return c;
}

Canvas roadDeck() {
  Canvas c(256, 256, {0.24f, 0.3f, 0.4f});
  // Tread plates: a fine diamond pattern with seams every 64 pixels.
  for (int y = 0; y < 256; ++y) {
    for (int x = 0; x < 256; ++x) {
      const bool diamond = ((x + y) % 8 == 0) || (((x - y) % 8 + 8) % 8 == 0);
      if (diamond) c.set(x, y, {0.34f, 0.4f, 0.5f}, 0.5f);
      if (x % 64 == 0 || y % 64 == 0) c.set(x, y, {0.12f, 0.15f, 0.2f}, 0.8f);
    }
  }
  c.grain(0.12f, seedOf("deck"), 32);
  // A chevron pointing along the driving direction (down the picture).
  for (int y = 0; y < 256; ++y) {
    for (int x = 0; x < 256; ++x) {
      const float dx = std::abs(x - 127.5f);
      const float arm = y - 102.0f + dx * 0.6f;  // 0 on the chevron's upper edge
      if (dx < 70 && arm >= 0 && arm < 26) {
        const float soft = std::min(1.0f, std::min(arm, 26 - arm) / 2.0f);
        c.set(x, y, {0.75f, 0.92f, 1.0f}, 0.85f * soft);
      }
    }
  }
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

Canvas tunnelWall() {
  Canvas c(128, 128, {0.78f, 0.77f, 0.72f});
  // s runs up the wall: grime at the foot, a blue band at mid height, tiles.
  for (int y = 0; y < 128; ++y) {
    for (int x = 0; x < 128; ++x) {
      if (x < 20) c.set(x, y, {0.35f, 0.33f, 0.3f}, 0.6f * (1.0f - x / 20.0f));
      if (x >= 56 && x < 72) c.set(x, y, {0.15f, 0.3f, 0.7f});
      if (x % 16 == 0 || y % 16 == 0) c.set(x, y, {0.45f, 0.45f, 0.42f}, 0.7f);
    }
  }
  c.grain(0.1f, seedOf("tunnel"), 16);
  c.grain(0.06f, seedOf("tunnel") + 1);
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

Canvas tunnelFacade() {
  Canvas c(128, 128, {0.6f, 0.6f, 0.58f});
  c.grain(0.16f, seedOf("facade"), 16);
  // Yellow and black stripes along the top of the mouth.
  for (int y = 0; y < 128; ++y) {
    for (int x = 0; x < 128; ++x) {
      if (y < 22) {
        const bool yellow = ((x + y) / 10) % 2 == 0;
        c.set(x, y, yellow ? Rgb{0.95f, 0.75f, 0.1f} : Rgb{0.1f, 0.1f, 0.1f});
      }
    }
  }
  c.grain(0.06f, seedOf("facade") + 1);
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
  const std::string word = "START";
  const int dot = 5;
  c.text((512 - Canvas::textWidth(word, dot)) / 2, 32 - 7 * dot / 2, dot, word, {1.0f, 0.85f, 0.15f});
  return c;
}

Canvas tribuneCrowd() {
  // One row of spectators per tile height; 16 pixels a seat.
  Canvas c(256, 64, {0.1f, 0.12f, 0.25f});
  const Rgb shirts[] = {{0.85f, 0.15f, 0.1f}, {0.1f, 0.35f, 0.85f}, {0.95f, 0.85f, 0.2f}, {0.15f, 0.6f, 0.2f},
                        {0.9f, 0.9f, 0.9f},   {0.6f, 0.2f, 0.6f},   {0.95f, 0.5f, 0.1f}, {0.2f, 0.2f, 0.2f}};
  const Rgb skins[] = {{0.93f, 0.76f, 0.62f}, {0.8f, 0.6f, 0.45f}, {0.55f, 0.38f, 0.26f}, {0.36f, 0.24f, 0.16f}};
  const Rgb hair[] = {{0.1f, 0.07f, 0.05f}, {0.35f, 0.22f, 0.1f}, {0.8f, 0.65f, 0.35f}, {0.5f, 0.5f, 0.5f}};
  // The seat backs.
  c.rect(0, 50, 256, 64, {0.25f, 0.27f, 0.32f});
  for (int seat = 0; seat < 16; ++seat) {
    const uint32_t h = glimro_tools::hash(static_cast<uint32_t>(seat), 77);
    if (h % 10 == 0) continue;  // an empty seat
    const int cx = seat * 16 + 8 + static_cast<int>(h >> 4) % 3 - 1;
    const int lift = static_cast<int>((h >> 8) % 5);
    const Rgb shirt = shirts[(h >> 12) % 8];
    const Rgb skin = skins[(h >> 16) % 4];
    const Rgb top = hair[(h >> 20) % 4];
    // Shoulders and body.
    for (int y = 30 - lift; y < 64; ++y) {
      const int half = y < 34 - lift ? 4 + (y - (30 - lift)) : 7;
      c.rect(cx - half, y, cx + half, y + 1, shirt);
    }
    // Head with hair on top.
    for (int y = -6; y <= 6; ++y) {
      for (int x = -5; x <= 5; ++x) {
        if (x * x + y * y * 0.8f > 26) continue;
        c.set(cx + x, 22 - lift + y, y < -2 ? top : skin);
      }
    }
    // An arm raised now and then.
    if ((h >> 24) % 4 == 0) {
      const int side = (h >> 26) % 2 ? 1 : -1;
      for (int y = 8 - lift; y < 32 - lift; ++y) c.rect(cx + side * 7, y, cx + side * 7 + 3, y + 1, shirt);
      c.rect(cx + side * 7, 5 - lift, cx + side * 7 + 3, 9 - lift, skin);
    }
  }
  c.grain(0.1f, seedOf("crowd"));
  return c;
}

Canvas tribuneRoof() {
  Canvas c(64, 64);
  for (int x = 0; x < 64; ++x) {
    const Rgb stripe = (x / 16) % 2 == 0 ? Rgb{0.92f, 0.92f, 0.9f} : Rgb{0.8f, 0.12f, 0.1f};
    c.rect(x, 0, x + 1, 64, stripe);
  }
  c.grain(0.08f, seedOf("roof"));
  return c;
}

Canvas signBoard() {
  Canvas c(256, 64);
  for (int y = 0; y < 64; ++y) c.rect(0, y, 256, y + 1, mix({0.05f, 0.12f, 0.35f}, {0.02f, 0.04f, 0.12f}, y / 63.0f));
  c.rect(0, 0, 256, 3, {0.95f, 0.75f, 0.1f});
  c.rect(0, 61, 256, 64, {0.95f, 0.75f, 0.1f});
  c.rect(0, 0, 3, 64, {0.95f, 0.75f, 0.1f});
  c.rect(253, 0, 256, 64, {0.95f, 0.75f, 0.1f});
  const std::string word = "GLIMRO";
  const int dot = 6;
  c.text((256 - Canvas::textWidth(word, dot)) / 2, 32 - 7 * dot / 2, dot, word, {0.95f, 0.95f, 1.0f});
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
