#include "common/userfile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cctype>
#include <climits>
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

// How many rounds a save takes, each finding that another process
// replaced the file, before it gives up.
constexpr unsigned SAVE_ATTEMPTS = 5;

bool sameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

bool sameInode(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

std::string linkTarget(const std::string& file) {
  std::vector<char> target(PATH_MAX);
  const ssize_t n = ::readlink(file.c_str(), target.data(), target.size());
  return n > 0 ? std::string(target.data(), static_cast<size_t>(n)) : std::string("?");
}

// Copies what the open file from holds into a new file at to (made anew,
// never through a link), flushed to disk. False with errno when it cannot;
// nothing is left at to then.
bool copyInto(int from, const std::string& to) {
  korvu::Descriptor out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
  if (out.get() < 0) return false;
  std::vector<char> buffer(64 * 1024);
  bool copied = true;
  for (off_t at = 0; copied;) {
    const ssize_t n = ::pread(from, buffer.data(), buffer.size(), at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      copied = n == 0;
      break;
    }
    for (ssize_t done = 0; copied && done < n;) {
      const ssize_t w = ::write(out.get(), buffer.data() + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w == 0) errno = ENOSPC;
      copied = w > 0;
      done += w;
    }
    at += n;
  }
  if (copied && ::fsync(out.get()) == 0) return true;
  const int error = errno;
  ::unlink(to.c_str());
  errno = error;
  return false;
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
    korvu::debug::warning(DBG_CORE, "The lock %s is not used (%s); %s without it.", korvu::quotedPath(lockFile).c_str(),
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
      korvu::debug::warning(DBG_CORE, "Could not take the lock %s (%s); %s without it.", korvu::quotedPath(lockFile).c_str(),
                            std::strerror(errno), doing);
      break;
    }
    // A copy stopped or hung in the middle of its save holds the lock as
    // long as it lives; a quit signal ends the wait at once, so that the
    // game ends in order, its files saved.
    if (korvu::quitRequested()) {
      korvu::debug::warning(DBG_CORE, "Another process holds the lock %s; the game is quitting: %s without it.",
                            korvu::quotedPath(lockFile).c_str(), doing);
      break;
    }
    if (std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(LOCK_WAIT_MS)) {
      korvu::debug::warning(DBG_CORE, "Another process holds the lock %s; %s without it.", korvu::quotedPath(lockFile).c_str(),
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
  linkTarget_.clear();
  struct stat named;
  if (::lstat(file.c_str(), &named) == 0 && S_ISLNK(named.st_mode)) linkTarget_ = linkTarget(file);
  int descriptor = -1;
  try {
    root.reset(korvu::xml::loadXML(file.c_str(), USER_FILE_LIMIT, USER_FILE_DEPTH, &seen_, &descriptor));
    held_.reset(descriptor);
    if (root && root->name == rootName) {
      state = READ;
      return root;
    }
    state = OTHER_ROOT;
    reason = "its root element is \"" + (root ? root->name : std::string()) + "\", not \"" + rootName + "\"";
    root.reset();
  } catch (const korvu::xml::OpenError& failure) {
    held_.reset(descriptor);
    state = failure.error == ENOENT ? MISSING : failure.error == 0 ? NOT_REGULAR : UNOPENED;
    reason = state == MISSING       ? "there is no such file"
             : state == NOT_REGULAR ? "it is not a regular file"
                                    : std::strerror(failure.error);
    if (state == MISSING && !linkTarget_.empty()) {
      state = UNOPENED;
      reason = "it is a link to \"" + linkTarget_ + "\", which is missing";
    }
  } catch (const std::string& message) {
    held_.reset(descriptor);
    state = BROKEN;
    reason = message;
  }
  problem = "Could not read " + what + " from " + korvu::quotedPath(file) + ": " + reason + ".";
  return root;
}

std::unique_ptr<korvu::xml::Node> UserFile::load() {
  std::unique_ptr<korvu::xml::Node> root = read();
  if (state == READ) return root;
  if (state == MISSING) {
    korvu::debug::info(group, "%s", problem.c_str());
    return root;
  }
  if (state == UNOPENED || state == NOT_REGULAR || !linkTarget_.empty()) {
    // Nothing of it was seen, or it leads elsewhere: it may hold everything,
    // and becomes readable again once its owner mends it.
    problem += " It is left as it is, and nothing is saved to it while it stays so.";
  } else {
    problem += " It is kept aside when " + what + " are next saved, and a new file is written in its place.";
  }
  korvu::debug::warning(group, "%s", problem.c_str());
  return nullptr;
}

void UserFile::save(const std::function<korvu::xml::Node*(const korvu::xml::Node* onDisk)>& merge) {
  FileLock lock(file, "saving");
  keptAs.clear();
  std::unique_ptr<korvu::xml::Node> onDisk;
  bool unreadable = false;
  const auto readAgain = [&] {
    onDisk = read();
    if (!linkTarget_.empty()) {
      throw Refused("it is a link to \"" + linkTarget_ +
                    "\", and the game neither writes through a link nor replaces one");
    }
    if (state == UNOPENED || state == NOT_REGULAR) throw Refused(reason);
    unreadable = state == BROKEN || state == OTHER_ROOT;
    if (unreadable) korvu::debug::error(group, "%s", problem.c_str());
  };
  readAgain();
  // What saves that died left at their temporaries' names: their text, or
  // a file their swap displaced, perhaps a save another process was told
  // of. Each is merged in a round of its own.
  std::vector<korvu::LeftTemporary> left = korvu::takeLeftTemporaries(file);
  // What the last round left to merge: the file its swap displaced (at its
  // temporary's name) or one of those. It goes once a file that holds it is
  // in place; when the save fails first, it is left for the next save.
  std::unique_ptr<korvu::TemporaryFile> displaced;
  std::unique_ptr<korvu::LeftTemporary> taken;
  unsigned contested = 0;
  // Another process replaced the file since it was read (it saved without
  // the lock, or this one did): merged again, so that both saves are on
  // file.
  const auto mergeAgain = [&] {
    if (++contested == SAVE_ATTEMPTS) {
      throw "another process replaced it " + std::to_string(SAVE_ATTEMPTS) + " times while this one saved";
    }
    korvu::debug::info(group, "%s changed while it was saved; merging again.", korvu::quotedPath(file).c_str());
  };
  for (;;) {
    std::unique_ptr<korvu::xml::Node> tree(merge(onDisk.get()));
    leaveOutUnwritable(*tree);
    const std::string text = tree->fileText();
    // What the next start would refuse to read is not written: the file
    // stays as it is, and all it holds with it.
    if (text.size() > USER_FILE_LIMIT) {
      throw "it would take " + std::to_string(text.size()) + " bytes, more than the " +
          std::to_string(USER_FILE_LIMIT) + " the game reads, so it is left as it was";
    }
    auto temporary = std::make_unique<korvu::TemporaryFile>(file, text);
    if (unreadable) {
      const std::string aside = keepAside();
      if (aside.empty()) {
        readAgain();
        mergeAgain();
        continue;
      }
      korvu::debug::error(group, "The unreadable file is kept as %s.", korvu::quotedPath(aside).c_str());
      keptAs = aside;
      unreadable = false;
    }
    const Put put = held_.get() < 0 ? create(*temporary) : swap(*temporary);
    if (put == CHANGED) {
      readAgain();
      mergeAgain();
      continue;
    }
    // The file now in place holds what was merged last, and the next
    // round expects it there.
    if (displaced) ::unlink(displaced->path().c_str());
    displaced.reset();
    if (taken) taken->remove();
    taken.reset();
    held_.reset(::fcntl(temporary->descriptor(), F_DUPFD_CLOEXEC, 0));
    ::fstat(temporary->descriptor(), &seen_);
    if (put == DISPLACED && (onDisk = takeDisplaced(temporary->path()))) {
      displaced = std::move(temporary);
      mergeAgain();
      continue;
    }
    for (onDisk.reset(); !onDisk && !left.empty(); left.pop_back()) {
      taken = std::make_unique<korvu::LeftTemporary>(std::move(left.back()));
      onDisk = readLeft(taken->path());
      // Unreadable: a dead save's own text, cut short, of which nobody
      // was told.
      if (!onDisk) taken->remove();
    }
    if (!onDisk) break;
  }
  state = READ;
  problem.clear();
  reason.clear();
}

UserFile::Put UserFile::create(korvu::TemporaryFile& temporary) {
  if (!korvu::moveNoReplace(temporary.path(), file)) {
    if (errno == EEXIST) return CHANGED;
    throw korvu::renameFailure(temporary.path(), file);
  }
  temporary.placed();
  korvu::syncFolder(file);
  return PLACED;
}

UserFile::Put UserFile::swap(korvu::TemporaryFile& temporary) {
  const std::string& name = temporary.path();
  temporary.expect(seen_);
  if (::renameat2(AT_FDCWD, name.c_str(), AT_FDCWD, file.c_str(), RENAME_EXCHANGE) == 0) {
    temporary.placed();
    korvu::syncFolder(file);
    return sortDisplaced(name);
  }
  const int error = errno;
  if (error == ENOENT) return CHANGED;  // the file went meanwhile
  errno = error;
  if (error != EINVAL && error != ENOSYS) throw korvu::renameFailure(name, file);
  // A file system that cannot swap (some network and FUSE ones): the file
  // is renamed over after a look that it is still the one read.
  struct stat now;
  if (::stat(file.c_str(), &now) != 0 || !sameFile(now, seen_)) return CHANGED;
  if (std::rename(name.c_str(), file.c_str()) != 0) throw korvu::renameFailure(name, file);
  temporary.placed();
  korvu::syncFolder(file);
  return PLACED;
}

UserFile::Put UserFile::sortDisplaced(const std::string& name) {
  struct stat was;
  if (::lstat(name.c_str(), &was) != 0) {
    korvu::debug::error(group, "What this save displaced from %s was removed by another process before it was read.",
                        korvu::quotedPath(file).c_str());
    return PLACED;
  }
  if (S_ISREG(was.st_mode) && sameFile(was, seen_)) {
    ::unlink(name.c_str());
    return PLACED;
  }
  return DISPLACED;
}

std::unique_ptr<korvu::xml::Node> UserFile::takeDisplaced(const std::string& name) {
  std::string why;
  struct stat info;
  if (::lstat(name.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
    why = S_ISLNK(info.st_mode) ? "is a link" : "is not a regular file";
  } else {
    try {
      std::unique_ptr<korvu::xml::Node> root(korvu::xml::loadXML(name.c_str(), USER_FILE_LIMIT, USER_FILE_DEPTH));
      if (root && root->name == rootName) return root;
      why = "has the root element \"" + (root ? root->name : std::string()) + "\"";
    } catch (const std::string& message) {
      why = "could not be read (" + message + ")";
    }
  }
  keepDisplacedAside(name, why);
  return nullptr;
}

std::unique_ptr<korvu::xml::Node> UserFile::readLeft(const std::string& name) const {
  try {
    std::unique_ptr<korvu::xml::Node> root(korvu::xml::loadXML(name.c_str(), USER_FILE_LIMIT, USER_FILE_DEPTH));
    if (root && root->name == rootName) return root;
  } catch (const std::string&) {
  }
  return nullptr;
}

std::string UserFile::asideName(unsigned n) const {
  return file + ".broken" + (n == 0 ? std::string() : "." + std::to_string(n));
}

void UserFile::keepDisplacedAside(const std::string& name, const std::string& why) {
  std::string kept;
  for (unsigned n = 0; kept.empty(); ++n) {
    const std::string aside = asideName(n);
    if (korvu::moveNoReplace(name, aside)) {
      korvu::syncFolder(aside);
      kept = "it is kept as " + korvu::quotedPath(aside);
    } else if (errno != EEXIST) {
      kept = "it could not be kept aside: " + korvu::renameFailure(name, aside);
    }
  }
  korvu::debug::error(group, "Another process put a file in place of %s while this one saved, which %s; %s.",
                      korvu::quotedPath(file).c_str(), why.c_str(), kept.c_str());
}

std::string UserFile::keepAside() {
  struct stat now;
  if (held_.get() < 0 || ::stat(file.c_str(), &now) != 0 || !sameFile(now, seen_)) return "";
  for (unsigned n = 0;; ++n) {
    const std::string aside = asideName(n);
    struct stat there;
    if (::lstat(aside.c_str(), &there) == 0) {
      // Kept at an earlier start, and still in place since.
      if (sameInode(there, seen_)) return aside;
      continue;
    }
    if (::link(file.c_str(), aside.c_str()) == 0) {
      if (::lstat(aside.c_str(), &there) == 0 && sameInode(there, seen_)) {
        korvu::syncFolder(aside);
        return aside;
      }
      // Another copy's file took the name in between, and keeps it.
      ::unlink(aside.c_str());
      return "";
    }
    int error = errno;
    if (error == EEXIST) continue;
    if (korvu::noHardLinks(error)) {
      if (copyInto(held_.get(), aside)) {
        korvu::syncFolder(aside);
        return aside;
      }
      error = errno;
      if (error == EEXIST) continue;
    }
    throw "the unreadable file could not be kept aside as " + korvu::quotedPath(aside) + ": " + std::strerror(error);
  }
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
                          count, what.c_str(), first.c_str(), korvu::quotedPath(file).c_str());
  }
}

}  // namespace glimro
