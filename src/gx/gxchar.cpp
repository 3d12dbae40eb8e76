// Stroke fonts: loading the font files, drawing and measuring strings with
// font, superscript and subscript escapes.
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "base/replsig.h"
#include "base/useropen.h"
#include "base/userread.h"
#include "gx/gx.h"
#include "gx/gxint.h"

namespace {

const int kGlyphs = 95;

struct glyph {
  int off = -1;    // byte offset in the font text, -1 missing
  int bytes = 0;   // bytes that belong to the glyph
  int count = 0;   // vertex count (pairs + 1)
};

struct font {
  bool loaded = false;
  bool failed = false;  // loading failed: not tried again for every string
  std::string text;
  glyph g[kGlyphs];
};

font fonts[10];
int dfont = 0;

// The 3-character count field: blanks, then decimal digits; -1 when bad.
int parse_count(const char* s, int avail) {
  if (avail < 3) return -1;
  int v = 0, digits = 0;
  int i = 0;
  while (i < 3 && s[i] == ' ') i++;
  for (; i < 3; i++) {
    if (s[i] < '0' || s[i] > '9') return -1;
    v = v * 10 + (s[i] - '0');
    digits++;
  }
  return digits ? v : -1;
}

void index_font(font& f) {
  const std::string& t = f.text;
  int n = (int)t.size();
  int start = 0, k = 0;
  while (k < kGlyphs && start < n) {
    int end = start;
    while (end < n && (unsigned char)t[end] > 31) end++;
    glyph& g = f.g[k];
    int bytes = end - start;
    int c = parse_count(t.data() + start, bytes);
    if (c >= 1 && bytes >= 5) {
      // Never more pairs than the glyph's bytes hold.
      int fit = (bytes - 5) / 2 + 1;
      g.off = start;
      g.bytes = bytes;
      g.count = c < fit ? c : fit;
    }
    k++;
    start = end;
    while (start < n && (unsigned char)t[start] <= 31) start++;
  }
}

// The glyph of a character; a missing one is the blank (glyph 0).
const glyph* find_glyph(const font& f, int ch) {
  int i = (ch < 32 || ch > 126) ? 0 : ch - 32;
  if (f.g[i].off >= 0) return &f.g[i];
  if (f.g[0].off >= 0) return &f.g[0];
  return nullptr;
}

bool ensure_font(int fn) {
  if (fn < 0 || fn > 9) fn = 0;
  if (fonts[fn].loaded) return true;
  if (fonts[fn].failed) return false;
  return gxchrd(fn) == 0;
}

// Reads the escapes at position i; returns true when one was consumed.
bool escape(const char* s, int len, int& i, int& fn, int& pos) {
  if (i + 1 >= len || s[i] != '`' || s[i + 1] == '\0') return false;
  char c = s[i + 1];
  if (c >= '0' && c <= '9') fn = c - '0';
  else if (c == 'a') pos = 1;
  else if (c == 'b') pos = 2;
  else if (c == 'n') pos = 0;
  else return false;
  i += 2;
  return true;
}

}  // namespace

void gxchii() {
  // The font texts of an earlier start are dropped with the tables.
  for (font& f : fonts) f = font();
  dfont = 0;
}

void gxchdf(int fn) {
  if (fn >= 0 && fn <= 9) dfont = fn;
}

// Far more than a font holds (95 glyphs of at most 999 pairs each); the
// file is read whole, so a device or pipe (which has no size) is refused.
const int64_t kMaxFontBytes = int64_t(1) << 20;

int gxchrd(int fn) {
  if (fn < 0 || fn > 9) return 1;
  std::string bare = "font" + std::to_string(fn) + ".dat";
  std::string text, path;
  int err = omreaddatafile(bare.c_str(), kMaxFontBytes, text, path);
  font& f = fonts[fn];
  if (err) {
    if (!f.loaded) f.failed = true;  // a font loaded before stays in use
    if (err == ENOMEM) printf("Error reading font data:  Memory allocation error\n");
    else if (err == EIO) printf("Error reading font data: I/O Error\n");
    else printf("Error opening stroke character data set \n");
    printf("  Data set names = %s ; %s\n", replshownname(path).c_str(), bare.c_str());
    if (err != ENOENT && err != EIO) printf("  %s\n", omopenwhy(err));
    return 1;
  }
  f = font();
  f.text = std::move(text);
  index_font(f);
  f.loaded = true;
  return 0;
}

const char* gxchgc(int ch, int fn, int* count, int* nbytes) {
  if (fn < 0 || fn > 9) fn = 0;
  if (!ensure_font(fn)) return nullptr;
  const glyph* g = find_glyph(fonts[fn], ch);
  if (!g) {
    if (count) *count = 0;
    if (nbytes) *nbytes = 0;
    return "";
  }
  if (count) *count = g->count;
  if (nbytes) *nbytes = g->bytes;
  return fonts[fn].text.data() + g->off;
}

void gxchpl(const char* s, int len, float x, float y, float height, float width, float angle) {
  if (!s) return;
  int fn = dfont, pos = 0;
  bool rot = angle != 0;
  double a = angle * 3.1416 / 180.0;
  double ca = std::cos(a), sa = std::sin(a);
  int i = 0;
  while (i < len && s[i]) {
    while (i < len && s[i] && escape(s, len, i, fn, pos)) {
    }
    if (i >= len || !s[i]) break;
    int count = 0, nbytes = 0;
    const char* g = gxchgc((unsigned char)s[i], fn, &count, &nbytes);
    if (!g) return;
    i++;
    if (count < 1) continue;  // no glyph at all: nothing to draw or advance
    double sx = width / 21.0, sy = height / 22.0, d = 0;
    if (pos) {
      sx *= 0.45;
      sy *= 0.45;
      d = pos == 1 ? 0.35 * height : -0.42 * height;
    }
    double adv = (g[4] - g[3]) * sx * 1.05;
    double vx = adv / 2, vy = 0.42 * height + d;
    double ox, oy;
    if (rot) {
      ox = x + vx * ca - vy * sa;
      oy = y + vx * sa + vy * ca;
    } else {
      ox = x + vx;
      oy = y + vy;
    }
    bool up = true;
    for (int k = 0; k < count - 1; k++) {
      const char* p = g + 5 + 2 * k;
      if (p[0] == ' ') {
        up = true;
        continue;
      }
      double dx = (p[0] - 'R') * sx, dy = -(p[1] - 'R') * sy;
      if (rot) {
        double tx = dx * ca - dy * sa;
        dy = dx * sa + dy * ca;
        dx = tx;
      }
      if (up) gxmove((float)(ox + dx), (float)(oy + dy));
      else gxdraw((float)(ox + dx), (float)(oy + dy));
      up = false;
    }
    if (rot) {
      x += (float)(adv * ca);
      y += (float)(adv * sa);
    } else {
      x += (float)adv;
    }
  }
}

int gxchln(const char* s, int len, float width, float* result) {
  double w = 0;
  int rc = 0;
  if (s) {
    int fn = dfont, pos = 0;
    int i = 0;
    while (i < len && s[i]) {
      while (i < len && s[i] && escape(s, len, i, fn, pos)) {
      }
      // After escapes that used up the text, the character that follows is
      // measured as the blank, without reading past the given length.
      bool end = i >= len || !s[i];
      int ch = end ? ' ' : (unsigned char)s[i];
      int count = 0, nbytes = 0;
      const char* g = gxchgc(ch, fn, &count, &nbytes);
      if (!g) {
        rc = 1;
        break;
      }
      if (count >= 1) {
        double sx = width / 21.0;
        if (pos) sx *= 0.45;
        w += (g[4] - g[3]) * sx * 1.05;
      }
      if (end) break;
      i++;
    }
  }
  if (result) *result = (float)w;
  return rc;
}
