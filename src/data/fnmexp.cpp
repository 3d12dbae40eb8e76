// Name expansion and file-name templates.
#include "data/fnmexp.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "data/datafile.h"

namespace {

bool wordend(char c) { return c == '\0' || c == ' ' || c == '\t' || c == '\n'; }

// Appends v as a decimal with at least w digits (leading zeros).
void putnum(std::string& out, long v, int w) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%0*ld", w, v);
  out += buf;
}

// Replaces one code (the text after "%", with "i" already taken off) for
// time d; returns the characters of the code consumed, 0 when no code.
int putcode(std::string& out, const char* c, const datetime& d) {
  if (c[0] == 'y' && c[1] == '2') { putnum(out, ((d.yr % 100) + 100) % 100, 2); return 2; }
  if (c[0] == 'y' && c[1] == '4') { putnum(out, d.yr, 4); return 2; }
  if (c[0] == 'm' && c[1] == '1') { putnum(out, d.mo, 1); return 2; }
  if (c[0] == 'm' && c[1] == '2') { putnum(out, d.mo, 2); return 2; }
  if (c[0] == 'm' && c[1] == 'c') {
    out += (d.mo >= 1 && d.mo <= 12) ? mons[d.mo - 1] : "???";
    return 2;
  }
  if (c[0] == 'm' && c[1] == 'h') { out += d.dy < 16 ? "a" : "b"; return 2; }
  if (c[0] == 'm' && c[1] == 'H') { out += d.dy < 16 ? "A" : "B"; return 2; }
  if (c[0] == 'd' && c[1] == '1') { putnum(out, d.dy, 1); return 2; }
  if (c[0] == 'd' && c[1] == '2') { putnum(out, d.dy, 2); return 2; }
  if (c[0] == 'h' && c[1] == '1') { putnum(out, d.hr, 1); return 2; }
  if (c[0] == 'h' && c[1] == '2') { putnum(out, d.hr, 2); return 2; }
  if (c[0] == 'h' && c[1] == '3') { putnum(out, d.hr, 3); return 2; }
  if (c[0] == 'n' && c[1] == '2') { putnum(out, d.mn, 2); return 2; }
  return 0;
}

}  // namespace

void fnmexp(std::string& out, const char* word, const char* dname) {
  out.clear();
  if (word[0] == '$') {
    const char* p = word + 1;
    const char* s = p;
    while (!wordend(*p) && *p != '/') p++;
    std::string var(s, p - s);
    const char* val = std::getenv(var.c_str());
    if (!val) return;
    out = val;
    while (!wordend(*p)) out += *p++;
    return;
  }
  // Directory of the descriptor, up to and including its last "/".
  const char* d = dname;
  size_t len = 0;
  while (!wordend(d[len])) len++;
  size_t slash = std::string::npos;
  for (size_t i = 0; i < len; i++)
    if (d[i] == '/') slash = i;
  if (slash != std::string::npos) out.assign(d, slash + 1);
  const char* p = word + 1;
  while (!wordend(*p)) out += *p++;
}

std::string omfndt(const char* tmpl, const datetime* dtim, const datetime* dtimi,
                   const float* vals) {
  std::string out;
  const char* p = tmpl;
  while (*p) {
    if (*p != '%') {
      out += *p++;
      continue;
    }
    const char* c = p + 1;
    if ((c[0] == 'f') && (c[1] == '2' || c[1] == '3')) {
      datetime st = axstart(vals);
      long mins = timdif(&st, dtim);
      long hrs = (mins + 30) / 60;
      putnum(out, hrs, c[1] == '2' ? 2 : 3);
      p += 3;
      continue;
    }
    int n = 0;
    if (c[0] == 'i' && c[1] && c[2]) {
      n = putcode(out, c + 1, *dtimi);
      if (n) {
        p += 2 + n;
        continue;
      }
    }
    if (c[0] && c[1]) n = putcode(out, c, *dtim);
    if (n) {
      p += 1 + n;
      continue;
    }
    out += *p++;
  }
  return out;
}

int omtmtb(datafile* pfi) { return omtmtb(pfi, pfi->name.c_str()); }

int omtmtb(datafile* pfi, const char* tmpl) {
  int nt = pfi->dnum[3];
  const float* vals = pfi->grvals[3];
  if (nt > kMaxTmplTimes) return 1;
  pfi->fnums.assign(nt > 0 ? nt : 0, 1);
  if (nt < 1 || !vals) return 0;
  datetime d1;
  gr2t(vals, 1.0, &d1);
  // An axis stepping in whole minutes is walked one step at a time: the
  // time of a step from the start costs more the further it lies (days are
  // counted off a year at a time), which made large tables take minutes.
  // Adding whole minutes gives the same times.  Month steps stay as they
  // are: a month added to 31 January is not the same as one added to the
  // 3 March that follows it.
  const double mins = vals[6];
  const bool walk = mins > 0.1 && mins == std::floor(mins) && mins * nt < 1e12;
  datetime step = {0, 0, 0, 0, 0};
  if (walk) {
    long long m = static_cast<long long>(mins);
    step.dy = static_cast<int>(m / 1440);
    step.hr = static_cast<int>((m % 1440) / 60);
    step.mn = static_cast<int>(m % 60);
  }
  std::string prev = omfndt(tmpl, &d1, &d1, vals);
  datetime dt = d1;
  int first = 1;
  for (int t = 2; t <= nt; t++) {
    if (walk) {
      datetime sum = step;
      timadd(&dt, &sum);
      dt = sum;
    } else {
      gr2t(vals, static_cast<double>(t), &dt);
    }
    std::string nm = omfndt(tmpl, &dt, &d1, vals);
    if (nm != prev) {
      first = t;
      prev.swap(nm);
    }
    pfi->fnums[t - 1] = first;
  }
  pfi->fnumc = 0;
  return 0;
}
