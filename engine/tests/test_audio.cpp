// Audio on the real OpenAL library (its null output in the tests): device
// and context, emitters and their sources, sounds and their bank, streams.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <AL/al.h>
#include <AL/alc.h>

#include "audio/audio.h"
#include "audio/emitter.h"
#include "audio/sound.h"
#include "audio/source.h"
#include "testsupport.h"

namespace {

using namespace korvu::audio;

// Play into the null output unless the caller chose a configuration.
const int alsoftConf =
    setenv("ALSOFT_CONF", KORVU_SOURCE_DIR "/engine/tests/alsoft.conf", 0);

const std::string DATA = KORVU_SOURCE_DIR "/engine/tests/data/audio/";
// 2205 mono samples at 22050 Hz; 4410 stereo samples at 44100 Hz; 22050
// stereo samples at 22050 Hz.
const std::string MONO = DATA + "mono.ogg";
const std::string STEREO = DATA + "stereo.ogg";
const std::string STEREO_LONG = DATA + "stereo_long.ogg";

template <typename Pred>
bool eventually(Pred pred) {
  for (int i = 0; i < 5000; ++i) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return pred();
}

std::string thrown(const std::function<void()>& f) {
  try {
    f();
  } catch (const std::string& msg) {
    return msg;
  }
  return "(nothing thrown)";
}

ALint alState(const BasicSource* s) {
  ALint st = 0;
  alGetSourcei(s->source, AL_SOURCE_STATE, &st);
  return st;
}

class AudioTest : public ::testing::Test {
 protected:
  void SetUp() override {
    (void)alsoftConf;
    cleanUp();
    enabled = true;
  }
  void TearDown() override {
    cleanUp();
    enabled = true;
  }
  void start() { ASSERT_NO_THROW(init("", 44100)); }
};

// ---------------------------------------------------------------------------
// Device, context, listener

TEST(AudioErrorText, CodesWithoutTextOfTheirOwn) {
  EXPECT_EQ("(Unknown AL error)", getALErrorString(0xA002));
  EXPECT_EQ("(Unknown AL error)", getALErrorString(0xA004));
  EXPECT_EQ("AL_INVALID_VALUE", getALErrorString(0xA003));
  EXPECT_EQ("AL_NO_ERROR", getALCErrorString(0));
  EXPECT_EQ("ALC_INVALID_VALUE", getALCErrorString(0xA004));
  EXPECT_EQ("(Unknown ALC error)", getALCErrorString(0xA006));
  EXPECT_EQ("(Unknown Ogg error)", getOggErrorString(-2));
  EXPECT_EQ("(Unknown Ogg error)", getOggErrorString(-135));
}

TEST_F(AudioTest, InitOpensDeviceAndCurrentContext) {
  start();
  ASSERT_NE(nullptr, device);
  ASSERT_NE(nullptr, context);
  ASSERT_NE(nullptr, context->alContext);
  ASSERT_NE(nullptr, context->listener);
  EXPECT_EQ(context->alContext, alcGetCurrentContext());
  EXPECT_EQ(1.0f, context->listener->gain);
  ALfloat orientation[6] = {};
  alGetListenerfv(AL_ORIENTATION, orientation);
  const ALfloat expected[6] = {0, 0, -1, 0, 1, 0};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(expected[i], orientation[i]) << i;
  EXPECT_TRUE(context->emitters.empty());

  cleanUp();
  EXPECT_EQ(nullptr, device);
  EXPECT_EQ(nullptr, context);
  EXPECT_EQ(nullptr, alcGetCurrentContext());
  cleanUp();
  EXPECT_EQ(nullptr, context);
}

TEST_F(AudioTest, CleanUpWithoutInitDoesNothing) {
  cleanUp();
  cleanUp();
  EXPECT_EQ(nullptr, device);
  EXPECT_EQ(nullptr, context);
}

TEST_F(AudioTest, NamedDeviceAndUnknownDevice) {
  const ALCchar* name = alcGetString(nullptr, ALC_DEFAULT_DEVICE_SPECIFIER);
  ASSERT_NE(nullptr, name);
  const std::string deviceName = name;
  ASSERT_NO_THROW(init(deviceName, 22050));
  EXPECT_EQ(deviceName, alcGetString(device, ALC_DEVICE_SPECIFIER));
  cleanUp();

  std::string msg = thrown([] { init("no device of this name", 44100); });
  EXPECT_EQ(msg, "Sound device \"no device of this name\" could not be opened");
  EXPECT_EQ(nullptr, device);
  EXPECT_EQ(nullptr, context);
}

TEST_F(AudioTest, InitAgainReplacesTheFirstContext) {
  start();
  start();
  ASSERT_NE(nullptr, context);
  EXPECT_EQ(context->alContext, alcGetCurrentContext());
}

TEST_F(AudioTest, OnlyOneContext) {
  start();
  Context* first = context;
  EXPECT_EQ("Cannot create more than one audio context.", thrown([] { new Context(44100); }));
  EXPECT_EQ(first, context);
  EXPECT_EQ(first->alContext, alcGetCurrentContext());
}

TEST_F(AudioTest, NoContextLeftBehind) {
  // An emitter built without a context works but is stepped by nobody.
  testing::internal::CaptureStdout();
  {
    Emitter early;
    early += new SimpleSource();
  }
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(std::string::npos, out.find("without an audio context"));

  // Deleting the context directly does not leave the global dangling.
  start();
  delete context;
  EXPECT_EQ(nullptr, context);
  start();
  EXPECT_EQ(context->alContext, alcGetCurrentContext());
}

TEST_F(AudioTest, AudioOffBuildsEverythingWithoutOpenAL) {
  enabled = false;
  ASSERT_NO_THROW(init("no device of this name", 44100));
  EXPECT_EQ(nullptr, device);
  ASSERT_NE(nullptr, context);
  EXPECT_EQ(nullptr, context->alContext);

  Emitter emitter;
  auto* source = new SimpleSource();
  EXPECT_EQ(0u, source->source);
  emitter += source;
  source->play();
  EXPECT_EQ(BasicSource::STATE_STOPPED, source->state);
  context->perform(16.0f);
  EXPECT_TRUE(emitter.empty());

  // A new source is stopped by its first step and deleted by the next.
  emitter += new SimpleSource();
  context->perform(16.0f);
  EXPECT_FALSE(emitter.empty());
  context->perform(16.0f);
  EXPECT_TRUE(emitter.empty());

  // One its owner keeps stays until the emitter lets it go.
  auto* kept = new SimpleSource();
  kept->kept = true;
  emitter += kept;
  kept->play();
  for (int i = 0; i < 3; ++i) context->perform(16.0f);
  ASSERT_EQ(emitter.sources, std::list<BasicSource*>{kept});
  emitter.clear();

  OggSound sound;
  sound.filename = "missing.ogg";
  EXPECT_NO_THROW(sound.refresh());
  EXPECT_EQ(0u, sound.buffer);
  EXPECT_EQ(0, sound.format);

  OggStreamSource stream("missing.ogg", 2, 4096);
  EXPECT_EQ(nullptr, stream.buffers);
  stream.perform(0.0f);
  EXPECT_TRUE(stream.finished);
  EXPECT_EQ(BasicSource::STATE_STOPPED, stream.state);
}

// ---------------------------------------------------------------------------
// Emitters and sources

TEST_F(AudioTest, EmittersRegisterAndUnregister) {
  start();
  auto* a = new Emitter();
  auto* b = new Emitter();
  auto* c = new Emitter();
  EXPECT_EQ((std::list<Emitter*>{a, b, c}), context->emitters);
  delete b;
  EXPECT_EQ((std::list<Emitter*>{a, c}), context->emitters);
  delete a;
  delete c;
  EXPECT_TRUE(context->emitters.empty());
  EXPECT_EQ(1.0f, Emitter().gain);
}

TEST_F(AudioTest, SourcesMoveBetweenEmittersAndAreKeptOnce) {
  start();
  Emitter first, second;
  auto* source = new SimpleSource();
  first += source;
  first += source;
  EXPECT_EQ(1u, first.sources.size());
  second += source;
  EXPECT_TRUE(first.empty());
  EXPECT_EQ(&second, source->emitter);
  // Giving up a source another emitter holds leaves it with that one.
  first -= source;
  EXPECT_EQ(&second, source->emitter);
  second -= source;
  EXPECT_EQ(nullptr, source->emitter);
  EXPECT_NE(0u, source->source);
  delete source;
  EXPECT_TRUE(second.empty());
}

TEST_F(AudioTest, AffectingEmitterPushesValuesAndMute) {
  start();
  Emitter emitter;
  emitter.affectSources = true;
  emitter.gain = 0.5f;
  emitter.position = korvu::Vector3D(1, 2, 3);
  auto* source = new SimpleSource();
  emitter += source;
  EXPECT_EQ(0.5f, source->gain);
  EXPECT_EQ(3.0f, source->position.z);

  emitter.mute = true;
  context->perform(16.0f);
  ALfloat gain = -1.0f;
  alGetSourcef(source->source, AL_GAIN, &gain);
  EXPECT_EQ(0.0f, gain);
  ALfloat pos[3] = {};
  alGetSourcefv(source->source, AL_POSITION, pos);
  EXPECT_EQ(2.0f, pos[1]);

  emitter.mute = false;
  context->perform(16.0f);
  alGetSourcef(source->source, AL_GAIN, &gain);
  EXPECT_EQ(0.5f, gain);
  EXPECT_EQ(0.5f, source->appliedGain);
}

TEST_F(AudioTest, StopOnlyStopsPlayingOrPausedSources) {
  start();
  SimpleSource source;
  source.stop();
  EXPECT_EQ(BasicSource::STATE_NEW, source.state);
  source.play();
  source.pause();
  EXPECT_EQ(BasicSource::STATE_PAUSED, source.state);
  source.stop();
  EXPECT_EQ(BasicSource::STATE_STOPPED, source.state);
  source.stop();
  EXPECT_EQ(BasicSource::STATE_STOPPED, source.state);
}

TEST_F(AudioTest, PlayedSoundStopsAndIsDeletedTheFrameAfter) {
  start();
  OggSound sound;
  sound.name = "beep";
  sound.filename = STEREO;
  ASSERT_NO_THROW(sound.refresh());
  Emitter emitter;
  auto* source = new SimpleSource();
  *source += &sound;
  source->pitch = 4.0f;
  source->apply();
  source->play();
  emitter += source;
  EXPECT_EQ(BasicSource::STATE_PLAYING, source->state);
  ASSERT_TRUE(eventually([&] {
    emitter.perform(1.0f);
    return source->state == BasicSource::STATE_STOPPED;
  }));
  EXPECT_FALSE(emitter.empty());
  emitter.perform(1.0f);
  EXPECT_TRUE(emitter.empty());

}

TEST_F(AudioTest, ContextEndStopsAndDrainsEmittersThatOutliveIt) {
  start();
  OggSound sound;
  sound.filename = MONO;
  ASSERT_NO_THROW(sound.refresh());
  Emitter emitter;
  auto* source = new SimpleSource();
  *source += &sound;
  source->loop = true;
  source->apply();
  source->play();
  emitter += source;
  auto* kept = new SimpleSource();
  kept->kept = true;
  *kept += &sound;
  kept->play();
  emitter += kept;
  EXPECT_EQ(AL_PLAYING, alState(source));
  cleanUp();
  // A kept source stays, stopped, with its owner.
  EXPECT_EQ(emitter.sources, std::list<BasicSource*>{kept});
  EXPECT_EQ(BasicSource::STATE_STOPPED, kept->state);
  EXPECT_EQ(nullptr, context);
  // The emitter ends after the context without harm.
}

TEST_F(AudioTest, QueuingNoSoundQueuesNothing) {
  start();
  SimpleSource source;
  testing::internal::CaptureStdout();
  source += nullptr;
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(std::string::npos, out.find("No sound!"));
  ALint queued = -1;
  alGetSourcei(source.source, AL_BUFFERS_QUEUED, &queued);
  EXPECT_EQ(0, queued);
}

// ---------------------------------------------------------------------------
// Sounds and the sound bank

TEST_F(AudioTest, SoundLeavesItsBankWhenDeleted) {
  start();
  SoundBank bank;
  auto* a = new Sound();
  a->name = "a";
  auto* b = new OggSound();
  b->name = "b";
  bank += a;
  bank += b;
  EXPECT_EQ(&bank, a->bank);
  delete a;
  EXPECT_EQ(0u, bank.count("a"));
  EXPECT_EQ(1u, bank.count("b"));
  // A sound under a taken name replaces the earlier one.
  auto* b2 = new OggSound();
  b2->name = "b";
  bank += b2;
  ASSERT_EQ(1u, bank.size());
  EXPECT_EQ(b2, bank["b"]);
}

TEST_F(AudioTest, SoundDecodesOnceAndReleasesItsBuffer) {
  start();
  auto* sound = new OggSound();
  sound->name = "mono";
  sound->filename = MONO;
  sound->refresh();
  ALuint buffer = sound->buffer;
  ASSERT_NE(0u, buffer);
  EXPECT_EQ(0x1101, sound->format);
  EXPECT_EQ(22050, sound->frequency);
  EXPECT_EQ(2 * 2205, sound->size);
  ALint bytes = 0;
  alGetBufferi(buffer, AL_SIZE, &bytes);
  EXPECT_EQ(2 * 2205, bytes);
  sound->refresh();
  EXPECT_EQ(buffer, sound->buffer);
  sound->release();
  EXPECT_EQ(0u, sound->buffer);
  EXPECT_FALSE(alIsBuffer(buffer));
  sound->refresh();
  EXPECT_NE(0u, sound->buffer);
  buffer = sound->buffer;
  delete sound;
  EXPECT_FALSE(alIsBuffer(buffer));

  OggSound stereo;
  stereo.filename = STEREO;
  stereo.refresh();
  EXPECT_EQ(0x1103, stereo.format);
  EXPECT_EQ(4 * 4410, stereo.size);
}

TEST_F(AudioTest, BadSoundFilesGiveClearMessages) {
  start();
  const std::string dir = korvu_test::makeTempDir();
  const std::string text = dir + "/text.ogg";
  korvu_test::writeFile(text, "this is not a sound file at all, just words");
  OggSound notOgg;
  notOgg.filename = text;
  EXPECT_EQ("Error loading file \"" + text +
                "\": Could not read Ogg stream:The given file/data was not recognized as Ogg "
                "Vorbis data.",
            thrown([&] { notOgg.load(); }));

  OggSound missing;
  missing.filename = dir + "/none.ogg";
  EXPECT_EQ("Error loading file \"" + dir + "/none.ogg\": Could not open file \"" + dir +
                "/none.ogg\".",
            thrown([&] { missing.load(); }));

  // A file cut off inside its headers.
  std::string whole = korvu_test::readFile(STEREO_LONG);
  const std::string cut = dir + "/cut.ogg";
  korvu_test::writeFile(cut, whole.substr(0, whole.size() / 2));
  OggSound truncated;
  truncated.filename = cut;
  EXPECT_EQ(0u, thrown([&] { truncated.load(); })
                    .find("Error loading file \"" + cut + "\": Could not read Ogg stream:"));
}

TEST_F(AudioTest, SoundsListIsReadWithoutDecoding) {
  start();
  const std::string dir = korvu_test::makeTempDir();
  const std::string list = dir + "/sounds.xml";
  korvu_test::writeFile(list,
                        "<sounds dir=\"sub/\">\n"
                        "  <ogg name=\"beep\" filename=\"" + MONO + "\" loop=\"t\"/>\n"
                        "  <wav name=\"skipped\" filename=\"x.wav\"/>\n"
                        "  <ogg filename=\"" + STEREO + "\"/>\n"
                        "  <ogg name=\"beep\" filename=\"" + STEREO + "\"/>\n"
                        "</sounds>\n");
  SoundBank bank;
  testing::internal::CaptureStdout();
  bank.load(list);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(std::string::npos, out.find("No name specified for sound. Using filename."));
  ASSERT_EQ(2u, bank.size());
  ASSERT_EQ(1u, bank.count("beep"));
  ASSERT_EQ(1u, bank.count(STEREO));
  Sound* beep = bank["beep"];
  EXPECT_EQ(STEREO, beep->filename);  // the later element wins
  EXPECT_FALSE(beep->loop);
  EXPECT_EQ(0u, beep->buffer);
  bank.refresh();
  EXPECT_NE(0u, beep->buffer);
  EXPECT_EQ(0x1103, beep->format);

  const std::string other = dir + "/other.xml";
  korvu_test::writeFile(other, "<noises><ogg name=\"n\" filename=\"f\"/></noises>");
  SoundBank empty;
  empty.load(other);
  EXPECT_TRUE(empty.empty());
  EXPECT_EQ("Could not open XML file", thrown([&] { empty.load(dir + "/none.xml"); }));
}

TEST_F(AudioTest, SoundElementWithoutFileIsRefused) {
  start();
  const std::string dir = korvu_test::makeTempDir();
  const std::string list = dir + "/sounds.xml";
  korvu_test::writeFile(list,
                        "<sounds><ogg name=\"first\" filename=\"a.ogg\" loop=\"1\"/>"
                        "<ogg name=\"broken\"/><ogg name=\"after\" filename=\"b.ogg\"/></sounds>");
  SoundBank bank;
  EXPECT_EQ("No filename specified for sound \"broken\".", thrown([&] { bank.load(list); }));
  ASSERT_EQ(1u, bank.size());
  EXPECT_TRUE(bank["first"]->loop);

  korvu_test::writeFile(list, "<sounds><ogg loop=\"1\"/></sounds>");
  SoundBank none;
  testing::internal::CaptureStdout();
  std::string msg = thrown([&] { none.load(list); });
  testing::internal::GetCapturedStdout();
  EXPECT_NE("(nothing thrown)", msg);
  EXPECT_TRUE(none.empty());
}

TEST_F(AudioTest, LoaderReadsWrapsAndEnds) {
  OggFileLoader loader(nullptr, MONO);
  EXPECT_EQ(0x1101, loader.getFormat());
  EXPECT_EQ(4410u, loader.getSize());
  unsigned int count = 3000;
  loader.read(&count, false);
  EXPECT_EQ(3000u, count);
  count = 3000;
  loader.read(&count, false);
  EXPECT_EQ(1410u, count);
  count = 3000;
  loader.read(&count, false);
  EXPECT_EQ(0u, count);
  // Looping starts over and always fills the whole request.
  count = 10000;
  char* data = loader.read(&count, true);
  EXPECT_EQ(10000u, count);
  EXPECT_NE(nullptr, data);
  EXPECT_EQ(10000u, loader.bufferSize);
  char* again = loader.read(&count, true);
  EXPECT_EQ(data, again);  // same size, same work buffer
}

// The page checksum of an Ogg file, for files edited by a test.
uint32_t oggChecksum(const std::string& page) {
  uint32_t crc = 0;
  for (unsigned char byte : page) {
    crc ^= static_cast<uint32_t>(byte) << 24;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04c11db7u : crc << 1;
  }
  return crc;
}

TEST_F(AudioTest, OnlyMonoAndStereoFilesAreRead) {
  start();
  // The mono file claiming three channels in its first page (58 bytes,
  // checksum at 22, channel count at 39): it still decodes, as noise.
  std::string bytes = korvu_test::readFile(MONO);
  ASSERT_EQ(1, bytes[39]);
  bytes[39] = 3;
  std::string page = bytes.substr(0, 58);
  page.replace(22, 4, 4, '\0');
  const uint32_t crc = oggChecksum(page);
  for (int i = 0; i < 4; ++i) bytes[22 + i] = static_cast<char>(crc >> (8 * i));
  const std::string dir = korvu_test::makeTempDir();
  const std::string three = dir + "/three.ogg";
  korvu_test::writeFile(three, bytes);

  const std::string refusal = "Could not read Ogg stream: 3 channels; only mono and stereo can be played.";
  EXPECT_EQ(refusal, thrown([&] { OggFileLoader loader(nullptr, three); }));
  OggSound sound;
  sound.filename = three;
  EXPECT_EQ("Error loading file \"" + three + "\": " + refusal, thrown([&] { sound.load(); }));
  EXPECT_EQ("Error loading file \"" + three + "\": " + refusal,
            thrown([&] { OggStreamSource stream(three, 2, 4096); }));
}

TEST_F(AudioTest, SoundLengthIsWhatDecodesNotWhatTheFileClaims) {
  start();
  // The stereo file with one more first page after its end, claiming a
  // stream of 2^30 + 100 or 2^40 samples: four bytes a sample frame make
  // about 4 GiB, which cut to 32 bits is 400 bytes or none.
  const std::string whole = korvu_test::readFile(STEREO);
  const std::string dir = korvu_test::makeTempDir();
  int n = 0;
  for (uint64_t samples : {(uint64_t{1} << 30) + 100, uint64_t{1} << 40}) {
    std::string page = whole.substr(0, 58);
    for (int i = 0; i < 8; ++i) page[6 + i] = static_cast<char>(samples >> (8 * i));
    page.replace(22, 4, 4, '\0');
    const uint32_t crc = oggChecksum(page);
    for (int i = 0; i < 4; ++i) page[22 + i] = static_cast<char>(crc >> (8 * i));
    const std::string path = dir + "/claim" + std::to_string(n++) + ".ogg";
    korvu_test::writeFile(path, whole + page);

    OggFileLoader loader(nullptr, path);
    EXPECT_EQ(UINT_MAX, loader.getSize());

    OggSound sound;
    sound.filename = path;
    const std::string msg = thrown([&] { sound.load(); });
    // The page after the end is damage; short of that, all of the sound.
    if (msg == "(nothing thrown)") {
      EXPECT_EQ(4 * 4410, sound.size) << path;
    } else {
      EXPECT_EQ(0u, msg.find("Error loading file \"" + path + "\": Could not decode Ogg stream:")) << msg;
    }
  }
}

TEST_F(AudioTest, RequestsAreCutToWholeSampleFrames) {
  OggFileLoader mono(nullptr, MONO);
  unsigned int count = 4097;
  mono.read(&count, false);
  EXPECT_EQ(4096u, count);
  count = 1;
  mono.read(&count, false);
  EXPECT_EQ(0u, count);
  count = 4097;
  mono.read(&count, false);
  EXPECT_EQ(4410u - 4096u, count);
  // Looping over the end with an odd request.
  count = 4411;
  mono.read(&count, true);
  EXPECT_EQ(4410u, count);

  OggFileLoader stereo(nullptr, STEREO);
  unsigned int total = 0;
  for (int i = 0; i < 100; ++i) {
    count = 1026;
    ASSERT_NO_THROW(stereo.read(&count, false));
    EXPECT_EQ(0u, count % 4);
    if (count == 0) break;
    total += count;
  }
  EXPECT_EQ(4u * 4410u, total);

  // A stream whose buffers hold an odd size plays to its end.
  start();
  OggStreamSource stream(STEREO, 2, 4099);
  ASSERT_FALSE(stream.finished);
  stream.play();
  EXPECT_TRUE(eventually([&] {
    stream.perform(0.0f);
    return stream.state == BasicSource::STATE_STOPPED;
  }));
  EXPECT_TRUE(stream.finished);
}

// ---------------------------------------------------------------------------
// Streams

TEST_F(AudioTest, ShortStreamFinishesWhileBeingBuilt) {
  start();
  Emitter music;
  auto* stream = new OggStreamSource(STEREO, 2, 65536);
  EXPECT_TRUE(stream->finished);
  ALint queued = 0;
  alGetSourcei(stream->source, AL_BUFFERS_QUEUED, &queued);
  EXPECT_EQ(1, queued);
  stream->loop = true;
  stream->pitch = 4.0f;
  stream->apply();
  stream->play();
  music += stream;
  ASSERT_TRUE(eventually([&] {
    music.perform(1.0f);
    return music.empty();
  }));
}

TEST_F(AudioTest, LoopingStreamWrapsAndNeverFinishes) {
  start();
  ALuint scratch = 0;
  alGenBuffers(1, &scratch);
  {
    OggStreamSource stream(STEREO_LONG, 2, 8192);
    EXPECT_FALSE(stream.finished);
    stream.loop = true;
    // Three times the file's PCM.
    for (int i = 0; i < 33; ++i) stream.readBuffer(scratch);
    EXPECT_FALSE(stream.finished);
    ALint bytes = 0;
    alGetBufferi(scratch, AL_SIZE, &bytes);
    EXPECT_EQ(8192, bytes);
  }
  {
    OggStreamSource stream(STEREO_LONG, 2, 8192);
    int reads = 0;
    while (!stream.finished && reads < 100) {
      stream.readBuffer(scratch);
      ++reads;
    }
    EXPECT_TRUE(stream.finished);
    EXPECT_EQ(10, reads);  // 88200 bytes fill 11 buffers, 2 of them in the constructor
  }
  alDeleteBuffers(1, &scratch);
}

TEST_F(AudioTest, StreamRestartsAfterRunningDryButNotAfterStop) {
  start();
  OggStreamSource stream(STEREO_LONG, 2, 1024);
  stream.play();
  // No refill for longer than the queued audio lasts.
  ASSERT_TRUE(eventually([&] { return alState(&stream) == AL_STOPPED; }));
  stream.perform(0.0f);
  EXPECT_EQ(AL_PLAYING, alState(&stream));
  EXPECT_EQ(BasicSource::STATE_PLAYING, stream.state);

  stream.stop();
  stream.perform(0.0f);
  EXPECT_EQ(AL_STOPPED, alState(&stream));
  EXPECT_EQ(BasicSource::STATE_STOPPED, stream.state);
}

// Stands in for a decoder that meets damaged data.
class FailingLoader : public FileLoader {
 public:
  FailingLoader() : FileLoader(nullptr, MONO) {}
  char* read(unsigned int*, bool) override { throw std::string("Could not decode Ogg stream: test"); }
  void rewind() override {}
};

TEST_F(AudioTest, DamagedStreamEndsWithALoggedError) {
  start();
  Emitter music;
  auto* stream = new OggStreamSource(STEREO_LONG, 2, 1024);
  delete stream->loader;
  stream->loader = new FailingLoader();
  stream->play();
  music += stream;
  testing::internal::CaptureStdout();
  bool gone = eventually([&] {
    music.perform(1.0f);
    return music.empty();
  });
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_TRUE(gone);
  EXPECT_NE(std::string::npos, out.find("Could not decode Ogg stream: test"));
}

TEST_F(AudioTest, StreamReleasesItsBuffers) {
  start();
  auto* stream = new OggStreamSource(STEREO_LONG, 3, 4096);
  std::vector<ALuint> names(stream->buffers, stream->buffers + 3);
  stream->play();
  delete stream;
  for (ALuint b : names) EXPECT_FALSE(alIsBuffer(b)) << b;

  EXPECT_EQ("Error loading file \"missing.ogg\": Could not open file \"missing.ogg\".",
            thrown([] { OggStreamSource s("missing.ogg", 2, 4096); }));
  EXPECT_NE("(nothing thrown)", thrown([] { OggStreamSource s(STEREO, 0, 4096); }));
}

}  // namespace
