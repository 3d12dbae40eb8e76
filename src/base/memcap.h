// How much memory one object of the program may take: grids, script
// strings and the helper process of the self-describing files are refused
// beyond it rather than left to grow until the system ends the session.
#pragma once

#include <cstddef>

// A quarter of the machine's physical memory (an object is seldom alone:
// operands, results, work arrays) and half the address-space limit, if one
// is set; computed once.
size_t ommemcap();
