#include "common/filelock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "common/keepaside.h"
#include "common/loggroups.h"
#include "debug.h"
#include "filepath.h"
#include "xml.h"

namespace glimro {

FileLock::FileLock(const std::string& file) : fd_(-1) {
  const std::string lockFile = korvu::fullPath(file + ".lock");
  fd_ = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd_ < 0) throw "Could not open the lock file \"" + lockFile + "\": " + std::strerror(errno);
  while (::flock(fd_, LOCK_EX) != 0) {
    if (errno == EINTR) continue;
    const std::string reason = std::strerror(errno);
    ::close(fd_);
    throw "Could not lock \"" + lockFile + "\": " + reason;
  }
}

FileLock::~FileLock() {
  // Closing the last descriptor of the lock file releases the lock.
  ::close(fd_);
}

void saveMerged(const std::string& file, const std::string& rootName,
                const std::function<korvu::xml::Node*(const korvu::xml::Node* onDisk)>& merge) {
  FileLock lock(file);

  // A file that is there but cannot be opened (no permission, a link loop, a
  // folder) is left to the player: it may hold data, and it cannot be read
  // to merge. One that opens but does not parse, or is larger than any file
  // of the game's, is kept aside.
  std::unique_ptr<korvu::xml::Node> onDisk;
  std::string aside;
  std::string problem;
  try {
    onDisk.reset(loadUserFile(file, nullptr));
    if (!onDisk || onDisk->name != rootName) problem = "its root element is not \"" + rootName + "\"";
  } catch (const korvu::xml::OpenError& failure) {
    if (failure.error != ENOENT) UnopenedFile{file, std::strerror(failure.error)}.checkWrite(file);
  } catch (const std::string& message) {
    problem = message;
  }
  if (!problem.empty()) {
    onDisk.reset();
    korvu::debug::error(DBG_RESOURCES, "Could not read \"%s\" to merge with it: %s", korvu::fullPath(file).c_str(),
                        problem.c_str());
    aside = keepAside(file);  // throws, and the file stays, when it cannot be moved
    korvu::debug::error(DBG_RESOURCES, "The unreadable file is kept as \"%s\".", korvu::fullPath(aside).c_str());
  }

  std::unique_ptr<korvu::xml::Node> merged(merge(onDisk.get()));
  try {
    merged->saveXML(file.c_str());
  } catch (const std::string&) {
    // Nothing replaced it: the kept file goes back to its own name, where
    // the player and the next start look for it.
    if (!aside.empty() && std::rename(aside.c_str(), file.c_str()) != 0) {
      korvu::debug::error(DBG_RESOURCES, "Could not move \"%s\" back: %s", korvu::fullPath(aside).c_str(),
                          std::strerror(errno));
    }
    throw;
  }
}

}  // namespace glimro
