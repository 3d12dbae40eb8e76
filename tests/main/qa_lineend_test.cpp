// Command lines ended the DOS way (carriage return, line feed) read like
// lines ended by a line feed alone.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "main/ommain.h"
#include "maintest.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

TEST(LineEnds, CarriageReturnBeforeTheLineEndIsDropped) {
  std::string a, b, c, d;
  int na, nb, nc, nd;
  CaptureStdout();
  {
    StdinFeed in("open x.ctl\r\nq dims\r\n\r\nlast\r");
    na = nxtcmd(a, "p");
    nb = nxtcmd(b, "p");
    nc = nxtcmd(c, "p");
    nd = nxtcmd(d, "p");
  }
  GetCapturedStdout();
  EXPECT_EQ(a, "open x.ctl\n");
  EXPECT_EQ(na, 10);
  EXPECT_EQ(b, "q dims\n");
  EXPECT_EQ(nb, 6);
  EXPECT_EQ(c, "\n");
  EXPECT_EQ(nc, 0);
  EXPECT_EQ(d, "last");  // the last line, without a line feed
  EXPECT_EQ(nd, 4);
}

TEST(LineEnds, CarriageReturnsInsideALineStay) {
  std::string a;
  CaptureStdout();
  {
    StdinFeed in("draw string 1 1 a\rb\n");
    nxtcmd(a, "p");
  }
  GetCapturedStdout();
  EXPECT_EQ(a, "draw string 1 1 a\rb\n");
}
