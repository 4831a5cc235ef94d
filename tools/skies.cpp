// make_skies: the day and the night skybox, six clamped faces each below
// textures/skybox/ with their material lists "day.xml" and "night.xml".
//
// Every face pixel is the sky seen in one world direction: the pixel is
// turned into the direction through the face's corner of the race's cube
// (its texture coordinates) and handed to a sky function of directions only,
// so neighbouring faces agree along their shared edges. The sun and the moon
// stand where the race puts its light for day and night, so the lens flare
// and the sky agree.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "catalog.h"
#include "mathtypes.h"
#include "picture.h"
#include "xml.h"

using korvu::Vector3D;

namespace {

constexpr int FACE_SIZE = 512;

struct Rgb {
  float r, g, b;
};

Rgb mix(const Rgb& a, const Rgb& b, float t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}
Rgb add(const Rgb& a, const Rgb& b, float k) { return {a.r + b.r * k, a.g + b.g * k, a.b + b.b * k}; }

float smoothstep(float e0, float e1, float x) {
  const float t = std::clamp((x - e0) / (e1 - e0), 0.0f, 1.0f);
  return t * t * (3.0f - 2.0f * t);
}

Vector3D unit(Vector3D v) {
  v.normalize();
  return v;
}

// The faces of the race's skybox cube: the world direction of texture
// coordinate (s, t) is axis + (2s - 1) along + (2t - 1) down, t = 0 being the
// picture's top row.
struct Face {
  const char* name;
  Vector3D axis, along, down;
};

const Face FACES[6] = {
    {"front", Vector3D(0, 0, 1), Vector3D(-1, 0, 0), Vector3D(0, -1, 0)},
    {"back", Vector3D(0, 0, -1), Vector3D(1, 0, 0), Vector3D(0, -1, 0)},
    {"top", Vector3D(0, 1, 0), Vector3D(-1, 0, 0), Vector3D(0, 0, 1)},
    {"bottom", Vector3D(0, -1, 0), Vector3D(-1, 0, 0), Vector3D(0, 0, -1)},
    {"left", Vector3D(-1, 0, 0), Vector3D(0, 0, -1), Vector3D(0, -1, 0)},
    {"right", Vector3D(1, 0, 0), Vector3D(0, 0, 1), Vector3D(0, -1, 0)},
};

Vector3D direction(const Face& face, float s, float t) {
  return unit(face.axis + face.along * (2.0f * s - 1.0f) + face.down * (2.0f * t - 1.0f));
}

// Value noise on an integer lattice with a fixed hash, summed over octaves.
float lattice(int x, int y, uint32_t seed) {
  uint32_t h = static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u + seed * 2246822519u;
  h = (h ^ (h >> 13)) * 1274126177u;
  h ^= h >> 16;
  return static_cast<float>(h & 0xffffff) / static_cast<float>(0xffffff);
}

float valueNoise(float x, float y, uint32_t seed) {
  const float fx = std::floor(x), fy = std::floor(y);
  const int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
  float tx = x - fx, ty = y - fy;
  tx = tx * tx * (3.0f - 2.0f * tx);
  ty = ty * ty * (3.0f - 2.0f * ty);
  const float a = lattice(ix, iy, seed), b = lattice(ix + 1, iy, seed);
  const float c = lattice(ix, iy + 1, seed), d = lattice(ix + 1, iy + 1, seed);
  return (a + (b - a) * tx) + ((c + (d - c) * tx) - (a + (b - a) * tx)) * ty;
}

float fbm(float x, float y, uint32_t seed, int octaves) {
  float sum = 0.0f, amplitude = 0.5f, norm = 0.0f;
  for (int i = 0; i < octaves; ++i) {
    sum += valueNoise(x, y, seed + i) * amplitude;
    norm += amplitude;
    amplitude *= 0.5f;
    x = x * 2.03f + 17.0f;
    y = y * 2.03f - 9.0f;
  }
  return sum / norm;
}

// ---------------------------------------------------------------------------
// The world far below the tracks, shared by day and night: a sea with
// islands and, to the north-east (+x, +z), a coast. A direction below the
// horizon meets the sea level at ground coordinates (u, v) = (x, z) / -y, in
// units of the eye's height above the sea. Detail finer than a pixel's
// footprint on the ground is faded out, so the far sea does not sparkle,
// and the haze thickens to the horizon's colour, so the ground meets the
// sky without a seam.

// fbm whose octaves fade out as their wavelength nears the footprint (the
// size of one pixel in the noise's units).
float fbmLod(float x, float y, uint32_t seed, int octaves, float footprint) {
  float sum = 0.0f, amplitude = 0.5f, norm = 0.0f, wavelength = 1.0f;
  for (int i = 0; i < octaves; ++i) {
    const float keep = smoothstep(1.0f, 4.0f, wavelength / footprint);
    sum += (valueNoise(x, y, seed + i) * keep + 0.5f * (1.0f - keep)) * amplitude;
    norm += amplitude;
    amplitude *= 0.5f;
    wavelength /= 2.03f;
    x = x * 2.03f + 17.0f;
    y = y * 2.03f - 9.0f;
  }
  return sum / norm;
}

// Height of the land above the sea (negative: depth of the sea).
float elevation(float u, float v, float footprint) {
  const float toCoast = (u + v) * 0.7071f;
  const float mainland = 0.36f * smoothstep(2.0f, 8.0f, toCoast);
  // Open sea right below the tracks.
  const float open = 0.12f * std::exp(-(u * u + v * v) / 6.0f);
  const float shapes = fbmLod(u * 0.16f + 3.7f, v * 0.16f - 1.3f, 41u, 8, footprint * 0.16f);
  return shapes - 0.62f + mainland - open;
}

struct Ground {
  float height;    // elevation()
  float slopeSun;  // light on the slopes: 1 flat, more facing the light
  float dist;      // distance from the eye, in eye heights
  float footprint;
  float u, v;
};

Ground ground(const Vector3D& d, const Vector3D& light) {
  Ground g;
  const float down = std::max(-d.y, 1e-4f);
  g.u = d.x / down;
  g.v = d.z / down;
  g.dist = std::sqrt(g.u * g.u + g.v * g.v + 1.0f);
  // A pixel spans about 2 / FACE_SIZE radians; on the ground that is
  // stretched by the distance over the sine of the angle of view.
  g.footprint = 2.0f / FACE_SIZE * g.dist / down;
  g.height = elevation(g.u, g.v, g.footprint);
  const float step = std::max(0.05f, g.footprint);
  const float hu = elevation(g.u + step, g.v, g.footprint) - g.height;
  const float hv = elevation(g.u, g.v + step, g.footprint) - g.height;
  Vector3D n(-hu / step * 6.0f, 1.0f, -hv / step * 6.0f);
  n.normalize();
  g.slopeSun = std::max(korvu::dotProduct(n, light), 0.0f) / std::max(light.y, 0.05f);
  return g;
}

// The sea's glitter of a light low over the horizon: the share of wave
// facets that tilt to reflect it into the eye, broken up by the waves.
float glitter(const Vector3D& d, const Vector3D& light, const Ground& g, float roughness) {
  Vector3D h = light - d;
  h.normalize();
  const float tilt = (h.x * h.x + h.z * h.z) / std::max(h.y * h.y, 1e-4f);
  const float facets = std::exp(-tilt / (roughness * roughness));
  const float waves = fbmLod(g.u * 9.0f, g.v * 2.5f, 77u, 5, g.footprint * 9.0f);
  return facets * (0.35f + 1.3f * smoothstep(0.45f, 0.75f, waves));
}

// ---------------------------------------------------------------------------
// Day: blue gradient, a hazy band at the horizon, the sun's glow, a layer
// of soft clouds that thins out towards the horizon, and the sea below.

const Vector3D SUN = unit(Vector3D(-1000000.0f, 220000.0f, -500000.0f));
const Rgb DAY_HORIZON{0.70f, 0.80f, 0.92f};

Rgb dayGround(const Vector3D& d) {
  const Ground g = ground(d, SUN);
  const float h = g.height;
  const float detail = fbmLod(g.u * 1.7f, g.v * 1.7f, 53u, 6, g.footprint * 1.7f);
  Rgb colour;
  if (h < 0.0f) {
    const Rgb deep{0.03f, 0.17f, 0.30f}, shallow{0.10f, 0.46f, 0.50f};
    colour = mix(deep, shallow, smoothstep(-0.08f, 0.0f, h));
    colour = mix(colour, Rgb{0.05f, 0.22f, 0.36f}, 0.4f * smoothstep(0.3f, 0.7f, detail));
    colour = add(colour, Rgb{1.0f, 0.92f, 0.75f}, 1.6f * glitter(d, SUN, g, 0.22f));
  } else {
    const Rgb sand{0.80f, 0.74f, 0.55f}, meadow{0.30f, 0.42f, 0.17f}, forest{0.11f, 0.25f, 0.10f};
    const Rgb rock{0.46f, 0.42f, 0.36f}, snow{0.92f, 0.93f, 0.95f};
    colour = mix(meadow, forest, 0.25f + 0.5f * smoothstep(0.3f, 0.7f, detail));
    colour = mix(sand, colour, smoothstep(0.004f, 0.018f, h));
    colour = mix(colour, rock, smoothstep(0.24f, 0.34f, h + 0.05f * detail));
    colour = mix(colour, snow, smoothstep(0.46f, 0.5f, h + 0.04f * detail));
    const float light = 0.55f + 0.45f * std::min(g.slopeSun, 1.8f);
    colour = {colour.r * light, colour.g * light, colour.b * light};
  }
  const float haze = 1.0f - std::exp(-g.dist * 0.055f);
  return mix(colour, DAY_HORIZON, haze);
}

Rgb daySky(const Vector3D& d) {
  const Rgb zenith{0.10f, 0.27f, 0.64f};
  Rgb colour = d.y >= 0.0f ? mix(DAY_HORIZON, zenith, std::pow(d.y, 0.45f)) : dayGround(d);
  const float toSun = std::max(korvu::dotProduct(d, SUN), 0.0f);
  const Rgb sunlight{1.0f, 0.9f, 0.72f};
  if (d.y > 0.015f) {
    // The cloud layer is a plane above the eye.
    const float px = d.x / d.y * 1.4f, pz = d.z / d.y * 1.4f;
    const float n = fbm(px, pz, 11u, 6);
    const float cover = smoothstep(0.50f, 0.72f, n) * smoothstep(0.015f, 0.22f, d.y);
    const float shade = fbm(px + 0.35f * SUN.x, pz + 0.35f * SUN.z, 11u, 4);
    Rgb cloud = mix(Rgb{0.98f, 0.98f, 1.0f}, Rgb{0.70f, 0.74f, 0.82f}, smoothstep(0.45f, 0.8f, shade));
    cloud = add(cloud, sunlight, 0.35f * std::pow(toSun, 6.0f));
    colour = mix(colour, cloud, cover * 0.9f);
  }
  // The glow round the sun lies on the haze below the horizon as above it.
  colour = add(colour, sunlight, 0.16f * std::pow(toSun, 5.0f) + 0.45f * std::pow(toSun, 60.0f) +
                                     1.2f * std::pow(toSun, 900.0f));
  if (toSun > 0.99985f) colour = {1.0f, 0.98f, 0.92f};
  return colour;
}

// ---------------------------------------------------------------------------
// Night: near-black gradient, a milky band, the moon with its haze, stars
// splatted onto the faces afterwards, and below the dark sea with the
// moon's path on it and the lights of the towns along the coast.

const Vector3D MOON = unit(Vector3D(0.0f, 500000.0f, -3000000.0f));
const Vector3D BAND = unit(Vector3D(0.35f, 0.55f, 0.75f));
const Rgb NIGHT_HORIZON{0.045f, 0.055f, 0.11f};

// Lights of towns: clusters near the coast on low land, each light a point
// in a cell of a fine grid. Points smaller than a pixel spread their light
// over the pixel's footprint, so the far coast keeps the same brightness as
// a glow instead of flickering dots.
float townLights(const Ground& g) {
  const float h = g.height;
  if (h < 0.0f) return 0.0f;
  const float lowland = smoothstep(0.0f, 0.004f, h) * (1.0f - smoothstep(0.18f, 0.3f, h));
  const float towns = smoothstep(0.38f, 0.62f, fbmLod(g.u * 0.9f, g.v * 0.9f, 91u, 4, g.footprint * 0.9f));
  const float density = lowland * (0.12f + 0.88f * towns);
  if (density <= 0.0f) return 0.0f;
  constexpr float CELLS = 28.0f, RADIUS = 0.006f;
  const float spread = std::max(RADIUS, g.footprint * 0.6f);
  const float energy = RADIUS * RADIUS / (spread * spread);
  const float mean = 3.14159f * spread * spread * CELLS * CELLS * energy;
  const float cx = std::floor(g.u * CELLS), cy = std::floor(g.v * CELLS);
  const int ix = static_cast<int>(cx), iy = static_cast<int>(cy);
  if (lattice(ix, iy, 95u) > density) return 0.0f;
  const float px = (cx + 0.2f + 0.6f * lattice(ix, iy, 96u)) / CELLS;
  const float py = (cy + 0.2f + 0.6f * lattice(ix, iy, 97u)) / CELLS;
  const float dx = g.u - px, dy = g.v - py;
  const float point = std::exp(-(dx * dx + dy * dy) / (spread * spread)) * energy;
  // Once a cell is smaller than the footprint, its average does.
  const float far = smoothstep(0.3f, 1.0f, g.footprint * CELLS);
  const float brightness = 1.5f + 2.0f * lattice(ix, iy, 98u);
  return brightness * ((1.0f - far) * point + far * std::min(mean, 1.0f) * density) + 0.04f * density;
}

Rgb nightGround(const Vector3D& d) {
  const Ground g = ground(d, MOON);
  Rgb colour;
  if (g.height < 0.0f) {
    colour = mix(Rgb{0.006f, 0.012f, 0.03f}, Rgb{0.01f, 0.03f, 0.045f}, smoothstep(-0.06f, 0.0f, g.height));
    colour = add(colour, Rgb{0.75f, 0.80f, 0.90f}, 0.9f * glitter(d, MOON, g, 0.16f));
  } else {
    const float light = 0.5f + 0.5f * std::min(g.slopeSun, 1.8f);
    colour = mix(Rgb{0.018f, 0.022f, 0.026f}, Rgb{0.03f, 0.034f, 0.045f}, smoothstep(0.1f, 0.3f, g.height));
    colour = {colour.r * light, colour.g * light, colour.b * light};
    colour = add(colour, Rgb{1.0f, 0.68f, 0.32f}, townLights(g));
  }
  const float haze = 1.0f - std::exp(-g.dist * 0.05f);
  return mix(colour, NIGHT_HORIZON, haze);
}

Rgb nightSky(const Vector3D& d) {
  const Rgb zenith{0.004f, 0.007f, 0.028f};
  Rgb colour = d.y >= 0.0f ? mix(NIGHT_HORIZON, zenith, std::pow(d.y, 0.5f)) : nightGround(d);
  // The towns' light in the haze over the coast, on both sides of the horizon.
  const float coast = smoothstep(-0.2f, 0.8f, (d.x + d.z) * 0.7071f);
  colour = add(colour, Rgb{0.30f, 0.20f, 0.12f}, 0.12f * coast * std::exp(-std::abs(d.y) * 14.0f));
  const float across = korvu::dotProduct(d, BAND);
  const float band = std::exp(-across * across / 0.03f) * smoothstep(-0.05f, 0.2f, d.y);
  const float dust = fbm(d.x * 6.0f + d.z * 2.0f, d.y * 6.0f - d.z * 3.0f, 23u, 5);
  colour = add(colour, Rgb{0.55f, 0.55f, 0.7f}, 0.09f * band * smoothstep(0.35f, 0.75f, dust));
  const float toMoon = std::max(korvu::dotProduct(d, MOON), 0.0f);
  const Rgb moonlight{0.55f, 0.62f, 0.80f};
  colour = add(colour, moonlight, 0.10f * std::pow(toMoon, 6.0f) + 0.22f * std::pow(toMoon, 120.0f));
  // The disc, with darker seas and a soft rim.
  const float rim = 1.0f - smoothstep(0.99905f, 0.99925f, toMoon);
  if (rim < 1.0f) {
    const float seas = fbm(d.x * 140.0f, d.y * 140.0f, 5u, 3);
    const Rgb surface = mix(Rgb{0.96f, 0.95f, 0.88f}, Rgb{0.72f, 0.72f, 0.70f}, smoothstep(0.45f, 0.7f, seas));
    colour = mix(surface, colour, rim);
  }
  return colour;
}

// Stars as directions with brightness and tint from a fixed generator.
struct Star {
  Vector3D d;
  float brightness;
  Rgb tint;
};

std::vector<Star> makeStars() {
  uint64_t state = 0x9e3779b97f4a7c15ull;
  auto next = [&state]() {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<float>((state >> 40) & 0xffffff) / static_cast<float>(0xffffff);
  };
  std::vector<Star> stars;
  while (stars.size() < 5000) {
    const Vector3D d(next() * 2.0f - 1.0f, next() * 2.0f - 1.0f, next() * 2.0f - 1.0f);
    const float r = d.length();
    const float b = next(), tint = next();
    if (r > 1.0f || r < 0.05f) continue;
    Star star{d / r, 0.15f + 0.85f * std::pow(b, 5.0f), mix(Rgb{0.75f, 0.82f, 1.0f}, Rgb{1.0f, 0.9f, 0.75f}, tint)};
    star.brightness *= smoothstep(-0.02f, 0.15f, star.d.y);
    if (korvu::dotProduct(star.d, MOON) > 0.998f) continue;
    if (star.brightness > 0.0f) stars.push_back(star);
  }
  return stars;
}

// Adds every star that lies in front of the face as a small soft dot; stars
// near an edge land on both faces that share it.
void splatStars(std::vector<Rgb>& pixels, const Face& face, const std::vector<Star>& stars) {
  for (const Star& star : stars) {
    const float a = korvu::dotProduct(star.d, face.axis);
    if (a <= 0.0f) continue;
    const Vector3D p = star.d / a;
    const float x = (korvu::dotProduct(p, face.along) + 1.0f) * 0.5f * FACE_SIZE - 0.5f;
    const float y = (korvu::dotProduct(p, face.down) + 1.0f) * 0.5f * FACE_SIZE - 0.5f;
    if (x < -3.0f || y < -3.0f || x > FACE_SIZE + 2.0f || y > FACE_SIZE + 2.0f) continue;
    const int cx = static_cast<int>(std::lround(x)), cy = static_cast<int>(std::lround(y));
    for (int py = cy - 2; py <= cy + 2; ++py) {
      for (int px = cx - 2; px <= cx + 2; ++px) {
        if (px < 0 || py < 0 || px >= FACE_SIZE || py >= FACE_SIZE) continue;
        const float dx = px - x, dy = py - y;
        const float w = star.brightness * std::exp(-(dx * dx + dy * dy) / 0.55f);
        pixels[py * FACE_SIZE + px] = add(pixels[py * FACE_SIZE + px], star.tint, w);
      }
    }
  }
}

// One pixel of a face: the ground below the horizon is averaged over four
// samples, so coasts and lights keep smooth edges.
Rgb shade(const std::function<Rgb(const Vector3D&)>& sky, const Face& face, int x, int y) {
  const Vector3D centre = direction(face, (x + 0.5f) / FACE_SIZE, (y + 0.5f) / FACE_SIZE);
  if (centre.y > 0.01f) return sky(centre);
  Rgb sum{0, 0, 0};
  for (float oy : {0.25f, 0.75f})
    for (float ox : {0.25f, 0.75f}) sum = add(sum, sky(direction(face, (x + ox) / FACE_SIZE, (y + oy) / FACE_SIZE)), 0.25f);
  return sum;
}

// Renders the six faces of one sky and writes its material list.
void makeSky(const std::string& folder, const std::string& prefix,
             const std::function<Rgb(const Vector3D&)>& sky, const std::vector<Star>& stars) {
  korvu::xml::Node root;
  root.name = "materials";
  for (const Face& face : FACES) {
    std::vector<Rgb> pixels(FACE_SIZE * FACE_SIZE);
    for (int y = 0; y < FACE_SIZE; ++y)
      for (int x = 0; x < FACE_SIZE; ++x)
        pixels[y * FACE_SIZE + x] = shade(sky, face, x, y);
    splatStars(pixels, face, stars);
    glimro_tools::Picture picture(FACE_SIZE, FACE_SIZE, {0.0f, 0.0f, 0.0f, 1.0f});
    for (int y = 0; y < FACE_SIZE; ++y)
      for (int x = 0; x < FACE_SIZE; ++x) {
        const Rgb& c = pixels[y * FACE_SIZE + x];
        picture.at(x, y) = {c.r, c.g, c.b, 1.0f};
      }
    const std::string image = prefix + "_" + face.name + ".png";
    glimro_tools::makeDirs(folder);
    picture.savePng(folder + "/" + image);

    // The sky is drawn unlit: the colour is the material's ambient colour
    // times the texture.
    korvu::xml::Node* material = glimro_tools::element(
        "material", {{"name", face.name}, {"texture", image}, {"clamp", "true"}, {"filter", "linear"}})
                                     .release();
    for (const char* colour : {"ambient", "diffuse"})
      *material += glimro_tools::element(colour, {{"red", "1"}, {"green", "1"}, {"blue", "1"}, {"alpha", "1"}})
                       .release();
    root += material;
  }
  root.saveXML((folder + "/" + prefix + ".xml").c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_skies RESOURCES_DIR\n");
    return 2;
  }
  const std::string folder = std::string(argv[1]) + "/textures/skybox";
  try {
    glimro_tools::makeDirs(folder);
    makeSky(folder, "day", daySky, {});
    makeSky(folder, "night", nightSky, makeStars());
  } catch (const std::string& message) {
    std::fprintf(stderr, "make_skies: %s\n", message.c_str());
    return 1;
  }
  return 0;
}
