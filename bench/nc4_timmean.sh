#!/usr/bin/env bash
# Time mean over netCDF-4 (not part of CI): sdfopen then d ave(v,t=1,t=N)
# of a 360x181 float variable stored one chunk per time step, against cdo
# timmean of the same file, for N = 250, 1000 and 2000 steps in paired
# runs pinned to one core (bench/paired.sh).  Prints the cost per step of
# each between those lengths (differences of times, so start-up drops out:
# flat when nothing grows with the step count), the largest difference
# from cdo's means, at 2000 steps the ratios of the processor time of the
# whole process tree (the helper counted) on one core and on two and of
# the wall time on two, and last the ratio at 2000 steps (target at most
# 0.8).
# Usage: bench/nc4_timmean.sh [build-dir]   (default: a Release build in build-nc4-bench)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build-nc4-bench}"
# shellcheck source=bench/paired.sh
. "$root/bench/paired.sh"
nc4_setup "$build"
declare -A ours peer
for n in 250 1000 2000; do
  ./mkfile "s$n.nc" 360 181 "$n" nc4
  cat "s$n.nc" >/dev/null
  printf '%s\n' "sdfopen s$n.nc" "set x 1 360" "set y 1 181" "set gxout fwrite" \
    "set fwrite -le -st o$n.bin" "d ave(v,t=1,t=$n)" "disable fwrite" "quit" > "c$n"
  eval "work_$n() { \"\$1\" -blE < c$n; }"
  bench_against "time mean, $n steps" "work_$n"
  bench_alone || continue
  eval "run_ombra_$n() { work_$n \"\$ombra\"; }"
  eval "run_cdo_$n() { cdo -s -O timmean s$n.nc r$n.nc; }"
  bench_pair "run_ombra_$n" "run_cdo_$n"
  ours[$n]=$pair_a
  peer[$n]=$pair_b
done
bench_against -c 2 -m cpu,wall "time mean, 2000 steps" work_2000
bench_alone || exit 0
BENCH_CLOCK=cpu bench_pair run_ombra_2000 run_cdo_2000
cpu1=("$pair_a" "$pair_b")
taskset -cp "$bench_cores2" $$ >/dev/null
BENCH_CLOCK=cpu bench_pair run_ombra_2000 run_cdo_2000
cpu2=("$pair_a" "$pair_b")
bench_pair run_ombra_2000 run_cdo_2000
wall2=("$pair_a" "$pair_b")
taskset -cp "$bench_core" $$ >/dev/null
cdo -s outputf,%.9g,1 r2000.nc > r2000.txt
/usr/bin/python3 - "${ours[250]}" "${peer[250]}" "${ours[1000]}" "${peer[1000]}" \
  "${ours[2000]}" "${peer[2000]}" "${cpu1[@]}" "${cpu2[@]}" "${wall2[@]}" <<'PY'
import struct, sys
o250, c250, o1000, c1000, o2000, c2000 = map(float, sys.argv[1:7])
cpu1, cpu2, wall2 = [tuple(map(float, sys.argv[k:k + 2])) for k in (7, 9, 11)]
a = open("o2000.bin", "rb").read()
a = struct.unpack("<%df" % (len(a) // 4), a)
b = [float(x) for x in open("r2000.txt").read().split()]
if len(a) != len(b):
    sys.exit("sizes differ: %d and %d" % (len(a), len(b)))
diff = max(abs(x - y) for x, y in zip(a, b))
for n, o, c in ((250, o250, c250), (1000, o1000, c1000), (2000, o2000, c2000)):
    print(f"{n} steps: ombra {o:.3f} s, cdo {c:.3f} s, ratio {o / c:.2f}")
print(f"largest difference from cdo at 2000 steps: {diff:.3g}")
for (n1, o1, c1), (n2, o2, c2) in (((250, o250, c250), (1000, o1000, c1000)),
                                   ((1000, o1000, c1000), (2000, o2000, c2000))):
    print(f"per step from {n1} to {n2}: ombra {(o2 - o1) / (n2 - n1) * 1000:.3f} ms, "
          f"cdo {(c2 - c1) / (n2 - n1) * 1000:.3f} ms")
for what, (o, c) in (("processor time, one core", cpu1), ("processor time, two cores", cpu2),
                     ("wall time, two cores", wall2)):
    print(f"2000 steps, {what}: ombra {o:.3f} s, cdo {c:.3f} s, ratio {o / c:.2f}")
print(f"time mean over netCDF-4, 2000 steps: ratio {o2000 / c2000:.2f} (target <= 0.8)")
PY
