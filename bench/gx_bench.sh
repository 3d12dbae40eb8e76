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
exec "$root/bench/cppbench.sh" gx_bench "$build"
