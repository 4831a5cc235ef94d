// make_glows: the soft additive images of the 3D scene, listed in
// textures/additional.xml: the four lens-flare elements (streaks around the
// sun, its big glow, the hard ghost discs and the halo ring) and the sprite of
// the rocket explosion's particles. The scene draws them additively, scaled
// by its own colours, so they are white where they carry no colour of their
// own, with the light in alpha, and empty along their borders.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "catalog.h"
#include "picture.h"
#include "xml.h"

using glimro_tools::Picture;
using glimro_tools::Random;
using glimro_tools::Rgba;

namespace {

const double PI = 3.14159265358979323846;

double smoothstep(double edge0, double edge1, double x) {
  const double t = std::clamp((x - edge0) / (edge1 - edge0), 0.0, 1.0);
  return t * t * (3.0 - 2.0 * t);
}

// Fades everything out before the border, so the outermost pixels are empty
// and a quad of the image shows no edge.
double border(double r) { return smoothstep(0.97, 0.8, r); }

// Paints a square picture from a function of the position (x, y in -1..1,
// y upwards) that gives the straight colour.
Picture paint(int size, const std::function<Rgba(double x, double y)>& shade) {
  Picture picture(size, size, Rgba{1, 1, 1, 0});
  for (int py = 0; py < size; ++py)
    for (int px = 0; px < size; ++px) {
      const double x = (px + 0.5) / size * 2.0 - 1.0;
      const double y = 1.0 - (py + 0.5) / size * 2.0;
      picture.at(px, py) = shade(x, y);
    }
  return picture;
}

Rgba white(double alpha) { return Rgba{1, 1, 1, static_cast<float>(std::clamp(alpha, 0.0, 1.0))}; }

// The sun's glow: a bright core in a wide, slowly fading corona.
Picture bigGlow() {
  return paint(256, [](double x, double y) {
    const double r = std::hypot(x, y);
    const double core = 0.7 * std::exp(-(r * r) / (0.06 * 0.06));
    const double corona = 0.3 / (1.0 + (r / 0.12) * (r / 0.12)) * smoothstep(0.95, 0.3, r);
    const double haze = 0.14 * (1.0 - r) * (1.0 - r);
    return white((core + corona + haze) * border(r));
  });
}

// Rays from the centre: four long main rays, then shorter and fainter ones at
// random angles, each thinning towards its tip.
Picture streaks() {
  struct Ray {
    double angle, length, width, strength;
  };
  Random random(0x57EA4Bull);
  std::vector<Ray> rays;
  const double turn = random.uniform(0.0, PI / 2);
  for (int i = 0; i < 4; ++i)
    rays.push_back({turn + i * PI / 2 + random.uniform(-0.03, 0.03), random.uniform(0.85, 0.95),
                    random.uniform(0.009, 0.012), random.uniform(0.85, 1.0)});
  for (int i = 0; i < 16; ++i)
    rays.push_back({random.uniform(0.0, 2 * PI), random.uniform(0.45, 0.85), random.uniform(0.006, 0.009),
                    random.uniform(0.25, 0.55)});
  for (int i = 0; i < 40; ++i)
    rays.push_back({random.uniform(0.0, 2 * PI), random.uniform(0.25, 0.65), random.uniform(0.003, 0.006),
                    random.uniform(0.12, 0.3)});
  return paint(256, [rays](double x, double y) {
    const double r = std::hypot(x, y);
    double light = 0.8 * std::exp(-(r * r) / (0.05 * 0.05));
    for (const Ray& ray : rays) {
      const double along = x * std::cos(ray.angle) + y * std::sin(ray.angle);
      if (along <= 0.0 || along >= ray.length) continue;
      const double across = -x * std::sin(ray.angle) + y * std::cos(ray.angle);
      const double left = 1.0 - along / ray.length;
      const double width = ray.width * (0.35 + 0.65 * left);
      light += ray.strength * left * left * std::exp(-(across * across) / (width * width));
    }
    return white((1.0 - std::exp(-1.6 * light)) * border(r));
  });
}

// A lens ghost: an even disc whose rim is a little brighter, with a short
// soft edge.
Picture hardGlow() {
  return paint(128, [](double x, double y) {
    const double r = std::hypot(x, y);
    const double inside = 0.5 + 0.35 * std::pow(r / 0.86, 6.0);
    const double edge = smoothstep(0.9, 0.84, r);
    const double glow = 0.12 * std::exp(-std::pow((r - 0.86) / 0.05, 2.0));
    return white((inside * edge + glow) * border(r));
  });
}

// A thin ring with a faint rainbow fringe: red reaches a little further out
// than blue.
Picture halo() {
  return paint(128, [](double x, double y) {
    const double r = std::hypot(x, y);
    const double radius = 0.78, sigma = 0.045, fringe = 0.01;
    const double fade = border(r);
    auto ring = [&](double centre) { return std::exp(-std::pow((r - centre) / sigma, 2.0)) * fade; };
    const double red = ring(radius + fringe), green = ring(radius), blue = ring(radius - fringe);
    const double inner = 0.05 * smoothstep(radius, 0.0, r) * fade;
    const double alpha = std::max({red, green, blue}) + inner;
    // The colour is the light over its alpha; where almost nothing shines it
    // tends to white, so filtering blends no dark or tinted edge.
    const double soft = 0.02;
    auto channel = [&](double light) {
      return static_cast<float>(std::min(1.0, 0.4 + 0.6 * (light + inner + soft) / (alpha + soft)));
    };
    return Rgba{channel(red), channel(green), channel(blue), static_cast<float>(std::min(1.0, alpha))};
  });
}

// Smooth value noise in 0..1 on a lattice of seeded random values.
class ValueNoise {
 public:
  ValueNoise(int cells, uint64_t seed) : cells(cells), values(static_cast<size_t>(cells) * cells) {
    Random random(seed);
    for (double& v : values) v = random.uniform();
  }
  // x, y in 0..1; the lattice wraps.
  double at(double x, double y) const {
    const double fx = x * cells, fy = y * cells;
    const int ix = static_cast<int>(std::floor(fx)), iy = static_cast<int>(std::floor(fy));
    const double tx = smoothstep(0, 1, fx - ix), ty = smoothstep(0, 1, fy - iy);
    const double top = lerp(value(ix, iy), value(ix + 1, iy), tx);
    const double bottom = lerp(value(ix, iy + 1), value(ix + 1, iy + 1), tx);
    return lerp(top, bottom, ty);
  }

 private:
  int cells;
  std::vector<double> values;
  static double lerp(double a, double b, double t) { return a + (b - a) * t; }
  double value(int x, int y) const {
    const int wx = ((x % cells) + cells) % cells, wy = ((y % cells) + cells) % cells;
    return values[static_cast<size_t>(wy) * cells + wx];
  }
};

// A flame puff: a small white-hot core in a ragged ball of fire. Licks of
// flame and holes break the edge (noise warps the radius), the fire is
// patchy inside, and it cools from yellow-white through orange to a deep
// red rim. Most of the puff is faint, so that a hundred of them added up
// still read as fire rather than as one white disc.
Picture particle() {
  const ValueNoise octaves[3] = {ValueNoise(4, 0xF1A3ull), ValueNoise(7, 0xE3B2ull), ValueNoise(13, 0xD5C1ull)};
  const ValueNoise patches(9, 0xB9E4ull);
  auto fbm = [&](double u, double v) {
    double sum = 0, weight = 0.5, total = 0;
    for (const ValueNoise& n : octaves) {
      sum += weight * n.at(u, v);
      total += weight;
      weight *= 0.5;
    }
    return sum / total;
  };
  return paint(64, [&](double x, double y) {
    const double u = (x + 1) / 2, v = (y + 1) / 2;
    const double r = std::hypot(x, y);
    // The edge: where the warped radius passes the flame's reach.
    const double warp = fbm(u, v);
    const double reach = 0.45 + 0.5 * warp;
    const double inside = smoothstep(reach, reach - 0.25, r);
    const double patch = 0.3 + 0.7 * smoothstep(0.3, 0.7, patches.at(u, v) * 0.6 + warp * 0.4);
    const double core = std::exp(-(r * r) / (0.22 * 0.22));
    const double fire = inside * patch * (0.3 + 0.35 * smoothstep(0.8, 0.0, r));
    const double alpha = std::min(1.0, fire + 0.6 * core);
    // Heat picks the colour: the core is white-hot, the flames cool outwards.
    const double heat = std::clamp(core + 0.6 * smoothstep(0.75, 0.05, r) * warp, 0.0, 1.0);
    const Rgba hot{1.0f, 0.95f, 0.78f, 0}, warm{1.0f, 0.5f, 0.1f, 0}, ember{0.85f, 0.18f, 0.04f, 0};
    auto ramp = [&](float a, float b, float c) {
      return static_cast<float>(heat > 0.5 ? b + (a - b) * (heat - 0.5) * 2 : c + (b - c) * heat * 2);
    };
    return Rgba{ramp(hot.r, warm.r, ember.r), ramp(hot.g, warm.g, ember.g), ramp(hot.b, warm.b, ember.b),
                static_cast<float>(std::clamp(alpha * border(r), 0.0, 1.0))};
  });
}

struct GlowImage {
  const char* name;  // the image's name in the texture bank, and its file's stem
  Picture (*make)();
  uint64_t ditherSeed;
};

const GlowImage IMAGES[] = {
    {"lenseflareStreaks", streaks, 0x11},
    {"lenseflareBigGlow", bigGlow, 0x12},
    {"lenseflareHardGlow", hardGlow, 0x13},
    {"lenseflareHalo", halo, 0x14},
    {"particle", particle, 0x15},
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_glows RESOURCES_FOLDER\n");
    return 2;
  }
  const std::string folder = std::string(argv[1]) + "/textures";
  try {
    glimro_tools::makeDirs(folder);
    std::vector<std::unique_ptr<korvu::xml::Node>> entries;
    for (const GlowImage& image : IMAGES) {
      const std::string file = std::string(image.name) + ".png";
      image.make().savePng(folder + "/" + file, image.ditherSeed);
      // Clamped, so a quad never wraps its far edge in; mipmapped, because
      // flares and sparks are drawn from a few pixels to half the screen.
      entries.push_back(glimro_tools::element(
          "image", {{"name", image.name}, {"filename", file}, {"clamp", "1"}, {"filter", "trilinear"}}));
    }
    glimro_tools::addToCatalog(folder + "/additional.xml", "images", std::move(entries));
  } catch (const std::string& message) {
    std::fprintf(stderr, "make_glows: %s\n", message.c_str());
    return 1;
  }
  return 0;
}
