"""The data files of the differential check and the table of the data sets
they make (data/datasets.json), which the session generator reads.

Everything is made once per run of the check, before either build runs a
session, so both builds read the same bytes:

- the repository's sample (share/sample), gridded, netCDF and station data;
- netCDF files written with ncgen from CDL text: monthly, mid-month,
  end-of-month, daily and 6-hourly series, as single files and as template
  series (one member per month or day), in the classic, 64-bit offset,
  netCDF-4 and netCDF-4 classic formats, packed shorts, a file stored north
  to south and east to west, a series whose member begins inside the first
  file, extended descriptors of a file and of a template series;
- binary grids: a monthly template series with its descriptor;
- a station data set of the station sample's stations made from another
  gridded field (tools/stnsample.py);
- HDF4 files: a time series, unsigned and calibrated data, compressed and
  chunked storage, a larger grid (mkhdf4.cpp, with the tests' makers);
- GRIB with its descriptor and index, and netCDF, written through LATS by
  the older build (the GRIB file is input of every session, so the older
  build's writer is the fixed one).

    python3 data.py OUTDIR OLD_OMBRA SHARE
"""

import datetime as dt
import json
import os
import shutil
import subprocess
import sys

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tools"))
import stnsample  # noqa: E402

# The grid of the generated netCDF files: 10 degrees, a global ring.
LONS = np.arange(0, 360, 30.0)
LATS = np.arange(-90, 91, 20.0)
LEVS = [1000.0, 500.0, 200.0]
EPOCH = dt.datetime(2000, 1, 1)

MONTHS = "jan feb mar apr may jun jul aug sep oct nov dec".split()


def stamp(t):
    """A time as the program writes it: 12Z16JAN2000 or 06:30Z..."""
    hm = "%02dZ" % t.hour if t.minute == 0 else "%02d:%02dZ" % (t.hour, t.minute)
    return "%s%02d%s%d" % (hm, t.day, MONTHS[t.month - 1].upper(), t.year)


def month_start(y, m):
    return dt.datetime(y + (m - 1) // 12, (m - 1) % 12 + 1, 1)


def field(times, nlev, shift=0.0):
    """Smooth values on the grid for each time (and level), with the time's
    index in them so that a wrong step shows."""
    lon, lat = np.meshgrid(np.radians(LONS), np.radians(LATS))
    out = []
    for k, _ in enumerate(times):
        levs = []
        for z in range(max(nlev, 1)):
            v = (k + 1) + 10 * np.cos(lat) * np.cos(2 * lon + 0.3 * k + shift) + 3 * z
            levs.append(np.round(v, 3))
        out.append(levs)
    return np.array(out)  # time, lev, lat, lon


def numbers(a, fmt="%.6g"):
    return ", ".join(fmt % v for v in np.ravel(a))


def cdl(name, times, units, variables, extra_time_attrs="", lons=LONS, lats=LATS, title=""):
    """CDL text of a file on the grid with the given times (numbers in
    `units`) and variables [(name, nlev, values, type, attrs)]."""
    nlev = max((v[1] for v in variables), default=0)
    head = ["netcdf %s {" % name, "dimensions:",
            "  lon = %d ; lat = %d ;" % (len(lons), len(lats))]
    if nlev:
        head.append("  lev = %d ;" % nlev)
    head.append("  time = UNLIMITED ; // (%d currently)" % len(times))
    head += ["variables:",
             '  float lon(lon) ; lon:units = "degrees_east" ;',
             '  float lat(lat) ; lat:units = "degrees_north" ;']
    if nlev:
        head.append('  float lev(lev) ; lev:units = "hPa" ;')
    head.append('  double time(time) ; time:units = "%s" ; %s' % (units, extra_time_attrs))
    data = ["data:", "  lon = %s ;" % numbers(lons), "  lat = %s ;" % numbers(lats)]
    if nlev:
        data.append("  lev = %s ;" % numbers(LEVS[:nlev]))
    data.append("  time = %s ;" % numbers(times, "%.10g"))
    for vname, vlev, vals, vtype, attrs in variables:
        dims = "time, lev, lat, lon" if vlev else "time, lat, lon"
        head.append("  %s %s(%s) ; %s:long_name = \"field %s\" ; %s" % (vtype, vname, dims, vname, vname,
                                                                      attrs))
        data.append("  %s = %s ;" % (vname, numbers(vals, "%d" if vtype == "short" else "%.6g")))
    if title:
        head.append('  :title = "%s" ;' % title)
    return "\n".join(head + data + ["}", ""])


def ncgen(out, name, text, kind="classic"):
    src = os.path.join(out, name + ".cdl")
    with open(src, "w") as f:
        f.write(text)
    subprocess.run(["ncgen", "-k", kind, "-o", os.path.join(out, name), src], check=True)
    os.unlink(src)


def days(t):
    return (t - EPOCH).total_seconds() / 86400.0


class Maker:
    def __init__(self, out):
        self.out = out
        self.sets = []

    def kind(self, files, station):
        """The class of sessions that open a data set first: its format,
        netCDF told by the first bytes of its first file, and whether it is
        a series of files."""
        if station:
            return "station"
        if any(f.endswith(".grb") for f in files):
            return "GRIB"
        if any(f.endswith(".hdf") for f in files):
            return "HDF4"
        ncs = [f for f in files if f.endswith(".nc")]
        if not ncs:
            return "binary"
        with open(os.path.join(self.out, ncs[0]), "rb") as f:
            kind = "netCDF-4" if f.read(4) == b"\x89HDF" else "netCDF classic"
        return kind + " series" if len(ncs) > 1 else kind

    def add(self, name, open_cmd, files, variables, times, **more):
        """One data set of the table: the command that opens it, the files a
        session needs beside it, its variables [(name, levels)], the times
        of its steps and its kind (see kind)."""
        kind = more.pop("kind", None) or self.kind(files, more.get("station"))
        entry = {"name": name, "kind": kind, "open": open_cmd, "files": files, "vars": variables,
                 "times": [stamp(t) for t in times], "nx": more.pop("nx", len(LONS)),
                 "ny": more.pop("ny", len(LATS)), "nz": more.pop("nz", 1),
                 "lon": more.pop("lon", [float(LONS[0]), float(LONS[-1])]),
                 "lat": more.pop("lat", [float(LATS[0]), float(LATS[-1])]),
                 "levs": more.pop("levs", [])}
        entry.update(more)
        self.sets.append(entry)

    def series(self, name, times, kind="classic", nlev=1, units="days since 2000-01-01 00:00:00",
               attrs=""):
        """A single file of these times: v at the surface, t on levels."""
        vals = [("v", 0, field(times, 0)[:, 0], "float", ""),
                ("t", nlev, field(times, nlev, 1.0), "float", 't:missing_value = -999.f ;')]
        scale = {"days": 1.0, "hours": 24.0}[units.split()[0]]
        ncgen(self.out, name, cdl(name[:-3], [days(t) * scale for t in times], units, vals, attrs,
                                  title=name), kind)
        self.add(name, "sdfopen " + name, [name], [["v", 0], ["t", nlev]], times, nz=nlev,
                 levs=LEVS[:nlev])

    def template(self, name, pattern, members, count, missing=(), kind="classic"):
        """A template series: members [(file time, [times])] written as
        pattern's files, opened by the first with the count given."""
        files = []
        for k, (ftime, times) in enumerate(members):
            fname = ftime.strftime(pattern.replace("%y4", "%Y").replace("%m2", "%m").replace("%d2", "%d"))
            if k in missing:
                continue
            vals = [("v", 0, field(times, 0, 0.1 * k)[:, 0], "float", "")]
            ncgen(self.out, fname, cdl("m", [days(t) for t in times], "days since 2000-01-01 00:00:00",
                                       vals), kind)
            files.append(fname)
        alltimes = [t for _, ts in members for t in ts]
        self.add(name, "sdfopen %s %s %d" % (files[0], pattern, count), files, [["v", 0]],
                 alltimes[:count])
        return files


def make_netcdf(m):
    monthly = [month_start(2000, k) for k in range(1, 25)]
    midmonth = [EPOCH + dt.timedelta(days=15.5 + 30 * k) for k in range(12)]
    truemid = [month_start(2000, k) + (month_start(2000, k + 1) - month_start(2000, k)) / 2
               for k in range(1, 13)]
    endmonth = [month_start(2000, k + 1) - dt.timedelta(days=1) for k in range(1, 13)]
    daily = [EPOCH + dt.timedelta(days=k) for k in range(60)]
    six = [EPOCH + dt.timedelta(hours=6 * k) for k in range(40)]
    m.series("mon.nc", monthly, nlev=3)
    m.series("mid.nc", midmonth)
    m.series("tmid.nc", truemid, kind="64-bit-offset")
    m.series("eom.nc", endmonth)
    m.series("day.nc", daily, kind="nc4", nlev=2, units="hours since 2000-01-01 00:00")
    m.series("h6.nc", six, kind="nc7", nlev=3, units="hours since 2000-01-01 00:00")
    m.series("noleap.nc", daily[:40], attrs='time:calendar = "noleap" ;')
    # Template series: a member per month (first of the month, mid-month,
    # end of month), a member per day holding four 6-hourly times, one
    # whose second member begins inside the first file, one with members
    # missing.
    m.template("tmon", "m_%y4%m2.nc", [(t, [t]) for t in monthly[:12]], 12)
    m.template("tmid", "mm_%y4%m2.nc", [(t, [t]) for t in midmonth], 12)
    m.template("teom", "e_%y4%m2.nc", [(t, [t]) for t in endmonth], 12, kind="nc4")
    m.template("tday", "d_%y4%m2%d2.nc",
               [(t, [t + dt.timedelta(hours=6 * h) for h in range(4)]) for t in daily[:6]], 24)
    m.template("tgap", "g_%y4%m2%d2.nc", [(t, [t]) for t in daily[:8]], 8, missing=(2, 5))
    inside = [(EPOCH, [EPOCH, EPOCH + dt.timedelta(hours=12)]),
              (EPOCH + dt.timedelta(days=1), [EPOCH + dt.timedelta(hours=6)])]
    m.template("tinside", "i_%y4%m2%d2.nc", inside, 3)
    # Packed shorts stored north to south, east to west.
    times = monthly[:24]
    packed = np.round((field(times, 1)[:, :, ::-1, ::-1] * 50)).astype(int)
    packed[3, 0, 2, 2] = -32767
    text = cdl("packed", [days(t) for t in times], "days since 2000-01-01 00:00:0.0",
               [("hgt", 1, packed, "short",
                 "hgt:scale_factor = 0.02f ; hgt:add_offset = 5000.f ; hgt:missing_value = -32767s ;")],
               lons=LONS[::-1], lats=LATS[::-1], title="packed heights")
    ncgen(m.out, "packed.nc", text)
    m.add("packed.nc", "sdfopen packed.nc", ["packed.nc"], [["hgt", 1]], times, levs=LEVS[:1],
          kind="netCDF classic packed")
    # Compressed netCDF-4 in chunks.
    vals = field(daily[:20], 2)
    text = cdl("chunks", [days(t) for t in daily[:20]], "days since 2000-01-01",
               [("w", 2, vals, "float", 'w:_ChunkSizes = 1, 1, 5, 6 ; w:_DeflateLevel = 4 ;')])
    ncgen(m.out, "chunks.nc", text, "nc4")
    m.add("chunks.nc", "sdfopen chunks.nc", ["chunks.nc"], [["w", 2]], daily[:20], nz=2, levs=LEVS[:2])
    # Extended descriptors: a file with renamed variables, and the monthly
    # template series with its step given.
    with open(os.path.join(m.out, "mon.xdf"), "w") as f:
        f.write("dset ^mon.nc\ntitle renamed\nundef -999\nvars 2\nv=>vv\nt=>tt\nendvars\n")
    m.add("mon.xdf", "xdfopen mon.xdf", ["mon.xdf", "mon.nc"], [["vv", 0], ["tt", 3]], monthly, nz=3,
          levs=LEVS)
    with open(os.path.join(m.out, "tmon.xdf"), "w") as f:
        f.write("dset ^m_%y4%m2.nc\noptions template\ntdef time 12 linear 00z01jan2000 1mo\n")
    mfiles = [s for s in m.sets if s["name"] == "tmon"][0]["files"]
    m.add("tmon.xdf", "xdfopen tmon.xdf", ["tmon.xdf"] + mfiles, [["v", 0]], monthly[:12])


def make_binary(m):
    """A monthly template series of little-endian binary grids."""
    monthly = [month_start(2001, k) for k in range(1, 7)]
    files = []
    for k, t in enumerate(monthly):
        name = "b_%04d%02d.dat" % (t.year, t.month)
        vals = field([t], 2, 0.2 * k)[0].astype("<f4")
        vals[0, 1, 1] = -999.0
        with open(os.path.join(m.out, name), "wb") as f:
            f.write(vals.tobytes())
            f.write(field([t], 0, 0.5)[0].astype("<f4").tobytes())
        files.append(name)
    ctl = ("dset ^b_%%y4%%m2.dat\ntitle binary monthly members\nundef -999\n"
           "options template little_endian\nxdef %d linear 0 30\nydef %d linear -90 20\n"
           "zdef 2 levels 1000 500\ntdef 6 linear 00z01jan2001 1mo\nvars 2\n"
           "q 2 99 level field\nps 0 99 surface field\nendvars\n" % (len(LONS), len(LATS)))
    with open(os.path.join(m.out, "bin.ctl"), "w") as f:
        f.write(ctl)
    m.add("bin.ctl", "open bin.ctl", ["bin.ctl"] + files, [["q", 2], ["ps", 0]], monthly, nz=2,
          levs=LEVS[:2])


def make_sample(m, share):
    src = os.path.join(share, "sample")
    for name in sorted(os.listdir(src)):
        shutil.copyfile(os.path.join(src, name), os.path.join(m.out, name))
    six = [EPOCH + dt.timedelta(hours=6 * k) for k in range(4)]
    sample_vars = [["topo", 0], ["ts", 0], ["slp", 0], ["t", 4], ["z", 4], ["u", 4], ["v", 4]]
    geo = dict(nx=144, ny=73, nz=4, lon=[0.0, 357.5], lat=[-90.0, 90.0], levs=[1000, 850, 500, 250],
               sample=True)
    m.add("sample.ctl", "open sample.ctl", ["sample.ctl", "sample.dat"], sample_vars, six, **geo)
    m.add("sample.nc", "sdfopen sample.nc", ["sample.nc"], sample_vars, six, **geo)
    stn = ["stations.ctl", "stations.dat", "stations.map"]
    m.add("stations.ctl", "open stations.ctl", stn,
          [["ts", 0], ["slp", 0], ["wx", 0], ["t", 1], ["z", 1], ["u", 1], ["v", 1]], six,
          station=True, lon=[-125.0, -68.0], lat=[24.0, 54.0], nz=4, levs=[1000, 850, 500, 250])
    # A second station set: the same stations reporting the sample's fields
    # a day on, warmer and with the times in reverse.
    with open(os.path.join(src, "sample.dat"), "rb") as f:
        grid = np.frombuffer(f.read(), ">f4").reshape(4, -1)
    warmer = np.where(grid == stnsample.UNDEF, grid, grid + 1.5)[::-1].astype(">f4")
    dat, smap = stnsample.build(warmer.tobytes())
    for name, body in (("obs.dat", dat), ("obs.map", smap),
                       ("obs.ctl", stnsample.CTL.replace("stations.", "obs.")
                        .replace("00z01jan2000", "00z02jan2000").encode())):
        with open(os.path.join(m.out, name), "wb") as f:
            f.write(body)
    m.add("obs.ctl", "open obs.ctl", ["obs.ctl", "obs.dat", "obs.map"],
          [["ts", 0], ["slp", 0], ["wx", 0], ["t", 1], ["z", 1], ["u", 1], ["v", 1]],
          [t + dt.timedelta(days=1) for t in six], station=True, lon=[-125.0, -68.0],
          lat=[24.0, 54.0], nz=4, levs=[1000, 850, 500, 250])


def make_hdf4(m, work):
    exe = os.path.join(work, "mkhdf4")
    subprocess.run(["c++", "-std=c++17", "-O1", "-o", exe, os.path.join(HERE, "mkhdf4.cpp"),
                    os.path.join(ROOT, "tests", "sdf", "hdfmake.cpp"), "-I/usr/include/hdf",
                    "-lmfhdfalt", "-ldfalt"], check=True)
    subprocess.run([exe, m.out], check=True)
    two = [EPOCH, EPOCH + dt.timedelta(hours=12)]
    days = [dt.datetime(2001, 1, 1), dt.datetime(2001, 1, 2)]
    timeless = [dt.datetime(1, 1, 1)]  # a file without times has one, in the year 1
    m.add("h.hdf", "sdfopen h.hdf", ["h.hdf"], [["temp", 0]], two, nx=4, ny=3, lon=[0.0, 270.0],
          lat=[-30.0, 30.0])
    m.add("hu.hdf", "sdfopen hu.hdf", ["hu.hdf"], [["ndvi", 0], ["count", 0], ["lcount", 0], ["sbyte", 0]],
          timeless, nx=3, ny=2, lon=[0.0, 20.0], lat=[-10.0, 10.0])
    for name in ("hs.hdf", "hc.hdf"):
        m.add(name, "sdfopen " + name, [name], [["hgt", 0]], days, nx=30, ny=20, lon=[0.0, 348.0],
              lat=[-47.5, 47.5])
    m.add("hg.hdf", "sdfopen hg.hdf", ["hg.hdf"], [["big", 0]], timeless, nx=40, ny=30, lon=[0.0, 3.9],
          lat=[-80.0, -77.1])


# Sea-level pressure and temperature at two levels for two times as GRIB,
# heights for two times as netCDF.
LATS_GRIB = """\
open sample.ctl
set lats convention ombra_grib
set lats frequency hourly
set lats deltat 6
set lats create g
set lats vertdim plev 1000 850 500 250
set x 1 144
set y 1 73
set gxout latsgrid
d slp
set lats var 1 psl instant 1 0
set lats var 1 ta instant 1 1
set gxout latsdata
""" + "".join("set t %d\nset lats write 1 1\nd slp\n" % t +
              "".join("set lev %d\nset lats write 1 2 %d\nd t\n" % (p, p) for p in (1000, 500))
              for t in (1, 2)) + """\
set lats close 1
set lats reset
set lats convention coards
set lats frequency hourly
set lats deltat 6
set lats create l
set gxout latsgrid
d z
set lats var 2 zg instant 2 0
set gxout latsdata
""" + "".join("set t %d\nset lats write 2 3\nd z\n" % t for t in (1, 2)) + """\
set lats close 2
quit
"""


def make_lats(m, ombra, share):
    """GRIB (ombra_grib: descriptor and index too) and netCDF written by
    the older build from the sample."""
    env = dict(os.environ, OMDDIR=share)
    r = subprocess.run([ombra, "-blE"], input=LATS_GRIB.encode(), cwd=m.out, env=env,
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if r.returncode != 0 or not os.path.exists(os.path.join(m.out, "g.grb")):
        sys.exit("differential: the older build wrote no GRIB file:\n" + r.stdout.decode(errors="replace"))
    six = [EPOCH + dt.timedelta(hours=6 * k) for k in range(2)]
    geo = dict(nx=144, ny=73, lon=[0.0, 357.5], lat=[-90.0, 90.0])
    m.add("g.ctl", "open g.ctl", ["g.ctl", "g.grb", "g.gmp"], [["psl", 0], ["ta", 2]], six, nz=2,
          levs=[1000, 500], **geo)
    m.add("l.nc", "sdfopen l.nc", ["l.nc"], [["zg", 0]], six, **geo)


def make_damaged(m):
    """Files a session fails on: not netCDF, cut short, descriptors that
    are wrong or claim more than their file holds.  None is in the table:
    the failing commands name them."""
    def put(name, body):
        with open(os.path.join(m.out, name), "wb") as f:
            f.write(body)
    with open(os.path.join(m.out, "mon.nc"), "rb") as f:
        mon = f.read()
    put("bad.nc", b"CDF\x01" + bytes(range(256)) * 4)
    put("cut.nc", mon[:len(mon) * 2 // 3])
    put("bad.ctl", b"dset ^sample.dat\nundef -9.99e8\nxdef 144 linear 0 2.5\nydef 73 linear -90 2.5\n"
                   b"zdef 1 levels 1000\nvars 1\nslp 0 99 no tdef\nendvars\n")
    put("bad.xdf", b"dset ^mon.nc\nvars 1\nnosuch=>x\nendvars\n")
    put("cut.ctl", b"dset ^cut.dat\nundef -999\nxdef 12 linear 0 30\nydef 10 linear -90 20\n"
                   b"zdef 1 levels 1000\ntdef 5 linear 00z01jan2000 1dy\nvars 1\nc 0 99 cut short\nendvars\n")
    put("cut.dat", field([EPOCH] * 3, 0)[:, 0].astype("<f4").tobytes()[:1000])
    put("h.xdf", b"dset ^h.hdf\ntitle hdf through a descriptor\nundef -999\nvars 1\ntemp=>tk\nendvars\n")
    m.add("h.xdf", "xdfopen h.xdf", ["h.xdf", "h.hdf"], [["tk", 0]],
          [EPOCH, EPOCH + dt.timedelta(hours=12)], nx=4, ny=3, lon=[0.0, 270.0], lat=[-30.0, 30.0])


def main(argv):
    out, ombra, share = (os.path.abspath(a) for a in argv[1:4])
    os.makedirs(out, exist_ok=True)
    m = Maker(out)
    make_sample(m, share)
    make_netcdf(m)
    make_binary(m)
    make_hdf4(m, os.path.dirname(os.path.abspath(out)))
    make_damaged(m)
    make_lats(m, ombra, share)
    with open(os.path.join(out, "datasets.json"), "w") as f:
        json.dump(m.sets, f, indent=1)
    print("differential: %d data sets, %d files in %s" % (len(m.sets), len(os.listdir(out)) - 1, out))


if __name__ == "__main__":
    main(sys.argv)
