#!/usr/bin/env python3
"""Makes docs/dropmenu.png: the drop menu of the docs example, open in the
program's window, as the user sees it after pressing its header.

Usage: scripts/dropmenu-picture.py [OMBRA [OUTPUT]]
       (defaults build/src/main/ombra and docs/dropmenu.png)

A picture of the window itself, so it cannot come from printim: the
program runs on a private Xvfb (Xvfb's default backing store), xdotool
clicks the header, ImageMagick's import takes the window with the menu
open and the upper left part is kept.  Needs Xvfb, xdotool and
ImageMagick (apt-get install xvfb xdotool imagemagick).
"""

import os
import subprocess
import sys
import tempfile
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WIDTH, HEIGHT = 800, 600          # the window; the page is 11 by 8.5 inches
HEADER = (1, 8)                   # the header's centre in page inches
CROP = "330x190+0+0"              # header, menu and some of the plot
COMMANDS = [
    "set display color white",
    "clear",
    "open " + os.path.join(REPO, "share", "sample", "sample.ctl"),
    "d slp",
    "draw dropmenu 2 1 8 1 0.3 Field | slp | t | z",
    "q pos",
]


def start_server():
    r, w = os.pipe()
    server = subprocess.Popen(
        ["Xvfb", "-displayfd", str(w), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
        pass_fds=(w,), stderr=subprocess.DEVNULL)
    os.close(w)
    num = b""
    while not num.endswith(b"\n"):
        c = os.read(r, 1)
        if not c:
            raise SystemExit("Xvfb did not start")
        num += c
    os.close(r)
    return server, ":" + num.decode().strip()


def main():
    ombra = sys.argv[1] if len(sys.argv) > 1 else os.path.join(REPO, "build", "src", "main", "ombra")
    output = sys.argv[2] if len(sys.argv) > 2 else os.path.join(REPO, "docs", "dropmenu.png")
    server, display = start_server()
    env = dict(os.environ, DISPLAY=display, OMDDIR=os.path.join(REPO, "share"))
    prog = None
    try:
        with tempfile.TemporaryDirectory() as tmp:
            prog = subprocess.Popen([ombra, "-E", "-l", "-g", f"{WIDTH}x{HEIGHT}+0+0"], cwd=tmp,
                                    env=env, stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL, text=True)
            for c in COMMANDS:
                prog.stdin.write(c + "\n")
            prog.stdin.flush()
            win = ""
            for _ in range(100):
                win = subprocess.run(["xdotool", "search", "--name", "Ombra"], env=env,
                                     capture_output=True, text=True).stdout.split()
                if win:
                    break
                time.sleep(0.1)
            if not win:
                raise SystemExit("no window")
            win = win[0]
            time.sleep(2)  # the plot and the header are drawn, q pos waits
            hx = round(HEADER[0] * WIDTH / 11)
            hy = round(HEIGHT - HEADER[1] * HEIGHT / 8.5)
            subprocess.run(["xdotool", "mousemove", "--window", win, str(hx), str(hy), "click", "1"],
                           env=env, check=True)
            time.sleep(1)  # open until the next press
            subprocess.run(["import", "-window", win, "-crop", CROP, "+repage", "-strip", output],
                           env=env, check=True)
            # a press away from the menu closes it and ends q pos
            subprocess.run(["xdotool", "mousemove", "--window", win, str(WIDTH - 20), str(HEIGHT - 20),
                            "click", "1"], env=env, check=True)
            prog.stdin.write("quit\n")
            prog.stdin.flush()
            prog.wait(timeout=10)
    finally:
        if prog and prog.poll() is None:
            prog.kill()
        server.terminate()
        server.wait()
    print("wrote", output)


if __name__ == "__main__":
    main()
