#include "base/heaptune.h"

#include <malloc.h>

void omheaptune() {
  // Grids of a large data set (4 MB and more) are still mapped on their own
  // and go back to the system when freed; what the heap keeps is bounded.
  mallopt(M_MMAP_THRESHOLD, 4 << 20);
  mallopt(M_TRIM_THRESHOLD, 16 << 20);
}
