#!/usr/bin/env bash
# Area means over GRIB edition 2 series (not part of CI): 1440x721 fields
# written by cdo in 16-bit simple packing, N messages (default 500), and the
# same series packed again by ecCodes in JPEG 2000 and CCSDS, against cdo
# fldmean on the same files, in paired runs pinned to one core
# (bench/paired.sh): the file opened directly and d tloop(aave(v,global))
# over every message.  Also the instructions per value counted by
# callgrind for the 16-bit series, the count for 12 messages less that for
# 2, over 10 grids: of the decoder alone (bench/grib2_decode.cpp) and of
# d ave(v,t=1,t=N) over the whole grid, as bench/grib_decode.sh counts the
# GRIB edition 1 reader's.
# Prints each series' times, the largest difference of the means from
# cdo's, and its ratio (targets: simple 0.5, JPEG 2000 and CCSDS 1.0), then
# the instructions per value (target: no more than the GRIB edition 1
# reader's 8.3, bench/grib_decode.sh).
# Under bench/against.sh, the three series' area means alone, with each build.
# Usage: bench/grib2_series.sh [build-dir] [messages]
#   (default: a Release build in build-bench, 500 messages)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath "${1:-$root/build-bench}")"
nt="${2:-500}"
command -v grib_set >/dev/null || { echo "ecCodes' tools are not installed" >&2; exit 1; }
# shellcheck source=bench/paired.sh
. "$root/bench/paired.sh"
nc4_setup "$build"
nx=1440 ny=721
./mkfile s.nc $nx $ny "$nt" nc3 field
cdo -s -f grb2 -b P16 copy s.nc simple.grb2
rm -f s.nc
# ecCodes packs one message at a time: the series are packed side by side.
grib_copy simple.grb2 'm_[count].grb2'
ls m_*.grb2 | xargs -P 4 -I{} sh -c 'grib_set -r -s packingType=grid_jpeg {} j{} && grib_set -r -s packingType=grid_ccsds {} c{}'
for k in $(seq 1 "$nt"); do cat "jm_$k.grb2"; done > jpeg.grb2
for k in $(seq 1 "$nt"); do cat "cm_$k.grb2"; done > ccsds.grb2
rm -f m_*.grb2 jm_*.grb2 cm_*.grb2

# (The series' name is not "s": bench_time's own variables are seen by the
# functions it runs.)
for series in simple jpeg ccsds; do
  cat "$series.grb2" >/dev/null
  printf '%s\n' "open $series.grb2" "set x 1" "set y 1" "set t 1 $nt" "set gxout fwrite" \
    "set fwrite -le -st fld.bin" "d tloop(aave(v,global))" "disable fwrite" "quit" > "c$series"
  work_series() { "$1" -blE < "c$series"; }
  bench_against "$series series, area mean, $nt messages" work_series
  bench_alone || continue
  run_ombra() { work_series "$ombra"; }
  run_cdo() { cdo -s -O fldmean "$series.grb2" r.grb2; }
  bench_pair run_ombra run_cdo
  cdo -s outputf,%.9g,1 r.grb2 > r.txt
  diff=$(largest_diff fld.bin r.txt)
  target=1.0
  [ "$series" = simple ] && target=0.5
  echo "$series, $nt messages: ombra $pair_a s, cdo fldmean $pair_b s, largest difference $diff," \
    "ratio $(ratio "$pair_a" "$pair_b") (target <= $target)"
done

bench_alone || exit 0
libs=$(ls "$build"/src/*/libom_*.a)
# shellcheck disable=SC2086
g++ -std=c++17 -O2 -DNDEBUG -I"$root/src" "$root/bench/grib2_decode.cpp" -Wl,--start-group $libs \
  -Wl,--end-group -lopenjp2 -lpng -laec -lpthread -o decode
cdo -s seltimestep,1/12 simple.grb2 twelve.grb2
cdo -s seltimestep,1/2 simple.grb2 two.grb2
instr() {
  valgrind --tool=callgrind --callgrind-out-file=cg.out "$@" >/dev/null 2>cg.err
  sed -n 's/^summary: //p' cg.out
}
per_value() { echo "($2 - $1) / (10 * $nx * $ny)" | bc -l | xargs printf '%.2f'; }
if command -v valgrind >/dev/null; then
  d=$(per_value "$(instr ./decode two.grb2)" "$(instr ./decode twelve.grb2)")
  for n in 2 12; do
    [ $n = 2 ] && f=two || f=twelve
    printf '%s\n' "open $f.grb2" "set x 1 $nx" "set y 1 $ny" "set gxout fwrite" \
      "set fwrite -le -st o.bin" "d ave(v,t=1,t=$n)" "disable fwrite" "quit" > c$n
  done
  # The program itself, not its launcher: callgrind follows no exec.
  o=$(per_value "$(instr "$build/src/main/ombra" -blE <c2)" "$(instr "$build/src/main/ombra" -blE <c12)")
  echo "GRIB2 16-bit simple packing: the decoder $d instructions per value (target <= 8.3);" \
    "d ave(v,t=1,t=N) $o"
fi
