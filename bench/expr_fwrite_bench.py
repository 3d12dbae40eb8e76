#!/usr/bin/python3
"""Speed of five-operation expressions written with gxout fwrite.

Makes a 1440 x 721 grid with 10 times, then for each expression evaluates
it at every time and writes the results with gxout fwrite (little-endian
stream), once through ombra (the whole program run) and once with numpy
reading the same binary file, compares the two outputs and prints the time
ratio (best of three runs on each side).  The limit is 1.5.

Usage: expr_fwrite_bench.py [path/to/ombra]   (default: build/src/main/ombra)
"""
import os
import subprocess
import sys
import tempfile
import time

import numpy as np

NX, NY, NT = 1440, 721, 10
F = np.float32
# Five operations each; the second names its variable three times (the
# program reads the grid once per display and copies it for the other
# references, where numpy keeps it in hand) and has a subtraction.
EXPRS = [
    ("((u*2+1)/3-4)*5", lambda u: ((u * F(2) + F(1)) / F(3) - F(4)) * F(5)),
    ("(u*2+1)/3-u*u", lambda u: (u * F(2) + F(1)) / F(3) - u * u),
]


def run_ombra(exe, d, root, expr):
    # x 1..1440: a global grid would otherwise gain its wrap-around column.
    lines = ["open u.ctl", f"set x 1 {NX}", "set gxout fwrite", "set fwrite -le -st om.bin"]
    for t in range(1, NT + 1):
        lines += [f"set t {t}", f"d {expr}"]
    lines += ["disable fwrite"]
    with open(os.path.join(d, "run.exec"), "w") as f:
        f.write("\n".join(lines) + "\n")
    start = time.perf_counter()
    subprocess.run([exe, "-blc", "exec run.exec"], cwd=d, check=True, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, env=dict(os.environ, OMDDIR=os.path.join(root, "share")))
    return time.perf_counter() - start


def run_numpy(d, fn):
    start = time.perf_counter()
    with open(os.path.join(d, "u.dat"), "rb") as fin, open(os.path.join(d, "np.bin"), "wb") as fout:
        for _ in range(NT):
            u = np.fromfile(fin, dtype="<f4", count=NX * NY)
            fn(u).astype("<f4").tofile(fout)
    return time.perf_counter() - start


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    exe = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                          os.path.join(root, "build", "src", "main", "ombra"))
    worst = 0.0
    ok = True
    paired = bool(os.environ.get("BENCH_AGAINST"))
    with tempfile.TemporaryDirectory() as d:
        rng = np.random.default_rng(1)
        rng.standard_normal((NT, NY, NX)).astype("<f4").tofile(os.path.join(d, "u.dat"))
        with open(os.path.join(d, "u.ctl"), "w") as f:
            f.write("dset ^u.dat\nundef -9.99e8\noptions little_endian\n"
                    f"xdef {NX} linear 0 0.25\nydef {NY} linear -90 0.25\n"
                    "zdef 1 levels 1000\n"
                    f"tdef {NT} linear 00z01jan2000 6hr\nvars 1\nu 0 99 field\nendvars\n")
        if paired:
            # Under bench/against.sh: the program alone, with both builds.
            sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
            import pairstats
            for expr, _ in EXPRS:
                pairstats.against(expr, lambda exe, side: run_ombra(exe, d, root, expr))
            return 0
        for expr, fn in EXPRS:
            t_om = min(run_ombra(exe, d, root, expr) for _ in range(3))
            t_np = min(run_numpy(d, fn) for _ in range(3))
            a = np.fromfile(os.path.join(d, "om.bin"), dtype="<f4")
            b = np.fromfile(os.path.join(d, "np.bin"), dtype="<f4")
            same = a.shape == b.shape and np.allclose(a, b, rtol=1e-6, atol=1e-6)
            ok = ok and same
            worst = max(worst, t_om / t_np)
            print(f"{expr:18s} ombra {t_om:.3f} s  numpy {t_np:.3f} s  ratio {t_om / t_np:.2f}  "
                  f"outputs {'agree' if same else 'DIFFER'}")
    print(f"worst ratio {worst:.2f} (limit 1.5)")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
