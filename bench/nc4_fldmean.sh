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
cat s.nc >/dev/null
printf '%s\n' "sdfopen s.nc" "set x 1" "set y 1" "set t 1 2000" "set gxout fwrite" \
  "set fwrite -le -st o.bin" "d tloop(aave(v,global))" "disable fwrite" "quit" > cmds
run_ombra() { "$ombra" -blE < cmds; }
run_cdo() { cdo -s -O fldmean s.nc r.nc; }
bench_pair run_ombra run_cdo
cdo -s outputf,%.9g,1 r.nc > r.txt
/usr/bin/python3 - "$pair_a" "$pair_b" <<'PY'
import struct, sys
a_s, c_s = map(float, sys.argv[1:3])
a = open("o.bin", "rb").read()
a = struct.unpack("<%df" % (len(a) // 4), a)
b = [float(x) for x in open("r.txt").read().split()]
if len(a) != len(b):
    sys.exit("sizes differ: %d and %d" % (len(a), len(b)))
diff = max(abs(x - y) for x, y in zip(a, b))
print(f"ombra {a_s:.3f} s, cdo {c_s:.3f} s; largest difference {diff:.3g}")
print(f"tloop(aave) over netCDF-4, 2000 steps: ratio {a_s / c_s:.2f} (target <= 0.8)")
PY
