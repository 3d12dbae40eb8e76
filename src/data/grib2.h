// GRIB edition 2 messages: the fields a message holds, their values and
// their grids.
//
// A message is the indicator section, an identification section, then one
// or more fields (local use, grid, product, data representation, bit map
// and data sections, the first two of which may be left out to repeat the
// previous field's), then "7777".  g2scanmsg reads only the headers of a
// message and describes each field in a g2field, a plain record with
// offsets into the message; g2decode unpacks one field's values into the
// whole grid.  Everything the message claims (lengths, counts, offsets,
// widths) is checked against the message itself before it is used, so a
// damaged message is refused with a reason, never read past its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct datafile;

// A value in the message that is "missing" (all bits set) is given as this.
constexpr int kG2Missing = -1;

// The grid of a field (grid definition section).
struct g2grid {
  int tmpl = -1;          // grid definition template number (0 lat-lon,
                          // 1 rotated lat-lon, 10 Mercator, 20 polar
                          // stereographic, 30 Lambert, 40 Gaussian, ...)
  int64_t npts = 0;       // number of data points the section declares
  int ni = 0, nj = 0;     // points along a parallel, along a meridian
                          // (ni of a reduced grid: its widest row's, the
                          // full grid's; see nrow)
  int scan = 0;           // scanning mode flags (bit 0x80 -i, 0x40 +j,
                          // 0x20 j consecutive, 0x10 rows alternate)
  // The earth: shape code and the radius in metres its code gives, or the
  // major and minor axes of an oblate spheroid (0 where none).
  int shape = 0;
  double radius = 6371229.0, major = 0.0, minor = 0.0;
  // In degrees, longitudes as in the message (0 to 360).
  double lat1 = 0.0, lon1 = 0.0;  // first grid point
  double lat2 = 0.0, lon2 = 0.0;  // last grid point (lat-lon, Gaussian, Mercator)
  double di = 0.0, dj = 0.0;      // increments in degrees (lat-lon,
                                  // Gaussian di); metres for projections
  int ngauss = 0;                 // parallels between a pole and the equator
  double lad = 0.0;               // latitude where di, dj hold (Mercator,
                                  // polar stereographic, Lambert)
  double lov = 0.0;               // orientation longitude (polar
                                  // stereographic, Lambert)
  double latin1 = 0.0, latin2 = 0.0;  // secant latitudes (Lambert)
  int projcentre = 0;             // projection centre flag (bit 0x80 south pole)
  double splat = 0.0, splon = 0.0;  // southern pole of a rotated grid
  double rotang = 0.0;            // rotation angle about the new polar axis
  int resflags = 0;               // resolution and component flags (0x08:
                                  // winds relative to the grid)
  // A reduced grid: the number of points on each of its nrow (= nj) rows
  // is listed from byte nlistoff of the message, nlistbytes bytes each
  // (nrow 0: a regular grid).
  int nrow = 0;
  size_t nlistoff = 0;
  int nlistbytes = 0;
};

// What the product definition section says of the field.
struct g2prod {
  int tmpl = -1;            // product definition template number
  int cat = -1, num = -1;   // parameter category and number
  int gentype = -1;         // type of generating process
  int genproc = -1;         // generating process identifier
  int ftunit = -1;          // unit of the forecast time (code table 4.4)
  int64_t ftime = 0;        // forecast time in that unit
  // The fixed surfaces: type (255 none), and the value, which is the
  // scaled value x 10^-scale; valid only where its flag says so.
  int sfc1type = 255, sfc2type = 255;
  double sfc1 = 0.0, sfc2 = 0.0;
  bool sfc1ok = false, sfc2ok = false;
  // Ensemble: type of member and its number, members in the ensemble
  // (-1 where the template has none).
  int enstype = -1, member = -1, nmembers = -1;
  // Derived forecast of an ensemble (code table 4.7), -1 none.
  int derived = -1;
  // Statistical processing over one or more periods, where the template
  // has it (nstat > 0): the end of the whole period, then the first
  // range's process (code table 4.10), its unit and length.
  int nstat = 0;
  int statend[6] = {0, 0, 0, 0, 0, 0};  // year, month, day, hour, minute, second
  int stattype = -1;
  int statunit = -1;
  int64_t statlen = 0;
  // Probability (where the template has one): type, lower and upper limit.
  int probtype = -1;
  double problo = 0.0, probhi = 0.0;
  // Percentile value (where the template has one), -1 none.
  int percentile = -1;
};

// How the values are packed (data representation section).
struct g2repr {
  int tmpl = -1;            // 0 simple, 2 complex, 3 complex with spatial
                            // differencing, 4 IEEE, 40 JPEG 2000, 41 PNG,
                            // 42 CCSDS
  int64_t nvalues = 0;      // values packed (points with a value)
  float ref = 0.0f;         // reference value R
  int bscale = 0;           // binary scale factor E
  int dscale = 0;           // decimal scale factor D
  int nbits = 0;            // bits per packed value
  int origtype = 0;         // type of the original values (0 float, 1 integer)
  // Complex packing.
  int splitting = 0;        // group splitting method
  int missmgmt = 0;         // missing value management (0 none, 1 primary,
                            // 2 primary and secondary)
  uint32_t primiss = 0, secmiss = 0;  // substitutes for missing values
  int64_t ngroups = 0;
  int gwidthref = 0;        // reference for group widths
  int gwidthbits = 0;       // bits of the group widths
  uint32_t glenref = 0;     // reference for group lengths
  int glenincr = 0;         // length increment
  uint32_t glenlast = 0;    // true length of the last group
  int glenbits = 0;         // bits of the scaled group lengths
  int sdorder = 0;          // spatial differencing order (1 or 2; 0 none)
  int sdbytes = 0;          // bytes of each extra descriptor
  // CCSDS.
  int ccflags = 0, ccblock = 0, ccrsi = 0;
  // IEEE: 1 single, 2 double precision.
  int precision = 0;
};

// One field of a message.
struct g2field {
  int64_t msgoff = 0;       // where the message starts in its file (the
                            // caller's business: g2scanmsg leaves it 0)
  int64_t msglen = 0;       // bytes of the whole message
  int fieldno = 0;          // 1 for the first field of a message
  int discipline = -1;      // of the indicator section
  int centre = -1, subcentre = -1;
  int mastertab = -1, localtab = -1;  // table versions
  int refsig = -1;          // significance of the reference time
  int reftime[6] = {0, 0, 0, 0, 0, 0};  // year, month, day, hour, minute, second
  int prodstatus = -1, datatype = -1;
  g2grid grid;
  g2prod prod;
  g2repr repr;
  // The bit map: indicator (0 present here, 254 the last one before this
  // in the message, 255 none, others predefined) and where its bits are
  // (the one this field uses, also for 254).
  int bitmap = 255;
  size_t bmoff = 0;         // first byte of the bits, 0 none
  // Sections 5, 6 and 7 of this field: offset of each from the start of
  // the message and their lengths.
  size_t sec5 = 0, sec6 = 0, sec7 = 0;
  size_t len5 = 0, len6 = 0, len7 = 0;
};

// Describes the fields of the message msg of len bytes (starting with
// "GRIB", edition 2) into out (appended).  Headers only: of each data
// section only its first 5 bytes are read (sections 0 to 6 and the end
// mark are read whole), so a caller may leave the packed values out of
// msg.  0, or 1 with why set when the message is damaged or holds
// what this reader does not know (fields described before the fault are
// kept in out).
int g2scanmsg(const unsigned char* msg, size_t len, std::vector<g2field>* out, std::string* why);

// Points of the grid g2decode fills: the full grid (a reduced grid
// expanded), ni x nj.  0 for a grid it cannot describe.
int64_t g2points(const g2field& f);

// Unpacks field f of message msg (len bytes, as scanned) into out, which
// holds nout >= g2points(f) floats: the whole grid in the program's order,
// west to east along each row (i increasing), rows south to north
// (j increasing), whatever the scanning mode; a reduced grid expanded to
// the full one by linear interpolation along each row.  Points without a
// value (bit map, missing values of complex packing) are undef.  0, or 1
// with why set.
int g2decode(const unsigned char* msg, size_t len, const g2field& f, float* out, size_t nout,
             float undef, std::string* why);

// The grid of a field as a data set shows it.  A longitude-latitude or
// Gaussian grid is shown as it is: x from lon0 by dlon, y south to north
// (linear from lat0 by dlat, or the listed latitudes of a Gaussian grid).
// A projected grid (rotated, Mercator, polar stereographic, Lambert) is
// shown on a longitude-latitude grid that covers it, nx x ny, while its
// values are those of its native grid (ni x nj, g2decode's order) taken
// through the pre-projection record that g2pdef builds; its native grid
// is the one with x 1..ni and y 1..nj.
struct g2axes {
  int nx = 0, ny = 0;
  double lon0 = 0.0, dlon = 0.0;
  bool ylinear = true;
  double lat0 = 0.0, dlat = 0.0;
  std::vector<double> lats;  // each row's latitude, south to north, when !ylinear
  bool wrap = false;         // x closes round the globe
  bool projected = false;    // shown through g2pdef
  int ni = 0, nj = 0;        // native grid size
};

// Fills ax for field f.  0, or 1 with why set.
int g2gridaxes(const g2field& f, g2axes* ax, std::string* why);

// For a projected field: fills the pre-projection fields of pfi (whose x
// and y axes must already be those of g2gridaxes) so that the data set's
// grids are interpolated from the native grid as a pdef descriptor's are.
// 0, or 1 with why set.
int g2pdef(const g2field& f, datafile* pfi, std::string* why);

// The latitude and longitude of native point (gi, gj) (1-based, the
// order of g2decode) of a projected field, and the native position of a
// latitude and longitude.  0, or 1 where the field has no projection or
// the point none.
int g2natgeo(const g2field& f, double gi, double gj, double* lat, double* lon);
int g2geonat(const g2field& f, double lat, double lon, double* gi, double* gj);

// The Gaussian latitudes of a grid of 2n parallels, south to north, in
// degrees, to double precision.
std::vector<double> g2gausslats(int n);

// The seam to the codec libraries: decodes a JPEG 2000 (kind 40), PNG (41)
// or CCSDS (42) stream of inlen bytes into nout unsigned integers, each of
// r.nbits bits, and gives where they lie: memory the seam holds until its
// next call.  By default the libraries are called in this process; a
// higher layer may point it at a call that runs them where a crash is
// contained.  nullptr with why set when the stream gives no field.
using g2codecfn = const uint32_t* (*)(int kind, const unsigned char* in, size_t inlen, const g2repr& r,
                                      size_t nout, std::string* why);
extern g2codecfn g2codec;

// The default of g2codec: g2codec_local into integers kept here, in room
// made once for the largest field yet.
const uint32_t* g2codec_here(int kind, const unsigned char* in, size_t inlen, const g2repr& r, size_t nout,
                             std::string* why);

// The libraries called in this process, the integers written to out (room
// for nout of them, all of which are written).  0, or 1 with why set.
int g2codec_local(int kind, const unsigned char* in, size_t inlen, const g2repr& r, uint32_t* out,
                  size_t nout, std::string* why);

// The name of the codec of a packing ("JPEG 2000", "PNG", "CCSDS"), and the
// packing of a name; nullptr and -1 for none.
const char* g2codecname(int kind);
int g2codeckind(const std::string& name);
