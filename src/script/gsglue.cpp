// The command interpreter's services as seen from scripts.
#include "script/gsglue.h"

#include "base/omprnt.h"
#include "cmd/omcmd.h"

static gscmdfn cmdhook = nullptr;

void gssetcmd(gscmdfn fn) { cmdhook = fn; }

std::string gsdocmd(const char* cmd, int* rc) {
  if (cmdhook) return cmdhook(cmd, rc);
  return omgsdo(cmd, rc);
}

int gsintr() { return omqsig(); }

void gserrmsg(const std::string& text) { omprnt(0, text.c_str()); }
