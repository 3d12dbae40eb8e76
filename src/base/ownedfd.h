// A descriptor owned by one record: closed with it, handed on by moving,
// never copied, so that no two records close the same number.
#pragma once

#include <unistd.h>

class ownedfd {
 public:
  ownedfd() = default;
  explicit ownedfd(int fd) : fd_(fd) {}
  ownedfd(const ownedfd&) = delete;
  ownedfd& operator=(const ownedfd&) = delete;
  ownedfd(ownedfd&& o) noexcept : fd_(o.release()) {}
  ownedfd& operator=(ownedfd&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  ~ownedfd() { reset(); }

  int get() const { return fd_; }
  // Gives the descriptor up without closing it.
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void reset(int fd = -1) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};
