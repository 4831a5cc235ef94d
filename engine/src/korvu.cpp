#include "korvu.h"

#include <GL/gl.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <malloc.h>
#include <pthread.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "audio/audio.h"
#include "ddd/pipeline.h"

namespace korvu {

Viewport vpScreen;
Viewport* currentViewport = nullptr;
SDL_Surface* screen = nullptr;
bool fullscreen = false;
bool quitting = false;

const DebugGroupDefinition defDebugGroups[12] = {
    {dbgCore, "core"},     {dbgControls, "controls"}, {dbgGui, "gui"},     {dbgDdd, "ddd"},
    {dbgMath, "math"},     {dbgSprites, "sprites"},   {dbgImages, "images"}, {dbgFonts, "fonts"},
    {dbgXml, "xml"},       {dbgAudio, "audio"},       {dbgCollision, "collision"},
    {0, ""}};

const char* const STR_JUSTIFICATION_HORIZONTAL[3] = {"left", "center", "right"};
const char* const STR_JUSTIFICATION_VERTICAL[3] = {"top", "center", "bottom"};

Viewport::~Viewport() {
  if (currentViewport == this) currentViewport = (this == &vpScreen) ? nullptr : &vpScreen;
}

namespace {

int wordIndex(const char* word, const char* const table[3]) {
  if (!word) return 0;
  for (int i = 0; i < 3; ++i) {
    if (std::strcmp(word, table[i]) == 0) return i;
  }
  return 0;
}

// The signals the handler reports, in the order it is installed for them.
const int FATAL_SIGNALS[] = {SIGSEGV, SIGILL, SIGFPE, SIGABRT};
// The signals that ask for an orderly end, as closing the window does (a
// terminal's Ctrl+C, a desktop logging out, a terminal closed or an ssh
// session dropped); a second one is fatal, but for a hangup: a closing
// terminal sends one and the shell passes its own on, so a player who
// closed it would lose what the end saves. One ignored when the program
// started stays ignored: nohup ignores the hangup for a game meant to
// outlive its terminal, and a shell without job control the interrupt for
// the jobs it starts in the background.
const int QUIT_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};

// Entries into the handler so far.
volatile sig_atomic_t signalCalls = 0;
// The quit signal received first, 0 before.
volatile sig_atomic_t quitSignal = 0;
// The rest of the quit line: the second signals that end the program at
// once, of those it catches (init leaves an ignored one ignored).
const char* const QUIT_LINE_ENDS[] = {
    " Quitting.\n", " Quitting; a second interrupt ends the program at once.\n",
    " Quitting; a second termination signal ends the program at once.\n",
    " Quitting; a second interrupt or termination signal ends the program at once.\n"};
const char* quitLineEnd = QUIT_LINE_ENDS[3];
// Set once the X server has refused a request or gone: the window was
// destroyed from outside, or the display closed.
bool displayFailed = false;
// What the program saves before it ends on a lost X server; null for nothing.
void (*displayLostHook)() = nullptr;
// The windows SDL made for the game (drawn into, fullscreen, managed), so
// that an error about one of them can be told for what it is.
Window ownWindows[3] = {0, 0, 0};
// The GLX extension's first error code, for its bad-drawable error (the
// protocol's GLXBadDrawable, 2 past it); -1 where the server has no GLX.
int glxFirstError = -1;
const int GLX_BAD_DRAWABLE = 2;

// The screen's size as SDL found it before the first window; 0 unknown.
int screenWidth = 0;
int screenHeight = 0;

bool isOwnWindow(XID id) {
  for (Window w : ownWindows)
    if (w != 0 && w == id) return true;
  return false;
}

// A request on the game's window failed because the window is gone: the
// error of a plain X request on it, or of the renderer presenting into it.
bool isOwnWindowGone(const XErrorEvent* e) {
  const bool gone = e->error_code == BadWindow || e->error_code == BadDrawable ||
                    (glxFirstError >= 0 && e->error_code == glxFirstError + GLX_BAD_DRAWABLE);
  return gone && isOwnWindow(e->resourceid);
}

// Writes a whole text with nothing but write(2), which may be called from
// a signal handler; gives up at the first failed write.
void writeAll(int fd, const char* text) {
  size_t left = std::strlen(text);
  while (left > 0) {
    ssize_t n = ::write(fd, text, left);
    if (n <= 0) return;
    text += n;
    left -= static_cast<size_t>(n);
  }
}

void writeErr(const char* text) { writeAll(STDERR_FILENO, text); }

// "Signal #<n>." without the stdio formatter (not safe in a handler).
void writeSignalNumber(int sig) {
  char buf[32];
  char digits[16];
  int nd = 0;
  unsigned int v = sig < 0 ? static_cast<unsigned int>(-(sig + 1)) + 1u : static_cast<unsigned int>(sig);
  do {
    digits[nd++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v > 0 && nd < 16);
  int pos = 0;
  const char* prefix = "Signal #";
  while (*prefix) buf[pos++] = *prefix++;
  if (sig < 0) buf[pos++] = '-';
  while (nd > 0) buf[pos++] = digits[--nd];
  buf[pos++] = '.';
  buf[pos++] = '\n';
  buf[pos] = '\0';
  writeErr(buf);
}

const char* signalDescription(int sig) {
  switch (sig) {
    case SIGINT: return "Interactive attention.";
    case SIGILL: return "Illegal instruction.";
    case SIGFPE: return "Floating point exception.";
    case SIGSEGV: return "Segmentation fault.";
    case SIGTERM: return "Termination request.";
    case SIGHUP: return "Hangup.";
    case SIGABRT: return "Abnormal termination (abort).";
    default: return nullptr;
  }
}

// The warning of a second quit as the signal handler writes it, or empty
// when the core group's level silences warnings. Prepared on the main thread
// by init and again by the first quit (the settings may have changed the
// level in between), because the handler may run after exit has destroyed
// the log groups: it reads this buffer and no container.
char quitAgainLine[256] = "";

void prepareQuitAgainLine() {
  const char* name = "undefined";
  auto it = debug::groups.find(dbgCore);
  if (it != debug::groups.end()) {
    if (static_cast<int>(it->second.level) < static_cast<int>(debug::DebugLevel::warning)) {
      quitAgainLine[0] = '\0';
      return;
    }
    name = it->second.name.c_str();
  }
  std::snprintf(quitAgainLine, sizeof quitAgainLine, "[%s] (warning) Quit called again.\n", name);
}

// Ends the process where the loss of the display is met, after the save the
// game handed over (onDisplayLost), with status 0. Returning into whatever
// met it is what must not happen: the software renderer, asking the server
// for the size of a window that is gone, ignores the failure and draws into
// buffers of whatever sizes it got. SDL and the renderer are not shut down,
// as their teardown asks the server again; the system closes the window's
// connections, the audio device and the joysticks.
[[noreturn]] void endOnLostDisplay() {
  displayFailed = true;
  if (!quitting) {
    quitting = true;
    if (displayLostHook) {
      try {
        displayLostHook();
      } catch (const std::string& message) {
        debug::error(dbgCore, "%s", message.c_str());
      } catch (...) {
        debug::error(dbgCore, "Could not save before the end on a lost display.");
      }
    }
  }
  std::fflush(nullptr);
  _exit(0);
}

// Any X error ends the program as closing the window does, instead of
// Xlib's default of exiting at once with nothing saved. SDL chains its own
// handler to this one, so the errors SDL expects never arrive here. The
// game's own window destroyed from outside ends it at once, as a lost
// connection does: the error comes from the renderer's request for its size.
int onXError(Display* display, XErrorEvent* e) {
  if (displayFailed) return 0;
  displayFailed = true;
  // A window destroyed by another program shows up as the next request on
  // it failing; the log names the cause, not the request.
  if (isOwnWindowGone(e)) {
    debug::warning(dbgCore, "The game's window was destroyed from outside; quitting.");
    endOnLostDisplay();
  }
  char text[128];
  XGetErrorText(display, e->error_code, text, sizeof text);
  debug::warning(dbgCore, "The X server refused a request (%s, major opcode %d); quitting.", text,
                 static_cast<int>(e->request_code));
  return 0;
}

// Xlib requires this handler not to return.
int onXIOError(Display*) {
  if (!displayFailed) debug::warning(dbgCore, "Lost the connection to the X server; quitting.");
  endOnLostDisplay();
}

}  // namespace

JustificationHorizontal justificationHorizontal(const char* word) {
  return static_cast<JustificationHorizontal>(wordIndex(word, STR_JUSTIFICATION_HORIZONTAL));
}

JustificationVertical justificationVertical(const char* word) {
  return static_cast<JustificationVertical>(wordIndex(word, STR_JUSTIFICATION_VERTICAL));
}

void init(SubSystem flags, bool catchSignals) {
  // The allocator's default raises its threshold for mapping a block of its
  // own to the size of the largest such block freed so far. Loading frees
  // big blocks (decoded pictures), so from then on every texture, sky side
  // and rasterizer bin array of the software renderer came from the heap,
  // where each race's set-up and teardown left holes that later small
  // blocks pinned: resident memory grew with every race and stayed. With
  // the threshold fixed, big blocks are mapped and handed back when freed;
  // the heap's top is returned once a megabyte of it is free, so a frame's
  // own coming and going does not move it back and forth.
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
  mallopt(M_TRIM_THRESHOLD, 1024 * 1024);
  currentViewport = nullptr;
  for (const DebugGroupDefinition* d = defDebugGroups; d->id != 0; ++d) {
    // operator[] creates a missing group with the defaults; an existing one
    // keeps its level and only gets its name.
    debug::groups[d->id].name = std::string("korvu:") + d->word;
  }
  debug::init();
  prepareQuitAgainLine();
  if (catchSignals) {
    debug::info(dbgCore, "Setting signal handler.");
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = handleSignal;
    sigemptyset(&action.sa_mask);
    // A fault inside the handler enters it again (instead of being blocked,
    // which would kill the process silently); the call counter then ends it.
    action.sa_flags = SA_NODEFER;
    for (int sig : FATAL_SIGNALS) sigaction(sig, &action, nullptr);
    // A quit request only raises a flag; the calls it interrupts go on.
    action.sa_handler = handleQuitSignal;
    action.sa_flags = SA_RESTART;
    int caught = 0;  // as QUIT_LINE_ENDS counts: 1 the interrupt, 2 the termination signal
    for (int sig : QUIT_SIGNALS) {
      struct sigaction before;
      if (sigaction(sig, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
      sigaction(sig, &action, nullptr);
      caught |= sig == SIGINT ? 1 : sig == SIGTERM ? 2 : 0;
    }
    quitLineEnd = QUIT_LINE_ENDS[caught];
    // The log on standard output may be piped into a program that a closed
    // terminal has ended: a write there fails instead of ending the game
    // before the end has saved.
    std::signal(SIGPIPE, SIG_IGN);
  }
  // Before SDL opens the display, so that SDL's own handler passes on to it.
  XSetErrorHandler(onXError);
  displayFailed = false;  // a display that failed before belongs to an engine that has ended
  fullscreen = false;
  if (flags > 0) {
    // Without an X display, or with one that cannot be opened (a terminal
    // multiplexer keeps the DISPLAY of a session that has ended), SDL's
    // video start does not fail but falls back to a text-mode driver that
    // takes the terminal over, and the window then fails for want of
    // OpenGL, as if the size asked for were wrong. Held to X for its start,
    // SDL fails there instead. A driver chosen on purpose (SDL_VIDEODRIVER)
    // is left to SDL.
    const char* environmentDisplay = std::getenv("DISPLAY");
    const std::string display = environmentDisplay ? environmentDisplay : "";
    const char* driver = std::getenv("SDL_VIDEODRIVER");
    const bool holdToX = (flags & SDL_INIT_VIDEO) && (!driver || !*driver);
    if (holdToX && display.empty()) throw std::string("No display to open a window on: DISPLAY is not set");
    // Put back after the start, so that a later start still tells the
    // user's choice from ours.
    const bool driverWasSet = driver != nullptr;
    if (holdToX) setenv("SDL_VIDEODRIVER", "x11", 1);
    debug::info(dbgCore, "Initialising SDL.");
    const bool started = SDL_Init(static_cast<Uint32>(flags)) == 0;
    if (holdToX) {
      if (driverWasSet)
        setenv("SDL_VIDEODRIVER", "", 1);
      else
        unsetenv("SDL_VIDEODRIVER");
    }
    // SDL starts video before its other subsystems and keeps what started;
    // its reason alone ("No available video device") does not say that the
    // display is what failed.
    if (!started && holdToX && !SDL_WasInit(SDL_INIT_VIDEO))
      throw "Could not open the X display \"" + display + "\": " + SDL_GetError();
    if (!started) throw std::string(SDL_GetError());
    if (const SDL_VideoInfo* info = (flags & SDL_INIT_VIDEO) ? SDL_GetVideoInfo() : nullptr) {
      screenWidth = info->current_w;
      screenHeight = info->current_h;
    }
  }
}

void initScreen(int width, int height, int bitsPerPixel, bool full) {
  // SDL would open a window larger than the screen partly off it, or, past
  // 16 bits a side, cut its size and fail only once the window and its
  // drawing buffers exist, with an X error that ends the program later.
  if (!full && screenWidth > 0 && (width > screenWidth || height > screenHeight)) {
    throw "The screen is only " + std::to_string(screenWidth) + " by " + std::to_string(screenHeight);
  }
  debug::info(dbgCore, "Setting video mode.");
  int channel = bitsPerPixel / 4;
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, channel);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, channel);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, channel);
  SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, channel);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
  SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
  debug::info(dbgCore, "Specified GL settings.");
  Uint32 videoFlags = SDL_OPENGL;
  if (full) videoFlags |= SDL_FULLSCREEN;
  // The new mode comes with a new context.
  ddd::pipeline.frameShown();
  screen = SDL_SetVideoMode(width, height, bitsPerPixel, videoFlags);
  if (!screen) throw std::string(SDL_GetError());
  debug::info(dbgCore, "Video mode set successfully.");
  // SDL may open another size than asked (the screen's own for 0): what is
  // drawn must fill the window that opened.
  vpScreen = Viewport(0.0f, 0.0f, static_cast<float>(screen->w), static_cast<float>(screen->h));
  currentViewport = &vpScreen;
  glViewport(0, 0, static_cast<GLsizei>(vpScreen.width), static_cast<GLsizei>(vpScreen.height));
  fullscreen = full;
  setClearColor(0.0f, 0.0f, 0.0f, 0.0f);
  // In place of SDL's handler of a lost display, which leaves SDL's event
  // reading to crash on it. It covers SDL's second connection, which it
  // draws through, as well.
  XSetIOErrorHandler(onXIOError);
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (SDL_GetWMInfo(&info) > 0 && info.subsystem == SDL_SYSWM_X11) {
    ownWindows[0] = info.info.x11.window;
    ownWindows[1] = info.info.x11.fswindow;
    ownWindows[2] = info.info.x11.wmwindow;
    int opcode = 0, firstEvent = 0;
    if (!XQueryExtension(info.info.x11.display, "GLX", &opcode, &firstEvent, &glxFirstError)) glxFirstError = -1;
  }
}

void setWindowCaption(const char* text) { SDL_WM_SetCaption(text, text); }

void showCursor(bool show) { SDL_ShowCursor(show ? 1 : 0); }

void enableDoubleBuffer(bool on) { SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, on ? 1 : 0); }

void setClearColor(float red, float green, float blue, float alpha) { glClearColor(red, green, blue, alpha); }

void clearScreen() {
  if (!displayFailed) glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void flipScreen() {
  // SDL dereferences its video state unchecked; without a window there is
  // nothing to present. On a failed display the renderer would ask the
  // server for the window's size and draw into buffers of whatever came back.
  if (screen && !displayFailed) SDL_GL_SwapBuffers();
  ddd::pipeline.frameShown();
}

void setFullscreen(bool on) {
  if (on != fullscreen) toggleFullscreen();
}

void toggleFullscreen() {
  // SDL would dereference its missing video state when no window is open.
  if (!screen || !SDL_WasInit(SDL_INIT_VIDEO)) {
    throw std::string("Could not toggle fullscreen mode: no window is open.");
  }
  if (!SDL_WM_ToggleFullScreen(screen)) {
    throw std::string("Could not toggle fullscreen mode: ") + SDL_GetError();
  }
  fullscreen = !fullscreen;
}

SDL_Joystick* initJoystick(int index) { return SDL_JoystickOpen(index); }

void cleanUpJoystick(SDL_Joystick* joystick) {
  if (joystick) SDL_JoystickClose(joystick);
}

void cleanUp() {
  debug::info(dbgCore, "Cleaning up.");
  if (!displayFailed) showCursor(true);
  audio::cleanUp();
}

void quit(int status) {
  if (!quitting) {
    prepareQuitAgainLine();
    quitting = true;
    debug::info(dbgCore, "Quitting program.");
    cleanUp();
  } else {
    debug::warning(dbgCore, "Quit called again.");
  }
  // SDL's shutdown tears the OpenGL context down, which asks a failed
  // display for the window again; the system closes it instead.
  if (!displayFailed) SDL_Quit();
  std::exit(status);
}

bool quitRequested() { return quitSignal != 0 || displayFailed; }

bool displayLost() { return displayFailed; }

void onDisplayLost(void (*save)()) { displayLostHook = save; }

void handleQuitSignal(int sig) {
  if (quitSignal != 0 && sig == SIGHUP) return;
  if (quitSignal != 0) handleSignal(sig);
  quitSignal = sig;
  const char* description = signalDescription(sig);
  writeErr(description ? description : "Quit signal.");
  writeErr(quitLineEnd);
}

void handleSignal(int sig) {
  writeErr("Korvu parachute deployed: ");
  if (signalCalls++ > 0) {
    // Entered again (a fault while handling the first signal): give the
    // signals back to the system so nothing can loop.
    for (int s : FATAL_SIGNALS) std::signal(s, SIG_DFL);
    for (int s : QUIT_SIGNALS) std::signal(s, SIG_DFL);
    writeErr("Recursive call.\n");
  } else {
    const char* description = signalDescription(sig);
    if (description) {
      writeErr(description);
      writeErr("\n");
    } else {
      writeSignalNumber(sig);
    }
    writeErr("Source: Korvu Debug Subsystem disabled!\n");
    writeErr("Stack trace:\n");
  }
  // The quit steps that are safe in a handler. Showing the cursor, closing
  // audio and shutting SDL down take locks and allocate, and may be the very
  // code that was interrupted; the system releases the window, the audio
  // device and the joysticks when the process ends.
  if (!quitting) {
    quitting = true;
  } else {
    writeAll(STDOUT_FILENO, quitAgainLine);
  }
  // A fatal signal is a failure: the process ends by that signal, so that
  // whoever waits for it is told so, and the system keeps a core where the
  // user allows one, for a debugger to tell where the signal came from.
  struct sigaction fallback;
  std::memset(&fallback, 0, sizeof fallback);
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  sigaction(sig, &fallback, nullptr);
  sigset_t own;
  sigemptyset(&own);
  sigaddset(&own, sig);
  pthread_sigmask(SIG_UNBLOCK, &own, nullptr);
  raise(sig);
  // A signal whose default is to go on, handed to the handler directly.
  _exit(128 + sig);
}

}  // namespace korvu
