#!/usr/bin/env bash
# The scan of a GRIB file opened as it is (not part of CI): a file of a
# gigabyte, 1000 GRIB2 messages of a 1440x721 field in 8-bit simple packing,
# each a forecast step of its own, opened by `open` (the scan of every
# message's headers and the data set made of them) against ecCodes'
# grib_ls listing the same fields, in paired runs pinned to one core
# (bench/paired.sh).  The file is read once before, so both find it in the
# page cache.  Prints both times and the ratio (target: the open in under
# a second).
# Usage: bench/grib_scan.sh [build-dir] [messages]
#   (default: a Release build in build-bench, 1000 messages)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build-bench}"
nmsg="${2:-1000}"
command -v grib_ls >/dev/null || { echo "ecCodes' tools are not installed" >&2; exit 1; }
# shellcheck source=bench/paired.sh
. "$root/bench/paired.sh"
nc4_setup "$build"
cdo -s -f grb2 -b P8 -setparam,0.0.0 -random,r1440x721 one.grb2 2>/dev/null
python3 - "$nmsg" <<'X'
import sys
one = open('one.grb2', 'rb').read()
n = int.from_bytes(one[8:16], 'big')
p, sec4 = 16, None
while p < n - 4:
    if one[p + 4] == 4:
        sec4 = p
    p += int.from_bytes(one[p:p + 4], 'big')
with open('big.grb2', 'wb') as f:
    for k in range(int(sys.argv[1])):
        m = bytearray(one)
        m[sec4 + 18:sec4 + 22] = k.to_bytes(4, 'big')  # forecast time in hours
        f.write(m)
X
cat big.grb2 >/dev/null
echo "file: $(stat -c %s big.grb2) bytes, $nmsg messages"
run_ombra() { "$ombra" -blc "open big.grb2"; }
run_peer() { grib_ls -p shortName,level,stepRange big.grb2; }
"$ombra" -blc "open big.grb2" | grep -E "scanned|Tsize|open as"
bench_pair run_ombra run_peer
echo "open: $pair_a s, grib_ls: $pair_b s, ratio $(ratio "$pair_a" "$pair_b") (target: open under 1 s)"
