#include "ddd/particles.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cmath>

#include "ddd/pipeline.h"
#include "ddd/settings.h"
#include "image.h"

namespace korvu {
namespace ddd {

// ---------------------------------------------------------------------------
// SimpleParticle

SimpleParticle::SimpleParticle(ParticleEngine<SimpleParticle>* engine)
    : colour(0.0f, 0.0f, 0.0f, 0.0f),
      position(0.0f, 0.0f, 0.0f),
      change{0.0f, 0.0f, 0.0f},
      fade(0.0f),
      velocity(0.0f, 0.0f, 0.0f),
      dead(false) {
  init(engine);
}

void SimpleParticle::init(ParticleEngine<SimpleParticle>* engine) {
  position = Vector3D(0.0f, 0.0f, 0.0f);
  colour.red = random(engine->colourMin.red, engine->colourMax.red);
  colour.green = random(engine->colourMin.green, engine->colourMax.green);
  colour.blue = random(engine->colourMin.blue, engine->colourMax.blue);
  colour.alpha = random(engine->colourMin.alpha, engine->colourMax.alpha);
  change[0] = random(engine->changeMin.red, engine->changeMax.red);
  change[1] = random(engine->changeMin.green, engine->changeMax.green);
  change[2] = random(engine->changeMin.blue, engine->changeMax.blue);
  fade = random(engine->changeMin.alpha, engine->changeMax.alpha);
  // A direction uniformly on the unit sphere.
  const float z = random(-1.0f, 1.0f);
  const float t = random(-3.1415927f, 3.1415927f);
  const float r = std::sqrt(std::max(0.0f, 1.0f - z * z));
  const Vector3D& spread = engine->velocitySpread;
  const Vector3D& base = engine->velocity;
  velocity = Vector3D(std::cos(t) * r * spread.x + base.x, std::sin(t) * r * spread.y + base.y,
                      z * spread.z + base.z);
  dead = false;
}

void SimpleParticle::perform(float dt) {
  colour.alpha -= fade * dt;
  if (colour.alpha < 0.0f) {
    dead = true;
    return;
  }
  colour.red += change[0] * dt;
  colour.green += change[1] * dt;
  colour.blue += change[2] * dt;
  position += velocity * dt;
  if (colour.red < 0.0f) colour.red = 0.0f;
  if (colour.green < 0.0f) colour.green = 0.0f;
  if (colour.blue < 0.0f) colour.blue = 0.0f;
}

// ---------------------------------------------------------------------------
// ParticleEngine

template <typename P>
ParticleEngine<P>::ParticleEngine(unsigned maxParticles_, unsigned perSecond_, unsigned initialBurst,
                                  bool respawn_)
    : maxParticles(maxParticles_),
      vertexBuffer(static_cast<size_t>(maxParticles_) * 7, 0.0f),
      vertexCount(0),
      perSecond(perSecond_),
      pending(initialBurst),
      respawn(respawn_),
      finished(false),
      texture(nullptr) {
  needsViewPos = true;
}

template <typename P>
ParticleEngine<P>::~ParticleEngine() = default;

template <typename P>
void ParticleEngine<P>::write(const P& particle) {
  // The list never holds more than maxParticles, so this is a last guard.
  if (vertexCount >= maxParticles) return;
  float* out = &vertexBuffer[static_cast<size_t>(vertexCount) * 7];
  out[0] = particle.colour.red;
  out[1] = particle.colour.green;
  out[2] = particle.colour.blue;
  out[3] = particle.colour.alpha;
  out[4] = particle.position.x;
  out[5] = particle.position.y;
  out[6] = particle.position.z;
  ++vertexCount;
}

template <typename P>
void ParticleEngine<P>::perform(float dt) {
  unsigned births = pending;
  pending = 0;
  vertexCount = 0;

  for (auto it = particles.begin(); it != particles.end();) {
    it->perform(dt);
    if (it->dead) {
      if (!respawn) {
        it = particles.erase(it);
        continue;
      }
      // One new life per step: a particle that dies again at once stays
      // dead until the next step revives it, so the walk always ends.
      it->init(this);
      it->perform(dt);
      if (it->dead) {
        ++it;
        continue;
      }
    }
    write(*it);
    ++it;
  }

  // Births of this step's share of the rate, the fraction dropped. A
  // negative, broken or huge step cannot turn into a wild count, and the
  // engine never holds more particles than its buffer can take.
  const size_t room = particles.size() < maxParticles ? maxParticles - particles.size() : 0;
  const float perStep = static_cast<float>(perSecond) * dt / 1000.0f;
  size_t wanted = births;
  if (perStep >= static_cast<float>(room)) {
    wanted = room;
  } else if (perStep >= 1.0f) {
    wanted += static_cast<size_t>(perStep);
  }
  births = static_cast<unsigned>(std::min(wanted, room));
  for (unsigned i = 0; i < births; ++i) {
    particles.emplace_back(this);
    particles.back().perform(dt);
  }

  finished = particles.empty();
}

template <typename P>
void ParticleEngine<P>::draw() {
  glPushAttrib(GL_ALL_ATTRIB_BITS);
  glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();

  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  glDisable(GL_LIGHTING);
  if (texture != nullptr && texture->texture != 0) {
    glBindTexture(GL_TEXTURE_2D, texture->texture);
    glEnable(GL_TEXTURE_2D);
  } else {
    // Without a texture the particles show as plain squares of their colour.
    glDisable(GL_TEXTURE_2D);
  }

  // Pixels, the same at every distance.
  glPointSize(30.0f);
  if (ext_GL_ARB_point_sprite) {
    glTexEnvf(GL_POINT_SPRITE_ARB, GL_COORD_REPLACE_ARB, 1.0f);
    glEnable(GL_POINT_SPRITE_ARB);
  }

  if (vertexCount > 0) {
    const GLsizei stride = 7 * sizeof(float);
    glEnableClientState(GL_COLOR_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
    glColorPointer(4, GL_FLOAT, stride, vertexBuffer.data());
    glVertexPointer(3, GL_FLOAT, stride, vertexBuffer.data() + 4);
    glDrawArrays(GL_POINTS, 0, static_cast<GLsizei>(vertexCount));
  }

  glPopMatrix();
  glPopClientAttrib();
  glPopAttrib();
}

template class ParticleEngine<SimpleParticle>;

// ---------------------------------------------------------------------------
// SimpleParticleEngine

SimpleParticleEngine::SimpleParticleEngine(unsigned maxParticles_, unsigned perSecond_,
                                           unsigned initialBurst, bool respawn_)
    : ParticleEngine<SimpleParticle>(maxParticles_, perSecond_, initialBurst, respawn_) {}

SimpleParticleEngine::~SimpleParticleEngine() = default;

void SimpleParticleEngine::buildFrameData() {
  OrderedMeshReference entry;
  entry.viewDepth = viewPosition.z;
  entry.modelview = modelview;
  entry.material = nullptr;
  entry.mesh = nullptr;
  entry.drawable = this;
  pipeline.transparent.push_back(entry);
}

}  // namespace ddd
}  // namespace korvu
