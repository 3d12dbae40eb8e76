// Calls from expressions: built-ins first, then the functions of the loaded
// files, then (when allowed) the function's library file.
#include <cstdio>

#include "base/replsig.h"
#include "script/gsint.h"

bool gsfunc(gsstate& s, const std::string& name, std::vector<std::string>& args,
            std::string& out) {
  s.args = std::move(args);
  bool found = false;
  int r = gsbltn(name, s, &found);
  if (found) {
    s.args.clear();
    if (r) return false;
    out = s.retv ? std::move(*s.retv) : std::string();
    s.retv.reset();
    return true;
  }
  auto it = s.funcs.find(name);
  if (it == s.funcs.end() && s.fallow) {
    std::vector<std::string> keep = std::move(s.args);
    int lr = gsgsfrd(s, 1, name);
    s.args = std::move(keep);
    if (lr == 0) {
      it = s.funcs.find(name);
      if (it == s.funcs.end()) {
        std::printf("Loaded function file %s\n", replshownname(s.libpath).c_str());
        std::printf("  But... ");
      }
    } else if (lr != 9) {
      std::printf("Error while loading function: %s\n", gspad16(name).c_str());
      s.args.clear();
      return false;
    }
  }
  if (it == s.funcs.end()) {
    std::printf("Function not found: %s\n", gspad16(name).c_str());
    s.args.clear();
    return false;
  }
  int st = gsrunf(it->second, s);
  if (st != GS_OK) {
    if (st == GS_EXITST || st == GS_QUIT) s.unwind = st;
    s.retv.reset();
    return false;
  }
  out = s.retv ? std::move(*s.retv) : std::string();
  s.retv.reset();
  return true;
}
