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
#include <vector>

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

// How often a save reads and merges again when another process keeps
// replacing the file before this one can.
constexpr unsigned SAVE_ATTEMPTS = 5;

// Renames from to to, unless to exists: false with errno EEXIST then.
bool moveNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system that cannot refuse in the rename: a hard link never
  // replaces a file either.
  if (::link(from.c_str(), to.c_str()) == 0) {
    if (::unlink(from.c_str()) == 0) return true;
    const int error = errno;
    ::unlink(to.c_str());
    errno = error;
    return false;
  }
  // Nor hard links: the link was refused for a name that is there before
  // anything else, so the name was free just now.
  if (errno == EEXIST) return false;
  return std::rename(from.c_str(), to.c_str()) == 0;
}

bool sameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

}  // namespace

FileLock::FileLock(const std::string& file, const char* doing) : fd_(-1) {
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
    korvu::debug::warning(DBG_CORE, "The lock %s is not used (%s); %s without it.", quoted(lockFile).c_str(),
                          refused.c_str(), doing);
    return;
  }
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      fd_ = fd;
      return;
    }
    if (errno != EWOULDBLOCK && errno != EINTR) {
      korvu::debug::warning(DBG_CORE, "Could not take the lock %s (%s); %s without it.", quoted(lockFile).c_str(),
                            std::strerror(errno), doing);
      break;
    }
    // A copy stopped or hung in the middle of its save holds the lock as
    // long as it lives; a quit signal ends the wait at once, so that the
    // game ends in order, its files saved.
    if (korvu::quitRequested()) {
      korvu::debug::warning(DBG_CORE, "Another process holds the lock %s; the game is quitting: %s without it.",
                            quoted(lockFile).c_str(), doing);
      break;
    }
    if (std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(LOCK_WAIT_MS)) {
      korvu::debug::warning(DBG_CORE, "Another process holds the lock %s; %s without it.", quoted(lockFile).c_str(),
                            doing);
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
    FileLock lock(file, "moving the unreadable file aside");
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
  FileLock lock(file, "saving");
  for (unsigned attempt = 1;; ++attempt) {
    // Another copy replaced the file since it was read (it saved without
    // the lock, or this one did): merged again, so that both copies' saves
    // are on file.
    if (attempt > SAVE_ATTEMPTS) {
      throw "another process replaced it " + std::to_string(SAVE_ATTEMPTS) +
          " times while this one saved, so it holds that process's save only";
    }
    if (attempt > 1) korvu::debug::info(group, "%s changed while it was saved; merging again.", quoted(file).c_str());
    std::unique_ptr<korvu::xml::Node> onDisk = read();
    if (state == UNOPENED || state == NOT_REGULAR) throw Refused(reason);
    const bool unreadable = state == BROKEN || state == OTHER_ROOT;
    if (unreadable) korvu::debug::error(group, "%s", problem.c_str());
    std::unique_ptr<korvu::xml::Node> merged(merge(onDisk.get()));
    leaveOutUnwritable(*merged);
    const std::string text = merged->fileText();
    // What the next start would refuse to read is not written: the file
    // stays as it is, and all it holds with it.
    if (text.size() > USER_FILE_LIMIT) {
      throw "it would take " + std::to_string(text.size()) + " bytes, more than the " +
          std::to_string(USER_FILE_LIMIT) + " the game reads, so it is left as it was";
    }
    std::string aside;
    if (unreadable) {
      aside = keepAside();  // throws, and the file stays, when it cannot be moved
      // Another process saved in its place meanwhile: merged with that file.
      if (aside.empty()) continue;
      korvu::debug::error(group, "The unreadable file is kept as %s.", quoted(aside).c_str());
    }
    const bool found = state == READ;
    bool replaced = false;
    try {
      replaced = korvu::xml::replaceFile(file, text, [this, found](const std::string& temporary) {
        return found ? replaceIfUnchanged(temporary) : createIfAbsent(temporary);
      });
    } catch (const korvu::xml::WriteError& failure) {
      // Nothing replaced it: the kept file goes back to its own name, where
      // the player and the next start look for it.
      if (!aside.empty() && !moveNoReplace(aside, file) && errno != EEXIST) {
        korvu::debug::error(group, "Could not move %s back: %s", quoted(aside).c_str(), std::strerror(errno));
      }
      throw failure.reason;
    }
    if (replaced) break;
  }
  state = READ;
  problem.clear();
  reason.clear();
}

korvu::xml::Replacement UserFile::replaceIfUnchanged(const std::string& temporary) const {
  struct stat now;
  if (::stat(file.c_str(), &now) != 0 || !sameFile(now, seen_)) return korvu::xml::Replacement::LEFT;
  return std::rename(temporary.c_str(), file.c_str()) == 0 ? korvu::xml::Replacement::RENAMED
                                                            : korvu::xml::Replacement::FAILED;
}

korvu::xml::Replacement UserFile::createIfAbsent(const std::string& temporary) const {
  if (moveNoReplace(temporary, file)) return korvu::xml::Replacement::RENAMED;
  return errno == EEXIST ? korvu::xml::Replacement::LEFT : korvu::xml::Replacement::FAILED;
}

void UserFile::leaveOutUnwritable(korvu::xml::Node& root) const {
  unsigned count = 0;
  std::string first;
  const auto leftOut = [&](const std::string& name) {
    if (count++ == 0) first = name;
  };
  std::vector<korvu::xml::Node*> pending{&root};
  while (!pending.empty()) {
    korvu::xml::Node* node = pending.back();
    pending.pop_back();
    for (auto attribute = node->attributes.begin(); attribute != node->attributes.end();) {
      if (korvu::xml::writableName(attribute->first)) {
        ++attribute;
        continue;
      }
      leftOut(attribute->first);
      attribute = node->attributes.erase(attribute);
    }
    std::vector<korvu::xml::Node*> unwritable;
    for (korvu::xml::Node* child : node->children) {
      if (korvu::xml::writableName(child->name)) {
        pending.push_back(child);
      } else {
        leftOut(child->name);
        unwritable.push_back(child);
      }
    }
    for (korvu::xml::Node* child : unwritable) delete child;  // takes itself out of node
  }
  if (count > 0) {
    korvu::debug::warning(group,
                          "%u element or attribute names in %s cannot be written (the first: \"%s\"); what they "
                          "name is left out of %s.",
                          count, what.c_str(), first.c_str(), quoted(file).c_str());
  }
}

std::string UserFile::keepAside() {
  struct stat now;
  if (::stat(file.c_str(), &now) != 0 || !sameFile(now, seen_)) return "";
  for (unsigned n = 0;; ++n) {
    const std::string aside = file + ".broken" + (n == 0 ? std::string() : "." + std::to_string(n));
    if (moveNoReplace(file, aside)) return aside;
    if (errno == EEXIST) continue;
    throw "Could not move " + quoted(file) + " aside: " + std::strerror(errno);
  }
}

}  // namespace glimro
