#!/usr/bin/env python3
"""Build the stroke fonts font0.dat .. font9.dat from the Hershey font data.

Input: the .jhf files of Debian's hershey-fonts-data package
(/usr/share/hershey-fonts).  Each .jhf line is one glyph: a 5-character
glyph number, a 3-character vertex count, the left and right margin
characters, then count-1 coordinate pairs (" R" lifts the pen).  The .jhf
files of that package hold the characters 32..126 in order (plus one extra
glyph at the end), so a glyph of a font file is a .jhf line without its
number.

Output: ten text files, one glyph per line, exactly 95 glyphs each
(characters 32..126 in order).  Only the standard library is used, so the
output is the same on every machine for the same package version.

Usage: mkfonts.py [--src DIR] [--out DIR]
"""

import argparse
import os
import sys

# Face chosen for each font number.  Where a face has no shape for a
# character (an empty glyph other than the blank), the fallback face's glyph
# is used, so every font draws every printable character.
FACES = [
    ("futural", "plain sans serif (simplex roman)"),
    ("timesr", "serif roman"),
    ("timesrb", "bold serif roman"),
    ("timesi", "serif italic"),
    ("greek", "Greek, sans serif (latin letters map to Greek ones)"),
    ("futuram", "bold sans serif (duplex roman)"),
    ("timesib", "bold serif italic"),
    ("scripts", "script"),
    ("symbolic", "symbols (punctuation and letters map to symbols)"),
    ("timesg", "Greek, serif"),
]
FALLBACK = "futural"

NGLYPH = 95
FIRST_CHAR = 32


class FontError(Exception):
    pass


def parse_jhf_line(line, where):
    """Split one .jhf glyph line into (count, left, right, pairs).

    pairs is the list of 2-character strings after the margins.  The count
    in the line is checked against the line's length, so a damaged or
    wrapped line is reported instead of giving a glyph whose count runs past
    its coordinates.
    """
    if len(line) < 10:
        raise FontError("%s: glyph line too short" % where)
    try:
        count = int(line[5:8])
    except ValueError:
        raise FontError("%s: bad vertex count %r" % (where, line[5:8]))
    body = line[8:]
    if count < 1 or len(body) != 2 * count:
        raise FontError("%s: vertex count %d does not match %d coordinate characters"
                        % (where, count, len(body)))
    for ch in body:
        if ord(ch) < 32 or ord(ch) > 126:
            raise FontError("%s: coordinate character %r out of range" % (where, ch))
    left, right = body[0], body[1]
    pairs = [body[i:i + 2] for i in range(2, len(body), 2)]
    for p in pairs:
        if p[0] == " " and p != " R":
            raise FontError("%s: bad pen-up pair %r" % (where, p))
    return count, left, right, pairs


def read_jhf(path):
    """Return the first 95 glyphs of a .jhf file as parsed tuples."""
    with open(path, "r", encoding="ascii", newline="") as f:
        text = f.read()
    lines = [l.rstrip("\r") for l in text.split("\n")]
    lines = [l for l in lines if l.strip()]
    if len(lines) < NGLYPH:
        raise FontError("%s: %d glyphs, need %d" % (path, len(lines), NGLYPH))
    return [parse_jhf_line(l, "%s line %d" % (path, i + 1))
            for i, l in enumerate(lines[:NGLYPH])]


def format_glyph(glyph):
    count, left, right, pairs = glyph
    if count > 999:
        raise FontError("vertex count %d does not fit 3 characters" % count)
    return "%3d%s%s%s" % (count, left, right, "".join(pairs))


def is_empty(glyph):
    return glyph[0] == 1


def widen(glyph, pad=3):
    """A few symbol glyphs (a lone vertical bar, a long rule) come with equal
    margins: drawn in a string they would overprint the next character.
    Give such a glyph margins round its strokes."""
    count, left, right, pairs = glyph
    xs = [ord(p[0]) for p in pairs if p[0] != " "]
    if ord(right) > ord(left) or not xs:
        return glyph
    lo, hi = min(xs) - pad, max(xs) + pad
    if lo < 33 or hi > 126:
        raise FontError("glyph too wide to pad")
    return count, chr(lo), chr(hi), pairs


def build_font(face, fallback):
    """Merge a face with the fallback face; returns the 95 glyph lines."""
    out = []
    for i in range(NGLYPH):
        g = face[i]
        if i > 0 and is_empty(g) and not is_empty(fallback[i]):
            g = fallback[i]
        out.append(format_glyph(widen(g)))
    return out


def write_font(path, lines):
    data = ("\n".join(lines) + "\n").encode("ascii")
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, path)
    return len(data)


def main(argv):
    ap = argparse.ArgumentParser(description="Build font0.dat .. font9.dat from Hershey .jhf files")
    ap.add_argument("--src", default="/usr/share/hershey-fonts", help="directory of the .jhf files")
    here = os.path.dirname(os.path.abspath(__file__))
    ap.add_argument("--out", default=os.path.join(here, "..", "share"), help="output directory")
    args = ap.parse_args(argv)
    try:
        fallback = read_jhf(os.path.join(args.src, FALLBACK + ".jhf"))
        os.makedirs(args.out, exist_ok=True)
        for num, (name, desc) in enumerate(FACES):
            face = read_jhf(os.path.join(args.src, name + ".jhf"))
            path = os.path.join(args.out, "font%d.dat" % num)
            size = write_font(path, build_font(face, fallback))
            print("font%d.dat  %-9s %6d bytes  %s" % (num, name, size, desc))
    except (OSError, FontError) as e:
        print("mkfonts: %s" % e, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
