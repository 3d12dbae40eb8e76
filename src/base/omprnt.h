// The message printer: every message of the program goes through omprnt.
// Levels: 0 error, 1 warning or notice, 2 information (echoes, results,
// query answers); levels above 2 behave as 2.  While a script runs a command
// (see omcaprun) each message is also recorded, and only levels 0 and 1 are
// shown on standard output.
#pragma once

#include <string>

void omprnt(int level, const char* text);
inline void omprnt(int level, const std::string& text) { omprnt(level, text.c_str()); }

// printf-style convenience for the program's own literal formats.  User text
// is never passed as the format: pass it as a "%s" argument.
void omprntf(int level, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
