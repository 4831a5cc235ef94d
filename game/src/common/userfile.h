// The player's own files -- profiles, last choices, best times, settings --
// and everything they share: a read that nothing can hold (regular files
// only, opened without blocking, limited in size and depth), one message
// for each way a file can fail to read, a broken file kept aside rather
// than written over, and the save that merges with what another copy of
// the game wrote meanwhile and knows what it replaced. Each kind of file
// gives only its root element, its words for the messages, and its parse,
// merge and build.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "temporaryfile.h"

namespace korvu {
namespace xml {
class Node;
}  // namespace xml
}  // namespace korvu

namespace glimro {

// The largest per-user file read, in bytes. The game writes a few kilobytes
// at most; a larger file is no file of the game's, and reading it would
// hold the start or the race start.
constexpr size_t USER_FILE_LIMIT = 4u << 20;
// The deepest nesting of elements read. The game's files are three deep; a
// deeper one is no file of the game's, and every walk over a tree that
// deep is a risk to the stack.
constexpr unsigned USER_FILE_DEPTH = 64;
// How long a save waits for another process's lock before it saves anyway.
constexpr unsigned LOCK_WAIT_MS = 2000;

// An exclusive flock on "<file>.lock", from construction to destruction,
// that two copies of the game take around each read-merge-write of a file.
// The kernel releases it when the holder dies. It holds the game up to
// LOCK_WAIT_MS only: then, or at once when a quit signal arrives, it gives
// up and says so in the log, and what it was taken for goes on without it.
// A lock file that is a link or no regular file is refused (and never
// followed), as is one that cannot be made. The lock file stays; removing
// it would let two copies lock two different files of the same name.
class FileLock {
 public:
  // doing says in the log what goes on without the lock ("saving").
  FileLock(const std::string& file, const char* doing);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  bool held() const { return fd_ >= 0; }

 private:
  int fd_;  // the locked lock file; -1 when the lock was not taken
};

class UserFile {
 public:
  // What the last read found.
  enum State {
    READ,         // a tree with the expected root
    MISSING,      // no file yet
    UNOPENED,     // there, but it does not open (no permission, a link loop)
    NOT_REGULAR,  // a folder, FIFO, socket or device, also behind a link
    BROKEN,       // opened, but too large, too deep, or no XML
    OTHER_ROOT,   // XML with another root element
  };

  // Thrown by save for a file that is there but cannot be read (UNOPENED,
  // NOT_REGULAR), and for a link at the file's name, which is neither
  // written through nor replaced: it may hold what the player made, or lead
  // to where the player keeps it. Like every message save throws, it is
  // the reason alone, for "Could not save <what> to <file>: <reason>".
  class Refused : public std::string {
   public:
    explicit Refused(const std::string& message) : std::string(message) {}
  };

  std::string file;      // as given: relative to the working folder
  std::string rootName;  // the root element its files have
  // How messages name its content, e.g. "the player profiles".
  std::string what;
  int group;  // the log group of its messages

  State state = MISSING;
  // The last read's message for the player, naming the file by its full
  // path and the reason ("Could not read <what> from ..."); empty after a
  // read that found the file.
  std::string problem;
  // The reason alone, as the system or the reader gives it.
  std::string reason;
  // Where the last save kept the unreadable file it replaced; empty when
  // it kept none.
  std::string keptAs;

  UserFile(const std::string& file, const std::string& rootName, const std::string& what, int group);

  // The file as it is now: its tree (the caller's), or null with state and
  // problem saying why. A link at the name is read through, and one whose
  // target is missing is UNOPENED. Logs and moves nothing; the file read
  // stays open until the next read.
  std::unique_ptr<korvu::xml::Node> read();
  // The read at start-up and race start of a file the game writes: read,
  // and what it found in the log, at level warning for a file that is there
  // and cannot be read (a missing one at info), problem then saying what
  // becomes of the file: a broken one or one of another root is kept aside
  // by the next save; one that does not open, is no regular file or is a
  // link is left where it is. Moves nothing.
  std::unique_ptr<korvu::xml::Node> load();
  // Under the lock: reads the file as it is now, hands its tree to merge
  // (null for no file, or for a broken one, which is then kept aside) and
  // puts the tree merge gives (taken over here) in the file's place through
  // a TemporaryFile. The temporary is swapped with the file, so that the
  // save learns what it displaced: the file it read is removed, and any
  // other (another copy saved in between) is merged, the merged tree put in
  // place the same way, and then removed. What saves that died left at
  // their temporaries' names is merged the same way, a round each. An
  // absent file is only created, never replaced. On a file system that
  // cannot swap, the file is renamed over only after a look that it is
  // still the one read, else read and merged again; a copy that replaces it
  // between the look and the rename goes unseen there. merge must allow
  // being called again with another tree. Names the file could not hold are
  // left out, with a warning. Throws Refused, and writes nothing, for a file
  // that is there but cannot be read or is a link; throws a message when
  // the text would be larger than USER_FILE_LIMIT or cannot be written, or
  // after SAVE_ATTEMPTS rounds that each found another process's file. A
  // displaced file not yet merged then stays at its temporary's name for
  // the next save.
  void save(const std::function<korvu::xml::Node*(const korvu::xml::Node* onDisk)>& merge);
 private:
  struct stat seen_;            // the file the last read opened
  korvu::Descriptor held_;      // that file, open (-1: none); see save
  std::string linkTarget_;      // where a link at the file's name leads; empty: no link

  // Before a save replaces the unreadable file it read (still held open),
  // gives that file a name of its own beside it: the first of
  // "<file>.broken", "<file>.broken.1", ... that is free or already holds
  // it, as a hard link, or a copy where the file system has no hard links.
  // Nothing is moved, so no file but the one read is ever kept. Gives the
  // name, or "" when the file is no longer the one read (another copy
  // replaced it). Throws the reason when it cannot be kept.
  std::string keepAside();

  // How the put step of save ended.
  enum Put {
    PLACED,     // in place; the file it displaced (the one read) is gone
    CHANGED,    // not put: the file is not the one read (or not absent)
    DISPLACED,  // in place, and another process's file displaced
  };
  Put create(korvu::TemporaryFile& temporary);
  Put swap(korvu::TemporaryFile& temporary);
  // What a swap left at name (a temporary's, so this save's while its
  // TemporaryFile lives): the file read, which goes, or another file, left
  // there for the caller.
  Put sortDisplaced(const std::string& name);
  // Reads a displaced file at name for merging: its tree, or null when it
  // is none the game can merge, which is then kept aside and logged.
  std::unique_ptr<korvu::xml::Node> takeDisplaced(const std::string& name);
  // Reads what a save that died left at name: its tree, or null when it is
  // no file of this kind.
  std::unique_ptr<korvu::xml::Node> readLeft(const std::string& name) const;
  std::string asideName(unsigned n) const;
  // Moves a displaced file this save does not merge from name (a
  // temporary's, which no other process uses) to the first free aside
  // name, and says in the log why and where.
  void keepDisplacedAside(const std::string& name, const std::string& why);
  // Takes out of the tree every attribute and element whose name cannot be
  // written (another program's, read from the file), and says so in the log.
  void leaveOutUnwritable(korvu::xml::Node& root) const;
};

}  // namespace glimro
