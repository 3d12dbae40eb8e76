#!/usr/bin/python3
"""The statistics of paired runs of an older and a newer build: for each
measured thing, the ratio new/old of every pair, their median, their spread
and a verdict on whether the newer build is slower than the limit beyond
the noise.

Used by bench/against.sh, which appends one record per run to a results
file, and by the differential check (scripts/differential/run.py), which
gives the same statistics for its classes of session.

    python3 bench/pairstats.py RESULTS [--limit 1.05]

A record is a line of tab-separated fields:
    ROW  LABEL  METRICS  PAIR  SIDE  USER SYS WALL MAXRSS FAILED
where METRICS lists, comma-separated, what the row reports (cpu, wall,
peak), PAIR numbers the pair, SIDE is old or new, the times are seconds,
MAXRSS the largest process peak in KiB and FAILED the count of runs of the
program that did not end well.  Prints one line per row and metric and a
summary last; exits 1 when a row is slower beyond the noise.
"""

import math
import sys

LIMIT = 1.05


def median(xs):
    s = sorted(xs)
    n = len(s)
    if n == 0:
        return float("nan")
    return s[n // 2] if n % 2 else (s[n // 2 - 1] + s[n // 2]) / 2


def quartiles(xs):
    """The lower and upper quartiles (the medians of the lower and upper
    halves, the middle value left out of both)."""
    s = sorted(xs)
    n = len(s)
    if n < 2:
        return (s[0], s[0]) if s else (float("nan"), float("nan"))
    return median(s[:n // 2]), median(s[(n + 1) // 2:])


def median_range(xs, confidence=0.95):
    """The order statistics that hold the median with at least the
    confidence given, free of any assumption on the distribution: the k-th
    smallest and the k-th largest, k the largest for which the chance that
    fewer than k of n values fall below the median is at most half the rest.
    Below six values that is the whole range (94% for five)."""
    s = sorted(xs)
    n = len(s)
    if n == 0:
        return float("nan"), float("nan")
    tail = (1 - confidence) / 2
    k, below = 0, 0.0
    while k < n // 2:
        below += math.comb(n, k) / 2 ** n
        if below > tail:
            break
        k += 1
    k = max(k, 1)
    return s[k - 1], s[n - k]


def verdict(ratios, limit=LIMIT):
    """SLOWER when even the low end of the median's range is above the
    limit, 'slower?' when the median is but the noise could explain it,
    'faster' when the high end is below the limit's inverse.  Fewer than
    three pairs tell nothing of the noise: at most 'slower?'."""
    if not ratios:
        return "no data"
    lo, hi = median_range(ratios)
    few = len(ratios) < 3
    if lo > limit and not few:
        return "SLOWER"
    if median(ratios) > limit:
        return "slower?"
    if hi < 1 / limit and not few:
        return "faster"
    return ""


def summarize(olds, news, limit=LIMIT):
    """The statistics of pairs (olds[i], news[i]): a dict with the pair
    ratios, their median, quartiles, the median's range, the medians of
    each side and the verdict.  Pairs where old is 0 are left out."""
    ratios = [n / o for o, n in zip(olds, news) if o > 0]
    q1, q3 = quartiles(ratios)
    lo, hi = median_range(ratios)
    return {"n": len(ratios), "ratios": ratios, "median": median(ratios), "q1": q1, "q3": q3,
            "lo": lo, "hi": hi, "old": median(olds), "new": median(news),
            "verdict": verdict(ratios, limit)}


METRICS = {"cpu": ("CPU s", lambda r: r[0] + r[1]), "wall": ("wall s", lambda r: r[2]),
           "peak": ("peak MB", lambda r: r[3] / 1024)}


def read_results(lines):
    """{(row, label): {"metrics": [...], "runs": {pair: {side: (user, sys, wall, rss, failed)}}}}
    in the order first seen."""
    rows = {}
    for line in lines:
        f = line.rstrip("\n").split("\t")
        if len(f) != 10:
            continue
        row, label, metrics, pair, side = f[:5]
        vals = tuple(float(x) for x in f[5:10])
        ent = rows.setdefault((row, label), {"metrics": metrics.split(","), "runs": {}})
        ent["runs"].setdefault(pair, {})[side] = vals
    return rows


def fmt(x, unit):
    if isinstance(x, float) and math.isnan(x):
        return "-"
    return "%.0f" % x if unit == "peak MB" else "%.3f" % x


def table(rows, limit=LIMIT, out=sys.stdout):
    """Prints one line per row and metric; returns (lines, flagged, doubtful, failed)."""
    width = max([len("%s: %s" % key) for key in rows] + [3])
    head = "%-*s %-6s %5s %9s %9s %6s %13s %13s" % (
        width, "row", "metric", "pairs", "old", "new", "ratio", "quartiles", "median in")
    print(head.rstrip(), file=out)
    lines, flagged, doubtful, failed = [], [], [], []
    for (row, label), ent in rows.items():
        pairs = [p for p in ent["runs"].values() if "old" in p and "new" in p]
        bad = sum(p["old"][4] + p["new"][4] for p in pairs)
        name = "%s: %s" % (row, label) if label else row
        for metric in ent["metrics"]:
            unit, get = METRICS[metric]
            s = summarize([get(p["old"]) for p in pairs], [get(p["new"]) for p in pairs], limit)
            mark = s["verdict"] + (" (%d runs failed)" % bad if bad else "")
            print(("%-*s %-6s %5d %9s %9s %6.2f %6.2f-%-6.2f %6.2f-%-6.2f  %s" % (
                width, name, metric, s["n"], fmt(s["old"], unit), fmt(s["new"], unit), s["median"],
                s["q1"], s["q3"], s["lo"], s["hi"], mark)).rstrip(), file=out)
            lines.append((name, metric, s))
            if s["verdict"] == "SLOWER":
                flagged.append("%s %s %.2f" % (name, metric, s["median"]))
            elif s["verdict"] == "slower?":
                doubtful.append("%s %s %.2f" % (name, metric, s["median"]))
        if bad:
            failed.append(name)
    return lines, flagged, doubtful, failed


def group_table(groups, what, limit=LIMIT, out=sys.stdout):
    """For the differential check: one line per group of [(old, new)]
    pairs (a class of session and its sessions' processor times), given as
    [(name, pairs)]; returns the names of those slower beyond the noise and
    of those above the limit within it."""
    width = max([len(name) for name, _ in groups] + [len(what)])
    print(("%-*s %8s %9s %9s %6s %13s %13s" % (width, what, "sessions", "old", "new", "ratio",
                                               "quartiles", "median in")).rstrip(), file=out)
    flagged, doubtful = [], []
    for name, pairs in groups:
        s = summarize([o for o, _ in pairs], [n for _, n in pairs], limit)
        print(("%-*s %8d %9.3f %9.3f %6.2f %6.2f-%-6.2f %6.2f-%-6.2f  %s" % (
            width, name, s["n"], s["old"], s["new"], s["median"], s["q1"], s["q3"], s["lo"], s["hi"],
            s["verdict"])).rstrip(), file=out)
        if s["verdict"] == "SLOWER":
            flagged.append("%s %.2f" % (name, s["median"]))
        elif s["verdict"] == "slower?":
            doubtful.append("%s %.2f" % (name, s["median"]))
    return flagged, doubtful


def summary(lines, flagged, doubtful, failed, limit=LIMIT):
    worst = max((s["median"] for _, _, s in lines if s["n"]), default=float("nan"))
    text = "%d rows measured, largest median ratio %.2f; %d slower than %.2f beyond the noise" % (
        len(lines), worst, len(flagged), limit)
    if flagged:
        text += " (" + "; ".join(flagged) + ")"
    if doubtful:
        text += "; %d above %.2f within the noise (" % (len(doubtful), limit) + "; ".join(doubtful) + ")"
    if failed:
        text += "; runs failed in " + ", ".join(failed)
    return text


def against(label, work, row=None):
    """What bench_against of bench/paired.sh does, for a row written in
    Python: under against.sh, calls work(program, side) BENCH_PAIRS times
    with the older and the newer build alternately, the first of a pair
    taking turns, BENCH_REPORT set for the launcher to report to, and
    appends a record per run to BENCH_RESULTS.  One run of each build
    comes first, not counted."""
    import os
    import tempfile
    env = os.environ
    row = row or env.get("BENCH_ROW", "python")
    fd, rep = tempfile.mkstemp()
    os.close(fd)
    for side in ("old", "new"):  # one run of each first, not counted
        try:
            work(env["BENCH_%s_OMBRA" % side.upper()], side)
        except Exception:
            pass
    try:
        for k in range(1, int(env.get("BENCH_PAIRS", "5")) + 1):
            for side in ("old", "new") if k % 2 else ("new", "old"):
                open(rep, "w").close()
                env["BENCH_REPORT"] = rep
                failed = 0
                try:
                    work(env["BENCH_%s_OMBRA" % side.upper()], side)
                except Exception:  # a failed run is counted, not fatal
                    failed = 1
                finally:
                    del env["BENCH_REPORT"]
                u = s = w = 0.0
                m = n = 0
                with open(rep) as f:
                    for line in f:
                        p = line.split()
                        u, s, w, m = u + float(p[1]), s + float(p[3]), w + float(p[5]), max(m, int(p[7]))
                        failed += p[9] != "exit" or p[10] != "0"
                        n += 1
                failed += n == 0
                with open(env["BENCH_RESULTS"], "a") as f:
                    f.write("%s\t%s\tcpu\t%d\t%s\t%.6f\t%.6f\t%.6f\t%d\t%d\n" % (row, label, k, side, u, s, w, m, failed))
    finally:
        os.unlink(rep)


def main(argv):
    limit = LIMIT
    args = list(argv[1:])
    if "--limit" in args:
        i = args.index("--limit")
        limit = float(args[i + 1])
        del args[i:i + 2]
    if len(args) != 1:
        print("usage: pairstats.py RESULTS [--limit 1.05]", file=sys.stderr)
        return 2
    with open(args[0]) as f:
        rows = read_results(f)
    lines, flagged, doubtful, failed = table(rows, limit)
    print(summary(lines, flagged, doubtful, failed, limit))
    return 1 if flagged or failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
