// Paths as a player reads them in a message: a file the game names by its
// path below the working folder is named by its full path, so that a player
// who started the game from a menu, in a folder of the launcher's choosing,
// can find it.
#pragma once

#include <string>

namespace korvu {

// `file` as an absolute path: unchanged where it already is one, else below
// the working folder. The path is not resolved further (links stay as they
// are); where the working folder cannot be read, `file` itself.
std::string fullPath(const std::string& file);
// fullPath in double quotes, as messages name a file.
std::string quotedPath(const std::string& file);

}  // namespace korvu
