// Grid with grid: point-by-point operations with broadcasting of a grid of
// fewer varying dimensions over one with more, and the range test.
#include <cmath>

#include "base/omprnt.h"
#include "data/datetime.h"
#include "data/gridres.h"
#include "expr/omexpr.h"
#include "expr/opcore.h"

namespace {

int nvary(const gridres* pgr) { return (pgr->idim != -1) + (pgr->jdim != -1); }

void rangemsg(const gridres* g1, const gridres* g2, int dim) {
  omprnt(0, "Operation error:  Incompatable grids \n");
  omprnt(1, "  Dimension ranges aren't equivalent\n");
  omprntf(2, "  Dimension = %i\n", dim);
  omprntf(2, "  1st grid range = %i %i   2nd = %i %i \n", g1->dimmin[dim], g1->dimmax[dim],
          g2->dimmin[dim], g2->dimmax[dim]);
}

// One pass over G2.  v1 holds G1's values; MODE pairs them:
// 0: G1 0-D; 1: same shape; 2: G1 along G2's i (column k);
// 3: G1 along G2's j (row k).  SWAP: G2 holds the first operand.  NEG 1
// or 2: G1's or G2's values stand for -1 times themselves (a subtraction
// whose negation was not carried out on its own), undefined wherever that
// product would have been.  Built
// twice, for plain x86-64 and for AVX2 (twice the floats per instruction),
// and the loader picks the one the processor runs; the operations are the
// same single IEEE operations either way (no fused multiply-add), so the
// results are identical.
template <int OP, int MODE, bool SWAP, int NEG>
OM_VECTOR_CLONES void gridpass(const float* v1, float u1, gridres* g2) {
  float* v2 = g2->grid;
  const float u2 = g2->undef;
  const int isiz = g2->isiz;
  const int jsiz = g2->jsiz;
  constexpr bool simple = OP == OPMUL || OP == OPDIV || OP == OPADD || OP == OPMASK;
  for (int j = 0; j < jsiz; j++) {
    float* row = v2 + static_cast<size_t>(j) * isiz;
    const float* row1 = MODE == 1 ? v1 + static_cast<size_t>(j) * isiz : v1;
    const float aj = MODE == 3 ? v1[j] : v1[0];
    if constexpr (simple) {
      // Operands in expression order.  The order is a template argument so
      // that the loop holds no run-time test and compiles to vector code.
      for (int i = 0; i < isiz; i++) {
        float a = (MODE == 1 || MODE == 2) ? row1[i] : aj;
        float b = row[i];
        bool ok = (a != u1) & (b != u2);
        if constexpr (NEG == 1) {
          a = -a;
          ok = ok & omopok<OPMUL>(0.0f, a) & (a != u1);
        } else if constexpr (NEG == 2) {
          b = -b;
          ok = ok & omopok<OPMUL>(0.0f, b) & (b != u2);
        }
        float x = SWAP ? b : a;
        float y = SWAP ? a : b;
        float r = omopraw<OP>(x, y);
        ok = ok & omopok<OP>(y, r);
        row[i] = ok ? r : u2;
      }
    } else {
      float r;
      for (int i = 0; i < isiz; i++) {
        float a = (MODE == 1 || MODE == 2) ? row1[i] : aj;
        float b = row[i];
        if (a == u1 || b == u2) {
          row[i] = u2;
          continue;
        }
        bool ok = SWAP ? omopv<OP>(b, a, &r) : omopv<OP>(a, b, &r);
        row[i] = ok ? r : u2;
      }
    }
  }
}

template <int OP, bool SWAP, int NEG>
void gridmode(const float* v1, float u1, gridres* g2, int mode) {
  // Separate instantiations per pairing mode keep the inner loop free of
  // the mode test.
  switch (mode) {
    case 0: gridpass<OP, 0, SWAP, NEG>(v1, u1, g2); break;
    case 1: gridpass<OP, 1, SWAP, NEG>(v1, u1, g2); break;
    case 2: gridpass<OP, 2, SWAP, NEG>(v1, u1, g2); break;
    default: gridpass<OP, 3, SWAP, NEG>(v1, u1, g2); break;
  }
}

template <int OP, int NEG = 0>
void gridrun(const float* v1, float u1, gridres* g2, int mode, bool swapped) {
  if (swapped) gridmode<OP, true, NEG>(v1, u1, g2, mode);
  else gridmode<OP, false, NEG>(v1, u1, g2, mode);
}

bool simpleop(int op) { return op == OPMUL || op == OPDIV || op == OPADD || op == OPMASK; }

// The simple codes with one operand negated on the fly (side 1: G1, 2: G2).
template <int NEG>
void negrun(int op, const float* v1, float u1, gridres* g2, int mode, bool swapped) {
  switch (op) {
    case OPMUL: gridrun<OPMUL, NEG>(v1, u1, g2, mode, swapped); break;
    case OPDIV: gridrun<OPDIV, NEG>(v1, u1, g2, mode, swapped); break;
    case OPADD: gridrun<OPADD, NEG>(v1, u1, g2, mode, swapped); break;
    default: gridrun<OPMASK, NEG>(v1, u1, g2, mode, swapped); break;
  }
}

}  // namespace

namespace {

// omgrop, with neg 1 or 2 when the first or the second operand stands for
// its negation (simple codes only).
gridres* gridop(gridres* pgr1, gridres* pgr2, int op, int rel, int neg) {
  if (!omopvalid(op) || (neg != 0 && !simpleop(op))) {
    omprnt(0, "Internal logic check 17: invalid oper value\n");
    return nullptr;
  }
  int n1 = nvary(pgr1), n2 = nvary(pgr2);
  gridres* g1 = pgr1;
  gridres* g2 = pgr2;
  bool swapped = false;
  if (n2 < n1) {
    g1 = pgr2;
    g2 = pgr1;
    swapped = true;
  }
  int c1 = nvary(g1), c2 = nvary(g2);
  int mode;
  if (c1 == c2) {
    if (g1->idim != g2->idim || g1->jdim != g2->jdim) {
      omprnt(0, "Operation error:  Incompatable grids \n");
      omprnt(1, "   Varying dimensions are different\n");
      omprntf(2, "  1st grid dims = %i %i   2nd = %i %i \n", g1->idim, g1->jdim, g2->idim,
              g2->jdim);
      return nullptr;
    }
    if (c1 >= 1 && omgchk(g1, g2, g1->idim)) {
      rangemsg(g1, g2, g1->idim);
      return nullptr;
    }
    if (c1 == 2 && omgchk(g1, g2, g1->jdim)) {
      rangemsg(g1, g2, g1->jdim);
      return nullptr;
    }
    mode = c1 == 0 ? 0 : 1;
  } else if (c1 == 0) {
    mode = 0;
  } else {
    int dim = g1->idim;
    if (omgchk(g1, g2, dim)) {
      rangemsg(g1, g2, dim);
      return nullptr;
    }
    mode = dim == g2->idim ? 2 : 3;
  }
  const float* v1 = c1 == 0 ? &g1->rmin : g1->grid;
  float u1 = g1->undef;
  // The negated operand, as G1 (1) or G2 (2).
  int side = neg == 0 ? 0 : ((neg == 1) != swapped ? 1 : 2);
  if (side == 1) negrun<1>(op, v1, u1, g2, mode, swapped);
  else if (side == 2) negrun<2>(op, v1, u1, g2, mode, swapped);
  else OM_OP_SWITCH(op, gridrun<OPC>(v1, u1, g2, mode, swapped));
  if (nvary(g2) == 0) g2->rmax = g2->rmin;
  if (rel) omgfre(g1);
  return g2;
}

}  // namespace

gridres* omgrop(gridres* pgr1, gridres* pgr2, int op, int rel) {
  return gridop(pgr1, pgr2, op, rel, 0);
}

gridres* omgrneg(gridres* pgr1, gridres* pgr2, int op, int which, int rel) {
  return gridop(pgr1, pgr2, op, rel, which == 1 ? 1 : 2);
}
