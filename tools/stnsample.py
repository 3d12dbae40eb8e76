"""The station sample: share/sample/stations.ctl, stations.dat and
stations.map, made from the fields of the gridded sample (sample.dat).

Forty stations over North America report at the sample's four times.  Each
report holds the surface values ts, slp and wx and, for every pressure level
of the sample whose four surrounding grid values are all defined (levels
below the ground are left out, as a real sounding leaves them out), the level
and the values t, z, u and v.  Every value is the gridded sample
interpolated bilinearly (in longitude and latitude) to the station; wx is a
weather-symbol code chosen from the station's sea-level pressure.

The data file is big-endian, as the gridded sample: per time, the reports of
that time, then a header with no levels that ends the time.  The map is the
version-2 station map (see docs/datasets.md): "Ombra_stnmapV002", the number
of times and the largest report in 4-byte words, then the byte offset and
the report count of each time, all big-endian integers.  The reader needs
only the largest number of values of a report in the second word, which
docs/examples/stnmap.py writes; the header's 7 words counted in here too do
no harm and keep the committed map as it was.
"""

import math
import struct

NX, NY, DX = 144, 73, 2.5
LEVELS = [1000.0, 850.0, 500.0, 250.0]
NT = 4
UNDEF = -9.99e8

# The gridded sample's variables: (name, levels), in file order.
GRID_VARS = [("topo", 0), ("ts", 0), ("slp", 0), ("t", 4), ("z", 4), ("u", 4), ("v", 4)]

SURFACE = ["ts", "slp", "wx"]
LEVEL = ["t", "z", "u", "v"]

# (id, latitude, longitude): the places of forty upper-air stations.
STATIONS = [
    ("72201", 24.55, -81.75), ("72202", 25.80, -80.30), ("72206", 30.50, -81.70),
    ("72219", 33.65, -84.42), ("72235", 32.30, -90.10), ("72231", 30.00, -90.25),
    ("72250", 25.90, -97.40), ("72249", 32.80, -97.30), ("72265", 31.95, -102.20),
    ("72274", 32.10, -110.90), ("72293", 32.85, -117.10), ("72317", 36.10, -79.95),
    ("72327", 36.25, -86.57), ("72340", 34.80, -92.30), ("72357", 35.20, -97.40),
    ("72365", 35.00, -106.60), ("72386", 36.10, -115.20), ("72493", 37.70, -122.20),
    ("72403", 38.98, -77.48), ("72451", 37.77, -99.97), ("72469", 39.77, -104.87),
    ("72572", 40.77, -111.95), ("72520", 40.53, -80.22), ("72501", 40.87, -72.87),
    ("72632", 42.70, -83.47), ("72649", 44.85, -93.57), ("72662", 44.07, -103.20),
    ("72681", 43.57, -116.20), ("72694", 44.92, -123.00), ("72712", 46.87, -68.02),
    ("72764", 46.77, -100.75), ("72776", 47.45, -111.38), ("72797", 47.95, -124.55),
    ("71836", 51.27, -80.65), ("71867", 53.97, -101.10), ("71119", 53.55, -114.10),
    ("71203", 49.97, -119.40), ("72393", 34.75, -120.57), ("72261", 29.37, -100.92),
    ("72240", 30.12, -93.22),
]

CTL = """\
* Ombra station sample, made by tools/mksample.py (see tools/README.md) from
* the gridded sample: forty stations, values interpolated from sample.dat.
dset ^stations.dat
dtype station
stnmap ^stations.map
title Ombra station sample: the gridded sample at forty stations
undef -9.99e8
options big_endian
tdef 4 linear 00z01jan2000 6hr
vars 7
ts  0 99 surface temperature (K)
slp 0 99 sea-level pressure (hPa)
wx  0 99 weather-symbol code: 1 slp >= 1015, 3 slp >= 1005, 8 below
t   1 99 air temperature (K)
z   1 99 geopotential height (m)
u   1 99 zonal wind (m/s)
v   1 99 meridional wind (m/s)
endvars
"""


class StationError(Exception):
    pass


def grids(data):
    """{(time, name, level index): grid as a tuple of floats} of sample.dat."""
    per_time = sum(max(k, 1) for _, k in GRID_VARS) * NX * NY
    if len(data) != 4 * per_time * NT:
        raise StationError("sample.dat has %d bytes, expected %d" % (len(data), 4 * per_time * NT))
    vals = struct.unpack(">%df" % (per_time * NT), data)
    out = {}
    for t in range(NT):
        off = t * per_time
        for name, nlev in GRID_VARS:
            for k in range(max(nlev, 1)):
                out[(t, name, k)] = vals[off:off + NX * NY]
                off += NX * NY
    return out


def corners(lat, lon):
    """The four grid indexes around a place and their bilinear weights."""
    x = (lon % 360.0) / DX
    y = (lat + 90.0) / DX
    i, j = int(math.floor(x)), int(math.floor(y))
    fx, fy = x - i, y - j
    i0, i1 = i % NX, (i + 1) % NX
    return [(j * NX + i0, (1 - fx) * (1 - fy)), (j * NX + i1, fx * (1 - fy)),
            ((j + 1) * NX + i0, (1 - fx) * fy), ((j + 1) * NX + i1, fx * fy)]


def interp(grid, around):
    """The interpolated value, or None when a corner is undefined."""
    if any(grid[k] == UNDEF for k, _ in around):
        return None
    return sum(grid[k] * w for k, w in around)


def wxcode(slp):
    return 1.0 if slp >= 1015.0 else 3.0 if slp >= 1005.0 else 8.0


def report(g, t, sid, lat, lon):
    """One report as bytes, and its length in 4-byte words."""
    around = corners(lat, lon)
    ts = interp(g[(t, "ts", 0)], around)
    slp = interp(g[(t, "slp", 0)], around)
    vals = [ts, slp, wxcode(slp)]
    nlev = 1
    for k, p in enumerate(LEVELS):
        lv = [interp(g[(t, name, k)], around) for name in LEVEL]
        if None in lv:
            continue
        vals += [p] + lv
        nlev += 1
    body = struct.pack(">8sfffii", sid.encode("ascii").ljust(8), lat, lon, 0.0, nlev, 1)
    body += struct.pack(">%df" % len(vals), *vals)
    return body, len(body) // 4


def build(data):
    """(stations.dat, stations.map) as bytes from the bytes of sample.dat."""
    g = grids(data)
    out = bytearray()
    offs, cnts, widest = [], [], 0
    for t in range(NT):
        offs.append(len(out))
        cnts.append(len(STATIONS))
        for sid, lat, lon in STATIONS:
            body, words = report(g, t, sid, lat, lon)
            out += body
            widest = max(widest, words)
        out += struct.pack(">8sfffii", b" " * 8, 0.0, 0.0, 0.0, 0, 0)
    smap = b"Ombra_stnmapV002" + struct.pack(">%di" % (2 + 2 * NT), NT, widest, *(offs + cnts))
    return bytes(out), smap
