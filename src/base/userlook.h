// One look at a name the user gave, by the rule every open of such a name
// follows (useropen.h): where a link may be followed, and what stands at
// the name, held so that nothing after the look asks the name again.
#pragma once

#include <sys/stat.h>

#include <string>

#include "base/ownedfd.h"

// The rule the kernel applies to links where fs.protected_symlinks is set,
// applied here whatever that setting is: in a sticky folder that anyone
// may write, a link is followed only when it is the user's or the folder's
// owner's.  Another user could otherwise aim a link there at the user's
// own files.  link is the link's status, dir its folder.
bool omlinkok(int dir, const struct stat& link);

// One look at a name the user gave.  Its folders are gone down one by one
// from a held folder (at once where no link is on the way), each link
// followed only where the rule allows; what stands at the last part is
// looked at once, without following a link there, and a link there is
// followed by the same rule to what it leads to (the link read is the one
// the look saw), looked at once in its own folder.  Everything after the
// look is done in the folder it held and judged by what it saw: an open
// there opens only the file the look saw.  A link of /proc's (a
// descriptor's) is followed by the kernel.
struct omlooked {
  ownedfd dir;          // the folder of the last part
  std::string folder;   // its path as spelled, "" or ending in '/'
  std::string leaf;     // the last part ("" for the folder itself)
  bool there = false;   // something stands there
  struct stat st = {};  // its status
  bool linked = false;  // a link was followed to come here
  bool magic = false;   // the last part is a link of /proc's
};
// False with errno (ENOLINK for a link the rule bars).
bool omlook(const char* name, omlooked* l);

// The session's standard descriptor open for writing (1, 2, or 0) whose
// file is st, or -1.
int omstdfd(const struct stat& st);

