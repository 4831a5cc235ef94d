// The program's entry: start-up, the main loop, shutdown. A message thrown
// out of start-up or the main loop is written on standard error and ends the
// program with a failure status, after the same clean-up as an orderly end;
// shutdown throws nothing (a save that fails there is reported and passed).
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
