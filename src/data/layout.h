// The layout of a binary grid data file: grid record and time block
// lengths, each variable's offset in the time block and first record, and
// the records per time.
#pragma once

struct datafile;

// Computes the layout of a gridded data file from its sizes, headers,
// options and variable table.  0 done, 1 refused (message printed).
int omlayout(datafile* pfi);
