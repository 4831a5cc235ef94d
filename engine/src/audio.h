// The process-wide base of the OpenAL audio: the on/off switch, the one
// output device, the one context with its listener and registered emitters.
#pragma once

#include <string>

#include <AL/alc.h>

namespace korvu {
namespace audio {

class Context;

// Audio on or off; written before init and left alone until cleanUp. While
// false no OpenAL or ALC call is made at all.
extern bool enabled;
// The opened output device, null when none.
extern ALCdevice* device;
// The single audio context, null before init and after cleanUp.
extern Context* context;

// Opens the device (when enabled) and creates the context; throws
// std::string on failure.
void init(std::string deviceName, int frequency);

// Deletes the context and closes the device. Never fails; harmless without
// init and when called again.
void cleanUp();

}  // namespace audio
}  // namespace korvu
