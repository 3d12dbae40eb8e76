#!/usr/bin/env bash
# Many time means of a small field (not part of CI): MEANS (default 200)
# displays of d ave(z,t=1,t=21) of 144x73 heights over 21 steps in one
# session, written with gxout fwrite, from a netCDF-4 file of floats and
# from a classic file of packed shorts (scale_factor, add_offset and a
# missing value), against the plain C floor (bench/nc_floor.c means) doing
# the same means through the netCDF library in one process, in paired runs
# pinned to one core (bench/paired.sh).  Prints the times and the largest
# differences from the floor's means, last the ratio of the packed file.
# Usage: bench/nc_heights.sh [build-dir] [means]
#   (default: a Release build in build-nc4-bench)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build-nc4-bench}"
means="${2:-200}"
# shellcheck source=bench/paired.sh
. "$root/bench/paired.sh"
nc4_setup "$build"
cc -O2 "$root/bench/nc_floor.c" -o floor -lnetcdf -lm
# The same heights twice: floats in netCDF-4, packed shorts in a classic
# file (0.1 m steps from 5000 m), one point missing at one step.
/usr/bin/python3 - <<'PY'
import numpy as np
nt, ny, nx = 21, 73, 144
lat = np.radians(np.linspace(-90, 90, ny))[None, :, None]
lon = np.radians(np.arange(nx) * 2.5)[None, None, :]
t = np.arange(nt)[:, None, None]
rng = np.random.default_rng(7)
z = 5500 + 300 * np.cos(lat) + 80 * np.cos(lat) * np.sin(3 * lon + 0.2 * t) + rng.normal(0, 3, (nt, ny, nx))
packed = np.round((z - 5000) / 0.1).astype(int)
packed[4, 10, 20] = -32767
def cdl(name, vtype, attrs, vals, fmt):
    lines = ["netcdf %s {" % name, "dimensions: lon = %d ; lat = %d ; time = UNLIMITED ;" % (nx, ny),
             "variables:", ' float lon(lon) ; lon:units = "degrees_east" ;',
             ' float lat(lat) ; lat:units = "degrees_north" ;',
             ' double time(time) ; time:units = "days since 2000-01-01" ;',
             " %s z(time, lat, lon) ;%s" % (vtype, attrs), "data:",
             " lon = " + ", ".join("%g" % (2.5 * i) for i in range(nx)) + " ;",
             " lat = " + ", ".join("%g" % (-90 + 2.5 * j) for j in range(ny)) + " ;",
             " time = " + ", ".join(str(k) for k in range(nt)) + " ;",
             " z = " + ", ".join(fmt % v for v in vals.ravel()) + " ;", "}"]
    with open(name + ".cdl", "w") as f:
        f.write("\n".join(lines) + "\n")
cdl("hf", "float", "", z.astype(np.float32), "%.7g")
cdl("hp", "short", " z:scale_factor = 0.1f ; z:add_offset = 5000.f ; z:missing_value = -32767s ;", packed, "%d")
PY
ncgen -k nc4 -o hf.nc hf.cdl
ncgen -k classic -o hp.nc hp.cdl
rm -f hf.cdl hp.cdl
results=()
for f in hf hp; do
  {
    printf '%s\n' "sdfopen $f.nc" "set x 1 144" "set y 1 73" "set gxout fwrite" "set fwrite -le -st o$f.bin"
    for ((k = 0; k < means; k++)); do echo "d ave(z,t=1,t=21)"; done
    printf '%s\n' "disable fwrite" "quit"
  } > "c$f"
  what="netCDF-4 floats"
  [ "$f" = hf ] || what="classic packed shorts"
  eval "work_$f() { \"\$1\" -blE < c$f; }"
  bench_against "$means means, $what" "work_$f"
  bench_alone || continue
  eval "run_ombra_$f() { work_$f \"\$ombra\"; }"
  eval "run_floor_$f() { ./floor means $f.nc z $means f$f.bin; }"
  bench_pair "run_ombra_$f" "run_floor_$f"
  diff=$(/usr/bin/python3 - "o$f.bin" "f$f.bin" "$means" <<'PY'
import sys
import numpy as np
a = np.fromfile(sys.argv[1], "<f4")
b = np.fromfile(sys.argv[2], "<f4")
if a.size != b.size * int(sys.argv[3]):
    sys.exit("sizes differ: %d and %d means of %d" % (a.size, int(sys.argv[3]), b.size))
print("%.3g" % np.abs(a[-b.size:] - b).max())
PY
)
  echo "$means means, $what: ombra $pair_a s, floor $pair_b s, largest difference $diff"
  results+=("$means time means of 144x73x21 heights, $what: ratio $(ratio "$pair_a" "$pair_b")")
done
bench_alone || exit 0
printf '%s\n' "${results[@]}"
