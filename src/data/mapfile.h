// Reading the station map of a station data set and the GRIB index of a
// GRIB data set into the data-file record, when the descriptor is parsed.
#pragma once

#include <cstdio>

struct datafile;

// Read the open map file (positioned anywhere) into pfi->stnmap or
// pfi->pindx.  0 done; 1 refused (counts negative, or the file shorter
// than its counts say), with the message printed; -1 out of memory
// (nothing printed; the parser reports it).
int omrstm(FILE* mfile, datafile* pfi);
int omrgix(FILE* mfile, datafile* pfi);

// The sign-and-magnitude big-endian integer of an index or map word.
int omsmint(const unsigned char* b);
