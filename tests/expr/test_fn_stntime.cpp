// Station time reductions: the option, merging the steps of a station
// across times, same-station averaging within a step, the final pass, and
// the refusals of the handlers that need no data.
#include <cstring>
#include <string>
#include <vector>

#include "data/omgstn.h"
#include "expr/fn_stn.h"
#include "expr/omfunc.h"
#include "exprtest.h"

namespace {

// A step list of reports (id, lat, lon, value) with undefined value -9.
struct site {
  const char* id;
  float lat, lon, val;
};

stnlist* step(const std::vector<site>& ss) {
  std::vector<rptspec> r;
  for (const site& s : ss) r.push_back({s.lat, s.lon, 0, 1, s.val});
  stnlist* l = mkstn(0, 1, r, -9.0f);
  size_t k = 0;
  for (stnrpt* p = l->rpt; p; p = p->rpt, k++) {
    char id[8];
    std::memset(id, ' ', 8);
    std::memcpy(id, ss[k].id, std::strlen(ss[k].id));
    std::memcpy(p->stid, id, 8);
  }
  l->tvals = timeaxis();
  l->tmin = 3;
  return l;
}

// Runs a reduction over the steps and returns (value, count) per result
// report in order.
std::vector<std::pair<float, int>> reduce(const std::vector<std::vector<site>>& steps, int variant,
                                          int n, bool average) {
  stnacc acc;
  for (const auto& s : steps) {
    stnlist* l = step(s);
    if (!acc.res) acc.res = stnrescopy(l);
    std::vector<bool> keep;
    if (average) keep = stnsamesite(l);
    EXPECT_EQ(stnmerge(acc, l, variant, keep), 0);
    omsfre(l);
  }
  stnfinish(acc.res, n, average);
  std::vector<std::pair<float, int>> out;
  for (stnrpt* r = acc.res->rpt; r; r = r->rpt) out.push_back({r->val, r->work});
  EXPECT_EQ(acc.res->rnum, static_cast<int>(out.size()));
  omsfre(acc.res);
  return out;
}

using vc = std::vector<std::pair<float, int>>;

TEST(StnTime, OptionText) {
  int n = 0;
  EXPECT_EQ(fndarg("-m3", &n), 0);
  EXPECT_EQ(n, 3);
  EXPECT_EQ(fndarg("  -m  12 ", &n), 0);
  EXPECT_EQ(n, 12);
  for (const char* bad : {"-x2", "-m0", "-m-1", "-m", "-mx", "-m3x", "m3", ""}) {
    n = 77;
    std::string out = captured([&] { EXPECT_EQ(fndarg(bad, &n), 1) << bad; });
    EXPECT_EQ(out, "Invalid option argument in STN function\n") << bad;
    EXPECT_EQ(n, 77);
  }
}

TEST(StnTime, ResultCopyHasNoReportsAndItsOwnTimeArray) {
  stnlist* s = step({{"a", 1, 2, 3}});
  stnlist* r = stnrescopy(s);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->rpt, nullptr);
  EXPECT_EQ(r->rnum, 0);
  EXPECT_EQ(r->undef, -9.0f);
  EXPECT_EQ(r->tmin, 3);
  ASSERT_NE(r->tvals, nullptr);
  EXPECT_NE(r->tvals, s->tvals);
  EXPECT_EQ(std::memcmp(r->tvals, s->tvals, 8 * sizeof(float)), 0);
  for (int b = 0; b < STNBLKS; b++) ASSERT_EQ(r->blks[b], nullptr);
  omsfre(s);
  // Reports added to the copy do not touch the original's blocks.
  stnrpt* p = omarpt(r);
  ASSERT_NE(p, nullptr);
  r->rnum++;
  omsfre(r);
  stnlist* bare = mkstn(0, 1, {});
  r = stnrescopy(bare);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->tvals, nullptr);
  omsfre(r);
  omsfre(bare);
}

TEST(StnTime, MinimumAndMaximumAcrossSteps) {
  // Station a: undefined, 5, 7; b: 4 then absent then 2; c only at the
  // last step.
  std::vector<std::vector<site>> steps = {
      {{"a", 10, 20, -9}, {"b", 11, 21, 4}},
      {{"a", 10, 20, 5}},
      {{"b", 11, 21, 2}, {"a", 10, 20, 7}, {"c", 12, 22, 1}},
  };
  EXPECT_EQ(reduce(steps, STNVMAX, 1, false), (vc{{7, 2}, {4, 2}, {1, 1}}));
  EXPECT_EQ(reduce(steps, STNVMIN, 1, false), (vc{{5, 2}, {2, 2}, {1, 1}}));
  EXPECT_EQ(reduce(steps, STNVMAX, 2, false), (vc{{7, 2}, {4, 2}, {-9, 1}}));
  EXPECT_EQ(reduce(steps, STNVMAX, 3, false), (vc{{-9, 2}, {-9, 2}, {-9, 1}}));
}

TEST(StnTime, SameIdElsewhereIsAnotherStation) {
  std::vector<std::vector<site>> steps = {
      {{"a", 10, 20, 1}, {"a", 10, 21, 2}, {"ab", 10, 20, 3}},
      {{"a", 10, 20, 5}, {"a", 10.5f, 20, 6}},
  };
  EXPECT_EQ(reduce(steps, STNVMAX, 1, false), (vc{{5, 2}, {2, 1}, {3, 1}, {6, 1}}));
  // A latitude of negative zero is the equator all the same.
  EXPECT_EQ(reduce({{{"e", -0.0f, 5, 1}}, {{"e", 0.0f, 5, 3}}}, STNVMAX, 1, false), (vc{{3, 2}}));
}

TEST(StnTime, AverageCountsOnlyDefinedSteps) {
  std::vector<std::vector<site>> steps = {
      {{"a", 10, 20, 1}, {"b", 11, 21, -9}},
      {{"a", 10, 20, -9}, {"b", 11, 21, 4}},
      {{"a", 10, 20, 3}, {"b", 11, 21, 8}},
      {{"a", 10, 20, 5}},
  };
  EXPECT_EQ(reduce(steps, STNVSUM, 1, true), (vc{{3, 3}, {6, 2}}));
  EXPECT_EQ(reduce(steps, STNVSUM, 3, true), (vc{{3, 3}, {-9, 2}}));
  // Undefined at every step stays undefined.
  EXPECT_EQ(reduce({{{"z", 1, 1, -9}}, {{"z", 1, 1, -9}}}, STNVSUM, 1, true), (vc{{-9, 1}}));
}

TEST(StnTime, ReportsOfOneStationInOneStepEnterOnce) {
  stnlist* l = step({{"a", 10, 20, 2}, {"b", 1, 1, 9}, {"a", 10, 20, 4}, {"a", 10, 20, -9}});
  std::vector<bool> keep = stnsamesite(l);
  EXPECT_EQ(keep, (std::vector<bool>{true, true, false, true}));
  EXPECT_FLOAT_EQ(l->rpt->val, 3.0f);
  omsfre(l);
  // Averaged over two steps: (mean of 2 and 4) and 5 give 4, not 11/3.
  std::vector<std::vector<site>> steps = {{{"a", 10, 20, 2}, {"a", 10, 20, 4}},
                                          {{"a", 10, 20, 5}}};
  EXPECT_EQ(reduce(steps, STNVSUM, 1, true), (vc{{4, 2}}));
}

TEST(StnTime, EmptyStepsGiveAnEmptyResult) {
  EXPECT_TRUE(reduce(std::vector<std::vector<site>>(2), STNVSUM, 1, true).empty());
  EXPECT_TRUE(reduce(std::vector<std::vector<site>>(1), STNVMIN, 2, false).empty());
}

// The handlers check the environment, the argument count and the
// dimension expressions before anything is evaluated.
std::string refusal(omfuncp fn, const std::vector<std::string>& args, int idim, int jdim) {
  evalstat st = blankst();
  st.idim = idim;
  st.jdim = jdim;
  fargs a;
  setargs(&a, args);
  int rc = 0;
  std::string out = captured([&] { rc = fn(&a, &st); });
  EXPECT_EQ(rc, 1);
  EXPECT_EQ(st.result.stn, nullptr);
  return out;
}

TEST(StnTime, HandlerRefusals) {
  const std::vector<std::string> three = {"s", "t=1", "t=2"};
  EXPECT_EQ(refusal(ffsave, three, 0, 2), "Error from STNAVE:  X, Y varying environment required\n");
  EXPECT_EQ(refusal(ffsmin, three, 0, 2), "Error from STNMIN:  X, Y varying environment required\n");
  EXPECT_EQ(refusal(ffsmax, three, -1, -1), "Error from STNMIN:  X, Y varying environment required\n");
  EXPECT_EQ(refusal(ffsave, {"s", "t=1"}, 0, 1),
            "Error from STNAVE:  Too many or too few args \n                    3 to 5 arguments expected \n");
  EXPECT_EQ(refusal(ffsmax, {"s", "t=1", "t=2", "-m1", "x"}, 0, 1),
            "Error from STNMIN:  Too many or too few args \n                    3 or 4 arguments expected \n");
  // Without a default file no dimension expression can be read.
  EXPECT_EQ(refusal(ffsmin, three, 0, 1), "Error from STNMIN:  1st dimension expression invalid\n");
  EXPECT_EQ(refusal(ffsave, three, 0, 1), "Error from STNAVE:  1st dimension expression invalid\n");
}

}  // namespace
