// The math_ built-ins: double-precision functions of numeric strings.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/words.h"
#include "script/gsint.h"

namespace {

int err2(const char* fmt, const char* fn, const char* arg = nullptr) {
  if (arg) {
    std::printf(fmt, fn, arg);
  } else {
    std::printf(fmt, fn);
  }
  return 1;
}

// A user's format may hold literal text, "%%" and exactly one conversion of
// a double (flags, width and precision of at most three digits, an optional
// "l", one of f F e E g G a A); nothing else reaches printf.  A NUL byte
// would end the format that printf sees inside a conversion this check has
// passed, so a format holding one is refused.
bool fmtok(const std::string& f) {
  if (f.find('\0') != std::string::npos) return false;
  int convs = 0;
  for (size_t i = 0; i < f.size(); i++) {
    if (f[i] != '%') continue;
    i++;
    if (i < f.size() && f[i] == '%') continue;
    while (i < f.size() && std::strchr("-+ #0", f[i])) i++;
    size_t d = 0;
    while (i < f.size() && ascdigit(f[i])) i++, d++;
    if (d > 3) return false;
    if (i < f.size() && f[i] == '.') {
      i++;
      d = 0;
      while (i < f.size() && ascdigit(f[i])) i++, d++;
      if (d > 3) return false;
    }
    if (i < f.size() && f[i] == 'l') i++;
    if (i >= f.size() || !std::strchr("fFeEgGaA", f[i])) return false;
    convs++;
  }
  return convs == 1;
}

std::string format1(const std::string& f, double v) {
  int n = std::snprintf(nullptr, 0, f.c_str(), v);
  if (n < 0) return std::string();
  std::string out(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(&out[0], out.size(), f.c_str(), v);
  out.resize(static_cast<size_t>(n));
  return out;
}

}  // namespace

int gsfmath(gsstate& s, int code, const char* fn) {
  auto& a = s.args;
  if (a.empty()) return err2("Error in math_%s:  Argument missing\n", fn);
  double x = 0, y = 0;
  if (code == 22) {
    if (a[0].size() > 14) {
      return err2("Error in math_%s:  argument: %s  too long < 15\n", fn, a[0].c_str());
    }
  } else if (code != 26) {
    if (!gsnum(a[0], nullptr, &x)) return err2("Error in math_%s:  Argument not a valid numeric\n", fn);
  }
  if ((code == 1 || code == 2) && x <= 0) {
    return err2("Error in math_%s:  Argument less than or equal to zero\n", fn);
  }
  if (code == 7 || code == 16 || code == 17 || code == 22 || code == 25) {
    if (a.size() < 2) return err2("Error in %s:  2rd argument missing\n", fn);
    if (!gsnum(a[1], nullptr, &y)) return err2("Error in %s:  2rd argument invalid.\n", fn);
  }
  double r = 0;
  switch (code) {
    case 1: r = std::log(x); break;
    case 2: r = std::log10(x); break;
    case 3: r = std::cos(x); break;
    case 4: r = std::sin(x); break;
    case 5: r = std::tan(x); break;
    case 6: r = std::atan(x); break;
    case 7: r = std::atan2(x, y); break;
    case 8: r = std::sqrt(x); break;
    case 9: r = std::fabs(x); break;
    case 10: r = std::acosh(x); break;
    case 11: r = std::asinh(x); break;
    case 12: r = std::atanh(x); break;
    case 13: r = std::cosh(x); break;
    case 14: r = std::sinh(x); break;
    case 15: r = std::exp(x); break;
    case 16: r = std::fmod(x, y); break;
    case 17: r = std::pow(x, y); break;
    case 19: r = std::tanh(x); break;
    case 20: r = std::acos(x); break;
    case 21: r = std::asin(x); break;
    case 22:
      if (!fmtok(a[0])) {
        return err2("Error in math_%s:  format must hold one floating conversion: %s\n", fn,
                    a[0].c_str());
      }
      s.retv = format1(a[0], y);
      return 0;
    case 23: r = std::floor(x + 0.5); break;
    case 24: r = std::floor(x); break;
    case 25: r = std::floor(std::fmod(x, y)); break;
    case 26:
      s.retv = std::to_string(a[0].size());
      return 0;
    default:
      return 1;
  }
  s.retv = gsfmtd(r);
  return 0;
}
