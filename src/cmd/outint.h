// Shared pieces of the display, define and query commands and of the
// output settings.
#pragma once

struct cmnstate;
struct evalstat;

// Evaluates an expression list (expressions separated by ";", no blanks)
// into the results table of the common state.  0, or 1 after a failed
// expression (the results evaluated before it are released).
int ompars(const char* list, evalstat* pst, cmnstate* pcm);
// Releases the results table.
void omgrel(cmnstate* pcm);

// Query and set of one value of a defined variable (query defval, set
// defval): text starts at the word "defval"; setflag 1 for set.
int omqdef(const char* text, cmnstate* pcm, int setflag);
