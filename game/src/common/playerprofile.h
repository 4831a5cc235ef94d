// Player profiles: the named identities human players race under, kept in
// one bank and stored in "profiles.xml".
#pragma once

#include <set>
#include <string>

#include "bank.h"
#include "common/userfile.h"
#include "xml.h"

namespace korvu { namespace gui { struct ListItem; } }

namespace glimro {

extern const std::string XML_PROFILES_PROFILES;  // "profiles"
extern const std::string XML_PROFILES_PROFILE;   // "profile"
extern const std::string XML_PROFILES_NAME;      // "name"
extern const std::string XML_PROFILES_COLOR;     // "color"
extern const std::string FILENAME_PROFILES;      // "profiles.xml"

class PlayerProfile {
 public:
  // The bank that holds the profile, null while in none (only the bank sets it).
  korvu::MappedBank<PlayerProfile>* bank;
  // The profile's name and its key in the bank; any text, empty included.
  std::string name;

  PlayerProfile();
  // Leaves its bank, so that deleting a profile directly never leaves the
  // bank pointing at it.
  ~PlayerProfile();
  PlayerProfile(const PlayerProfile&) = delete;
  PlayerProfile& operator=(const PlayerProfile&) = delete;

  // Takes the element's "name" attribute; keeps the current name when the
  // element has none.
  void getFromNode(const korvu::xml::Node* element);
  // A new "profile" element with the name; the caller owns it.
  korvu::xml::Node* buildDomTree() const;

  // A new list item showing the name, with the profile as its data; the
  // caller owns it.
  korvu::gui::ListItem* createListItem();
  // Sets the item's text to the name and its data to the profile.
  void applyToListItem(korvu::gui::ListItem* item);
};

class PlayerProfileBank : public korvu::MappedBank<PlayerProfile> {
 public:
  // Adds one profile per "profile" child of the root, in document order;
  // the bank is not cleared first, and a later profile replaces an earlier
  // one of the same name.
  void getFromNode(const korvu::xml::Node* root);
  // A new "profiles" element with one child per profile, in name order.
  korvu::xml::Node* buildDomTree() const;
  // The profiles file as a player file (common/userfile.h).
  static UserFile userFile(const std::string& file);
  // Reads a profiles file. Throws the player file's message when it cannot
  // be read or has another root. The names read are remembered as on file
  // (see save).
  void load(const std::string& file);
  // The start-up read (UserFile::load): a file that cannot be read is told
  // in the log (the next save keeps it aside), and the bank stays empty.
  void loadAtStart(const std::string& file);
  // Takes in the profiles that another copy of the game has saved to the
  // file since this one read it (as save does, without writing); gives how
  // many joined. A file that cannot be read adds none.
  int refresh(const std::string& file);
  // Through UserFile::save (under the file's lock, where the file system
  // has locks): merges the file as it is now with the bank and writes the
  // result, replacing the file atomically. Another copy of the game may
  // have saved since this one read the file: a profile on file
  // that the bank lacks joins the bank (a new profile of that copy), except
  // a name this bank read or wrote and no longer holds, which this copy
  // renamed away. A name is one profile however many copies made it. A
  // profile another copy renamed stays in this one and is written back
  // under its old name: a copy never loses a profile it shows, and times
  // kept under that name still belong to one. Throws as UserFile::save: the
  // file is then as it was, but after korvu::NotSynced, when it holds the
  // save, not yet synced to disk.
  void save(const std::string& file);

 private:
  // The names this bank last read from or wrote to its file.
  std::set<std::string> onFile_;
  // getFromNode, the names remembered as on file.
  void readFile(const korvu::xml::Node* root);
  // Adds the file's profiles that the bank lacks and did not rename away.
  int takeIn(const korvu::xml::Node* onDisk);
};

}  // namespace glimro
