#include "temporaryfile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>

#include "debug.h"
#include "filepath.h"

namespace korvu {

namespace {

// How often a temporary is made under another name before the save fails.
constexpr unsigned CREATE_ATTEMPTS = 8;

const std::string TEMPORARY = ".tmp";
const std::string LIVE = ".live";

// The folder of file, ending in '/', and the file's name in it.
std::string folderOf(const std::string& file) {
  const size_t slash = file.rfind('/');
  return slash == std::string::npos ? "./" : file.substr(0, slash + 1);
}

std::string nameOf(const std::string& file) {
  const size_t slash = file.rfind('/');
  return slash == std::string::npos ? file : file.substr(slash + 1);
}

// Sixteen hex digits that no other process is likely to draw.
std::string randomPart() {
  uint64_t value = 0;
  if (::getrandom(&value, sizeof value, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof value)) {
    // No random bytes yet (early in a boot): the clock, the process and a
    // count tell copies apart well enough, and a clash only costs a try.
    static std::atomic<uint64_t> count{0};
    value = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
            (static_cast<uint64_t>(::getpid()) << 40) ^ (count++ * 0x9E3779B97F4A7C15ull);
  }
  char digits[17];
  std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(value));
  return digits;
}

// Whether name is "<base>.<id><suffix>", id hex digits (the process ids of
// earlier versions among them), or "<base><suffix>" (id empty) as still
// earlier versions named their temporaries; id receives it.
bool isNamedFor(const std::string& base, const std::string& name, const std::string& suffix, std::string& id) {
  if (name == base + suffix) {
    id.clear();
    return true;
  }
  const std::string prefix = base + ".";
  if (name.size() <= prefix.size() + suffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
      name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
    return false;
  id = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
  return id.find_first_not_of("0123456789abcdef") == std::string::npos;
}

// What a companion records before its temporary is swapped with the file:
// the inodes of the temporary's own file and of the file the swap is to
// displace, with that one's size and time. Both stand in the folder of the
// temporary, so no device is recorded: its number may change from one boot
// to the next.
struct Record {
  unsigned long long ownInode = 0, inode = 0;
  long long size = 0, seconds = 0, nanoseconds = 0;
};

// Whether what stands at a dead maker's temporary name (at) came there by
// its swap and is not the file the swap was to displace: a file another
// process put in place, perhaps a save it was told of. Without a record the
// swap had not come yet.
bool displacedAnother(int companion, const struct stat& at) {
  char text[256] = {};
  const ssize_t n = ::pread(companion, text, sizeof text - 1, 0);
  Record r;
  if (n <= 0 || std::sscanf(text, "%llu %llu %lld %lld %lld", &r.ownInode, &r.inode, &r.size, &r.seconds,
                            &r.nanoseconds) != 5)
    return false;
  const unsigned long long inode = at.st_ino;
  if (inode == r.ownInode) return false;
  return !(inode == r.inode && at.st_size == r.size && at.st_mtim.tv_sec == r.seconds &&
           at.st_mtim.tv_nsec == r.nanoseconds);
}

// Opens path and locks it when it is a regular file that no process holds
// locked; true then, the lock held in fd.
bool lockUnheld(const std::string& path, Descriptor& fd) {
  fd.reset(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  struct stat held, named;
  return fd.get() >= 0 && ::fstat(fd.get(), &held) == 0 && S_ISREG(held.st_mode) &&
         ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0 && ::lstat(path.c_str(), &named) == 0 &&
         named.st_ino == held.st_ino && named.st_dev == held.st_dev;
}

bool exists(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0;
}

}  // namespace

Descriptor& Descriptor::operator=(Descriptor&& other) noexcept {
  if (this != &other) {
    reset(other.fd_);
    other.fd_ = -1;
  }
  return *this;
}

void Descriptor::reset(int fd) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

LeftTemporary::LeftTemporary(std::string path, std::string companion, Descriptor lock)
    : path_(std::move(path)), companion_(std::move(companion)), lock_(std::move(lock)) {}

void LeftTemporary::remove() {
  ::unlink(path_.c_str());
  if (!companion_.empty()) ::unlink(companion_.c_str());
  lock_.reset();
}

std::vector<LeftTemporary> takeLeftTemporaries(const std::string& target) {
  std::vector<LeftTemporary> left;
  const std::string folder = folderOf(target), base = nameOf(target);
  DIR* dir = base.empty() ? nullptr : ::opendir(folder.c_str());
  if (!dir) return left;
  std::string id;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string path = folder + entry->d_name;
    Descriptor lock;
    if (isNamedFor(base, entry->d_name, LIVE, id) && !id.empty()) {
      // A companion left without its temporary.
      if (!exists(folder + base + "." + id + TEMPORARY) && lockUnheld(path, lock)) ::unlink(path.c_str());
      continue;
    }
    if (!isNamedFor(base, entry->d_name, TEMPORARY, id)) continue;
    const std::string live = folder + base + "." + id + LIVE;
    struct stat info;
    if (!id.empty() && exists(live)) {
      if (!lockUnheld(live, lock) || ::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
      LeftTemporary taken(path, live, std::move(lock));
      // Its maker's own text, never put in place, of which nobody was
      // told, and the file it read and displaced, which what is in place
      // holds: neither is merged.
      if (displacedAnother(taken.lock(), info)) {
        left.push_back(std::move(taken));
      } else {
        taken.remove();
      }
    } else if (lockUnheld(path, lock)) {
      left.emplace_back(path, std::string(), std::move(lock));
    }
  }
  ::closedir(dir);
  return left;
}

TemporaryFile::TemporaryFile(const std::string& target, const std::string& text) {
  if (target.empty()) throw std::string("no file is named");
  for (unsigned attempt = 1;; ++attempt) {
    const std::string id = randomPart();
    path_ = target + "." + id + TEMPORARY;
    livePath_ = target + "." + id + LIVE;
    // The name is taken (a clash, or something put there): another one.
    const auto failed = [&](const std::string& name) {
      const int error = errno;
      if (error == EEXIST && attempt < CREATE_ATTEMPTS) return;
      throw "could not create " + quotedPath(name) + ": " + std::strerror(error);
    };
    live_.reset(::open(livePath_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (live_.get() < 0) {
      failed(livePath_);
      continue;
    }
    if (!lockAsMade()) {
      // A clean-up took the companion before the lock: it is not this
      // object's any more.
      live_.reset();
      if (attempt == CREATE_ATTEMPTS) {
        throw "another process removed " + quotedPath(livePath_) + " each of " + std::to_string(CREATE_ATTEMPTS) +
            " times it was made";
      }
      continue;
    }
    fd_.reset(::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (fd_.get() >= 0) break;
    const int error = errno;
    ::unlink(livePath_.c_str());
    live_.reset();
    errno = error;
    failed(path_);
  }
  std::string failure;
  for (size_t written = 0; failure.empty() && written < text.size();) {
    const ssize_t n = ::write(fd_.get(), text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    const int error = n < 0 ? errno : ENOSPC;
    if (n <= 0) failure = "could not write " + quotedPath(path_) + ": " + std::strerror(error);
    else written += static_cast<size_t>(n);
  }
  if (failure.empty() && ::fsync(fd_.get()) != 0) {
    const int error = errno;
    failure = "could not write " + quotedPath(path_) + ": " + std::strerror(error);
  }
  if (!failure.empty()) {
    ::unlink(path_.c_str());
    ::unlink(livePath_.c_str());
    fd_.reset();
    live_.reset();
    throw failure;
  }
}

void TemporaryFile::expect(const struct stat& displaced) {
  struct stat own;
  char record[256];
  int length = -1;
  if (::fstat(fd_.get(), &own) == 0) {
    length = std::snprintf(record, sizeof record, "%llu\n%llu %lld %lld %lld\n",
                           static_cast<unsigned long long>(own.st_ino),
                           static_cast<unsigned long long>(displaced.st_ino), static_cast<long long>(displaced.st_size),
                           static_cast<long long>(displaced.st_mtim.tv_sec),
                           static_cast<long long>(displaced.st_mtim.tv_nsec));
  }
  if (length <= 0 || ::pwrite(live_.get(), record, static_cast<size_t>(length), 0) != length ||
      ::fdatasync(live_.get()) != 0) {
    const int error = errno;
    throw "could not write " + quotedPath(livePath_) + ": " + std::strerror(error);
  }
}

bool TemporaryFile::lockAsMade() {
  int locked;
  while ((locked = ::flock(live_.get(), LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) continue;
  if (locked != 0) {
    // A clean-up that found the companion first holds it, and removes it.
    const int error = errno;
    if (error == EWOULDBLOCK) return false;
    debug::warning(dbgXml, "Could not lock %s (%s); %s is written unlocked.", quotedPath(livePath_).c_str(),
                   std::strerror(error), quotedPath(path_).c_str());
  }
  struct stat held, named;
  return ::fstat(live_.get(), &held) == 0 && ::lstat(livePath_.c_str(), &named) == 0 &&
         held.st_ino == named.st_ino && held.st_dev == named.st_dev;
}

TemporaryFile::~TemporaryFile() {
  // Both go while the companion is still locked, so that no other save
  // takes what stands at the temporary's name for a dead maker's.
  if (!placed_ && fd_.get() >= 0) ::unlink(path_.c_str());
  if (live_.get() >= 0) ::unlink(livePath_.c_str());
}

bool noHardLinks(int error) { return error == EPERM || error == EOPNOTSUPP || error == ENOSYS; }

bool moveNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  if (::link(from.c_str(), to.c_str()) == 0) {
    if (::unlink(from.c_str()) == 0) return true;
    const int error = errno;
    ::unlink(to.c_str());
    errno = error;
    return false;
  }
  if (!noHardLinks(errno)) return false;
  struct stat there;
  if (::lstat(to.c_str(), &there) == 0) {
    errno = EEXIST;
    return false;
  }
  return std::rename(from.c_str(), to.c_str()) == 0;
}

void syncFolder(const std::string& file) {
  const Descriptor folder(::open(folderOf(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  const int error = folder.get() < 0 ? errno : ::fsync(folder.get()) == 0 ? 0 : errno;
  if (error != 0 && error != EINVAL) {
    debug::warning(dbgXml, "Could not sync the folder of %s (%s); a power cut now may undo its last change.",
                   quotedPath(file).c_str(), std::strerror(error));
  }
}

std::string renameFailure(const std::string& from, const std::string& to) {
  const int error = errno;
  return "could not rename " + quotedPath(from) + " to " + quotedPath(to) + ": " + std::strerror(error);
}

}  // namespace korvu
