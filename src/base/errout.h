// Messages on standard error.  Standard output is handed on in blocks, and
// standard error at once: a message written straight there would stand in
// a log that holds both (`2>&1`) before lines printed earlier.  Every
// message to standard error goes through here, which first writes out what
// standard output holds.
#pragma once

#include <cstdarg>

void omerrf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void omerrv(const char* fmt, va_list ap) __attribute__((format(printf, 1, 0)));
