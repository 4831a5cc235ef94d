#include "audio/emitter.h"

#include <vector>

#include "audio/audio.h"
#include "debug.h"
#include "audio/source.h"

namespace korvu {
namespace audio {

Emitter::Emitter()
    : position(0.0f, 0.0f, 0.0f),
      velocity(0.0f, 0.0f, 0.0f),
      gain(1.0f),
      mute(false),
      affectSources(false) {
  if (context)
    context->emitters.push_back(this);
  else
    debug::error(dbgAudio, "Emitter created without an audio context; it will not be stepped.");
}

Emitter::~Emitter() {
  clear();
  if (context) context->emitters.remove(this);
}

void Emitter::operator+=(BasicSource* source) {
  if (source->emitter) *source->emitter -= source;
  sources.push_back(source);
  source->emitter = this;
  if (affectSources) {
    debug::debug(dbgAudio, "Affecting source gain: %.2f", gain);
    affect(source);
  }
}

void Emitter::operator-=(BasicSource* source) {
  sources.remove(source);
  // A source held by another emitter keeps that one.
  if (source->emitter == this) source->emitter = nullptr;
}

bool Emitter::empty() const { return sources.empty(); }

void Emitter::clear() {
  while (!sources.empty()) {
    BasicSource* source = sources.front();
    *this -= source;
    delete source;
  }
}

void Emitter::stop() {
  for (BasicSource* source : sources) {
    debug::debug(dbgAudio, "Stopping source %p (name: %d).", static_cast<void*>(source),
                 static_cast<int>(source->source));
    source->stop();
  }
}

void Emitter::affect(BasicSource* source) const {
  source->position = position;
  source->velocity = velocity;
  source->gain = mute ? 0.0f : gain;
}

void Emitter::perform(float dt) {
  std::vector<BasicSource*> finished;
  for (BasicSource* source : sources) {
    if (source->state == BasicSource::STATE_STOPPED && !source->kept) {
      debug::debug(dbgAudio, "Scheduling source for deletion.");
      finished.push_back(source);
    } else if (affectSources) {
      affect(source);
      source->apply();
    }
    source->perform(dt);
  }
  for (BasicSource* source : finished) {
    debug::debug(dbgAudio, "Deleting source.");
    *this -= source;
    delete source;
  }
}

}  // namespace audio
}  // namespace korvu
