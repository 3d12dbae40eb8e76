// Running a command line for the user: a shell escape, a user function's
// program.
#pragma once

// Runs command with /bin/sh -c, as system() does: standard output is
// handed on first, so that what the session printed comes before what the
// command prints; the session holds SIGCHLD while it waits; the status is
// system()'s (127 as the exit status when no shell could be started).
// Interrupt and quit are taken as a shell takes them: the terminal's reach
// the command, which is in the session's process group, and the session
// keeps those sent to it alone while it waits, taking each (with the
// handler in place before) once the command has ended; a command ended by
// an interrupt is an interrupt of the session's at that moment.  Where the
// session ignores one, the command does too.  An ending of the session
// meanwhile ends the command and all it started (ending.h).  The command
// runs under the limits the session was given, and holds only the
// descriptors the session was started with (givenfds.h).
int runshellcmd(const char* command);
