// The configuration report: the "Config:" line at start-up and the long
// form of query config.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/omprnt.h"
#include "base/omversion.h"
#include "cmd/omcmds.h"

namespace {

bool bigendian() {
  const std::uint32_t one = 1;
  unsigned char b;
  std::memcpy(&b, &one, 1);
  return b == 0;
}

int wordbits() { return static_cast<int>(sizeof(void*) * 8); }

}  // namespace

void omcfg(int level) {
  std::string line = "Config: v" OMBRA_VERSION;
  line += " " + std::to_string(wordbits()) + "-bit";
  line += bigendian() ? " big-endian" : " little-endian";
  line += " readline sdf/xdf hdf-sds lats printim\n\n";
  omprnt(level, line);
  if (level == 0) {
    std::printf("Issue 'q config' command for more information.\n\n");
    return;
  }
  omprnt(level, ombanner());
  omprnt(level, "Built on " __DATE__ " " __TIME__ " from the Ombra sources.\n");
  omprnt(level, "\n\nThis version of Ombra has been configured with the following options:\n\n");
  omprntf(level, "   o This is a %d-bit %s machine version.\n", wordbits(),
          bigendian() ? "BIG ENDIAN" : "LITTLE ENDIAN");
  omprnt(level, "   o Command line editing (readline) ENABLED.\n");
  omprnt(level, "   o The self-describing file interface (sdfopen, xdfopen) is ENABLED for\n");
  omprnt(level, "     both NetCDF and HDF-SDS files.\n");
  omprnt(level, "   o The DODS remote data interface is DISABLED.\n");
  omprnt(level, "   o The LATS output interface is ENABLED for\n");
  omprnt(level, "     GRIB and HDF-SDS files.\n");
  omprnt(level, "   o The widget GUI is DISABLED.\n");
  omprnt(level, "   o The external image output package is DISABLED.\n");
  omprnt(level, "  o printim command for direct png/gif output ENABLED.\n");
  omprnt(level, "     (images are written with the GD graphics library)\n");
  omprnt(level, "\nFor documentation see docs/README.md of the Ombra sources.\n");
}
