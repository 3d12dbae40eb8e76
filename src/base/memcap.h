// How much memory one object of the program may take: grids, script
// strings and the helper process of the self-describing files are refused
// beyond it rather than left to grow until the system ends the session.
#pragma once

#include <cstddef>

// A quarter of the machine's physical memory (an object is seldom alone:
// operands, results, work arrays) and half the address-space limit, if one
// is set; computed once.
size_t ommemcap();

// The bytes of private writable memory the process holds now, the figure
// the system's data-size limit (RLIMIT_DATA) is held against: read from
// /proc where it is mounted; else what the allocator holds, with 64 MB
// more for the libraries' own data and the stacks, which it does not see.
size_t omdatasize();
