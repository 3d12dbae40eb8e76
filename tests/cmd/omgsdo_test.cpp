// omgsdo: a command line run through the dispatcher with its messages
// captured, as scripts run their commands.
#include <gtest/gtest.h>

#include <string>

#include "cmd/omcmd.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

TEST(Omprnt, OmgsdoRunsTheDispatcher) {
  int rc = 0;
  CaptureStdout();
  std::string got = omgsdo("close", &rc);
  EXPECT_EQ(GetCapturedStdout(), "Close Error: Missing file number\n");
  EXPECT_EQ(got, "Close Error: Missing file number\n");
  EXPECT_EQ(rc, 1);
  got = omgsdo("quit", &rc);
  EXPECT_EQ(rc, -1);
  EXPECT_EQ(got, "");
}
