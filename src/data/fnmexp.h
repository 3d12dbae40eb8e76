// File names of data sets: names relative to the descriptor ("^name") or
// to an environment variable ("$VAR/name"), and file-name templates that
// name one member file per time ("%y4%m2%d2" ...).
#pragma once

#include <string>

#include "data/datetime.h"

struct datafile;

// Expands a name word that begins with "^" (the descriptor's directory) or
// "$" (an environment variable up to the first "/").  The word ends at a
// blank, newline or the end.  An unset variable leaves out empty.
void fnmexp(std::string& out, const char* word, const char* dname);

// Expands a template for the time dtim, the "%i" codes using the initial
// time dtimi; vals is the file's time axis array (for %f2 and %f3).
std::string omfndt(const char* tmpl, const datetime* dtim, const datetime* dtimi,
                   const float* vals);

// Most times a template data set may have: its member table holds one
// entry per time, built when the data set is opened.
constexpr int kMaxTmplTimes = 1 << 24;

// Builds the member table of a template data set: for each time, the first
// time index of the member file holding it.  0 done, 1 error reported.
int omtmtb(datafile* pfi);
// The same for a template other than the record's name; 1 (silently) when
// the data set has more than kMaxTmplTimes times.  Either may throw
// std::bad_alloc.
int omtmtb(datafile* pfi, const char* tmpl);
