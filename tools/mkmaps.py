#!/usr/bin/env python3
"""Build the map outline files lowres, mres and hires from the GSHHG data.

Input: the shoreline, border and river data of the GSHHG binned netCDF files
that Debian's gmt-gshhg-low / gmt-gshhg-high packages install, dumped as
line segments by the gmt program's coast module (Debian package gmt):

    gmt coast -R0/360/-90/90 -D<res> -W  -M   shorelines (all levels)
    gmt coast -R0/360/-90/90 -D<res> -N1 -M   national borders
    gmt coast -R0/360/-90/90 -D<res> -N2 -M   state and province borders
    gmt coast -R0/360/-90/90 -D<res> -Ia -M   rivers and canals (all classes)

Output: binary map outline files.  A file is a sequence of records, all
numbers big-endian:

    line record   1, line type, n, then n points of 3-byte longitude and
                  3-byte latitude+90, both in 1/10000 degree
    index block   2, lowest type, highest type, 4-byte offset of the next
                  index block (0 for the last), then the block's smallest
                  and largest longitude and smallest and largest latitude+90
                  (3 bytes each); the block's line records follow it

Line types, the same in every file:

    0   shorelines (coasts, lakes, islands in lakes)
    1   national borders
    2   state and province borders
    3   permanent major rivers            (GSHHG river class 1)
    4   additional major rivers           (class 2)
    5   additional rivers                 (class 3)
    6   minor rivers                      (class 4)
    7   intermittent rivers, major        (class 5)
    8   intermittent rivers, additional   (class 6)
    9   intermittent rivers, minor        (class 7)
    10  major canals                      (class 8)
    11  minor canals                      (class 9)
    12  irrigation canals                 (class 10)
    13  double-lined rivers (river-lake outlines, class 0)

Every block holds lines of one type from one tile of the globe, so a reader
can skip whole types (rivers are off by default) and whole regions with one
seek per block.

Usage: mkmaps.py [--out DIR] [--only NAME] [--dumps DIR]
"""

import argparse
import os
import struct
import subprocess
import sys
import tempfile

SCALE = 10000          # stored units per degree
MAXPTS = 255           # points per line record (one header byte)
MAX3 = (1 << 24) - 1   # largest 3-byte value

# name -> (GSHHG resolution letter, tile size in degrees, river classes kept)
MAPSETS = {
    "lowres": ("c", 30, (1, 2)),
    "mres": ("l", 15, tuple(range(0, 11))),
    "hires": ("i", 10, tuple(range(0, 11))),
}
ORDER = ["lowres", "mres", "hires"]


class MapError(Exception):
    pass


def river_type(cls):
    """Line type of a GSHHG river class (0..10)."""
    if cls == 0:
        return 13
    if 1 <= cls <= 10:
        return cls + 2
    raise MapError("unknown river class %d" % cls)


def parse_dump(text):
    """Parse gmt's multisegment text: returns [(level, [(lon, lat), ...])].

    The level is the number after "Level" in each segment header.
    """
    segs = []
    cur = None
    for lineno, line in enumerate(text.splitlines(), 1):
        line = line.strip()
        if not line or line.startswith("#"):
            continue
        if line.startswith(">"):
            words = line.split()
            if "Level" not in words or words.index("Level") + 1 >= len(words):
                raise MapError("segment header without a level at line %d: %r" % (lineno, line))
            level = int(words[words.index("Level") + 1])
            cur = (level, [])
            segs.append(cur)
            continue
        if cur is None:
            raise MapError("point before the first segment header at line %d" % lineno)
        parts = line.replace(",", " ").split()
        if len(parts) < 2:
            raise MapError("bad point at line %d: %r" % (lineno, line))
        cur[1].append((float(parts[0]), float(parts[1])))
    return segs


def gmt_dump(res, what):
    """Run gmt coast for one resolution and feature; returns its text."""
    with tempfile.TemporaryDirectory() as tmp:
        cmd = ["gmt", "coast", "-R0/360/-90/90", "-D" + res, what, "-M",
               "--GMT_HISTORY=false", "--FORMAT_FLOAT_OUT=%.6f"]
        try:
            r = subprocess.run(cmd, cwd=tmp, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        except OSError as e:
            raise MapError("cannot run gmt: %s" % e)
        if r.returncode != 0:
            raise MapError("%s failed: %s" % (" ".join(cmd), r.stderr.decode(errors="replace")))
        return r.stdout.decode("ascii")


def quantize(points):
    """Degrees to stored units: longitudes unwrapped along the line and the
    whole line moved so that its westmost point lies in 0..360; latitudes
    clamped to -90..90 and offset by 90.  Repeated points are dropped."""
    if not points:
        return []
    lons = [points[0][0]]
    for lon, _ in points[1:]:
        prev = lons[-1]
        while lon - prev > 180.0:
            lon -= 360.0
        while lon - prev < -180.0:
            lon += 360.0
        lons.append(lon)
    shift = 0.0
    west = min(lons)
    while west + shift < 0.0:
        shift += 360.0
    while west + shift >= 360.0:
        shift -= 360.0
    out = []
    for lon, (_, lat) in zip(lons, points):
        lat = max(-90.0, min(90.0, lat))
        p = (int(round((lon + shift) * SCALE)), int(round((lat + 90.0) * SCALE)))
        if p[0] < 0:
            p = (0, p[1])
        if not out or out[-1] != p:
            out.append(p)
    return out


def split_line(pts, maxpts=MAXPTS):
    """Cut a line into pieces of at most maxpts points; consecutive pieces
    share their joining point so the drawn line has no gap."""
    if len(pts) < 2:
        return []
    pieces = []
    i = 0
    while i < len(pts) - 1:
        piece = pts[i:i + maxpts]
        pieces.append(piece)
        i += maxpts - 1
    return pieces


def join_lines(lines):
    """Join lines of one type that continue one another (the source data
    are cut at the borders of its bins): a line whose last point is the
    first point of another is extended by it, so a piece of coast or border
    becomes one line and a dashed style runs on across the cuts.  The
    result depends only on the input order."""
    starts = {}
    for k, pts in enumerate(lines):
        starts.setdefault(pts[0], []).append(k)
    used = [False] * len(lines)
    out = []
    for k, pts in enumerate(lines):
        if used[k]:
            continue
        used[k] = True
        chain = list(pts)
        while True:
            nxt = None
            for c in starts.get(chain[-1], ()):
                if not used[c]:
                    nxt = c
                    break
            if nxt is None or chain[-1] == chain[0] and len(chain) > 2:
                break
            used[nxt] = True
            chain.extend(lines[nxt][1:])
        out.append(chain)
    return out


def enc3(v):
    if not 0 <= v <= MAX3:
        raise MapError("value %d does not fit 3 bytes" % v)
    return bytes(((v >> 16) & 255, (v >> 8) & 255, v & 255))


def line_record(ltype, pts):
    if not 0 <= ltype <= 255 or not 1 <= len(pts) <= MAXPTS:
        raise MapError("bad line record: type %d, %d points" % (ltype, len(pts)))
    out = bytearray((1, ltype, len(pts)))
    for lon, lat in pts:
        out += enc3(lon)
        out += enc3(lat)
    return bytes(out)


def block_header(tlo, thi, nxt, lonmin, lonmax, latmin, latmax):
    return (bytes((2, tlo, thi)) + struct.pack(">I", nxt) + enc3(lonmin) + enc3(lonmax)
            + enc3(latmin) + enc3(latmax))


BLOCK_SIZE = 19


def tile_of(pts, tile):
    """Tile key of a line: the tile that holds its first point."""
    lon, lat = pts[0]
    return ((lat // (tile * SCALE)), (lon // (tile * SCALE)) % (360 // tile))


def build_map(lines, tile):
    """lines: [(type, [(lon, lat) stored units])]; returns the file bytes."""
    bytype = {}
    for ltype, pts in lines:
        if len(pts) >= 2:
            bytype.setdefault(ltype, []).append(pts)
    groups = {}
    for ltype in sorted(bytype):
        for piece in (p for joined in join_lines(bytype[ltype]) for p in split_line(joined)):
            groups.setdefault((ltype, tile_of(piece, tile)), []).append(piece)
    keys = sorted(groups)
    bodies = []
    for key in keys:
        recs = groups[key]
        lons = [p[0] for r in recs for p in r]
        lats = [p[1] for r in recs for p in r]
        body = b"".join(line_record(key[0], r) for r in recs)
        bodies.append((key[0], min(lons), max(lons), min(lats), max(lats), body))
    out = bytearray()
    pos = 0
    for i, (ltype, lo0, lo1, la0, la1, body) in enumerate(bodies):
        nxt = 0 if i == len(bodies) - 1 else pos + BLOCK_SIZE + len(body)
        out += block_header(ltype, ltype, nxt, lo0, lo1, la0, la1)
        out += body
        pos = len(out)
    return bytes(out)


def collect_lines(res, rivers, dump):
    """All lines of one resolution as [(type, stored points)]."""
    lines = []
    for level, pts in parse_dump(dump(res, "-W")):
        lines.append((0, quantize(pts)))
    for opt, ltype in (("-N1", 1), ("-N2", 2)):
        for level, pts in parse_dump(dump(res, opt)):
            lines.append((ltype, quantize(pts)))
    for level, pts in parse_dump(dump(res, "-Ia")):
        if level in rivers:
            lines.append((river_type(level), quantize(pts)))
    return lines


def file_dump(directory):
    """A dump source reading saved gmt output: <dir>/<res><option>.txt."""
    def dump(res, what):
        with open(os.path.join(directory, "%s%s.txt" % (res, what)), encoding="ascii") as f:
            return f.read()
    return dump


def main(argv):
    ap = argparse.ArgumentParser(description="Build the map outline files from GSHHG data")
    here = os.path.dirname(os.path.abspath(__file__))
    ap.add_argument("--out", default=os.path.join(here, "..", "share"), help="output directory")
    ap.add_argument("--only", choices=ORDER, action="append", help="build only this file")
    ap.add_argument("--dumps", help="read saved gmt output from this directory instead of running gmt")
    args = ap.parse_args(argv)
    dump = file_dump(args.dumps) if args.dumps else gmt_dump
    try:
        for name in args.only or ORDER:
            res, tile, rivers = MAPSETS[name]
            data = build_map(collect_lines(res, rivers, dump), tile)
            path = os.path.join(args.out, name)
            with open(path + ".tmp", "wb") as f:
                f.write(data)
            os.replace(path + ".tmp", path)
            print("%-7s GSHHG resolution %s, %d bytes" % (name, res, len(data)))
    except (OSError, MapError, ValueError) as e:
        print("mkmaps: %s" % e, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
