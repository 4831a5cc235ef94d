#include "common/userfile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/sendfile.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <thread>
#include <vector>

#include "common/loggroups.h"
#include "debug.h"
#include "filepath.h"
#include "replacefile.h"
#include "xml.h"

namespace glimro {

namespace {

// How often a save tries the lock again while another process holds it.
const std::chrono::milliseconds LOCK_RETRY(20);
// How old a temporary must be before a save without a lock takes it for
// one that a save which died left: no save under way takes that long.
constexpr std::time_t LEFT_TEMPORARY_AGE = 3600;

// Copies what the open file from holds into a new file at to (made anew,
// never through a link), flushed to disk. False with errno when it cannot;
// nothing is left at to then.
bool copyInto(int from, const std::string& to) {
  korvu::Descriptor out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
  if (out.get() < 0) return false;
  off_t at = 0;
  ssize_t n;
  while ((n = ::sendfile(out.get(), from, &at, 1 << 20)) > 0 || (n < 0 && errno == EINTR)) continue;
  if (n == 0 && ::fsync(out.get()) == 0) return true;
  const int error = errno;
  ::unlink(to.c_str());
  errno = error;
  return false;
}

// Takes an exclusive flock on "<file>.lock", which every save of the file
// holds around its read, merge and write, and gives its descriptor: closing
// it, or the end of its holder, releases the lock. The lock file stays:
// removing it would let two copies lock two different files of one name.
// Throws the reason alone when another process holds it beyond
// LOCK_WAIT_MS, or the lock file is a link (never followed, so nothing is
// made where it points), no regular file, or cannot be opened (made where
// missing) or locked.
// Where the file system has no locks it gives none (-1), and says so once.
korvu::Descriptor lock(const std::string& file) {
  const std::string name = korvu::quotedPath(file + ".lock");
  // Not blocking: a FIFO in its place opens at once, and is refused.
  korvu::Descriptor fd(
      ::open((file + ".lock").c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644));
  struct stat info;
  if (fd.get() < 0) {
    const int error = errno;
    throw error == ELOOP ? "its lock " + name + " is a link, which the game does not follow"
                         : "could not open its lock " + name + ": " + std::strerror(error);
  }
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) throw "its lock " + name + " is not a regular file";
  // A quit signal does not cut the wait short: nothing is written without
  // the lock, and the wait is short.
  const auto start = std::chrono::steady_clock::now();
  while (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    if (error == ENOLCK) {
      static bool told = false;
      if (!told) {
        UserFile::unlockedNotice = "Could not lock " + name + " (" + std::strerror(error) +
            "): the game saves there without locks, so two copies of the game on that folder may overwrite each "
            "other's saves where their saves overlap.";
        korvu::debug::warning(DBG_CORE, "%s", UserFile::unlockedNotice.c_str());
      }
      told = true;
      return korvu::Descriptor();
    }
    if (error != EWOULDBLOCK && error != EINTR) throw "could not lock " + name + ": " + std::strerror(error);
    if (std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(LOCK_WAIT_MS)) {
      throw "its lock " + name + " was held by other processes (another copy of the game saving it, or another "
          "program) for all of the " + std::to_string(LOCK_WAIT_MS / 1000) + " s a save waits";
    }
    std::this_thread::sleep_for(LOCK_RETRY);
  }
  return fd;
}

}  // namespace

std::string UserFile::unlockedNotice;

UserFile::UserFile(const std::string& file_, const std::string& rootName_, const std::string& what_, int group_)
    : file(file_), rootName(rootName_), what(what_), group(group_), seen_() {}

std::unique_ptr<korvu::xml::Node> UserFile::read() {
  std::unique_ptr<korvu::xml::Node> root;
  problem.clear();
  reason.clear();
  std::error_code notALink;
  linkTarget_ = std::filesystem::read_symlink(file, notALink).string();
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
  const korvu::Descriptor locked = lock(file);
  keptAs.clear();
  std::unique_ptr<korvu::xml::Node> onDisk = read();
  if (!linkTarget_.empty()) {
    throw Refused("it is a link to \"" + linkTarget_ + "\", and the game neither writes through a link nor replaces one");
  }
  if (state == UNOPENED || state == NOT_REGULAR) throw Refused(reason);
  const bool unreadable = state == BROKEN || state == OTHER_ROOT;
  if (unreadable) korvu::debug::error(group, "%s", problem.c_str());
  // Under the lock no other save is under way: every temporary of the
  // game's is the text of a save that died before anyone was told of it.
  korvu::removeLeftTemporaries(file, locked.get() >= 0 ? 0 : std::time(nullptr) - LEFT_TEMPORARY_AGE);
  std::unique_ptr<korvu::xml::Node> tree(merge(onDisk.get()));
  leaveOutUnwritable(*tree);
  const std::string text = tree->fileText();
  // What the next start would refuse to read is not written: the file
  // stays as it is, and all it holds with it.
  if (text.size() > USER_FILE_LIMIT) {
    throw "it would take " + std::to_string(text.size()) + " bytes, more than the " +
        std::to_string(USER_FILE_LIMIT) + " the game reads, so it is left as it was";
  }
  if (unreadable) {
    keptAs = keepAside();
    korvu::debug::error(group, "The unreadable file is kept as %s.", korvu::quotedPath(keptAs).c_str());
  }
  korvu::replaceFile(file, text);
  state = READ;
  problem.clear();
  reason.clear();
}

std::string UserFile::keepAside() {
  // The file held open is the one read, whatever stands at its name now.
  const std::string held = "/proc/self/fd/" + std::to_string(held_.get());
  for (unsigned n = 0;; ++n) {
    const std::string aside = file + ".broken" + (n == 0 ? std::string() : "." + std::to_string(n));
    struct stat there;
    int error = 0;
    if (::lstat(aside.c_str(), &there) == 0) {
      // Kept by an earlier save that failed after it, maybe at the sync.
      if (there.st_dev != seen_.st_dev || there.st_ino != seen_.st_ino) continue;
    } else {
      error = ::linkat(AT_FDCWD, held.c_str(), AT_FDCWD, aside.c_str(), AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
      // No hard links on this file system (or no /proc to link from): a copy.
      if (error == EPERM || error == EOPNOTSUPP || error == ENOSYS || error == ENOENT)
        error = copyInto(held_.get(), aside) ? 0 : errno;
      if (error == EEXIST) continue;
      if (error != 0) {
        throw "the unreadable file could not be kept aside as " + korvu::quotedPath(aside) + ": " +
            std::strerror(error);
      }
    }
    // Not on disk, it could be lost to a cut that the replace outlives.
    if ((error = korvu::syncFolder(aside)) == 0) return aside;
    throw "the unreadable file is kept as " + korvu::quotedPath(aside) + ", but its folder could not be synced " +
        "to disk (" + std::strerror(error) + "), so the file is left as it was";
  }
}

void UserFile::leaveOutUnwritable(korvu::xml::Node& root) const {
  unsigned count = 0;
  std::string first;
  const auto writable = [&](const std::string& name) {
    if (korvu::xml::writableName(name)) return true;
    if (count++ == 0) first = name;
    return false;
  };
  for (std::vector<korvu::xml::Node*> pending{&root}; !pending.empty();) {
    korvu::xml::Node* node = pending.back();
    pending.pop_back();
    for (auto attribute = node->attributes.begin(); attribute != node->attributes.end();)
      attribute = writable(attribute->first) ? std::next(attribute) : node->attributes.erase(attribute);
    for (korvu::xml::Node* child : std::vector<korvu::xml::Node*>(node->children.begin(), node->children.end())) {
      if (writable(child->name)) pending.push_back(child);
      else delete child;  // takes itself out of node
    }
  }
  if (count > 0) {
    korvu::debug::warning(group,
                          "%u element or attribute names in %s cannot be written (the first: \"%s\"); what they "
                          "name is left out of %s.",
                          count, what.c_str(), first.c_str(), korvu::quotedPath(file).c_str());
  }
}

}  // namespace glimro
