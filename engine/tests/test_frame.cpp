#include <GL/gl.h>
#include <SDL.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "controls.h"
#include "debug.h"
#include "korvu.h"
#include "testsupport.h"

// Last: its macros (None, Bool, Status) clash with the test framework's names.
#include <SDL_syswm.h>
#include <X11/Xlib.h>

using korvu_test::ChildResult;
using korvu_test::runInChild;

namespace {

const char* const PARACHUTE = "Korvu parachute deployed: ";
const char* const REPORT_TAIL = "Source: Korvu Debug Subsystem disabled!\nStack trace:\n";

// A signal a child raises once exit has destroyed every static object, the
// log groups among them; 0 for none. The raise is registered before any
// static object is built, so it runs after all their destructors.
volatile sig_atomic_t signalAfterStatics = 0;

void raiseAfterStatics() {
  if (signalAfterStatics != 0) std::raise(signalAfterStatics);
}

__attribute__((constructor(101))) void registerRaiseAfterStatics() { std::atexit(raiseAfterStatics); }

}  // namespace

TEST(EngineFrame, InitWithoutSubsystemsNamesTheGroupsAndKeepsTheirLevels) {
  // A level set before init survives it; only the name changes.
  korvu::debug::groups[korvu::dbgAudio] = korvu::debug::Group("old name", korvu::debug::DebugLevel::error);
  korvu::currentViewport = &korvu::vpScreen;
  korvu::fullscreen = true;
  Uint32 sdlBefore = SDL_WasInit(SDL_INIT_EVERYTHING);

  korvu::init(0, false);

  const char* expected[] = {"korvu:core",    "korvu:controls", "korvu:gui",   "korvu:ddd",
                            "korvu:math",    "korvu:sprites",  "korvu:images", "korvu:fonts",
                            "korvu:xml",     "korvu:audio",    "korvu:collision"};
  for (int i = 0; i < 11; ++i) {
    int id = -1 - i;
    ASSERT_EQ(korvu::debug::groups.count(id), 1u) << id;
    EXPECT_EQ(korvu::debug::groups[id].name, expected[i]);
  }
  EXPECT_EQ(korvu::debug::groups[korvu::dbgAudio].level, korvu::debug::DebugLevel::error);
  EXPECT_EQ(korvu::debug::groups[korvu::dbgXml].level, korvu::debug::DebugLevel::info);
  EXPECT_EQ(korvu::currentViewport, nullptr);
  EXPECT_FALSE(korvu::fullscreen);
  EXPECT_EQ(SDL_WasInit(SDL_INIT_EVERYTHING), sdlBefore);  // no SDL call

  korvu::debug::groups[korvu::dbgAudio].level = korvu::debug::DebugLevel::info;
}

TEST(EngineFrame, JustificationWords) {
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(korvu::justificationHorizontal(korvu::STR_JUSTIFICATION_HORIZONTAL[i]), i);
    EXPECT_EQ(korvu::justificationVertical(korvu::STR_JUSTIFICATION_VERTICAL[i]), i);
  }
  EXPECT_STREQ(korvu::STR_JUSTIFICATION_HORIZONTAL[2], "right");
  EXPECT_STREQ(korvu::STR_JUSTIFICATION_VERTICAL[2], "bottom");
  for (const char* other : {"Left", "Center", "middle", "", "right ", "bottom"})
    EXPECT_EQ(korvu::justificationHorizontal(other), 0) << other;
  for (const char* other : {"Top", "Center", "right", "BOTTOM"}) EXPECT_EQ(korvu::justificationVertical(other), 0);
  EXPECT_EQ(korvu::justificationHorizontal(nullptr), 0);
}

TEST(EngineFrame, DestroyingTheCurrentViewport) {
  korvu::Viewport* player = new korvu::Viewport(0, 0, 512, 768);
  korvu::currentViewport = player;
  { korvu::Viewport copy = *player; }  // a copy is not the current viewport
  EXPECT_EQ(korvu::currentViewport, player);
  delete player;
  EXPECT_EQ(korvu::currentViewport, &korvu::vpScreen);
  // The screen's own viewport going away leaves none current.
  korvu::vpScreen.~Viewport();
  EXPECT_EQ(korvu::currentViewport, nullptr);
  new (&korvu::vpScreen) korvu::Viewport();
}

// Without a window SDL cannot toggle (and would crash if asked): a call that
// reaches the toggle throws, one that does not must not.
TEST(EngineFrame, FullscreenWithoutAWindow) {
  ASSERT_EQ(korvu::screen, nullptr);
  korvu::fullscreen = true;
  EXPECT_NO_THROW(korvu::setFullscreen(true));
  try {
    korvu::setFullscreen(false);
    ADD_FAILURE() << "toggling without a window succeeded";
  } catch (const std::string& message) {
    EXPECT_EQ(message.rfind("Could not toggle fullscreen mode: ", 0), 0u) << message;
  }
  EXPECT_TRUE(korvu::fullscreen);  // unchanged by the failure
  korvu::fullscreen = false;
  korvu::flipScreen();  // nothing to present, and no crash
}

// The fatal-signal report: three lines on standard error, then the process
// ends by that signal.
TEST(EngineFrame, FatalSignalReport) {
  const struct {
    int sig;
    const char* description;
  } cases[] = {{SIGSEGV, "Segmentation fault."},
               {SIGILL, "Illegal instruction."},
               {SIGFPE, "Floating point exception."},
               {SIGABRT, "Abnormal termination (abort)."}};
  for (const auto& c : cases) {
    int sig = c.sig;
    ChildResult r = runInChild([sig] {
      korvu::init(0, true);
      std::raise(sig);
      _exit(99);  // not reached
    });
    EXPECT_EQ(r.termSignal, sig) << c.description;
    EXPECT_EQ(r.err, std::string(PARACHUTE) + c.description + "\n" + REPORT_TAIL);
    EXPECT_EQ(r.out, "");
  }
}

// SIGINT, SIGTERM and SIGHUP ask for the end that closing the window asks
// for; a second SIGINT or SIGTERM is fatal. A hangup comes twice from a
// closing terminal (its own and the shell's) and never is, and a write to a
// pipe whose reader is gone fails without ending the process.
TEST(EngineFrame, QuitSignalsAskForAnOrderlyEndAndASecondOneIsFatal) {
  const struct {
    int first, second;
    const char *said, *secondSaid;
  } cases[] = {{SIGINT, SIGINT, "Interactive attention.", "Interactive attention."},
               {SIGTERM, SIGTERM, "Termination request.", "Termination request."},
               {SIGHUP, SIGTERM, "Hangup.", "Termination request."}};
  for (const auto& c : cases) {
    ChildResult r = runInChild([&c] {
      korvu::init(0, true);
      korvu::ControlQueue queue;
      std::raise(c.first);
      if (queue.readEvents()) _exit(3);
      std::raise(SIGHUP);
      int ends[2];
      if (c.first == SIGHUP && (pipe(ends) != 0 || close(ends[0]) != 0 || write(ends[1], "x", 1) != -1)) _exit(4);
      std::raise(c.second);
    });
    EXPECT_EQ(r.termSignal, c.second) << c.said;
    EXPECT_EQ(r.err.rfind(std::string(c.said) + " Quitting", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(PARACHUTE + std::string(c.secondSaid)), std::string::npos) << r.err;
  }
  // One ignored before the engine starts (nohup, a background job of a
  // shell without job control) stays ignored; the others still quit, and
  // the quit line names only the second signals that end the program.
  const struct {
    int ignored, other;
    const char* said;
  } ignoredCases[] = {
      {SIGHUP, SIGTERM, "Termination request. Quitting; a second interrupt or termination signal ends the program"},
      {SIGINT, SIGTERM, "Termination request. Quitting; a second termination signal ends the program"},
      {SIGTERM, SIGINT, "Interactive attention. Quitting; a second interrupt ends the program"}};
  for (const auto& c : ignoredCases) {
    ChildResult r = runInChild([&c] {
      std::signal(c.ignored, SIG_IGN);
      korvu::init(0, true);
      korvu::ControlQueue queue;
      std::raise(c.ignored);
      if (!queue.readEvents()) _exit(3);
      std::raise(c.other);
      _exit(queue.readEvents() ? 4 : 0);
    });
    EXPECT_EQ(r.exitStatus, 0) << c.ignored << r.err;
    EXPECT_EQ(r.err, c.said + std::string(" at once.\n"));
  }
}

TEST(EngineFrame, SignalWithoutADescription) {
  ChildResult r = runInChild([] {
    korvu::init(0, true);
    korvu::handleSignal(SIGUSR1);
  });
  EXPECT_EQ(r.termSignal, SIGUSR1);
  EXPECT_EQ(r.err, std::string(PARACHUTE) + "Signal #" + std::to_string(SIGUSR1) + ".\n" + REPORT_TAIL);
}

TEST(EngineFrame, QuitExitsWithZeroAndWarnsOnASecondCall) {
  ChildResult r = runInChild([] {
    korvu::init(0, false);
    korvu::quit();
  });
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.out + r.err, "");  // only info lines, which the log does not write
  r = runInChild([] {
    korvu::init(0, false);
    korvu::quitting = true;  // as if the first quit were under way
    korvu::quit();
  });
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.out, "[korvu:core] (warning) Quit called again.\n");
  // A failed start-up ends with the status it gives.
  r = runInChild([] {
    korvu::init(0, false);
    korvu::quit(3);
  });
  EXPECT_EQ(r.exitStatus, 3);
}

// A fatal signal during the orderly quit: the report, then the warning of
// the second quit, and the failure status.
TEST(EngineFrame, SignalDuringQuit) {
  ChildResult r = runInChild([] {
    korvu::init(0, true);
    korvu::quitting = true;
    std::raise(SIGSEGV);
  });
  EXPECT_EQ(r.termSignal, SIGSEGV);
  EXPECT_EQ(r.err, std::string(PARACHUTE) + "Segmentation fault.\n" + REPORT_TAIL);
  EXPECT_EQ(r.out, "[korvu:core] (warning) Quit called again.\n");

  // A silenced core group silences the warning as well.
  r = runInChild([] {
    korvu::debug::groups[korvu::dbgCore].level = korvu::debug::DebugLevel::error;
    korvu::init(0, true);
    korvu::quitting = true;
    std::raise(SIGABRT);
  });
  EXPECT_EQ(r.termSignal, SIGABRT);
  EXPECT_EQ(r.out, "");
}

// A second quit signal that comes after exit has destroyed the log groups:
// the first asked for the end, the quit ran the static destructors. The
// warning of the second quit, or its silence when the level set after
// start-up silences it, was settled before, and nothing freed is read (the
// sanitizer build tells).
TEST(EngineFrame, ASecondQuitSignalAfterTheStaticDestructorsReadsNothingFreed) {
  for (bool silenced : {false, true}) {
    ChildResult r = runInChild([silenced] {
      korvu::init(0, true);
      if (silenced) korvu::debug::groups[korvu::dbgCore].level = korvu::debug::DebugLevel::error;
      std::raise(SIGTERM);
      signalAfterStatics = SIGTERM;
      korvu::quit();
    }, true);
    EXPECT_EQ(r.termSignal, SIGTERM) << silenced << r.err;
    EXPECT_EQ(r.out, silenced ? "" : "[korvu:core] (warning) Quit called again.\n");
    EXPECT_NE(r.err.find(std::string(PARACHUTE) + "Termination request."), std::string::npos) << r.err;
  }
}

// An X error asks for the orderly end; an engine started again does not
// inherit it.
TEST(EngineFrame, AnXErrorAsksForTheEndUntilTheEngineStartsAgain) {
  korvu::init(0, false);
  Display* display = XOpenDisplay(nullptr);
  ASSERT_NE(display, nullptr) << "run it under an X server (Xvfb)";
  XMapWindow(display, None);  // no such window
  XSync(display, False);
  EXPECT_TRUE(korvu::quitRequested());
  EXPECT_TRUE(korvu::displayLost());
  korvu::init(0, false);
  EXPECT_FALSE(korvu::quitRequested());
  EXPECT_FALSE(korvu::displayLost());
  XCloseDisplay(display);
}

// A lost connection to the X server, or the game's window destroyed by
// another program, ends the process in the handler that meets it, after the
// save the game handed over, with status 0: met in the event poll, and met
// by the renderer presenting a frame, which must not go on drawing into
// buffers of the sizes a failed request left.
TEST(EngineFrame, ALostXServerConnectionOrWindowSavesAndEndsWhereItIsMet) {
  enum Loss { CONNECTION_IN_THE_POLL, CONNECTION_IN_THE_FLIP, WINDOW_IN_THE_FLIP };
  for (Loss loss : {CONNECTION_IN_THE_POLL, CONNECTION_IN_THE_FLIP, WINDOW_IN_THE_FLIP}) {
    ChildResult r = runInChild([loss] {
      if (!korvu_test::openTestWindow(64, 48).empty()) _exit(4);
      korvu::onDisplayLost([] {
        if (write(STDOUT_FILENO, "saved\n", 6) != 6) _exit(5);
      });
      SDL_SysWMinfo info;
      SDL_VERSION(&info.version);
      if (SDL_GetWMInfo(&info) <= 0) _exit(6);
      if (loss == WINDOW_IN_THE_FLIP) {
        Display* other = XOpenDisplay(nullptr);
        if (!other) _exit(8);
        XDestroyWindow(other, info.info.x11.wmwindow);
        XSync(other, False);
      } else {
        // Both connections, as when the server ends.
        shutdown(ConnectionNumber(info.info.x11.display), SHUT_RDWR);
        shutdown(ConnectionNumber(info.info.x11.gfxdisplay), SHUT_RDWR);
      }
      if (loss == CONNECTION_IN_THE_POLL) {
        SDL_Event event;
        while (SDL_PollEvent(&event)) continue;
      } else {
        for (int frame = 0; frame < 2; ++frame) {
          korvu::clearScreen();
          korvu::flipScreen();
          glFinish();
        }
      }
      _exit(7);
    });
    EXPECT_TRUE(r.exited) << loss;
    EXPECT_EQ(r.exitStatus, 0) << loss << r.out << r.err;
    EXPECT_EQ(r.out, std::string("[korvu:core] (warning) ") +
                         (loss == WINDOW_IN_THE_FLIP ? "The game's window was destroyed from outside"
                                                     : "Lost the connection to the X server") +
                         "; quitting.\nsaved\n")
        << loss;
  }
}

TEST(EngineFrame, SdlStartFailureThrowsSdlsText) {
  // A video driver that does not exist makes SDL_Init fail.
  ChildResult r = runInChild([] {
    setenv("SDL_VIDEODRIVER", "no-such-driver", 1);
    try {
      korvu::init(SDL_INIT_VIDEO, false);
    } catch (const std::string& message) {
      std::fputs(message.c_str(), stdout);
      _exit(message.empty() ? 2 : 3);
    }
    _exit(1);
  });
  EXPECT_EQ(r.exitStatus, 3);
  EXPECT_EQ(r.out.find("[korvu"), std::string::npos) << r.out;
}


// ---------------------------------------------------------------------------
// With a real window

class FrameGL : public korvu_test::GLWindowTest {
 protected:
  int windowWidth() const override { return 200; }
  int windowHeight() const override { return 150; }
};

TEST_F(FrameGL, VideoModeHasTheRequestedBuffers) {
  ASSERT_NE(korvu::screen, nullptr);
  EXPECT_EQ(korvu::screen, SDL_GetVideoSurface());
  EXPECT_EQ(korvu::screen->w, 200);
  EXPECT_EQ(korvu::screen->h, 150);
  GLint bits = 0;
  glGetIntegerv(GL_STENCIL_BITS, &bits);
  EXPECT_EQ(bits, 8);
  glGetIntegerv(GL_DEPTH_BITS, &bits);
  EXPECT_EQ(bits, 24);
  for (GLenum channel : {GL_RED_BITS, GL_GREEN_BITS, GL_BLUE_BITS, GL_ALPHA_BITS}) {
    glGetIntegerv(channel, &bits);
    EXPECT_EQ(bits, 8) << channel;
  }
  int value = 0;
  SDL_GL_GetAttribute(SDL_GL_DOUBLEBUFFER, &value);
  EXPECT_EQ(value, 1);
  EXPECT_EQ(korvu::currentViewport, &korvu::vpScreen);
  GLint vp[4];
  glGetIntegerv(GL_VIEWPORT, vp);
  const korvu::Viewport& s = korvu::vpScreen;
  EXPECT_EQ((std::vector<float>{s.x, s.y, s.width, s.height}), (std::vector<float>{0, 0, 200, 150}));
  EXPECT_EQ((std::vector<GLint>(vp, vp + 4)), (std::vector<GLint>{0, 0, 200, 150}));
  GLfloat clear[4];
  glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
  for (float c : clear) EXPECT_EQ(c, 0.0f);
  EXPECT_FALSE(korvu::fullscreen);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// A quarter of the bits per pixel goes to each channel: 40 bits ask for 10
// per channel, which the 8-bit visuals of the test server cannot give; 28
// ask for 7, which an 8-bit visual satisfies.
TEST_F(FrameGL, ChannelSizeIsAQuarterOfTheBitsPerPixel) {
  korvu::initScreen(160, 120, 28, false);
  GLint bits = 0;
  glGetIntegerv(GL_RED_BITS, &bits);
  EXPECT_GE(bits, 7);
  EXPECT_EQ(korvu::vpScreen.width, 160);

  korvu::Viewport before = korvu::vpScreen;
  try {
    korvu::initScreen(300, 200, 40, true);
    ADD_FAILURE() << "10 bits per channel should not be available";
  } catch (const std::string& message) {
    EXPECT_FALSE(message.empty());
  }
  EXPECT_EQ(korvu::screen, nullptr);
  EXPECT_EQ(korvu::vpScreen.width, before.width);
  EXPECT_EQ(korvu::vpScreen.height, before.height);
  EXPECT_EQ(korvu::currentViewport, &korvu::vpScreen);
  EXPECT_FALSE(korvu::fullscreen);
}

// SDL opens a size of 0 at the current mode's (the last window's, or the
// screen's); the view is the window that opened, not the size asked for,
// or nothing would be drawn into it.
TEST_F(FrameGL, ViewportIsTheWindowThatOpened) {
  korvu::initScreen(0, 0, 32, false);
  ASSERT_NE(korvu::screen, nullptr);
  EXPECT_EQ(korvu::vpScreen.width, korvu::screen->w);
  EXPECT_EQ(korvu::vpScreen.height, korvu::screen->h);
  GLint vp[4];
  glGetIntegerv(GL_VIEWPORT, vp);
  EXPECT_EQ((std::vector<GLint>(vp, vp + 4)), (std::vector<GLint>{0, 0, korvu::screen->w, korvu::screen->h}));
}

// clearScreen clears colour and depth but leaves the stencil buffer alone
// (the shadow stage relies on clearing it itself).
TEST_F(FrameGL, ClearScreenLeavesTheStencil) {
  glClearStencil(7);
  glClear(GL_STENCIL_BUFFER_BIT);
  glClearStencil(0);
  glClearDepth(0.25);
  korvu::setClearColor(0.0f, 1.0f, 0.0f, 1.0f);
  korvu::clearScreen();

  EXPECT_EQ(korvu_test::readPixels(100, 75, 1, 1), (std::vector<uint8_t>{0, 255, 0, 255}));
  GLfloat depth = 0;
  glReadPixels(100, 75, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
  EXPECT_NEAR(depth, 0.25f, 1e-6);
  GLubyte stencil = 0;
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(100, 75, 1, 1, GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, &stencil);
  EXPECT_EQ(stencil, 7);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  korvu_test::saveWindowArtifact("frame_clear_green");
  korvu::flipScreen();
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// The flag follows the window, and asking for the state it is already in
// leaves the window alone.
TEST_F(FrameGL, FullscreenFollowsTheWindow) {
  auto windowIsFull = [] { return (korvu::screen->flags & SDL_FULLSCREEN) != 0; };
  korvu::setFullscreen(true);
  EXPECT_TRUE(korvu::fullscreen);
  EXPECT_TRUE(windowIsFull());
  korvu::setFullscreen(true);
  EXPECT_TRUE(korvu::fullscreen);
  EXPECT_TRUE(windowIsFull());
  korvu::toggleFullscreen();
  EXPECT_FALSE(korvu::fullscreen);
  EXPECT_FALSE(windowIsFull());
  korvu::setFullscreen(false);
  EXPECT_FALSE(windowIsFull());
}
