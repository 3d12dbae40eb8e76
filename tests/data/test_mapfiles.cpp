// Station maps and GRIB indexes read when a descriptor is parsed, name
// expansion and file-name templates.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "data/datafile.h"
#include "data/fnmexp.h"
#include "data/mapfile.h"
#include "ddtest.h"

using ddtest::DataTest;
using ddtest::parsed;

namespace {

std::string hostwords(const std::vector<int32_t>& w, bool swap = false) {
  std::string s(w.size() * 4, '\0');
  std::memcpy(&s[0], w.data(), s.size());
  if (swap) ombswp(&s[0], w.size());
  return s;
}

// Big-endian sign-and-magnitude words.
std::string smwords(const std::vector<int32_t>& w) {
  std::string s;
  for (int32_t v : w) {
    uint32_t m = v < 0 ? (static_cast<uint32_t>(-static_cast<int64_t>(v)) | 0x80000000u) : v;
    for (int k = 3; k >= 0; k--) s += static_cast<char>((m >> (8 * k)) & 0xff);
  }
  return s;
}

std::string ibmwords(const std::vector<float>& v) {
  std::string s;
  for (float f : v) {
    unsigned char b[4];
    flt2ibm(f, b);
    s.append(reinterpret_cast<char*>(b), 4);
  }
  return s;
}

std::string stationctl(int nt) {
  return "dset ^s.dat\ndtype station\nstnmap ^s.map\nundef -999\n"
         "tdef " + std::to_string(nt) + " linear 00z01jan1990 12hr\n"
         "vars 3\nps 0 0 pressure\nts 0 0 temp\nu 1 0 wind\nendvars\n";
}

class MapFiles : public DataTest {};

// The rc of parsing ctl in a process limited to 256 MB of address space.
int within256mb(const std::string& ctl) {
  parsed p;
  ddtest::parse_within(ctl, rlim_t(256) << 20, p);
  return p.rc;
}

// The station buffer word of a map and the x size of a descriptor are
// claims: the open allocates nothing by them, so a process that could not
// hold 400 MB opens both.  (Not under AddressSanitizer, whose shadow
// memory needs the address space.)
TEST_F(MapFiles, BufferSizesAreNotAllocatedAtOpen) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "address-space limit";
#else
  tmp.write("s.map", "Ombra_stnmapV002" + smwords({1, 100000000, 0, 0}));
  std::string stn = tmp.write("s.ctl", stationctl(1));
  EXPECT_EXIT(std::exit(within256mb(stn)), testing::ExitedWithCode(0), "");
  std::string grid = tmp.write("g.ctl", "dset ^g.bin\nundef 1\nxdef 100000000 linear 0 1e-6\n"
                                        "ydef 1 linear 0 1\nzdef 1 levels 1\n"
                                        "tdef 1 linear 1jan2000 1dy\nvars 1\na 0 0 a\nendvars\n");
  EXPECT_EXIT(std::exit(within256mb(grid)), testing::ExitedWithCode(0), "");
#endif
}

TEST_F(MapFiles, StationMapVersionsAndByteOrders) {
  // Version 1 in host order, version 1 in the other order, version 2.
  std::string v1 = hostwords({3, 10, 0, 100, 250, 2, 3, 0});
  std::string v1s = hostwords({3, 10, 0, 100, 250, 2, 3, 0}, true);
  std::string v2 = "Ombra_stnmapV002" + smwords({3, 10, 0, 100, 250, 2, 3, 0});
  for (const std::string& map : {v1, v1s, v2}) {
    tmp.write("s.map", map);
    parsed p;
    ddtest::parse(tmp.write("s.ctl", stationctl(3)), p);
    ASSERT_EQ(p.rc, 0) << p.out;
    const stnmapidx& m = p.pfi->stnmap;
    EXPECT_EQ(m.tcnt, 3);
    EXPECT_EQ(m.bufw, 10);
    EXPECT_EQ(m.offs, (std::vector<int64_t>{0, 100, 250}));
    EXPECT_EQ(m.cnts, (std::vector<int>{2, 3, 0}));
    EXPECT_EQ(p.pfi->type, 2);
    EXPECT_EQ(p.pfi->stnmap.bufw, 10);
    EXPECT_TRUE(p.pfi->rbuf.empty());  // grown to the reports read
    EXPECT_EQ(p.pfi->ivnum, 2);
    EXPECT_EQ(p.pfi->lvnum, 1);
    EXPECT_EQ(p.pfi->pvar1[1].offset, 1);
    EXPECT_EQ(p.pfi->pvar1[2].offset, 0);
  }
}

TEST_F(MapFiles, StationMapRefusals) {
  tmp.write("s.map", hostwords({3, 10, 0, 100, 250, 2, 3, 0}));
  {
    parsed p;  // time count differs from the descriptor's
    ddtest::parse(tmp.write("s.ctl", stationctl(4)), p);
    EXPECT_EQ(p.rc, 1);
    EXPECT_EQ(p.out,
              "Open Error: Inconsistent time count\n"
              "  Count in station map file = 3\n"
              "  Count in descriptor file = 4\n"
              "  The data file was not opened. \n");
  }
  {
    parsed p;  // no map read
    std::string ctl = stationctl(3);
    ctl.erase(ctl.find("stnmap"), std::string("stnmap ^s.map\n").size());
    ddtest::parse(tmp.write("s.ctl", ctl), p);
    EXPECT_EQ(p.rc, 1);
    EXPECT_EQ(p.out, "Open Error: missing STNMAP record\n  The data file was not opened. \n");
  }
  const std::string bad[] = {
      hostwords({5, 10, 0, 100}),                    // shorter than its counts
      hostwords({-2, 10}),                           // negative count
      hostwords({2, 10, 0, 100, -1, 3}),             // negative report count
      std::string("\x01\x02", 2),                    // shorter than a header
      "Ombra_stnmapV002" + smwords({-1, 10}),
  };
  for (const std::string& map : bad) {
    tmp.write("s.map", map);
    parsed p;
    ddtest::parse(tmp.write("s.ctl", stationctl(2)), p);
    EXPECT_EQ(p.rc, 1);
    EXPECT_EQ(p.out.find("Open Error:  Station/Index map file is invalid\n"), 0u) << p.out;
    EXPECT_NE(p.out.find("  --> stnmap ^s.map\n"), std::string::npos) << p.out;
  }
  {
    parsed p;  // station variables out of order
    tmp.write("s.map", hostwords({2, 10, 0, 100, 2, 3}));
    std::string ctl = stationctl(2);
    ctl.replace(ctl.find("ps 0 0"), 6, "ps 1 0");
    ddtest::parse(tmp.write("s.ctl", ctl), p);
    EXPECT_EQ(p.rc, 1);
    EXPECT_EQ(p.out,
              "Open Error: Variables out of order\n"
              "  Non-vertical variables must go first\n"
              "  The data file was not opened. \n");
  }
  parsed p;
  ddtest::parse(tmp.write("n.ctl", "stnmap ^none.map\n" + stationctl(2)), p);
  EXPECT_EQ(p.rc, 1);
  EXPECT_EQ(p.out.find("Open Error:  Can't open Station/Index map file " + tmp.path("none.map") + "\n"),
            0u)
      << p.out;
}

// A GRIB descriptor of nt times and 2 records per time.
std::string gribctl(int nt, const std::string& opt = "") {
  return "dset ^g.grb\ndtype grib " + opt + "\nindex ^g.idx\nundef -999\n"
         "xdef 4 linear 0 90\nydef 3 linear -90 90\nzdef 1 levels 1000\n"
         "tdef " + std::to_string(nt) + " linear 00z01jan1990 6hr\n"
         "vars 2\nu 0 33,100,500 u\nv 0 34,100,500 v\nendvars\n";
}

// A version 2 index of nt times and r records per time.
std::string gribidx2(int nt, int r, int entries = 1) {
  int n = entries * 3 * r * nt;
  std::vector<int32_t> ints(n);
  std::vector<float> flts(n);
  for (int i = 0; i < n; i++) {
    ints[i] = i % 3 == 1 ? -1 : i;
    flts[i] = 0.5f * i;
  }
  std::string s("\0\x02", 2);
  s += smwords({4, 0, n, n});
  s += std::string("\x07\xc6\x01\x01\x00\x00\x00", 7);
  s += smwords({2, nt, r, 255});
  s += smwords(ints);
  s += ibmwords(flts);
  s += ibmwords({1990, 1, 1, 0, 0, 0, 360, -999.9f});
  return s;
}

TEST_F(MapFiles, GribIndexVersion2) {
  tmp.write("g.idx", gribidx2(3, 2));
  parsed p;
  ddtest::parse(tmp.write("g.ctl", gribctl(3)), p);
  ASSERT_EQ(p.rc, 0) << p.out;
  const gribidx* g = p.pfi->pindx;
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->hinum, 4);
  EXPECT_EQ(g->intnum, 18);
  EXPECT_EQ(g->hipnt, (std::vector<int>{2, 3, 2, 255}));
  EXPECT_EQ(g->intpnt[0], 0);
  EXPECT_EQ(g->intpnt[1], -1);  // top bit set, magnitude 1
  EXPECT_EQ(g->intpnt[5], 5);
  EXPECT_FLOAT_EQ(g->fltpnt[3], 1.5f);
  EXPECT_EQ(p.pfi->bgrib, 1);
  EXPECT_TRUE(p.pfi->pbuf.empty());  // grown to the records read
  // A tdef shorter than the index is fine.
  parsed q;
  ddtest::parse(tmp.write("g.ctl", gribctl(2)), q);
  EXPECT_EQ(q.rc, 0) << q.out;
}

TEST_F(MapFiles, GribIndexThatDoesNotCoverTheDescriptorIsRefused) {
  tmp.write("g.idx", gribidx2(2, 2));
  parsed p;  // more times than the index holds
  ddtest::parse(tmp.write("g.ctl", gribctl(3)), p);
  EXPECT_EQ(p.rc, 1);
  EXPECT_EQ(p.out.find("Open Error:  GRIB index does not match the descriptor\n"), 0u) << p.out;
  parsed q;  // grid option 29 needs two entries per record
  ddtest::parse(tmp.write("g.ctl", gribctl(2, "29")), q);
  EXPECT_EQ(q.rc, 1);
  tmp.write("g.idx", gribidx2(2, 3));
  parsed r;  // the header's records per time are not compared: the entries cover the descriptor
  ddtest::parse(tmp.write("g.ctl", gribctl(2)), r);
  EXPECT_EQ(r.rc, 0) << r.out;
  EXPECT_EQ(r.out.find("GRIB index does not match"), std::string::npos) << r.out;
  std::string idx = gribidx2(2, 2);
  tmp.write("g.idx", idx.substr(0, idx.size() - 80));
  parsed s;  // truncated
  ddtest::parse(tmp.write("g.ctl", gribctl(2)), s);
  EXPECT_EQ(s.rc, 1);
  EXPECT_EQ(s.out.find("Open Error:  Station/Index map file is invalid\n"), 0u) << s.out;
  // Hostile counts are refused before anything is allocated.
  std::string huge("\0\x02", 2);
  huge += smwords({0x7fffffff, 0, 0x7fffffff, 0x7fffffff});
  tmp.write("g.idx", huge + std::string(7, '\0'));
  parsed t;
  ddtest::parse(tmp.write("g.ctl", gribctl(2)), t);
  EXPECT_EQ(t.rc, 1);
}

TEST_F(MapFiles, GribIndexVersion1OtherByteOrder) {
  int n = 3 * 2 * 2;
  std::vector<int32_t> w = {1, 4, 1, n, n, 0, 0, 0, 0, 1, 2, 2, 255};
  std::vector<int32_t> flt_bits;
  for (int i = 0; i < n; i++) w.push_back(i);
  std::string s = hostwords(w, true);
  std::vector<float> hf = {2.5f};
  std::string hfs(4, '\0');
  std::memcpy(&hfs[0], hf.data(), 4);
  ombswp(&hfs[0], 1);
  std::string body = s.substr(0, 36 + 16) + hfs + s.substr(36 + 16);
  for (int i = 0; i < n; i++) {
    float f = 0.25f * i;
    std::string b(4, '\0');
    std::memcpy(&b[0], &f, 4);
    ombswp(&b[0], 1);
    body += b;
  }
  tmp.write("g.idx", body);
  parsed p;
  ddtest::parse(tmp.write("g.ctl", gribctl(2)), p);
  ASSERT_EQ(p.rc, 0) << p.out;
  const gribidx* g = p.pfi->pindx;
  EXPECT_EQ(g->type, 1);
  EXPECT_EQ(g->hipnt[2], 2);
  EXPECT_FLOAT_EQ(g->hfpnt[0], 2.5f);
  EXPECT_EQ(g->intpnt[7], 7);
  EXPECT_FLOAT_EQ(g->fltpnt[4], 1.0f);
}

TEST_F(MapFiles, MapNotReadWithoutTheFlag) {
  parsed p;
  ddtest::parse(tmp.write("g.ctl", gribctl(2)), p, 0);
  ASSERT_EQ(p.rc, 0) << p.out;
  EXPECT_EQ(p.pfi->pindx, nullptr);
  EXPECT_EQ(p.pfi->mnam, tmp.path("g.idx"));
}

TEST(NameExpansion, CaretAndDollar) {
  std::string out;
  fnmexp(out, "^out.dat", "/data/model/run.ctl");
  EXPECT_EQ(out, "/data/model/out.dat");
  fnmexp(out, "^out.dat more", "run.ctl");
  EXPECT_EQ(out, "out.dat");
  setenv("OMFNMEXP", "/scratch", 1);
  fnmexp(out, "$OMFNMEXP/file.grb", "x.ctl");
  EXPECT_EQ(out, "/scratch/file.grb");
  unsetenv("OMFNMEXP_UNSET");
  fnmexp(out, "$OMFNMEXP_UNSET/file.grb", "x.ctl");
  EXPECT_EQ(out, "");
  // Long values are never cut.
  std::string lng(5000, 'd');
  setenv("OMFNMEXP", lng.c_str(), 1);
  fnmexp(out, "$OMFNMEXP/f", "x.ctl");
  EXPECT_EQ(out, lng + "/f");
}

TEST(Templates, Codes) {
  const float axis[8] = {1991, 3, 5, 0, 0, 0, 360, -999.9f};
  datetime t = {1991, 3, 5, 0, 0};
  datetime i = {1991, 3, 5, 0, 0};
  EXPECT_EQ(omfndt("t%y4%m2%d2.bin", &t, &i, axis), "t19910305.bin");
  datetime t2 = {2005, 3, 16, 7, 30};
  EXPECT_EQ(omfndt("%y2 %mc %mh %mH %m1 %d1 %h1 %h2 %h3 %n2", &t2, &i, axis), "05 mar b B 3 16 7 07 007 30");
  EXPECT_EQ(omfndt("%iy4%im2_%y4", &t2, &i, axis), "199103_2005");
  datetime f6 = {1991, 3, 5, 6, 0};
  EXPECT_EQ(omfndt("f%f2", &f6, &i, axis), "f06");
  EXPECT_EQ(omfndt("f%f3", &f6, &i, axis), "f006");
  datetime f120 = {1991, 3, 10, 0, 0};
  EXPECT_EQ(omfndt("f%f2", &f120, &i, axis), "f120");
  EXPECT_EQ(omfndt("100% %q %", &t, &i, axis), "100% %q %");
  // Expansion longer than the template.
  std::string many;
  for (int k = 0; k < 300; k++) many += "%y4";
  EXPECT_EQ(omfndt(many.c_str(), &t, &i, axis).size(), 1200u);
}

class TemplateTable : public DataTest {};

TEST_F(TemplateTable, DailyMembersOverASixHourAxis) {
  parsed p;
  ddtest::parse(tmp.write("t.ctl",
                          "dset ^d%y4%m2%d2.bin\noptions template\nundef 1\nxdef 2 linear 0 1\n"
                          "ydef 2 linear 0 1\nzdef 1 levels 1\ntdef 8 linear 00z01jan1990 6hr\n"
                          "vars 1\nv 0 0 v\nendvars\n"),
                p);
  ASSERT_EQ(p.rc, 0) << p.out;
  EXPECT_EQ(p.pfi->fnums, (std::vector<int>{1, 1, 1, 1, 5, 5, 5, 5}));
  EXPECT_EQ(p.pfi->fnumc, 0);
  EXPECT_EQ(p.pfi->name, tmp.path("d%y4%m2%d2.bin"));
}

}  // namespace
