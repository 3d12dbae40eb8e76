#!/usr/bin/env python3
"""Runs the example scripts of docs/examples with the built ombra on the
sample data set and checks what they write.

Usage: test_examples.py OMBRA REPO
"""

import math
import os
import resource
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import unittest

from pngfile import read_png

OMBRA = REPO = None


def run_session(workdir, commands):
    env = dict(os.environ)
    env["OMDDIR"] = os.path.join(REPO, "share")
    env["OMSCRP"] = os.path.join(REPO, "docs", "examples")
    r = subprocess.run([OMBRA, "-blE"], cwd=workdir, env=env, input="\n".join(commands) + "\n",
                       stdout=subprocess.PIPE, stderr=subprocess.PIPE, universal_newlines=True,
                       timeout=120)
    return r.stdout


def sample_grid(t, name):
    """One time of a surface variable of share/sample/sample.dat."""
    nx, ny = 144, 73
    order = [("topo", 1), ("ts", 1), ("slp", 1), ("t", 4), ("z", 4), ("u", 4), ("v", 4)]
    per_time = sum(k for _, k in order) * nx * ny
    off = 0
    for vname, k in order:
        if vname == name:
            break
        off += k * nx * ny
    with open(os.path.join(REPO, "share", "sample", "sample.dat"), "rb") as f:
        f.seek(4 * (t * per_time + off))
        return struct.unpack(">%df" % (nx * ny), f.read(4 * nx * ny))


class Examples(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="ombra-examples-")
        for name in os.listdir(os.path.join(REPO, "share", "sample")):
            shutil.copy(os.path.join(REPO, "share", "sample", name), self.tmp)

    def tearDown(self):
        shutil.rmtree(self.tmp)

    def slurp(self, name, mode="r"):
        """What the file name in the test's folder holds."""
        with open(os.path.join(self.tmp, name), mode) as f:
            return f.read()

    def spit(self, name, data):
        """Writes data (text or bytes) to the file name in the test's folder."""
        with open(os.path.join(self.tmp, name), "wb" if isinstance(data, bytes) else "w") as f:
            f.write(data)

    def test_colour_bar_has_one_box_per_shade(self):
        out = run_session(self.tmp, ["open sample.ctl", "set timelab off", "set gxout shaded", "d slp",
                                     "q shades", "run cbar.gs", "printim cbar.png white", "q gxinfo"])
        self.assertNotIn("rror", out)
        shades = out[out.index("Number of levels = "):].split("\n")
        n = int(shades[0].split()[-1])
        self.assertEqual(n, 11)
        w, h, rows = read_png(os.path.join(self.tmp, "cbar.png"))
        self.assertEqual((w, h), (800, 600))
        # The plot area runs from x = 0.5 to 10.5 inches of the 11 x 8.5
        # inch page, from y = 1.25 inch up (q gxinfo); the bar lies 0.5 to
        # 0.65 inch below it: sample the middle of every box along y = 0.675.
        self.assertIn("X Limits = 0.5 to 10.5\nY Limits = 1.25 to 7.25\n", out)
        y = h - 1 - int(round(0.675 * h / 8.5))
        centres = [int(round((0.5 + (k + 0.5) * 10.0 / n) * w / 11.0)) for k in range(n)]
        colours = [rows[y][x] for x in centres]
        self.assertEqual(len(set(colours)), n, colours)
        self.assertNotIn((255, 255, 255), colours)
        self.assertNotIn((0, 0, 0), colours)
        # the boxes have the colours of the shading: every one is on the map
        plot = set()
        for r in range(100, 500, 5):
            plot.update(rows[r])
        for c in colours:
            self.assertIn(c, plot)

    def test_colour_bar_without_shading_says_so(self):
        out = run_session(self.tmp, ["open sample.ctl", "d slp", "run cbar.gs", "q gxinfo"])
        self.assertIn("cbar: no shaded plot to label\n", out)
        self.assertNotIn("rror", out)
        # nothing was drawn: the last graphic is still the contour plot
        self.assertIn("Last Graphic = Contour", out)

    def test_time_loop_writes_one_picture_per_time(self):
        out = run_session(self.tmp, ["open sample.ctl", "set timelab off", "set t 1 4",
                                     "set lon -130 -60", "set lat 20 60", "run timeloop.gs ts ts", "q dims"])
        self.assertNotIn("rror", out)
        for k, time in enumerate(["00Z01JAN2000", "06Z01JAN2000", "12Z01JAN2000", "18Z01JAN2000"], 1):
            self.assertIn("wrote ts%d.png (%s)" % (k, time), out)
        pictures = []
        for k in range(1, 5):
            w, h, rows = read_png(os.path.join(self.tmp, "ts%d.png" % k))
            self.assertEqual((w, h), (800, 600))
            pictures.append(rows)
        # the diurnal cycle over land changes the picture from time to time
        for a, b in zip(pictures, pictures[1:]):
            self.assertNotEqual(a, b)
        self.assertFalse(os.path.exists(os.path.join(self.tmp, "ts5.png")))
        # the time range is set back
        self.assertIn("T is varying   Time = 00Z01JAN2000 to 18Z01JAN2000  T = 1 to 4", out)

    def test_area_mean_series_matches_an_independent_sum(self):
        out = run_session(self.tmp, ["open sample.ctl", "set t 1 4",
                                     "run areamean.gs ts 0 360 -90 90 global.txt",
                                     "run areamean.gs ts 230 300 20 60 box.txt", "q dims",
                                     "set lon 20", "set lat 40 50",
                                     "run areamean.gs ts 230 300 20 60 box2.txt", "q dims"])
        self.assertNotIn("rror", out)
        self.assertIn("wrote 4 lines to global.txt", out)
        # the environment is set back
        self.assertIn("X is varying   Lon = 0 to 360   X = 1 to 145", out)
        self.assertIn("Y is varying   Lat = -90 to 90   Y = 1 to 73", out)
        self.assertIn("T is varying   Time = 00Z01JAN2000 to 18Z01JAN2000  T = 1 to 4", out)
        # a fixed longitude is set back too, and the series does not depend on it
        self.assertNotIn("SET error", out)
        self.assertIn("X is fixed     Lon = 20  X = 9\nY is varying   Lat = 40 to 50   Y = 53 to 57", out)
        self.assertEqual(self.slurp("box.txt"), self.slurp("box2.txt"))

        def mean(grid, lon1, lon2, lat1, lat2):
            # area weights: the longitude and sin(latitude) extent of each
            # grid box inside the box
            s = w = 0.0
            for j in range(73):
                lat = -90 + 2.5 * j
                lo, hi = max(lat - 1.25, lat1, -90), min(lat + 1.25, lat2, 90)
                if hi <= lo:
                    continue
                wy = math.sin(math.radians(hi)) - math.sin(math.radians(lo))
                for i in range(-1, 145):
                    lon = 2.5 * i
                    a, b = max(lon - 1.25, lon1), min(lon + 1.25, lon2)
                    if b <= a:
                        continue
                    s += grid[j * 144 + i % 144] * wy * (b - a)
                    w += wy * (b - a)
            return s / w

        for name, box in (("global.txt", (0, 360, -90, 90)), ("box.txt", (230, 300, 20, 60))):
            lines = self.slurp(name).split("\n")
            self.assertEqual(lines[-1], "")
            self.assertEqual([l.split()[0] for l in lines[:-1]],
                             ["00Z01JAN2000", "06Z01JAN2000", "12Z01JAN2000", "18Z01JAN2000"])
            values = [float(l.split()[1]) for l in lines[:-1]]
            for t, v in enumerate(values):
                want = mean(sample_grid(t, "ts"), *box)
                # the program prints six significant digits
                self.assertAlmostEqual(v, want, delta=0.006, msg=(name, t))
            # the series is not constant: the diurnal cycle over land
            self.assertGreater(max(values) - min(values), 0.3, name)

    def lats_grib(self):
        """slpg.grb with its descriptor and index, as set lats writes them:
        sea-level pressure of the sample at times 1 to 3."""
        cmds = ["open sample.ctl", "set x 1 144", "set y 1 73", "set lats convention ombra_grib",
                "set lats frequency hourly", "set lats deltat 6", "set lats create slpg",
                "set gxout latsgrid", "set t 1", "d slp", "set lats var 1 psl instant 1 0",
                "set gxout latsdata"]
        for t in (1, 2, 3):
            cmds += ["set t %d" % t, "set lats write 1 1", "d slp"]
        out = run_session(self.tmp, cmds + ["set lats close 1"])
        self.assertIn("LATS_GRIB: SUCCESS", out)

    def gribmap(self, ctl):
        """The index of ctl made by the program installed beside ombra; its
        last line."""
        env = dict(os.environ, OMDDIR=os.path.join(REPO, "share"))
        r = subprocess.run([os.path.join(os.path.dirname(OMBRA), "ombra-gribmap"), ctl], cwd=self.tmp, env=env,
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, universal_newlines=True, timeout=60)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        return r.stdout.splitlines()[-1]

    def test_grib_index_is_the_one_ombra_writes(self):
        self.lats_grib()
        ombra_index = self.slurp("slpg.gmp", "rb")
        os.remove(os.path.join(self.tmp, "slpg.gmp"))
        self.assertEqual(self.gribmap("slpg.ctl"),
                         "gribmap:  3 records indexed, 0 matched no variable, time or level of slpg.ctl")
        self.assertEqual(self.slurp("slpg.gmp", "rb"), ombra_index)

    def test_grib_index_marks_slots_without_records(self):
        self.lats_grib()
        ctl = self.slurp("slpg.ctl")
        # one time more than the file holds, and the rows taken from the north
        ctl = ctl.replace("tdef 3 ", "tdef 4 ").replace("dtype grib", "dtype grib\noptions yrev")
        self.spit("more.ctl", ctl.replace("slpg.gmp", "more.gmp"))
        self.assertEqual(self.gribmap("more.ctl"),
                         "gribmap:  3 records indexed, 0 matched no variable, time or level of more.ctl")
        out = run_session(self.tmp, ["open slpg.ctl", "open more.ctl", "set lon 0", "set lat 40",
                                     "set t 2", "d psl.2(lat=40) - psl.1(lat=-40)",
                                     "d psl.2(lat=40) - psl.1(lat=40)", "set t 4", "d psl.2"])
        # yrev turns the rows round: 40N of one is 40S of the other
        self.assertIn("om> Result value = 0 \nom> Result value = 1 \n", out)
        self.assertIn("Result value = 1e+20 \n", out)

    def test_failed_catches_every_failed_read(self):
        # a daily series of two times per file, the second file missing
        for day in ("01", "03"):
            cdl = ("netcdf d {\ndimensions: lon = 4 ; lat = 3 ; time = 2 ;\nvariables:\n"
                   " float lon(lon) ; lon:units = \"degrees_east\" ;\n"
                   " float lat(lat) ; lat:units = \"degrees_north\" ;\n"
                   " double time(time) ; time:units = \"hours since 2000-01-%s\" ;\n"
                   " float ta(time, lat, lon) ;\ndata:\n lon = 0, 90, 180, 270 ; lat = -60, 0, 60 ;"
                   " time = 0, 12 ;\n ta = %s ;\n}\n" % (day, ", ".join(str(k) for k in range(24))))
            self.spit("d%s.cdl" % day, cdl)
            subprocess.run(["ncgen", "-o", "d%s.nc" % day, "d%s.cdl" % day], cwd=self.tmp, check=True)
        self.spit("check.gs", "r = gsfallow('on')\n'sdfopen d01.nc d%d2.nc 6'\n"
                  "t = 1\nwhile (t <= 6)\n  'set t 't\n  'd ta'\n"
                  "  say 'time 't' failed 'failed(rc, result)\n  t = t + 1\nendwhile\n"
                  "'set t 3'\n'd ta'\nsay 'again failed 'failed(rc, result)\n"
                  "'set lev 500'\n'd ta'\nsay 'beyond failed 'failed(rc, result)\n"
                  "'d nosuch'\nsay 'code failed 'failed(rc, result)\n")
        out = run_session(self.tmp, ["run check.gs"])
        said = [l[l.index("time "):] if "time " in l else l for l in out.split("\n") if " failed " in l]
        self.assertEqual(said, ["time 1 failed 0", "time 2 failed 0", "time 3 failed 1", "time 4 failed 1",
                                "time 5 failed 0", "time 6 failed 0", "again failed 1", "beyond failed 1",
                                "code failed 1"])
        # the member is reported once, not on every display of it
        self.assertEqual(out.count("SDF templating:  Open of new SDF file failed."), 1)
        self.assertEqual(out.count("Cannot contour grid - all undefined values"), 4)

    def test_grib_index_takes_only_records_of_the_grid_number(self):
        self.lats_grib()
        data = self.slurp("slpg.grb", "rb")
        recs, pos = [], 0
        while True:
            pos = data.find(b"GRIB", pos)
            if pos < 0:
                break
            n = int.from_bytes(data[pos + 4:pos + 7], "big")
            recs.append(bytearray(data[pos:pos + n]))
            pos += n
        self.assertEqual(len(recs), 3)
        for r in recs:
            r[8 + 6] = 2                    # the catalogued 2.5-degree grid
        # In front: the second time's values, stamped with the first time,
        # on grid 105 (octets 13 to 17 of the product definition section
        # hold the date)
        decoy = bytearray(recs[1])
        decoy[8 + 6] = 105
        decoy[8 + 12:8 + 17] = recs[0][8 + 12:8 + 17]
        self.spit("mixed.grb", bytes(decoy) + b"".join(bytes(r) for r in recs))
        ctl = self.slurp("slpg.ctl")
        ctl = ctl.replace("slpg.grb", "mixed.grb").replace("slpg.gmp", "mixed.gmp")
        ctl = ctl.replace("dtype grib\n", "dtype grib 2\n")
        self.assertIn("dtype grib 2\n", ctl)
        self.spit("mixed.ctl", ctl)
        self.assertEqual(self.gribmap("mixed.ctl"),
                         "gribmap:  3 records indexed, 1 matched no variable, time or level of mixed.ctl")
        out = run_session(self.tmp, ["open slpg.ctl", "open mixed.ctl", "set lon 0 357.5", "set lat -90 90",
                                     "set gxout stat", "set t 1", "d psl.2 - psl.1", "set t 2",
                                     "d psl.2 - psl.1"])
        self.assertNotIn("rror", out)
        self.assertEqual(out.count("Min, Max = 0 0\n"), 2, out)

    def station_listing(self, ctl):
        """Every report of the station data of ctl, with all its values."""
        cmds = ["open " + ctl, "set lon -130 -60", "set lat 20 60", "set gxout writegds",
                "set writegds all.gds"]
        for t in range(1, 5):
            for lev in (1000, 850, 500, 250):
                cmds += ["set t %d" % t, "set lev %d" % lev, "d ts;slp;wx;t;z;u;v"]
        out = run_session(self.tmp, cmds)
        return out[out.index("WRITEGDS file name"):]

    def test_station_map_reads_as_the_samples_own(self):
        data = self.slurp("stations.dat", "rb")
        # The same reports as little-endian Fortran records, the values of
        # each in a record of their own, and before the end of each time
        # one without surface values outside the area listed.
        seq, pos = b"", 0
        while pos < len(data):
            head = struct.unpack(">8s3f2i", data[pos:pos + 28])
            n = (head[4] - 1) * 5 + 3 if head[4] else 0
            vals = struct.unpack(">%df" % n, data[pos + 28:pos + 28 + 4 * n])
            reports = [(head, vals)] if n else [((b"ship", 0, 0, 0, 2, 0), range(10)), (head, ())]
            for h, v in reports:
                for body in [struct.pack("<8s3f2i", *h), struct.pack("<%df" % len(v), *v)][:1 + (len(v) > 0)]:
                    seq += struct.pack("<i", len(body)) + body + struct.pack("<i", len(body))
            pos += 28 + 4 * n
        self.spit("seq.dat", seq)
        self.spit("cut.dat", data[:-10])
        ctl = self.slurp("stations.ctl")
        for name, dset, opts in (("made", "stations", "big_endian"), ("seq", "seq", "little_endian sequential"),
                                 ("cut", "cut", "big_endian")):
            self.spit(name + ".ctl", ctl.replace("stations.map", "made.map").replace("stations.dat", dset + ".dat")
                      .replace("big_endian", opts))
        stnmap = [sys.executable, os.path.join(REPO, "docs", "examples", "stnmap.py")]
        want = self.station_listing("stations.ctl")
        self.assertEqual(want.count("WRITEGDS: 40 reports x 7 vars"), 16)
        for name, reports in (("seq", 164), ("made", 160)):
            r = subprocess.run(stnmap + [name + ".ctl"], cwd=self.tmp, stdout=subprocess.PIPE, timeout=60)
            self.assertEqual(r.stdout, b"made.map: 4 times, %d reports, at most 23 values in a report, "
                                       b"0 bytes not used\n" % reports)
            self.assertEqual(self.station_listing(name + ".ctl"), want)
        made, own = self.slurp("made.map", "rb"), self.slurp("stations.map", "rb")
        # the buffer word is the largest value count: the sample's own map
        # counts the 7 words of its header too
        self.assertEqual(made, own[:20] + struct.pack(">i", 23) + own[24:])
        # A cut file, or a full disk (a file size limit), leaves the older
        # map as it was and no part file.
        def full():
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (30, 30))
        for ctl, limit, said in (("cut", None, b"cut.dat: the file ends before byte 15552"),
                                 ("made", full, b"cannot write made.map: File too large")):
            r = subprocess.run(stnmap + [ctl + ".ctl"], cwd=self.tmp, stderr=subprocess.PIPE,
                               stdout=subprocess.DEVNULL, preexec_fn=limit, timeout=60)
            self.assertEqual((r.returncode, r.stderr), (1, b"stnmap: " + said + b"\n"))
            self.assertEqual(self.slurp("made.map", "rb"), made)
            self.assertFalse(os.path.exists(os.path.join(self.tmp, "made.map.part")))


if __name__ == "__main__":
    OMBRA, REPO = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    unittest.main(argv=sys.argv[:1], verbosity=2)
