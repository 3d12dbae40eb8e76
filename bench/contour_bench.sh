#!/usr/bin/env bash
# Contour benchmark (not part of CI).
#
# Ombra draws shaded contours plus 20 labelled contour lines of a 1440x721
# global field, with the lowres map outlines, into an 1100x850 PNG.  The
# peer is matplotlib (Debian package python3-matplotlib, Agg backend):
# contourf + contour + clabel of the same field and the same levels, saved
# as an 1100x850 PNG.  Each run is a whole process reading the same binary
# file; the best of three counts.  Prints both times, the ratio (target at
# most 0.5) and the peak memory of one Ombra run.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
if ! /usr/bin/python3 -c "import matplotlib" 2>/dev/null; then
  apt-get install -y python3-matplotlib >/dev/null
fi
build="${BUILD:-$root/build-bench-contour}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C "$build" ombra >/dev/null
ombra="$build/src/main/ombra"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
export OMDDIR="$root/share"

nx=1440; ny=721
/usr/bin/python3 - "$work/field.bin" $nx $ny <<'PY'
import sys
import numpy as np
path, nx, ny = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
lon = np.radians(np.arange(nx) * 0.25)
lat = np.radians(-90 + np.arange(ny) * 0.25)
x, y = np.meshgrid(lon, lat)
z = (20 * np.sin(3 * x) * np.cos(2 * y) + 8 * np.cos(7 * x + 3 * y) * np.cos(y)
     + 2 * np.sin(15 * x) * np.sin(11 * y))
z.astype('>f4').tofile(path)
PY
cat > field.ctl <<CTL
dset ^field.bin
undef -9.99e8
options big_endian
xdef $nx linear 0 0.25
ydef $ny linear -90 0.25
zdef 1 levels 1000
tdef 1 linear 0z1jan2000 6hr
vars 1
z 0 99 analytic field
endvars
CTL
# 20 levels from -28.5 by 3: the same for both.
cat > plot.exec <<'EXEC'
open field.ctl
set lon 0 359.75
set gxout shaded
set cint 3
d z
set gxout contour
set ccolor 1
set cint 3
d z
printim ours.png x1100 y850 white
quit
EXEC
cat > peer.py <<'PY'
import sys
import numpy as np
import matplotlib
matplotlib.use("Agg")
import matplotlib.pyplot as plt
nx, ny = 1440, 721
z = np.fromfile("field.bin", dtype=">f4").reshape(ny, nx)
lon = np.arange(nx) * 0.25
lat = -90 + np.arange(ny) * 0.25
levels = np.arange(-30, 31, 3)
fig = plt.figure(figsize=(11, 8.5), dpi=100)
ax = fig.add_axes([0.05, 0.1, 0.9, 0.8])
ax.contourf(lon, lat, z, levels=levels, cmap="jet", extend="both")
cs = ax.contour(lon, lat, z, levels=levels[1:-1], colors="k", linewidths=0.5)
ax.clabel(cs, fmt="%g", fontsize=7)
fig.savefig("peer.png", dpi=100)
PY
cat field.bin >/dev/null

best() {  # best wall time in seconds of three runs of "$@"
  local b=999
  for _ in 1 2 3; do
    local s e t
    s=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    e=$(date +%s.%N)
    t=$(echo "$e - $s" | bc -l)
    if (( $(echo "$t < $b" | bc -l) )); then b=$t; fi
  done
  echo "$b"
}
ours=$(best "$ombra" -blc "exec plot.exec")
peer=$(best /usr/bin/python3 peer.py)
test -s ours.png && test -s peer.png
mem=$(/usr/bin/time -f %M "$ombra" -blc "exec plot.exec" 2>&1 >/dev/null | tail -1)
/usr/bin/python3 - ours.png peer.png <<'PY'
import sys, struct
for f in sys.argv[1:]:
    with open(f, "rb") as h:
        b = h.read(24)
    print("%s: %dx%d" % (f, *struct.unpack(">II", b[16:24])))
PY
echo "ombra: ${ours}s  matplotlib: ${peer}s  ombra peak memory: ${mem} KiB"
/usr/bin/python3 -c "print('contour ratio %.2f (target 0.5 or less)' % ($ours / $peer))"
