// The game's log groups, one list for every folder: the shell's start-up,
// loop and menus log to DBG_CORE, the race and the tracks to DBG_GAME, the
// resource set and the profiles to DBG_RESOURCES, the frame rate to DBG_FPS.
#pragma once

namespace glimro {

enum DebugGroup {
  DBG_CORE = 0,
  DBG_GAME = 1,
  DBG_PHYSICS = 2,
  DBG_RESOURCES = 3,
  DBG_FPS = 4
};

// Names the groups "glimro:core", "glimro:game", "glimro:physics",
// "glimro:resources" and "glimro:fps"; a group that is not there yet is made
// with the log's defaults.
void nameLogGroups();

}  // namespace glimro
