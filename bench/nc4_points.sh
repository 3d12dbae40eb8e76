#!/usr/bin/env bash
# One-point reads of netCDF-4 (not part of CI): sdfopen of a 360x181 float
# variable of STEPS (default 2000) steps stored one chunk per step, then
# READS (default 20,000) displays d v(t=N) of one point in one session, N
# going round the steps, against the plain C floor (bench/nc_floor.c
# points) making the same reads through the netCDF library in one process,
# in paired runs pinned to one core (bench/paired.sh).  Checks that both
# read the same values (their sum) and prints the times, last the ratio.
# Usage: bench/nc4_points.sh [build-dir] [reads] [steps]
#   (default: a Release build in build-nc4-bench)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build-nc4-bench}"
reads="${2:-20000}"
nt="${3:-2000}"
# shellcheck source=bench/paired.sh
. "$root/bench/paired.sh"
nc4_setup "$build"
cc -O2 "$root/bench/nc_floor.c" -o floor -lnetcdf -lm
./mkfile s.nc 360 181 "$nt" nc4
cat s.nc >/dev/null
{
  printf '%s\n' "sdfopen s.nc" "set x 1" "set y 1"
  awk -v n="$reads" -v nt="$nt" 'BEGIN { for (k = 0; k < n; k++) printf "d v(t=%d)\n", k % nt + 1 }'
  echo quit
} > cmds
work_points() { "$1" -blE < cmds; }
bench_against "$reads reads" work_points
bench_against -c 2 "$reads reads" work_points
bench_alone || exit 0
# Both read the same values: the sums of what they read agree.
ours=$("$ombra" -blE < cmds 2>/dev/null | awk '/Result value =/ { s += $NF; n++ } END { printf "%d %.9g", n, s }')
peer=$(./floor points s.nc v "$reads" | awk '{ printf "%d %.9g", $1, $4 }')
[ "$ours" = "$peer" ] || { echo "the values differ: ombra read $ours, the floor $peer (count, sum)" >&2; exit 1; }
run_ombra() { work_points "$ombra"; }
run_floor() { ./floor points s.nc v "$reads"; }
bench_pair run_ombra run_floor
echo "ombra $pair_a s, floor $pair_b s; both read $reads values summing to ${ours#* }"
echo "$reads one-point reads of netCDF-4: ratio $(ratio "$pair_a" "$pair_b")"
