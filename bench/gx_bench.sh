#!/usr/bin/env bash
# Builds and runs the image rendering benchmark (not part of CI).
# Peer: GD, from the Debian package libgd-dev.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
if ! [ -f /usr/include/gd.h ]; then
  apt-get install -y libgd-dev >/dev/null
fi
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
g++ -std=c++17 -O2 -DNDEBUG -I"$root/src" -DOMBRA_DATADIR='"/usr/local/lib/ombra"' \
  "$root"/bench/gx_bench.cpp "$root"/src/gx/*.cpp -lgd -o "$out/gx_bench"
"$out/gx_bench"
