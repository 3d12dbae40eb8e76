// Calendar times to the minute and their arithmetic: adding and subtracting
// increments, differences in minutes, conversion between a time and a
// fractional grid index on a time axis, parsing absolute times
// ("12z01jan1990") and offsets ("6hr"), formatting and the day of the week.
//
// The calendar is Gregorian unless the program-wide calendar word
// (mfcmn.mfcal) is 1, which selects a 365-day calendar without leap years.
// Nothing here allocates but the registering of an axis's table of dates.
#pragma once

#include <string>
#include <vector>

#include "base/omtypes.h"  // datetime


// Month tables; index 1-12 is the month, index 0 holds 0.
extern const int mosiz[13];   // days in the month (February 28)
extern const int momn[13];    // minutes in the month
extern const int mnacum[13];  // minutes before the month, normal year
extern const int mnacul[13];  // minutes before the month, leap year
// Month names, January first.
extern const char* const mons[12];  // "jan" ...
extern const char* const monc[12];  // "JAN" ...

// A time axis array holds eight floats: start yr, mo, dy, hr, mn, the
// increment in months, the increment in minutes, and the end mark -999.9.
// The axis steps in minutes when the minute increment exceeds 0.1.  An
// axis whose steps have dates of their own (a series of files, each
// holding one time, that a step of months does not reach exactly: files of
// mid-month times) holds the number of its table of dates in place of the
// end mark; its start is the first date, and copies of the eight floats
// keep the table.
enum { TAXIS_FLOATS = 8 };

// 1 when the year is a leap year in the calendar in force, else 0.
int qleap(int yr);

// Days and minutes of a month of a year (29 / 41760 for a leap February).
int modays(int yr, int mo);
long momins(int yr, int mo);

// dto := dtim + dto (the increment record receives the sum).
void timadd(const datetime* dtim, datetime* dto);
// dto := dtim - dto (the increment record receives the difference).
void timsub(const datetime* dtim, datetime* dto);
// Minutes from dtim1 to dtim2 (negative when dtim2 is earlier).
long timdif(const datetime* dtim1, const datetime* dtim2);

// The start time of a time axis array (its first five floats, each plus
// 0.1 and truncated; a value beyond the int range is taken as the nearest
// int, since a float year such as 2147483647 cannot be converted as it is).
datetime axstart(const float* vals);
// Time to grid index (1 = first time) on a time axis array.
double t2gr(const float* vals, const datetime* dtim);
// Grid index to time on a time axis array.
void gr2t(const float* vals, double gr, datetime* dtim);
// Gives the axis the dates of its steps, the first its start, each later
// than the one before (kept for the rest of the run).  0 when they are not
// in order.
int taxdates(float* vals, const std::vector<datetime>& dates);
// The eight floats of the axis without its dates: the times of its linear
// steps, which name the files of a template series.
void taxlinear(const float* vals, float out[TAXIS_FLOATS]);
// Whether all n times of an axis from start by an increment of months or
// minutes can be held: a last time beyond the years a time holds would be
// clamped, and times of the axis would convert to wrong grid indexes.
bool taxfits(const datetime* start, long months, long minutes, int n);

// Absolute time "[hh[:mm]z][dd][mmm[yyyy]]" (lower case).  Missing parts
// come from def.  Returns the position after the text, or null after
// printing the error.  Sets the program-wide full-year flag when a year is
// given.
const char* adtprs(const char* ch, const datetime* def, datetime* dtim);
inline char* adtprs(char* ch, const datetime* def, datetime* dtim) {
  return const_cast<char*>(adtprs(static_cast<const char*>(ch), def, dtim));
}

// Relative time: items of digits plus "yr", "mo", "dy", "hr" or "mn".
// Returns the position after the last unit, or null after the error.
const char* rdtprs(const char* ch, datetime* dtim);
inline char* rdtprs(char* ch, datetime* dtim) {
  return const_cast<char*>(rdtprs(static_cast<const char*>(ch), dtim));
}

// Time as text at precision 1 (year) to 5 (hh:mmZddMMMyyyy); other
// precisions give "???".  ch must hold OMT2CH_SIZE characters; the text is
// cut to fit.  Returns the length of the text.
enum { OMT2CH_SIZE = 48 };
int omt2ch(const datetime* dtim, int prec, char* ch);
std::string omt2str(const datetime* dtim, int prec);

// Day of the week, 0 Sunday .. 6 Saturday, for any year.
int dayweek(const datetime* dtim);
