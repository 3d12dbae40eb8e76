// The end of a session.  Everything that must be finished when the
// session ends (the command a shell escape runs, the metafile, the LATS
// files, the fwrite file, standard output, the terminal's modes, the
// helper that opens netCDF and HDF files) registers one part here, and
// every way out (quit, the end of input, -x, a signal ending, a crash, a
// lost window or X server, an exit() from a library) calls omend, which
// finishes the parts in the order of endslot.  It runs once: a second
// entry (a signal that comes during or after the normal end) finds the
// parts finished and finishes nothing again.
//
// A signal ending finishes the files before it writes anything (the
// signal may have ended the reader of standard output), then writes what
// standard output still held, a line end, the lines on files left under
// their part names (on standard error) and the closing lines, each only
// once all before it went, waiting for no reader that has stopped.  It
// does wait for a file system: a part that takes its name on a network
// file system has its bytes sent to the server first (fdatasync), which
// waits as long as the server takes to answer, without end where it is
// down and the mount hard.  A crash finishes no file (the program's state
// may be damaged): it writes what standard output held, gives the
// terminal back and ends the command and the helper.
//
// The handlers make only calls on POSIX's list of async-signal-safe ones
// but for a few, not on it or not POSIX at all, that this program counts
// on as safe with glibc on Linux (plain system calls, or a read of a
// table): isatty (a descriptor is asked how it is written), fstatfs
// (whether a part's file system is a network one), sched_yield and
// nanosleep (the short waits of a rename that is under way, and of a child
// being ended), renameat2 (a part takes a name only while nothing is
// there), fallocate (room taken before a file is written over),
// strerrordesc_np (the reason in a line, without a locale), waitid
// (whether a child being ended has ended yet) and rt_tgsigqueueinfo (a
// crash handed on whole).
#pragma once

// How a session ends.
enum endhow {
  END_QUIT,    // quit, the end of input: the closing lines are printed
  END_LEAVE,   // -x, a lost window or X server, exit(): files only
  END_SIGNAL,  // a signal's handler: async-signal-safe calls only
  END_CRASH,   // a crash's handler: no file is finished
};

// The parts, in the order in which they are finished.
// The command a shell escape or a user function runs comes first: it is
// ended before the session writes its last lines.
enum endslot { END_COMMAND, END_GX, END_LATS, END_FWRITE, END_OUT, END_TERM, END_HELPER, END_SLOTS };

// One part: what finishes it at an end that may print and wait (END_QUIT,
// END_LEAVE), and what a handler may do (END_SIGNAL, END_CRASH), with
// async-signal-safe calls only, its lines for the log given to omendsay.
// Either may be null.
struct endpart {
  void (*finish)(endhow how);
  void (*sigfinish)(endhow how);
};

// Registers (or replaces) the part of a slot.
void omendpart(endslot slot, endpart part);

// Standard output's part, in place from the start: what it holds, and at
// a signal ending a line end, the lines on files left under their part
// names and the closing lines after it.  Its writer registers it again
// once it is under stdout, so that an exit() hands on what it holds.
extern const endpart kEndOut;

// Finishes every registered part as how says; false when the session was
// already ended or is being ended: a handler then finishes nothing (it
// hands on what standard output was given since), and a
// way out taken inside the normal end (an exit() from the parts it
// finishes) finishes the parts that end has not reached.  An end that may
// print and wait holds the ending signals meanwhile, so that one that
// comes then is taken after it, by a handler that finds the session ended.
bool omend(endhow how);

// For a part's sigfinish: a line for the log, on standard error (fd 2: a
// file left under its part name) or among the closing lines (fd 1).
void omendsay(int fd, const char* text);

// A way out that is no quit (a lost window or X server): omend(END_LEAVE),
// then exit with status.
[[noreturn]] void omleave(int status);
