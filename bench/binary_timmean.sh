#!/usr/bin/env bash
# Time mean of binary data (not part of CI): open then d ave(v,t=1,t=N)
# over a 1440x721 float variable of N steps (little-endian, or big-endian
# with "big" as third argument: the byte-swapped read), written with gxout
# fwrite, against numpy's memmap(...).mean(axis=0) of the same file, in
# paired runs pinned to one core (bench/paired.sh).  Prints the times, the
# largest difference and last the ratio (target at most 1.0 at 1000 steps).
# Usage: bench/binary_timmean.sh [build-dir] [steps] [little|big]
#   (default: a Release build in build-nc4-bench, 1000 steps: a 4 GB file)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build-nc4-bench}"
nt="${2:-1000}"
order="${3:-little}"
py=/usr/bin/python3
# shellcheck source=bench/paired.sh
. "$root/bench/paired.sh"
nc4_setup "$build"
dt="<f4"
[ "$order" = big ] && dt=">f4"
"$py" - "$nt" "$dt" <<'X'
import sys
import numpy as np
nt, dt = int(sys.argv[1]), sys.argv[2]
rng = np.random.default_rng(3)
lat = np.linspace(-90, 90, 721)[:, None]
with open("d.bin", "wb") as f:
    for t in range(0, nt, 50):
        k = min(50, nt - t)
        g = 280 + 20 * np.cos(np.radians(lat)) + rng.normal(size=(k, 721, 1440))
        g.astype(dt).tofile(f)
X
cat > d.ctl <<X
dset ^d.bin
undef -9.99e8
options ${order}_endian
xdef 1440 linear 0 0.25
ydef 721 linear -90 0.25
zdef 1 levels 1000
tdef $nt linear 00z01jan2000 1dy
vars 1
v 0 99 field
endvars
X
cat d.bin >/dev/null
printf '%s\n' "open d.ctl" "set x 1 1440" "set y 1 721" "set gxout fwrite" \
  "set fwrite -le -st o.bin" "d ave(v,t=1,t=$nt)" "disable fwrite" "quit" > cmds
cat > peer.py <<X
import numpy as np
m = np.memmap("d.bin", dtype="$dt", mode="r", shape=($nt, 721, 1440)).mean(axis=0)
m.astype("<f4").tofile("p.bin")
X
work_mean() { "$1" -blE < cmds; }
bench_against "binary time mean ($order-endian), $nt steps" work_mean
bench_alone || exit 0
run_ombra() { work_mean "$ombra"; }
run_numpy() { "$py" peer.py; }
bench_pair run_ombra run_numpy
"$py" - "$pair_a" "$pair_b" "$nt" "$order" <<'PY'
import sys
import numpy as np
a_s, n_s = map(float, sys.argv[1:3])
d = np.abs(np.fromfile("o.bin", "<f4") - np.fromfile("p.bin", "<f4")).max()
print(f"ombra {a_s:.3f} s, numpy {n_s:.3f} s; largest difference {d:.3g}")
print(f"binary time mean ({sys.argv[4]}-endian), {sys.argv[3]} steps: ratio {a_s / n_s:.2f} (target <= 1.0)")
PY
