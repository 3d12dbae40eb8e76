// The exec command: runs a plain file of command lines.
#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/cmnstate.h"
#include "base/omprnt.h"
#include "base/omprntint.h"
#include "base/replsig.h"
#include "base/useropen.h"
#include "base/userread.h"
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

// Longest command line of an exec file, line end not counted; arguments
// substituted into it may make the command longer.
const std::size_t kMaxExecLine = 299;

enum linestate { LINE_OK, LINE_END, LINE_LONG, LINE_ERROR };

// One line with its line end.  A carriage return before the line end (files
// written the DOS way) belongs to the line end and is dropped, so it does
// not stick to the last word.  Nothing past kMaxExecLine characters is
// read: a file without line ends (a device of NUL bytes) is not read to its
// end.
linestate readline(std::FILE* f, std::string& line) {
  line.clear();
  int c;
  while ((c = std::fgetc(f)) != EOF) {
    if (c == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.size() > kMaxExecLine) return LINE_LONG;
      line += '\n';
      return LINE_OK;
    }
    // One more for a carriage return that may end the line.
    if (line.size() > kMaxExecLine) return LINE_LONG;
    line += static_cast<char>(c);
  }
  if (std::ferror(f)) return LINE_ERROR;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.size() > kMaxExecLine) return LINE_LONG;
  return line.empty() ? LINE_END : LINE_OK;
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
  // A device or pipe is read no further than a descriptor would be.
  std::unique_ptr<std::FILE, fcloser> f(omftext(fname.c_str()));
  if (!f) {
    int e = errno;
    omprnt(0, "EXEC error:  Can't open file\n");
    omprntf(0, "  File name is: %s\n", replshownname(fname).c_str());
    omprnt(0, omopennote(e));
    return 1;
  }
  std::vector<std::string> args = execargs(nxtwrd(p));
  const std::string shown = replshownname(fname);
  execguard guard;

  std::string line;
  for (int lnum = 1;; lnum++) {
    linestate st = readline(f.get(), line);
    if (st == LINE_END) break;
    // An interrupt stops the file as it stops a script: most commands do
    // not look at it, and a long or endless file would run on.  It is
    // looked at first: a read it cut short (a pipe that waits for its
    // writer) is no read error.
    if (omqsig()) {
      omprntf(0, "EXEC error:  error in %s.  EXEC stopped.\n", shown.c_str());
      return 1;
    }
    if (st == LINE_LONG) {
      omprntf(0, "EXEC error:  line %d of %s is longer than %zu characters.  EXEC stopped.\n", lnum,
              shown.c_str(), kMaxExecLine);
      return 1;
    }
    if (st == LINE_ERROR) {
      omprntf(0, "EXEC error:  read error on %s at line %d.  EXEC stopped.\n", shown.c_str(), lnum);
      return 1;
    }
    if (line[0] == '*') continue;
    std::string cmd = substitute(line, args);
    omprnt(0, cmd);
    int rc = omcmd(cmd.c_str(), pcm, 1);
    if (rc != 0) {
      omprntf(0, "EXEC error:  error in %s.  EXEC stopped.\n", shown.c_str());
      return rc;
    }
  }
  omprntf(0, "EOF EXECuting %s \n", shown.c_str());
  return 0;
}
