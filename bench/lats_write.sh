#!/usr/bin/env bash
# LATS output (not part of CI): STEPS (default 1000) fields of 144x73 floats
# written with gxout latsdata, one session to netCDF (coards), one to GRIB
# with its descriptor (ombra_grib), and one to GRIB with two variables a
# step (grib2, twice the fields).  Every field is brought to disk as it is
# written (the netCDF header and record count synced, the descriptor
# rewritten where it changed, which is at each new step), so that an
# ending signal finds the files whole; this shows what that costs.  Given a second build (one from before the per-field
# sync, say), the two run in pairs pinned to one core (bench/paired.sh) and
# the ratios come last (target at most 1.1).
# Usage: bench/lats_write.sh [build-dir] [steps] [other-build-dir]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
nt="${2:-1000}"
# shellcheck source=bench/paired.sh
. "$root/bench/paired.sh"
if bench_alone; then
  build="$(cd "${1:-$root/build}" && pwd)"
  other="${3:+$(cd "$3" && pwd)}"
fi
bench_work "${build:-}"
./mkfile s.nc 144 73 "$nt" nc3 field

# The commands of one session writing every step to convention $1, as
# variable ts and, given a second name, as that variable too.
session() {
  printf '%s\n' "sdfopen s.nc" "set x 1 144" "set lats frequency hourly" "set lats deltat 6" \
    "set lats convention $1" "set lats create out" "set gxout latsgrid" "d v" \
    "set lats var 1 ts instant 1 0" ${2:+"set lats var 1 $2 instant 1 0"} "set gxout latsdata"
  for ((t = 1; t <= nt; t++)); do
    printf 'set t %d\nset lats write 1 1\nd v\n' "$t"
    [ -z "${2:-}" ] || printf 'set lats write 1 2\nd v\n'
  done
  printf '%s\n' "set lats close 1" "quit"
}
session coards > nc.cmds
session ombra_grib > grib.cmds
session ombra_grib tas > grib2.cmds

# A run writes its files anew: the old ones' pages are not freed in it.
work_lats() { rm -f out.*; "$1" -blE < "$kind.cmds"; }
for kind in nc grib grib2; do
  bench_against "$kind, $nt steps" work_lats
  bench_alone || continue
  run_this() { work_lats "$build/src/main/ombra"; }
  if [ -z "$other" ]; then
    echo "$kind, $nt steps: $(bench_time run_this) s"
    continue
  fi
  run_other() { work_lats "$other/src/main/ombra"; }
  bench_pair run_this run_other
  echo "$kind, $nt steps: this build $pair_a s, the other $pair_b s, ratio $(ratio "$pair_a" "$pair_b") (target <= 1.1)"
done
