// make_gui: the menu GUI description "gui.xml" and every picture it names
// (cursor, frames, button faces, check box, drop-down and text field art,
// the full-screen backdrop), written below the resources folder it is given.
// Everything is drawn from fixed parameters and fixed seeds, so two runs give
// the same bytes.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "catalog.h"
#include "picture.h"
#include "xml.h"

namespace {

using korvu::xml::Node;

// ---------------------------------------------------------------------------
// Pictures

using glimro_tools::Picture;
using glimro_tools::Rgba;

Rgba hex(uint32_t rgb, float alpha = 1.0f) {
  return {((rgb >> 16) & 0xFF) / 255.0f, ((rgb >> 8) & 0xFF) / 255.0f, (rgb & 0xFF) / 255.0f, alpha};
}

Rgba mix(const Rgba& a, const Rgba& b, float t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}

Rgba withAlpha(Rgba c, float alpha) {
  c.a = alpha;
  return c;
}

float clamp01(float v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }

float smoothstep(float e0, float e1, float x) {
  const float t = clamp01((x - e0) / (e1 - e0));
  return t * t * (3 - 2 * t);
}

// Lays colour c over pixel (x, y), scaled by coverage. A pixel that stays
// fully transparent takes the colour anyway, so that linear filtering at the
// edge of a shape does not blend towards black.
void over(Picture& picture, int x, int y, const Rgba& c, float coverage) {
  Rgba& d = picture.at(x, y);
  const float a = clamp01(c.a * coverage);
  const float outA = a + d.a * (1 - a);
  if (outA <= 1e-6f) {
    d = withAlpha(c, 0);
    return;
  }
  d.r = (c.r * a + d.r * d.a * (1 - a)) / outA;
  d.g = (c.g * a + d.g * d.a * (1 - a)) / outA;
  d.b = (c.b * a + d.b * d.a * (1 - a)) / outA;
  d.a = outA;
}

// Calls paint(x, y, px, py) for every pixel, with (px, py) its centre.
template <typename Paint>
void forEachPixel(Picture& picture, Paint paint) {
  for (int y = 0; y < picture.height; ++y)
    for (int x = 0; x < picture.width; ++x) paint(x, y, x + 0.5f, y + 0.5f);
}

Picture crop(const Picture& picture, int x0, int y0, int w, int h) {
  Picture out(w, h, {0, 0, 0, 0});
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) out.at(x, y) = picture.at(x0 + x, y0 + y);
  return out;
}

// Signed distance from p to a rectangle with rounded corners (negative
// inside), all in pixels.
float roundedRectDistance(float px, float py, float x0, float y0, float x1, float y1, float radius) {
  const float cx = (x0 + x1) * 0.5f, cy = (y0 + y1) * 0.5f;
  const float hx = (x1 - x0) * 0.5f - radius, hy = (y1 - y0) * 0.5f - radius;
  const float qx = std::fabs(px - cx) - hx, qy = std::fabs(py - cy) - hy;
  const float ox = std::max(qx, 0.0f), oy = std::max(qy, 0.0f);
  return std::sqrt(ox * ox + oy * oy) + std::min(std::max(qx, qy), 0.0f) - radius;
}

float segmentDistance(float px, float py, float ax, float ay, float bx, float by) {
  const float dx = bx - ax, dy = by - ay;
  const float len2 = dx * dx + dy * dy;
  const float t = len2 > 0 ? clamp01(((px - ax) * dx + (py - ay) * dy) / len2) : 0.0f;
  const float ex = ax + dx * t - px, ey = ay + dy * t - py;
  return std::sqrt(ex * ex + ey * ey);
}

struct Point {
  float x, y;
};

bool insidePolygon(const std::vector<Point>& poly, float x, float y) {
  bool inside = false;
  for (size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++) {
    const Point& a = poly[i];
    const Point& b = poly[j];
    if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x) inside = !inside;
  }
  return inside;
}

float polygonDistance(const std::vector<Point>& poly, float x, float y) {
  float best = 1e9f;
  for (size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++)
    best = std::min(best, segmentDistance(x, y, poly[j].x, poly[j].y, poly[i].x, poly[i].y));
  return insidePolygon(poly, x, y) ? -best : best;
}

float coverage(float distance) { return clamp01(0.5f - distance); }

// ---------------------------------------------------------------------------
// Nine-piece frames. The GUI draws a frame's centre over a widget's own
// rectangle and the eight other pieces around it, each corner at its own
// size and each edge stretched along its side. A look is drawn once around
// a nominal inner square and cut into those pieces; the body's colours
// change only from top to bottom, so stretching keeps them continuous.

struct FrameLook {
  int piece;           // corner size and edge thickness in pixels
  float grow;          // how far the body reaches outside the widget
  float radius;        // corner radius of the body; at most grow
  Rgba fillTop, fillBottom;
  Rgba border;         // outline colour
  Rgba borderTop;      // outline colour along the top (accent); fades into border
  float borderWidth;
  Rgba glow;           // soft halo outside the body; alpha 0 for none
  float glowSize;
  Rgba shadow;         // dark halo below the body; alpha 0 for none
  float insetShade;    // darkening just inside the top edge (pressed look)
  float shine;         // lightening of the upper half of the body
};

const int NOMINAL = 64;  // inner size the look is drawn around

Picture drawFrame(const FrameLook& look) {
  const int b = look.piece;
  const int size = NOMINAL + 2 * b;
  Picture canvas(size, size, withAlpha(look.border, 0));
  const float x0 = b - look.grow, y0 = b - look.grow;
  const float x1 = b + NOMINAL + look.grow, y1 = b + NOMINAL + look.grow;
  forEachPixel(canvas, [&](int x, int y, float px, float py) {
    const float d = roundedRectDistance(px, py, x0, y0, x1, y1, look.radius);
    if (look.shadow.a > 0 && d > -2) {
      const float ds = roundedRectDistance(px, py - 2.0f, x0, y0, x1, y1, look.radius);
      const float s = std::exp(-std::max(ds, 0.0f) * std::max(ds, 0.0f) / 8.0f);
      over(canvas, x, y, look.shadow, s * (1 - coverage(d)));
    }
    if (look.glow.a > 0 && d > -1) {
      const float g = std::exp(-std::max(d, 0.0f) / look.glowSize);
      over(canvas, x, y, look.glow, g * (1 - coverage(d)));
    }
    const float body = coverage(d);
    if (body <= 0) return;
    // Gradient over the widget's own height; constant above and below.
    const float t = clamp01((py - b) / NOMINAL);
    Rgba fill = mix(look.fillTop, look.fillBottom, t);
    if (look.shine > 0) {
      const float s = look.shine * (1 - smoothstep(0.0f, 0.5f, t));
      fill = mix(fill, withAlpha(hex(0xFFFFFF), fill.a), s);
    }
    if (look.insetShade > 0) {
      const float depth = py - y0;
      const float s = look.insetShade * std::exp(-depth / 6.0f);
      fill = mix(fill, withAlpha(hex(0x000000), fill.a), s);
    }
    over(canvas, x, y, fill, body);
    const float band = body - coverage(d + look.borderWidth);
    if (band > 0) {
      const float top = 1 - smoothstep(y0, y0 + look.radius + 6, py);
      over(canvas, x, y, mix(look.border, look.borderTop, top), band);
    }
  });
  return canvas;
}

struct Pictures {
  std::string dir;     // output folder of the pictures
  std::string prefix;  // their path as the GUI file names it
  std::vector<std::unique_ptr<Node>> images;

  // Edges and centres are stretched: clamped, they never wrap around and
  // bleed the opposite border into their own.
  void add(const std::string& name, const Picture& picture) {
    const std::string file = name + ".png";
    picture.savePng(dir + "/" + file);
    images.push_back(glimro_tools::element("image", {{"name", name}, {"filename", prefix + file}, {"clamp", "true"}}));
  }
};

// The nine pieces of a frame: the style attribute that names each, the
// suffix of its picture, and which third of the drawn look it is cut from.
// Middle thirds are an 8-pixel strip, as the look is the same all along.
const struct Piece {
  const char* attribute;
  const char* suffix;
  int column, row;
} PIECES[9] = {{"upperLeft", "_ul", 0, 0}, {"upper", "_u", 1, 0},     {"upperRight", "_ur", 2, 0},
               {"left", "_l", 0, 1},       {"center", "_c", 1, 1},    {"right", "_r", 2, 1},
               {"lowerLeft", "_ll", 0, 2}, {"lower", "_lo", 1, 2},    {"lowerRight", "_lr", 2, 2}};

void addFrame(Pictures& pictures, const std::string& name, const FrameLook& look) {
  const Picture full = drawFrame(look);
  const int b = look.piece;
  const int starts[2][3] = {{0, b + NOMINAL / 2 - 4, b + NOMINAL}, {0, b, b + NOMINAL}};
  const int sizes[2][3] = {{b, 8, b}, {b, NOMINAL, b}};
  for (const Piece& piece : PIECES)
    pictures.add(name + piece.suffix, crop(full, starts[0][piece.column], starts[1][piece.row],
                                           sizes[0][piece.column], sizes[1][piece.row]));
}

// ---------------------------------------------------------------------------
// Palette: dusk blues for surfaces, amber for what the pointer is over and
// for titles, cyan as the cool accent.

const uint32_t NAVY_DEEP = 0x0A0E22;
const uint32_t SLATE_TOP = 0x2A3666;
const uint32_t SLATE_BOTTOM = 0x1A2248;
const uint32_t SLATE_EDGE = 0x5468A8;
const uint32_t AMBER_LIGHT = 0xFFC163;
const uint32_t AMBER = 0xFF9A3C;
const uint32_t AMBER_DEEP = 0xE0662A;
const uint32_t AMBER_EDGE = 0xFFE0A8;
const uint32_t CYAN = 0x4FD8FF;
const uint32_t INK = 0x1A1030;       // text on amber
const uint32_t TEXT = 0xE8ECFF;      // text on navy
const uint32_t TEXT_MUTED = 0x97A3D0;

FrameLook panelLook() {
  FrameLook look{};
  look.piece = 16;
  look.grow = 12;
  look.radius = 12;
  look.fillTop = hex(0x1A2145, 0.94f);
  look.fillBottom = hex(0x0D1128, 0.94f);
  look.border = hex(0x3C4C86);
  look.borderTop = hex(AMBER);
  look.borderWidth = 2;
  look.shadow = hex(0x000000, 0.55f);
  return look;
}

FrameLook buttonLook(bool hot, bool down) {
  FrameLook look{};
  look.piece = 8;
  look.grow = 5;
  look.radius = 5;
  look.borderWidth = 1.5f;
  if (hot) {
    look.fillTop = hex(down ? AMBER_DEEP : AMBER_LIGHT);
    look.fillBottom = hex(down ? 0xC4521E : AMBER);
    look.border = hex(AMBER_EDGE);
    look.borderTop = look.border;
    look.glow = hex(AMBER, 0.55f);
    look.glowSize = 1.6f;
  } else {
    look.fillTop = hex(down ? SLATE_BOTTOM : SLATE_TOP);
    look.fillBottom = hex(down ? 0x121838 : SLATE_BOTTOM);
    look.border = hex(SLATE_EDGE);
    look.borderTop = hex(0x7D90D0);
    look.shadow = hex(0x000000, 0.45f);
  }
  look.insetShade = down ? 0.45f : 0;
  look.shine = down ? 0 : 0.10f;
  return look;
}

FrameLook fieldLook() {
  FrameLook look{};
  look.piece = 8;
  look.grow = 5;
  look.radius = 4;
  look.fillTop = hex(0x060818);
  look.fillBottom = hex(0x0C1026);
  look.border = hex(CYAN, 0.75f);
  look.borderTop = hex(0x2A6F8C);
  look.borderWidth = 1.5f;
  look.insetShade = 0.5f;
  return look;
}

// The check box row, as wide as the widget (stretching maps it one to one):
// the inside of the box, a tick when checked, and a soft band when the
// pointer is over the row. The box outline is the caption image, tinted by
// the state, so that the text starts beside it.
const int CHECK_ROW_WIDTH = 256;
const int CHECK_ROW_HEIGHT = 32;
const float BOX_X0 = 4, BOX_Y0 = 6, BOX_X1 = 24, BOX_Y1 = 26;

Picture drawCheckRow(bool checked, bool hot) {
  Picture canvas(CHECK_ROW_WIDTH, CHECK_ROW_HEIGHT, withAlpha(hex(AMBER), 0));
  forEachPixel(canvas, [&](int x, int y, float px, float py) {
    if (hot) {
      const float d = roundedRectDistance(px, py, 1, 1, CHECK_ROW_WIDTH - 1, CHECK_ROW_HEIGHT - 1, 6);
      const float fade = 1 - smoothstep(40, CHECK_ROW_WIDTH, px);
      over(canvas, x, y, hex(AMBER, 0.22f * fade + 0.06f), coverage(d));
    }
    const float box = roundedRectDistance(px, py, BOX_X0, BOX_Y0, BOX_X1, BOX_Y1, 4);
    over(canvas, x, y, hex(hot ? 0x2A2030 : NAVY_DEEP, 0.95f), coverage(box + 1));
    if (checked) {
      const float tick =
          std::min(segmentDistance(px, py, 8.5f, 16.5f, 12.5f, 21), segmentDistance(px, py, 12.5f, 21, 20, 11.5f));
      over(canvas, x, y, hex(hot ? AMBER_LIGHT : CYAN), coverage(tick - 1.6f));
    }
  });
  return canvas;
}

Picture drawCheckOutline() {
  Picture canvas(32, CHECK_ROW_HEIGHT, withAlpha(hex(0xFFFFFF), 0));
  forEachPixel(canvas, [&](int x, int y, float px, float py) {
    const float d = roundedRectDistance(px, py, BOX_X0, BOX_Y0, BOX_X1, BOX_Y1, 4);
    over(canvas, x, y, hex(0xFFFFFF), coverage(d) - coverage(d + 2));
  });
  return canvas;
}

// A drop-down list cycles through its entries: a divider and a pair of
// chevrons at its right end, white so each state tints them.
Picture drawCycleMark() {
  Picture canvas(32, 32, withAlpha(hex(0xFFFFFF), 0));
  forEachPixel(canvas, [&](int x, int y, float px, float py) {
    const float divider = std::fabs(px - 4) - 0.6f;
    const float fade = 1 - smoothstep(6, 13, std::fabs(py - 16));
    over(canvas, x, y, hex(0xFFFFFF, 0.45f * fade), coverage(divider));
    float chevrons = 1e9f;
    for (float cx : {14.0f, 20.0f})
      chevrons = std::min(
          chevrons, std::min(segmentDistance(px, py, cx, 11, cx + 5, 16), segmentDistance(px, py, cx + 5, 16, cx, 21)));
    over(canvas, x, y, hex(0xFFFFFF), coverage(chevrons - 1.3f));
  });
  return canvas;
}

// The profile name field shows a small player figure before the text.
Picture drawPlayerMark() {
  Picture canvas(32, 32, withAlpha(hex(0xFFFFFF), 0));
  forEachPixel(canvas, [&](int x, int y, float px, float py) {
    const float head = std::hypot(px - 14, py - 11) - 4.5f;
    const float body = roundedRectDistance(px, py, 6, 18, 22, 30, 7);
    const float cut = 23.5f - py;  // shoulders end in a straight line
    const float shape = std::min(head, std::max(body, -cut));
    over(canvas, x, y, hex(0xFFFFFF), coverage(shape));
  });
  return canvas;
}

// The pointer: a classic arrow, light with a dark rim and a soft shadow,
// its tip on the picture's upper-left pixel (the hot spot).
Picture drawCursor() {
  const std::vector<Point> arrow = {{1, 1},         {1, 23},        {6.5f, 18},    {10.5f, 27},
                                    {14.5f, 25.5f}, {10.5f, 16.5f}, {17.5f, 16.5f}};
  Picture canvas(32, 32, withAlpha(hex(0x000000), 0));
  forEachPixel(canvas, [&](int x, int y, float px, float py) {
    const float shadow = polygonDistance(arrow, px - 1.5f, py - 2.0f);
    over(canvas, x, y, hex(0x000000, 0.45f), clamp01(0.6f - shadow * 0.5f));
    const float d = polygonDistance(arrow, px, py);
    const float t = clamp01(py / 26);
    over(canvas, x, y, mix(hex(0xFFFFFF), hex(0xFFD9A0), t), coverage(d + 0.4f));
    over(canvas, x, y, hex(INK), coverage(std::fabs(d) - 0.8f));
  });
  return canvas;
}

// ---------------------------------------------------------------------------
// The backdrop: dusk over a hover track. It is drawn in the units of the
// pane that shows it (BACK_WIDTH by BACK_HEIGHT, stretched over it), so
// circles stay round on screen, and sampled nine times per texel.

const int BACK_WIDTH = 1600;
const int BACK_HEIGHT = 1200;
const int BACK_TEXTURE = 1024;

uint32_t hash32(uint32_t v) {
  v ^= v >> 16;
  v *= 0x7FEB352Du;
  v ^= v >> 15;
  v *= 0x846CA68Bu;
  v ^= v >> 16;
  return v;
}

float random01(uint32_t a, uint32_t b, uint32_t seed) {
  return (hash32(a * 0x9E3779B1u ^ hash32(b + seed * 0x85EBCA77u)) & 0xFFFFFF) / 16777216.0f;
}

// Smooth one-dimensional value noise in [0, 1].
float noise1(float x, uint32_t seed) {
  const float cell = std::floor(x);
  const float f = x - cell;
  const uint32_t i = static_cast<uint32_t>(static_cast<int32_t>(cell) + 100000);
  const float a = random01(i, 0, seed), b = random01(i + 1, 0, seed);
  return a + (b - a) * f * f * (3 - 2 * f);
}

struct Gradient {
  std::vector<std::pair<float, Rgba>> stops;
  Rgba at(float t) const {
    if (t <= stops.front().first) return stops.front().second;
    for (size_t i = 1; i < stops.size(); ++i)
      if (t <= stops[i].first) {
        const float u = (t - stops[i - 1].first) / (stops[i].first - stops[i - 1].first);
        return mix(stops[i - 1].second, stops[i].second, u);
      }
    return stops.back().second;
  }
};

Rgba add(const Rgba& c, const Rgba& glow, float amount) {
  return {c.r + glow.r * amount, c.g + glow.g * amount, c.b + glow.b * amount, c.a};
}

struct Backdrop {
  const float horizon = 640;
  const float vanishX = 800;
  const float sunX = 1130, sunY = 600, sunRadius = 92;
  const float focal = 700, eye = 10;  // ground projection
  Gradient sky{{{0.0f, hex(0x04061A)},
                {0.40f, hex(0x11123A)},
                {0.70f, hex(0x2E1A52)},
                {0.88f, hex(0x7A2D62)},
                {1.0f, hex(0xFF7A4A)}}};
  Gradient ground{{{0.0f, hex(0x2A1238)}, {0.15f, hex(0x150C28)}, {1.0f, hex(0x05050E)}}};

  float ridge(float x, uint32_t seed, float base, float amplitude) const {
    const float valley = smoothstep(60, 420, std::fabs(x - vanishX));
    const float h = 0.6f * noise1(x / 210, seed) + 0.3f * noise1(x / 75, seed + 7) + 0.1f * noise1(x / 23, seed + 13);
    return base + amplitude * h * (0.25f + 0.75f * valley);
  }

  // The road's middle line in ground units, as a function of the depth.
  float roadCentre(float z) const { return -10.0f + 11.0f * (1 - std::exp(-z / 55)) + 2.5f * std::sin(z / 21); }

  Rgba sample(float X, float Y) const {
    Rgba c = {0, 0, 0, 1};
    if (Y < horizon) {
      c = sky.at(Y / horizon);
      // Stars, fading out into the dusk glow.
      const float cellSize = 14;
      const int cx = static_cast<int>(X / cellSize), cy = static_cast<int>(Y / cellSize);
      for (int oy = -1; oy <= 1; ++oy)
        for (int ox = -1; ox <= 1; ++ox) {
          const uint32_t ix = static_cast<uint32_t>(cx + ox), iy = static_cast<uint32_t>(cy + oy);
          if (random01(ix, iy, 1) > 0.07f) continue;
          const float sx = (cx + ox + random01(ix, iy, 2)) * cellSize;
          const float sy = (cy + oy + random01(ix, iy, 3)) * cellSize;
          const float size = 0.5f + 0.9f * random01(ix, iy, 4);
          const float d2 = (X - sx) * (X - sx) + (Y - sy) * (Y - sy);
          const float bright = (0.35f + 0.65f * random01(ix, iy, 5)) * (1 - smoothstep(0.3f, 0.7f, Y / horizon));
          c = add(c, hex(0xCFD8FF), bright * std::exp(-d2 / (size * size)));
        }
      // The setting sun, half sunk behind the mountains.
      const float disc = clamp01(sunRadius - std::hypot(X - sunX, Y - sunY) + 0.5f);
      const Rgba sunColour = mix(hex(0xFFE690), hex(0xFF3F7A), clamp01((Y - (sunY - sunRadius)) / (2 * sunRadius)));
      c = mix(c, sunColour, disc);
      // Far and near mountains; the far ones catch the sun on their rims.
      const float far = horizon - ridge(X, 21, 30, 95);
      const float near = horizon - ridge(X + 3000, 57, 10, 55);
      if (Y > far) {
        const float depth = clamp01((Y - far) / 70);
        Rgba m = mix(hex(0x3B2158), hex(0x24163F), depth);
        const float rim = std::exp(-(Y - far) / 2.5f) * std::exp(-std::fabs(X - sunX) / 260);
        m = add(m, hex(0xFF8A5A), rim * 0.9f);
        c = mix(c, m, clamp01(Y - far));
      }
      if (Y > near) {
        Rgba m = mix(hex(0x1A1030), hex(0x100A22), clamp01((Y - near) / 40));
        m = add(m, hex(0xFF6A5A), std::exp(-(Y - near) / 2.0f) * 0.35f * std::exp(-std::fabs(X - sunX) / 300));
        c = mix(c, m, clamp01(Y - near));
      }
    } else {
      const float dy = Y - horizon;
      c = ground.at(clamp01(dy / (BACK_HEIGHT - horizon)));
      const float z = focal * eye / std::max(dy, 0.5f);  // depth of this row
      const float gx = (X - vanishX) * eye / std::max(dy, 0.5f);
      const float perPixelX = eye / std::max(dy, 0.5f);    // ground units per pixel across
      const float perPixelZ = z / std::max(dy, 0.5f);      // ground units per pixel in depth
      const float fog = std::exp(-z / 260);
      // Grid of glowing lines on the ground, fading into the distance.
      const float spacing = 9;
      const float lx = std::fabs(gx / spacing - std::round(gx / spacing)) * spacing / perPixelX;
      const float lz = std::fabs(z / spacing - std::round(z / spacing)) * spacing / perPixelZ;
      const float fadeZ = 1 - smoothstep(spacing * 0.15f, spacing * 0.5f, perPixelZ);
      const float grid = std::max(std::exp(-lx * lx / 0.8f) + 0.25f * std::exp(-lx / 3),
                                  fadeZ * (std::exp(-lz * lz / 0.8f) + 0.25f * std::exp(-lz / 3)));
      c = add(c, hex(0xB83CFF), 0.55f * grid * fog);
      // The road: dark asphalt between cyan rails, amber dashes down the middle.
      const float offset = gx - roadCentre(z);
      const float halfWidth = 4.2f;
      const float inside = clamp01((halfWidth - std::fabs(offset)) / perPixelX + 0.5f);
      c = mix(c, mix(hex(0x0B0A1A), hex(0x1A1430), 1 - fog), inside * 0.92f);
      const float rail = std::fabs(std::fabs(offset) - halfWidth) / perPixelX;
      c = add(c, hex(CYAN), (std::exp(-rail * rail / 1.2f) + 0.35f * std::exp(-rail / 5)) * (0.25f + 0.75f * fog));
      const float dash = std::fmod(z, 7.0f) < 3.5f ? 1.0f : 0.0f;
      const float middle = std::fabs(offset) / perPixelX;
      c = add(c, hex(AMBER), dash * fadeZ * std::exp(-middle * middle / 1.5f) * 0.9f * fog);
      // The sun's glow mirrored on the ground.
      c = add(c, hex(0xFF5A5A), 0.45f * std::exp(-dy / 30) * std::exp(-std::fabs(X - sunX) / 180));
    }
    // Haze over the horizon and a glow around the sun.
    const float haze = std::exp(-std::fabs(Y - horizon) / 22);
    c = add(c, hex(0xFF6A5A), 0.35f * haze * (0.35f + 0.65f * std::exp(-std::fabs(X - sunX) / 420)));
    const float ds = std::hypot(X - sunX, Y - sunY);
    c = add(c, hex(0xFF5A6A), 0.35f * std::exp(-ds / 170));
    // Darker corners pull the eye to the middle.
    const float vx = (X - BACK_WIDTH * 0.5f) / (BACK_WIDTH * 0.5f), vy = (Y - BACK_HEIGHT * 0.5f) / (BACK_HEIGHT * 0.5f);
    const float vignette = 1 - 0.5f * smoothstep(0.45f, 1.25f, std::sqrt(vx * vx + vy * vy));
    return {c.r * vignette, c.g * vignette, c.b * vignette, 1};
  }
};

Picture drawBackdrop() {
  const Backdrop scene;
  Picture canvas(BACK_TEXTURE, BACK_TEXTURE, {0, 0, 0, 1});
  const float sx = static_cast<float>(BACK_WIDTH) / BACK_TEXTURE;
  const float sy = static_cast<float>(BACK_HEIGHT) / BACK_TEXTURE;
  for (int y = 0; y < BACK_TEXTURE; ++y)
    for (int x = 0; x < BACK_TEXTURE; ++x) {
      Rgba sum = {0, 0, 0, 0};
      for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) {
          const Rgba s = scene.sample((x + (i + 0.5f) / 3) * sx, (y + (j + 0.5f) / 3) * sy);
          sum.r += s.r;
          sum.g += s.g;
          sum.b += s.b;
        }
      canvas.at(x, y) = {sum.r / 9, sum.g / 9, sum.b / 9, 1};
    }
  return canvas;
}

// ---------------------------------------------------------------------------
// The description

std::string colour(uint32_t rgb, float alpha = 1.0f) {
  char text[9];
  std::snprintf(text, sizeof text, "%06X%02X", rgb & 0xFFFFFF, static_cast<unsigned>(std::lround(alpha * 255)));
  return text;
}

std::string number(float v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

using Attributes = std::vector<std::pair<std::string, std::string>>;

// Names of the three bitmap fonts, as their "bitmapfont.xml" files give them.
const std::string FONT_TITLE = "andromeda30";
const std::string FONT_BOLD = "arialblack12";
const std::string FONT_SMALL = "arial10";

class Description {
 public:
  Node root;

  Description() { root.name = "GUI"; }

  Node* add(Node* parent, const std::string& element, const Attributes& attributes) {
    Node* node = glimro_tools::element(element, attributes).release();
    *parent += node;
    return node;
  }

  void style(const std::string& element, const std::string& name, Attributes attributes) {
    attributes.insert(attributes.begin(), {"name", name});
    add(&root, element, attributes);
  }

  // A widget with the generic attributes; every name is unique in the tree.
  Node* widget(Node* parent, const std::string& element, const std::string& name, float x, float y, float w,
               float h, Attributes more = {}) {
    if (!names.insert(name).second) throw "Two components named \"" + name + "\"";
    Attributes attributes = {{"name", name}, {"x", number(x)}, {"y", number(y)}, {"width", number(w)},
                             {"height", number(h)}};
    attributes.insert(attributes.end(), more.begin(), more.end());
    return add(parent, element, attributes);
  }

 private:
  std::set<std::string> names;
};

void addFrameStyle(Description& gui, const std::string& name, const std::string& pictures) {
  Attributes attributes = {{"stretch", "true"}, {"color", "FFFFFFFF"}, {"colorBorder", "FFFFFFFF"}};
  for (const Piece& piece : PIECES) attributes.push_back({piece.attribute, pictures + piece.suffix});
  gui.style("TexturedRectStyle", name, attributes);
}

void addStyles(Description& gui) {
  // Fonts.
  gui.style("SimpleFontStyle", "fontTitle", {{"font", FONT_TITLE}, {"horizontal", "center"}, {"color", colour(AMBER_LIGHT)}});
  gui.style("SimpleFontStyle", "fontHeading", {{"font", FONT_BOLD}, {"color", colour(CYAN)}});
  gui.style("SimpleFontStyle", "fontLabel", {{"font", FONT_BOLD}, {"color", colour(TEXT_MUTED)}});
  gui.style("SimpleFontStyle", "fontText", {{"font", FONT_BOLD}, {"color", colour(TEXT)}});
  gui.style("SimpleFontStyle", "fontTextRight", {{"font", FONT_BOLD}, {"horizontal", "right"}, {"color", colour(TEXT)}});
  gui.style("SimpleFontStyle", "fontTextCenter", {{"font", FONT_BOLD}, {"horizontal", "center"}, {"color", colour(TEXT)}});
  gui.style("SimpleFontStyle", "fontSmall", {{"font", FONT_SMALL}, {"horizontal", "center"}, {"color", colour(TEXT_MUTED)}});
  gui.style("SimpleFontStyle", "fontButton", {{"font", FONT_BOLD}, {"horizontal", "center"}, {"color", colour(TEXT)}});
  gui.style("SimpleFontStyle", "fontButtonHot", {{"font", FONT_BOLD}, {"horizontal", "center"}, {"color", colour(INK)}});
  gui.style("SimpleFontStyle", "fontCheck", {{"font", FONT_BOLD}, {"color", colour(TEXT)}});
  gui.style("SimpleFontStyle", "fontCheckHot", {{"font", FONT_BOLD}, {"color", colour(AMBER_LIGHT)}});

  // Rectangles.
  gui.style("TexturedRectStyle", "rectBackdrop", {{"color", "FFFFFFFF"}, {"center", "backdrop"}});
  addFrameStyle(gui, "rectPanel", "panel");
  addFrameStyle(gui, "rectButtonUp", "buttonUp");
  addFrameStyle(gui, "rectButtonDown", "buttonDown");
  addFrameStyle(gui, "rectButtonUpHot", "buttonUpHot");
  addFrameStyle(gui, "rectButtonDownHot", "buttonDownHot");
  addFrameStyle(gui, "rectField", "field");
  for (const char* state : {"Unchecked", "UncheckedHot", "Checked", "CheckedHot"})
    gui.style("TexturedRectStyle", std::string("rectCheck") + state,
              {{"color", "FFFFFFFF"}, {"center", std::string("check") + state}});
  gui.style("PlainRectStyle", "rectRule", {{"color", colour(AMBER, 0.55f)}});

  // Labels.
  gui.style("LabelStyle", "labelTitle", {{"font", "fontTitle"}});
  gui.style("LabelStyle", "labelHeading", {{"font", "fontHeading"}});
  gui.style("LabelStyle", "labelName", {{"font", "fontLabel"}});
  // The record tables' names are players' own: a wide one is cut short.
  gui.style("LabelStyle", "labelText", {{"font", "fontText"}, {"cut", "true"}});
  gui.style("LabelStyle", "labelTextRight", {{"font", "fontTextRight"}});
  gui.style("LabelStyle", "labelCredit", {{"font", "fontTextCenter"}});
  gui.style("LabelStyle", "labelSmall", {{"font", "fontSmall"}});
  gui.style("LabelStyle", "labelLoading", {{"rect", "rectPanel"}, {"font", "fontTitle"}});
  // The profile name field shows the end of a name too wide for it.
  gui.style("LabelStyle", "labelField",
            {{"rect", "rectField"},
             {"font", "fontText"},
             {"imageHorizontal", "left"},
             {"imageColor", colour(CYAN)},
             {"cut", "true"}});

  // Buttons: navy at rest, amber under the pointer, darker and sunk when pressed.
  const std::pair<const char*, const char*> states[4] = {
      {"Up", "fontButton"}, {"Down", "fontButton"}, {"UpHot", "fontButtonHot"}, {"DownHot", "fontButtonHot"}};
  for (const auto& [state, font] : states)
    gui.style("LabelStyle", std::string("labelButton") + state,
              {{"rect", std::string("rectButton") + state}, {"font", font}});
  gui.style("ButtonStyle", "button", {{"up", "labelButtonUp"}, {"down", "labelButtonDown"},
                                      {"upHot", "labelButtonUpHot"}, {"downHot", "labelButtonDownHot"}});

  // Drop-down lists: button faces with the cycle mark at the right end. The
  // profile lists show players' names, cut short where too wide.
  for (const auto& [state, font] : states) {
    const bool hot = std::string(state).find("Hot") != std::string::npos;
    gui.style("LabelStyle", std::string("labelList") + state,
              {{"rect", std::string("rectButton") + state},
               {"font", font},
               {"imageHorizontal", "right"},
               {"imageColor", hot ? colour(INK) : colour(CYAN)},
               {"cut", "true"}});
  }
  gui.style("DropdownListStyle", "list", {{"up", "labelListUp"}, {"down", "labelListDown"},
                                          {"upHot", "labelListUpHot"}, {"downHot", "labelListDownHot"},
                                          {"image", "cycleMark"}});

  // Check boxes.
  for (const char* checkState : {"Unchecked", "Checked"}) {
    const std::string base = std::string("labelCheck") + checkState;
    gui.style("LabelStyle", base,
              {{"rect", std::string("rectCheck") + checkState}, {"font", "fontCheck"},
               {"imageHorizontal", "left"}, {"imageColor", colour(0xA9B6E6)}});
    gui.style("LabelStyle", base + "Hot",
              {{"rect", std::string("rectCheck") + checkState + "Hot"}, {"font", "fontCheckHot"},
               {"imageHorizontal", "left"}, {"imageColor", colour(AMBER_LIGHT)}});
    gui.style("ButtonStyle", std::string("buttonCheck") + checkState,
              {{"up", base}, {"down", base + "Hot"}, {"upHot", base + "Hot"}, {"downHot", base + "Hot"}});
  }
  gui.style("CheckboxStyle", "check", {{"checked", "buttonCheckChecked"}, {"unchecked", "buttonCheckUnchecked"}});
}

// Geometry shared by the panels.
const float BUTTON_HEIGHT = 32;
const float ROW_PITCH = 48;   // from one row of controls to the next
const float MARGIN = 40;      // inside a panel, to the left and right
const float TITLE_HEIGHT = 44;

// A panel's title, an optional line under it and a rule; returns the y of
// the rule, from which the rows go down.
float titledPanel(Description& gui, Node* panel, const std::string& stem, float width, float height,
                  const std::string& title, const std::string& subtitle = "") {
  float y = height - 14 - TITLE_HEIGHT;
  gui.widget(panel, "Label", "l" + stem + "Title", 0, y, width, TITLE_HEIGHT, {{"caption", title}, {"style", "labelTitle"}});
  if (!subtitle.empty()) {
    y -= 20;
    gui.widget(panel, "Label", "l" + stem + "Subtitle", 0, y, width, 16, {{"caption", subtitle}, {"style", "labelSmall"}});
    y -= 4;
  }
  y -= 10;
  gui.widget(panel, "Pane", "p" + stem + "Rule", MARGIN, y, width - 2 * MARGIN, 2, {{"style", "rectRule"}});
  return y;
}

Node* panel(Description& gui, const std::string& name, float width, float height, bool visible) {
  return gui.widget(&gui.root, "Pane", name, 0, 0, width, height,
                    {{"style", "rectPanel"}, {"visible", visible ? "true" : "false"}});
}

Node* button(Description& gui, Node* parent, const std::string& name, float x, float y, float w,
             const std::string& caption, const std::string& trigger) {
  return gui.widget(parent, "Button", name, x, y, w, BUTTON_HEIGHT,
                    {{"caption", caption}, {"style", "button"}, {"trigger", trigger}});
}

void addMainMenu(Description& gui) {
  const float width = 336, height = 380;
  Node* p = panel(gui, "pMainMenu", width, height, true);
  float y = titledPanel(gui, p, "Main", width, height, "GLIMRO", "hover racing");
  const float w = width - 2 * MARGIN;
  y -= 22 + BUTTON_HEIGHT;
  button(gui, p, "bSinglePlayer", MARGIN, y, w, "Single player", "singlePlayerGame");
  y -= ROW_PITCH;
  button(gui, p, "bTwoPlayers", MARGIN, y, w, "Two players", "multiplayerGame");
  y -= ROW_PITCH;
  button(gui, p, "bCredits", MARGIN, y, w, "Credits", "credits");
  y -= ROW_PITCH;
  button(gui, p, "bQuit", MARGIN, y, w, "Quit", "exit");
  // The frame counter switch; its row picture is exactly as wide as it is.
  gui.widget(p, "Checkbox", "cbFPS", (width - CHECK_ROW_WIDTH) / 2, 26, CHECK_ROW_WIDTH, CHECK_ROW_HEIGHT,
             {{"caption", "Show frame counter"},
              {"image", "checkOutline"},
              {"style", "check"},
              {"triggerOn", "fpsOn"},
              {"triggerOff", "fpsOff"}});
}

void addCredits(Description& gui) {
  const float width = 480, height = 380;
  Node* p = panel(gui, "pCredits", width, height, false);
  float y = titledPanel(gui, p, "Credits", width, height, "Credits");
  const std::pair<const char*, const char*> lines[] = {
      {"Game and engine", "The Glimro developers"},
      {"Tracks, vehicles, art and sound", "Made by the Glimro asset tools"},
      {"Built with", "SDL, OpenGL, OpenAL, Ogg Vorbis, expat, libpng"},
  };
  int i = 0;
  for (const auto& [heading, text] : lines) {
    y -= 42;
    gui.widget(p, "Label", "lCreditsHeading" + std::to_string(i), 0, y, width, 20,
               {{"caption", heading}, {"style", "labelSmall"}});
    y -= 22;
    gui.widget(p, "Label", "lCreditsText" + std::to_string(i), MARGIN, y, width - 2 * MARGIN, 20,
               {{"caption", text}, {"style", "labelCredit"}});
    ++i;
  }
  button(gui, p, "bCreditsBack", (width - 160) / 2, 28, 160, "Back", "cancel");
}

// One row of a start menu: a name on the left and a drop-down list.
Node* listRow(Description& gui, Node* p, const std::string& name, float y, const std::string& caption,
              float listWidth) {
  gui.widget(p, "Label", "l" + name.substr(2) + "Name", MARGIN, y, 110, BUTTON_HEIGHT,
             {{"caption", caption}, {"style", "labelName"}});
  return gui.widget(p, "DropdownList", name, 160, y, listWidth, BUTTON_HEIGHT, {{"style", "list"}});
}

void items(Description& gui, Node* list, const std::vector<std::pair<long, std::string>>& entries) {
  for (const auto& [id, caption] : entries) gui.add(list, "Item", {{"caption", caption}, {"id", std::to_string(id)}});
}

void addStartMenu(Description& gui, int players) {
  const std::string n = std::to_string(players);
  const float width = 520;
  const float height = players == 1 ? 400 : 448;
  Node* p = panel(gui, "pStartGameMenu" + n, width, height, false);
  float y = titledPanel(gui, p, "Start" + n, width, height, players == 1 ? "Single player" : "Two players");
  const float listWidth = 220, editX = 396, editWidth = width - MARGIN - editX;
  y -= 24 + BUTTON_HEIGHT;
  if (players == 1) {
    listRow(gui, p, "dlProfile0", y, "Profile", listWidth);
    button(gui, p, "bEditProfile0", editX, y, editWidth, "Edit", "editProfile1");
  } else {
    listRow(gui, p, "dlProfile1", y, "Player 1", listWidth);
    button(gui, p, "bEditProfile1", editX, y, editWidth, "Edit", "editProfile1");
    y -= ROW_PITCH;
    listRow(gui, p, "dlProfile2", y, "Player 2", listWidth);
    button(gui, p, "bEditProfile2", editX, y, editWidth, "Edit", "editProfile2");
  }
  y -= ROW_PITCH;
  button(gui, p, "bNewProfile" + n, 160, y, listWidth, "New profile", "newProfile");
  y -= ROW_PITCH + 12;
  // The track items carry the track index, the time items 1 for night; the
  // game names the tracks so too (createTrack).
  items(gui, listRow(gui, p, "dlTrack" + n, y, "Track", listWidth),
        {{0, "Short track"}, {1, "Alternate track"}, {2, "Track three"}});
  y -= ROW_PITCH;
  items(gui, listRow(gui, p, "dlTime" + n, y, "Time of day", listWidth), {{0, "Day"}, {1, "Night"}});
  button(gui, p, "bStartBack" + n, MARGIN, 28, 150, "Back", "cancel");
  button(gui, p, "bStartRace" + n, width - MARGIN - 150, 28, 150, "Start race", "startGame");
}

void addProfileEditor(Description& gui) {
  const float width = 440, height = 270;
  Node* p = panel(gui, "pEditProfileMenu", width, height, false);
  float y = titledPanel(gui, p, "EditProfile", width, height, "Player profile");
  y -= 40;
  gui.widget(p, "Label", "lProfileNameName", MARGIN, y, width - 2 * MARGIN, 20,
             {{"caption", "Name"}, {"style", "labelName"}});
  y -= 10 + BUTTON_HEIGHT;
  gui.widget(p, "Textfield", "tfProfileName", MARGIN, y, width - 2 * MARGIN, BUTTON_HEIGHT,
             {{"image", "playerMark"}, {"style", "labelField"}});
  button(gui, p, "bProfileCancel", MARGIN, 28, 150, "Cancel", "cancel");
  button(gui, p, "bProfileOk", width - MARGIN - 150, 28, 150, "OK", "ok");
}

void addRaceOver(Description& gui) {
  const float width = 620, height = 380;
  Node* p = panel(gui, "pRaceOver", width, height, false);
  float y = titledPanel(gui, p, "RaceOver", width, height, "Race over");
  // Two tables of the track's five best times, filled in when the race ends.
  const struct {
    const char* table;
    const char* heading;
    float x;
  } tables[] = {{"total", "Best race times", MARGIN}, {"lap", "Best lap times", width / 2 + 20}};
  const float tableWidth = width / 2 - 20 - MARGIN;
  for (const auto& table : tables) {
    const std::string prefix = std::string("lTR_") + table.table + "_";
    gui.widget(p, "Label", prefix + "Heading", table.x, y - 40, tableWidth, 22,
               {{"caption", table.heading}, {"style", "labelHeading"}});
    for (int i = 0; i < 5; ++i) {
      const float row = y - 72 - 30.0f * i;
      const std::string rank = prefix + std::to_string(i);
      gui.widget(p, "Label", rank + "_Nr", table.x, row, 28, 24,
                 {{"caption", std::to_string(i + 1) + "."}, {"style", "labelName"}});
      gui.widget(p, "Label", rank + "_Name", table.x + 30, row, tableWidth - 30 - 92, 24,
                 {{"caption", ""}, {"style", "labelText"}});
      gui.widget(p, "Label", rank + "_Time", table.x + tableWidth - 92, row, 92, 24,
                 {{"caption", "00:00.000"}, {"style", "labelTextRight"}});
    }
  }
  // The race consumes "exit" once it is over and goes back to the menus.
  button(gui, p, "bRaceOverContinue", (width - 180) / 2, 28, 180, "Continue", "exit");
}

void addRaceMenu(Description& gui) {
  const float width = 360, height = 96;
  Node* p = panel(gui, "pGameMenu", width, height, false);
  gui.widget(p, "Label", "lGameMenuTitle", 0, 44, width, 36, {{"caption", "Racing"}, {"style", "labelTitle"}});
  gui.widget(p, "Label", "lGameMenuHint", 0, 14, width, 20,
             {{"caption", "Esc or Q ends the race"}, {"style", "labelSmall"}});
}

void buildDescription(Description& gui, Pictures& pictures) {
  gui.root["name"] = "gui";
  gui.root["x"] = "0";
  gui.root["y"] = "0";
  gui.root["width"] = "800";
  gui.root["height"] = "600";
  gui.root["cursor"] = "cursor";

  Node* images = gui.add(&gui.root, "images", {});
  for (auto& image : pictures.images) *images += image.release();
  pictures.images.clear();

  addStyles(gui);
  // The first child is drawn last: the loading notice over everything, the
  // backdrop behind everything.
  gui.widget(&gui.root, "Label", "lLoading", 0, 0, 320, 64,
             {{"caption", "Loading..."}, {"style", "labelLoading"}, {"visible", "false"}});
  addRaceOver(gui);
  addRaceMenu(gui);
  addProfileEditor(gui);
  addCredits(gui);
  addStartMenu(gui, 1);
  addStartMenu(gui, 2);
  addMainMenu(gui);
  gui.widget(&gui.root, "Pane", "pBack", 0, 0, BACK_WIDTH, BACK_HEIGHT, {{"style", "rectBackdrop"}});
}

void drawPictures(Pictures& pictures) {
  pictures.add("cursor", drawCursor());
  pictures.add("backdrop", drawBackdrop());
  addFrame(pictures, "panel", panelLook());
  addFrame(pictures, "buttonUp", buttonLook(false, false));
  addFrame(pictures, "buttonDown", buttonLook(false, true));
  addFrame(pictures, "buttonUpHot", buttonLook(true, false));
  addFrame(pictures, "buttonDownHot", buttonLook(true, true));
  addFrame(pictures, "field", fieldLook());
  pictures.add("checkUnchecked", drawCheckRow(false, false));
  pictures.add("checkUncheckedHot", drawCheckRow(false, true));
  pictures.add("checkChecked", drawCheckRow(true, false));
  pictures.add("checkCheckedHot", drawCheckRow(true, true));
  pictures.add("checkOutline", drawCheckOutline());
  pictures.add("cycleMark", drawCycleMark());
  pictures.add("playerMark", drawPlayerMark());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_gui RESOURCES_DIR\n");
    return 2;
  }
  try {
    const std::string out = argv[1];
    Pictures pictures;
    pictures.dir = out + "/gui";
    pictures.prefix = "gui/";
    glimro_tools::makeDirs(pictures.dir);
    drawPictures(pictures);
    Description gui;
    buildDescription(gui, pictures);
    gui.root.saveXML((out + "/gui.xml").c_str());
  } catch (const std::string& message) {
    std::fprintf(stderr, "make_gui: %s\n", message.c_str());
    return 1;
  }
  return 0;
}
