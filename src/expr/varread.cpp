#include "expr/varread.h"

#include "data/omggrd.h"
#include "data/omgstn.h"

int omvread(gridres* pgr) { return omggrd(pgr); }

int omvstn(stnlist* stn) { return omgstn(stn); }
