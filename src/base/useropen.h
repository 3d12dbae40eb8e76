// Opening files whose names the user gave (commands, descriptors, the data
// directory).  Such a name may be a FIFO, a device or a directory.  A plain
// open of a FIFO waits for the other end for ever, and the program's
// interrupt handler restarts it, so a Ctrl-C would not end it; a directory
// opens but reads as an empty file.  Every such open goes through here.
#pragma once

#include <cstdio>
#include <string>

enum : int {
  // Refuse anything but a regular file: reads at offsets or sized from the
  // file.  errno ESPIPE.
  OMO_REGULAR = 2,
};

// fopen with the same mode letters ("r", "wb", "a+", ...), that never
// blocks in the open itself.  A FIFO opened for reading waits for a writer,
// one opened for writing for a reader, with the interrupt in view: a Ctrl-C
// ends the wait and the open fails with errno EINTR.  A directory opened for
// reading fails with EISDIR.  Null with errno set on every failure.
std::FILE* omfopen(const char* name, const char* mode, int flags = 0);

// Opens a data file for reading.  Data are read at offsets or whole, sized
// from the file, so only a regular file is taken: a FIFO, a device (an
// endless /dev/zero) or a socket is refused with ESPIPE, a directory with
// EISDIR.  Every file read as data (a data set's files and members, its
// index and station maps and pdef file, fonts, map outlines, scripts) is
// opened here.
std::FILE* omfdata(const char* name);

// The same at the level of open(2): OFLAGS as open takes them (O_NONBLOCK
// is added for the open and taken off again after it), a descriptor or -1
// with errno set.  An open for writing opens only the file one look at the
// name saw (omlook): a link put where there was none, or another file,
// since the look is looked at anew (ELOOP or EAGAIN after a few such
// changes); a link the rule bars is refused with EACCES.  An open for
// reading follows a link only where the rule allows (ENOLINK otherwise).
// A name that leads through a link to one of the session's standard
// descriptors (/dev/stdout) opened for writing is that descriptor, its
// text handed on first: it is written in order with the session's text.
int omopen(const char* name, int oflags, int flags = 0);

// The same for the name leaf in the folder dir, a link there not followed
// unless OFLAGS leave O_NOFOLLOW out.
int omopenat(int dir, const char* leaf, int oflags, int flags = 0);

// Waits until fd has something to read (or its other end has gone), with
// the interrupt in view: false when the user interrupts first.  A blocked
// read would not end at an interrupt, whose handler restarts it.
bool omwaitreadable(int fd);

// Why an open failed, for a message after the file name: the refusals above
// in words of their own, other errors as strerror gives them.
const char* omopenwhy(int err);

// The line "  <why>\n" for the failures of omfopen that a plain open would
// not give (an interrupted wait, a refused directory, FIFO or device, a
// file too large), to follow a caller's own open-failure message; "" for
// the others, which its message already covers.
std::string omopennote(int err);
