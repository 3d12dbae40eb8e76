// Reading a script or library file, cutting it into typed statements,
// pairing the if and while blocks and registering the functions.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "base/replsig.h"
#include "base/words.h"
#include "script/gsint.h"

namespace {

bool isblnk(char c) { return c == ' ' || c == '\t'; }
bool isnamech(char c) {
  return ascalnum(c) || c == '.' || c == '_';
}

struct kwrec {
  const char* word;
  int type;
  bool paren;  // may be written directly before "("
  bool opnd;   // takes an operand
};

const kwrec keywords[] = {
    {"if", GS_IF, true, true},          {"else", GS_ELSE, false, false},
    {"endif", GS_ENDIF, false, false},  {"while", GS_WHILE, true, true},
    {"endwhile", GS_ENDWHILE, false, false}, {"continue", GS_CONTINUE, false, false},
    {"break", GS_BREAK, false, false},  {"return", GS_RETURN, true, true},
    {"function", GS_FUNCTION, false, true}, {"say", GS_SAY, false, true},
    {"print", GS_SAY, false, true},     {"prompt", GS_PROMPT, false, true},
    {"pull", GS_PULL, false, true},     {"exit", GS_EXIT, false, true},
};

// Position of the end of the statement starting at i: the first ";"
// outside quotes or the line end (which also ends an open quote).
size_t stmtend(const std::string& t, size_t i) {
  char q = 0;
  for (; i < t.size(); i++) {
    char c = t[i];
    if (c == '\n') break;
    if (q) {
      if (c == q) q = 0;
    } else if (c == '\'' || c == '"') {
      q = c;
    } else if (c == ';') {
      break;
    }
  }
  return i;
}

std::string rtrim(const std::string& t, size_t a, size_t b) {
  while (b > a && isblnk(t[b - 1])) b--;
  return t.substr(a, b - a);
}

// Type of the statement text t[a, e): assignment, keyword or command; *op
// receives the start of the operand (e when there is none).
int stmttype(const std::string& t, size_t a, size_t e, size_t* op) {
  char c0 = t[a];
  if (ascalpha(c0) || c0 == '_') {
    size_t j = a + 1;
    while (j < e && isnamech(t[j])) j++;
    while (j < e && isblnk(t[j])) j++;
    if (j < e && t[j] == '=') {
      *op = j + 1;
      return GS_ASSN;
    }
  }
  size_t w = a;
  while (w < e && w - a < 9 && !isblnk(t[w])) w++;
  std::string low = t.substr(a, w - a);
  for (auto& ch : low) ch = asclower(ch);
  for (const auto& k : keywords) {
    size_t kl = std::strlen(k.word);
    bool hit = low == k.word || (k.paren && low.size() > kl && low.compare(0, kl, k.word) == 0 &&
                                 low[kl] == '(');
    if (!hit) continue;
    size_t j = a + kl;
    if (k.opnd) {
      while (j < e && isblnk(t[j])) j++;
    }
    *op = j;
    return k.type;
  }
  *op = a;
  return GS_CMD;
}

void lineerr(const char* what, const gsstmnt* st) {
  std::printf("%s", what);
  std::printf("  Error occurred scanning line %i\n", st->line);
  std::printf("  In file %s\n", replshownname(st->file->path).c_str());
}

// Registers a function statement; false after printing the error.
bool regfunc(gsstate& s, gsstmnt* st) {
  const std::string& o = st->opnd;
  size_t n = 0;
  bool ok = st->hasopnd && !o.empty() && ascalpha(o[0]);
  if (ok) {
    while (n < o.size() && (ascalnum(o[n]) || o[n] == '_')) n++;
    if (n > GSNAMEMAX) {
      std::printf("Function name too long\n");
      ok = false;
    }
  } else if (st->hasopnd && !o.empty()) {
    std::printf("Invalid function name\n");
  }
  if (!ok) {
    const std::string shown = replshownname(st->file->path);
    std::printf("Error in %s: Invalid function statement", shown.c_str());
    std::printf(" at line %i\n", st->line);
    std::printf("  In file %s\n", shown.c_str());
    return false;
  }
  std::string name = o.substr(0, n);
  size_t j = n;
  while (j < o.size() && isblnk(o[j])) j++;
  if (j < o.size() && o[j] != ';') {
    st->opnd = o.substr(j);
  } else {
    st->opnd.clear();
    st->hasopnd = false;
  }
  s.funcs.emplace(name, st);
  return true;
}

struct blk {
  gsstmnt* st;
  gsstmnt* els;
};

void unclosed(const blk& b) {
  if (b.st->type == GS_WHILE) {
    std::printf("Unable to locate ENDWHILE statement");
    std::printf(" for the WHILE statement at line %i\n", b.st->line);
  } else {
    std::printf("Unable to locate ENDIF statement");
    std::printf(" for the IF statement at line %i\n", b.st->line);
  }
  std::printf("  In file %s\n", replshownname(b.st->file->path).c_str());
}

// Pairs if/else/endif and while/endwhile over the statements of one file and
// registers its functions.  Works with an explicit stack so that deep
// nesting cannot exhaust the program's stack.
int gsblck(gsstmnt* first, gsstate& s) {
  std::vector<blk> stack;
  for (gsstmnt* st = first; st; st = st->next) {
    switch (st->type) {
      case GS_FUNCTION:
        if (!stack.empty()) {
          unclosed(stack.back());
          return 1;
        }
        if (!regfunc(s, st)) return 1;
        break;
      case GS_WHILE:
      case GS_IF:
        stack.push_back({st, nullptr});
        break;
      case GS_CONTINUE:
      case GS_BREAK: {
        gsstmnt* w = nullptr;
        for (size_t i = stack.size(); i-- > 0;) {
          if (stack[i].st->type == GS_WHILE) {
            w = stack[i].st;
            break;
          }
        }
        if (w) {
          st->partner = w;
        } else {
          lineerr(st->type == GS_CONTINUE ? "Unexpected continue.  No associated while\n"
                                          : "Unexpected break.  No associated while\n",
                  st);
          std::printf("  Statement is ignored\n");
        }
        break;
      }
      case GS_ENDWHILE:
        if (!stack.empty() && stack.back().st->type == GS_WHILE) {
          stack.back().st->partner = st;
          st->partner = stack.back().st;
          stack.pop_back();
          break;
        }
        std::printf("Unexpected endwhile.  Incorrect loop nesting.\n");
        if (!stack.empty()) {
          std::printf("  Expecting endif before endwhile for ");
          std::printf("if statement at line %i\n", stack.back().st->line);
        }
        lineerr("", st);
        return 1;
      case GS_ELSE:
        if (!stack.empty() && stack.back().st->type == GS_IF && !stack.back().els) {
          stack.back().els = st;
          break;
        }
        lineerr("Unexpected else.  Incorrect if block nesting.\n", st);
        return 1;
      case GS_ENDIF:
        if (!stack.empty() && stack.back().st->type == GS_IF) {
          blk b = stack.back();
          stack.pop_back();
          if (b.els) {
            b.st->partner = b.els;
            b.els->partner = st;
          } else {
            b.st->partner = st;
          }
          st->partner = b.st;
          break;
        }
        lineerr("Unexpected endif.  Incorrect if block nesting.\n", st);
        return 1;
      default:
        break;
    }
  }
  if (!stack.empty()) {
    unclosed(stack.back());
    return 1;
  }
  return 0;
}

}  // namespace

// Cuts the text of file f into statements, appends them to the state and
// pairs their blocks.  Carriage returns count as blanks, and the end of the
// text ends the last line even without a line end.
int gsparse(gsstate& s, gsfrec* f, const std::string& text) {
  std::string t = text;
  for (auto& c : t) {
    if (c == '\r') c = ' ';
  }
  size_t i = 0;
  int line = 1;
  gsstmnt* last = nullptr;
  while (i < t.size()) {
    // i is at a statement start: the start of a line or after a ";".
    if (t[i] == '*' || t[i] == '#') {
      size_t nl = t.find('\n', i);
      i = nl == std::string::npos ? t.size() : nl + 1;
      line++;
      continue;
    }
    while (i < t.size() && isblnk(t[i])) i++;
    if (i >= t.size()) break;
    if (t[i] == '\n' || t[i] == ';') {
      if (t[i] == '\n') line++;
      i++;
      continue;
    }
    size_t e = stmtend(t, i);
    size_t op;
    auto st = std::make_unique<gsstmnt>();
    st->type = stmttype(t, i, e, &op);
    st->text = rtrim(t, i, e);
    st->line = line;
    st->file = f;
    if (st->type == GS_CMD) {
      st->opnd = st->text;
      st->hasopnd = true;
    } else if (op < e) {
      st->opnd = rtrim(t, op, e);
      st->hasopnd = st->type == GS_ASSN || !st->opnd.empty();
    } else if (st->type == GS_ASSN) {
      st->hasopnd = true;
    }
    if (!(st->type == GS_IF || st->type == GS_WHILE || st->type == GS_RETURN ||
          st->type == GS_FUNCTION || st->type == GS_SAY || st->type == GS_PROMPT ||
          st->type == GS_PULL || st->type == GS_EXIT || st->type == GS_ASSN ||
          st->type == GS_CMD)) {
      st->hasopnd = false;
      st->opnd.clear();
    }
    gsstmnt* p = st.get();
    s.stmts.push_back(std::move(st));
    if (last) {
      last->next = p;
    } else {
      f->first = p;
    }
    last = p;
    // Step past the end character; a line end is counted.
    if (e < t.size()) {
      if (t[e] == '\n') line++;
      i = e + 1;
    } else {
      i = e;
    }
  }
  return gsblck(f->first, s);
}

// Loads the script (library 0) or the function library of function name
// (library 1).  Returns 0, 9 when no file was found, 1 on other errors.
int gsgsfrd(gsstate& s, int library, const std::string& name) {
  std::string path, dir;
  std::FILE* fp = library ? gsogsf(s, name, path) : gsonam(name, path, dir);
  if (!fp) return 9;
  if (library) {
    s.libpath = path;
    if (s.libs.count(path)) {  // loaded before: its functions are known
      std::fclose(fp);
      return 0;
    }
  }
  std::string text;
  char buf[4096];
  size_t n;
  // A file that never ends (a device, a pipe) must not take the memory.
  struct closer {
    std::FILE* fp;
    ~closer() {
      if (fp) std::fclose(fp);
    }
  } guard{fp};
  // Script files are regular files (gsonam, gsogsf): one too large for a
  // string is refused by its size, before any of it is read.
  struct stat st;
  if (fstat(fileno(fp), &st) == 0 && st.st_size > 0) gsstrchk(static_cast<size_t>(st.st_size));
  while ((n = std::fread(buf, 1, sizeof buf, fp)) > 0) {
    gsstrchk(text.size() + n);
    text.append(buf, n);
  }
  bool bad = std::ferror(fp) != 0;
  std::fclose(fp);
  guard.fp = nullptr;
  if (bad) {
    std::printf("I/O Error reading script file: %s\n", replshownname(path).c_str());
    return 1;
  }
  if (!library) s.sdir = dir;
  s.libs.insert(path);
  auto f = std::make_unique<gsfrec>();
  f->path = path;
  gsfrec* fr = f.get();
  s.files.push_back(std::move(f));
  return gsparse(s, fr, text);
}
