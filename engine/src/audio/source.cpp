#include "audio/source.h"

#include <AL/al.h>

#include "audio/audio.h"
#include "debug.h"
#include "audio/emitter.h"
#include "audio/sound.h"

namespace korvu {
namespace audio {

BasicSource::BasicSource()
    : emitter(nullptr),
      source(0),
      state(STATE_NEW),
      kept(false),
      position(0.0f, 0.0f, 0.0f),
      velocity(0.0f, 0.0f, 0.0f),
      gain(1.0f),
      pitch(1.0f),
      rolloff(1.0f),
      loop(false),
      appliedPosition(0.0f, 0.0f, 0.0f),
      appliedVelocity(0.0f, 0.0f, 0.0f),
      appliedGain(1.0f),
      appliedPitch(1.0f),
      appliedRolloff(1.0f) {
  if (enabled) {
    ALuint name = 0;
    alGenSources(1, &name);
    source = name;
  }
}

BasicSource::~BasicSource() {
  stop();
  if (emitter) *emitter -= this;
  // Without a context (the audio clean-up has run) the OpenAL source is gone
  // with it.
  if (source != 0 && context) {
    ALuint name = source;
    alDeleteSources(1, &name);
    source = 0;
  }
}

void BasicSource::play() {
  debug::debug(dbgAudio, "Playing source %d.", static_cast<int>(source));
  if (enabled) {
    alSourcePlay(source);
    state = STATE_PLAYING;
  } else {
    state = STATE_STOPPED;
  }
}

void BasicSource::pause() {
  if (!enabled) return;
  alSourcePause(source);
  state = STATE_PAUSED;
}

void BasicSource::stop() {
  if (state != STATE_PLAYING && state != STATE_PAUSED) return;
  if (enabled) alSourceStop(source);
  state = STATE_STOPPED;
}

void BasicSource::perform(float) {
  if (!enabled) {
    state = STATE_STOPPED;
    return;
  }
  if (state == STATE_PLAYING) {
    ALint alState = 0;
    alGetSourcei(source, AL_SOURCE_STATE, &alState);
    if (alState == AL_STOPPED) {
      debug::debug(dbgAudio, "Source #%d has stopped.", static_cast<int>(source));
      state = STATE_STOPPED;
    }
  }
  if (state != STATE_STOPPED) apply();
}

bool BasicSource::changed(float requested, float& applied) {
  if (requested == applied) return false;
  applied = requested;
  return true;
}

bool BasicSource::changed(const Vector3D& requested, Vector3D& applied) {
  if (requested.x == applied.x && requested.y == applied.y && requested.z == applied.z)
    return false;
  applied = requested;
  return true;
}

void BasicSource::applyShared() {
  if (changed(gain, appliedGain)) alSourcef(source, AL_GAIN, gain);
  if (changed(position, appliedPosition)) {
    const ALfloat p[3] = {position.x, position.y, position.z};
    alSourcefv(source, AL_POSITION, p);
  }
  if (changed(velocity, appliedVelocity)) {
    const ALfloat v[3] = {velocity.x, velocity.y, velocity.z};
    alSourcefv(source, AL_VELOCITY, v);
  }
  if (changed(rolloff, appliedRolloff)) alSourcef(source, AL_ROLLOFF_FACTOR, rolloff);
  if (changed(pitch, appliedPitch)) alSourcef(source, AL_PITCH, pitch);
}

// ---------------------------------------------------------------------------
// SimpleSource

SimpleSource::SimpleSource() : appliedLoop(false) {}

void SimpleSource::operator+=(Sound* sound) {
  if (!sound) {
    debug::critical(dbgAudio, "No sound!");
    return;
  }
  if (!enabled) return;
  debug::debug(dbgAudio, "Adding buffer to source queue: \"%s\", %i Hz, Buffer #%d.",
               sound->name.c_str(), sound->frequency, static_cast<int>(sound->buffer));
  ALuint buffer = sound->buffer;
  alSourceQueueBuffers(source, 1, &buffer);
}

void SimpleSource::apply() {
  if (!enabled) return;
  applyShared();
  if (loop != appliedLoop) {
    appliedLoop = loop;
    alSourcei(source, AL_LOOPING, loop ? 1 : 0);
  }
}

// ---------------------------------------------------------------------------
// OggStreamSource

OggStreamSource::OggStreamSource(const std::string& filename, unsigned int count,
                                 unsigned int size)
    : bufferSize(size), bufferCount(count), buffers(nullptr), finished(false), loader(nullptr) {
  if (!enabled) return;
  if (bufferCount == 0) throw "Stream \"" + filename + "\" needs at least one buffer.";

  buffers = new unsigned int[bufferCount]();
  alGetError();
  alGenBuffers(static_cast<ALsizei>(bufferCount), buffers);
  try {
    loader = new OggFileLoader(nullptr, filename);
  } catch (const std::string& msg) {
    releaseRing();
    throw "Error loading file \"" + filename + "\": " + msg;
  }
  if (buffers[bufferCount - 1] == 0) {
    const std::string alText = getALErrorString(alGetError());
    releaseRing();
    throw "Could not create OpenAL buffers for stream \"" + filename + "\": " + alText + ".";
  }
  try {
    // A file shorter than the ring leaves the last buffers empty; only
    // buffers that hold PCM can be queued.
    ALsizei filled = 0;
    for (unsigned int i = 0; i < bufferCount && !finished; ++i) {
      readBuffer(buffers[i]);
      if (!finished) ++filled;
    }
    if (filled > 0) alSourceQueueBuffers(source, filled, buffers);
  } catch (...) {
    releaseRing();
    throw;
  }
}

OggStreamSource::~OggStreamSource() { releaseRing(); }

void OggStreamSource::releaseRing() {
  delete loader;
  loader = nullptr;
  if (buffers) {
    // Buffers still queued on the source cannot be deleted: detach them.
    // After the audio clean-up there is no context to ask.
    if (source != 0 && context) {
      alSourceStop(source);
      alSourcei(source, AL_BUFFER, 0);
    }
    if (context) alDeleteBuffers(static_cast<ALsizei>(bufferCount), buffers);
    delete[] buffers;
    buffers = nullptr;
  }
}

void OggStreamSource::readBuffer(unsigned int buffer) {
  if (!loader) return;
  unsigned int count = bufferSize;
  const char* data = loader->read(&count, loop);
  if (count == 0) {
    debug::debug(dbgAudio, "Ogg file complete.");
    finished = true;
    return;
  }
  alBufferData(buffer, loader->getFormat(), data, static_cast<ALsizei>(count),
               loader->getFrequency());
}

void OggStreamSource::apply() {
  if (enabled) applyShared();
}

void OggStreamSource::perform(float) {
  if (!enabled) {
    finished = true;
    state = STATE_STOPPED;
    return;
  }
  ALint processed = 0;
  alGetSourcei(source, AL_BUFFERS_PROCESSED, &processed);
  if (processed > 0) {
    debug::debug(dbgAudio, "%d buffers processed.", static_cast<int>(processed));
    for (ALint i = 0; i < processed; ++i) {
      debug::debug(dbgAudio, "Reloading processed ogg stream buffer.");
      ALuint buffer = 0;
      alSourceUnqueueBuffers(source, 1, &buffer);
      debug::debug(dbgAudio, "Processed buffer is %d.", static_cast<int>(buffer));
      try {
        readBuffer(buffer);
      } catch (const std::string& msg) {
        // A damaged file ends the stream: what is queued still plays.
        debug::error(dbgAudio, "%s", msg.c_str());
        finished = true;
        delete loader;
        loader = nullptr;
      }
      if (!finished) {
        alSourceQueueBuffers(source, 1, &buffer);
        debug::debug(dbgAudio, "Enqueued buffer %d.", static_cast<int>(buffer));
      }
    }
  }
  ALint alState = 0;
  alGetSourcei(source, AL_SOURCE_STATE, &alState);
  if (alState != AL_STOPPED) return;
  if (!finished) {
    // Ran dry before it was refilled. A stream that was stopped on purpose
    // stays stopped.
    if (state == STATE_PLAYING) {
      debug::debug(dbgAudio, "Source #%d was interrupted.", static_cast<int>(source));
      alSourcePlay(source);
    }
  } else {
    state = STATE_STOPPED;
  }
}

}  // namespace audio
}  // namespace korvu
