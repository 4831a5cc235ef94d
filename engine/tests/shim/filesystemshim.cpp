#include "filesystemshim.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace korvu_test {

namespace {

FileSystemShim* active = nullptr;

int noted(int result, char step) {
  if (result == 0 && active) active->steps += step;
  return result;
}

}  // namespace

FileSystemShim::FileSystemShim() { active = this; }
FileSystemShim::~FileSystemShim() { active = nullptr; }

std::string temporaryOf(const std::string& file) { return file + ".0000000000000000.tmp"; }

}  // namespace korvu_test

using korvu_test::active;
using korvu_test::noted;

extern "C" {

int flock(int fd, int operation) __THROW {
  if (active && active->flockError) {
    errno = active->flockError;
    return -1;
  }
  return static_cast<int>(syscall(SYS_flock, fd, operation));
}

int linkat(int fromFolder, const char* from, int toFolder, const char* to, int flags) __THROW {
  if (active && active->linkError) {
    errno = active->linkError;
    return -1;
  }
  return noted(static_cast<int>(syscall(SYS_linkat, fromFolder, from, toFolder, to, flags)), 'l');
}

int rename(const char* from, const char* to) __THROW {
  if (active && active->beforeRename) {
    // A copy: the hook may take itself away.
    const std::function<void(const std::string&)> hook = active->beforeRename;
    hook(to);
  }
  return noted(static_cast<int>(syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, 0)), 'r');
}

int fsync(int fd) {
  struct stat info;
  const bool folder = fstat(fd, &info) == 0 && S_ISDIR(info.st_mode);
  if (folder && active && active->folderSyncError) {
    errno = active->folderSyncError;
    return -1;
  }
  return noted(static_cast<int>(syscall(SYS_fsync, fd)), folder ? 'd' : 'f');
}

ssize_t getrandom(void* buffer, size_t length, unsigned int flags) {
  static const bool predictable = getenv("KORVU_TEST_PREDICTABLE_NAMES") != nullptr;
  if (predictable || (active && active->predictableNames)) {
    memset(buffer, 0, length);
    return static_cast<ssize_t>(length);
  }
  return syscall(SYS_getrandom, buffer, length, flags);
}

}  // extern "C"
