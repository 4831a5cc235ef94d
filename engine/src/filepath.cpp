#include "filepath.h"

#include <unistd.h>

#include <climits>

namespace korvu {

std::string fullPath(const std::string& file) {
  if (file.empty() || file[0] == '/') return file;
  char folder[PATH_MAX];
  if (!::getcwd(folder, sizeof folder)) return file;
  std::string path = folder;
  if (path.back() != '/') path += '/';
  return path + (file.compare(0, 2, "./") == 0 ? file.substr(2) : file);
}

std::string quotedPath(const std::string& file) { return "\"" + fullPath(file) + "\""; }

}  // namespace korvu
