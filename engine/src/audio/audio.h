// The process-wide base of the OpenAL audio: the on/off switch, the one
// output device, the one context with its listener and registered emitters,
// and the texts of OpenAL, ALC and Ogg Vorbis error codes.
//
// Everything here belongs to the main thread. Calling order: set enabled,
// init, any number of frames of context->perform(dt), delete every emitter,
// cleanUp.
#pragma once

#include <list>
#include <string>

#include <AL/alc.h>

#include "mathtypes.h"

namespace korvu {
namespace audio {

class Context;
class Emitter;

// Audio on or off; written before init and left alone until cleanUp. While
// false no OpenAL or ALC call is made at all, yet every audio object can be
// built and used.
extern bool enabled;
// The opened output device, null when none.
extern ALCdevice* device;
// The single audio context, null before init and after cleanUp.
extern Context* context;

// Opens the device (when enabled; the default device for an empty name) and
// creates the context; throws std::string on failure ("No sound device could
// be opened", or the name of the device that could not). Whatever an earlier
// init left behind is cleaned up first.
void init(std::string deviceName, int frequency);

// Deletes the context and closes the device. Never fails; harmless without
// init and when called again.
void cleanUp();

std::string getALErrorString(int code);
std::string getALCErrorString(int code);
std::string getOggErrorString(int code);

// The listener sits at the origin looking along -Z with +Y up; sound
// positions are given in that frame.
class Listener {
 public:
  Vector3D velocity;
  float gain;

  Listener();
  // Sends velocity and gain.
  void apply();
};

class Context {
 public:
  // Null while audio is off.
  ALCcontext* alContext;
  // Owned.
  Listener* listener;
  // Registered emitters in the order they registered; not owned.
  std::list<Emitter*> emitters;

  // Creates the OpenAL context mixing at frequency and makes it current;
  // throws std::string, also when another context exists.
  explicit Context(int frequency);
  // Stops every registered emitter, deletes their sources in one step and
  // destroys the OpenAL context. Sources an owner keeps stay, stopped, in
  // their emitters; the emitters themselves stay their owners'.
  ~Context();

  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  // Makes this context current and records it in context.
  void apply();
  // The per-frame step: every emitter's step, in registration order.
  void perform(float dt);
  void suspend();
};

}  // namespace audio
}  // namespace korvu
