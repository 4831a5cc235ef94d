// The game's sounds and music as the engine plays them: the sounds list
// decodes into OpenAL buffers, both music loops stream, the loops meet
// without a click, and the music is neither silent nor clipped.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <AL/al.h>

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

const char* const MUSIC[] = {"resources/sounds/title.ogg", "resources/sounds/ingame.ogg"};

// The lists name their files relative to the repository root, where the
// game runs; audio is on.
class GameAudioTest : public ::testing::Test {
 protected:
  void SetUp() override {
    (void)alsoftConf;
    char* cwd = getcwd(nullptr, 0);
    ASSERT_NE(nullptr, cwd);
    previous = cwd;
    std::free(cwd);
    ASSERT_EQ(0, chdir(korvu_test::sourceDir().c_str()));
    cleanUp();
    enabled = true;
    ASSERT_NO_THROW(init("", 44100));
  }
  void TearDown() override {
    cleanUp();
    EXPECT_EQ(0, chdir(previous.c_str()));
  }

 private:
  std::string previous;
};

// A whole file decoded through the engine's reader, one vector per channel.
struct Pcm {
  int rate = 0;
  std::vector<std::vector<int16_t>> channels;
  size_t frames() const { return channels.empty() ? 0 : channels[0].size(); }
};

Pcm decode(const std::string& file) {
  OggFileLoader loader(nullptr, file);
  unsigned int bytes = loader.getSize();
  const char* data = loader.read(&bytes, false);
  Pcm pcm;
  pcm.rate = loader.getFrequency();
  const size_t count = loader.getFormat() == AL_FORMAT_STEREO16 ? 2 : 1;
  pcm.channels.resize(count);
  const size_t frames = bytes / (2 * count);
  for (size_t i = 0; i < frames; ++i)
    for (size_t c = 0; c < count; ++c) {
      int16_t v;
      std::memcpy(&v, data + 2 * (i * count + c), 2);
      pcm.channels[c].push_back(v);
    }
  return pcm;
}

// How far the last sample is from the first, the step the loop takes when it
// starts over, against the steps within the sound: a loop cut off midway
// jumps far beyond nearly all of them.
struct Seam {
  int jump;
  int usualStep;  // exceeded by only one step in a thousand
};

Seam seamOf(const std::vector<int16_t>& x) {
  std::vector<int> steps;
  for (size_t i = 1; i < x.size(); ++i) steps.push_back(std::abs(x[i] - x[i - 1]));
  const size_t at = steps.size() * 999 / 1000;
  std::nth_element(steps.begin(), steps.begin() + at, steps.end());
  return {std::abs(x.front() - x.back()), steps[at]};
}

double rmsDb(const std::vector<int16_t>& x) {
  double sum = 0.0;
  for (int16_t v : x) sum += double(v) * v;
  return 20.0 * std::log10(std::sqrt(sum / x.size()) / 32768.0 + 1e-12);
}

// The share of a sound's RMS level that lies above hz: the level after a
// second-order high-pass over the whole level.
double shareAbove(const std::vector<int16_t>& x, double hz, int rate) {
  const double w = 2.0 * M_PI * hz / rate, c = std::cos(w), alpha = std::sin(w) / std::sqrt(2.0);
  const double b0 = 0.5 * (1.0 + c) / (1.0 + alpha), b1 = -2.0 * b0;
  const double a1 = -2.0 * c / (1.0 + alpha), a2 = (1.0 - alpha) / (1.0 + alpha);
  double x1 = 0.0, x2 = 0.0, y1 = 0.0, y2 = 0.0, high = 0.0, all = 0.0;
  for (int16_t v : x) {
    const double y = b0 * (v + x2) + b1 * x1 - a1 * y1 - a2 * y2;
    x2 = x1, x1 = v, y2 = y1, y1 = y;
    high += y * y;
    all += double(v) * v;
  }
  return std::sqrt(high / all);
}

int peakOf(const std::vector<int16_t>& x) {
  int peak = 0;
  for (int16_t v : x) peak = std::max(peak, std::abs(int(v)));
  return peak;
}

TEST_F(GameAudioTest, SoundListHoldsTheRaceSoundsAndEachDecodesIntoABuffer) {
  SoundBank bank;
  ASSERT_NO_THROW(bank.load("resources/sounds.xml"));
  std::vector<std::string> names;
  for (const auto& entry : bank) names.push_back(entry.first);
  EXPECT_EQ((std::vector<std::string>{"beep", "engine"}), names);
  ASSERT_NO_THROW(bank.refresh());
  for (const auto& [name, sound] : bank) {
    SCOPED_TRACE(name);
    ASSERT_NE(nullptr, sound);
    EXPECT_NE(0u, sound->buffer);
    EXPECT_TRUE(alIsBuffer(sound->buffer));
    // Placed in the world, so mono: OpenAL does not position stereo.
    EXPECT_EQ(AL_FORMAT_MONO16, sound->format);
    EXPECT_EQ(44100, sound->frequency);
    ALint size = 0;
    alGetBufferi(sound->buffer, AL_SIZE, &size);
    EXPECT_EQ(sound->size, size);
    EXPECT_GT(size, 0);
  }
  ASSERT_NE(nullptr, bank["engine"]);
  EXPECT_TRUE(bank["engine"]->loop);
  EXPECT_FALSE(bank["beep"]->loop);
}

TEST_F(GameAudioTest, EngineTurbineLoopsWithoutAClickAndSingsAboveAKilohertz) {
  const Pcm pcm = decode("resources/sounds/engine.ogg");
  ASSERT_EQ(1u, pcm.channels.size());
  const std::vector<int16_t>& x = pcm.channels[0];
  // Decoded whole into memory: a few seconds at most.
  ASSERT_GE(x.size(), size_t(pcm.rate));
  EXPECT_LE(x.size(), size_t(5 * pcm.rate));
  const Seam seam = seamOf(x);
  EXPECT_LE(seam.jump, seam.usualStep);
  // About as loud as the music, with room for two vehicles.
  EXPECT_GT(rmsDb(x), -20.0);
  EXPECT_LT(rmsDb(x), -11.0);
  EXPECT_LT(peakOf(x), 30000);
  // The race plays it from a tenth of its pitch: what lies above 1 kHz is
  // what is still heard down there. Played a third faster it must not
  // shriek, so little lies above 7 kHz.
  EXPECT_GT(shareAbove(x, 1000.0, pcm.rate), 0.35);
  EXPECT_LT(shareAbove(x, 7000.0, pcm.rate), 0.15);
}

TEST_F(GameAudioTest, BeepIsShortAndStartsAndEndsAtRest) {
  const Pcm pcm = decode("resources/sounds/beep.ogg");
  ASSERT_EQ(1u, pcm.channels.size());
  const std::vector<int16_t>& x = pcm.channels[0];
  EXPECT_GE(x.size(), size_t(0.15 * pcm.rate));
  EXPECT_LE(x.size(), size_t(0.4 * pcm.rate));
  const int peak = peakOf(x);
  EXPECT_GT(peak, 8000);
  EXPECT_LT(peak, 30000);
  // A sound that starts or stops away from zero clicks.
  EXPECT_LT(std::abs(int(x.front())), peak / 50);
  EXPECT_LT(std::abs(int(x.back())), peak / 50);
}

TEST_F(GameAudioTest, MusicLoopsAreLongStereoBrightUnclippedAndSeamless) {
  for (const char* file : MUSIC) {
    SCOPED_TRACE(file);
    const Pcm pcm = decode(file);
    EXPECT_EQ(44100, pcm.rate);
    ASSERT_EQ(2u, pcm.channels.size());
    // Long enough that a race does not hear the same bars over and over.
    EXPECT_GE(pcm.frames(), 90u * 44100u);
    EXPECT_LE(pcm.frames(), 180u * 44100u);
    for (const std::vector<int16_t>& x : pcm.channels) {
      EXPECT_GT(rmsDb(x), -17.0);
      EXPECT_LT(rmsDb(x), -11.0);
      // Not muffled: a dull mix keeps nearly all of its level under 2 kHz.
      EXPECT_GT(shareAbove(x, 2000.0, pcm.rate), 0.15);
      // The decoder holds overshoots at full scale: any there is a clip.
      EXPECT_LT(peakOf(x), 32767);
      const Seam seam = seamOf(x);
      EXPECT_LE(seam.jump, seam.usualStep);
    }
  }
}

TEST_F(GameAudioTest, MusicStreamsThroughTheEngineAndWrapsWithoutEnding) {
  for (const char* file : MUSIC) {
    SCOPED_TRACE(file);
    Emitter music;
    OggStreamSource* stream = nullptr;
    ASSERT_NO_THROW(stream = new OggStreamSource(file, 2, 262144));
    music += stream;
    stream->loop = true;
    stream->apply();
    stream->play();
    // Longer than the ring, so filling it did not reach the end.
    EXPECT_FALSE(stream->finished);
    ALint queued = 0;
    alGetSourcei(stream->source, AL_BUFFERS_QUEUED, &queued);
    EXPECT_EQ(2, queued);
    for (unsigned int i = 0; i < 2; ++i) {
      ALint channels = 0, rate = 0, size = 0;
      alGetBufferi(stream->buffers[i], AL_CHANNELS, &channels);
      alGetBufferi(stream->buffers[i], AL_FREQUENCY, &rate);
      alGetBufferi(stream->buffers[i], AL_SIZE, &size);
      EXPECT_EQ(2, channels);
      EXPECT_EQ(44100, rate);
      EXPECT_EQ(262144, size);
    }
    EXPECT_NO_THROW(music.perform(10.0f));
    EXPECT_EQ(BasicSource::STATE_PLAYING, stream->state);

    // What the refills hand on across the end of the file: full buffers,
    // and after the wrap the file's start again.
    const Pcm whole = decode(file);
    const size_t bytes = whole.frames() * 4;
    OggFileLoader loader(nullptr, file);
    size_t delivered = 0;
    std::vector<int16_t> wrapped;
    while (delivered <= bytes) {
      unsigned int count = 262144;
      const char* data = loader.read(&count, true);
      ASSERT_EQ(262144u, count);
      const size_t before = delivered;
      delivered += count;
      if (delivered > bytes) {
        const size_t offset = bytes - before;
        for (size_t b = offset; b + 1 < count; b += 4) {
          int16_t v;
          std::memcpy(&v, data + b, 2);
          wrapped.push_back(v);
        }
      }
    }
    ASSERT_FALSE(wrapped.empty());
    const size_t n = std::min(wrapped.size(), whole.frames());
    EXPECT_TRUE(std::equal(wrapped.begin(), wrapped.begin() + n, whole.channels[0].begin()));
  }
}

}  // namespace
