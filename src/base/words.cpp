// Words and values.
#include "base/words.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {

bool isterm(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\0'; }
bool isblnk(char c) { return c == ' ' || c == '\t'; }
bool iseol(char c) { return c == '\0' || c == '\n'; }
bool isdig(char c) { return c >= '0' && c <= '9'; }

// Shared by intprs and longprs: the value must fit in 32 bits.
const char* int32prs(const char* p, std::int32_t* val) {
  *val = 0;
  bool neg = false;
  if (*p == '-' || *p == '+') {
    neg = (*p == '-');
    p++;
  }
  if (!isdig(*p)) return nullptr;
  const std::int64_t lim = neg ? 2147483648LL : 2147483647LL;
  std::int64_t v = 0;
  while (isdig(*p)) {
    v = v * 10 + (*p - '0');
    if (v > lim) return nullptr;
    p++;
  }
  *val = static_cast<std::int32_t>(neg ? -v : v);
  return p;
}

}  // namespace

int cmpwrd(const char* w1, const char* w2) {
  while (isblnk(*w1)) w1++;
  while (isblnk(*w2)) w2++;
  while (*w1 == *w2) {
    if (isterm(*w1)) return 1;
    w1++;
    w2++;
  }
  return (isterm(*w1) && isterm(*w2)) ? 1 : 0;
}

const char* nxtwrd(const char* p) {
  while (!isblnk(*p)) {
    if (iseol(*p)) return nullptr;
    p++;
  }
  while (isblnk(*p)) p++;
  if (iseol(*p)) return nullptr;
  return p;
}

void getwrd(char* dest, const char* src, int n) {
  int i = 0;
  while (i < n && src[i] != '\n' && src[i] != '\0' && src[i] != ' ') {
    dest[i] = src[i];
    i++;
  }
  dest[i] = '\0';
}

void getstr(char* dest, const char* src, int n) {
  int i = 0;
  while (i < n && !iseol(src[i])) {
    dest[i] = src[i];
    i++;
  }
  while (i > 0 && dest[i - 1] == ' ') i--;
  dest[i] = '\0';
}

std::string wrdstr(const char* src) {
  std::string s;
  while (*src != '\n' && *src != '\0' && *src != ' ') s += *src++;
  return s;
}

std::string linestr(const char* src) {
  std::string s;
  while (!iseol(*src)) s += *src++;
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

void lowcas(char* line) {
  bool quoted = false;
  for (; !iseol(*line); line++) {
    if (*line == '"') quoted = !quoted;
    else if (!quoted && *line >= 'A' && *line <= 'Z') *line = static_cast<char>(*line + ('a' - 'A'));
  }
}

std::string lowstr(std::string s) {
  for (char& c : s) c = asclower(c);
  return s;
}

bool caseeq(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); i++)
    if (asclower(a[i]) != asclower(b[i])) return false;
  return true;
}

void uppcas(char* line) {
  for (; !iseol(*line); line++) {
    if (*line >= 'a' && *line <= 'z') *line = static_cast<char>(*line - ('a' - 'A'));
  }
}

int omremb(char* line) {
  bool quoted = false;
  char* out = line;
  for (const char* in = line; !iseol(*in); in++) {
    if (*in == '"') {
      quoted = !quoted;
      continue;
    }
    if (*in == ' ' && !quoted) continue;
    *out++ = *in;
  }
  *out = '\0';
  return static_cast<int>(out - line);
}

int cmpch(const char* t1, const char* t2, int n) {
  for (int i = n - 1; i >= 0; i--) {
    if (t1[i] != t2[i]) return 1;
  }
  return 0;
}

const char* intprs(const char* p, int* val) {
  std::int32_t v;
  const char* r = int32prs(p, &v);
  *val = v;
  return r;
}

const char* longprs(const char* p, long* val) {
  std::int32_t v;
  const char* r = int32prs(p, &v);
  *val = v;
  return r;
}

const char* valprs(const char* p, float* val) {
  float v = 0.0f, m = 0.1f, ex = 0.0f;
  bool digits = false, mneg = false, mplus = false, frac = false;
  bool inexp = false, eneg = false, eplus = false, edig = false, bad = false;
  *val = 0.0f;
  for (;; p++) {
    char c = *p;
    if (isdig(c)) {
      digits = true;
      int d = c - '0';
      if (inexp) {
        ex = ex * 10.0f + static_cast<float>(d);
        edig = true;
      } else if (frac) {
        v = v + static_cast<float>(d) * m;
        m = m / 10.0f;
      } else {
        v = v * 10.0f + static_cast<float>(d);
      }
    } else if (c == '-' || c == '+') {
      bool& seen = (c == '-') ? (inexp ? eneg : mneg) : (inexp ? eplus : mplus);
      if (inexp && !edig) {
        if (seen) { bad = true; break; }
        seen = true;
      } else if (!inexp && !digits) {
        if (seen) { bad = true; break; }
        seen = true;
      } else {
        break;
      }
    } else if (c == '.') {
      if (frac || inexp) break;
      frac = true;
    } else if (c == 'e') {
      if (inexp) {
        if (!edig) bad = true;
        break;
      }
      if (!digits) break;
      inexp = true;
      frac = false;
    } else {
      break;
    }
  }
  if (!digits || bad) return nullptr;
  if (mneg) v = -v;
  if (inexp) {
    double e = eneg ? -ex : ex;
    v = static_cast<float>(static_cast<double>(v) * std::pow(10.0, e));
  }
  *val = v;
  return p;
}

int omedit(double value, std::string& dest, int ndec) {
  if (ndec < 0) ndec = 0;
  if (ndec > 20) ndec = 20;
  dest.clear();
  if (!std::isfinite(value)) {
    dest = std::isnan(value) ? "nan" : (value < 0 ? "-inf" : "inf");
    return static_cast<int>(dest.size());
  }
  double v = value * std::pow(10.0, ndec);
  bool neg = v < 0;
  v = std::floor(std::fabs(v) + 0.5);
  if (v == 0.0) {
    dest = "0";
    return 1;
  }
  // Digits from the right; fmod keeps this exact for any finite double.
  std::string rev;
  int n = 0;
  while (v >= 1.0 || n < ndec) {
    int d = static_cast<int>(std::fmod(v, 10.0));
    rev += static_cast<char>('0' + d);
    v = std::floor(v / 10.0);
    n++;
    if (n == ndec) {
      rev += '.';
      if (v < 1.0) rev += '0';
    }
  }
  if (neg) rev += '-';
  dest.assign(rev.rbegin(), rev.rend());
  return static_cast<int>(dest.size());
}

int gxdeci(float value) {
  float r = std::fabs(value);
  r = r - std::floor(r);
  int n = 0;
  for (int i = 0; i < 4; i++) {
    if (!(r > 0.01f)) break;
    r = r * 10.0f;
    r = r - std::floor(r);
    n++;
  }
  return n;
}
