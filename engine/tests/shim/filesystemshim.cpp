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
bool inHook = false;

void announce(std::function<void(const std::string&)> FileSystemShim::*which, const char* to) {
  if (!active || !(active->*which) || inHook) return;
  inHook = true;
  // A copy: the hook may take itself away.
  const std::function<void(const std::string&)> hook = active->*which;
  hook(to);
  inHook = false;
}

int renamed(int result, const char* to) {
  const int error = errno;
  if (result == 0) announce(&FileSystemShim::afterRename, to);
  errno = error;
  return result;
}

}  // namespace

FileSystemShim::FileSystemShim() { active = this; }
FileSystemShim::~FileSystemShim() { active = nullptr; }

std::string temporaryOf(const std::string& file) { return file + ".0000000000000000.tmp"; }

}  // namespace korvu_test

using korvu_test::active;

extern "C" {

int flock(int fd, int operation) __THROW {
  if (active && active->flockError) {
    errno = active->flockError;
    return -1;
  }
  return static_cast<int>(syscall(SYS_flock, fd, operation));
}

int link(const char* from, const char* to) __THROW {
  if (active && active->linkError) {
    errno = active->linkError;
    return -1;
  }
  return static_cast<int>(syscall(SYS_linkat, AT_FDCWD, from, AT_FDCWD, to, 0));
}

int renameat2(int oldFolder, const char* from, int newFolder, const char* to, unsigned int flags) __THROW {
  korvu_test::announce(&korvu_test::FileSystemShim::beforeRename, to);
  if (active && (flags & active->refusedRenameFlags)) {
    errno = EINVAL;
    return -1;
  }
  return korvu_test::renamed(static_cast<int>(syscall(SYS_renameat2, oldFolder, from, newFolder, to, flags)), to);
}

int rename(const char* from, const char* to) __THROW {
  korvu_test::announce(&korvu_test::FileSystemShim::beforeRename, to);
  return korvu_test::renamed(static_cast<int>(syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, 0)), to);
}

int fsync(int fd) {
  struct stat info;
  if (active && fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) ++active->folderSyncs;
  return static_cast<int>(syscall(SYS_fsync, fd));
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
