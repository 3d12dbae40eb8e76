// Writes that leave an output file whole: a record goes out entirely, or
// the file is cut back to where the record began, so a full disk, a file
// size limit or a reader gone away never leaves half a record for the next
// program to misread.
#ifndef OMBRA_BASE_WHOLEWRITE_H
#define OMBRA_BASE_WHOLEWRITE_H

#include <sys/types.h>

#include <cstddef>

// Writes all n bytes at the descriptor's offset, going on after short
// writes and interrupted calls.  False with errno set when a write failed,
// or (EINTR) when a pipe, FIFO or terminal had no room for it as an ending
// signal came while the ending signals were held (heldwrite.h).
bool writeall(int fd, const void* buf, size_t n);

// Where the next record of the descriptor begins, or -1 when it cannot be
// cut back (a pipe, a device).
off_t wholemark(int fd);

// Drops everything from the mark on and writes on from there; nothing for
// a mark of -1.  errno is kept, so the failure that called for the cut is
// still the one reported.
void cutback(int fd, off_t mark);

// One record written whole: on failure the file is cut back to where the
// record began, and false is returned with the write's errno.
bool writewhole(int fd, const void* buf, size_t n);

#endif
