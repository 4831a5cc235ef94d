// Sound sources: one OpenAL source each, with the values the game asks for
// and a copy of the values last sent, so only changes reach OpenAL.
#pragma once

#include <string>

#include "mathtypes.h"

namespace korvu {
namespace audio {

class Emitter;
class FileLoader;
class Sound;

class BasicSource {
 public:
  enum State { STATE_NEW = 0, STATE_PLAYING = 1, STATE_PAUSED = 2, STATE_STOPPED = 3 };

  // The emitter that owns the source, null when none.
  Emitter* emitter;
  // The OpenAL source name; 0 while audio is off.
  unsigned int source;
  // One of State.
  int state;
  // Set by an owner that keeps a pointer to the source (a looping engine
  // sound, a music stream it may stop): its emitter then deletes it only
  // through clear or its own end, never because it stopped. A source nobody
  // keeps (a one-shot sound) is deleted in the emitter's step after it stops.
  bool kept;

  // Requested values; users write them, apply sends the changed ones.
  Vector3D position;
  Vector3D velocity;
  float gain;
  float pitch;
  float rolloff;
  bool loop;

  // Values last sent to OpenAL (OpenAL's own defaults at first).
  Vector3D appliedPosition;
  Vector3D appliedVelocity;
  float appliedGain;
  float appliedPitch;
  float appliedRolloff;

  BasicSource();
  // Stops the source, leaves its emitter, deletes the OpenAL source.
  virtual ~BasicSource();

  BasicSource(const BasicSource&) = delete;
  BasicSource& operator=(const BasicSource&) = delete;

  // Plays from any state, a stopped one included. With audio off the source
  // is stopped at once.
  void play();
  void pause();
  // Only a playing or paused source becomes stopped.
  void stop();

  // Sends the changed requested values to OpenAL.
  virtual void apply() = 0;
  // The per-frame step: notices a source that OpenAL has stopped and sends
  // the changed values of one that is not stopped. dt is not used.
  virtual void perform(float dt);

 protected:
  // True (and the applied copy updated) when the requested value differs
  // from the applied one; a NaN always differs.
  static bool changed(float requested, float& applied);
  static bool changed(const Vector3D& requested, Vector3D& applied);
  // Sends the changed values that every kind of source has (all but loop).
  void applyShared();
};

// Plays whole sounds of the sound bank queued on it. The queued sounds are
// not owned and must keep their buffers while the source exists.
class SimpleSource : public BasicSource {
 public:
  bool appliedLoop;

  SimpleSource();

  // Queues the sound's buffer at the end of the source's queue.
  void operator+=(Sound* sound);
  void apply() override;
};

// Streams an Ogg Vorbis file through a ring of OpenAL buffers that its
// per-frame step refills. A stream loops by starting its file over, so loop
// is never sent to OpenAL.
class OggStreamSource : public BasicSource {
 public:
  // Bytes of PCM per buffer, and buffers in the ring.
  unsigned int bufferSize;
  unsigned int bufferCount;
  // The ring's OpenAL buffer names, owned; null while audio is off.
  unsigned int* buffers;
  // The file has been read to its end: nothing more will be queued.
  bool finished;
  // The decoder, owned; null while audio is off.
  FileLoader* loader;

  // Opens the file, fills the buffers and queues them without playing.
  // Throws std::string; bufferCount must be at least 1.
  OggStreamSource(const std::string& filename, unsigned int bufferCount, unsigned int bufferSize);
  ~OggStreamSource() override;

  // Decodes the next bufferSize bytes into the given OpenAL buffer.
  void readBuffer(unsigned int buffer);
  void apply() override;
  // Refills and requeues the buffers that have played, restarts a playing
  // stream that ran dry, and stops once the file has played out. A file
  // that fails to decode is logged and ends the stream.
  void perform(float dt) override;

 private:
  // Frees the decoder and the ring (detached from the source first).
  void releaseRing();
};

}  // namespace audio
}  // namespace korvu
