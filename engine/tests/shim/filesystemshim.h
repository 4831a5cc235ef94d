// The test programs' own flock, linkat, rename, fsync and getrandom, which
// take the place of the C library's for every call of the process (and,
// preloaded, of a game the end-to-end tests start). Each passes its call
// on, unless the FileSystemShim alive asks for a fault: so a test meets
// what only some file systems would do to a save, and sees the order of a
// save's steps.
#pragma once

#include <functional>
#include <string>

namespace korvu_test {

// At most one at a time; what it sets holds while it lives.
class FileSystemShim {
 public:
  FileSystemShim();
  ~FileSystemShim();
  FileSystemShim(const FileSystemShim&) = delete;
  FileSystemShim& operator=(const FileSystemShim&) = delete;

  // flock fails with this errno (ENOLCK: a file system without locks); 0
  // passes it on.
  int flockError = 0;
  // linkat fails with this errno, as on a file system without hard links
  // (EPERM); 0 passes it on.
  int linkError = 0;
  // getrandom gives zeros, so that a save's temporary is temporaryOf(file)
  // (also in a preloaded program whose environment holds
  // KORVU_TEST_PREDICTABLE_NAMES).
  bool predictableNames = false;
  // fsync of a folder fails with this errno, as on a failing disk; 0 passes
  // it on.
  int folderSyncError = 0;
  // Called before each rename with the name renamed to.
  std::function<void(const std::string& to)> beforeRename;
  // The steps since construction, a letter each: 'f' an fsync of a file,
  // 'd' of a folder, 'l' a link that was made, 'r' a rename that took place.
  std::string steps;
};

// The name of a save's temporary of file while names are predictable.
std::string temporaryOf(const std::string& file);

}  // namespace korvu_test
