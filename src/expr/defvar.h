// A defined variable: a grid computed once and kept under a name, stored as
// a pseudo data file of type 4 whose row buffer holds the data (X fastest,
// then Y, Z, T).  The common state keeps the list (defhead) in the order of
// definition; the evaluator finds names here before the default file's
// variables.
#pragma once

struct datafile;

struct defvar {
  defvar* pforw;      // next definition, null at the tail
  datafile* pfi;      // the pseudo data-file record (owned)
  char abbrv[20];     // the name, NUL-terminated (at most 17 characters)
};
