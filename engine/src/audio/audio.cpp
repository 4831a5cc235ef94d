#include "audio/audio.h"

#include <AL/al.h>

#include <cstdlib>

#include "debug.h"
#include "audio/emitter.h"

namespace korvu {
namespace audio {

bool enabled = true;
ALCdevice* device = nullptr;
Context* context = nullptr;

void init(std::string deviceName, int frequency) {
  // A context or device left by an earlier call (a success, or a failed
  // attempt that opened the device) would otherwise stay open for good and
  // could keep the device from opening again.
  cleanUp();

  if (enabled) {
    // OpenAL Soft writes its own errors ahead of the reason the caller
    // logs; its log-level variable, read when the library first starts,
    // quiets them unless the user has set it. (ALSA's lines, written when
    // no sound card is found, have no such switch and stay.)
    setenv("ALSOFT_LOGLEVEL", "0", 0);
    ALCdevice* opened = alcOpenDevice(deviceName.empty() ? nullptr : deviceName.c_str());
    // The error code OpenAL gives here says nothing useful (out of memory
    // on a machine without a sound card).
    if (!opened && deviceName.empty()) throw std::string("No sound device could be opened");
    if (!opened) throw "Sound device \"" + deviceName + "\" could not be opened";
    device = opened;
    const ALCchar* specifier = alcGetString(device, ALC_DEVICE_SPECIFIER);
    debug::info(dbgAudio, "Initialized OpenAL device \"%s\".", specifier ? specifier : "");
  }
  new Context(frequency);  // records itself in context
}

void cleanUp() {
  if (context) {
    delete context;
    context = nullptr;
  }
  if (device) {
    alcCloseDevice(device);
    device = nullptr;
  }
}

std::string getALErrorString(int code) {
  switch (code) {
    case AL_NO_ERROR: return "AL_NO_ERROR";
    case AL_INVALID_NAME: return "AL_INVALID_NAME";
    case AL_INVALID_VALUE: return "AL_INVALID_VALUE";
    case AL_OUT_OF_MEMORY: return "AL_OUT_OF_MEMORY";
    default: return "(Unknown AL error)";
  }
}

std::string getALCErrorString(int code) {
  switch (code) {
    case ALC_NO_ERROR: return "AL_NO_ERROR";
    case ALC_INVALID_DEVICE: return "ALC_INVALID_DEVICE";
    case ALC_INVALID_CONTEXT: return "ALC_INVALID_CONTEXT";
    case ALC_INVALID_ENUM: return "ALC_INVALID_ENUM";
    case ALC_INVALID_VALUE: return "ALC_INVALID_VALUE";
    case ALC_OUT_OF_MEMORY: return "ALC_OUT_OF_MEMORY";
    default: return "(Unknown ALC error)";
  }
}

std::string getOggErrorString(int code) {
  // Return codes of the Ogg Vorbis file decoder.
  switch (code) {
    case -1: return "Not true, or no data available.";
    case -3: return "Vorbisfile encoutered missing or corrupt data in the bitstream.";
    case -128: return "Read error while fetching compressed data for decode.";
    case -129: return "Internal inconsistency in decode state.";
    case -130: return "Feature not implemented.";
    case -131:
      return "Either an invalid argument, or incompletely initialized argument passed to "
             "libvorbisfile call.";
    case -132: return "The given file/data was not recognized as Ogg Vorbis data.";
    case -133:
      return "The file/data is apparently an Ogg Vorbis stream, but contains a corrupted or "
             "undecipherable header.";
    case -134: return "The bitstream format revision of the given stream is not supported.";
    case -137:
      return "The given link exists in the Vorbis data stream, but is not decipherable due to "
             "garbacge or corruption.";
    case -138: return "The given stream is not seekable.";
    default: return "(Unknown Ogg error)";
  }
}

// ---------------------------------------------------------------------------
// Listener

Listener::Listener() : velocity(0.0f, 0.0f, 0.0f), gain(1.0f) {
  if (!enabled) return;
  const ALfloat position[3] = {0.0f, 0.0f, 0.0f};
  const ALfloat vel[3] = {velocity.x, velocity.y, velocity.z};
  const ALfloat orientation[6] = {0.0f, 0.0f, -1.0f, 0.0f, 1.0f, 0.0f};
  alListenerfv(AL_POSITION, position);
  alListenerfv(AL_VELOCITY, vel);
  alListenerfv(AL_ORIENTATION, orientation);
}

void Listener::apply() {
  if (!enabled) return;
  const ALfloat vel[3] = {velocity.x, velocity.y, velocity.z};
  alListenerfv(AL_VELOCITY, vel);
  alListenerf(AL_GAIN, gain);
}

// ---------------------------------------------------------------------------
// Context

Context::Context(int frequency) : alContext(nullptr), listener(nullptr) {
  const ALCint attributes[3] = {ALC_FREQUENCY, frequency, 0};
  if (context) throw std::string("Cannot create more than one audio context.");
  if (enabled) {
    alcGetError(device);
    alContext = alcCreateContext(device, attributes);
    if (!alContext) throw getALCErrorString(alcGetError(device));
  }
  apply();
  listener = new Listener();
  listener->apply();
}

Context::~Context() {
  for (Emitter* emitter : emitters) {
    debug::debug(dbgAudio, "Stopping emitter %p.", static_cast<void*>(emitter));
    emitter->stop();
  }
  debug::debug(dbgAudio, "Waiting...");
  perform(0.0f);
  debug::debug(dbgAudio, "Context clean, destroying context %p.", static_cast<void*>(this));
  delete listener;
  listener = nullptr;
  if (alContext) {
    // A context that is still current cannot be destroyed everywhere, and a
    // device with a context left on it does not close.
    if (alcGetCurrentContext() == alContext) alcMakeContextCurrent(nullptr);
    alcDestroyContext(alContext);
    alContext = nullptr;
  }
  emitters.clear();
  // Never leave the global pointing at a destroyed context.
  if (context == this) context = nullptr;
}

void Context::apply() {
  if (enabled) {
    alcGetError(device);
    alcMakeContextCurrent(alContext);
    debug::debug(dbgAudio, "Context %p is now current.", static_cast<void*>(this));
    ALCenum error = alcGetError(device);
    if (error != ALC_NO_ERROR) debug::warning(dbgAudio, "%s", getALCErrorString(error).c_str());
  }
  context = this;
}

void Context::perform(float dt) {
  for (Emitter* emitter : emitters) emitter->perform(dt);
}

void Context::suspend() {
  if (enabled) alcSuspendContext(alContext);
}

}  // namespace audio
}  // namespace korvu
