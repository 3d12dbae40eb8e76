#!/usr/bin/env python3
"""Tests of the data-file converters and of the committed files in share/.

Run: python3 tools/test_tools.py   (exit status 0 when all pass)

Tests that need the source packages (hershey-fonts-data, gmt with the
GSHHG data, cdo) to regenerate files are skipped when those are absent.
"""

import contextlib
import io
import math
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SHARE = os.path.join(HERE, "..", "share")
sys.path.insert(0, HERE)

import checkdata  # noqa: E402
import mkfonts  # noqa: E402
import mkgribtab  # noqa: E402
import mkmaps  # noqa: E402
import mksample  # noqa: E402
import stnsample  # noqa: E402

HERSHEY = "/usr/share/hershey-fonts"


def jhf_line(count, body):
    return "12345%3d%s" % (count, body)


class FontConverter(unittest.TestCase):
    def test_parse_and_format_keep_the_glyph(self):
        g = mkfonts.parse_jhf_line(jhf_line(9, "MWRFRT RRYQZR[SZRY"), "t")
        self.assertEqual(g[0], 9)
        self.assertEqual((g[1], g[2]), ("M", "W"))
        self.assertEqual(g[3][2], " R")
        self.assertEqual(mkfonts.format_glyph(g), "  9MWRFRT RRYQZR[SZRY")

    def test_damaged_lines_are_refused(self):
        # A count that promises more pairs than the line holds (a wrapped
        # line) would make the program read into the next glyph.
        for bad in (jhf_line(9, "MWRFRT RRYQZR[SZ"), jhf_line(2, "MWRFRT"),
                    "12345  xMWRF", jhf_line(2, "MW\tR"), jhf_line(2, "MW Q")):
            with self.assertRaises(mkfonts.FontError, msg=bad):
                mkfonts.parse_jhf_line(bad, "t")

    def test_count_must_fit_three_characters(self):
        with self.assertRaises(mkfonts.FontError):
            mkfonts.format_glyph((1000, "J", "Z", []))

    def test_empty_glyphs_take_the_fallback_but_blank_stays_blank(self):
        blank = (1, "J", "Z", [])
        stroke = (2, "J", "Z", ["RR"])
        face = [blank] * mkfonts.NGLYPH
        face[5] = (3, "K", "Y", ["QQ", "SS"])
        fallback = [stroke] * mkfonts.NGLYPH
        out = mkfonts.build_font(face, fallback)
        self.assertEqual(len(out), 95)
        self.assertEqual(out[0], "  1JZ")
        self.assertEqual(out[1], "  2JZRR")
        self.assertEqual(out[5], "  3KYQQSS")

    def test_zero_width_symbols_get_margins(self):
        g = mkfonts.widen((3, "R", "R", ["R>", "Rf"]))
        self.assertEqual(g, (3, "O", "U", ["R>", "Rf"]))
        blank = (1, "R", "R", [])
        self.assertEqual(mkfonts.widen(blank), blank)
        normal = (2, "J", "Z", ["RR"])
        self.assertEqual(mkfonts.widen(normal), normal)

    def test_short_jhf_file_is_refused(self):
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "x.jhf")
            with open(path, "w") as f:
                f.write("\n".join([jhf_line(1, "JZ")] * 94) + "\n")
            with self.assertRaises(mkfonts.FontError):
                mkfonts.read_jhf(path)

    @unittest.skipUnless(os.path.isdir(HERSHEY), "hershey-fonts-data not installed")
    def test_regeneration_is_byte_for_byte(self):
        with tempfile.TemporaryDirectory() as tmp:
            with contextlib.redirect_stdout(io.StringIO()):
                self.assertEqual(mkfonts.main(["--src", HERSHEY, "--out", tmp]), 0)
            for k in range(10):
                name = "font%d.dat" % k
                with open(os.path.join(tmp, name), "rb") as a, open(os.path.join(SHARE, name), "rb") as b:
                    self.assertEqual(a.read(), b.read(), name)


class FontFiles(unittest.TestCase):
    def test_committed_fonts_are_sound(self):
        for k in range(10):
            path = os.path.join(SHARE, "font%d.dat" % k)
            self.assertEqual(checkdata.check_font(path), [], path)

    def test_every_printable_character_has_strokes(self):
        for k in range(10):
            with open(os.path.join(SHARE, "font%d.dat" % k), "rb") as f:
                glyphs = checkdata.font_glyphs(f.read())
            for i, g in enumerate(glyphs[1:], 1):
                self.assertGreater(int(g[:3]), 1, "font %d character %r" % (k, chr(32 + i)))
                self.assertGreater(g[4] - g[3], 0, "font %d character %r has no width" % (k, chr(32 + i)))

    def test_glyph_split_follows_control_byte_runs(self):
        data = b"  1JZ\r\n\n  2JZRR\x00  3KYQQSS"
        self.assertEqual(checkdata.font_glyphs(data), [b"  1JZ", b"  2JZRR", b"  3KYQQSS"])

    def _check(self, data):
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "font.dat")
            with open(path, "wb") as f:
                f.write(data)
            return checkdata.check_font(path)

    def test_checker_catches_broken_fonts(self):
        with open(os.path.join(SHARE, "font0.dat"), "rb") as f:
            good = f.read()
        self.assertEqual(self._check(good), [])
        lines = good.split(b"\n")
        # one glyph missing
        self.assertTrue(self._check(b"\n".join(lines[:94]) + b"\n"))
        # count one too high: the reader would run past the coordinates
        bad = list(lines)
        bad[33] = b"%3d" % (int(bad[33][:3]) + 1) + bad[33][3:]
        self.assertTrue(self._check(b"\n".join(bad)))
        # a stray control byte splits a glyph and shifts every later one
        bad = list(lines)
        bad[40] = bad[40][:7] + b"\t" + bad[40][7:]
        self.assertTrue(self._check(b"\n".join(bad)))
        # left-aligned count
        bad = list(lines)
        bad[0] = b"1  JZ"
        self.assertTrue(self._check(b"\n".join(bad)))
        # a zero-padded count would be read as octal by the program
        bad = list(lines)
        self.assertEqual(bad[3][:3], b" 12")
        bad[3] = b"0" + bad[3][1:]
        self.assertTrue(self._check(b"\n".join(bad)))
        # a pen-up pair must be " R"
        bad = list(lines)
        k = bad[1].index(b" R")
        bad[1] = bad[1][:k] + b" Q" + bad[1][k + 2:]
        self.assertTrue(self._check(b"\n".join(bad)))


class MapConverter(unittest.TestCase):
    def test_three_byte_values_are_checked(self):
        self.assertEqual(mkmaps.enc3(0x123456), b"\x12\x34\x56")
        for bad in (-1, 1 << 24):
            with self.assertRaises(mkmaps.MapError):
                mkmaps.enc3(bad)

    def test_quantize_unwraps_across_the_date_line(self):
        pts = mkmaps.quantize([(179.5, 10.0), (-179.5, 10.5), (-178.0, 11.0)])
        self.assertEqual(pts, [(1795000, 1000000), (1805000, 1005000), (1820000, 1010000)])
        # a line west of Greenwich moves by 360 as a whole
        pts = mkmaps.quantize([(-10.0, 0.0), (-5.0, 1.0)])
        self.assertEqual(pts, [(3500000, 900000), (3550000, 910000)])
        # a line crossing 0 keeps its westmost point in 0..360
        pts = mkmaps.quantize([(359.0, 0.0), (1.0, 0.0)])
        self.assertEqual(pts, [(3590000, 900000), (3610000, 900000)])

    def test_quantize_clamps_latitude_and_drops_repeats(self):
        pts = mkmaps.quantize([(10.0, -90.00001), (10.0, -90.0), (10.00001, 90.2)])
        self.assertEqual(pts, [(100000, 0), (100000, 1800000)])

    def test_split_line_shares_the_joints(self):
        pts = [(i, i) for i in range(600)]
        pieces = mkmaps.split_line(pts)
        self.assertEqual([len(p) for p in pieces], [255, 255, 92])
        self.assertEqual(pieces[0][-1], pieces[1][0])
        self.assertEqual(pieces[1][-1], pieces[2][0])
        self.assertEqual(pieces[2][-1], pts[-1])
        self.assertEqual([len(p) for p in mkmaps.split_line(pts[:255])], [255])
        self.assertEqual([len(p) for p in mkmaps.split_line(pts[:256])], [255, 2])
        self.assertEqual(mkmaps.split_line(pts[:1]), [])

    def test_join_lines_follows_continuations(self):
        a = [(0, 0), (1, 0)]
        b = [(1, 0), (2, 0)]
        c = [(2, 0), (3, 1)]
        ring = [(5, 5), (6, 5), (6, 6)]
        ring2 = [(6, 6), (5, 5)]
        lone = [(9, 9), (8, 8)]
        self.assertEqual(mkmaps.join_lines([a, c, b]),
                         [[(0, 0), (1, 0), (2, 0), (3, 1)]])
        # a closed ring stops at its start instead of going round again
        self.assertEqual(mkmaps.join_lines([ring, ring2, list(ring)]),
                         [ring + [(5, 5)], ring])
        self.assertEqual(mkmaps.join_lines([lone, a]), [lone, a])
        # joined lines are still cut to records of at most 255 points
        long = [[(i, 0), (i + 1, 0)] for i in range(300)]
        data = mkmaps.build_map([(0, p) for p in long], 360)
        blocks, probs = checkdata.read_map(data)
        self.assertEqual(probs, [])
        self.assertEqual([len(p) for b in blocks for _, p in b["lines"]], [255, 47])

    def test_records_are_refused_beyond_one_byte_counts(self):
        with self.assertRaises(mkmaps.MapError):
            mkmaps.line_record(0, [(0, 0)] * 256)
        with self.assertRaises(mkmaps.MapError):
            mkmaps.line_record(256, [(0, 0)] * 2)

    def test_parse_dump(self):
        text = "> Shore Bin # 1, Level 2\n1 2\n3\t4\n> River Bin # 7, Level 10\n5 6\n7 8\n"
        self.assertEqual(mkmaps.parse_dump(text), [(2, [(1.0, 2.0), (3.0, 4.0)]),
                                                  (10, [(5.0, 6.0), (7.0, 8.0)])])
        for bad in ("1 2\n", "> no level\n1 2\n", "> Level 1\n1\n"):
            with self.assertRaises(mkmaps.MapError, msg=bad):
                mkmaps.parse_dump(bad)

    def test_river_classes_map_to_types_3_and_up(self):
        self.assertEqual([mkmaps.river_type(c) for c in range(11)],
                         [13, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12])
        with self.assertRaises(mkmaps.MapError):
            mkmaps.river_type(11)

    def _lines(self):
        return [
            (0, mkmaps.quantize([(5.0, 5.0), (6.0, 6.0), (7.0, 5.5)])),
            (0, mkmaps.quantize([(200.0, -40.0), (201.0, -41.0)])),
            (1, mkmaps.quantize([(5.5, 5.5), (5.7, 5.9)])),
            (0, mkmaps.quantize([(8.0, 8.0)] + [(8.0 + i * 0.01, 8.0) for i in range(1, 400)])),
            (3, mkmaps.quantize([(359.0, 0.0), (1.0, 1.0)])),
        ]

    def test_built_file_reads_back_with_chained_blocks(self):
        lines = self._lines()
        data = mkmaps.build_map(lines, 30)
        blocks, probs = checkdata.read_map(data)
        self.assertEqual(probs, [])
        self.assertEqual(blocks[0]["offset"], 0)
        for a, b in zip(blocks, blocks[1:]):
            self.assertEqual(a["next"], b["offset"])
        self.assertEqual(blocks[-1]["next"], 0)
        # each block holds one line type; types come in order
        types = [b["tlo"] for b in blocks]
        self.assertEqual(types, sorted(types))
        for b in blocks:
            self.assertEqual(b["tlo"], b["thi"])
            self.assertTrue(all(t == b["tlo"] for t, _ in b["lines"]))
        # every point comes back, the long line in joined pieces
        got = {}
        for b in blocks:
            for t, pts in b["lines"]:
                got.setdefault(t, []).append(pts)
        self.assertEqual(sorted(sum((len(p) for p in got[0]), 0) for _ in [0]),
                         [3 + 2 + 400 + 1])
        self.assertEqual(got[1], [lines[2][1]])
        self.assertEqual(got[3], [lines[4][1]])
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "m")
            with open(path, "wb") as f:
                f.write(data)
            self.assertEqual(checkdata.check_map(path), [])

    def test_block_boxes_cover_their_lines(self):
        blocks, _ = checkdata.read_map(mkmaps.build_map(self._lines(), 30))
        for b in blocks:
            for _, pts in b["lines"]:
                for lon, lat in pts:
                    self.assertTrue(b["lon"][0] <= lon <= b["lon"][1])
                    self.assertTrue(b["lat"][0] <= lat <= b["lat"][1])

    def test_build_from_saved_dumps(self):
        with tempfile.TemporaryDirectory() as tmp:
            dumps = os.path.join(tmp, "d")
            os.mkdir(dumps)
            texts = {"-W": "> Shore Bin # 1, Level 1\n0 0\n1 1\n",
                     "-N1": "> Border Bin 1, Level 1\n2 2\n3 3\n",
                     "-N2": "",
                     "-Ia": "> River Bin # 1, Level 1\n4 4\n5 5\n> River Bin # 1, Level 7\n6 6\n7 7\n"}
            for opt, text in texts.items():
                with open(os.path.join(dumps, "c%s.txt" % opt), "w") as f:
                    f.write(text)
            with contextlib.redirect_stdout(io.StringIO()):
                self.assertEqual(mkmaps.main(["--dumps", dumps, "--out", tmp, "--only", "lowres"]), 0)
            self.assertEqual(checkdata.check_map(os.path.join(tmp, "lowres")), [])
            # river class 7 is not kept in lowres
            self.assertEqual(checkdata.map_types(os.path.join(tmp, "lowres")), [0, 1, 3])


class MapFiles(unittest.TestCase):
    NAMES = ("lowres", "mres", "hires")

    def test_committed_maps_are_sound(self):
        for name in self.NAMES:
            self.assertEqual(checkdata.check_map(os.path.join(SHARE, name)), [], name)

    def test_sizes_stay_small(self):
        limits = {"lowres": 400000, "mres": 4000000, "hires": 20000000}
        for name in self.NAMES:
            self.assertLess(os.path.getsize(os.path.join(SHARE, name)), limits[name], name)

    def test_line_types(self):
        for name in self.NAMES:
            types = checkdata.map_types(os.path.join(SHARE, name))
            self.assertEqual(types[:3], [0, 1, 2], name)
            self.assertTrue(set(types) <= set(range(14)), name)
        self.assertEqual(checkdata.map_types(os.path.join(SHARE, "mres")), list(range(14)))

    def test_outlines_cover_the_globe(self):
        with open(os.path.join(SHARE, "lowres"), "rb") as f:
            blocks, _ = checkdata.read_map(f.read())
        coast = [p for b in blocks for t, pts in b["lines"] if t == 0 for p in pts]
        lats = [p[1] / 1e4 - 90 for p in coast]
        lons = [p[0] / 1e4 for p in coast]
        self.assertLess(min(lats), -70)     # Antarctica
        self.assertGreater(max(lats), 80)   # Arctic islands
        self.assertLess(min(lons), 1)
        self.assertGreater(max(lons), 359)
        # Africa's west coast near Dakar (17.4 W, 14.7 N) is on the map
        near = [1 for lon, lat in zip(lons, lats) if abs(lon - 342.6) < 1 and abs(lat - 14.7) < 1]
        self.assertTrue(near)

    def _check(self, data):
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "m")
            with open(path, "wb") as f:
                f.write(data)
            return checkdata.check_map(path)

    def test_checker_catches_broken_maps(self):
        data = bytearray(mkmaps.build_map(MapConverter._lines(self), 30))
        self.assertEqual(self._check(bytes(data)), [])
        bad = bytearray(data)
        bad[3:7] = struct.pack(">I", 5)                       # wrong next offset
        self.assertTrue(self._check(bytes(bad)))
        bad = bytearray(data)
        bad[19] = 5                                           # invalid record type
        self.assertTrue(any("invalid record type 5" in p for p in self._check(bytes(bad))))
        self.assertTrue(self._check(bytes(data[:-4])))        # truncated line
        bad = bytearray(data)
        bad[13:16] = mkmaps.enc3(1700000)                     # box misses the first line
        self.assertTrue(self._check(bytes(bad)))
        bad = bytearray(data)
        bad[1] = 4                                            # block types exclude its lines
        bad[2] = 9
        self.assertTrue(self._check(bytes(bad)))
        self.assertTrue(self._check(bytes(data[19:])))        # no leading index block

    @unittest.skipUnless(shutil.which("gmt") and os.path.exists("/usr/share/gmt-gshhg/binned_GSHHS_c.nc"),
                         "gmt or the GSHHG data not installed")
    def test_regeneration_is_byte_for_byte(self):
        with tempfile.TemporaryDirectory() as tmp:
            with contextlib.redirect_stdout(io.StringIO()):
                self.assertEqual(mkmaps.main(["--out", tmp, "--only", "lowres"]), 0)
            with open(os.path.join(tmp, "lowres"), "rb") as a, open(os.path.join(SHARE, "lowres"), "rb") as b:
                self.assertEqual(a.read(), b.read())


class Sample(unittest.TestCase):
    CTL = os.path.join(SHARE, "sample", "sample.ctl")

    @classmethod
    def setUpClass(cls):
        cls.d = checkdata.parse_ctl(cls.CTL)
        with open(os.path.join(SHARE, "sample", "sample.dat"), "rb") as f:
            raw = f.read()
        cls.v = struct.unpack(">%df" % (len(raw) // 4), raw)
        cls.g = 144 * 73

    def grid(self, t, name, level=0):
        off = 0
        for vname, lev, _ in self.d["vars"]:
            if vname == name:
                break
            off += max(lev, 1)
        _, per_time = checkdata.sample_layout(self.d)
        start = t * per_time + (off + level) * self.g
        return self.v[start:start + self.g]

    def at(self, grid, lon, lat):
        return grid[int(round((lat + 90) / 2.5)) * 144 + int(round(lon / 2.5))]

    def test_descriptor(self):
        d = self.d
        self.assertEqual(d["dset"], "^sample.dat")
        self.assertEqual((len(d["xdef"]), len(d["ydef"]), d["zdef"]), (144, 73, [1000, 850, 500, 250]))
        self.assertEqual(d["tdef"], (4, "linear", "00z01jan2000", "6hr"))
        self.assertEqual([v[0] for v in d["vars"]], ["topo", "ts", "slp", "t", "z", "u", "v"])
        self.assertIn("big_endian", d["options"])
        self.assertEqual(d["undef"], -9.99e8)
        self.assertEqual(checkdata.check_sample(self.CTL), [])

    def test_descriptor_matches_the_generator(self):
        with open(self.CTL) as f:
            self.assertEqual(f.read(), mksample.descriptor())

    def test_topography_has_real_land_and_sea(self):
        topo = self.grid(0, "topo")
        self.assertGreater(self.at(topo, 87.5, 30.0), 3000)   # Tibet
        self.assertLess(self.at(topo, 200.0, 0.0), -3000)     # central Pacific
        self.assertGreater(self.at(topo, 0.0, -90.0), 2000)   # Antarctic ice
        self.assertEqual(self.grid(3, "topo"), topo)

    def test_levels_below_ground_are_undefined(self):
        undef = self.d["undef"]
        topo = self.grid(0, "topo")
        for name in ("t", "z", "u", "v"):
            for k, p in enumerate(self.d["zdef"]):
                g = self.grid(1, name, k)
                for h, x in zip(topo, g):
                    below = p > mksample.surface_pressure(h)
                    self.assertEqual(x == undef, below, "%s at %g" % (name, p))
        self.assertTrue(all(x != undef for x in self.grid(0, "z", 3)))

    def test_fields_are_plausible(self):
        undef = self.d["undef"]
        for t in range(4):
            z = [self.grid(t, "z", k) for k in range(4)]
            for col in zip(*z):
                good = [x for x in col if x != undef]
                self.assertEqual(good, sorted(good))    # height grows upward
            for name, lo, hi in (("ts", 200, 320), ("slp", 950, 1050), ("u", -60, 80), ("v", -60, 60)):
                for k in range(4 if name in ("u", "v") else 1):
                    vals = [x for x in self.grid(t, name, k) if x != undef]
                    self.assertTrue(lo < min(vals) and max(vals) < hi, (name, t, k, min(vals), max(vals)))
        # the wave moves east between times, the zonal mean does not change
        z0, z2 = self.grid(0, "z", 3), self.grid(2, "z", 3)
        self.assertNotEqual(z0, z2)
        row = 56 * 144   # 50 N
        self.assertAlmostEqual(sum(z0[row:row + 144]), sum(z2[row:row + 144]), delta=1.0)
        # westerly jet in both hemispheres at 250 hPa
        u = self.grid(0, "u", 3)
        self.assertGreater(sum(u[50 * 144:51 * 144]) / 144, 20)
        self.assertGreater(sum(u[22 * 144:23 * 144]) / 144, 20)

    def test_checker_catches_size_and_value_faults(self):
        with tempfile.TemporaryDirectory() as tmp:
            ctl = os.path.join(tmp, "sample.ctl")
            shutil.copy(self.CTL, ctl)
            with open(os.path.join(SHARE, "sample", "sample.dat"), "rb") as f:
                raw = f.read()
            dat = os.path.join(tmp, "sample.dat")
            with open(dat, "wb") as f:
                f.write(raw[:-4])
            self.assertTrue(checkdata.check_sample(ctl))
            with open(dat, "wb") as f:
                f.write(raw[:400] + struct.pack(">f", float("nan")) + raw[404:])
            self.assertTrue(checkdata.check_sample(ctl))
            with open(dat, "wb") as f:
                f.write(raw)
            self.assertEqual(checkdata.check_sample(ctl), [])
            with open(ctl, "a") as f:
                f.write("bogus 1\n")
            self.assertTrue(checkdata.check_sample(ctl))

    def test_build_from_a_topography_dump(self):
        vals = ", ".join("%g" % (100.0 if i % 2 else -50.0) for i in range(144 * 73))
        text = "netcdf topo {\ndata:\n\n lon = 0, 2.5 ;\n\n topo =\n  %s ;\n}\n" % vals
        topo = mksample.parse_ncdump(text, "topo", 144 * 73)
        self.assertEqual(topo[:2], [-50.0, 100.0])
        a = mksample.build(topo)
        self.assertEqual(len(a), 4 * 19 * 144 * 73 * 4)
        self.assertEqual(a, mksample.build(topo))
        self.assertTrue(all(math.isfinite(x) for x in struct.unpack(">%df" % (len(a) // 4), a)))
        with self.assertRaises(mksample.SampleError):
            mksample.parse_ncdump(text, "topo", 10)
        with self.assertRaises(mksample.SampleError):
            mksample.parse_ncdump(text, "missing", 10)

    def test_netcdf_text_describes_the_same_grid(self):
        with open(os.path.join(SHARE, "sample", "sample.dat"), "rb") as f:
            data = f.read()
        text = mksample.cdl(data)
        for line in ('\t\tlon:units = "degrees_east" ;', '\t\tlat:units = "degrees_north" ;',
                     '\t\tlev:units = "hPa" ;', '\t\ttime:units = "hours since 2000-01-01 00:00:00" ;',
                     "\tfloat topo(time, lat, lon) ;", "\tfloat z(time, lev, lat, lon) ;",
                     "\t\tz:_FillValue = -9.99e+08f ;"):
            self.assertIn(line + "\n", text)
        self.assertIn("\n lev =\n  1000, 850, 500, 250 ;\n", text)
        self.assertIn("\n time =\n  0, 6, 12, 18 ;\n", text)
        with self.assertRaises(mksample.SampleError):
            mksample.cdl(data[:-4])

    @unittest.skipUnless(shutil.which("ncdump"), "ncdump not installed")
    def test_netcdf_file_holds_the_binary_values(self):
        r = subprocess.run(["ncdump", "-v", "z,slp", "-p", "9,17", os.path.join(SHARE, "sample", "sample.nc")],
                           stdout=subprocess.PIPE, check=True)
        # ncdump writes undefined values (the _FillValue) as "_"
        text = r.stdout.decode().replace("_,", "%r," % self.d["undef"]).replace("_ ;", "%r ;" % self.d["undef"])
        self.assertIn('lev:units = "hPa"', text)
        n = 144 * 73
        z = mksample.parse_ncdump(text, "z", 4 * 4 * n)
        slp = mksample.parse_ncdump(text, "slp", 4 * n)
        for t in range(4):
            self.assertEqual(slp[t * n:(t + 1) * n], [float("%.9g" % x) for x in self.grid(t, "slp")])
            for k in range(4):
                self.assertEqual(z[(t * 4 + k) * n:(t * 4 + k + 1) * n],
                                 [float("%.9g" % x) for x in self.grid(t, "z", k)], (t, k))

    @unittest.skipUnless(shutil.which("cdo") and shutil.which("ncdump") and shutil.which("grib_set"),
                         "cdo, ncdump or grib_set not installed")
    def test_regeneration_is_byte_for_byte(self):
        with tempfile.TemporaryDirectory() as tmp:
            with contextlib.redirect_stdout(io.StringIO()):
                self.assertEqual(mksample.main(["--out", tmp]), 0)
            for name in ("sample.ctl", "sample.dat", "sample.nc", "sample.grb2", "lambert.grb2"):
                with open(os.path.join(tmp, name), "rb") as a, \
                        open(os.path.join(SHARE, "sample", name), "rb") as b:
                    self.assertEqual(a.read(), b.read(), name)


class GribSample(unittest.TestCase):
    PATH = os.path.join(SHARE, "sample", "sample.grb2")

    def test_messages_are_whole_and_checked(self):
        self.assertEqual(checkdata.check_grib2(self.PATH, 76), [])
        with open(self.PATH, "rb") as f:
            good = f.read()
        with tempfile.TemporaryDirectory() as tmp:
            bad = os.path.join(tmp, "cut.grb2")
            for damage, want in ((good[:-1], "not whole"), (good + b"x", "no GRIB2 message"),
                                 (good[:good.index(b"GRIB", 4)], "1 messages")):
                with open(bad, "wb") as f:
                    f.write(damage)
                self.assertTrue(any(want in p for p in checkdata.check_grib2(bad, 76)), want)

    @unittest.skipUnless(shutil.which("cdo") and shutil.which("grib_set"), "cdo or grib_set not installed")
    def test_regeneration_is_byte_for_byte(self):
        with tempfile.TemporaryDirectory() as tmp:
            shutil.copy(os.path.join(SHARE, "sample", "sample.nc"), tmp)
            with contextlib.redirect_stdout(io.StringIO()):
                self.assertEqual(mksample.main(["--out", tmp, "--grib-only"]), 0)
            for name in ("sample.grb2", "lambert.grb2"):
                with open(os.path.join(tmp, name), "rb") as a, \
                        open(os.path.join(SHARE, "sample", name), "rb") as b:
                    self.assertEqual(a.read(), b.read(), name)


class StationSample(unittest.TestCase):
    """The committed station sample, read with a reader of its own and checked
    against the gridded sample interpolated here, not by stnsample."""
    DIR = os.path.join(SHARE, "sample")

    @classmethod
    def setUpClass(cls):
        with open(os.path.join(cls.DIR, "sample.dat"), "rb") as f:
            raw = f.read()
        cls.v = struct.unpack(">%df" % (len(raw) // 4), raw)
        with open(os.path.join(cls.DIR, "stations.dat"), "rb") as f:
            cls.dat = f.read()
        with open(os.path.join(cls.DIR, "stations.map"), "rb") as f:
            cls.map = f.read()

    def value(self, t, name, level, i, j):
        # sample.dat: per time topo, ts, slp, then t, z, u, v on 4 levels
        order = ["topo", "ts", "slp"] + ["%s%d" % (n, k) for n in "tzuv" for k in range(4)]
        key = name if name in ("topo", "ts", "slp") else "%s%d" % (name, level)
        return self.v[(t * 19 + order.index(key)) * 144 * 73 + j * 144 + i % 144]

    def expected(self, t, name, level, lat, lon):
        """Bilinear interpolation between the four grid points around the
        station, None when one is undefined."""
        west = math.floor(lon / 2.5) * 2.5
        south = math.floor(lat / 2.5) * 2.5
        a, b = (lon - west) / 2.5, (lat - south) / 2.5
        i, j = int(round(west / 2.5)), int(round((south + 90) / 2.5))
        pts = [(self.value(t, name, level, i + di, j + dj), (a if di else 1 - a) * (b if dj else 1 - b))
               for di in (0, 1) for dj in (0, 1)]
        if any(p == -9.99e8 for p, _ in pts):
            return None
        return sum(p * w for p, w in pts)

    def reports(self):
        """{time: [(id, lat, lon, surface values, [(level, values)])]} read
        through the map."""
        self.assertEqual(self.map[:16], b"Ombra_stnmapV002")
        nt, widest = struct.unpack(">ii", self.map[16:24])
        self.assertEqual(len(self.map), 24 + 8 * nt)
        offs = struct.unpack(">%di" % nt, self.map[24:24 + 4 * nt])
        cnts = struct.unpack(">%di" % nt, self.map[24 + 4 * nt:])
        out, most = {}, 0
        for t in range(nt):
            pos, reps = offs[t], []
            for _ in range(cnts[t]):
                sid, lat, lon, toff, nlev, flag = struct.unpack(">8sfffii", self.dat[pos:pos + 28])
                self.assertEqual((toff, flag), (0.0, 1))
                n = 3 + 5 * (nlev - 1)
                vals = struct.unpack(">%df" % n, self.dat[pos + 28:pos + 28 + 4 * n])
                levels = [(vals[k], vals[k + 1:k + 5]) for k in range(3, n, 5)]
                reps.append((sid.decode().strip(), lat, lon, vals[:3], levels))
                most = max(most, 7 + n)
                pos += 28 + 4 * n
            # every time ends with a header without levels
            self.assertEqual(struct.unpack(">8sfffii", self.dat[pos:pos + 28])[4], 0)
            if t + 1 < nt:
                self.assertEqual(pos + 28, offs[t + 1])
            else:
                self.assertEqual(pos + 28, len(self.dat))
            out[t] = reps
        self.assertEqual(widest, most)
        return out

    def test_layout(self):
        reps = self.reports()
        self.assertEqual(sorted(reps), [0, 1, 2, 3])
        self.assertEqual([len(r) for r in reps.values()], [40, 40, 40, 40])
        first = reps[0][0]
        self.assertEqual(first[0], "72201")
        self.assertAlmostEqual(first[1], 24.55, places=5)
        self.assertAlmostEqual(first[2], -81.75, places=5)
        # the value the program prints for it: d ts.2 at the first time
        self.assertEqual("%g" % first[3][0], "289.222")
        with open(os.path.join(self.DIR, "stations.ctl")) as f:
            ctl = f.read()
        self.assertEqual(ctl, stnsample.CTL)
        for line in ("dtype station\n", "stnmap ^stations.map\n", "options big_endian\n",
                     "tdef 4 linear 00z01jan2000 6hr\n", "vars 7\n"):
            self.assertIn(line, ctl)

    def test_values_are_the_grid_interpolated_to_the_stations(self):
        levels_seen = set()
        for t, reps in self.reports().items():
            for sid, lat, lon, sfc, levels in reps:
                for k, name in enumerate(("ts", "slp")):
                    self.assertAlmostEqual(sfc[k], self.expected(t, name, 0, lat, lon), delta=1e-4,
                                           msg=(sid, t, name))
                slp = sfc[1]
                self.assertEqual(sfc[2], 1.0 if slp >= 1015 else 3.0 if slp >= 1005 else 8.0, (sid, t))
                # each level whose grid values are all defined, bottom up
                want = []
                for k, p in enumerate((1000.0, 850.0, 500.0, 250.0)):
                    vals = [self.expected(t, n, k, lat, lon) for n in "tzuv"]
                    if None not in vals:
                        want.append((p, vals))
                self.assertEqual([p for p, _ in levels], [p for p, _ in want], (sid, t))
                for (p, got), (_, vals) in zip(levels, want):
                    for g, w in zip(got, vals):
                        self.assertAlmostEqual(g, w, delta=2e-3 if abs(w) > 1000 else 1e-4, msg=(sid, t, p))
                levels_seen.add(len(levels))
        # mountain stations lose their low levels, coastal ones keep all four
        self.assertIn(2, levels_seen)
        self.assertIn(4, levels_seen)
        denver = [r for r in self.reports()[0] if r[0] == "72469"][0]
        self.assertEqual([p for p, _ in denver[4]], [500.0, 250.0])

    def test_regeneration_is_byte_for_byte(self):
        with tempfile.TemporaryDirectory() as tmp:
            shutil.copy(os.path.join(self.DIR, "sample.dat"), tmp)
            with contextlib.redirect_stdout(io.StringIO()):
                self.assertEqual(mksample.main(["--out", tmp, "--stations-only"]), 0)
            for name in ("stations.ctl", "stations.dat", "stations.map"):
                with open(os.path.join(tmp, name), "rb") as a, open(os.path.join(self.DIR, name), "rb") as b:
                    self.assertEqual(a.read(), b.read(), name)

    def test_a_short_gridded_sample_is_refused(self):
        with open(os.path.join(self.DIR, "sample.dat"), "rb") as f:
            raw = f.read()
        with self.assertRaises(stnsample.StationError):
            stnsample.build(raw[:-4])


def write_tree(root, files):
    for rel, text in files.items():
        path = os.path.join(root, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as f:
            f.write(text)


def concept(value, **keys):
    body = "".join("\t %s = %s ;\n" % kv for kv in keys.items())
    return "#x\n'%s' = {\n%s\t}\n" % (value, body)


class GribTables(unittest.TestCase):
    """The converter on a small tree of definitions written here, and the
    committed tables."""

    def definitions(self, root):
        t = dict(discipline=0, parameterCategory=0, parameterNumber=0)
        t2 = dict(t, typeOfFirstFixedSurface=103, scaledValueOfFirstFixedSurface=2,
                  scaleFactorOfFirstFixedSurface=0)
        soil = dict(discipline=2, parameterCategory=3, parameterNumber=20, typeOfFirstFixedSurface=106,
                    scaledValueOfFirstFixedSurface=7, scaleFactorOfFirstFixedSurface=2)
        mx = dict(t2, typeOfStatisticalProcessing=2, lengthOfTimeRange=6, indicatorOfUnitForTimeRange=1)
        chem = dict(t, constituentType=5)
        g2 = [("t", "Temperature", "K", "t", t), ("2t", "2 metre temperature", "K", "t2m", t2),
              ("st", "Soil temperature", "K", "st", soil), ("mx2t6", "Max 6 h", "K", "mx2t6", mx),
              ("chem", "Chemistry", "x", "chem", chem), ("tdup", "Second of one key", "K", "tdup", t)]
        files = {}
        for kind, k in (("shortName", 0), ("name", 1), ("units", 2), ("cfVarName", 3)):
            files["grib2/%s.def" % kind] = "".join(concept(e[k], **e[4]) for e in g2)
        apcp = dict(discipline=0, parameterCategory=1, parameterNumber=8, localTablesVersion=1)
        files["grib2/localConcepts/kwbc/shortName.def"] = concept("tp", **apcp)
        files["grib2/localConcepts/kwbc/name.def"] = concept("Total precipitation", **apcp)
        files["grib2/localConcepts/kwbc/units.def"] = concept("kg m**-2", **apcp)
        files["grib2/localConcepts/ecmf/shortName.legacy.def"] = concept("sst", discipline=10,
                                                                         parameterCategory=3, parameterNumber=0)
        files["grib2/tables/4/4.2.0.1.table"] = "7 7 Old\n"
        files["grib2/tables/30/4.2.0.1.table"] = ("# c\n8 8 Total precipitation (kg m-2)\n"
                                                  "6 6 Soil fraction ((0 - 1))\n9 9 Reserved\n")
        files["grib2/tables/30/4.5.table"] = "100 pl Isobaric surface (Pa)\n# 19 Reserved\n"
        files["grib2/tables/30/4.10.table"] = "1 accum Accumulation\n10 10 Anomaly\n255 missing Missing\n"
        g1 = dict(table2Version=2, indicatorOfParameter=11)
        files["grib1/shortName.def"] = concept("t", **g1) + concept("2t", indicatorOfTypeOfLevel=105, level=2, **g1)
        files["grib1/cfVarName.def"] = concept("t", **g1) + concept("t2m", indicatorOfTypeOfLevel=105, level=2, **g1)
        files["grib1/localConcepts/ecmf/shortName.def"] = concept("2t", table2Version=128, indicatorOfParameter=167)
        files["grib1/3.table"] = "1 sfc Surface\n100 pl Isobaric level\n"
        files["common/c-11.table"] = "7 kwbc NCEP\n98 ecmf ECMWF\n"
        write_tree(root, files)

    def test_records_from_definitions(self):
        with tempfile.TemporaryDirectory() as tmp:
            self.definitions(tmp)
            g2 = mkgribtab.build_grib2(tmp)
            g1 = mkgribtab.build_grib1(tmp)
        rows = [r.split("\t") for r in g2]
        self.assertEqual(rows, [
            ["p", "-", "0", "0", "0", "-", "-", "-", "-", "-", "t", "Temperature", "K"],
            # A short name that starts with a digit takes the CF name.
            ["p", "-", "0", "0", "0", "103", "2", "-", "-", "-", "t2m", "2 metre temperature", "K"],
            ["p", "-", "2", "3", "20", "106", "0.07", "-", "-", "-", "st", "Soil temperature", "K"],
            ["p", "-", "0", "0", "0", "103", "2", "2", "360", "-", "mx2t6", "Max 6 h", "K"],
            # Constituents are left out, a second entry of one key too.
            ["p", "7", "0", "1", "8", "-", "-", "-", "-", "1", "tp", "Total precipitation", "kg m**-2"],
            ["p", "*", "10", "3", "0", "-", "-", "-", "-", "-", "sst", "-", "-"],
            # The latest code table names what no concept does.
            ["p", "-", "0", "1", "8", "-", "-", "-", "-", "-", "-", "Total precipitation", "kg m-2"],
            ["p", "-", "0", "1", "6", "-", "-", "-", "-", "-", "-", "Soil fraction", "(0 - 1)"],
            ["l", "100", "Isobaric surface", "Pa"],
            ["s", "1", "accum", "Accumulation"], ["s", "10", "s10", "Anomaly"]])
        self.assertEqual([r.split("\t")[:8] for r in g1], [
            ["p", "-", "2", "11", "-", "-", "-", "t"],
            ["p", "-", "2", "11", "105", "2", "-", "t2m"],
            ["p", "98", "128", "167", "-", "-", "-", "-"],
            ["l", "1", "Surface"], ["l", "100", "Isobaric level"]])

    def test_scaled_levels(self):
        self.assertEqual([mkgribtab.scaled(v, f) for v, f in ((2, 0), (7, 2), (15, 1), (-5, 1), (3, -2), (100, 2))],
                         ["2", "0.07", "1.5", "-0.5", "300", "1"])

    def test_missing_definitions_fail_with_a_message(self):
        with tempfile.TemporaryDirectory() as tmp:
            err = io.StringIO()
            with contextlib.redirect_stderr(err):
                self.assertEqual(mkgribtab.main(["--src", tmp, "--out", tmp]), 1)
            self.assertIn("mkgribtab: no ecCodes definitions", err.getvalue())
            self.assertEqual(sorted(os.listdir(tmp)), [])

    def test_committed_tables_are_sound_and_checked(self):
        for e in (1, 2):
            self.assertEqual(checkdata.check_gribtab(os.path.join(SHARE, "grib%d.tab" % e), e), [])
        with open(os.path.join(SHARE, "grib2.tab")) as f:
            good = f.read()
        with tempfile.TemporaryDirectory() as tmp:
            bad = os.path.join(tmp, "grib2.tab")
            for damage, want in ((good.replace("\tt\tTemperature", "\t2t\tTemperature"), "cannot be used"),
                                 (good.replace("p\t-\t0\t0\t0\t-", "p\t-\t0\tx\t0\t-"), "not a number"),
                                 (good + "p\t-\t1\n", "bad record")):
                with open(bad, "w") as f:
                    f.write(damage)
                self.assertTrue(any(want in p for p in checkdata.check_gribtab(bad, 2)), want)

    @unittest.skipUnless(os.path.isdir(os.path.join(mkgribtab.SRC, "grib2")), "ecCodes definitions not installed")
    def test_regeneration_is_byte_for_byte(self):
        with open(os.path.join(SHARE, "grib2.tab")) as f:
            made_from = f.readline() + f.readline()
        if mkgribtab.version_of(mkgribtab.SRC) not in made_from:
            self.skipTest("another ecCodes version is installed")
        with tempfile.TemporaryDirectory() as tmp:
            self.assertEqual(mkgribtab.main(["--out", tmp]), 0)
            for name in ("grib1.tab", "grib2.tab"):
                with open(os.path.join(tmp, name), "rb") as a, open(os.path.join(SHARE, name), "rb") as b:
                    self.assertEqual(a.read(), b.read(), name)


class WholeDirectory(unittest.TestCase):
    def test_check_script_passes_on_share(self):
        r = subprocess.run([sys.executable, os.path.join(HERE, "checkdata.py"), SHARE],
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.assertEqual(r.returncode, 0, r.stdout.decode())

    def test_total_size_of_share(self):
        total = 0
        for root, _, files in os.walk(SHARE):
            total += sum(os.path.getsize(os.path.join(root, f)) for f in files)
        self.assertLess(total, 30 * 1024 * 1024)


if __name__ == "__main__":
    unittest.main(verbosity=1)
