// The block of memory through which the helper hands the program the
// values it reads: a memory file that both processes map.  The helper's
// library writes a slab straight into it and the program unpacks the slab
// from there, so no value is copied from one process to the other.
//
// The program makes the block before it starts its first helper, which
// finds it as descriptor 4 (every later helper gets the same one), and
// sizes it before each read; the helper maps the size it is told.  Only
// the program changes the block's size, and only between reads.
#pragma once

#include <cstddef>

// The descriptor the helper finds the block at.
constexpr int kBlockFd = 4;

// ---- the program's side ----
// The program's block, made at the first call: its descriptor
// (close-on-exec), or -1 with errno set.
int block_fd();
// The block mapped with room for n bytes, grown when smaller; nullptr
// (errno set) when it cannot be.
unsigned char* block_reserve(size_t n);
// The size the block has now, which a helper is told to map.
size_t block_size();
// Gives the block's memory back: a block larger than the reads of a
// script's commands keep from one to the next, or with all any block.
// Only between reads.
void block_trim(bool all);

// ---- the helper's side ----
// size bytes of the block on fd mapped (mapped again only when the size
// changes); nullptr when the block is shorter than that.
unsigned char* block_map(int fd, size_t size);
