// Running a command line for the user: a shell escape, a user function's
// program.
#pragma once

// Runs command with /bin/sh -c, as system() does: standard output is
// handed on first, so that what the session printed comes before what the
// command prints; the session holds SIGCHLD while it waits; the status is
// system()'s (127 as the exit status when no shell could be started).
// The command runs in a process group of its own, made the terminal's
// foreground while it runs where the session's was, as a job-control
// shell runs a job: the terminal's interrupt and quit reach the command
// alone, and its ending by one of them is one of the session's, taken
// (with the handler in place before) once it has ended.  Its stop stops
// the session too where the session has a terminal, and the session's
// continue continues it.  An interrupt or quit sent to the session alone
// is kept while it waits and taken then, each one.  Where the session ignores one, the
// command does too.  An ending of the session meanwhile ends the
// command's group (ending.h, children.h).  The command runs under the
// limits the session was given, and holds only the descriptors the
// session was started with (givenfds.h).
int runshellcmd(const char* command);
