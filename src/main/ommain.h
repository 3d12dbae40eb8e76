// The program entry: options, start-up and the main loop.
#pragma once

#include <csignal>
#include <string>

// What the command-line options asked for.
struct omopts {
  int help = 0;        // -help seen: print the summary and leave
  int batch = 0;       // b
  int land = 0;        // l
  int port = 0;        // p
  int wide = 0;        // W
  int noedit = 0;      // E
  int exitx = 0;       // x
  int hascmd = 0;      // a command came with c
  std::string cmd;     // that command
  const char* geom = nullptr;  // last argument after -g
};

// Reads the options (messages for bad ones go to the message printer).
void omargs(int argc, char** argv, omopts* o);

// The option summary.
void command_line_help();

// Reads one line from standard input after printing the prompt and a
// blank; leading blanks are dropped.  Returns the count of characters
// before the newline (the newline is kept in buf), or -1 at end of input
// or once standard output has lost its reader.  A last line without a
// newline is returned as a line.  While it waits, the window is answered
// (redrawn, or its close ends the program), and an interrupt drops the
// line typed so far, clears the interrupt flag and shows the prompt again.
int nxtcmd(std::string& buf, const char* prompt);
// The same through the line editor, which keeps a history; returns the
// length of the line plus 1, or -1 at end of input (or standard output
// gone).
int nxrdln(std::string& buf, const char* prompt);

// Makes an interrupt at the line editor's prompt drop the partly typed
// line, and the editor's waits answer the window (called by nxrdln
// before each read).
void nxrdsig();

// Signal handlers.  omsigcnt counts the interrupts taken by omsig;
// omatprompt is set by nxtcmd and nxrdln while they read a line.
extern volatile sig_atomic_t omsigcnt;
extern volatile sig_atomic_t omatprompt;
void omsig(int);
void omsigcpu(int);

// Installs the handlers: the interrupt (omsig), the CPU limit (omsigcpu),
// and the signals that end a session from outside (TERM, HUP, USR1, USR2,
// ALRM, VTALRM end it as a second interrupt does, with status 128 plus the
// signal; QUIT the same, then dumps core).  A write to a pipe without a
// reader, or beyond the file size limit, fails instead of ending the
// program.  A crash (SEGV, BUS, ABRT, FPE, ILL) first writes out what
// standard output still holds and gives the terminal back.  Every ending
// goes through omend (base/ending.h), and no handler that ran one returns
// into the program.  Signals ignored when the program starts
// (nohup) stay ignored.  Where the soft CPU limit equals the hard one, a
// timer sends XCPU a second before it, so that it comes before the
// kernel's KILL.
void omsignals();
// The signals omsignals answers with a handler that interrupts or ends.
void omendsigs(sigset_t* set);

// The whole program; returns the process exit status.
int ommain(int argc, char** argv);
