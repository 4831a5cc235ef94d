#include "assetsupport.h"

#include <unistd.h>

#include <climits>

#include "testsupport.h"

namespace glimro_test {

InSourceDir::InSourceDir() {
  char buffer[PATH_MAX];
  if (getcwd(buffer, sizeof buffer)) previous_ = buffer;
  if (chdir(korvu_test::sourceDir().c_str()) != 0) ADD_FAILURE() << "cannot enter the source folder";
}

InSourceDir::~InSourceDir() {
  if (!previous_.empty() && chdir(previous_.c_str()) != 0) ADD_FAILURE() << "cannot return to " << previous_;
}

}  // namespace glimro_test
