// Helpers of the game's tests that use the real resources: running with the
// repository root as working directory (the resource lists name their files
// relative to it).
#pragma once

#include <string>

namespace glimro_test {

// Makes the repository root the working directory while it lives.
class InSourceDir {
 public:
  InSourceDir();
  ~InSourceDir();
  InSourceDir(const InSourceDir&) = delete;
  InSourceDir& operator=(const InSourceDir&) = delete;

 private:
  std::string previous_;
};

}  // namespace glimro_test
