// A FIFO made for a test, with a rescue for a test that fails: should the
// code under test block in opening it, the other end is opened after a few
// seconds so that the test still ends (and fails on what it then sees).
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

class fifo_end {
 public:
  explicit fifo_end(std::string path) : path_(std::move(path)) {
    unlink(path_.c_str());
    ok_ = mkfifo(path_.c_str(), 0600) == 0;
    rescue_ = std::thread([this] {
      std::unique_lock<std::mutex> lk(m_);
      while (!done_) {
        if (cv_.wait_for(lk, std::chrono::seconds(5), [this] { return done_; })) break;
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
    unlink(path_.c_str());
  }
  bool ok() const { return ok_; }
  const char* path() const { return path_.c_str(); }

 private:
  std::string path_;
  bool ok_ = false;
  bool done_ = false;
  std::mutex m_;
  std::condition_variable cv_;
  std::thread rescue_;
};
