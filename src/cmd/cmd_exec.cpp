// The exec command: runs a plain file of command lines.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/cmnstate.h"
#include "base/omprnt.h"
#include "base/omprntint.h"
#include "base/words.h"
#include "cmd/cmdint.h"
#include "cmd/omcmd.h"
#include "cmd/omcmds.h"

namespace {

int execdepth = 0;

struct fcloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// Restores the capture switch and the nesting depth on every way out.
struct execguard {
  int oldcap;
  execguard() : oldcap(omcapture(0)) { execdepth++; }
  ~execguard() {
    execdepth--;
    omcapture(oldcap);
  }
};

// The arguments &0..&9: up to ten words; a word opening with "~" runs to
// the next "~" (blanks included) or, without one, to the end of the line.
std::vector<std::string> execargs(const char* p) {
  std::vector<std::string> args;
  while (p && args.size() < 10) {
    std::string a;
    if (*p == '~') {
      const char* q = p + 1;
      while (*q && *q != '~' && *q != '\n') a += *q++;
      args.push_back(a);
      if (*q != '~') break;
      p = nxtwrd(q);
      continue;
    }
    args.push_back(wrdstr(p));
    p = nxtwrd(p);
  }
  return args;
}

// One line read whole, whatever its length; false at end of file.  A
// carriage return before the line end (files written the DOS way) belongs
// to the line end and is dropped, so it does not stick to the last word.
bool readline(std::FILE* f, std::string& line) {
  line.clear();
  int c;
  while ((c = std::fgetc(f)) != EOF) {
    if (c == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      line += '\n';
      return true;
    }
    line += static_cast<char>(c);
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return !line.empty();
}

std::string substitute(const std::string& line, const std::vector<std::string>& args) {
  std::string out;
  out.reserve(line.size());
  for (std::size_t i = 0; i < line.size(); i++) {
    if (line[i] == '&' && i + 1 < line.size() && line[i + 1] >= '0' && line[i + 1] <= '9') {
      std::size_t d = static_cast<std::size_t>(line[i + 1] - '0');
      if (d < args.size()) {
        out += args[d];
        i++;
        continue;
      }
    }
    out += line[i];
  }
  return out;
}

}  // namespace

int omexec(const char* typed, cmnstate* pcm) {
  const char* p = nxtwrd(typed);
  if (!p) {
    omprnt(0, "EXEC error:  missing file name \n");
    return 1;
  }
  if (execdepth >= OMEXEC_MAXDEPTH) {
    omprntf(0, "EXEC error:  exec files nested deeper than %d\n", OMEXEC_MAXDEPTH);
    return 1;
  }
  std::string fname = wrdstr(p);
  std::unique_ptr<std::FILE, fcloser> f(std::fopen(fname.c_str(), "r"));
  if (!f) {
    omprnt(0, "EXEC error:  Can't open file\n");
    omprntf(0, "  File name is: %s\n", fname.c_str());
    return 1;
  }
  std::vector<std::string> args = execargs(nxtwrd(p));
  execguard guard;

  std::string line;
  while (readline(f.get(), line)) {
    // An interrupt stops the file as it stops a script: most commands do
    // not look at it, and a long or endless file would run on.
    if (omqsig()) {
      omprntf(0, "EXEC error:  error in %s.  EXEC stopped.\n", fname.c_str());
      return 1;
    }
    if (line[0] == '*') continue;
    std::string cmd = substitute(line, args);
    omprnt(0, cmd);
    int rc = omcmd(cmd.c_str(), pcm, 1);
    if (rc != 0) {
      omprntf(0, "EXEC error:  error in %s.  EXEC stopped.\n", fname.c_str());
      return rc;
    }
  }
  omprntf(0, "EOF EXECuting %s \n", fname.c_str());
  return 0;
}
