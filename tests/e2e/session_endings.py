#!/usr/bin/env python3
"""Endings a session meets from outside, one row each: signals at the line
editor's prompt give the terminal back, closed standard descriptors are not
taken by the files the session opens, the CPU limit set by `ulimit -t` is an
ending, and standard output that loses its reader at the prompt ends it.

Usage: session_endings.py OMBRA SHAREDIR.  Exit status 0 passed, 1 failed.
"""
import os, pty, select, signal, subprocess, sys, tempfile, termios, time

OMBRA, SHARE = os.path.abspath(sys.argv[1]), sys.argv[2]
ENV = dict(os.environ, OMDDIR=SHARE, TERM="xterm")
EMPTY_META = b"\xff\xff\x2a\xf8\x21\x34\xff\xf7"  # header, end of file
fails = []


def start(args, out=None):
    """ombra on a new terminal (standard output the pipe out if given), once
    its prompt shows; returns the pid and the terminal."""
    pid, fd = pty.fork()
    if pid == 0:
        if out:
            os.dup2(out[1], 1)
            os.close(out[0])
        os.execve(OMBRA, [OMBRA] + args, ENV)
    seen, src = b"", out[0] if out else fd
    while b"om" not in seen and select.select([src], [], [], 10)[0]:
        seen += os.read(src, 4096)
    time.sleep(0.2)
    return pid, fd, seen


def status(pid, limit=5):
    end = time.time() + limit
    while time.time() < end:
        done, st = os.waitpid(pid, os.WNOHANG)
        if done:
            return os.waitstatus_to_exitcode(st)
        time.sleep(0.02)
    os.kill(pid, signal.SIGKILL)
    os.waitpid(pid, 0)
    return "still running"


for sig, want in (("USR1", 138), ("USR2", 140), ("ALRM", 142), ("VTALRM", 154), ("XCPU", 1)):
    pid, fd, seen = start(["-bl"])
    os.kill(pid, getattr(signal, "SIG" + sig))
    got = status(pid)
    while select.select([fd], [], [], 0.5)[0]:
        try:
            seen += os.read(fd, 4096)
        except OSError:
            break
    lflag = termios.tcgetattr(fd)[3]
    pasteoff = seen.rfind(b"\x1b[?2004l") > seen.rfind(b"\x1b[?2004h")
    if got != want or lflag & (termios.ECHO | termios.ICANON) != termios.ECHO | termios.ICANON or not pasteoff:
        fails.append(f"{sig} at the prompt: status {got}, lflag {lflag:#o}, paste off {pasteoff}")

for args, interrupt in ((["-bl"], True), (["-bl"], False), (["-blE"], False)):
    out = os.pipe()
    pid, fd, _ = start(args, out)
    os.close(out[1])
    os.close(out[0])
    if interrupt:
        os.kill(pid, signal.SIGINT)
    got = status(pid)
    if got != 141:
        fails.append(f"{args} reader gone, interrupt {interrupt}: {got}")

SPIN = "'enable print m.gm'\n'draw line 1 1 2 2'\n'print'\nwhile (1)\nendwhile\n"
for name, shell, want in (
        ("stdin closed", '"$0" -blEc "open p.ctl" <&-; test ! -e pwned', None),
        ("stdout closed", '"$0" -blEc "enable print m.gm" >&-', EMPTY_META),
        ("stderr closed", 'printf "enable print m.gm\\nset lats parmtab /no\\n" | "$0" -blE 2>&-', EMPTY_META),
        ("ulimit -t 2", 'ulimit -t 2; "$0" -blEc "run spin.gs"; test $? = 1 && test ! -e m.gm.part', b"")):
    with tempfile.TemporaryDirectory() as d:
        open(f"{d}/p.ctl", "w").write("dset ^p.dat\nundef -1\nxdef 2 linear 0 1\nydef 2 linear 0 1\nzdef 1 levels 1\n"
                                      "tdef 1 linear 00z1jan2000 1hr\nvars 1\na 0 99 a\nendvars\n")
        open(f"{d}/p.dat", "w").write("!touch pwned\n")
        open(f"{d}/spin.gs", "w").write(SPIN)
        run = subprocess.run(["bash", "-c", shell, OMBRA], cwd=d, env=ENV, stdout=subprocess.DEVNULL,
                             stdin=subprocess.DEVNULL, timeout=60)
        meta = open(f"{d}/m.gm", "rb").read() if os.path.exists(f"{d}/m.gm") else b""
        bad = want is not None and (meta != want if want else not meta.endswith(b"\xff\xf7"))
        if run.returncode != 0 or bad:
            fails.append(f"{name}: status {run.returncode}, metafile {meta[:40]!r}")

print("\n".join(fails) or "all endings right")
sys.exit(1 if fails else 0)
