// Helpers of the display, define and query tests: a small gridded data
// set and a station data set written at test time, commands run through
// the dispatcher with their output captured.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/cmnstate.h"
#include "cmd/omcmd.h"
#include "cmdtest.h"
#include "data/byteorder.h"
#include "gx/gx.h"

namespace disptest {

using Out = cmdout;

inline Out run(const std::string& line) { return runcmd(line); }

inline bool has(const Out& o, const std::string& text) { return o.out.find(text) != std::string::npos; }

inline void putle(std::string& s, const void* p) {
  unsigned char b[4];
  std::memcpy(b, p, 4);
  if (!omhostle()) std::swap(b[0], b[3]), std::swap(b[1], b[2]);
  s.append(reinterpret_cast<char*>(b), 4);
}

// A scratch directory with:
//  t.ctl: 4 x 3 x 2 levels x 3 times (6-hourly), variable t = its element
//         number (x fastest), element 5 undefined; lon 0..30, lat -10..10,
//         levels 1000 500;
//  s.ctl: station data, 2 times, surface ps and ts, level variable t.
class DisplayEnv : public testing::Test {
 public:
  static void SetUpTestSuite() {
    gcmn.vpagew = 11;
    gcmn.vpageh = 8.5;
    gcmn.batch = 1;
    ominit();
    testing::internal::CaptureStdout();
    gxstrt(11, 8.5, 1);
    testing::internal::GetCapturedStdout();
  }
  void SetUp() override {
    // Every test starts from the defaults, whatever the last one set.
    ominit();
    gcmn.vpagew = 11;
    gcmn.vpageh = 8.5;
    gcmn.batch = 1;
    // Files and definitions left by other suites are not ours to close.
    gcmn.filehead = gcmn.dfile = nullptr;
    gcmn.filecount = 0;
    gcmn.dfilenum = 0;
    gcmn.defs = deflist();
    gcmn.looping = 0;
    gcmn.loopdim = 3;
    for (int d = 0; d < 4; d++) gcmn.vary[d] = 0;
    // What the program's entry sets at start.
    gcmn.fwname.clear();
    gcmn.fwbigend = 1;
    gcmn.fwseq = 0;
    char tmpl[] = "/tmp/omdisptestXXXXXX";
    char* d = mkdtemp(tmpl);
    dir = d ? d : "/tmp";
    std::string data;
    for (int i = 0; i < 4 * 3 * 2 * 3; i++) {
      float v = i == 5 ? -9.99e8f : static_cast<float>(i);
      putle(data, &v);
    }
    write("t.dat", data);
    write("t.ctl",
          "dset ^t.dat\ntitle Test set\nundef -9.99e8\noptions little_endian\n"
          "xdef 4 linear 0 10\nydef 3 linear -10 10\nzdef 2 levels 1000 500\n"
          "tdef 3 linear 00z01jan2000 6hr\nvars 1\nt 2 99 temperature\nendvars\n");
    writestations();
  }
  void TearDown() override {
    run("disable fwrite");
    run("reinit");
    if (dir != "/tmp") (void)!std::system(("rm -rf '" + dir + "'").c_str());
  }
  std::string path(const std::string& name) const { return dir + "/" + name; }
  void write(const std::string& name, const std::string& text) const {
    FILE* f = std::fopen(path(name).c_str(), "wb");
    if (f) {
      std::fwrite(text.data(), 1, text.size(), f);
      std::fclose(f);
    }
  }
  std::string slurp(const std::string& name) const {
    std::string out;
    FILE* f = std::fopen(path(name).c_str(), "rb");
    if (!f) return out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    std::fclose(f);
    return out;
  }
  Out open(const std::string& name) { return run("open " + path(name)); }

  struct rpt {
    const char* id;
    float lat, lon, toff;
    std::vector<float> sfc;                 // empty: no surface values
    std::vector<std::pair<float, float>> levs;
  };
  static std::string header(const rpt& r, int nlev, int flag) {
    std::string s(8, ' ');
    std::memcpy(&s[0], r.id, std::strlen(r.id));
    putle(s, &r.lat);
    putle(s, &r.lon);
    putle(s, &r.toff);
    putle(s, &nlev);
    putle(s, &flag);
    return s;
  }
  // Reports per time; the station map records each time's offset.
  void writestations() {
    std::vector<std::vector<rpt>> times = {
        {{"KABC", 40, 350, 0, {1000, 15}, {{850, 5}, {500, -20}}},
         {"XYZ1", 45, 10, 0.25f, {990, 12}, {}},
         {"FAR", -60, 100, 0, {1010, 1}, {{500, -30}}}},
        {{"KABC", 40, 350, 0, {1001, 16}, {{850, 6}}}, {"NOSFC", 42, 5, 0, {}, {{500, -25}}}}};
    std::string data;
    std::vector<int> offs, cnts;
    int maxn = 0;
    for (auto& t : times) {
      offs.push_back(static_cast<int>(data.size()));
      cnts.push_back(static_cast<int>(t.size()));
      for (auto& r : t) {
        std::vector<float> vals = r.sfc;
        for (auto& l : r.levs) {
          vals.push_back(l.first);
          vals.push_back(l.second);
        }
        maxn = std::max(maxn, static_cast<int>(vals.size()));
        int nlev = static_cast<int>(r.levs.size()) + (r.sfc.empty() ? 0 : 1);
        data += header(r, nlev, r.sfc.empty() ? 0 : 1);
        for (float v : vals) putle(data, &v);
      }
      data += header({"", 0, 0, 0, {}, {}}, 0, 0);
    }
    write("s.dat", data);
    std::string map = "Ombra_stnmapV002";
    auto be = [&](int v) {
      for (int k = 3; k >= 0; k--) map += static_cast<char>((v >> (8 * k)) & 0xff);
    };
    be(2);
    be(maxn);
    for (int o : offs) be(o);
    for (int c : cnts) be(c);
    write("s.map", map);
    write("s.ctl",
          "dset ^s.dat\ndtype station\nstnmap ^s.map\ntitle Stations\nundef -999\n"
          "options little_endian\ntdef 2 linear 00z01jan2000 12hr\nvars 3\n"
          "ps 0 99 pressure\nts 0 99 temperature\nt 1 99 temperature aloft\nendvars\n");
  }

  std::string dir;
};

}  // namespace disptest
