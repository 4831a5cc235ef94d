// Particle engines: scene objects that own simple particles (points with a
// fading colour, a colour drift and a straight-line velocity, born at the
// engine's origin) and draw them as additive, textured point sprites.
#pragma once

#include <list>
#include <vector>

#include "ddd/object.h"
#include "mathtypes.h"

namespace korvu {

class Image;

namespace ddd {

template <typename P>
class ParticleEngine;

// One particle; its colour's alpha is its remaining life.
struct SimpleParticle {
  Color colour;
  // In the engine's own frame.
  Vector3D position;
  // Red, green and blue change per millisecond.
  float change[3];
  // Alpha lost per millisecond.
  float fade;
  // Units per millisecond.
  Vector3D velocity;
  bool dead;

  // Zeroed, then init.
  explicit SimpleParticle(ParticleEngine<SimpleParticle>* engine);
  // A new life at the origin with random colour, drift, fade and direction
  // within the engine's ranges.
  void init(ParticleEngine<SimpleParticle>* engine);
  // One step of dt milliseconds; a particle whose alpha drops below 0 dies.
  void perform(float dt);
};

// Owns a list of particles of type P and packs the live ones once per step
// into an interleaved array of red, green, blue, alpha, x, y, z floats.
template <typename P>
class ParticleEngine : public Drawable {
 public:
  // Capacity in particles: the engine never holds more.
  unsigned maxParticles;
  // 7 floats per particle drawn: red, green, blue, alpha, x, y, z.
  std::vector<float> vertexBuffer;
  // Particles written into vertexBuffer by the last perform.
  unsigned vertexCount;
  // Births per second of step time (fractions of a step are dropped).
  unsigned perSecond;
  // Births at the next perform.
  unsigned pending;
  // A dead particle starts a new life in place instead of leaving.
  bool respawn;
  std::list<P> particles;
  // The last perform left no particle.
  bool finished;
  // The point-sprite texture; not owned. Without one the particles show as
  // plain squares of their colour.
  const Image* texture;
  // Bounds of a new particle's colour.
  Color colourMin;
  Color colourMax;
  // Bounds of a new particle's colour change per millisecond; the alpha
  // components bound its fade per millisecond.
  Color changeMin;
  Color changeMax;
  // Base velocity, units per millisecond.
  Vector3D velocity;
  // Per-axis scale of a new particle's random unit direction.
  Vector3D velocitySpread;

  // The owner sets the ranges, the velocities and the texture before the
  // first perform.
  ParticleEngine(unsigned maxParticles, unsigned perSecond, unsigned initialBurst, bool respawn);
  ~ParticleEngine() override;

  // One step of dt milliseconds: moves the particles, removes or revives the
  // dead, packs the live ones, and bears the pending and the per-second ones.
  void perform(float dt);
  // Draws the packed particles as additive point sprites in the current
  // modelview matrix.
  void draw() override;

 private:
  void write(const P& particle);
};

// The engine that queues itself in the pipeline's transparent stage.
class SimpleParticleEngine : public ParticleEngine<SimpleParticle> {
 public:
  SimpleParticleEngine(unsigned maxParticles, unsigned perSecond, unsigned initialBurst, bool respawn);
  ~SimpleParticleEngine() override;

  void buildFrameData() override;
};

extern template class ParticleEngine<SimpleParticle>;

}  // namespace ddd
}  // namespace korvu
