// A FIFO made for a test, with a rescue for a test that fails: should the
// code under test block in opening it, the other end is opened after a few
// seconds so that the test still ends (and fails on what it then sees).
// With `interrupt`, the interrupt flag is raised as a user's Ctrl-C would
// be, once the code under test holds the FIFO open for reading and waits
// on a writer (a plain blocking open never gets that far).  An open for
// writing holds nothing while it waits for a reader: raise the flag before
// it with interrupt_raised.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "base/cmnstate.h"

class fifo_end {
 public:
  explicit fifo_end(std::string path, bool interrupt = false) : path_(std::move(path)) {
    unlink(path_.c_str());
    ok_ = mkfifo(path_.c_str(), 0600) == 0;
    rescue_ = std::thread([this, interrupt] {
      std::unique_lock<std::mutex> lk(m_);
      for (int slice = 1; !done_; slice++) {
        if (cv_.wait_for(lk, std::chrono::milliseconds(2), [this] { return done_; })) break;
        if (interrupt && !gcmn.sigflg && held()) gcmn.sigflg = 1;
        if (slice % 2500) continue;
        // Either end, whichever side the code under test waits on.
        int r = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK);
        int w = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK);
        if (w >= 0) ::close(w);
        if (r >= 0) ::close(r);
      }
    });
  }
  ~fifo_end() {
    {
      std::lock_guard<std::mutex> lk(m_);
      done_ = true;
    }
    cv_.notify_all();
    rescue_.join();
    gcmn.sigflg = 0;
    unlink(path_.c_str());
  }
  bool ok() const { return ok_; }
  const char* path() const { return path_.c_str(); }

 private:
  // True when a descriptor of this process is open on the FIFO.
  bool held() const {
    char want[PATH_MAX];
    if (!realpath(path_.c_str(), want)) return false;
    DIR* d = opendir("/proc/self/fd");
    if (!d) return false;
    bool found = false;
    while (struct dirent* e = readdir(d)) {
      std::string link = std::string("/proc/self/fd/") + e->d_name;
      char got[PATH_MAX];
      ssize_t n = readlink(link.c_str(), got, sizeof got - 1);
      if (n > 0 && std::string(got, static_cast<size_t>(n)) == want) found = true;
    }
    closedir(d);
    return found;
  }

  std::string path_;
  bool ok_ = false;
  bool done_ = false;
  std::mutex m_;
  std::condition_variable cv_;
  std::thread rescue_;
};

// The interrupt flag raised for the life of the object, as if the user had
// pressed Ctrl-C just before.
struct interrupt_raised {
  interrupt_raised() { gcmn.sigflg = 1; }
  ~interrupt_raised() { gcmn.sigflg = 0; }
};
