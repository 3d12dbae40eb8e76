// Byte order, big-endian integers, bit fields and the IBM and IEEE float
// formats that data files and GRIB records use.  Every routine is defined
// by the bytes it reads or writes, so it behaves the same on any host.
// Byte and bit offsets are 64-bit; nothing allocates.
#pragma once

#include <cstddef>
#include <cstdint>

// Entry k keeps the low 8-k bits of a byte.
extern const unsigned char masks[8];

// 1 when the host stores the least significant byte first.
int omhostle();

// Reverses the 4 bytes of each of n consecutive words in place; returns buf.
void* ombswp(void* buf, size_t n);
// Reverses the order of the first len bytes as one run.
void omnbswp(void* buf, size_t len);
// Byte-reverses the five 4-byte words that follow the 8-character station
// id of a station report header (latitude, longitude, time offset, level
// count, surface flag).
void omhswp(void* hdr);

// Big-endian unsigned integer of cnt bytes (1, 2, 3; anything else 4) at
// byte offset off.
unsigned int omgby(const unsigned char* buf, long off, int cnt);
// Writes the low cnt bytes (1, 2, 3; anything else 4) of val big-endian.
void ompby(unsigned int val, unsigned char* buf, long off, int cnt);

// Unsigned bit field of n bits at bit offset off (bits numbered from the
// most significant bit of byte 0).  n of 0 gives 0; fields wider than 32
// bits give their low 32 bits.
unsigned int omgbb(const unsigned char* buf, long off, int n);
// Writes the low n bits of val as a bit field at bit offset off.  The bits
// ahead of the field in its first byte are kept when the field starts
// inside a byte; the bits after the field in its last byte are cleared.
void ompbb(unsigned int val, unsigned char* buf, long off, int n);

// IBM hexadecimal single-precision float to native, and back.  flt2ibm
// gives 0, or -1 on overflow (also for NaN and infinity).
float ibm2flt(const unsigned char* b);
int flt2ibm(float x, unsigned char* b);

// 32-bit IEEE big-endian float to native, and back (always 0).
float ieee2flt(const unsigned char* b);
int flt2ieee(float x, unsigned char* b);

// Signed big-endian 32-bit integer.
int be_int2int(const unsigned char* b);
