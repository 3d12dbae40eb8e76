#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets under fuzz/corpus/<target>/.

The seeds are the small inputs the unit tests build (descriptors with their
data, GRIB records with an index, station reports with their map, map
outlines and fonts, expressions, scripts, command sequences), in the input
layout each target documents: parts separated by a "\\n=====\\n" line.
Run it again after changing a layout; the files it writes are committed.
"""
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SEP = b"\n=====\n"


def out(target, name, data):
    d = os.path.join(HERE, "corpus", target)
    os.makedirs(d, exist_ok=True)
    if isinstance(data, str):
        data = data.encode()
    with open(os.path.join(d, name), "wb") as f:
        f.write(data)


def join(*parts):
    return SEP.join(p.encode() if isinstance(p, str) else p for p in parts)


def floats(vals, big=False):
    return struct.pack((">" if big else "<") + "%df" % len(vals), *vals)


def sm(v):
    """4-byte sign-magnitude big-endian word."""
    return struct.pack(">I", (0x80000000 | -v) if v < 0 else v)


# ---------------------------------------------------------------- descriptor
AXES = ("undef -9.99e8\nxdef 4 linear 0 10\nydef 3 linear 0 10\n"
        "zdef 2 levels 1000 500\ntdef 2 linear 00z01jan2000 1dy\n")
VARS = "vars 2\na 2 0 a\nb 0 0 b\nendvars\n"
count72 = floats(list(range(72)), big=True)


def descriptor():
    t = "descriptor"
    out(t, "plain", join("dset ^d.bin\noptions big_endian\n" + AXES + VARS, count72))
    out(t, "rev", join("dset ^d.bin\noptions big_endian yrev zrev\n" + AXES + VARS, count72))
    out(t, "headers", join("dset ^d.bin\noptions big_endian\nfileheader 20\ntheader 8\n"
                           "xyheader 4\nheaderbytes 4\ntrailerbytes 8\n" + AXES + VARS,
                           b"H" * 20 + floats(list(range(88)), big=True)))
    out(t, "sequential", join("dset ^d.bin\noptions big_endian sequential\n" + AXES + VARS,
                              floats(list(range(84)), big=True)))
    out(t, "bytes", join("dset ^d.bin\nundef -999\nxdef 2 linear 0 1\nydef 3 linear 0 1\n"
                         "zdef 1 levels 1\ntdef 1 linear 1jan2000 1dy\nvars 1\n"
                         "b 0 -1,30,-1,40 transposed bytes\nendvars\n", b"\x01\x02\x03\x04\x05\x06"))
    out(t, "shorts", join("dset ^d.bin\noptions little_endian 365_day_calendar\nundef -999\n"
                          "xdef 2 levels 0 5\nydef 1 linear 0 1\nzdef 1 levels 1\n"
                          "tdef 1 linear 1jan2000 1mo\nvars 1\ns 0 -1,40,2,-1 s\nendvars\n",
                          b"\xfe\xff\x00\x01"))
    out(t, "varmajor", join("dset ^d.bin\noptions big_endian\n" + AXES +
                            "vars 2\na 2 -1,20 all times\nb 0 -1,20 surface\nendvars\n", count72))
    out(t, "template", join("dset ^d%y4%m2%d2.bin\noptions template big_endian\n"
                            "undef -9.99e8\nxdef 4 linear 0 10\nydef 3 linear 0 10\n"
                            "zdef 1 levels 1000\ntdef 3 linear 00z01jan2000 1dy\n"
                            "vars 1\na 0 0 a\nendvars\n", b""))
    out(t, "gaussian", join("dset ^d.bin\ntitle gaussian\nundef 1e20\nxdef 8 linear 0 45\n"
                            "ydef 40 gaust62 1\nzdef 1 linear 1 1\n"
                            "tdef 1 linear 12z5feb1999 6hr\nvars 1\nz 0 99 z\nendvars\n",
                            floats([float(i) for i in range(320)])))
    out(t, "pdef", join("dset ^d.bin\nundef -9.99e8\npdef 5 4 nps 3 3 30 100\n"
                        "xdef 6 linear -180 60\nydef 4 linear 40 10\nzdef 1 levels 1\n"
                        "tdef 1 linear 00z1jan2000 1dy\nvars 1\np 0 0 p\nendvars\n",
                        floats([float(i) for i in range(20)])))
    out(t, "station", join("dset ^d.bin\ndtype station\nstnmap ^d.aux\nundef -999\n"
                           "tdef 3 linear 00z01jan2000 12hr\nvars 3\nps 0 99 p\nts 0 99 t\n"
                           "t 1 99 t\nendvars\n", b"",
                           b"Ombra_stnmapV002" + b"".join(sm(v) for v in [3, 10, 0, 100, 250, 2, 3, 0])))


# ---------------------------------------------------------------- GRIB
def put(n, v):
    return (v & ((1 << (8 * n)) - 1)).to_bytes(n, "big")


def ibm(f):
    if f == 0:
        return b"\0\0\0\0"
    s = 0x80 if f < 0 else 0
    f = abs(f)
    e = 64
    while f >= 1:
        f /= 16
        e += 1
    while f < 1 / 16:
        f *= 16
        e -= 1
    return bytes([s | e]) + put(3, int(f * (1 << 24)))


def grib(parm, day, ref, bits=8, n=12, bitmap=None, D=0, E=0):
    pds = bytearray(28)
    pds[0:3] = put(3, 28)
    pds[3] = 3
    pds[4] = 7
    pds[6] = 255
    pds[7] = 0x80 | (0x40 if bitmap else 0)
    pds[8] = parm
    pds[9] = 1
    pds[12] = 90
    pds[13] = 1
    pds[14] = day
    pds[17] = 1
    pds[24] = 20
    pds[26:28] = put(2, (0x8000 | -D) if D < 0 else D)
    gds = bytearray(32)
    gds[0:3] = put(3, 32)
    gds[4] = 255
    gds[6:8] = put(2, 4)
    gds[8:10] = put(2, 3)
    gds[10:13] = put(3, 0x800000 | 90000)
    gds[16] = 0x80
    gds[17:20] = put(3, 90000)
    gds[20:23] = put(3, 270000)
    gds[23:25] = put(2, 90000)
    gds[25:27] = put(2, 90000)
    gds[27] = 0x40
    body = bytes(pds) + bytes(gds)
    if bitmap:
        nb = (len(bitmap) + 7) // 8
        ln = 6 + nb + ((6 + nb) % 2)
        b = bytearray(ln)
        b[0:3] = put(3, ln)
        b[3] = (ln - 6) * 8 - len(bitmap)
        for k, on in enumerate(bitmap):
            if on:
                b[6 + k // 8] |= 0x80 >> (k % 8)
        body += bytes(b)
    nbits = n * bits
    ln = 11 + (nbits + 7) // 8
    ln += ln % 2
    bds = bytearray(ln)
    bds[0:3] = put(3, ln)
    bds[3] = (ln - 11) * 8 - nbits
    bds[4:6] = put(2, (0x8000 | -E) if E < 0 else E)
    bds[6:10] = ibm(ref)
    bds[10] = bits
    acc = 0
    for i in range(n):
        acc = (acc << bits) | (i % (1 << bits))
    packed = acc.to_bytes((nbits + 7) // 8, "big") if nbits else b""
    bds[11:11 + len(packed)] = packed
    body += bytes(bds)
    return b"GRIB" + put(3, 8 + len(body) + 4) + b"\x01" + body + b"7777"


GRIBCTL = ("dset ^d.grb\nindex ^d.idx\ndtype grib\nundef -9.99e8\n"
           "xdef 4 linear 0 90\nydef 3 linear -90 90\nzdef 1 levels 1000\n"
           "tdef 3 linear 00z01jan1990 1dy\nvars 2\na 0 11,1,0 first\nb 0 12,1,0 second\nendvars\n")


def gribindex(recs):
    """Version 2 index of the records (two per time, three times)."""
    hi = [255, 2, 3, 255]
    ints, flts = [], []
    off = 0
    for r in recs:
        n = len(r)
        ints += [off + 8 + 28 + 32 + 11, -999, 8]
        flts += [1.0, 1.0, 0.0]
        off += n
    head = bytes([0, 2]) + sm(len(hi)) + sm(0) + sm(len(ints)) + sm(len(flts))
    head += put(2, 1990) + bytes([1, 1, 0, 0]) + b"\0"
    body = b"".join(sm(v) for v in hi) + b"".join(sm(v) for v in ints)
    body += b"".join(ibm(f) for f in flts)
    body += b"".join(ibm(f) for f in [1990, 1, 1, 0, 0, 0, 1440, 0])
    return head + body


def gribseeds():
    t = "grib"
    recs = []
    for d in (1, 2, 3):
        recs.append(grib(11, d, 100.0 * d))
        recs.append(grib(12, d, -float(d), D=1, E=1))
    data = b"".join(recs)
    out(t, "twovars", join(data, gribindex(recs)))
    bm = grib(11, 1, 5.0, n=8, bitmap=[1, 0, 1, 1, 0, 1, 1, 1, 1, 0, 1, 1])
    out(t, "bitmap", join(bm, b"", GRIBCTL))
    out(t, "junk", join(b"xxxx" + grib(11, 2, 1.0, bits=12) + b"junk" + grib(12, 3, 2.0, bits=0), b""))
    out(t, "template", join(grib(11, 1, 3.0), b"",
                            GRIBCTL.replace("^d.grb", "^d.grb%d1").replace("dtype grib", "dtype grib\noptions template")))
    # descriptor seeds for GRIB sets too
    out("descriptor", "grib", join(GRIBCTL.replace("d.grb", "d.bin").replace("d.idx", "d.aux"), data,
                                   gribindex(recs)))


# ---------------------------------------------------------------- station
def report(sid, lat, lon, toff, sfc, levels, nlev=None):
    flag = 1 if sfc else 0
    n = len(levels) + flag if nlev is None else nlev
    h = sid.encode().ljust(8)[:8] + struct.pack("<fffii", lat, lon, toff, n, flag)
    vals = list(sfc)
    for lv, v in levels:
        vals += [lv, v]
    return h + floats(vals)


def stationfile(times):
    """The reports of each time, each time ended by an empty report; with
    the offset and report count of each time."""
    data = b""
    offs, cnts = [], []
    for tm in times:
        offs.append(len(data))
        cnts.append(len(tm))
        for r in tm:
            data += report(*r)
        data += report("", 0, 0, 0, [], [], nlev=0)
    return data, offs, cnts


def stationseeds():
    t = "station"
    times = [[("kabc", 40, 350, 0, [1000, 15], [(850, 5), (500, -20)]),
              ("xyz1", 45, 10, 0.25, [990, 12], []),
              ("far", -60, 100, 0, [1010, 1], [(500, -30)])],
             [("kabc", 40, 350, 0, [1001, 16], [(850, 6)]),
              ("nosfc", 42, 5, 0, [], [(500, -25)])]]
    data, offs, cnts = stationfile(times)
    mp = b"Ombra_stnmapV002" + b"".join(sm(v) for v in [2, 6] + offs + cnts)
    out(t, "v2", join(data, mp))
    # reports with no number for their place or time beside good ones
    nan, inf = float("nan"), float("inf")
    bad = [[("nanlat", nan, 10, 0, [1000, 15], [(850, 5)]),
            ("nanlon", 40, nan, 0, [990, 12], [(850, 4)]),
            ("kabc", 40, 350, 0, [1001, 16], [(850, 6)])],
           [("nantim", 40, 350, nan, [1000, 15], [(500, -20)]),
            ("inflon", 40, inf, 0, [], [(500, -25)]),
            ("kabc", 40, 350, 0, [1002, 17], [(850, 7)])]]
    bdata, boffs, bcnts = stationfile(bad)
    bmp = b"Ombra_stnmapV002" + b"".join(sm(v) for v in [2, 6] + boffs + bcnts)
    out(t, "unplaced", join(bdata, bmp))
    v1 = b"".join(struct.pack("<i", v) for v in [2, 6] + offs + cnts)
    out(t, "v1host", join(data, v1))
    seq = b""
    soffs = []
    for tm in times:
        soffs.append(len(seq))
        for r in tm:
            rec = report(*r)
            h, v = rec[:28], rec[28:]
            seq += struct.pack("<i", 28) + h + struct.pack("<i", 28)
            if v:
                seq += struct.pack("<i", len(v)) + v + struct.pack("<i", len(v))
        e = report("", 0, 0, 0, [], [], nlev=0)
        seq += struct.pack("<i", 28) + e + struct.pack("<i", 28)
    mps = b"Ombra_stnmapV002" + b"".join(sm(v) for v in [2, 6] + soffs + cnts)
    out(t, "sequential", join(seq, mps,
                              "dset ^d.bin\ndtype station\nstnmap ^d.aux\nundef -999\n"
                              "options little_endian sequential\ntdef 2 linear 00z01jan2000 12hr\n"
                              "vars 3\nps 0 99 p\nts 0 99 t\nt 1 99 t\nendvars\n"))


# ---------------------------------------------------------------- map and font
def mapline(typ, pts):
    b = bytes([1, typ, len(pts)])
    for lon, lat in pts:
        b += put(3, int(lon * 10000 + 0.5)) + put(3, int((lat + 90) * 10000 + 0.5))
    return b


def mapindex(lo, hi, nxt, mnlon, mxlon, mnlat, mxlat):
    return (bytes([2, lo, hi]) + put(4, nxt) + put(3, int(mnlon * 10000)) + put(3, int(mxlon * 10000))
            + put(3, int((mnlat + 90) * 10000)) + put(3, int((mxlat + 90) * 10000)))


def font(wide, glyphs=95):
    t = ""
    for c in range(32, 32 + glyphs):
        lm, rm = chr(ord("R") - wide // 2), chr(ord("R") + wide // 2)
        if c == 32:
            g = "  1JZ"
        elif c == ord("`"):
            g = "  2NVRR"
        elif c == ord("A"):
            g = "  5" + lm + rm + "RMRW RSR"
        else:
            g = "  3" + lm + rm + "RMRW"
        t += g + "\n"
    return t


def mapfontseeds():
    t = "mapfont"
    m = mapline(0, [(300, 10), (302, 10), (310, 20)]) + mapline(1, [(110, 20), (120, 30)])
    out(t, "lines", join(m, font(14)))
    body = mapline(1, [(1, 1), (2, 2)])
    idx = mapindex(0, 0, 0, 0, 10, 0, 10)
    skip = mapindex(1, 1, 0, 100, 140, 10, 50)
    out(t, "index", join(skip[:3] + put(4, len(skip) + len(body)) + skip[7:] + body + idx +
                         mapline(0, [(120, 20), (130, 40), (100, 10)]), font(20, 3)))
    with open(os.path.join(HERE, "..", "share", "font1.dat"), "rb") as f:
        real = f.read()
    out(t, "realfont", join(m, real[:3000]))


# ---------------------------------------------------------------- expr
def exprseeds():
    t = "expr"
    exprs = ["a+b*2-(a/3)", "sin(a)*cos(lat)+lon", "ave(a,t=1,t=4)", "aave(b,global)",
             "smth9(a)", "maskout(a,a-1)", "tloop(a(t+1))", "a.1(z=2)-a(lev=500)",
             "hcurl(a,b)", "mag(a,b)+vint(b,a,200)", "ps.2", "gr2stn(a,ps.2)",
             "oacres(a,ps.2)", "const(a,1,-u)", "dv*2", "max(a,t=1,t=4,2)",
             "cdiff(a,x)", "sum(a,x=1,x=36)", "if(a,>,1,a,b)", "skip(a,2,2)"]
    for k, e in enumerate(exprs):
        out(t, "e%02d" % k, bytes([k % 6]) + e.encode())
    # Time reductions of file 3 over its whole grid (the first environment):
    # steps merged from the file's map.
    for k, e in enumerate(["ave(c.3,t=1,t=4)", "maxloc(c.3,t=1,t=4)-sum(c.3,t=1.2,t=3.9,-b)"]):
        out(t, "map%d" % k, bytes([0]) + e.encode())


# ---------------------------------------------------------------- script
def scriptseeds():
    t = "script"
    out(t, "basic", "* a comment\nsay 'hello ' arg\nx = 3 * (2 + 1)\nif (x > 5)\n  say x\n"
        "else\n  say 'no'\nendif\nwhile (x > 0)\n  x = x - 1\n  if (x = 1); break; endif\nendwhile\n"
        "'q file'\nline = sublin(result, 2)\nw = subwrd(line, 3)\nsay substr(line, 1, 6) w\n"
        "rc = f(w)\nreturn rc\n\nfunction f(a)\n  _g = a\n  return a + 1\n")
    out(t, "builtins", "function main(args)\n  n = 0\n  while (n < 10)\n    n = n + 1\n"
        "    s = math_format('%5.2f', math_sqrt(n))\n    v = valnum(s)\n  endwhile\n"
        "  ret = write('out.txt', 'line one')\n  ret = close('out.txt')\n"
        "  r = read('out.txt')\n  say sublin(r, 2)\n  say wrdpos('a b c', 2)\n"
        "  say math_nint(2.5) % math_int(-2.5) % math_mod(7, 3)\n  'fail now'\n  say rc\nreturn\n")
    out(t, "loop", "i = 1\nwhile (1)\n  i = i + 1\nendwhile\n")
    out(t, "recurse", "function main()\nsay r(5)\nreturn\nfunction r(n)\nif (n <= 0); return 0; endif\n"
        "return n + r(n - 1)\n")


# ---------------------------------------------------------------- command
def commandseeds():
    t = "command"
    out(t, "display", "set lon 0 360\nset lat -90 90\nd t\nset gxout shaded\nd t\n"
        "set gxout grid\nd ps/100\nq dims\nq file\n")
    out(t, "define", "define x = t*2\nset t 1 4\nd aave(x,global)\nq define\nundefine x\n"
        "y = t(t+1) - t\nset x 1 10\nd y\nmodify y seasonal\n")
    out(t, "station", "set dfile 2\nset gxout stnmark\nd ps\nset stid kabc\nd ts\nq stnmap\n"
        "coll 1 ps\nset gxout model\nd ps\n")
    out(t, "print", "enable print out.gmf\nd t\nprint\ndisable print\nprintim out.png x200 y150\n"
        "set fwrite out.dat\nset gxout fwrite\nd t\ndisable fwrite\n")
    out(t, "edges", "set z -2147483648 2147483647\nset t 2147483647\nset lon 1e30 -1e30\n"
        "set clevs 1e38 -1e38\nset cint 0\nd t\nset annot 1 2147483647\ndraw string 1 1 abc\n"
        "draw line 0 0 11 8.5\ndraw rec 1 1 2 2\ndraw map\nset mproj nps\nd t\n")
    out(t, "draw", "set gxout vector\nd t;ps\nset gxout stream\nd t;ps\nset gxout barb\n"
        "d skip(t,2);ps\ndraw title hello\ndraw xlab x\nset mproj robinson\nd t\nclear\n")
    out(t, "nonregular", "exec zero\nexec dir.d\nexec fed.fifo\nopen zero\nopen dir.d\nopen fed.fifo\n"
        "set mpdset zero\nd ps\nclear\nset mpdset fed.fifo\nd ps\nclear\nset mpdset dir.d\nd ps\n"
        "draw string 1 1 `5a\ndraw string 1 2 `6b\ndraw string 1 3 `7c\nprintim dir.d\nenable print zero\n")


# ---------------------------------------------------------------- sdfcoord
def sdfcoordseeds():
    t = "sdfcoord"
    def d(v):
        return struct.pack("<%dd" % len(v), *v)
    out(t, "lon", join("degrees_east", "0000-00-00 06:00:00", d([0.0 + 2.5 * i for i in range(144)])))
    out(t, "lat", join("degrees_north", "", d([90.0 - 2.5 * i for i in range(73)])))
    out(t, "levels", join("hPa", "", d([1000, 925, 850, 700, 500, 300, 200, 100])))
    out(t, "hours", join("hours since 1900-01-01 00:00:0.0", "0000-01-00 00:00:00",
                         d([657000.0, 657006.0, 657012.0])))
    out(t, "days", join("days since 2000-1-1", "0001-00-00 00:00:00", d([0.0, 31.0, 59.0, 90.0])))
    out(t, "yyyymmdd", join("yyyymmddhhmmss", "", d([20000101000000.0, 20000102000000.0])))
    out(t, "single", join("degrees_east", "", d([10.0])))
    # Hostile coordinate values: one far beyond any float, no numbers,
    # westward, repeated, the most values the target takes, and times
    # whose step counts from the start would run for ever.
    out(t, "lon_huge", join("degrees_east", "", d([-1e35, 0.0, 2.5, 5.0])))
    out(t, "lon_nan", join("degrees_east", "", d([0.0, float("nan"), 5.0, 7.5])))
    out(t, "lon_inf", join("degrees_east", "", d([float("-inf"), 0.0, float("inf")])))
    out(t, "lon_west", join("degrees_east", "", d([357.5 - 2.5 * i for i in range(144)])))
    out(t, "lon_west_dateline", join("degrees_east", "", d([10.0, 5.0, 0.0, 355.0, 350.0])))
    out(t, "lon_duplicate", join("degrees_east", "", d([0.0, 2.5, 2.5, 5.0])))
    out(t, "lon_many", join("degrees_east", "", d([1e-3 * i for i in range(4096)])))
    out(t, "lon_wraps_many", join("degrees_east", "", d([0.0, 1e30, 2e30, 3e30])))
    out(t, "time_huge", join("days since 1-1-1", "0000-00-00 00:00:01", d([1e300, 1.7e308, -1e300])))
    out(t, "time_nan", join("hours since 1900-01-01", "0000-00-01 00:00:00", d([float("nan"), float("inf")])))
    out(t, "yyyymmdd_huge", join("yyyymmddhhmmss", "9999-99-99 99:99:99", d([9.9e307, -1e20])))

# ---------------------------------------------------------------- pdef
# One projected grid of each method: (name, method number, native isize,
# jsize, parameters, x axis, y axis); an axis is ("linear", start, inc, n)
# or ("levels", [values]).
PDEFS = [
    ("nps", 0, 11, 11, [6, 6, -80, 707.9111], ("linear", -80, 90, 4), ("levels", [60, 90])),
    ("sps", 1, 11, 11, [6, 6, -80, -707.9111], ("linear", -80, 90, 4), ("levels", [-90, -60])),
    ("lcc", 2, 50, 50, [30, -100, 25, 25, 60, 30, -95, 50000, 50000], ("linear", -110, 1, 20),
     ("linear", 25, 1, 20)),
    ("etau", 3, 21, 41, [-100, 40, 0.5, 0.5], ("linear", -105, 0.5, 20), ("linear", 35, 0.5, 20)),
    ("pse", 4, 11, 11, [70, -45, 5, 5, 25, 25, 1], ("levels", [0, 90, 180, 270]),
     ("levels", [85, 90])),
    ("ops", 5, 50, 50, [45, 10, 0, 0, 25, 25, 50000, 50000], ("linear", 0, 1, 20),
     ("linear", 40, 1, 10)),
    ("bilin", 6, 11, 11, [], ("linear", 0, 10, 3), ("linear", 0, 10, 2)),
    ("file", 7, 11, 11, [2], ("linear", 0, 10, 3), ("linear", 0, 10, 2)),
]
PDEFWORDS = ["nps", "sps", "lcc", "eta.u", "pse", "ops", "bilin", "file"]


def axisn(ax):
    return ax[3] if ax[0] == "linear" else len(ax[1])


def weights(method, n, big=False):
    """The weight file of bilin (i, j positions and angles) or of file with
    two contributing points per target point."""
    e = ">" if big else "<"
    if method == 6:
        ip = [1.0 + 1.5 * k for k in range(n)]
        jp = [2.0 + 1.25 * k for k in range(n)]
        return struct.pack(e + "%df" % (3 * n), *(ip + jp + [0.0] * n))
    out_ = b""
    for w in range(2):
        out_ += struct.pack(e + "%di" % n, *[1 + k + 11 * w for k in range(n)])
        out_ += struct.pack(e + "%df" % n, *[0.5] * n)
    return out_ + struct.pack(e + "%df" % n, *[0.0] * n)


def pdefheader(method, flags, isz, jsz, parms, xax, yax):
    nx, ny = axisn(xax), axisn(yax)
    flags |= (1 if xax[0] == "levels" else 0) | (2 if yax[0] == "levels" else 0)
    h = bytes([method, flags, isz - 1, jsz - 1, nx - 1, ny - 1])
    h += struct.pack("<9f", *(list(parms) + [0.0] * (9 - len(parms))))
    for ax in (xax, yax):
        vals = [ax[1], ax[2]] if ax[0] == "linear" else ax[1]
        h += struct.pack("<%df" % len(vals), *vals)
    return h


def axisline(word, ax):
    if ax[0] == "linear":
        return "%s %d linear %g %g\n" % (word, ax[3], ax[1], ax[2])
    return "%s %d levels %s\n" % (word, len(ax[1]), " ".join("%g" % v for v in ax[1]))


def pdefseeds():
    t = "pdef"
    for name, m, isz, jsz, parms, xax, yax in PDEFS:
        n = axisn(xax) * axisn(yax)
        w = weights(m, n) if m >= 6 else b""
        out(t, name, join(pdefheader(m, 0, isz, jsz, parms, xax, yax), w))
        # The same in a descriptor, with a native grid of counting values.
        rec = "pdef %d %d %s" % (isz, jsz, PDEFWORDS[m])
        rec += "".join(" %g" % v for v in parms)
        if m >= 6:
            rec += " stream binary-little ^d.aux"
        ctl = ("dset ^d.bin\nundef -9.99e8\n" + rec + "\n" + axisline("xdef", xax) +
               axisline("ydef", yax) + "zdef 1 levels 1\ntdef 1 linear 00z1jan2000 1dy\n"
               "vars 1\np 0 0 p\nendvars\n")
        out("descriptor", "pdef_" + name, join(ctl, floats([float(i) for i in range(isz * jsz)]), w))
    # Parameters past the parser: an infinite and a huge longitude.
    out(t, "lcc_raw_far", join(pdefheader(2, 32, 50, 50, [30, -100, 25, 25, 60, 30, 1e30, 50000,
                                                           50000], ("linear", -110, 1, 4),
                                          ("linear", 25, 1, 4)), b""))
    out(t, "ops_raw_inf", join(pdefheader(5, 32, 50, 50, [60, float("inf"), 0, 0, 25, 25, 50000,
                                                           50000], ("linear", -100, 1, 4),
                                          ("levels", [30, 1e30])), b""))
    # A file method weight file in sequential big-endian records.
    n = 6
    seq = b""
    raw = weights(7, n, big=True)
    for k in range(5):
        rec = raw[4 * n * k:4 * n * (k + 1)]
        seq += struct.pack(">i", len(rec)) + rec + struct.pack(">i", len(rec))
    out(t, "file_seq_big", join(pdefheader(7, 4 | 8, 11, 11, [2], ("linear", 0, 10, 3),
                                           ("linear", 0, 10, 2)), seq))


# ---------------------------------------------------------------- axes
PROJS = {"off": 0, "scaled": 1, "latlon": 2, "nps": 3, "sps": 4, "robinson": 5,
         "mollweide": 6, "ortho": 7, "lambert": 8}


def axes(proj, xdim, ydim, lon, lat, lev=(1000, 100), val=(0, 1), lint=(0, 0),
         flags=0, more=0, xaxis=(0, 0, 0), yaxis=(0, 0, 0), mpvals=(0, 0, 0, 0),
         tstep=(0, 360), tbeg=(2000, 1, 1, 0, 0), tend=(2000, 1, 3, 0, 0), xlevs=()):
    h = bytes([PROJS[proj], xdim + 5 * ydim, flags, more | (len(xlevs) << 4)])
    f = list(lon) + list(lat) + list(lev) + list(val) + list(lint) + list(xaxis) + list(yaxis)
    f += list(mpvals) + list(tstep)
    t = b"".join(struct.pack("<i4B", y, mo - 1, dy - 1, hr, mn) for y, mo, dy, hr, mn in (tbeg, tend))
    return h + struct.pack("<%df" % len(f), *f) + t + struct.pack("<%df" % len(xlevs), *xlevs)


def axesseeds():
    t = "axes"
    out(t, "latlon", axes("latlon", 0, 1, (0, 360), (-90, 90)))
    out(t, "regional", axes("latlon", 0, 1, (-20, 20), (30, 50), lint=(5, -2), flags=8))
    out(t, "nps", axes("nps", 0, 1, (0, 360), (20, 90), flags=8 | 32))
    out(t, "robinson", axes("robinson", 0, 1, (-180, 180), (-90, 90), flags=8))
    out(t, "mollweide", axes("mollweide", 0, 1, (-180, 180), (-80, 80), flags=8))
    out(t, "ortho", axes("ortho", 0, 1, (-90, 90), (-90, 90), flags=8))
    out(t, "lambert", axes("lambert", 0, 1, (-120, -60), (20, 60), flags=8 | 64,
                           mpvals=(-120, -60, 20, 60)))
    out(t, "hugelon", axes("latlon", 0, 1, (-1e38, 357.5), (-90, 90)))
    out(t, "lonlev", axes("latlon", 0, 2, (0, 360), (0, 0), lev=(1000, 10), flags=1))
    out(t, "latval", axes("off", 1, 4, (0, 0), (-90, 90), val=(-3.5, 12), flags=2 | 4))
    out(t, "timelev", axes("latlon", 3, 2, (0, 0), (0, 0), more=1))
    out(t, "years", axes("latlon", 3, 4, (0, 0), (0, 0), tstep=(12, 0), tbeg=(1950, 1, 1, 0, 0),
                         tend=(2020, 1, 1, 0, 0)))
    out(t, "minutes", axes("latlon", 4, 3, (0, 0), (0, 0), tstep=(0, 1), tbeg=(2000, 1, 1, 0, 0),
                           tend=(2000, 1, 1, 0, 20), more=2))
    out(t, "overrides", axes("latlon", 2, 4, (0, 0), (0, 0), flags=128, more=4 | 8,
                             xaxis=(1, 3, 1), yaxis=(0, 10, 2.5), xlevs=(1000, 850, 500)))


# ---------------------------------------------------------------- classic
# Classic netCDF files written by ncgen (netcdf-bin) from CDL: record and
# non-record variables of several types, record parts of odd lengths.
CLASSIC_CDL = """netcdf s {
dimensions:
  x = 5 ; y = 3 ; odd = 3 ; time = UNLIMITED ;
variables:
  byte b(odd) ; b:units = "m" ;
  float v(time, y, x) ; v:scale = 1.5f, 2.5f ;
  double d(time, x) ;
  float w(y, x) ;
  short r(time, odd) ;
  byte c(time, odd) ;
  int i(x) ;
  %s
// global attributes:
  :title = "seeds" ; :odd = 1s, 2s, 3s ;
data:
  b = 1, 2, 3 ;
  v = %s ;
  d = %s ;
  w = 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14 ;
  r = 1, 2, 3, 4, 5, 6 ;
  c = 7, 8, 9, 10, 11, 12 ;
  i = -1, 0, 1, 2, 3 ;
  %s
}
"""
# One record variable of 3 bytes alone: records are not padded.
CLASSIC_ALONE = """netcdf a {
dimensions:
  n = 3 ; time = UNLIMITED ;
variables:
  byte c(time, n) ;
  float s ;
data:
  c = 1, 2, 3, 4, 5, 6, 7, 8, 9 ;
  s = 2.5 ;
}
"""


def ncgen(kind, cdl):
    import shutil
    import subprocess
    import tempfile
    if not shutil.which("ncgen"):
        return None
    with tempfile.TemporaryDirectory() as d:
        src, nc = os.path.join(d, "s.cdl"), os.path.join(d, "s.nc")
        with open(src, "w") as f:
            f.write(cdl)
        subprocess.run(["ncgen", "-k", kind, "-o", nc, src], check=True)
        with open(nc, "rb") as f:
            return f.read()


def slabs(*pairs):
    return b"".join(struct.pack("<QQ", s, c) for s, c in pairs)


def classicseeds():
    t = "classic"
    v = ", ".join(str(k + 0.5) for k in range(30))
    d = ", ".join(str(k * 2.0) for k in range(10))
    plain = CLASSIC_CDL % ("", v, d, "")
    wide = CLASSIC_CDL % ("ushort u(time, x) ; uint64 q(x) ;", v, d,
                          "u = 1, 2, 3, 4, 5, 6, 7, 8, 9, 10 ; q = 1, 2, 3, 4, 5 ;")
    # b (start 1, count 2), v (record 1, rows 1-2, whole rows), d (record 0, whole),
    # w (row 2, x 1-3); the later variables take the pairs again from the first.
    req = slabs((1, 2), (1, 1), (1, 2), (0, 5), (0, 1), (0, 5), (2, 1), (1, 3))
    files = [("cdf1", "classic", plain), ("cdf2", "64-bit offset", plain),
             ("cdf5", "64-bit data", wide), ("alone", "classic", CLASSIC_ALONE)]
    for name, kind, cdl in files:
        data = ncgen(kind, cdl)
        if data is None:
            sys.stderr.write("ncgen not found: classic seeds not written\n")
            return
        out(t, name, join(data, req))
    # No requests: the whole shapes and last values only.
    out(t, "cdf5_plain", ncgen("64-bit data", wide))
    # A file cut inside its data: the header counts records it lacks.
    data = ncgen("64-bit offset", plain)
    out(t, "cut", join(data[:len(data) - 37], req))


# ---------------------------------------------------------------- wire
def wireseeds():
    """Descriptions as the helper packs them (sdfwire.cpp): numbers in the
    machine's order, texts and byte runs after their 32-bit lengths."""
    t = "wire"
    i32 = lambda v: struct.pack("<i", v)
    u32 = lambda v: struct.pack("<I", v)
    text = lambda s: u32(len(s)) + s
    def att(name, nctype, count, values):
        return text(name) + i32(nctype) + i32(count) + text(values)
    dims = [(b"lon", 144), (b"lat", 73), (b"time", 3)]
    head = i32(0) + i32(len(dims)) + i32(2)
    for name, n in dims:
        head += text(name) + struct.pack("<q", n)
    gatts = u32(1) + att(b"title", 2, 5, b"tests\0")
    def var(vid, name, nctype, dimids, atts):
        return i32(vid) + text(name) + i32(nctype) + u32(len(dimids)) + b"".join(i32(d) for d in dimids) + \
            u32(len(atts)) + b"".join(atts)
    vs = [var(0, b"lon", 5, [0], [att(b"units", 2, 12, b"degrees_east\0")]),
          var(1, b"lat", 5, [1], [att(b"units", 2, 13, b"degrees_north\0")]),
          var(2, b"time", 6, [2], [att(b"units", 2, 20, b"days since 2000-1-1\0\0")]),
          var(3, b"v", 3, [2, 1, 0], [att(b"scale_factor", 5, 1, struct.pack("<f", 0.5)),
                                      att(b"_FillValue", 3, 1, struct.pack("<h", -32767))])]
    out(t, "grid", head + gatts + u32(len(vs)) + b"".join(vs))
    out(t, "empty", i32(1) + i32(0) + i32(-1) + u32(0) + u32(0))


# ---------------------------------------------------------------- grib2
def grib2seeds():
    """Small fields of every packing, bit map and grid, made by ecCodes'
    tools from its samples with the data written by the decoder tests'
    writer (tests/data/grib2/g2pack.py); left as they are without the
    tools."""
    import shutil
    import subprocess
    import tempfile
    if not shutil.which("grib_set"):
        print("grib2: ecCodes' tools are not installed, seeds kept as they are")
        return
    t = "grib2"
    pack = os.path.join(HERE, "..", "tests", "data", "grib2", "g2pack.py")
    samples = "/usr/share/eccodes/samples"
    with tempfile.TemporaryDirectory() as w:
        def run(cmd):
            subprocess.run(cmd, shell=True, check=True, cwd=w, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL,
                           env=dict(os.environ, P=pack, S=samples))
        run("python3 $P fill $S/regular_ll_sfc_grib2.tmpl ll.grb2 12 1 && "
            "python3 $P fill $S/regular_ll_sfc_grib2.tmpl llm.grb2 12 1 5 && "
            "python3 $P fill $S/regular_gg_sfc_grib2.tmpl gg.grb2 8 1 7")
        cases = {
            "simple": "cp ll.grb2 c",
            "bitmap": "cp llm.grb2 c",
            "constant": "grib_set -d 5.25 ll.grb2 c",
            "complex": "grib_set -r -s packingType=grid_complex llm.grb2 c",
            "complex_order0": "grib_set -r -s packingType=grid_complex_spatial_differencing ll.grb2 c",
            "complex_order1_missing": "python3 $P complex ll.grb2 c 1 1",
            "complex_order2_missing2": "python3 $P complex ll.grb2 c 2 2 3",
            "complex_constant": "python3 $P constant llm.grb2 c 1",
            "jpeg": "grib_set -r -s packingType=grid_jpeg ll.grb2 c",
            "png": "grib_set -r -s packingType=grid_png gg.grb2 c",
            "ccsds": "grib_set -r -s packingType=grid_ccsds llm.grb2 c",
            "ieee32": "grib_set -r -s packingType=grid_ieee ll.grb2 c",
            "ieee64": "grib_set -r -s packingType=grid_ieee,precision=2 ll.grb2 c",
            "fields": "cat llm.grb2 llm.grb2 ll.grb2 > x && python3 $P join x c",
            "gaussian": "grib_set -s jScansPositively=1,latitudeOfFirstGridPointInDegrees=-87.8638,"
                        "latitudeOfLastGridPointInDegrees=87.8638 gg.grb2 c",
            "reduced_gaussian": "python3 $P fill $S/reduced_gg_pl_32_grib2.tmpl c 4 0",
            "scan_columns": "grib_set -s jPointsAreConsecutive=1,iScansNegatively=1 llm.grb2 c",
            "rotated": "python3 $P fill $S/rotated_ll_sfc_grib2.tmpl x 8 0 && "
                       "grib_set -s latitudeOfSouthernPoleInDegrees=-40,longitudeOfSouthernPoleInDegrees=10 x c",
            "polar": "python3 $P fill $S/polar_stereographic_sfc_grib2.tmpl x 8 0 && "
                     "grib_set -s DxInMetres=100000,DyInMetres=100000,latitudeOfFirstGridPointInDegrees=20,"
                     "longitudeOfFirstGridPointInDegrees=200,orientationOfTheGridInDegrees=255 x c",
            "lambert": "grib_set -s gridType=lambert,Nx=16,Ny=31,latitudeOfFirstGridPointInDegrees=20,"
                       "longitudeOfFirstGridPointInDegrees=230,LoVInDegrees=265,LaDInDegrees=25,"
                       "Latin1InDegrees=25,Latin2InDegrees=45,DxInMetres=120000,DyInMetres=120000 ll.grb2 c",
            "mercator": "grib_set -s gridType=mercator,Ni=16,Nj=31,latitudeOfFirstGridPointInDegrees=-10,"
                        "longitudeOfFirstGridPointInDegrees=350,LaDInDegrees=20,"
                        "latitudeOfLastGridPointInDegrees=40,longitudeOfLastGridPointInDegrees=20,"
                        "DiInMetres=200000,DjInMetres=200000 ll.grb2 c",
        }
        for name, cmd in cases.items():
            run("rm -f c && " + cmd)
            with open(os.path.join(w, "c"), "rb") as f:
                out(t, name, f.read())
        # A file as sent over the wire: a bulletin header before each
        # message.
        with open(os.path.join(w, "ll.grb2"), "rb") as f:
            msg = f.read()
        head = b"****0000000300****\nYGAZ98 KWBN 292156\r\r\n"
        out("gribfile", "bulletin", head + msg + head + msg)


def main():
    descriptor()
    gribseeds()
    stationseeds()
    mapfontseeds()
    exprseeds()
    scriptseeds()
    commandseeds()
    sdfcoordseeds()
    axesseeds()
    pdefseeds()
    classicseeds()
    wireseeds()
    grib2seeds()
    return 0


if __name__ == "__main__":
    sys.exit(main())
