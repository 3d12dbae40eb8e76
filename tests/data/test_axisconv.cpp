// Axis conversions, axis builders, copies and latitude tables.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "data/axisconv.h"
#include "data/datafile.h"

namespace {

// Builds with stdout captured.
int lin(const char* text, int dim, int unitflag, axisdef* ax, std::string* msgs) {
  testing::internal::CaptureStdout();
  int rc = linaxis(text, dim, unitflag, ax);
  *msgs = testing::internal::GetCapturedStdout();
  return rc;
}

// A descriptor stream holding the given continuation lines.
FILE* lines(const char* text) {
  FILE* f = std::tmpfile();
  std::fputs(text, f);
  std::rewind(f);
  return f;
}

int lev(const char* text, int n, const char* more, axisdef* ax, std::string* rec, std::string* msgs) {
  FILE* f = lines(more);
  testing::internal::CaptureStdout();
  int rc = levaxis(text, n, *rec, f, ax);
  *msgs = testing::internal::GetCapturedStdout();
  std::fclose(f);
  return rc;
}

const std::string DIMERR = "Open Error:  Missing or invalid dimension";

}  // namespace

TEST(AxisConv, LinearAxisBothWays) {
  axisdef ax;
  std::string msgs;
  ASSERT_EQ(lin("linear 0 2.5", 0, 0, &ax, &msgs), 0);
  EXPECT_EQ(msgs, "");
  EXPECT_EQ(ax.linear, 1);
  EXPECT_EQ(ax.ab2gr, ax.gr2ab + 3);
  EXPECT_EQ(ax.gr2ab[2], AXEND);
  EXPECT_EQ(ax.ab2gr[2], AXEND);
  EXPECT_DOUBLE_EQ(ax.gr2abfn(ax.gr2ab, 1), 0.0);
  EXPECT_DOUBLE_EQ(ax.gr2abfn(ax.gr2ab, 145), 360.0);
  EXPECT_NEAR(ax.ab2grfn(ax.ab2gr, 358.75), 144.5, 1e-5);
  // Results are single precision.
  EXPECT_EQ(liconv(ax.gr2ab, 1.1), static_cast<double>(2.5f * 1.1f + -2.5f));
  std::free(ax.gr2ab);

  // A falling level axis; a unit increment from one start value.
  ASSERT_EQ(lin("linear 1000 -50", 2, 0, &ax, &msgs), 0);
  EXPECT_DOUBLE_EQ(ax.gr2abfn(ax.gr2ab, 3), 900.0);
  EXPECT_DOUBLE_EQ(ax.ab2grfn(ax.ab2gr, 800), 5.0);
  std::free(ax.gr2ab);
  ASSERT_EQ(lin("levels 500", 2, 1, &ax, &msgs), 0);
  EXPECT_DOUBLE_EQ(ax.gr2abfn(ax.gr2ab, 1), 500.0);
  EXPECT_DOUBLE_EQ(ax.gr2abfn(ax.gr2ab, 2), 501.0);
  std::free(ax.gr2ab);
}

TEST(AxisConv, LinearAxisRefusals) {
  axisdef ax;
  std::string msgs;
  EXPECT_EQ(lin("linear 0 0", 0, 0, &ax, &msgs), 1);
  EXPECT_EQ(msgs, DIMERR + " increment value\n");
  EXPECT_EQ(ax.gr2ab, nullptr);
  EXPECT_EQ(lin("linear -90 -1", 1, 0, &ax, &msgs), 1);
  EXPECT_EQ(msgs, DIMERR + " increment value\n");
  EXPECT_EQ(lin("linear 1000 0", 2, 0, &ax, &msgs), 1);  // zero never
  EXPECT_EQ(msgs, DIMERR + " increment value\n");
  EXPECT_EQ(lin("linear 0", 0, 0, &ax, &msgs), 1);
  EXPECT_EQ(msgs, DIMERR + " increment value\n");
  EXPECT_EQ(lin("linear", 0, 0, &ax, &msgs), 1);
  EXPECT_EQ(msgs, DIMERR + " starting value\n");
  EXPECT_EQ(lin("linear abc 1", 0, 0, &ax, &msgs), 1);
  EXPECT_EQ(msgs, DIMERR + " starting value\n");
  EXPECT_EQ(lin("linear 0 x", 0, 0, &ax, &msgs), 1);
  EXPECT_EQ(msgs, DIMERR + " increment value\n");
}

TEST(AxisConv, LevelListConversions) {
  float v[] = {3, 1000, 850, 500, -999.9f};
  EXPECT_DOUBLE_EQ(gr2lev(v, 1.5), 925.0);
  EXPECT_DOUBLE_EQ(gr2lev(v, 0), 1150.0);
  EXPECT_DOUBLE_EQ(gr2lev(v, 4), 150.0);
  EXPECT_DOUBLE_EQ(gr2lev(v, 3), 500.0);
  EXPECT_DOUBLE_EQ(gr2lev(v, 1), 1000.0);
  EXPECT_NEAR(lev2gr(v, 700), 2.0 + 3.0 / 7.0, 1e-12);
  EXPECT_NEAR(lev2gr(v, 1100), 1.0 / 3.0, 1e-12);
  EXPECT_NEAR(lev2gr(v, 300), 3.0 + 4.0 / 7.0, 1e-12);
  EXPECT_DOUBLE_EQ(lev2gr(v, 850), 2.0);
  float up[] = {4, 10, 20, 40, 80, -999.9f};
  EXPECT_DOUBLE_EQ(lev2gr(up, 30), 2.5);
  EXPECT_DOUBLE_EQ(lev2gr(up, 0), 0.0);
  EXPECT_DOUBLE_EQ(lev2gr(up, 120), 5.0);
  for (double g = -1; g <= 6; g += 0.25) EXPECT_NEAR(lev2gr(up, gr2lev(up, g)), g, 1e-9);
}

TEST(AxisConv, EqualAdjacentLevelsNeverDivideByZero) {
  float v[] = {4, 1000, 850, 850, 500, -999.9f};
  EXPECT_DOUBLE_EQ(lev2gr(v, 850), 2.0);
  EXPECT_NEAR(lev2gr(v, 700), 3.0 + 150.0 / 350.0, 1e-12);
  float flat[] = {3, 5, 5, 5, -999.9f};
  EXPECT_DOUBLE_EQ(lev2gr(flat, 5), 1.0);
  EXPECT_TRUE(std::isfinite(lev2gr(flat, 4)));
  EXPECT_TRUE(std::isfinite(lev2gr(flat, 7)));
  float flatend[] = {3, 1, 2, 2, -999.9f};
  EXPECT_DOUBLE_EQ(lev2gr(flatend, 9), 3.0);
  float flatstart[] = {3, 1, 1, 2, -999.9f};
  EXPECT_DOUBLE_EQ(lev2gr(flatstart, 0), 1.0);
  EXPECT_DOUBLE_EQ(gr2lev(flat, 2.5), 5.0);
}

TEST(AxisConv, LevelListsReadAcrossLines) {
  axisdef ax;
  std::string rec, msgs;
  ASSERT_EQ(lev("levels 1000 850", 5, "  700\t500\n\t300 200 100 50\nzdef\n", &ax, &rec, &msgs), 0);
  EXPECT_EQ(msgs, "");
  EXPECT_EQ(ax.linear, 0);
  EXPECT_EQ(ax.gr2ab, ax.ab2gr);
  EXPECT_EQ(ax.gr2ab[0], 5.0f);
  EXPECT_EQ(ax.gr2ab[5], 300.0f);
  EXPECT_EQ(ax.gr2ab[6], AXEND);
  EXPECT_EQ(rec, "\t300 200 100 50");  // the last line read; the rest is ignored
  EXPECT_DOUBLE_EQ(ax.gr2abfn(ax.gr2ab, 4), 500.0);
  EXPECT_DOUBLE_EQ(ax.ab2grfn(ax.ab2gr, 500), 4.0);
  std::free(ax.gr2ab);

  // Continuation lines keep their case; values with CRLF line ends read.
  ASSERT_EQ(lev("levels", 3, "1E2 2\r\n3\r\n", &ax, &rec, &msgs), 0);
  EXPECT_EQ(ax.gr2ab[1], 1.0f);  // an upper-case E ends the number
  EXPECT_EQ(ax.gr2ab[3], 3.0f);
  std::free(ax.gr2ab);
}

TEST(AxisConv, LevelListErrors) {
  axisdef ax;
  std::string rec, msgs;
  EXPECT_EQ(lev("levels 1 2", 4, "3\n", &ax, &rec, &msgs), 1);
  EXPECT_EQ(msgs,
            "Open Error:  Unexpected EOF reading descriptor file\n"
            "   EOF occurred reading LEVELS values\n");
  EXPECT_EQ(ax.gr2ab, nullptr);
  EXPECT_EQ(lev("levels 1 2", 4, "  \t \n3 4\n", &ax, &rec, &msgs), 1);
  EXPECT_EQ(msgs, "Open Error:  Blank Record found in LEVELS data\n");
  EXPECT_EQ(lev("levels 1 2", 4, "\n", &ax, &rec, &msgs), 1);
  EXPECT_EQ(msgs, "Open Error:  Blank Record found in LEVELS data\n");
  EXPECT_EQ(lev("levels 1 x 3", 3, "", &ax, &rec, &msgs), 1);
  EXPECT_EQ(msgs, "Open Error:  Invalid value in LEVELS data\n");
  EXPECT_EQ(lev("levels 1", 0, "", &ax, &rec, &msgs), 1);
  EXPECT_EQ(msgs, "Open Error:  Invalid number of levels\n");
}

TEST(AxisConv, BuildersStoreIntoTheDataFileRecord) {
  datafile* pfi = getpfi();
  ASSERT_NE(pfi, nullptr);
  pfi->dnum[0] = 144;
  pfi->dnum[2] = 1;
  pfi->dnum[1] = 3;
  std::string rec;
  ASSERT_EQ(deflin("linear 0 2.5", pfi, 0, 0), 0);
  EXPECT_EQ(pfi->linear[0], 1);
  EXPECT_EQ(pfi->gr2ab[0], &liconv);
  EXPECT_EQ(pfi->abvals[0], pfi->grvals[0] + 3);
  // A single level is a linear axis with a unit increment.
  ASSERT_EQ(deflev("levels 850", rec, nullptr, pfi, 2), 0);
  EXPECT_EQ(pfi->linear[2], 1);
  EXPECT_DOUBLE_EQ(pfi->gr2ab[2](pfi->grvals[2], 1), 850.0);
  ASSERT_EQ(deflev("levels -90 0 90", rec, nullptr, pfi, 1), 0);
  EXPECT_EQ(pfi->linear[1], 0);
  EXPECT_EQ(pfi->gr2ab[1], &gr2lev);
  EXPECT_EQ(pfi->ab2gr[1], &lev2gr);
  EXPECT_DOUBLE_EQ(pfi->ab2gr[1](pfi->abvals[1], 45), 2.5);
  testing::internal::CaptureStdout();
  EXPECT_EQ(deflin("linear 0 0", pfi, 0, 0), 1);
  testing::internal::GetCapturedStdout();
  EXPECT_NE(pfi->grvals[0], nullptr);  // a failed rebuild leaves the old axis
  frepfi(pfi, 0);
}

TEST(AxisConv, CopiesTakeOnlyWhatTheArrayHolds) {
  float lin[] = {2.5f, -2.5f, -999.9f};
  float* c = cpscal(lin, 1, 0, 0);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c[0], 2.5f);
  EXPECT_EQ(c[2], AXEND);
  std::free(c);
  float t[8] = {1990, 1, 1, 0, 0, 1, 0, -999.9f};
  c = cpscal(t, 1, 1, 3);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c[5], 1.0f);
  EXPECT_EQ(c[7], AXEND);
  std::free(c);
  EXPECT_EQ(cpscal(t, 0, 0, -1), nullptr);
  float l3[] = {3, 1000, 850, 500, -999.9f};  // exactly as long as it needs
  c = cpscal(l3, 0, 0, 2);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c[3], 500.0f);
  EXPECT_EQ(c[4], AXEND);
  EXPECT_DOUBLE_EQ(lev2gr(c, 850), 2.0);
  std::free(c);
  // A latitude table holds three floats more than its count (count and
  // end mark plus one): copying it stays inside it under the sanitizer.
  testing::internal::CaptureStdout();
  float* g = ommo32(1, 32);
  testing::internal::GetCapturedStdout();
  ASSERT_NE(g, nullptr);
  c = cpscal(g, 0, 0, 1);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c[32], 20.453f);
  EXPECT_EQ(c[33], AXEND);
  std::free(c);
  std::free(g);
}

TEST(AxisConv, GaussianTables) {
  struct Case {
    latfillfn fn;
    int n;
    float first, second, last;
  } cases[] = {{omgs15, 40, -86.60f, -82.19f, 86.60f},  {omgs20, 52, -87.38f, -83.98f, 87.38f},
               {omgs30, 80, -88.29f, -86.07f, 88.29f},  {omgaus, 102, -88.66f, -86.91f, 88.66f},
               {omgst62, 94, -88.5420f, -86.6531f, 88.5420f}};
  for (const Case& k : cases) {
    float* v = k.fn(1, k.n);
    ASSERT_NE(v, nullptr) << k.n;
    EXPECT_EQ(v[0], static_cast<float>(k.n));
    EXPECT_EQ(v[1], k.first) << k.n;
    EXPECT_EQ(v[2], k.second) << k.n;
    EXPECT_EQ(v[k.n], k.last) << k.n;
    EXPECT_EQ(v[k.n + 1], AXEND);
    for (int i = 1; i < k.n; i++) {
      EXPECT_LT(v[i], v[i + 1]);
      EXPECT_EQ(v[i], -v[k.n + 1 - i]);
    }
    std::free(v);
  }
  float* t = omgst62(1, 94);
  EXPECT_EQ(t[3], -84.7532f);
  EXPECT_EQ(t[42], -10.4760f);
  EXPECT_EQ(t[43], -8.57131f);
  EXPECT_EQ(t[47], -0.952368f);
  EXPECT_EQ(t[48], 0.952368f);
  std::free(t);
  // A part of a table starts where asked.
  float* p = omgaus(2, 3);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p[0], 3.0f);
  EXPECT_EQ(p[1], -86.91f);
  EXPECT_EQ(p[4], AXEND);
  std::free(p);
  EXPECT_EQ(latfill("gausr40"), &omgaus);
  EXPECT_EQ(latfill("mom32 1"), &ommo32);
  EXPECT_EQ(latfill("gausr41"), nullptr);
}

TEST(AxisConv, LatitudeTableRangesAreChecked) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(omgaus(2, 102), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Open Error: Invalid GAUSR40 scaling.\n  Maximum 102 latitudes exceeded \n");
  testing::internal::CaptureStdout();
  EXPECT_EQ(ommo32(10, 30), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Open Error: Invalid MOM32 scaling.\n  Maximum 32 latitudes exceeded \n");
  testing::internal::CaptureStdout();
  EXPECT_EQ(omgs15(1, 41), nullptr);
  EXPECT_EQ(omgs20(1, 53), nullptr);
  EXPECT_EQ(omgs30(1, 81), nullptr);
  EXPECT_EQ(omgst62(1, 95), nullptr);
  std::string all = testing::internal::GetCapturedStdout();
  EXPECT_NE(all.find("Open Error: Invalid GAUSR15 scaling.\n  Maximum 40 latitudes exceeded \n"),
            std::string::npos);
  EXPECT_NE(all.find("Open Error: Invalid GAUST62 scaling.\n  Maximum 94 latitudes exceeded \n"),
            std::string::npos);
  // Indexes before the table or empty ranges would read outside it.
  testing::internal::CaptureStdout();
  EXPECT_EQ(omgaus(0, 10), nullptr);
  EXPECT_EQ(omgaus(-5, 3), nullptr);
  EXPECT_EQ(ommo32(1, 0), nullptr);
  EXPECT_EQ(omgaus(2147483000, 1000), nullptr);
  std::string bad = testing::internal::GetCapturedStdout();
  EXPECT_EQ(bad.rfind("Open Error: Invalid GAUSR40 scaling.\n", 0), 0u);
  float* m = ommo32(1, 32);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m[1], -20.453f);
  EXPECT_EQ(m[16], -0.25f);
  EXPECT_EQ(m[32], 20.453f);
  std::free(m);
}
