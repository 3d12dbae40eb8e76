// User-supplied number formats (print options, label formats) are checked
// before they reach the C formatting routines: a stray conversion such as
// %s or %n would read or write memory that was never passed.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/words.h"
#include "plot/dataout.h"

namespace {

// Up to three digits at p; returns the position after them, null for more.
const char* digits(const char* p) {
  int n = 0;
  while (ascdigit(*p)) {
    p++;
    if (++n > 3) return nullptr;
  }
  return p;
}

}  // namespace

bool omfmtok(const char* fmt) {
  if (!fmt) return false;
  int convs = 0;
  for (const char* p = fmt; *p; p++) {
    if (*p != '%') continue;
    p++;
    if (*p == '%') continue;
    while (*p && std::strchr("-+ #0", *p)) p++;
    p = digits(p);
    if (!p) return false;
    if (*p == '.') {
      p = digits(p + 1);
      if (!p) return false;
    }
    if (*p == 'l') p++;
    if (!*p || !std::strchr("eEfFgGaA", *p)) return false;
    convs++;
  }
  return convs <= 1;
}

bool omnumfmt::set(const char* f) {
  if (!omfmtok(f)) return false;
  *this = omnumfmt();
  fmt = f;
  std::string* text = &pre;
  for (const char* p = f; *p; p++) {
    if (*p != '%') {
      *text += *p;
      continue;
    }
    p++;
    if (*p == '%') {
      *text += '%';
      continue;
    }
    for (; *p && std::strchr("-+ #0", *p); p++) {
      left |= *p == '-';
      plus |= *p == '+';
      space |= *p == ' ';
      zero |= *p == '0';
      alt |= *p == '#';
    }
    for (; ascdigit(*p); p++) width = width * 10 + (*p - '0');
    if (*p == '.') {
      prec = 0;
      for (p++; ascdigit(*p); p++) prec = prec * 10 + (*p - '0');
    }
    if (*p == 'l') p++;
    type = *p;
    text = &post;
  }
  // std::to_chars gives what printf gives for these, sign and digits
  // alike; the alternate form and hexadecimal are left to printf.
  direct = type == 0 || (!alt && std::strchr("eEfFgG", type) != nullptr);
  return true;
}

// What printf makes of one value is at most this long: 999 digits of
// precision after up to 309 of a double's whole part, or 999 of width.
constexpr size_t kNumRoom = 1400;

size_t omnumfmt::room() const { return pre.size() + post.size() + kNumRoom; }

size_t omnumfmt::put(double v, char* out, size_t room) const {
  if (room < this->room()) return 0;
  if (!direct || !std::isfinite(v)) {
    const int n = std::snprintf(out, room, fmt.c_str(), v);
    return n < 0 ? 0 : static_cast<size_t>(n);
  }
  char* o = out;
  std::memcpy(o, pre.data(), pre.size());
  o += pre.size();
  if (type != 0) {
    char num[kNumRoom];
    char* b = num;
    if (!std::signbit(v) && (plus || space)) *b++ = plus ? '+' : ' ';
    const int p = prec < 0 ? 6 : prec;
    const char t = static_cast<char>(type | 0x20);
    const std::chars_format cf = t == 'e' ? std::chars_format::scientific
                                 : t == 'f' ? std::chars_format::fixed : std::chars_format::general;
    const std::to_chars_result r = std::to_chars(b, num + sizeof num, v, cf, p);
    if (r.ec != std::errc()) return 0;
    const size_t len = static_cast<size_t>(r.ptr - num);
    if (type == 'E' || type == 'G') {
      for (char* c = b; c < r.ptr; c++)
        if (*c == 'e') *c = 'E';
    }
    const size_t pad = static_cast<size_t>(width) > len ? static_cast<size_t>(width) - len : 0;
    if (left || pad == 0) {
      std::memcpy(o, num, len);
      std::memset(o + len, ' ', pad);
    } else if (zero) {
      // Zeros go between the sign and the digits.
      const size_t sign = num[0] == '-' || num[0] == '+' || num[0] == ' ' ? 1 : 0;
      std::memcpy(o, num, sign);
      std::memset(o + sign, '0', pad);
      std::memcpy(o + sign + pad, num + sign, len - sign);
    } else {
      std::memset(o, ' ', pad);
      std::memcpy(o + pad, num, len);
    }
    o += len + pad;
  }
  std::memcpy(o, post.data(), post.size());
  o += post.size();
  return static_cast<size_t>(o - out);
}

std::string omfmtval(const char* fmt, double v) {
  omnumfmt f;
  if (!f.set(fmt)) f.set("%g ");
  std::string out(f.room(), '\0');
  out.resize(f.put(v, &out[0], out.size()));
  return out;
}
