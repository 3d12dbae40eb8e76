// Writes the index of a GRIB data set for the benches: the maker run on
// the descriptor given.  Usage: grib_mkindex file.ctl
#include <cstdio>

#include "data/gribmap.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  gmpcmn = gmapset();
  gmpcmn.descr = argv[1];
  return gribmap() == 1 ? 0 : 1;
}
