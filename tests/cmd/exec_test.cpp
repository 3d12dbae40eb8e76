// Exec files: capture switched off inside, nesting limit, files closed.
#include <gtest/gtest.h>
#include <dirent.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "base/cmnstate.h"
#include "base/fifo_end.h"
#include "base/scratchdir.h"
#include "base/omprnt.h"
#include "base/omprntint.h"
#include "cmd/omcmd.h"
#include "gx/gx.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

int openfds() {
  int n = 0;
  DIR* d = opendir("/proc/self/fd");
  if (!d) return -1;
  while (readdir(d)) n++;
  closedir(d);
  return n;
}

std::string writefile(const char* name, const std::string& text) {
  std::string path = scratchdir() + name;
  std::ofstream(path) << text;
  return path;
}

class Exec : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    CaptureStdout();
    gxstrt(11, 8.5, 1);
    GetCapturedStdout();
  }
};

}  // namespace

TEST_F(Exec, LinesAreEchoedAndNotCaptured) {
  std::string f = writefile("plain.exec", "stack\n* note\nflush");
  std::string cmd = "exec " + f;
  int rc = 1;
  CaptureStdout();
  std::string got = omcaprun([&] {
    int r = omcmd(cmd.c_str(), &gcmn, 0);
    omprnt(2, "after\n");  // capture is back on after the exec
    return r;
  }, &rc);
  std::string shown = GetCapturedStdout();
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(shown, "stack\nflush" "EOF EXECuting " + f + " \n");
  EXPECT_EQ(got, "after\n");
}

TEST_F(Exec, NestingStopsAtTheLimitAndClosesEveryFile) {
  std::string path = scratchdir() + "self.exec";
  writefile("self.exec", "exec " + path + "\n");
  int before = openfds();
  std::string cmd = "exec " + path;
  CaptureStdout();
  int rc = omcmd(cmd.c_str(), &gcmn, 0);
  std::string out = GetCapturedStdout();
  EXPECT_EQ(rc, 1);
  EXPECT_NE(out.find("EXEC error:  exec files nested deeper than"), std::string::npos);
  EXPECT_EQ(openfds(), before);
  // The depth count came back down: a fresh exec runs.
  std::string ok = writefile("ok.exec", "stack\n");
  std::string okcmd = "exec " + ok;
  CaptureStdout();
  EXPECT_EQ(omcmd(okcmd.c_str(), &gcmn, 0), 0);
  GetCapturedStdout();
}

TEST_F(Exec, ClearInAnExecFileIsAFrameOfItsOwn) {
  std::string f = writefile("clr.exec", "clear\n");
  std::string cmd = "exec " + f;
  gcmn.cint = 7;
  CaptureStdout();
  EXPECT_EQ(omcmd(cmd.c_str(), &gcmn, 0), 0);
  GetCapturedStdout();
  EXPECT_FLOAT_EQ(gcmn.cint, 0.0f);
}

TEST_F(Exec, FailingLineStopsWithItsResult) {
  std::string f = writefile("fail.exec", "stack\nscreen\nquit\n");
  std::string cmd = "exec " + f;
  CaptureStdout();
  int rc = omcmd(cmd.c_str(), &gcmn, 0);
  std::string out = GetCapturedStdout();
  EXPECT_EQ(rc, 1);
  EXPECT_EQ(out, "stack\nscreen\nScreen Error: Missing keyword\nEXEC error:  error in " + f +
                     ".  EXEC stopped.\n");
}

// A directory is refused, not taken for an empty file, and a FIFO nobody
// writes is waited on only until the user interrupts.
TEST_F(Exec, DirectoriesAndWriterlessFifosAreRefused) {
  std::string dir = scratchdir();
  std::string cmd = "exec " + dir;
  CaptureStdout();
  int rc = omcmd(cmd.c_str(), &gcmn, 0);
  EXPECT_EQ(rc, 1);
  EXPECT_EQ(GetCapturedStdout(),
            "EXEC error:  Can't open file\n  File name is: " + dir + "\n  Is a directory\n");

  fifo_end fifo(dir + "exec.fifo");
  ASSERT_TRUE(fifo.ok());
  std::string fcmd = std::string("exec ") + fifo.path();
  gcmn.sigflg = 1;
  CaptureStdout();
  rc = omcmd(fcmd.c_str(), &gcmn, 0);
  gcmn.sigflg = 0;
  EXPECT_EQ(rc, 1);
  EXPECT_EQ(GetCapturedStdout(),
            std::string("EXEC error:  Can't open file\n  File name is: ") + fifo.path() +
                "\n  interrupted while waiting for the other end of the pipe\n");
}
