#!/usr/bin/env python3
"""grib1index.py: writes the index of a GRIB edition 1 file that another
tool (cdo, a model, a data centre) made, so that `open` reads it through a
descriptor of your own.

Usage: python3 grib1index.py FILE.ctl

FILE.ctl is the descriptor (see datasets.md, "GRIB data"): it names the
GRIB file (`dset`), the index to write (`index`), the levels (`zdef`),
the times (`tdef`) and the variables with their units field
`parameter,leveltype[,level[,tri]]`.  Every record of the GRIB file is
matched to a slot (time, variable, level) by its parameter number, level
type, level value and valid time (reference time plus the forecast time
for time-range indicators 0, 1 and 10; the reference time for the
others); records that match no slot are counted and skipped, slots
without a record are marked missing.  The grid is matched as Ombra's own
index maker matches it: with `dtype grib N` only records of grid number N
(octet 7 of the product definition section) are taken; with `dtype grib`
alone or 255, only records with a grid description section of the
descriptor's size (`xdef` x `ydef`, or the `pdef` size for a projected
grid).  The index is written in version 2 of the layout in datasets.md.

Only the standard library is used.  Not handled: `options template`,
GRIB edition 2, and the hemispheric grid pair `dtype grib 29`.
"""

import os
import re
import struct
import sys
from datetime import datetime, timedelta

MONTHS = ["jan", "feb", "mar", "apr", "may", "jun",
          "jul", "aug", "sep", "oct", "nov", "dec"]


def fail(text):
    sys.stderr.write("grib1index: %s\n" % text)
    sys.exit(1)


def descriptor_path(ctl, name):
    if name.startswith("^"):
        return os.path.join(os.path.dirname(os.path.abspath(ctl)), name[1:])
    return name


def parse_time(text):
    """hh[:mm]zddmmmyyyy and its shorter forms (mmmyyyy, ddmmmyyyy ...)."""
    m = re.fullmatch(r"(?:(\d{1,2})(?::(\d{2}))?z)?(\d{1,2})?([a-z]{3})(\d{4})", text.lower())
    if not m or m.group(4) not in MONTHS:
        fail("cannot read the time %s" % text)
    hour, minute, day = int(m.group(1) or 0), int(m.group(2) or 0), int(m.group(3) or 1)
    return datetime(int(m.group(5)), MONTHS.index(m.group(4)) + 1, day, hour, minute)


def add_months(t, n):
    month = t.month - 1 + n
    return t.replace(year=t.year + month // 12, month=month % 12 + 1)


def times_of(n, start, step):
    m = re.fullmatch(r"(\d+)(mn|hr|dy|mo|yr)", step.lower())
    if not m:
        fail("cannot read the time step %s" % step)
    k, unit = int(m.group(1)), m.group(2)
    out = []
    for i in range(n):
        if unit == "mo":
            out.append(add_months(start, i * k))
        elif unit == "yr":
            out.append(add_months(start, 12 * i * k))
        else:
            minutes = {"mn": 1, "hr": 60, "dy": 1440}[unit] * k * i
            out.append(start + timedelta(minutes=minutes))
    return out


def read_descriptor(ctl):
    d = {"levels": [], "vars": [], "grid": 255}
    lines = [l.split() for l in open(ctl) if l.strip() and not l.startswith("*")]
    i = 0
    while i < len(lines):
        w = lines[i]
        key = w[0].lower()
        if key in ("dset", "index"):
            d[key] = descriptor_path(ctl, w[1])
        elif key == "dtype" and len(w) > 2 and w[1].lower() == "grib":
            try:
                d["grid"] = int(w[2])
            except ValueError:
                pass                     # Ombra warns and takes any grid
        elif key in ("xdef", "ydef"):
            d[key] = int(w[1])
        elif key == "pdef":
            d["pdef"] = (int(w[1]), int(w[2]))
        elif key == "zdef":
            n = int(w[1])
            if w[2].lower() == "linear":
                d["levels"] = [float(w[3]) + k * float(w[4]) for k in range(n)]
            else:
                vals = w[3:]
                while len(vals) < n:
                    i += 1
                    vals += lines[i]
                d["levels"] = [float(v) for v in vals[:n]]
        elif key == "tdef":
            d["times"] = times_of(int(w[1]), parse_time(w[3]), w[4])
        elif key == "vars":
            for k in range(int(w[1])):
                v = lines[i + 1 + k]
                code = [int(float(c)) for c in v[2].split(",") if c != ""]
                d["vars"].append((v[0], int(v[1]), code))
            i += int(w[1])
        i += 1
    for key in ("dset", "index", "times"):
        if key not in d:
            fail("the descriptor has no %s record" % ("tdef" if key == "times" else key))
    if d["grid"] == 29:
        fail("the hemispheric grid pair 29 is not handled")
    return d


def grid_taken(d, gridid, size):
    """Whether a record of this grid number and grid description size
    (None without a grid description section) belongs to the data set."""
    if d["grid"] != 255:
        return gridid == d["grid"]
    return size is not None and size == d.get("pdef", (d.get("xdef"), d.get("ydef")))


def slots_of(d):
    """(parameter, level type, level, time-range indicator or None) of each
    slot of one time, in the order of the index."""
    out = []
    for name, nlev, code in d["vars"]:
        if len(code) < 2:
            fail("variable %s: the units field must be parameter,leveltype[,level]" % name)
        if nlev == 0:
            out.append((code[0], code[1], code[2] if len(code) > 2 else 0,
                        code[3] if len(code) > 3 else None))
        else:
            for lev in d["levels"][:nlev]:
                out.append((code[0], code[1], int(round(lev)), None))
    return out


def unsigned(b):
    return int.from_bytes(b, "big")


def signed(b):
    """GRIB integers: sign and magnitude."""
    v, top = unsigned(b), 1 << (8 * len(b) - 1)
    return -(v & (top - 1)) if v & top else v


def ibm_to_float(b):
    mant = unsigned(b[1:4]) / float(1 << 24)
    return (-1 if b[0] & 0x80 else 1) * mant * 16.0 ** ((b[0] & 0x7F) - 64)


def float_to_ibm(x):
    if x == 0:
        return b"\0\0\0\0"
    sign, x, exp = (0x80 if x < 0 else 0), abs(x), 64
    while x >= 1:
        x, exp = x / 16, exp + 1
    while x < 1 / 16.0:
        x, exp = x * 16, exp - 1
    mant = int(round(x * (1 << 24)))
    if mant >= 1 << 24:
        mant, exp = mant >> 4, exp + 1
    return bytes([sign | exp]) + mant.to_bytes(3, "big")


def int_bytes(v):
    return (v if v >= 0 else 0x80000000 | -v).to_bytes(4, "big")


FORECAST_UNIT = {0: 1, 1: 60, 2: 1440, 10: 180, 11: 360, 12: 720}   # in minutes


def records(data):
    """Every GRIB-1 record: its key and its index entry."""
    pos = 0
    while True:
        pos = data.find(b"GRIB", pos)
        if pos < 0 or pos + 8 > len(data):
            return
        total = unsigned(data[pos + 4:pos + 7])
        if data[pos + 7] != 1 or total < 8 or pos + total > len(data):
            fail("not a GRIB edition 1 record at byte %d" % pos)
        pds = pos + 8
        gridid = data[pds + 6]
        flag, param, ltype = data[pds + 7], data[pds + 8], data[pds + 9]
        level = unsigned(data[pds + 10:pds + 12])
        yy, mm, dd, hh, mi = data[pds + 12:pds + 17]
        year = (data[pds + 24] - 1) * 100 + yy
        unit, p1, tri = data[pds + 17], data[pds + 18], data[pds + 20]
        if tri == 10:
            p1 = unsigned(data[pds + 18:pds + 20])
        valid = datetime(year, mm, dd, hh, mi)
        if tri in (0, 1, 10) and p1:
            if unit not in FORECAST_UNIT:
                fail("forecast time unit %d at byte %d is not handled" % (unit, pos))
            valid += timedelta(minutes=FORECAST_UNIT[unit] * p1)
        dscale = signed(data[pds + 26:pds + 28])
        sec = pds + unsigned(data[pds:pds + 3])
        size = None
        if flag & 0x80:                      # grid description section: Ni, Nj at octets 7 to 10
            size = (unsigned(data[sec + 6:sec + 8]), unsigned(data[sec + 8:sec + 10]))
            sec += unsigned(data[sec:sec + 3])
        bitmap = -999
        if flag & 0x40:                      # bit map section: bits at octet 7
            bitmap = sec + 6
            sec += unsigned(data[sec:sec + 3])
        bscale = signed(data[sec + 4:sec + 6])
        ref = ibm_to_float(data[sec + 6:sec + 10])
        nbits = data[sec + 10]
        entry = ((sec + 11, bitmap, nbits), (10.0 ** dscale, 2.0 ** bscale, ref))
        yield (gridid, size, param, ltype, level, tri, valid), entry
        pos += total


def main():
    if len(sys.argv) != 2:
        fail("usage: python3 grib1index.py FILE.ctl")
    d = read_descriptor(sys.argv[1])
    slots = slots_of(d)
    with open(d["dset"], "rb") as f:
        data = f.read()
    found, unused = {}, 0
    wanted = {(p, lt, lv) for p, lt, lv, _ in slots}
    for (gridid, size, param, ltype, level, tri, valid), entry in records(data):
        if (not grid_taken(d, gridid, size) or (param, ltype, level) not in wanted
                or valid not in d["times"]):
            unused += 1
            continue
        found.setdefault((param, ltype, level, valid), []).append((tri, entry))
    ints, floats, missing = b"", b"", 0
    for t in d["times"]:
        for param, ltype, level, tri in slots:
            entries = [e for r, e in found.get((param, ltype, level, t), []) if tri in (None, r)]
            if entries:
                ints += b"".join(int_bytes(v) for v in entries[0][0])
                floats += b"".join(float_to_ibm(v) for v in entries[0][1])
            else:
                missing += 1
                ints += int_bytes(-999) * 3
                floats += float_to_ibm(0) * 3
    n = 3 * len(slots) * len(d["times"])
    t0 = d["times"][0]
    head = b"\0\2" + struct.pack(">4i", 4, 0, n, n)
    head += struct.pack(">h5B", t0.year, t0.month, t0.day, t0.hour, t0.minute, 0)
    head += b"".join(int_bytes(v) for v in (2, len(d["times"]), len(slots), d["grid"]))
    with open(d["index"], "wb") as f:
        f.write(head + ints + floats)
    print("%s: %d slots, %d missing, %d records not used"
          % (os.path.basename(d["index"]), len(slots) * len(d["times"]), missing, unused))


if __name__ == "__main__":
    main()
