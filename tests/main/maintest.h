// Helpers shared by the program entry tests.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <string>

// Standard input replaced by a pipe holding the text, for one scope.
class StdinFeed {
 public:
  explicit StdinFeed(const std::string& text) {
    std::fflush(stdin);
    saved_ = dup(0);
    int fds[2];
    if (pipe(fds) != 0) return;
    ssize_t w = write(fds[1], text.data(), text.size());
    (void)w;
    close(fds[1]);
    dup2(fds[0], 0);
    close(fds[0]);
    std::clearerr(stdin);
  }
  ~StdinFeed() {
    dup2(saved_, 0);
    close(saved_);
    std::clearerr(stdin);
  }

 private:
  int saved_ = -1;
};

// Standard input replaced by a pipe that stays open until the test writes
// to it, so that the reader really waits.
struct HeldStdin {
  int saved = -1, writer = -1;
  HeldStdin() {
    std::fflush(stdin);
    saved = dup(0);
    int fds[2];
    if (pipe(fds) != 0) return;
    dup2(fds[0], 0);
    close(fds[0]);
    writer = fds[1];
    std::clearerr(stdin);
  }
  void send(const std::string& text) {
    ssize_t n = write(writer, text.data(), text.size());
    (void)n;
  }
  ~HeldStdin() {
    if (writer >= 0) close(writer);
    dup2(saved, 0);
    close(saved);
    std::clearerr(stdin);
  }
};
