#!/usr/bin/env bash
# Builds and runs one C++ benchmark of bench/ against the program's
# libraries (not part of CI).  Usage:
#   bench/cppbench.sh NAME [build-dir]   (NAME.cpp; default build: a Release build in build-bench)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
name="$1"
build="${2:-$root/build-bench}"
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
ninja -C "$build" ombra >/dev/null
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
libs=$(ls "$build"/src/*/libom_*.a)
g++ -std=c++17 -O2 -DNDEBUG -I"$root/src" "$root/bench/$name.cpp" \
  -Wl,--start-group $libs -Wl,--end-group \
  -lgd -lnetcdf -lmfhdfalt -ldfalt -ludunits2 -lopenjp2 -lpng -laec -lreadline -lX11 -o "$out/$name"
"$out/$name"
