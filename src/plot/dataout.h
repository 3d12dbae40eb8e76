// The non-graphic outputs of a display (value listing, statistics, binary
// grid file, station-report file), the nice-interval chooser they share with
// the contour code, and the check that a user-supplied number format is
// safe to hand to the C formatting routines.
#pragma once

#include <cstdio>
#include <string>

struct cmnstate;

// gxout fwrite: appends the first result grid to the fwrite file; 1 when
// the file could not be opened or written (the message is printed).
int omfwrt(cmnstate* pcm);
// gxout print: lists the values of the first result.
void omdprnt(cmnstate* pcm);
// gxout stat (or set stat on): statistics of the first result.
void omstts(cmnstate* pcm);
// gxout writegds: appends the station reports of the results to the
// writegds file; 1 when nothing could be written (the message is printed).
int omoutgds(cmnstate* pcm);
// One big-endian IEEE float / double; 0 written, 1 write failed.
int omwgdsval(FILE* out, float* value);
int omwgdstime(FILE* out, double* time);

// A round interval for the range rmin..rmax (cint 0 in: choose one) and its
// first and last multiples inside the range; all three 0 when none fits.
void omcsel(float rmin, float rmax, float* cint, float* cmin, float* cmax);

// Whether fmt is safe as a printf format for one double: literal text,
// "%%" and at most one floating conversion (flags, width and precision of
// at most three digits each, e f g a in either case).  Plain text is a
// format too: it is printed as it stands.
bool omfmtok(const char* fmt);
// fmt (checked with omfmtok) applied to v; "%g " of v when fmt is unsafe.
std::string omfmtval(const char* fmt, double v);

// A format that omfmtok accepts, taken apart once for many values: the
// bytes printf would make of each value, made by std::to_chars where that
// gives the same (every conversion but %a and the # flag, finite values),
// which is several times quicker than printf's own formatting.
struct omnumfmt {
  std::string fmt;        // as given, for printf where to_chars is not used
  std::string pre, post;  // the text around the conversion, "%%" made "%"
  bool left = false, plus = false, space = false, zero = false, alt = false;
  int width = 0, prec = -1;  // -1: none given
  char type = 0;             // e E f F g G a A; 0 for a format of text alone
  bool direct = false;       // made by to_chars
  // Takes fmt apart; false (and unchanged) when omfmtok refuses it.
  bool set(const char* f);
  // The room put needs for any value.
  size_t room() const;
  // Writes v as formatted into out, without a terminating NUL; the bytes
  // written, 0 when room is less than room().
  size_t put(double v, char* out, size_t room) const;
};
