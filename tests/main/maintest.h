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
