// The line editor at the prompt.  An interrupt while a command line is
// being typed throws that partly typed line away and shows a fresh prompt,
// as shells do.  Without this the line editor keeps the old text out of
// sight and the next line typed is silently joined to it.  The editor's
// reads also wait on the window, so that it is redrawn while the prompt
// waits (promptwait.h).
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include <readline/readline.h>

#include "base/cmnstate.h"
#include "base/outflush.h"
#include "gx/gxx11drv.h"
#include "main/ommain.h"
#include "main/promptwait.h"
#include "main/termkeep.h"

namespace {

sig_atomic_t rlseen = 0;  // interrupts already answered at the prompt

// Called by the line editor after a signal interrupted its read.
int rldropline() {
  if (omsigcnt == rlseen) return 0;
  rlseen = omsigcnt;
  gcmn.sigflg = 0;
  rl_replace_line("", 0);
  rl_crlf();
  rl_on_new_line();
  rl_redisplay();
  return 0;
}

// The editor takes the terminal: the endings must know whether it has
// turned bracketed paste on (its settings are read by now).
void prepterm(int meta) {
  rl_prep_terminal(meta);
  const char* v = rl_variable_value("enable-bracketed-paste");
  termpaste(v && v[0] == 'o' && v[1] == 'n');
}

// The editor's read of one character: with a window, the wait is shared
// with the window's connection.  Signals the editor has caught are dealt
// with (its own handling, then ours) before every wait; the editor's own
// read calls the hook only for a signal that interrupts it, not for one
// that came while it was busy.  Standard output that lost its reader
// (written to or not) ends the reading.  The wait checks for a caught signal with
// signals held, also without a window: an interrupt that came just before
// the wait would otherwise be seen only after the next key, which would
// then be thrown away with the old line.
int rlgetc(FILE* in) {
  for (;;) {
    rl_check_signals();
    rldropline();
    // Nobody reads the prompt any more: the end of input, with the line
    // typed so far dropped (the editor would run it as a command).
    if (stdoutgone()) {
      rl_replace_line("", 0);
      return EOF;
    }
    if (promptwait(fileno(in), [] { return rl_pending_signal() != 0; }) == promptwake::input)
      return rl_getc(in);
  }
}

}  // namespace

void nxrdsig() {
  rlseen = omsigcnt;
  rl_signal_event_hook = rldropline;
  rl_getc_function = rlgetc;
  rl_prep_term_function = prepterm;
}
