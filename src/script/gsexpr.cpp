// Script expressions: every value is a string.  An expression text is
// compiled once into a flat program that evaluates its operands in text
// order and applies each parenthesised group's operators, by precedence,
// when the group closes; the program is kept with its statement so loops do
// not cut the same text again.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "base/memcap.h"
#include "base/words.h"
#include "script/gsint.h"
#include "script/gsreduce.h"

namespace {

enum { IT_CONST, IT_VAR, IT_CALL, IT_OP, IT_ERR };

// Operator codes.
enum {
  OP_OR = 1, OP_AND, OP_EQ, OP_NE, OP_GT, OP_GE, OP_LT, OP_LE, OP_CAT,
  OP_ADD, OP_SUB, OP_MUL, OP_DIV, OP_NOT, OP_NEG
};

// Class by code - 1: 0 logical or concatenation, 1 comparison, 2 numeric.
const int optyps[15] = {0, 0, 1, 1, 1, 1, 1, 1, 0, 2, 2, 2, 2, 0, 2};
// Precedence passes, highest first.
const int opmins[7] = {14, 12, 10, 9, 3, 2, 1};
const int opmaxs[7] = {15, 13, 11, 9, 8, 2, 1};

struct optab {
  const char* text;
  int code;
};
const optab ops[] = {{"!=", OP_NE}, {">=", OP_GE}, {"<=", OP_LE}, {"|", OP_OR},
                     {"&", OP_AND}, {"=", OP_EQ},  {">", OP_GT},  {"<", OP_LT},
                     {"%", OP_CAT}, {"+", OP_ADD}, {"-", OP_SUB}, {"*", OP_MUL},
                     {"/", OP_DIV}};

// Deepest nesting of function calls written inside function arguments.
constexpr int MAXNEST = 200;

}  // namespace

struct gsinstr {
  int kind;
  int slot;            // operand slot written (items) or left slot (ops)
  int rslot = -1;      // right slot of an operator
  int code = 0;        // operator code
  bool compound = false;
  std::string text;    // constant value, name, or error message
  std::vector<gsexprp> args;  // call arguments; null entry = empty argument
};

struct gsexprc {
  std::vector<gsinstr> prog;
  int nslots = 0;
  int result = 0;
};

void gsexprdel::operator()(gsexprc* e) const { delete e; }

namespace {

bool isnamech(char c) {
  return ascalnum(c) || c == '.' || c == '_';
}

struct tok {
  bool isop;
  int code;  // operator code
  int slot;  // operand slot
};

class compiler {
 public:
  compiler(const std::string& t, int nest) : t_(t), nest_(nest) {}
  gsexprc* run();

 private:
  const std::string& t_;
  int nest_;
  size_t i_ = 0;
  gsexprc* e_ = nullptr;
  std::vector<std::vector<tok>> groups_;

  void err(const std::string& msg) {
    gsinstr in;
    in.kind = IT_ERR;
    in.slot = 0;
    in.text = msg;
    e_->prog.push_back(std::move(in));
  }
  int newslot() { return e_->nslots++; }
  void reduce(std::vector<tok>& g);
  bool constant();
  bool name();
  bool callargs(gsinstr& in);
};

// Applies the operators of one closed group by precedence, emitting one
// operator instruction each; leaves one operand token.
void compiler::reduce(std::vector<tok>& g) {
  auto inpass = [](int pass, int code) { return code >= opmins[pass] && code <= opmaxs[pass]; };
  auto isunary = [](int code) { return code == OP_NOT || code == OP_NEG; };
  gsreduce(g, 7, inpass, isunary, [this](int code, int lslot, int rslot) {
    gsinstr in;
    in.kind = IT_OP;
    in.code = code;
    in.slot = lslot;
    in.rslot = rslot;
    e_->prog.push_back(std::move(in));
  });
}

bool compiler::constant() {
  gsinstr in;
  in.kind = IT_CONST;
  char c = t_[i_];
  if (c == '\'' || c == '"') {
    size_t j = i_ + 1;
    std::string v;
    for (;;) {
      if (j >= t_.size()) {
        err("Non-terminated constant\n");
        return false;
      }
      if (t_[j] == c) {
        if (j + 1 < t_.size() && t_[j + 1] == c) {
          v += c;
          j += 2;
          continue;
        }
        break;
      }
      v += t_[j++];
    }
    i_ = j + 1;
    in.text = std::move(v);
  } else {
    size_t j = i_;
    auto dig = [&](size_t k) {
      return k < t_.size() && ascdigit(t_[k]);
    };
    bool dot = false;
    while (j < t_.size() && (dig(j) || (t_[j] == '.' && !dot))) {
      if (t_[j] == '.') dot = true;
      j++;
    }
    if (j < t_.size() && (t_[j] == 'e' || t_[j] == 'E')) {
      size_t k = j + 1;
      if (k < t_.size() && (t_[k] == '+' || t_[k] == '-')) k++;
      if (dig(k)) {
        j = k;
        while (dig(j)) j++;
      }
    }
    in.text = t_.substr(i_, j - i_);
    i_ = j;
  }
  in.slot = newslot();
  groups_.back().push_back({false, 0, in.slot});
  e_->prog.push_back(std::move(in));
  return true;
}

// Splits the arguments of a call at top-level commas outside quotes and
// compiles each; i_ is just past the "(".
bool compiler::callargs(gsinstr& in) {
  std::vector<std::pair<size_t, size_t>> parts;
  size_t start = i_, j = i_;
  int depth = 0;
  char q = 0;
  for (;; j++) {
    if (j >= t_.size()) {
      err("Unmatched parens on function call\n");
      return false;
    }
    char c = t_[j];
    if (q) {
      if (c == q) q = 0;
      continue;
    }
    if (c == '\'' || c == '"') {
      q = c;
    } else if (c == '(') {
      depth++;
    } else if (c == ')') {
      if (depth == 0) break;
      depth--;
    } else if (c == ',' && depth == 0) {
      parts.push_back({start, j});
      start = j + 1;
    }
  }
  parts.push_back({start, j});
  i_ = j + 1;
  auto blank = [&](std::pair<size_t, size_t> p) {
    for (size_t k = p.first; k < p.second; k++) {
      if (t_[k] != ' ' && t_[k] != '\t') return false;
    }
    return true;
  };
  // "()" has no argument and a comma just before ")" adds none.
  if (blank(parts.back())) parts.pop_back();
  for (auto& p : parts) {
    if (blank(p)) {
      in.args.emplace_back(nullptr);
      continue;
    }
    std::string sub = t_.substr(p.first, p.second - p.first);
    compiler c(sub, nest_ + 1);
    in.args.emplace_back(c.run());
  }
  return true;
}

bool compiler::name() {
  size_t j = i_;
  while (j < t_.size() && isnamech(t_[j])) j++;
  std::string nm = t_.substr(i_, j - i_);
  if (nm.size() > GSNAMEMAX) {
    err("Variable name too long - 1st 16 chars are: " + nm.substr(0, GSNAMEMAX) + "\n");
    return false;
  }
  while (j < t_.size() && (t_[j] == ' ' || t_[j] == '\t')) j++;
  i_ = j;
  gsinstr in;
  in.text = nm;
  if (j < t_.size() && t_[j] == '(') {
    if (nm.find('.') != std::string::npos) {
      err("Invalid function name: " + gspad16(nm) + "\n");
      return false;
    }
    if (nest_ >= MAXNEST) {
      err("Syntax Error\n");
      return false;
    }
    in.kind = IT_CALL;
    i_ = j + 1;
    if (!callargs(in)) return false;
  } else {
    in.kind = IT_VAR;
    in.compound = nm.find('.') != std::string::npos;
  }
  in.slot = newslot();
  groups_.back().push_back({false, 0, in.slot});
  e_->prog.push_back(std::move(in));
  return true;
}

gsexprc* compiler::run() {
  e_ = new gsexprc;
  groups_.emplace_back();
  bool wantopd = true;
  const size_t n = t_.size();
  for (;;) {
    while (i_ < n && (t_[i_] == ' ' || t_[i_] == '\t')) i_++;
    if (i_ >= n) break;
    char c = t_[i_];
    auto& g = groups_.back();
    if (wantopd) {
      if (c == '(') {
        groups_.emplace_back();
        i_++;
      } else if (c == '-' || c == '!') {
        if (!g.empty() && g.back().isop && (g.back().code == OP_NOT || g.back().code == OP_NEG)) {
          err("Syntax Error\n");
          return e_;
        }
        g.push_back({true, c == '-' ? OP_NEG : OP_NOT, 0});
        i_++;
      } else if (c == '\'' || c == '"' || ascdigit(c)) {
        if (!constant()) return e_;
        wantopd = false;
      } else if (ascalpha(c) || c == '_') {
        if (!name()) return e_;
        wantopd = false;
      } else {
        err("Syntax Error\n");
        return e_;
      }
      continue;
    }
    if (c == ')') {
      if (groups_.size() == 1) {
        err("Unmatched parens\n");
        return e_;
      }
      reduce(g);
      tok res = g.back();
      groups_.pop_back();
      groups_.back().push_back(res);
      i_++;
      continue;
    }
    if (c == '\'' || c == '"' || c == '_' || ascalnum(c)) {
      g.push_back({true, OP_CAT, 0});
      wantopd = true;
      continue;
    }
    int code = 0;
    for (const auto& o : ops) {
      size_t l = std::strlen(o.text);
      if (t_.compare(i_, l, o.text) == 0) {
        code = o.code;
        i_ += l;
        break;
      }
    }
    if (!code) {
      err("Syntax Error\n");
      return e_;
    }
    g.push_back({true, code, 0});
    wantopd = true;
  }
  if (wantopd) {
    err("Syntax Error\n");
    return e_;
  }
  reduce(groups_.back());
  if (groups_.size() > 1) {
    err("Unmatched parens\n");
    return e_;
  }
  e_->result = groups_.back().back().slot;
  return e_;
}

gsexprc* gscompile(const std::string& text, int nest) {
  compiler c(text, nest);
  return c.run();
}

}  // namespace

std::string gspad16(const std::string& name) {
  std::string r = name.substr(0, GSNAMEMAX);
  r.resize(GSNAMEMAX, ' ');
  return r;
}

// The numeric test: the whole string must be one number, an optional sign,
// digits with at most one ".", and an optional exponent with its own
// optional sign and digits.  Without "." and exponent and at most 9
// characters long it is an integer.
int gsnum(const std::string& str, int* ival, double* dval) {
  const char* p = str.c_str();
  size_t n = str.size();
  // A script may compare strings of megabytes of digits in a loop: the
  // runs of digits are measured by the library rather than a byte at a
  // time.  strspn stops at an embedded NUL, which then fails the k == n
  // test as any other stray byte does.
  static const char kDigits[] = "0123456789";
  size_t k = 0;
  if (k < n && (p[k] == '+' || p[k] == '-')) k++;
  size_t digs = std::strspn(p + k, kDigits);
  k += digs;
  bool dot = false, ex = false;
  if (k < n && p[k] == '.') {
    dot = true;
    k++;
    size_t frac = std::strspn(p + k, kDigits);
    k += frac;
    digs += frac;
  }
  if (digs == 0) return 0;
  if (k < n && (p[k] == 'e' || p[k] == 'E')) {
    ex = true;
    k++;
    if (k < n && (p[k] == '+' || p[k] == '-')) k++;
    size_t ed = std::strspn(p + k, kDigits);
    k += ed;
    if (ed == 0) return 0;
  }
  if (k != n) return 0;
  if (!dot && !ex && n <= 9) {
    int v = 0;
    size_t q = 0;
    bool neg = false;
    if (p[0] == '+' || p[0] == '-') {
      neg = p[0] == '-';
      q = 1;
    }
    for (; q < n; q++) v = v * 10 + (p[q] - '0');
    if (neg) v = -v;
    if (ival) *ival = v;
    if (dval) *dval = v;
    return 1;
  }
  if (dval) *dval = std::strtod(p, nullptr);
  if (ival) *ival = 0;
  return 2;
}

// "%.15g", with a fast path for whole numbers (which it prints exactly).
void gsstrchk(size_t n) {
  if (n > GSSTRMAX || n > ommemcap()) throw std::bad_alloc();
}

std::string gsfmtd(double v) {
  if (std::fabs(v) < 1e15 && v == std::floor(v)) {
    if (v == 0) return std::signbit(v) ? "-0" : "0";
    long long x = static_cast<long long>(v);
    char buf[24];
    char* e = buf + sizeof buf;
    char* q = e;
    bool neg = x < 0;
    unsigned long long u = neg ? 0ULL - static_cast<unsigned long long>(x)
                               : static_cast<unsigned long long>(x);
    while (u) {
      *--q = static_cast<char>('0' + u % 10);
      u /= 10;
    }
    if (neg) *--q = '-';
    return std::string(q, e);
  }
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  return buf;
}

namespace {

gsvars& listfor(gsstate& s, const std::string& name) {
  return (!name.empty() && name[0] == '_') ? s.globals : *s.locals;
}

const std::string* findvar(gsstate& s, const std::string& name) {
  const gsvars& l = listfor(s, name);
  auto it = l.find(name);
  return it == l.end() ? nullptr : &it->second;
}

}  // namespace

// Resolves a compound name: each part after a "." is replaced by the value
// of the variable of that name when there is one.
bool gsrvar(gsstate& s, const std::string& name, std::string& out) {
  size_t d = name.find('.');
  if (d == std::string::npos) {
    out = name.substr(0, GSNAMEMAX);
    return true;
  }
  out = name.substr(0, d);
  while (d != std::string::npos) {
    size_t e = name.find('.', d + 1);
    std::string part = name.substr(d + 1, e == std::string::npos ? std::string::npos : e - d - 1);
    const std::string* v = findvar(s, part);
    out += '.';
    out += v ? *v : part;
    d = e;
  }
  if (out.size() > GSNAMEMAX) {
    std::printf("Compound variable name too long: %s", name.substr(0, GSNAMEMAX).c_str());
    return false;
  }
  return true;
}

// Value of a variable; an unset one is its own name (up to a blank).
bool gsgetvar(gsstate& s, const std::string& name, std::string& out) {
  std::string rn;
  const std::string* key = &name;
  if (name.find('.') != std::string::npos) {
    if (!gsrvar(s, name, rn)) return false;
    key = &rn;
  }
  const std::string* v = findvar(s, *key);
  if (v) {
    out = *v;
  } else {
    size_t b = key->find(' ');
    out = b == std::string::npos ? *key : key->substr(0, b);
  }
  return true;
}

// Sets a variable by its resolved name.
bool gssetvar(gsstate& s, const std::string& name, const std::string& val) {
  listfor(s, name)[name] = val;
  return true;
}

namespace {

// Signed byte comparison: <0, 0, >0.
int strcmp8(const std::string& a, const std::string& b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t k = 0; k < n; k++) {
    signed char x = static_cast<signed char>(a[k]), y = static_cast<signed char>(b[k]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

// Applies one operator; the result goes to l (binary) or r (unary).
bool gsoper(int code, std::string* l, std::string& r) {
  if (code == OP_OR) {
    *l = (*l == "0" && r == "0") ? "0" : "1";
    return true;
  }
  if (code == OP_AND) {
    *l = (*l == "0" || r == "0") ? "0" : "1";
    return true;
  }
  if (code == OP_CAT) {
    gsstrchk(l->size() + r.size());
    *l += r;
    return true;
  }
  if (code == OP_NOT) {
    r = (r.empty() || r == "0") ? "1" : "0";
    return true;
  }
  int ri = 0, li = 0;
  double rd = 0, ld = 0;
  int rk = gsnum(r, &ri, &rd);
  int mode;  // 0 string, 1 integer, 2 real
  if (code == OP_NEG) {
    mode = rk;
  } else {
    int lk = gsnum(*l, &li, &ld);
    mode = (lk == 0 || rk == 0) ? 0 : (lk == 1 && rk == 1) ? 1 : 2;
  }
  if (optyps[code - 1] == 2 && mode == 0) {
    std::printf("Non-numeric args to numeric operation\n");
    return false;
  }
  switch (code) {
    case OP_NEG:
      if (mode == 1) {
        r = std::to_string(-ri);
      } else {
        r = gsfmtd(-rd);
      }
      return true;
    case OP_ADD:
      *l = gsfmtd(ld + rd);
      return true;
    case OP_SUB:
      *l = gsfmtd(ld - rd);
      return true;
    case OP_MUL:
      *l = gsfmtd(ld * rd);
      return true;
    case OP_DIV:
      if (rd == 0) {
        std::printf("Divide by zero\n");
        return false;
      }
      *l = gsfmtd(ld / rd);
      return true;
    default:
      break;
  }
  int c;
  if (mode == 1) {
    c = li < ri ? -1 : li > ri ? 1 : 0;
  } else if (mode == 2) {
    c = ld < rd ? -1 : ld > rd ? 1 : 0;
  } else {
    c = strcmp8(*l, r);
  }
  bool res;
  switch (code) {
    case OP_EQ: res = c == 0; break;
    case OP_NE: res = c != 0; break;
    case OP_GT: res = c > 0; break;
    case OP_GE: res = c >= 0; break;
    case OP_LT: res = c < 0; break;
    case OP_LE: res = c <= 0; break;
    default:
      std::printf("Logic error 12 in gsoper\n");
      return false;
  }
  *l = res ? "1" : "0";
  return true;
}

bool gseval(const gsexprc* e, gsstate& s, std::string& out);

bool evalcall(const gsinstr& in, gsstate& s, std::string& out) {
  std::vector<std::string> args;
  args.reserve(in.args.size());
  for (const auto& a : in.args) {
    if (!a) {
      std::printf("Syntax Error\n");
      return false;
    }
    std::string v;
    if (!gseval(a.get(), s, v)) {
      if (!s.unwind) gsframenote(s, "Error occurred processing function arguments\n");
      return false;
    }
    args.push_back(std::move(v));
  }
  return gsfunc(s, in.text, args, out);
}

bool gseval(const gsexprc* e, gsstate& s, std::string& out) {
  size_t base = s.vtop;
  s.vtop += static_cast<size_t>(e->nslots);
  if (s.vstk.size() < s.vtop) s.vstk.resize(s.vtop + 16);
  bool ok = true;
  for (const auto& in : e->prog) {
    switch (in.kind) {
      case IT_CONST:
        s.vstk[base + static_cast<size_t>(in.slot)] = in.text;
        break;
      case IT_VAR:
        if (!in.compound) {
          const std::string* v = findvar(s, in.text);
          s.vstk[base + static_cast<size_t>(in.slot)] = v ? *v : in.text;
        } else {
          std::string v;
          ok = gsgetvar(s, in.text, v);
          if (ok) s.vstk[base + static_cast<size_t>(in.slot)] = std::move(v);
        }
        break;
      case IT_CALL: {
        std::string v;
        ok = evalcall(in, s, v);
        if (ok) s.vstk[base + static_cast<size_t>(in.slot)] = std::move(v);
        break;
      }
      case IT_OP: {
        std::string& r = s.vstk[base + static_cast<size_t>(in.rslot)];
        std::string* l = in.slot >= 0 ? &s.vstk[base + static_cast<size_t>(in.slot)] : nullptr;
        ok = gsoper(in.code, l, r);
        break;
      }
      default:
        std::printf("%s", in.text.c_str());
        ok = false;
        break;
    }
    if (!ok) break;
  }
  if (ok) out = std::move(s.vstk[base + static_cast<size_t>(e->result)]);
  s.vtop = base;
  return ok;
}

}  // namespace

// Evaluates an expression text; false after the error has been printed.
bool gsexpr(const std::string& text, gsstate& s, std::string& out) {
  gsexprp e(gscompile(text, 0));
  return gseval(e.get(), s, out);
}

// Evaluates a statement's operand, compiling it on first use.
bool gsexprs(gsstmnt* st, gsstate& s, std::string& out) {
  if (!st->cexpr) st->cexpr.reset(gscompile(st->opnd, 0));
  return gseval(st->cexpr.get(), s, out);
}
