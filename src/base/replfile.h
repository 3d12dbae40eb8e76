// An output file that takes the place of an older one only when whole: it
// is written under a part name beside its final name and renamed over it
// at the end, so a failed write leaves the older file alone and a reader
// never sees a file half written.  A name that is no plain file (a device,
// a pipe, a FIFO) is written in place, as are names in a folder where no
// part file can be made.
#ifndef OMBRA_BASE_REPLFILE_H
#define OMBRA_BASE_REPLFILE_H

#include <string>

struct replfile {
  std::string name;  // where the file ends up (a link's target for a link)
  std::string part;  // the file written, renamed to name; empty when in place
  int fd = -1;
  bool regular = false;  // a plain file (one that can be cut back and locked)
};

// Opens name for writing.  With a suffix the part name is name + suffix
// and an existing part file (or a file written in place) is opened as it
// is, not emptied, so that the caller can lock it first; without one the
// part name is unique and new, and a file written in place is emptied.
// False with errno when nothing could be opened.
bool replopen(const char* name, const char* suffix, replfile* r);

// Closes the file and puts it in place; false with errno when the close or
// the rename failed (the part file is then removed).  An fd of -1 is taken
// as closed already (by the stdio stream that was given it).
bool replcommit(replfile* r);

// Closes the file and removes its part; a file written in place is only
// closed.
void repldiscard(replfile* r);

#endif
