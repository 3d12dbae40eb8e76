// Built-in functions: string slicing, words and lines, the numeric test,
// text files, and the switches for function libraries.
#include <cstdio>
#include <cstring>

#include "base/replfile.h"
#include "base/replsig.h"
#include "base/useropen.h"
#include "base/wholewrite.h"
#include "script/gsint.h"

namespace {

using bfn = int (*)(gsstate&);

bool iswhite(char c) { return c == ' ' || c == '\t' || c == '\n'; }

// Argument k (from 0) as a positive integer; false when invalid.
bool posint(const std::string& a, int* v) {
  int i = 0;
  if (gsnum(a, &i, nullptr) != 1 || i <= 0) return false;
  *v = i;
  return true;
}

int fail(const char* msg) {
  std::printf("%s", msg);
  return 1;
}

int gfsubstr(gsstate& s) {
  auto& a = s.args;
  if (a.empty()) return fail("Error in substr:  1st argument missing\n");
  if (a.size() < 2) return fail("Error in substr:  2nd argument missing\n");
  int st, len;
  if (!posint(a[1], &st)) return fail("Error in substr:  2nd argument invalid.\n");
  if (a.size() < 3) return fail("Error in substr:  3rd argument missing\n");
  if (!posint(a[2], &len)) return fail("Error in substr:  3rd argument invalid.\n");
  size_t p = static_cast<size_t>(st) - 1;
  s.retv = p < a[0].size() ? a[0].substr(p, static_cast<size_t>(len)) : std::string();
  return 0;
}

// Start and end of word n (from 1) of t; false when there are fewer words.
bool findwrd(const std::string& t, int n, size_t* b, size_t* e) {
  size_t i = 0;
  for (int w = 1;; w++) {
    while (i < t.size() && iswhite(t[i])) i++;
    if (i >= t.size()) return false;
    size_t j = i;
    while (j < t.size() && !iswhite(t[j])) j++;
    if (w == n) {
      *b = i;
      *e = j;
      return true;
    }
    i = j;
  }
}

int wordargs(gsstate& s, const char* fn, int* n) {
  char buf[80];
  auto& a = s.args;
  if (a.empty()) {
    std::snprintf(buf, sizeof buf, "Error in %s:  1st argument missing\n", fn);
    return fail(buf);
  }
  if (a.size() < 2) {
    std::snprintf(buf, sizeof buf, "Error in %s:  2nd argument missing\n", fn);
    return fail(buf);
  }
  if (!posint(a[1], n)) {
    std::snprintf(buf, sizeof buf, "Error in %s:  2nd argument invalid.\n", fn);
    return fail(buf);
  }
  return 0;
}

int gfsubwrd(gsstate& s) {
  int n;
  if (wordargs(s, "subwrd", &n)) return 1;
  size_t b, e;
  s.retv = findwrd(s.args[0], n, &b, &e) ? s.args[0].substr(b, e - b) : std::string();
  return 0;
}

int gfwrdpos(gsstate& s) {
  int n;
  if (wordargs(s, "wrdpos", &n)) return 1;
  size_t b, e;
  s.retv = findwrd(s.args[0], n, &b, &e) ? std::to_string(b + 1) : std::string("0");
  return 0;
}

int gfsublin(gsstate& s) {
  int n;
  if (wordargs(s, "sublin", &n)) return 1;
  const std::string& t = s.args[0];
  size_t i = 0;
  for (int l = 1; l < n; l++) {
    size_t nl = t.find('\n', i);
    if (nl == std::string::npos) {
      s.retv = std::string();
      return 0;
    }
    i = nl + 1;
  }
  size_t nl = t.find('\n', i);
  s.retv = t.substr(i, nl == std::string::npos ? std::string::npos : nl - i);
  return 0;
}

int gfvalnum(gsstate& s) {
  if (s.args.empty()) return fail("Error in valnum:  Argument missing\n");
  s.retv = std::to_string(gsnum(s.args[0], nullptr, nullptr));
  return 0;
}

gsiofile* findio(gsstate& s, const std::string& name) {
  for (auto& f : s.iofiles) {
    if (f.name == name) return &f;
  }
  return nullptr;
}

// Checks the file-name argument of read, write and close.
int fnamearg(gsstate& s, const char* fn) {
  char buf[80];
  if (s.args.empty()) {
    std::snprintf(buf, sizeof buf, "Error in %s:  File name missing\n", fn);
    return fail(buf);
  }
  if (s.args[0].empty()) {
    std::snprintf(buf, sizeof buf, "Error in %s:  NULL File Name\n", fn);
    return fail(buf);
  }
  return 0;
}

// Result "code\nline": at most 596 characters of the next line with its
// line end.
int gfread(gsstate& s) {
  if (fnamearg(s, "read")) return 1;
  const std::string& name = s.args[0];
  gsiofile* f = findio(s, name);
  if (!f) {
    std::FILE* fp = omfopen(name.c_str(), "r");
    if (!fp) {
      s.retv = std::string("1\n");
      return 0;
    }
    s.iofiles.push_back({fp, name, 1});
    f = &s.iofiles.back();
  }
  if (f->mode != 1) {
    std::printf("Error in read:  attempt to read a file open for write\n");
    std::printf("  File name = %s\n", replshownname(name).c_str());
    s.retv = std::string("8\n");
    return 0;
  }
  char buf[597];
  if (!std::fgets(buf, sizeof buf, f->fp)) {
    s.retv = std::string(std::ferror(f->fp) ? "9\n" : "2\n");
    return 0;
  }
  // fgets cannot report embedded zero bytes; count what it read.
  size_t n = std::strlen(buf);
  s.retv = "0\n" + std::string(buf, n);
  return 0;
}

int gfwrite(gsstate& s) {
  if (fnamearg(s, "write")) return 1;
  if (s.args.size() < 2) return fail("Error in write:  Output Record arg is missing\n");
  const std::string& name = s.args[0];
  gsiofile* f = findio(s, name);
  if (!f) {
    std::FILE* fp = omfopen(name.c_str(), s.args.size() > 2 ? "a+" : "w");
    if (!fp) {
      s.retv = std::string("1\n");
      return 0;
    }
    s.iofiles.push_back({fp, name, 2});
    f = &s.iofiles.back();
  }
  if (f->mode != 2) {
    std::printf("Error in write: attempt to write a file open for read\n");
    std::printf("  File name = %s\n", replshownname(name).c_str());
    s.retv = std::string("8\n");
    return 0;
  }
  // One line goes whole to the descriptor, or the file is cut back to the
  // line before: a failed write is reported like a failed read, and the
  // lines written before it stay whole.  Nothing of the file goes through
  // the stream's buffer, so no stale part of a failed line follows later.
  std::string line = s.args[1] + "\n";
  bool ok = writewhole(fileno(f->fp), line.data(), line.size());
  s.retv = std::string(ok ? "0\n" : "9\n");
  return 0;
}

int gfclose(gsstate& s) {
  if (fnamearg(s, "close")) return 1;
  const std::string& name = s.args[0];
  for (size_t k = 0; k < s.iofiles.size(); k++) {
    if (s.iofiles[k].name == name) {
      // Lines a full quota or a network file system's server refuses only
      // now are a failed write too.
      const gsiofile& f = s.iofiles[k];
      bool kept = true;
      if (f.mode == 2) kept = replfclose(f.fp);
      else std::fclose(f.fp);
      s.iofiles.erase(s.iofiles.begin() + static_cast<long>(k));
      s.retv = std::string(kept ? "0" : "9");
      return 0;
    }
  }
  std::printf("Error in close:  file not open\n");
  std::printf("  File name = %s\n", replshownname(name).c_str());
  s.retv = std::string("1");
  return 0;
}

int gfallow(gsstate& s) {
  if (s.args.empty()) return fail("Error in gsfallow:  Argument missing\n");
  const std::string& w = s.args[0];
  if (w == "on" || w == "On" || w == "ON") {
    s.fallow = 1;
    s.retv = std::string("1");
  } else if (w == "off" || w == "Off" || w == "OFF") {
    s.fallow = 0;
    s.retv = std::string("0");
  } else {
    s.retv = std::string("999");
  }
  return 0;
}

int gfpath(gsstate& s) {
  if (s.args.empty()) return fail("Error in gsfpath:  Argument missing\n");
  s.fpath = s.args[0];
  s.hasfpath = true;
  s.retv = std::string("1");
  return 0;
}

struct bentry {
  const char* name;
  bfn fn;
};

const bentry builtins[] = {
    {"substr", gfsubstr}, {"subwrd", gfsubwrd}, {"sublin", gfsublin}, {"wrdpos", gfwrdpos},
    {"valnum", gfvalnum}, {"read", gfread},     {"write", gfwrite},   {"close", gfclose},
    {"gsfallow", gfallow}, {"gsfpath", gfpath},
};

struct mentry {
  const char* name;
  int code;
};

const mentry mathfns[] = {
    {"log", 1},   {"log10", 2}, {"cos", 3},    {"sin", 4},     {"tan", 5},    {"atan", 6},
    {"atan2", 7}, {"sqrt", 8},  {"abs", 9},    {"acosh", 10},  {"asinh", 11}, {"atanh", 12},
    {"cosh", 13}, {"sinh", 14}, {"exp", 15},   {"fmod", 16},   {"pow", 17},   {"tanh", 19},
    {"acos", 20}, {"asin", 21}, {"format", 22}, {"nint", 23},  {"int", 24},   {"mod", 25},
    {"strlen", 26},
};

}  // namespace

int gsbltn(const std::string& name, gsstate& s, bool* found) {
  *found = false;
  for (const auto& b : builtins) {
    if (name == b.name) {
      *found = true;
      s.retv.reset();
      return b.fn(s);
    }
  }
  if (name.compare(0, 5, "math_") == 0) {
    for (const auto& m : mathfns) {
      if (name.compare(5, std::string::npos, m.name) == 0) {
        *found = true;
        s.retv.reset();
        return gsfmath(s, m.code, m.name);
      }
    }
  }
  return 0;
}
