// An open file descriptor that closes itself: it is moved, never copied, so
// exactly one owner closes it.
#pragma once

#include <unistd.h>

#include <utility>

namespace korvu {

// -1 for none.
class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Descriptor& operator=(Descriptor&& other) noexcept {
    reset(std::exchange(other.fd_, -1));
    return *this;
  }
  ~Descriptor() { reset(); }

  int get() const { return fd_; }
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

}  // namespace korvu
