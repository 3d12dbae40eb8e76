// Running statements: call frames, the statement loop with its block jumps,
// output and input statements, assignments and command statements.
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "base/inputwait.h"
#include "base/outflush.h"
#include "base/words.h"
#include "script/gsglue.h"
#include "script/gsint.h"

namespace {

// Reports a failed expression of statement st.  An exit, quit or interrupt
// raised inside a called function is passed up silently instead.
int exprfail(gsstate& s, const gsstmnt* st, bool plain = false) {
  if (s.unwind) return s.unwind;
  gsframe(s, st->line, st->file->path, plain);
  return GS_ERR;
}

bool ischr(char c, bool first) {
  if (first) return ascalpha(c);
  return ascalnum(c) || c == '.' || c == '_';
}

// Binds a function's parameter list "(a, b, ...)" to the call arguments.
bool bindparms(const std::string& o, std::vector<std::string>& args, gsvars& frame) {
  if (o.empty() || o[0] != '(') return false;
  size_t i = 1, na = 0;
  auto blanks = [&] {
    while (i < o.size() && (o[i] == ' ' || o[i] == '\t')) i++;
  };
  blanks();
  if (i < o.size() && o[i] == ')') return true;
  for (;;) {
    blanks();
    size_t a = i;
    if (i >= o.size() || !ischr(o[i], true)) return false;
    while (i < o.size() && ischr(o[i], false)) i++;
    if (i - a > 15) return false;
    std::string name = o.substr(a, i - a);
    // A parameter named twice keeps its first binding, as a lookup of the
    // name always found the first.
    if (na < args.size()) {
      frame.emplace(name, std::move(args[na]));
    } else {
      frame.emplace(name, name);
    }
    na++;
    blanks();
    if (i < o.size() && o[i] == ',') {
      i++;
      continue;
    }
    if (i < o.size() && o[i] == ')') return true;
    return false;
  }
}

// Target name of an assignment (statement text) or pull (operand): up to a
// blank or "=", at most 16 characters.
const std::string& lhsname(gsstmnt* st) {
  if (!st->lhsdone) {
    const std::string& t = st->type == GS_ASSN ? st->text : st->opnd;
    size_t e = 0;
    while (e < t.size() && t[e] != ' ' && t[e] != '\t' && t[e] != '=') e++;
    st->lhs = t.substr(0, std::min(e, GSNAMEMAX));
    st->lhsdone = true;
  }
  return st->lhs;
}

bool setnamed(gsstate& s, gsstmnt* st, const std::string& val) {
  const std::string& nm = lhsname(st);
  if (nm.find('.') == std::string::npos) return gssetvar(s, nm, val);
  std::string rn;
  if (!gsrvar(s, nm, rn)) return false;
  return gssetvar(s, rn, val);
}

// Bytes of standard input that stdio has read ahead and not handed out.
bool stdinbuffered() {
#ifdef __GLIBC__
  return stdin->_IO_read_ptr < stdin->_IO_read_end;
#else
  return true;
#endif
}

// Waits until standard input can be read; false when the user interrupts
// first.  The program's interrupt handler restarts a read in progress, so
// a pull blocked in read would never see the interrupt.  The wait is the
// prompt's: the window is redrawn and its close honoured meanwhile.  An
// interrupt that came with the input (Ctrl-C and the keys after it in one
// read) is taken as the wait ends: it wins, and the keys are left for the
// prompt.
bool stdinready() {
  // Only the user's interrupt ends the wait; another signal waits on.
  auto interrupted = [] { return gsintr() != 0; };
  while (omwaitinput(0, interrupted) == inputwake::signal) {
    if (interrupted()) return false;
  }
  return !interrupted();
}

// Reads one whole line of standard input without its line end; "" at the
// end of input.  Only what stdio already holds is taken through stdio; the
// rest is read from the descriptor one byte at a time, so nothing beyond the
// line is consumed: the line editor of the prompt reads the descriptor
// directly and would lose what stdio had read ahead.
std::string readline() {
  std::string line;
  for (;;) {
    int c;
    if (stdinbuffered()) {
      c = std::getc(stdin);
    } else {
      unsigned char ch;
      if (!stdinready()) break;
      ssize_t n;
      do {
        n = read(0, &ch, 1);
      } while (n < 0 && errno == EINTR);
      c = n == 1 ? ch : EOF;
    }
    if (c == EOF || c == '\n') break;
    if (line.size() >= GSSTRMAX) gsstrchk(line.size() + 1);
    line += static_cast<char>(c);
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

int gsassn(gsstmnt* st, gsstate& s) {
  std::string v;
  if (st->type == GS_PULL) {
    omoutflush();
    v = readline();
    if (!st->hasopnd) return GS_OK;  // a bare pull waits for a line
  } else if (!gsexprs(st, s, v)) {
    return exprfail(s, st);
  }
  if (!setnamed(s, st, v)) return exprfail(s, st);
  return GS_OK;
}

int gsstmt(gsstmnt* st, gsstate& s) {
  std::string cmd;
  if (!gsexprs(st, s, cmd)) return exprfail(s, st);
  int rc = 0;
  std::string res = gsdocmd(cmd.c_str(), &rc);
  if (rc == -1) return GS_QUIT;
  gssetvar(s, "rc", std::to_string(rc));
  gssetvar(s, "result", res);
  return GS_OK;
}

// Runs one statement and returns the next one to run.
gsstmnt* gsruns(gsstmnt* st, gsstate& s, int* status) {
  if (gsintr()) {
    s.unwind = GS_ERR;
    *status = GS_ERR;
    return nullptr;
  }
  std::string v;
  switch (st->type) {
    case GS_CMD:
      *status = gsstmt(st, s);
      return st->next;
    case GS_ASSN:
    case GS_PULL:
      *status = gsassn(st, s);
      return st->next;
    case GS_WHILE:
      if (!gsexprs(st, s, v)) {
        *status = exprfail(s, st);
        return nullptr;
      }
      if (v != "0") return st->next;
      return st->partner->next;
    case GS_ENDWHILE:
      return st->partner;
    case GS_CONTINUE:
      return st->partner ? st->partner : st->next;
    case GS_BREAK:
      return st->partner ? st->partner->partner->next : st->next;
    case GS_IF:
      if (!gsexprs(st, s, v)) {
        *status = exprfail(s, st);
        return nullptr;
      }
      if (v != "0") return st->next;
      return st->partner->next;
    case GS_ELSE:
      return st->partner->next;
    case GS_ENDIF:
      return st->next;
    case GS_RETURN:
      if (st->hasopnd) {
        if (!gsexprs(st, s, v)) {
          *status = exprfail(s, st);
          return nullptr;
        }
        s.retv = std::move(v);
      } else {
        s.retv.reset();
      }
      *status = GS_RET;
      return nullptr;
    case GS_FUNCTION:
      s.retv.reset();
      *status = GS_RET;
      return nullptr;
    case GS_SAY:
    case GS_PROMPT:
      if (st->hasopnd) {
        if (!gsexprs(st, s, v)) {
          *status = exprfail(s, st, true);
          return nullptr;
        }
        if (st->type == GS_SAY) v += '\n';
      } else {
        v = "\n";
      }
      gsout(v);
      if (st->type == GS_PROMPT) omoutflush();
      return st->next;
    case GS_EXIT:
      if (st->hasopnd) {
        if (!gsexprs(st, s, v)) {
          *status = exprfail(s, st);
          return nullptr;
        }
        if (gsnum(v, nullptr, nullptr) != 1) {
          std::printf("Error on Exit Command:  Non Integer Argument\n");
          *status = exprfail(s, st);
          return nullptr;
        }
      }
      *status = GS_EXITST;
      return nullptr;
    default:
      std::printf("Error in gsruns:  Internal Logic Check 16\n");
      *status = GS_ERR;
      return nullptr;
  }
}

}  // namespace

// Runs a function (or the script's main part) in a new frame whose first
// variables are rc and result; the call arguments are taken from s.args.
int gsrunf(gsstmnt* first, gsstate& s) {
  std::vector<std::string> args = std::move(s.args);
  s.args.clear();
  if (s.depth >= GSMAXDEPTH) {
    std::printf("Error:  script functions nested more than %i calls deep\n", GSMAXDEPTH);
    s.trace.runaway = true;
    if (first) gsframe(s, first->line, first->file->path);
    return GS_ERR;
  }
  gsvars frame;
  frame.emplace("rc", "");
  frame.emplace("result", "");
  gsvars* saved = s.locals;
  s.locals = &frame;
  s.depth++;
  int status = GS_OK;
  gsstmnt* st = first;
  if (st && st->type == GS_FUNCTION) {
    if (st->hasopnd && !bindparms(st->opnd, args, frame)) {
      std::printf("Error:  Invalid function list\n");
      gsframe(s, st->line, st->file->path);
      status = GS_ERR;
    }
    st = st->next;
  }
  while (status == GS_OK && st) st = gsruns(st, s, &status);
  s.depth--;
  s.locals = saved;
  if (status == GS_CONT || status == GS_BRK) {
    std::printf("Error in gsrunf:  Internal Logic Check 8\n");
    status = 1;
  }
  if (status == GS_RET) status = GS_OK;
  return status;
}
