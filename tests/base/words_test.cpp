// Words and values: the parsing rules every reader depends on.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "base/words.h"

TEST(Words, CompareWholeWordsOnly) {
  EXPECT_EQ(cmpwrd("  open", "open\n"), 1);
  EXPECT_EQ(cmpwrd("open more", "open"), 1);
  EXPECT_EQ(cmpwrd("open\tx", "open"), 1);
  EXPECT_EQ(cmpwrd("open", "opens"), 0);
  EXPECT_EQ(cmpwrd("opens", "open"), 0);
  EXPECT_EQ(cmpwrd("Open", "open"), 0);
  EXPECT_EQ(cmpwrd("", ""), 1);
}

TEST(Words, NextWordStaysOnTheLine) {
  const char* line = "set x 1";
  const char* p = nxtwrd(line);
  ASSERT_NE(p, nullptr);
  EXPECT_STREQ(p, "x 1");
  p = nxtwrd(p);
  ASSERT_NE(p, nullptr);
  EXPECT_STREQ(p, "1");
  EXPECT_EQ(nxtwrd(p), nullptr);
  EXPECT_EQ(nxtwrd("set   "), nullptr);
  EXPECT_EQ(nxtwrd("set\nx"), nullptr);
  EXPECT_EQ(nxtwrd("set \nx"), nullptr);
  // From inside a word, and from blanks.
  EXPECT_STREQ(nxtwrd(line + 1), "x 1");
  EXPECT_STREQ(nxtwrd("  \tx"), "x");
  char buf[] = "a b";
  char* q = nxtwrd(buf);
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(*q, 'b');
}

TEST(Words, CopiesStopAndAreBounded) {
  char d[8];
  getwrd(d, "abc def", 7);
  EXPECT_STREQ(d, "abc");
  getwrd(d, "ab\tc d", 7);
  EXPECT_STREQ(d, "ab\tc");
  getwrd(d, "abcdefghijk", 4);
  EXPECT_STREQ(d, "abcd");
  getwrd(d, " x", 4);
  EXPECT_STREQ(d, "");
  getstr(d, "ab c   \nzz", 7);
  EXPECT_STREQ(d, "ab c");
  getstr(d, "   ", 7);
  EXPECT_STREQ(d, "");
  getstr(d, "abcdefghijk", 7);
  EXPECT_STREQ(d, "abcdefg");
  EXPECT_EQ(wrdstr(std::string(600, 'a').c_str()).size(), 600u);
  EXPECT_EQ(linestr("x y  \nz"), "x y");
}

TEST(Words, CaseChangesRespectQuotes) {
  char a[] = "SET \"Title X\" ABC\nXYZ";
  lowcas(a);
  EXPECT_STREQ(a, "set \"Title X\" abc\nXYZ");
  char b[] = "ab\"cd\"e\nf";
  uppcas(b);
  EXPECT_STREQ(b, "AB\"CD\"E\nf");
  // The ends of the alphabet and their neighbours '@' '[' and '`' '{':
  // every fold takes A and Z, a and z, and nothing beside them.
  const std::string edges = "@AZ[`az{";
  EXPECT_EQ(lowstr(edges), "@az[`az{");
  std::string up, alpha;
  for (char c : edges) {
    up += ascupper(c);
    alpha += ascalpha(c) ? '1' : '0';
  }
  EXPECT_EQ(up, "@AZ[`AZ{");
  EXPECT_EQ(alpha, "01100110");
  char l[] = "@AZ[`az{", u[] = "@AZ[`az{";
  lowcas(l);
  uppcas(u);
  EXPECT_STREQ(l, "@az[`az{");
  EXPECT_STREQ(u, "@AZ[`AZ{");
  EXPECT_TRUE(caseeq("AZaz", "azAZ"));
  EXPECT_FALSE(caseeq("@[", "`{"));
}

TEST(Words, BlankRemoval) {
  char a[] = "a + b \"c d\" e\nmore";
  EXPECT_EQ(omremb(a), 7);
  EXPECT_STREQ(a, "a+bc de");
  char b[] = "x \"y z w";  // unmatched quote keeps every later blank
  omremb(b);
  EXPECT_STREQ(b, "xy z w");
  char c[] = "\ta\t";
  omremb(c);
  EXPECT_STREQ(c, "\ta\t");
}

TEST(Words, CharacterCompare) {
  EXPECT_EQ(cmpch("abcx", "abcy", 3), 0);
  EXPECT_EQ(cmpch("abcx", "abcy", 4), 1);
  EXPECT_EQ(cmpch("xbc", "ybc", 3), 1);
}

TEST(Words, IntegerSyntax) {
  int v = 7;
  const char* s = "12abc";
  EXPECT_EQ(intprs(s, &v), s + 2);
  EXPECT_EQ(v, 12);
  v = 7;
  EXPECT_EQ(intprs("-", &v), nullptr);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(intprs(" 5", &v), nullptr);
  EXPECT_NE(intprs("+5", &v), nullptr);
  EXPECT_EQ(v, 5);
  EXPECT_NE(intprs("-17", &v), nullptr);
  EXPECT_EQ(v, -17);
  EXPECT_EQ(intprs("--1", &v), nullptr);
}

TEST(Words, IntegerOverflowIsRejected) {
  int v = 0;
  EXPECT_NE(intprs("2147483647", &v), nullptr);
  EXPECT_EQ(v, INT_MAX);
  EXPECT_NE(intprs("-2147483648", &v), nullptr);
  EXPECT_EQ(v, INT_MIN);
  EXPECT_EQ(intprs("2147483648", &v), nullptr);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(intprs("-2147483649", &v), nullptr);
  EXPECT_EQ(intprs("99999999999999999999999", &v), nullptr);
  long l = 0;
  EXPECT_EQ(longprs("4294967296", &l), nullptr);
  EXPECT_NE(longprs("-2147483648", &l), nullptr);
  EXPECT_EQ(l, -2147483648L);
}

TEST(Words, ValueSyntax) {
  float v;
  EXPECT_NE(valprs("1.5e2", &v), nullptr);
  EXPECT_FLOAT_EQ(v, 150.0f);
  EXPECT_NE(valprs("-.5", &v), nullptr);
  EXPECT_FLOAT_EQ(v, -0.5f);
  EXPECT_NE(valprs("5.", &v), nullptr);
  EXPECT_FLOAT_EQ(v, 5.0f);
  EXPECT_NE(valprs("2.5e-3", &v), nullptr);
  EXPECT_FLOAT_EQ(v, 0.0025f);
  EXPECT_EQ(valprs(".", &v), nullptr);
  EXPECT_EQ(valprs("", &v), nullptr);
  EXPECT_EQ(valprs("1ee5", &v), nullptr);
  EXPECT_EQ(valprs("--5", &v), nullptr);
  EXPECT_EQ(valprs("++5", &v), nullptr);
  EXPECT_NE(valprs("-+5", &v), nullptr);
  EXPECT_FLOAT_EQ(v, -5.0f);
  EXPECT_NE(valprs("+-5", &v), nullptr);
  EXPECT_FLOAT_EQ(v, -5.0f);
}

TEST(Words, ValueEndPositions) {
  float v;
  const char* s = "3E5";
  EXPECT_EQ(valprs(s, &v), s + 1);
  EXPECT_FLOAT_EQ(v, 3.0f);
  s = "1e";
  EXPECT_EQ(valprs(s, &v), s + 2);
  EXPECT_FLOAT_EQ(v, 1.0f);
  s = "1e-";
  EXPECT_EQ(valprs(s, &v), s + 3);
  EXPECT_FLOAT_EQ(v, 1.0f);
  s = "4-2";
  EXPECT_EQ(valprs(s, &v), s + 1);
  EXPECT_FLOAT_EQ(v, 4.0f);
  s = "1.2.3";
  EXPECT_EQ(valprs(s, &v), s + 3);
  s = "1e5.2";
  EXPECT_EQ(valprs(s, &v), s + 3);
  EXPECT_FLOAT_EQ(v, 1e5f);
  s = "e5";
  EXPECT_EQ(valprs(s, &v), nullptr);
}

TEST(Words, FixedPointText) {
  std::string s;
  EXPECT_EQ(omedit(0.05, s, 2), 4);
  EXPECT_EQ(s, "0.05");
  omedit(123.45, s, 1);
  EXPECT_EQ(s, "123.5");
  omedit(-2.5, s, 0);
  EXPECT_EQ(s, "-3");
  omedit(-0.001, s, 2);
  EXPECT_EQ(s, "0");
  omedit(1.0, s, 1);
  EXPECT_EQ(s, "1.0");
  omedit(-0.5, s, 1);
  EXPECT_EQ(s, "-0.5");
  omedit(1e300, s, 2);  // no overflow of an integer accumulator
  EXPECT_EQ(s.size(), 304u);
  EXPECT_EQ(s[s.size() - 3], '.');
  EXPECT_EQ(s[0], '1');
}

TEST(Words, DecimalsNeeded) {
  EXPECT_EQ(gxdeci(3.0f), 0);
  EXPECT_EQ(gxdeci(0.5f), 1);
  EXPECT_EQ(gxdeci(-2.25f), 2);
  EXPECT_LE(gxdeci(0.123456f), 4);
}
