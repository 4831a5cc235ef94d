// The player's own files -- profiles, last choices, best times, settings --
// and what they share: a read that nothing can hold (regular files only,
// opened without blocking, limited in size and depth), one message for each
// way a file can fail to read, a broken file kept aside rather than written
// over, and the save that reads, merges and replaces the file under a lock.
// Each kind of file gives its root element, its words for the messages, and
// its parse, merge and build.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "descriptor.h"

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
// How long a save waits for another process's lock before it writes nothing.
constexpr unsigned LOCK_WAIT_MS = 2000;

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

  // What the first save without locks (ENOLCK) logged, for the player's
  // notice; whoever shows it empties it: it shows once a game at most.
  static std::string unlockedNotice;

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
  // Under the file's lock ("<file>.lock", waited for LOCK_WAIT_MS at most,
  // quit signal or not): reads the file as it is now, removes what saves
  // that died left (korvu::removeLeftTemporaries), hands the tree read to
  // merge (null for no file, or for a broken one, which is kept aside) and
  // puts the tree merge gives (taken over here), less the names the file
  // cannot hold, in the file's place (korvu::replaceFile). Where the file
  // system has no locks (ENOLCK) it saves without, removes only temporaries
  // over an hour old, and says so once (unlockedNotice). Throws Refused for
  // a file that is there but cannot be read, or a link; a message when the
  // lock stays held or cannot be taken, the text would be larger than
  // USER_FILE_LIMIT, or a step fails; all leave the file as it was, but
  // korvu::NotSynced, after which the file holds the save. Once it returns,
  // the file holds the save, synced to disk.
  void save(const std::function<korvu::xml::Node*(const korvu::xml::Node* onDisk)>& merge);

 private:
  struct stat seen_;        // the file the last read opened
  korvu::Descriptor held_;  // that file, open (-1: none), for keepAside
  std::string linkTarget_;  // where a link at the file's name leads; empty: no link

  // Gives the unreadable file read, still held open, a name of its own
  // before a save replaces it: the first of "<file>.broken",
  // "<file>.broken.1", ... that is free or holds it already, as a hard link,
  // or a copy where there are no hard links. Nothing is moved. Gives the
  // name; throws the reason when it cannot be kept, or kept but not synced.
  std::string keepAside();
  // Takes out of the tree every attribute and element whose name cannot be
  // written (another program's, read from the file), and says so in the log.
  void leaveOutUnwritable(korvu::xml::Node& root) const;
};

}  // namespace glimro
