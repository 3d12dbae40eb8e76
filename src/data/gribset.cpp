// The data set of a GRIB file opened as it is (gribset.h).  The fields of
// the scan are sorted once into variables, levels and times; each gets the
// slot of the index where a descriptor's records would have theirs, so
// that the grid reader reads them as it reads a descriptor's.
#include "data/gribset.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "base/memcap.h"
#include "base/omprnt.h"
#include "base/replsig.h"
#include "base/useropen.h"
#include "data/axisconv.h"
#include "data/datafile.h"
#include "data/datetime.h"
#include "data/gribmap.h"
#include "data/gribparm.h"

namespace {

constexpr float kUndef = 9.999e20f;
constexpr int kIsobaric = 100;
constexpr size_t kMaxName = 15;
constexpr size_t kMaxText = 127;

// ---------------------------------------------------------------- levels

// GRIB1 level types with a GRIB2 counterpart, and the factor from the
// units of the one to those of the other.
struct g1type {
  int g1, g2;
  double scale;
};
const g1type kG1Types[] = {{1, 1, 1},        {2, 2, 1},        {3, 3, 1},          {4, 4, 1},
                           {5, 5, 1},        {6, 6, 1},        {7, 7, 1},          {8, 8, 1},
                           {9, 9, 1},        {20, 20, 0.01},   {100, 100, 100},    {102, 101, 1},
                           {103, 102, 1},    {105, 103, 1},    {107, 104, 1e-4},   {109, 105, 1},
                           {111, 106, 0.01}, {113, 107, 1},    {115, 108, 100},    {160, 160, 1},
                           {200, 10, 1}};

// A value of a GRIB2 level type in the units the data set shows.
double shown(int type, double v) { return type == kIsobaric || type == 108 ? v / 100.0 : v; }

// The unit the data set shows a level type's values in.
std::string shownunits(int type) {
  if (type == kIsobaric || type == 108) return "hPa";
  if (type >= 1000) return "";
  std::string u;
  g2levtext(type, &u);
  return u;
}

std::string leveltext(int type) {
  if (type >= 1000) return g1levtext(type - 1000);
  return g2levtext(type);
}

// A number as short text: %g, and at most six significant digits.
std::string num(double v) {
  char b[32];
  std::snprintf(b, sizeof b, "%g", v);
  return b;
}

// A number in a name: "." as "p" and "-" as "m".
std::string namenum(double v) {
  std::string s = num(v);
  for (char& c : s) {
    if (c == '.') c = 'p';
    if (c == '-') c = 'm';
    if (c == '+') c = 'p';
  }
  return s;
}

// A level value as a key: whole millionths.
long long levkey(double v) { return std::llround(v * 1e6); }

bool near(double a, double b) { return std::fabs(a - b) <= 1e-6 * std::max(1.0, std::fabs(a)); }

bool samegrid(const g2grid& a, const g2grid& b) {
  return a.tmpl == b.tmpl && a.ni == b.ni && a.nj == b.nj && a.nrow == b.nrow && a.npts == b.npts &&
         a.ngauss == b.ngauss && near(a.lat1, b.lat1) && near(a.lon1, b.lon1) && near(a.lat2, b.lat2) &&
         near(a.lon2, b.lon2) && near(a.di, b.di) && near(a.dj, b.dj) && near(a.lad, b.lad) &&
         near(a.lov, b.lov) && near(a.latin1, b.latin1) && near(a.latin2, b.latin2) &&
         (a.projcentre & 0x80) == (b.projcentre & 0x80) && near(a.splat, b.splat) && near(a.splon, b.splon) &&
         near(a.rotang, b.rotang);
}

std::string gridtext(const g2grid& g) {
  static const std::map<int, const char*> kinds = {
      {0, "latitude-longitude"}, {1, "rotated latitude-longitude"}, {10, "Mercator"},
      {20, "polar stereographic"}, {30, "Lambert conformal"}, {40, "Gaussian"},
      {41, "rotated Gaussian"}};
  auto k = kinds.find(g.tmpl);
  std::string s = k == kinds.end() ? "grid template " + std::to_string(g.tmpl) : k->second;
  if (g.nrow > 0) return "reduced " + s + " of " + std::to_string(g.nrow) + " rows";
  return s + " " + std::to_string(g.ni) + " x " + std::to_string(g.nj);
}

// ---------------------------------------------------------------- times

bool earlier(const datetime& a, const datetime& b) {
  return std::tie(a.yr, a.mo, a.dy, a.hr, a.mn) < std::tie(b.yr, b.mo, b.dy, b.hr, b.mn);
}
bool sametime(const datetime& a, const datetime& b) { return !earlier(a, b) && !earlier(b, a); }

std::string spantext(const gribspan& s, bool forname) {
  if (s.months) return std::to_string(s.months) + (forname ? "mo" : " months");
  if (s.minutes % 60 == 0) return std::to_string(s.minutes / 60) + (forname ? "h" : " h");
  return std::to_string(s.minutes) + (forname ? "mn" : " min");
}

long gcd(long a, long b) {
  a = std::labs(a);
  b = std::labs(b);
  while (b) {
    long t = a % b;
    a = b;
    b = t;
  }
  return a;
}

// The time axis of the distinct times (sorted): linear in months or
// minutes, with steps that no field fills where the times have gaps, or
// where that would hold too many steps, the times themselves.
struct taxis {
  std::vector<datetime> times;  // distinct, sorted
  long months = 0, minutes = 0; // the linear step
  bool dated = false;           // the axis holds the times themselves
  int size = 0;
  // The step (1-based) of a time of the list.
  int step(const datetime& t) const {
    if (dated) {
      auto it = std::lower_bound(times.begin(), times.end(), t, earlier);
      return static_cast<int>(it - times.begin()) + 1;
    }
    if (months) {
      long m = (static_cast<long>(t.yr) - times[0].yr) * 12 + (t.mo - times[0].mo);
      return static_cast<int>(m / months) + 1;
    }
    return static_cast<int>(timdif(&times[0], &t) / minutes) + 1;
  }
};

// Most steps an axis with gaps may have for the times it holds.
int maxsteps(size_t n) { return static_cast<int>(std::min<size_t>(100000, std::max<size_t>(4 * n, n + 1000))); }

taxis maketaxis(std::vector<datetime> times) {
  taxis ax;
  std::sort(times.begin(), times.end(), earlier);
  times.erase(std::unique(times.begin(), times.end(), sametime), times.end());
  ax.times = times;
  const size_t n = times.size();
  if (n == 1) {
    ax.minutes = 60;
    ax.size = 1;
    return ax;
  }
  const datetime& t0 = times[0];
  // Monthly: every time on the first's day and clock, whole months apart.
  bool monthly = true;
  long mg = 0;
  for (const datetime& t : times) {
    if (t.dy != t0.dy || t.hr != t0.hr || t.mn != t0.mn) monthly = false;
    mg = gcd(mg, (static_cast<long>(t.yr) - t0.yr) * 12 + (t.mo - t0.mo));
  }
  if (monthly && mg > 0 && t0.dy <= 28) {
    long span = (static_cast<long>(times.back().yr) - t0.yr) * 12 + (times.back().mo - t0.mo);
    if (span / mg + 1 <= maxsteps(n)) {
      ax.months = mg;
      ax.size = static_cast<int>(span / mg + 1);
      return ax;
    }
  }
  long g = 0;
  for (const datetime& t : times) g = gcd(g, timdif(&t0, &t));
  const long span = timdif(&t0, &times.back());
  ax.minutes = g > 0 ? g : 60;
  if (g > 0 && span / g + 1 <= maxsteps(n)) {
    ax.size = static_cast<int>(span / g + 1);
    return ax;
  }
  ax.dated = true;
  ax.minutes = timdif(&t0, &times[1]);
  ax.size = static_cast<int>(n);
  return ax;
}

// ---------------------------------------------------------------- variables

// What tells the fields of one variable from those of another.
struct varkey {
  int edition = 0, disc = -1, cat = -1, num = -1;
  int ltype = 255;
  bool zvar = false;
  bool has1 = false, has2 = false;
  long long lev1 = 0, lev2 = 0;
  int ltype2 = 255;
  int stat = -1;
  bool fromstart = false;
  long pmin = 0, pmon = 0;
  int derived = -1, probtype = -1, percentile = -1;
  long long plo = 0, phi = 0;
  int member = -1;
  auto tie() const {
    return std::tie(edition, disc, cat, num, ltype, zvar, has1, has2, lev1, lev2, ltype2, stat, fromstart, pmin,
                    pmon, derived, probtype, plo, phi, percentile, member);
  }
  bool operator<(const varkey& o) const { return tie() < o.tie(); }
};

struct varinfo {
  varkey key;
  const gribfld* first = nullptr;  // its first field, for the tables
  griblev lev;                     // the first field's level
  gribspan period;
  std::string base, name, text;
  int levels = 0;
  int recoff = 0;
};

// One field on its way into the index.
struct placed {
  const gribfld* f;
  griblev lev;
  int var = -1;
  int z = 1;
  int t = 1;
};

// The fields left out, by reason, each with its message numbers.
struct leftout {
  std::map<std::string, std::vector<int>> why;
  std::map<std::string, size_t> fields;
  std::vector<std::string> order;
  void add(const std::string& reason, int msgno) {
    auto it = why.find(reason);
    if (it == why.end()) {
      order.push_back(reason);
      it = why.emplace(reason, std::vector<int>()).first;
    }
    fields[reason]++;
    if (std::find(it->second.begin(), it->second.end(), msgno) == it->second.end()) it->second.push_back(msgno);
  }
};

// Message numbers as ranges: "3, 5-9, 12", the first twenty ranges.
std::string msgranges(const std::vector<int>& v) {
  std::string s;
  int shown = 0;
  for (size_t i = 0; i < v.size();) {
    size_t j = i;
    while (j + 1 < v.size() && v[j + 1] == v[j] + 1) j++;
    if (shown == 20) {
      s += ", ...";
      break;
    }
    if (!s.empty()) s += ", ";
    s += std::to_string(v[i]);
    if (j > i) s += "-" + std::to_string(v[j]);
    shown++;
    i = j + 1;
  }
  return s;
}

std::string derivedtext(int d) {
  switch (d) {
    case 0: return "ensemble mean";
    case 1: return "weighted ensemble mean";
    case 2: return "ensemble standard deviation";
    case 3: return "normalized ensemble standard deviation";
    case 4: return "ensemble spread";
    default: return "derived forecast " + std::to_string(d);
  }
}

std::string derivedname(int d) {
  switch (d) {
    case 0: case 1: return "_mean";
    case 2: case 3: return "_sd";
    case 4: return "_spread";
    default: return "_d" + std::to_string(d);
  }
}

class builder {
 public:
  builder(const std::string& name, const gribscanres& scan, datafile* pfi) : name_(name), scan_(scan), pfi_(pfi) {}
  int run();

 private:
  const std::string& name_;
  const gribscanres& scan_;
  datafile* pfi_;
  leftout out_;
  const gribfld* gridof_ = nullptr;  // the field whose grid the set has
  g2axes axes_;
  int g1scan_ = -1;                  // scanning mode of the GRIB1 records
  std::vector<placed> fields_;
  std::vector<varinfo> vars_;
  int ztype_ = -1;
  std::vector<double> zlevs_;
  int case_ = 0;                     // 0 one reference time, 1 one step, 2 several of both
  size_t taken_ = 0;                 // fields the index points at
  gribspan step_;
  taxis tax_;

  bool choosegrid();
  bool ongrid(const gribfld& f, std::string* why);
  void choosez();
  void makevars();
  void namevars();
  std::string describe(const varinfo& v);
  bool maketimes();
  bool fillindex();
  bool setaxes();
  void notes();
};

griblev levelof(const gribfld& f) { return gribshownlev(f); }

// What was skipped where: a message by its number, bytes of no message by
// their place alone.
std::string skiptext(const gribskip& s) {
  return (s.msgno ? "message " + std::to_string(s.msgno) + " at byte " : std::string("at byte ")) +
         std::to_string(s.at) + ": " + s.why;
}

bool builder::choosegrid() {
  for (const gribfld& f : scan_.fields) {
    if (!f.unread.empty()) continue;
    std::string why;
    g2axes ax;
    if (g2gridaxes(f.g2, &ax, &why)) {
      out_.add("a " + gridtext(f.g2.grid) + " grid the program cannot show (" + why + ")", f.msgno);
      continue;
    }
    if (f.edition != 2 && (ax.projected ? (f.g1scan & 0xe0) != 0x40 : (f.g1scan & 0xa0) != 0)) {
      out_.add("a GRIB1 grid stored in an order the program does not read", f.msgno);
      continue;
    }
    gridof_ = &f;
    axes_ = ax;
    return true;
  }
  return false;
}

bool builder::ongrid(const gribfld& f, std::string* why) {
  if (!f.unread.empty()) {
    *why = f.unread;
    return false;
  }
  if (!samegrid(f.g2.grid, gridof_->g2.grid)) {
    *why = "another grid (" + gridtext(f.g2.grid) + ")";
    return false;
  }
  if (f.edition != 2) {
    if ((f.g1scan & 0xa0) != 0 || (axes_.projected && (f.g1scan & 0x40) == 0)) {
      *why = "a GRIB1 grid stored in an order the program does not read";
      return false;
    }
    if (g1scan_ < 0) g1scan_ = f.g1scan & 0x40;
    if ((f.g1scan & 0x40) != g1scan_) {
      *why = "GRIB1 rows in the other order than the first GRIB1 record's";
      return false;
    }
  }
  return true;
}

// Z: the isobaric surfaces where the file has them, else the single-surface
// level type with most levels, two at least.
void builder::choosez() {
  std::map<int, std::set<long long>> levs;
  for (const placed& p : fields_)
    if (p.lev.has && !p.lev.has2) levs[p.lev.type].insert(levkey(p.lev.value));
  int best = -1;
  size_t most = 1;
  for (const auto& kv : levs) {
    if (kv.second.size() > most) {
      most = kv.second.size();
      best = kv.first;
    }
  }
  if (levs.count(kIsobaric)) best = kIsobaric;
  ztype_ = best;
  if (best < 0) return;
  for (long long k : levs[best]) zlevs_.push_back(static_cast<double>(k) / 1e6);
  if (best == kIsobaric) std::reverse(zlevs_.begin(), zlevs_.end());
}

void builder::makevars() {
  // Statistics of one variable whose periods all begin at the reference
  // time are one variable ("since the start of the forecast") when their
  // periods differ; otherwise each period is one.
  auto keyof = [&](const placed& p, bool withperiod) {
    const gribfld& f = *p.f;
    varkey k;
    k.edition = f.edition == 2 ? 2 : 1;
    k.disc = f.disc;
    k.cat = f.cat;
    k.num = f.num;
    k.ltype = p.lev.type;
    k.zvar = p.lev.type == ztype_ && p.lev.has && !p.lev.has2;
    if (!k.zvar) {
      k.has1 = p.lev.has;
      k.lev1 = p.lev.has ? levkey(p.lev.value) : 0;
      k.has2 = p.lev.has2;
      k.lev2 = p.lev.has2 ? levkey(p.lev.value2) : 0;
      k.ltype2 = p.lev.type2;
    }
    k.stat = f.stat;
    if (withperiod && f.stat >= 0) {
      k.pmin = f.period.minutes;
      k.pmon = f.period.months;
    }
    k.derived = f.derived;
    k.probtype = f.probtype;
    if (f.probtype >= 0) {
      k.plo = levkey(f.problo);
      k.phi = levkey(f.probhi);
    }
    k.percentile = f.percentile;
    k.member = f.member;
    return k;
  };
  std::map<varkey, std::pair<bool, std::set<gribspan>>> groups;  // all from the start, periods
  for (const placed& p : fields_) {
    if (p.f->stat < 0) continue;
    auto it = groups.emplace(keyof(p, false), std::make_pair(true, std::set<gribspan>())).first;
    it->second.first = it->second.first && p.f->fromref;
    it->second.second.insert(p.f->period);
  }
  std::map<varkey, int> index;
  for (placed& p : fields_) {
    varkey k = keyof(p, true);
    if (p.f->stat >= 0) {
      const auto& g = groups[keyof(p, false)];
      if (g.first && g.second.size() > 1) {
        k.pmin = k.pmon = 0;
        k.fromstart = true;
      }
    }
    auto it = index.find(k);
    if (it == index.end()) {
      varinfo v;
      v.key = k;
      v.first = p.f;
      v.lev = p.lev;
      v.period = p.f->period;
      v.levels = k.zvar ? static_cast<int>(zlevs_.size()) : 0;
      vars_.push_back(v);
      it = index.emplace(k, static_cast<int>(vars_.size()) - 1).first;
    }
    p.var = it->second;
    if (vars_[p.var].key.zvar) {
      for (size_t i = 0; i < zlevs_.size(); i++)
        if (near(zlevs_[i], p.lev.value)) p.z = static_cast<int>(i) + 1;
    }
  }
}

// The tables' name and text of a variable.
gribname tablename(const varinfo& v) {
  const gribfld& f = *v.first;
  gribname n;
  if (f.edition == 2) {
    g2pkey k;
    k.centre = f.centre;
    k.disc = f.disc;
    k.cat = f.cat;
    k.num = f.num;
    k.ltype = f.ltype;
    k.haslevel = !v.key.zvar && f.haslevel;
    k.level = f.level;
    k.stat = f.stat;
    k.period = f.stat >= 0 && f.period.months == 0 ? f.period.minutes : -1;
    k.localtab = f.g2.localtab;
    g2pname(k, &n);
  } else {
    g1pkey k;
    k.centre = f.centre;
    k.table = f.cat;
    k.param = f.num;
    k.ltype = f.ltype;
    k.level = v.key.zvar ? -1 : f.g1level;
    k.tri = f.tri;
    g1pname(k, &n);
  }
  return n;
}

std::string builder::describe(const varinfo& v) {
  const gribfld& f = *v.first;
  gribname n = tablename(v);
  std::string s = n.text;
  if (s.empty())
    s = f.edition == 2 ? "discipline " + std::to_string(f.disc) + " category " + std::to_string(f.cat) +
                             " number " + std::to_string(f.num)
                       : "parameter " + std::to_string(f.num) + " of table " + std::to_string(f.cat);
  if (!n.units.empty()) s += " [" + n.units + "]";
  const griblev& l = v.lev;
  std::string lt = leveltext(l.type);
  if (lt.empty()) lt = "level type " + std::to_string(l.type >= 1000 ? l.type - 1000 : l.type);
  s += ", " + lt;
  if (!v.key.zvar && l.has) {
    std::string u = shownunits(l.type);
    s += " " + num(l.value);
    if (l.has2) s += " - " + num(l.value2);
    if (!u.empty()) s += " " + u;
  }
  if (f.stat >= 0) {
    std::string st = f.stat == 255 ? "values" : g2stattext(f.stat);
    if (st.empty()) st = "statistical process " + std::to_string(f.stat);
    s += ", " + st + (v.key.fromstart ? " since the start of the forecast" : " over " + spantext(v.period, false));
  }
  if (f.derived >= 0) s += ", " + derivedtext(f.derived);
  if (f.probtype >= 0)
    s += ", probability (type " + std::to_string(f.probtype) + ", limits " + num(f.problo) + " " + num(f.probhi) + ")";
  if (f.percentile >= 0) s += ", percentile " + std::to_string(f.percentile);
  if (f.member >= 0) s += ", member " + std::to_string(f.member);
  if (s.size() > kMaxText) s.resize(kMaxText);
  return s;
}

void builder::namevars() {
  for (varinfo& v : vars_) {
    v.base = tablename(v).name;
    v.text = describe(v);
  }
  std::map<std::string, std::vector<int>> bybase;
  for (size_t i = 0; i < vars_.size(); i++) bybase[vars_[i].base].push_back(static_cast<int>(i));
  for (auto& kv : bybase) {
    const std::vector<int>& g = kv.second;
    auto distinct = [&](auto get, auto keep) {
      std::set<decltype(get(vars_[g[0]]))> s;
      for (int i : g)
        if (keep(vars_[i])) s.insert(get(vars_[i]));
      return s.size();
    };
    auto all = [](const varinfo&) { return true; };
    // The level type of the group that keeps the plain name: Z's, else
    // the first variable's.
    int main = vars_[g[0]].key.ltype;
    for (int i : g)
      if (vars_[i].key.zvar) main = vars_[i].key.ltype;
    const size_t types = distinct([](const varinfo& v) { return v.key.ltype; }, all);
    const size_t stats = distinct([](const varinfo& v) { return v.key.stat; }, all);
    const size_t ders = distinct([](const varinfo& v) { return v.key.derived; }, all);
    const size_t probs = distinct([](const varinfo& v) { return std::make_tuple(v.key.probtype, v.key.plo, v.key.phi); }, all);
    const size_t pcts = distinct([](const varinfo& v) { return v.key.percentile; }, all);
    const size_t mems = distinct([](const varinfo& v) { return v.key.member; }, all);
    for (int i : g) {
      varinfo& v = vars_[i];
      const varkey& k = v.key;
      std::string sfx;
      if (types > 1 && k.ltype != main) sfx += "_l" + std::to_string(k.ltype >= 1000 ? k.ltype - 1000 : k.ltype);
      auto sametype = [&](const varinfo& o) { return o.key.ltype == k.ltype && !o.key.zvar; };
      if (!k.zvar && distinct([](const varinfo& o) { return std::make_tuple(o.key.lev1, o.key.lev2); }, sametype) > 1) {
        sfx += "_" + namenum(v.lev.value);
        if (v.lev.has2) sfx += "_" + namenum(v.lev.value2);
      }
      if (stats > 1 && k.stat >= 0) {
        std::string abbr = "s" + std::to_string(k.stat);
        if (k.stat != 255) g2stattext(k.stat, &abbr);
        sfx += "_" + abbr;
      }
      auto samestat = [&](const varinfo& o) { return o.key.stat == k.stat; };
      if (k.stat >= 0 &&
          distinct([](const varinfo& o) { return std::make_tuple(o.key.fromstart, o.key.pmin, o.key.pmon); }, samestat) > 1)
        sfx += k.fromstart ? std::string("_fs") : "_" + spantext(v.period, true);
      if (ders > 1 && k.derived >= 0) sfx += derivedname(k.derived);
      if (probs > 1 && k.probtype >= 0) sfx += "_p" + std::to_string(k.probtype);
      if (pcts > 1 && k.percentile >= 0) sfx += "_pc" + std::to_string(k.percentile);
      if (mems > 1 && k.member >= 0) sfx += "_m" + std::to_string(k.member);
      v.name = v.base + sfx;
      // Too long a name is the variable's number after "v", with the
      // suffixes where they fit: a name cut short would name another
      // parameter.
      if (v.name.size() > kMaxName) {
        const std::string nth = "v" + std::to_string(i + 1);
        v.name = nth.size() + sfx.size() <= kMaxName ? nth + sfx : nth;
      }
    }
  }
  // Names still alike (two editions of one parameter, names cut short):
  // the later ones numbered.
  std::set<std::string> taken;
  for (varinfo& v : vars_) {
    std::string n = v.name;
    for (int k = 2; taken.count(n); k++) {
      std::string sfx = "_" + std::to_string(k);
      n = v.name.substr(0, kMaxName - sfx.size()) + sfx;
    }
    v.name = n;
    taken.insert(n);
  }
}

// T: the valid times, or for several reference times at one step, those
// reference times.
bool builder::maketimes() {
  std::set<std::tuple<int, int, int, int, int>> refs;
  bool onestep = true;
  bool first = true;
  for (const placed& p : fields_) {
    const gribfld& f = *p.f;
    refs.insert(std::make_tuple(f.reftime.yr, f.reftime.mo, f.reftime.dy, f.reftime.hr, f.reftime.mn));
    gribspan s;
    s.minutes = timdif(&f.reftime, &f.valid);
    if (first) step_ = s;
    else if (s != step_) onestep = false;
    first = false;
  }
  // A series of analyses (step 0) is one of valid times as well.
  case_ = refs.size() == 1 || (onestep && step_ == gribspan()) ? 0 : onestep ? 1 : 2;
  std::vector<datetime> times;
  for (const placed& p : fields_) times.push_back(case_ == 1 ? p.f->reftime : p.f->valid);
  tax_ = maketaxis(times);
  datetime t0 = tax_.times[0];
  if (!taxfits(&t0, tax_.months, tax_.minutes, tax_.size)) {
    omprnt(0, "Open Error:  the times of the GRIB file do not fit a time axis\n");
    return false;
  }
  for (placed& p : fields_) p.t = tax_.step(case_ == 1 ? p.f->reftime : p.f->valid);
  return true;
}

bool builder::fillindex() {
  int recs = 0;
  for (varinfo& v : vars_) {
    v.recoff = recs;
    recs += v.levels ? v.levels : 1;
  }
  const int64_t slots = static_cast<int64_t>(recs) * tax_.size;
  const int64_t most = static_cast<int64_t>(ommemcap() / 64);
  if (slots > INT32_MAX / 3 || slots > most) {
    omprnt(0, "Open Error:  the GRIB file holds more times and variables than a data set may have\n");
    return false;
  }
  gribidx* gi = new (std::nothrow) gribidx();
  if (!gi) return false;
  delete pfi_->pindx;
  pfi_->pindx = gi;
  gi->type = 2;
  gi->hinum = 4;
  gi->intnum = gi->fltnum = static_cast<int>(3 * slots);
  gi->hipnt = {2, tax_.size, recs, 255};
  gi->intpnt.assign(static_cast<size_t>(3 * slots), -999);
  gi->fltpnt.assign(static_cast<size_t>(3 * slots), -999.0f);
  std::vector<int> at(static_cast<size_t>(slots), -1);  // the field of each slot
  for (size_t i = 0; i < fields_.size(); i++) {
    const placed& p = fields_[i];
    const int64_t s = static_cast<int64_t>(p.t - 1) * recs + vars_[p.var].recoff + p.z - 1;
    int& held = at[static_cast<size_t>(s)];
    if (held >= 0) {
      const gribfld& old = *fields_[static_cast<size_t>(held)].f;
      if (case_ == 2 && earlier(old.reftime, p.f->reftime)) {
        out_.add("an earlier forecast of a time that a later one gives", old.msgno);
        held = static_cast<int>(i);
      } else if (case_ == 2 && earlier(p.f->reftime, old.reftime)) {
        out_.add("an earlier forecast of a time that a later one gives", p.f->msgno);
      } else {
        out_.add("the same field again", p.f->msgno);
      }
      continue;
    }
    held = static_cast<int>(i);
  }
  constexpr int64_t kMaxOff = INT32_MAX;
  for (int64_t s = 0; s < slots; s++) {
    if (at[static_cast<size_t>(s)] < 0) continue;
    taken_++;
    const gribfld& f = *fields_[static_cast<size_t>(at[static_cast<size_t>(s)])].f;
    if (f.edition != 2 && f.g1.dataoff <= kMaxOff && f.g1.bmsoff <= kMaxOff) {
      gribfill(static_cast<int>(s), 0, 3, &f.g1, gi);
      continue;
    }
    if (gi->msgoff.empty()) {
      gi->msgoff.assign(static_cast<size_t>(slots), -1);
      gi->msgfld.assign(static_cast<size_t>(slots), 0);
    }
    gi->msgoff[static_cast<size_t>(s)] = f.msgoff;
    gi->msgfld[static_cast<size_t>(s)] = f.edition == 2 ? f.fieldno : 0;
  }
  pfi_->trecs = recs;
  return true;
}

// A linear axis of n values from start by step, or a level list.
bool linaxisof(datafile* pfi, int d, double start, double step) {
  float* b = static_cast<float*>(std::malloc(6 * sizeof(float)));
  if (!b) return false;
  b[0] = static_cast<float>(step);
  b[1] = static_cast<float>(start - step);
  b[2] = AXEND;
  b[3] = static_cast<float>(1.0 / step);
  b[4] = static_cast<float>(-(start - step) / step);
  b[5] = AXEND;
  std::free(pfi->grvals[d]);
  pfi->grvals[d] = b;
  pfi->abvals[d] = b + 3;
  pfi->gr2ab[d] = liconv;
  pfi->ab2gr[d] = liconv;
  pfi->linear[d] = 1;
  return true;
}

bool levaxisof(datafile* pfi, int d, const std::vector<double>& v) {
  if (v.size() == 1) return linaxisof(pfi, d, v[0], 1.0);
  float* b = static_cast<float*>(std::malloc((v.size() + 2) * sizeof(float)));
  if (!b) return false;
  b[0] = static_cast<float>(v.size());
  for (size_t i = 0; i < v.size(); i++) b[i + 1] = static_cast<float>(v[i]);
  b[v.size() + 1] = AXEND;
  std::free(pfi->grvals[d]);
  pfi->grvals[d] = b;
  pfi->abvals[d] = b;
  pfi->gr2ab[d] = gr2lev;
  pfi->ab2gr[d] = lev2gr;
  pfi->linear[d] = 0;
  return true;
}

bool builder::setaxes() {
  datafile* p = pfi_;
  p->dnum[0] = axes_.nx;
  p->dnum[1] = axes_.ny;
  p->dnum[2] = ztype_ < 0 ? 1 : static_cast<int>(zlevs_.size());
  p->dnum[3] = tax_.size;
  bool ok = linaxisof(p, 0, axes_.lon0, axes_.dlon);
  ok = ok && (axes_.ylinear ? linaxisof(p, 1, axes_.lat0, axes_.dlat) : levaxisof(p, 1, axes_.lats));
  ok = ok && (ztype_ < 0 ? linaxisof(p, 2, 0.0, 1.0) : levaxisof(p, 2, zlevs_));
  float* tv = static_cast<float*>(std::malloc(TAXIS_FLOATS * sizeof(float)));
  if (!ok || !tv) {
    std::free(tv);
    omprnt(0, "Open Error:  Memory allocation Error in omddes\n");
    return false;
  }
  const datetime& t0 = tax_.times[0];
  const float t[TAXIS_FLOATS] = {static_cast<float>(t0.yr), static_cast<float>(t0.mo), static_cast<float>(t0.dy),
                                 static_cast<float>(t0.hr), static_cast<float>(t0.mn), static_cast<float>(tax_.months),
                                 static_cast<float>(tax_.months ? 0 : tax_.minutes), AXEND};
  std::memcpy(tv, t, sizeof t);
  std::free(p->grvals[3]);
  p->grvals[3] = p->abvals[3] = tv;
  p->gr2ab[3] = p->ab2gr[3] = nullptr;
  p->linear[3] = 1;
  if (tax_.dated && !taxdates(tv, tax_.times)) {
    omprnt(0, "Open Error:  the times of the GRIB file do not fit a time axis\n");
    return false;
  }
  p->wrap = axes_.wrap ? 1 : 0;
  p->yrflg = g1scan_ == 0 ? 1 : 0;
  if (axes_.projected) {
    std::string why;
    if (g2pdef(gridof_->g2, p, &why)) {
      omprnt(0, "Open Error:  the grid of the GRIB file cannot be shown: " + why + "\n");
      return false;
    }
  }
  return true;
}

void builder::notes() {
  std::vector<std::string>& n = pfi_->notes;
  int g1 = 0, g2 = 0;
  for (const gribfld& f : scan_.fields) (f.edition == 2 ? g2 : g1)++;
  std::string eds = g1 && g2 ? "GRIB1 and GRIB2" : g2 ? "GRIB2" : "GRIB1";
  auto count = [](size_t k, const char* what) { return std::to_string(k) + " " + what + (k == 1 ? "" : "s"); };
  n.push_back("GRIB file scanned: " + count(scan_.messages, "message") + " (" + eds + "), " +
              count(taken_, "field") + " taken");
  n.push_back("Grid: " + gridtext(gridof_->g2.grid) + (axes_.projected ? ", shown on a longitude-latitude grid" : ""));
  if (ztype_ >= 0) {
    std::string u = shownunits(ztype_);
    n.push_back("Z: " + leveltext(ztype_) + (u.empty() ? "" : " (" + u + ")"));
  }
  if (case_ == 1) {
    std::string st = spantext(step_, false);
    n.push_back("T: the reference times; every field is valid " + st + " after its time");
  } else {
    n.push_back(case_ == 2 ? "T: the valid times, each from the latest forecast that gives it"
                           : "T: the valid times (reference time plus forecast step)");
  }
  for (const gribskip& s : scan_.skips) n.push_back("Skipped " + skiptext(s));
  for (const std::string& why : out_.order) {
    std::vector<int> m = out_.why[why];
    std::sort(m.begin(), m.end());
    const size_t nf = out_.fields[why];
    n.push_back("Left out " + (nf == m.size() ? count(m.size(), "message") : count(nf, "field") + " of " + count(m.size(), "message")) +
                " (" + msgranges(m) + "): " + why);
  }
}

int builder::run() {
  if (!choosegrid()) {
    omprnt(0, "Open Error:  no field of the GRIB file can be shown\n");
    for (const gribskip& s : scan_.skips) omprnt(0, "  " + skiptext(s) + "\n");
    std::set<std::string> said;
    for (const gribfld& f : scan_.fields)
      if (!f.unread.empty() && said.insert(f.unread).second)
        omprnt(0, "  message " + std::to_string(f.msgno) + ": " + f.unread + "\n");
    for (const std::string& why : out_.order)
      omprnt(0, "  message " + std::to_string(out_.why[why].front()) + ": " + why + "\n");
    return 1;
  }
  for (const gribfld& f : scan_.fields) {
    std::string why;
    if (!ongrid(f, &why)) {
      out_.add(why, f.msgno);
      continue;
    }
    fields_.push_back({&f, levelof(f)});
  }
  choosez();
  makevars();
  namevars();
  if (!maketimes() || !fillindex() || !setaxes()) return 1;
  datafile* p = pfi_;
  p->name = name_;
  p->dnam = name_;
  p->type = 1;
  p->bgrib = 1;
  p->grbgrd = -999;
  p->undef = kUndef;
  const float d = std::fabs(kUndef / 100000.0f);
  p->ulow = kUndef - d;
  p->uhi = kUndef + d;
  p->gsiz = static_cast<int64_t>(axes_.nx) * axes_.ny;
  p->tsiz = p->gsiz * p->trecs;
  p->pvar1.clear();
  for (const varinfo& v : vars_) {
    filevar fv;
    fv.abbrv = v.name;
    fv.varnm = v.text;
    fv.levels = v.levels;
    fv.recoff = v.recoff;
    const gribfld& f = *v.first;
    if (f.edition == 2) {
      fv.g2.disc = f.disc;
      fv.g2.cat = f.cat;
      fv.g2.num = f.num;
      fv.g2.ltype = f.ltype;
      fv.g2.haslev = !v.key.zvar && v.lev.has && !v.lev.has2;
      fv.g2.lev = v.lev.value;
      fv.g2.stat = f.stat;
      fv.g2.member = f.member;
      if (f.stat >= 0 && !v.key.fromstart && v.period.months == 0) fv.g2.period = v.period.minutes / 60.0;
      fv.units[0] = f.disc;
      fv.units[1] = f.cat;
      fv.units[2] = f.num;
      fv.units[3] = f.ltype;
    } else {
      fv.units[0] = f.num;
      fv.units[1] = f.ltype;
      if (!v.key.zvar) fv.units[2] = f.g1level;
      if (f.stat >= 0 && !v.key.zvar) fv.units[3] = f.tri;
    }
    p->pvar1.push_back(fv);
  }
  p->vnum = static_cast<int>(p->pvar1.size());
  int g1 = 0, g2 = 0;
  for (const placed& f : fields_) (f.f->edition == 2 ? g2 : g1)++;
  p->title = g1 && g2 ? "GRIB file of editions 1 and 2" : g2 ? "GRIB edition 2 file" : "GRIB edition 1 file";
  notes();
  return 0;
}

}  // namespace

griblev gribshownlev(const gribfld& f) {
  griblev l;
  // A surface whose value is 0 and whose type is one of those that need
  // none (the ground, cloud base, mean sea level, bottoms and tiles, the
  // centres' own) has no level to tell apart.
  auto valued = [](int type, double v) { return v != 0.0 || !(type < 20 || type == 101 || type >= 162); };
  if (f.edition == 2) {
    l.type = f.ltype;
    l.has = f.haslevel && f.ltype != 255 && valued(f.ltype, f.level);
    l.value = l.has ? shown(f.ltype, f.level) : 0.0;
    l.type2 = f.ltype2;
    l.has2 = l.has && f.haslevel2 && f.ltype2 != 255;
    l.value2 = l.has2 ? shown(f.ltype2, f.level2) : 0.0;
    return l;
  }
  for (const g1type& m : kG1Types) {
    if (m.g1 != f.ltype) continue;
    l.type = m.g2;
    l.has = f.haslevel && valued(m.g2, f.level);
    l.value = l.has ? shown(m.g2, f.level * m.scale) : 0.0;
    return l;
  }
  l.type = 1000 + f.ltype;
  l.has = f.haslevel;
  l.value = f.level;
  l.type2 = l.type;
  l.has2 = f.haslevel2;
  l.value2 = f.level2;
  return l;
}

bool gribnamed(const char* name) {
  FILE* f = omfdata(name);
  if (!f) return false;
  bool g = isgribfile(f);
  std::fclose(f);
  return g;
}

int omgribopen(const char* name, datafile* pfi) {
  const std::string shown = replshownname(name);
  FILE* f = omfdata(name);
  if (!f) {
    int e = errno;
    omprnt(0, "Open Error:  Can't open GRIB file " + shown + "\n");
    omprnt(0, omopennote(e));
    return 1;
  }
  gribscanres scan;
  std::string why;
  if (gribscan(f, &scan, &why) || gribdataset(name, scan, pfi)) {
    if (!why.empty()) omprnt(0, "Open Error:  Can't read GRIB file " + shown + ": " + why + "\n");
    std::fclose(f);
    return 1;
  }
  if (omcalcheck(pfi)) {
    std::fclose(f);
    return 1;
  }
  pfi->infile = f;
  std::string missing = gribtabmissing();
  if (!missing.empty())
    omprnt(1, "Warning:  no GRIB parameter table " + replshownname(missing) + "; names are made from the numbers\n");
  for (const std::string& n : pfi->notes) omprnt(2, "  " + n + "\n");
  return 0;
}

int gribdataset(const std::string& name, const gribscanres& scan, datafile* pfi) {
  try {
    builder b(name, scan, pfi);
    return b.run();
  } catch (const std::bad_alloc&) {
    omprnt(0, "Open Error:  Memory allocation Error in omddes\n");
    return 1;
  }
}
