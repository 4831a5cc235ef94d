// The last profile choices: which profile was chosen for a single-player
// race and for each player of a two-player race, kept in "moresettings.xml"
// so the menus can preselect them at the next start.
#pragma once

#include <string>

#include "common/keepaside.h"

namespace korvu { namespace xml { class Node; } }

namespace glimro {

extern const std::string FILENAME_MORESETTINGS;  // "moresettings.xml"

class MoreSettings {
 public:
  std::string singleplayer;
  std::string multiplayer_1;
  std::string multiplayer_2;
  // Set by load when the file exists but does not open; save then refuses
  // to write over it.
  UnopenedFile unopened;

  // Each "profile" child with a name sets the field of its type; other
  // types, and children without a name, are ignored; a later one wins.
  void getFromNode(const korvu::xml::Node* root);
  // A new "moresettings" tree with all three choices; the caller owns it.
  korvu::xml::Node* buildDomTree() const;
  // Reads the file (loadUserFile: at most USER_FILE_LIMIT bytes); another
  // root element is ignored. Throws the reader's message when the file
  // cannot be read. The choices read are remembered as on file (see save).
  void load(const std::string& file);
  // The start-up read: load, where a missing file is no choices yet, one
  // that does not open is logged with its reason and left where it is, and
  // one that opens but cannot be read is logged and kept aside.
  void loadOrKeepAside(const std::string& file);
  // Sets one of the three choices as made by this copy now, so that save
  // writes it even when another copy has chosen otherwise since.
  void choose(std::string MoreSettings::*choice, const std::string& name);
  // Under the file's lock, reads the file as it is now and writes it back
  // atomically with this copy's choices: a choice made with choose, or
  // changed since this copy last read or wrote the file, replaces the
  // file's; the others take the file's value (another copy of the game may
  // have made them since), and so do the fields. Everything else in the
  // file -- other types, other elements, the root's attributes -- is kept.
  // A file that cannot be read is kept aside first (saveMerged). Throws a
  // message when it cannot be written, or is the unopened one; the old file
  // then stays as it was.
  void save(const std::string& file);

 private:
  // Each choice as this copy last read or wrote it, in the order of
  // singleplayer, multiplayer_1, multiplayer_2.
  std::string onFile_[3];
  // The choices made through choose since the last save.
  bool chosen_[3] = {false, false, false};
};

extern MoreSettings moreSettings;

}  // namespace glimro
