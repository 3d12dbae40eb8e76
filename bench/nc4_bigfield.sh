#!/usr/bin/env bash
# One large netCDF-4 field (not part of CI): sdfopen then d v of a
# SIZE x SIZE (default 12000) float variable with gxout stat, against the
# plain C floor (bench/nc_floor.c field) reading the same grid whole and
# taking its minimum, maximum and mean, in paired runs on two cores
# (bench/paired.sh): the largest peak resident size of one process (the
# program's helpers counted, bench/treetime) and the wall time, medians of
# the pairs.  Prints both for each, last their ratios.
# Usage: bench/nc4_bigfield.sh [build-dir] [size]
#   (default: a Release build in build-nc4-bench; 12000: a 576 MB grid)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build-nc4-bench}"
n="${2:-12000}"
# shellcheck source=bench/paired.sh
. "$root/bench/paired.sh"
nc4_setup "$build"
cc -O2 "$root/bench/nc_floor.c" -o floor -lnetcdf -lm
./mkfile s.nc "$n" "$n" 1 nc4
cat s.nc >/dev/null
printf '%s\n' "sdfopen s.nc" "set x 1 $n" "set y 1 $n" "set gxout stat" "d v" "quit" > cmds
work_field() { "$1" -blE < cmds; }
bench_against -c 2 -m cpu,wall,peak "one ${n}x$n field" work_field
bench_alone || exit 0
taskset -cp "$bench_cores2" $$ >/dev/null
# Wall seconds and peak KiB of a run of "$@" under treetime.
measured() {
  rm -f rep
  BENCH_REPORT=rep "$@" >/dev/null 2>&1
  awk '{ w += $6; if ($8 > m) m = $8 } END { print w, m }' rep
}
run_floor() { bench_measure ./floor field s.nc v; }
run_ombra() { work_field "$ombra"; }
ow=() om=() fw=() fm=()
for ((k = 0; k < bench_runs; k++)); do
  read -r w m < <(measured run_ombra); ow+=("$w"); om+=("$m")
  read -r w m < <(measured run_floor); fw+=("$w"); fm+=("$m")
done
med() { printf '%s\n' "$@" | sort -g | sed -n "$((($# + 1) / 2))p"; }
out=$("$ombra" -blE < cmds 2>/dev/null)
grep -q "Sizes = $n $n $((n * n))" <<<"$out" ||
  echo "note: the statistics do not show $((n * n)) points" >&2
echo "ombra: wall $(med "${ow[@]}") s, peak $(($(med "${om[@]}") / 1024)) MB;" \
  "floor: wall $(med "${fw[@]}") s, peak $(($(med "${fm[@]}") / 1024)) MB"
echo "one ${n}x$n netCDF-4 field: peak ratio $(ratio "$(med "${om[@]}")" "$(med "${fm[@]}")")," \
  "wall ratio $(ratio "$(med "${ow[@]}")" "$(med "${fw[@]}")")"
