// Particle engines: births, movement, fading, capacity, and drawing.
#include <GL/gl.h>
#include <GL/glu.h>
#include <GL/glext.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "ddd/camera.h"
#include "ddd/particles.h"
#include "ddd/settings.h"
#include "image.h"
#include "testsupport.h"

using korvu::Color;
using korvu::Vector3D;
using korvu::ddd::ParticleEngine;
using korvu::ddd::SimpleParticle;
using korvu::ddd::SimpleParticleEngine;

namespace {

// Orange, a fixed fade per millisecond, no drift, small random speed.
void setRanges(ParticleEngine<SimpleParticle>& engine, float fade = 0.001f) {
  engine.colourMin = Color(1.0f, 0.6f, 0.2f, 1.0f);
  engine.colourMax = Color(1.0f, 0.8f, 0.3f, 1.0f);
  engine.changeMin = engine.changeMax = Color(0, 0, 0, fade);
  engine.velocity = Vector3D(0, 0, 0);
  engine.velocitySpread = Vector3D(0.01f, 0.01f, 0.01f);
}

}  // namespace

TEST(ParticleEngine, BurstIsBornAtTheFirstStepAndDrawnFromTheSecond) {
  SimpleParticleEngine engine(100, 0, 100, false);
  setRanges(engine);
  EXPECT_FALSE(engine.finished);
  engine.perform(10);
  EXPECT_EQ(100u, engine.particles.size());
  EXPECT_EQ(0u, engine.vertexCount);
  engine.perform(10);
  ASSERT_EQ(100u, engine.vertexCount);
  // Colour and position of each live particle, in order.
  const float* v = engine.vertexBuffer.data();
  for (const SimpleParticle& p : engine.particles) {
    EXPECT_EQ((std::vector<float>{p.colour.red, p.colour.green, p.colour.blue, p.colour.alpha, p.position.x,
                                  p.position.y, p.position.z}),
              std::vector<float>(v, v + 7));
    EXPECT_NEAR(0.98f, p.colour.alpha, 1e-6f);
    v += 7;
  }
  engine.perform(10);
  EXPECT_EQ(100u, engine.particles.size()) << "no births without a rate";
}

TEST(ParticleEngine, ContinuousEmissionDropsTheFractionOfEachStep) {
  SimpleParticleEngine slow(1000, 100, 0, false), steady(1000, 100, 0, false), both(1000, 1000, 7, false);
  setRanges(slow);
  setRanges(steady);
  setRanges(both);
  for (int i = 0; i < 50; ++i) slow.perform(5);  // half a particle a step
  EXPECT_TRUE(slow.particles.empty());
  EXPECT_TRUE(slow.finished);
  for (int i = 1; i <= 10; ++i) {
    steady.perform(25);  // 2.5 a step
    EXPECT_EQ(2u * i, steady.particles.size());
    EXPECT_EQ(2u * (i - 1), steady.vertexCount);
  }
  both.perform(3);  // the burst and the rate
  EXPECT_EQ(10u, both.particles.size());
}

TEST(ParticleEngine, BirthsNeverExceedTheBuffer) {
  SimpleParticleEngine burst(50, 0, 500, false), flood(64, 1000000, 0, true), none(0, 1000, 10, true);
  setRanges(burst);
  setRanges(flood);
  setRanges(none);
  burst.perform(10);
  burst.perform(10);
  EXPECT_EQ(50u, burst.particles.size());
  EXPECT_EQ(50u, burst.vertexCount);
  for (int i = 0; i < 5; ++i) {
    flood.perform(16);
    EXPECT_LE(flood.particles.size(), 64u);
  }
  EXPECT_EQ(64u, flood.vertexCount);
  none.perform(10);
  none.perform(10);
  EXPECT_TRUE(none.particles.empty());
  // Steps of no sensible length bear no wild counts.
  for (float dt : {-100.0f, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(), 1e30f}) {
    SimpleParticleEngine odd(16, 1000, 0, false);
    setRanges(odd);
    odd.perform(dt);
    EXPECT_LE(odd.particles.size(), dt > 0 ? 16u : 0u) << dt;
  }
}

TEST(ParticleEngine, ParticlesFadeAndTheEngineFinishes) {
  SimpleParticleEngine engine(20, 0, 20, false);
  setRanges(engine, 0.008f);  // 0.08 a step
  int steps = 0;
  float lastAlpha = 2.0f;
  while (!engine.finished && steps < 100) {
    engine.perform(10);
    ++steps;
    EXPECT_EQ(engine.finished, engine.particles.empty());
    if (engine.vertexCount > 0) {
      EXPECT_LT(engine.vertexBuffer[3], lastAlpha);
      lastAlpha = engine.vertexBuffer[3];
    }
  }
  // Alpha 0.92 after the birth step, below 0 at step 13: removed then.
  EXPECT_EQ(13, steps);

  // A fade that outruns the remaining alpha kills within that step.
  SimpleParticleEngine quick(10, 0, 10, false);
  setRanges(quick, 0.06f);
  quick.perform(10);  // alpha 0.4
  quick.perform(10);
  EXPECT_TRUE(quick.finished);
  EXPECT_EQ(0u, quick.vertexCount);

  // Drift: below 0 a channel stops, above 1 it goes on.
  SimpleParticleEngine drift(4, 0, 4, false);
  setRanges(drift);
  drift.colourMin = drift.colourMax = Color(0.5f, 0.5f, 0.5f, 1.0f);
  drift.changeMin = drift.changeMax = Color(-0.01f, 0.01f, 0.0f, 0.001f);
  drift.perform(100);
  for (const SimpleParticle& p : drift.particles) {
    EXPECT_EQ(0.0f, p.colour.red);
    EXPECT_NEAR(1.5f, p.colour.green, 1e-5f);
    EXPECT_NEAR(0.9f, p.colour.alpha, 1e-6f);
  }
}

TEST(ParticleEngine, RespawnRevivesInPlaceAndAlwaysEnds) {
  SimpleParticleEngine engine(30, 0, 30, true);
  setRanges(engine, 0.03f);  // dies every fourth step
  engine.velocity = Vector3D(0.1f, 0, 0);
  engine.velocitySpread = Vector3D(0, 0, 0);
  for (int i = 0; i < 20; ++i) {
    engine.perform(10);
    EXPECT_EQ(30u, engine.particles.size());
    // Revived particles start again at the origin.
    for (const SimpleParticle& p : engine.particles) EXPECT_LE(p.position.x, 3.0f + 1e-4f);
  }
  EXPECT_EQ(30u, engine.vertexCount);

  // Particles that die again at once stay dead until the next step.
  SimpleParticleEngine doomed(8, 0, 8, true);
  setRanges(doomed, 1.0f);
  for (int i = 0; i < 5; ++i) {
    doomed.perform(10);
    EXPECT_EQ(8u, doomed.particles.size());
    EXPECT_EQ(0u, doomed.vertexCount);
  }
}

TEST(ParticleEngine, VelocityIsTheBasePlusAScaledUnitDirection) {
  SimpleParticleEngine fixed(10, 0, 10, false), sphere(200, 0, 200, false);
  setRanges(fixed);
  setRanges(sphere);
  fixed.velocity = Vector3D(1, 2, 3);
  fixed.velocitySpread = Vector3D(0, 0, 0);
  fixed.perform(2);
  for (const SimpleParticle& p : fixed.particles) EXPECT_EQ(Vector3D(2, 4, 6), p.position);
  sphere.velocitySpread = Vector3D(1, 1, 1);
  sphere.perform(1);
  Vector3D mean(0, 0, 0);
  for (const SimpleParticle& p : sphere.particles) {
    EXPECT_NEAR(1.0f, p.velocity.length(), 1e-4f);
    mean += p.velocity / 200.0f;
  }
  EXPECT_LT(mean.length(), 0.2f) << "spread over the whole sphere";
}

class ParticleDrawTest : public korvu_test::GLWindowTest {};

TEST_F(ParticleDrawTest, BurstShowsAroundTheEnginesProjectedOrigin) {
  const int w = windowWidth(), h = windowHeight();
  korvu::ddd::init();
  const korvu::ddd::Settings saved = korvu::ddd::settings;
  korvu::ddd::settings.lensflares = korvu::ddd::settings.shadows = false;

  // A soft round spark.
  std::vector<uint8_t> spark(16 * 16 * 4, 255);
  for (int i = 0; i < 256; ++i) {
    float d = std::hypot(i % 16 - 7.5f, i / 16 - 7.5f) / 8.0f;
    spark[i * 4 + 3] = static_cast<uint8_t>(d < 1.0f ? 255 * (1.0f - d) : 0);
  }
  korvu::Image image("spark", "spark.png", korvu::Vector2D(0, 0));
  glGenTextures(1, &image.texture);
  glBindTexture(GL_TEXTURE_2D, image.texture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 16, 16, 0, GL_RGBA, GL_UNSIGNED_BYTE, spark.data());

  korvu::ddd::Object root;
  auto* camera = new korvu::ddd::Camera(60.0, static_cast<double>(w) / h);
  camera->near = 0.1;
  camera->far = 100.0;
  root += camera;
  // Ahead of the camera, off to the upper right: a rocket's explosion.
  auto* engine = new SimpleParticleEngine(100, 0, 100, false);
  setRanges(*engine, 0.0005f);
  engine->velocitySpread = Vector3D(0.003f, 0.003f, 0.003f);
  engine->position = Vector3D(2.0f, 1.0f, -10.0f);
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
    EXPECT_EQ(static_cast<GLenum>(GL_NO_ERROR), glGetError());
    return korvu_test::readPixels(0, 0, w, h);
  };
  auto lit = [&](const std::vector<uint8_t>& pixels, int x0, int y0, int radius) {
    int n = 0;
    for (int y = std::max(0, y0 - radius); y < std::min(h, y0 + radius); ++y)
      for (int x = std::max(0, x0 - radius); x < std::min(w, x0 + radius); ++x)
        n += *std::max_element(&pixels[(y * w + x) * 4], &pixels[(y * w + x) * 4 + 3]) > 20 ? 1 : 0;
    return n;
  };

  engine->perform(100);  // born, not yet packed: nothing shows
  EXPECT_EQ(0, lit(frame(), w / 2, h / 2, w));
  engine->perform(100);
  ASSERT_EQ(100u, engine->vertexCount);
  const std::vector<uint8_t> pixels = frame();
  korvu_test::saveArtifact("particle_burst", w, h, pixels);

  // Where the engine's origin lands on the screen.
  GLdouble modelview[16], projection[16], sx, sy, sz;
  GLint viewport[4] = {0, 0, w, h};
  for (int i = 0; i < 16; ++i) modelview[i] = engine->modelview[i % 4][i / 4];
  glGetDoublev(GL_PROJECTION_MATRIX, projection);
  ASSERT_TRUE(gluProject(0, 0, 0, modelview, projection, viewport, &sx, &sy, &sz));
  EXPECT_GT(sx, w / 2 + 20);
  EXPECT_GT(sy, h / 2 + 10);
  EXPECT_GT(lit(pixels, static_cast<int>(sx), static_cast<int>(sy), 12), 300) << "around " << sx << ", " << sy;
  EXPECT_EQ(0, lit(pixels, 20, 20, 20)) << "the far corner stays black";

  // Drawn on its own, the engine leaves the state it found.
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslatef(1, 2, 3);
  glEnable(GL_LIGHTING);
  glDisable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, 0);
  glBlendFunc(GL_ONE, GL_ZERO);
  glPointSize(1.0f);
  GLint depth = 0;
  glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
  engine->draw();
  GLint src = 0, dst = 0, bound = 0, depthAfter = 0;
  GLfloat size = 0, matrix[16];
  glGetIntegerv(GL_BLEND_SRC, &src);
  glGetIntegerv(GL_BLEND_DST, &dst);
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depthAfter);
  glGetFloatv(GL_POINT_SIZE, &size);
  glGetFloatv(GL_MODELVIEW_MATRIX, matrix);
  EXPECT_EQ(GL_ONE, src);
  EXPECT_EQ(GL_ZERO, dst);
  EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  EXPECT_EQ(0, bound);
  EXPECT_EQ(1.0f, size);
  EXPECT_EQ(depth, depthAfter);
  EXPECT_EQ(3.0f, matrix[14]);
  if (korvu::ddd::ext_GL_ARB_point_sprite) {
    EXPECT_FALSE(glIsEnabled(GL_POINT_SPRITE_ARB));
  }
  EXPECT_EQ(static_cast<GLenum>(GL_NO_ERROR), glGetError());
  glDisable(GL_LIGHTING);

  korvu::ddd::settings = saved;
  glDeleteTextures(1, &image.texture);
  image.texture = 0;
}
