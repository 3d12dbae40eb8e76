// Variable references on a data set made at test time: file numbers,
// overrides in grid and world coordinates and time, offsets, lat/lon/lev,
// defined variables, and their error texts.
#include <cmath>
#include <cstring>

#include "expr/defvar.h"
#include "expr/varprs.h"
#include "vartest.h"

TEST(VarRef, WholeGridAndBroadcastArithmetic) {
  testset ds;
  evalstat st = filest(ds.pfi);
  evalout o = evalon("t-ts", st);
  ASSERT_EQ(o.rc, 0) << o.msg;
  gridres* g = o.st.result.pgr;
  EXPECT_EQ(g->isiz, 4);
  EXPECT_EQ(g->jsiz, 3);
  for (float v : values(g)) EXPECT_FLOAT_EQ(v, 100.0f);
  omfree(&o.st);
}

TEST(VarRef, OverridesInGridWorldAndTimeCoordinates) {
  testset ds;
  evalstat st = filest(ds.pfi);
  struct {
    const char* text;
    float expect;  // value at x=2, y=3
  } cases[] = {
      {"t(z=2)", testset::code(2, 3, 2, 1)},
      {"t(lev=500)", testset::code(2, 3, 2, 1)},
      {"t(t=3)", testset::code(2, 3, 1, 3)},
      {"t(time=12z1jan1990)", testset::code(2, 3, 1, 2)},
      {"t(time+1dy)", testset::code(2, 3, 1, 3)},
      {"t(t+2,z=2)", testset::code(2, 3, 2, 3)},
      {"t(z+1)", testset::code(2, 3, 2, 1)},
      {"t.1(z=2,time=12z1jan1990)", testset::code(2, 3, 2, 2)},
      {"ts(z=2)", testset::code(2, 3, 0, 1)},
  };
  for (auto& c : cases) {
    evalout o = evalon(c.text, st);
    ASSERT_EQ(o.rc, 0) << c.text << "\n" << o.msg;
    EXPECT_FLOAT_EQ(values(o.st.result.pgr)[2 * 4 + 1], c.expect) << c.text;
    omfree(&o.st);
  }
}

TEST(VarRef, PredefinedCoordinates) {
  testset ds;
  evalstat st = filest(ds.pfi);
  evalout o = evalon("lat*1000+lon", st);
  ASSERT_EQ(o.rc, 0) << o.msg;
  EXPECT_FLOAT_EQ(values(o.st.result.pgr)[2 * 4 + 1], 15.0f * 1000 + 1);
  omfree(&o.st);
  o = evalon("lev", st);
  ASSERT_EQ(o.rc, 0) << o.msg;
  EXPECT_FLOAT_EQ(values(o.st.result.pgr)[0], 1000.0f);
  omfree(&o.st);
}

TEST(VarRef, RangeWidensToWholeGridPoints) {
  testset ds;
  evalstat st = filest(ds.pfi);
  st.dmin[0] = 0.5f;
  st.dmax[0] = 2.2f;
  evalout o = evalon("ts", st);
  ASSERT_EQ(o.rc, 0) << o.msg;
  EXPECT_EQ(o.st.result.pgr->dimmin[0], 1);
  EXPECT_EQ(o.st.result.pgr->dimmax[0], 4);
  omfree(&o.st);
}

TEST(VarRef, FileNumbersAndLookupOrder) {
  testset a("a"), b("b");
  a.pfi->pforw = b.pfi;
  evalstat st = filest(a.pfi);
  st.filehead = a.pfi;
  evalout o = evalon("t.2-t.1", st);
  ASSERT_EQ(o.rc, 0) << o.msg;
  EXPECT_FLOAT_EQ(values(o.st.result.pgr)[0], 0.0f);
  omfree(&o.st);

  o = evalon("t.3", st);
  EXPECT_EQ(o.rc, 1);
  EXPECT_EQ(o.msg,
            "Data Request Error:  File number out of range \n"
            "  Variable = t.3 \n"
            "  Error ocurred at column 1\n");
  EXPECT_EQ(o.st.result.pgr, nullptr);

  o = evalon("t.0", st);
  EXPECT_EQ(o.msg,
            "Syntax error: Bad file number for variable t \n"
            "  Error ocurred at column 1\n");
  o = evalon("q.2", st);
  EXPECT_EQ(o.msg,
            "Data Request Error:  Invalid variable name \n"
            "  Variable 'q.2' not found in file 2\n"
            "  Error ocurred at column 1\n");
  o = evalon("1+qq", st);
  EXPECT_EQ(o.msg,
            "Syntax Error:  Invalid Operand \n"
            "  'qq' not a variable or function name\n"
            "  Error ocurred at column 3\n");
  a.pfi->pforw = nullptr;
}

TEST(VarRef, OverrideErrors) {
  testset ds;
  evalstat st = filest(ds.pfi);
  evalout o = evalon("t(x=2)", st);
  EXPECT_EQ(o.msg,
            "Data Request Error: Invalid dimension expression\n"
            "  Attempt to set or modify varying dimension\n"
            "  Variable = t, Dimension = 0 \n"
            "  Error ocurred at column 1\n");
  o = evalon("t(z=1,z=2)", st);
  EXPECT_EQ(o.msg,
            "Syntax Error: Invalid dimension expression\n"
            "  Same dimension specified multiple times for variable = t\n"
            "  Error ocurred at column 1\n");
  o = evalon("t(lev=700)", st);
  EXPECT_EQ(o.msg,
            "Data Request Error: Invalid grid coordinates\n"
            "  World coordinates convert to non-integer grid coordinates\n"
            "    Variable = t  Dimension = 2 \n"
            "  Error ocurred at column 1\n");
  o = evalon("t(x+1)", st);
  EXPECT_EQ(o.msg,
            "Syntax Error:  Invalid dimension expression\n"
            "  Cannot use an offset value with a varying dimension\n"
            "  Varying dimension = 0 \n"
            "  Variable name = t\n"
            "  Error ocurred at column 1\n");
  o = evalon("t(longitude=0)", st);
  EXPECT_EQ(o.msg,
            "Syntax Error:  Invalid dimension expression\n"
            "  Expecting X/Y/Z/T/LAT/LON/LEV/TIME, found longit\n"
            "  Variable name = t\n"
            "  Error ocurred at column 1\n");
  o = evalon("t(r=5)", st);
  EXPECT_EQ(o.msg,
            "Syntax Error:  Invalid dimension expression\n"
            "  Expecting X/Y/Z/T/LAT/LON/LEV/TIME, found r\n"
            "  Variable name = t\n"
            "  Error ocurred at column 1\n");
  o = evalon("t(z*1)", st);
  EXPECT_EQ(o.msg,
            "Syntax Error:  Invalid dimension expression\n"
            "  Expecting +/-/= operator, found *\n"
            "  Variable name = t\n"
            "  Error ocurred at column 1\n");
  o = evalon("t(z=)", st);
  EXPECT_EQ(o.msg,
            "Syntax Error:  Invalid dimension expression\n"
            "  Dimension value missing or invalid\n"
            "  Variable name = t\n"
            "  Error ocurred at column 1\n");
  o = evalon("t(z=1", st);
  EXPECT_EQ(o.msg,
            "Syntax Error:  Invalid dimension expression\n"
            "  Missing ')' after the dimension expressions\n"
            "  Variable name = t\n"
            "  Error ocurred at column 1\n");
  o = evalon("t(z", st);
  EXPECT_EQ(o.msg,
            "Syntax Error:  Invalid dimension expression\n"
            "  Expecting +/-/= operator, found end of expression\n"
            "  Variable name = t\n"
            "  Error ocurred at column 1\n");
  st.dmin[0] = 3;
  st.dmax[0] = 1;
  o = evalon("t", st);
  EXPECT_EQ(o.msg,
            "Data Request Error: Invalid grid coordinates\n"
            "  Varying dimension 0 decreases: 4 to 2 \n"
            "  Error ocurred getting variable 't'\n"
            "  Error ocurred at column 1\n");
}

TEST(VarRef, SurfaceVariableTakesAnyLevel) {
  testset ds;
  evalstat st = filest(ds.pfi);
  st.dmin[2] = st.dmax[2] = 700;
  evalout o = evalon("ts", st);
  EXPECT_EQ(o.rc, 0) << o.msg;
  omfree(&o.st);
  o = evalon("t", st);
  EXPECT_EQ(o.rc, 1);
}

// A defined grid of 4 x 3 points at one level and time, copied from the
// file's axes, offset by one point in X like a definition over x=2..5.
struct defgrid {
  datafile* pfi;
  defvar node;
  defgrid(datafile* src, const char* name, int xoff) {
    pfi = getpfi();
    pfi->type = 4;
    pfi->undef = -9.99e33f;
    for (int d = 0; d < 4; d++) {
      pfi->gr2ab[d] = src->gr2ab[d];
      pfi->ab2gr[d] = src->ab2gr[d];
      pfi->linear[d] = src->linear[d];
    }
    // The file keeps ownership of its arrays: frepfi is told to keep axes.
    for (int d = 0; d < 4; d++) {
      pfi->grvals[d] = src->grvals[d];
      pfi->abvals[d] = src->abvals[d];
    }
    pfi->dnum[0] = 4;
    pfi->dnum[1] = 3;
    pfi->dnum[2] = 1;
    pfi->dnum[3] = 1;
    pfi->dimoff[0] = xoff;
    pfi->rbuf.resize(12);
    for (int k = 0; k < 12; k++) pfi->rbuf[k] = static_cast<float>(k);
    node.pforw = nullptr;
    node.pfi = pfi;
    std::strcpy(node.abbrv, name);
  }
  ~defgrid() { frepfi(pfi, 1); }
};

TEST(VarRef, DefinedVariableHidesFileVariableAndOffsetsUseItsGrid) {
  testset ds;
  defgrid dv(ds.pfi, "t", 0);
  evalstat st = filest(ds.pfi);
  deflist defs;
  defappend(defs, &dv.node);
  st.defs = &defs;
  evalout o = evalon("t", st);
  ASSERT_EQ(o.rc, 0) << o.msg;
  EXPECT_FLOAT_EQ(values(o.st.result.pgr)[5], 5.0f);
  omfree(&o.st);
  o = evalon("t.1", st);  // the file's t
  ASSERT_EQ(o.rc, 0) << o.msg;
  EXPECT_FLOAT_EQ(values(o.st.result.pgr)[0], testset::code(1, 1, 1, 1));
  omfree(&o.st);

  // A one-dimensional environment along Y at longitude 1 (grid x = 2):
  // x=1 names the defined grid's own first column, x+1 the next point
  // from the environment's longitude converted through the grid's axis.
  st.idim = 1;
  st.jdim = -1;
  st.dmin[0] = st.dmax[0] = 1;
  o = evalon("t", st);
  ASSERT_EQ(o.rc, 0) << o.msg;
  EXPECT_EQ(values(o.st.result.pgr), (std::vector<float>{1, 5, 9}));
  omfree(&o.st);
  o = evalon("t(x+1)", st);
  ASSERT_EQ(o.rc, 0) << o.msg;
  EXPECT_EQ(values(o.st.result.pgr), (std::vector<float>{2, 6, 10}));
  omfree(&o.st);
}

TEST(DimExpr, WorldFlagAndGridValue) {
  testset ds;
  evalstat st = filest(ds.pfi);
  int dim, wflag;
  float g;
  const char* txt = "lat=12.5";
  const char* e = nullptr;
  std::string msg = captured([&] { e = dimprs(txt, &st, ds.pfi, &dim, &g, 1, &wflag); });
  ASSERT_NE(e, nullptr) << msg;
  EXPECT_EQ(*e, '\0');
  EXPECT_EQ(dim, 1);
  EXPECT_EQ(wflag, 1);
  EXPECT_FLOAT_EQ(g, 2.0f);
  e = dimprs("r=500,", &st, ds.pfi, &dim, &g, 0, &wflag);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(*e, ',');
  EXPECT_EQ(dim, 9);
  EXPECT_FLOAT_EQ(g, 500.0f);
  st.idim = 3;
  msg = captured([&] { e = dimprs("time-6hr", &st, ds.pfi, &dim, &g, 1, &wflag); });
  EXPECT_EQ(e, nullptr);
  EXPECT_NE(msg.find("  Varying dimension = 3 \n"), std::string::npos);
}

TEST(VarRef, MathOnGridsCountsOnlyDefinedOutOfDomainValues) {
  testset ds;
  evalstat st = filest(ds.pfi);
  // ts - 1021: row 1 negative (-10..-7), row 2 0..3, row 3 10..13.
  evalout o = evalon("sqrt(ts-1021)", st);
  ASSERT_EQ(o.rc, 0) << o.msg;
  EXPECT_EQ(o.msg,
            "Warning from SQRT:  Data has 4 values < zero \n"
            "                    These were set to the undefined value \n");
  std::vector<float> v = values(o.st.result.pgr);
  EXPECT_EQ(v[0], ds.pfi->undef);
  EXPECT_FLOAT_EQ(v[4], 0.0f);
  EXPECT_FLOAT_EQ(v[5], 1.0f);
  omfree(&o.st);
  o = evalon("pow(ts-1000,0.5)*mag(ts*0,2)+atan2(lat,lon)*0", st);
  ASSERT_EQ(o.rc, 0) << o.msg;
  EXPECT_FLOAT_EQ(values(o.st.result.pgr)[3], 2.0f * std::sqrt(14.0f));
  omfree(&o.st);
}

TEST(VarRef, IncompatibleGridsFromFilesReportColumn) {
  testset ds;
  evalstat st = filest(ds.pfi);
  evalout o = evalon("ts+ts(x=1)*ts", st);
  EXPECT_EQ(o.rc, 1);
  EXPECT_EQ(o.msg,
            "Data Request Error: Invalid dimension expression\n"
            "  Attempt to set or modify varying dimension\n"
            "  Variable = ts, Dimension = 0 \n"
            "  Error ocurred at column 4\n");
  EXPECT_EQ(o.st.result.pgr, nullptr);
}

TEST(VarRef, CoordinatesBeyondAnyAxisAreRefusedNotOverflowed) {
  testset ds;
  evalstat st = filest(ds.pfi);
  for (const char* text : {"t(z=1e30)", "t(lev=-1e38)", "t(t=3e9)", "t(t=-3e9)"}) {
    evalout o = evalon(text, st);
    EXPECT_EQ(o.rc, 1) << text;
    EXPECT_NE(o.msg.find("  World coordinates convert to non-integer grid coordinates\n"),
              std::string::npos)
        << text << "\n" << o.msg;
  }
  // A surface variable ignores even an absurd level.
  evalout o = evalon("ts(z=1e30)", st);
  EXPECT_EQ(o.rc, 0) << o.msg;
  omfree(&o.st);
}
