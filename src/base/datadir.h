// The data directory (fonts, map outlines, function tables, units) and
// environment lookups, for every layer.
#pragma once

#include <string>

// Environment lookup: the value, owned by the environment, or null.
const char* gxgsym(const char* name);
// The name in the data directory (OMDDIR, or the built-in directory).
std::string gxgnam(const char* name);
