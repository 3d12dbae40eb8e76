// Quality control of written fields: the area-weighted mean, deviation and
// range of each field against its limits from the parameter table, with a
// log of exceptions, and the close-time statistics of a file.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "base/useropen.h"
#include "lats/latsint.h"

namespace {

FILE* qclog = nullptr;

// "%4d%2d%2d%2d..." with the blanks turned into zeros.
std::string zeroed(const char* s) {
  std::string t(s);
  for (char& c : t)
    if (c == ' ') c = '0';
  return t;
}

bool openlog() {
  if (qclog) return true;
  const char* name = getenv("LATS_LOG");
  if (!name) name = "lats.log";
  qclog = omfopen(name, "ab");
  if (!qclog) {
    latsError("Cannot open log file: %s for append", replshownname(name).c_str());
    return false;
  }
  return true;
}

}  // namespace

void latsQCLogClose() {
  if (qclog) fclose(qclog);
  qclog = nullptr;
}

int latsStatVar(latsFile* f, latsVar* v, int levindex, int y, int m, int d, int h, const void* data) {
  (void)f;
  if (!lats_qc || v->parm.datatype == LATS_INT) return 1;
  if (levindex < 0 || levindex >= (int)v->hasqc.size() || !v->hasqc[levindex]) return 1;
  if (!openlog()) return 0;
  latsQC& q = v->qc[levindex];
  const float* x = static_cast<const float*>(data);
  const latsGrid* g = v->grid;
  size_t nx = g->lons.size(), ny = g->lats.size();
  double sw = 0, swx = 0, swx2 = 0;
  float mn = 3.4028235e38f, mx = -3.4028235e38f;
  for (size_t j = 0; j < ny; j++) {
    const float* row = x + j * nx;
    for (size_t i = 0; i < nx; i++) {
      float val = row[i];
      if (v->hasmissing && std::fabs(val - v->missing) <= v->missdelta) continue;
      double w = g->wlats[j] * g->wlons[i];
      sw += w;
      swx += w * val;
      swx2 += w * val * val;
      if (val < mn) mn = val;
      if (val > mx) mx = val;
    }
  }
  // A field without a defined point has no statistics: nothing to check.
  if (sw == 0) return 1;
  double mean = swx / sw;
  double var = (swx2 - mean * swx) / sw;
  double sd = var < 0 ? 0 : std::sqrt(var);
  q.obsMean = (float)mean;
  q.obsMax = mx;
  q.obsMin = mn;
  q.obsStd = (float)sd;
  const char* kind = nullptr;
  double obs = 0, ref = 0, lim = 0;
  if (std::fabs(mean - q.mean) > (double)q.tolerance * q.std) {
    kind = "mean";
    obs = mean;
    ref = q.mean;
    lim = (double)q.tolerance * q.std;
  } else if ((double)mx - mn > (double)q.rangeTolerance * q.range) {
    kind = "range";
    obs = (double)mx - mn;
    ref = q.range;
    lim = (double)q.rangeTolerance * q.range;
  }
  if (!kind) return 1;
  char when[64], now[64];
  snprintf(when, sizeof when, "%4d%2d%2d%2d", y, m, d, h);
  time_t t = time(nullptr);
  struct tm lt;
  localtime_r(&t, &lt);
  snprintf(now, sizeof now, "%4d%2d%2d%2d%2d%2d", lt.tm_year + 1900, lt.tm_mon + 1, lt.tm_mday,
           lt.tm_hour, lt.tm_min, lt.tm_sec);
  double level = v->nlev > 0 ? v->vertdim->levs[levindex] : 0.0;
  fprintf(qclog, "E|%s|%s|%f|%s|%f|%f|%f|%s\n", v->name.c_str(), zeroed(when).c_str(), level, kind, obs,
          ref, lim, zeroed(now).c_str());
  fflush(qclog);
  return 0;
}

int latsStatFile(latsFile* f) {
  for (auto& v : f->vars) {
    if (v->ntimewritten == 0) {
      latsWarning("Variable declared but never written, file %s, variable %s",
                  replshownname(f->path).c_str(), v->name.c_str());
    } else if (v->nlev > 0 && v->nlevwrite < v->nlev) {
      int m = f->lastmonth;
      latsWarning("Fewer levels written (%d) then declared (%d), file %s, variable %s, time = %dZ %d %s %d: "
                  "The output file may be unnecessarily large",
                  v->nlevwrite, v->nlev, replshownname(f->path).c_str(), v->name.c_str(), f->lasthour,
                  f->lastday,
                  m >= 1 && m <= 12 ? latsMonthNames[m - 1] : "???", f->lastyear);
    }
  }
  if (lats_qc) latsQCLogClose();
  return 1;
}
