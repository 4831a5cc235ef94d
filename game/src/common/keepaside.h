// Per-user files (profiles, best times, last choices, settings) are read
// with a size limit, and those that cannot be read are kept, not
// overwritten: the player's records and profiles may still be in them. A
// file that opens but does not parse is moved aside; one that does not open
// at all stays where it is, and its object refuses to write over it.
#pragma once

#include <cstddef>
#include <string>

namespace korvu { namespace xml { class Node; } }

namespace glimro {

// The largest per-user file read, in bytes. The game writes a few kilobytes
// at most; a larger file is no file of the game's, and reading it would
// hold the start or the race start.
constexpr size_t USER_FILE_LIMIT = 4u << 20;

// The mark a loaded object keeps of its file when that file exists but could
// not be opened (no permission, a link loop, a folder): the save refuses to
// write over a file whose content was never seen.
struct UnopenedFile {
  std::string file;    // as it was loaded; empty while no file is marked
  std::string reason;  // why it did not open (strerror)

  // Throws a message naming the file (full path) and the reason when
  // target is the marked file; else does nothing.
  void checkWrite(const std::string& target) const;
};

// Reads a per-user file into a tree the caller owns. Throws the reader's
// OpenError where the file does not open (ENOENT for a missing one), first
// marking `unopened` (when given) for any other reason; a file that opens
// clears the mark of that file. A file beyond USER_FILE_LIMIT throws the
// reader's "larger than" message, as it throws its parse errors; the
// caller names the file.
korvu::xml::Node* loadUserFile(const std::string& file, UnopenedFile* unopened);

// Moves a file that cannot be read out of the way of the next save, to the
// first free name of "<file>.broken", "<file>.broken.1", "<file>.broken.2",
// ..., so that no file kept aside earlier is replaced. Gives the new name;
// throws a message when the file cannot be moved.
std::string keepAside(const std::string& file);

}  // namespace glimro
