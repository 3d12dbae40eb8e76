#!/usr/bin/env bash
# Bilinear regridding (not part of CI): sdfopen then
# save o.nc r=regrid(v,v.2(t=1)) over the STEPS (default 100) steps of a
# 1440x721 float field, onto the 360x181 grid of a second file (longitude
# 0 to 359, latitude -90 to 90 by 1 degree, the grid cdo names r360x181),
# against cdo remapbil,r360x181 of the same file, in paired runs pinned to
# one core (bench/paired.sh).  Prints the times, the largest difference
# from cdo's values (absolute, and relative to the field's largest value)
# and last the ratio (target at most 0.5).
# Usage: bench/regrid_bilinear.sh [build-dir] [steps] [-c]
#   (default: a Release build in build-nc4-bench; -c: conservative, as
#   bench/regrid_conservative.sh runs it)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build-nc4-bench}"
nt="${2:-100}"
flag="${3:-}"
# shellcheck source=bench/paired.sh
. "$root/bench/paired.sh"
nc4_setup "$build"
./mkfile s.nc 1440 721 "$nt" nc3 field
./mkfile g.nc 360 181 1 nc3
cat s.nc g.nc >/dev/null
if [ "$flag" = -c ]; then op=remapcon what=conservative arg=",-c"; else op=remapbil what=bilinear arg=""; fi
# The target grid is defined before the times are set: at one time, not
# copied to each of the steps.
printf '%s\n' "sdfopen s.nc" "sdfopen g.nc" "set lon 0 359.9" "set lat -90 90" "define g = v.2(t=1)" \
  "set t 1 $nt" "save o.nc r=regrid(v,g$arg)" "quit" > cmds
work_regrid() { "$1" -blE < cmds; }
bench_against "regrid $what, $nt steps" work_regrid
bench_alone || exit 0
run_ombra() { work_regrid "$ombra"; }
run_cdo() { cdo -s -O "$op,r360x181" s.nc r.nc; }
bench_pair run_ombra run_cdo
# The environment's longitudes 0 to 359.9 take the second file's 361st
# point (360, the first again): left out of the comparison.
diff=$(cdo -s output -timmax -fldmax -abs -sub -selindexbox,1,360,1,181 o.nc r.nc | xargs)
top=$(cdo -s output -timmax -fldmax -abs r.nc | xargs)
echo "ombra $pair_a s, cdo $pair_b s; largest difference $diff ($(echo "$diff / $top" | bc -l | xargs printf '%.2g') of the largest value)"
echo "regrid $what 1440x721 -> 360x181, $nt steps: ratio $(ratio "$pair_a" "$pair_b") (target <= 0.5)"
