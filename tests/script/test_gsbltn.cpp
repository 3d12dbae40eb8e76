// Built-in functions with their results and argument errors, text files,
// math functions, and the lookup of scripts and function libraries.
#include "base/callhook.h"
#include "base/fsizecap.h"
#include "gstest.h"

#include "base/fifo_end.h"

#include <cstdlib>

namespace {

// Messages of an expression whose evaluation must fail, without the
// line and file report.
std::string err(const std::string& expr) {
  gsdir d;
  gsresult r = gsrun(d, "say " + expr + "\n");
  EXPECT_EQ(r.rc, 99) << expr;
  size_t k = r.out.find("Error occurred on line");
  return r.out.substr(0, k);
}

struct envguard {
  explicit envguard(const char* v) {
    const char* o = std::getenv("OMSCRP");
    had = o != nullptr;
    if (o) old = o;
    if (v) {
      setenv("OMSCRP", v, 1);
    } else {
      unsetenv("OMSCRP");
    }
  }
  ~envguard() {
    if (had) {
      setenv("OMSCRP", old.c_str(), 1);
    } else {
      unsetenv("OMSCRP");
    }
  }
  bool had;
  std::string old;
};

}  // namespace

TEST(GsBltn, Substr) {
  EXPECT_EQ(gsval("substr('abcdef', 3, 10)"), "cdef");
  EXPECT_EQ(gsval("substr('abcdef', 2, 2)"), "bc");
  EXPECT_EQ(gsval("'[' substr('abcdef', 7, 1) ']'"), "[]");
  EXPECT_EQ(err("substr()"), "Error in substr:  1st argument missing\n");
  EXPECT_EQ(err("substr('a')"), "Error in substr:  2nd argument missing\n");
  EXPECT_EQ(err("substr('a', 0, 1)"), "Error in substr:  2nd argument invalid.\n");
  EXPECT_EQ(err("substr('a', 1.0, 1)"), "Error in substr:  2nd argument invalid.\n");
  EXPECT_EQ(err("substr('a', 1)"), "Error in substr:  3rd argument missing\n");
  EXPECT_EQ(err("substr('a', 1, -1)"), "Error in substr:  3rd argument invalid.\n");
}

TEST(GsBltn, WordsAndLines) {
  EXPECT_EQ(gsval("subwrd('  one two\tthree', 1)"), "one");
  EXPECT_EQ(gsval("subwrd('  one two\tthree', 3)"), "three");
  EXPECT_EQ(gsval("'[' subwrd('one two', 3) ']'"), "[]");
  EXPECT_EQ(gsval("wrdpos('  one  two', 2)"), "8");
  EXPECT_EQ(gsval("wrdpos('one two', 3)"), "0");
  EXPECT_EQ(gsval("sublin('a b' % sublin('x', 1), 1)"), "a bx");
  EXPECT_EQ(err("subwrd('a')"), "Error in subwrd:  2nd argument missing\n");
  EXPECT_EQ(err("subwrd('a', 'b')"), "Error in subwrd:  2nd argument invalid.\n");
  EXPECT_EQ(err("wrdpos()"), "Error in wrdpos:  1st argument missing\n");
  EXPECT_EQ(err("sublin('a', 0)"), "Error in sublin:  2nd argument invalid.\n");
  // lines come from command output captured into result
  gsdir d;
  gsresult r = gsrun(d,
                     "'echo l1 w2'\n"
                     "t = result 'second'\n"
                     "say sublin(t, 1) '|' sublin(t, 2) '|' sublin(t, 3) '|' subwrd(t, 3)\n");
  EXPECT_EQ(r.out, "l1 w2|second||second\n");
}

TEST(GsBltn, Valnum) {
  EXPECT_EQ(gsval("valnum('12')"), "1");
  EXPECT_EQ(gsval("valnum('-1.5e3')"), "2");
  EXPECT_EQ(gsval("valnum('1234567890')"), "2");
  EXPECT_EQ(gsval("valnum('1-2')"), "0");
  EXPECT_EQ(gsval("valnum('-')"), "0");
  EXPECT_EQ(gsval("valnum('e')"), "0");
  EXPECT_EQ(gsval("valnum('')"), "0");
  EXPECT_EQ(err("valnum()"), "Error in valnum:  Argument missing\n");
}

TEST(GsBltn, ReadWriteClose) {
  gsdir d;
  std::string f = d.path("out.txt");
  gsresult r = gsrun(d,
                     "f = '" + f + "'\n"
                     "say write(f, 'line one') write(f, 'line two')\n"
                     "r = read(f)\n"
                     "say '[' r ']'\n"
                     "say close(f)\n"
                     "r = read(f); say sublin(r, 1) '[' sublin(r, 2) ']'\n"
                     "r = read(f); say sublin(r, 1) '[' sublin(r, 2) ']'\n"
                     "r = read(f); say sublin(r, 1)\n"
                     "r = write(f, 'x'); say sublin(r, 1)\n"
                     "say close(f) close(f)\n"
                     "say sublin(read('" + d.path("none") + "'), 1)\n"
                     "say write(f, 'appended', 'a')\n"
                     "say sublin(write('" + d.path("no/such/dir") + "', 'x'), 1)\n");
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.out,
            "0\n0\n\n"
            "Error in read:  attempt to read a file open for write\n  File name = " + f + "\n"
            "[8\n]\n"
            "0\n"
            "0[line one]\n"
            "0[line two]\n"
            "2\n"
            "Error in write: attempt to write a file open for read\n  File name = " + f + "\n"
            "8\n"
            "Error in close:  file not open\n  File name = " + f + "\n"
            "01\n"
            "1\n"
            "0\n\n"
            "1\n")
      << r.out;
  EXPECT_EQ(d.read("out.txt"), "line one\nline two\nappended\n");
  r = gsrun(d, "say write('" + f + "', 'fresh')\n");
  EXPECT_EQ(d.read("out.txt"), "fresh\n");
  EXPECT_EQ(err("read()"), "Error in read:  File name missing\n");
  EXPECT_EQ(err("read('')"), "Error in read:  NULL File Name\n");
  EXPECT_EQ(err("write('x')"), "Error in write:  Output Record arg is missing\n");
  EXPECT_EQ(err("write('')"), "Error in write:  NULL File Name\n");
  EXPECT_EQ(err("close()"), "Error in close:  File name missing\n");
}

// A line that does not fit (a full disk) is reported and cut off whole:
// the lines before it stay, and the next line follows them directly.
TEST(GsBltn, AFailedWriteLeavesTheLinesBeforeIt) {
  gsdir d;
  std::string f = d.path("out.txt");
  gsfakecmds();
  std::string p = d.write("t.gs", "f = '" + f + "'\n"
                                  "say write(f, 'line one') write(f, 'line two')\n"
                                  "say write(f, 'line three')\n");
  gsresult r;
  {
    fsizecap cap(24);
    r = gsrunline(p);
  }
  EXPECT_EQ(r.out, "0\n0\n\n9\n\n");  // each result is a line of its own
  EXPECT_EQ(d.read("out.txt"), "line one\nline two\n");
  r = gsrun(d, "say write('" + f + "', 'more', 'a')\n");
  EXPECT_EQ(d.read("out.txt"), "line one\nline two\nmore\n");
  // Lines a network file system's server refuses only as they go out, at
  // the close, are a failed write too.
  callhook(callat::synced, "out.txt", nullptr, EDQUOT);
  r = gsrun(d, "say sublin(write('" + f + "', 'last', 'a'), 1) close('" + f + "')\n");
  EXPECT_EQ(r.out, "09\n");
  // So is a close the system fails once the lines have settled.
  callhook(callat::closed, "out.txt", nullptr, EIO);
  r = gsrun(d, "say sublin(write('" + f + "', 'last', 'a'), 1) close('" + f + "')\n");
  EXPECT_EQ(r.out, "09\n");
  r = gsrun(d, "say sublin(write('" + f + "', 'last', 'a'), 1) close('" + f + "')\n");
  EXPECT_EQ(r.out, "00\n");
}

TEST(GsBltn, ReadLongLinesInPieces) {
  gsdir d;
  std::string f = d.write("long.txt", std::string(700, 'y') + "\nz\n");
  gsresult r = gsrun(d,
                     "r = read('" + f + "'); say math_strlen(sublin(r, 2))\n"
                     "r = read('" + f + "'); say math_strlen(sublin(r, 2))\n"
                     "r = read('" + f + "'); say sublin(r, 2)\n");
  EXPECT_EQ(r.out, "596\n104\nz\n");
}

TEST(GsBltn, MathFunctions) {
  EXPECT_EQ(gsval("math_nint(-2.5)"), "-2");
  EXPECT_EQ(gsval("math_int(-2.5)"), "-3");
  EXPECT_EQ(gsval("math_mod(-7, 3)"), "-1");
  EXPECT_EQ(gsval("math_mod(17, 5)"), "2");
  EXPECT_EQ(gsval("math_fmod(7.5, 2)"), "1.5");
  EXPECT_EQ(gsval("math_pow(2, 10)"), "1024");
  EXPECT_EQ(gsval("math_sqrt(2)"), "1.4142135623731");
  EXPECT_EQ(gsval("math_abs(-3)"), "3");
  EXPECT_EQ(gsval("math_log(1)"), "0");
  EXPECT_EQ(gsval("math_log10(1000)"), "3");
  EXPECT_EQ(gsval("math_exp(0)"), "1");
  EXPECT_EQ(gsval("math_atan2(1, 1) * 4"), "3.14159265358979");
  EXPECT_EQ(gsval("math_cos(0) math_sin(0) math_tan(0) math_atan(0)"), "1000");
  EXPECT_EQ(gsval("math_cosh(0) math_sinh(0) math_tanh(0) math_asinh(0) math_atanh(0)"), "10000");
  EXPECT_EQ(gsval("math_acosh(1) math_acos(1) math_asin(0)"), "000");
  EXPECT_EQ(gsval("math_strlen('hello world')"), "11");
  EXPECT_EQ(gsval("math_strlen('')"), "0");
  EXPECT_EQ(gsval("math_format('%5.2f', 3.14159)"), " 3.14");
  EXPECT_EQ(gsval("math_format('x=%g%%', 0.5)"), "x=0.5%");
  EXPECT_EQ(gsval("math_format('%lf', 1)"), "1.000000");
  EXPECT_EQ(gsval("math_format('%e', 12345)"), "1.234500e+04");
  // long results are kept whole
  EXPECT_EQ(gsval("math_strlen(math_format('%.40f', 1))"), "42");

  EXPECT_EQ(err("math_sqrt()"), "Error in math_sqrt:  Argument missing\n");
  EXPECT_EQ(err("math_sqrt('x')"), "Error in math_sqrt:  Argument not a valid numeric\n");
  EXPECT_EQ(err("math_sqrt('1-2')"), "Error in math_sqrt:  Argument not a valid numeric\n");
  EXPECT_EQ(err("math_log(0)"), "Error in math_log:  Argument less than or equal to zero\n");
  EXPECT_EQ(err("math_log10(-1)"), "Error in math_log10:  Argument less than or equal to zero\n");
  EXPECT_EQ(err("math_fmod(1)"), "Error in fmod:  2rd argument missing\n");
  EXPECT_EQ(err("math_pow(1, 'a')"), "Error in pow:  2rd argument invalid.\n");
  EXPECT_EQ(err("math_mod(1)"), "Error in mod:  2rd argument missing\n");
  EXPECT_EQ(err("math_atan2(1)"), "Error in atan2:  2rd argument missing\n");
  EXPECT_EQ(err("math_format('%f')"), "Error in format:  2rd argument missing\n");
  EXPECT_EQ(err("math_format('%1234567890123f', 1)"),
            "Error in math_format:  argument: %1234567890123f  too long < 15\n");
}

TEST(GsBltn, MathFormatTakesOnlyOneFloatConversion) {
  for (const char* bad : {"%s", "%d", "%n", "%f %f", "plain", "%", "%*f", "%9999f", "%.1000f",
                          "%Lf", "%hhn", "%5$f", "%f%"}) {
    std::string o = err(std::string("math_format('") + bad + "', 1)");
    EXPECT_EQ(o, std::string("Error in math_format:  format must hold one floating conversion: ") +
                     bad + "\n")
        << bad;
  }
  // A NUL inside a conversion would cut the format printf sees to "%5.".
  const std::string nul("%5.\0\0" "2f", 7);
  EXPECT_EQ(err("math_format('" + nul + "', 1)"),
            "Error in math_format:  format must hold one floating conversion: %5.\n");
}

TEST(GsBltn, GsfallowSwitch) {
  EXPECT_EQ(gsval("gsfallow('on') gsfallow('Off') gsfallow('ON') gsfallow('maybe')"), "101999");
  EXPECT_EQ(gsval("gsfpath('lib1 lib2')"), "1");
  EXPECT_EQ(err("gsfallow()"), "Error in gsfallow:  Argument missing\n");
  EXPECT_EQ(err("gsfpath()"), "Error in gsfpath:  Argument missing\n");
}

TEST(GsBltn, LibrariesLoadFromScriptDirPathAndOmscrp) {
  gsdir d;
  gsdir other;
  gsdir abs;
  envguard e(other.dir().c_str());
  d.write("near.gsf", "function near(x)\nreturn 'near' x\n");
  d.write("lib1/viapath.gsf", "");
  system(("mkdir -p " + d.path("lib1")).c_str());
  d.write("lib1/viapath.gsf", "function viapath()\nreturn 'path'\nfunction helper()\nreturn 'h'\n");
  abs.write("absfn.gsf", "function absfn()\nreturn 'abs'\n");
  other.write("envfn.gsf", "function envfn()\nreturn 'env'\n");
  other.write("empty.gsf", "function notit()\nreturn 1\n");
  other.write("broken.gsf", "function broken()\nif 1\n");
  gsresult r = gsrun(d,
                     "say near(1)\n");
  EXPECT_EQ(r.rc, 99);
  EXPECT_NE(r.out.find("Function not found: near            \n"), std::string::npos);
  r = gsrun(d,
            "rc = gsfallow('on')\n"
            "rc = gsfpath('lib1;" + abs.dir() + "')\n"
            "say near(1) viapath() helper() absfn() envfn()\n");
  EXPECT_EQ(r.rc, 0) << r.out;
  EXPECT_EQ(r.out, "near1pathhabsenv\n");
  r = gsrun(d, "rc = gsfallow('on')\nsay empty()\n");
  EXPECT_EQ(r.rc, 99);
  EXPECT_NE(r.out.find("Loaded function file " + other.path("empty.gsf") +
                       "\n  But... Function not found: empty           \n"),
            std::string::npos)
      << r.out;
  r = gsrun(d, "rc = gsfallow('on')\nsay broken()\n");
  EXPECT_EQ(r.rc, 99);
  EXPECT_NE(r.out.find("Error while loading function: broken          \n"), std::string::npos);
}

TEST(GsBltn, ScriptLookupByNameGsAndOmscrp) {
  gsdir d;
  gsdir sdir;
  envguard e((std::string("  ,") + d.dir() + "/nothing;" + sdir.dir() + "/").c_str());
  d.write("plain", "say 'plain'\n");
  d.write("withext.gs", "say 'withext'\n");
  sdir.write("onpath.gs", "say 'onpath ' args\n");
  sdir.write("onpath2", "function m(a)\nsay 'onpath2 ' a\n");
  EXPECT_EQ(gsrunline(d.path("plain")).out, "plain\n");
  EXPECT_EQ(gsrunline(d.path("withext")).out, "withext\n");
  EXPECT_EQ(gsrunline(d.path("withext.gs")).out, "withext\n");
  EXPECT_EQ(gsrunline("onpath").out, "onpath args\n");
  EXPECT_EQ(gsrunline("onpath2 x y").out, "onpath2 x y\n");
  // an absolute name is not looked up along OMSCRP
  gsresult r = gsrunline("/onpath");
  EXPECT_EQ(r.rc, 1);
  EXPECT_EQ(r.out, "Error opening script file: /onpath\n");
  r = gsrunline("nosuchscript a b");
  EXPECT_EQ(r.rc, 1);
  EXPECT_FALSE(r.ret.has_value());
  EXPECT_EQ(r.out, "Error opening script file: nosuchscript\n");
  // a directory of the script's name is not a script
  r = gsrunline(d.dir());
  EXPECT_EQ(r.rc, 1);
}

#include "script/gsint.h"

TEST(GsBltn, DirectoryListsSplitAtBlanksCommasSemicolons) {
  std::vector<std::string> want = {"a", "b/c", "/d"};
  EXPECT_EQ(gsdirs("a b/c /d"), want);
  EXPECT_EQ(gsdirs("a,b/c;/d"), want);
  EXPECT_EQ(gsdirs(" ;;a ,, b/c;  /d; "), want);
  EXPECT_TRUE(gsdirs(" ,; ").empty());
}

TEST(GsBltn, LibraryBesideAScriptFoundAlongOmscrp) {
  gsdir sdir;
  envguard e(sdir.dir().c_str());
  sdir.write("usesdir.gs", "r = gsfallow('on')\nsay sidefn()\n");
  sdir.write("sidefn.gsf", "function sidefn()\nreturn 'beside'\n");
  gsfakecmds();
  gsresult r = gsrunline("usesdir");
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.out, "beside\n");
}

// read of a FIFO that nobody writes waits only until the user interrupts:
// it fails as a file that cannot be opened (1, where a writer that came
// and went would give the end of file, 2), and the interrupt then ends the
// script.
TEST(GsBltn, ReadOfAWriterlessFifoEndsAtInterrupt) {
  gsdir d;
  fifo_end fifo(d.path("in.fifo"), true);
  gsresult r = gsrun(d, std::string("say 'got ' sublin(read('") + fifo.path() +
                            "'), 1)\nsay 'after'\n");
  EXPECT_EQ(r.out, "got 1\n") << r.out;
}
