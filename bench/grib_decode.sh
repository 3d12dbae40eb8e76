#!/usr/bin/env bash
# Cost of decoding GRIB1 (not part of CI), in instructions per value
# counted by callgrind: a 1440x721 field packed by cdo in 8, 16 and 24
# bits, 12 messages indexed by the index maker.  The count of
# d ave(v,t=1,t=2) is taken from that of d ave(v,t=1,t=12), so what is left
# is the cost of 10 grids read and summed, start-up and the rest dropped.
# The peer, cdo timmean, is counted the same way (12 messages less 2).
# Prints per width the instructions per value of both and last the ratio
# at 16 bits (target: at most 10 per value for Ombra).
# Usage: bench/grib_decode.sh [build-dir]   (default: a Release build in build-bench)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build-bench}"
# shellcheck source=bench/paired.sh
. "$root/bench/paired.sh"
if bench_alone; then
  command -v valgrind >/dev/null || { echo "valgrind is not installed" >&2; exit 1; }
fi
# callgrind counts the program itself, not the launcher that measures it.
exe="$(realpath -m "$build")/src/main/ombra"
nc4_setup "$build"
mkindex_build "$build"
nx=1440 ny=721
./mkfile s12.nc $nx $ny 12 nc3 field
cdo -s seltimestep,1/2 s12.nc s2.nc

# Instructions callgrind counts for the command "$@".
instr() {
  valgrind --tool=callgrind --callgrind-out-file=cg.out "$@" >/dev/null 2>cg.err
  sed -n 's/^summary: //p' cg.out
}

# Instructions per value of one grid: (count at 12 steps - at 2) / 10 grids.
per_value() { echo "($2 - $1) / (10 * $nx * $ny)" | bc -l | xargs printf '%.2f'; }

om16="" cdo16=""
for bits in 8 16 24; do
  for n in 2 12; do cdo -s -f grb -b P$bits setcode,11 s$n.nc g${bits}_$n.grb; done
  cat > g$bits.ctl <<X
dset ^g${bits}_12.grb
index ^g$bits.idx
undef -9.99e8
dtype grib
xdef $nx linear 0 0.25
ydef $ny linear -90 0.25
zdef 1 levels 1000
tdef 12 linear 00z01jan2000 6hr
vars 1
v 0 11,1,0 v
endvars
X
  ./mkindex g$bits.ctl >/dev/null
  for n in 2 12; do
    printf '%s\n' "open g$bits.ctl" "set x 1 $nx" "set y 1 $ny" "set gxout fwrite" \
      "set fwrite -le -st o.bin" "d ave(v,t=1,t=$n)" "disable fwrite" "quit" > c$n
  done
  # Under against.sh: the processor time of the longer mean.
  work_grib() { "$1" -blE < c12; }
  bench_against "d ave of 12 grids of $bits bits" work_grib
  bench_alone || continue
  o=$(per_value "$(instr "$exe" -blE <c2)" "$(instr "$exe" -blE <c12)")
  c=$(per_value "$(instr cdo -s -O timmean g${bits}_2.grb r.grb)" \
                "$(instr cdo -s -O timmean g${bits}_12.grb r.grb)")
  echo "$bits bits: ombra $o, cdo timmean $c instructions per value"
  if [ "$bits" = 16 ]; then om16=$o cdo16=$c; fi
done
bench_alone || exit 0
echo "GRIB1 decoding at 16 bits: ombra $om16 instructions per value (target <= 10), ratio to cdo" \
  "$(echo "$om16 / $cdo16" | bc -l | xargs printf '%.2f')"
