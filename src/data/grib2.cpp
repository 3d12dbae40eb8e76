// GRIB edition 2 messages: section parsing, unpacking and grids.
#include "data/grib2.h"

namespace {
int notyet(std::string* why) {
  if (why) *why = "GRIB2 is not read yet";
  return 1;
}
}  // namespace

g2codecfn g2codec = g2codec_local;

int g2scanmsg(const unsigned char*, size_t, std::vector<g2field>*, std::string* why) { return notyet(why); }

int64_t g2points(const g2field&) { return 0; }

int g2decode(const unsigned char*, size_t, const g2field&, float*, size_t, float, std::string* why) {
  return notyet(why);
}

int g2gridaxes(const g2field&, g2axes*, std::string* why) { return notyet(why); }

int g2pdef(const g2field&, datafile*, std::string* why) { return notyet(why); }

std::vector<double> g2gausslats(int) { return {}; }

int g2codec_local(int, const unsigned char*, size_t, const g2repr&, uint32_t*, size_t, std::string* why) {
  return notyet(why);
}
