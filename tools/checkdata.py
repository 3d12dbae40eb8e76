#!/usr/bin/env python3
"""Check the structure of the runtime data files in share/.

    checkdata.py [DIR]          check every font, map, sample and GRIB table in DIR
                                (default: the share/ directory beside tools/)

Exit status 0 when every file is sound, 1 with one line per problem
otherwise.  The checks read the files the way the program does (glyph starts
after runs of control bytes, index blocks followed through their offsets,
the descriptor's sizes against the binary file's length), so a file that
passes here is one the program can use.
"""

import math
import os
import re
import struct
import sys

NGLYPH = 95
MAP_TYPES = set(range(0, 14))


# ---------------------------------------------------------------- fonts

def font_glyphs(data):
    """Split a font file the way the program indexes it: glyph 0 starts at
    byte 0, every further glyph at the first byte above 31 after a run of
    bytes of 31 or less.  Returns the glyph entries as byte strings."""
    starts = [0] if data else []
    i = 0
    n = len(data)
    while i < n:
        if data[i] <= 31:
            while i < n and data[i] <= 31:
                i += 1
            if i < n:
                starts.append(i)
        else:
            i += 1
    out = []
    for k, s in enumerate(starts):
        e = starts[k + 1] if k + 1 < len(starts) else n
        g = data[s:e]
        while g and g[-1] <= 31:
            g = g[:-1]
        out.append(g)
    return out


def check_font(path):
    """Problems of one font file (an empty list when it is sound)."""
    with open(path, "rb") as f:
        data = f.read()
    name = os.path.basename(path)
    probs = []
    glyphs = font_glyphs(data)
    if len(glyphs) != NGLYPH:
        probs.append("%s: %d glyphs, expected %d" % (name, len(glyphs), NGLYPH))
    for i, g in enumerate(glyphs[:NGLYPH]):
        where = "%s: glyph %d (%r)" % (name, i, chr(32 + i))
        if len(g) < 5:
            probs.append("%s: shorter than count and margins" % where)
            continue
        head = g[:3].decode("ascii", "replace")
        # The program reads the count like C's "%i": a leading zero would
        # make it octal, so only blank padding is sound.
        if not re.fullmatch(r" *[1-9][0-9]*", head):
            probs.append("%s: count field %r is not a blank-padded integer" % (where, head))
            continue
        count = int(head)
        if count < 1 or len(g) != 5 + 2 * (count - 1):
            probs.append("%s: count %d but %d bytes" % (where, count, len(g)))
            continue
        left, right = g[3] - 82, g[4] - 82
        if right < left:
            probs.append("%s: right margin left of the left margin" % where)
        for k in range(5, len(g), 2):
            c1, c2 = g[k], g[k + 1]
            if c1 == 32:
                if c2 != ord("R"):
                    probs.append("%s: bad pen-up pair at byte %d" % (where, k))
            elif not (33 <= c1 <= 126 and 33 <= c2 <= 126):
                probs.append("%s: coordinate out of range at byte %d" % (where, k))
    if glyphs and len(glyphs) >= 1 and glyphs[0][:3] != b"  1":
        probs.append("%s: the blank glyph has strokes" % name)
    return probs


# ---------------------------------------------------------------- maps

def u3(b, i):
    return (b[i] << 16) | (b[i + 1] << 8) | b[i + 2]


def read_map(data):
    """Parse a map outline file into blocks.

    Returns (blocks, problems); each block is a dict with its offset, type
    range, next offset, box and list of line records (type, [(lon, lat)]
    in stored units).  Lines before the first block are collected in a
    block of offset None.
    """
    probs = []
    blocks = []
    cur = None
    pos = 0
    rec = 0
    n = len(data)
    while pos < n:
        rec += 1
        if pos + 3 > n:
            probs.append("truncated record header at byte %d" % pos)
            break
        rtype, b1, b2 = data[pos], data[pos + 1], data[pos + 2]
        if rtype == 2:
            if pos + 19 > n:
                probs.append("truncated index block at byte %d" % pos)
                break
            nxt = struct.unpack(">I", data[pos + 3:pos + 7])[0]
            cur = {"offset": pos, "tlo": b1, "thi": b2, "next": nxt,
                   "lon": (u3(data, pos + 7), u3(data, pos + 10)),
                   "lat": (u3(data, pos + 13), u3(data, pos + 16)), "lines": []}
            blocks.append(cur)
            pos += 19
        elif rtype in (1, 3):
            end = pos + 3 + 6 * b2
            if end > n:
                probs.append("truncated line record at byte %d" % pos)
                break
            pts = [(u3(data, k), u3(data, k + 3)) for k in range(pos + 3, end, 6)]
            if cur is None:
                cur = {"offset": None, "tlo": 0, "thi": 255, "next": 0,
                       "lon": (0, 0), "lat": (0, 0), "lines": []}
                blocks.append(cur)
            cur["lines"].append((b1, pts))
            pos = end
        else:
            probs.append("invalid record type %d at record %d" % (rtype, rec))
            break
    return blocks, probs


def check_map(path):
    """Problems of one map outline file."""
    with open(path, "rb") as f:
        data = f.read()
    name = os.path.basename(path)
    blocks, probs = read_map(data)
    probs = ["%s: %s" % (name, p) for p in probs]
    if not blocks:
        return probs + ["%s: no records" % name]
    if blocks[0]["offset"] != 0:
        probs.append("%s: does not begin with an index block" % name)
    for i, b in enumerate(blocks):
        where = "%s: block at byte %s" % (name, b["offset"])
        want_next = blocks[i + 1]["offset"] if i + 1 < len(blocks) else 0
        if b["next"] != want_next:
            probs.append("%s: next offset %d, the next block is at %d" % (where, b["next"], want_next))
        if b["tlo"] > b["thi"]:
            probs.append("%s: type range %d..%d is empty" % (where, b["tlo"], b["thi"]))
        if not b["lines"]:
            probs.append("%s: holds no lines" % where)
        for ltype, pts in b["lines"]:
            if not b["tlo"] <= ltype <= b["thi"]:
                probs.append("%s: line of type %d outside the block's types" % (where, ltype))
            if ltype not in MAP_TYPES:
                probs.append("%s: unknown line type %d" % (where, ltype))
            if len(pts) < 2:
                probs.append("%s: line of %d points" % (where, len(pts)))
            for lon, lat in pts:
                if not (b["lon"][0] <= lon <= b["lon"][1] and b["lat"][0] <= lat <= b["lat"][1]):
                    probs.append("%s: point (%d, %d) outside the block's box" % (where, lon, lat))
                    break
                if lat > 1800000 or lon > 7200000:
                    probs.append("%s: point (%d, %d) off the globe" % (where, lon, lat))
                    break
            if pts and min(p[0] for p in pts) >= 3600000:
                probs.append("%s: line lies wholly east of 360" % where)
        if b["lon"][0] > 3600000:
            probs.append("%s: box marks the block as always read" % where)
    return probs


def map_types(path):
    with open(path, "rb") as f:
        blocks, _ = read_map(f.read())
    return sorted({t for b in blocks for t, _ in b["lines"]})


# ---------------------------------------------------------------- sample data set

def parse_ctl(path):
    """Read the subset of the descriptor language the sample uses.
    Returns a dict: dset, undef, options, x/y/z/t sizes and axes, vars."""
    d = {"options": [], "vars": []}
    with open(path, encoding="ascii") as f:
        lines = f.read().splitlines()
    i = 0
    while i < len(lines):
        line = lines[i]
        i += 1
        if not line or not line[0].isalnum():
            continue
        w = line.split()
        key = w[0].lower()
        if key == "dset":
            d["dset"] = w[1]
        elif key == "title":
            d["title"] = line.split(None, 1)[1].rstrip()
        elif key == "undef":
            d["undef"] = float(w[1])
        elif key == "options":
            d["options"] += [x.lower() for x in w[1:]]
        elif key in ("xdef", "ydef", "zdef"):
            n = int(w[1])
            if w[2].lower() == "linear":
                vals = [float(w[3]) + k * float(w[4]) for k in range(n)]
            elif w[2].lower() == "levels":
                vals = [float(x) for x in w[3:]]
                while len(vals) < n:
                    vals += [float(x) for x in lines[i].split()]
                    i += 1
            else:
                raise ValueError("unknown scaling %r" % w[2])
            d[key] = vals
        elif key == "tdef":
            d["tdef"] = (int(w[1]), w[2].lower(), w[3].lower(), w[4].lower())
        elif key == "vars":
            nv = int(w[1])
            while len(d["vars"]) < nv:
                vl = lines[i]
                i += 1
                if not vl or not vl[0].isalnum():
                    continue
                m = re.match(r"(\S+)\s+(\d+)\s+(-?\d+(?:\s*,\s*-?\d+)*)\s+(.*)$", vl)
                if not m:
                    raise ValueError("bad variable record %r" % vl)
                d["vars"].append((m.group(1).lower(), int(m.group(2)), m.group(4).strip()))
            if i >= len(lines) or lines[i].split()[:1] != ["endvars"]:
                raise ValueError("no endvars right after the variables")
            i += 1
        else:
            raise ValueError("unexpected keyword %r" % w[0])
    return d


def sample_layout(d):
    """Number of floats per time block and per grid."""
    g = len(d["xdef"]) * len(d["ydef"])
    per_time = sum(max(lev, 1) for _, lev, _ in d["vars"]) * g
    return g, per_time


def check_sample(ctl):
    name = os.path.basename(ctl)
    probs = []
    try:
        d = parse_ctl(ctl)
    except (OSError, ValueError, IndexError) as e:
        return ["%s: %s" % (name, e)]
    for key in ("dset", "undef", "xdef", "ydef", "zdef", "tdef"):
        if key not in d:
            probs.append("%s: no %s record" % (name, key))
    if probs:
        return probs
    if not d["dset"].startswith("^"):
        probs.append("%s: data file is not named relative to the descriptor" % name)
    for lev in (lev for _, lev, _ in d["vars"] if lev > 0):
        if lev > len(d["zdef"]):
            probs.append("%s: a variable has more levels than the z axis" % name)
    data_path = os.path.join(os.path.dirname(ctl), d["dset"].lstrip("^"))
    g, per_time = sample_layout(d)
    nt = d["tdef"][0]
    try:
        size = os.path.getsize(data_path)
    except OSError as e:
        return probs + ["%s: %s" % (name, e)]
    if size != 4 * per_time * nt:
        probs.append("%s: data file has %d bytes, the descriptor describes %d"
                     % (name, size, 4 * per_time * nt))
        return probs
    fmt = ">" if "big_endian" in d["options"] else "<"
    with open(data_path, "rb") as f:
        raw = f.read()
    vals = struct.unpack("%s%df" % (fmt, len(raw) // 4), raw)
    undef = d["undef"]
    band = abs(undef / 100000.0)
    for v in vals:
        if math.isnan(v) or math.isinf(v):
            probs.append("%s: data hold NaN or infinity" % name)
            break
        if abs(v - undef) > band and abs(v) > 1e7:
            probs.append("%s: implausible value %g" % (name, v))
            break
    return probs


# ---------------------------------------------------------------- GRIB sample

def check_grib2(path, want):
    """Problems of a GRIB2 file: want whole edition 2 messages, one after
    the other, each ending with 7777."""
    name = os.path.basename(path)
    with open(path, "rb") as f:
        data = f.read()
    pos, n = 0, 0
    while pos < len(data):
        if data[pos:pos + 4] != b"GRIB" or len(data) - pos < 16 or data[pos + 7] != 2:
            return ["%s: no GRIB2 message at byte %d" % (name, pos)]
        size = int.from_bytes(data[pos + 8:pos + 16], "big")
        if size < 20 or pos + size > len(data) or data[pos + size - 4:pos + size] != b"7777":
            return ["%s: message %d at byte %d is not whole" % (name, n + 1, pos)]
        pos += size
        n += 1
    return [] if n == want else ["%s: %d messages, expected %d" % (name, n, want)]


# ---------------------------------------------------------------- GRIB tables

# Columns of each record kind: p (parameter), l (level type), s (statistic).
GRIB_COLUMNS = {1: {"p": 10, "l": 3}, 2: {"p": 13, "l": 4, "s": 4}}
# The key columns of a p record that hold a number or "-" ("*" or "-" for
# the centre, and a decimal for a GRIB2 level).
GRIB_KEYS = {1: 6, 2: 9}


def check_gribtab(path, edition):
    """Problems of one GRIB parameter table: every record of a known kind
    with its number of columns, numbers where the program reads numbers,
    names an expression can use, and WMO temperature named t."""
    name = os.path.basename(path)
    probs = []
    with open(path, "rb") as f:
        raw = f.read()
    try:
        text = raw.decode("utf-8")
    except UnicodeDecodeError:
        return ["%s: not UTF-8" % name]
    params = 0
    names = {}
    for n, line in enumerate(text.split("\n")[:-1], 1):
        if line.startswith("#"):
            continue
        f = line.split("\t")
        want = GRIB_COLUMNS[edition].get(f[0])
        if want is None or len(f) != want:
            probs.append("%s: line %d: bad record" % (name, n))
            continue
        if f[0] != "p":
            if not f[1].isdigit():
                probs.append("%s: line %d: code is not a number" % (name, n))
            continue
        params += 1
        keys = f[1:GRIB_KEYS[edition] + 1]
        for k, v in enumerate(keys):
            ok = v == "-" or re.fullmatch(r"\d+", v) or (k == 0 and v == "*") or \
                (edition == 2 and k == 5 and re.fullmatch(r"-?\d+(\.\d+)?", v))
            if not ok:
                probs.append("%s: line %d: key %r is not a number" % (name, n, v))
                break
        nm = f[GRIB_KEYS[edition] + 1]
        if nm != "-" and not re.fullmatch(r"[a-z][a-z0-9_]{0,14}", nm):
            probs.append("%s: line %d: name %r cannot be used" % (name, n, nm))
        names[tuple(keys)] = nm
    if params < 300:
        probs.append("%s: only %d parameters" % (name, params))
    t = ("-", "0", "0", "0", "-", "-", "-", "-", "-") if edition == 2 else ("-", "2", "11", "-", "-", "-")
    if names.get(t) != "t":
        probs.append("%s: WMO temperature is not named t" % name)
    return probs


# ---------------------------------------------------------------- driver

def check_dir(share):
    probs = []
    for k in range(10):
        path = os.path.join(share, "font%d.dat" % k)
        if not os.path.exists(path):
            probs.append("font%d.dat: missing" % k)
        else:
            probs += check_font(path)
    for name in ("lowres", "mres", "hires"):
        path = os.path.join(share, name)
        if name == "lowres" or os.path.exists(path):
            if not os.path.exists(path):
                probs.append("%s: missing" % name)
            else:
                probs += check_map(path)
    ctl = os.path.join(share, "sample", "sample.ctl")
    if not os.path.exists(ctl):
        probs.append("sample/sample.ctl: missing")
    else:
        probs += check_sample(ctl)
    for leaf, messages in (("sample.grb2", 76), ("lambert.grb2", 1)):
        grib = os.path.join(share, "sample", leaf)
        probs += check_grib2(grib, messages) if os.path.exists(grib) else ["sample/%s: missing" % leaf]
    for edition in (1, 2):
        path = os.path.join(share, "grib%d.tab" % edition)
        if not os.path.exists(path):
            probs.append("grib%d.tab: missing" % edition)
        else:
            probs += check_gribtab(path, edition)
    return probs


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    share = argv[0] if argv else os.path.join(here, "..", "share")
    probs = check_dir(share)
    for p in probs:
        print(p)
    print("data files: %s" % ("%d problems" % len(probs) if probs else "all sound"))
    return 1 if probs else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
