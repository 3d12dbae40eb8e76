#!/usr/bin/env bash
# Conservative regridding (not part of CI): bench/regrid_bilinear.sh with
# regrid(...,-c) against cdo remapcon; prints the ratio last (target at
# most 0.5).
# Usage: bench/regrid_conservative.sh [build-dir] [steps]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
exec "$root/bench/regrid_bilinear.sh" "${1:-$root/build-nc4-bench}" "${2:-100}" -c
