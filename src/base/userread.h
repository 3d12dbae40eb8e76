// Reading files whose names the user gave without a read that never ends:
// text read line by line stops at a budget on what is not a regular file
// (a device such as /dev/zero, a pipe fed for ever), and files read whole
// are sized from the file itself.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// Most bytes read as text from a file that is not a regular file: far more
// than any descriptor or command file holds, and an endless stream ends
// there as if at the end of the file.
constexpr int64_t kMaxStreamBytes = int64_t(64) << 20;

// Opens a text file for reading through omfopen.  A file that is not a
// regular file is read through a stream that ends after `budget` bytes and
// whose reads wait with the interrupt in view (an interrupt reads as a read
// error).  Null with errno set when it cannot be opened (EISDIR for a
// directory, EINTR when the wait for a writer was interrupted).
std::FILE* omftext(const char* name, int64_t budget = kMaxStreamBytes);

// Reads a whole regular file of at most `most` bytes into out.  0, or
// errno's value for the failure: ESPIPE (not a regular file), EFBIG (larger
// than most), ENOMEM, EIO (a short read or a read error), or what the open
// gave.
int omreadall(const char* name, int64_t most, std::string& out);

// Reads a whole file of the data directory the same way: a name beginning
// with "/" or "\\" as it is, any other first in the data directory (gxgnam)
// and, failing that, under the bare name.  tried receives the name that
// failed first (the data-directory path for a relative name), and the
// result is that attempt's failure, or 0.
int omreaddatafile(const char* name, int64_t most, std::string& out, std::string& tried);
