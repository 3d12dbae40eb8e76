#!/usr/bin/env bash
# netCDF-4 open and close (not part of CI): CYCLES (default 2000) sdfopen
# and close of a one-step 144x73 netCDF-4 file in one session, each open
# made by the helper and by the program.  Prints the minor page faults of
# the session and the peak resident size of the program after a quarter of
# the cycles and after all (flat: nothing is kept per open), and, given a
# second build, the two in paired runs pinned to one core (bench/paired.sh),
# the ratio last (target at most 1.05).
# Usage: bench/nc4_openclose.sh [build-dir] [cycles] [other-build-dir]
#   (default: this tree's build; OPENCLOSE_KIND=nc3: a 64-bit offset file)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
n="${2:-2000}"
kind="${OPENCLOSE_KIND:-nc4}"
# shellcheck source=bench/paired.sh
. "$root/bench/paired.sh"
if bench_alone; then
  build="$(cd "${1:-$root/build}" && pwd)"
  other="${3:+$(cd "$3" && pwd)}"
fi
bench_work "${build:-}"
./mkfile s.nc 144 73 1 "$kind"
cycles() {
  for ((k = 0; k < $1; k++)); do printf 'sdfopen s.nc\nclose 1\n'; done
  echo quit
}
cycles "$n" > all.cmds
cycles $((n / 4)) > quarter.cmds
work_cycles() { "$1" -blE < all.cmds; }
bench_against "$n cycles" work_cycles
bench_against -c 2 "$n cycles" work_cycles
bench_alone || exit 0
for b in "$build" ${other:+"$other"}; do
  o="$b/src/main/ombra"
  [ "$("$o" -blE < all.cmds | grep -c 'has been closed')" = "$n" ] || { echo "$b: not every open closed" >&2; exit 1; }
  faults=$(/usr/bin/time -f %R "$o" -blE < all.cmds 2>&1 >/dev/null | tail -1)
  rq=$(/usr/bin/time -f %M "$o" -blE < quarter.cmds 2>&1 >/dev/null | tail -1)
  ra=$(/usr/bin/time -f %M "$o" -blE < all.cmds 2>&1 >/dev/null | tail -1)
  echo "$b: $n cycles, $faults minor faults; peak resident $rq KB after $((n / 4)) cycles, $ra KB after $n"
done
[ -n "$other" ] || exit 0
run_this() { work_cycles "$build/src/main/ombra"; }
run_other() { work_cycles "$other/src/main/ombra"; }
bench_pair run_this run_other
echo "$kind open and close, $n cycles: this build $pair_a s, the other $pair_b s, ratio $(ratio "$pair_a" "$pair_b") (target <= 1.05)"
