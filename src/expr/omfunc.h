// The function table: argument block, handler contract and the call of a
// function from an expression.
#pragma once

struct evalstat;

constexpr int FARGMAX = 20;     // arguments of one call
constexpr int FARGBUF = 1000;   // characters of argument text of one call

// Arguments of one function call, split at top-level commas, exactly as
// written (no blanks).
struct fargs {
  int argnum;
  char* argpnt[FARGMAX];
  char abuf[FARGBUF];
};

// Handler contract: 0 success (result and type in pst), 1 failure with its
// messages printed, -1 an argument was station data where a grid is needed.
typedef int (*omfuncp)(fargs* pfa, evalstat* pst);

struct funcdef {
  const char* name;
  omfuncp func;
};

// The built-in functions, in search order.
extern const funcdef omfuncs[];
extern const int omfuncnum;

// The built-in handler of a name, or null.
omfuncp omfind(const char* name);

// Reads a function call at p (after the name) and runs the function on a
// copy of pst.  Returns the position after the call with the result in
// pst, or null after the messages.
const char* rtnprs(const char* p, const char* name, evalstat* pst);

// Point-wise math handlers.
int ffsqrt(fargs*, evalstat*);
int ffsin(fargs*, evalstat*);
int ffcos(fargs*, evalstat*);
int fftan(fargs*, evalstat*);
int ffasin(fargs*, evalstat*);
int ffacos(fargs*, evalstat*);
int ffabs(fargs*, evalstat*);
int ffexp(fargs*, evalstat*);
int fflog(fargs*, evalstat*);
int fflog10(fargs*, evalstat*);
int ffpow(fargs*, evalstat*);
int ffmag(fargs*, evalstat*);
int ffatan(fargs*, evalstat*);

// Combines the results of two statuses with operation code op; the result
// goes to pst1.  0 or 1 (both operands left in place on failure).
int omfopr(evalstat* pst1, evalstat* pst2, int op);

// Handlers of the analysis functions, each in the file of its family
// (fn_*.cpp).
int ffave(fargs*, evalstat*);
int ffhdiv(fargs*, evalstat*);
int ffhcrl(fargs*, evalstat*);
int ffvint(fargs*, evalstat*);
int fftlp(fargs*, evalstat*);
int ffaav(fargs*, evalstat*);
int ffscor(fargs*, evalstat*);
int fftcor(fargs*, evalstat*);
int fftmav(fargs*, evalstat*);
int ffmask(fargs*, evalstat*);
int ffg2s(fargs*, evalstat*);
int fftv2q(fargs*, evalstat*);
int fftv2t(fargs*, evalstat*);
int ffgint(fargs*, evalstat*);
int ffoacr(fargs*, evalstat*);
int ffoabn(fargs*, evalstat*);
int ffsmth(fargs*, evalstat*);
int ffsave(fargs*, evalstat*);
int ffsmin(fargs*, evalstat*);
int ffsmax(fargs*, evalstat*);
int ffskip(fargs*, evalstat*);
int ffcnst(fargs*, evalstat*);
int ffcdif(fargs*, evalstat*);
int ffmn(fargs*, evalstat*);
int ffamn(fargs*, evalstat*);
int ffsum(fargs*, evalstat*);
int ffsumg(fargs*, evalstat*);
int ffasum(fargs*, evalstat*);
int ffasumg(fargs*, evalstat*);
int ffclgr(fargs*, evalstat*);
int ffmin(fargs*, evalstat*);
int ffmax(fargs*, evalstat*);
int ffminl(fargs*, evalstat*);
int ffmaxl(fargs*, evalstat*);
int ffflvl(fargs*, evalstat*);
int ffsreg(fargs*, evalstat*);
int fftreg(fargs*, evalstat*);
int ffregrid(fargs*, evalstat*);
int ffclim(fargs*, evalstat*);
