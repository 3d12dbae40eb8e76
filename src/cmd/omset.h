// The frame of the set command, shared by the files that handle its
// keywords.  omset (cmd_set.cpp) finds the keyword in one ordered table and
// hands the call to the handler of the keyword's group:
//
//   omsetdat  dimension environment, default file, loops, warnings, stid
//             (cmd_set.cpp)
//   omsetdefv defval (set_defval.cpp)
//   omsetgx   output type, contour, shading, vector, grid-value and print
//             options (set_gxout.cpp)
//   omsetax   axes, labels and maps (set_axis.cpp)
//   omsetout  fwrite, writegds, imprun, timelab, stnprint, ombra, lats
//             (set_output.cpp)
//   omsetdrw  drawing attributes, page and widgets (set_draw.cpp)
//
// Each group's file belongs to the engineer of that group; a group handler
// receives every keyword of its group and tells them apart by kw->word.
#pragma once

struct cmnstate;

// One set command being handled.
struct setcall {
  const char* com;    // the command line, lower case, beginning at "set"
  const char* typed;  // the same line as typed, aligned with com
  const char* word;   // the keyword, inside com
  const char* name;   // the keyword's name for messages ("X", "LON", "CINT", ...)
  cmnstate* pcm;
};

// The text as typed at the position of p (a pointer into c.com).
const char* setmixed(const setcall& c, const char* p);

// "SET error:  Missing or invalid arguments for <name> option\n"; returns 1.
int setmiss(const setcall& c);

// "SET Error:  No files open yet\n"; returns 1.
int setnofile();

// Reads "on" (1) or "off" (0) at p into *val; false when neither.
bool setonoff(const char* p, int* val);

// The group handlers; each returns 0 on success, 1 on error.
int omsetdat(const setcall& c);
int omsetdefv(const setcall& c);
int omsetgx(const setcall& c);
int omsetax(const setcall& c);
int omsetout(const setcall& c);
int omsetdrw(const setcall& c);
