// Named short sounds, each decoded whole from an Ogg Vorbis file into one
// OpenAL buffer, the bank that keeps them by name and reads the sounds XML
// list, and the file loaders that turn Ogg Vorbis files into 16-bit PCM.
#pragma once

#include <cstdio>
#include <string>

#include <vorbis/vorbisfile.h>

#include "bank.h"

namespace korvu {

namespace xml { class Node; }

namespace audio {

// Names in the sounds XML file.
extern const std::string XML_SOUNDS_SOUNDS;    // "sounds", the root
extern const std::string XML_SOUNDS_DIR;       // "dir"
extern const std::string XML_SOUNDS_OGG;       // "ogg", one sound
extern const std::string XML_SOUNDS_NAME;      // "name"
extern const std::string XML_SOUNDS_FILENAME;  // "filename"
extern const std::string XML_SOUNDS_LOOP;      // "loop"

class Sound {
 public:
  // The bank that holds the sound; null when none. Only the bank sets it.
  MappedBank<Sound>* bank;
  // The key of the sound in its bank.
  std::string name;
  // Path of the sound file, opened exactly as written.
  std::string filename;
  // The OpenAL buffer name; 0 while the sound holds no buffer.
  unsigned int buffer;
  // Kept for the users of the sound; the audio layer does not act on it.
  bool loop;
  // OpenAL format, bytes and sample rate of the decoded PCM; 0 until loaded.
  int format;
  int size;
  int frequency;

  Sound();
  // Reads name, file name and loop from an "ogg" element; throws
  // std::string when the element names no file.
  Sound(const xml::Node* node, const std::string& dir);
  // Leaves its bank and releases its buffer.
  virtual ~Sound();

  Sound(const Sound&) = delete;
  Sound& operator=(const Sound&) = delete;

  // dir is accepted for the sake of the callers; file names are used as
  // written.
  void getFromNode(const xml::Node* node, const std::string& dir);

  // Decodes the file and uploads it; nothing here.
  virtual void load();
  // Deletes the OpenAL buffer.
  void release();
  void reload();
  // Loads the sound only when it holds no buffer.
  void refresh();
};

// A sound decoded from an Ogg Vorbis file.
class OggSound : public Sound {
 public:
  using Sound::Sound;
  // Throws std::string when the buffer cannot be made or the file cannot be
  // decoded. Does nothing while audio is off.
  void load() override;
};

class SoundBank : public MappedBank<Sound> {
 public:
  // Reads a sounds XML file and adds one OggSound per "ogg" element without
  // decoding any; throws std::string.
  void load(const std::string& path);
  // Adds an OggSound for every "ogg" child of node. A failing child ends the
  // reading; the sounds added before it stay.
  void getFromNode(const xml::Node* node, const std::string& dir);

  // The Sound operation of the same name on every sound, in name order.
  void refresh();
  void reload();
  void release();
};

// Reads a sound file as PCM into a work buffer that it owns.
class FileLoader {
 public:
  // Null once closed.
  FILE* file;
  // OpenAL format of the PCM that read delivers.
  int format;
  // Bytes of PCM of the whole stream, as the file claims it (at most
  // UINT_MAX).
  unsigned int size;
  int frequency;
  // Capacity of the work buffer; 0 when there is none.
  unsigned int bufferSize;
  char* buffer;

  // Opens the file; the FILE* argument is not used. Throws std::string.
  FileLoader(FILE* unused, std::string filename);
  virtual ~FileLoader();

  FileLoader(const FileLoader&) = delete;
  FileLoader& operator=(const FileLoader&) = delete;

  // Fills the work buffer and returns it (it stays the loader's). With size
  // null the whole stream is read, else up to *size bytes (whole sample
  // frames), and the count read is stored in *size. With loop the stream
  // starts over at its end.
  virtual char* read(unsigned int* size, bool loop) = 0;
  // Back to the start of the stream.
  virtual void rewind() = 0;

  void freeBuffer();
  int getFormat() const { return format; }
  unsigned int getSize() const { return size; }
  int getFrequency() const { return frequency; }
};

class OggFileLoader : public FileLoader {
 public:
  OggVorbis_File oggFile;
  // Owned by the decoder.
  vorbis_info* info;

  // Opens the file and the decoder; throws std::string.
  OggFileLoader(FILE* unused, std::string filename);
  ~OggFileLoader() override;

  char* read(unsigned int* size, bool loop) override;
  void rewind() override;

 private:
  bool open;
};

}  // namespace audio
}  // namespace korvu
