// Finding script files and function libraries on disk.

#include <cerrno>
#include <cstdlib>

#include "base/useropen.h"
#include "script/gsint.h"

static bool gsdelim(char c) { return c == ' ' || c == ',' || c == ';'; }

// Splits a directory list at blanks, commas and semicolons, skipping empty
// entries.
std::vector<std::string> gsdirs(const std::string& list) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < list.size()) {
    while (i < list.size() && gsdelim(list[i])) i++;
    size_t j = i;
    while (j < list.size() && !gsdelim(list[j])) j++;
    if (j > i) out.push_back(list.substr(i, j - i));
    i = j;
  }
  return out;
}

static std::string withslash(const std::string& d) {
  if (!d.empty() && d.back() != '/') return d + "/";
  return d;
}

// Opens a regular file for reading; directories and the like do not count
// as found, since reading them would fail later with a misleading message.
static std::FILE* openreg(const std::string& path) {
  return omfdata(path.c_str());
}

static std::vector<std::string> scrpdirs() {
  const char* e = std::getenv("OMSCRP");
  if (!e) return {};
  return gsdirs(e);
}

static bool endsgs(const std::string& n) {
  return n.size() >= 3 && n.compare(n.size() - 3, 3, ".gs") == 0;
}

// Finds a script by the name given on the command line: the name, the name
// with ".gs", then along OMSCRP.  path receives the file that opened and dir
// its directory part.
std::FILE* gsonam(const std::string& name, std::string& path, std::string& dir) {
  std::vector<std::string> tries;
  tries.push_back(name);
  if (!endsgs(name)) tries.push_back(name + ".gs");
  if (name.empty() || name[0] != '/') {
    for (const auto& d : scrpdirs()) {
      tries.push_back(withslash(d) + name);
      tries.push_back(withslash(d) + name + ".gs");
    }
  }
  // The reason a name that is there could not be opened (a link not
  // followed, a device) is told, not that of a name tried after it.
  int why = ENOENT;
  for (const auto& t : tries) {
    std::FILE* fp = openreg(t);
    if (!fp) {
      if (why == ENOENT) why = errno;
      continue;
    }
    path = t;
    size_t sl = t.rfind('/');
    dir = (sl != std::string::npos && sl >= 1) ? t.substr(0, sl + 1) : "";
    return fp;
  }
  errno = why;
  return nullptr;
}

// Finds the function library of function fname: name.gsf in the script's
// directory, along the function path (relative entries below the script's
// directory, absolute ones as they are), then along OMSCRP.
std::FILE* gsogsf(const gsstate& s, const std::string& fname, std::string& path) {
  std::string lib = fname.substr(0, GSNAMEMAX);
  size_t b = lib.find(' ');
  if (b != std::string::npos) lib.resize(b);
  lib += ".gsf";
  std::vector<std::string> tries;
  tries.push_back(s.sdir + lib);
  if (s.hasfpath) {
    for (const auto& d : gsdirs(s.fpath)) {
      if (d[0] == '/') {
        tries.push_back(withslash(d) + lib);
      } else {
        tries.push_back(s.sdir + withslash(d) + lib);
      }
    }
  }
  for (const auto& d : scrpdirs()) tries.push_back(withslash(d) + lib);
  for (const auto& t : tries) {
    std::FILE* fp = openreg(t);
    if (fp) {
      path = t;
      return fp;
    }
  }
  return nullptr;
}
