// The program's entry: start-up, the main loop, shutdown. A message thrown
// out of any of them is written on standard error and ends the program with
// a failure status, after the same clean-up as an orderly end.
#include <cstdio>
#include <string>

#include "shell/shell.h"

int main(int, char**) {
  try {
    glimro::init();
    glimro::mainLoop();
  } catch (const std::string& message) {
    std::fprintf(stderr, "%s\n", message.c_str());
    glimro::quit(1);
  }
  glimro::quit();
}
