// Shared helpers of the LATS tests: a scratch directory, a clean library
// state per test, and file readers.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "lats/latsapi.h"
#include "lats/latsint.h"

// Each test runs in a fresh directory with the library's lists emptied,
// errors printed but not fatal, and the built-in table not yet loaded.
class LatsTest : public ::testing::Test {
 protected:
  std::string dir;
  std::string olddir;
  void SetUp() override {
    char tmpl[] = "/tmp/latstestXXXXXX";
    dir = mkdtemp(tmpl);
    char cwd[4096];
    olddir = getcwd(cwd, sizeof cwd) ? cwd : "/tmp";
    if (chdir(dir.c_str()) != 0) FAIL() << "chdir";
    latsInterfaceReset();
    latsParmReset();
    lats_fatal = 0;
    lats_verbose = 1;
    lats_qc = 1;
    unsetenv("LATS_PARMS");
    setenv("LATS_LOG", (dir + "/lats.log").c_str(), 1);
  }
  void TearDown() override {
    latsInterfaceReset();
    if (chdir(olddir.c_str()) != 0) return;
    std::string cmd = "rm -rf '" + dir + "'";
    if (system(cmd.c_str()) != 0) return;
  }
};

inline std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

inline void spit(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

// Output of a shell command, or "" when it failed.
inline std::string run(const std::string& cmd) {
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

// The part file an output named name is written under until it is closed.
inline std::string partof(const std::string& name) {
  std::string found = run("ls -d '" + name + "'.*.part 2>/dev/null");
  return found.empty() ? "" : found.substr(0, found.find('\n'));
}

inline bool have(const char* tool) {
  return run(std::string("command -v ") + tool + " 2>/dev/null").size() > 0;
}

// What fn returns, run in a child process of its own (which may take
// another user, mount a disk of its own or set limits of its own); its
// standard error is dropped.  "?" when the child did not end of itself.
inline std::string inchild(const std::function<std::string()>& fn) {
  int said[2];
  if (pipe(said) != 0) return "?";
  fflush(stdout);
  const pid_t pid = fork();
  if (pid < 0) std::abort();
  if (pid == 0) {
    close(said[0]);
    const int null = open("/dev/null", O_WRONLY);
    if (null < 0 || dup2(null, 2) != 2) _exit(2);
    const std::string got = fn();
    fflush(stdout);
    _exit(write(said[1], got.data(), got.size()) == static_cast<ssize_t>(got.size()) ? 0 : 3);
  }
  close(said[1]);
  std::string got;
  char b[4096];
  for (ssize_t k; (k = read(said[0], b, sizeof b)) > 0;) got.append(b, static_cast<size_t>(k));
  close(said[0]);
  int st = 0;
  if (waitpid(pid, &st, 0) != pid || !WIFEXITED(st) || WEXITSTATUS(st) != 0) return "?";
  return got;
}
