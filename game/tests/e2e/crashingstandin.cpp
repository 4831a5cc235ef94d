// Stands in for a game that dies: starts the engine, as the game does, with
// its fatal-signal report, writes a line to each log, and aborts in a
// function of its own while a second thread waits in another. Where
// STANDIN_END is "quit" it ends in order instead.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "korvu.h"

namespace {

[[noreturn]] __attribute__((noinline)) void corruptedHeapFound() { std::abort(); }

__attribute__((noinline)) void waitingBeside() {
  for (;;) pause();
}

}  // namespace

int main() {
  korvu::init(0, true);
  std::thread beside(waitingBeside);
  beside.detach();
  std::printf("a line on standard output\n");
  std::fflush(stdout);
  std::fprintf(stderr, "a line on standard error\n");
  const char* end = std::getenv("STANDIN_END");
  if (end && std::strcmp(end, "quit") == 0) korvu::quit();
  // Until the second thread waits.
  usleep(100000);
  corruptedHeapFound();
}
