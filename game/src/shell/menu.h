// The menus: the state machine of the menu panels (main menu, credits, the
// two start menus, the profile editor) driven by the triggers the GUI's
// widgets and the bound keys push, and the start of a race.
#pragma once

namespace glimro {

// One menu step: handles the queued triggers, handing those it does not own
// to the global commands. False when the program is to end.
bool menuMainLoop(float dt);

// Start-up's menu set-up: the GUI covers the screen, the panels are centred,
// the main menu shows, the frame-counter box and the global messages are
// placed, and the last profile choices are read and preselected.
void prepareMenus();

// A start menu opens: the profiles another copy of the game has saved since
// this one read the profiles file join the bank and the profile lists.
void takeInProfilesOnFile();

}  // namespace glimro
