// The game's debugging console: commands typed on standard input while the
// game runs. The console thread only parses; what touches the window or the
// race ("fullscreen", "sunpos", "rotatez") is handed to the main thread,
// which carries it out between frames (performPending), so the console never
// races the drawing.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "console.h"

namespace glimro {

extern const std::string CMD_QUIT;        // "quit"
extern const std::string CMD_CLOSE;       // "close"
extern const std::string CMD_FULLSCREEN;  // "fullscreen"
extern const std::string CMD_SUNPOS;      // "sunpos"

class ConsoleThread : public korvu::quilvane::ConsoleThread {
 public:
  ConsoleThread();
  ~ConsoleThread() override;

  // On the console thread: "quit" and "close" stop the console, "fullscreen"
  // stops it and queues the switch, "sunpos" with three numbers and
  // "rotatez" are queued, anything else is answered as unknown.
  void execute(const korvu::quilvane::Command& cmd) override;

  // On the main thread: carries out the queued commands in the order typed.
  // "sunpos" and "rotatez" do nothing while no race runs; a failed switch to
  // fullscreen keeps the window and says so.
  void performPending();

 protected:
  // Reads commands from the given descriptor instead of standard input.
  explicit ConsoleThread(int inputFd);

 private:
  std::mutex mutex;
  std::vector<korvu::quilvane::Command> pending;  // guarded by mutex
};

}  // namespace glimro
