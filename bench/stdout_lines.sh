#!/usr/bin/env bash
# What printing to a pipe costs (not part of CI): a 1,000,000-line
# `gxout print` (one random value a line) and a 200,000-line script `say`
# loop, with standard output a pipe, as in `ombra -blc "run x.gs" | tee log`.
# Prints the median wall time of five runs of each, for every ombra given
# as an argument (default: this tree's build), so that two builds can be
# set side by side; with two, the ratio of the second's times to the
# first's, and that of 200,000 one-line commands (`set cint 60`) piped
# through `cat`, in processor time, nine pairs on one core
# (bench/paired.sh; target at most 1.05 against d65f451, the build before
# standard output had a buffer of the program's own).  Last, the first's
# print against a plain C writer of the same lines (bench/print_floor.c,
# printf through stdio): the ratio (target at most 1.2).  The lines are
# checked to be the same bytes.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
# Under bench/against.sh the builds are its own.
if [ -n "${BENCH_AGAINST:-}" ]; then
  # shellcheck source=bench/paired.sh
  source "$root/bench/paired.sh"
  set --
fi
if [ $# -eq 0 ] && [ -z "${BENCH_AGAINST:-}" ]; then set -- "$root/build/src/main/ombra"; fi
ombras=()
for o in "$@"; do ombras+=("$(realpath "$o")"); done
export OMDDIR="$root/share"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
cc -O2 "$root/bench/print_floor.c" -o floor
python3 -c "
import random, struct
random.seed(5)
vals = [random.uniform(-300, 300) for _ in range(1000000)]
vals[::97] = [-9.99e8] * len(vals[::97])
open('big.dat', 'wb').write(struct.pack('>1000000f', *vals))"
cat > big.ctl <<'C'
dset ^big.dat
undef -9.99e8
options big_endian
xdef 1000 linear 0 0.1
ydef 1000 linear -50 0.1
zdef 1 levels 1000
tdef 1 linear 00z01jan2000 6hr
vars 1
a 0 99 a
endvars
C
printf 'open big.ctl\nset gxout print\nset prnopts %%g 1\nd a\nquit\n' > print.cmds
cat > say.gs <<'C'
i = 0
while (i < 200000)
  say 'line 'i
  i = i + 1
endwhile
C

awk 'BEGIN { for (i = 0; i < 200000; i++) print "set cint 60" }' > cint.cmds
if [ -n "${BENCH_AGAINST:-}" ]; then
  work_print() { "$1" -blE < print.cmds | cat > /dev/null; }
  work_say() { "$1" -blc "run say.gs" | cat > /dev/null; }
  work_cint() { "$1" -blE < cint.cmds | cat > /dev/null; }
  bench_against "gxout print, 1M lines into a pipe" work_print
  bench_against "say, 200k lines into a pipe" work_say
  bench_against "200k one-line commands into a pipe" work_cint
  exit 0
fi

# Median wall time in milliseconds of five runs of "$@" with standard
# input from the file $in, into a pipe; the line count read from the pipe
# must be at least $want.
median() {
  local want=$1 in=$2 t0 t1 n
  shift 2
  local ts=()
  for _ in 1 2 3 4 5; do
    t0=$(date +%s%N)
    n=$("$@" < "$in" | wc -l)
    t1=$(date +%s%N)
    [ "$n" -ge "$want" ] || { echo "only $n lines from $*" >&2; exit 1; }
    ts+=($(((t1 - t0) / 1000000)))
  done
  printf '%s\n' "${ts[@]}" | sort -n | sed -n 3p
}

./floor big.dat > floor.txt
ps=() ss=()
for ombra in "${ombras[@]}"; do
  "$ombra" -blE < print.cmds | awk 'f && NR <= n; /Printing Grid/ { f = 1; n = NR + 1000000 }' > o.txt
  cmp -s o.txt floor.txt || { echo "$ombra: the printed lines differ from printf's" >&2; exit 1; }
  p=$(median 1000000 print.cmds "$ombra" -blE)
  s=$(median 200000 /dev/null "$ombra" -blc "run say.gs")
  ps+=("$p") ss+=("$s")
  echo "$ombra: gxout print 1M lines ${p} ms, say 200k lines ${s} ms"
done
if [ ${#ombras[@]} -eq 2 ]; then
  echo "second/first: gxout print $(echo "scale=2; ${ps[1]} / ${ps[0]}" | bc)," \
    "say $(echo "scale=2; ${ss[1]} / ${ss[0]}" | bc)"
fi
f=$(median 1000000 /dev/null ./floor big.dat)
echo "gxout print against the C writer (${f} ms): ratio $(echo "scale=2; ${ps[0]} / $f" | bc) (target <= 1.2)"
if [ ${#ombras[@]} -eq 2 ]; then
  export BENCH_RUNS=9
  # shellcheck source=bench/paired.sh
  source "$root/bench/paired.sh"
  # The processor time of the ombra given alone (its subshell's children),
  # not of the cat that reads it.
  commands() {
    ( "${ombras[$1]}" -blE < cint.cmds; times > cpu.txt ) | cat > /dev/null
    awk 'function sec(t) { split(t, p, "m"); return p[1] * 60 + substr(p[2], 1, length(p[2]) - 1) }
         NR == 2 { print sec($1) + sec($2) }' cpu.txt
  }
  a=() b=()
  for ((k = 0; k < bench_runs; k++)); do
    a+=("$(commands 0)")
    b+=("$(commands 1)")
  done
  ma=$(printf '%s\n' "${a[@]}" | sort -g | sed -n "$(((bench_runs + 1) / 2))p")
  mb=$(printf '%s\n' "${b[@]}" | sort -g | sed -n "$(((bench_runs + 1) / 2))p")
  echo "200k one-line commands into a pipe: $ma s, $mb s of processor time: second/first $(ratio "$mb" "$ma")" \
    "(target <= 1.05)"
fi
