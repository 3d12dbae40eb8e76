// Entry point of the script language.
#include "script/gs.h"

#include <cstdio>

#include "script/gsglue.h"
#include "script/gsint.h"

gsstate::~gsstate() {
  for (auto& f : iofiles) {
    if (f.fp) std::fclose(f.fp);
  }
}

void gsout(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }

std::optional<std::string> gsfile(const char* cmdline, int* rc, int mode) {
  const char* p = cmdline ? cmdline : "";
  while (*p == ' ') p++;
  const char* q = p;
  while (*q && *q != ' ' && *q != '\n') q++;
  std::string name(p, q);
  std::string path, dir;
  std::FILE* fp = gsonam(name, path, dir);
  if (!fp) {
    if (mode == 1) {
      gserrmsg("Unknown command: " + name + "\n");
    } else {
      std::printf("Error opening script file: %s\n", name.c_str());
    }
    *rc = 1;
    return std::nullopt;
  }
  std::fclose(fp);
  std::printf("Error running script file %s:  scripts are not built yet\n", path.c_str());
  *rc = 1;
  return std::nullopt;
}
