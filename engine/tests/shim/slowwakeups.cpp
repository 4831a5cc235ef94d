// Preloaded into a test run that draws with the software renderer: each of
// its rasterizer threads (named "llvmpipe-N") that is about to wake the
// waiters of a condition variable waits 3 ms first, as a thread of a busy
// machine that lost its processor there would. A condition variable that
// the driver destroys meanwhile ends the run by SIGABRT with a message: the
// wake-up that follows would write into freed memory.
#include <dlfcn.h>
#include <pthread.h>
#include <signal.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>

namespace {

// The condition variable each rasterizer thread is about to wake, by the
// thread's number.
std::atomic<pthread_cond_t*> waking[16];

int rasterizerNumber() {
  char name[16] = "";
  pthread_getname_np(pthread_self(), name, sizeof name);
  if (strncmp(name, "llvmpipe-", 9) != 0) return -1;
  const int n = atoi(name + 9);
  return n >= 0 && n < 16 ? n : -1;
}

template <typename F>
F next(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" int pthread_cond_broadcast(pthread_cond_t* cond) {
  static const auto real = next<int (*)(pthread_cond_t*)>("pthread_cond_broadcast");
  const int n = rasterizerNumber();
  if (n >= 0) {
    waking[n] = cond;
    const timespec pause = {0, 3000000};
    nanosleep(&pause, nullptr);
    waking[n] = nullptr;
  }
  return real(cond);
}

extern "C" int pthread_cond_destroy(pthread_cond_t* cond) {
  static const auto real = next<int (*)(pthread_cond_t*)>("pthread_cond_destroy");
  for (const auto& w : waking) {
    if (w == cond) {
      static const char said[] = "A condition variable was destroyed while a rasterizer thread was waking it.\n";
      const ssize_t written = write(STDERR_FILENO, said, sizeof said - 1);
      static_cast<void>(written);
      signal(SIGABRT, SIG_DFL);
      abort();
    }
  }
  return real(cond);
}
