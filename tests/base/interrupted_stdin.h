// Standard input replaced by a pipe on which nothing arrives while the code
// under test waits for a line, and the interrupt flag raised 0.3 s into the
// wait, as a user's Ctrl-C would.  Should the wait not end at the
// interrupt, the line is written to the pipe 4 s later, so that a failing
// test still ends.  Standard input comes back when the object goes.
#pragma once

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "base/cmnstate.h"

class interrupted_stdin {
 public:
  explicit interrupted_stdin(std::string line) : line_(std::move(line)) {
    std::fflush(stdin);
    saved_ = dup(0);
    int fds[2];
    if (pipe(fds) == 0) {
      dup2(fds[0], 0);
      close(fds[0]);
      w_ = fds[1];
    }
    std::clearerr(stdin);
  }
  ~interrupted_stdin() {
    if (w_ >= 0) close(w_);
    dup2(saved_, 0);
    close(saved_);
    std::clearerr(stdin);
  }
  bool ok() const { return w_ >= 0; }

  // Runs body while the interrupt comes; the seconds it took.
  template <class F>
  double time(F body) {
    std::thread later([] {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      gcmn.sigflg = 1;
    });
    std::atomic<bool> over{false};
    std::thread guard([this, &over] {
      for (int i = 0; i < 80 && !over; i++) std::this_thread::sleep_for(std::chrono::milliseconds(50));
      ssize_t n = write(w_, line_.data(), line_.size());
      (void)n;
    });
    auto t0 = std::chrono::steady_clock::now();
    body();
    over = true;
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    later.join();
    guard.join();
    return secs;
  }

 private:
  std::string line_;
  int saved_ = -1;
  int w_ = -1;
};
