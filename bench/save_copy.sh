#!/usr/bin/env bash
# save (not part of CI): sdfopen then save o.nc v over the STEPS (default
# 100) steps of a 1440x721 float variable, against cdo copy of the same
# file, in paired runs pinned to one core (bench/paired.sh).  Prints the
# times, how many values differ from the source (cdo diffn: none, the
# copy is bit for bit) and last the ratio (target at most 1.0).
# Usage: bench/save_copy.sh [build-dir] [steps]   (default: a Release build in build-nc4-bench)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build-nc4-bench}"
nt="${2:-100}"
# shellcheck source=bench/paired.sh
. "$root/bench/paired.sh"
nc4_setup "$build"
./mkfile s.nc 1440 721 "$nt" nc3 field
cat s.nc >/dev/null
printf '%s\n' "sdfopen s.nc" "set x 1 1440" "set y 1 721" "set t 1 $nt" "save o.nc v" "quit" > cmds
work_save() { "$1" -blE < cmds; }
bench_against "save of $nt steps" work_save
bench_alone || exit 0
run_ombra() { work_save "$ombra"; }
run_cdo() { cdo -s -O copy s.nc r.nc; }
bench_pair run_ombra run_cdo
differ=$(cdo -s diffn s.nc o.nc | grep -c "^ *[0-9]" || true)
echo "ombra $pair_a s, cdo $pair_b s; steps differing from the source: $differ"
echo "save of 1440x721x$nt floats: ratio $(ratio "$pair_a" "$pair_b") (target <= 1.0)"
