#!/usr/bin/env bash
# gxout print against a plain C writer (not part of CI): 1,000,000 values
# of a 1000x1000 grid of random floats, one a line (set prnopts %g 1), into
# a pipe, against bench/print_floor.c, which writes the same lines with
# printf and stdio.  The lines are checked to be the same bytes.  Given a
# second build, it runs too.  Paired runs pinned to one core
# (bench/paired.sh), CPU time of each (BENCH_CLOCK=cpu) or wall time;
# the ratio to the C writer comes last (target at most 1.2).
# Usage: bench/print_values.sh [build-dir] [other-build-dir]
#   (default: this tree's build)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
other="${2:+$(cd "$2" && pwd)}"
# shellcheck source=bench/paired.sh
. "$root/bench/paired.sh"
ninja -C "$build" ombra >/dev/null
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
export OMDDIR="$root/share"
cc -O2 "$root/bench/print_floor.c" -o floor
/usr/bin/python3 -c "
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
./floor big.dat > floor.txt
for b in "$build" ${other:+"$other"}; do
  "$b/src/main/ombra" -blE < print.cmds | awk 'f && NR <= n; /Printing Grid/ { f = 1; n = NR + 1000000 }' > o.txt
  cmp -s o.txt floor.txt || { echo "$b: the printed lines differ from printf's" >&2; exit 1; }
done
run_floor() { ./floor big.dat | cat; }
for b in "$build" ${other:+"$other"}; do
  eval "run_this() { \"$b/src/main/ombra\" -blE < print.cmds | cat; }"
  bench_pair run_this run_floor
  echo "$b: gxout print of 1,000,000 values $pair_a s, the C writer $pair_b s, ratio $(ratio "$pair_a" "$pair_b") (target <= 1.2)"
done
