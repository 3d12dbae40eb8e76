// Target: the expression parser and evaluator.
//
// Input: one byte choosing the dimension environment, then the expression
// text (up to its first newline, lower-cased as the command line is).  At
// start the target writes and opens two small data sets whose values are
// known functions of the coordinates: file 1, a.ctl, 36 x 19 points, three
// levels and four times (a with levels, b at the surface); file 2, s.ctl,
// station data of two times; file 3, c.ctl, a big-endian template of one
// file a day (the third missing) whose 49 x 25 grids are large enough to
// be merged straight from the file's map by the time reductions, holding
// values in its undefined band, NaN, infinities and negative zeros; and
// defines dv = a*2.  Every evaluation is
// bounded by these sizes and by the interrupt budget (functions that loop
// over a dimension poll the interrupt flag through their evaluations).
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "base/cmnstate.h"
#include "cmd/omcmd.h"
#include "base/words.h"
#include "expr/evalstat.h"
#include "expr/omexpr.h"
#include "gx/gx.h"
#include "fuzzutil.h"

namespace {

void putle(std::string& s, const void* p) {
  unsigned char b[4];
  std::memcpy(b, p, 4);
  s.append(reinterpret_cast<char*>(b), 4);
}

void putbe(std::string& s, int v) {
  for (int k = 3; k >= 0; k--) s += static_cast<char>((v >> (8 * k)) & 0xff);
}

void griddata() {
  const int nx = 36, ny = 19, nz = 3, nt = 4;
  const float levs[nz] = {1000, 500, 200};
  std::string d;
  for (int t = 0; t < nt; t++) {
    for (int v = 0; v < 2; v++) {
      int nl = v == 0 ? nz : 1;
      for (int z = 0; z < nl; z++)
        for (int j = 0; j < ny; j++)
          for (int i = 0; i < nx; i++) {
            float lon = i * 10.0f, lat = -90 + j * 10.0f;
            float val = 10 * std::cos(lat * 0.01745f) * std::sin(lon * 0.01745f) + levs[z] / 100 + t;
            if (v == 1) val = 1000 + lat;
            if ((i + j + z + t) % 37 == 0) val = -9.99e8f;
            putle(d, &val);
          }
    }
  }
  fuzz::writefile("a.bin", d);
  fuzz::writefile("a.ctl",
                  "dset ^a.bin\ntitle analytic\nundef -9.99e8\noptions little_endian\n"
                  "xdef 36 linear 0 10\nydef 19 linear -90 10\nzdef 3 levels 1000 500 200\n"
                  "tdef 4 linear 00z01jan2000 1dy\nvars 2\na 3 99 field\nb 0 99 surface\n"
                  "endvars\n");
}

void templatedata() {
  const int nx = 49, ny = 25, nt = 4;
  for (int t = 0; t < nt; t++) {
    if (t == 2) continue;
    std::string d;
    for (int j = 0; j < ny; j++)
      for (int i = 0; i < nx; i++) {
        const int k = (j * nx + i + t) % 41;
        float val = 0.5f * i - 0.25f * j + t;
        if (k == 0) val = -9.99e8f;
        if (k == 1) val = -9.99e8f * (1.0f + 3e-6f);
        if (k == 2) val = std::nanf("");
        if (k == 3) val = t % 2 ? INFINITY : -INFINITY;
        if (k == 4) val = -0.0f;
        uint32_t w;
        std::memcpy(&w, &val, 4);
        putbe(d, static_cast<int>(w));
      }
    fuzz::writefile("c2000010" + std::to_string(t + 1) + ".bin", d);
  }
  fuzz::writefile("c.ctl",
                  "dset ^c%y4%m2%d2.bin\nundef -9.99e8\noptions big_endian template\n"
                  "xdef 49 linear 0 7.5\nydef 25 linear -90 7.5\nzdef 1 levels 1000\n"
                  "tdef 4 linear 00z01jan2000 1dy\nvars 1\nc 0 99 field\nendvars\n");
}

void stationdata() {
  struct rpt {
    const char* id;
    float lat, lon;
    int nlev;
  };
  const rpt rs[] = {{"kabc", 40, 350, 2}, {"xyz1", 45, 10, 0}, {"far", -60, 100, 1}};
  std::string d, map = "Ombra_stnmapV002";
  std::vector<int> offs, cnts;
  for (int t = 0; t < 2; t++) {
    offs.push_back(static_cast<int>(d.size()));
    cnts.push_back(3);
    for (const rpt& r : rs) {
      std::string h(8, ' ');
      std::memcpy(&h[0], r.id, std::strlen(r.id));
      float toff = 0;
      int flag = 1, nlev = r.nlev + 1;
      putle(h, &r.lat);
      putle(h, &r.lon);
      putle(h, &toff);
      putle(h, &nlev);
      putle(h, &flag);
      d += h;
      float ps = 1000 + t + r.lat, ts = 10 - r.lat / 10;
      putle(d, &ps);
      putle(d, &ts);
      for (int l = 0; l < r.nlev; l++) {
        float lev = 850 - 350 * l, val = -10.0f * l + t;
        putle(d, &lev);
        putle(d, &val);
      }
    }
    std::string end(8, ' ');
    float z = 0;
    int zi = 0;
    putle(end, &z);
    putle(end, &z);
    putle(end, &z);
    putle(end, &zi);
    putle(end, &zi);
    d += end;
  }
  putbe(map, 2);
  putbe(map, 6);
  for (int o : offs) putbe(map, o);
  for (int c : cnts) putbe(map, c);
  fuzz::writefile("s.bin", d);
  fuzz::writefile("s.map", map);
  fuzz::writefile("s.ctl",
                  "dset ^s.bin\ndtype station\nstnmap ^s.map\nundef -999\n"
                  "options little_endian\ntdef 2 linear 00z01jan2000 1dy\nvars 3\n"
                  "ps 0 99 pressure\nts 0 99 temperature\nt 1 99 aloft\nendvars\n");
}

void run(const char* line) { omcmd(line, &gcmn, 0); }

const char* const kEnv[][4] = {
    {"set lon 0 360", "set lat -90 90", "set lev 1000", "set t 1"},
    {"set lon 0 360", "set lat 20", "set lev 1000", "set t 1 4"},
    {"set lon 90", "set lat -90 90", "set lev 1000 200", "set t 1"},
    {"set lon 90", "set lat 20", "set lev 500", "set t 2"},
    {"set lon -200 560", "set lat -90 90", "set lev 200", "set t 4"},
    {"set lon 90", "set lat 20", "set lev 1000 200", "set t 1 4"},
};
constexpr int kEnvs = sizeof(kEnv) / sizeof(kEnv[0]);

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::setup();
  griddata();
  stationdata();
  templatedata();
  gcmn.vpagew = 11;
  gcmn.vpageh = 8.5f;
  gcmn.batch = 1;
  ominit();
  omstart(&gcmn);
  gxstrt(11, 8.5f, 1);
  run("open a.ctl");
  run("open s.ctl");
  run("open c.ctl");
  run("define dv = a*2");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 4096) return -1;
  std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  size_t nl = text.find('\n');
  if (nl != std::string::npos) text.resize(nl);
  if (text.find('\0') != std::string::npos) return -1;
  lowcas(&text[0]);
  fuzz::setbudget(-1);
  const char* const* env = kEnv[data[0] % kEnvs];
  for (int k = 0; k < 4; k++) run(env[k]);
  // A walk step can read several grids: 5000 evaluations stay near a
  // second under the sanitizers, well inside the 5-second timeout.
  fuzz::setbudget(5000);
  evalstat* pst = getpst(&gcmn);
  if (!pst) return 0;
  if (omexpr(text.c_str(), pst) == 0) omfree(pst);
  delete pst;
  fuzz::setbudget(-1);
  return 0;
}
