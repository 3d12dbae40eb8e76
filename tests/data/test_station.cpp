// The station reader on station files written at test time: area, radius
// and id filters, levels, sequential records, damaged headers, report
// blocks and the request cache.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "data/byteorder.h"
#include "data/datafile.h"
#include "data/omgstn.h"
#include "data/stnlist.h"

namespace {

struct report {
  std::string id;
  float lat, lon, toff;
  std::vector<float> sfc;                       // empty: no surface values
  std::vector<std::pair<float, float>> levels;  // level, value of the one level variable
  int nlevoverride = -999;                      // damaged header
};

void put(std::string& s, const void* p) { s.append(static_cast<const char*>(p), 4); }

std::string header(const report& r, int nlev, int flag) {
  std::string s(8, ' ');
  std::memcpy(&s[0], r.id.data(), std::min<size_t>(8, r.id.size()));
  put(s, &r.lat);
  put(s, &r.lon);
  put(s, &r.toff);
  put(s, &nlev);
  put(s, &flag);
  return s;
}

std::vector<float> valuesof(const report& r) {
  std::vector<float> v = r.sfc;
  for (auto& l : r.levels) {
    v.push_back(l.first);
    v.push_back(l.second);
  }
  return v;
}

class Station : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/omstntestXXXXXX";
    char* d = mkdtemp(tmpl);
    dir = d ? d : "/tmp";
    omstncache_reset();
  }
  void TearDown() override {
    for (stnlist* s : lists) omsfre(s);
    if (pfi) {
      if (pfi->infile) std::fclose(pfi->infile);
      pfi->infile = nullptr;
      frepfi(pfi, 0);
    }
    if (dir != "/tmp") (void)!std::system(("rm -rf '" + dir + "'").c_str());
  }

  // Writes the reports of one time per entry (host order; seq: each report
  // as a header record and a values record) and builds the file record:
  // one surface variable (value 0 of sfc) and one level variable.
  void build(const std::vector<std::vector<report>>& times, bool seq = false, int bufw = 0) {
    std::string data;
    int maxn = 0;
    pfi = getpfi();
    for (auto& t : times) {
      pfi->stnmap.offs.push_back(static_cast<int64_t>(data.size()));
      pfi->stnmap.cnts.push_back(static_cast<int>(t.size()));
      for (auto& r : t) {
        std::vector<float> v = valuesof(r);
        maxn = std::max(maxn, static_cast<int>(v.size()));
        int flag = r.sfc.empty() ? 0 : 1;
        int nlev = r.nlevoverride != -999 ? r.nlevoverride : static_cast<int>(r.levels.size()) + flag;
        std::string h = header(r, nlev, flag);
        std::string vb(reinterpret_cast<const char*>(v.data()), v.size() * 4);
        if (seq) {
          int l1 = 28, l2 = static_cast<int>(vb.size());
          std::string rec;
          put(rec, &l1);
          rec += h;
          put(rec, &l1);
          if (l2 > 0) {
            put(rec, &l2);
            rec += vb;
            put(rec, &l2);
          }
          data += rec;
        } else {
          data += h + vb;
        }
      }
      report end{"", 0, 0, 0, {}, {}};
      std::string h = header(end, 0, 0);
      if (seq) {
        int l = 28;
        std::string rec;
        put(rec, &l);
        rec += h;
        put(rec, &l);
        data += rec;
      } else {
        data += h;
      }
    }
    std::string name = dir + "/s.dat";
    FILE* f = std::fopen(name.c_str(), "wb");
    std::fwrite(data.data(), 1, data.size(), f);
    std::fclose(f);
    pfi->name = name;
    pfi->type = 2;
    pfi->fnum = 11;
    pfi->seqflg = seq ? 1 : 0;
    pfi->undef = -999;
    pfi->ulow = pfi->uhi = 0;
    pfi->ivnum = 1;
    pfi->lvnum = 1;
    pfi->dnum[3] = static_cast<int>(times.size());
    pfi->stnmap.tcnt = pfi->dnum[3];
    pfi->stnmap.bufw = bufw ? bufw : maxn;
    pfi->infile = std::fopen(name.c_str(), "rb");
    vars.resize(2);
    vars[0].abbrv = "ps";
    vars[0].levels = 0;
    vars[0].offset = 0;
    vars[1].abbrv = "t";
    vars[1].levels = 5;
    vars[1].offset = 0;
  }

  stnlist* request(int var, float lon1, float lon2, float lat1, float lat2, float lev1 = 1000,
                   float lev2 = 0, int t1 = 1, int t2 = 1) {
    stnlist* s = static_cast<stnlist*>(std::calloc(1, sizeof(stnlist)));
    s->pfi = pfi;
    s->undef = pfi->undef;
    s->idim = 0;
    s->jdim = 1;
    s->dmin[0] = lon1;
    s->dmax[0] = lon2;
    s->dmin[1] = lat1;
    s->dmax[1] = lat2;
    s->dmin[2] = lev1;
    s->dmax[2] = lev2;
    s->tmin = t1;
    s->tmax = t2;
    s->pvar = &vars[var];
    s->tail = &s->rpt;
    s->rptcnt = STNBLKSZ;
    s->blkcnt = -1;
    lists.push_back(s);
    return s;
  }

  static std::vector<std::string> ids(const stnlist* s) {
    std::vector<std::string> out;
    for (const stnrpt* r = s->rpt; r; r = r->rpt) out.push_back(std::string(r->stid, 8));
    return out;
  }
  static std::vector<float> vals(const stnlist* s) {
    std::vector<float> out;
    for (const stnrpt* r = s->rpt; r; r = r->rpt) out.push_back(r->val);
    return out;
  }

  std::string dir;
  datafile* pfi = nullptr;
  std::vector<filevar> vars;
  std::vector<stnlist*> lists;
};

std::string quiet(const std::function<void()>& f) {
  testing::internal::CaptureStdout();
  f();
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

TEST_F(Station, LongitudeWrapsIntoTheBox) {
  build({{{"EAST", 0, 350, 0, {1}, {}}, {"WEST", 0, -10, 0, {2}, {}}, {"MID", 0, 180, 0, {3}, {}}}});
  stnlist* a = request(0, -20, 20, -5, 5);
  ASSERT_EQ(omgstn(a), 0);
  EXPECT_EQ(vals(a), (std::vector<float>{1, 2}));
  EXPECT_EQ(a->rnum, 2);
  stnlist* b = request(0, 340, 380, -5, 5);
  ASSERT_EQ(omgstn(b), 0);
  EXPECT_EQ(vals(b), (std::vector<float>{1, 2}));
  EXPECT_FLOAT_EQ(b->rpt->lev, -9.99e33f);
}

// A request reaching far outside the stored times (offsets of billions of
// steps) reads the stored ones, without stepping through the empty rest.
TEST_F(Station, TimesFarOutsideTheFileAreSkippedAtOnce) {
  build({{{"A", 0, 0, 0, {1}, {}}}, {{"A", 0, 0, 0, {2}, {}}}});
  stnlist* s = request(0, -10, 10, -5, 5, 1000, 0, INT_MIN, INT_MAX);
  auto t0 = std::chrono::steady_clock::now();
  ASSERT_EQ(omgstn(s), 0);
  double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_EQ(vals(s), (std::vector<float>{1, 2}));
  EXPECT_LT(secs, 0.5);
}

TEST_F(Station, RadiusAndStationId) {
  build({{{"KABC", 1.9f, 0, 0, {1}, {}}, {"far", 2.1f, 0, 0, {2}, {}}, {"KABD", 0, 0, 0.5f, {3}, {}}}});
  stnlist* r = request(0, 0, 0, 0, 0);
  r->rflag = 1;
  r->radius = 2;
  ASSERT_EQ(omgstn(r), 0);
  EXPECT_EQ(vals(r), (std::vector<float>{1, 3}));
  EXPECT_FLOAT_EQ(r->rpt->rpt->tim, 1.5f);
  stnlist* s = request(0, 0, 360, -90, 90);
  s->sflag = 1;
  std::memcpy(s->stid, "kabc    ", 8);
  ASSERT_EQ(omgstn(s), 0);
  EXPECT_EQ(ids(s), (std::vector<std::string>{"KABC    "}));
}

TEST_F(Station, SurfaceAndLevelSelection) {
  build({{{"A", 0, 0, 0, {7}, {{500.005f, 1}, {500.02f, 2}, {850, 3}}},
          {"NOSFC", 0, 0, 0, {}, {{500, 4}}}}});
  stnlist* sfc = request(0, -1, 1, -1, 1);
  ASSERT_EQ(omgstn(sfc), 0);
  EXPECT_EQ(vals(sfc), (std::vector<float>{7}));
  stnlist* one = request(1, -1, 1, -1, 1, 500, 500);
  ASSERT_EQ(omgstn(one), 0);
  EXPECT_EQ(vals(one), (std::vector<float>{1, 4}));
  stnlist* range = request(1, -1, 1, -1, 1, 900, 500.01f);
  ASSERT_EQ(omgstn(range), 0);
  EXPECT_EQ(vals(range), (std::vector<float>{2, 3}));
}

TEST_F(Station, SequentialReadsTheSameAsPlain) {
  std::vector<std::vector<report>> t = {
      {{"A", 0, 0, 0, {7}, {{850, 3}}}, {"OUT", 50, 50, 0, {8}, {{850, 4}}}, {"B", 1, 1, 0, {9}, {}}},
      {{"A", 0, 0, 0, {10}, {}}}};
  build(t, true);
  stnlist* s = request(0, -1, 2, -1, 2, 1000, 0, 1, 2);
  ASSERT_EQ(omgstn(s), 0);
  EXPECT_EQ(vals(s), (std::vector<float>{7, 9, 10}));
  stnlist* l = request(1, -1, 2, -1, 2, 850, 850, 1, 2);
  ASSERT_EQ(omgstn(l), 0);
  EXPECT_EQ(vals(l), (std::vector<float>{3}));
}

TEST_F(Station, DamagedHeadersAreRefused) {
  report neg{"BAD", 0, 0, 0, {1}, {}};
  neg.nlevoverride = -3;
  build({{neg}});
  stnlist* s = request(0, -1, 1, -1, 1);
  std::string out = quiet([&] { EXPECT_EQ(omgstn(s), 1); });
  EXPECT_NE(out.find("Invalid station report header"), std::string::npos);
  EXPECT_EQ(s->rpt, nullptr);
  EXPECT_EQ(s->blks[0], nullptr);
}

TEST_F(Station, ValueCountBeyondTheBufferIsRefused) {
  report big{"BIG", 0, 0, 0, {1}, {}};
  big.nlevoverride = 1000000;  // far more values than the file holds
  build({{big}}, false, 4);
  stnlist* s = request(0, -1, 1, -1, 1);
  std::string out = quiet([&] { EXPECT_EQ(omgstn(s), 1); });
  EXPECT_NE(out.find("Invalid station report header"), std::string::npos);
}

// A value count within the map's buffer word but beyond the end of the
// file is a read error before any room is made for the values: the
// request runs in a process that could not hold them.  (Not under
// AddressSanitizer, whose shadow memory needs the address space.)
TEST_F(Station, ValueCountBeyondTheFileIsAReadErrorWithoutRoomMade) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "address-space limit";
#else
  report big{"BIG", 0, 0, 0, {1}, {}};
  big.nlevoverride = 50000000;  // 99999999 values
  build({{big}}, false, 100000000);
  stnlist* s = request(0, -1, 1, -1, 1);
  const std::string want = "Low Level I/O Error:  Read error on data file \n  Data file name = " +
                           dir + "/s.dat \n  Error reading 399999996 bytes at location 28 \n";
  auto limited = [&] {
    struct rlimit r = {rlim_t(256) << 20, rlim_t(256) << 20};
    setrlimit(RLIMIT_AS, &r);
    int rc = 0;
    std::string out = quiet([&] { rc = omgstn(s); });
    return rc == 1 && out == want ? 0 : 1;
  };
  EXPECT_EXIT(std::exit(limited()), testing::ExitedWithCode(0), "");
#endif
}

TEST_F(Station, NonPositiveSequentialLengthIsRefused) {
  build({{{"A", 0, 0, 0, {7}, {}}}}, true);
  // Zero the first record length.
  FILE* f = std::fopen(pfi->name.c_str(), "r+b");
  int zero = 0;
  std::fwrite(&zero, 4, 1, f);
  std::fclose(f);
  stnlist* s = request(0, -1, 1, -1, 1);
  std::string out = quiet([&] { EXPECT_EQ(omgstn(s), 1); });
  EXPECT_NE(out.find("Low Level I/O Error:  Sequential read error\n"), std::string::npos);
}

TEST_F(Station, TwoHundredReportsFillOneBlock) {
  std::vector<report> t;
  for (int i = 0; i < 201; i++) t.push_back({"S", 0, 0, 0, {static_cast<float>(i)}, {}});
  build({t});
  stnlist* s = request(0, -1, 1, -1, 1);
  ASSERT_EQ(omgstn(s), 0);
  EXPECT_EQ(s->rnum, 201);
  EXPECT_NE(s->blks[0], nullptr);
  EXPECT_NE(s->blks[1], nullptr);
  EXPECT_EQ(s->blks[2], nullptr);
  EXPECT_EQ(s->blks[1], s->prpt);  // the 201st opened the second block
  omsmnmx(s);
  EXPECT_EQ(s->smin, 0);
  EXPECT_EQ(s->smax, 200);
}

TEST_F(Station, RepeatedRequestIsServedFromTheCache) {
  build({{{"A", 0, 0, 0, {7}, {{850, 3}, {500, 4}}}}});
  stnlist* first = request(1, -1, 1, -1, 1, 850, 850);
  ASSERT_EQ(omgstn(first), 0);
  EXPECT_EQ(vals(first), (std::vector<float>{3}));
  // The file goes away; the same horizontal request at another level is
  // answered from memory.
  std::fclose(pfi->infile);
  pfi->infile = nullptr;
  stnlist* again = request(1, -1, 1, -1, 1, 500, 500);
  ASSERT_EQ(omgstn(again), 0);
  EXPECT_EQ(vals(again), (std::vector<float>{4}));
  stnlist* other = request(1, -2, 1, -1, 1, 500, 500);
  std::string out = quiet([&] { EXPECT_EQ(omgstn(other), 1); });
  EXPECT_NE(out.find("not open"), std::string::npos);
}

}  // namespace
