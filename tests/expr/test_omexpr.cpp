// The evaluator on constant expressions: precedence and grouping, syntax
// errors with their column line, function calls and their errors.
#include <string>

#include "expr/omfunc.h"
#include "exprtest.h"

TEST(Evaluator, PrecedenceAndGrouping) {
  struct {
    const char* text;
    float value;
  } cases[] = {
      {"2*3", 6},        {"8/2*2", 8},       {"8-2-3", 3},     {"-2*-3", 6},
      {"2--3", 5},       {"1+2*3-4", 3},     {"(1+2)*3", 9},   {"2*(3+4)*2", 28},
      {"-(1+2)", -3},    {"((4))", 4},       {"1.5e2/3", 50},  {"10/4/5", 0.5f},
      {"2*-3+1", -5},    {"(2+3)/(1+4)", 1},
  };
  for (auto& c : cases) {
    evalout o = evaltext(c.text);
    ASSERT_EQ(o.rc, 0) << c.text << "\n" << o.msg;
    EXPECT_FLOAT_EQ(scalar(o.st), c.value) << c.text;
    EXPECT_EQ(o.msg, "") << c.text;
    omfree(&o.st);
  }
}

TEST(Evaluator, DivisionByZeroIsUndefined) {
  evalout o = evaltext("1/0");
  ASSERT_EQ(o.rc, 0);
  EXPECT_EQ(scalar(o.st), o.st.result.pgr->undef);
  omfree(&o.st);
  o = evaltext("1/0+5");  // undefined stays undefined
  ASSERT_EQ(o.rc, 0);
  EXPECT_EQ(scalar(o.st), UNDEF);
  omfree(&o.st);
}

TEST(Evaluator, SyntaxErrorsWithColumns) {
  const std::string opd = "Syntax Error:  Expected operand or '('\n";
  const std::string opr = "Syntax Error:  Expected operator or ')'\n";
  const std::string par = "Syntax Error:  Unmatched Parens\n";
  struct {
    const char* text;
    std::string msg;
  } cases[] = {
      {".5", opd + "  Error ocurred at column 1\n"},
      {"A", opd + "  Error ocurred at column 1\n"},
      {"+2", opd + "  Error ocurred at column 1\n"},
      {")", opd + "  Error ocurred at column 1\n"},
      {"", opd + "  Error ocurred at column 1\n"},
      {"2*)", opd + "  Error ocurred at column 3\n"},
      {"2a", opr + "  Error ocurred at column 2\n"},
      {"2 3", opr + "  Error ocurred at column 2\n"},
      {"(2", par + "  Error ocurred at column 3\n"},
      {"((2)+1", par + "  Error ocurred at column 7\n"},
      {"2+", "  Error ocurred at column 3\n"},
      {"2*(", "  Error ocurred at column 4\n"},
      {"-", "  Error ocurred at column 2\n"},
      {"2)", par + "  Error ocurred at column 2\n"},
      {"2*3)+1", par + "  Error ocurred at column 4\n"},
  };
  for (auto& c : cases) {
    evalout o = evaltext(c.text);
    EXPECT_EQ(o.rc, 1) << c.text;
    EXPECT_EQ(o.msg, c.msg) << c.text;
    EXPECT_EQ(o.st.result.pgr, nullptr) << c.text;
  }
}

TEST(Evaluator, TextEndsAtNewline) {
  evalout o = evaltext("2*4\n+1");
  ASSERT_EQ(o.rc, 0);
  EXPECT_FLOAT_EQ(scalar(o.st), 8);
  omfree(&o.st);
}

TEST(Functions, MathValuesAndDomainWarnings) {
  struct {
    const char* text;
    float value;
    const char* msg;
  } cases[] = {
      {"sqrt(16)", 4, ""},
      {"sqrt(0)", 0, ""},
      {"abs(-2.5)", 2.5f, ""},
      {"exp(0)+cos(0)+sin(0)+tan(0)", 2, ""},
      {"log(exp(2))", 2, ""},
      {"log10(1000)", 3, ""},
      {"asin(1)*2", 3.14159265f, ""},
      {"acos(1)", 0, ""},
      {"pow(2,10)", 1024, ""},
      {"mag(3,4)", 5, ""},
      {"atan2(0,0)", 0, ""},
      {"atan2(1,0)*2", 3.14159265f, ""},
      {"sqrt(pow(3,2)+pow(4,2))", 5, ""},
  };
  for (auto& c : cases) {
    evalout o = evaltext(c.text);
    ASSERT_EQ(o.rc, 0) << c.text << "\n" << o.msg;
    EXPECT_NEAR(scalar(o.st), c.value, 1e-5) << c.text;
    EXPECT_EQ(o.msg, c.msg) << c.text;
    omfree(&o.st);
  }
}

TEST(Functions, OutOfDomainBecomesUndefinedWithCountedWarnings) {
  struct {
    const char* text;
    const char* msg;
  } cases[] = {
      {"sqrt(-4)",
       "Warning from SQRT:  Data has 1 values < zero \n"
       "                    These were set to the undefined value \n"},
      {"log(0)",
       "Warning from LOG:  Data has 1 values <= zero \n"
       "                   These were set to the undefined value \n"},
      {"log10(-1)",
       "Warning from LOG10:  Data has 1 values <= zero \n"
       "                     These were set to the undefined value \n"},
      {"asin(1.5)", ""},
      {"acos(-2)", ""},
      {"pow(10,40)", ""},
      {"pow(-8,0.5)", ""},
      {"exp(1000)", ""},
  };
  for (auto& c : cases) {
    evalout o = evaltext(c.text);
    ASSERT_EQ(o.rc, 0) << c.text;
    EXPECT_EQ(scalar(o.st), UNDEF) << c.text;
    EXPECT_EQ(o.msg, c.msg) << c.text;
    omfree(&o.st);
  }
  // An undefined value is never counted, even a negative one.
  evalout o = evaltext("log(1/0)");
  EXPECT_EQ(o.msg, "");
  omfree(&o.st);
}

TEST(Functions, ArgumentCountErrors) {
  struct {
    const char* text;
    const char* msg;
  } cases[] = {
      {"sin(1,2)",
       "Error from SIN:  Too many or too few args \n"
       "                 One argument expected \n"
       "Operation Error:  Error from sin function\n"
       "  Error ocurred at column 1\n"},
      {"2+sqrt",
       "Error from SQRT: Too many or too few args \n"
       "                 One argument expected \n"
       "Operation Error:  Error from sqrt function\n"
       "  Error ocurred at column 3\n"},
      {"asin()",
       "Error from ASIN:  Too many or too few args \n"
       "                  One argument expected \n"
       "Operation Error:  Error from asin function\n"
       "  Error ocurred at column 1\n"},
      {"log10(1,2)",
       "Error from LOG10:  Too many or too few args \n"
       "                   One argument expected \n"
       "Operation Error:  Error from log10 function\n"
       "  Error ocurred at column 1\n"},
      {"pow(2)",
       "Error from POW:  Too many or too few args \n"
       "                 Two arguments expected \n"
       "Operation Error:  Error from pow function\n"
       "  Error ocurred at column 1\n"},
      {"atan2(1,2,3)",
       "Error from ATAN2:  Too many or too few args \n"
       "                   Two arguments expected \n"
       "Operation Error:  Error from atan2 function\n"
       "  Error ocurred at column 1\n"},
  };
  for (auto& c : cases) {
    evalout o = evaltext(c.text);
    EXPECT_EQ(o.rc, 1) << c.text;
    EXPECT_EQ(o.msg, c.msg) << c.text;
  }
}

TEST(Functions, CallSyntaxAndNesting) {
  evalout o = evaltext("sqrt(2+");
  EXPECT_EQ(o.msg, "Syntax Error:  Unmatched parens\n  Error ocurred at column 1\n");
  // An inner evaluation prints no column; only the outermost does.
  o = evaltext("1+sqrt(2+)");
  EXPECT_EQ(o.msg, "Operation Error:  Error from sqrt function\n  Error ocurred at column 3\n");
  o = evaltext("sqrt(2*(3+1))+pow(mag(3,4),2)");
  ASSERT_EQ(o.rc, 0) << o.msg;
  EXPECT_FLOAT_EQ(scalar(o.st), 2 * 1.41421356f + 25);
  omfree(&o.st);
  o = evaltext("nosuch(1)");
  EXPECT_EQ(o.msg,
            "Syntax Error:  Invalid Operand \n"
            "  'nosuch' not a variable or function name\n"
            "  Error ocurred at column 1\n");
  // A handler's failure (whatever it printed) is reported by the call.
  o = evaltext("aave(1,2)");
  EXPECT_EQ(o.rc, 1);
  const std::string tail = "Operation Error:  Error from aave function\n  Error ocurred at column 1\n";
  ASSERT_GE(o.msg.size(), tail.size());
  EXPECT_EQ(o.msg.substr(o.msg.size() - tail.size()), tail);
}

TEST(Functions, ArgumentBlockLimitsRefused) {
  std::string many = "mag(1";
  for (int i = 0; i < 20; i++) many += ",1";
  many += ")";
  evalout o = evaltext(many.c_str());
  EXPECT_EQ(o.rc, 1);
  EXPECT_EQ(o.msg, "Syntax Error:  More than 20 function arguments\n  Error ocurred at column 1\n");
  std::string longarg = "sqrt(" + std::string(1200, '1') + ")";
  o = evaltext(longarg.c_str());
  EXPECT_EQ(o.rc, 1);
  EXPECT_EQ(o.msg,
            "Syntax Error:  Function arguments longer than 999 characters\n"
            "  Error ocurred at column 1\n");
}

TEST(Functions, AllNamesAreInTheTable) {
  const char* names[] = {"sqrt", "sin", "cos", "tan", "asin", "acos", "exp", "log", "log10",
                         "abs", "pow", "ave", "mag", "atan2", "hdivg", "hcurl", "vint",
                         "tloop", "aave", "scorr", "tcorr", "tmave", "maskout", "gr2stn",
                         "tvrh2q", "tvrh2t", "gint", "oacres", "oabin", "smth9", "stnave",
                         "stnmin", "stnmax", "skip", "const", "cdiff", "mean", "amean", "sum",
                         "sumg", "asum", "asumg", "coll2gr", "min", "max", "minloc", "maxloc",
                         "fndlvl", "sregr", "tregr", "regrid", "clim"};
  int n = 0;
  for (const char* nm : names) {
    EXPECT_NE(omfind(nm), nullptr) << nm;
    n++;
  }
  EXPECT_EQ(n, 52);
  EXPECT_EQ(omfuncnum, 52);
  EXPECT_EQ(omfind("sqr"), nullptr);
}
