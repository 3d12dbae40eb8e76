// The GRIB parameter tables: read once, at the first look-up, into records
// grouped by parameter, so that a look-up weighs only the records of its
// own parameter.
#include "data/gribparm.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "base/datadir.h"
#include "data/textfile.h"

namespace {

constexpr int kWMO = -1;     // a record of the WMO tables
constexpr int kLegacy = -2;  // ECMWF's older encodings
constexpr int kECMWF = 98;
constexpr int kAny = -999;   // a key column that asks for nothing

// One p record.  The key columns ask for a value, or kAny.
struct parmrec {
  int centre = kWMO;
  int ltype = kAny;
  bool haslevel = false;
  double level = 0.0;
  int stat = kAny;   // GRIB2 statistical process; GRIB1 time-range indicator
  long period = kAny;
  int local = kAny;  // GRIB2 version of the local tables
  gribname out;
  int asks() const {
    return (ltype != kAny) + haslevel + (stat != kAny) + (period != kAny) + (local != kAny);
  }
};

struct table {
  bool loaded = false;
  bool missing = false;
  std::string path;
  std::map<std::tuple<int, int, int>, std::vector<parmrec>> parms;  // by parameter
  std::map<int, std::string> levtext, levunits, stattext, statabbr;
};

table t1, t2;
std::string from1, from2;

std::vector<std::string> fields(const std::string& line) {
  std::vector<std::string> f;
  size_t a = 0;
  for (;;) {
    size_t b = line.find('\t', a);
    f.push_back(line.substr(a, b == std::string::npos ? std::string::npos : b - a));
    if (b == std::string::npos) return f;
    a = b + 1;
  }
}

// A key column: kAny for "-", else its number; false when it is neither.
bool keyint(const std::string& s, int* v) {
  if (s == "-") {
    *v = kAny;
    return true;
  }
  char* e = nullptr;
  long n = std::strtol(s.c_str(), &e, 10);
  if (s.empty() || *e != '\0' || n < -1000000 || n > 1000000) return false;
  *v = static_cast<int>(n);
  return true;
}

std::string textcol(const std::string& s) { return s == "-" ? std::string() : s; }

// The p record of either table: the columns from the centre to the name.
bool parmline(const std::vector<std::string>& f, bool g2, std::tuple<int, int, int>* key, parmrec* r) {
  const size_t want = g2 ? 13 : 10;
  if (f.size() != want) return false;
  if (f[1] == "-") r->centre = kWMO;
  else if (f[1] == "*") r->centre = kLegacy;
  else if (!keyint(f[1], &r->centre) || r->centre < 0) return false;
  int a, b, c = 0;
  size_t k = 2;
  if (!keyint(f[k++], &a) || !keyint(f[k++], &b) || (g2 && !keyint(f[k++], &c))) return false;
  if (a == kAny || b == kAny || c == kAny) return false;
  *key = std::make_tuple(a, b, c);
  if (!keyint(f[k++], &r->ltype)) return false;
  const std::string& lev = f[k++];
  if (lev != "-") {
    char* e = nullptr;
    r->level = std::strtod(lev.c_str(), &e);
    if (*e != '\0') return false;
    r->haslevel = true;
  }
  if (!keyint(f[k++], &r->stat)) return false;
  if (g2) {
    int per;
    if (!keyint(f[k++], &per) || !keyint(f[k++], &r->local)) return false;
    r->period = per;
  }
  r->out.name = textcol(f[k++]);
  r->out.text = textcol(f[k++]);
  r->out.units = textcol(f[k++]);
  r->out.bylevel = r->haslevel;
  return true;
}

void load(table& t, bool g2) {
  if (t.loaded) return;
  t.loaded = true;
  const std::string& given = g2 ? from2 : from1;
  t.path = given.empty() ? gxgnam(g2 ? "grib2.tab" : "grib1.tab") : given;
  FILE* f = opendescr(t.path);
  if (!f) {
    t.missing = true;
    return;
  }
  std::string line;
  while (rdtxtline(f, line) == TL_OK) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> c = fields(line);
    int code;
    if (c[0] == "p") {
      std::tuple<int, int, int> key;
      parmrec r;
      if (parmline(c, g2, &key, &r)) t.parms[key].push_back(r);
    } else if (c[0] == "l" && c.size() >= 3 && keyint(c[1], &code)) {
      t.levtext[code] = textcol(c[2]);
      if (c.size() >= 4) t.levunits[code] = textcol(c[3]);
    } else if (c[0] == "s" && c.size() == 4 && keyint(c[1], &code)) {
      t.statabbr[code] = c[2];
      t.stattext[code] = textcol(c[3]);
    }
  }
  std::fclose(f);
}

bool samelevel(double a, double b) { return std::fabs(a - b) <= 1e-6 * std::fmax(1.0, std::fabs(b)); }

// The best record of those of centres for which take says yes; null none.
template <class Fits, class Take>
const parmrec* best(const std::vector<parmrec>& recs, Fits fits, Take take) {
  const parmrec* win = nullptr;
  int top = -1;
  for (const parmrec& r : recs) {
    if (!take(r.centre) || !fits(r)) continue;
    int score = 2 * r.asks() + (r.centre >= 0);
    if (score > top) {
      top = score;
      win = &r;
    }
  }
  return win;
}

template <class Fits>
const parmrec* lookup(const std::vector<parmrec>& recs, int centre, Fits fits) {
  const parmrec* r = best(recs, fits, [&](int c) { return c == kWMO || c == centre; });
  if (!r && centre != kECMWF) r = best(recs, fits, [](int c) { return c == kECMWF; });
  if (!r) r = best(recs, fits, [](int c) { return c == kLegacy; });
  return r;
}

// Fills out from the record found (its text also where it gives no name).
bool give(const parmrec* r, const std::string& numname, gribname* out) {
  *out = gribname();
  if (r) *out = r->out;
  if (out->name.empty()) {
    out->name = numname;
    out->bylevel = false;
  }
  return r != nullptr && !r->out.name.empty();
}

std::string codetext(const std::map<int, std::string>& m, int code) {
  auto it = m.find(code);
  return it == m.end() ? std::string() : it->second;
}

}  // namespace

std::string g2numname(int disc, int cat, int num) {
  return "var" + std::to_string(disc) + "_" + std::to_string(cat) + "_" + std::to_string(num);
}

std::string g1numname(int table, int param) { return "var" + std::to_string(table) + "_" + std::to_string(param); }

bool g2pname(const g2pkey& k, gribname* out) {
  load(t2, true);
  auto it = t2.parms.find(std::make_tuple(k.disc, k.cat, k.num));
  const parmrec* r = nullptr;
  if (it != t2.parms.end()) {
    r = lookup(it->second, k.centre, [&](const parmrec& p) {
      return (p.ltype == kAny || p.ltype == k.ltype) && (!p.haslevel || (k.haslevel && samelevel(k.level, p.level))) &&
             (p.stat == kAny || p.stat == k.stat) && (p.period == kAny || p.period == k.period) &&
             (p.local == kAny || p.local == k.localtab);
    });
  }
  return give(r, g2numname(k.disc, k.cat, k.num), out);
}

bool g1pname(const g1pkey& k, gribname* out) {
  load(t1, false);
  auto it = t1.parms.find(std::make_tuple(k.table, k.param, 0));
  const parmrec* r = nullptr;
  if (it != t1.parms.end()) {
    r = lookup(it->second, k.centre, [&](const parmrec& p) {
      return (p.ltype == kAny || p.ltype == k.ltype) && (!p.haslevel || samelevel(k.level, p.level)) &&
             (p.stat == kAny || p.stat == k.tri);
    });
  }
  return give(r, g1numname(k.table, k.param), out);
}

std::string g2levtext(int ltype, std::string* units) {
  load(t2, true);
  if (units) *units = codetext(t2.levunits, ltype);
  return codetext(t2.levtext, ltype);
}

std::string g1levtext(int ltype) {
  load(t1, false);
  return codetext(t1.levtext, ltype);
}

std::string g2stattext(int stat, std::string* abbr) {
  load(t2, true);
  if (abbr) {
    *abbr = codetext(t2.statabbr, stat);
    if (abbr->empty()) *abbr = "s" + std::to_string(stat);
  }
  return codetext(t2.stattext, stat);
}

void gribtabfrom(const std::string& grib1, const std::string& grib2) {
  from1 = grib1;
  from2 = grib2;
  t1 = table();
  t2 = table();
}

std::string gribtabmissing() {
  if (t2.loaded && t2.missing) return t2.path;
  if (t1.loaded && t1.missing) return t1.path;
  return "";
}
