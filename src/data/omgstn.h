// The station reader: fills station lists from station data files through
// their station map.
#pragma once

struct stnlist;
struct stnrpt;

// A station report header as read from the file (host order).
struct stnhdr {
  char id[8];    // station id, not terminated
  float lat;
  float lon;
  float toff;    // time offset in units of the time axis
  int nlev;      // level count; 0 ends the reports of a time
  int flag;      // non-zero when surface values are present
};

// Fills the list for the request it holds (file, variable, bounds, times,
// radius or station id).  0, or 1 after the messages (every report block
// released).
int omgstn(stnlist* stn);

// The next report record of the list, linked at the tail of its chain with
// a null next link; the caller fills it and counts it.  Null when the list
// is full or memory is exhausted (message on standard output).
stnrpt* omarpt(stnlist* stn);

// Appends the station reports of one report (values in the file's read
// buffer) for grid time t.  0, or 1 when no report record could be had.
int omglvs(int t, const stnhdr* hdr, stnlist* stn);

// Sets the list's minimum and maximum from its defined report values.
void omsmnmx(stnlist* stn);

// The first word of an id (at most 8 characters, optionally lower-cased)
// into dest (room for 9).
void getwrd8(char* dest, const char* id, bool lower);

// Forgets the cached request (files closed or reopened).
void omstncache_reset();
