// Helpers for the script-language tests: scripts written to a scratch
// directory, run through gsfile with standard output captured, and a fake
// command runner standing in for the dispatcher.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

struct gsresult {
  int rc = 0;
  std::optional<std::string> ret;
  std::string out;
};

// A scratch directory removed at the end of the test.
class gsdir {
 public:
  gsdir();
  ~gsdir();
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  std::string write(const std::string& name, const std::string& text) const;
  std::string read(const std::string& name) const;
  const std::string& dir() const { return dir_; }

 private:
  std::string dir_;
};

// Commands the fake runner received, in order.
extern std::vector<std::string> gscmds;

// Installs the fake runner: "echo TEXT" captures "TEXT\n" with rc 0,
// "fail" captures "failed\n" with rc 3, "quit" gives -1, "intr" raises the
// interrupt flag, "nomem" runs out of memory (throws std::bad_alloc), "run NAME ARGS" runs a script, anything else
// captures nothing with rc 0.
void gsfakecmds();

// Runs the script text saved as name in d with the argument text.
gsresult gsrun(const gsdir& d, const std::string& text, const std::string& args = "",
               const std::string& name = "t.gs");
// Runs a command line through gsfile (mode 0) with output captured.
gsresult gsrunline(const std::string& line, int mode = 0);

// Value of one expression, evaluated by a script's say statement after the
// setup lines; the run must succeed.
std::string gsval(const std::string& expr, const std::string& setup = "");
