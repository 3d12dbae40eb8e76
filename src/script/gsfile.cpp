// Entry point of the script language: load a script, run its main part and
// hand back its result.
#include "script/gs.h"

#include <cstdio>
#include <new>

#include "base/outflush.h"
#include "base/replsig.h"
#include "base/useropen.h"
#include "script/gsglue.h"
#include "script/gsint.h"

gsstate::~gsstate() {
  for (auto& f : iofiles) {
    if (f.fp) std::fclose(f.fp);
  }
}

void gsout(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }

// Scripts run scripts through their command statements; a script that runs
// itself would otherwise recurse until the program's stack is exhausted.
constexpr int MAXRUNS = 100;
static int nruns = 0;

namespace {
std::optional<std::string> runscript(const std::string& name, const std::string& argtext, int* rc,
                                     int mode);
}  // namespace

std::optional<std::string> gsfile(const char* cmdline, int* rc, int mode) {
  const char* p = cmdline ? cmdline : "";
  while (*p == ' ' || *p == '\t') p++;
  const char* q = p;
  while (*q && *q != ' ' && *q != '\t' && *q != '\n') q++;
  std::string name(p, q);
  while (*q == ' ' || *q == '\t') q++;
  const char* r = q;
  while (*r && *r != '\n') r++;
  std::string argtext(q, r);

  if (nruns >= MAXRUNS) {
    std::printf("Error running script file %s:  scripts nested more than %i deep\n",
                replshownname(name).c_str(), MAXRUNS);
    *rc = 1;
    return std::nullopt;
  }
  struct runcount {
    runcount() { nruns++; }
    ~runcount() { nruns--; }
  } counted;
  // Memory runs out when a script asks for more than there is (a string
  // doubled on every call of a deep recursion): the script fails, the
  // program goes on with its files and definitions.
  try {
    return runscript(name, argtext, rc, mode);
  } catch (const std::bad_alloc&) {
    std::printf("Error running script file %s:  memory allocation error\n", replshownname(name).c_str());
    omoutflush();
    *rc = GS_ERR;
    return std::nullopt;
  }
}

namespace {

std::optional<std::string> runscript(const std::string& name, const std::string& argtext, int* rc,
                                     int mode) {
  gsstate s;
  s.sname = name;
  int lr = gsgsfrd(s, 0, name);
  if (lr != 0) {
    if (lr == 9) {
      const int why = errno;
      if (mode == 1) {
        gserrmsg("Unknown command: " + name + "\n");
      } else {
        std::printf("Error opening script file: %s\n%s", replshownname(name).c_str(), omopennote(why).c_str());
      }
    }
    *rc = 1;
    return std::nullopt;
  }
  s.args.push_back(argtext);
  int status = gsrunf(s.files.front()->first, s);
  gstraceend(s);
  if (status == GS_QUIT) status = -1;
  *rc = status;
  omoutflush();
  return s.retv;
}

}  // namespace
