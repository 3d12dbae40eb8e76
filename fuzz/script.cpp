// Target: the script loader and runner.
//
// Input: the text of a script, saved as t.gs in the scratch directory and
// run with the arguments "one 2 3.5".  Its commands go to a stand-in for the
// dispatcher that answers with a fixed two-line text (rc 1 for commands
// beginning "fail", else 0), so no command of a fuzzed script reaches the
// program.  The harness raises the interrupt flag after 20000 polls (one
// per statement), so endless loops end.  A script with a '/' inside a
// quoted string is skipped: only such a string can name a file outside the
// scratch directory for read, write or gsfpath.
#include <cstdint>
#include <optional>
#include <string>

#include "script/gs.h"
#include "script/gsglue.h"
#include "fuzzutil.h"

namespace {

std::string fakecmd(const char* cmd, int* rc) {
  std::string c(cmd);
  *rc = c.compare(0, 4, "fail") == 0 ? 1 : 0;
  return "first line of " + c.substr(0, 40) + "\nsecond 12.5 -3 words\n";
}

bool quotedslash(const std::string& s) {
  char q = 0;
  for (char c : s) {
    if (c == '\n') q = 0;
    else if (q == 0 && (c == '\'' || c == '"')) q = c;
    else if (q != 0 && c == q) q = 0;
    else if (q != 0 && c == '/') return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::setup();
  unsetenv("OMSCRP");
  gssetcmd(fakecmd);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 65536) return -1;
  std::string text(reinterpret_cast<const char*>(data), size);
  if (quotedslash(text)) return -1;
  fuzz::sweep();
  fuzz::writefile("t.gs", text);
  fuzz::setbudget(20000);
  int rc = 0;
  std::optional<std::string> out = gsfile("t.gs one 2 3.5", &rc, 0);
  (void)out;
  fuzz::setbudget(-1);
  return 0;
}
