#include "common/keepaside.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace glimro {

std::string keepAside(const std::string& file) {
  for (unsigned n = 0;; ++n) {
    const std::string aside = file + ".broken" + (n == 0 ? std::string() : "." + std::to_string(n));
    // A hard link never replaces a file of that name; where the file system
    // has none, a name that nothing holds is renamed to.
    if (::link(file.c_str(), aside.c_str()) == 0) {
      if (::unlink(file.c_str()) == 0) return aside;
      const std::string reason = std::strerror(errno);
      ::unlink(aside.c_str());
      throw "Could not move \"" + file + "\" aside: " + reason;
    }
    if (errno == EEXIST) continue;
    struct stat info;
    if (::lstat(aside.c_str(), &info) == 0) continue;
    if (std::rename(file.c_str(), aside.c_str()) == 0) return aside;
    throw "Could not move \"" + file + "\" aside: " + std::strerror(errno);
  }
}

}  // namespace glimro
