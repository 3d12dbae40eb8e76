// The release of station lists.
#include "data/stnlist.h"

#include <cstdlib>

void omsfre(stnlist* stn) {
  if (!stn) return;
  std::free(stn->tvals);
  for (int i = 0; i < STNBLKS; i++)
    if (stn->blks[i]) std::free(stn->blks[i]);
  std::free(stn);
}
