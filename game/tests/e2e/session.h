// The whole game program driven from outside, as a player drives it: a
// private X server, a folder of its own with the game's data, real pointer
// and key events through xdotool, the console fed through a pipe, frames
// read back from the window. A session always ends the program it started.
#pragma once

#include <sys/types.h>
#include <sys/wait.h>

#include <csignal>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "guilayout.h"
#include "testsupport.h"

typedef struct _XDisplay Display;

namespace glimro_e2e {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start);
void pauseFor(double seconds);

// An Xvfb server of its own, so no other window takes the pointer or the
// keyboard; DISPLAY names it while it runs.
class XServer {
 public:
  XServer();
  ~XServer();
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;
  bool running() const { return pid > 0; }
  // Ends the server under its clients, which lose their connections; by
  // default as a session ending does, SIGKILL as a crash does.
  void stop(int sig = SIGTERM);
  std::string name;  // ":N"
  // A key of its own for "#": the standard layout has "#" only on a shifted
  // key, and the game binds the key whose plain symbol is "#". Its keycode
  // as xdotool takes it; empty when no keycode was free.
  std::string hashKey;

 private:
  pid_t pid = -1;
};

// What the game's folder holds besides the game's own resources.
struct GameSetup {
  int width = 800;
  int height = 600;
  int laps = 1;
  // The settings file's text; empty: one made from the fields above.
  std::string settings;
  bool sound = true;
  // OpenAL's configuration; empty for the null driver of the tests.
  std::string alsoftConf;
  // Paths below resources/ left out, or replaced by the given bytes (for
  // start-ups that cannot succeed).
  std::vector<std::string> omit;
  std::vector<std::pair<std::string, std::string>> replace;
  // The program to start and the folder to start it in, for a game that
  // sets up its folder itself; empty: the built program, in the game's
  // folder. The logs go to the game's folder all the same.
  std::string program;
  std::string startFolder;
  // Set in the game's environment, besides the driver's own.
  std::vector<std::pair<std::string, std::string>> environment;
};

// A working directory for the game: resources/ with links to the
// repository's resources but the settings, which are written anew, and the
// paths the setup leaves out or replaces.
std::string makeGameFolder(const GameSetup& setup);

// An RGB frame of the window, top row first.
struct Frame {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;
  const uint8_t* at(int x, int y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
  bool empty() const { return rgb.empty(); }
};

// Mean absolute difference per channel between two frames of one size, 0..255
// (255 for frames of different sizes), over the whole frame or the columns
// from x0 on that are `width` wide.
double frameDifference(const Frame& a, const Frame& b);
double frameDifference(const Frame& a, const Frame& b, int x0, int width);
Frame toFrame(const korvu_test::DecodedPng& png);
// Keeps the frame as the artifact e2e_<name>.png; nothing for an empty frame.
void saveFrame(const std::string& name, const Frame& frame);

class GameSession {
 public:
  GameSession(const std::string& folder, const GameSetup& setup);
  // Kills the program when it still runs.
  ~GameSession();
  GameSession(const GameSession&) = delete;
  GameSession& operator=(const GameSession&) = delete;

  // Starts the program in its folder with standard input from a pipe.
  void launch();
  Clock::time_point launchedAt() const { return launched; }
  // Polls for the window titled "Glimro"; false after the timeout.
  bool waitForWindow(double timeoutSeconds);
  // Polls until the window shows something other than one flat colour.
  bool waitForPicture(double timeoutSeconds);

  // The widget's place on the screen, from the game's GUI description.
  ScreenRect widget(const std::string& name) const;
  // The menu panel shows in the frame.
  bool panelVisible(const Frame& frame, const std::string& panel) const;
  // Polls until a frame of the window shows what `shown` looks for; false
  // after the timeout.
  bool waitFor(const std::function<bool(const Frame&)>& shown, double timeoutSeconds);
  bool waitForPanel(const std::string& panel, double timeoutSeconds);
  // Clicks the widget and waits until the window shows what the click must
  // (`shows`), which it must not show before the click; the pointer then
  // rests at the bottom edge, over no widget. False, with the test failed,
  // where it does not show.
  bool clickWidget(const std::string& name, const std::function<bool(const Frame&)>& shows,
                   double timeoutSeconds = 5.0);
  // A button that opens a menu panel, until the panel shows.
  bool openPanel(const std::string& button, const std::string& panel);
  // A drop-down list, which steps on to its next item, until the list shows
  // another caption at rest.
  bool stepList(const std::string& list);
  void restPointer();
  // A new profile as the README says: "New profile" (the given button),
  // point at the name field, type the name, OK; each step waits until the
  // window shows it (the dialog, the field's focus mark, the name in the
  // field, the dialog gone). Where `saved`, the test fails unless the
  // profile is then on file.
  void createProfile(const std::string& newProfileButton, const std::string& name, bool saved = true);

  // Real input through the X server.
  void click(int x, int y);
  // Presses and releases the first button where the pointer is.
  void press();
  void movePointer(int x, int y);
  void key(const std::string& keysym);
  void keyDown(const std::string& keysym);
  void keyUp(const std::string& keysym);
  void type(const std::string& text);
  // What a window manager sends when the window's close button is pressed.
  void closeWindow();
  // Destroys the window from outside, as a desktop's "force close" does.
  void destroyWindow();
  // Closes the session's own connection to the X server, which Xlib would
  // end the test program on when the server goes.
  void disconnect();
  // Sends the program a signal (SIGTERM as a desktop logging out does).
  void signal(int sig);
  // Words for the console, as typed on standard input.
  void console(const std::string& words);
  // Closes the console's input for good.
  void closeInput();

  // The window's contents now.
  Frame grab();
  // F12; waits for a new "screenshot.png", keeps a copy as the artifact
  // e2e_<name>.png and returns it decoded (empty on timeout).
  korvu_test::DecodedPng screenshot(const std::string& name);

  // Waits for the program to end; false on timeout.
  bool waitForExit(double timeoutSeconds);
  bool exited() const { return ended && WIFEXITED(status); }
  int exitStatus() const { return WEXITSTATUS(status); }
  // The wait status of the ended program.
  int waitStatus() const { return status; }
  // How the program failed when it died by a crash's signal or wrote a
  // sanitizer's report: the report, or the backtrace of each of its threads
  // from its core, and its last lines. Empty for any other end. The wait
  // that sees such an end fails the test with it.
  const std::string& failureReport() const { return failure; }
  bool signalled() const { return ended && WIFSIGNALED(status); }
  // Peak resident set of the ended program in kilobytes.
  long maxResidentKb() const { return maxRss; }
  // What the running program holds of its own now, in kilobytes: its
  // private pages, without the code of the libraries it shares (0 when it
  // cannot be read).
  long privateKb() const;
  bool running() const { return pid > 0 && !ended; }
  pid_t processId() const { return pid; }
  // The running program's scheduler state, processor time and what it
  // waits in, as /proc tells them; for the report of a failed test.
  std::string processState() const;
  // The backtrace of each of the running program's threads, the debugger
  // attached for a moment; for the report of a failed test.
  std::string threads() const;

  std::string out() const;
  std::string err() const;
  std::string file(const std::string& name) const;
  const std::string& folder() const { return dir; }
  const GameSetup& setup() const { return gameSetup; }

 private:
  void xdotool(const std::string& args);
  // Presses or releases the key through the X server's test extension;
  // false when it cannot (no window yet, no extension library).
  bool fakeKey(const std::string& keysym, bool down);
  void kill();

  // Called once, when the wait sees the end.
  void explainEnd();

  std::string dir;
  GameSetup gameSetup;
  // The file the running program was started from, for its core.
  std::string executable;
  std::string failure;
  pid_t pid = -1;
  int input = -1;  // write end of the console's pipe
  bool ended = false;
  int status = 0;
  long maxRss = 0;
  unsigned long window = 0;
  Display* display = nullptr;
  Clock::time_point launched;
};

// Fails the current test with the program's logs when it wrote a critical
// line or a fatal-signal report, or did not end with status 0.
void expectCleanEnd(const GameSession& session);

}  // namespace glimro_e2e
