// Placeholder for the omsetatt group of set keywords until that group is built:
// every keyword of the group answers that it is not built yet.  The
// engineer of the group replaces this file wholesale.
#include <string>

#include "cmd/omprnt.h"
#include "cmd/omset.h"

int omsetatt(const setcall& c) {
  omprnt(0, std::string("SET error:  ") + c.name + " option not built yet\n");
  return 1;
}
