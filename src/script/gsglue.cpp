// The rest of the program as seen from scripts.
#include "script/gsglue.h"

#include "base/cmnstate.h"
#include "base/omprnt.h"

static gscmdfn cmdhook = nullptr;

void gssetcmd(gscmdfn fn) { cmdhook = fn; }

std::string gsdocmd(const char* cmd, int* rc) {
  if (cmdhook) return cmdhook(cmd, rc);
  // No command layer registered: nothing can run.
  *rc = 1;
  return std::string();
}

int gsintr() { return omqsig(); }

void gserrmsg(const std::string& text) { omprnt(0, text.c_str()); }
