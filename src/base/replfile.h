// An output file that takes the place of an older one only when whole: it
// is written under a part name beside its final name and renamed over it
// at the end, so a failed write leaves the older file alone and a reader
// never sees a file half written.
//
// A rename stands for writing the file in place only where the two give
// the same result: a plain file the user may write, owns, and that has no
// other name.  So a file the user may not write is refused, untouched; one
// of another owner or with other links is written in place (it keeps its
// owner, mode and links), as is a name that is no plain file (a device, a
// pipe, a FIFO).  When no part file can be made beside an older file, the
// older file is left whole and the open refused.
#ifndef OMBRA_BASE_REPLFILE_H
#define OMBRA_BASE_REPLFILE_H

#include <cstddef>
#include <string>

class endhold;

struct replfile {
  std::string name;  // where the file ends up (a link's target for a link)
  std::string part;  // the file written, renamed to name; empty when in place
  int fd = -1;
  bool regular = false;  // a plain file (one that can be cut back and locked)
  // After a refused open: a line naming the part file that could not be
  // made, for the caller to print after its own message; else empty.
  std::string note;
};

// Opens name for writing; nothing is emptied (the caller cuts a file
// written in place once it may).  With a suffix the part name is name +
// suffix, made new or, when one is left by a session that was killed,
// taken over if it is a plain file of the user's; without one the part
// name is unique and new.  A part name too long for the folder is
// replaced by a short one.  The ending signals are held from the moment a
// part file is made, when a hold is given, until the caller releases it.
// False with errno when nothing could be opened.
bool replopen(const char* name, const char* suffix, replfile* r, endhold* hold = nullptr);

// Puts the file in place under its name and closes it; renamed while still
// open, so that a lock on it lasts until it has its name.  False with
// errno when the rename (the part file is then removed) or the close
// failed.  An fd of -1 is taken as closed already.
bool replcommit(replfile* r);

// Closes the file and removes its part; a file written in place is only
// closed.
void repldiscard(replfile* r);

// Writes n bytes as the whole content of name, with the ending signals held
// until it has its name: 0 when done, 1 when it could not be opened (errno
// set, *note as replfile::note), 2 when the write failed.  A file written
// in place is cut to its new length only after the new bytes are in; room
// for them is taken first, so that a full disk leaves the older bytes.
int replsave(const char* name, const void* data, size_t n, std::string* note);

#endif
