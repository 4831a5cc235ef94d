// A group of sound sources that share a position, a velocity and a gain. An
// emitter owns its sources, can push its own values onto them, steps them
// every frame and deletes those that have stopped, except the ones an owner
// keeps a pointer to (BasicSource::kept), which go only with clear or the
// emitter. It registers with the audio context while it exists.
#pragma once

#include <list>

#include "mathtypes.h"

namespace korvu {
namespace audio {

class BasicSource;

class Emitter {
 public:
  // Owned, in the order they were added.
  std::list<BasicSource*> sources;
  Vector3D position;
  Vector3D velocity;
  float gain;
  // When set, the gain pushed onto the sources is 0.
  bool mute;
  // When set, position, velocity and gain are pushed onto the sources.
  bool affectSources;

  // An empty emitter, registered with the audio context.
  Emitter();
  // Deletes every source and unregisters.
  ~Emitter();

  Emitter(const Emitter&) = delete;
  Emitter& operator=(const Emitter&) = delete;

  // Takes ownership of a source, taking it from the emitter that held it.
  void operator+=(BasicSource* source);
  // Gives a source up without stopping or deleting it.
  void operator-=(BasicSource* source);

  bool empty() const;
  // Deletes every source.
  void clear();
  // Stops every source.
  void stop();
  // The per-frame step: pushes the emitter's values when affectSources is
  // set, steps every source and deletes those that were already stopped and
  // are not kept.
  void perform(float dt);

 private:
  // Copies position, velocity and the effective gain into the source.
  void affect(BasicSource* source) const;
};

}  // namespace audio
}  // namespace korvu
