// Reading command lines at the prompt, with or without the line editor.
// Lines have no length limit: they are read whole into a std::string.
// While a line is awaited the window is kept answering (promptwait.h), and
// an interrupt only throws away the line being typed.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <readline/history.h>
#include <readline/readline.h>

#include "base/cmnstate.h"
#include "base/outflush.h"
#include "base/stdinheld.h"
#include "main/ommain.h"
#include "main/promptwait.h"

namespace {

// Marks the time spent reading a line at the prompt (see omsig).
struct atprompt {
  atprompt() { omatprompt = 1; }
  ~atprompt() { omatprompt = 0; }
};

}  // namespace

int nxtcmd(std::string& buf, const char* prompt) {
  atprompt at;
  sig_atomic_t seen = omsigcnt;  // taken first: an interrupt once the prompt shows counts
  std::printf("%s ", prompt);
  omoutflush();
  buf.clear();
  int c;
  bool started = false;
  for (;;) {
    // Nobody reads the prompt any more: the session ends as at the end of
    // input, and the line typed so far is not run.
    if (stdoutgone()) return -1;
    if (!stdinheld()) {
      promptwake w = promptwait(0, [&seen] { return omsigcnt != seen; });
      if (w == promptwake::signal) {
        if (omsigcnt != seen) {
          // As a shell does: the line typed so far is dropped (the
          // terminal has already thrown away its copy) and a fresh prompt
          // is shown.  The interrupt is answered; it counts no further.
          seen = omsigcnt;
          gcmn.sigflg = 0;
          buf.clear();
          started = false;
          std::printf("\n%s ", prompt);
          omoutflush();
        }
        continue;
      }
    }
    c = std::getchar();
    if (c == EOF) {
      // A signal that interrupted the read is no end of input.
      if (std::ferror(stdin) && errno == EINTR) {
        std::clearerr(stdin);
        continue;
      }
      break;
    }
    if (!started && c == ' ') continue;
    started = true;
    if (c == '\n') {
      // Lines ended the DOS way (carriage return, line feed) from files
      // fed to the prompt: the carriage return is part of the line end,
      // not of the last word.
      if (!buf.empty() && buf.back() == '\r') buf.pop_back();
      buf += '\n';
      return static_cast<int>(buf.size()) - 1;
    }
    buf += static_cast<char>(c);
  }
  // A last line without its newline is still a line (as the line editor
  // has it); the end of input is reported by the next read.
  if (!buf.empty() && buf.back() == '\r') buf.pop_back();
  if (!buf.empty()) return static_cast<int>(buf.size());
  return -1;
}

int nxrdln(std::string& buf, const char* prompt) {
  atprompt at;
  nxrdsig();
  // Characters that stdio holds for standard input (one given back by the
  // animation's pause): the line editor reads the descriptor itself and
  // would never see them.
  while (stdinheld()) {
    int c = std::getchar();
    if (c == EOF) break;
    rl_stuff_char(c);
  }
  char* line = readline(prompt);
  if (!line) return -1;
  const char* p = line;
  while (*p == ' ') p++;
  buf = p;
  if (!buf.empty() && buf.back() == '\r') buf.pop_back();
  if (!buf.empty()) add_history(buf.c_str());
  std::free(line);
  return static_cast<int>(buf.size()) + 1;
}
