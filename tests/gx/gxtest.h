// Helpers shared by the graphics package tests.
#pragma once

#include <grp.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "gx/gx.h"
#include "gx/gxint.h"

// Restarts the package in batch mode on a landscape page, quietly.
inline void gx_batch(float xs = 11, float ys = 8.5) {
  testing::internal::CaptureStdout();
  gxstrt(xs, ys, 1);
  testing::internal::GetCapturedStdout();
}

// The records of the frame being drawn, as one flat list of words.
inline std::vector<int> gx_records(bool completed = false) {
  std::vector<int> out;
  for (const gxhchunk& c : gxhsel(completed)) {
    for (size_t i = 0; i < c.len; i++) out.push_back(c.words[i]);
  }
  return out;
}

// A fresh temporary directory, removed with its files by the destructor.
struct gx_tmpdir {
  std::string path;
  gx_tmpdir() {
    char tmpl[] = "/tmp/gxtestXXXXXX";
    char* p = mkdtemp(tmpl);
    path = p ? p : "/tmp";
  }
  ~gx_tmpdir() {
    std::string cmd = "rm -rf '" + path + "'";
    if (path.rfind("/tmp/gxtest", 0) == 0) {
      int rc = system(cmd.c_str());
      (void)rc;
    }
  }
  std::string file(const std::string& name) const { return path + "/" + name; }
};

inline std::vector<unsigned char> gx_slurp(const std::string& f) {
  std::ifstream in(f, std::ios::binary);
  return std::vector<unsigned char>((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
}

// A metafile's words, read big-endian.
inline std::vector<int> gx_meta_words(const std::string& f) {
  std::vector<unsigned char> b = gx_slurp(f);
  std::vector<int> w;
  for (size_t i = 0; i + 1 < b.size(); i += 2) w.push_back((int16_t)((b[i] << 8) | b[i + 1]));
  return w;
}

inline void gx_write(const std::string& f, const std::string& text) {
  std::ofstream out(f, std::ios::binary);
  out << text;
}

// The user whose session a permission test runs: nobody when the test
// runs as root (whose writes the kernel never refuses), else the test's own
// user.  Another user's files can be made only by root: gx_other() is that
// user's id, or -1 where there is none to be had.
inline uid_t gx_user() { return geteuid() == 0 ? 65534 : geteuid(); }
inline uid_t gx_other() { return geteuid() == 0 ? 0 : static_cast<uid_t>(-1); }
// A group of the session's user other than his first, or -1.
inline gid_t gx_user_group() {
  if (geteuid() == 0) return 100;
  gid_t g[64];
  int n = getgroups(64, g);
  for (int i = 0; i < n; i++)
    if (g[i] != getegid()) return g[i];
  return static_cast<gid_t>(-1);
}

// Runs fn in a child process as gx_user() (nobody with the second group
// gx_user_group() when the test runs as root): its result and what it
// printed; -1 when the ids could not be taken.
inline std::pair<int, std::string> gx_as_user(const std::function<int()>& fn) {
  gx_tmpdir d;
  std::string out = d.file("out");
  fflush(stdout);
  pid_t pid = fork();
  if (pid == 0) {
    gid_t second = 100;
    if (!freopen(out.c_str(), "w", stdout) ||
        (geteuid() == 0 && (setgroups(1, &second) || setgid(65534) || setuid(65534))))
      _exit(255);
    int rc = fn();
    fflush(stdout);
    _exit(rc);
  }
  int st = 0;
  waitpid(pid, &st, 0);
  std::vector<unsigned char> said = gx_slurp(out);
  int rc = WIFEXITED(st) && WEXITSTATUS(st) != 255 ? WEXITSTATUS(st) : -1;
  return {rc, std::string(said.begin(), said.end())};
}
