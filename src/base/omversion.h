// Product identification shared by the banner, the option summary and the
// configuration report.
#pragma once

#define OMBRA_NAME "Ombra"
#define OMBRA_VERSION "1.0.0"
#define OMBRA_BUILD "LATS=GRIB_NCSA_HDF__SDF_READ=NCSA_netCDF_HDF=GXPNG"

// The identification lines of the start-up banner (without the blank lines
// around them), one text with a newline after each line.
const char* ombanner();
