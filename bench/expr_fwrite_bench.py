#!/usr/bin/python3
"""Speed of a five-operation expression written with gxout fwrite.

Makes a 1440 x 721 grid with 10 times, then evaluates (u*2+1)/3-u*u at
every time and writes the results with gxout fwrite (little-endian stream),
once through ombra and once with numpy reading the same binary file, and
prints the time ratio.  The outputs are compared too.

Usage: expr_fwrite_bench.py [path/to/ombra]   (default: build/src/main/ombra)
"""
import os
import subprocess
import sys
import tempfile
import time

import numpy as np

NX, NY, NT = 1440, 721, 10
EXPR = "(u*2+1)/3-u*u"


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    exe = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "build", "src", "main", "ombra")
    with tempfile.TemporaryDirectory() as d:
        rng = np.random.default_rng(1)
        data = rng.standard_normal((NT, NY, NX)).astype("<f4")
        data.tofile(os.path.join(d, "u.dat"))
        with open(os.path.join(d, "u.ctl"), "w") as f:
            f.write("dset ^u.dat\nundef -9.99e8\noptions little_endian\n"
                    f"xdef {NX} linear 0 0.25\nydef {NY} linear -90 0.25\n"
                    "zdef 1 levels 1000\n"
                    f"tdef {NT} linear 00z01jan2000 6hr\nvars 1\nu 0 99 field\nendvars\n")
        # x 1..1440: a global grid would otherwise gain its wrap-around column.
        lines = ["open u.ctl", f"set x 1 {NX}", "set gxout fwrite", "set fwrite -le -st om.bin"]
        for t in range(1, NT + 1):
            lines += [f"set t {t}", f"d {EXPR}"]
        lines += ["disable fwrite"]
        with open(os.path.join(d, "run.exec"), "w") as f:
            f.write("\n".join(lines) + "\n")

        start = time.perf_counter()
        subprocess.run([exe, "-blc", "exec run.exec"], cwd=d, check=True, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, env=dict(os.environ, OMDDIR=os.path.join(root, "share")))
        t_om = time.perf_counter() - start

        start = time.perf_counter()
        with open(os.path.join(d, "u.dat"), "rb") as fin, open(os.path.join(d, "np.bin"), "wb") as fout:
            for t in range(NT):
                u = np.fromfile(fin, dtype="<f4", count=NX * NY)
                r = (u * np.float32(2) + np.float32(1)) / np.float32(3) - u * u
                r.astype("<f4").tofile(fout)
        t_np = time.perf_counter() - start

        a = np.fromfile(os.path.join(d, "om.bin"), dtype="<f4")
        b = np.fromfile(os.path.join(d, "np.bin"), dtype="<f4")
        same = a.shape == b.shape and np.allclose(a, b, rtol=1e-6, atol=1e-6)
    print(f"ombra {t_om:.3f} s  numpy {t_np:.3f} s  ratio {t_om / t_np:.2f}  "
          f"(limit 1.5)  outputs {'agree' if same else 'DIFFER'}")
    return 0 if same else 1


if __name__ == "__main__":
    sys.exit(main())
