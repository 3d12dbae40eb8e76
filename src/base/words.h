// Words and values: the small text library every reader uses.  Words are
// runs of characters ended by a blank, tab, newline or the end of the text;
// a line ends at a newline or the end of the text.  Nothing here allocates
// except the std::string helpers at the end.
#pragma once

#include <cstddef>
#include <string>

// 1 when the first words of the two texts are equal (leading blanks/tabs
// skipped, case counts), else 0.
int cmpwrd(const char* w1, const char* w2);

// Start of the next word on the line after the word at (or blanks at) p;
// null when no further word stands on the line.
const char* nxtwrd(const char* p);
inline char* nxtwrd(char* p) { return const_cast<char*>(nxtwrd(static_cast<const char*>(p))); }

// Copies one word (stops at blank, newline or end; not at a tab) of at most
// n characters; dest must hold n+1.
void getwrd(char* dest, const char* src, int n);
// Copies the rest of the line (at most n characters) and strips trailing
// blanks; dest must hold n+1.
void getstr(char* dest, const char* src, int n);

// Unbounded forms of getwrd/getstr.
std::string wrdstr(const char* src);
std::string linestr(const char* src);

// ASCII classes and case, the same whatever the locale: the <cctype>
// functions follow the character type the line editor takes from the
// environment, where (in a Turkish one) I does not fold to i.
inline bool ascdigit(char c) { return c >= '0' && c <= '9'; }
inline bool ascalpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
inline bool ascalnum(char c) { return ascalpha(c) || ascdigit(c); }
inline bool ascspace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline char asclower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }
inline char ascupper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - ('a' - 'A')) : c; }
// A copy with A-Z made a-z.
std::string lowstr(std::string s);
// True when the texts are equal but for the case of A-Z.
bool caseeq(const std::string& a, const std::string& b);

// In place: A-Z to a-z outside double quotes / a-z to A-Z everywhere, up
// to a newline or the end.
void lowcas(char* line);
void uppcas(char* line);

// Removes blanks outside double quotes and the quote characters themselves;
// the line ends at its first newline.  Returns the new length.
int omremb(char* line);

// 0 when the first n characters are equal, else 1.
int cmpch(const char* t1, const char* t2, int n);

// Optional sign then decimal digits, nothing skipped.  Returns the position
// after the digits, or null (value 0) when there is no digit or the value
// does not fit in 32 bits.
const char* intprs(const char* p, int* val);
inline char* intprs(char* p, int* val) {
  return const_cast<char*>(intprs(static_cast<const char*>(p), val));
}
const char* longprs(const char* p, long* val);
inline char* longprs(char* p, long* val) {
  return const_cast<char*>(longprs(static_cast<const char*>(p), val));
}

// Single-precision number with optional fraction and lower-case exponent.
// Returns the position after the number or null.
const char* valprs(const char* p, float* val);
inline char* valprs(char* p, float* val) {
  return const_cast<char*>(valprs(static_cast<const char*>(p), val));
}

// Fixed-point text of value with ndec decimals (ndec clamped to 0..20);
// returns the length.
int omedit(double value, std::string& dest, int ndec);

// Decimals (0..4) needed to show the value.
int gxdeci(float value);
