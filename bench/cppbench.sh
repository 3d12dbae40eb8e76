#!/usr/bin/env bash
# Builds and runs one C++ benchmark of bench/ against the program's
# libraries (not part of CI).  Usage:
#   bench/cppbench.sh NAME [build-dir]   (NAME.cpp; default build: a Release build in build-bench)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
name="$1"
build="${2:-$root/build-bench}"
# shellcheck source=bench/paired.sh
. "$root/bench/paired.sh"
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
if ! bench_alone; then
  bench_cpp_against "$name" "$out"
  exit 0
fi
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
ninja -C "$build" ombra >/dev/null
bench_cpp "$root" "$build" "$name" "$out/$name"
"$out/$name"
