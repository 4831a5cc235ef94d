#include "replacefile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "descriptor.h"
#include "filepath.h"

namespace korvu {

namespace {

// How often a temporary is made under another name before the write fails.
constexpr unsigned CREATE_ATTEMPTS = 8;

// The folder of file, ending in '/'.
std::string folderOf(const std::string& file) {
  const size_t slash = file.rfind('/');
  return slash == std::string::npos ? "./" : file.substr(0, slash + 1);
}

// Sixteen hex digits that no other writer is likely to draw; where the
// system gives no random bytes, the clock and the process do, and a clash
// only costs another try.
std::string randomPart() {
  uint64_t value = 0;
  if (::getrandom(&value, sizeof value, 0) != static_cast<ssize_t>(sizeof value))
    value = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
            (static_cast<uint64_t>(::getpid()) << 40);
  char digits[17];
  std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(value));
  return digits;
}

// Whether name is "<base>.<16 lowercase hex digits>.tmp", as replaceFile
// names its temporaries, or ".live" with such an id, as an earlier version
// did: a file of the player's that merely looks like one stays.
bool isTemporaryOf(const std::string& base, const std::string& name) {
  const size_t idAt = base.size() + 1, suffixAt = idAt + 16;
  if (name.size() < suffixAt || name.compare(0, idAt, base + ".") != 0) return false;
  const std::string suffix = name.substr(suffixAt);
  return name.find_first_not_of("0123456789abcdef", idAt) >= suffixAt && (suffix == ".tmp" || suffix == ".live");
}

}  // namespace

void replaceFile(const std::string& target, const std::string& text) {
  if (target.empty()) throw std::string("no file is named");
  std::string temporary;
  Descriptor fd;
  for (unsigned attempt = 1; fd.get() < 0; ++attempt) {
    temporary = target + "." + randomPart() + ".tmp";
    fd.reset(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    // A taken name (a clash, or something put there) means another one.
    const int error = errno;
    if (fd.get() < 0 && (error != EEXIST || attempt == CREATE_ATTEMPTS))
      throw "could not create " + quotedPath(temporary) + ": " + std::strerror(error);
  }
  int error = 0;
  for (size_t written = 0; error == 0 && written < text.size();) {
    const ssize_t n = ::write(fd.get(), text.data() + written, text.size() - written);
    if (n > 0) written += static_cast<size_t>(n);
    else if (n == 0) error = ENOSPC;
    else if (errno != EINTR) error = errno;
  }
  if (error == 0 && ::fsync(fd.get()) != 0) error = errno;
  std::string failure = error == 0 ? "" : "could not write " + quotedPath(temporary);
  if (error == 0 && std::rename(temporary.c_str(), target.c_str()) != 0) {
    error = errno;
    failure = "could not rename " + quotedPath(temporary) + " to " + quotedPath(target);
  }
  if (error != 0) {
    ::unlink(temporary.c_str());
    throw failure + ": " + std::strerror(error);
  }
  if ((error = syncFolder(target)) != 0) {
    throw NotSynced(quotedPath(target) + " holds the save, but its folder could not be synced to disk (" +
                    std::strerror(error) + "), so a power cut may undo it");
  }
}

void removeLeftTemporaries(const std::string& target, std::time_t before) {
  const size_t slash = target.rfind('/');
  const std::string folder = folderOf(target), base = target.substr(slash == std::string::npos ? 0 : slash + 1);
  DIR* dir = base.empty() ? nullptr : ::opendir(folder.c_str());
  if (!dir) return;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string path = folder + entry->d_name;
    struct stat info;
    if (isTemporaryOf(base, entry->d_name) && ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        (before == 0 || info.st_mtime < before))
      ::unlink(path.c_str());
  }
  ::closedir(dir);
}

int syncFolder(const std::string& file) {
  const Descriptor folder(::open(folderOf(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  const int error = folder.get() < 0 ? errno : ::fsync(folder.get()) == 0 ? 0 : errno;
  return error == EINVAL ? 0 : error;
}

}  // namespace korvu
