// The helper every command test uses: a command line run through the
// dispatcher with its output captured.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "base/cmnstate.h"
#include "cmd/omcmd.h"

// The code a command returned and what it printed.
struct cmdout {
  int rc;
  std::string out;
};

// Runs a line as the main loop would (exflg as the dispatcher takes it).
inline cmdout runcmd(const std::string& line, int exflg = 0) {
  testing::internal::CaptureStdout();
  int rc = omcmd(line.c_str(), &gcmn, exflg);
  return {rc, testing::internal::GetCapturedStdout()};
}
