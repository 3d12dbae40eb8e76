// Internal records of the script language: loaded files, statements,
// variables, compiled expressions and the state of one script run.
#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// Statement kinds; the numbers are the ones error reports refer to.
enum gstype {
  GS_CMD = 1,
  GS_ASSN = 2,
  GS_WHILE = 3,
  GS_ENDWHILE = 4,
  GS_CONTINUE = 5,
  GS_BREAK = 6,
  GS_IF = 7,
  GS_ELSE = 8,
  GS_ENDIF = 9,
  GS_RETURN = 10,
  GS_FUNCTION = 11,
  GS_SAY = 12,
  GS_PULL = 13,
  GS_EXIT = 14,
  GS_PROMPT = 15
};

// Statuses passed up by running statements.
enum {
  GS_OK = 0,
  GS_CONT = 1,
  GS_BRK = 2,
  GS_RET = 3,
  GS_EXITST = 4,
  GS_ERR = 99,
  GS_QUIT = 999
};

// Longest variable or function name.
constexpr size_t GSNAMEMAX = 16;
// Deepest nesting of script function calls.
constexpr int GSMAXDEPTH = 1000;
// Longest string a script may build, read or load: a string doubled in a
// loop would otherwise take the machine's memory before anything refused it.
constexpr size_t GSSTRMAX = size_t(256) << 20;
// Throws std::bad_alloc, which fails the script alone with its memory
// message, when a string of n bytes would pass GSSTRMAX or the program's
// memory budget.
void gsstrchk(size_t n);

struct gsexprc;  // compiled expression (gsexpr.cpp)
struct gsexprdel {
  void operator()(gsexprc* e) const;
};
using gsexprp = std::unique_ptr<gsexprc, gsexprdel>;

struct gsfrec;

struct gsstmnt {
  gsstmnt* next = nullptr;     // next statement of the same file
  gsstmnt* partner = nullptr;  // block partner
  gsfrec* file = nullptr;
  std::string text;            // the whole statement
  std::string opnd;            // operand (valid when hasopnd)
  bool hasopnd = false;
  int line = 0;
  int type = GS_CMD;
  gsexprp cexpr;               // operand compiled on first use
  std::string lhs;             // resolved-later target name of assignment/pull
  bool lhsdone = false;
};

struct gsfrec {
  std::string path;
  gsstmnt* first = nullptr;
};

// Variables of one scope by name.  A name is set once (a later set changes
// its value), so lookups never depend on the order of setting.
using gsvars = std::unordered_map<std::string, std::string>;

struct gsiofile {
  std::FILE* fp = nullptr;
  std::string name;
  int mode = 0;  // 1 read, 2 write
};

// The "Error occurred on line" frames of an error on its way up the calls.
// A runaway recursion fails in every one of its calls: the first and the
// last few frames are printed, the ones in between only counted.  Any
// other error prints every frame.
struct gstrace {
  static constexpr int KEEP = 5;  // frames printed at each end
  bool runaway = false;           // the error is the nesting limit's
  int shown = 0;                  // frames printed at once
  int omitted = 0;                // frames counted, not printed
  std::string note;               // a line that goes with the next frame
  std::vector<std::string> last;  // the latest frames held back (a ring of KEEP)
  size_t next = 0;                // where the ring writes next
};

struct gsstate {
  std::vector<std::unique_ptr<gsfrec>> files;
  std::vector<std::unique_ptr<gsstmnt>> stmts;
  std::unordered_map<std::string, gsstmnt*> funcs;  // first definition wins
  std::unordered_set<std::string> libs;             // library paths loaded
  std::vector<gsiofile> iofiles;
  gsvars* locals = nullptr;
  gsvars globals;
  std::vector<std::string> args;  // arguments of the call in progress
  std::string sname;              // script name as given
  std::string sdir;               // directory the script was found in
  std::string fpath;              // function path (gsfpath)
  bool hasfpath = false;
  std::string libpath;            // path of the library file last looked up
  std::optional<std::string> retv;
  int fallow = 0;
  int depth = 0;
  int unwind = 0;  // exit, quit or interrupt raised inside a function call
  std::vector<std::string> vstk;  // operand slots of expressions being evaluated
  size_t vtop = 0;
  gstrace trace;
  ~gsstate();
};

// Lookup of files (gslook.cpp).
std::vector<std::string> gsdirs(const std::string& list);
std::FILE* gsonam(const std::string& name, std::string& path, std::string& dir);
std::FILE* gsogsf(const gsstate& s, const std::string& fname, std::string& path);

// Loading (gsload.cpp): 0 loaded, 9 not found, 1 other error.
int gsgsfrd(gsstate& s, int library, const std::string& name);
// Cuts text into statements of file f; used by gsgsfrd and the tests.
int gsparse(gsstate& s, gsfrec* f, const std::string& text);

// Error frames (gstrace.cpp): a frame for the statement at line of file
// path ("  Error occurred on line" or, plain, without the indent); a line
// printed with the next frame; the frames held back, printed when the
// error has reached the top.
void gsframe(gsstate& s, int line, const std::string& path, bool plain = false);
void gsframenote(gsstate& s, const std::string& text);
void gstraceend(gsstate& s);

// Expressions (gsexpr.cpp).  Returns false after printing the error.
bool gsexpr(const std::string& text, gsstate& s, std::string& out);
bool gsexprs(gsstmnt* st, gsstate& s, std::string& out);
// Numeric test: 0 not numeric, 1 integer, 2 real.
int gsnum(const std::string& str, int* ival, double* dval);
std::string gsfmtd(double v);
bool gsgetvar(gsstate& s, const std::string& name, std::string& out);
bool gssetvar(gsstate& s, const std::string& name, const std::string& val);
bool gsrvar(gsstate& s, const std::string& name, std::string& out);

// Calls a built-in or script function with evaluated arguments (gsfunc.cpp).
bool gsfunc(gsstate& s, const std::string& name, std::vector<std::string>& args,
            std::string& out);
std::string gspad16(const std::string& name);

// Running (gsrun.cpp).
int gsrunf(gsstmnt* first, gsstate& s);

// Built-ins (gsbltn.cpp, gsmath.cpp).  A built-in reads s.args, sets
// s.retv and returns 0, or 1 after an error.  *found is false when the
// name is no built-in.
int gsbltn(const std::string& name, gsstate& s, bool* found);
int gsfmath(gsstate& s, int code, const char* fname);

// printf to standard output; used for the messages of the script language.
void gsout(const std::string& text);
