// Defined variables: define, the implicit form, redefinition, undefine,
// modify, and the one-value query and change.
#include "test_display_env.h"

#include "base/omprntint.h"
#include "data/datafile.h"
#include "data/datetime.h"
#include "expr/defvar.h"

using namespace disptest;

namespace {

using Define = DisplayEnv;

TEST_F(Define, ImplicitAndExplicitGiveTheSameGrid) {
  ASSERT_EQ(open("t.ctl").rc, 0);
  Out o = run("define a = t * 2");
  EXPECT_EQ(o.rc, 0);
  EXPECT_EQ(o.out, "Define memory allocation size = 48 bytes\n");
  o = run("b=t*2");
  EXPECT_EQ(o.rc, 0);
  run("set gxout print");
  EXPECT_EQ(run("d a-b").out,
            "Printing Grid -- 12 Values -- Undef = -9.99e+08\n0 0 0 0 0 -9.99e+08 0 0 \n0 0 0 0 \n");
  o = run("q define");
  EXPECT_EQ(o.out, "a 0\nb 0\n");
}

TEST_F(Define, NamesAndSyntax) {
  ASSERT_EQ(open("t.ctl").rc, 0);
  EXPECT_EQ(run("define").out, "DEFINE error:  name is missing \n");
  EXPECT_EQ(run("define abcdefghijklmnopq = 1").rc, 0);
  Out o = run("define abcdefghijklmnopqr = 1");
  EXPECT_EQ(o.rc, 1);
  EXPECT_EQ(o.out, "DEFINE error:  Name too long; missing '='\n");
  EXPECT_EQ(run("define a_b = 1").out, "DEFINE error:  Name too long; missing '='\n");
  EXPECT_EQ(run("define a =").out, "DEFINE error:  expression missing\n");
  o = run("define a = nosuch");
  EXPECT_EQ(o.rc, 1);
  EXPECT_TRUE(has(o, "DEFINE error:  Invalid expression. \n"));
  EXPECT_EQ(run("q define").out, "abcdefghijklmnopq 1\n");
}

TEST_F(Define, ScalarSizeAndReplacement) {
  ASSERT_EQ(open("t.ctl").rc, 0);
  EXPECT_EQ(run("define c = 3").out, "Define memory allocation size = 4 bytes\n");
  Out o = run("define c = c + 1");
  EXPECT_EQ(o.out,
            "Define memory allocation size = 4 bytes\n"
            "Name already DEFINEd:  c.   Will be deleted and replaced.\n");
  EXPECT_EQ(run("d c").out, "Result value = 4 \n");
}

TEST_F(Define, TimeSlabsAndEnvironmentRestored) {
  ASSERT_EQ(open("t.ctl").rc, 0);
  run("set t 1 3");
  run("set lev 1000 500");
  Out o = run("define m = t");
  EXPECT_EQ(o.rc, 0) << o.out;
  EXPECT_EQ(o.out, "Define memory allocation size = 288 bytes\n");
  EXPECT_EQ(gcmn.vary[3], 1);
  EXPECT_EQ(gcmn.whi[2], 500);
  run("set lev 500");
  run("set t 2");
  run("set gxout print");
  o = run("d m - t");
  EXPECT_EQ(o.out,
            "Printing Grid -- 12 Values -- Undef = -9.99e+08\n0 0 0 0 0 0 0 0 \n0 0 0 0 \n");
  run("set t 3");
  run("set x 1");
  run("set y 1");
  run("set lev 1000");
  EXPECT_EQ(run("d m").out, "Printing Grid -- 1 Values -- Undef = -9.99e+08\n48 \n");
}

// A time mean of a defined name takes every step from the definition, also
// where it would merge a file variable's steps straight from the file: here
// v is a page a step, 1 to 5 in the file and 10 to 50 as defined.
TEST_F(Define, ADefinedNameHidesTheFileVariableInATimeMean) {
  std::string data;
  for (int i = 0; i < 5 * 1024; i++) {
    float v = static_cast<float>(1 + i / 1024);
    putle(data, &v);
  }
  write("v.dat", data);
  write("v.ctl",
        "dset ^v.dat\nundef -9.99e8\noptions little_endian\nxdef 32 linear 0 10\n"
        "ydef 32 linear -80 5\nzdef 1 levels 1000\ntdef 5 linear 00z01jan2000 1dy\nvars 1\nv 0 99 v\nendvars\n");
  ASSERT_EQ(open("v.ctl").rc, 0);
  run("set t 1 5");
  ASSERT_EQ(run("define v = v*10").rc, 0);
  run("set t 1");
  run("set gxout stat");
  Out o = run("d ave(v,t=1,t=5)");
  EXPECT_TRUE(has(o, "Min, Max = 30 30\n")) << o.out;
}

TEST_F(Define, StationDataRefused) {
  ASSERT_EQ(open("s.ctl").rc, 0);
  Out o = run("define p = ps");
  EXPECT_EQ(o.rc, 1);
  EXPECT_EQ(o.out, "Define error:  Define not yet valid for station data\n    Default file is a station data file\n");
}

TEST_F(Define, DefvalQueryAndSet) {
  ASSERT_EQ(open("t.ctl").rc, 0);
  run("define a = t");
  EXPECT_EQ(run("q defval a 2 2").out, "DEFVAL is -9.99e+08\n");  // the undefined element
  EXPECT_EQ(run("q defval a 3 2").out, "DEFVAL is 6\n");
  EXPECT_EQ(run("q defval a 9 9").out, "DEFVAL is -9.99e+08\n");
  EXPECT_EQ(run("set defval a 3 2 42").rc, 0);
  EXPECT_EQ(run("q defval a 3 2").out, "DEFVAL is 42\n");
  Out o = run("set defval a 9 9 1");
  EXPECT_EQ(o.rc, 1);
  EXPECT_EQ(o.out, "MODIFY DEFVAL Error:  Out of Range\n");
  o = run("q defval a 1");
  EXPECT_EQ(o.rc, 1);
  EXPECT_EQ(o.out, "QUERY DEFVAL Error: Syntax is: Query Defval name i j\n");
  EXPECT_EQ(run("set defval a 1 1").out, "MODIFY DEFVAL Error: Syntax is: Modify Defval name i j value\n");
  o = run("q defval zz 1 1");
  EXPECT_EQ(o.rc, 0);
  EXPECT_EQ(o.out, "Warning:  defined name not found\n");
}

TEST_F(Define, UndefineAndModify) {
  ASSERT_EQ(open("t.ctl").rc, 0);
  EXPECT_EQ(run("undefine").out, "UNDEFINE error:  name is missing \n");
  EXPECT_EQ(run("undefine zz").out, "UNDEFINE Warning:  name not found\n");
  run("define a = t");
  EXPECT_EQ(run("modify a seasonal").out, "MODIFY Error:  Time not varying for this defined variable\n");
  EXPECT_EQ(run("modify zz diurnal").out, "MODIFY Error: Defined grid zz not found\n");
  EXPECT_EQ(run("modify a").out, "MODIFY error:  Action keyword is missing\n");
  EXPECT_EQ(run("modify a weekly now").out, "MODIFY error: Invalid operand\n  Operand = weekly now\n");
  run("set t 1 3");
  run("define d = t");
  EXPECT_EQ(run("modify d seasonal").out, "MODIFY Error:  Invalid time scaling in defined variable\n");
  // A day is a whole number of steps whatever dates of their own the steps
  // show (the last an hour off here).
  ASSERT_EQ(taxdates(deffind(gcmn.defs, "d")->pfi->grvals[3], {{2000, 1, 1, 0, 0}, {2000, 1, 1, 6, 0}, {2000, 1, 1, 13, 0}}), 1);
  Out o = run("modify d diurnal");
  EXPECT_EQ(o.out, "Defined variable is now climatological\n");
  EXPECT_EQ(o.rc, 0);
  EXPECT_EQ(run("undefine a").out, "a UNDEFINEd and storage released\n");
  EXPECT_EQ(run("q define").out, "d 0\n");
}

TEST_F(Define, ReplacedNamesGoLastAndRemovedOnesAreGoneWhereverTheyStood) {
  ASSERT_EQ(open("t.ctl").rc, 0);
  run("set x 1");
  run("set y 1");
  for (const char* d : {"a = 1", "b = 2", "c = 3", "e = 4"}) run(std::string("define ") + d);
  EXPECT_EQ(run("a = a + 10").out,
            "Define memory allocation size = 4 bytes\n"
            "Name already DEFINEd:  a.   Will be deleted and replaced.\n");
  auto undefine = [](const std::string& n) {
    EXPECT_EQ(run("undefine " + n).out, n + " UNDEFINEd and storage released\n");
  };
  undefine("c");
  undefine("e");
  EXPECT_EQ(run("q define").out, "b 2\na 11\n");
  run("define f = a + b");
  EXPECT_EQ(run("q define").out, "b 2\na 11\nf 13\n");
  EXPECT_EQ(run("d f").out, "Result value = 13 \n");
  for (const char* n : {"a", "f", "b"}) undefine(n);
  EXPECT_EQ(run("q define").out, "No Defined Variables\n");
  run("define c = 5");
  EXPECT_EQ(run("q define").out, "c 5\n");
}

TEST_F(Define, ALongChainOfDefinitionsIsFoundByName) {
  // Each define looks up the name before it and checks its own: compared
  // one by one, 2x10^5 of them would take some 10^10 comparisons, far past
  // the test's time limit.
  ASSERT_EQ(open("t.ctl").rc, 0);
  run("set x 1");
  run("set y 1");
  run("define a0 = 1");
  const int n = 200000;
  for (int k = 1; k < n; k++) {
    // Captured in memory: a capture of standard output costs a file each.
    std::string line = "define a" + std::to_string(k) + " = a" + std::to_string(k - 1) + " + 1";
    int rc = 0;
    std::string out = omcaprun([&] { return omcmd(line.c_str(), &gcmn, 0); }, &rc);
    ASSERT_EQ(rc, 0) << k << out;
  }
  EXPECT_EQ(run("d a" + std::to_string(n - 1)).out, "Result value = 200000 \n");
  EXPECT_EQ(run("d a77 + a123456").out, "Result value = 123535 \n");
}

}  // namespace
