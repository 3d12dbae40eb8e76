// Running a command line for the user: a shell escape, a user function's
// program.
#pragma once

// Runs command with /bin/sh -c, as system() does: standard output is
// handed on first, so that what the session printed comes before what the
// command prints; the session ignores interrupt and quit and holds SIGCHLD
// while it waits; the status is system()'s (127 as the exit status when no
// shell could be started).  The command runs under the limits the session
// was given, and holds only the descriptors the session was started with
// (givenfds.h).
int runshellcmd(const char* command);
