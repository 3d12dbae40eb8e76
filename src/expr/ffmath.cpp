// Point-wise math functions: ten of one argument that transform a grid or
// a station list in place, and three of two arguments that combine two
// operands through the operators.
#include <cmath>

#include "base/omprnt.h"
#include "data/gridres.h"
#include "data/stnlist.h"
#include "expr/evalstat.h"
#include "expr/omexpr.h"
#include "expr/omfunc.h"

namespace {

enum Domain { DOMALL, DOMNONNEG, DOMPOS, DOMUNIT };

struct mathdef {
  const char* countmsg1;   // argument-count lines
  const char* countmsg2;
  Domain dom;
  bool warn;               // count out-of-domain values and warn
  const char* warnmsg1;    // formatted with the count
  const char* warnmsg2;
  double (*fn)(double);
};

bool indomain(Domain dom, float x) {
  switch (dom) {
    case DOMNONNEG: return x >= 0.0f;
    case DOMPOS: return x > 0.0f;
    case DOMUNIT: return x <= 1.0f && x >= -1.0f;
    default: return true;
  }
}

// Transforms one value; false when it becomes undefined.
inline bool mathval(const mathdef& md, float x, float* r, int* cnt) {
  if (!indomain(md.dom, x)) {
    if (md.warn) (*cnt)++;
    return false;
  }
  float v = md.fn ? static_cast<float>(md.fn(static_cast<double>(x))) : std::fabs(x);
  if (!std::isfinite(v)) return false;
  *r = v;
  return true;
}

int mathone(fargs* pfa, evalstat* pst, const mathdef& md) {
  if (pfa->argnum != 1) {
    omprnt(0, md.countmsg1);
    omprnt(0, md.countmsg2);
    return 1;
  }
  int rc = omexpr(pfa->argpnt[0], pst);
  if (rc) return rc;
  int cnt = 0;
  float r;
  if (pst->type == 0) {
    stnlist* stn = pst->result.stn;
    for (stnrpt* p = stn->rpt; p; p = p->rpt) {
      if (p->val == stn->undef) continue;
      p->val = mathval(md, p->val, &r, &cnt) ? r : stn->undef;
    }
  } else {
    gridres* pgr = pst->result.pgr;
    size_t n = static_cast<size_t>(pgr->isiz) * static_cast<size_t>(pgr->jsiz);
    float* v = pgr->grid;
    const float u = pgr->undef;
    for (size_t i = 0; i < n; i++) {
      if (v[i] == u) continue;
      v[i] = mathval(md, v[i], &r, &cnt) ? r : u;
    }
    if (pgr->idim == -1 && pgr->jdim == -1) pgr->rmax = pgr->rmin;
  }
  if (md.warn && cnt > 0) {
    omprntf(1, md.warnmsg1, cnt);
    omprnt(1, md.warnmsg2);
  }
  return 0;
}

double dsqrt(double x) { return std::sqrt(x); }
double dsin(double x) { return std::sin(x); }
double dcos(double x) { return std::cos(x); }
double dtan(double x) { return std::tan(x); }
double dasin(double x) { return std::asin(x); }
double dacos(double x) { return std::acos(x); }
double dexp(double x) { return std::exp(x); }
double dlog(double x) { return std::log(x); }
double dlog10(double x) { return std::log10(x); }

const char* const ONE17 = "                 One argument expected \n";

const mathdef MDSQRT = {"Error from SQRT: Too many or too few args \n", ONE17, DOMNONNEG, true,
                        "Warning from SQRT:  Data has %i values < zero \n",
                        "                    These were set to the undefined value \n", dsqrt};
const mathdef MDSIN = {"Error from SIN:  Too many or too few args \n", ONE17, DOMALL, false,
                       nullptr, nullptr, dsin};
const mathdef MDCOS = {"Error from COS:  Too many or too few args \n", ONE17, DOMALL, false,
                       nullptr, nullptr, dcos};
const mathdef MDTAN = {"Error from TAN:  Too many or too few args \n", ONE17, DOMALL, false,
                       nullptr, nullptr, dtan};
const mathdef MDASIN = {"Error from ASIN:  Too many or too few args \n",
                        "                  One argument expected \n", DOMUNIT, false, nullptr,
                        nullptr, dasin};
const mathdef MDACOS = {"Error from ACOS:  Too many or too few args \n", ONE17, DOMUNIT, false,
                        nullptr, nullptr, dacos};
const mathdef MDABS = {"Error from ABS:  Too many or too few args \n", ONE17, DOMALL, false,
                       nullptr, nullptr, nullptr};
const mathdef MDEXP = {"Error from EXP:  Too many or too few args \n", ONE17, DOMALL, false,
                       nullptr, nullptr, dexp};
const mathdef MDLOG = {"Error from LOG:  Too many or too few args \n", ONE17, DOMPOS, true,
                       "Warning from LOG:  Data has %i values <= zero \n",
                       "                   These were set to the undefined value \n", dlog};
const mathdef MDLOG10 = {"Error from LOG10:  Too many or too few args \n",
                         "                   One argument expected \n", DOMPOS, true,
                         "Warning from LOG10:  Data has %i values <= zero \n",
                         "                     These were set to the undefined value \n", dlog10};

int mathtwo(fargs* pfa, evalstat* pst, int op, const char* msg1, const char* msg2) {
  if (pfa->argnum != 2) {
    omprnt(0, msg1);
    omprnt(0, msg2);
    return 1;
  }
  int rc = omexpr(pfa->argpnt[0], pst);
  if (rc) return rc;
  evalstat pst2 = *pst;
  pst2.result.pgr = nullptr;
  rc = omexpr(pfa->argpnt[1], &pst2);
  if (rc) {
    omfree(pst);
    return rc;
  }
  if (omfopr(pst, &pst2, op)) {
    omfree(pst);
    omfree(&pst2);
    return 1;
  }
  return 0;
}

}  // namespace

int ffsqrt(fargs* pfa, evalstat* pst) { return mathone(pfa, pst, MDSQRT); }
int ffsin(fargs* pfa, evalstat* pst) { return mathone(pfa, pst, MDSIN); }
int ffcos(fargs* pfa, evalstat* pst) { return mathone(pfa, pst, MDCOS); }
int fftan(fargs* pfa, evalstat* pst) { return mathone(pfa, pst, MDTAN); }
int ffasin(fargs* pfa, evalstat* pst) { return mathone(pfa, pst, MDASIN); }
int ffacos(fargs* pfa, evalstat* pst) { return mathone(pfa, pst, MDACOS); }
int ffabs(fargs* pfa, evalstat* pst) { return mathone(pfa, pst, MDABS); }
int ffexp(fargs* pfa, evalstat* pst) { return mathone(pfa, pst, MDEXP); }
int fflog(fargs* pfa, evalstat* pst) { return mathone(pfa, pst, MDLOG); }
int fflog10(fargs* pfa, evalstat* pst) { return mathone(pfa, pst, MDLOG10); }

int ffpow(fargs* pfa, evalstat* pst) {
  return mathtwo(pfa, pst, OPPOW, "Error from POW:  Too many or too few args \n",
                 "                 Two arguments expected \n");
}
int ffmag(fargs* pfa, evalstat* pst) {
  return mathtwo(pfa, pst, OPMAG, "Error from MAG:  Too many or too few args \n",
                 "                 Two arguments expected \n");
}
int ffatan(fargs* pfa, evalstat* pst) {
  return mathtwo(pfa, pst, OPATAN, "Error from ATAN2:  Too many or too few args \n",
                 "                   Two arguments expected \n");
}

int omfopr(evalstat* pst1, evalstat* pst2, int op) {
  if (pst1->type == 1 && pst2->type == 1) {
    gridres* r = omgrop(pst1->result.pgr, pst2->result.pgr, op, 1);
    if (!r) return 1;
    pst1->result.pgr = r;
    pst1->type = 1;
    pst2->result.pgr = nullptr;
    return 0;
  }
  if (pst1->type == 0 && pst2->type == 0) {
    stnlist* r = omstop(pst1->result.stn, pst2->result.stn, op, 1);
    if (!r) return 1;
    pst1->result.stn = r;
    pst1->type = 0;
    pst2->result.pgr = nullptr;
    return 0;
  }
  gridres* pgr = pst1->type == 1 ? pst1->result.pgr : pst2->result.pgr;
  stnlist* stn = pst1->type == 0 ? pst1->result.stn : pst2->result.stn;
  if (pgr->idim != -1 || pgr->jdim != -1) {
    omprnt(0, "Operation Error: Incompatable Data Types\n");
    omprnt(0, "  One operand was stn data, other was grid\n");
    return 1;
  }
  if (!omscop(stn, pgr->rmin, op, pst1->type == 0 ? 0 : 1)) return 1;
  omgfre(pgr);
  pst1->result.stn = stn;
  pst1->type = 0;
  pst2->result.pgr = nullptr;
  return 0;
}
