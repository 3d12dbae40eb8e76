#!/usr/bin/env bash
# Area mean at every time over netCDF-4 (not part of CI): sdfopen then
# d tloop(aave(v,global)) over 2000 steps of a 360x181 float variable
# stored one chunk per time step, written with gxout fwrite, against cdo
# fldmean of the same file, in paired runs pinned to one core
# (bench/paired.sh).  Prints the times, the largest difference from cdo's
# means and last the ratio (target at most 0.8).
# Usage: bench/nc4_fldmean.sh [build-dir]   (default: a Release build in build-nc4-bench)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build-nc4-bench}"
# shellcheck source=bench/paired.sh
. "$root/bench/paired.sh"
nc4_setup "$build"
./mkfile s.nc 360 181 2000 nc4
fldmean_pair netCDF-4 2000
