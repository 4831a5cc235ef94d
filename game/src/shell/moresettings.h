// The last profile choices: which profile was chosen for a single-player
// race and for each player of a two-player race, kept in "moresettings.xml"
// so the menus can preselect them at the next start.
#pragma once

#include <string>

#include "common/userfile.h"

namespace korvu { namespace xml { class Node; } }

namespace glimro {

extern const std::string FILENAME_MORESETTINGS;  // "moresettings.xml"

class MoreSettings {
 public:
  std::string singleplayer;
  std::string multiplayer_1;
  std::string multiplayer_2;

  // Each "profile" child with a name sets the field of its type; other
  // types, and children without a name, are ignored; a later one wins.
  void getFromNode(const korvu::xml::Node* root);
  // A new "moresettings" tree with all three choices; the caller owns it.
  korvu::xml::Node* buildDomTree() const;
  // The last-choices file as a player file (common/userfile.h).
  static UserFile userFile(const std::string& file);
  // Reads the file. Throws the player file's message when it cannot be
  // read or has another root. The choices read are remembered as on file
  // (see save).
  void load(const std::string& file);
  // The start-up read (UserFile::load): a file that cannot be read is told
  // in the log (the next save keeps it aside), and nothing is preselected.
  void loadAtStart(const std::string& file);
  // Sets one of the three choices as made by this copy now, so that save
  // writes it even when another copy has chosen otherwise since.
  void choose(std::string MoreSettings::*choice, const std::string& name);
  // Through UserFile::save (under the file's lock, where the file system
  // has locks): reads the file as it is now and puts it back with this
  // copy's choices: a choice made with choose, or changed since this copy
  // last read or wrote the file, replaces the file's; every other choice is
  // the file's (another copy of the game may have chosen since), and so are
  // the fields. Everything else in the file -- other types, other elements,
  // the root's attributes -- is kept. Throws as UserFile::save: the file is
  // then as it was, but after korvu::NotSynced, when it holds the save, not
  // yet synced to disk; either way the choices made stay to be saved again.
  void save(const std::string& file);
  // Whether a choice is made that the file may lack: one made since the
  // last save that returned.
  bool unsaved() const;

 private:
  // getFromNode, the choices remembered as on file.
  void readFile(const korvu::xml::Node* root);

  // Each choice as this copy last read or wrote it, in the order of
  // singleplayer, multiplayer_1, multiplayer_2.
  std::string onFile_[3];
  // The choices this copy made since its last save.
  bool chosen_[3] = {false, false, false};
};

extern MoreSettings moreSettings;

}  // namespace glimro
