// Putting a finished part file in place, the last step of every output
// written under a part name.  What stands at the name then is looked at
// again, in the folder held since the part was made (a link to the folder
// moved meanwhile changes nothing), and the part takes the name only where
// the replacement rules allow it now: nothing is there, or a plain file of
// the user's that he may write and that has no other name.  Otherwise the
// finished part stays under its part name, and a line says where and why.
// Every call here is one a signal handler may make, so that an ending
// signal finishes a file as the command that closes it does.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <climits>
#include <cstddef>
#include <string>

// The mark of a part being written (an extended attribute), taken off when
// it is put in place or kept: a part still marked whose session is gone
// was left by a session that was killed.  Where the file system keeps no
// such marks, no part is marked, and none is ever taken for one left so.
inline constexpr char kPartWriting[] = "user.ombra.writing";

// What the step needs, in plain storage, filled before a handler may use it.
struct replsig {
  int dir = -1;     // the folder of the part and the name
  int fd = -1;      // the part file (read for a copy; -1 when closed)
  int target = -1;  // an older file written in place by a copy, or -1
  bool marked = false;  // the part is marked as being written
  char part[NAME_MAX + 1] = {};
  char leaf[NAME_MAX + 1] = {};
};

// The longest line said of one file left under its part name.
const size_t kEndLine = PATH_MAX + 4 * NAME_MAX;

// Puts the part in place: renamed to the name, or, with a target, copied
// into the older file while that is still at the name, and then removed
// (with the older file gone from the name, the name is judged as for a
// rename).  A part marked as being written loses its mark first, whether
// it takes the name or stays.  A part whose bytes its file system refuses (replsettled) does
// not take the name.  True when done; false when the part stays, with the
// line that says where and why in why (n bytes at most).
bool replput(const replsig& s, char* why, size_t n);

// The line for a part that stays with another one that could not take its
// name (the descriptor and index of a data file): where it is, and that it
// goes with that file.
void replwith(const replsig& s, const char* with, char* why, size_t n);

// Whether what was written to the file fd is where its file system keeps
// it: a network file system learns that the server refused a write (a
// full quota) only when the pages go out, so they are sent here, at once;
// false with errno when they were refused.  On a local one, true at once.
// Safe in a signal handler.
bool replsettled(int fd);

// Copies everything the descriptor from holds over the file to, in place,
// as reploverwrite writes.
bool replcopy(int from, int to);

// Writes n bytes over the file fd, in place, from its start: the room is
// taken first, so that a full disk or a size limit leaves the file as it
// was, and it is cut to n bytes at the end; a write that fails once the
// older bytes are partly gone leaves it empty, never torn.  fill writes the
// n bytes at fd's offset from what arg points to, false with errno set when
// it could not.
bool reploverwrite(int fd, off_t n, bool (*fill)(int fd, off_t n, const void* arg), const void* arg);

// fstatat of leaf in the folder dir, not following a link.  A file renamed
// over the name while it was looked at shows no name at all (a count of
// names of 0), neither other names nor the file at the name now: it is
// looked at again.  Safe in a signal handler.
int replstatname(int dir, const char* leaf, struct stat* st);

// Where the file of the descriptor fd stands against the name leaf in the
// folder dir: still there, another file there, nothing there, or it could
// not be looked at (errno set; a folder that was removed is one, with
// ENOENT): another writer of the folder may have put something else at the
// name, or renamed the file away.
enum { REPL_STILL, REPL_OTHER, REPL_NONE, REPL_LOOKFAILED };
int replwhere(int fd, int dir, const char* leaf);

// Whether the descriptor fd is still the file named leaf in the folder dir.
bool replstill(int fd, int dir, const char* leaf);

// Removes the name leaf in the folder dir while it is still the file of the
// descriptor fd (or fd is -1, the file closed already): a file another
// writer of the folder put at the name meanwhile stays.  Safe in a signal
// handler.
void replunlink(int fd, int dir, const char* leaf);

// Appends to buf (n bytes, always ended) the folder dir's present path as
// the kernel sees the descriptor, shown as replshown shows names, then "/";
// nothing when it cannot be had.  Safe in a signal handler.
void replfolder(char* buf, size_t n, int dir);

// A name as messages show it: control characters escaped (\n, \t, \x1b,
// ...), so that a name cannot make a message print a line of its own or
// work the terminal, and so are bytes that are no UTF-8 text (\xff);
// other characters of UTF-8 text stay as they are.
// Written into buf (n bytes, always ended, cut where it does not fit);
// returns its length.  Safe in a signal handler.
size_t replshown(char* buf, size_t n, const char* name);

// The same, whole, for a message that is no signal handler's.
std::string replshownname(const std::string& name);
