#!/usr/bin/env python3
"""Build the GRIB parameter tables share/grib1.tab and share/grib2.tab.

Input: the parameter concepts of ecCodes (Debian package libeccodes-data),
/usr/share/eccodes/definitions (--src DIR to read another copy):

    grib2/{shortName,name,units,cfVarName}.def             WMO parameters
    grib2/localConcepts/CENTRE/*.def                        a centre's own
    grib2/localConcepts/ecmf/*.legacy.def                   older encodings
    grib2/tables/N/4.2.D.C.table                            WMO code table 4.2
    grib2/tables/N/4.5.table, 4.10.table                    level types, statistics
    grib1/{shortName,name,units,cfVarName}.def              WMO table 2 (versions 1-3)
    grib1/localConcepts/CENTRE/*.def                        the centres' table 2 versions
    grib1/3.table                                           level types
    common/c-1.table, common/c-11.table                     centre numbers

A concept file is a list of entries 'VALUE' = { key = value ; ... }: the
value applies to a field whose keys all have those values.  An entry whose
keys are only those the program tells fields apart by is kept; one that
needs others (chemical constituents, aerosols, probabilities, satellite
channels) is left out, since a field could not be
told to be one.

Output, one record a line, fields separated by tabs (see tools/README.md):

    grib2.tab  p CENTRE DISC CAT NUM LTYPE LEVEL STAT PERIOD LOCAL NAME TEXT UNITS
               l LTYPE TEXT UNITS          (code table 4.5)
               s STAT ABBR TEXT            (code table 4.10)
    grib1.tab  p CENTRE TABLE PARAM LTYPE LEVEL TRI NAME TEXT UNITS
               l LTYPE TEXT                (code table 3)

CENTRE is "-" for the WMO entries, a centre's number for its own, "*" for
ECMWF's older encodings (taken for any centre when nothing else fits); "-"
in a key column means any value.  NAME is the variable name the program
gives: ecCodes' short name where it is a name an expression can use (a
letter, then letters, digits or "_"), else its CF variable name, else "-"
(the program then builds one from the numbers).

Usage: mkgribtab.py [--src DIR] [--out DIR]
"""

import argparse
import os
import re
import sys

SRC = "/usr/share/eccodes/definitions"

ENTRY = re.compile(r"'([^']*)'\s*=\s*\{(.*?)\}", re.S)
COND = re.compile(r"(\w+)\s*=\s*([^;]+);")
NAME_OK = re.compile(r"[a-z][a-z0-9_]{0,14}\Z")

# The keys a GRIB2 entry may name, and what they become.
G2_KEYS = {"discipline", "parameterCategory", "parameterNumber",
           "typeOfFirstFixedSurface", "scaledValueOfFirstFixedSurface",
           "scaleFactorOfFirstFixedSurface", "typeOfSecondFixedSurface",
           "typeOfStatisticalProcessing", "lengthOfTimeRange",
           "indicatorOfUnitForTimeRange", "localTablesVersion"}
G1_KEYS = {"table2Version", "indicatorOfParameter", "indicatorOfTypeOfLevel",
           "level", "timeRangeIndicator"}
# Minutes of the GRIB2 time-range units (code table 4.4).
UNIT_MINUTES = {0: 1, 1: 60, 2: 1440, 10: 180, 11: 360, 12: 720, 13: None}


class TableError(Exception):
    pass


def parse_concepts(text):
    """The entries of a concept file: (value, {key: text}) in file order."""
    out = []
    for m in ENTRY.finditer(text):
        conds = {}
        for c in COND.finditer(m.group(2)):
            conds[c.group(1)] = c.group(2).strip()
        out.append((m.group(1), conds))
    return out


def read(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        return f.read()


def concept_set(folder, legacy=False):
    """The entries of one folder's shortName, name, units and cfVarName
    files joined into (conds, short, name, units, cfvar), in the order of
    shortName.def.  The four files list the same conditions; an entry
    whose conditions are in one file but not another gets "" there."""
    suffix = ".legacy.def" if legacy else ".def"
    files = {}
    for kind in ("shortName", "name", "units", "cfVarName"):
        p = os.path.join(folder, kind + suffix)
        files[kind] = parse_concepts(read(p)) if os.path.exists(p) else []
    if not files["shortName"]:
        return []

    def keyed(entries):
        d = {}
        for value, conds in entries:
            d.setdefault(tuple(sorted(conds.items())), value)
        return d

    names, units, cfvars = keyed(files["name"]), keyed(files["units"]), keyed(files["cfVarName"])
    out = []
    for short, conds in files["shortName"]:
        k = tuple(sorted(conds.items()))
        out.append((conds, short, names.get(k, ""), units.get(k, ""), cfvars.get(k, "")))
    return out


def ombra_name(short, cfvar):
    """The name an expression can use, or "-"."""
    for n in (short, cfvar):
        n = n.lower()
        if NAME_OK.match(n) and n != "unknown":
            return n
    return "-"


def plain(text):
    """Text of one column: no tabs or line ends, "-" for none."""
    t = " ".join(text.split())
    return t if t else "-"


def intval(text):
    """A key's value as an int; None for anything else (missing(), names)."""
    return int(text) if re.fullmatch(r"-?\d+", text) else None


def scaled(value, factor):
    """scaledValue x 10^-factor as the shortest decimal text."""
    if factor == 0:
        return str(value)
    if factor < 0:
        return str(value * 10 ** -factor)
    s = "%d" % abs(value)
    s = s.rjust(factor + 1, "0")
    s = (s[:-factor] + "." + s[-factor:]).rstrip("0").rstrip(".")
    return ("-" if value < 0 else "") + s


def g2_record(centre, conds, short, name, units, cfvar):
    """One p record of grib2.tab, or None when the entry is left out."""
    if set(conds) - G2_KEYS:
        return None
    v = {k: intval(x) for k, x in conds.items()}
    if any(x is None for x in v.values()):
        return None
    if "typeOfSecondFixedSurface" in v and v["typeOfSecondFixedSurface"] != 255:
        return None
    ltype = v.get("typeOfFirstFixedSurface")
    level = "-"
    if "scaledValueOfFirstFixedSurface" in v or "scaleFactorOfFirstFixedSurface" in v:
        if ltype is None or "scaledValueOfFirstFixedSurface" not in v:
            return None
        level = scaled(v["scaledValueOfFirstFixedSurface"], v.get("scaleFactorOfFirstFixedSurface", 0))
    period = "-"
    if "lengthOfTimeRange" in v:
        per = UNIT_MINUTES.get(v.get("indicatorOfUnitForTimeRange", 1))
        if per is None:
            return None
        period = str(v["lengthOfTimeRange"] * per)
    if short in ("~", "unknown", ""):
        return None
    stat = v.get("typeOfStatisticalProcessing")
    local = v.get("localTablesVersion")
    cols = ["p", centre, str(v["discipline"]), str(v["parameterCategory"]), str(v["parameterNumber"]),
            "-" if ltype is None else str(ltype), level, "-" if stat is None else str(stat), period,
            "-" if local is None else str(local), ombra_name(short, cfvar), plain(name), plain(units)]
    return "\t".join(cols)


def g1_record(centre, conds, short, name, units, cfvar):
    """One p record of grib1.tab, or None when the entry is left out."""
    if set(conds) - G1_KEYS or "table2Version" not in conds:
        return None
    v = {k: intval(x) for k, x in conds.items()}
    if any(x is None for x in v.values()):
        return None
    if short in ("~", "unknown", ""):
        return None
    if "level" in v and "indicatorOfTypeOfLevel" not in v:
        return None
    cols = ["p", centre, str(v["table2Version"]), str(v["indicatorOfParameter"]),
            str(v.get("indicatorOfTypeOfLevel", "-")), str(v.get("level", "-")),
            str(v.get("timeRangeIndicator", "-")), ombra_name(short, cfvar), plain(name), plain(units)]
    return "\t".join(cols)


def centres(src):
    """Centre abbreviation -> number, from the common code tables."""
    out = {}
    for t in ("c-11.table", "c-1.table"):
        p = os.path.join(src, "common", t)
        if not os.path.exists(p):
            continue
        for line in read(p).splitlines():
            f = line.split()
            if len(f) >= 2 and f[0].isdigit() and not f[1].isdigit():
                out.setdefault(f[1], int(f[0]))
    return out


def code_rows(text):
    """The rows of a code table: (code, abbreviation, text, units or "")."""
    rows = []
    for line in text.splitlines():
        if not line.strip() or line.startswith("#"):
            continue
        f = line.split(None, 2)
        if len(f) < 2 or not f[0].isdigit():
            continue
        rest = f[2].strip() if len(f) > 2 else ""
        units = ""
        # Units close the line in parentheses, which may hold parentheses.
        if rest.endswith(")"):
            depth = 0
            for i in range(len(rest) - 1, -1, -1):
                depth += {")": 1, "(": -1}.get(rest[i], 0)
                if depth == 0:
                    units, rest = rest[i + 1:-1].strip(), rest[:i].strip()
                    break
        rows.append((int(f[0]), f[1], rest, units))
    return rows


def latest_tables(src):
    d = os.path.join(src, "grib2", "tables")
    versions = [int(n) for n in os.listdir(d) if n.isdigit()]
    if not versions:
        raise TableError("no code tables in %s" % d)
    return os.path.join(d, str(max(versions)))


def dedupe(records):
    """Records in order, the later copies of one key left out (the first
    entry of a concept wins, as in ecCodes)."""
    seen, out = set(), []
    for r in records:
        key = tuple(r.split("\t")[:-3])
        if key not in seen:
            seen.add(key)
            out.append(r)
    return out


def local_folders(src, edition, numbers):
    """(centre number, folder) of every centre's own concepts."""
    base = os.path.join(src, edition, "localConcepts")
    out = []
    for n in sorted(os.listdir(base)) if os.path.isdir(base) else []:
        if n in numbers:
            out.append((numbers[n], os.path.join(base, n)))
    return out


def concept_records(src, edition, record):
    """The p records of an edition's concepts: the WMO ones, then every
    centre's own (record makes one record of an entry, or None)."""
    recs = []
    sources = [("-", os.path.join(src, edition))]
    sources += [(str(num), folder) for num, folder in local_folders(src, edition, centres(src))]
    for centre, folder in sources:
        recs += [r for r in (record(centre, *e) for e in concept_set(folder)) if r]
    return recs


def build_grib2(src):
    recs = concept_records(src, "grib2", g2_record)
    ecmf = os.path.join(src, "grib2", "localConcepts", "ecmf")
    recs += [r for r in (g2_record("*", *e) for e in concept_set(ecmf, legacy=True)) if r]
    tables = latest_tables(src)
    # Code table 4.2 gives the text and units of the WMO parameters that no
    # concept names.
    named = {tuple(r.split("\t")[2:5]) for r in recs if r.split("\t")[1] == "-"}
    for fn in sorted(os.listdir(tables)):
        m = re.fullmatch(r"4\.2\.(\d+)\.(\d+)\.table", fn)
        if not m:
            continue
        for code, _, text, units in code_rows(read(os.path.join(tables, fn))):
            key = (m.group(1), m.group(2), str(code))
            if key in named or not text or text.lower().startswith(("reserved", "missing")):
                continue
            recs.append("\t".join(["p", "-", *key, "-", "-", "-", "-", "-", "-", plain(text), plain(units)]))
    recs = dedupe(recs)
    out = recs
    for code, _, text, units in code_rows(read(os.path.join(tables, "4.5.table"))):
        if text and not text.lower().startswith(("reserved", "missing")):
            out.append("\t".join(["l", str(code), plain(text), plain(units)]))
    for code, abbr, text, _ in code_rows(read(os.path.join(tables, "4.10.table"))):
        if text and not text.lower().startswith(("reserved", "missing")):
            abbr = abbr.lower() if NAME_OK.match(abbr.lower()) else "s%d" % code
            out.append("\t".join(["s", str(code), abbr, plain(text)]))
    return out


def build_grib1(src):
    recs = concept_records(src, "grib1", g1_record)
    out = dedupe(recs)
    for code, _, text, _ in code_rows(read(os.path.join(src, "grib1", "3.table"))):
        if text and not text.lower().startswith(("reserved", "missing")):
            out.append("\t".join(["l", str(code), plain(text)]))
    return out


def version_of(src):
    """The ecCodes version the definitions are of, from the package, or "?"."""
    try:
        with open("/var/lib/dpkg/status", encoding="utf-8", errors="replace") as f:
            block = f.read().split("\n\n")
        for b in block:
            if "Package: libeccodes-data\n" in b:
                m = re.search(r"^Version: (\S+)", b, re.M)
                if m:
                    return m.group(1)
    except OSError:
        pass
    return "?"


def header(edition, version):
    return ["# GRIB%d parameter table of Ombra, made by tools/mkgribtab.py from the" % edition,
            "# parameter concepts of ecCodes (libeccodes-data %s).  Do not edit." % version]


def write(path, lines):
    tmp = path + ".tmp"
    with open(tmp, "w", encoding="utf-8", newline="\n") as f:
        f.write("\n".join(lines) + "\n")
    os.replace(tmp, path)


def main(argv):
    ap = argparse.ArgumentParser(description="Build share/grib1.tab and share/grib2.tab")
    ap.add_argument("--src", default=SRC)
    ap.add_argument("--out", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "share"))
    a = ap.parse_args(argv)
    try:
        if not os.path.isdir(os.path.join(a.src, "grib2")):
            raise TableError("no ecCodes definitions in %s" % a.src)
        version = version_of(a.src)
        g2 = build_grib2(a.src)
        g1 = build_grib1(a.src)
        if sum(1 for r in g2 if r.startswith("p\t")) < 500 or sum(1 for r in g1 if r.startswith("p\t")) < 300:
            raise TableError("too few parameters found in %s" % a.src)
        write(os.path.join(a.out, "grib2.tab"), header(2, version) + g2)
        write(os.path.join(a.out, "grib1.tab"), header(1, version) + g1)
    except (OSError, TableError) as e:
        sys.stderr.write("mkgribtab: %s\n" % e)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
