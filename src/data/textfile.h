// Descriptor text files: opened so that a device or pipe given as a
// descriptor is read no further than a descriptor can be, and read line by
// line with a bound on the line length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "base/userread.h"

// Longest descriptor line accepted; a longer one is refused rather than
// cut into pieces that would be read as records of their own.
constexpr size_t kMaxDescrLine = size_t(1) << 20;

// Most bytes read from a descriptor that is not a regular file (a device,
// a pipe): far more than any descriptor holds, and an endless stream
// (/dev/zero, /dev/urandom) ends there as if at the end of the file.
constexpr int64_t kMaxDescrBytes = kMaxStreamBytes;

// Opens a descriptor for reading.  A directory counts as a name that cannot
// be opened (it opens on some systems but reads as an empty file); a file
// that is not a regular file is read through a stream that ends after
// kMaxDescrBytes.  A FIFO waits for its writer with the interrupt in view.
// Null when it cannot be opened (errno EISDIR for a directory, EINTR when
// interrupted).
FILE* opendescr(const std::string& name);

// Opens a descriptor by the name given or, failing that, with ".ctl" added;
// opened receives the name that opened.  Null when neither opens; why then
// holds the errno worth telling: that of the name as given, unless the
// .ctl name failed for another reason than being absent.
FILE* opendescrctl(const std::string& name, std::string& opened, int& why);

enum { TL_OK = 0, TL_EOF = 1, TL_LONG = 2 };

// Reads one line into line, without its newline (a carriage return before
// it is kept).  TL_OK, TL_EOF at the end of the file with nothing read, or
// TL_LONG when the line is longer than kMaxDescrLine: nothing more is read
// then, so a line without end is not read to its end.
int rdtxtline(FILE* f, std::string& line);
