#!/usr/bin/env bash
# Time means of netCDF-4 grids of more than 4 MiB (not part of CI): sdfopen
# then d ave(v,t=1,t=N) of a float variable stored one chunk per time step,
# written with gxout fwrite, against cdo timmean of the same file, in paired
# runs pinned to one core (bench/paired.sh): 40 grids of 1441x728
# (4,196,448 bytes a grid, just above 4 MiB), 40 of 1440x721 (4,152,960
# bytes, just below) and STEPS (default 100) of 2880x1441.  Prints for each
# the times, the largest difference from cdo's means and the ratio, the
# largest grid's last.
# Usage: bench/nc4_bigmean.sh [build-dir] [steps]
#   (default: a Release build in build-nc4-bench, 100 steps: a 1.7 GB file)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build-nc4-bench}"
nt="${2:-100}"
# shellcheck source=bench/paired.sh
. "$root/bench/paired.sh"
nc4_setup "$build"
for size in "1441 728 40" "1440 721 40" "2880 1441 $nt"; do
  read -r nx ny n <<<"$size"
  f="s$nx.nc"
  ./mkfile "$f" "$nx" "$ny" "$n" nc4 field
  cat "$f" >/dev/null
  printf '%s\n' "sdfopen $f" "set x 1 $nx" "set y 1 $ny" "set gxout fwrite" \
    "set fwrite -le -st o$nx.bin" "d ave(v,t=1,t=$n)" "disable fwrite" "quit" > "c$nx"
  eval "work_$nx() { \"\$1\" -blE < c$nx; }"
  bench_against "$n grids of ${nx}x$ny" "work_$nx"
  # Where the helper may decode while the program sums.
  [ "$nx" = 2880 ] || bench_against -c 2 "$n grids of ${nx}x$ny" "work_$nx"
  if bench_alone; then
    eval "run_ombra_$nx() { work_$nx \"\$ombra\"; }"
    eval "run_cdo_$nx() { cdo -s -O timmean $f r$nx.nc; }"
    bench_pair "run_ombra_$nx" "run_cdo_$nx"
    cdo -s outputf,%.9g,1 "r$nx.nc" > "r$nx.txt"
    echo "time mean of $n netCDF-4 grids of ${nx}x$ny: ombra $pair_a s, cdo $pair_b s," \
      "largest difference $(largest_diff "o$nx.bin" "r$nx.txt"), ratio $(ratio "$pair_a" "$pair_b")"
  fi
  rm -f "$f"
done
