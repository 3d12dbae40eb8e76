// The command interpreter's services as seen from scripts.
#include "script/gsglue.h"

#include <cstdio>

#include "cmd/omcmd.h"
#include "cmd/omprnt.h"

// Until the command interpreter is linked in, these resolve to null and the
// script language falls back to plain output.
int omqsig() __attribute__((weak));
std::string omgsdo(const char* cmd, int* rc) __attribute__((weak));
void omprnt(int level, const char* text) __attribute__((weak));

static gscmdfn cmdhook = nullptr;

void gssetcmd(gscmdfn fn) { cmdhook = fn; }

std::string gsdocmd(const char* cmd, int* rc) {
  if (cmdhook) return cmdhook(cmd, rc);
  if (omgsdo) return omgsdo(cmd, rc);
  std::printf("Command interpreter not built yet\n");
  *rc = 1;
  return "";
}

int gsintr() { return omqsig ? omqsig() : 0; }

void gserrmsg(const std::string& text) {
  void (*prnt)(int, const char*) = &omprnt;
  if (prnt) {
    prnt(0, text.c_str());
  } else {
    std::fputs(text.c_str(), stdout);
  }
}
