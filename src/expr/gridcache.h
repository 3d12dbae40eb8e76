// Grids read during one expression evaluation, kept so that a variable
// named twice (u*u, u-ave(u,...)) is read from its file once.
//
// The cache is open only between omrcbeg and omrcend, which bracket one
// evaluation of a display; it is emptied at omrcend, so nothing is ever
// served to a later command (after set t, close, define, or a change of
// the file).  Within the evaluation an entry is served only for a request
// identical in file, variable, undefined value, varying dimensions and
// every index range, and only while the data file still has the identity,
// size and modification time it had when the grid was read.  Only plain
// binary data sets are kept (not templates, GRIB, self-describing files,
// interpolated grids or defined variables), and only grids read without
// a warning, so messages stay as they were.
#pragma once

struct gridres;

// Opens the cache for one evaluation of expr.  Only variables whose name
// appears more than once in the text are kept: a grid read once is not
// copied at all.  Calls nest; the outermost pair counts.
void omrcbeg(const char* expr);

// Closes the cache and frees every kept grid.
void omrcend();

// Fills a request from the cache: 1 when served (the grid's storage is
// allocated and filled, sizes and ranges set as the reader sets them), 0
// when the request must be read.
int omrcget(gridres* pgr);

// Offers a grid just read for request req (the record as it was before
// the read); kept when the cache is open and the grid qualifies.
void omrcput(const gridres* req, const gridres* got);

// The number of grids kept now (for tests).
int omrccount();
