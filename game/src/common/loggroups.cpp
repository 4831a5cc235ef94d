#include "common/loggroups.h"

#include "debug.h"

namespace glimro {

void nameLogGroups() {
  korvu::debug::groups[DBG_CORE].name = "glimro:core";
  korvu::debug::groups[DBG_GAME].name = "glimro:game";
  korvu::debug::groups[DBG_PHYSICS].name = "glimro:physics";
  korvu::debug::groups[DBG_RESOURCES].name = "glimro:resources";
  korvu::debug::groups[DBG_FPS].name = "glimro:fps";
}

}  // namespace glimro
