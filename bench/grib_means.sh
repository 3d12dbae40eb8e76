#!/usr/bin/env bash
# Means over GRIB1 (not part of CI): 1440x721 fields packed in 16 bits by
# cdo, N messages (default 500), indexed by the index maker; against cdo on
# the same file, in paired runs pinned to one core (bench/paired.sh):
#   1. d tloop(aave(v,global)) over every message  vs  cdo fldmean
#   2. d ave(v,t=1,t=N) of the whole grid           vs  cdo timmean
# Prints the times, the largest differences from cdo's values and last the
# ratio of the time mean (targets at most 0.8 and 0.6).
# Usage: bench/grib_means.sh [build-dir] [messages]
#   (default: a Release build in build-nc4-bench, 500 messages)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build-nc4-bench}"
nt="${2:-500}"
# shellcheck source=bench/paired.sh
. "$root/bench/paired.sh"
nc4_setup "$build"
mkindex_build "$build"
./mkfile s.nc 1440 721 "$nt" nc3 field
cdo -s -f grb -b 16 setcode,11 s.nc g.grb
rm -f s.nc
cat > g.ctl <<X
dset ^g.grb
index ^g.idx
undef -9.99e8
dtype grib
xdef 1440 linear 0 0.25
ydef 721 linear -90 0.25
zdef 1 levels 1000
tdef $nt linear 00z01jan2000 6hr
vars 1
v 0 11,1,0 v
endvars
X
./mkindex g.ctl >/dev/null
cat g.grb >/dev/null
printf '%s\n' "open g.ctl" "set x 1" "set y 1" "set t 1 $nt" "set gxout fwrite" \
  "set fwrite -le -st fld.bin" "d tloop(aave(v,global))" "disable fwrite" "quit" > cfld
printf '%s\n' "open g.ctl" "set x 1 1440" "set y 1 721" "set gxout fwrite" \
  "set fwrite -le -st tim.bin" "d ave(v,t=1,t=$nt)" "disable fwrite" "quit" > ctim
work_fld() { "$1" -blE < cfld; }
work_tim() { "$1" -blE < ctim; }
bench_against "area mean, $nt messages" work_fld
bench_against "time mean, $nt messages" work_tim
bench_alone || exit 0
run_ombra_fld() { work_fld "$ombra"; }
run_cdo_fld() { cdo -s -O fldmean g.grb rf.grb; }
run_ombra_tim() { work_tim "$ombra"; }
run_cdo_tim() { cdo -s -O timmean g.grb rt.grb; }
bench_pair run_ombra_fld run_cdo_fld
of=$pair_a cf=$pair_b
bench_pair run_ombra_tim run_cdo_tim
cdo -s outputf,%.9g,1 rf.grb > rf.txt
cdo -s outputf,%.9g,1 rt.grb > rt.txt
echo "area mean: ombra $of s, cdo $cf s, largest difference $(largest_diff fld.bin rf.txt)," \
  "ratio $(ratio "$of" "$cf") (target <= 0.8)"
echo "time mean: ombra $pair_a s, cdo $pair_b s, largest difference $(largest_diff tim.bin rt.txt)"
echo "time mean over GRIB1, $nt messages: ratio $(ratio "$pair_a" "$pair_b") (target <= 0.6)"
