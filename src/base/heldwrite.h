// Writes whose progress a signal handler can trust, and the writes a
// handler makes itself, which wait for no reader that has stopped.
//
// A handler that ends the session writes out what the program had not yet
// written.  It can do so exactly only when it knows how far the program
// got: a write it interrupted may already have put part of its bytes out,
// and one that returned may not yet have been counted.  So the program
// writes with the ending signals held and lets them in only while it waits
// for room, when nothing is half done.
//
// A terminal is the exception: a write to it may wait after it reported
// room (it took less than it said, or was stopped by Ctrl-S), so it is
// written with the signals as the caller has them, and an ending that cut
// a write short may show again what that write put out (a piece at most).
//
// Where the caller itself holds the ending signals (an endhold), nothing
// here waits past their coming: a wait for room ends as soon as one of
// them has come, and the write reports EINTR, so that the caller goes on
// to its release, where the signal is taken.
#pragma once

#include <csignal>
#include <cstddef>

// How a descriptor is written.  A regular file takes any write at once; a
// socket is sent to without waiting; anything else (a pipe, a FIFO, a
// terminal, a device) takes one piece of at most kOutPiece bytes, which a
// pipe takes whole or not at all, once it reports room.  A terminal is
// such a stream that may also stop the program for writing (`stty
// tostop` in a background job).
enum class outkind { file, socket, stream, terminal };
const size_t kOutPiece = 4096;

outkind outkindof(int fd);

// Writes the n bytes at p, adding what each write put out to *done as soon
// as it returns.  The ending signals (those registered with
// omsetendsignals) and the fatal ones are held meanwhile and let in only
// while the write waits for room, so a handler finds in *done exactly what
// went out (but on a terminal, above).  A background job that may not
// write to its terminal is stopped with them let in, so that a TERM sent
// with the CONT that wakes it is taken.  False with errno set when a write
// failed, EINTR when an ending signal came while the caller held them and
// the rest waits for room; what went out before is counted.
bool heldwrite(int fd, outkind k, const char* p, size_t n, volatile sig_atomic_t* done);

// For a handler: writes of the n bytes what the descriptor takes and
// returns how many that was.  Waits for no reader that has stopped: a
// pipe, FIFO or terminal that has taken nothing for a twentieth of a
// second takes nothing more (nor, after a second of such waits in all,
// does any), and a socket takes what it takes at once.
size_t nowaitwrite(int fd, outkind k, const void* p, size_t n);
