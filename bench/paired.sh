# Helpers for benchmarks that compare Ombra with a peer (sourced, not run).
# Runs are pinned to one core (BENCH_CORE, default 2) and made in pairs,
# Ombra then the peer, so that a busy moment of a shared machine weighs
# on both; the median of BENCH_RUNS pairs (default 5) counts.

bench_core="${BENCH_CORE:-2}"
bench_runs="${BENCH_RUNS:-5}"
# The script itself moves to the core: every run it starts stays there.
taskset -cp "$bench_core" $$ >/dev/null

# Seconds of one run of "$@", output dropped: wall time, or with
# BENCH_CLOCK=cpu the processor time (user and system) of the processes it
# ran and waited for, for a machine whose other work makes wall times
# noisy.  A process left running when the run ends (a helper its program
# did not wait for) is not counted: compare such builds by wall time.
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

# bench_work BUILD: builds ombra in BUILD (sets $ombra), moves to a fresh
# work directory removed at exit, with the data directory of this tree,
# and builds ./mkfile, the writer of the netCDF test files
# (bench/sdf_mkfile.c).
bench_work() {
  ninja -C "$1" ombra >/dev/null
  ombra="$1/src/main/ombra"
  work="$(mktemp -d)"
  trap 'rm -rf "$work"' EXIT
  cd "$work"
  export OMDDIR="$root/share"
  cc -O2 "$root/bench/sdf_mkfile.c" -o mkfile -lnetcdf -lm
}

# nc4_setup BUILD: the set-up of the netCDF-4 benches against cdo: installs
# cdo if missing, makes a Release build in BUILD, then bench_work.
nc4_setup() {
  local build="$1"
  command -v cdo >/dev/null || apt-get install -y cdo >/dev/null
  if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  fi
  bench_work "$build"
}

# mkindex_build BUILD: builds ./mkindex (bench/grib_mkindex.cpp), which
# writes the index of a GRIB file with this tree's libraries in BUILD.
mkindex_build() {
  local libs
  libs=$(ls "$1"/src/*/libom_*.a)
  # shellcheck disable=SC2086
  g++ -std=c++17 -O2 -I"$root/src" "$root/bench/grib_mkindex.cpp" \
    -Wl,--start-group $libs -Wl,--end-group \
    -lgd -lnetcdf -lmfhdfalt -ldfalt -ludunits2 -lopenjp2 -lpng -laec -lreadline -lX11 -o mkindex
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
  run_ombra() { "$ombra" -blE < cmds; }
  run_cdo() { cdo -s -O fldmean s.nc r.nc; }
  bench_pair run_ombra run_cdo
  cdo -s outputf,%.9g,1 r.nc > r.txt
  echo "ombra $pair_a s, cdo $pair_b s; largest difference $(largest_diff o.bin r.txt)"
  echo "tloop(aave) over $what, $nt steps: ratio $(ratio "$pair_a" "$pair_b") (target <= 0.8)"
}
