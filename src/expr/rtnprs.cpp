// Function calls in expressions: the argument list is split at top-level
// commas and the function runs on its own copy of the evaluation status,
// so whatever it changes in the dimension environment stays private.
#include <memory>

#include "base/omprnt.h"
#include "expr/evalstat.h"
#include "expr/omfunc.h"
#include "expr/udf.h"

namespace {

// Splits the argument list at p (just after the "(").  Returns the position
// after the closing ")", or null after the message.
const char* splitargs(const char* p, fargs* pfa) {
  int depth = 0;
  int n = 0;
  pfa->argpnt[0] = pfa->abuf;
  for (;;) {
    char c = *p;
    if (c == '\0' || c == '\n') {
      omprnt(0, "Syntax Error:  Unmatched parens\n");
      return nullptr;
    }
    bool ends = (c == ',' && depth == 0) || (c == ')' && depth == 0);
    if (ends) {
      if (pfa->argnum >= FARGMAX) {
        omprntf(0, "Syntax Error:  More than %i function arguments\n", FARGMAX);
        return nullptr;
      }
      pfa->abuf[n++] = '\0';
      pfa->argnum++;
      p++;
      if (c == ')') return p;
      if (pfa->argnum >= FARGMAX) {
        omprntf(0, "Syntax Error:  More than %i function arguments\n", FARGMAX);
        return nullptr;
      }
      pfa->argpnt[pfa->argnum] = pfa->abuf + n;
      continue;
    }
    if (c == '(') depth++;
    if (c == ')') depth--;
    // Room for this character and the terminator of the argument.
    if (n + 2 > FARGBUF) {
      omprntf(0, "Syntax Error:  Function arguments longer than %i characters\n", FARGBUF - 1);
      return nullptr;
    }
    pfa->abuf[n++] = c;
    p++;
  }
}

}  // namespace

const char* rtnprs(const char* p, const char* name, evalstat* pst) {
  udfdef* pudf = omudfind(name);
  omfuncp fn = nullptr;
  if (!pudf) {
    fn = omfind(name);
    if (!fn) {
      omprnt(0, "Syntax Error:  Invalid Operand \n");
      omprntf(0, "  '%s' not a variable or function name\n", name);
      return nullptr;
    }
  }
  auto pfa = std::make_unique<fargs>();
  pfa->argnum = 0;
  evalstat cp = *pst;
  cp.result.pgr = nullptr;

  if (*p == '(') {
    if (*(p + 1) == ')') {
      p += 2;
    } else {
      p = splitargs(p + 1, pfa.get());
      if (!p) return nullptr;
    }
  }

  int rc = pudf ? ffuser(pudf, pfa.get(), &cp) : fn(pfa.get(), &cp);
  if (rc == 0) {
    pst->result = cp.result;
    pst->type = cp.type;
    return p;
  }
  if (rc == -1) omprntf(0, "Error in %s : Arg was stn data type\n", name);
  omprntf(0, "Operation Error:  Error from %s function\n", name);
  return nullptr;
}
