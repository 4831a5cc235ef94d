// The display-list protocol shared by materials, meshes and models drawn as
// one, which each keep a ListState. A draw replays the list when there is
// one and it is not marked; otherwise it sends its commands, recording them
// into a new list when marked.
#pragma once

#include <GL/gl.h>

#include "ddd/settings.h"

namespace korvu {
namespace ddd {

struct ListState {
  GLuint displayList = 0;  // 0 when none
  // Record the list again at the next draw...
  bool recompile = false;
  // ...without executing it (GL_COMPILE instead of GL_COMPILE_AND_EXECUTE).
  bool compileOnly = false;
};

// Calls owner's list when it has an unmarked one; false when the owner has
// to send its commands.
template <typename Owner>
bool replayList(const Owner& owner) {
  if (!owner.displayList || owner.recompile) return false;
  glCallList(owner.displayList);
  return true;
}

// Whether this draw records owner's list. Lists do not nest: inside another
// recording the commands go into that list and the owner keeps its mark.
template <typename Owner>
bool recordsList(const Owner& owner) {
  return owner.recompile && !recordingDisplayList();
}

// Opens a new list for owner's commands, compiled only or also executed as
// owner.compileOnly says; 0 when OpenGL gives none (the commands then just
// run).
template <typename Owner>
GLuint openList(const Owner& owner) {
  GLuint list = glGenLists(1);
  if (list) glNewList(list, owner.compileOnly ? GL_COMPILE : GL_COMPILE_AND_EXECUTE);
  return list;
}

// Ends a recording draw: closes the list openList gave (if any) and keeps
// it as owner's, and clears owner's marks. True when a list was kept.
template <typename Owner>
bool closeList(Owner& owner, GLuint list) {
  owner.recompile = false;
  owner.compileOnly = false;
  if (!list) return false;
  glEndList();
  owner.displayList = list;
  return true;
}

// Deletes owner's list; false when it had none.
template <typename Owner>
bool deleteList(Owner& owner) {
  if (!owner.displayList) return false;
  glDeleteLists(owner.displayList, 1);
  owner.displayList = 0;
  return true;
}

// One draw that sends owner's commands, recording them when recordsList
// says so: owner.uncompile() and then any list it left (a model's from a
// time it was not drawn as one) go before the new list opens. A draw left
// early still ends its recording, so no list stays open behind it.
template <typename Owner>
class ListRecording {
 public:
  const bool records;  // this draw records owner's list

  explicit ListRecording(Owner& owner_) : records(recordsList(owner_)), owner(owner_), open(records) {
    if (!records) return;
    owner.uncompile();
    deleteList(owner);
    list = openList(owner);
  }
  ~ListRecording() { close(); }
  ListRecording(const ListRecording&) = delete;
  ListRecording& operator=(const ListRecording&) = delete;

  // Ends the recording; true when owner keeps a new list. Only the first
  // call ends it.
  bool close() {
    if (!open) return false;
    open = false;
    return closeList(owner, list);
  }

 private:
  Owner& owner;
  bool open;  // recording and not yet ended
  GLuint list = 0;
};

}  // namespace ddd
}  // namespace korvu
