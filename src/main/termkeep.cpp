#include "main/termkeep.h"

#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include <readline/readline.h>

#include "base/ending.h"
#include "base/outflush.h"

namespace {

struct termios saved;
volatile sig_atomic_t havesaved = 0;
volatile sig_atomic_t pasteon = 0;

bool editorholds() { return RL_ISSTATE(RL_STATE_TERMPREPPED); }

// The editor writes its switches (bracketed paste off) into standard
// output's buffer, whose own part has been finished by now: they are
// handed on here.
void termgive(endhow) {
  if (!editorholds()) return;
  rl_deprep_terminal();
  omoutflush();
}

// Only async-signal-safe calls.
void termrestore(endhow) {
  if (havesaved && tcgetpgrp(0) == getpgrp()) tcsetattr(0, TCSANOW, &saved);
  // The editor turns bracketed paste on while it holds the terminal, and
  // off when it gives it back.  The switch goes where the editor writes,
  // to standard output, after all the ending wrote there, and not at all
  // where that output was cut short.
  if (pasteon && editorholds()) {
    static const char off[] = "\033[?2004l";
    omsigsay(1, off, sizeof off - 1);
  }
}

}  // namespace

void termsave() {
  havesaved = isatty(0) && tcgetattr(0, &saved) == 0;
  omendpart(END_TERM, {termgive, termrestore});
}

void termpaste(bool on) { pasteon = on; }
