// The player's own files -- profiles, last choices, best times, settings --
// and everything they share: a read that nothing can hold (regular files
// only, opened without blocking, limited in size and depth), one message
// for each way a file can fail to read, a broken file kept aside rather
// than written over, and the save that merges with what another copy of
// the game wrote meanwhile. Each kind of file gives only its root element,
// its words for the messages, and its parse, merge and build.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace korvu {
namespace xml {
class Node;
enum class Replacement;
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
  // NOT_REGULAR): it may hold what the player made, so it is not replaced.
  // Like every message save throws, it is the reason alone, for "Could not
  // save <what> to <file>: <reason>".
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

  UserFile(const std::string& file, const std::string& rootName, const std::string& what, int group);

  // The file as it is now: its tree (the caller's), or null with state and
  // problem saying why. Logs and moves nothing.
  std::unique_ptr<korvu::xml::Node> read();
  // The read at start-up and race start of a file the game writes: read,
  // and what it found in the log, at level warning for a file that is there
  // and cannot be read (a missing one at info), problem then saying what
  // became of the file. A broken file or one of another root is moved
  // aside (keepAside) -- under the lock, and only while it is still the
  // file that failed: when another copy replaced it meanwhile, the new file
  // is read instead. A file that does not open, or is no regular file, is
  // left where it is.
  std::unique_ptr<korvu::xml::Node> load();
  // Under the lock: reads the file as it is now, hands its tree to merge
  // (null for no file, or for a broken one, which is then kept aside) and
  // writes the tree merge gives (taken over here) through replaceFile. The
  // file is replaced only while it is still the one read (or still absent):
  // when another process replaced it meanwhile, the save reads and merges
  // again, so that both saves are on file; merge must allow that. Names the
  // file could not hold are left out, with a warning. Throws Refused, and
  // writes nothing, for a file that is there but cannot be read; throws a
  // message, the file left as it was, when the text would be larger than
  // USER_FILE_LIMIT or cannot be written (the kept file then back in its
  // place).
  void save(const std::function<korvu::xml::Node*(const korvu::xml::Node* onDisk)>& merge);
  // Moves the file read last to the first free name of "<file>.broken",
  // "<file>.broken.1", ..., so no file kept earlier is replaced. Gives the
  // new name, or "" when the file is no longer the one read (another copy
  // replaced it). Throws a message when it cannot be moved.
  std::string keepAside();

 private:
  struct stat seen_;  // the file the last read opened

  // replaceFile's last step, for a file read and for one that was absent.
  korvu::xml::Replacement replaceIfUnchanged(const std::string& temporary) const;
  korvu::xml::Replacement createIfAbsent(const std::string& temporary) const;
  // Takes out of the tree every attribute and element whose name cannot be
  // written (another program's, read from the file), and says so in the log.
  void leaveOutUnwritable(korvu::xml::Node& root) const;
};

}  // namespace glimro
