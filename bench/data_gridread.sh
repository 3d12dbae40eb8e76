#!/usr/bin/env bash
# Builds and runs the grid reader benchmark (not part of CI).  Usage:
#   bench/data_gridread.sh [build-dir]   (default: a Release build in build-bench)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build-bench}"
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
ninja -C "$build" ombra >/dev/null
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
libs=$(ls "$build"/src/*/libom_*.a)
g++ -std=c++17 -O2 -DNDEBUG -I"$root/src" "$root/bench/data_gridread.cpp" \
  -Wl,--start-group $libs -Wl,--end-group \
  -lgd -lnetcdf -lmfhdfalt -ldfalt -ludunits2 -lreadline -lX11 -o "$out/data_gridread"
"$out/data_gridread"
