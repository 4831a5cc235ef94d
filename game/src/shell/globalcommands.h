// The commands that work on every screen, in the menus as in a race: render
// switches, fullscreen, screenshots, the frame counter, music, texture
// filtering and the debugging console. Each switch confirms itself with an
// on-screen message.
#pragma once

namespace korvu { class Trigger; }

namespace glimro {

// Carries out the command of the trigger's id. False for exit and cancel:
// the program is to end. True for every other id.
bool handleGlobalEvents(korvu::Trigger* trigger);

// Switches between fullscreen and window; a refused switch keeps the window
// as it is and says so on screen and in the log.
void toggleFullscreen();

}  // namespace glimro
