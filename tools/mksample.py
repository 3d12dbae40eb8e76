#!/usr/bin/env python3
"""Build the sample data set share/sample/sample.ctl + sample.dat, and the
same fields as a netCDF file, share/sample/sample.nc.

Input: global topography from cdo's topo operator (Debian package cdo) on
the sample's 2.5-degree grid, written as netCDF by cdo and read back as text
with ncdump (Debian package netcdf-bin):

    cdo -s -f nc topo,r144x73 topo.nc
    ncdump -v topo -p 9,17 topo.nc

Everything else is analytic (a zonal jet, an eastward-moving wave of zonal
wavenumber 4 with its geostrophic wind, a diurnal cycle over land), so the
data set has real land and sea shapes and smooth, plausible fields whose
exact values tests can rely on.

Output: a descriptor and a big-endian float32 file: x fastest (longitude
0..357.5 east), then latitude south to north, then levels, then variables in
descriptor order, then times.  Points below the ground (pressure level
beneath the surface pressure) are undefined.

The netCDF file (classic format, written by ncgen of netcdf-bin from CDL
text) holds the same values: coordinate variables lon, lat, lev and time
with their units, and each variable as (time, lat, lon) or
(time, lev, lat, lon) with the undefined value as _FillValue.
--nc-only makes it from the committed sample.dat without cdo.

The station sample (share/sample/stations.ctl, stations.dat, stations.map)
holds the gridded fields interpolated to forty stations (see stnsample.py);
--stations-only makes it from the committed sample.dat.

The GRIB2 sample (share/sample/sample.grb2) holds the fields of sample.nc
as GRIB edition 2 messages, made by cdo and ecCodes' grib_set (Debian
packages cdo, libeccodes-tools); the projected GRIB2 sample
(share/sample/lambert.grb2) one of them on a Lambert conformal grid,
interpolated by cdo; --grib-only makes both from the committed sample.nc.

Usage: mksample.py [--out DIR] [--topo-dump FILE] [--nc-only] [--stations-only] [--grib-only]
"""

import argparse
import math
import os
import re
import struct
import subprocess
import sys
import tempfile

import stnsample

NX, NY = 144, 73
DX = 2.5
LON0, LAT0 = 0.0, -90.0
LEVELS = [1000.0, 850.0, 500.0, 250.0]
NT = 4
HOURS_PER_STEP = 6
UNDEF = -9.99e8

# Standard-atmosphere-like reference profile per level.
ZSTD = {1000.0: 110.0, 850.0: 1457.0, 500.0: 5574.0, 250.0: 10363.0}
TSTD = {1000.0: 288.0, 850.0: 278.0, 500.0: 252.0, 250.0: 221.0}
DZ = {1000.0: 100.0, 850.0: 200.0, 500.0: 600.0, 250.0: 900.0}     # equator-pole height drop
DT = {1000.0: 40.0, 850.0: 35.0, 500.0: 30.0, 250.0: 10.0}         # equator-pole temperature drop
WAVE = {1000.0: 140.0, 850.0: 170.0, 500.0: 290.0, 250.0: 420.0}     # wave amplitude in height, m
JET = {1000.0: 5.0, 850.0: 10.0, 500.0: 20.0, 250.0: 35.0}         # jet speed, m/s

WAVENUM = 4
PHASE_SPEED = 5.0   # degrees of longitude per step
G = 9.81
OMEGA = 7.292e-5
EARTH_R = 6.371e6

# (name, levels, unit code, description), in file order.
VARS = [
    ("topo", 0, 99, "surface elevation from cdo topo (m), negative: ocean depth"),
    ("ts", 0, 99, "surface temperature (K), analytic, diurnal cycle over land"),
    ("slp", 0, 99, "sea-level pressure (hPa), analytic"),
    ("t", 4, 99, "air temperature (K), analytic"),
    ("z", 4, 99, "geopotential height (m), analytic"),
    ("u", 4, 99, "zonal wind (m/s), jet plus geostrophic wave wind"),
    ("v", 4, 99, "meridional wind (m/s), geostrophic wave wind"),
]

CTL = """\
* Ombra sample data set, made by tools/mksample.py (see tools/README.md).
* Topography from cdo's topo operator; every other field is analytic.
dset ^sample.dat
title Ombra sample: topography and analytic weather-like fields
undef {undef}
options big_endian
xdef {nx} linear {lon0} {dx}
ydef {ny} linear {lat0} {dx}
zdef {nz} levels {levels}
tdef {nt} linear 00z01jan2000 {hours}hr
vars {nvars}
{vars}
endvars
"""


class SampleError(Exception):
    pass


def fmt_num(v):
    return ("%g" % v)


def descriptor():
    vars_text = "\n".join("%-5s %d %d %s" % v for v in VARS)
    return CTL.format(undef="-9.99e8", nx=NX, ny=NY, lon0=fmt_num(LON0), lat0=fmt_num(LAT0),
                      dx=fmt_num(DX), nz=len(LEVELS), levels=" ".join(fmt_num(p) for p in LEVELS),
                      nt=NT, hours=HOURS_PER_STEP, nvars=len(VARS), vars=vars_text)


def parse_ncdump(text, name, count):
    """The values of one variable from ncdump's text output."""
    m = re.search(r"^\s*%s\s*=(.*?);" % re.escape(name), text.split("data:", 1)[-1], re.S | re.M)
    if not m:
        raise SampleError("no data for %s in the ncdump output" % name)
    vals = [float(x) for x in m.group(1).replace("\n", " ").split(",") if x.strip()]
    if len(vals) != count:
        raise SampleError("%s has %d values, expected %d" % (name, len(vals), count))
    return vals


def run(cmd):
    """Run a command (an argument list, no shell); its output as text."""
    try:
        r = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    except OSError as e:
        raise SampleError("cannot run %s: %s" % (cmd[0], e))
    if r.returncode != 0:
        raise SampleError("%s failed: %s" % (" ".join(cmd), r.stderr.decode(errors="replace")))
    return r.stdout.decode("ascii")


def cdo_topo():
    with tempfile.TemporaryDirectory() as tmp:
        nc = os.path.join(tmp, "topo.nc")
        run(["cdo", "-s", "-f", "nc", "topo,r%dx%d" % (NX, NY), nc])
        return run(["ncdump", "-v", "topo", "-p", "9,17", nc])


def lon_of(i):
    return LON0 + i * DX


def lat_of(j):
    return LAT0 + j * DX


def envelope(lat):
    """Latitude envelope of the wave (both hemispheres, vanishing at the
    poles so the geostrophic wind stays finite there) and its derivative
    per radian of latitude."""
    d = abs(lat) - 50.0
    g = math.exp(-(d / 15.0) ** 2)
    dg = g * (-2.0 * d / 15.0 ** 2) * (1.0 if lat >= 0 else -1.0) * 180.0 / math.pi
    r = math.radians(lat)
    c2 = math.cos(r) ** 2
    return g * c2, dg * c2 - g * 2.0 * math.cos(r) * math.sin(r)


def surface_pressure(topo):
    return 1013.0 * math.exp(-max(topo, 0.0) / 8000.0)


def fields_at(step, topo):
    """All variables of one time as a list of grids (lists of NX*NY floats),
    in file order, levels bottom first."""
    hours = step * HOURS_PER_STEP
    phase = math.radians(step * PHASE_SPEED)
    grids = [list(topo)]
    ts, slp = [], []
    for j in range(NY):
        lat = lat_of(j)
        s = math.sin(math.radians(lat))
        e, _ = envelope(lat)
        for i in range(NX):
            lon = lon_of(i)
            h = topo[j * NX + i]
            w = math.cos(WAVENUM * (math.radians(lon) - phase))
            local = (hours + lon / 15.0) % 24.0
            diurnal = 5.0 * math.cos(2.0 * math.pi * (local - 14.0) / 24.0) if h > 0.0 else 0.0
            ts.append(300.0 - 45.0 * s * s - 8.0 * s - 0.0065 * max(h, 0.0) + diurnal)
            slp.append(1013.0 - 15.0 * math.exp(-((lat - 60.0) / 10.0) ** 2)
                       + 25.0 * w * e)
    grids += [ts, slp]
    t_lv, z_lv, u_lv, v_lv = [], [], [], []
    for p in LEVELS:
        tg, zg, ug, vg = [], [], [], []
        for j in range(NY):
            lat = lat_of(j)
            rlat = math.radians(lat)
            s = math.sin(rlat)
            c = math.cos(rlat)
            f = 2.0 * OMEGA * max(abs(s), math.sin(math.radians(10.0))) * (1.0 if lat >= 0 else -1.0)
            e, de = envelope(lat)
            jet = JET[p] * math.exp(-((abs(lat) - 35.0) / 12.0) ** 2) \
                - 5.0 * math.exp(-(lat / 12.0) ** 2) * p / 1000.0
            for i in range(NX):
                arg = WAVENUM * (math.radians(lon_of(i)) - phase)
                w, dw = math.cos(arg), -WAVENUM * math.sin(arg)
                if p > surface_pressure(topo[j * NX + i]):
                    tg.append(UNDEF)
                    zg.append(UNDEF)
                    ug.append(UNDEF)
                    vg.append(UNDEF)
                    continue
                zg.append(ZSTD[p] + DZ[p] * (0.5 - s * s) + WAVE[p] * w * e)
                tg.append(TSTD[p] + DT[p] * (0.5 - s * s) - 6.0 * s
                          + 4.0 * math.cos(arg + math.pi / 2.0) * e)
                dzdy = WAVE[p] * w * de / EARTH_R
                dzdx = WAVE[p] * dw * e / (EARTH_R * c) if c > 1e-9 else 0.0
                ug.append(jet - G / f * dzdy)
                vg.append(G / f * dzdx)
        t_lv += tg
        z_lv += zg
        u_lv += ug
        v_lv += vg
    return grids + [t_lv, z_lv, u_lv, v_lv]


# Long names and units of the variables in the netCDF file.
NC_ATTS = {
    "topo": ("surface elevation, negative: ocean depth", "m"),
    "ts": ("surface temperature", "K"),
    "slp": ("sea-level pressure", "hPa"),
    "t": ("air temperature", "K"),
    "z": ("geopotential height", "m"),
    "u": ("zonal wind", "m/s"),
    "v": ("meridional wind", "m/s"),
}


def fmt_float(v):
    """A float32 value as CDL text that reads back to the same float."""
    return "%.9g" % v


def cdl(data):
    """CDL text of the netCDF file holding the fields of the binary file
    (bytes as build() makes them)."""
    nz = len(LEVELS)
    grid = NX * NY
    per_time = sum(max(v[1], 1) for v in VARS) * grid
    if len(data) != 4 * per_time * NT:
        raise SampleError("sample.dat has %d bytes, expected %d" % (len(data), 4 * per_time * NT))
    vals = struct.unpack(">%df" % (per_time * NT), data)
    out = ["netcdf sample {", "dimensions:", "\tlon = %d ;" % NX, "\tlat = %d ;" % NY,
           "\tlev = %d ;" % nz, "\ttime = UNLIMITED ; // (%d currently)" % NT, "variables:",
           "\tdouble lon(lon) ;", '\t\tlon:units = "degrees_east" ;', '\t\tlon:long_name = "longitude" ;',
           "\tdouble lat(lat) ;", '\t\tlat:units = "degrees_north" ;', '\t\tlat:long_name = "latitude" ;',
           "\tdouble lev(lev) ;", '\t\tlev:units = "hPa" ;', '\t\tlev:long_name = "pressure level" ;',
           "\tdouble time(time) ;", '\t\ttime:units = "hours since 2000-01-01 00:00:00" ;',
           '\t\ttime:calendar = "standard" ;', '\t\ttime:long_name = "time" ;']
    for name, lev, _, _ in VARS:
        dims = "time, lev, lat, lon" if lev else "time, lat, lon"
        long_name, units = NC_ATTS[name]
        out += ["\tfloat %s(%s) ;" % (name, dims), '\t\t%s:long_name = "%s" ;' % (name, long_name),
                '\t\t%s:units = "%s" ;' % (name, units), "\t\t%s:_FillValue = %gf ;" % (name, UNDEF)]
    out += ["", '\t:title = "Ombra sample: topography and analytic weather-like fields" ;',
            '\t:source = "tools/mksample.py" ;', "data:"]

    def listing(name, numbers, fmt):
        out.append("")
        out.append(" %s =" % name)
        text = [fmt(x) for x in numbers]
        for k in range(0, len(text), 8):
            out.append("  " + ", ".join(text[k:k + 8]) + ("," if k + 8 < len(text) else " ;"))

    listing("lon", [lon_of(i) for i in range(NX)], fmt_num)
    listing("lat", [lat_of(j) for j in range(NY)], fmt_num)
    listing("lev", LEVELS, fmt_num)
    listing("time", [step * HOURS_PER_STEP for step in range(NT)], fmt_num)
    off = 0
    for name, lev, _, _ in VARS:
        n = max(lev, 1) * grid
        numbers = []
        for step in range(NT):
            start = step * per_time + off
            numbers += vals[start:start + n]
        listing(name, numbers, fmt_float)
        off += n
    out.append("}")
    return "\n".join(out) + "\n"


def write_netcdf(data, path):
    """Write the netCDF file of the fields in data (as build() makes them)."""
    with tempfile.TemporaryDirectory() as tmp:
        src = os.path.join(tmp, "sample.cdl")
        with open(src, "w", encoding="ascii") as f:
            f.write(cdl(data))
        run(["ncgen", "-k", "classic", "-o", path, src])


# The sample's fields as GRIB2 parameters (cdo's number.category.discipline),
# each with the decimal precision it is packed to.
GRIB2_PARAMS = [("topo", "5.3.0", 0), ("ts", "17.0.0", 1), ("slp", "1.3.0", 0), ("t", "0.0.0", 1),
                ("z", "5.3.0", 0), ("u", "2.2.0", 1), ("v", "3.2.0", 1)]


def write_grib2(nc, path):
    """Write the GRIB2 copy of the netCDF sample nc: orography (orog),
    skin temperature (skt), sea-level pressure in Pa at mean sea level
    (prmsl), and t, gh, u, v on the isobaric surfaces, as analyses at the
    four times, packed with complex packing and spatial differencing to
    their precision (values below the ground in bit maps)."""
    with tempfile.TemporaryDirectory() as tmp:
        merged = ["-f", "grb2", "-b", "P16", "merge"]
        for name, param, _ in GRIB2_PARAMS:
            merged += ["-setparam,%s" % param] + (["-mulc,100"] if name == "slp" else []) + ["-selname,%s" % name, nc]
        a, b, c = (os.path.join(tmp, n) for n in ("a.grb2", "b.grb2", "c.grb2"))
        run(["cdo", "-s"] + merged + [a])
        run(["grib_set", "-w", "parameterCategory=3,parameterNumber=1", "-s",
             "typeOfFirstFixedSurface=101,scaleFactorOfFirstFixedSurface=missing,"
             "scaledValueOfFirstFixedSurface=missing", a, b])
        for digits in (0, 1):
            names = "/".join({"topo": "orog", "ts": "skt", "slp": "prmsl", "z": "gh"}.get(n, n)
                             for n, _, d in GRIB2_PARAMS if d == digits)
            run(["grib_set", "-w", "shortName=" + names, "-s", "changeDecimalPrecision=%d" % digits, b, c])
            os.replace(c, b)
        run(["grib_set", "-r", "-s", "packingType=grid_complex_spatial_differencing", b, path])


# The projected sample's grid, as grib_set keys: Lambert conformal, secant
# at 30 and 60 degrees north, 30 x 20 points 150 km apart over North
# America from its south-western corner.
LAMBERT = ("gridType=lambert,Nx=30,Ny=20,latitudeOfFirstGridPointInDegrees=18,"
           "longitudeOfFirstGridPointInDegrees=245,LoVInDegrees=265,LaDInDegrees=30,Latin1InDegrees=30,"
           "Latin2InDegrees=60,DxInMetres=150000,DyInMetres=150000,jScansPositively=1")


def grib_points(path):
    """Latitude, longitude and value of every point of the GRIB file path
    (one message), in its order, as ecCodes' grib_get_data gives them."""
    pts = []
    for line in run(["grib_get_data", "-F", "%.9g", path]).splitlines()[1:]:
        la, lo, v = line.split()
        pts.append((float(la), float(lo), float(v)))
    return pts


def write_lambert(nc, path):
    """Write the projected GRIB2 sample: the 500 hPa height of the netCDF
    sample nc at its first time (gh, 0/3/5) on the grid LAMBERT, one message
    in 16-bit simple packing, each point's value interpolated bilinearly
    from the sample's grid at the latitude and longitude ecCodes gives it
    (to a tenth of a metre)."""
    with tempfile.TemporaryDirectory() as tmp:
        ll, box, lam, rules = (os.path.join(tmp, n) for n in ("ll.grb2", "box.grb2", "lam.grb2", "rules"))
        sel = ["-setname,gh", "-setparam,5.3.0", "-seltimestep,1", "-sellevel,500", "-selname,z", nc]
        run(["cdo", "-s", "-f", "grb2", "-b", "P16"] + sel + [ll])
        # A message of as many points, made the Lambert grid.
        run(["cdo", "-s", "-f", "grb2", "-b", "P16", "-remapnn,r30x20"] + sel + [box])
        run(["grib_set", "-s", LAMBERT, box, lam])
        g = [[0.0] * NX for _ in range(NY)]
        for la, lo, v in grib_points(ll):
            g[int(round((la - LAT0) / DX))][int(round((lo - LON0) / DX)) % NX] = v
        vals = []
        for la, lo, _ in grib_points(lam):
            x, y = ((lo - LON0) % 360.0) / DX, (la - LAT0) / DX
            i0, j0 = int(x), int(y)
            fx, fy, i1 = x - i0, y - j0, (i0 + 1) % NX
            v = (1 - fy) * ((1 - fx) * g[j0][i0] + fx * g[j0][i1]) + fy * ((1 - fx) * g[j0 + 1][i0] + fx * g[j0 + 1][i1])
            vals.append("%.1f" % v)
        with open(rules, "w", encoding="ascii") as f:
            f.write('set values = {%s};\nwrite "%s";\n' % (",".join(vals), path))
        run(["grib_filter", rules, lam])


def write_gribs(nc, out):
    """Write both GRIB2 samples from the netCDF sample nc into the directory
    out; their sizes."""
    sizes = []
    for name, write in (("sample.grb2", write_grib2), ("lambert.grb2", write_lambert)):
        path = os.path.join(out, name)
        write(nc, path + ".tmp")
        os.replace(path + ".tmp", path)
        sizes.append(os.path.getsize(path))
    return sizes


def write_stations(data, out):
    """Write the station sample made from the fields in data (as build()
    makes them) into the directory out."""
    dat, smap = stnsample.build(data)
    for name, content in (("stations.dat", dat), ("stations.map", smap),
                          ("stations.ctl", stnsample.CTL.encode("ascii"))):
        path = os.path.join(out, name)
        with open(path + ".tmp", "wb") as f:
            f.write(content)
        os.replace(path + ".tmp", path)
    return len(dat)


def build(topo):
    """The whole binary file as bytes."""
    if len(topo) != NX * NY:
        raise SampleError("topography has %d points, expected %d" % (len(topo), NX * NY))
    out = bytearray()
    for step in range(NT):
        for g in fields_at(step, topo):
            out += struct.pack(">%df" % len(g), *g)
    return bytes(out)


def main(argv):
    ap = argparse.ArgumentParser(description="Build the sample data set")
    here = os.path.dirname(os.path.abspath(__file__))
    ap.add_argument("--out", default=os.path.join(here, "..", "share", "sample"), help="output directory")
    ap.add_argument("--topo-dump", help="read ncdump text of the topography from this file instead of running cdo")
    ap.add_argument("--nc-only", action="store_true",
                    help="only write sample.nc, from the sample.dat already in the output directory")
    ap.add_argument("--stations-only", action="store_true",
                    help="only write the station sample, from the sample.dat already in the output directory")
    ap.add_argument("--grib-only", action="store_true",
                    help="only write sample.grb2 and lambert.grb2, from the sample.nc already in the output directory")
    args = ap.parse_args(argv)
    try:
        if args.grib_only:
            print("sample.grb2 %d bytes, lambert.grb2 %d bytes" % tuple(write_gribs(os.path.join(args.out, "sample.nc"),
                                                                                     args.out)))
            return 0
        if args.stations_only:
            with open(os.path.join(args.out, "sample.dat"), "rb") as f:
                data = f.read()
            print("stations.dat %d bytes, stations.map, stations.ctl" % write_stations(data, args.out))
            return 0
        if args.nc_only:
            with open(os.path.join(args.out, "sample.dat"), "rb") as f:
                data = f.read()
            path = os.path.join(args.out, "sample.nc")
            write_netcdf(data, path + ".tmp")
            os.replace(path + ".tmp", path)
            print("sample.nc %d bytes" % os.path.getsize(path))
            return 0
        if args.topo_dump:
            with open(args.topo_dump, encoding="ascii") as f:
                text = f.read()
        else:
            text = cdo_topo()
        data = build(parse_ncdump(text, "topo", NX * NY))
        os.makedirs(args.out, exist_ok=True)
        for name, content in (("sample.dat", data), ("sample.ctl", descriptor().encode("ascii"))):
            path = os.path.join(args.out, name)
            with open(path + ".tmp", "wb") as f:
                f.write(content)
            os.replace(path + ".tmp", path)
        path = os.path.join(args.out, "sample.nc")
        write_netcdf(data, path + ".tmp")
        os.replace(path + ".tmp", path)
        nstn = write_stations(data, args.out)
        gribs = write_gribs(path, args.out)
        print("sample.dat %d bytes, sample.ctl, sample.nc %d bytes, stations.dat %d bytes, sample.grb2 %d bytes, "
              "lambert.grb2 %d bytes" % (len(data), os.path.getsize(path), nstn, gribs[0], gribs[1]))
    except (OSError, SampleError, stnsample.StationError, ValueError) as e:
        print("mksample: %s" % e, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
