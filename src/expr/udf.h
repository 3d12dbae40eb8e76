// User-defined functions: external programs named in function tables.
#pragma once

#include <string>

struct fargs;
struct evalstat;

constexpr int UDFMAXARG = 8;

// Argument kinds.
enum { UDFEXPR = 1, UDFVALUE = 2, UDFCHAR = 3 };

struct udfdef {
  udfdef* next;
  char name[9];              // lower case, at most 8 characters
  int minarg, maxarg;        // maxarg at most UDFMAXARG
  int atype[UDFMAXARG];      // kind of each argument position
  int sflag;                 // transfer mode: 0 direct, 1 sequential
  std::string cmd;           // command line, as written
  std::string fname1;        // argument transfer file
  std::string fname2;        // result transfer file
};

// Head of the list of user-defined functions, in table order.
extern udfdef* udfhead;

// Reads the user-defined function tables (OMUDFT, then "udft" in the data
// directory).  Called once at start-up, before any command.
void omfdef();

// Prints one line per user-defined function (query udft).
void omqufb();

// The user-defined function of that name, or null.
udfdef* omudfind(const char* name);

// Runs a user-defined function; handler contract (0, 1, -1).
int ffuser(udfdef* pfc, fargs* pfa, evalstat* pst);

// Reads one function table file into the list; used by omfdef.  Returns 0
// when the reading may go on with the next table, 1 when it must stop.
int omfdtab(const char* fname);
