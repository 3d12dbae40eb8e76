// Writes whose progress a signal handler can trust, and the writes a
// handler makes itself, which wait for no reader that has stopped.
//
// A handler that ends the session writes out what the program had not yet
// written, so it must know how far the program got: a call it comes in on
// may have put its bytes out and not yet have been counted.  Each call is
// marked in flight, and a handler that finds one only records its signal
// and returns; the call, once counted, sends that signal again.  So a
// call in flight never waits: a file takes it at once, a pipe or a socket
// is tried without waiting, and room is waited for with no call in flight
// and the signals as the caller has them.  A write that does not wait is
// that one call.  A terminal is written a line a write, which may wait
// (Ctrl-S, `stty tostop`): an ending that finds it waiting comes in at
// once, and may show again what that write put out (a piece at most).
//
// Where the caller holds the ending signals (an endhold), no wait here
// outlasts their coming: the write reports EINTR, so that the caller goes
// on to its release, where the signal is taken.
#pragma once

#include <csignal>
#include <cstddef>

// How a descriptor is written.  A regular file takes any write at once; a
// socket is sent a piece of at most kOutPiece bytes without waiting; a
// pipe or FIFO of the program's own that does not block (nowaitfd) is
// written as it is; another pipe, FIFO or device is tried without waiting,
// or (a device that cannot be) written a piece once it reports room.  A
// terminal is written a piece a write, as the caller's signals let it.
enum class outkind { file, socket, pipe, stream, terminal };
const size_t kOutPiece = 4096;

outkind outkindof(int fd);

// The pipe or FIFO fd opened anew, not blocking and closed at exec: the
// same pipe, written as outkind::pipe, a plain write costing less than one
// told not to wait.  -1 where fd is no pipe or FIFO or cannot be opened
// anew (no /proc, a pipe another user made).
int nowaitfd(int fd);

// Writes the n bytes at p, adding what each call put out to *done before
// a handler may come in on it.  A background job that may not write to
// its terminal is stopped as the write would stop it, and a TERM sent with
// the CONT that wakes it is taken (where the caller holds the ending
// signals, by its release: the write reports EINTR).  False with errno
// set when a write failed, EINTR when an ending signal came while the
// caller held them and the rest waits for room; what went out before is
// counted.
bool heldwrite(int fd, outkind k, const char* p, size_t n, volatile sig_atomic_t* done);

// For the handlers that end the session, at their start: whether a write
// whose count they rely on is in flight; if so they call omoutdefer with
// their signal and return, and the signal comes again as soon as the
// count is in.  A terminal's write that waits for room or for the
// foreground is not in flight for this.  Both are async-signal-safe.
bool omoutbusy();
void omoutdefer(int sig);

// For a handler: writes of the n bytes what the descriptor takes and
// returns how many that was.  Waits for no reader that has stopped: a
// pipe, FIFO, socket or terminal that has taken nothing for a twentieth
// of a second takes nothing more (nor, after a second of such waits in
// all, does any).
size_t nowaitwrite(int fd, outkind k, const void* p, size_t n);
