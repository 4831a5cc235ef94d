#include "audio/sound.h"

#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include <AL/al.h>

#include "audio/audio.h"
#include "debug.h"
#include "xml.h"

namespace korvu {
namespace audio {

const std::string XML_SOUNDS_SOUNDS = "sounds";
const std::string XML_SOUNDS_DIR = "dir";
const std::string XML_SOUNDS_OGG = "ogg";
const std::string XML_SOUNDS_NAME = "name";
const std::string XML_SOUNDS_FILENAME = "filename";
const std::string XML_SOUNDS_LOOP = "loop";

// ---------------------------------------------------------------------------
// Sound

Sound::Sound() : bank(nullptr), buffer(0), loop(false), format(0), size(0), frequency(0) {}

Sound::Sound(const xml::Node* node, const std::string& dir) : Sound() { getFromNode(node, dir); }

Sound::~Sound() {
  debug::debug(dbgAudio, "Deleting sound \"%s\".", name.c_str());
  if (bank) {
    *bank -= this;
    bank = nullptr;
  }
  release();
  debug::debug(dbgAudio, "Done.");
}

void Sound::getFromNode(const xml::Node* node, const std::string&) {
  const std::string* fileAttr = node->getAttribute(XML_SOUNDS_FILENAME);
  const std::string newName = xml::entryName(*node, dbgAudio, "sound");
  if (!fileAttr) {
    if (!node->getAttribute(XML_SOUNDS_NAME)) throw std::string("No name or filename specified for sound.");
    throw "No filename specified for sound \"" + newName + "\".";
  }
  name = newName;
  filename = *fileAttr;
  loop = node->getAttributeBool(XML_SOUNDS_LOOP, loop);
}

void Sound::load() {}

void Sound::release() {
  if (buffer != 0) {
    ALuint b = buffer;
    alDeleteBuffers(1, &b);
    buffer = 0;
  }
}

void Sound::reload() {
  release();
  load();
}

void Sound::refresh() {
  debug::debug(dbgAudio, "Refreshing sound \"%s\"...", name.c_str());
  if (buffer == 0) reload();
}

// ---------------------------------------------------------------------------
// OggSound

void OggSound::load() {
  if (!enabled) return;
  alGetError();
  ALuint b = 0;
  alGenBuffers(1, &b);
  buffer = b;
  if (buffer == 0) {
    throw "Could not create OpenAL buffer for \"" + name + "\": " + getALErrorString(alGetError()) +
          ".";
  }
  try {
    std::unique_ptr<OggFileLoader> loader(new OggFileLoader(nullptr, filename));
    // Decoded piece by piece: the length in the file is only a claim, and a
    // damaged file may claim gigabytes (or, cut to 32 bits, a few bytes).
    std::vector<char> pcm;
    for (;;) {
      unsigned int count = 65536;
      const char* data = loader->read(&count, false);
      if (count == 0) break;
      if (pcm.size() + count > static_cast<std::size_t>(INT_MAX)) {
        throw std::string("Ogg stream too long for one sound.");
      }
      pcm.insert(pcm.end(), data, data + count);
    }
    alBufferData(buffer, loader->getFormat(), pcm.data(), static_cast<ALsizei>(pcm.size()),
                 loader->getFrequency());
    format = loader->getFormat();
    frequency = loader->getFrequency();
    size = static_cast<int>(pcm.size());
  } catch (const std::string& msg) {
    throw "Error loading file \"" + filename + "\": " + msg;
  }
  debug::info(dbgAudio, "Loaded \"%s\" as sound \"%s\" (#%d), format: %d, size: %d, frequency: %d.",
              filename.c_str(), name.c_str(), static_cast<int>(buffer), format, size, frequency);
}

// ---------------------------------------------------------------------------
// SoundBank

void SoundBank::load(const std::string& path) {
  std::string::size_type slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  std::unique_ptr<xml::Node> root(xml::loadXML(path.c_str()));
  if (!root || root->name != XML_SOUNDS_SOUNDS) return;
  if (const std::string* sub = root->getAttribute(XML_SOUNDS_DIR)) dir += *sub;
  getFromNode(root.get(), dir);
}

void SoundBank::getFromNode(const xml::Node* node, const std::string& dir) {
  for (const xml::Node* child : node->children) {
    if (!child || child->name != XML_SOUNDS_OGG) continue;
    OggSound* sound = new OggSound(child, dir);
    *this += sound;
    debug::debug(dbgAudio, "Added Ogg sound \"%s\" (%p).", sound->name.c_str(),
                 static_cast<void*>(sound));
  }
}

void SoundBank::refresh() {
  for (auto& entry : *this)
    if (entry.second) entry.second->refresh();
}

void SoundBank::reload() {
  for (auto& entry : *this)
    if (entry.second) entry.second->reload();
}

void SoundBank::release() {
  for (auto& entry : *this)
    if (entry.second) entry.second->release();
}

// ---------------------------------------------------------------------------
// FileLoader

FileLoader::FileLoader(FILE*, std::string filename)
    : file(nullptr), format(0), size(0), frequency(0), bufferSize(0), buffer(nullptr) {
  file = std::fopen(filename.c_str(), "rb");
  if (!file) throw "Could not open file \"" + filename + "\".";
}

FileLoader::~FileLoader() {
  freeBuffer();
  if (file) {
    std::fclose(file);
    file = nullptr;
  }
}

void FileLoader::freeBuffer() {
  debug::debug(dbgAudio, "Freeing buffer...");
  if (buffer) {
    delete[] buffer;
    buffer = nullptr;
    bufferSize = 0;
  }
  debug::debug(dbgAudio, "Freed buffer.");
}

// ---------------------------------------------------------------------------
// OggFileLoader

OggFileLoader::OggFileLoader(FILE* unused, std::string filename)
    : FileLoader(unused, filename), info(nullptr), open(false) {
  std::memset(&oggFile, 0, sizeof(oggFile));
  // On failure the decoder leaves the file alone; the base part closes it.
  int r = ov_open(file, &oggFile, nullptr, 0);
  if (r < 0) throw "Could not read Ogg stream:" + getOggErrorString(r);
  open = true;
  info = ov_info(&oggFile, -1);
  const int channels = info ? info->channels : 0;
  // Only mono and stereo have a format here; any other layout would be
  // handed on as stereo and play as noise, or not at all.
  if (channels != 1 && channels != 2) {
    ov_clear(&oggFile);  // closes the file as well
    open = false;
    file = nullptr;
    throw "Could not read Ogg stream: " + std::to_string(channels) +
          " channels; only mono and stereo can be played.";
  }
  format = channels == 1 ? AL_FORMAT_MONO16 : AL_FORMAT_STEREO16;
  frequency = info ? static_cast<int>(info->rate) : 0;
  ogg_int64_t samples = ov_pcm_total(&oggFile, -1);
  if (samples < 0) samples = 0;
  // The length is the file's own claim: one past 32 bits is held as the
  // most there is rather than wrapped to a few bytes.
  const ogg_int64_t frames = static_cast<ogg_int64_t>(UINT_MAX) / (2 * channels);
  size = samples > frames ? UINT_MAX : static_cast<unsigned int>(2 * channels * samples);
}

OggFileLoader::~OggFileLoader() {
  debug::debug(dbgAudio, "Closed ogg stream.");
  if (open) ov_clear(&oggFile);  // closes the file as well
  open = false;
  file = nullptr;
}

char* OggFileLoader::read(unsigned int* wantedSize, bool loop) {
  // Whole sample frames only: the decoder refuses a request for less than
  // one, which would end the stream with an error midway.
  const unsigned int frame = format == AL_FORMAT_MONO16 ? 2u : 4u;
  const unsigned int wanted = (wantedSize ? *wantedSize : size) / frame * frame;
  if (wanted != bufferSize) freeBuffer();
  if (!buffer && wanted > 0) {
    buffer = new (std::nothrow) char[wanted];
    if (!buffer) throw std::string("Not enough memory to decode Ogg stream.");
    bufferSize = wanted;
  }
  unsigned int count = 0;
  // Bytes delivered since the last rewind: a stream that gives nothing
  // right after a rewind holds no PCM, and looping over it would never end.
  unsigned int sinceRewind = 1;
  int stream = 0;
  while (count < wanted) {
    if (!open) throw "Could not decode Ogg stream: " + getOggErrorString(OV_EINVAL);
    const unsigned int left = wanted - count;
    const int chunk = left > static_cast<unsigned int>(INT_MAX) ? INT_MAX : static_cast<int>(left);
    long r = ov_read(&oggFile, buffer + count, chunk, 0, 2, 1, &stream);
    if (r > 0) {
      count += static_cast<unsigned int>(r);
      sinceRewind += static_cast<unsigned int>(r);
    } else if (r == 0) {
      if (!loop || sinceRewind == 0) break;
      rewind();
      sinceRewind = 0;
    } else {
      ov_clear(&oggFile);
      open = false;
      file = nullptr;
      throw "Could not decode Ogg stream: " + getOggErrorString(static_cast<int>(r));
    }
  }
  if (wantedSize) *wantedSize = count;
  return buffer;
}

void OggFileLoader::rewind() {
  if (open) ov_raw_seek(&oggFile, 0);
}

}  // namespace audio
}  // namespace korvu
