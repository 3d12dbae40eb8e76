#include "expr/omexpr.h"

#include "cmd/omprnt.h"
#include "expr/evalstat.h"

int omexpr_pass = 0;

int omexpr(const char* expr, evalstat* pst) {
  omprnt(0, "Expression evaluation: not built yet\n");
  pst->result.pgr = nullptr;
  return 1;
}

void omfree(evalstat* pst) { pst->result.pgr = nullptr; }

void omsfre(stnlist* stn) {}
