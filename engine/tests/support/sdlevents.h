// SDL events made by hand for the input tests, and SDL's event queue
// started without a window.
#pragma once

#include <SDL.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace korvu_test {

// A key going down (SDL_KEYDOWN) or up (SDL_KEYUP).
inline SDL_Event keyEvent(Uint8 type, SDLKey key, SDLMod mod = KMOD_NONE) {
  SDL_Event e;
  std::memset(&e, 0, sizeof e);
  e.type = type;
  e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
  e.key.keysym.sym = key;
  e.key.keysym.mod = mod;
  return e;
}

// A key event that carries its translated character, as SDL delivers them
// while unicode translation is on.
inline SDL_Event charEvent(Uint8 type, SDLKey key, Uint16 unicode) {
  SDL_Event e = keyEvent(type, key);
  e.key.keysym.unicode = unicode;
  return e;
}

// The mouse moving to window position (x, y), y downwards.
inline SDL_Event motionEvent(Uint16 x, Uint16 y) {
  SDL_Event e;
  std::memset(&e, 0, sizeof e);
  e.type = SDL_MOUSEMOTION;
  e.motion.x = x;
  e.motion.y = y;
  return e;
}

// A mouse button (SDL_BUTTON_LEFT ...) going down (SDL_MOUSEBUTTONDOWN) or
// up (SDL_MOUSEBUTTONUP) at window position (x, y).
inline SDL_Event mouseButtonEvent(Uint8 type, Uint8 button, Uint16 x, Uint16 y) {
  SDL_Event e;
  std::memset(&e, 0, sizeof e);
  e.type = type;
  e.button.button = button;
  e.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
  e.button.x = x;
  e.button.y = y;
  return e;
}

// A joystick button going down (SDL_JOYBUTTONDOWN) or up (SDL_JOYBUTTONUP).
inline SDL_Event buttonEvent(Uint8 type, Uint8 joystick, Uint8 button) {
  SDL_Event e;
  std::memset(&e, 0, sizeof e);
  e.type = type;
  e.jbutton.which = joystick;
  e.jbutton.button = button;
  e.jbutton.state = type == SDL_JOYBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
  return e;
}

// A joystick axis moving to `value`.
inline SDL_Event stickEvent(Uint8 joystick, Uint8 axis, Sint16 value) {
  SDL_Event e;
  std::memset(&e, 0, sizeof e);
  e.type = SDL_JOYAXISMOTION;
  e.jaxis.which = joystick;
  e.jaxis.axis = axis;
  e.jaxis.value = value;
  return e;
}

// Starts SDL's video on the dummy driver, which gives the event queue
// without a window, and drops whatever events are pending. The driver is
// chosen only for this SDL_Init, so later tests in the process get the real
// one. Returns SDL_Init's result.
inline int initEventsWithoutWindow() {
  const char* old = std::getenv("SDL_VIDEODRIVER");
  const std::string saved = old ? old : "";
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  const int rc = SDL_Init(SDL_INIT_VIDEO);
  if (old) {
    setenv("SDL_VIDEODRIVER", saved.c_str(), 1);
  } else {
    unsetenv("SDL_VIDEODRIVER");
  }
  if (rc == 0) {
    SDL_Event pending;
    while (SDL_PollEvent(&pending)) {
    }
  }
  return rc;
}

}  // namespace korvu_test
