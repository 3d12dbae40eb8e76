#!/usr/bin/env python3
"""Endings a session meets from outside, a row each: signals at the line
editor's prompt give the terminal back, standard output that loses its
reader at the prompt ends the session, closed standard descriptors are not
taken by the files it opens, descriptors given at start are handed on, and
the CPU limit of `ulimit -t` is an ending.  Then what the endings and the
writer of the standard streams keep: every line once and in order, errors
where they were made, output that finds no room, background jobs.

Usage: session_endings.py OMBRA SHAREDIR KILLHOLD.  Exit status 0 passed, 1 failed.
"""
import array, ctypes, fcntl, os, pty, random, resource, select, signal, struct, subprocess, sys, tempfile, termios, threading, time

import killguard  # noqa: F401  (os.kill refuses a pid of 0 or less)

OMBRA = os.path.abspath(sys.argv[1])
HOLD = os.path.abspath(sys.argv[3])  # a program held at its Nth kill() (killhold.cpp)
ENV = dict(os.environ, OMDDIR=sys.argv[2], TERM="xterm")
CHECKING = b"__asan_init" in open(OMBRA, "rb").read()  # built with the address sanitizer
fails = []
resource.setrlimit(resource.RLIMIT_CORE, (0, 0))  # QUIT's core is not looked at
skips = []  # rows of faults not mended yet, each with why


def skip(why):
    """Leaves out the rows of a fault not mended yet: False, once why is noted."""
    skips.append(why)
    return False


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


def start(args, out=None, prompt=b"om", term="xterm"):
    """ombra on a terminal of its own (standard output the pipe out if
    given, TERM term), once its prompt shows."""
    pid, fd = pty.fork()
    if pid == 0:
        if out:
            os.dup2(out[1], 1)
            os.close(out[0])
        os.execve(OMBRA, [OMBRA] + args, dict(ENV, TERM=term))
    seen = read(out[0] if out else fd, prompt, 10)
    time.sleep(0.2)
    return pid, fd, seen


CLOSING = b"\nNo hardcopy metafile open\nGX package terminated \n"
# Standard output a pipe too (the terminal is still given back), and the
# question of the page's orientation, asked before the graphics package
# starts (the closing lines all the same).
for sig, want, piped, prompt in (
        ("USR1", 138, False, b"om-> "), ("USR2", 140, False, b"om-> "), ("ALRM", 142, False, b"om-> "),
        ("VTALRM", 154, False, b"om-> "), ("XCPU", 1, False, b"om-> "), ("ILL", -signal.SIGILL, False, b"om-> "),
        ("USR1", 138, True, b"om-> "), ("TERM", 143, False, b"portrait): ")):
    out = os.pipe() if piped else None
    pid, fd, seen = start(["-bl" if prompt == b"om-> " else "-b"], out, prompt)
    os.kill(pid, getattr(signal, "SIG" + sig))
    got, seen = status(pid), (seen + read(out[0] if out else fd)).replace(b"\r\n", b"\n")
    for end in out or ():
        os.close(end)
    lflag = termios.tcgetattr(fd)[3] & (termios.ECHO | termios.ICANON)
    pasteoff = seen.rfind(b"\x1b[?2004l") >= seen.rfind(b"\x1b[?2004h")
    said = seen.replace(b"\x1b[?2004l", b"").endswith(prompt + CLOSING)
    if (got, lflag, pasteoff, said) != (want, termios.ECHO | termios.ICANON, True, sig != "ILL"):
        fails.append(f"{sig} at {prompt}, piped {piped}: status {got}, echo and line mode {lflag:#o}, "
                     f"paste off {pasteoff}, closing lines {said}")

# A terminal the editor turns no bracketed paste on for is sent no switch.
pid, fd, seen = start(["-bl"], None, b"om-> ", "dumb")
os.kill(pid, signal.SIGUSR1)
got, switched = status(pid), b"\x1b[?2004" in seen + read(fd)
if (got, switched) != (138, False):
    fails.append(f"USR1 at the prompt of a dumb terminal: status {got}, paste switched {switched}")

for args, interrupt in ((["-bl"], True), (["-bl"], False), (["-blE"], False)):
    out = os.pipe()
    pid, _, _ = start(args, out)
    os.close(out[1])
    os.close(out[0])
    if interrupt:
        os.kill(pid, signal.SIGINT)
    if (got := status(pid)) != 141:
        fails.append(f"{args}, reader gone, interrupted {interrupt}: {got}")

# Commands that make a LATS file (a.grb and a.ctl) ready for a field of ts.
SETUP = f"open {os.path.abspath(sys.argv[2])}/sample/sample.ctl\nset x 1 144\nset lats frequency hourly\nset lats deltat 6\n"
EMPTY = b"\xff\xff\x2a\xf8\x21\x34\xff\xf7"  # header, end of file
for name, shell, meta in (
        ("stdin closed", '"$0" -blEc "open p.ctl" <&-; test ! -e pwned', None),
        ("stdout closed", '"$0" -blEc "enable print m.gm" >&- && "$0" -blEc "!echo shell" >&-', EMPTY),
        # (A sanitizer's runtime cannot start with two descriptors.)
        ("no descriptor for stderr", 'ulimit -n 2; "$0" -blEc quit >&- 2>&-; test $? = 1'
         if not CHECKING else "true", None),
        ("stderr closed", 'printf "enable print m.gm\\nset lats parmtab /no\\n" | "$0" -blE 2>&-', EMPTY),
        ("stderr closed, a shell escape's", 'echo "!readlink /proc/\\$\\$/fd/2 > e" | "$0" -blE 2>&-; test "$(cat e)" = /dev/null',
         None),
        ("ulimit -t 2", 'ulimit -t 2; "$0" -blEc "run spin.gs"; test $? = 1 && test ! -e m.gm.part', b""),
        # Descriptors given at start reach a shell escape, after a LATS
        # netCDF file is made too, under a low descriptor limit as well.
        ("100<p.ctl", '"$0" -blE 100<p.ctl <lats.in >/dev/null; test "$(cat e)" = "$PWD/p.ctl"', None),
        ("ulimit -n 16, 12<p.ctl", 'ulimit -n 16; exec 12<p.ctl; sed "s/100/12/" lats.in | "$0" -blE >/dev/null; '
         'test "$(cat e)" = "$PWD/p.ctl"', None)):
    with tempfile.TemporaryDirectory() as d:
        open(f"{d}/p.ctl", "w").write("dset ^p.dat\nundef -1\nxdef 2 linear 0 1\nydef 2 linear 0 1\n"
                                      "zdef 1 levels 1\ntdef 1 linear 00z1jan2000 1hr\nvars 1\na 0 99 a\nendvars\n")
        open(f"{d}/p.dat", "w").write("!touch pwned\n")
        open(f"{d}/spin.gs", "w").write("'enable print m.gm'\n'draw line 1 1 2 2'\n'print'\nwhile (1)\nendwhile\n")
        open(f"{d}/lats.in", "w").write(SETUP + "set lats convention coards\nset lats create o\n"
                                        "!readlink /proc/self/fd/100 > e\n")
        run = subprocess.run(["bash", "-c", shell, OMBRA], cwd=d, env=ENV, stdin=subprocess.DEVNULL,
                             stdout=subprocess.DEVNULL, timeout=60)
        got = open(f"{d}/m.gm", "rb").read() if os.path.exists(f"{d}/m.gm") else b""
        if run.returncode or meta is not None and (got != meta if meta else not got.endswith(b"\xff\xf7")):
            fails.append(f"{name}: status {run.returncode}, metafile {got[:40]!r}")

# A soft CPU limit alone ends the session by the kernel's XCPU at that
# limit: the second kept back where the hard limit equals it is not taken
# here.  The session's own CPU clock says when (the kernel's limit counts
# the clock's ticks, which a loaded machine may charge a little more).
hard = resource.getrlimit(resource.RLIMIT_CPU)[1]
if hard != resource.RLIM_INFINITY and hard <= 2:
    print("the hard CPU limit is 2 s or less here: the row of a soft limit alone is skipped")
else:
    with tempfile.TemporaryDirectory() as d:
        open(f"{d}/spin.gs", "w").write("while (1)\nendwhile\n")
        p = subprocess.Popen([OMBRA, "-blc", "run spin.gs"], cwd=d, env=ENV, stdin=subprocess.DEVNULL,
                             stdout=subprocess.DEVNULL,
                             preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_CPU, (2, hard)))
        _, st, use = os.wait4(p.pid, 0)
        got, cpu = os.waitstatus_to_exitcode(st), use.ru_utime + use.ru_stime
        if got != 1 or cpu < 1.5:
            fails.append(f"ulimit -S -t 2: status {got}, {cpu:.2f} s of CPU")

# Whether strace can trace here: the rows that count or make signals with
# it are skipped where it cannot.  (A traced session is not looked at for
# leaks: the sanitizer's leak check cannot run under a tracer.)
TRACES = subprocess.run(["strace", "-o", "/dev/null", "true"], stderr=subprocess.DEVNULL).returncode == 0
TRACED = dict(ENV, ASAN_OPTIONS=":".join(filter(None, (ENV.get("ASAN_OPTIONS"), "detect_leaks=0"))))

# A shell escape costs the same whatever the number of the highest
# descriptor given to the session: two of them, with one given near the
# descriptor limit (20,000 at the most), take a few system calls more at
# the most than with none given.
if not TRACES:
    print("strace cannot trace here: the row of the cost of a descriptor given high is skipped")
else:
    with tempfile.TemporaryDirectory() as d:
        soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
        top = min(hard, 20000) if hard != resource.RLIM_INFINITY else 20000
        resource.setrlimit(resource.RLIMIT_NOFILE, (top, hard))
        null = os.open("/dev/null", os.O_RDONLY)
        high = os.dup2(null, top - 1)
        os.close(null)
        calls = []
        for given in ((), (high,)):
            subprocess.run(["strace", "-f", "-c", "-o", f"{d}/count", OMBRA, "-blE"], cwd=d, env=TRACED, pass_fds=given,
                           input=b"!true\n!true\n", stdout=subprocess.DEVNULL, timeout=60)
            calls.append(int(open(f"{d}/count").read().splitlines()[-1].split()[3]))
        os.close(high)
        resource.setrlimit(resource.RLIMIT_NOFILE, (soft, hard))
        if calls[1] - calls[0] > 100:
            fails.append(f"descriptor {top - 1} given: {calls[1]} system calls against {calls[0]}")

FIELD = "set gxout latsgrid\nd ts\nset lats var 1 ts instant 1 0\nset gxout latsdata\nset lats write 1 1\n"


def procstatus(pid):
    """The process's status fields, {} once it is gone."""
    try:
        with open(f"/proc/{pid}/status") as f:
            return dict(l.split(":", 1) for l in f)
    except OSError:
        return {}


def sleeping(pid, where):
    """Waits (10 s at most) until the process sleeps in a kernel function
    whose name holds where; whether it did."""
    for _ in range(1000):
        try:
            if where in open(f"/proc/{pid}/wchan").read():
                return True
        except OSError:
            return False
        time.sleep(0.01)
    return False


def filled(pid, fd):
    """Waits (10 s at most) until the process sleeps on the FIFO whose read
    end is fd, full (a page at most left, too small for its next record):
    its write stalled there."""
    size, n = fcntl.fcntl(fd, fcntl.F_GETPIPE_SZ), array.array("i", [0])
    for _ in range(1000):
        fcntl.ioctl(fd, termios.FIONREAD, n)
        st = procstatus(pid)
        if not st or n[0] > size - 8192 and st["State"].split()[0] == "S":
            return
        time.sleep(0.01)


def taken(pid, sig):
    """Waits (10 s at most) until sig sent to the process is no longer
    pending: another one sent then is not merged with it."""
    for _ in range(1000):
        st = procstatus(pid)
        if not st or not (int(st["SigPnd"], 16) | int(st["ShdPnd"], 16)) >> (sig - 1) & 1:
            return
        time.sleep(0.01)


def catching(pid, sig=signal.SIGTERM):
    """Waits (10 s at most) until the process has its handler for sig in
    place: a signal sent before would end it with the default action, which
    no row is about."""
    for _ in range(1000):
        st = procstatus(pid)
        if not st or int(st["SigCgt"], 16) >> (sig - 1) & 1:
            return
        time.sleep(0.01)


def session(d, args, sig=None, after=0.0, feed=lambda f: f.read(), log=None, ready=lambda p: None,
            sent=lambda: None):
    """ombra in folder d, its output (both streams) read as it comes (feed
    runs on it), or from the file log once it has ended; sig sent the given
    seconds after ready(its Popen) returns, then sent called.  Its status
    and output."""
    p = subprocess.Popen([OMBRA] + args, cwd=d, env=ENV, stdin=subprocess.DEVNULL,
                         stdout=open(log, "wb") if log else subprocess.PIPE, stderr=subprocess.STDOUT)
    if log:
        feed = lambda _: (p.wait(), open(log, "rb").read())[1]
    got = []
    reader = threading.Thread(target=lambda: got.append(feed(p.stdout)))
    reader.start()
    if sig:
        catching(p.pid, sig)
    ready(p)
    time.sleep(after)
    if sig:
        p.send_signal(sig)
        sent()
    try:
        p.wait(timeout=10)
    except subprocess.TimeoutExpired:
        p.kill()
        p.wait()
    reader.join()
    return p.returncode, got[0]


def spoken(out, start=b"Running in Batch mode\n", closing=CLOSING):
    """The lines a script said after start, before the ending: each once and
    in order, the last perhaps cut short by it, then the start of closing;
    None when not so."""
    body = out.partition(start)[2]
    # A pipe that is full takes no more of the ending's lines either.
    body = body[:len(body) - max(k for k in range(len(closing) + 1) if body.endswith(closing[:k]))]
    said = body.split(b"\n")
    whole = all(line == b"line %d" % k for k, line in enumerate(said[:-1]))
    return len(said) if whole and (b"line %d" % (len(said) - 1)).startswith(said[-1]) else None


def torn(stream):
    """Whether a metafile stream has its end record after something other
    than whole records (a stream cut where a full pipe took no more has no
    end record)."""
    if len(stream) % 2 or stream[-2:] != b"\xff\xf7":
        return False
    words = struct.unpack(">%dh" % (len(stream) // 2), stream)
    size = {-1: 3, -2: 1, -3: 2, -4: 3, -5: 5, -9: 1, -10: 3, -11: 3}
    at = 0
    while at < len(words) - 1 and words[at] in size:
        at += size[words[at]]
    return at != len(words) - 1


FRAMES = "enable print mf\n" + "draw line 1 1 2 2\n" * 2000 + "print\n" * 200
with tempfile.TemporaryDirectory() as d:
    open(f"{d}/say.gs", "w").write("i = 0\nwhile (1)\n  say 'line 'i\n  i = i + 1\nendwhile\n")
    open(f"{d}/mix.gs", "w").write("say 'before'\n'set lats parmtab /no'\nsay 'after'\n"
                                   "'set lats parmtab /no'\nsay 'last'\n")
    open(f"{d}/spin.gs", "w").write("while (1)\nendwhile\n")
    open(f"{d}/frames", "w").write(FRAMES)
    # Ended at any moment while a script prints into a pipe or a file:
    # every line said reaches it once and in order.
    # So does a crash sent from outside (with no core dump), which prints no
    # closing lines.
    resource.setrlimit(resource.RLIMIT_CORE, (0, 0))
    for sig, log in [(signal.SIGTERM, None), (signal.SIGHUP, None), (signal.SIGTERM, f"{d}/log")] * 5 + \
            [(signal.SIGSEGV, f"{d}/log")] * 3 + [(signal.SIGSEGV, None)] * 3:
        got, out = session(d, ["-blc", "run say.gs"], sig, random.uniform(0.05, 0.3), log=log)
        want = -sig if sig == signal.SIGSEGV else 128 + sig
        if sig == signal.SIGSEGV and CHECKING:  # its handler, given back, reports and ends the program
            out, report, _ = out.partition(b"AddressSanitizer:DEADLYSIGNAL\n")
            want = got if report and got in (1, -signal.SIGABRT) else "the sanitizer's report"
        if got != want or spoken(out) is None:
            fails.append(f"{sig.name} while saying into a {log and 'file' or 'pipe'}: status {got}, "
                         f"output ends {out[-120:]!r}")
    # So do the lines on LATS files left under their part names (a.grb is
    # a folder), written after the rest of standard output.
    LSAY = "".join(f"'{c}'\n" for c in (SETUP + "set lats create a\n" + FIELD + "d ts\n!mkdir a.grb\n").splitlines())
    for run in range(3):
        with tempfile.TemporaryDirectory() as e:
            open(f"{e}/lsay.gs", "w").write(LSAY + "say 'go'\n" + open(f"{d}/say.gs").read())
            said = lambda: os.path.exists(f"{e}/log") and b"go\n" in open(f"{e}/log", "rb").read()
            got, out = session(e, ["-blc", "run lsay.gs"], signal.SIGTERM, random.uniform(0.05, 0.2),
                               log=f"{e}/log", ready=lambda _: any(said() or time.sleep(0.01) for _ in range(1000)))
            pid = next((n.split(".")[2] for n in os.listdir(e) if n.startswith("a.grb.")), "?")
            lats = "".join(f"The new file stays as {os.path.realpath(e)}/a.{x}.{pid}.0.part: {why}\n"
                           for x, why in (("grb", "a.grb is not a plain file"), ("ctl", "it goes with a.grb")))
            if got != 143 or spoken(out, b"go\n", b"\n" + lats.encode() + CLOSING[1:]) is None:
                fails.append(f"TERM with LATS files left under part names: status {got}, output ends {out[-300:]!r}")
    # QUIT once the session, stalled on a full pipe, finds it has room
    # again (the pipe made larger, its reader reading only once the signal
    # is sent): the session ends inside its handler, and nothing it wrote
    # before comes again after the closing lines.
    def roomier(p):
        sleeping(p.pid, "poll")
        fcntl.fcntl(p.stdout.fileno(), fcntl.F_SETPIPE_SZ, 1 << 20)
    for run in range(5):
        go = threading.Event()
        got, out = session(d, ["-blc", "run say.gs"], signal.SIGQUIT, feed=lambda f: go.wait() and f.read(),
                           ready=roomier, sent=go.set)
        if got != -signal.SIGQUIT or not out.endswith(CLOSING) or spoken(out) is None:
            fails.append(f"QUIT while saying into a paced reader: status {got}, output ends {out[-120:]!r}")
    # A log of both streams, a pipe or a file, holds the errors where they
    # were made; two streams apart keep them apart.
    lats = b"LATS error (lats_parmtab): LATS (latsint) --> Cannot open parameter file /no\n" \
           b"No such file or directory\n"
    for log in (None, f"{d}/log"):
        got, out = session(d, ["-blc", "run mix.gs"], log=log)
        if b"before\n" + lats + b"after\n" + lats + b"last\n" not in out:
            fails.append(f"say and LATS errors in one log ({log}): {out[-400:]!r}")
    for apart in ("pipes", "files"):
        streams = [open(f"{d}/{n}", "w+b") if apart == "files" else subprocess.PIPE for n in ("out", "err")]
        run = subprocess.run([OMBRA, "-blc", "run mix.gs"], cwd=d, env=ENV, stdin=subprocess.DEVNULL,
                             stdout=streams[0], stderr=streams[1], timeout=60)
        out, err = (f.seek(0) or f.read() for f in streams) if apart == "files" else (run.stdout, run.stderr)
        if b"before\nafter\nlast\n" not in out or err != lats * 2:
            fails.append(f"say and LATS errors apart in {apart}: {out[-100:]!r}, {err!r}")
    # A message longer than a line of the program's own is printed whole.
    for n in (978, 1504):
        path = ("/no/" + "/".join(["d" * 99] * 20))[:n]
        run = subprocess.run([OMBRA, "-blE"], cwd=d, env=dict(ENV, LATS_PARMS=path), capture_output=True,
                             input=(SETUP + "set lats create a\n").encode(), timeout=60)
        want = f"LATS error (lats_create): LATS (latsint) --> Cannot open parameter file {path}\n" \
               "No such file or directory\n"
        if run.returncode or run.stderr != want.encode():
            fails.append(f"a LATS message with a path of {n}: status {run.returncode}, {run.stderr[-80:]!r}")
    # Standard output that another program made non-blocking, read slower
    # than printed, gets every line.
    open(f"{d}/lines.gs", "w").write("i = 0\nwhile (i < 20000)\n  say 'line 'i\n  i = i + 1\nendwhile\n")
    r, w = os.pipe()
    os.set_blocking(w, False)
    p = subprocess.Popen([OMBRA, "-blxc", "run lines.gs"], cwd=d, env=ENV, stdin=subprocess.DEVNULL, stdout=w,
                         stderr=subprocess.PIPE)
    os.close(w)
    out = b"".join(iter(lambda: time.sleep(0.0002) or os.read(r, 4096), b""))
    os.close(r)
    err = p.stderr.read()
    if p.wait() != 99 or out.partition(b"Batch mode\n")[2] != b"".join(b"line %d\n" % i for i in range(20000)):
        fails.append(f"non-blocking standard output: status {p.returncode}, {out.count(b'line ')} lines, {err!r}")
    # Standard output that fails is an error, told once.
    with open("/dev/full", "wb") as full:
        run = subprocess.run([OMBRA, "-blc", "run mix.gs"], cwd=d, env=ENV, stdin=subprocess.DEVNULL,
                             stdout=full, stderr=subprocess.PIPE, timeout=60)
    if run.returncode != 1 or run.stderr.count(b"Error writing standard output") != 1 or \
            b"Error writing standard output: No space left on device\n" not in run.stderr:
        fails.append(f"stdout on /dev/full: status {run.returncode}, {run.stderr[:300]!r}")
    # A reader gone while a silent script runs is seen by its interrupt
    # poll; the status says so also after -x.
    def closeatscript(f):
        seen = b""
        while b"Batch mode\n" not in seen and (got := f.read1(4096)):
            seen += got
        f.close()
        return seen
    for script in ("spin.gs", "say.gs"):
        got, _ = session(d, ["-blxc", "run " + script], feed=closeatscript)
        if got != 141:
            fails.append(f"-x, reader gone during {script}: {got}")
    # A metafile FIFO whose reader stalls, or reads slowly: every ending
    # ends at once, and end records follow only whole records.  One that
    # was full and has room again (made larger, read only once the signal
    # is sent) gets the end records.
    def slowly(fd, into):
        os.set_blocking(fd, True)
        select.select([fd], [], [], 10)  # until the session writes
        while got := os.read(fd, 4096):
            into += got
            time.sleep(0.0005)
    go = threading.Event()
    def later(fd, into):  # reads nothing until the signal is sent, then all
        go.wait()
        os.set_blocking(fd, True)
        while got := os.read(fd, 65536):
            into += got
    for sigs, want, reader in [((signal.SIGTERM,), 143, None), ((signal.SIGHUP,), 129, None),
                               ((signal.SIGINT,) * 2, 130, None)] + [((signal.SIGTERM,), 143, slowly)] * 8 + \
                              [((signal.SIGQUIT,), -signal.SIGQUIT, later)] * 5:
        os.mkfifo(f"{d}/mf")
        fd, stream = os.open(f"{d}/mf", os.O_RDONLY | os.O_NONBLOCK), bytearray()
        go.clear()
        drain = threading.Thread(target=reader or (lambda *_: None), args=(fd, stream))
        drain.start()
        p = subprocess.Popen([OMBRA, "-blE"], cwd=d, env=ENV, stdin=open(f"{d}/frames"), stdout=subprocess.PIPE)
        catching(p.pid)
        if reader == slowly:
            time.sleep(random.uniform(0.05, 0.3))
        else:
            filled(p.pid, fd)
        if reader == later:
            fcntl.fcntl(fd, fcntl.F_SETPIPE_SZ, 1 << 20)
        for one in sigs:
            p.send_signal(one)
            go.set()
            taken(p.pid, one)
            time.sleep(0.2)
        try:
            out = p.communicate(timeout=5)[0]
        except subprocess.TimeoutExpired:
            p.kill()
            out = p.communicate()[0]
        drain.join()
        os.close(fd)
        os.unlink(f"{d}/mf")
        if p.returncode != want or not out.endswith(b"GX package terminated \n") or torn(bytes(stream)) or \
                reader == later and not stream.endswith(b"\xff\xf7"):
            fails.append(f"{sigs} on a metafile FIFO {reader and reader.__name__ or 'stalled'}: status "
                         f"{p.returncode}, stream ending {stream[-12:].hex()}")



def parked(pid, sig=signal.SIGTERM):
    """Waits (10 s at most) until the process sleeps with sig held: in a
    wait inside a step that holds the ending signals."""
    for _ in range(1000):
        st = procstatus(pid)
        if not st or st["State"].split()[0] == "S" and int(st["SigBlk"], 16) >> (sig - 1) & 1:
            return
        time.sleep(0.01)


def fill(w):
    """Fills the pipe whose write end is w until it takes no byte more."""
    fd = os.open(f"/proc/self/fd/{w}", os.O_WRONLY | os.O_NONBLOCK)
    for piece in (4096, 1):
        try:
            while os.write(fd, bytes(piece)):
                pass
        except BlockingIOError:
            pass
    os.close(fd)


def termed(d, first, then, limit=None, stall=False):
    """ombra -blE in folder d, both streams into one pipe, runs the lines
    first (its output read until it waits for more); the pipe is then
    filled and never read again if stall, and then sent; once the session
    is parked (or at once, with nothing sent) it gets a TERM.  Its status."""
    r, w = os.pipe()
    prep = (lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))) if limit else None
    p = subprocess.Popen([OMBRA, "-blE"], cwd=d, env=ENV, stdin=subprocess.PIPE, stdout=w, stderr=w,
                         preexec_fn=prep)
    p.stdin.write(first.encode())
    p.stdin.flush()
    seen = b""
    while seen.count(b"om> ") <= first.count("\n") and (got := os.read(r, 65536)):
        seen += got
    drain = threading.Thread(target=lambda: stall or all(iter(lambda: os.read(r, 65536), b"")))
    if stall:
        fill(w)
    drain.start()
    if then:
        p.stdin.write(then.encode())
        p.stdin.flush()
        parked(p.pid)
    p.send_signal(signal.SIGTERM)
    try:
        p.wait(timeout=10)
    except subprocess.TimeoutExpired:
        p.kill()
        p.wait()
    os.close(w)
    drain.join()
    os.close(r)
    return p.returncode


# Endings that come while the session waits inside a step that holds the
# ending signals (a field written, a file made): the wait ends, the step
# fails, and the signal is taken.  And one whose lines on the LATS files
# find a pipe that takes no more.  And one during quit's own end, which
# goes on to its end (the GRIB index made) before the signal is taken.
for name, fifo, first, then, limit, stall, parts in (
        ("an error printed while a field is written, output full", None,
         SETUP + "set lats create a\n" + FIELD, "d ts\n", 4096, True, 0),
        ("the descriptor a FIFO without a reader", "a.ctl", SETUP, "set lats create a\n", None, False, 0),
        ("a GRIB FIFO whose reader stalls", "a.grb", SETUP + "set lats create a\n" + FIELD,
         "d ts\n" * 8, None, False, 0),
        ("LATS files kept under part names, output full", None,
         SETUP + "set lats create a\n" + FIELD + "d ts\n!mkdir a.grb\n", "", None, True, 2),
        ("quit, output full", None, SETUP + "set lats create a\n" + FIELD + "d ts\n", "quit\n", None, True, 0)):
    with tempfile.TemporaryDirectory() as d:
        if fifo:
            os.mkfifo(f"{d}/{fifo}")
        reader = os.open(f"{d}/a.grb", os.O_RDONLY | os.O_NONBLOCK) if fifo == "a.grb" else None
        got = termed(d, first, then, limit, stall)
        left = sorted(n for n in os.listdir(d) if n.endswith(".part"))
        if reader is not None:
            os.close(reader)
        indexed = not then.startswith("quit") or os.path.exists(f"{d}/a.gmp") and os.path.getsize(f"{d}/a.gmp") > 0
        if got != 143 or len(left) != parts or not indexed:
            fails.append(f"TERM with {name}: status {got}, part files {left}, index made {indexed}")

# An ending whose output finds no room, in a pipe whose reader has stopped
# or on a terminal stopped by Ctrl-S, sleeps a twentieth of a second for
# it, no more; one whose output fails (`> /dev/full`) does not try again.
# The session waits for room asleep until then.  What is timed is the
# session's own sleep, its time neither running nor waiting to run.
def cputime(pid):
    fields = open(f"/proc/{pid}/stat").read().rpartition(")")[2].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def ending(pid, sig):
    """Sends sig to the process (a child of this one) and waits for its end:
    its status and the seconds it slept meanwhile, or "busy" once it has
    used two seconds of processor time without ending (it is killed then)."""
    assert pid > 0
    def used():
        run, wait = open(f"/proc/{pid}/schedstat").read().split()[:2]
        return (int(run) + int(wait)) / 1e9
    before, began = used(), time.monotonic()
    os.kill(pid, sig)
    while not os.waitid(os.P_PID, pid, os.WEXITED | os.WNOHANG | os.WNOWAIT):
        if cputime(pid) > 2:
            os.kill(pid, signal.SIGKILL)
            os.waitpid(pid, 0)
            return "busy", None
        time.sleep(0.01)
    slept = time.monotonic() - began - (used() - before)
    return os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1]), slept


def stalled(kind):
    """The status of a session printing into output that takes nothing more,
    TERM sent once it waits, and the seconds it slept then."""
    if kind == "terminal":
        pid, fd = pty.fork()
        if pid == 0:
            os.execve(OMBRA, [OMBRA, "-blE"], ENV)
        read(fd, b"om> ", 10)
        os.write(fd, b"\x13")
        os.write(fd, b"q config\n" * 50)
        waits = sleeping(pid, "wait_woken")
    else:
        fd, w = os.pipe() if kind == "pipe" else (None, os.open("/dev/full", os.O_WRONLY))
        p = subprocess.Popen([OMBRA, "-blE"], env=ENV, stdin=subprocess.PIPE, stdout=w, stderr=subprocess.DEVNULL)
        os.close(w)
        pid = p.pid
        p.stdin.write(b"q config\n" * (3000 if kind == "pipe" else 3))
        p.stdin.flush()
        waits = sleeping(pid, "poll")
    got = ending(pid, signal.SIGTERM) if waits else ("never asleep", None)
    if fd is not None:
        os.close(fd)
    return got


for kind in ("pipe", "terminal", "/dev/full"):
    got, slept = stalled(kind)
    if got != 143 or slept > 0.5:
        fails.append(f"TERM with output that takes nothing more ({kind}): {got}, slept {slept}")

# A background job under `stty tostop` that has stopped at its output is
# still ended by the TERM and CONT that `kill %1` sends, after that one
# stop and without spinning, and a crash that comes then (here one sent
# from outside) ends it with its signal.  So is one whose print made while
# the ending signals are held (the lines of a LATS file kept under its
# part name) waits for the terminal, and an orphaned one (its parent gone,
# it comes back to this process), which waits without stopping.
def ended(job, sig, stops=0):
    """Sends sig and CONT to job, and each time it stops again; how it ended."""
    os.kill(job, sig)
    os.kill(job, signal.SIGCONT)
    while True:
        _, st, use = os.wait4(job, os.WUNTRACED)
        if not os.WIFSTOPPED(st):
            busy = use.ru_utime + use.ru_stime > 0.3
            return b"job status %d after %d stops%s\n" % (os.waitstatus_to_exitcode(st), stops, b", busy" * busy)
        stops += 1
        os.kill(job, sig)
        os.kill(job, signal.SIGCONT)


def waitsinput(job, r):
    """Waits (10 s at most) until job has read all of the pipe r and waits
    for more."""
    for _ in range(1000):
        left = array.array("i", [0])
        fcntl.ioctl(r, termios.FIONREAD, left)
        if left[0] == 0 and "poll" in open(f"/proc/{job}/wchan").read():
            return
        time.sleep(0.01)


ctypes.CDLL(None).prctl(36, 1, 0, 0, 0)  # PR_SET_CHILD_SUBREAPER
for sig, want, how in ((signal.SIGTERM, 143, "plain"), (signal.SIGILL, -signal.SIGILL, "plain"),
                       (signal.SIGTERM, 143, "held"), (signal.SIGTERM, 143, "orphaned")):
    with tempfile.TemporaryDirectory() as d:
        pid, fd = pty.fork()
        if pid == 0:
            os.chdir(d)
            attrs = termios.tcgetattr(0)
            attrs[3] |= termios.TOSTOP
            termios.tcsetattr(0, termios.TCSANOW, attrs)
            signal.signal(signal.SIGTTOU, signal.SIG_IGN)
            r, w = os.pipe()
            job = os.fork()
            if job == 0:
                mid = os.getpid()
                if how == "orphaned" and os.fork():
                    os._exit(0)
                while os.getppid() == mid:  # orphaned before it can stop
                    time.sleep(0.001)
                os.setpgid(0, 0)
                if how == "held":
                    os.dup2(r, 0)
                signal.signal(signal.SIGTTOU, signal.SIG_DFL)
                resource.setrlimit(resource.RLIMIT_CORE, (0, 0))
                os.execve(OMBRA, [OMBRA, "-blE"], ENV)
            if how == "orphaned":
                os.waitpid(job, 0)
                time.sleep(30)
            if how == "held":  # made in the foreground, closed in the background
                try:  # as the job does itself, unless it has started ombra already
                    os.setpgid(job, job)
                except PermissionError:
                    pass
                os.tcsetpgrp(0, job)
                os.write(w, (SETUP + "set lats create a\n" + FIELD + "d ts\n!mkdir a.grb\n").encode())
                waitsinput(job, r)
                os.tcsetpgrp(0, os.getpgrp())
                os.write(w, b"set lats close 1\n")
            while not os.WIFSTOPPED(os.waitpid(job, os.WUNTRACED)[1]):
                pass
            os.write(1, ended(job, sig, 1))
            os._exit(0)
        if how == "orphaned":
            job = []
            for _ in range(500):
                job = [int(k) for k in open(f"/proc/self/task/{os.getpid()}/children").read().split() if int(k) != pid]
                if job:
                    break
                time.sleep(0.01)
            time.sleep(0.5)  # at its output, waiting
            said = ended(job[0], sig) if job else b"no job"
        else:
            said = read(fd, b"stops", 20).splitlines()[-1] + b"\n"
        if said != b"job status %d after %d stops\n" % (want, 0 if how == "orphaned" else 1):
            fails.append(f"{sig.name} to a background job under tostop ({how}): {said!r}")
        os.kill(pid, signal.SIGKILL)
        status(pid)


# A crash signal the kernel makes once and never again (here one a tracer
# makes at a system call) ends the session all the same, with its signal:
# at a shell escape's wait, the metafile left under its part name; at a
# write of standard output, every line said written once.
if not TRACES:
    print("strace cannot trace here: the rows of a crash made by a tracer are skipped")
else:
    with tempfile.TemporaryDirectory() as d:
        open(f"{d}/lines.gs", "w").write("i = 0\nwhile (i < 20000)\n  say 'line 'i\n  i = i + 1\nendwhile\n")
        for call, args, lines in (("wait4", ["-blE"], b"enable print m.gx\ndraw line 1 1 2 2\nprint\n!sleep 0.2\nquit\n"),
                                  ("write,pwritev2", ["-blxc", "run lines.gs"], b"")):
            # A pipe with room for all that is said: each write puts out
            # its whole piece, the one the signal comes at too.
            r, w = os.pipe()
            fcntl.fcntl(r, 1031, 1 << 20)  # F_SETPIPE_SZ
            run = subprocess.run(["strace", "-o", "/dev/null", f"-einject={call}:signal=SIGSEGV:when=5"
                                  if call != "wait4" else f"-einject={call}:signal=SIGSEGV:when=1", OMBRA] + args,
                                 cwd=d, env=TRACED, input=lines, stdout=w, stderr=subprocess.PIPE, timeout=60)
            os.close(w)
            want, out = -signal.SIGSEGV, b"".join(iter(lambda: os.read(r, 65536), b""))
            os.close(r)
            if CHECKING:  # its handler, given back, reports and ends the program
                out, report, _ = out.partition(b"AddressSanitizer:DEADLYSIGNAL\n")
                report = report or b"AddressSanitizer:DEADLYSIGNAL" in run.stderr
                want = run.returncode if report and run.returncode in (1, -signal.SIGABRT) else "the sanitizer's report"
            left = sorted(n for n in os.listdir(d) if n.startswith("m.gx"))
            if run.returncode != want or b"GX package terminated" in out or \
                    (left != ["m.gx.part"] if call == "wait4" else spoken(out) is None):
                fails.append(f"SEGV made by a tracer at {call}: status {run.returncode}, files {left}, "
                             f"output ends {out[-80:]!r}")

# The programs a session runs (`!cmd`, a user-defined function's program)
# take Ctrl-C and Ctrl-\ from the terminal as under a shell: a command
# ended by an interrupt interrupts the session (a script's loop stops),
# and a quit ends the session once the command has ended.  An interrupt or
# quit sent to the session alone while a command runs is taken when it
# ends (two interrupts: a second during one command).  An ending meanwhile
# ends the command and all it started, even from another thread of it:
# whoever reads the session's output is not kept waiting by them.
# A wrapper that runs the program given as its child and hands each
# interrupt it is sent on to it with kill(), as `timeout` does; only once
# the child has taken any it was sent itself, so that the two are not
# merged into one; then it makes the file "forwarded".  It ends with the
# child's status.
FORWARDS = """import os, signal, sys, time
child = os.fork()
if child == 0:
    os.execv(sys.argv[1], sys.argv[1:])
def pending():
    st = dict(l.split(":", 1) for l in open(f"/proc/{child}/status"))
    return (int(st["SigPnd"], 16) | int(st["ShdPnd"], 16)) >> (signal.SIGINT - 1) & 1
def forward(sig, _):
    for _ in range(1000):
        if not pending():
            break
        time.sleep(0.01)
    os.kill(child, sig)
    open("forwarded", "w").close()
signal.signal(signal.SIGINT, forward)
os._exit(os.waitstatus_to_exitcode(os.waitpid(child, 0)[1]) & 255)
"""


def children(pid):
    """The children of pid, as /proc lists them."""
    try:
        return [int(k) for t in os.listdir(f"/proc/{pid}/task") for k in open(f"/proc/{pid}/task/{t}/children").read().split()]
    except OSError:
        return []


def zombie(pid):
    """Whether pid is a child of this process that has ended, unreaped."""
    try:
        return os.waitid(os.P_PID, pid, os.WEXITED | os.WNOHANG | os.WNOWAIT) is not None
    except ChildProcessError:
        return False


def below(pid):
    """The processes below pid, as /proc lists them."""
    found, at = [], [pid]
    while at:
        kids = children(at.pop())
        found += kids
        at += kids
    return found


def switches(pid):
    """The times the process went to sleep of its own."""
    return int(procstatus(pid).get("voluntary_ctxt_switches", "0"))


def wchan(pid):
    """Where the process sleeps in the kernel, "" once it is gone."""
    try:
        return open(f"/proc/{pid}/wchan").read()
    except OSError:
        return ""


def atfifo(pid):
    """Waits (10 s at most) until a process below pid sleeps in the open of
    a FIFO, waiting for its writer."""
    for _ in range(1000):
        if any(wchan(k) == "wait_for_partner" for k in below(pid)):
            return
        time.sleep(0.01)


def release(fifo):
    """Lets the reader waiting on fifo open it, and then find its end."""
    os.close(os.open(fifo, os.O_RDWR))


def drained(f):
    """What the pipe f gives until its end, None when it has not ended
    after 10 s without a byte."""
    seen = b""
    while select.select([f], [], [], 10)[0]:
        if not (got := os.read(f.fileno(), 4096)):
            return seen
        seen += got
    return None


def running(pids):
    """Those of pids still running once each has ended (10 s at most)."""
    for _ in range(1000):
        left = [k for k in pids if procstatus(k).get("State", "Z").split()[0] != "Z"]
        if not left:
            break
        time.sleep(0.01)
    return left


with tempfile.TemporaryDirectory() as d:
    fifo = f"{d}/f"
    os.mkfifo(fifo)
    open(f"{d}/loop.gs", "w").write(f"while (1)\n'!cat {fifo}'\nendwhile\n")
    open(f"{d}/udft", "w").write(f"slow 1 1 value\ndirect\ncat {fifo}\n{d}/a\n{d}/r\n")
    env = dict(ENV, OMUDFT=f"{d}/udft")
    # On a terminal: the keys' signals go to the command, and through it to
    # the session.  One key is one interrupt also where a wrapper (as
    # `timeout` does) hands the interrupt it was sent on to the session: a
    # command that takes its time to end by it (until the gate opens) ends
    # once the wrapper has handed it on, where the wrapper was sent it.
    gate = f"{d}/gate"
    os.mkfifo(gate)
    for key, lines, want, wrapped in ((b"\x03", "run loop.gs", 0, False),
                                      (b"\x1c", f"!cat {fifo}", -signal.SIGQUIT, False),
                                      (b"\x03", f"!sh -c 'trap \"cat {gate}; trap - INT; kill -INT \\$\\$\" INT; cat {fifo}'",
                                       0, True)):
        pid, fd = pty.fork()
        if pid == 0:
            os.chdir(d)
            os.execve(sys.executable, [sys.executable, "-c", FORWARDS, OMBRA, "-blE"], env) if wrapped else \
                os.execve(OMBRA, [OMBRA, "-blE"], env)
        read(fd, b"om> ", 10)
        os.write(fd, lines.encode() + b"\n")
        atfifo(pid)
        front, waiting = os.tcgetpgrp(fd), [k for k in below(pid) if wchan(k) == "wait_for_partner"]
        os.write(fd, key)
        if wrapped:
            for _ in range(1000):  # the command in its trap, and the wrapper, if it was sent the key, done
                if not any(procstatus(k) for k in waiting) and any(wchan(k) == "wait_for_partner" for k in below(pid)) and \
                        (front != os.getpgid(pid) or os.path.exists(f"{d}/forwarded")):
                    break
                time.sleep(0.01)
            release(gate)
        seen = read(fd, b"om> " if want == 0 else b"terminated", 10)
        if want == 0:
            os.write(fd, b"quit\n")
        got = status(pid)
        if got != want:
            fails.append(f"{key!r} on a terminal during {lines}, wrapped {wrapped}: status {got}, "
                         f"output ends {seen[-80:]!r}")
        if got == "still running":
            release(fifo)
        os.close(fd)
    # Under a job-control shell the session and its command are one job:
    # Ctrl-Z during a command stops both, and `fg` gives the command the
    # terminal again; a command of a session in the background that reads
    # the terminal stops the session (tty input), and `fg` gives it the
    # terminal; Ctrl-C typed once such a session is brought to the front
    # reaches its command.  Without a terminal a stopped command stops
    # nothing else: the session waits, and goes on once the command is
    # continued.
    open(f"{d}/tty.in", "w").write("!sh -c 'read x < /dev/tty; echo got $x > /dev/tty'\nquit\n")
    open(f"{d}/fifo.in", "w").write(f"!cat {fifo}\nquit\n")
    pid, fd = pty.fork()
    if pid == 0:
        os.chdir(d)
        os.execve("/bin/bash", ["bash", "--norc", "--noprofile", "-i"], dict(env, PS1="$ ", TERM="dumb"))
    seen = read(fd, b"$ ", 10)
    # Each line once its answer shows and the terminal is where it must be
    # then: the shell's (True), its job's (False).  (The first line typed
    # as a job has stopped may be lost to the shell, whatever the job: a
    # line that asks for the jobs is typed until it answers.)
    for line, until, shell in (
            (b"set +H", b"$ ", True), (OMBRA.encode() + b" -blE", b"om> ", False), (b"!cat", b"\n", None),
            (b"one", b"one\r\none\r\n", None), (b"\x1a", b"$ ", True), (b"jobs", b"Stopped", True),
            (b"fg", b"-blE\r\n", False),
            (b"two", b"two\r\ntwo\r\n", None), (b"\x04", b"om> ", None), (b"quit", b"$ ", True),
            (OMBRA.encode() + b" -blE < tty.in > /dev/null &", b"$ ", True),
            (b"until jobs -l | grep -q input; do sleep 0.01; done; jobs -l", b"$ ", True),
            (b"fg", b"null\r\n", False), (b"typed", b"got typed", True),
            (OMBRA.encode() + b" -blE < fifo.in > /dev/null &", b"$ ", True), (b"fg", b"null\r\n", False),
            (b"\x03", b"$ ", True), (b"echo done:$?", b"done:0", True), (b"exit", b"exit", None)):
        if line == b"fg" and b"typed" in seen:
            atfifo(pid)
        for _ in range(3 if b"jobs" in line else 1):
            got = os.write(fd, line + (b"" if line in (b"\x1a", b"\x04", b"\x03") else b"\n")) and read(fd, until, 10)
            seen += got
            if until in got:
                break
        for _ in range(1000 if shell is not None else 0):
            if (os.tcgetpgrp(fd) == pid) == shell:
                break
            time.sleep(0.01)
    if b"done:0" not in seen:
        release(fifo)
    status(pid)
    os.close(fd)
    said = seen.replace(b"\r\n", b"\n")
    if said.count(b"two\n") != 2 or not all(w in said for w in (b"one\none\n", b"Stopped", b"Stopped (tty input)",
                                                                 b"got typed", b"done:0")):
        fails.append(f"job control of a session and its command under bash: {said[-600:]!r}")
    # (A session of its own, with no terminal; the session a job of a shell
    # there, which the kernel would stop.)
    p = subprocess.Popen(["setsid", "-w", sys.executable, "-c", "import os, subprocess, sys; "
                          "sys.exit(subprocess.call(sys.argv[1:], preexec_fn=os.setpgrp))", OMBRA, "-blE"],
                         cwd=d, env=env, stdin=subprocess.PIPE, stdout=subprocess.DEVNULL)
    p.stdin.write(f"!read x < {fifo}; kill -STOP $$; echo resumed > r\n".encode())
    p.stdin.flush()
    atfifo(p.pid)
    om = children(p.pid)[0]
    woke = switches(om)
    release(fifo)
    stopped, session = [], "?"
    for _ in range(1000):  # until the command has stopped and the session has taken its stop and waits again
        stopped = [k for k in below(om) if procstatus(k).get("State", " ").split()[0] == "T"]
        session = procstatus(om).get("State", "?").split()[0]
        if stopped and switches(om) > woke and session == "S" and wchan(om) == "do_wait":
            break
        time.sleep(0.01)
    for k in stopped:
        os.kill(k, signal.SIGCONT)
    try:
        p.communicate(b"quit\n", timeout=10)
    except subprocess.TimeoutExpired:
        os.kill(om, signal.SIGKILL)
        p.communicate()
    resumed = os.path.exists(f"{d}/r") and open(f"{d}/r").read() == "resumed\n"
    if not stopped or session != "S" or p.returncode or not resumed:
        fails.append(f"a command stopped without a terminal: {stopped}, session {session}, status {p.returncode}")
    # Sent to the session alone, each once the one before was taken.
    for sigs, lines, want in (((signal.SIGINT,), "run loop.gs", 0), ((signal.SIGINT,) * 2, f"!cat {fifo}", 130),
                              ((signal.SIGQUIT,), f"!cat {fifo}", -signal.SIGQUIT),
                              ((signal.SIGINT,) * 2, SETUP + "d slow(1)", 130)):
        p = subprocess.Popen([OMBRA, "-blE"], cwd=d, env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        p.stdin.write(lines.encode() + b"\n")
        p.stdin.flush()
        atfifo(p.pid)
        for sig in sigs:
            p.send_signal(sig)
            taken(p.pid, sig)
        release(fifo)
        try:
            out = p.communicate(b"quit\n", timeout=10)[0]
        except subprocess.TimeoutExpired:
            p.kill()
            release(fifo)
            out = p.communicate()[0]
        if p.returncode != want or not out.endswith(b"GX package terminated \n"):
            fails.append(f"{sigs} sent alone during {lines}: status {p.returncode}, output ends {out[-80:]!r}")
    # TERM while a command waits: the session's output ends with it, and
    # so does every process of the command's group, one that ignores TERM
    # too (KILL follows), however few descriptors the session has left (0
    # or 2 here); the command itself is reaped, not left to whoever
    # inherits the session's children (here this process).
    for lines, free in ((f"!sh -c 'cat {fifo}; :'", None),
                        ("!python3 -c \"import threading, subprocess; t = threading.Thread(target=subprocess.run, "
                         f"args=(['cat', '{fifo}'],)); t.start(); t.join()\"", None),
                        (f"!sh -c 'trap \"\" TERM; cat {fifo}; :'", None),
                        (f"!sh -c 'sh -c \"cat {fifo}; :\"; :'", 0), (f"!sh -c 'sh -c \"cat {fifo}; :\"; :'", 2)):
        p = subprocess.Popen([OMBRA, "-blE"], cwd=d, env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        p.stdin.write(lines.encode() + b"\n")
        p.stdin.flush()
        atfifo(p.pid)
        left, own = below(p.pid), children(p.pid)
        if free is not None:
            taken_fds = {int(k) for k in os.listdir(f"/proc/{p.pid}/fd")}
            unused = [k for k in range(len(taken_fds) + free + 1) if k not in taken_fds]
            resource.prlimit(p.pid, resource.RLIMIT_NOFILE, (unused[free], resource.getrlimit(resource.RLIMIT_NOFILE)[1]))
        p.send_signal(signal.SIGTERM)
        ends = drained(p.stdout)
        kept = running(left)
        if kept:
            release(fifo)
        p.wait()
        unreaped = [k for k in own if zombie(k)]
        if p.returncode != 143 or not ends or not ends.endswith(b"GX package terminated \n") or kept or unreaped:
            fails.append(f"TERM during {lines}, {free} descriptors free: status {p.returncode}, output ends "
                         f"{ends and ends[-60:]!r}, left running {kept}, unreaped {unreaped}")
        for k in unreaped:
            os.waitpid(k, 0)
        p.stdin.close()

# As the first process of a PID namespace, which the default action of a
# signal sent to it does not end, a session is ended by QUIT all the same.
if subprocess.run(["unshare", "-fp", "--mount-proc", "true"], stderr=subprocess.DEVNULL).returncode:
    print("no PID namespace can be made here: the rows of a session as its first process are skipped")
else:
    with tempfile.TemporaryDirectory() as d:
        open(f"{d}/spin.gs", "w").write("'enable print m.gm'\nwhile (1)\nendwhile\n")
        p = subprocess.Popen(["unshare", "-fp", "--mount-proc", OMBRA, "-blc", "run spin.gs"], cwd=d, env=ENV,
                             stdin=subprocess.DEVNULL, stdout=subprocess.PIPE)
        for _ in range(1000):
            if os.path.exists(f"{d}/m.gm.part"):
                break
            time.sleep(0.01)
        first = int(open(f"/proc/{p.pid}/task/{p.pid}/children").read().split()[0])
        os.kill(first, signal.SIGQUIT)
        try:
            out = p.communicate(timeout=10)[0]
        except subprocess.TimeoutExpired:
            os.kill(first, signal.SIGKILL)
            p.kill()
            out = p.communicate()[0]
        if p.returncode not in (128 + signal.SIGQUIT, -signal.SIGQUIT) or out.count(b"GX package terminated") != 1 \
                or not os.path.exists(f"{d}/m.gm"):
            fails.append(f"QUIT to the first process of a PID namespace: status {p.returncode}, output ends {out[-120:]!r}")
        # The orphans of `!cmd &` are its children there: it reaps those
        # that ended at its prompt.
        run = subprocess.run(["unshare", "-fp", "--mount-proc", OMBRA, "-blE"], cwd=d, env=ENV, timeout=60,
                             stdout=subprocess.DEVNULL, input=b"!sh -c 'sleep 0.2 &'\n!sleep 1\nq dims\n"
                             b"!grep -l '^State:.*Z' /proc/[0-9]*/status | wc -l > zombies\n")
        if open(f"{d}/zombies").read() != "0\n":
            fails.append(f"orphans at the prompt of the first process of a PID namespace: {open(f'{d}/zombies').read()}")

        # Also one that ends while the prompt waits, without a command after.
        os.mkfifo(f"{d}/f")
        p = subprocess.Popen(["unshare", "-fp", "--mount-proc", OMBRA, "-blE"], cwd=d, env=ENV,
                             stdin=subprocess.PIPE, stdout=subprocess.DEVNULL)
        p.stdin.write(b"!cat f &\n")
        p.stdin.flush()
        first, orphan = 0, []
        for _ in range(1000):  # the orphan is the first process's own, which sleeps at its prompt
            kids = [int(k) for k in open(f"/proc/{p.pid}/task/{p.pid}/children").read().split()]
            first = kids[0] if kids else 0
            orphan = [k for k in below(p.pid) if procstatus(k).get("PPid", "").strip() == str(first) and
                      wchan(k) == "wait_for_partner"]
            if orphan and procstatus(first).get("State", "?").split()[0] == "S" and "poll" in wchan(first):
                break
            time.sleep(0.01)
        release(f"{d}/f")
        for _ in range(1000):
            if not (left := [k for k in orphan if procstatus(k)]):
                break
            time.sleep(0.01)
        states = [procstatus(k).get("State") for k in left]
        p.communicate(b"quit\n", timeout=60)
        if not orphan or left:
            fails.append(f"an orphan that ended while the prompt of the first process of a PID namespace waits: "
                         f"{orphan}, {states}")

# An ending never signals a number that may have changed hands.  Held (as
# a debugger would hold it) before its third kill, the session's ending
# finds that a process of the command's has ended and been reaped, and its
# number given to another process, which the session did not start (here
# in a PID namespace of the test's own, where the next number can be
# chosen); that process lives on.
REUSE = """import os, signal, subprocess, sys, time
ombra, hold, d = sys.argv[1:4]
tell, held = os.pipe()
go, release = os.pipe()
env = dict(os.environ, LD_PRELOAD=hold, KILLHOLD_AT="3", KILLHOLD_TELL=str(held), KILLHOLD_GO=str(go),
           ASAN_OPTIONS=os.environ.get("ASAN_OPTIONS", "") + ":verify_asan_link_order=0")
p = subprocess.Popen([ombra, "-blE"], cwd=d, env=env, stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                     pass_fds=(held, go))
p.stdin.write(b"!sleep 1000 & echo $! > bg; exec sleep 1001\\n")
p.stdin.flush()
for _ in range(1000):
    if os.path.getsize(f"{d}/bg") if os.path.exists(f"{d}/bg") else 0:
        break
    time.sleep(0.01)
gone = int(open(f"{d}/bg").read())
for _ in range(1000):
    kids = open(f"/proc/{p.pid}/task/{p.pid}/children").read().split()
    if kids and open(f"/proc/{kids[0]}/cmdline").read().startswith("sleep"):
        break
    time.sleep(0.01)
p.send_signal(signal.SIGTERM)
os.read(tell, 1)
try:
    os.kill(gone, signal.SIGKILL)
except ProcessLookupError:
    pass
for _ in range(1000):
    try:
        os.waitpid(gone, 0)
        break
    except ChildProcessError:  # not yet this process's, the first of the namespace
        time.sleep(0.01)
open("/proc/sys/kernel/ns_last_pid", "w").write(str(gone - 1))
other = os.fork()
if other == 0:  # it holds TERM: one sent to it stays, pending, to be seen
    os.setsid()
    signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGTERM})
    os.execvp("sleep", ["sleep", "1000"])
os.write(release, b"g")
p.wait()
st = dict(l.split(":", 1) for l in open(f"/proc/{other}/status"))
sent = (int(st["SigPnd"], 16) | int(st["ShdPnd"], 16)) >> (signal.SIGTERM - 1) & 1
os.kill(other, signal.SIGKILL)
os.waitpid(other, 0)
print("reused" if other == gone else "other", "signalled" if sent else "untouched", p.returncode)
"""
if subprocess.run(["unshare", "-Ufpr", "--mount-proc", "true"], stderr=subprocess.DEVNULL).returncode:
    print("no PID namespace of the test's own can be made here: the row of a reused number is skipped")
else:
    with tempfile.TemporaryDirectory() as d:
        run = subprocess.run(["unshare", "-Ufpr", "--mount-proc", sys.executable, "-c", REUSE, OMBRA, HOLD, d],
                             env=ENV, capture_output=True, timeout=120)
        said = run.stdout.decode().split()
        if said[:1] == ["other"]:
            print("the number of the ended process went elsewhere: the row of a reused number is skipped")
        elif said != ["reused", "untouched", "143"]:
            fails.append(f"an ending held while a number changes hands: {said}, {run.stderr[-300:]!r}")

# Where /proc is another PID namespace's (unshare -fp without one of its
# own), an ending reads no number there: a process entered into the
# session's namespace (nsenter) lives on until the namespace ends with its
# first process, the session (by KILL then, not TERM).
if subprocess.run(["unshare", "-Ufpr", "true"], stderr=subprocess.DEVNULL).returncode:
    print("no PID namespace of the test's own can be made here: the row of another namespace's /proc is skipped")
else:
    with tempfile.TemporaryDirectory() as d:
        os.mkfifo(f"{d}/f")
        p = subprocess.Popen(["unshare", "-Ufpr", OMBRA, "-blE"], cwd=d, env=ENV, stdin=subprocess.PIPE,
                             stdout=subprocess.PIPE)
        p.stdin.write(b"!cat f\n")
        p.stdin.flush()
        atfifo(p.pid)
        first = children(p.pid)[0]
        entered = subprocess.Popen(["nsenter", "-t", str(first), "-U", "-p", "--preserve-credentials",
                                    "sleep", "1000"])
        for _ in range(1000):
            if children(entered.pid):
                break
            time.sleep(0.01)
        os.kill(first, signal.SIGTERM)
        ends = drained(p.stdout)
        if ends is None:
            release(f"{d}/f")
        try:
            entered.wait(timeout=10)
        except subprocess.TimeoutExpired:
            entered.kill()
            entered.wait()
        if p.wait() != 143 or entered.returncode != -signal.SIGKILL:
            fails.append(f"an ending in a PID namespace with another's /proc: status {p.returncode}, "
                         f"the entered process {entered.returncode}")

print("".join(f"skipped: {why}\n" for why in skips) + ("\n".join(fails) or "all endings right"))
sys.exit(1 if fails else 0)
