#include "common/keepaside.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "filepath.h"
#include "xml.h"

namespace glimro {

void UnopenedFile::checkWrite(const std::string& target) const {
  if (file.empty() || target != file) return;
  throw "\"" + korvu::fullPath(file) + "\" is not written: it could not be opened (" + reason + ")";
}

korvu::xml::Node* loadUserFile(const std::string& file, UnopenedFile* unopened) {
  try {
    korvu::xml::Node* root = korvu::xml::loadXML(file.c_str(), USER_FILE_LIMIT);
    if (unopened && unopened->file == file) *unopened = UnopenedFile();
    return root;
  } catch (const korvu::xml::OpenError& failure) {
    if (unopened && failure.error != ENOENT) {
      unopened->file = file;
      unopened->reason = std::strerror(failure.error);
    }
    throw;
  } catch (const std::string&) {
    // It opened: what it holds was seen, and a save may replace it.
    if (unopened && unopened->file == file) *unopened = UnopenedFile();
    throw;
  }
}

std::string keepAside(const std::string& file) {
  for (unsigned n = 0;; ++n) {
    const std::string aside = file + ".broken" + (n == 0 ? std::string() : "." + std::to_string(n));
    // A hard link never replaces a file of that name; where the file system
    // has none, a name that nothing holds is renamed to.
    if (::link(file.c_str(), aside.c_str()) == 0) {
      if (::unlink(file.c_str()) == 0) return aside;
      const std::string reason = std::strerror(errno);
      ::unlink(aside.c_str());
      throw "Could not move \"" + korvu::fullPath(file) + "\" aside: " + reason;
    }
    if (errno == EEXIST) continue;
    struct stat info;
    if (::lstat(aside.c_str(), &info) == 0) continue;
    if (std::rename(file.c_str(), aside.c_str()) == 0) return aside;
    throw "Could not move \"" + korvu::fullPath(file) + "\" aside: " + std::strerror(errno);
  }
}

}  // namespace glimro
