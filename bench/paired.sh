# Helpers for benchmarks that compare Ombra with a peer (sourced, not run).
# Runs are pinned to one core (BENCH_CORE, default 2) and made in pairs,
# Ombra then the peer, so that a busy moment of a shared machine weighs
# on both; the median of BENCH_RUNS pairs (default 5) counts.
#
# Under bench/against.sh (BENCH_AGAINST set) a row runs its Ombra
# workloads only, each with an older and a newer build in pairs
# (bench_against), and leaves its peer out (bench_alone is false).

bench_core="${BENCH_CORE:-2}"
bench_runs="${BENCH_RUNS:-5}"
# Two cores, for what the program and its helper process may do at once.
bench_cores2="${BENCH_CORES2:-$bench_core,$((bench_core + 1))}"
# The script itself moves to the core: every run it starts stays there.
taskset -cp "$bench_core" $$ >/dev/null

# True when the row runs alone, against its peer; false under against.sh.
bench_alone() { [ -z "${BENCH_AGAINST:-}" ]; }

# bench_against [-c 2] [-m METRICS] LABEL WORK: under against.sh, runs WORK
# with the older and the newer build alternately, BENCH_PAIRS pairs, the
# first of each pair taking turns, and appends what each run of the
# program measured to BENCH_RESULTS (bench/pairstats.py reads it).  WORK is
# a function that runs the row's Ombra workload with the program given as
# $1 (a launcher that measures it, with its own build's data directory)
# and the side, old or new, as $2; its output is dropped.  One run of each
# build comes first, not counted.  -c 2: the runs
# have two cores (BENCH_CORES2) rather than one; -m: what the row reports
# of them, comma-separated, among cpu (the default), wall and peak (the
# largest peak resident size of one process).  Alone, does nothing.
bench_against() {
  # Every local is named bench_*: none may hide a name the row's workload
  # uses ($work, $kind, ...).
  local bench_cores="" bench_metrics=cpu
  while [ $# -gt 2 ]; do
    case "$1" in
      -c) [ "$2" = 1 ] || bench_cores=$bench_cores2; shift 2 ;;
      -m) bench_metrics=$2; shift 2 ;;
      *) break ;;
    esac
  done
  bench_alone && return 0
  local bench_label=$1 bench_fn=$2 bench_k bench_side bench_rep bench_vals bench_prog bench_failed
  local bench_row="${BENCH_ROW:-$(basename "$0" .sh)}" bench_order
  [ -z "$bench_cores" ] || bench_label="$bench_label, 2 cores"
  bench_rep="$(mktemp)"
  # One run of each first, not counted: the first run of a build finds
  # neither its program nor the files its run leaves in the caches.
  [ -z "$bench_cores" ] || taskset -cp "$bench_cores" $$ >/dev/null
  for bench_side in old new; do
    bench_prog=$BENCH_NEW_OMBRA
    [ "$bench_side" = new ] || bench_prog=$BENCH_OLD_OMBRA
    "$bench_fn" "$bench_prog" "$bench_side" </dev/null >/dev/null 2>&1 || true
  done
  [ -z "$bench_cores" ] || taskset -cp "$bench_core" $$ >/dev/null
  for ((bench_k = 1; bench_k <= ${BENCH_PAIRS:-5}; bench_k++)); do
    bench_order=(old new)
    [ $((bench_k % 2)) = 1 ] || bench_order=(new old)
    for bench_side in "${bench_order[@]}"; do
      bench_prog=$BENCH_NEW_OMBRA
      [ "$bench_side" = new ] || bench_prog=$BENCH_OLD_OMBRA
      : > "$bench_rep"
      [ -z "$bench_cores" ] || taskset -cp "$bench_cores" $$ >/dev/null
      bench_failed=0
      BENCH_REPORT="$bench_rep" "$bench_fn" "$bench_prog" "$bench_side" </dev/null >/dev/null 2>&1 ||
        bench_failed=1
      [ -z "$bench_cores" ] || taskset -cp "$bench_core" $$ >/dev/null
      # A run sums what every run of the program in it measured.
      bench_vals=$(awk -v f="$bench_failed" '{ u += $2; s += $4; w += $6; if ($8 > m) m = $8
          if ($10 != "exit" || $11 != 0) f++; n++ }
        END { if (!n) f++; printf "%.6f\t%.6f\t%.6f\t%d\t%d", u, s, w, m, f }' "$bench_rep")
      printf '%s\t%s\t%s\t%d\t%s\t%s\n' "$bench_row" "$bench_label" "$bench_metrics" "$bench_k" \
        "$bench_side" "$bench_vals" >> "$BENCH_RESULTS"
      echo "$bench_row: $bench_label: pair $bench_k, $bench_side:" \
        "$(cut -f1-3 <<<"$bench_vals" | tr '\t' ' ') (user sys wall)" >&2
    done
  done
  rm -f "$bench_rep"
}

# bench_launcher OMBRA SHARE OUT: writes OUT, a program that runs OMBRA with
# the data directory SHARE under bench/treetime (TREETIME: its built
# program), which counts every process the program starts, those it does
# not wait for included, and appends its measures to BENCH_REPORT where
# that is set.  A shell that waits for OUT then has the whole tree in its
# children's times.
bench_launcher() {
  printf '#!/bin/sh\nOMDDIR=%q\nexport OMDDIR\nexec %q ${BENCH_REPORT:+-a "$BENCH_REPORT"} %q "$@"\n' \
    "$2" "$TREETIME" "$1" > "$3"
  chmod +x "$3"
}

# Seconds of one run of "$@", output dropped: wall time, or with
# BENCH_CLOCK=cpu the processor time (user and system) of the processes it
# ran and waited for, for a machine whose other work makes wall times
# noisy.  A process left running when the run ends (a helper its program
# did not wait for) is counted only where the program runs under
# bench/treetime, as the $ombra of bench_work does.
bench_time() {
  local s e
  if [ "${BENCH_CLOCK:-wall}" = cpu ]; then
    times > "${TMPDIR:-/tmp}/bench_times.$$"
    "$@" >/dev/null 2>&1
    times >> "${TMPDIR:-/tmp}/bench_times.$$"
    # The second line of each is what the shell's children used.
    awk 'function sec(t) { split(t, p, "m"); return p[1] * 60 + substr(p[2], 1, length(p[2]) - 1) }
         NR == 2 { s = sec($1) + sec($2) } NR == 4 { e = sec($1) + sec($2) } END { print e - s }' \
      "${TMPDIR:-/tmp}/bench_times.$$"
    rm -f "${TMPDIR:-/tmp}/bench_times.$$"
    return
  fi
  s=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  e=$(date +%s.%N)
  echo "$e - $s" | bc -l
}

# bench_pair A B: A and B are names of functions (or commands) taking no
# arguments.  Sets pair_a and pair_b to the median times of the pairs.
bench_pair() {
  local a=() b=() k
  for ((k = 0; k < bench_runs; k++)); do
    a+=("$(bench_time "$1")")
    b+=("$(bench_time "$2")")
  done
  pair_a=$(printf '%s\n' "${a[@]}" | sort -g | sed -n "$(((bench_runs + 1) / 2))p")
  pair_b=$(printf '%s\n' "${b[@]}" | sort -g | sed -n "$(((bench_runs + 1) / 2))p")
}

# bench_work BUILD: builds ombra in BUILD (sets $ombra: the program run
# under bench/treetime, see bench_launcher), moves to a fresh work
# directory removed at exit, with the data directory of this tree, and
# builds ./mkfile, the writer of the netCDF test files (bench/sdf_mkfile.c).
# Under against.sh BUILD is left alone and $ombra is the newer build's.
bench_work() {
  work="$(mktemp -d)"
  trap 'rm -rf "$work"' EXIT
  if bench_alone; then
    ninja -C "$1" ombra >/dev/null
    TREETIME="$work/treetime"
    cc -O2 "$root/bench/treetime.c" -o "$TREETIME"
    bench_launcher "$(realpath "$1")/src/main/ombra" "$root/share" "$work/ombra"
    ombra="$work/ombra"
  else
    ombra="$BENCH_NEW_OMBRA"
  fi
  cd "$work"
  export OMDDIR="$root/share"
  cc -O2 "$root/bench/sdf_mkfile.c" -o mkfile -lnetcdf -lm
}

# nc4_setup BUILD: the set-up of the netCDF-4 benches against cdo: installs
# cdo if missing, makes a Release build in BUILD, then bench_work.
nc4_setup() {
  local build="$1"
  command -v cdo >/dev/null || apt-get install -y cdo >/dev/null
  if bench_alone && [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  fi
  bench_work "$build"
}

# bench_measure CMD...: runs CMD under bench/treetime, measured as the
# launchers of bench_against measure the program: for a workload that is a
# program of a row's own, built for each side (bench_cpp).
bench_measure() { "$TREETIME" ${BENCH_REPORT:+-a "$BENCH_REPORT"} "$@"; }

# bench_cpp SOURCE BUILD NAME OUT: builds OUT from SOURCE/bench/NAME.cpp
# with the libraries of the build of the tree SOURCE in BUILD, linked as
# the program links them there (its link line in BUILD/build.ninja).
bench_cpp() {
  local w args=()
  [ -f "$1/bench/$3.cpp" ] || { echo "$1 has no bench/$3.cpp" >&2; return 1; }
  for w in $(awk '/^build src\/main\/ombra:/ { f = 1 }
                  f && /^ *LINK_LIBRARIES = / { sub(/^ *LINK_LIBRARIES = /, ""); print; exit }' "$2/build.ninja"); do
    case "$w" in
      src/*) args+=("$2/$w") ;;
      *) args+=("$w") ;;
    esac
  done
  [ ${#args[@]} -gt 0 ] || { echo "no link line of the program in $2/build.ninja" >&2; return 1; }
  g++ -std=c++17 -O2 -DNDEBUG -I"$1/src" "$1/bench/$3.cpp" \
    -Wl,--start-group "${args[@]}" -Wl,--end-group -o "$4"
}

# bench_cpp_against NAME DIR [ARG...]: under against.sh, builds
# bench/NAME.cpp of each side's tree with its libraries (in DIR) and runs
# the two in pairs with the arguments given (bench_against).
bench_cpp_against() {
  local name=$1 dir=$2
  shift 2
  bench_cpp "$BENCH_OLD_SRC" "$BENCH_OLD_BUILD" "$name" "$dir/$name.old"
  bench_cpp "$BENCH_NEW_SRC" "$BENCH_NEW_BUILD" "$name" "$dir/$name.new"
  cpp_args=("$@")
  cpp_prog="$dir/$name"
  work_cpp() { bench_measure "$cpp_prog.$2" "${cpp_args[@]}"; }
  bench_against "$name.cpp, the whole program" work_cpp
}

# mkindex_build BUILD: builds ./mkindex (bench/grib_mkindex.cpp), which
# writes the index of a GRIB file with this tree's libraries in BUILD (under
# against.sh, the newer build's).
mkindex_build() {
  if bench_alone; then bench_cpp "$root" "$1" grib_mkindex mkindex; else bench_cpp "$root" "$BENCH_NEW_BUILD" grib_mkindex mkindex; fi
}

# largest_diff BIN TXT: the largest difference between the little-endian
# floats of BIN (gxout fwrite) and the numbers of TXT (cdo outputf); fails
# when their counts differ.
largest_diff() {
  /usr/bin/python3 - "$1" "$2" <<'PY'
import struct, sys
a = open(sys.argv[1], "rb").read()
a = struct.unpack("<%df" % (len(a) // 4), a)
b = [float(x) for x in open(sys.argv[2]).read().split()]
if len(a) != len(b):
    sys.exit("sizes differ: %d and %d" % (len(a), len(b)))
print("%.3g" % max(abs(x - y) for x, y in zip(a, b)))
PY
}

# ratio A B: A / B to two decimals.
ratio() { echo "$1 / $2" | bc -l | xargs printf '%.2f'; }

# fldmean_pair WHAT STEPS: d tloop(aave(v,global)) over the STEPS steps of
# the variable v of s.nc, written with gxout fwrite, against cdo fldmean of
# the same file, in pairs; prints the times, the largest difference from
# cdo's means and last the ratio (target at most 0.8).
fldmean_pair() {
  local what=$1 nt=$2
  cat s.nc >/dev/null
  printf '%s\n' "sdfopen s.nc" "set x 1" "set y 1" "set t 1 $nt" "set gxout fwrite" \
    "set fwrite -le -st o.bin" "d tloop(aave(v,global))" "disable fwrite" "quit" > cmds
  work_fldmean() { "$1" -blE < cmds; }
  bench_against "tloop(aave) over $what, $nt steps" work_fldmean
  bench_alone || return 0
  run_ombra() { work_fldmean "$ombra"; }
  run_cdo() { cdo -s -O fldmean s.nc r.nc; }
  bench_pair run_ombra run_cdo
  cdo -s outputf,%.9g,1 r.nc > r.txt
  echo "ombra $pair_a s, cdo $pair_b s; largest difference $(largest_diff o.bin r.txt)"
  echo "tloop(aave) over $what, $nt steps: ratio $(ratio "$pair_a" "$pair_b") (target <= 0.8)"
}
