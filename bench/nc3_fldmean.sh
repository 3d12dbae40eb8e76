#!/usr/bin/env bash
# Area mean at every time over netCDF-3 (not part of CI): sdfopen then
# d tloop(aave(v,global)) over the steps of a 1440x721 float variable in
# the 64-bit offset format, written with gxout fwrite, against cdo fldmean
# of the same file, in paired runs pinned to one core (bench/paired.sh).
# Prints the times, the largest difference from cdo's means and last the
# ratio (target at most 0.8 at 1000 steps).
# Usage: bench/nc3_fldmean.sh [build-dir] [steps]
#   (default: a Release build in build-nc4-bench, 1000 steps: a 4 GB file)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build-nc4-bench}"
nt="${2:-1000}"
# shellcheck source=bench/paired.sh
. "$root/bench/paired.sh"
nc4_setup "$build"
./mkfile s.nc 1440 721 "$nt" nc3 field
fldmean_pair netCDF-3 "$nt"
