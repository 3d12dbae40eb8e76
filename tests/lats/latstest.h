// Shared helpers of the LATS tests: a scratch directory, a clean library
// state per test, and file readers.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <fstream>
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
