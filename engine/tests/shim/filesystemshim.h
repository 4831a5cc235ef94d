// The test programs' own flock, link, rename, renameat2, fsync and getrandom,
// which take the place of the C library's for every call of the process
// (and, preloaded, of a game the end-to-end tests start). Each passes its
// call on, unless the FileSystemShim alive asks for a fault: so a test
// meets what only some file systems, or another process at the wrong
// instant, would do to a save.
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

  // flock fails with this errno; 0 passes it on.
  int flockError = 0;
  // link fails with this errno, as on a file system without hard links
  // (EPERM); 0 passes it on.
  int linkError = 0;
  // renameat2 with any of these flags fails with EINVAL, as on a file
  // system that lacks them.
  unsigned refusedRenameFlags = 0;
  // getrandom gives zeros, so that a save's temporary is temporaryOf(file)
  // (also in a preloaded program whose environment holds
  // KORVU_TEST_PREDICTABLE_NAMES).
  bool predictableNames = false;
  // Called before each rename and renameat2 (refused or not) with the name
  // renamed to, but not for those it makes itself: another copy of the
  // game, say, saving just before this one puts its file in place.
  std::function<void(const std::string& to)> beforeRename;
  // The same, after each rename and renameat2 that took place.
  std::function<void(const std::string& to)> afterRename;
  // fsyncs of folders since construction.
  unsigned folderSyncs = 0;
};

// The name of a save's temporary of file while names are predictable.
std::string temporaryOf(const std::string& file);

}  // namespace korvu_test
