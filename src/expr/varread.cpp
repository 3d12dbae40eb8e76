#include "expr/varread.h"

#include "data/gridres.h"
#include "data/omggrd.h"
#include "data/omgstn.h"
#include "expr/gridcache.h"

int omvread(gridres* pgr) {
  if (omrcget(pgr)) return 0;
  gridres req = *pgr;
  int rc = omggrd(pgr);
  if (rc == 0) omrcput(&req, pgr);
  return rc;
}

int omvstn(stnlist* stn) { return omgstn(stn); }
