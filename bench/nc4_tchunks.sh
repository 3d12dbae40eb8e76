#!/usr/bin/env bash
# Reads of netCDF-4 chunked along the whole time axis (not part of CI), as
# archives written for time-series access are: a 1440x721x100 float
# variable shaped like 500 mb heights, deflated in chunks of 100 x 90 x 180
# (nccopy -d1 -s -c time/100,lat/90,lon/180).  Against a plain C reader that sizes the
# variable's chunk cache to hold one grid's chunks (bench/nc4_tchunks_floor.c),
# in paired runs pinned to one core (bench/paired.sh):
#   1. d ave(v,t=1,t=100) over the whole grid
#   2. the time series of one point (set x 1, set y 1, set t 1 100, d v)
# Prints the times, the largest differences, and last the ratio of the
# mean (target at most 1.3 each).
# Usage: bench/nc4_tchunks.sh [build-dir]   (default: a Release build in build-nc4-bench)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build-nc4-bench}"
# shellcheck source=bench/paired.sh
. "$root/bench/paired.sh"
nc4_setup "$build"
cc -O2 "$root/bench/nc4_tchunks_floor.c" -o floor -lnetcdf
./mkfile flat.nc 1440 721 100 nc3 field
nccopy -k nc4 -d1 -s -c time/100,lat/90,lon/180 flat.nc s.nc
rm -f flat.nc
cat s.nc >/dev/null
printf '%s\n' "sdfopen s.nc" "set x 1 1440" "set y 1 721" "set gxout fwrite" \
  "set fwrite -le -st mean.bin" "d ave(v,t=1,t=100)" "disable fwrite" "quit" > cmean
printf '%s\n' "sdfopen s.nc" "set x 1" "set y 1" "set t 1 100" "set gxout fwrite" \
  "set fwrite -le -st point.bin" "d v" "disable fwrite" "quit" > cpoint
work_mean() { "$1" -blE < cmean; }
work_point() { "$1" -blE < cpoint; }
bench_against "point series" work_point
bench_against "mean of 100 steps" work_mean
bench_alone || exit 0
run_ombra_mean() { work_mean "$ombra"; }
run_floor_mean() { ./floor s.nc v mean fmean.bin; }
run_ombra_point() { work_point "$ombra"; }
run_floor_point() { ./floor s.nc v point fpoint.bin; }
bench_pair run_ombra_point run_floor_point
op=$pair_a fp=$pair_b
bench_pair run_ombra_mean run_floor_mean
/usr/bin/python3 - "$op" "$fp" "$pair_a" "$pair_b" <<'PY'
import struct, sys
op, fp, om, fm = map(float, sys.argv[1:5])
def floats(name):
    b = open(name, "rb").read()
    return struct.unpack("<%df" % (len(b) // 4), b)
def diff(a, b):
    if len(a) != len(b):
        sys.exit("sizes differ: %d and %d" % (len(a), len(b)))
    return max(abs(x - y) for x, y in zip(a, b))
print(f"point series: ombra {op:.3f} s, floor {fp:.3f} s, "
      f"largest difference {diff(floats('point.bin'), floats('fpoint.bin')):.3g}, ratio {op / fp:.2f} (target <= 1.3)")
print(f"mean of 100 steps: ombra {om:.3f} s, floor {fm:.3f} s, "
      f"largest difference {diff(floats('mean.bin'), floats('fmean.bin')):.3g}")
print(f"time mean over netCDF-4 chunked along time: ratio {om / fm:.2f} (target <= 1.3)")
PY
