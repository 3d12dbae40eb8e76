#!/usr/bin/env bash
# Classic netCDF open and close (not part of CI): bench/nc4_openclose.sh on
# a one-step 144x73 file in the 64-bit offset format; the same arguments.
OPENCLOSE_KIND=nc3 exec "$(dirname "$0")/nc4_openclose.sh" "$@"
