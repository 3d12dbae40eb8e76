#!/usr/bin/env bash
# Script interpreter speed (not part of CI): a 100,000-iteration script loop
# run by ombra against the same loop in Python 3, each timed as a whole
# process (start-up included), best of five runs.  Prints the ratio
# ombra/python as the last line.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
# shellcheck source=bench/paired.sh
. "$root/bench/paired.sh"
if bench_alone; then
  build="${OMBRA_BENCH_BUILD:-$root/build-bench-script}"
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  ninja -C "$build" ombra >/dev/null
  ombra="$build/src/main/ombra"
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp "$root/bench/script_loop.gs" "$root/bench/script_loop.py" "$work/"
cd "$work"

# Best wall time in nanoseconds of five runs of the command.
best() {
  local b=0 t0 t1 d
  for _ in 1 2 3 4 5; do
    t0=$(date +%s%N)
    "$@" >out.txt 2>&1
    t1=$(date +%s%N)
    d=$((t1 - t0))
    if [ "$b" -eq 0 ] || [ "$d" -lt "$b" ]; then b=$d; fi
  done
  echo "$b"
}

work_loop() { "$1" -blc "run script_loop.gs"; }
bench_against "100,000-iteration loop" work_loop
bench_alone || exit 0
tg=$(best work_loop "$ombra")
grep -q '^9999700000 efg99999$' out.txt || { echo "ombra gave a wrong result:"; cat out.txt; exit 1; }
tp=$(best python3 script_loop.py)
grep -q '^9999700000 efg99999$' out.txt || { echo "python gave a wrong result:"; cat out.txt; exit 1; }
echo "ombra script loop: $((tg / 1000000)) ms"
echo "python3 loop:      $((tp / 1000000)) ms"
awk -v a="$tg" -v b="$tp" 'BEGIN { printf "ratio %.2f\n", a / b }'
