// An interrupt while a command line is being typed at the prompt throws
// that partly typed line away and shows a fresh prompt, as shells do.
// Without this the line editor keeps the old text out of sight and the
// next line typed is silently joined to it.
#include <csignal>
#include <cstdio>

#include <readline/readline.h>

#include "main/ommain.h"

namespace {

sig_atomic_t rlseen = 0;  // interrupts already answered at the prompt

// Called by the line editor after a signal interrupted its read.
int rldropline() {
  if (omsigcnt == rlseen) return 0;
  rlseen = omsigcnt;
  rl_replace_line("", 0);
  rl_crlf();
  rl_on_new_line();
  rl_redisplay();
  return 0;
}

}  // namespace

void nxrdsig() {
  rlseen = omsigcnt;
  rl_signal_event_hook = rldropline;
}
