#!/usr/bin/env python3
"""stnmap.py: writes the station map of a station data file, so that `open`
reads the data through its descriptor.

Usage: python3 stnmap.py FILE.ctl

FILE.ctl is the descriptor (see datasets.md, "Station data"): it says
`dtype station` and names the data file (`dset`), the map to write
(`stnmap`), the number of times (`tdef`), the variables (the surface ones,
with 0 levels, first) and how the file is written (`options big_endian`,
`little_endian`, `byteswapped`, `sequential`).  The data file is read
report by report, by the rules Ombra reads it by: the first time starts
at byte 0 and each later one right after the header with no levels that
ends the time before.  The map says, for every time, where its first
report starts and how many reports it holds, and the largest number of
values of any report.  It is written in version 2 of the layout in
datasets.md, as NAME.part first, renamed over an older map only when
whole: a failed or interrupted run leaves the older map as it was.

Only the standard library is used.  Not handled: `options template`.
"""

import os
import signal
import struct
import sys

HEADER = 28          # id, latitude, longitude, time offset, levels, surface flag
MAGIC = b"Ombra_stnmapV002"
LARGEST = 2 ** 31 - 1  # a map word is a 31-bit magnitude
OTHER = "big" if sys.byteorder == "little" else "little"


class Damaged(Exception):
    pass


def fail(text):
    sys.stderr.write("stnmap: %s\n" % text)
    sys.exit(1)


def descriptor_path(ctl, name):
    """^ stands for the descriptor's directory, $NAME for the value of an
    environment variable."""
    if name.startswith("^"):
        return os.path.join(os.path.dirname(ctl), name[1:])
    if name.startswith("$"):
        var, slash, rest = name[1:].partition("/")
        if var not in os.environ:
            fail("the environment variable %s is not set" % var)
        return os.environ[var] + slash + rest
    return name


def read_options(d, words):
    for o in (w.lower() for w in words):
        if o == "sequential":
            d["sequential"] = True
        elif o in ("byteswapped", OTHER + "_endian"):
            d["swap"] = True
        elif o == "template":
            fail("options template is not handled")
        elif o not in (sys.byteorder + "_endian", "yrev", "zrev", "cray_32bit_ieee",
                       "365_day_calendar"):
            fail("unknown option %s" % o)


def read_descriptor(ctl):
    try:
        with open(ctl) as f:
            # Records start with a letter or a digit; other lines are comments.
            lines = [l.split() for l in f if l[:1].isalnum()]
    except OSError as e:
        fail("cannot read %s: %s" % (ctl, e.strerror))
    d = {"swap": False, "sequential": False}
    i = 0
    while i < len(lines):
        w = lines[i]
        key = w[0].lower()
        if key in ("dset", "stnmap") and len(w) > 1:
            d[key] = descriptor_path(ctl, w[1])
        elif key == "dtype" and len(w) > 1:
            d["dtype"] = w[1].lower()
        elif key == "byteswapped":
            d["swap"] = True
        elif key in ("options", "format"):
            read_options(d, w[1:])
        elif key == "tdef" and len(w) > 1 and w[1].isdigit():
            d["times"] = int(w[1])
        elif key == "vars" and len(w) > 1 and w[1].isdigit():
            recs = lines[i + 1:i + 1 + int(w[1])]
            if any(len(v) < 2 or not v[1].isdigit() for v in recs):
                fail("a variable record has no level count")
            d["levels"] = [int(v[1]) for v in recs]
            i += len(recs)
        i += 1
    if d.get("dtype") != "station":
        fail("%s does not describe station data (dtype station)" % ctl)
    for key, record in (("dset", "dset"), ("stnmap", "stnmap"), ("times", "tdef"), ("levels", "vars")):
        if key not in d:
            fail("the descriptor has no %s record" % record)
    surface = d["levels"].count(0)
    if any(d["levels"][:surface]):
        fail("the surface variables (0 levels) must come first")
    d["surface"], d["level"] = surface, len(d["levels"]) - surface
    return d


class Reader:
    """The words of the data file, in its byte order."""

    def __init__(self, f, d):
        self.f, self.size = f, os.fstat(f.fileno()).st_size
        self.order = ">" if (sys.byteorder == "big") != d["swap"] else "<"

    def ints(self, pos, n):
        self.f.seek(pos)
        b = self.f.read(4 * n)
        if len(b) != 4 * n:
            raise Damaged("the file ends before byte %d" % (pos + 4 * n))
        return struct.unpack("%s%di" % (self.order, n), b)


def records_end(r, pos, first, total):
    """Where the sequential records of a report of total bytes, starting
    at pos with a first record of first bytes, end."""
    if first > total:
        raise Damaged("the record at byte %d is longer than its report" % pos)
    have, pos = first, pos + first + 8
    while have < total:
        n = r.ints(pos, 1)[0]
        if n <= 0 or have + n > total:
            raise Damaged("the record at byte %d does not fit its report" % pos)
        have, pos = have + n, pos + n + 8
    return pos


def next_report(r, d, pos):
    """(the number of values of the report at pos, or None at the end of a
    time; where the next report starts)."""
    first = r.ints(pos, 1)[0] if d["sequential"] else HEADER
    if first < HEADER:
        raise Damaged("the record at byte %d is shorter than a report header" % pos)
    start = pos + 4 if d["sequential"] else pos
    levels, flag = r.ints(start + 20, 2)
    if levels == 0:
        return None, start + first + (4 if d["sequential"] else 0)
    per = d["level"] + 1
    n = (levels - 1) * per + d["surface"] if flag else levels * per
    if levels < 0 or not 0 <= n <= LARGEST:
        raise Damaged("the report at byte %d has %d levels" % (pos, levels))
    total = HEADER + 4 * n
    end = records_end(r, pos, first, total) if d["sequential"] else pos + total
    if end > r.size:
        raise Damaged("the report at byte %d runs past the end of the file" % pos)
    return n, end


def walk(d):
    """(first report's byte and report count of each time, largest value
    count of a report, bytes after the last time)."""
    offsets, counts, widest = [], [], 0
    with open(d["dset"], "rb") as f:
        r = Reader(f, d)
        pos = 0
        for t in range(d["times"]):
            if pos > LARGEST:
                raise Damaged("time %d starts at byte %d, beyond what a map can hold" % (t + 1, pos))
            offsets.append(pos)
            counts.append(0)
            while True:
                n, pos = next_report(r, d, pos)
                if n is None:
                    break
                counts[-1] += 1
                widest = max(widest, n)
        return offsets, counts, widest, r.size - pos


def replace(path, data):
    part = path + ".part"
    try:
        with open(part, "wb") as f:
            f.write(data)
            f.flush()
            os.fsync(f.fileno())
        os.replace(part, path)
    except BaseException:
        try:
            os.unlink(part)
        except OSError:
            pass
        raise


def main():
    if len(sys.argv) != 2:
        fail("usage: python3 stnmap.py FILE.ctl")
    # A signal ends the run as Ctrl-C does: the part file is removed.
    for s in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(s, lambda n, frame: sys.exit(128 + n))
    d = read_descriptor(sys.argv[1])
    try:
        offsets, counts, widest, left = walk(d)
    except Damaged as e:
        fail("%s: %s" % (d["dset"], e))
    except OSError as e:
        fail("cannot read %s: %s" % (d["dset"], e.strerror))
    words = [len(offsets), widest] + offsets + counts
    try:
        replace(d["stnmap"], MAGIC + struct.pack(">%di" % len(words), *words))
    except OSError as e:
        fail("cannot write %s: %s" % (d["stnmap"], e.strerror))
    print("%s: %d times, %d reports, at most %d values in a report, %d bytes not used"
          % (os.path.basename(d["stnmap"]), len(offsets), sum(counts), widest, left), flush=True)


if __name__ == "__main__":
    try:
        main()
    except KeyboardInterrupt:
        sys.exit(130)
    except BrokenPipeError:
        # The map is written; only the line saying so found no reader.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        sys.exit(141)
