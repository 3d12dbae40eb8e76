// How the allocator keeps what is freed.  Each open of a netCDF-4 file makes
// HDF5 take about a megabyte in pieces (its metadata cache) and give it back
// at the close.  glibc by default maps pieces of 128 KB and more on their
// own and unmaps them at free, and hands the top of its heap back once
// 128 KB of it are free; it raises both limits only as it frees a mapped
// piece (to that piece's size, and twice that for the top), and only up
// to 32 MB.  A session opening many files then asks the system for the
// same memory, page by page, at each open until such a piece happens to
// be freed, and for any piece larger than the ones freed so far.  Set
// here, the limits hold from the start: the memory of one close serves
// the next open.
#pragma once

// Sets the allocator's limits: pieces under 4 MB come from the heap, and the
// heap keeps up to 16 MB free at its top.  Called where the program and the
// helper start, before they allocate much.
void omheaptune();
