#include "common/userfile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "common/loggroups.h"
#include "debug.h"
#include "filepath.h"
#include "korvu.h"
#include "xml.h"

namespace glimro {

namespace {

// How often a save tries the lock again while another process holds it.
const std::chrono::milliseconds LOCK_RETRY(20);

std::string quoted(const std::string& file) { return "\"" + korvu::fullPath(file) + "\""; }

bool sameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

}  // namespace

FileLock::FileLock(const std::string& file) : fd_(-1) {
  const std::string lockFile = file + ".lock";
  // Not followed when it is a link: no file is ever made where a link
  // points. Not blocking: a FIFO in its place opens at once, and is refused.
  const int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
  struct stat info;
  std::string refused;
  if (fd < 0) {
    refused = errno == ELOOP ? "it is a link" : std::strerror(errno);
  } else if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    refused = "it is not a regular file";
  }
  if (!refused.empty()) {
    if (fd >= 0) ::close(fd);
    korvu::debug::warning(DBG_CORE, "The lock %s is not used (%s); saving without it.", quoted(lockFile).c_str(),
                          refused.c_str());
    return;
  }
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      fd_ = fd;
      return;
    }
    if (errno != EWOULDBLOCK && errno != EINTR) {
      korvu::debug::warning(DBG_CORE, "Could not take the lock %s (%s); saving without it.", quoted(lockFile).c_str(),
                            std::strerror(errno));
      break;
    }
    // A copy stopped or hung in the middle of its save holds the lock as
    // long as it lives; a quit signal ends the wait at once, so that the
    // game ends in order, its files saved.
    if (korvu::quitRequested()) {
      korvu::debug::warning(DBG_CORE,
                            "Another process holds the lock %s; the game is quitting, so it saves without it.",
                            quoted(lockFile).c_str());
      break;
    }
    if (std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(LOCK_WAIT_MS)) {
      korvu::debug::warning(DBG_CORE, "Another process holds the lock %s; saving without it.",
                            quoted(lockFile).c_str());
      break;
    }
    std::this_thread::sleep_for(LOCK_RETRY);
  }
  ::close(fd);
}

FileLock::~FileLock() {
  // Closing the last descriptor of the lock file releases the lock.
  if (fd_ >= 0) ::close(fd_);
}

UserFile::UserFile(const std::string& file_, const std::string& rootName_, const std::string& what_, int group_)
    : file(file_), rootName(rootName_), what(what_), group(group_), seen_() {}

std::unique_ptr<korvu::xml::Node> UserFile::read() {
  std::unique_ptr<korvu::xml::Node> root;
  problem.clear();
  reason.clear();
  try {
    root.reset(korvu::xml::loadXML(file.c_str(), USER_FILE_LIMIT, USER_FILE_DEPTH, &seen_));
    if (root && root->name == rootName) {
      state = READ;
      return root;
    }
    state = OTHER_ROOT;
    reason = "its root element is \"" + (root ? root->name : std::string()) + "\", not \"" + rootName + "\"";
    root.reset();
  } catch (const korvu::xml::OpenError& failure) {
    state = failure.error == ENOENT ? MISSING : failure.error == 0 ? NOT_REGULAR : UNOPENED;
    reason = state == MISSING       ? "there is no such file"
             : state == NOT_REGULAR ? "it is not a regular file"
                                    : std::strerror(failure.error);
  } catch (const std::string& message) {
    state = BROKEN;
    reason = message;
  }
  problem = "Could not read " + what + " from " + quoted(file) + ": " + reason + ".";
  return root;
}

std::unique_ptr<korvu::xml::Node> UserFile::load() {
  std::unique_ptr<korvu::xml::Node> root = read();
  if (state == READ) return root;
  if (state == MISSING) {
    korvu::debug::info(group, "%s", problem.c_str());
    return root;
  }
  std::string outcome = " It is left as it is";
  if (state == UNOPENED || state == NOT_REGULAR) {
    // Nothing of it was seen: it may hold everything, and becomes readable
    // again once its owner mends it.
    outcome += ", and nothing is saved to it while it stays so.";
  } else {
    // Kept aside under the lock, so that no copy moves a file that another
    // has just saved in its place.
    FileLock lock(file);
    try {
      const std::string aside = keepAside();
      if (aside.empty()) {
        // Another copy saved in its place: that file is read instead.
        root = read();
        if (state == READ || state == MISSING) return root;
        outcome += ".";
      } else {
        outcome = " It is kept as " + quoted(aside) + ".";
      }
    } catch (const std::string& message) {
      outcome = " " + message + ".";
    }
  }
  problem += outcome;
  korvu::debug::warning(group, "%s", problem.c_str());
  return nullptr;
}

void UserFile::save(const std::function<korvu::xml::Node*(const korvu::xml::Node* onDisk)>& merge) {
  FileLock lock(file);
  std::unique_ptr<korvu::xml::Node> onDisk = read();
  if (state == UNOPENED || state == NOT_REGULAR) throw Refused(quoted(file) + " is left as it is: " + reason);
  std::string aside;
  if (state == BROKEN || state == OTHER_ROOT) {
    korvu::debug::error(group, "%s", problem.c_str());
    aside = keepAside();  // throws, and the file stays, when it cannot be moved
    // Another process replaced the file between the read and the move: it
    // saved without the lock, and its file may be good; it is left.
    if (aside.empty()) throw quoted(file) + " is not written: it changed while it was being read";
    korvu::debug::error(group, "The unreadable file is kept as %s.", quoted(aside).c_str());
  }
  std::unique_ptr<korvu::xml::Node> merged(merge(onDisk.get()));
  try {
    merged->saveXML(file.c_str());
  } catch (const std::string&) {
    // Nothing replaced it: the kept file goes back to its own name, where
    // the player and the next start look for it.
    if (!aside.empty() && std::rename(aside.c_str(), file.c_str()) != 0) {
      korvu::debug::error(group, "Could not move %s back: %s", quoted(aside).c_str(), std::strerror(errno));
    }
    throw;
  }
  state = READ;
  problem.clear();
  reason.clear();
}

std::string UserFile::keepAside() {
  struct stat now;
  if (::stat(file.c_str(), &now) != 0 || !sameFile(now, seen_)) return "";
  for (unsigned n = 0;; ++n) {
    const std::string aside = file + ".broken" + (n == 0 ? std::string() : "." + std::to_string(n));
    // A hard link never replaces a file of that name; where the file system
    // has none, a name that nothing holds is renamed to.
    if (::link(file.c_str(), aside.c_str()) == 0) {
      if (::unlink(file.c_str()) == 0) return aside;
      const std::string reason = std::strerror(errno);
      ::unlink(aside.c_str());
      throw "Could not move " + quoted(file) + " aside: " + reason;
    }
    if (errno == EEXIST) continue;
    struct stat info;
    if (::lstat(aside.c_str(), &info) == 0) continue;
    if (std::rename(file.c_str(), aside.c_str()) == 0) return aside;
    throw "Could not move " + quoted(file) + " aside: " + std::strerror(errno);
  }
}

}  // namespace glimro
