// A defined variable: a grid computed once and kept under a name, stored as
// a pseudo data file of type 4 whose row buffer holds the data (X fastest,
// then Y, Z, T).  The common state keeps the list (defs) in the order of
// definition; the evaluator finds names there before the default file's
// variables.
#pragma once

#include "base/deflist.h"

struct datafile;

struct defvar {
  defvar* pforw;      // next definition, null at the tail
  defvar* pback;      // previous definition, null at the head
  datafile* pfi;      // the pseudo data-file record (owned)
  char abbrv[20];     // the name, NUL-terminated (at most 17 characters)
};

// The definition whose name is the word at name (leading blanks skipped,
// ended by a blank or the end of the line), or null.
defvar* deffind(const deflist& l, const char* name);
// Puts d, whose name must not be defined yet, at the end of the list.
void defappend(deflist& l, defvar* d);
// Takes d out of the list; the node is the caller's to release.
void defunlink(deflist& l, defvar* d);
