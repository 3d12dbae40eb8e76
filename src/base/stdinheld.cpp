#include "base/stdinheld.h"

#include <cstdio>

bool stdinheld() {
#ifdef __GLIBC__
  return stdin->_IO_read_ptr < stdin->_IO_read_end;
#else
  return false;
#endif
}
