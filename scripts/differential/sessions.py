"""The sessions of the differential check, made from a seed.

Session k is made by its own random generator, seeded by the seed and k, so
`--count` runs a prefix of the same sessions and any one of them can be
made again alone.  A session opens one or two data sets of datasets.json
and runs blocks of commands of every family: dimensions (world and grid
values, times with month names), displays of expressions and analysis
functions under every gxout kind, queries, pictures (printim), the
metafile, LATS, fwrite, scripts and exec files, and commands that fail.

Each session is a record: the arguments of the program, the lines given on
standard input, the data files it needs beside it and the files it writes
there first (scripts, exec files).  The time label is switched off at the
start and after every reset, since it shows the clock.

    python3 sessions.py DATADIR SEED COUNT OUT.jsonl
"""

import json
import random
import sys

GXOUT_2D = ["contour", "shaded", "grfill", "pgrid", "fgrid", "grid"]
GXOUT_1D = ["line", "bar"]
GXOUT_VEC = ["vector", "barb", "stream"]
GXOUT_STN = ["value", "barb", "vector", "model", "wxsym", "stnmark"]
QUERIES = ["q", "q config", "q files", "q file", "q ctlinfo", "q dims", "q dim", "q time", "q define",
           "q udft", "q fwrite", "q lats", "q gxinfo", "q shades", "q xinfo", "q string Hello world",
           "q w2xy 180 0", "q w2gr 180 0", "q gr2w 3 4", "q gr2xy 3 4", "q xy2w 5.5 4.25",
           "q xy2gr 5.5 4.25", "q pp2xy 5.5 4.25", "q ll2xy 90 30", "q file 2", "q ctlinfo 2",
           "q defval nosuch 1 1", "q nonsense", "q w2xy", "q file 9", "q dialog hello"]
FAILING = ["nosuchcommand", "open nosuch.ctl", "sdfopen nosuch.nc", "xdfopen nosuch.xdf", "d nosuchvar",
           "d (", "d 1+", "d ave(", "set lon abc", "set gxout nonsense", "close 9", "printim",
           "printim a.png x", "printim a.png xabc y10", "printim a.png bogus", "draw rec 1",
           "draw nothing", "set dignum 9", "set cint -1", "exec nosuch.exec", "run nosuch.gs",
           "set lats write 9 9", "set lats close 9", "disable nonsense", "define 1x = 2",
           "define = 3", "modify nosuch seasonal", "set rgb 5 1 2 3", "set rgb 200 1 2 3",
           "clear nonsense", "undefine nosuch", "set t", "set lev", "set time 99x", "set time jan",
           "collect 1 slp", "set fill dot 9", "set string 1 q", "set mproj nosuch", "set x",
           "set vpage 1", "print", "set fwrite", "d const(", "set clevs", "set ccols", "outxwd",
           "screen save 1", "redraw button 1 1", "q pos nowait", "set xlint -5", "swap",
           "set lats parmtab nosuch.tab", "set lats vertdim", "set lats var 1", "enable print",
           "set prnopts %d %d", "set clab %s%s%n", "draw string 1 1 %s%n%x", "set xlab %n%s",
           "d 1/0", "d sqrt(-1)", "d log(0)", "help", "stack", "flush",
           "!echo shell escape works", "!exit 3"]
# Commands on damaged or mistaken files, with the files they need.
BAD_FILES = [("sdfopen bad.nc", ["bad.nc"]), ("sdfopen cut.nc", ["cut.nc"]),
             ("open bad.ctl", ["bad.ctl"]), ("open sample.nc", ["sample.nc"]),
             ("xdfopen bad.xdf", ["bad.xdf", "mon.nc"]), ("sdfopen sample.ctl", ["sample.ctl"]),
             ("xdfopen sample.ctl", ["sample.ctl", "sample.dat"]), ("open cut.ctl", ["cut.ctl", "cut.dat"]),
             ("sdfopen m_200001.nc m_%y4%m2.nc 24", ["m_200001.nc", "m_200002.nc"]),
             ("sdfopen i_20000101.nc i_%y4%m2%d2.nc 3", ["i_20000101.nc", "i_20000102.nc"])]
PROJS = ["latlon", "scaled", "off", "nps", "sps", "robinson", "mollweide", "orthographic", "lambert"]


def fmt(v):
    return ("%.4f" % v).rstrip("0").rstrip(".")


class Gen:
    def __init__(self, rng, sets, sid):
        self.r = rng
        self.sets = sets
        self.sid = sid
        self.lines = []
        self.files = set()
        self.extras = {}
        self.open = []        # the data sets opened, in file number order
        self.d = None         # the default file's data set
        self.n = 0            # a counter for output names
        self.defined = []
        self.lats_file = 0
        self.copies = set()   # data files the session changes: copied, not linked
        self.blocks = []      # the blocks of commands made, by name

    # -- helpers -------------------------------------------------------
    def say(self, *lines):
        self.lines.extend(lines)

    def name(self, stem, ext):
        self.n += 1
        return "%s%d.%s" % (stem, self.n, ext)

    def pick(self, seq):
        return self.r.choice(seq)

    def chance(self, p):
        return self.r.random() < p

    def var(self, levels=None):
        vs = [v for v in self.d["vars"] if levels is None or (v[1] > 0) == levels]
        return self.pick(vs or self.d["vars"])[0]

    def timestr(self, k=None):
        """A time of the default data set, written as a user would: the
        whole stamp, the day or the month with a year, in any case."""
        times = self.d["times"]
        s = times[self.r.randrange(len(times)) if k is None else k]
        hour, rest = s.split("Z")
        day, mon, year = rest[:2], rest[2:5], rest[5:]
        form = self.r.randrange(6)
        if form == 0:
            out = s
        elif form == 1:
            out = day + mon + year
        elif form == 2:
            out = mon + year
        elif form == 3:
            out = hour + "z" + str(int(day)) + mon + year
        elif form == 4:
            out = "%02d%s%s" % (self.r.randint(1, 28), mon, year)
        else:
            # Another month of the data set's times.
            other = self.pick(times).split("Z")[1]
            out = other[2:5] + other[5:]
        return out.lower() if self.chance(0.5) else out

    def reset_label(self):
        self.say("set timelab off")

    # -- opening ---------------------------------------------------------
    def open_set(self, ds):
        self.say(ds["open"])
        self.files.update(ds["files"])
        self.open.append(ds)
        if self.d is None:
            self.d = ds

    # -- dimensions ----------------------------------------------------
    def lon_range(self):
        d = self.d
        lo, hi = d["lon"]
        if d.get("station"):
            return self.pick([(-130, -60), (-110, -80), (-100, -99), (-125, -70)])
        k = self.r.randrange(6)
        if k == 0:
            return (0, 360)
        if k == 1:
            return (-180, 180)
        if k == 2:
            a = self.r.uniform(lo - 30, hi)
            return (round(a, 1), round(a + self.r.uniform(5, 200), 1))
        if k == 3:
            return (lo, hi)
        a = self.r.randint(0, 10) * 30
        return (a, a + self.pick([30, 60, 90, 120]))

    def lat_range(self):
        if self.d.get("station"):
            return self.pick([(20, 60), (25, 50), (30, 31), (24, 54)])
        lo, hi = self.d["lat"]
        k = self.r.randrange(4)
        if k == 0:
            return (lo, hi)
        if k == 1:
            return (-90, 90)
        a = self.r.uniform(lo, hi - 5)
        return (round(a, 1), round(min(hi + 10, a + self.r.uniform(5, 120)), 1))

    def set_axis(self, grid, world, size, span, vary):
        """set x or lon (y or lat): one value or a range, in grid numbers
        or world values."""
        if self.chance(0.25 if vary else 0.3) and not self.d.get("station"):
            if vary:
                a = self.r.randint(1, size - 1)
                self.say("set %s %d %d" % (grid, a, self.r.randint(a + 1, size + (grid == "x"))))
            else:
                self.say("set %s %d" % (grid, self.r.randint(1, size)))
        elif vary:
            self.say("set %s %s %s" % ((world,) + tuple(map(fmt, span()))))
        else:
            self.say("set %s %s" % (world, fmt(self.r.uniform(*span()))))

    def set_xy(self, vary_x=True, vary_y=True):
        self.set_axis("x", "lon", self.d["nx"], self.lon_range, vary_x)
        self.set_axis("y", "lat", self.d["ny"], self.lat_range, vary_y)

    def set_z(self, vary=False):
        d = self.d
        levs = d.get("levs") or []
        if vary and len(levs) > 1:
            if self.chance(0.5):
                self.say("set z 1 %d" % len(levs))
            else:
                self.say("set lev %s %s" % (fmt(levs[0]), fmt(levs[-1])))
        elif levs and self.chance(0.5):
            self.say("set lev %s" % fmt(self.pick(levs)))
        else:
            self.say("set z %d" % self.r.randint(1, max(1, d["nz"])))

    def set_t(self, vary=False):
        nt = len(self.d["times"])
        if vary:
            k = self.r.randrange(4)
            if k == 0:
                self.say("set t 1 %d" % nt)
            elif k == 1:
                self.say("set t 1 last")
            elif k == 2:
                a = self.r.randrange(nt)
                b = self.r.randrange(a, nt)
                self.say("set time %s %s" % (self.timestr(a), self.timestr(b)))
            else:
                a = self.r.randint(1, nt)
                self.say("set t %d %d" % (a, min(nt, a + self.r.randint(1, 5))))
        else:
            k = self.r.randrange(5)
            if k == 0:
                self.say("set t %d" % self.r.randint(1, nt))
            elif k == 1:
                self.say("set t last")
            elif k == 2:
                self.say("set t %s" % fmt(self.r.uniform(0.5, nt + 0.5)))
            else:
                self.say("set time %s" % self.timestr())

    def env(self, shape):
        """Sets the dimensions for a result of this shape: 'xy', 'x', 'y',
        'z', 't', 'xz', 'yt', 'xt', '0', 'xyt'."""
        x, y = "x" in shape, "y" in shape
        self.set_xy(x, y)
        self.set_z("z" in shape)
        self.set_t("t" in shape)

    # -- expressions -----------------------------------------------------
    def expr(self, shape):
        d = self.d
        v = self.var("z" in shape or None)
        nt = len(d["times"])
        if d.get("station"):
            return self.stn_expr(v)
        simple = [v, "%s*2+1" % v, "%s-%s(t=1)" % (v, v), "abs(%s)" % v, "-%s" % v,
                  "%s+%s.1" % (v, v) if len(self.open) == 1 else v,
                  "sqrt(abs(%s))" % v, "log(abs(%s)+1)" % v, "exp(%s/1000)" % v, "sin(%s)" % v,
                  "pow(%s,2)" % v, "atan2(%s,1)" % v, "const(%s,1)" % v, "const(%s,0,-u)" % v,
                  "maskout(%s,%s-%s(x=1,y=1))" % (v, v, v), "%s(t+1)-%s" % (v, v),
                  "%s(z=1)" % v, "%s(time=%s)" % (v, self.timestr()), "cos(%s*3.14159/180)" % v]
        funcs = ["ave(%s,t=1,t=%d)" % (v, nt), "ave(%s,time=%s,time=%s)" % (v, self.timestr(), self.timestr()),
                 "mean(%s,t=1,t=%d)" % (v, min(nt, 3)), "sum(%s,t=1,t=%d)" % (v, min(nt, 4)),
                 "min(%s,t=1,t=%d)" % (v, nt), "max(%s,x=1,x=%d)" % (v, d["nx"]),
                 "minloc(%s,t=1,t=%d)" % (v, nt), "maxloc(%s,y=1,y=%d)" % (v, d["ny"]),
                 "sumg(%s,t=1,t=%d)" % (v, min(nt, 4)), "ave(%s,t=1,t=%d,2)" % (v, nt),
                 "ave(%s,lon=0,lon=90,-b)" % v, "aave(%s,global)" % v,
                 "aave(%s,lon=0,lon=120,lat=-30,lat=30)" % v, "amean(%s,g)" % v,
                 "asum(%s,x=1,x=3,y=1,y=3)" % v, "asumg(%s,global)" % v, "smth9(%s)" % v,
                 "smth9(%s,0.5,0.25,0)" % v, "skip(%s,2)" % v, "skip(%s,2,3)" % v,
                 "cdiff(%s,x)" % v, "cdiff(%s,y)" % v, "cdiff(%s,t)" % v,
                 "tloop(ave(%s,t-1,t+1))" % v, "tloop(%s(t-1))" % v,
                 "gint(%s,t=1,t=%d)" % (v, min(nt, 3)), "scorr(%s,%s(t=1),global)" % (v, v),
                 "sregr(%s,%s(t=2),lon=0,lon=180,lat=-60,lat=60)" % (v, v),
                 "tcorr(%s,%s,t=1,t=%d)" % (v, v, nt), "tregr(%s,%s*2,t=1,t=%d)" % (v, v, nt),
                 "tmave(%s-%s+1,%s,t=1,t=%d)" % (v, v, v, nt), "mag(%s,%s)" % (v, v),
                 "hdivg(%s,%s)" % (v, v), "hcurl(%s,%s)" % (v, v),
                 "fndlvl(%s,%s(z=1),z=1,z=%d)" % (v, v, max(1, d["nz"])),
                 "vint(%s(z=1),%s,300)" % (v, v)]
        if d.get("sample"):
            funcs += ["mag(u,v)", "hdivg(u,v)", "hcurl(u,v)", "vint(slp,t,300)", "tvrh2q(t,50)",
                      "tvrh2t(t,70)", "fndlvl(z,5500,lev=1000,lev=250)", "ave(z,lev=1000,lev=250)"]
        if self.defined:
            simple.append(self.pick(self.defined))
        return self.pick(simple) if self.chance(0.45) else self.pick(funcs)

    def stn_expr(self, v):
        g = "gridded"
        grids = [k for k, s in enumerate(self.open) if not s.get("station")]
        me = self.open.index(self.d) + 1
        choices = [v, "%s-1" % v, "%s*2" % v, "abs(%s)" % v, "stnave(%s,t=1,t=4)" % v,
                   "stnmin(%s,t=1,t=4)" % v, "stnmax(%s,t=1,t=4,-m 2)" % v, "const(%s,5)" % v,
                   "%s(t+1)" % v, "maskout(%s,%s-280)" % (v, v)]
        if grids:
            g = "slp.%d" % (grids[0] + 1) if self.open[grids[0]].get("sample") else None
            if g:
                choices += ["gr2stn(%s,%s)" % (g, v), "%s-gr2stn(ts.%d,ts)" % (v, grids[0] + 1)]
        del me
        return self.pick(choices)

    # -- blocks ----------------------------------------------------------
    def b_display(self):
        d = self.d
        if d.get("station"):
            return self.b_station()
        shape = self.pick(["xy", "xy", "xy", "x", "y", "t", "z", "xz", "yt", "xt", "0", "xyt"])
        if shape == "z" and d["nz"] < 2:
            shape = "xy"
        self.env(shape)
        if shape in ("x", "y", "t", "z") and self.chance(0.7):
            self.say("set gxout " + self.pick(GXOUT_1D + ["line"]))
            if self.chance(0.3):
                self.say(self.pick(["set vrange -10 40", "set cmark 3", "set bargap 20",
                                    "set barbase 0", "set baropts outline", "set missconn on",
                                    "set xlint 2", "set ylint 5", "set xyrev on", "set axlim 0 10"]))
        elif shape in ("xy", "xz", "yt", "xt") and self.chance(0.7):
            self.say("set gxout " + self.pick(GXOUT_2D))
            for _ in range(self.r.randrange(3)):
                self.say(self.pick(["set cint %s" % fmt(self.r.choice([0.5, 1, 2, 5, 10])),
                                    "set clevs 0 2 4 6 8 10", "set ccols 9 14 4 11 5 13 3",
                                    "set cmin 2", "set cmax 12", "set ccolor rainbow",
                                    "set ccolor revrain", "set cstyle 3", "set cthick 6",
                                    "set csmooth on", "set csmooth linear", "set cterp off",
                                    "set clab off", "set clab forced", "set clab %.1f",
                                    "set clopts 2 3 0.12", "set clskip 2", "set black 4 6",
                                    "set rbrange 0 20", "set rbcols 2 3 4 5 6 7",
                                    "set fgvals 1 2 5 4 10 3", "set dignum 2", "set digsiz 0.06",
                                    "set gridln off", "set grid off", "set grid horizontal 3 4",
                                    "set xlab %g deg", "set ylab off", "set xflip on",
                                    "set yflip on", "set zlog on", "set frame circle",
                                    "set mproj " + self.pick(PROJS), "set mpdraw off",
                                    "set poli off", "set map 2 1 3", "set mpdset mres",
                                    "set xlopts 2 4 0.14", "set ylpos 0.2 r", "set xlpos 0.1 t",
                                    "set tlsupp year", "set tlsupp month", "set xlevs 0 90 180",
                                    "set ylevs -60 0 60", "set xlabs a|b|c", "set xaxis 0 10 2",
                                    "set annot 3 5", "set stat on"]))
        elif self.chance(0.3):
            self.say("set gxout " + self.pick(["print", "stat"]))
            if self.chance(0.3):
                self.say(self.pick(["set prnopts %6.2f 5 1", "set prnopts %g 8 2 u",
                                    "set prnopts %10.3e"]))
        self.say("d " + self.expr(shape))
        if self.chance(0.25):
            self.say("d " + self.expr(shape))
        if self.chance(0.2):
            self.b_draw()
        if self.chance(0.4):
            self.b_printim()
        if self.chance(0.3):
            self.say("q " + self.pick(["gxinfo", "shades", "w2xy 30 10", "xy2w 4 4", "gr2xy 2 2"]))
        self.say("set gxout contour" if self.chance(0.5) else "clear")

    def b_station(self):
        self.say("set lon %s %s" % tuple(map(fmt, self.lon_range())))
        self.say("set lat %s %s" % tuple(map(fmt, self.lat_range())))
        self.set_z()
        self.set_t(self.chance(0.1))
        kind = self.pick(GXOUT_STN + ["stat", "print", "writegds", "line", "tserwx", "tserbarb",
                                      "findstn", "collect", "analysis"])
        me = ".%d" % (self.open.index(self.d) + 1) if self.chance(0.5) else ""
        if kind == "line":
            self.say("set lon -100", "set lat 40", "set t 1 4")
            self.say("d ts%s(stid=%s)" % (me, self.pick(["72469", "72201", "99999"])))
        elif kind in ("barb", "vector"):
            self.say("set gxout " + kind, "d u%s;v%s" % (me, me))
        elif kind == "model":
            self.say("set gxout model", "set mdlopts " + self.pick(["blank", "noblank dig3", "nodig3"]),
                     "d u%s;v%s;t%s-273.15;z%s;slp%s;0;wx%s" % ((me,) * 6))
        elif kind == "wxsym":
            self.say("set gxout wxsym", "set wxopt " + self.pick(["wxsym", "mark", "char"]),
                     "d wx%s" % me)
        elif kind in ("tserwx", "tserbarb"):
            self.say("set lon -100", "set lat 40", "set t 1 4", "set gxout " + kind)
            self.say("d %s(stid=%s)" % ("wx" + me if kind == "tserwx" else "u%s;v%s" % (me, me),
                                        self.pick(["72469", "72201"])))
        elif kind == "findstn":
            self.say("set gxout findstn", "d ts%s" % me)
        elif kind == "collect":
            self.say("set lon -90", "set lat 40", "set lev 1000 250")
            for stid in self.r.sample(["72520", "72632", "72649", "72469", "72201"], 3):
                self.say("collect 1 t%s(stid=%s)" % (me, stid))
            self.say("set lon -94 -80", "d coll2gr(1%s)" % self.pick(["", ", -u", ", 5", ", -u, -n1"]),
                     "collect 1 free")
        elif kind == "analysis":
            grids = [k + 1 for k, ds in enumerate(self.open) if ds.get("sample")]
            g = "ts.%d" % grids[0] if grids else "const(ts%s,0)" % me
            self.say("set gxout " + self.pick(["shaded", "contour", "grfill"]))
            self.say("d " + self.pick(["oacres(%s, ts%s)" % (g, me), "oacres(%s, ts%s, 8, 4, 2)" % (g, me),
                                       "oabin(%s, ts%s, -c)" % (g, me), "oabin(%s, ts%s)" % (g, me),
                                       "oacres(%s, ts%s, -1, 280)" % (g, me)]))
        elif kind == "writegds":
            self.say("set gxout writegds", "set writegds %s" % self.name("stn", "gds"),
                     "d ts%s;slp%s" % (me, me))
        elif kind == "stat":
            self.say("set gxout stat", "set stnprint " + self.pick(["on", "off"]), "d " + self.expr("xy"))
        else:
            self.say("set gxout " + kind, "set stid " + self.pick(["on", "off"]),
                     "d " + self.expr("xy"))
        if self.chance(0.4):
            self.b_printim()
        if self.chance(0.3):
            self.say("d ts%s(r=3, lon=-97, lat=33)" % me, "d t%s(stid=72469)" % me)
        self.say("clear", "set gxout contour")

    def b_vector(self):
        if self.d.get("station") or not self.d.get("sample"):
            return self.b_display()
        self.env("xy")
        self.say("set lon 0 90", "set lat 0 60")
        self.say("set gxout " + self.pick(GXOUT_VEC + ["scatter", "grid"]))
        for _ in range(self.r.randrange(3)):
            self.say(self.pick(["set arrscl 0.5 20", "set arrlab off", "set arrowhead -0.3",
                                "set hempref shem", "set strmden %d" % self.r.randint(1, 9)]))
        self.say("d " + self.pick(["u;v", "skip(u,3);v", "u;v;mag(u,v)", "t;z", "u;v;t",
                                   "smth9(u);smth9(v)"]))
        if self.chance(0.4):
            self.b_printim()
        self.say("set gxout contour", "clear")

    def b_1dpair(self):
        if self.d.get("station"):
            return self.b_station()
        self.env("x")
        v = self.var()
        self.say("set gxout " + self.pick(["errbar", "linefill", "bar"]))
        if self.chance(0.5):
            self.say("set lfcols %d %d" % (self.r.randint(1, 15), self.r.randint(1, 15)))
        self.say("d %s;%s+2" % (v, v))
        self.say("clear", "set gxout contour")

    def b_query(self):
        for _ in range(self.r.randint(1, 4)):
            self.say(self.pick(QUERIES))

    def b_printim(self):
        ext = "gif" if self.chance(0.3) else "png"
        words = [self.name("pic", ext)]
        if self.chance(0.3):
            words.append(self.pick(["x400 y300", "x640 y480", "x300 y400", "x1000 y700"]))
        if self.chance(0.4):
            words.append(self.pick(["white", "black"]))
        if ext == "gif" and self.chance(0.5):
            words.append("gif")
        self.say("printim " + " ".join(words))

    def b_draw(self):
        for _ in range(self.r.randint(1, 5)):
            self.say(self.pick([
                "draw title A title\\second line", "draw xlab Longitude", "draw ylab Latitude",
                "draw string 2 2 some text", "draw line 1 1 3 4 5 2", "draw rec 1 1 3 3",
                "draw recf 4 4 5 5", "draw polyf 8 1 9 1 9 2", "draw mappoly 0 0 40 0 40 30",
                "draw mark %d 5 5 0.2" % self.r.randint(1, 11),
                "draw wxsym %d 6 6 0.3" % self.r.randint(1, 43), "draw map",
                "set line %d %d %d" % (self.r.randint(0, 15), self.r.randint(1, 7), self.r.randint(1, 12)),
                "set string %d %s" % (self.r.randint(1, 15), self.pick(["bl", "c", "tr", "l"])),
                "set strsiz 0.2 0.25", "set font %d" % self.r.randint(0, 9),
                "set fill " + self.pick(["solid", "open", "dot 3", "line 2 45", "off"]),
                "set rgb %d %d %d %d" % (self.r.randint(16, 99), self.r.randint(0, 255),
                                         self.r.randint(0, 255), self.r.randint(0, 255)),
                "set clip 1 10 1 7.5", "set background %d" % self.r.randint(0, 15),
                "set display " + self.pick(["color white", "grey", "greyscale black", "color"])]))

    def b_metafile(self):
        name = self.name("meta", "gx")
        self.say("enable print " + name)
        for _ in range(self.r.randint(1, 3)):
            self.b_display()
            if not self.d.get("station"):
                self.say("d " + self.expr("xy"))
            self.say("print")
        if self.chance(0.85):
            self.say("disable print")

    def b_fwrite(self):
        if self.d.get("station"):
            return self.b_station()
        self.env(self.pick(["xy", "xy", "x", "xyt"]))
        opts = " ".join(w for w in (self.pick(["", "-be", "-le"]), self.pick(["", "-sq", "-st"])) if w)
        self.say("set gxout fwrite", ("set fwrite %s %s" % (opts, self.name("grid", "bin"))).replace("  ", " "))
        for _ in range(self.r.randint(1, 3)):
            self.say("d " + self.expr("xy"))
        self.say("q fwrite")
        if self.chance(0.8):
            self.say("disable fwrite")
        self.say("set gxout contour")

    def b_lats(self):
        d = self.d
        if d.get("station"):
            return self.b_station()
        conv = self.pick(["coards", "ombra_grib", "grib_only", "coards"])
        self.lats_file += 1
        fid = self.lats_file
        self.say("set lats reset", "set lats convention " + conv,
                 "set lats frequency " + self.pick(["hourly", "daily", "monthly", "forecast_hourly",
                                                     "yearly", "monthly_table_comp", "weekly", "fixed"]),
                 "set lats deltat %d" % self.pick([0, 1, 6]))
        for _ in range(self.r.randrange(3)):
            self.say(self.pick(["set lats calendar noleap", "set lats model gen", "set lats center none",
                                "set lats comment made here", "set lats gridtype gaussian",
                                "set lats timeoption " + self.pick(["grid", "dim_env", "settime"]),
                                "set lats fhour 6", "set lats varcomment a variable"]))
        self.say("set lats create " + self.name("lats", "out").replace(".out", ""))
        self.say("set x 1 %d" % d["nx"], "set y 1 %d" % d["ny"], "set z 1", "set t 1")
        v = self.var()
        self.say("set gxout latsgrid", "d " + v)
        levs = d.get("levs") or []
        lv = self.var(True) if levs and self.chance(0.5) else None
        if lv and [x for x in d["vars"] if x[0] == lv][0][1] > 0:
            self.say("set lats vertdim plev " + " ".join(fmt(x) for x in levs))
            self.say("set lats var %d ta %s %d 1" % (fid, self.pick(["instant", "average", "accum"]), fid))
            self.say("set gxout latsdata")
            for t in range(1, min(3, len(d["times"])) + 1):
                self.say("set t %d" % t)
                for z, lev in enumerate(levs[:2]):
                    self.say("set z %d" % (z + 1), "set lats write %d %d %s" % (fid, fid, fmt(lev)),
                             "d " + lv)
        else:
            self.say("set lats var %d psl instant %d 0" % (fid, fid), "set gxout latsdata")
            for t in range(1, min(3, len(d["times"])) + 1):
                self.say("set t %d" % t, "set lats write %d %d" % (fid, fid), "d " + v)
        self.say("q lats")
        if self.chance(0.9):
            self.say("set lats close %d" % fid)
        self.say("set gxout contour")

    def b_define(self):
        if self.d.get("station"):
            return self.b_query()
        name = "dv%d" % len(self.defined)
        self.env(self.pick(["xy", "xyt", "xy"]))
        self.say("define %s = %s" % (name, self.expr("xy")))
        self.defined.append(name)
        self.say(self.pick(["q define", "q defval %s 1 1" % name, "set defval %s 2 2 99" % name,
                            "modify %s %s" % (name, self.pick(["seasonal", "diurnal"])),
                            "d %s" % name, "undefine %s" % name]))

    def b_dims(self):
        self.env(self.pick(["xy", "0", "t", "xyt", "z"]))
        self.say(self.pick(["q dims", "q time", "q dims"]))
        if self.chance(0.3):
            self.say(self.pick(["set loopdim t", "set looping on", "set looping off",
                                "set loopincr 2", "set warn off", "set datawarn off", "set stid on",
                                "set misswarn on 1", "set dfile %d" % self.r.randint(1, 3)]))

    def b_fail(self):
        for _ in range(self.r.randint(1, 3)):
            if self.chance(0.3):
                line, files = self.pick(BAD_FILES)
                self.files.update(files)
                self.say(line)
            else:
                self.say(self.pick(FAILING))

    def b_damage(self):
        """A data file cut short (or emptied) after it was opened: every
        read past its new end must fail.  The session gets a copy."""
        d = self.d
        ncs = [f for f in d["files"] if f.endswith((".nc", ".dat", ".grb", ".hdf"))]
        if not ncs or d.get("station"):
            return self.b_query()
        f = self.pick(ncs)
        self.copies.add(f)
        self.env("xy")
        v = self.var()
        self.say("d aave(%s,global)" % v)
        self.say("!truncate -s %s %s" % (self.pick(["0", "1000", "%50", "/2"]).replace("%50", "50%"), f))
        self.say("d aave(%s,global)" % v, "set gxout stat", "d %s" % v, "set gxout contour")

    def b_page(self):
        self.say(self.pick(["set vpage 0 5.5 0 4.25", "set parea 1 10 1 7.5", "set vpage off",
                            "set parea off", "set xsize 400 300", "set dbuff on", "set dbuff off",
                            "set ombra off", "set ombra on", "set font 1", "set annot 2 4"]))
        self.b_display()

    def b_reset(self):
        self.say(self.pick(["reset", "reset", "reinit"]))
        self.reset_label()
        if self.lines[-2] == "reinit":
            self.open, self.d, self.defined = [], None, []
            self.open_set(self.pick(self.sets))

    def b_script(self):
        name = "s%d.gs" % self.n
        self.n += 1
        v = self.var()
        nt = len(self.d["times"])
        body = self.pick([
            "function main(args)\n  n = subwrd(args, 1)\n  t = 1\n  while (t <= n)\n"
            "    'set t ' t\n    'd aave(%s, global)'\n    say t ': ' subwrd(result, 4)\n"
            "    t = t + 1\n  endwhile\nreturn 'looped ' n\n" % v,
            "'q dims'\nsay sublin(result, 2)\nsay subwrd(sublin(result, 5), 6)\n"
            "'q file'\nline = sublin(result, 5)\nsay 'sizes ' line\nreturn\n",
            "'q time'\nsay 'time words: ' subwrd(result, 3) ' ' subwrd(result, 5)\n"
            "x = math_format('%%6.2f', 3.14159)\nsay x ' ' math_int(2.7) ' ' math_nint(2.5)\n"
            "say substr('abcdef', 2, 3) ' ' wrdpos('a b c', 2) ' ' valnum('1e3')\nreturn 7\n",
            "r = write('notes.txt', 'first')\nr = write('notes.txt', 'second', append)\n"
            "r = close('notes.txt')\nr = read('notes.txt')\nsay sublin(r, 1) ' ' sublin(r, 2)\n"
            "r = read('notes.txt')\nsay sublin(r, 2)\nr = read('notes.txt')\nsay 'end ' sublin(r, 1)\n",
            "i = 0\nwhile (i < 5)\n  i = i + 1\n  if (i = 3)\n    continue\n  endif\n  a.i = i * i\n"
            "  say 'a.' i ' = ' a.i\nendwhile\n_g = 2\nsay twice(21)\nsay 1 / 0\n"
            "function twice(x)\nreturn x * _g\n",
            "'set gxout shaded'\n'd %s'\n'q shades'\nn = subwrd(sublin(result, 1), 5)\n"
            "say 'levels ' n\n'set gxout contour'\n'nosuch command'\nsay 'rc ' rc\n"
            "say result\nreturn\n" % v,
            "'set t 1 %d'\n'd ave(%s, t=1, t=%d)'\nsay rc\n'set t 1'\nexit 3\n" % (nt, v, nt),
            "say 'syntax error follows'\nif (1\n",
        ])
        self.extras[name] = body
        if self.chance(0.2):
            self.extras["double.gsf"] = "function double(x)\nreturn 2 * x\n"
            self.extras[name] = "r = gsfallow('on')\nsay 'double: ' double(21)\n" + body
        if self.chance(0.15):
            self.extras["pre.gs"] = "'draw string 1 1 before'\nsay 'before the display'\n"
            self.say("set imprun pre.gs", "d %s" % v, "set imprun off")
        self.say("run %s %d" % (name, min(3, nt)))

    def b_exec(self):
        name = "e%d.exec" % self.n
        self.n += 1
        lines = ["* an exec file", "set lon &0 &1", "q dims"]
        if self.chance(0.5):
            lines.append(self.pick(FAILING))
        lines.append("q time")
        self.extras[name] = "\n".join(lines) + "\n"
        self.say("exec %s %s" % (name, self.pick(["0 90", "-180 180", "10", "~0 30~ 40"])))

    def b_second(self):
        """Opens another data set beside the first, and reads from it."""
        if len(self.open) > 2:
            return self.b_query()
        ds = self.pick(self.sets)
        self.open_set(ds)
        k = len(self.open)
        self.say("q file %d" % k)
        if self.chance(0.5):
            self.say("set dfile %d" % k)
            self.d = ds
            self.b_display()
        if self.chance(0.3):
            self.say("close %d" % k)
            self.open.pop()
            if self.d is ds:
                self.d = self.open[0]
                self.say("set dfile 1")

    BLOCKS = [("b_display", 30), ("b_vector", 5), ("b_1dpair", 3), ("b_query", 8), ("b_metafile", 4),
              ("b_fwrite", 4), ("b_lats", 4), ("b_define", 5), ("b_dims", 8), ("b_fail", 6),
              ("b_page", 3), ("b_reset", 2), ("b_script", 5), ("b_exec", 2), ("b_second", 5),
              ("b_draw", 2), ("b_damage", 2)]

    def make(self):
        self.say("set timelab off")
        first = self.pick(self.sets)
        self.open_set(first)
        names = [b for b, _ in self.BLOCKS]
        weights = [w for _, w in self.BLOCKS]
        for _ in range(self.r.randint(3, 9)):
            block = self.r.choices(names, weights)[0]
            self.blocks.append(block[2:])
            getattr(self, block)()
        if self.chance(0.15):
            self.say("quit")
        return self.record(first)

    def record(self, first):
        mode = self.r.randrange(10)
        # The class of the session (the kind of data it opens first) and its
        # blocks: what the check's report of processor time groups by.
        rec = {"id": self.sid, "files": sorted(self.files - self.copies), "copies": sorted(self.copies),
               "extras": dict(self.extras), "class": first.get("kind", "?"),
               "blocks": sorted(set(self.blocks))}
        if mode == 0:
            # An exec file: stops at the first command that fails.
            rec["extras"]["session.exec"] = "\n".join(self.lines) + "\n"
            rec["args"] = ["-blc", "exec session.exec"]
            rec["stdin"] = ""
        elif mode == 1:
            # A script sends every command and says its code and output.
            body = ["function main(args)"]
            for line in self.lines:
                body.append("  '%s'" % line.replace("'", "' \"'\" '"))
                body.append("  say 'rc=' rc")
                body.append("  say result")
            body.append("return 'session done'")
            rec["extras"]["session.gs"] = "\n".join(body) + "\n"
            rec["args"] = ["-blc", "run session.gs"]
            rec["stdin"] = ""
        else:
            # Standard input: mostly without line editing; now and then
            # through the line editor, or on a portrait page.
            rec["args"] = [self.r.choices(["-blE", "-bpE", "-bl"], [8, 1, 1])[0]]
            rec["stdin"] = "\n".join(self.lines) + "\n"
            if mode == 2 and self.lines[-1] != "quit":
                # The -c command first, then the rest; -x leaves after it.
                rec["args"] = ["-blE" + self.pick(["", "x"]) + "c", self.lines[0]]
                rec["stdin"] = "\n".join(self.lines[1:]) + "\n"
        return rec


def make(sets, seed, k):
    return Gen(random.Random("%d/%d" % (seed, k)), sets, "%05d" % k).make()


def main(argv):
    datadir, seed, count, out = argv[1], int(argv[2]), int(argv[3]), argv[4]
    with open(datadir + "/datasets.json") as f:
        sets = json.load(f)
    with open(out, "w") as f:
        for k in range(count):
            f.write(json.dumps(make(sets, seed, k)) + "\n")


if __name__ == "__main__":
    main(sys.argv)
