// The point operation of every operator code, shared by the grid and the
// station operations.  omopv gives false when the result is undefined:
// division by zero, maskout of a negative second operand, or a result that
// is not a finite number (overflow, pow of a negative base to a fraction).
#pragma once

#include <cmath>

#include "base/vecclone.h"
#include "expr/omexpr.h"

template <int OP>
inline bool omopv(float a, float b, float* r) {
  float v;
  if constexpr (OP == OPMUL) {
    v = a * b;
  } else if constexpr (OP == OPDIV) {
    if (b == 0.0f) return false;
    v = a / b;
  } else if constexpr (OP == OPADD) {
    v = a + b;
  } else if constexpr (OP == OPPOW) {
    v = static_cast<float>(std::pow(static_cast<double>(a), static_cast<double>(b)));
  } else if constexpr (OP == OPMAG) {
    v = static_cast<float>(std::hypot(static_cast<double>(a), static_cast<double>(b)));
  } else if constexpr (OP == OPATAN) {
    if (a == 0.0f && b == 0.0f) {
      v = 0.0f;
    } else {
      v = static_cast<float>(std::atan2(static_cast<double>(a), static_cast<double>(b)));
    }
  } else {
    static_assert(OP == OPMASK, "unknown operation");
    if (b < 0.0f) return false;
    v = a;
  }
  if (!std::isfinite(v)) return false;
  *r = v;
  return true;
}

// The branch-free form for the simple codes, used by the grid loops so
// that they compile to vector code: the raw result, and whether it is
// defined.  Codes 10-12 go through omopv.  A division by zero is carried
// out (inf or NaN, no trap) and then refused by omopok; guarding the
// divisor with a select would keep the loop from vectorising.
template <int OP>
inline float omopraw(float a, float b) {
  if constexpr (OP == OPMUL) return a * b;
  else if constexpr (OP == OPDIV) return a / b;
  else if constexpr (OP == OPADD) return a + b;
  else return a;  // maskout
}

template <int OP>
inline bool omopok(float b, float r) {
  bool fin = std::fabs(r) <= 3.40282347e38f;  // false for inf and NaN
  if constexpr (OP == OPDIV) return fin & (b != 0.0f);
  else if constexpr (OP == OPMASK) return fin & (b >= 0.0f);
  else return fin;
}

inline bool omopvalid(int op) {
  return op == OPMUL || op == OPDIV || op == OPADD || op == OPPOW || op == OPMAG ||
         op == OPATAN || op == OPMASK;
}

// Expands to a switch that runs STMT with the compile-time constant OPC
// set to the run-time code op (valid codes only), so that a loop is
// compiled once per operation and holds no test of the code.
#define OM_OP_SWITCH(op, STMT)                 \
  switch (op) {                                 \
    case OPMUL: { constexpr int OPC = OPMUL; STMT; } break;   \
    case OPDIV: { constexpr int OPC = OPDIV; STMT; } break;   \
    case OPADD: { constexpr int OPC = OPADD; STMT; } break;   \
    case OPPOW: { constexpr int OPC = OPPOW; STMT; } break;   \
    case OPMAG: { constexpr int OPC = OPMAG; STMT; } break;   \
    case OPATAN: { constexpr int OPC = OPATAN; STMT; } break; \
    default: { constexpr int OPC = OPMASK; STMT; } break;     \
  }
