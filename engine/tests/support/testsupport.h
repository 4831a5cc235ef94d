// Helpers shared by the engine's and the game's tests.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace korvu_test {

// The repository root (for the game's resources).
std::string sourceDir();

// A fresh, empty directory of its own for one test.
std::string makeTempDir();

// Reads a whole file; empty when it cannot be read.
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);

// RGBA pixels of the current GL read buffer, bottom row first, as OpenGL
// hands them.
std::vector<uint8_t> readPixels(int x, int y, int width, int height);

// Writes RGBA pixels given bottom row first as build/test-artifacts/<name>.png
// so a person can look at what a rendering test checked.
void saveArtifact(const std::string& name, int width, int height,
                  const std::vector<uint8_t>& rgbaBottomUp);

// Reads back the whole window and saves it as an artifact.
void saveWindowArtifact(const std::string& name);

// Writes an 8-bit RGBA PNG file from pixels given top row first (for
// pictures a test loads through the engine).
void writeRgbaPng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgbaTopDown);

// A decoded PNG file (RGBA, 8 bits per channel, top row first).
struct DecodedPng {
  int width = 0;
  int height = 0;
  int bitDepth = 0;
  int colorType = 0;
  int interlace = 0;
  std::vector<uint8_t> rgba;
};
bool decodePng(const std::string& path, DecodedPng& out);

// What a function run in a child process did: its exit status (or the
// signal that ended it) and everything it wrote on standard output and
// standard error.
struct ChildResult {
  bool exited = false;    // ended through exit/_exit
  int exitStatus = -1;    // valid when exited
  int termSignal = 0;     // the signal that killed it, when not exited
  std::string out;
  std::string err;
};

// Sets SIGINT, SIGTERM and SIGHUP to their default actions, so that the quit
// signals a test sends act as they do for a program started from a
// terminal, whatever the runner (nohup, a CI job) left them as.
void defaultQuitSignals();

// Forks, runs fn in the child with standard output and standard error
// captured and the quit signals at their defaults (defaultQuitSignals), and
// ends the child with status 0 if fn returns. For code that
// ends the process (quit, fatal signals). An exit in fn ends the child at
// once, unless `throughStaticDestructors`: then it runs the atexit handlers
// and destroys the static objects as a real end does (in a sanitizer build
// the leak check then reports the parent's allocations, so such a child
// should end through _exit).
ChildResult runInChild(const std::function<void()>& fn, bool throughStaticDestructors = false);
// runInChild, where the child first becomes user and group 65534 with no
// other groups when the tests run as root, so that file permissions bind it
// as they bind a player; a child that cannot change user exits with 122.
// What it is to reach must be open to others.
ChildResult runUnprivileged(const std::function<void()>& fn);

// Another process that holds an exclusive flock on path (made where it is
// missing) from construction until release, as another copy of the game
// stopped in the middle of its save does. It ends with the test process.
class LockHolder {
 public:
  explicit LockHolder(const std::string& path);
  ~LockHolder() { release(); }
  LockHolder(const LockHolder&) = delete;
  LockHolder& operator=(const LockHolder&) = delete;
  void release();

 private:
  int pid_ = -1;
  int hold_ = -1;  // the write end of a pipe: closing it ends the holder
};

// Starts SDL's video and opens a real OpenGL window of the given size
// through korvu::init and korvu::initScreen (so korvu::screen,
// korvu::vpScreen and korvu::currentViewport are set), trying again for a
// while when it cannot connect to the X server. Returns an empty string on
// success, else the last failure message.
std::string openTestWindow(int width, int height);

// Shuts SDL down and clears the globals openTestWindow set, and the light
// stage's note of the OpenGL lights it left on, which die with the window.
void closeTestWindow();

// Fixture for tests that draw: starts SDL's video and opens a real OpenGL
// window (under Xvfb in CI) through korvu::init and korvu::initScreen, so
// korvu::screen, korvu::vpScreen and korvu::currentViewport are set:
// 8 bits per channel, a 24-bit depth and an 8-bit stencil buffer. TearDown
// shuts SDL down and clears those globals again.
class GLWindowTest : public ::testing::Test {
 protected:
  virtual int windowWidth() const { return 320; }
  virtual int windowHeight() const { return 240; }
  void SetUp() override;
  void TearDown() override;
};

}  // namespace korvu_test
