// Particle engines: births, movement, fading, capacity, and drawing.
#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "ddd/camera.h"
#include "ddd/particles.h"
#include "ddd/pipeline.h"
#include "ddd/settings.h"
#include "image.h"
#include "testsupport.h"

using korvu::Color;
using korvu::Vector3D;
using korvu::ddd::ParticleEngine;
using korvu::ddd::SimpleParticle;
using korvu::ddd::SimpleParticleEngine;

namespace {

// Full colour, a fade of `fade` per millisecond, no drift, small random
// speed.
void setRanges(ParticleEngine<SimpleParticle>& engine, float fade = 0.001f) {
  engine.colourMin = Color(1.0f, 0.5f, 0.2f, 1.0f);
  engine.colourMax = Color(1.0f, 0.8f, 0.3f, 1.0f);
  engine.changeMin = Color(0.0f, 0.0f, 0.0f, fade);
  engine.changeMax = Color(0.0f, 0.0f, 0.0f, fade);
  engine.velocity = Vector3D(0, 0, 0);
  engine.velocitySpread = Vector3D(0.01f, 0.01f, 0.01f);
}

size_t alive(const ParticleEngine<SimpleParticle>& engine) {
  size_t n = 0;
  for (const SimpleParticle& p : engine.particles) n += p.dead ? 0 : 1;
  return n;
}

}  // namespace

TEST(ParticleEngine, BurstIsBornAtTheFirstStepAndDrawnFromTheSecond) {
  SimpleParticleEngine engine(100, 0, 100, false);
  setRanges(engine);
  EXPECT_TRUE(engine.needsViewPos);
  EXPECT_FALSE(engine.finished);
  EXPECT_EQ(700u, engine.vertexBuffer.size());
  engine.perform(10);
  EXPECT_EQ(100u, engine.particles.size());
  EXPECT_EQ(0u, engine.vertexCount);
  EXPECT_FALSE(engine.finished);
  engine.perform(10);
  ASSERT_EQ(100u, engine.vertexCount);
  // The buffer holds colour and position of each live particle, in order.
  size_t i = 0;
  for (const SimpleParticle& p : engine.particles) {
    const float* v = &engine.vertexBuffer[i * 7];
    EXPECT_EQ(p.colour.red, v[0]);
    EXPECT_EQ(p.colour.green, v[1]);
    EXPECT_EQ(p.colour.blue, v[2]);
    EXPECT_EQ(p.colour.alpha, v[3]);
    EXPECT_EQ(p.position.x, v[4]);
    EXPECT_EQ(p.position.y, v[5]);
    EXPECT_EQ(p.position.z, v[6]);
    EXPECT_NEAR(1.0f - 0.02f, p.colour.alpha, 1e-6f);
    ++i;
  }
  // No further births without a rate.
  engine.perform(10);
  EXPECT_EQ(100u, engine.particles.size());
}

TEST(ParticleEngine, ContinuousEmissionDropsTheFractionOfEachStep) {
  SimpleParticleEngine slow(1000, 100, 0, false);
  setRanges(slow);
  for (int i = 0; i < 50; ++i) slow.perform(5);  // 0.5 a step
  EXPECT_TRUE(slow.particles.empty());
  EXPECT_TRUE(slow.finished);

  SimpleParticleEngine steady(1000, 100, 0, false);
  setRanges(steady);
  for (int i = 1; i <= 10; ++i) {
    steady.perform(25);  // 2.5 a step
    EXPECT_EQ(static_cast<size_t>(2 * i), steady.particles.size());
    EXPECT_EQ(static_cast<unsigned>(2 * (i - 1)), steady.vertexCount);
  }

  // The rate adds to the initial burst.
  SimpleParticleEngine both(1000, 1000, 7, false);
  setRanges(both);
  both.perform(3);
  EXPECT_EQ(10u, both.particles.size());
}

TEST(ParticleEngine, BirthsNeverExceedTheBuffer) {
  SimpleParticleEngine burst(50, 0, 500, false);
  setRanges(burst);
  burst.perform(10);
  EXPECT_EQ(50u, burst.particles.size());
  burst.perform(10);
  EXPECT_EQ(50u, burst.vertexCount);

  SimpleParticleEngine flood(64, 1000000, 0, true);
  setRanges(flood);
  for (int i = 0; i < 5; ++i) {
    flood.perform(16);
    EXPECT_LE(flood.particles.size(), 64u);
    EXPECT_LE(flood.vertexCount, 64u);
  }
  EXPECT_EQ(64u, flood.particles.size());

  // Steps of no sensible length bear nothing and break nothing.
  for (float dt : {-100.0f, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(), 1e30f}) {
    SimpleParticleEngine odd(16, 1000, 0, false);
    setRanges(odd);
    odd.perform(dt);
    EXPECT_LE(odd.particles.size(), 16u) << dt;
    EXPECT_LE(odd.vertexCount, 16u) << dt;
  }
  SimpleParticleEngine negative(16, 1000, 0, false);
  setRanges(negative);
  negative.perform(-100.0f);
  EXPECT_TRUE(negative.particles.empty());

  SimpleParticleEngine empty(0, 1000, 10, true);
  setRanges(empty);
  empty.perform(10);
  empty.perform(10);
  EXPECT_TRUE(empty.particles.empty());
  EXPECT_EQ(0u, empty.vertexCount);
}

TEST(ParticleEngine, ParticlesFadeAndTheEngineFinishes) {
  SimpleParticleEngine engine(20, 0, 20, false);
  setRanges(engine, 0.008f);  // 125 ms of life
  int steps = 0;
  float lastAlpha = 2.0f;
  while (!engine.finished && steps < 100) {
    engine.perform(10);
    ++steps;
    EXPECT_EQ(engine.finished, engine.particles.empty()) << steps;
    if (engine.vertexCount > 0) {
      EXPECT_LT(engine.vertexBuffer[3], lastAlpha);
      lastAlpha = engine.vertexBuffer[3];
    }
  }
  // Born and stepped at 1 (alpha 0.92), below 0 at step 13, removed then.
  EXPECT_EQ(13, steps);
  engine.perform(10);
  EXPECT_TRUE(engine.finished);

  // A fade that outruns the remaining alpha kills in that very step.
  SimpleParticleEngine quick(10, 0, 10, false);
  setRanges(quick, 0.06f);
  quick.perform(10);  // alpha 0.4
  EXPECT_EQ(10u, alive(quick));
  quick.perform(10);
  EXPECT_TRUE(quick.particles.empty());
  EXPECT_TRUE(quick.finished);
  EXPECT_EQ(0u, quick.vertexCount);
}

TEST(ParticleEngine, RespawnRevivesInPlaceAndAlwaysEnds) {
  SimpleParticleEngine engine(30, 0, 30, true);
  setRanges(engine, 0.03f);
  engine.velocity = Vector3D(0.1f, 0, 0);
  engine.velocitySpread = Vector3D(0, 0, 0);
  engine.perform(10);
  for (int i = 0; i < 20; ++i) {
    engine.perform(10);
    EXPECT_EQ(30u, engine.particles.size());
    EXPECT_EQ(30u, engine.vertexCount);
    EXPECT_FALSE(engine.finished);
    // A revived particle starts again at the origin.
    for (const SimpleParticle& p : engine.particles) EXPECT_LE(p.position.x, 0.1f * 10 * 4 + 1e-4f);
  }

  // Particles that die again at once stay dead until the next step; the
  // step ends and draws none of them.
  SimpleParticleEngine doomed(8, 0, 8, true);
  setRanges(doomed, 1.0f);
  for (int i = 0; i < 5; ++i) {
    doomed.perform(10);
    EXPECT_EQ(8u, doomed.particles.size());
    EXPECT_EQ(0u, doomed.vertexCount);
    EXPECT_EQ(0u, alive(doomed));
  }
}

TEST(ParticleEngine, ColoursDriftAndOnlyTheLowerBoundHolds) {
  SimpleParticleEngine engine(4, 0, 4, false);
  setRanges(engine);
  engine.colourMin = engine.colourMax = Color(0.5f, 0.5f, 0.5f, 1.0f);
  engine.changeMin = engine.changeMax = Color(-0.01f, 0.01f, 0.0f, 0.001f);
  engine.perform(100);
  for (const SimpleParticle& p : engine.particles) {
    EXPECT_EQ(0.0f, p.colour.red);
    EXPECT_NEAR(1.5f, p.colour.green, 1e-5f);
    EXPECT_NEAR(0.5f, p.colour.blue, 1e-6f);
    EXPECT_NEAR(0.9f, p.colour.alpha, 1e-6f);
  }
}

TEST(ParticleEngine, VelocityIsTheBasePlusAScaledUnitDirection) {
  SimpleParticleEngine fixed(10, 0, 10, false);
  setRanges(fixed);
  fixed.velocity = Vector3D(1, 2, 3);
  fixed.velocitySpread = Vector3D(0, 0, 0);
  fixed.perform(2);
  for (const SimpleParticle& p : fixed.particles) {
    EXPECT_EQ(Vector3D(1, 2, 3), p.velocity);
    EXPECT_EQ(Vector3D(2, 4, 6), p.position);
  }

  SimpleParticleEngine sphere(200, 0, 200, false);
  setRanges(sphere);
  sphere.velocitySpread = Vector3D(1, 1, 1);
  sphere.perform(1);
  Vector3D mean(0, 0, 0);
  for (const SimpleParticle& p : sphere.particles) {
    EXPECT_NEAR(1.0f, p.velocity.length(), 1e-4f);
    mean += p.velocity / 200.0f;
  }
  // Spread over the whole sphere, not one side of it.
  EXPECT_LT(mean.length(), 0.2f);

  SimpleParticleEngine flat(50, 0, 50, false);
  setRanges(flat);
  flat.velocitySpread = Vector3D(2, 0, 0);
  flat.perform(1);
  for (const SimpleParticle& p : flat.particles) {
    EXPECT_LE(std::fabs(p.velocity.x), 2.0f);
    EXPECT_EQ(0.0f, p.velocity.y);
    EXPECT_EQ(0.0f, p.velocity.z);
  }
}

TEST(ParticleEngine, OnlyTheSimpleEngineQueuesItselfForDrawing) {
  korvu::ddd::pipeline.transparent.clear();
  ParticleEngine<SimpleParticle> plain(10, 0, 10, false);
  plain.buildFrameData();
  EXPECT_TRUE(korvu::ddd::pipeline.transparent.empty());

  SimpleParticleEngine engine(10, 0, 10, false);
  engine.viewPosition = Vector3D(1, 2, -7);
  engine.modelview[0][3] = 4;
  engine.buildFrameData();
  ASSERT_EQ(1u, korvu::ddd::pipeline.transparent.size());
  const korvu::ddd::OrderedMeshReference& entry = korvu::ddd::pipeline.transparent.front();
  EXPECT_EQ(-7.0f, entry.viewDepth);
  EXPECT_EQ(4.0f, entry.modelview[0][3]);
  EXPECT_EQ(nullptr, entry.material);
  EXPECT_EQ(nullptr, entry.mesh);
  EXPECT_EQ(&engine, entry.drawable);
  korvu::ddd::pipeline.transparent.clear();
}

class ParticleDrawTest : public korvu_test::GLWindowTest {};

TEST_F(ParticleDrawTest, BurstShowsAroundTheEnginesProjectedOrigin) {
  const int w = windowWidth(), h = windowHeight();
  korvu::ddd::init();
  korvu::ddd::Settings saved = korvu::ddd::settings;
  korvu::ddd::settings.lensflares = false;
  korvu::ddd::settings.shadows = false;

  // A soft round spark.
  GLuint texture = 0;
  glGenTextures(1, &texture);
  std::vector<uint8_t> spark(16 * 16 * 4);
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      float d = std::hypot(x - 7.5f, y - 7.5f) / 8.0f;
      uint8_t* p = &spark[(y * 16 + x) * 4];
      p[0] = p[1] = p[2] = 255;
      p[3] = static_cast<uint8_t>(d < 1.0f ? 255 * (1.0f - d) : 0);
    }
  }
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 16, 16, 0, GL_RGBA, GL_UNSIGNED_BYTE, spark.data());
  korvu::Image image("spark", "spark.png", korvu::Vector2D(0, 0));
  image.texture = texture;

  {
    korvu::ddd::Object root;
    auto* camera = new korvu::ddd::Camera(60.0, static_cast<double>(w) / h);
    camera->near = 0.1;
    camera->far = 100.0;
    root += camera;
    // Off the view axis, to the upper right.
    auto* engine = new SimpleParticleEngine(100, 0, 100, false);
    engine->position = Vector3D(2.0f, 1.0f, -10.0f);
    engine->colourMin = Color(1.0f, 0.6f, 0.2f, 1.0f);
    engine->colourMax = Color(1.0f, 0.8f, 0.3f, 1.0f);
    engine->changeMin = Color(0, 0, 0, 0.0005f);
    engine->changeMax = Color(0, 0, 0, 0.001f);
    engine->velocity = Vector3D(0, 0, 0);
    engine->velocitySpread = Vector3D(0.002f, 0.002f, 0.002f);
    engine->texture = &image;
    root += engine;

    auto frame = [&]() {
      glViewport(0, 0, w, h);
      glClearColor(0, 0, 0, 1);
      glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
      glMatrixMode(GL_MODELVIEW);
      glLoadIdentity();
      camera->drawView(&root);
      glFinish();
      return korvu_test::readPixels(0, 0, w, h);
    };
    auto lit = [&](const std::vector<uint8_t>& pixels, int x0, int y0, int radius) {
      int n = 0;
      for (int y = std::max(0, y0 - radius); y < std::min(h, y0 + radius); ++y)
        for (int x = std::max(0, x0 - radius); x < std::min(w, x0 + radius); ++x) {
          const uint8_t* p = &pixels[(y * w + x) * 4];
          n += (p[0] > 20 || p[1] > 20 || p[2] > 20) ? 1 : 0;
        }
      return n;
    };

    // The first step bears the burst but packs none of it: nothing shows.
    engine->perform(100);
    std::vector<uint8_t> before = frame();
    EXPECT_EQ(static_cast<GLenum>(GL_NO_ERROR), glGetError());
    EXPECT_EQ(0, lit(before, w / 2, h / 2, w));

    engine->perform(100);
    ASSERT_EQ(100u, engine->vertexCount);
    std::vector<uint8_t> pixels = frame();
    EXPECT_EQ(static_cast<GLenum>(GL_NO_ERROR), glGetError());
    korvu_test::saveArtifact("particle_burst", w, h, pixels);

    // Where the engine's origin lands on the screen.
    GLdouble modelview[16], projection[16];
    GLint viewport[4] = {0, 0, w, h};
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) modelview[j * 4 + i] = engine->modelview[i][j];
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    GLdouble sx, sy, sz;
    ASSERT_TRUE(gluProject(0, 0, 0, modelview, projection, viewport, &sx, &sy, &sz));
    EXPECT_GT(sx, w / 2 + 20);
    EXPECT_GT(sy, h / 2 + 10);
    const int cx = static_cast<int>(sx), cy = static_cast<int>(sy);
    EXPECT_GT(lit(pixels, cx, cy, 12), 200) << "burst around (" << cx << ", " << cy << ")";
    // The far corner stays black.
    EXPECT_EQ(0, lit(pixels, 20, 20, 20));
  }
  korvu::ddd::settings = saved;
  glDeleteTextures(1, &texture);
  image.texture = 0;
}
