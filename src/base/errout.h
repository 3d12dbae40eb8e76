// Messages on standard error.  Standard output is handed on in blocks, and
// standard error at once: a message written straight there would stand in
// a log that holds both (`2>&1`) before lines printed earlier.  Every
// message of the program's own goes through here, which first writes out
// what standard output holds (omouterr), but two: the report of a failed
// write of standard output, which tells of the very flush this would
// make, and a signal ending's own lines, written after standard output's
// rest (omsigsay).  What a library writes there itself does not.
// A message is handed on by one call, so that an ending never finds half
// of one.
#pragma once

#include <cstdarg>

void omerrf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void omerrv(const char* fmt, va_list ap) __attribute__((format(printf, 1, 0)));
