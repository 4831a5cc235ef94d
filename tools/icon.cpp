// make_icon: the game's icon for the desktop's menus, "icons/glimro_<size>.png"
// in the sizes the desktop's icon theme looks for. The title screen's dusk in
// a rounded tile: a striped sun on the horizon, a purple grid floor, a road
// with glowing edges running to the sun, and the red hover racer from behind
// over its jet glow. Each size is painted from the same shapes with many
// samples a pixel, and thin lines keep at least about a pixel's width, so the
// small sizes stay sharp instead of being a shrunken large one.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "canvas.h"
#include "catalog.h"
#include "picture.h"

using glimro_tools::mix;
using glimro_tools::Picture;
using glimro_tools::Rgb;
using glimro_tools::Rgba;

namespace {

const int SIZES[] = {16, 22, 24, 32, 48, 64, 128, 256};
// Samples a pixel along each side.
const int SAMPLES = 6;

const float HORIZON = 0.56f;  // of the height, from the top
const float SUN_RADIUS = 0.25f;
const float SUN_X = 0.5f;

Rgb rgb(unsigned hex) {
  return {((hex >> 16) & 0xff) / 255.0f, ((hex >> 8) & 0xff) / 255.0f, (hex & 0xff) / 255.0f};
}

float clamp01(float v) { return std::clamp(v, 0.0f, 1.0f); }

// How far v lies from the nearest whole number.
float nearestStep(float v) { return std::fabs(v - std::round(v)); }

// Inside the polygon (even-odd rule).
bool inside(const std::vector<std::pair<float, float>>& polygon, float x, float y) {
  bool in = false;
  for (size_t i = 0, j = polygon.size() - 1; i < polygon.size(); j = i++) {
    const auto [xi, yi] = polygon[i];
    const auto [xj, yj] = polygon[j];
    if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) in = !in;
  }
  return in;
}

// The tile: a square with round corners and a small margin, as icon themes
// expect; x, y in 0..1, y downwards.
bool inTile(float x, float y) {
  const float margin = 0.04f, radius = 0.2f;
  const float dx = std::max({margin + radius - x, x - (1 - margin - radius), 0.0f});
  const float dy = std::max({margin + radius - y, y - (1 - margin - radius), 0.0f});
  return x >= margin && x <= 1 - margin && y >= margin && y <= 1 - margin && dx * dx + dy * dy <= radius * radius;
}

class Painter {
 public:
  explicit Painter(int size)
      : line(std::max(0.012f, 0.9f / size)), rim(std::max(0.01f, 0.6f / size)),
        detail(std::clamp((size - 16) / 32.0f, 0.0f, 1.0f)) {}

  // The colour at one sample; alpha 0 outside the tile.
  Rgba at(float x, float y) const {
    if (!inTile(x, y)) return Rgba{0, 0, 0, 0};
    Rgb c = y < HORIZON ? sky(x, y) : floor(x, y);
    c = racer(x, y, c);
    // An amber rim, as the menus' panels have.
    if (!inTile(x - rim, y) || !inTile(x + rim, y) || !inTile(x, y - rim) || !inTile(x, y + rim))
      c = mix(c, rgb(0xf0a050), 0.7f);
    return Rgba{c.r, c.g, c.b, 1};
  }

 private:
  Rgb sky(float x, float y) const {
    const float t = y / HORIZON;
    Rgb c = t < 0.55f ? mix(rgb(0x120a32), rgb(0x4a1a6a), t / 0.55f)
                      : mix(rgb(0x4a1a6a), rgb(0xd8487e), (t - 0.55f) / 0.45f);
    const float dx = x - SUN_X, dy = y - HORIZON;
    const float r = std::sqrt(dx * dx + dy * dy);
    // Stripes cut the sun's lower half, thicker towards the horizon.
    const float below = (y - (HORIZON - SUN_RADIUS * 0.55f)) / (SUN_RADIUS * 0.55f);
    const bool stripe = below > 0 && std::fmod(below * 4.0f, 1.0f) < 0.15f + 0.45f * below;
    if (r < SUN_RADIUS && !stripe) {
      const float s = clamp01((y - (HORIZON - SUN_RADIUS)) / SUN_RADIUS);
      return mix(rgb(0xffe27a), rgb(0xff5a8c), s);
    }
    // The sun's glow in the haze around it.
    const float glow = clamp01(1.0f - (r - SUN_RADIUS) / 0.22f);
    return mix(c, rgb(0xff7aa0), 0.35f * glow * glow);
  }

  Rgb floor(float x, float y) const {
    const float depth = (y - HORIZON) / (1 - HORIZON);  // 0 at the horizon
    Rgb c = mix(rgb(0x3a1450), rgb(0x12082a), clamp01(depth * 1.5f));
    // Grid: lines across at even steps of distance, lines along towards the
    // vanishing point; both thinning into the distance.
    const float z = 1.0f / std::max(depth, 1e-4f);
    const float across = nearestStep(z * 0.5f) / 0.5f * depth * depth;
    const float along = nearestStep((x - SUN_X) / std::max(depth, 1e-4f) * 2.5f) / 2.5f * depth;
    if (std::min(across, along) < line * 0.6f) c = mix(c, rgb(0xc040d0), clamp01(depth * 4.0f) * 0.8f * detail);
    // The road: dark between glowing cyan edges, an amber dashed middle.
    const float half = 0.34f * depth;
    const float off = std::fabs(x - SUN_X);
    if (off < half + line) {
      c = off < half - line ? rgb(0x1a1628) : rgb(0x5ae0ff);
      const bool dash = std::fmod(z * 0.9f, 1.0f) < 0.5f;
      if (off < line * 0.7f && dash && depth > 0.08f) c = mix(c, rgb(0xf0a050), detail);
    } else {
      const float glow = clamp01(1.0f - (off - half) / (0.05f * depth + line));
      c = mix(c, rgb(0x5ae0ff), 0.5f * glow * glow);
    }
    return c;
  }

  // The racer from behind: a red hull, lit from the left, with a white
  // stripe, a blue canopy and two jets, side pods with yellow fins, over
  // the cyan glow of its jets.
  Rgb racer(float x, float y, Rgb c) const {
    const float gx = (x - 0.5f) / 0.22f, gy = (y - 0.915f) / 0.03f;
    const float glow = clamp01(1.0f - std::sqrt(gx * gx + gy * gy));
    c = mix(c, rgb(0x8af0ff), glow);
    const float m = std::fabs(x - 0.5f);  // the racer is mirror-symmetric
    const float light = x < 0.5f ? 1.0f : 0.7f;
    if (inside({{0.0f, 0.905f}, {0.13f, 0.905f}, {0.12f, 0.84f}, {0.06f, 0.70f}, {0.02f, 0.635f}, {0.0f, 0.63f}},
               m, y)) {
      const float jx = (m - 0.06f) / 0.022f, jy = (y - 0.89f) / 0.014f;
      if (jx * jx + jy * jy < 1.0f) return rgb(0xb0f8ff);
      if (y > 0.87f) return rgb(0x40101a);
      const float cx = m / 0.038f, cy = (y - 0.745f) / 0.07f;
      if (cx * cx + cy * cy < 1.0f) return mix(rgb(0x102868), rgb(0x7aa8ff), clamp01(0.4f - cy * 0.4f - (x - 0.5f) * 8.0f));
      if (m < line * 0.7f && y > 0.815f) return rgb(0xf4f4f4);
      return mix(rgb(0x901018), rgb(0xff5040), clamp01((0.905f - y) / 0.27f + 0.2f) * light);
    }
    if (inside({{0.10f, 0.905f}, {0.25f, 0.885f}, {0.27f, 0.79f}, {0.225f, 0.815f}, {0.11f, 0.845f}}, m, y))
      return m > 0.225f ? mix(rgb(0xd09010), rgb(0xffe040), light) : mix(rgb(0x801018), rgb(0xe02830), light);
    return c;
  }

  float line;  // least half-width of a thin line, in icon widths
  float rim;   // width of the tile's rim
  // 0 to 1: how much of the fine detail (grid, dashes) the size can show
  // without turning it into noise.
  float detail;
};

Picture paint(int size) {
  const Painter painter(size);
  Picture picture(size, size, Rgba{0, 0, 0, 0});
  for (int py = 0; py < size; ++py)
    for (int px = 0; px < size; ++px) {
      // Colours summed weighted by alpha, so the transparent outside does not
      // darken the edge.
      float r = 0, g = 0, b = 0, a = 0;
      for (int sy = 0; sy < SAMPLES; ++sy)
        for (int sx = 0; sx < SAMPLES; ++sx) {
          const Rgba c = painter.at((px + (sx + 0.5f) / SAMPLES) / size, (py + (sy + 0.5f) / SAMPLES) / size);
          r += c.r * c.a;
          g += c.g * c.a;
          b += c.b * c.a;
          a += c.a;
        }
      picture.at(px, py) = a > 0 ? Rgba{r / a, g / a, b / a, a / (SAMPLES * SAMPLES)} : Rgba{0, 0, 0, 0};
    }
  return picture;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_icon RESOURCES_FOLDER\n");
    return 2;
  }
  const std::string folder = std::string(argv[1]) + "/icons";
  try {
    glimro_tools::makeDirs(folder);
    for (int size : SIZES) paint(size).savePng(folder + "/glimro_" + std::to_string(size) + ".png");
  } catch (const std::string& message) {
    std::fprintf(stderr, "make_icon: %s\n", message.c_str());
    return 1;
  }
  return 0;
}
