#!/usr/bin/env python3
"""Tests of what bench/against.sh and the differential check judge slower
runs by: the statistics of paired runs (bench/pairstats.py) and the
measure of a whole process tree (bench/treetime.c).

Run: python3 tests/bench/pairstats_test.py   (exit status 0 when all pass)
"""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "bench"))

import pairstats  # noqa: E402


class Statistics(unittest.TestCase):
    def test_median_quartiles_and_the_range_of_the_median(self):
        self.assertEqual(pairstats.median([3, 1, 2]), 2)
        self.assertEqual(pairstats.median([4, 1, 3, 2]), 2.5)
        self.assertEqual(pairstats.quartiles([1, 2, 3, 4, 5, 6, 7]), (2, 6))
        self.assertEqual(pairstats.quartiles([1, 2, 3, 4]), (1.5, 3.5))
        # Five values hold the median with 94% at best: their whole range.
        self.assertEqual(pairstats.median_range([5, 1, 4, 2, 3]), (1, 5))
        # Nine: the second and the eighth (98%); twenty: the sixth and the
        # fifteenth (96%), from the binomial tails.
        self.assertEqual(pairstats.median_range(list(range(1, 10))), (2, 8))
        self.assertEqual(pairstats.median_range(list(range(1, 21))), (6, 15))

    def test_a_row_is_slower_only_beyond_the_noise(self):
        self.assertEqual(pairstats.verdict([1.10, 1.12, 1.08, 1.09, 1.11]), "SLOWER")
        # One slow pair does not make a slow row; a slow median whose range
        # reaches below the limit is only doubtful.
        self.assertEqual(pairstats.verdict([1.0, 0.98, 1.4, 1.01, 0.99]), "")
        self.assertEqual(pairstats.verdict([1.0, 1.08, 1.09, 1.07, 1.2]), "slower?")
        self.assertEqual(pairstats.verdict([0.8, 0.85, 0.9, 0.82, 0.88]), "faster")
        # Exactly at the limit is not above it.
        self.assertEqual(pairstats.verdict([1.05] * 5), "")
        # Two pairs tell nothing of the noise.
        self.assertEqual(pairstats.verdict([1.5, 1.6]), "slower?")
        self.assertEqual(pairstats.verdict([0.5, 0.6]), "")
        s = pairstats.summarize([2.0, 0.0, 1.0], [2.2, 1.0, 1.0])
        self.assertEqual(s["n"], 2)  # a pair whose old time is 0 is left out
        self.assertAlmostEqual(s["median"], 1.05)

    def test_the_table_of_a_results_file(self):
        def rec(row, label, metrics, pair, side, user, wall, rss, failed=0):
            return "\t".join([row, label, metrics, str(pair), side, str(user), "0", str(wall), str(rss),
                              str(failed)]) + "\n"
        lines = []
        for k in range(1, 6):
            lines.append(rec("fast", "a", "cpu", k, "old", 1.0, 1.0, 1000))
            lines.append(rec("fast", "a", "cpu", k, "new", 1.0 + 0.01 * k, 1.0, 1000))
            lines.append(rec("big", "field", "cpu,wall,peak", k, "old", 1.0, 1.0, 1024 * 500))
            lines.append(rec("big", "field", "cpu,wall,peak", k, "new", 1.0, 1.0 + 0.02 * k, 1024 * 1000))
            lines.append(rec("broken", "", "cpu", k, "old", 1.0, 1.0, 10, failed=int(k == 3)))
            lines.append(rec("broken", "", "cpu", k, "new", 1.0, 1.0, 10))
        lines.append(rec("half", "x", "cpu", 1, "old", 1.0, 1.0, 10))  # no new run: no pair
        lines.append("a line that is not a record\n")
        rows = pairstats.read_results(lines)
        self.assertEqual(list(rows), [("fast", "a"), ("big", "field"), ("broken", ""), ("half", "x")])
        with open(os.devnull, "w") as out:
            table, flagged, doubtful, failed = pairstats.table(rows, out=out)
        got = {(name, metric): s for name, metric, s in table}
        self.assertAlmostEqual(got[("fast: a", "cpu")]["median"], 1.03)
        self.assertEqual(got[("big: field", "peak")]["median"], 2.0)
        self.assertEqual(got[("big: field", "peak")]["old"], 500)
        self.assertAlmostEqual(got[("big: field", "wall")]["median"], 1.06)
        self.assertEqual(got[("half: x", "cpu")]["n"], 0)
        self.assertEqual(flagged, ["big: field peak 2.00"])
        self.assertEqual(doubtful, ["big: field wall 1.06"])
        self.assertEqual(failed, ["broken"])
        text = pairstats.summary(table, flagged, doubtful, failed)
        self.assertIn("1 slower than 1.05 beyond the noise (big: field peak 2.00)", text)
        self.assertIn("runs failed in broken", text)

    def test_a_python_row_runs_both_sides_in_turn_and_counts_failures(self):
        tmp = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, tmp)
        results = os.path.join(tmp, "results.tsv")
        env = {"BENCH_PAIRS": "3", "BENCH_RESULTS": results, "BENCH_OLD_OMBRA": "/old/ombra",
               "BENCH_NEW_OMBRA": "/new/ombra", "BENCH_ROW": "py"}
        saved = {k: os.environ.get(k) for k in env}
        os.environ.update(env)
        self.addCleanup(lambda: [os.environ.pop(k, None) if v is None else os.environ.__setitem__(k, v)
                                 for k, v in saved.items()])
        calls, measured = [], []

        def work(program, side):
            calls.append((program, side))
            if "BENCH_REPORT" not in os.environ:
                return  # a first run, not counted
            measured.append(side)
            with open(os.environ["BENCH_REPORT"], "a") as f:
                if (len(measured), side) == (3, "new"):
                    f.write("user 0.5 sys 0.1 wall 0.9 maxrss 300 status signal 9 left 0 killed 0\n")
                elif len(measured) != 5:
                    f.write("user 0.5 sys 0.1 wall 0.9 maxrss 300 status exit 0 left 0 killed 0\n")
                    f.write("user 0.25 sys 0.0 wall 0.1 maxrss 700 status exit 0 left 1 killed 0\n")
            if len(measured) == 6:
                raise RuntimeError("the workload failed")
        pairstats.against("label", work)
        self.assertEqual(calls, [("/old/ombra", "old"), ("/new/ombra", "new"),  # not counted
                                 ("/old/ombra", "old"), ("/new/ombra", "new"), ("/new/ombra", "new"),
                                 ("/old/ombra", "old"), ("/old/ombra", "old"), ("/new/ombra", "new")])
        with open(results) as f:
            recs = [line.rstrip("\n").split("\t") for line in f]
        self.assertEqual(recs[0], ["py", "label", "cpu", "1", "old", "0.750000", "0.100000", "1.000000",
                                   "700", "0"])
        # A run killed by a signal, one that ran no program, one that failed.
        self.assertEqual([r[9] for r in recs], ["0", "0", "1", "0", "1", "1"])
        self.assertNotIn("BENCH_REPORT", os.environ)


@unittest.skipUnless(shutil.which("cc"), "no C compiler")
class TreeTime(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp()
        cls.exe = os.path.join(cls.tmp, "treetime")
        subprocess.run(["cc", "-O2", "-o", cls.exe, os.path.join(ROOT, "bench", "treetime.c")], check=True)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp)

    def run_tree(self, *args, opts=()):
        report = os.path.join(self.tmp, "report")
        if os.path.exists(report):
            os.unlink(report)
        r = subprocess.run([self.exe, "-a", report, *opts, *args], stdout=subprocess.PIPE)
        with open(report) as f:
            p = f.read().split()
        # user U sys S wall W maxrss K status HOW [N] left N killed N
        rep = dict(zip(p[0:8:2] + p[-4::2], p[1:8:2] + p[-3::2]))
        rep["status"] = p[9]
        return r, rep, p

    def test_a_process_the_command_does_not_wait_for_is_counted(self):
        # The command ends at once; what it left behind spends 0.3 s of
        # processor time and holds 60 MB, and both are in the report.
        busy = ("import time; b = bytearray(60 << 20); b[::4096] = b'x' * len(b[::4096]); "
                "t = time.process_time()\nwhile time.process_time() - t < 0.3: pass")
        r, rep, _ = self.run_tree("sh", "-c", '"$0" -c "$1" & echo started', sys.executable, busy)
        self.assertEqual(r.stdout, b"started\n")
        self.assertGreaterEqual(float(rep["user"]) + float(rep["sys"]), 0.3)
        self.assertGreaterEqual(int(rep["maxrss"]), 60 << 10)
        self.assertEqual((rep["status"], rep["left"]), ("exit", "1"))

    def test_the_command_s_ending_is_reported_and_passed_on(self):
        r, _, p = self.run_tree("sh", "-c", "exit 3")
        self.assertEqual((r.returncode, p[8:11]), (3, ["status", "exit", "3"]))
        r, _, p = self.run_tree("sh", "-c", "kill -TERM $$")
        self.assertEqual((r.returncode, p[8:11]), (-15, ["status", "signal", "15"]))
        r = subprocess.run([self.exe, "/nonexistent/program"], stderr=subprocess.PIPE)
        self.assertEqual(r.returncode, 127)

    def test_limits_end_the_whole_tree(self):
        # At the time limit, the command and what runs below it are ended.
        r, rep, p = self.run_tree("sh", "-c", "sleep 300 & sleep 300", opts=("-t", "0.3"))
        self.assertEqual((r.returncode, p[9]), (124, "timeout"))
        self.assertGreaterEqual(int(rep["killed"]), 2)
        # What the command left behind is ended after the grace period.
        r, rep, p = self.run_tree("sh", "-c", "sleep 300 & exit 0", opts=("-g", "0.2"))
        self.assertEqual((r.returncode, p[9], rep["left"], rep["killed"]), (0, "exit", "1", "1"))


if __name__ == "__main__":
    unittest.main()
