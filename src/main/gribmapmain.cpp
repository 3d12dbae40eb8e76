// ombra-gribmap: the GRIB index maker as a program of its own, for the
// descriptors of large collections made outside a session (a job that
// indexes each day's files as they arrive).  It runs the maker the gribmap
// command runs, on each descriptor named.
#include <cstdio>
#include <cstring>

#include "base/cmnstate.h"
#include "base/outflush.h"
#include "data/gribmap.h"

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0) {
    std::fprintf(argc < 2 ? stderr : stdout,
                 "Usage: ombra-gribmap FILE.ctl ...\n"
                 "Makes the index that each descriptor's index record names, of the GRIB\n"
                 "records (edition 1, or 2 for dtype grib2) of the files it describes.\n");
    return argc < 2 ? 2 : 0;
  }
  ominit();
  int failed = 0;
  for (int i = 1; i < argc; i++) failed |= gribmapcmd(argv[i]);
  omoutflush();
  return failed ? 1 : 0;
}
