// Malformed expressions of every shape: each one either evaluates or fails
// with its messages, and a failure leaves no result behind.  Run under the
// sanitizer build this also shows that nothing is leaked or overrun.
#include <sys/resource.h>

#include <cstdlib>
#include <random>
#include <string>

#include "vartest.h"

TEST(BadInput, RandomTextsFailCleanly) {
  testset ds;
  evalstat st = filest(ds.pfi);
  const char* const pieces[] = {"t",     "ts",     "lat",  "(",     ")",     "+",    "-",
                                "*",     "/",      "1",    "0",     ".",     "2.5e3", ",",
                                "sqrt(", "pow(",   "t(",   "z=",    "x+",    "time=", "lev=",
                                "12z",   "1jan1990", "t.2", "t.1",  "mag(",  "e",     "_",
                                "1e40",  "log(",   "aave(", "=",    "\n",    "zz",    "r=5"};
  std::mt19937 rng(12345);
  std::uniform_int_distribution<int> pick(0, sizeof(pieces) / sizeof(pieces[0]) - 1);
  std::uniform_int_distribution<int> len(0, 10);
  int ok = 0, failed = 0;
  for (int n = 0; n < 3000; n++) {
    std::string text;
    int k = len(rng);
    for (int i = 0; i < k; i++) text += pieces[pick(rng)];
    evalout o = evalon(text.c_str(), st);
    ASSERT_TRUE(o.rc == 0 || o.rc == 1) << text;
    if (o.rc == 0) {
      ASSERT_NE(o.st.result.pgr, nullptr) << text;
      omfree(&o.st);
      ok++;
    } else {
      ASSERT_EQ(o.st.result.pgr, nullptr) << text;
      ASSERT_NE(o.msg, "") << text;
      failed++;
    }
  }
  EXPECT_GT(ok, 10);
  EXPECT_GT(failed, 1000);
}

TEST(BadInput, DeepNestingAndLongTexts) {
  testset ds;
  evalstat st = filest(ds.pfi);
  std::string deep = std::string(2000, '(') + "t" + std::string(2000, ')');
  evalout o = evalon(deep.c_str(), st);
  ASSERT_EQ(o.rc, 0) << o.msg.substr(0, 200);
  omfree(&o.st);
  std::string chain = "t";
  for (int i = 0; i < 3000; i++) chain += "-t+1*t/t";
  o = evalon(chain.c_str(), st);
  ASSERT_EQ(o.rc, 0);
  omfree(&o.st);
  std::string longname(300, 'q');
  o = evalon(longname.c_str(), st);
  EXPECT_EQ(o.rc, 1);
  EXPECT_EQ(o.msg,
            "Syntax Error:  Invalid Operand \n"
            "  'qqqqqqqqqqqqqqqqq' not a variable or function name\n"
            "  Error ocurred at column 1\n");
}

// A sum waits for the end of the text with all its operands held: a sum
// longer than the memory one object may take is refused, not left to grow.
// The child process gets an address-space limit of 512 MB before the cap
// is first computed (256 MB), and each operand is a 1.2 MB field.
TEST(BadInput, SumOfMoreFieldsThanMemoryHoldsIsRefused) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer needs more address space than the limit";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  GTEST_SKIP() << "the address sanitizer needs more address space than the limit";
#endif
#endif
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto run = [] {
    rlimit r{512u << 20, 512u << 20};
    if (setrlimit(RLIMIT_AS, &r) != 0) std::_Exit(3);
    testset ds;
    evalstat st = filest(ds.pfi);
    st.dmax[0] = 99999;  // 100000 x 3 points, beyond the file's 4: undefined
    std::string sum = "ts";
    for (int i = 0; i < 400; i++) sum += "+ts";
    evalout o = evalon(sum.c_str(), st);
    bool refused = o.rc == 1 && o.st.result.pgr == nullptr &&
                   o.msg.find("Memory Allocation Error:  Expression operands\n"
                              "  Error ocurred at column ") != std::string::npos;
    std::_Exit(refused ? 0 : 1);
  };
  EXPECT_EXIT(run(), testing::ExitedWithCode(0), "");
}

// The evaluator's stack grows with what the text puts on it, not with the
// length of the text: a number written with 40 million digits takes one
// place, where a stack sized for the worst case would take about 3 GB.
TEST(BadInput, LongTextWithAShortStackFitsInLittleMemory) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer needs more address space than the limit";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  GTEST_SKIP() << "the address sanitizer needs more address space than the limit";
#endif
#endif
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto run = [] {
    std::string text = "1." + std::string(40000000, '0') + "5";
    rlimit r{512u << 20, 512u << 20};
    if (setrlimit(RLIMIT_AS, &r) != 0) std::_Exit(3);
    evalout o = evaltext(text.c_str());
    bool ok = o.rc == 0 && scalar(o.st) == 1.0f;
    std::_Exit(ok ? 0 : 1);
  };
  EXPECT_EXIT(run(), testing::ExitedWithCode(0), "");
}
