// Pre-projected grids: the pdef record, the per-point source positions
// and weights computed once per data set, and the interpolating reader.
#include "data/pdef.h"

#include <cfloat>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "base/omprnt.h"
#include "base/replsig.h"
#include "base/useropen.h"
#include "base/words.h"
#include "data/byteorder.h"
#include "data/datafile.h"
#include "data/fnmexp.h"
#include "data/gribread.h"
#include "data/gridres.h"
#include "data/omggrd.h"
#include "data/rawread.h"

namespace {

struct pdmethod {
  const char* word;
  int code;
  int wrot;
  int nparm;
};
const pdmethod kMethods[] = {
    {"nps", PD_NPS, 1, 4},  {"sps", PD_SPS, 1, 4},     {"lcc", PD_LCC, 0, 9},
    {"eta.u", PD_ETAU, 1, 4}, {"pse", PD_PSE, 0, 7},  {"ops", PD_OPS, 0, 8},
    {"bilin", PD_BILIN, 1, 0}, {"file", PD_FILE, 1, 1},
};

int badpdef(datafile* pfi) {
  pfi->ppflag = 0;
  omprnt(0, "Open Error: Invalid pdef record.\n");
  return 1;
}

// A positive size followed by a blank.
const char* pdsize(const char* p, int* n) {
  if (!p) return nullptr;
  const char* q = intprs(p, n);
  if (!q || (*q != ' ' && *q != '\t') || *n < 1) return nullptr;
  return q;
}

bool wordend(const char* q) { return *q == '\0' || *q == ' ' || *q == '\t' || *q == '\n'; }

// The point count of the file method (its first parameter), -1 for a
// value no count can be (negative, huge, NaN): it comes from the record.
int nwords(const datafile* pfi) {
  const float v = pfi->ppvals[0] + 0.1f;
  return v >= 0.0f && v < 1000.0f ? static_cast<int>(v) : -1;
}

// Reads n 4-byte words of one array, between markers when sequential.
bool rdarr(FILE* f, void* dst, int64_t n, int acc, bool swap) {
  unsigned char mark[4];
  if (acc == 2 && std::fread(mark, 1, 4, f) != 4) return false;
  if (std::fread(dst, 4, static_cast<size_t>(n), f) != static_cast<size_t>(n)) return false;
  if (acc == 2 && std::fread(mark, 1, 4, f) != 4) return false;
  if (swap) ombswp(dst, static_cast<size_t>(n));
  return true;
}

// The weight file's words are in the other byte order than the host's.
bool wswap(int fmt) { return omhostle() ? fmt == 2 : fmt == 3; }

bool anyangle(const std::vector<float>& w) {
  for (float a : w)
    if (std::fabs(a) > 1e-5f) return true;
  return false;
}

// Lower-left native position of a fractional native point, -1 outside.
int lowleft(const datafile* pfi, double gi, double gj, float* wx, float* wy) {
  // Comparisons in floating point first: NaN or far-off positions never
  // reach the integer conversion.
  if (!(gi >= 1.0 && gi < pfi->ppisiz && gj >= 1.0 && gj < pfi->ppjsiz)) {
    *wx = *wy = 0.0f;
    return -1;
  }
  int i0 = static_cast<int>(gi), j0 = static_cast<int>(gj);
  *wx = static_cast<float>(gi - i0);
  *wy = static_cast<float>(gj - j0);
  if (i0 > pfi->ppisiz - 1 || j0 > pfi->ppjsiz - 1) return -1;
  return (j0 - 1) * pfi->ppisiz + i0 - 1;
}

int ioerr() {
  omprnt(0, "Open Error:  I/O Error on pdef file read\n");
  return 1;
}

// Whether the weight file holds narr arrays of n words (each between two
// markers when sequential) from where it stands: the arrays are sized by
// the target grid, and a file too short for them is refused before they
// are made.
bool wholds(FILE* f, int acc, int64_t narr, int64_t n) {
  return fholds(f, static_cast<int64_t>(ftello(f)), narr * (4 * n + (acc == 2 ? 8 : 0)));
}

int rdbilin(datafile* pfi, int acc, bool swap, int64_t n) {
  FILE* f = pfi->ppfile;
  if (!f) return ioerr();
  if (!rdarr(f, pfi->ppf[0].data(), n, acc, swap) || !rdarr(f, pfi->ppf[1].data(), n, acc, swap) ||
      !rdarr(f, pfi->ppw.data(), n, acc, swap))
    return ioerr();
  for (int64_t k = 0; k < n; k++) {
    float ip = pfi->ppf[0][k], jp = pfi->ppf[1][k];
    if (ip < 0.0f) {
      pfi->ppi[0][k] = -1;
      continue;
    }
    pfi->ppi[0][k] = lowleft(pfi, ip, jp, &pfi->ppf[0][k], &pfi->ppf[1][k]);
  }
  pfi->ppwrot = anyangle(pfi->ppw) ? 1 : 0;
  return 0;
}

int rdfile(datafile* pfi, int acc, bool swap, int64_t n) {
  FILE* f = pfi->ppfile;
  const int nw = nwords(pfi);
  if (!f || !wholds(f, acc, 2 * nw + 1, n)) return ioerr();
  for (int w = 0; w < nw; w++) {
    pfi->ppi[w].assign(static_cast<size_t>(n), 0);
    pfi->ppf[w].assign(static_cast<size_t>(n), 0.0f);
    if (!rdarr(f, pfi->ppi[w].data(), n, acc, swap) || !rdarr(f, pfi->ppf[w].data(), n, acc, swap))
      return ioerr();
  }
  pfi->ppw.assign(static_cast<size_t>(n), 0.0f);
  if (!rdarr(f, pfi->ppw.data(), n, acc, swap)) return ioerr();
  pfi->ppwrot = anyangle(pfi->ppw) ? 1 : 0;
  return 0;
}

void projpts(datafile* pfi) {
  const int nx = pfi->dnum[0], ny = pfi->dnum[1];
  const double pi = std::acos(-1.0);
  const float* pv = pfi->ppvals;
  for (int j = 1; j <= ny; j++) {
    float lat = static_cast<float>(pfi->gr2ab[1](pfi->grvals[1], j));
    for (int i = 1; i <= nx; i++) {
      float lon = static_cast<float>(pfi->gr2ab[0](pfi->grvals[0], i));
      const size_t k = static_cast<size_t>(j - 1) * nx + (i - 1);
      float gi = -1.0f, gj = -1.0f, ang = 0.0f;
      switch (pfi->ppflag) {
        case PD_LCC: ll2lc(pv, lat, lon, &gi, &gj); break;
        case PD_ETAU: ll2eg(pfi->ppisiz, pfi->ppjsiz, pv, lon, lat, &gi, &gj, &ang); break;
        case PD_PSE: ll2pse(pfi->ppisiz, pfi->ppjsiz, pv, lon, lat, &gi, &gj); break;
        case PD_OPS: ll2ops(pv, lon, lat, &gi, &gj); break;
        default: {  // nps, sps
          float xi, xj;
          w3fb04(lat, -lon, pv[3], -pv[2], &xi, &xj);
          gi = xi + pv[0];
          gj = xj + pv[1];
          ang = static_cast<float>((pv[2] - lon) * pi / 180.0);
          if (pfi->ppflag == PD_SPS) ang = static_cast<float>(pi - ang);
        }
      }
      if (pfi->ppwrot) pfi->ppw[k] = ang;
      pfi->ppi[0][k] = lowleft(pfi, gi, gj, &pfi->ppf[0][k], &pfi->ppf[1][k]);
    }
  }
}

}  // namespace

int ompdprs(const char* rec, const char* mrec, const char* dname, datafile* pfi) {
  int isz, jsz;
  const char* p = nxtwrd(rec);
  if (!pdsize(p, &isz)) return badpdef(pfi);
  p = nxtwrd(p);
  if (!pdsize(p, &jsz)) return badpdef(pfi);
  p = nxtwrd(p);
  if (!p) return badpdef(pfi);
  const pdmethod* m = nullptr;
  for (const pdmethod& c : kMethods)
    if (cmpwrd(c.word, p)) m = &c;
  if (!m) return badpdef(pfi);
  // Native positions are held as 4-byte ints.
  if (static_cast<int64_t>(isz) * jsz > INT32_MAX) return badpdef(pfi);
  pfi->ppisiz = isz;
  pfi->ppjsiz = jsz;
  pfi->ppflag = m->code;
  pfi->ppwrot = m->wrot;
  for (float& v : pfi->ppvals) v = 0.0f;
  for (int i = 0; i < m->nparm; i++) {
    p = nxtwrd(p);
    const char* q = p ? valprs(p, &pfi->ppvals[i]) : nullptr;
    if (!q || !wordend(q)) return badpdef(pfi);
  }
  if (m->code == PD_FILE && (nwords(pfi) < 1 || nwords(pfi) > 8)) return badpdef(pfi);
  if (m->code != PD_BILIN && m->code != PD_FILE) return 0;
  p = nxtwrd(p);
  if (!p) return badpdef(pfi);
  if (cmpwrd("stream", p)) pfi->ppacc = 1;
  else if (cmpwrd("sequential", p)) pfi->ppacc = 2;
  else return badpdef(pfi);
  p = nxtwrd(p);
  if (!p) return badpdef(pfi);
  if (cmpwrd("binary", p)) pfi->ppfmt = 1;
  else if (cmpwrd("binary-big", p)) pfi->ppfmt = 2;
  else if (cmpwrd("binary-little", p)) pfi->ppfmt = 3;
  else if (cmpwrd("packed", p)) pfi->ppfmt = 4;
  else return badpdef(pfi);
  p = nxtwrd(p);
  if (!p) return badpdef(pfi);
  // The name keeps the case it was written in, like the data file name.
  const char* mp = mrec + (p - rec);
  std::string nm;
  if (*mp == '^' || *mp == '$') fnmexp(nm, mp, dname);
  else nm = wrdstr(mp);
  pfi->ppfname = nm;
  if (pfi->ppfile) std::fclose(pfi->ppfile);
  pfi->ppfile = omfdata(nm.c_str());
  if (!pfi->ppfile) {
    int e = errno;
    omprnt(0, "Error opening pdef file\n");
    omprntf(0, "  File name is:  %s\n", replshownname(nm).c_str());
    omprnt(0, omopennote(e));
    return badpdef(pfi);
  }
  return 0;
}

int omppcn(datafile* pfi, int acc, int fmt) {
  const int64_t n = static_cast<int64_t>(pfi->dnum[0]) * pfi->dnum[1];
  if (pfi->ppflag < PD_NPS || pfi->ppflag > PD_FILE) return 0;
  if (pfi->ppflag != PD_BILIN && pfi->ppflag != PD_FILE &&
      (!pfi->gr2ab[0] || !pfi->gr2ab[1] || !pfi->grvals[0] || !pfi->grvals[1])) {
    omprnt(0, "Open Error: Invalid pdef record.\n");
    return 1;
  }
  // The arrays hold a value per target point, as a grid of the data set
  // does: a target grid beyond the size a grid may have is refused as if
  // memory had run out.
  if (n > static_cast<int64_t>(omgcap() / sizeof(float))) {
    omprnt(0, "Open Error:  Memory allocation error in pdef handler\n");
    return 1;
  }
  try {
    if (pfi->ppflag == PD_FILE) return rdfile(pfi, acc, wswap(fmt), n);
    if (pfi->ppflag == PD_BILIN && (!pfi->ppfile || !wholds(pfi->ppfile, acc, 3, n)))
      return ioerr();
    pfi->ppi[0].assign(static_cast<size_t>(n), -1);
    pfi->ppf[0].assign(static_cast<size_t>(n), 0.0f);
    pfi->ppf[1].assign(static_cast<size_t>(n), 0.0f);
    if (pfi->ppwrot || pfi->ppflag == PD_BILIN) pfi->ppw.assign(static_cast<size_t>(n), 0.0f);
    if (pfi->ppflag == PD_BILIN) return rdbilin(pfi, acc, wswap(fmt), n);
  } catch (const std::bad_alloc&) {
    omprnt(0, "Open Error:  Memory allocation error in pdef handler\n");
    return 1;
  }
  projpts(pfi);
  return 0;
}

int ompdfill(datafile* pfi, ompdposfn pos, const void* ctx) {
  const int nx = pfi->dnum[0], ny = pfi->dnum[1];
  const int64_t n = static_cast<int64_t>(nx) * ny;
  if (!pfi->gr2ab[0] || !pfi->gr2ab[1] || !pfi->grvals[0] || !pfi->grvals[1] ||
      n > static_cast<int64_t>(omgcap() / sizeof(float))) {
    omprnt(0, "Open Error:  Memory allocation error in pdef handler\n");
    return 1;
  }
  pfi->ppflag = PD_BILIN;
  try {
    pfi->ppi[0].assign(static_cast<size_t>(n), -1);
    pfi->ppf[0].assign(static_cast<size_t>(n), 0.0f);
    pfi->ppf[1].assign(static_cast<size_t>(n), 0.0f);
    pfi->ppw.assign(static_cast<size_t>(n), 0.0f);
  } catch (const std::bad_alloc&) {
    omprnt(0, "Open Error:  Memory allocation error in pdef handler\n");
    return 1;
  }
  for (int j = 1; j <= ny; j++) {
    const double lat = pfi->gr2ab[1](pfi->grvals[1], j);
    for (int i = 1; i <= nx; i++) {
      const double lon = pfi->gr2ab[0](pfi->grvals[0], i);
      const size_t k = static_cast<size_t>(j - 1) * nx + (i - 1);
      double gi = -1.0, gj = -1.0;
      float ang = 0.0f;
      pos(ctx, lon, lat, &gi, &gj, &ang);
      pfi->ppw[k] = ang;
      pfi->ppi[0][k] = lowleft(pfi, gi, gj, &pfi->ppf[0][k], &pfi->ppf[1][k]);
    }
  }
  pfi->ppwrot = anyangle(pfi->ppw) ? 1 : 0;
  return 0;
}

namespace {

// The native record of a binary longitude-latitude request, read whole
// once: interpolation reads values at scattered positions for every
// target point.
struct natcache {
  std::vector<float> v;
  long serial = -1;
  int64_t p0 = -1;
  bool on = false;   // the current request reads from v
};
natcache nc;

// 0 the record is in the cache (or the request does not use it), else the
// reader's error.
int natrec(int64_t p0, int64_t npts) {
  nc.on = false;
  // A native grid beyond the size a grid may have is read point by point.
  if (omreq.pfi->bgrib || !omreq.lonlat || npts > INT32_MAX ||
      npts > static_cast<int64_t>(omgcap() / sizeof(float)))
    return 0;
  if (nc.serial == omreq.serial && nc.p0 == p0) {
    nc.on = true;
    return 0;
  }
  nc.serial = -1;
  try {
    nc.v.assign(static_cast<size_t>(npts), 0.0f);
  } catch (const std::bad_alloc&) {
    return 0;  // too big to hold: read point by point
  }
  int rc = omread(p0, static_cast<int>(npts), nc.v.data());
  if (rc) return rc;
  nc.serial = omreq.serial;
  nc.p0 = p0;
  nc.on = true;
  return 0;
}

// Reads n native values at native position q (0-based) of the record.
int rdnat(int64_t p0, int64_t q, int z, int t, int n, float* v) {
  if (nc.on) {
    for (int i = 0; i < n; i++) v[i] = nc.v[static_cast<size_t>(q + i)];
    return 0;
  }
  if (omreq.pfi->bgrib) return omirow(0, 0, z, t, q, n, v);
  return omread(p0 + q, n, v);
}

bool isund(float v) { return v == omreq.gundef || v == omreq.pfi->undef; }

}  // namespace

int omprow(int x, int y, int z, int t, int t2, int count, float* gr) {
  const datafile* pfi = omreq.pfi;
  const filevar* pvr = omreq.pvr;
  // The native grid record of (z, t2); its headers are skipped like those
  // of any grid record.
  const int64_t p0 = static_cast<int64_t>(t2 - 1) * pfi->tsiz +
                     static_cast<int64_t>(z - 1) * pfi->gsiz + pvr->offset + pfi->xyhdr + pfi->thdr;
  const int64_t npts = static_cast<int64_t>(pfi->ppisiz) * pfi->ppjsiz;
  const int64_t n = static_cast<int64_t>(pfi->dnum[0]) * pfi->dnum[1];
  const int64_t k0 = static_cast<int64_t>(y - 1) * pfi->dnum[0] + x - 1;
  const float und = omreq.gundef;
  int rc0 = natrec(p0, npts);
  if (rc0) return rc0;
  for (int c = 0; c < count; c++) {
    const int64_t k = k0 + c;
    gr[c] = und;
    if (k < 0 || k >= n) continue;
    if (pfi->ppflag != PD_FILE) {
      if (pfi->ppi[0].size() < static_cast<size_t>(n)) continue;
      const int q = pfi->ppi[0][k];
      if (q < 0 || q + static_cast<int64_t>(pfi->ppisiz) + 1 >= npts) continue;
      float v[4];
      int rc = rdnat(p0, q, z, t, 2, v);
      if (!rc) rc = rdnat(p0, q + pfi->ppisiz, z, t, 2, v + 2);
      if (rc) return rc;
      if (isund(v[0]) || isund(v[1]) || isund(v[2]) || isund(v[3])) continue;
      const float wx = pfi->ppf[0][k], wy = pfi->ppf[1][k];
      float lo = v[0] + (v[1] - v[0]) * wx;
      float hi = v[2] + (v[3] - v[2]) * wx;
      // Weights read from a file may be no number or far beyond [0, 1]:
      // what they make of the values is then no value.
      float r = lo + (hi - lo) * wy;
      if (std::fabs(r) <= FLT_MAX) gr[c] = r;
      continue;
    }
    const int nw = nwords(pfi);
    bool bad = false;
    for (int w = 0; w < nw && !bad; w++) {
      int q = pfi->ppi[w][k];
      if (q < -900 || q == 0 || q > npts) bad = true;
    }
    if (bad) continue;
    double sum = 0.0, wsum = 0.0;
    for (int w = 0; w < nw; w++) {
      int q = pfi->ppi[w][k];
      if (q < 0) continue;
      float v;
      int rc = rdnat(p0, q - 1, z, t, 1, &v);
      if (rc) return rc;
      if (isund(v)) {
        bad = true;
        break;
      }
      sum += static_cast<double>(pfi->ppf[w][k]) * v;
      wsum += pfi->ppf[w][k];
    }
    if (bad || wsum == 0.0) continue;
    const double r = sum / wsum;
    if (std::fabs(r) <= FLT_MAX) gr[c] = static_cast<float>(r);
  }
  return 0;
}
