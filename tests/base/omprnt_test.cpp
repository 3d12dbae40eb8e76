// The message printer and its capture.
#include <gtest/gtest.h>

#include <string>

#include "base/omprnt.h"
#include "base/omprntint.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

TEST(Omprnt, PrintsTextUnchangedWhenNotCapturing) {
  CaptureStdout();
  omprnt(2, "100% done\n");
  omprnt(0, std::string("no newline"));
  EXPECT_EQ(GetCapturedStdout(), "100% done\nno newline");
}

TEST(Omprnt, FormattedTextHasNoLengthLimit) {
  std::string big(5000, 'x');
  CaptureStdout();
  omprntf(1, "[%s] %d\n", big.c_str(), 7);
  EXPECT_EQ(GetCapturedStdout(), "[" + big + "] 7\n");
}

TEST(Omprnt, CaptureRecordsInformationWithoutShowingIt) {
  int rc = 5;
  CaptureStdout();
  std::string got = omcaprun([] {
    omprnt(2, "a\n");
    omprnt(3, "b");
    omprnt(2, "c\n");
    return 0;
  }, &rc);
  EXPECT_EQ(GetCapturedStdout(), "");
  EXPECT_EQ(got, "a\nbc\n");
  EXPECT_EQ(rc, 0);
}

TEST(Omprnt, CaptureShowsAndRecordsErrorsAndWarnings) {
  int rc = 0;
  CaptureStdout();
  std::string got = omcaprun([] {
    omprnt(0, "err\n");
    omprnt(2, "info\n");
    omprnt(1, "warn\n");
    return 3;
  }, &rc);
  EXPECT_EQ(GetCapturedStdout(), "err\nwarn\n");
  EXPECT_EQ(got, "err\ninfo\nwarn\n");
  EXPECT_EQ(rc, 3);
}

TEST(Omprnt, NothingPrintedGivesEmptyResultAndCaptureEnds) {
  int rc = 1;
  std::string got = omcaprun([] { return 0; }, &rc);
  EXPECT_EQ(got, "");
  CaptureStdout();
  omprnt(2, "after\n");
  EXPECT_EQ(GetCapturedStdout(), "after\n");
}

TEST(Omprnt, NestedCaptureKeepsTheOuterMessages) {
  int rc = 0, inner = 0;
  std::string innertext;
  std::string got = omcaprun([&] {
    omprnt(2, "outer 1\n");
    innertext = omcaprun([] {
      omprnt(2, "inner\n");
      return 4;
    }, &inner);
    omprnt(2, "outer 2\n");
    return 0;
  }, &rc);
  EXPECT_EQ(innertext, "inner\n");
  EXPECT_EQ(inner, 4);
  EXPECT_EQ(got, "outer 1\nouter 2\n");
}

TEST(Omprnt, FailedRecordTurnsCaptureOffButKeepsWhatWasRecorded) {
  int rc = 0;
  CaptureStdout();
  std::string got = omcaprun([] {
    omprnt(2, "kept\n");
    omprnt_failallocs(1);
    omprnt(2, "lost\n");
    omprnt(2, "shown\n");
    return 0;
  }, &rc);
  EXPECT_EQ(GetCapturedStdout(), "Memory allocation error:  msg buffers\nshown\n");
  EXPECT_EQ(got, "kept\n");
}

TEST(Omprnt, FailedReturnBufferIsReported) {
  int rc = 0;
  CaptureStdout();
  std::string got = omcaprun([] {
    omprnt(2, "x\n");
    omprnt_failallocs(1);
    return 0;
  }, &rc);
  // The one failing allocation is the return buffer's.
  EXPECT_EQ(GetCapturedStdout(), "Memory allocation error: Message Return Buffer\n");
  EXPECT_EQ(got, "");
  omprnt_failallocs(0);
}
