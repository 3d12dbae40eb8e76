# Shared by the bench/scale_*.sh benches (sourced): builds ombra, makes a
# scratch directory and times runs of a script made per size, printing the
# cost per element at 10^3, 10^4 and 10^5 elements.
# The sourcing bench defines mkscript N (writes t.gs for N elements) and
# check N (checks out.txt) before calling scale_run.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
# shellcheck source=bench/paired.sh
. "$root/bench/paired.sh"
if bench_alone; then
  build="$(realpath -m "${1:-${OMBRA_BENCH_BUILD:-$root/build-bench-scale}}")"
  if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  fi
  ninja -C "$build" ombra >/dev/null
  ombra="$build/src/main/ombra"
fi
export OMDDIR="$root/share"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"

# Wall time in nanoseconds of a run of t.gs: the best of three when a run
# is short, so the noise of start-up does not swamp small sizes.
timerun() {
  local b=0 t0 t1 d
  for _ in 1 2 3; do
    t0=$(date +%s%N)
    "$ombra" -blc "run t.gs" >out.txt 2>&1
    t1=$(date +%s%N)
    d=$((t1 - t0))
    if [ "$b" -eq 0 ] || [ "$d" -lt "$b" ]; then b=$d; fi
    [ "$d" -lt 2000000000 ] || break
  done
  echo "$b"
}

# For each size: the time of the run less that of a one-element run (the
# start-up), divided by the size.
work_scale() { "$1" -blc "run t.gs"; }
scale_run() {
  local what=$1 base n t
  if ! bench_alone; then
    for n in 1000 10000 100000; do
      mkscript "$n"
      bench_against "$n $what" work_scale
    done
    return
  fi
  mkscript 1
  base=$(timerun)
  for n in 1000 10000 100000; do
    mkscript "$n"
    t=$(timerun)
    check "$n" || { echo "wrong result at $n:"; cat out.txt; exit 1; }
    awk -v n="$n" -v t="$t" -v b="$base" -v w="$what" \
      'BEGIN { d = t - b; if (d < 0) d = 0; printf "%-7d %s: %.3f us per element (%.3f s in all)\n", n, w, d / n / 1000, t / 1e9 }'
  done
}
