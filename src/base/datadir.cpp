// Names in the data directory and environment lookups.
#include "base/datadir.h"

#include <cstdlib>
#include <string>

#ifndef OMBRA_DATADIR
#define OMBRA_DATADIR "/usr/local/lib/ombra"
#endif

const char* gxgsym(const char* name) {
  if (!name) return nullptr;
  return getenv(name);
}

std::string gxgnam(const char* name) {
  std::string n = name ? name : "";
  const char* env = getenv("OMDDIR");
  std::string dir = env ? env : OMBRA_DATADIR;
  if (!dir.empty() && dir[0] == '.') return n;
  if (dir.empty()) return n;
  if (dir.back() != '/') dir += '/';
  return dir + n;
}
