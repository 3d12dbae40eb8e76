#!/usr/bin/env bash
# Template series benchmark (not part of CI): sdfopen of a series of 365
# daily classic netCDF members (144x73 floats, one time each), then a time
# series of one point over all of them, which opens every member in turn,
# in the helper and in the program.  Prints for each build given the
# system calls of a run (with strace) and the median of BENCH_RUNS runs
# (default 5), pinned to one core (bench/paired.sh); given two, the two in
# paired runs, the ratio of the first to the second last (target at most
# 1.05).
# Usage: bench/sdf_template.sh [build-dir ...]
#   (default: a Release build in build-bench)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
builds=("$@")
[ ${#builds[@]} -gt 0 ] || builds=("$root/build-bench")
# shellcheck source=bench/paired.sh
. "$root/bench/paired.sh"
bench_alone || builds=()
for b in ${builds[@]+"${builds[@]}"}; do
  if [ ! -f "$b/build.ninja" ]; then
    cmake -S "$root" -B "$b" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  fi
done
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
lons=$(seq -s ', ' 0 2.5 357.5)
lats=$(seq -s ', ' -90 2.5 90)
for k in $(seq 0 364); do
  d=$(date -u -d "2000-01-01 + $k days" +%Y%m%d)
  {
    echo "netcdf m { dimensions: lon = 144 ; lat = 73 ; time = UNLIMITED ;"
    echo "variables: float lon(lon) ; lon:units = \"degrees_east\" ;"
    echo " float lat(lat) ; lat:units = \"degrees_north\" ;"
    echo " double time(time) ; time:units = \"hours since 2000-01-01\" ;"
    echo " float v(time, lat, lon) ;"
    echo "data: lon = $lons ; lat = $lats ; time = $((24 * k)) ; v = $k ; }"
  } > m.cdl
  ncgen -o "m$d.nc" m.cdl
done
printf '%s\n' "sdfopen m20000101.nc m%y4%m2%d2.nc 365" "set x 1" "set y 1" "set t 1 365" \
  "set gxout print" "d v" "quit" > cmds
cat m*.nc > /dev/null
export OMDDIR="$root/share"
work_series() { "$1" -blE < cmds; }
bench_against "365 members" work_series
bench_alone || exit 0
for b in "${builds[@]}"; do
  ninja -C "$b" ombra >/dev/null
  ombra="$b/src/main/ombra"
  # The members are all read: the last value printed is the last day's.
  out=$("$ombra" -blE < cmds 2>/dev/null)
  grep -qE '(^| )364 *$' <<<"$out" || { echo "$b: the series did not read whole" >&2; exit 1; }
  calls=""
  if command -v strace >/dev/null; then
    strace -f -c -o calls.txt "$ombra" -blE < cmds >/dev/null 2>&1
    calls=", $(awk '$NF == "total" { print $4 }' calls.txt) system calls"
  fi
  times=()
  for ((k = 0; k < bench_runs; k++)); do times+=("$(bench_time "$ombra" -blE < cmds)"); done
  med=$(printf '%s\n' "${times[@]}" | sort -g | sed -n "$(((bench_runs + 1) / 2))p")
  echo "$b: 365 members opened in $med s (median of $bench_runs)$calls"
done
[ ${#builds[@]} -eq 2 ] || exit 0
run_first() { "${builds[0]}/src/main/ombra" -blE < cmds; }
run_second() { "${builds[1]}/src/main/ombra" -blE < cmds; }
bench_pair run_first run_second
echo "365 members: first $pair_a s, second $pair_b s, ratio $(ratio "$pair_a" "$pair_b") (target <= 1.05)"
