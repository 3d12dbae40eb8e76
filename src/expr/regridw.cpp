// Regridding weights (see regridw.h).
#include "expr/regridw.h"

#include "base/cmnstate.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kDeg = M_PI / 180.0;

long made = 0;

// The longitudes of a grid as used: how many columns count (a last one
// that repeats the first 360 degrees on is left out) and whether they go
// round the globe.
struct lonaxis {
  const std::vector<double>* c;
  size_t n;
  bool wraps;
};

lonaxis lonsof(const std::vector<double>& lon) {
  lonaxis a{&lon, lon.size(), false};
  const size_t n = lon.size();
  if (n < 3) return a;
  const double mean = (lon[n - 1] - lon[0]) / static_cast<double>(n - 1);
  const double gap = lon[0] + 360.0 - lon[n - 1];
  if (std::fabs(gap) < 1e-3 * mean) {
    a.n = n - 1;
    a.wraps = true;
  } else if (gap > 0.0 && std::fabs(gap - mean) <= 0.5 * mean) {
    a.wraps = true;
  }
  return a;
}

// Leading columns that come again a turn later than they stand are
// counted once, at the end: they are left out of lon, and how many were is
// returned.
size_t onceround(std::vector<double>* lon) {
  const size_t n = lon->size();
  if (n < 3) return 0;
  const double tol = 1e-3 * ((*lon)[n - 1] - (*lon)[0]) / static_cast<double>(n - 1);
  size_t k = 0;
  while (k + 2 < n && (*lon)[k] + 360.0 < (*lon)[n - 1] - tol) k++;
  lon->erase(lon->begin(), lon->begin() + static_cast<long>(k));
  return k;
}

// Index of the last value of c[0..n) not above x (0 when none is).
size_t below(const std::vector<double>& c, size_t n, double x) {
  size_t k = static_cast<size_t>(std::upper_bound(c.begin(), c.begin() + static_cast<long>(n), x) - c.begin());
  return k == 0 ? 0 : k - 1;
}

// Appends one target's run of two source points k0, k1 weighted linearly
// for x between a and b.  A point of weight 0 is left out: it changes no
// sum, and a grid whose points fall on the source's reads half the rows.
void pushpair(rgruns* r, uint32_t k0, uint32_t k1, double x, double a, double b) {
  const double w = b > a ? (x - a) / (b - a) : 0.0;
  if (w != 1.0) {
    r->src.push_back(k0);
    r->w.push_back(1.0 - w);
  }
  if (w != 0.0) {
    r->src.push_back(k1);
    r->w.push_back(w);
  }
}

void closerun(rgruns* r) { r->first.push_back(static_cast<uint32_t>(r->src.size())); }

// Bilinear weights along longitude for each target longitude.
void bilinlon(const lonaxis& s, const std::vector<double>& t, rgruns* r) {
  const std::vector<double>& c = *s.c;
  const size_t n = s.n;
  r->first.assign(1, 0);
  for (double x : t) {
    if (s.wraps) {
      const double xs = x - 360.0 * std::floor((x - c[0]) / 360.0);
      const size_t k = below(c, n, xs);
      if (k + 1 < n)
        pushpair(r, static_cast<uint32_t>(k), static_cast<uint32_t>(k + 1), xs, c[k], c[k + 1]);
      else
        pushpair(r, static_cast<uint32_t>(k), 0, xs, c[k], c[0] + 360.0);
    } else {
      const double eps = 1e-9 * (1.0 + std::fabs(c[n - 1] - c[0]));
      for (double shift : {0.0, -360.0, 360.0}) {
        const double xs = x + shift;
        if (xs < c[0] - eps || xs > c[n - 1] + eps) continue;
        const size_t k = std::min(below(c, n, xs), n - 2);
        pushpair(r, static_cast<uint32_t>(k), static_cast<uint32_t>(k + 1), xs, c[k], c[k + 1]);
        break;
      }
    }
    closerun(r);
  }
}

// Whether a target latitude poleward of a global source's last row takes
// the mean of its nearest points: the source comes within one spacing of
// that pole.
bool capped(const std::vector<double>& lat, double y) {
  const size_t n = lat.size();
  if (y < lat[0]) return lat[0] + 90.0 <= lat[1] - lat[0] + 1e-9;
  if (y > lat[n - 1]) return 90.0 - lat[n - 1] <= lat[n - 1] - lat[n - 2] + 1e-9;
  return false;
}

double arc(double la1, double lo1, double la2, double lo2) {
  const double c = std::sin(la1) * std::sin(la2) + std::cos(la1) * std::cos(la2) * std::cos(lo1 - lo2);
  return std::acos(std::max(-1.0, std::min(1.0, c)));
}

// The four nearest source points of the polar rows to each point of target
// row jt, weighted by inverse distance (ties to the lower index).  Along a
// row the distance grows with the difference of longitude, so the four
// nearest of each row are among the four columns each side of the target's
// longitude; at the pole itself every point of the last row is as near,
// and its first four are taken.
void nearrow(const rggrid& s, size_t nxs, const rggrid& t, size_t jt, std::vector<rgnear>* out) {
  const size_t ny = s.lat.size();
  const bool south = t.lat[jt] < s.lat[0];
  const size_t rows[2] = {south ? 0 : ny - 1, south ? 1 : ny - 2};
  const bool pole = std::fabs(std::fabs(t.lat[jt]) - 90.0) < 1e-9;
  struct cand {
    double d;
    uint32_t k;
  };
  std::vector<cand> c;
  const double la = t.lat[jt] * kDeg;
  for (size_t it = 0; it < t.lon.size(); it++) {
    const double lo = t.lon[it] * kDeg;
    c.clear();
    if (pole) {
      for (size_t i = 0; i < 4; i++) c.push_back({0.0, static_cast<uint32_t>(rows[0] * nxs + i % nxs)});
    } else {
      const double x = t.lon[it] - 360.0 * std::floor((t.lon[it] - s.lon[0]) / 360.0);
      const long k = static_cast<long>(below(s.lon, nxs, x));
      for (size_t r : rows)
        for (long q = k - 3; q <= k + 4; q++) {
          const size_t i = static_cast<size_t>(((q % static_cast<long>(nxs)) + static_cast<long>(nxs)) %
                                               static_cast<long>(nxs));
          const uint32_t id = static_cast<uint32_t>(r * nxs + i);
          bool seen = false;
          for (const cand& e : c) seen = seen || e.k == id;
          if (!seen) c.push_back({arc(la, lo, s.lat[r] * kDeg, s.lon[i] * kDeg), id});
        }
      std::partial_sort(c.begin(), c.begin() + 4, c.end(),
                        [](const cand& a, const cand& b) { return a.d < b.d || (a.d == b.d && a.k < b.k); });
    }
    rgnear p{};
    p.target = static_cast<uint32_t>(jt * t.lon.size() + it);
    double sum = 0.0;
    for (int q = 0; q < 4; q++) {
      p.src[q] = c[static_cast<size_t>(q)].k;
      p.w[q] = pole ? 1.0 : c[0].d == 0.0 ? (q == 0 ? 1.0 : 0.0) : 1.0 / c[static_cast<size_t>(q)].d;
      sum += p.w[q];
    }
    for (double& w : p.w) w /= sum;
    out->push_back(p);
  }
}

void bilinlat(const rggrid& s, size_t nxs, bool wraps, const rggrid& t, rgweights* w) {
  const std::vector<double>& c = s.lat;
  const size_t n = c.size();
  const double eps = 1e-9 * (1.0 + c[n - 1] - c[0]);
  w->y.first.assign(1, 0);
  w->near.assign(t.lat.size(), 0);
  for (size_t j = 0; j < t.lat.size(); j++) {
    const double y = t.lat[j];
    if (y >= c[0] - eps && y <= c[n - 1] + eps) {
      const size_t k = std::min(below(c, n, y), n - 2);
      pushpair(&w->y, static_cast<uint32_t>(k), static_cast<uint32_t>(k + 1), y, c[k], c[k + 1]);
    } else if (wraps && capped(c, y)) {
      w->near[j] = 1;
      nearrow(s, nxs, t, j, &w->nearpts);
    }
    closerun(&w->y);
  }
}

// Cell edges of points c[0..n): half-way between points, the outer ones as
// far beyond as the inner ones, held to [lo, hi].  With wrap the edges go
// half-way across the gap to the first point 360 degrees on.
std::vector<double> edges(const std::vector<double>& c, size_t n, bool wrap, double lo, double hi) {
  std::vector<double> e(n + 1);
  for (size_t k = 1; k < n; k++) e[k] = 0.5 * (c[k - 1] + c[k]);
  if (wrap) {
    e[0] = 0.5 * (c[n - 1] - 360.0 + c[0]);
    e[n] = e[0] + 360.0;
  } else if (n == 1) {
    e[0] = lo;
    e[1] = hi;
  } else {
    e[0] = std::max(lo, c[0] - (e[1] - c[0]));
    e[n] = std::min(hi, c[n - 1] + (c[n - 1] - e[n - 1]));
  }
  return e;
}

// Adds to one target's run the overlaps of [a, b] with the source cells of
// edges e, measured by f.
template <class F>
void overlaps(const std::vector<double>& e, double a, double b, F f, std::vector<double>* acc,
              std::vector<uint32_t>* touched) {
  const size_t n = e.size() - 1;
  size_t k = below(e, n + 1, a);
  for (; k < n && e[k] < b; k++) {
    // An overlap of a billionth of the cell is an edge that meets another
    // but for rounding: no share of the cell.
    const double lo = std::max(a, e[k]), hi = std::min(b, e[k + 1]);
    if (hi - lo <= 1e-9 * (b - a)) continue;
    if ((*acc)[k] == 0.0) touched->push_back(static_cast<uint32_t>(k));
    (*acc)[k] += f(hi) - f(lo);
  }
}

void pushoverlaps(rgruns* r, std::vector<double>* acc, std::vector<uint32_t>* touched) {
  std::sort(touched->begin(), touched->end());
  for (uint32_t k : *touched) {
    r->src.push_back(k);
    r->w.push_back((*acc)[k]);
    (*acc)[k] = 0.0;
  }
  touched->clear();
  closerun(r);
}

void conslon(const lonaxis& s, const std::vector<double>& t, rgruns* r) {
  const std::vector<double> se = edges(*s.c, s.n, s.wraps, -1e300, 1e300);
  const lonaxis ta = lonsof(t);
  std::vector<double> te = edges(t, t.size(), ta.wraps && ta.n == t.size(), -1e300, 1e300);
  std::vector<double> acc(s.n, 0.0);
  std::vector<uint32_t> touched;
  auto id = [](double x) { return x; };
  r->first.assign(1, 0);
  for (size_t k = 0; k < t.size(); k++) {
    double a = te[k], b = te[k + 1];
    if (s.wraps) {
      const double shift = 360.0 * std::floor((a - se[0]) / 360.0);
      a -= shift;
      b -= shift;
      overlaps(se, a, b, id, &acc, &touched);
      if (b > se[s.n]) overlaps(se, a - 360.0, b - 360.0, id, &acc, &touched);
    } else {
      for (double shift : {0.0, -360.0, 360.0}) overlaps(se, a + shift, b + shift, id, &acc, &touched);
    }
    pushoverlaps(r, &acc, &touched);
  }
}

// Latitude edges of points c: as edges(), but an outer edge beyond 88
// degrees lies at the pole.  The last row of a Gaussian grid stops short of
// the pole by less than half its spacing: its cell is the cap round the
// pole, as the peers take it, not a ring that leaves the cap out.
std::vector<double> latedges(const std::vector<double>& c) {
  std::vector<double> e = edges(c, c.size(), false, -90.0, 90.0);
  if (e.front() < -88.0) e.front() = -90.0;
  if (e.back() > 88.0) e.back() = 90.0;
  return e;
}

void conslat(const std::vector<double>& s, const std::vector<double>& t, rgruns* r) {
  const std::vector<double> se = latedges(s);
  const std::vector<double> te = latedges(t);
  std::vector<double> acc(s.size(), 0.0);
  std::vector<uint32_t> touched;
  auto sine = [](double y) { return std::sin(y * kDeg); };
  r->first.assign(1, 0);
  for (size_t k = 0; k < t.size(); k++) {
    overlaps(se, te[k], te[k + 1], sine, &acc, &touched);
    pushoverlaps(r, &acc, &touched);
  }
}

std::shared_ptr<rgweights> makeweights(const rggrid& whole, const rggrid& t, int method) {
  auto w = std::make_shared<rgweights>();
  rggrid s = whole;
  w->x0 = onceround(&s.lon);
  const lonaxis sl = lonsof(s.lon);
  w->method = method;
  w->nxs = sl.n;
  w->nys = s.lat.size();
  w->nxt = t.lon.size();
  w->nyt = t.lat.size();
  if (method == RG_CONSERVE) {
    conslon(sl, t.lon, &w->x);
    conslat(s.lat, t.lat, &w->y);
    w->near.assign(w->nyt, 0);
  } else {
    bilinlon(sl, t.lon, &w->x);
    bilinlat(s, sl.n, sl.wraps, t, w.get());
  }
  for (size_t jt = 0; jt < w->nyt; jt++)
    w->maxrun = std::max<size_t>(w->maxrun, w->y.first[jt + 1] - w->y.first[jt]);
  made++;
  return w;
}

struct cached {
  rggrid s, t;
  int method;
  std::shared_ptr<const rgweights> w;
};

}  // namespace

std::shared_ptr<const rgweights> rgweightsfor(const rggrid& s, const rggrid& t, int method) {
  if (s.lon.size() < 2 || s.lat.size() < 2 || t.lon.empty() || t.lat.empty()) return nullptr;
  // A few pairs are kept, the one used last first: two fields regridded
  // in turn at every step of a loop make no weights after the first step.
  static std::vector<cached> cache;
  for (size_t k = 0; k < cache.size(); k++) {
    if (cache[k].method == method && cache[k].s == s && cache[k].t == t) {
      std::rotate(cache.begin(), cache.begin() + static_cast<long>(k), cache.begin() + static_cast<long>(k) + 1);
      return cache[0].w;
    }
  }
  std::shared_ptr<const rgweights> w = makeweights(s, t, method);
  if (cache.size() == 4) cache.pop_back();
  cache.insert(cache.begin(), cached{s, t, method, w});
  return w;
}

long rgmade() { return made; }

bool rgapply(const rgweights& w, const float* src, size_t sw, float undef, float* dst,
             std::vector<double>* work) {
  const size_t nxt = w.nxt;
  // Source rows carried to the target's longitudes (the weighted sum of a
  // row's defined points and the sum of their weights), kept while target
  // rows still use them: the rows of a target row rise, and so does the
  // first of them from one target row to the next, so a row before the
  // first of the current run is used no more.
  const size_t slots = std::max<size_t>(w.maxrun, 1);
  // The slots, then the sums of the target row being made.
  work->resize(2 * (slots + 1) * nxt);
  std::vector<long> held(slots, -1);
  auto carried = [&](uint32_t js, uint32_t first) -> size_t {
    size_t free = slots;
    for (size_t k = 0; k < slots; k++) {
      if (held[k] == static_cast<long>(js)) return k;
      if (free == slots && held[k] < static_cast<long>(first)) free = k;
    }
    const float* row = src + static_cast<size_t>(js) * sw + w.x0;
    double* n = work->data() + free * 2 * nxt;
    double* d = n + nxt;
    for (size_t it = 0; it < nxt; it++) {
      double a = 0.0, b = 0.0;
      for (uint32_t r = w.x.first[it]; r < w.x.first[it + 1]; r++) {
        const float v = row[w.x.src[r]];
        if (v == undef) continue;
        a += w.x.w[r] * v;
        b += w.x.w[r];
      }
      n[it] = a;
      d[it] = b;
    }
    held[free] = js;
    return free;
  };
  for (size_t jt = 0; jt < w.nyt; jt++) {
    if (omqsig()) return false;
    float* out = dst + jt * nxt;
    if (w.near[jt]) continue;
    const uint32_t r0 = w.y.first[jt], r1 = w.y.first[jt + 1];
    if (r0 == r1) {
      std::fill(out, out + nxt, undef);
      continue;
    }
    double* acc = work->data() + 2 * slots * nxt;
    std::fill(acc, acc + 2 * nxt, 0.0);
    for (uint32_t r = r0; r < r1; r++) {
      const size_t k = carried(w.y.src[r], w.y.src[r0]);
      const double* n = work->data() + k * 2 * nxt;
      const double* d = n + nxt;
      const double wy = w.y.w[r];
      for (size_t it = 0; it < nxt; it++) {
        acc[it] += wy * n[it];
        acc[nxt + it] += wy * d[it];
      }
    }
    for (size_t it = 0; it < nxt; it++)
      out[it] = acc[nxt + it] > 0.0 ? static_cast<float>(acc[it] / acc[nxt + it]) : undef;
  }
  for (const rgnear& p : w.nearpts) {
    double a = 0.0, b = 0.0;
    for (int q = 0; q < 4; q++) {
      const float v = src[(p.src[q] / w.nxs) * sw + w.x0 + p.src[q] % w.nxs];
      if (v == undef) continue;
      a += p.w[q] * v;
      b += p.w[q];
    }
    dst[p.target] = b > 0.0 ? static_cast<float>(a / b) : undef;
  }
  return true;
}
