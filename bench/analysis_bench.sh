#!/usr/bin/env bash
# Analysis-function benchmarks (not part of CI), each against cdo reading
# the same binary data through import_binary in one run:
#   1. ave(v,t=1,t=1000) of a 360x181 field      vs  cdo timmean
#   2. tloop(aave(v,global)) of a 1440x721 field  vs  cdo fldmean
#      over 1000 times, written with gxout fwrite
# Prints the times, their ratios (target at most 1.5), the peak resident
# memory of ombra and the largest difference from cdo's values.  Last, the
# time average of 1. against its floor: a plain C program making the same
# reads and a vectorised sum (bench/timmean_floor.c), in paired runs pinned
# to one core (bench/paired.sh); target at most 1.3.
# Usage: bench/analysis_bench.sh [build-dir] [times]
#   (default: a Release build in build-analysis-bench, 1000 times)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build-analysis-bench}"
nt="${2:-1000}"
py=/usr/bin/python3
# shellcheck source=bench/paired.sh
. "$root/bench/paired.sh"
if bench_alone; then
  if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  fi
  ninja -C "$build" ombra >/dev/null
  command -v cdo >/dev/null || { echo "cdo is not installed" >&2; exit 1; }
fi
work="$(mktemp -d)"
[ -n "${KEEP:-}" ] || trap 'rm -rf "$work"' EXIT
now() { date +%s.%N; }

# Writes name.bin and name.ctl: nt grids of nx x ny random floats.
mkdata() {
  local name=$1 nx=$2 ny=$3
  "$py" - "$work/$name.bin" "$nx" "$ny" "$nt" <<'X'
import sys
import numpy as np
path, nx, ny, nt = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
rng = np.random.default_rng(3)
lat = np.linspace(-90, 90, ny)[:, None]
with open(path, "wb") as f:
    for t in range(0, nt, 50):
        k = min(50, nt - t)
        g = 280 + 20 * np.cos(np.radians(lat)) + rng.normal(size=(k, ny, nx))
        g.astype("<f4").tofile(f)
X
  local dlat
  dlat=$("$py" -c "print(180/($ny-1))")
  cat > "$work/$name.ctl" <<X
dset ^$name.bin
undef -9.99e8
options little_endian
xdef $nx linear 0 $("$py" -c "print(360/$nx)")
ydef $ny linear -90 $dlat
zdef 1 levels 1000
tdef $nt linear 00z01jan2000 1dy
vars 1
v 0 99 field
endvars
X
  cat "$work/$name.bin" > /dev/null
}

# Runs ombra on a command file; sets secs and peak (kB).
runombra() {
  local cmds=$1 log=$2
  local t0 t1
  t0=$(now)
  OMDDIR="$root/share" /usr/bin/time -f "%M" -o "$work/mem" \
    "$build/src/main/ombra" -blE < "$cmds" > "$log" 2>&1
  t1=$(now)
  secs=$("$py" -c "print($t1 - $t0)")
  peak=$(tail -1 "$work/mem")
}

# Runs one cdo pipeline; sets csecs.
runcdo() {
  local t0 t1
  t0=$(now)
  (cd "$work" && cdo -s -f nc "$@")
  t1=$(now)
  csecs=$("$py" -c "print($t1 - $t0)")
}

# Largest difference between a float32 file and cdo's text output.
maxdiff() {
  "$py" - "$1" "$2" <<'X'
import sys
import numpy as np
a = np.fromfile(sys.argv[1], "<f4").astype("f8")
b = np.array(open(sys.argv[2]).read().split(), "f8")
if a.size != b.size:
    sys.exit("sizes differ: %d and %d" % (a.size, b.size))
print("%.3g" % np.abs(a - b).max())
X
}

report() {
  "$py" - "$@" <<'X'
import sys
what, a, b, peak, grid, diff = sys.argv[1:7]
a, b = float(a), float(b)
print(f"{what}: ombra {a:.2f} s, cdo {b:.2f} s, ratio {a / b:.2f} (target <= 1.5); "
      f"ombra peak {int(peak) / 1024:.0f} MB (one grid {int(grid) / 1048576:.1f} MB); "
      f"largest difference {diff}")
X
}

# 1. Time average of a 360x181 field.
mkdata a 360 181
cat > "$work/a.cmd" <<X
open $work/a.ctl
set x 1 360
set y 1 181
set gxout fwrite
set fwrite -le -st $work/a.out
d ave(v,t=1,t=$nt)
disable fwrite
quit
X
work_a() { "$1" -blE < "$work/a.cmd"; }
bench_against "ave over $nt times, 360x181" work_a
if bench_alone; then
runombra "$work/a.cmd" "$work/a.log"
runcdo timmean -import_binary a.ctl a.nc
cdo -s outputf,%.9g,1 "$work/a.nc" > "$work/a.txt"
report "ave over $nt times, 360x181" "$secs" "$csecs" "$peak" $((360 * 181 * 4)) \
  "$(maxdiff "$work/a.out" "$work/a.txt")"
# The same average against its floor; kept for the end.
cc -O3 "$root/bench/timmean_floor.c" -o "$work/floor"
run_ombra_a() { OMDDIR="$root/share" "$build/src/main/ombra" -blE < "$work/a.cmd"; }
run_floor_a() { "$work/floor" "$work/a.bin" 360 181 "$nt" -9.99e8 "$work/floor.out"; }
bench_pair run_ombra_a run_floor_a
floor_line=$("$py" - "$pair_a" "$pair_b" "$work/a.out" "$work/floor.out" <<'X'
import sys
import numpy as np
a, b = float(sys.argv[1]), float(sys.argv[2])
d = np.abs(np.fromfile(sys.argv[3], "<f4") - np.fromfile(sys.argv[4], "<f4")).max()
print(f"ave over the binary data against the plain C floor: ombra {a:.3f} s, floor {b:.3f} s, "
      f"largest difference {d:.3g}, ratio {a / b:.2f} (target <= 1.3)")
X
)
fi
rm -f "$work/a.bin"

# 2. Area average of a 1440x721 field at every time.
mkdata b 1440 721
cat > "$work/b.cmd" <<X
open $work/b.ctl
set x 1
set y 1
set t 1 $nt
set gxout fwrite
set fwrite -le -st $work/b.out
d tloop(aave(v,global))
disable fwrite
quit
X
work_b() { "$1" -blE < "$work/b.cmd"; }
bench_against "tloop(aave) over $nt times, 1440x721" work_b
bench_alone || exit 0
runombra "$work/b.cmd" "$work/b.log"
runcdo fldmean -import_binary b.ctl b.nc
cdo -s outputf,%.9g,1 "$work/b.nc" > "$work/b.txt"
report "tloop(aave) over $nt times, 1440x721" "$secs" "$csecs" "$peak" $((1440 * 721 * 4)) \
  "$(maxdiff "$work/b.out" "$work/b.txt")"
echo "$floor_line"
