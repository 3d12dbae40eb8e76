#!/usr/bin/env bash
# Map outline drawing benchmark (not part of CI).
#
# Ombra draws the default outlines ("lowres": GSHHG crude coastlines with
# national and state borders) over the globe in the latlon projection and
# over longitudes 0-360, latitudes 20-90 in the north polar stereographic
# projection, each into an 1100x850 PNG.  The peer is GMT's coast module
# (Debian package gmt with gmt-gshhg-low) drawing the same region,
# projection, resolution (crude), lines and pixel size to PNG, in the same
# run.  Each run is a whole process; the best of five counts.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
# shellcheck source=bench/paired.sh
. "$root/bench/paired.sh"
if bench_alone; then
  if ! command -v gmt >/dev/null; then
    apt-get install -y gmt gmt-gshhg-low ghostscript >/dev/null
  fi
  build="${BUILD:-$root/build-bench-maps}"
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  ninja -C "$build" ombra >/dev/null
  ombra="$build/src/main/ombra"
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
export OMDDIR="$root/share"
cp "$root"/share/sample/sample.ctl "$root"/share/sample/sample.dat .

best() {  # best wall time in seconds of five runs of "$@"
  local b=999
  for _ in 1 2 3 4 5; do
    local s e t
    s=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    e=$(date +%s.%N)
    t=$(echo "$e - $s" | bc -l)
    if (($(echo "$t < $b" | bc -l))); then b=$t; fi
  done
  echo "$b"
}

om_latlon() {
  printf 'open sample.ctl\nset lon 0 360\nset lat -90 90\ndraw map\nprintim om_latlon.png x1100 y850\nquit\n' |
    "${1:-$ombra}" -bl
}
om_nps() {
  printf 'open sample.ctl\nset mproj nps\nset lon 0 360\nset lat 20 90\ndraw map\nprintim om_nps.png x1100 y850\nquit\n' |
    "${1:-$ombra}" -bl
}
# 11 x 8.5 inch page at 100 dpi = 1100 x 850 pixels.
gmt_latlon() {
  gmt begin gmt_latlon png E100
  gmt set PS_MEDIA 11ix8.5i MAP_FRAME_TYPE plain
  gmt coast -R0/360/-90/90 -JQ180/10i -Dc -W0.5p -N1/0.5p -N2/0.5p -X0.5i -Y1.25i
  gmt end
}
gmt_nps() {
  gmt begin gmt_nps png E100
  gmt set PS_MEDIA 11ix8.5i MAP_FRAME_TYPE plain
  gmt coast -R0/360/20/90 -JS180/90/7i -Dc -W0.5p -N1/0.5p -N2/0.5p -X2i -Y0.75i
  gmt end
}

bench_against "latlon" om_latlon
bench_against "nps" om_nps
bench_alone || exit 0
for case in latlon nps; do
  o=$(best "om_$case")
  g=$(best "gmt_$case")
  ratio=$(echo "$o / $g" | bc -l)
  printf '%-7s ombra %.3f s   gmt coast %.3f s   ratio %.3f\n' "$case" "$o" "$g" "$ratio"
done
ls -l om_*.png gmt_*.png | awk '{print "  " $5 " " $9}'
