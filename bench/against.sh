#!/usr/bin/env bash
# Runs the rows of bench/ with the program built from an older commit and
# from the working tree, in pairs, and prints for each row the median ratio
# new/old of the processor time of the program's whole process tree (its
# helper processes too, those it does not wait for included), with the
# spread of the pair ratios, and flags a row slower than 1.05 beyond the
# noise.  Not part of CI.
#
#   bench/against.sh OLD [--pairs N] [--core N] [ROW...]
#
#   OLD        a commit (hash, branch, tag), checked out in a worktree of its
#              own, build-bench/old-src, and built in build-bench/old; the
#              working tree is built in build-bench/new (both Release)
#   --pairs N  pairs of runs per workload (default 5; 9 or more narrow the
#              range the median is given in)
#   --core N   the core the runs are pinned to (default 2); a workload run
#              on two cores has N and N+1
#   ROW        a row's name, as bench/ROW.sh or bench/ROW.py (default: every
#              row)
#
# Each row, run with BENCH_AGAINST set, makes its data as when run alone,
# then runs its Ombra workloads only (bench_against in bench/paired.sh):
# each with the older and the newer build in turn, the first of a pair
# taking turns, under bench/treetime.  The table (bench/pairstats.py) is
# printed last and kept, with the measures of every run and each row's log,
# in build-bench/runs/TIME/.  Exits 1 when a row is slower beyond the noise
# or a run failed.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

usage() { echo "usage: bench/against.sh OLD [--pairs N] [--core N] [ROW...]" >&2; exit 2; }
old="" pairs=5 core=2 rows=()
while [ $# -gt 0 ]; do
  case "$1" in
    --pairs) pairs="${2:?}"; shift 2 ;;
    --core) core="${2:?}"; shift 2 ;;
    -*) usage ;;
    *) if [ -z "$old" ]; then old="$1"; else r="${1%.sh}"; rows+=("${r%.py}"); fi; shift ;;
  esac
done
[ -n "$old" ] || usage
# Every script of bench/ that is a row: not this runner, nor what the rows
# source or call.
all_rows() {
  local f
  for f in "$root"/bench/*.sh; do
    case "$(basename "$f")" in
      against.sh | paired.sh | scale_common.sh | cppbench.sh) ;;
      *) basename "$f" .sh ;;
    esac
  done
  echo expr_fwrite_bench
}
# The program that runs a row.
row_file() { if [ -f "$root/bench/$1.sh" ]; then echo "$root/bench/$1.sh"; elif [ -f "$root/bench/$1.py" ]; then echo "$root/bench/$1.py"; fi; }
[ ${#rows[@]} -gt 0 ] || mapfile -t rows < <(all_rows)
for r in "${rows[@]}"; do
  [ -n "$(row_file "$r")" ] || { echo "against: no row bench/$r.sh" >&2; exit 2; }
done

out="$root/build-bench"
mkdir -p "$out"
rev="$(git rev-parse --verify "$old^{commit}")"
oldsrc="$out/old-src"
if [ -e "$oldsrc/.git" ]; then
  git -C "$oldsrc" checkout -q --detach --force "$rev"
  git -C "$oldsrc" clean -qfdx
else
  rm -rf "$oldsrc"
  git worktree add -q -f --detach "$oldsrc" "$rev"
fi
build() {  # SOURCE BUILD-DIR
  CCACHE_BASEDIR="$1" CCACHE_NOHASHDIR=1 cmake -S "$1" -B "$2" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DBUILD_TESTING=OFF >/dev/null
  CCACHE_BASEDIR="$1" CCACHE_NOHASHDIR=1 ninja -C "$2" ombra >/dev/null ||
    { echo "against: the build in $2 failed" >&2; ninja -C "$2" ombra | tail -30 >&2; exit 1; }
}
echo "against: building $old ($(git log -1 --format=%h "$rev")) and the working tree" >&2
build "$oldsrc" "$out/old"
build "$root" "$out/new"
export TREETIME="$out/treetime"
cc -O2 -Wall "$root/bench/treetime.c" -o "$TREETIME"
# shellcheck source=bench/paired.sh
BENCH_CORE=$core . "$root/bench/paired.sh"
bench_launcher "$out/old/src/main/ombra" "$oldsrc/share" "$out/old/ombra-run"
bench_launcher "$out/new/src/main/ombra" "$root/share" "$out/new/ombra-run"

run="$out/runs/$(date +%Y%m%d-%H%M%S)"
mkdir -p "$run"
results="$run/results.tsv"
: > "$results"
# What the measure itself costs: a run of /bin/true under treetime.
true_cpu=$(for _ in 1 2 3 4 5 6 7 8 9; do
  "$TREETIME" -a "$run/true.rep" /bin/true
done; awk '{ print ($2 + $4) * 1000 }' "$run/true.rep" | sort -g | sed -n 5p)
{
  echo "against: OLD = $old ($(git log -1 --format=%h "$rev")), NEW = the working tree" \
    "($(git describe --always --dirty)), $pairs pairs, core $core (two cores: $core,$((core + 1)))"
  echo "against: load average $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc --all) cores;" \
    "the measure's own cost: $true_cpu ms of processor time (/bin/true under treetime, median of 9)"
} | tee "$run/head.txt" >&2

export BENCH_AGAINST=1 BENCH_PAIRS="$pairs" BENCH_CORE="$core" BENCH_RESULTS="$results"
export BENCH_OLD_OMBRA="$out/old/ombra-run" BENCH_NEW_OMBRA="$out/new/ombra-run"
export BENCH_OLD_BUILD="$out/old" BENCH_NEW_BUILD="$out/new" BENCH_OLD_SRC="$oldsrc" BENCH_NEW_SRC="$root"
failed=()
for r in "${rows[@]}"; do
  t0=$SECONDS
  f="$(row_file "$r")"
  runner=bash
  [ "${f%.py}" = "$f" ] || runner=/usr/bin/python3
  if BENCH_ROW="$r" "$runner" "$f" > "$run/$r.log" 2>&1; then
    echo "against: $r done in $((SECONDS - t0)) s" >&2
  else
    echo "against: $r failed after $((SECONDS - t0)) s; see $run/$r.log" >&2
    tail -5 "$run/$r.log" >&2
    failed+=("$r")
  fi
done
status=0
cp "$run/head.txt" "$run/table.txt"
/usr/bin/python3 "$root/bench/pairstats.py" "$results" >> "$run/table.txt" || status=$?
[ ${#failed[@]} -eq 0 ] || { echo "rows that failed: ${failed[*]} (logs in $run)" >> "$run/table.txt"; status=1; }
cat "$run/table.txt"
exit "$status"
