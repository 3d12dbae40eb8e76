// A whole session (ommain) in a child process, as a batch job or a pipeline
// runs it: standard input is a pipe the test writes to, standard output a
// file (or a pipe the test reads and may close), and the session works in
// a folder of its own that goes with the object.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "main/ommain.h"

class SessionChild {
 public:
  SessionChild() {
    char tmpl[] = "/tmp/omsessXXXXXX";
    if (mkdtemp(tmpl)) dir_ = tmpl;
  }
  SessionChild(const SessionChild&) = delete;
  SessionChild& operator=(const SessionChild&) = delete;

  ~SessionChild() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    closein();
    closeout();
    if (!dir_.empty()) {
      std::error_code ec;
      std::filesystem::remove_all(dir_, ec);
    }
  }

  std::string path(const std::string& name) const { return dir_ + "/" + name; }

  void put(const std::string& name, const std::string& text) const {
    std::ofstream(path(name), std::ios::binary) << text;
  }

  std::string get(const std::string& name) const {
    std::ifstream f(path(name), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), {});
  }

  // What the session printed, with standard output a file.
  std::string said() const { return get("stdout"); }

  // Starts ombra with the arguments.  outpipe makes standard output a pipe
  // read with out(); setup runs in the child first (limits, dispositions).
  bool start(std::vector<std::string> args, bool outpipe = false,
             const std::function<void()>& setup = {}) {
    int inp[2], outp[2] = {-1, -1};
    if (dir_.empty() || pipe(inp) != 0) return false;
    if (outpipe && pipe(outp) != 0) return false;
    std::fflush(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      if (chdir(dir_.c_str()) != 0) _exit(120);
      dup2(inp[0], 0);
      int o = outpipe ? outp[1] : open("stdout", O_WRONLY | O_CREAT | O_TRUNC, 0600);
      dup2(o, 1);
      for (int fd : {inp[0], inp[1], outp[0], outp[1], o})
        if (fd > 2) close(fd);
      if (setup) setup();
      args.insert(args.begin(), "ombra");
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(&a[0]);
      argv.push_back(nullptr);
      std::exit(ommain(static_cast<int>(args.size()), argv.data()));
    }
    close(inp[0]);
    in_ = inp[1];
    if (outpipe) {
      close(outp[1]);
      out_ = outp[0];
    }
    return pid_ > 0;
  }

  // A session that has already ended (its output's reader gone) takes
  // nothing more: the write fails, and must not end the test.
  void send(const std::string& text) const {
    struct sigaction ign = {}, was;
    ign.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ign, &was);
    ssize_t n = write(in_, text.data(), text.size());
    (void)n;
    sigaction(SIGPIPE, &was, nullptr);
  }

  void closein() {
    if (in_ >= 0) close(in_);
    in_ = -1;
  }

  // All the session prints to its standard output pipe, up to its end.
  std::string readout() const {
    std::string text;
    char b[4096];
    ssize_t n;
    while ((n = read(out_, b, sizeof b)) > 0) text.append(b, static_cast<size_t>(n));
    return text;
  }

  void closeout() {
    if (out_ >= 0) close(out_);
    out_ = -1;
  }

  pid_t pid() const { return pid_; }
  // Sends the session a signal; false when none runs (never a kill of a
  // pid of -1 or 0, which would reach every process or the group).
  bool signal(int sig) const { return pid_ > 0 && kill(pid_, sig) == 0; }

  // Waits until the named file holds at least size bytes (a minute at
  // most, for a loaded machine); false if it never does.
  bool waitsize(const std::string& name, off_t size) const {
    struct stat st;
    for (int i = 0; i < 6000; i++) {
      if (stat(path(name).c_str(), &st) == 0 && st.st_size >= size) return true;
      usleep(10000);
    }
    return false;
  }

  // Waits until the session, with standard output a file, has shown its
  // prompt count times: it then waits for the next line (a minute at
  // most); false if it never does.
  bool waitprompts(int count) const {
    for (int i = 0; i < 6000; i++) {
      std::string text = said();
      int seen = 0;
      for (size_t at = text.find("om> "); at != std::string::npos; at = text.find("om> ", at + 1))
        seen++;
      if (seen >= count) return true;
      usleep(10000);
    }
    return false;
  }

  // The child's wait status once it has ended (a minute at most; then it
  // is killed and -1 is returned).
  int finish() {
    int st = 0;
    for (int i = 0; i < 6000; i++) {
      if (waitpid(pid_, &st, WNOHANG) == pid_) {
        pid_ = -1;
        return st;
      }
      usleep(10000);
    }
    if (pid_ > 0) kill(pid_, SIGKILL);
    waitpid(pid_, &st, 0);
    pid_ = -1;
    return -1;
  }

 private:
  std::string dir_;
  pid_t pid_ = -1;
  int in_ = -1;
  int out_ = -1;
};

// The metafile's 16-bit words, big-endian as written.
inline std::vector<int> metawords(const std::string& bytes) {
  std::vector<int> out;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2)
    out.push_back(static_cast<int16_t>(static_cast<unsigned char>(bytes[i]) << 8 |
                                       static_cast<unsigned char>(bytes[i + 1])));
  return out;
}
