#!/usr/bin/env bash
# Contour benchmark (not part of CI).
#
# Ombra draws shaded contours plus 20 labelled contour lines of a global
# field, with the lowres map outlines, into an 1100x850 PNG.  The peer is
# matplotlib (Debian package python3-matplotlib, Agg backend): contourf +
# contour + clabel of the same field and the same levels, saved as an
# 1100x850 PNG.  Each run is a whole process reading the same binary file,
# in paired runs pinned to one core (bench/paired.sh), at three grid sizes:
# 360x181, 1440x721 and 2880x1441.  Prints both times and the ratio of
# each size (targets at most 0.15 at 1440x721 and 0.2 at 2880x1441; the
# last line is the largest grid) and the peak memory of one Ombra run.
# Usage: bench/contour_bench.sh   (BUILD: build dir, default build-bench-contour)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
# shellcheck source=bench/paired.sh
. "$root/bench/paired.sh"
if bench_alone; then
  if ! /usr/bin/python3 -c "import matplotlib" 2>/dev/null; then
    apt-get install -y python3-matplotlib >/dev/null
  fi
  build="${BUILD:-$root/build-bench-contour}"
  if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  fi
  ninja -C "$build" ombra >/dev/null
  ombra="$build/src/main/ombra"
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
export OMDDIR="$root/share"

# One size: field, descriptor, command file and peer script, then the runs.
onesize() {
  local nx=$1 ny=$2 d
  d=$(/usr/bin/python3 -c "print(360 / $nx)")
  /usr/bin/python3 - "field$nx.bin" "$nx" "$ny" <<'PY'
import sys
import numpy as np
path, nx, ny = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
d = np.radians(360.0 / nx)
lon = np.arange(nx) * d
lat = np.radians(-90.0) + np.arange(ny) * d
x, y = np.meshgrid(lon, lat)
z = (20 * np.sin(3 * x) * np.cos(2 * y) + 8 * np.cos(7 * x + 3 * y) * np.cos(y)
     + 2 * np.sin(15 * x) * np.sin(11 * y))
z.astype('>f4').tofile(path)
PY
  cat > "field$nx.ctl" <<CTL
dset ^field$nx.bin
undef -9.99e8
options big_endian
xdef $nx linear 0 $d
ydef $ny linear -90 $d
zdef 1 levels 1000
tdef 1 linear 0z1jan2000 6hr
vars 1
z 0 99 analytic field
endvars
CTL
  # 20 levels from -28.5 by 3: the same for both.
  cat > "plot$nx.exec" <<EXEC
open field$nx.ctl
set lon 0 $(/usr/bin/python3 -c "print(360 - $d)")
set gxout shaded
set cint 3
d z
set gxout contour
set ccolor 1
set cint 3
d z
printim ours$nx.png x1100 y850 white
quit
EXEC
  cat > "peer$nx.py" <<PY
import numpy as np
import matplotlib
matplotlib.use("Agg")
import matplotlib.pyplot as plt
nx, ny = $nx, $ny
d = 360.0 / nx
z = np.fromfile("field$nx.bin", dtype=">f4").reshape(ny, nx)
lon = np.arange(nx) * d
lat = -90 + np.arange(ny) * d
levels = np.arange(-30, 31, 3)
fig = plt.figure(figsize=(11, 8.5), dpi=100)
ax = fig.add_axes([0.05, 0.1, 0.9, 0.8])
ax.contourf(lon, lat, z, levels=levels, cmap="jet", extend="both")
cs = ax.contour(lon, lat, z, levels=levels[1:-1], colors="k", linewidths=0.5)
ax.clabel(cs, fmt="%g", fontsize=7)
fig.savefig("peer$nx.png", dpi=100)
PY
  cat "field$nx.bin" >/dev/null
  eval "work_$nx() { \"\$1\" -blc 'exec plot$nx.exec'; }"
  bench_against "${nx}x$ny" "work_$nx"
  bench_alone || return 0
  eval "run_ours_$nx() { work_$nx \"\$ombra\"; }"
  eval "run_peer_$nx() { /usr/bin/python3 peer$nx.py; }"
  bench_pair "run_ours_$nx" "run_peer_$nx"
  test -s "ours$nx.png" && test -s "peer$nx.png"
  /usr/bin/python3 -c "print('${nx}x$ny: ombra %.3f s, matplotlib %.3f s' % ($pair_a, $pair_b))"
  ratios+=("$(/usr/bin/python3 -c "print('contour ratio at ${nx}x$ny %.2f' % ($pair_a / $pair_b))")")
}

ratios=()
onesize 360 181
onesize 1440 721
onesize 2880 1441
bench_alone || exit 0
mem=$(/usr/bin/time -f %M "$ombra" -blc "exec plot2880.exec" 2>&1 >/dev/null | tail -1)
echo "ombra peak memory at 2880x1441: ${mem} KiB"
echo "${ratios[0]}"
echo "${ratios[1]} (target 0.15 or less)"
echo "${ratios[2]} (target 0.2 or less)"
