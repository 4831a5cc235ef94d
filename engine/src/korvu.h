// The engine frame: start-up of SDL and the one OpenGL window, frame clear
// and present, the viewport of the whole window, fullscreen switching,
// joysticks, the fatal-signal report and the orderly end of the process.
// Everything here runs on the main thread except handleSignal.
#pragma once

#include <SDL.h>

#include "debug.h"
#include "mathtypes.h"

namespace korvu {

// A rectangle of the window in pixels, origin at the bottom left as in
// OpenGL. Destroying the viewport that is current makes vpScreen current
// (or leaves none when vpScreen itself goes).
struct Viewport {
  float x = 0.0f;
  float y = 0.0f;
  float width = 0.0f;
  float height = 0.0f;

  Viewport() = default;
  Viewport(float x_, float y_, float width_, float height_) : x(x_), y(y_), width(width_), height(height_) {}
  Viewport(const Viewport&) = default;
  Viewport& operator=(const Viewport&) = default;
  ~Viewport();
};

// The whole window; (0, 0, 0, 0) until initScreen.
extern Viewport vpScreen;
// The viewport being drawn into; null until initScreen.
extern Viewport* currentViewport;

// SDL 1.2 subsystem flags, handed to SDL_Init unchanged; 0 or less starts
// no SDL subsystem.
using SubSystem = int;

// The video surface of the last successful initScreen; null before.
extern SDL_Surface* screen;
// True while the window is fullscreen.
extern bool fullscreen;
// Set by the first quit; never cleared.
extern bool quitting;

// The engine's log groups: id and the word after "korvu:", ended by (0, "").
struct DebugGroupDefinition {
  int id;
  const char* word;
};
extern const DebugGroupDefinition defDebugGroups[12];

enum JustificationHorizontal { JUSTIFY_LEFT = 0, JUSTIFY_HCENTER = 1, JUSTIFY_RIGHT = 2 };
enum JustificationVertical { JUSTIFY_TOP = 0, JUSTIFY_VCENTER = 1, JUSTIFY_BOTTOM = 2 };

// Words of the justifications, indexed by their values.
extern const char* const STR_JUSTIFICATION_HORIZONTAL[3];  // "left", "center", "right"
extern const char* const STR_JUSTIFICATION_VERTICAL[3];    // "top", "center", "bottom"

// "left" 0, "center" 1, "right" 2, compared exactly; anything else 0.
JustificationHorizontal justificationHorizontal(const char* word);
// "top" 0, "center" 1, "bottom" 2, compared exactly; anything else 0.
JustificationVertical justificationVertical(const char* word);

// Names the engine's log groups, optionally installs the fatal-signal
// handler and the quit-signal handler (not for a quit signal ignored when
// it is called, as nohup leaves the hangup), installs the X error handlers
// (an X error asks for the orderly end, quitRequested), and starts SDL with
// the given subsystems. Unless SDL_VIDEODRIVER names a driver, video starts on
// X only, never on a fallback that takes the terminal over: it throws "No
// display to open a window on: DISPLAY is not set" without an X display, and
// "Could not open the X display \"<DISPLAY>\": " with SDL's reason when the
// display cannot be opened. Otherwise throws SDL's error text.
void init(SubSystem flags, bool catchSignals);

// Opens the OpenGL video mode with bitsPerPixel / 4 bits per channel, double
// buffering, a 24-bit depth and an 8-bit stencil buffer; makes vpScreen the
// whole window as it opened (SDL opens 0 by 0 at the current mode's size,
// the screen's before any window) and current. Throws SDL's error text, or
// that a window larger than the screen does not fit it.
void initScreen(int width, int height, int bitsPerPixel, bool fullscreen);

void setWindowCaption(const char* text);
void showCursor(bool show);
// Takes effect at the next video-mode set.
void enableDoubleBuffer(bool on);
void setClearColor(float red, float green, float blue, float alpha);
// Clears the colour and depth buffers (not the stencil buffer); nothing once
// the display has failed (displayLost).
void clearScreen();
// Presents the frame; nothing once the display has failed.
void flipScreen();
// Toggles only when `on` differs from the current state.
void setFullscreen(bool on);
// Throws "Could not toggle fullscreen mode: " with SDL's error text.
void toggleFullscreen();

// Null when the joystick cannot be opened.
SDL_Joystick* initJoystick(int index);
void cleanUpJoystick(SDL_Joystick* joystick);

// Shows the mouse pointer (not on a failed display) and releases audio.
void cleanUp();

// Ends the process with the given status (0 for an orderly end, other values
// for a start-up that failed) after cleaning up; a second call only warns
// "Quit called again.", shuts SDL down and exits. SDL is not shut down once
// the display has failed: its teardown of OpenGL would ask the server again.
[[noreturn]] void quit(int status = 0);

// The fatal-signal handler: reports the signal on standard error and ends
// the process with status 128 + sig.
[[noreturn]] void handleSignal(int sig);

// The handler of SIGINT, SIGTERM and SIGHUP, but for those init found
// ignored: the first asks for the orderly end that closing the window asks
// for (quitRequested, ControlQueue::readEvents), a second SIGINT or SIGTERM
// ends the process through handleSignal; a hangup never does. init also
// has SIGPIPE ignored.
void handleQuitSignal(int sig);
// True once SIGINT, SIGTERM or SIGHUP has asked the program to end, or the
// X server has refused a request.
bool quitRequested();
// True once the X server has refused a request or gone, until the next init:
// from then on no OpenGL or X call may be made, as the renderer would draw
// into buffers of the sizes a failed request left.
bool displayLost();
// The connection to the X server lost, or the game's window destroyed from
// outside, ends the process at once, with status 0, in the handler that
// meets the loss, since returning would go on drawing into buffers of the
// sizes the failed request left. Before that, on the first end, it calls `save`
// (null: nothing), which must make no OpenGL or X call; a thrown text is
// logged. Kept across init.
void onDisplayLost(void (*save)());

}  // namespace korvu
