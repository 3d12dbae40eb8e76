// Reading command lines at the prompt, with or without the line editor.
// Lines have no length limit: they are read whole into a std::string.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <readline/history.h>
#include <readline/readline.h>

#include "main/ommain.h"

int nxtcmd(std::string& buf, const char* prompt) {
  std::printf("%s ", prompt);
  std::fflush(stdout);
  buf.clear();
  int c;
  bool started = false;
  for (;;) {
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

namespace {

// Characters that stdio holds for standard input (one given back by the
// animation's pause): the line editor reads the descriptor itself and
// would never see them.
bool stdioholds() {
#ifdef __GLIBC__
  return stdin->_IO_read_ptr < stdin->_IO_read_end;
#else
  return false;
#endif
}

}  // namespace

int nxrdln(std::string& buf, const char* prompt) {
  nxrdsig();
  while (stdioholds()) {
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
