// The command handlers that the dispatcher calls.  Each takes the command
// line lower-cased outside double quotes and beginning at its command word
// ("com"), and where names or texts keep their case the same line as typed,
// aligned character for character ("typed").  Results: 0 success, 1 error
// (message printed), -1 quit.
#pragma once

struct cmnstate;
struct datafile;

// open, close (cmd_open.cpp)
int omopen(const char* name, cmnstate* pcm);
int omclos(const char* com, cmnstate* pcm);
// The default dimension commands for file pfi (after the first open, and
// after a reset with files open; opening is 1 for the open command).
void omdfdim(cmnstate* pcm, datafile* pfi, int opening);
// sdfopen (xdf false) and xdfopen (xdf true): args is the text after the
// command word.  The opener builds the record; it joins the file list here
// and, as the first file, gets the self-describing default dimensions.
int omsdfo(const char* args, cmnstate* pcm, bool xdf);
// Closes every open file and empties the file list (reinit).
void omclal(cmnstate* pcm);

// set (cmd_set.cpp)
int omset(const char* com, const char* typed, cmnstate* pcm);

// display, collect (cmd_display.cpp)
int omdspl(const char* com, cmnstate* pcm);
int omcoll(const char* com, cmnstate* pcm);

// define, undefine, modify (cmd_define.cpp)
int omdef(const char* com, cmnstate* pcm, int implicit);
int omudef(const char* com, cmnstate* pcm);
int ommodf(const char* com, cmnstate* pcm);
// Releases every defined variable and empties the list (reinit).
void omdfal(cmnstate* pcm);

// query (cmd_query.cpp)
int omqury(const char* com, const char* typed, cmnstate* pcm);

// draw, redraw (cmd_draw.cpp); both take the typed line.
int omdraw(const char* typed, cmnstate* pcm);
int omrdrw(const char* typed, cmnstate* pcm);

// print, printim, enable, disable (cmd_print.cpp)
int omprint(const char* com, cmnstate* pcm);
int omprim(const char* com, const char* typed, cmnstate* pcm);
int omenab(const char* typed, cmnstate* pcm);
int omdisab(const char* typed, cmnstate* pcm);

// save (cmd_save.cpp): expressions written to a netCDF file.
int omsave(const char* com, const char* typed, cmnstate* pcm);

// Handlers of the dispatcher itself (omcmdx.cpp / omexec.cpp / omcfg.cpp).
int omexec(const char* typed, cmnstate* pcm);
int omhelp(const char* com, cmnstate* pcm);
// The configuration line; level nonzero prints the long form (q config).
void omcfg(int level);
