// Messages on standard error.  Standard output is handed on in blocks, and
// standard error at once: a message written straight there would stand in
// a log that holds both (`2>&1`) before lines printed earlier.  Every
// message to standard error goes through here, which first writes out what
// standard output holds (omouterr), but two: the report of a failed write
// of standard output (outflush.cpp), which tells of the very flush this
// would make, and the lines a signal ending writes on LATS files left
// under their part names (latssigsay), which it writes itself, after
// standard output's rest.
#pragma once

#include <cstdarg>

void omerrf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void omerrv(const char* fmt, va_list ap) __attribute__((format(printf, 1, 0)));
