// The expression evaluator: one left-to-right scan with an operand and
// operator stack.  Multiplication and division are applied as soon as their
// right operand is on the stack; additions wait for a ")" or the end.
#include "expr/omexpr.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "base/cmnstate.h"
#include "base/memcap.h"
#include "base/omprnt.h"
#include "base/words.h"
#include "data/gridres.h"
#include "data/stnlist.h"
#include "expr/evalstat.h"
#include "expr/fn_common.h"
#include "expr/varprs.h"

int omexpr_pass = 0;

namespace {

enum { KGRID = -1, KSTN = -2, KOPER = 1, KOPEN = 2, KCLOSE = 3 };

struct smem {
  int kind;
  union {
    gridres* pgr;
    stnlist* stn;
    int op;
  } v;
  // A grid that stands for -1 times itself: the multiplication a "-"
  // asks for is left pending, so that the next operation on the grid does
  // both in one pass over it (omgrneg).
  int neg = 0;
};

bool isoperand(int kind) { return kind == KGRID || kind == KSTN; }

int nvary(const gridres* pgr) { return (pgr->idim != -1) + (pgr->jdim != -1); }

// The -1 constant of a "-": a grid without varying dimension holding -1
// with the undefined value of constants.
bool isminus1(const smem& m) {
  return m.kind == KGRID && !m.neg && nvary(m.v.pgr) == 0 && m.v.pgr->rmin == -1.0f &&
         m.v.pgr->undef == -9.99e33f;
}

// Carries out a pending negation: -1 times the grid, in place.
bool settle(smem& m) {
  if (m.kind != KGRID || !m.neg) return true;
  gridres* c = omgrvl(-1.0f);
  if (!c) return false;
  gridres* r = omgrop(c, m.v.pgr, OPMUL, 1);
  if (!r) {
    omgfre(c);
    return false;
  }
  m.v.pgr = r;
  m.neg = 0;
  return true;
}

// Combines the operands at i1 and i2 (expression order) into slot ir.
bool omoper(std::vector<smem>& st, int i1, int i2, int ir, int op) {
  smem& a = st[i1];
  smem& b = st[i2];
  if (a.kind == KGRID && b.kind == KGRID && a.neg && b.neg && !settle(b)) return false;
  if ((op == OPMUL || op == OPDIV || op == OPADD || op == OPMASK) && a.kind == KGRID &&
      b.kind == KGRID && a.neg != b.neg) {
    gridres* r = omgrneg(a.v.pgr, b.v.pgr, op, a.neg ? 1 : 2, 1);
    if (!r) return false;
    st[ir].kind = KGRID;
    st[ir].v.pgr = r;
    st[ir].neg = 0;
    return true;
  }
  if (!settle(a) || !settle(b)) return false;
  if (a.kind == KGRID && b.kind == KGRID) {
    gridres* r = omgrop(a.v.pgr, b.v.pgr, op, 1);
    if (!r) return false;
    st[ir].kind = KGRID;
    st[ir].v.pgr = r;
    st[ir].neg = 0;
    return true;
  }
  if (a.kind == KSTN && b.kind == KSTN) {
    stnlist* r = omstop(a.v.stn, b.v.stn, op, 1);
    if (!r) return false;
    st[ir].kind = KSTN;
    st[ir].v.stn = r;
    return true;
  }
  gridres* pgr = a.kind == KGRID ? a.v.pgr : b.v.pgr;
  stnlist* stn = a.kind == KSTN ? a.v.stn : b.v.stn;
  if (pgr->idim != -1 || pgr->jdim != -1) {
    omprnt(0, "Operation Error: Incompatable Data Types\n");
    omprnt(0, "  One operand was stn data, other was grid\n");
    return false;
  }
  if (!omscop(stn, pgr->rmin, op, a.kind == KGRID ? 1 : 0)) return false;
  omgfre(pgr);
  st[ir].kind = KSTN;
  st[ir].v.stn = stn;
  st[ir].neg = 0;
  return true;
}

// Reduces the top of the stack.  final: the text has ended, so pending
// additions are applied too.
bool eval(bool final, std::vector<smem>& st, int* top) {
  int t = *top;
  bool closed = false;
  while (t > 0) {
    int kind = st[t].kind;
    if (kind == KCLOSE) {
      closed = true;
      t--;
      continue;
    }
    if (!isoperand(kind)) {
      *top = t;
      return false;
    }
    int below = st[t - 1].kind;
    if (below == KOPEN) {
      if (!closed) break;
      st[t - 1] = st[t];
      t--;
      closed = false;
      continue;
    }
    if (below != KOPER) {
      omprnt(0, "Internal logic check 14 \n");
      *top = t;
      return false;
    }
    if (t < 2 || !isoperand(st[t - 2].kind)) {
      omprnt(0, "Internal logic check 12 \n");
      *top = t;
      return false;
    }
    int op = st[t - 1].v.op;
    if (op == OPADD && !closed && !final) break;
    if (op == OPMUL && isminus1(st[t - 2]) && st[t].kind == KGRID && !st[t].neg &&
        nvary(st[t].v.pgr) > 0) {
      // -1 times a grid: left pending (see smem::neg).
      omgfre(st[t - 2].v.pgr);
      st[t - 2] = st[t];
      st[t - 2].neg = 1;
      t -= 2;
      continue;
    }
    if (!omoper(st, t - 2, t, t - 2, op)) {
      *top = t;
      return false;
    }
    t -= 2;
  }
  *top = t;
  if (closed) {
    // A ")" reached the bottom of the stack without closing a "(".
    omprnt(0, "Syntax Error:  Unmatched Parens\n");
    return false;
  }
  // An expression that ends after an operator or an open "(" fails here
  // without a message of its own.
  if (t == 0 && !isoperand(st[0].kind)) return false;
  return true;
}

// The stack grows as the text needs: sized up front for the worst case
// (three entries a character), a long line would cost many times its
// length.  One character pushes at most three entries, so room for three
// more before each is enough.  False when memory ran out.
bool roomfor(std::vector<smem>& st, int top) {
  size_t need = static_cast<size_t>(top + 1) + 3;
  if (need <= st.size()) return true;
  try {
    st.resize(need * 2);
  } catch (const std::bad_alloc&) {
    omprnt(0, "Memory Allocation Error:  parser stack\n");
    return false;
  }
  return true;
}

void put(std::vector<smem>& st, int* top, const smem& m) { st[++*top] = m; }

bool pushgrid(std::vector<smem>& st, int* top, gridres* pgr) {
  if (!pgr) return false;
  smem m;
  m.kind = KGRID;
  m.v.pgr = pgr;
  m.neg = 0;
  put(st, top, m);
  return true;
}

void pushop(std::vector<smem>& st, int* top, int kind, int op) {
  smem m;
  m.kind = kind;
  m.v.op = op;
  put(st, top, m);
}

void release(std::vector<smem>& st, int top) {
  for (int i = 0; i <= top; i++) {
    if (st[i].kind == KGRID) omgfre(st[i].v.pgr);
    else if (st[i].kind == KSTN) omsfre(st[i].v.stn);
    st[i].kind = 0;
  }
}

// Additions wait on the stack until the text ends, so a long sum holds
// every operand at once.  A grid joining about top/2 others of its size
// must leave them all within the memory one object may take; a sum of a
// hundred thousand fields is refused here rather than left to exhaust the
// machine.
bool toomany(const gridres* pgr, int top) {
  size_t bytes = sizeof(gridres) + sizeof(float) * static_cast<size_t>(pgr->isiz) *
                                        static_cast<size_t>(pgr->jsiz);
  size_t held = static_cast<size_t>(top + 2) / 2 + 1;
  return held > ommemcap() / bytes;
}

}  // namespace

int omexpr(const char* expr, evalstat* pst) {
  pst->result.pgr = nullptr;
  if (omqsig()) return 1;
  omexpr_pass++;

  size_t len = std::strcspn(expr, "\n");
  std::vector<smem> st(std::min<size_t>(3 * len + 3, 64));
  int top = -1;

  const char* pos = expr;
  bool operand = true;
  bool err = false;
  do {
    if (!roomfor(st, top)) {
      err = true;
      break;
    }
    char c = *pos;
    if (operand) {
      if (c == '(') {
        pushop(st, &top, KOPEN, 0);
        pos++;
      } else if (c == '-') {
        if (!pushgrid(st, &top, omgrvl(-1.0f))) {
          err = true;
          break;
        }
        pushop(st, &top, KOPER, OPMUL);
        pos++;
      } else if (c >= '0' && c <= '9') {
        float val;
        const char* next = fnvalue(pos, &val);
        if (!next) {
          omprnt(0, "Syntax Error:  Invalid numeric value\n");
          err = true;
          break;
        }
        if (!pushgrid(st, &top, omgrvl(val))) {
          err = true;
          break;
        }
        pos = next;
        if (!eval(false, st, &top)) {
          err = true;
          break;
        }
        operand = false;
      } else if (c >= 'a' && c <= 'z') {
        const char* next = varprs(pos, pst);
        if (!next) {
          pst->result.pgr = nullptr;
          err = true;
          break;
        }
        smem m;
        if (pst->type == 1) {
          m.kind = KGRID;
          m.v.pgr = pst->result.pgr;
          if (toomany(m.v.pgr, top)) {
            omprnt(0, "Memory Allocation Error:  Expression operands\n");
            omgfre(m.v.pgr);
            pst->result.pgr = nullptr;
            err = true;
            break;
          }
        } else {
          m.kind = KSTN;
          m.v.stn = pst->result.stn;
        }
        pst->result.pgr = nullptr;
        put(st, &top, m);
        pos = next;
        if (!eval(false, st, &top)) {
          err = true;
          break;
        }
        operand = false;
      } else {
        omprnt(0, "Syntax Error:  Expected operand or '('\n");
        err = true;
        break;
      }
    } else {
      if (c == ')') {
        pushop(st, &top, KCLOSE, 0);
        if (!eval(false, st, &top)) {
          err = true;
          break;
        }
        pos++;
      } else if (c == '*' || c == '/' || c == '+') {
        pushop(st, &top, KOPER, c == '*' ? OPMUL : (c == '/' ? OPDIV : OPADD));
        pos++;
        operand = true;
      } else if (c == '-') {
        pushop(st, &top, KOPER, OPADD);
        if (!pushgrid(st, &top, omgrvl(-1.0f))) {
          err = true;
          break;
        }
        pushop(st, &top, KOPER, OPMUL);
        pos++;
        operand = true;
      } else {
        omprnt(0, "Syntax Error:  Expected operator or ')'\n");
        err = true;
        break;
      }
    }
  } while (*pos && *pos != '\n');

  if (!err) {
    if (!eval(true, st, &top)) {
      err = true;
    } else if (top != 0) {
      omprnt(0, "Syntax Error:  Unmatched Parens\n");
      err = true;
    } else if (st[0].kind == KGRID) {
      if (!settle(st[0])) {
        err = true;
      } else {
        pst->type = 1;
        pst->result.pgr = st[0].v.pgr;
      }
    } else if (st[0].kind == KSTN) {
      pst->type = 0;
      pst->result.stn = st[0].v.stn;
    } else {
      omprnt(0, "OMEXPR Logic Error Number 29\n");
      err = true;
    }
  }

  if (err) {
    if (omexpr_pass == 1) omprntf(0, "  Error ocurred at column %i\n", static_cast<int>(pos - expr + 1));
    release(st, top);
    pst->result.pgr = nullptr;
  }
  omexpr_pass--;
  return err ? 1 : 0;
}
