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
cat s.nc >/dev/null
printf '%s\n' "sdfopen s.nc" "set x 1" "set y 1" "set t 1 $nt" "set gxout fwrite" \
  "set fwrite -le -st o.bin" "d tloop(aave(v,global))" "disable fwrite" "quit" > cmds
run_ombra() { "$ombra" -blE < cmds; }
run_cdo() { cdo -s -O fldmean s.nc r.nc; }
bench_pair run_ombra run_cdo
cdo -s outputf,%.9g,1 r.nc > r.txt
/usr/bin/python3 - "$pair_a" "$pair_b" "$nt" <<'PY'
import struct, sys
a_s, c_s = map(float, sys.argv[1:3])
a = open("o.bin", "rb").read()
a = struct.unpack("<%df" % (len(a) // 4), a)
b = [float(x) for x in open("r.txt").read().split()]
if len(a) != len(b):
    sys.exit("sizes differ: %d and %d" % (len(a), len(b)))
diff = max(abs(x - y) for x, y in zip(a, b))
print(f"ombra {a_s:.3f} s, cdo {c_s:.3f} s; largest difference {diff:.3g}")
print(f"tloop(aave) over netCDF-3, {sys.argv[3]} steps: ratio {a_s / c_s:.2f} (target <= 0.8)")
PY
