// An output file that takes the place of an older one only when whole: it
// is written under a part name beside its final name and put in its place
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
//
// The folder is held from the making of the part file to its end, and both
// the part and the rename are made relative to it: they stay in the folder
// where the part was made, whatever happens to the path meanwhile.  At the
// end the rules are applied again to whatever stands at the name then
// (replsig.h); a finished part that may not take the name stays under its
// part name, never removed.
#ifndef OMBRA_BASE_REPLFILE_H
#define OMBRA_BASE_REPLFILE_H

#include <cstddef>
#include <cstdio>
#include <string>

#include "base/ownedfd.h"
#include "base/replsig.h"

class endhold;

struct replfile {
  std::string name;  // where the file ends up (a link's target for a link)
  std::string part;  // the part file, spelled as name is; empty when in place
  ownedfd dir;       // the folder of both, held while there is a part
  std::string leaf;  // the last part of name, in dir
  std::string partleaf;
  int fd = -1;
  bool regular = false;  // a plain file (one that can be cut back and locked)
  bool marked = false;   // a part marked as being written (REPL_MARKED)
  ownedfd target;        // with REPL_COPY: the older file, written at the end
  // After a refused open, a line naming the part file that could not be
  // made; after an open with REPL_MARKED, the line naming the parts of
  // sessions that ended it removed; after a commit that left the part, the
  // line saying where it is and why.  For the caller to print after its
  // own message; else empty.
  std::string note;
};

// replopen's flags.  REPL_COPY: an older plain file that would be written
// in place is written at the commit instead, by a copy of the finished part
// file over it, so that it keeps its older bytes until then too.  The part
// file is then opened for reading as well.  REPL_MARKED (a part of a unique
// name, written long): the part is marked as being written, and locked,
// until it is put in place or kept, and the open first removes the parts
// of the name that sessions of the user's that are gone (killed) left
// marked.
enum { REPL_COPY = 1, REPL_MARKED = 2 };

// Opens name for writing; nothing is emptied (the caller cuts a file
// written in place once it may).  With a suffix the part name is name +
// suffix, made new or, when one is left by a session that was killed,
// taken over if it is a plain file of the user's with no other name;
// without one the part name is unique and new.  A part name too long for
// the folder is replaced by a short one.  The ending signals are held from
// the moment a part file is made, when a hold is given, until the caller
// releases it; a hold already held when called stays held, whatever the
// outcome.  False with errno when nothing could be opened.
bool replopen(const char* name, const char* suffix, replfile* r, endhold* hold = nullptr,
              int flags = 0);

enum { REPL_DONE = 0, REPL_FAILED = 1, REPL_KEPT = 2 };

// Puts the file in place under its name and closes it; renamed while still
// open, so that a lock on it lasts until it has its name.  REPL_KEPT when
// the name may not be replaced now: the part stays, and note says where
// and why.  REPL_FAILED with errno when the close failed.  An fd of -1 is
// taken as closed already.
int replcommit(replfile* r);

// Closes a file written in place, with no part (appended to, a script's
// lines): what it was given is first sent where its file system keeps it
// (replsettled), so that a network file system's refusal is seen.  False
// with errno when that or the close failed; the file is closed all the
// same.  replfclose closes a stream so.
bool replclose(int fd);
bool replfclose(std::FILE* f);

// Closes the file and removes its part; a file written in place is only
// closed.
void repldiscard(replfile* r);

// Closes the file and leaves its part where it is.
void replleave(replfile* r);

// The record an ending signal's handler puts the part in place with; false
// when there is no part.
bool replsigof(const replfile& r, replsig* s);

// Writes n bytes as the whole content of name, with the ending signals held
// until it has its name: 0 when done, 1 when it could not be opened (errno
// set, *note as replfile::note), 2 when the write failed (errno set), 3 when the
// finished file stays under its part name (*note says where and why).  A
// file written in place is cut to its new length only after the new bytes
// are in; room for them is taken first, so that a full disk leaves the
// older bytes.
int replsave(const char* name, const void* data, size_t n, std::string* note);

#endif
