// Running scripts: blocks, functions, output and input, exit and return,
// command statements and the limits that keep a bad script from crashing.
#include "gstest.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "base/cmnstate.h"
#include "base/interrupted_stdin.h"

TEST(GsRun, IfElseWhileBreakContinue) {
  gsdir d;
  gsresult r = gsrun(d,
                     "i = 0; s = ''\n"
                     "while (i < 10)\n"
                     "  i = i + 1\n"
                     "  if (i = 3); continue; endif\n"
                     "  if (i > 5)\n"
                     "    break\n"
                     "  else\n"
                     "    s = s % i\n"
                     "  endif\n"
                     "endwhile\n"
                     "say s ' ' i\n"
                     "j = 0\n"
                     "while 1\n"
                     "  k = 0\n"
                     "  while k < 3; k = k + 1; if k = 2; break; endif; endwhile\n"
                     "  j = j + k\n"
                     "  if j >= 6; break; endif\n"
                     "endwhile\n"
                     "say j\n"
                     "if ''; say 'empty is true'; endif\n"
                     "if 0.0; say '0.0 is true'; endif\n"
                     "if 0; say 'no'; else; say 'zero is false'; endif\n");
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.out, "1245 6\n6\nempty is true\n0.0 is true\nzero is false\n");
}

TEST(GsRun, FunctionsParametersAndReturn) {
  gsdir d;
  gsresult r = gsrun(d,
                     "say add(2, 3)\n"
                     "say add(2)\n"
                     "say noret()\n"
                     "say fact(6)\n"
                     "x = 'outer'\n"
                     "call = scope()\n"
                     "say x ' ' _g ' ' y\n"
                     "say many(1,2,3,4)\n"
                     "return 'done'\n"
                     "function add(a, b)\n"
                     "return a + b\n"
                     "function noret()\n"
                     "say 'in noret'\n"
                     "function fact(n)\n"
                     "if n <= 1; return 1; endif\n"
                     "return n * fact(n - 1)\n"
                     "function scope()\n"
                     "x = 'inner'; y = 'local'; _g = 'shared'\n"
                     "return\n"
                     "function many(p)\n"
                     "return p\n");
  EXPECT_EQ(r.rc, 99);
  EXPECT_FALSE(r.ret.has_value());
  // missing parameters hold their own names, so b is not numeric
  EXPECT_EQ(r.out,
            "5\n"
            "Non-numeric args to numeric operation\n"
            "  Error occurred on line 11\n"
            "  In file " + d.path("t.gs") + "\n"
            "Error occurred on line 2\n"
            "  In file " + d.path("t.gs") + "\n");
  r = gsrun(d,
            "say fact(6)\n"
            "say noret() '|'\n"
            "x = 'outer'\n"
            "call = scope()\n"
            "say x ' ' _g ' ' y\n"
            "say many(1,2,3,4) ' ' many()\n"
            "function noret()\n"
            "say 'in noret'\n"
            "function fact(n)\n"
            "if n <= 1; return 1; endif\n"
            "return n * fact(n - 1)\n"
            "function scope()\n"
            "x = 'inner'; y = 'local'; _g = 'shared'\n"
            "return\n"
            "function many(p)\n"
            "return p\n");
  EXPECT_EQ(r.rc, 0);
  EXPECT_FALSE(r.ret.has_value());
  EXPECT_EQ(r.out, "720\nin noret\n|\nouter shared y\n1 p\n");
}

TEST(GsRun, AParameterNamedTwiceOrAfterTheResultVariablesKeepsTheFirstBinding) {
  gsdir d;
  gsresult r = gsrun(d,
                     "say twice(1, 2) ' ' rcpar(5) '|'\n"
                     "function twice(a, a)\n"
                     "return a\n"
                     "function rcpar(rc)\n"
                     "return rc\n");
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.out, "1 |\n");
}

TEST(GsRun, ReturnValueOfTheScript) {
  gsdir d;
  gsresult r = gsrun(d, "x = f()\nreturn 'done' x\nfunction f()\nreturn '!'\n");
  EXPECT_EQ(r.rc, 0);
  ASSERT_TRUE(r.ret.has_value());
  EXPECT_EQ(*r.ret, "done!");
  r = gsrun(d, "x = f()\nfunction f()\nreturn '!'\n");
  EXPECT_FALSE(r.ret.has_value());
}

TEST(GsRun, MainPartArguments) {
  gsdir d;
  gsresult r = gsrun(d, "function main(args)\nsay '[' args ']'\nsay subwrd(args, 2)\n",
                     "  one two  three");
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.out, "[one two  three]\ntwo\n");
  r = gsrun(d, "function main(args)\nsay '[' args ']'\n");
  EXPECT_EQ(r.out, "[]\n");
  // without a function statement the argument text is not visible
  r = gsrun(d, "say args\n", "a b");
  EXPECT_EQ(r.out, "args\n");
  r = gsrun(d, "function main(1bad)\nsay 'x'\n");
  EXPECT_EQ(r.rc, 99);
  EXPECT_EQ(r.out, "Error:  Invalid function list\n  Error occurred on line 1\n  In file " +
                       d.path("t.gs") + "\n");
}

// Running out of memory inside a script fails the script; the caller (and
// the program) goes on.  It used to end the program.
TEST(GsRun, MemoryExhaustedFailsTheScriptOnly) {
  gsdir d;
  gsresult r = gsrun(d, "say 'before'\nx = f(1)\nsay 'after'\nfunction f(n)\n'nomem'\nreturn n\n");
  EXPECT_EQ(r.rc, 99);
  EXPECT_FALSE(r.ret.has_value());
  EXPECT_EQ(r.out, "before\nError running script file " + d.path("t.gs") +
                       ":  memory allocation error\n");
  r = gsrun(d, "say 'again'\n");
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.out, "again\n");
}

// A string doubled in a loop is refused at the script string limit
// (256 MiB here), long before the machine's memory runs out; the last
// length said is the largest string the script held.
TEST(GsRun, DoubledStringStopsAtTheStringLimit) {
  gsdir d;
  gsresult r = gsrun(d,
                     "s = 'x'\n"
                     "while (math_strlen(s) < 600000000)\n"
                     "  s = s % s\n"
                     "endwhile\n"
                     "say 'ended at ' math_strlen(s)\n");
  EXPECT_EQ(r.rc, 99);
  EXPECT_EQ(r.out, "Error running script file " + d.path("t.gs") + ":  memory allocation error\n");
}

TEST(GsRun, SayPrintPrompt) {
  gsdir d;
  gsresult r = gsrun(d, "say\nprint 'p'\nprompt 'q? '\nprompt\nsay 'end'\n");
  EXPECT_EQ(r.out, "\np\nq? \nend\n");
}

TEST(GsRun, PullReadsWholeLines) {
  gsdir d;
  std::string longline(5000, 'x');
  std::string in = d.write("in.txt", "first line\n" + longline + "\nlast");
  std::FILE* saved = std::tmpfile();
  ASSERT_TRUE(saved);
  std::fflush(stdin);
  int fd = dup(fileno(stdin));
  ASSERT_TRUE(std::freopen(in.c_str(), "r", stdin));
  gsresult r = gsrun(d,
                     "pull a\npull b.x\npull\nsay '[' a ']' math_strlen(b.x)\n"
                     "pull c; say '[' c ']'\npull e; say '[' e ']'\n");
  dup2(fd, fileno(stdin));
  close(fd);
  std::clearerr(stdin);
  std::fclose(saved);
  EXPECT_EQ(r.rc, 0);
  // the bare pull consumed "last"; at the end of input a variable is empty
  EXPECT_EQ(r.out, "[first line]5000\n[]\n[]\n");
}

TEST(GsRun, ExitCodes) {
  gsdir d;
  EXPECT_EQ(gsrun(d, "say 1\nexit\nsay 2\n").out, "1\n");
  EXPECT_EQ(gsrun(d, "exit\n").rc, 4);
  EXPECT_EQ(gsrun(d, "exit 3\n").rc, 4);
  gsresult r = gsrun(d, "exit 1.5\n");
  EXPECT_EQ(r.rc, 99);
  EXPECT_EQ(r.out, "Error on Exit Command:  Non Integer Argument\n  Error occurred on line 1\n"
                   "  In file " + d.path("t.gs") + "\n");
  EXPECT_EQ(gsrun(d, "say 'x'\n").rc, 0);
  EXPECT_EQ(gsrun(d, "say 1/0\n").rc, 99);
}

TEST(GsRun, ExitAndQuitInsideFunctionsEndTheScript) {
  gsdir d;
  gsresult r = gsrun(d,
                     "x = f()\nsay 'after'\n"
                     "function f()\nsay 'in f'\ny = g()\nsay 'not here'\n"
                     "function g()\nexit 0\n");
  EXPECT_EQ(r.rc, 4);
  EXPECT_EQ(r.out, "in f\n");
  r = gsrun(d, "say f()\nsay 'after'\nfunction f()\n'quit'\nsay 'not here'\n");
  EXPECT_EQ(r.rc, -1);
  EXPECT_EQ(r.out, "");
  r = gsrun(d, "'echo a'\n'quit'\n'echo b'\n");
  EXPECT_EQ(r.rc, -1);
  EXPECT_EQ(gscmds.size(), 2u);
  // an error inside a function is reported at each calling line
  r = gsrun(d, "x = f()\nfunction f()\ny = 1/0\n");
  EXPECT_EQ(r.rc, 99);
  EXPECT_EQ(r.out, "Divide by zero\n  Error occurred on line 3\n  In file " + d.path("t.gs") +
                       "\n  Error occurred on line 1\n  In file " + d.path("t.gs") + "\n");
}

TEST(GsRun, CommandStatementsSetRcAndResult) {
  gsdir d;
  gsresult r = gsrun(d,
                     "say '[' rc '][' result ']'\n"
                     "'echo hello ' 1 + 1\n"
                     "say rc ':' result\n"
                     "'fail'\n"
                     "say rc ':' result\n"
                     "'silent'\n"
                     "say rc ':[' result ']'\n"
                     "x = f()\n"
                     "say rc ':' result\n"
                     "function f()\n"
                     "say 'f sees [' rc '][' result ']'\n"
                     "'echo inner'\n"
                     "return\n");
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.out,
            "[][]\n0:hello 2\n\n3:failed\n\n0:[]\nf sees [][]\n0:\n");
  ASSERT_EQ(gscmds.size(), 4u);
  EXPECT_EQ(gscmds[0], "echo hello 2");
}

TEST(GsRun, InterruptStopsRunawayLoop) {
  gsdir d;
  gsresult r = gsrun(d, "n = 0\nwhile ''\n n = n + 1\n if n = 100; 'intr'; endif\nendwhile\nsay 'no'\n");
  gcmn.sigflg = 0;
  EXPECT_EQ(r.rc, 99);
  EXPECT_EQ(r.out, "");
  r = gsrun(d, "x = f()\nfunction f()\n'intr'\nsay 'no'\n");
  gcmn.sigflg = 0;
  EXPECT_EQ(r.rc, 99);
  EXPECT_EQ(r.out, "");
}

TEST(GsRun, UnboundedRecursionIsAnError) {
  gsdir d;
  gsresult r = gsrun(d, "x = f(1)\nsay 'no'\nfunction f(n)\nreturn f(n + 1)\n");
  EXPECT_EQ(r.rc, 99);
  EXPECT_EQ(r.out.find("Error:  script functions nested more than 1000 calls deep\n"), 0u)
      << r.out.substr(0, 200);
  // the recursion limit leaves the state usable for a following run
  EXPECT_EQ(gsrun(d, "say f(3)\nfunction f(n)\nif n = 0; return 'ok'; endif\nreturn f(n - 1)\n").out,
            "ok\n");
}

// Each of the 999 failing calls of a runaway recursion has its frame: the
// first and last few are printed and the ones between counted.  Only that
// error's frames are cut.
TEST(GsRun, RunawayRecursionPrintsTheEndsOfItsFrames) {
  gsdir d;
  std::string path = d.path("t.gs");
  auto frame = [&](int line) { return "  Error occurred on line " + std::to_string(line) + "\n  In file " + path + "\n"; };
  auto frames = [&](int line, int n) {
    std::string out;
    for (int i = 0; i < n; i++) out += frame(line);
    return out;
  };
  gsresult r = gsrun(d, "x = f(1)\nsay 'no'\nfunction f(n)\nreturn f(n + 1)\n");
  EXPECT_EQ(r.rc, 99);
  EXPECT_EQ(r.out, "Error:  script functions nested more than 1000 calls deep\n" + frame(3) + frames(4, 4) +
                       "  ... 991 frames left out ...\n" + frames(4, 4) + frame(1));
  // A failed argument's line still comes right before its frame.
  const std::string args = "Error occurred processing function arguments\n";
  r = gsrun(d, "x = f(2)\nfunction f(n)\nif (n = 0); return 1 / 0; endif\nreturn g(f(n - 1))\n"
               "function g(v)\nreturn v\n");
  EXPECT_EQ(r.rc, 99);
  EXPECT_EQ(r.out, "Divide by zero\n" + frame(3) + args + frame(4) + args + frame(4) + frame(1));
  // Any other error prints all its frames, however deep.
  r = gsrun(d, "x = f(10)\nfunction f(n)\nif (n = 0); return 1 / 0; endif\nreturn f(n - 1)\n");
  EXPECT_EQ(r.out, "Divide by zero\n" + frame(3) + frames(4, 10) + frame(1));
}

TEST(GsRun, ScriptsRunningScripts) {
  gsdir d;
  d.write("inner.gs", "function m(a)\nsay 'inner ' a\n_x = 'inner global'\nreturn 'from inner'\n");
  gsresult r = gsrun(d,
                     "_x = 'outer global'\n'run " + d.path("inner.gs") + " q'\n"
                     "say rc ' ' result ' ' _x\n");
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.out, "inner q\n0 from inner outer global\n");
  // a script that runs itself stops at the nesting limit instead of
  // exhausting the stack
  std::string self = d.path("self.gs");
  r = gsrun(d, "'run " + self + "'\nif rc != 0; say 'stopped rc ' rc; endif\n", "", "self.gs");
  EXPECT_EQ(r.rc, 0);
  EXPECT_NE(r.out.find("Error running script file " + self + ":  scripts nested more than 100 deep\n"),
            std::string::npos);
  EXPECT_NE(r.out.find("stopped rc 1\n"), std::string::npos);
}

// A pull waiting for a line ends when the user interrupts, and the script
// with it; the line typed later is left for the prompt.
TEST(GsRun, InterruptEndsAPullThatWaits) {
  gsdir d;
  // Without the interrupt the pull would wait for this line.
  interrupted_stdin in("typed\n");
  ASSERT_TRUE(in.ok());
  gcmn.sigflg = 0;
  gsresult r;
  double secs = in.time([&] { r = gsrun(d, "pull a\nsay 'after [' a ']'\n"); });
  gcmn.sigflg = 0;
  EXPECT_LT(secs, 2.0);
  EXPECT_EQ(r.out, "");
  char line[16] = {0};
  EXPECT_EQ(read(0, line, sizeof line - 1), 6);
  EXPECT_STREQ(line, "typed\n");
}
