// The dispatcher: command words, their order, and the messages of the
// commands it runs itself.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "base/cmnstate.h"
#include "base/omprnt.h"
#include "cmd/omcmd.h"
#include "cmdtest.h"
#include "gx/gx.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

using Result = cmdout;

Result run(const std::string& line, int exflg = 0) { return runcmd(line, exflg); }

class Dispatch : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    gcmn.vpagew = 11;
    gcmn.vpageh = 8.5;
    gcmn.batch = 1;
    ominit();
    CaptureStdout();
    gxstrt(11, 8.5, 1);
    GetCapturedStdout();
  }
  void SetUp() override {
    gcmn.impcmd = 0;
    gcmn.dfile = nullptr;
    gcmn.filehead = nullptr;
    gcmn.filecount = 0;
  }
};

}  // namespace

TEST_F(Dispatch, QuitEmptyAndIgnoredWords) {
  EXPECT_EQ(run("quit").rc, -1);
  EXPECT_EQ(run("  QUIT\n").rc, -1);
  EXPECT_EQ(run("quit now").rc, -1);
  Result r = run("");
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(run("   \n").rc, 0);
  r = run("stack");
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(run("flush").rc, 0);
}

TEST_F(Dispatch, UnknownWordWithImpliedRunOff) {
  Result r = run("Foo Bar\n");
  EXPECT_EQ(r.rc, 1);
  // The lower-cased line from its first word, newline kept, then one more.
  EXPECT_EQ(r.out, "Unknown command: foo bar\n\n");
  // A word that merely begins like a command is no command.
  EXPECT_EQ(run("quitx").out, "Unknown command: quitx\n");
  EXPECT_EQ(run("displayx").out, "Unknown command: displayx\n");
}

TEST_F(Dispatch, CommandsNeedingAnOpenFile) {
  const char* const lines[][2] = {
      {"d x", "DISPLAY error:  no file open yet\n"},
      {"DISPLAY x", "DISPLAY error:  no file open yet\n"},
      {"coll 1 x", "COLLECT error:  no file open yet\n"},
      {"collect 1 x", "COLLECT error:  no file open yet\n"},
      {"define a = 1", "DEFINE error:  no file open yet\n"},
      {"undefine a", "DEFINE error:  no file open yet\n"},
      {"modify a seasonal", "MODIFY error:  no file open yet\n"},
  };
  for (const auto& l : lines) {
    Result r = run(l[0]);
    EXPECT_EQ(r.rc, 1) << l[0];
    EXPECT_EQ(r.out, l[1]) << l[0];
  }
}

TEST_F(Dispatch, ImplicitDefineNeedsAShortPlainName) {
  EXPECT_EQ(run("a1 = x+1").out, "DEFINE error:  no file open yet\n");
  EXPECT_EQ(run("abcdefghijklmnop=1").out, "DEFINE error:  no file open yet\n");
  EXPECT_EQ(run("ABC   = 2").out, "DEFINE error:  no file open yet\n");
  // Too long, a foreign character, a leading digit: not defines.
  EXPECT_EQ(run("abcdefghijklmnopq = 1").out, "Unknown command: abcdefghijklmnopq = 1\n");
  EXPECT_EQ(run("a_b = 1").out, "Unknown command: a_b = 1\n");
  EXPECT_EQ(run("1a = 1").out, "Unknown command: 1a = 1\n");
  EXPECT_EQ(run("set == 1").out.find("DEFINE"), 0u);
}

TEST_F(Dispatch, MissingNames) {
  EXPECT_EQ(run("open").out, "OPEN error:  missing data description file name\n");
  EXPECT_EQ(run("sdfopen   ").out, "SDFOPEN error:  missing self-describing file pathname\n");
  EXPECT_EQ(run("xdfopen").out, "XDFOPEN error:  missing data descriptor file name\n");
  EXPECT_EQ(run("exec").out, "EXEC error:  missing file name \n");
  EXPECT_EQ(run("run").out, "RUN error:  No file name specified\n");
  Result r = run("outxwd");
  EXPECT_EQ(r.out, "command outxwd:  need filename parameter\n");
  EXPECT_EQ(r.rc, 0);
}

TEST_F(Dispatch, CloseChecksItsNumber) {
  EXPECT_EQ(run("close").out, "Close Error: Missing file number\n");
  EXPECT_EQ(run("close x").out, "Close Error: Invalid file number\n");
  EXPECT_EQ(run("close 1").out, "Close Error: Only last file may be closed\n");
  EXPECT_EQ(run("close 99999999999").out, "Close Error: Invalid file number\n");
}

TEST_F(Dispatch, ScreenMessages) {
  EXPECT_EQ(run("screen").out, "Screen Error: Missing keyword\n");
  EXPECT_EQ(run("screen keep 1").out, "Screen Error: Unknown keyword\n");
  EXPECT_EQ(run("screen save").out, "Screen Error: Missing screen number\n");
  EXPECT_EQ(run("screen show x").out, "Screen Error: Invalid screen number\n");
  EXPECT_EQ(run("screen free 200").out, "Screen Error: Invalid screen number\n");
  EXPECT_EQ(run("screen save -1").out, "Screen Error: Invalid screen number\n");
  Result r = run("screen save 199");
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.out, "");
}

TEST_F(Dispatch, ClearOptions) {
  gcmn.cint = 5;
  gcmn.plotpass = 3;
  Result r = run("clear bogus");
  EXPECT_EQ(r.out, "Invalid option on clear command\n");
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(gcmn.plotpass, 3);  // nothing was cleared

  EXPECT_EQ(run("clear norset").rc, 0);
  EXPECT_EQ(gcmn.plotpass, 0);
  EXPECT_EQ(gcmn.cint, 5);  // settings kept

  gcmn.dbuff = 1;
  EXPECT_EQ(run("c").rc, 0);
  EXPECT_EQ(gcmn.cint, 0);
  EXPECT_EQ(gcmn.dbuff, 0);

  EXPECT_EQ(run("clear button").out, "Invalid or missing widget number on clear command\n");
  EXPECT_EQ(run("clear rband x").out, "Invalid or missing widget number on clear command\n");
}

TEST_F(Dispatch, SwapClearsThePlotState) {
  gcmn.cint = 2;
  gcmn.lastgraphic = 4;
  EXPECT_EQ(run("swap").rc, 0);
  EXPECT_EQ(gcmn.cint, 0);
  EXPECT_EQ(gcmn.lastgraphic, 0);
}

TEST_F(Dispatch, ShellEscapeKeepsCaseAndRunsTheRest) {
  char name[] = "/tmp/ombra-shellXXXXXX";
  int fd = mkstemp(name);
  ASSERT_GE(fd, 0);
  close(fd);
  std::string line = "!echo MiXeD > " + std::string(name);
  Result r = run(line.c_str());
  EXPECT_EQ(r.rc, 0);
  FILE* f = std::fopen(name, "r");
  ASSERT_NE(f, nullptr);
  char buf[32] = {0};
  ASSERT_NE(std::fgets(buf, sizeof buf, f), nullptr);
  std::fclose(f);
  std::remove(name);
  EXPECT_STREQ(buf, "MiXeD\n");
}

TEST_F(Dispatch, ResetAndReinitMessages) {
  Result r = run("reset");
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.out, "Most Ombra attributes have been reset\n");
  r = run("reinit");
  EXPECT_EQ(r.rc, 0);
  // The metafile's own note comes first: reinit always ends the metafile.
  EXPECT_EQ(r.out,
            "No hardcopy metafile open\n"
            "All files closed; all defined objects released\n"
            "All Ombra attributes have been reinitialized\n");
}

TEST_F(Dispatch, HelpListsTheBasicCommands) {
  Result r = run("help");
  EXPECT_EQ(r.rc, 0);
  // The first line points to the documentation.
  EXPECT_EQ(r.out.compare(0, r.out.find('\n') + 1,
                          "Documentation is in docs/ of the Ombra sources: docs/README.md, commands in docs/commands.md.\n"),
            0);
  EXPECT_NE(r.out.find("Basic Commands:\n OPEN <descr>      opens a data file \n"), std::string::npos);
  EXPECT_NE(r.out.find(" QUIT              exits the program \n"), std::string::npos);
}

TEST_F(Dispatch, DrawFailuresAreReportedAsFailures) {
  // A draw or redraw that fails must fail the line (and stop an exec file).
  EXPECT_EQ(run("draw").rc, 1);
  EXPECT_EQ(run("redraw").rc, 1);
}

TEST_F(Dispatch, EveryCommandWordIsKnown) {
  // With implied runs off, a word outside the table is "Unknown command";
  // none of the table's words may end up there, in any case of letters.
  const char* const words[] = {"stack", "flush", "reset", "reinit", "screen", "close",
                               "clear", "c", "swap", "outxwd", "q", "query", "help",
                               "exec", "run", "enable", "disable", "redraw", "draw",
                               "print", "printim", "set", "open", "sdfopen", "xdfopen",
                               "d", "display", "coll", "collect", "define", "undefine",
                               "modify", "!true", "STACK"};
  for (const char* w : words) {
    gcmn.impcmd = 0;
    Result r = run(w);
    EXPECT_EQ(r.out.find("Unknown command"), std::string::npos) << w;
  }
}
