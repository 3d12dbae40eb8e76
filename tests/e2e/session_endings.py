#!/usr/bin/env python3
"""Endings a session meets from outside, a row each: signals at the line
editor's prompt give the terminal back, standard output that loses its
reader at the prompt ends the session, closed standard descriptors are not
taken by the files it opens, and the CPU limit of `ulimit -t` is an ending.

Usage: session_endings.py OMBRA SHAREDIR.  Exit status 0 passed, 1 failed.
"""
import os, pty, select, signal, subprocess, sys, tempfile, termios, time

OMBRA = os.path.abspath(sys.argv[1])
ENV = dict(os.environ, OMDDIR=sys.argv[2], TERM="xterm")
fails = []


def read(fd, until=None, wait=0.5):
    seen = b""
    while (until is None or until not in seen) and select.select([fd], [], [], wait)[0]:
        try:
            seen += os.read(fd, 4096)
        except OSError:
            break
    return seen


def timeout(*_):
    raise TimeoutError


def status(pid):
    signal.signal(signal.SIGALRM, timeout)
    signal.alarm(5)
    try:
        return os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1])
    except TimeoutError:
        os.kill(pid, signal.SIGKILL)
        os.waitpid(pid, 0)
        return "still running"
    finally:
        signal.alarm(0)


def start(args, out=None):
    """ombra on a terminal of its own (standard output the pipe out if
    given), once its prompt shows."""
    pid, fd = pty.fork()
    if pid == 0:
        if out:
            os.dup2(out[1], 1)
            os.close(out[0])
        os.execve(OMBRA, [OMBRA] + args, ENV)
    seen = read(out[0] if out else fd, b"om", 10)
    time.sleep(0.2)
    return pid, fd, seen


for sig, want in (("USR1", 138), ("USR2", 140), ("ALRM", 142), ("VTALRM", 154), ("XCPU", 1)):
    pid, fd, seen = start(["-bl"])
    os.kill(pid, getattr(signal, "SIG" + sig))
    got, seen = status(pid), seen + read(fd)
    lflag = termios.tcgetattr(fd)[3] & (termios.ECHO | termios.ICANON)
    pasteoff = seen.rfind(b"\x1b[?2004l") > seen.rfind(b"\x1b[?2004h")
    if (got, lflag, pasteoff) != (want, termios.ECHO | termios.ICANON, True):
        fails.append(f"{sig} at the prompt: status {got}, echo and line mode {lflag:#o}, paste off {pasteoff}")

for args, interrupt in ((["-bl"], True), (["-bl"], False), (["-blE"], False)):
    out = os.pipe()
    pid, _, _ = start(args, out)
    os.close(out[1])
    os.close(out[0])
    if interrupt:
        os.kill(pid, signal.SIGINT)
    if (got := status(pid)) != 141:
        fails.append(f"{args}, reader gone, interrupted {interrupt}: {got}")

EMPTY = b"\xff\xff\x2a\xf8\x21\x34\xff\xf7"  # header, end of file
for name, shell, meta in (
        ("stdin closed", '"$0" -blEc "open p.ctl" <&-; test ! -e pwned', None),
        ("stdout closed", '"$0" -blEc "enable print m.gm" >&-', EMPTY),
        ("stderr closed", 'printf "enable print m.gm\\nset lats parmtab /no\\n" | "$0" -blE 2>&-', EMPTY),
        ("stderr closed, a shell escape's", 'echo "!readlink /proc/\\$\\$/fd/2 > e" | "$0" -blE 2>&-; test "$(cat e)" = /dev/null',
         None),
        ("ulimit -t 2", 'ulimit -t 2; "$0" -blEc "run spin.gs"; test $? = 1 && test ! -e m.gm.part', b"")):
    with tempfile.TemporaryDirectory() as d:
        open(f"{d}/p.ctl", "w").write("dset ^p.dat\nundef -1\nxdef 2 linear 0 1\nydef 2 linear 0 1\n"
                                      "zdef 1 levels 1\ntdef 1 linear 00z1jan2000 1hr\nvars 1\na 0 99 a\nendvars\n")
        open(f"{d}/p.dat", "w").write("!touch pwned\n")
        open(f"{d}/spin.gs", "w").write("'enable print m.gm'\n'draw line 1 1 2 2'\n'print'\nwhile (1)\nendwhile\n")
        run = subprocess.run(["bash", "-c", shell, OMBRA], cwd=d, env=ENV, stdin=subprocess.DEVNULL,
                             stdout=subprocess.DEVNULL, timeout=60)
        got = open(f"{d}/m.gm", "rb").read() if os.path.exists(f"{d}/m.gm") else b""
        if run.returncode or meta is not None and (got != meta if meta else not got.endswith(b"\xff\xf7")):
            fails.append(f"{name}: status {run.returncode}, metafile {got[:40]!r}")

print("\n".join(fails) or "all endings right")
sys.exit(1 if fails else 0)
