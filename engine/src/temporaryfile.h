// The steps that replace a file on disk so that it is always the old file or
// the whole new one, also after a power cut: the new text goes into a
// temporary of the writer's own beside the file, the temporary is renamed
// (or swapped) into place, and the folder is synced. Whoever puts the
// temporary in place says so (`placed`); until then the temporary's name is
// its object's, which removes it when it goes.
#pragma once

#include <sys/stat.h>

#include <string>
#include <vector>

namespace korvu {

// An open file descriptor, closed when it goes; -1 for none.
class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor() { reset(); }
  Descriptor(Descriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  Descriptor& operator=(Descriptor&& other) noexcept;
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;

  int get() const { return fd_; }
  void reset(int fd = -1);

 private:
  int fd_;
};

// A new file beside target, "<target>.<id>.tmp", that holds text and is
// flushed to disk. Its name is one that no other process holds: the id is
// random (so copies whose process ids are alike, in separate namespaces,
// differ too), and it is made anew with O_EXCL, never through a link, under
// another id where one is taken. Its companion "<target>.<id>.live" is made
// first and flocked until the object goes: while it is held, whatever
// stands at the temporary's name -- its text, or the file a swap displaced
// there -- is this object's, and no other save takes it for a temporary
// left by a process that died (takeLeftTemporaries). A companion that such
// a save took before the lock is made again under another id. Where the
// file system gives no locks, it goes on unlocked and the log says so: no
// other save can lock the companion either, so none takes anything.
class TemporaryFile {
 public:
  // Throws the reason alone, naming the temporary ("could not create
  // "<full path>": <reason>", "could not write ..."), when it cannot be made
  // or written; nothing is left behind then.
  TemporaryFile(const std::string& target, const std::string& text);
  // Removes the name unless the file was placed, then the companion, and
  // closes both (which ends the lock).
  ~TemporaryFile();
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  const std::string& path() const { return path_; }
  // The written file, open as long as the object lives, so that its inode
  // stays this file's wherever it is moved.
  int descriptor() const { return fd_.get(); }
  // The name no longer holds this file (it was renamed or swapped into
  // place): it is not removed when the object goes. What a swap left there
  // stays this object's until then, for its caller to remove or move; what
  // the caller leaves there, a later save takes (takeLeftTemporaries).
  void placed() { placed_ = true; }
  // Before a swap: records in the companion, on disk, this file and the
  // one the swap is to displace, so that if this process dies, a later save
  // tells what stands at the name -- this file, that one, or another
  // process's file, which it merges (takeLeftTemporaries). Throws the reason
  // when the record cannot be written.
  void expect(const struct stat& displaced);

 private:
  std::string path_;
  std::string livePath_;  // the companion
  Descriptor fd_;
  Descriptor live_;       // the companion, locked
  bool placed_ = false;

  // Locks the companion just made and gives whether it still has its name
  // (no clean-up removed it in the instant before the lock).
  bool lockAsMade();
};

// A temporary whose maker died in the middle of a save, with what stands
// at its name: the maker's text, or the file its swap displaced, which may
// be another process's save. It is held (its companion locked, or itself
// where it has none: an earlier version's "<target>.<process id>.tmp" or
// "<target>.tmp") while the object lives, so that no other save takes it.
class LeftTemporary {
 public:
  LeftTemporary(std::string path, std::string companion, Descriptor lock);
  const std::string& path() const { return path_; }
  int lock() const { return lock_.get(); }
  // Removes the temporary and its companion.
  void remove();

 private:
  std::string path_;
  std::string companion_;  // empty: none
  Descriptor lock_;
};

// Takes the temporaries of target whose makers died (regular files only)
// that may hold another process's save -- a file a dead maker's swap
// displaced, or an earlier version's temporary -- for the caller to merge
// or remove. A dead maker's own text and the file its swap was to displace
// (which what is in place holds) are removed, as are companions left
// without their temporary.
std::vector<LeftTemporary> takeLeftTemporaries(const std::string& target);

// Renames from to to unless to exists: false with errno EEXIST then, or
// with the errno of another failure. Where the file system cannot refuse in
// the rename itself, a hard link (which never replaces a file) and an
// unlink do it. Where it has no hard links either, to is looked at first
// and then renamed over: a file made there in between would be replaced.
bool moveNoReplace(const std::string& from, const std::string& to);

// Whether a failed link(2) errno says the file system has no hard links.
bool noHardLinks(int error);

// Flushes the folder that holds file to disk, so that a rename, link or
// unlink in it outlives a power cut. A failure is logged, not thrown: the
// step it follows has taken place, and a file system that cannot sync a
// folder (EINVAL) keeps its names some other way.
void syncFolder(const std::string& file);

// The reason for a rename that failed with errno: "could not rename
// "<from>" to "<to>": <reason>", both by their full paths.
std::string renameFailure(const std::string& from, const std::string& to);

}  // namespace korvu
