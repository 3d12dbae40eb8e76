#!/usr/bin/env bash
# Monthly climatology (not part of CI): over the twelve months of the
# first year, save o.nc c=clim(v,time=jan1981,time=dec2010) of a 360x181
# float field of 30 years of monthly steps (a few points undefined),
# against cdo ymonmean of the same values, in paired runs pinned to one
# core (bench/paired.sh).  Ombra reads them twice: from the netCDF file
# cdo reads (sdfopen), and from the binary data set that file was made
# from (open), its own format.  Prints the times, the largest difference
# from cdo's means and last the ratio of the binary read (target at most
# 0.5).
# Usage: bench/clim_monthly.sh [build-dir]   (default: a Release build in build-nc4-bench)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build-nc4-bench}"
# shellcheck source=bench/paired.sh
. "$root/bench/paired.sh"
nc4_setup "$build"
/usr/bin/python3 - <<'X'
import numpy as np
rng = np.random.default_rng(5)
lat = np.linspace(-90, 90, 181)[:, None]
t = np.arange(360)[:, None, None]
g = 280 + 20 * np.cos(np.radians(lat)) + 5 * np.sin(2 * np.pi * t / 12) + rng.normal(size=(360, 181, 360))
g[:, 80:85, 100:110] = -9.99e8
g.astype("<f4").tofile("d.bin")
X
cat > d.ctl <<X
dset ^d.bin
undef -9.99e8
options little_endian
xdef 360 linear 0 1
ydef 181 linear -90 1
zdef 1 levels 1000
tdef 360 linear 00z15jan1981 1mo
vars 1
v 0 99 field
endvars
X
cdo -s -r -O -f nc settunits,days -import_binary d.ctl s.nc
cat s.nc d.bin >/dev/null
for how in "open d.ctl" "sdfopen s.nc"; do
  printf '%s\n' "$how" "set x 1 360" "set y 1 181" "set t 1 12" \
    "save o.nc c=clim(v,time=jan1981,time=dec2010)" "quit" > "c.${how%% *}"
done
work_open() { "$1" -blE < c.open; }
work_sdfopen() { "$1" -blE < c.sdfopen; }
bench_against "clim of a binary data set" work_open
bench_against "clim of a netCDF file" work_sdfopen
bench_alone || exit 0
for how in "open d.ctl" "sdfopen s.nc"; do
  eval "run_ombra() { work_${how%% *} \"\$ombra\"; }"
  run_cdo() { cdo -s -O ymonmean s.nc r.nc; }
  bench_pair run_ombra run_cdo
  diff=$(cdo -s output -timmax -fldmax -abs -sub o.nc r.nc | xargs)
  echo "$how: ombra $pair_a s, cdo $pair_b s; largest difference $diff; ratio $(ratio "$pair_a" "$pair_b")"
done
echo "30-year monthly climatology of 360x181 from the same netCDF file: ratio $(ratio "$pair_a" "$pair_b") (target <= 0.5)"
