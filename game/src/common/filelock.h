// Saves that two copies of the game may make to one player folder at the
// same moment. Each save holds an exclusive lock on "<file>.lock" while it
// reads the file again, merges what it holds into the file's content and
// writes the result, so that no copy writes over what another has just
// saved. The lock file stays; removing it would let two copies lock two
// different files of the same name.
#pragma once

#include <functional>
#include <string>

namespace korvu { namespace xml { class Node; } }

namespace glimro {

// An exclusive flock on "<file>.lock" from construction to destruction;
// waits while another process holds it. The kernel releases it when the
// holder dies, so a copy killed in the middle of a save blocks no one.
class FileLock {
 public:
  // Throws a message naming the lock file when it cannot be made or locked.
  explicit FileLock(const std::string& file);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  int fd_;  // the open lock file
};

// Under the file's lock: reads the file as it is now and hands its root to
// merge, which gives the tree to write (the caller's to own, taken over
// here); the tree is written through saveXML. merge gets null when there is
// no file yet, or when the file does not parse or has a root other than
// rootName: such a file is first kept aside (keepAside), and put back when
// the write then fails. A file that exists but cannot be opened, or cannot
// be kept aside, is never replaced: the save throws. Throws a message when
// the file cannot be written; the old file then stays.
void saveMerged(const std::string& file, const std::string& rootName,
                const std::function<korvu::xml::Node*(const korvu::xml::Node* onDisk)>& merge);

}  // namespace glimro
