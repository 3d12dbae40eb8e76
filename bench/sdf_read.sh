#!/usr/bin/env bash
# Self-describing file read benchmark (not part of CI): every time step of
# a 1440x721x100 float variable read through sdfopen and written with
# gxout fwrite, against cdo (or ncks) extracting the same variable in one
# run.  Prints both times and their ratio; the target is at most 1.2.
# Usage: bench/sdf_read.sh [build-dir]   (default: a Release build in build-bench)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build-bench}"
# shellcheck source=bench/paired.sh
. "$root/bench/paired.sh"
if bench_alone; then
  if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  fi
  ninja -C "$build" ombra >/dev/null
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cc -O2 "$root/bench/sdf_mkfile.c" -o "$work/mkfile" -lnetcdf -lm
"$work/mkfile" "$work/in.nc"
{
  echo "sdfopen $work/in.nc"
  echo "set x 1 1440"
  echo "set y 1 721"
  echo "set gxout fwrite"
  echo "set fwrite $work/out.bin"
  for t in $(seq 1 100); do echo "set t $t"; echo "d v"; done
  echo "disable fwrite"
  echo "quit"
} > "$work/cmds"
# Warm the page cache so both runs read from memory.
cat "$work/in.nc" > /dev/null
# A run writes its file anew, with no other write waiting to go to disk:
# neither freeing the old one's pages nor the writing back of what an
# earlier run wrote is counted in it.
work_read() { rm -f "$work/out.bin"; sync; "$1" -blE < "$work/cmds"; }
bench_against "100 steps of 1440x721" work_read
bench_alone || exit 0
now() { date +%s.%N; }
t0=$(now)
OMDDIR="$root/share" "$build/src/main/ombra" -blE < "$work/cmds" > "$work/ombra.log" 2> /dev/null
t1=$(now)
want=$((1440 * 721 * 100 * 4))
got=$(stat -c %s "$work/out.bin")
if [ "$got" -ne "$want" ]; then
  echo "ombra wrote $got bytes, expected $want" >&2
  tail -20 "$work/ombra.log" >&2
  exit 1
fi
if command -v ncks > /dev/null; then
  ref="ncks"
  t2=$(now); ncks -O -v v "$work/in.nc" "$work/ref.nc"; t3=$(now)
elif command -v cdo > /dev/null; then
  ref="cdo"
  t2=$(now); cdo -s -f nc selname,v "$work/in.nc" "$work/ref.nc"; t3=$(now)
else
  echo "neither ncks nor cdo is installed" >&2
  exit 1
fi
python3 - "$t0" "$t1" "$t2" "$t3" "$ref" <<'X'
import sys
t0, t1, t2, t3 = map(float, sys.argv[1:5])
a, b = t1 - t0, t3 - t2
print(f"ombra sdfopen+fwrite: {a:.3f} s   {sys.argv[5]}: {b:.3f} s   ratio {a / b:.2f} (target <= 1.2)")
X
