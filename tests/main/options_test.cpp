// Command-line options, the option summary, line reading and the signal
// handlers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <list>
#include <string>
#include <vector>

#include "base/cmnstate.h"
#include "main/ommain.h"
#include "maintest.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

struct Parsed {
  omopts o;
  std::string out;
};

Parsed parse(std::vector<std::string> in) {
  // The program's argv lives as long as the program; so do these.
  static std::list<std::vector<std::string>> kept;
  kept.push_back(std::move(in));
  std::vector<std::string>& args = kept.back();
  args.insert(args.begin(), "ombra");
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(&a[0]);
  Parsed p;
  CaptureStdout();
  omargs(static_cast<int>(argv.size()), argv.data(), &p.o);
  p.out = GetCapturedStdout();
  return p;
}

}  // namespace

TEST(Options, LettersCombineAndCommandFollows) {
  Parsed p = parse({"-lbc", "run x.gs", "-E"});
  EXPECT_EQ(p.o.land, 1);
  EXPECT_EQ(p.o.batch, 1);
  EXPECT_EQ(p.o.noedit, 1);
  EXPECT_EQ(p.o.hascmd, 1);
  EXPECT_EQ(p.o.cmd, "run x.gs");
  EXPECT_EQ(p.out, "");
}

TEST(Options, CommandMayLookLikeAnOption) {
  Parsed p = parse({"-c", "-b"});
  EXPECT_EQ(p.o.cmd, "-b");
  EXPECT_EQ(p.o.batch, 0);
}

TEST(Options, HelpWinsAtOnce) {
  EXPECT_EQ(parse({"-b", "-helpme", "-z"}).o.help, 1);
  Parsed p = parse({"-b", "-help", "-z"});
  EXPECT_EQ(p.out, "");  // nothing after -help is looked at
  EXPECT_EQ(parse({"-hel"}).o.help, 0);
}

TEST(Options, GeometryTakesEveryLaterArgument) {
  Parsed p = parse({"-l", "-g", "640x480", "-b"});
  EXPECT_STREQ(p.o.geom, "-b");
  EXPECT_EQ(p.o.batch, 0);
  EXPECT_EQ(p.o.land, 1);
  EXPECT_EQ(parse({"-gfoo"}).o.geom, nullptr);
}

TEST(Options, BadOptionsAreReportedAndSkipped) {
  Parsed p = parse({"-bqx", "word", "-c"});
  EXPECT_EQ(p.out,
            "Unknown command line option: q\n"
            "Unknown command line keyword: word\n"
            "-c option was specified, but no command was provided\n");
  EXPECT_EQ(p.o.batch, 1);
  EXPECT_EQ(p.o.exitx, 1);
  EXPECT_EQ(p.o.hascmd, 0);
  // A keyword with a % is printed as text, not used as a format.
  EXPECT_EQ(parse({"%s%n"}).out, "Unknown command line keyword: %s%n\n");
}

TEST(Options, SummaryLines) {
  CaptureStdout();
  command_line_help();
  std::string out = GetCapturedStdout();
  EXPECT_EQ(out.find("Ombra Version "), 0u);
  EXPECT_NE(out.find(" --- LATS=GRIB_NCSA_HDF__SDF_READ=NCSA_netCDF_HDF=GXPNG\n\nCommand line options: \n\n"),
            std::string::npos);
  EXPECT_NE(out.find("          -E      turn OFF command line editing\n\n"
                     "          -W      use X server wide lines (faster) vice s/w (better)\n"
                     "   Example:\n\n"),
            std::string::npos);
  EXPECT_NE(out.find("          -c      run this command (e.g., a script)\n"
                     "          -x      quit after the -c command\n"),
            std::string::npos);
  const std::string last = "     0 pixels from the right and 100 down from the top\n";
  EXPECT_EQ(out.substr(out.size() - last.size()), last);
}

TEST(LineReading, LeadingBlanksDroppedNewlineKept) {
  std::string buf;
  CaptureStdout();
  {
    StdinFeed in("   \tset x 1\nnext\n");
    EXPECT_EQ(nxtcmd(buf, "om>"), 8);
  }
  EXPECT_EQ(GetCapturedStdout(), "om> ");
  EXPECT_EQ(buf, "\tset x 1\n");
}

// The animation's pause gives back a character that is not its Return; the
// line editor reads the descriptor itself and must still begin with it.
TEST(LineReading, TheEditorBeginsWithACharacterGivenBack) {
  EXPECT_EXIT(
      {
        std::FILE* quiet = std::freopen("/dev/null", "w", stdout);
        (void)quiet;
        StdinFeed in("q time\nnext\n");
        std::setvbuf(stdin, nullptr, _IONBF, 0);  // as with the editor on
        std::ungetc(std::getchar(), stdin);
        std::string a;
        std::string b;
        nxrdln(a, "om-> ");
        nxrdln(b, "om-> ");
        std::fprintf(stderr, "[%s][%s]\n", a.c_str(), b.c_str());
        std::exit(a == "q time" && b == "next" ? 0 : 1);
      },
      testing::ExitedWithCode(0), "\\[q time\\]\\[next\\]");
}

TEST(LineReading, EndOfInputAndLongLines) {
  std::string buf;
  CaptureStdout();
  {
    StdinFeed in("  partial");
    EXPECT_EQ(nxtcmd(buf, "p"), 7);
    EXPECT_EQ(buf, "partial");
    EXPECT_EQ(nxtcmd(buf, "p"), -1);
  }
  {
    StdinFeed in("   ");  // only blanks: nothing was read
    EXPECT_EQ(nxtcmd(buf, "p"), -1);
  }
  std::string longline(20000, 'q');
  {
    StdinFeed in(longline + "\n");
    EXPECT_EQ(nxtcmd(buf, "p"), 20000);
  }
  GetCapturedStdout();
  EXPECT_EQ(buf, longline + "\n");
}

TEST(Signals, CpuLimitEndsWithStatusOne) {
  EXPECT_EXIT(omsigcpu(SIGXCPU), testing::ExitedWithCode(1), "");
}
