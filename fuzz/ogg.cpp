// Feeds arbitrary bytes to the engine's Ogg Vorbis readers as a sound file:
// the file loader read in pieces, looped and whole; a sound decoded into a
// buffer and queued on a source; and a stream source filling its ring and
// stepped for a few frames. Audio plays into OpenAL's null driver, so
// nothing is heard; without a device the readers still run with audio off.
// Mutated files get their page checksums mended, or nearly every change
// would only be a page the reader drops.
#include <AL/al.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "audio/audio.h"
#include "debug.h"
#include "korvu.h"
#include "audio/sound.h"
#include "audio/source.h"
#include "tempfiles.h"

using namespace korvu;
using namespace korvu::audio;

namespace {

// Piece sizes of the reads, odd ones and ones under a sample frame among
// them; and enough pieces to pass several pages of any file, as the rest of
// a long stream tells nothing new.
constexpr unsigned int PIECES[] = {4096, 4099, 1, 3, 4094, 1026};
constexpr unsigned int PIECE = 4096;
constexpr unsigned int MOST_PIECES = 48;

using fuzzfiles::fail;

void setUp() {
  if (!fuzzfiles::init("ogg", ".ogg")) return;
  fuzzfiles::quietLog();
  std::atexit([] { audio::cleanUp(); });
  setenv("ALSOFT_DRIVERS", "null", 1);
  enabled = true;
  try {
    init("", 22050);
  } catch (const std::string& message) {
    std::fprintf(stderr, "no audio device (%s); reading with audio off\n", message.c_str());
    enabled = false;
    init("", 22050);
  }
}

void readPieces(OggFileLoader& loader, bool loop) {
  const unsigned int frame = loader.getFormat() == AL_FORMAT_MONO16 ? 2 : 4;
  for (unsigned int i = 0; i < MOST_PIECES; ++i) {
    const unsigned int wanted = PIECES[i % (sizeof PIECES / sizeof *PIECES)];
    unsigned int count = wanted;
    const char* pcm = loader.read(&count, loop);
    if (count > wanted) fail("a piece longer than asked for");
    if (count % frame != 0) fail("a piece that ends inside a sample frame");
    if (count == 0) {
      if (wanted >= frame) return;
      continue;
    }
    if (!pcm) fail("PCM without a buffer");
  }
}

void readWithLoader() {
  std::unique_ptr<OggFileLoader> loader;
  try {
    loader.reset(new OggFileLoader(nullptr, fuzzfiles::inputPath));
  } catch (const std::string&) {
    return;
  }
  if (loader->getFormat() != AL_FORMAT_MONO16 && loader->getFormat() != AL_FORMAT_STEREO16) {
    fail("a format that is neither mono nor stereo 16-bit");
  }
  try {
    readPieces(*loader, false);
    loader->rewind();
    readPieces(*loader, true);
    loader->rewind();
    // The whole stream, when its header does not claim more than a piece
    // run would read anyway.
    if (loader->getSize() <= PIECE * MOST_PIECES) {
      unsigned int count = loader->getSize();
      loader->read(&count, false);
      if (count > loader->getSize()) fail("more PCM than asked for");
    }
  } catch (const std::string&) {
    // A damaged stream stops the reading; the loader must still close.
  }
}

void playSound() {
  OggSound sound;
  sound.name = "fuzzed";
  sound.filename = fuzzfiles::inputPath;
  try {
    sound.load();
  } catch (const std::string&) {
    if (sound.buffer != 0) sound.release();
    return;
  }
  if (enabled && sound.buffer == 0) fail("a loaded sound without a buffer");
  if (sound.size < 0) fail("a loaded sound of negative size");
  {
    SimpleSource source;
    source += &sound;
    source.play();
    source.perform(0.016f);
    source.stop();
  }
  sound.release();
}

void stream() {
  std::unique_ptr<OggStreamSource> source;
  try {
    source.reset(new OggStreamSource(fuzzfiles::inputPath, 3, 4099));
  } catch (const std::string&) {
    return;
  }
  source->loop = true;
  source->play();
  for (int frame = 0; frame < 4; ++frame) source->perform(0.016f);
  source->pause();
  source->perform(0.016f);
  source->stop();
  source->perform(0.016f);
}

// The page checksum: CRC-32 with polynomial 04C11DB7, not reflected, over
// the page with its checksum field zeroed.
uint32_t pageChecksum(const uint8_t* page, size_t size) {
  static uint32_t table[256];
  if (!table[1]) {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t r = i << 24;
      for (int bit = 0; bit < 8; ++bit) r = (r & 0x80000000u) ? (r << 1) ^ 0x04c11db7u : r << 1;
      table[i] = r;
    }
  }
  uint32_t crc = 0;
  for (size_t i = 0; i < size; ++i) {
    const uint8_t byte = (i >= 22 && i < 26) ? 0 : page[i];
    crc = (crc << 8) ^ table[((crc >> 24) ^ byte) & 0xff];
  }
  return crc;
}

// Gives every whole page in the data its right checksum, so that changed
// bytes reach the decoder instead of being dropped with their page.
void fixChecksums(uint8_t* data, size_t size) {
  size_t at = 0;
  while (at + 27 <= size) {
    if (std::memcmp(data + at, "OggS", 4) != 0) {
      ++at;
      continue;
    }
    const size_t segments = data[at + 26];
    if (at + 27 + segments > size) return;
    size_t length = 27 + segments;
    for (size_t i = 0; i < segments; ++i) length += data[at + 27 + i];
    if (at + length > size) return;
    const uint32_t crc = pageChecksum(data + at, length);
    for (int i = 0; i < 4; ++i) data[at + 22 + i] = static_cast<uint8_t>(crc >> (8 * i));
    at += length;
  }
}

}  // namespace

// The system's Ogg Vorbis file library loses a few bytes of its own when it
// refuses some damaged files; the caller gets no handle to free them by.
// The engine's own releasing is checked by its tests.
extern "C" const char* __lsan_default_suppressions() { return "leak:libvorbisfile.so\n"; }
extern "C" const char* __lsan_default_options() { return "print_suppressions=0"; }

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

// The usual changes, then, mostly, the checksums made right again; now and
// then a file keeps its broken pages.
extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize, unsigned int seed) {
  size = LLVMFuzzerMutate(data, size, maxSize);
  if (seed % 8 != 0) fixChecksums(data, size);
  return size;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  setUp();
  if (!fuzzfiles::writeAll(fuzzfiles::inputPath, data, size)) std::abort();
  readWithLoader();
  playSound();
  stream();
  return 0;
}
