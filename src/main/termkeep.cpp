#include "main/termkeep.h"

#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include <readline/readline.h>

#include "base/ending.h"
#include "base/heldwrite.h"

namespace {

struct termios saved;
volatile sig_atomic_t havesaved = 0;
volatile sig_atomic_t pasteon = 0;
volatile sig_atomic_t pastefd = -1;

bool editorholds() { return RL_ISSTATE(RL_STATE_TERMPREPPED); }

void termgive(endhow) {
  if (editorholds()) rl_deprep_terminal();
}

// Only async-signal-safe calls.
void termrestore(endhow) {
  if (havesaved && tcgetpgrp(0) == getpgrp()) tcsetattr(0, TCSANOW, &saved);
  // The editor turns bracketed paste on while it holds the terminal, and
  // off when it gives it back.
  if (pasteon && pastefd >= 0 && editorholds()) {
    static const char off[] = "\033[?2004l";
    nowaitwrite(pastefd, outkindof(pastefd), off, sizeof off - 1);
  }
}

}  // namespace

void termsave() {
  havesaved = isatty(0) && tcgetattr(0, &saved) == 0;
  omendpart(END_TERM, {termgive, termrestore});
}

void termpaste(bool on, int fd) {
  pastefd = fd;
  pasteon = on;
}
