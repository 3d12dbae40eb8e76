#!/usr/bin/env bash
# Builds and runs the image rendering benchmark (not part of CI).  Usage:
#   bench/gx_bench.sh [build-dir]   (default: a Release build in build-bench)
# Peer: GD, from the Debian package libgd-dev.
# The graphics library calls into the command and base libraries (hardcopy
# and interrupt state, messages), so the benchmark links every built
# library as one group, as the program does.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build-bench}"
if ! [ -f /usr/include/gd.h ]; then
  apt-get install -y libgd-dev >/dev/null
fi
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
ninja -C "$build" ombra >/dev/null
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
libs=$(ls "$build"/src/*/libom_*.a)
g++ -std=c++17 -O2 -DNDEBUG -I"$root/src" "$root"/bench/gx_bench.cpp \
  -Wl,--start-group $libs -Wl,--end-group \
  -lgd -lnetcdf -lmfhdfalt -ldfalt -ludunits2 -lreadline -lX11 -o "$out/gx_bench"
"$out/gx_bench"
