// Axis conversion routines and the builders of linear and level-list axes.
#include "data/axisconv.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "base/omprnt.h"
#include "base/words.h"
#include "data/datafile.h"
#include "data/datetime.h"
#include "data/textfile.h"

double liconv(float* vals, double v) {
  float r = vals[0] * static_cast<float>(v) + vals[1];
  return r;
}

namespace {

int levcount(const float* vals) { return static_cast<int>(vals[0] + 0.1f); }

}  // namespace

double gr2lev(float* vals, double g) {
  int n = levcount(vals);
  if (n < 1) return g;
  const float* v = vals;  // v[1] .. v[n]
  if (n == 1) return v[1];
  if (g < 1.0) return v[1] + (1.0 - g) * (v[1] - v[2]);
  if (g > n) return v[n] + (g - n) * (v[n] - v[n - 1]);
  int i = static_cast<int>(g);
  if (i >= n) return v[n];
  return v[i] + (g - i) * (v[i + 1] - v[i]);
}

// Equal adjacent levels give no slope: a value on them maps to the first
// of them, and extrapolation along a flat end interval stays at the end.
double lev2gr(float* vals, double w) {
  int n = levcount(vals);
  if (n < 1) return w;
  const float* v = vals;
  if (n == 1) return 1.0;
  for (int i = 1; i < n; i++) {
    double lo = v[i], hi = v[i + 1];
    if ((w >= lo && w <= hi) || (w <= lo && w >= hi)) {
      if (hi == lo) return i;
      return i + (w - lo) / (hi - lo);
    }
  }
  bool rising = v[1] < v[n];
  if ((rising && w < v[1]) || (!rising && w > v[1])) {
    if (v[2] == v[1]) return 1.0;
    return 1.0 + (w - v[1]) / (static_cast<double>(v[2]) - v[1]);
  }
  if (v[n] == v[n - 1]) return n;
  return n + (w - v[n]) / (static_cast<double>(v[n]) - v[n - 1]);
}

namespace {

void dimerr(const char* what) {
  omprnt(0, "Open Error:  Missing or invalid dimension");
  omprnt(0, what);
}

}  // namespace

int linaxis(const char* ch, int dim, int unitflag, axisdef* ax) {
  *ax = axisdef();
  float start = 0, incr = 1;
  const char* p = nxtwrd(ch);
  if (p == nullptr || valprs(p, &start) == nullptr) {
    dimerr(" starting value\n");
    return 1;
  }
  if (!unitflag) {
    p = nxtwrd(p);
    if (p == nullptr || valprs(p, &incr) == nullptr) {
      dimerr(" increment value\n");
      return 1;
    }
  }
  // A zero increment would make the world-to-grid half infinite; x and y
  // must also rise.
  if (incr == 0.0f || (dim < 2 && incr < 0.0f)) {
    dimerr(" increment value\n");
    return 1;
  }
  float* vals = static_cast<float*>(std::malloc(6 * sizeof(float)));
  if (vals == nullptr) return -1;
  vals[0] = incr;
  vals[1] = start - incr;
  vals[2] = AXEND;
  vals[3] = 1.0f / incr;
  vals[4] = -1.0f * (start - incr) / incr;
  vals[5] = AXEND;
  ax->gr2ab = vals;
  ax->ab2gr = vals + 3;
  ax->gr2abfn = liconv;
  ax->ab2grfn = liconv;
  ax->linear = 1;
  return 0;
}

int levaxis(const char* ch, int n, std::string& rec, FILE* descr, axisdef* ax) {
  *ax = axisdef();
  if (n < 2) {
    omprnt(0, "Open Error:  Invalid number of levels\n");
    return 1;
  }
  // The list grows with the values read: the count is only the
  // descriptor's claim, and a huge one must end at the end of the values,
  // not in an allocation of that size before the first of them.
  std::vector<float> got;
  const char* pos = ch;
  try {
    for (int i = 1; i <= n; i++) {
      const char* p = nxtwrd(pos);
      if (p == nullptr) {
        int rc = descr == nullptr ? TL_EOF : rdtxtline(descr, rec);
        if (rc == TL_LONG) {
          omprnt(0, "Open Error:  Description file line too long\n");
          return 1;
        }
        if (rc == TL_EOF) {
          omprnt(0, "Open Error:  Unexpected EOF reading descriptor file\n");
          omprnt(0, "   EOF occurred reading LEVELS values\n");
          return 1;
        }
        if (!rec.empty() && rec.back() == '\r') rec.pop_back();
        p = rec.c_str();
        while (*p == ' ' || *p == '\t') p++;
        if (*p == '\0') {
          omprnt(0, "Open Error:  Blank Record found in LEVELS data\n");
          return 1;
        }
      }
      float v;
      if (valprs(p, &v) == nullptr) {
        omprnt(0, "Open Error:  Invalid value in LEVELS data\n");
        return 1;
      }
      got.push_back(v);
      pos = p;
    }
  } catch (const std::bad_alloc&) {
    return -1;
  }
  float* vals = static_cast<float*>(std::malloc((static_cast<size_t>(n) + 5) * sizeof(float)));
  if (vals == nullptr) return -1;
  vals[0] = static_cast<float>(n);
  std::memcpy(vals + 1, got.data(), got.size() * sizeof(float));
  vals[n + 1] = AXEND;
  vals[n + 2] = vals[n + 3] = vals[n + 4] = 0.0f;
  ax->gr2ab = vals;
  ax->ab2gr = vals;
  ax->gr2abfn = gr2lev;
  ax->ab2grfn = lev2gr;
  ax->linear = 0;
  return 0;
}

float* cpscal(const float* vals, int lin, int dir, int dim) {
  if (dim < 0 || vals == nullptr) return nullptr;
  size_t used, room;
  if (dim == 3) {
    used = room = TAXIS_FLOATS;
  } else if (lin == 1) {
    used = room = 3;
  } else {
    // A level list: the count, its values and the end mark.  Latitude
    // tables are allocated tighter than lists read from a descriptor, so
    // only what the list holds is copied.
    float cnt = vals[0];
    if (!(cnt >= 0.0f && cnt < 1e8f)) return nullptr;
    size_t n = static_cast<size_t>(cnt + 0.5f);
    used = n + 2;
    room = n + 5;
  }
  float* copy = static_cast<float*>(std::calloc(room, sizeof(float)));
  if (copy == nullptr) return nullptr;
  std::memcpy(copy, vals, used * sizeof(float));
  return copy;
}

namespace {

void storeaxis(datafile* pfi, int dim, const axisdef& ax) {
  pfi->grvals[dim] = ax.gr2ab;
  pfi->abvals[dim] = ax.ab2gr;
  pfi->gr2ab[dim] = ax.gr2abfn;
  pfi->ab2gr[dim] = ax.ab2grfn;
  pfi->linear[dim] = ax.linear;
}

}  // namespace

int deflin(const char* ch, datafile* pfi, int dim, int unitflag) {
  if (dim < 0 || dim > 2) return 1;
  axisdef ax;
  int rc = linaxis(ch, dim, unitflag, &ax);
  if (rc == 0) storeaxis(pfi, dim, ax);
  return rc;
}

int deflev(const char* ch, std::string& rec, FILE* descr, datafile* pfi, int dim) {
  if (dim < 0 || dim > 2) return 1;
  if (pfi->dnum[dim] == 1) return deflin(ch, pfi, dim, 1);
  axisdef ax;
  int rc = levaxis(ch, pfi->dnum[dim], rec, descr, &ax);
  if (rc == 0) storeaxis(pfi, dim, ax);
  return rc;
}
