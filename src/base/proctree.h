// Ending a process that the program started together with every process
// started under it (a shell's command, and its commands in turn), from a
// signal handler as well.
#pragma once

#include <sys/types.h>

// Sends sig, and then CONT (so that a stopped one takes it), to process
// pid and to each process below it that /proc lists (the children every
// thread of a process started; without /proc, pid alone).  A process's
// children are read before it is sent sig: once it has ended they are no
// longer its own.  Makes only async-signal-safe calls, and plain system
// calls (getdents64).  pid must be a child not yet reaped, so that its
// number names no other process.
void signaltree(pid_t pid, int sig);
