// The expression evaluator and the operators on grids and station lists.
#pragma once

struct evalstat;
struct gridres;
struct stnlist;

// Operation codes shared by the evaluator and the two-operand functions.
constexpr int OPMUL = 0;
constexpr int OPDIV = 1;
constexpr int OPADD = 2;
constexpr int OPPOW = 10;
constexpr int OPMAG = 11;
constexpr int OPATAN = 12;
constexpr int OPMASK = 13;

// Evaluates an expression (no blanks; ends at the end of the string or a
// newline) over the dimension environment of pst.  0: the result and its
// type (1 grid, 0 station data) are in pst, owned by the caller, who
// releases them with omfree.  Nonzero: messages printed, pst->result is
// null.
int omexpr(const char* expr, evalstat* pst);

// Releases the result held by pst (by its type) and clears it.
void omfree(evalstat* pst);

// Grid with grid: the result is one of the two operands changed in place;
// with rel set the other operand is released.  Null on failure (messages
// printed, both operands left to the caller).
gridres* omgrop(gridres* pgr1, gridres* pgr2, int op, int rel);

// omgrop for the codes OPMUL, OPDIV, OPADD and OPMASK where operand which
// (1 or 2) stands for -1 times itself, in one pass: the same values,
// undefined points and messages as first multiplying that operand by the
// constant -1 with omgrop and then combining.
gridres* omgrneg(gridres* pgr1, gridres* pgr2, int op, int which, int rel);

// Station list with station list, matched by position, level or time.
stnlist* omstop(stnlist* stn1, stnlist* stn2, int op, int rel);

// Station list with a constant; swap 0: the list is the first operand,
// 1: the constant is.
stnlist* omscop(stnlist* stn, float val, int op, int swap);

// Nesting depth of evaluations in progress (function arguments nest).
extern int omexpr_pass;
