#!/usr/bin/env bash
# HDF4 reads through the helper process against reads in the program (not
# part of CI): microseconds per read of a 144 x 73 and a 1440 x 721 slab and
# of one point.
# Usage: bench/sdf_hdfread.sh [build-dir]   (default: a Release build in build-bench)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build-bench}"
# shellcheck source=bench/paired.sh
. "$root/bench/paired.sh"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
if ! bench_alone; then
  export OMDDIR="$root/share"
  bench_cpp_against sdf_hdfread "$work" "$work"
  exit 0
fi
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
# Linked as the program is: the helper's library calls HDF5 itself.
ninja -C "$build" ombra >/dev/null
bench_cpp "$root" "$build" sdf_hdfread "$work/bench"
OMDDIR="$root/share" "$work/bench" "$work"
