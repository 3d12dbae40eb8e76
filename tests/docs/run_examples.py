#!/usr/bin/env python3
"""Runs the command examples of one documentation file with the built ombra.

Usage: run_examples.py OMBRA REPO MDFILE [--update]
       run_examples.py OMBRA REPO --selftest

The convention for every docs/*.md file:

- A fenced block with the info string `ombra` holds command examples, one
  command per line.  All `ombra` blocks of one file run in order, in one
  batch session (`ombra -blc "exec FILE"`), in a fresh temporary directory
  holding copies of share/sample/* (sample.ctl, sample.dat, sample.nc and
  the station sample stations.ctl, stations.dat, stations.map),
  with OMDDIR set to share/ and OMSCRP to docs/examples/ (so `run cbar.gs`
  finds the example scripts).  Blank lines are skipped; lines starting with
  `*` are comments.
- A block with the info string `ombra-interactive` is shown, not run (for
  commands that wait for the mouse or a window, such as `q pos`).
- A fenced `gs` block whose first line is `* file: NAME.gs` (or a function
  library, `* file: NAME.gsf`) is written to that file in that directory
  before the session, so examples can `run NAME.gs`.  Other `gs` blocks are
  shown only.
- An example fails when a command returns a nonzero code (the exec file
  stops there) or prints an error-level message (a line matching ERROR_RE
  below, on standard output or standard error).
- A plain fenced block (no info string) that directly follows an `ombra`
  block, with only blank lines between, shows what that block's commands
  print: each of its lines must be printed by them, in the order shown,
  though the block may leave printed lines out.  Runs of blanks count as
  one; `...` inside a line stands for any text (a date), and a line `...`
  alone marks lines left out.  Output shown after a line of text, or in a
  `text` block, is not compared.
- README.md is the index: it must link to every other .md file beside it.
- A picture the file links to (`![...](NAME.png)`) that the session
  writes must equal, byte for byte, the committed NAME.png next to the
  file.  `--update` copies the session's pictures there instead.
- The top-level README.md opens with the shell line that builds the program
  and runs it once on the sample.  Its run of ./build/src/main/ombra is made
  again, from a directory that has the sources' share/ and scripts/, and
  every picture the README links to must be what that run writes, pixel for
  pixel, but for the time label, which the run leaves on.

The commands run from an exec file rather than standard input because exec
echoes every command before it runs it (so each output line can be laid to
its command) and stops at the first command that fails, saying so.
"""

import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile

from pngfile import read_png, write_png

EXEC_NAME = "docs-examples.exec"

# Error-level messages of the program and of the script interpreter: the
# "... error:" / "Error from ..." families, and the first lines of the
# messages that say a command could not do its work without the word
# "error" in them (the lines that follow such a first line need no pattern).
ERROR_RE = re.compile(
    r"error|cannot|connot|can't|couldn't|could not|invalid|unknown command|"
    r"no files open|not found|not open|failed|failure|unable|does not exist|"
    r"logic check|not a variable|syntax is:|all undefined|are undefined|all missing values|"
    r"no stations to plot|no station values|beyond file limits|not varying|"
    r"not successfully|unsupported|not yet support|doesn't appear|no discernable|"
    r"you attempted|doesn't know|attempt to change|attempt at|bad time index|"
    r"not specified",
    re.IGNORECASE)

FENCE_RE = re.compile(r"^( *)(```+|~~~+)\s*([^\s`]*)")
KINDS = ("ombra", "ombra-interactive")
ELISION = "..."  # a line of a shown output block that stands for lines left out
PICTURE_RE = re.compile(r"!\[[^\]]*\]\(([^)\s]+\.png)\)")


class BadDoc(Exception):
    pass


class Block:
    def __init__(self, kind, start, lines, follows=None):
        self.kind = kind      # info string
        self.start = start    # line number of the first content line
        self.lines = lines
        self.follows = follows  # the block just before it, when only blank lines part them


def blocks_of(text):
    """The fenced blocks of a Markdown text, in order (a block indented in a
    list loses its indentation)."""
    out = []
    lines = text.split("\n")
    i = 0
    prose = True  # text other than blank lines since the last block
    while i < len(lines):
        m = FENCE_RE.match(lines[i])
        if not m:
            prose = prose or lines[i].strip() != ""
            i += 1
            continue
        indent, fence, kind = m.group(1), m.group(2), m.group(3)
        if kind.lower().startswith("ombra") and kind not in KINDS:
            raise BadDoc("line %d: unknown info string %r (use %s)" % (i + 1, kind, " or ".join(KINDS)))
        body = []
        j = i + 1
        while j < len(lines) and not lines[j].lstrip(" ").startswith(fence):
            line = lines[j]
            body.append(line[len(indent):] if line.startswith(indent) else line.lstrip(" "))
            j += 1
        out.append(Block(kind, i + 2, body, None if prose or not out else out[-1]))
        prose = False
        i = j + 1
    return out


def prepare(md_text, workdir):
    """Writes the script files and the exec file; returns the commands as
    (markdown line number, command) pairs."""
    commands = []
    for b in blocks_of(md_text):
        if b.kind == "gs" and b.lines:
            m = re.match(r"^\*\s*file:\s*(\S+\.gsf?)\s*$", b.lines[0])
            if m:
                name = m.group(1)
                if "/" in name:
                    raise SystemExit("script file names may not hold a directory: %s" % name)
                with open(os.path.join(workdir, name), "w", encoding="utf-8") as f:
                    f.write("\n".join(b.lines) + "\n")
        elif b.kind == "ombra":
            for k, line in enumerate(b.lines):
                cmd = line.rstrip()
                if cmd.strip() == "" or cmd.lstrip().startswith("*"):
                    continue
                commands.append((b.start + k, cmd.strip()))
    with open(os.path.join(workdir, EXEC_NAME), "w", encoding="utf-8") as f:
        for _, cmd in commands:
            f.write(cmd + "\n")
    return commands


def attribute(commands, out_lines):
    """Lays every output line to the command whose echo precedes it:
    a list of (command index or -1, line)."""
    k = 0
    cur = -1
    laid = []
    for line in out_lines:
        if k < len(commands) and line.rstrip() == commands[k][1]:
            cur = k
            k += 1
            continue
        laid.append((cur, line))
    return laid, k


def line_matches(shown, printed):
    """A shown line matches a printed one when their words are the same
    (runs of blanks count as one), where `...` inside the shown line stands
    for any text (a date, a user name)."""
    shown, printed = " ".join(shown.split()), " ".join(printed.split())
    if ELISION not in shown:
        return shown == printed
    pattern = ".*".join(re.escape(part) for part in shown.split(ELISION))
    return re.fullmatch(pattern, printed) is not None


def missing_output(shown, printed):
    """Checks a shown output block against the lines its commands printed:
    every shown line must be printed, in the order shown, though other
    printed lines may come between them; a line `...` alone is skipped.
    Returns None, or (the index of the first shown line that is not
    printed, the first printed line not yet matched or None)."""
    at = 0
    for k, line in enumerate(shown):
        if line.strip() in ("", ELISION):
            continue
        j = at
        while j < len(printed) and not line_matches(line, printed[j]):
            j += 1
        if j == len(printed):
            return k, printed[at] if at < len(printed) else None
        at = j + 1
    return None


def output_failures(mdname, text, commands, laid):
    """Compares every output block that directly follows an `ombra` block
    with what that block's commands printed."""
    failures = []
    for b in blocks_of(text):
        if b.kind != "" or b.follows is None or b.follows.kind != "ombra":
            continue
        first, last = b.follows.start, b.follows.start + len(b.follows.lines)
        ours = {k for k, (lineno, _) in enumerate(commands) if first <= lineno < last}
        miss = missing_output(b.lines, [line for idx, line in laid if idx in ours])
        if miss is not None:
            k, instead = miss
            failures.append("%s:%d: the shown output `%s` is not what the commands print%s"
                            % (mdname, b.start + k, b.lines[k].strip(),
                               "" if instead is None else " (the next line printed: `%s`)" % instead.strip()))
    return failures


README_RUN = "./build/src/main/ombra"


def readme_run(text):
    """(environment, arguments) of the program's run in the shell line that
    opens the text, or None when it has none."""
    for part in text.split("\n", 1)[0].split("&&"):
        words = shlex.split(part)
        if README_RUN in words:
            k = words.index(README_RUN)
            env = dict(w.split("=", 1) for w in words[:k] if "=" in w)
            args = []
            for w in words[k + 1:]:
                if w[0] in "<>":
                    break
                args.append(w)
            return env, args
    return None


def time_label_box(w, h):
    """The first column and row of the box, reaching to the lower right
    corner of a w by h picture of the page, that holds the time label: 16
    characters 0.08 in wide and 0.1 in high, drawn from 1.36 in left of the
    page's right edge at 0.05 in above its foot (omtmlb, in
    src/plot/epilog.cpp), with a row more above for the width of the
    strokes."""
    pagew, pageh = (11.0, 8.5) if w > h else (8.5, 11.0)
    return int((pagew - 1.36) * w / pagew), int(h - (0.05 + 0.1) * h / pageh) - 1


def pixel_failures(what, made, kept):
    """Compares two pictures of the page, the time label's box aside."""
    wm, hm, a = read_png(made)
    wk, hk, b = read_png(kept)
    if (wm, hm) != (wk, hk):
        return ["%s is %dx%d; the run writes %dx%d" % (what, wk, hk, wm, hm)]
    x0, y0 = time_label_box(wm, hm)
    bad = [(x, y) for y in range(hm) for x in range(wm) if a[y][x] != b[y][x] and (x < x0 or y < y0)]
    if not bad:
        return []
    xs, ys = [x for x, _ in bad], [y for _, y in bad]
    return ["%s differs from what the README's first command writes in %d pixels outside the "
            "time label, within x %d to %d, y %d to %d (remake it with --update)"
            % (what, len(bad), min(xs), max(xs), min(ys), max(ys))]


def readme_failures(ombra, repo, md, text, update, mdname=None):
    """Runs the README's first command and compares the pictures it shows."""
    mddir, md = os.path.dirname(os.path.abspath(md)), mdname or md
    run = readme_run(text)
    if run is None:
        return ["%s: its first line runs no %s" % (md, README_RUN)]
    env = dict(os.environ)
    env.update(run[0])
    failures = []
    with tempfile.TemporaryDirectory(prefix="ombra-readme-") as work:
        for d in ("share", "scripts"):
            os.symlink(os.path.join(repo, d), os.path.join(work, d))
        try:
            subprocess.run([ombra] + run[1], cwd=work, env=env, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
        except subprocess.TimeoutExpired:
            return ["%s: the first command did not finish in 300 seconds" % md]
        for name in sorted(set(PICTURE_RE.findall(text))):
            made = os.path.join(work, os.path.basename(name))
            kept = os.path.join(mddir, name)
            if not os.path.exists(made):
                failures.append("%s: %s is not written by its first command" % (md, name))
            elif update:
                shutil.copy(made, kept)
            else:
                failures += pixel_failures("%s: %s" % (md, name), made, kept)
    return failures


def run_file(ombra, repo, md, update=False, quiet=False):
    """Runs the examples of one file; returns a list of failure texts."""
    with open(md, encoding="utf-8") as f:
        text = f.read()
    mdname = os.path.relpath(md, repo) if os.path.abspath(md).startswith(repo + os.sep) else md
    if os.path.abspath(md) == os.path.join(repo, "README.md"):
        return readme_failures(ombra, repo, md, text, update, mdname)
    failures = []
    try:
        blocks_of(text)
    except BadDoc as e:
        return ["%s: %s" % (mdname, e)]
    mddir = os.path.dirname(os.path.abspath(md))
    if os.path.basename(md) == "README.md":
        for name in sorted(os.listdir(mddir)):
            if name.endswith(".md") and name != "README.md" and "](%s)" % name not in text:
                failures.append("%s: the index does not link to %s" % (mdname, name))
    with tempfile.TemporaryDirectory(prefix="ombra-docs-") as work:
        sample = os.path.join(repo, "share", "sample")
        for name in sorted(os.listdir(sample)):
            shutil.copy(os.path.join(sample, name), work)
        commands = prepare(text, work)
        if not commands:
            return failures
        env = dict(os.environ)
        env["OMDDIR"] = os.path.join(repo, "share")
        env["OMSCRP"] = os.path.join(repo, "docs", "examples")
        try:
            r = subprocess.run([ombra, "-blc", "exec " + EXEC_NAME], cwd=work, env=env,
                               stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, timeout=300)
        except subprocess.TimeoutExpired:
            return ["%s: the session did not finish in 300 seconds" % mdname]
        out = r.stdout.decode("utf-8", "replace")
        err = r.stderr.decode("utf-8", "replace")
        if not quiet:
            sys.stdout.write(out)
            sys.stdout.write(err)
        out_lines = [line.rstrip() for line in out.split("\n")]
        laid, echoed = attribute(commands, out_lines)
        for idx, line in laid:
            if idx < 0:
                continue
            if line.startswith("EOF EXECuting ") or line.startswith("EXEC error:  error in " + EXEC_NAME):
                continue
            if ERROR_RE.search(line):
                lineno, cmd = commands[idx]
                failures.append("%s:%d: `%s` printed: %s" % (mdname, lineno, cmd, line.strip()))
        if ("EXEC error:  error in %s.  EXEC stopped." % EXEC_NAME) in out_lines:
            lineno, cmd = commands[echoed - 1] if echoed else (0, "?")
            failures.append("%s:%d: `%s` returned a nonzero code" % (mdname, lineno, cmd))
        elif ("EOF EXECuting %s" % EXEC_NAME) not in out_lines:
            failures.append("%s: the session ended before its last command (exit status %d)"
                            % (mdname, r.returncode))
        for line in err.split("\n"):
            if ERROR_RE.search(line):
                failures.append("%s: standard error: %s" % (mdname, line.strip()))
        failures += output_failures(mdname, text, commands, laid)

        # Pictures the file shows must be what its commands write.
        for name in sorted(set(PICTURE_RE.findall(text))):
            made = os.path.join(work, name)
            kept = os.path.join(mddir, name)
            if not os.path.exists(made):
                continue
            if update:
                os.makedirs(os.path.dirname(kept), exist_ok=True)
                shutil.copy(made, kept)
                continue
            if not os.path.exists(kept):
                failures.append("%s: %s is written by the examples but not committed" % (mdname, name))
                continue
            with open(made, "rb") as a, open(kept, "rb") as b:
                if a.read() != b.read():
                    failures.append("%s: %s differs from what the examples write "
                                    "(remake it with --update)" % (mdname, name))
    return failures


SELFTEST = [
    # (what, markdown, a text the failures must hold, or None when it passes)
    ("a correct example", "```ombra\nopen sample.ctl\nq file\n```\n", None),
    ("an interactive block is not run", "```ombra-interactive\nq pos\nd nosuch\n```\n", None),
    ("a nonzero code", "```ombra\nopen sample.ctl\nd nosuchvar\n```\n",
     ":3: `d nosuchvar` returned a nonzero code"),
    ("an error with code 0", "```ombra\nq nonsense\n```\n", ":2: `q nonsense` printed: Invalid QUERY"),
    ("a failing block indented in a list",
     "- a list item:\n\n  ```ombra\n  open sample.ctl\n  d nosuch\n  ```\n", ":5: `d nosuch` returned a nonzero code"),
    ("a misspelt info string", "```Ombra\nopen sample.ctl\n```\n", "unknown info string 'Ombra'"),
    ("a plot of undefined values only",
     "```ombra\nopen sample.ctl\nset lon 85 95\nset lat 30 35\nd z\n```\n", "`d z` printed: Cannot contour grid"),
    ("a failure in the second block",
     "```ombra\nopen sample.ctl\n```\n\ntext\n\n```ombra\n* comment\nset lev 5000 6000\nd z\n```\n",
     ":10: `d z` returned a nonzero code"),
    ("a script file from a gs block", "```gs\n* file: ok.gs\nsay 'fine'\n```\n\n```ombra\nrun ok.gs\n```\n", None),
    ("a function library from a gs block",
     "```gs\n* file: twice.gsf\nfunction twice(x)\nreturn 2 * x\n```\n\n"
     "```gs\n* file: lib.gs\nr = gsfallow('on')\nsay twice(4)\n```\n\n```ombra\nrun lib.gs\n```\n", None),
    ("a script block without a file line is not written",
     "```gs\nsay 'shown only'\n```\n\n```ombra\nrun shown.gs\n```\n", "`run shown.gs` returned a nonzero code"),
    ("a failing command inside a script",
     "```gs\n* file: bad.gs\n'open sample.ctl'\n'd nosuch'\n```\n\n```ombra\nrun bad.gs\n```\n",
     "`run bad.gs` printed: DISPLAY error"),
    ("a script that is not there", "```ombra\nrun missing.gs\n```\n", "`run missing.gs` returned a nonzero code"),
    ("a netCDF file", "```ombra\nsdfopen sample.nc\nd z\n```\n", None),
    ("an example script", "```ombra\nopen sample.ctl\nset gxout shaded\nd slp\nrun cbar.gs\n```\n", None),
    ("shown output that the commands print",
     "```ombra\nopen sample.ctl\nset lev 500\nq dims\n```\n\n```\nLEV set to 500 500\n...\n"
     "Z is fixed  Lev = 500  Z = ...\n```\n", None),
    ("shown output with a word changed",
     "```ombra\nopen sample.ctl\nq dims\n```\n\n```\nX is varying   Lon = 0 to 360   X = 1 to 145\n"
     "Y is fixed   Lat = -90 to 90   Y = 1 to 73\n```\n",
     ":8: the shown output `Y is fixed   Lat = -90 to 90   Y = 1 to 73` is not what the commands print"
     " (the next line printed: `Y is varying   Lat = -90 to 90   Y = 1 to 73`)"),
    ("shown output in the wrong order",
     "```ombra\nopen sample.ctl\nq dims\n```\n\n```\nY is varying   Lat = -90 to 90   Y = 1 to 73\n"
     "X is varying   Lon = 0 to 360   X = 1 to 145\n```\n", ":8: the shown output `X is varying"),
    ("shown output of another block's command",
     "```ombra\nopen sample.ctl\n```\n\n```ombra\nq file\n```\n\n```\nData file sample.dat is open as file 1\n```\n",
     ":10: the shown output `Data file sample.dat is open as file 1`"),
    ("an output block after text is not compared",
     "```ombra\nopen sample.ctl\n```\n\nIt prints\n\n```\nsomething else\n```\n", None),
    ("a stale picture",
     "```ombra\nopen sample.ctl\nd slp\nprintim pic.png\n```\n\n![slp](pic.png)\n",
     "pic.png differs from what the examples write"),
]


def selftest(ombra, repo):
    bad = 0
    with tempfile.TemporaryDirectory(prefix="ombra-docs-selftest-") as tmp:
        # an index that misses a file beside it
        os.mkdir(os.path.join(tmp, "index"))
        for name, body in (("README.md", "[a](a.md)\n"), ("a.md", ""), ("b.md", "")):
            with open(os.path.join(tmp, "index", name), "w", encoding="utf-8") as f:
                f.write(body)
        failures = run_file(ombra, repo, os.path.join(tmp, "index", "README.md"), quiet=True)
        ok = len(failures) == 1 and failures[0].endswith("the index does not link to b.md")
        print("%s: an index missing a file -> %s" % ("ok" if ok else "WRONG", "; ".join(failures)))
        bad += not ok
        # The README's picture against the committed one changed at the
        # corner of the time label's box, and at the pixel left of it.
        readme = os.path.join(tmp, "top", "README.md")
        os.makedirs(os.path.join(tmp, "top", "docs"))
        with open(os.path.join(repo, "README.md"), encoding="utf-8") as f:
            text = f.readline() + "\n![the sample](docs/sample.png)\n"
        w, h, rows = read_png(os.path.join(repo, "docs", "sample.png"))
        x0, y0 = time_label_box(w, h)
        for what, x, expect in (("a README picture changed in its time label", x0, None),
                                ("a README picture changed beside it", x0 - 1,
                                 "in 1 pixels outside the time label, within x %d to %d" % (x0 - 1, x0 - 1))):
            changed = [list(r) for r in rows]
            changed[y0][x] = (1, 2, 3)
            write_png(os.path.join(tmp, "top", "docs", "sample.png"), w, h, changed)
            failures = readme_failures(ombra, repo, readme, text, False)
            ok = any(expect in f for f in failures) if expect else not failures
            print("%s: %s -> %s" % ("ok" if ok else "WRONG", what, "; ".join(failures) or "passes"))
            bad += not ok
        with open(os.path.join(tmp, "pic.png"), "wb") as f:
            f.write(b"not the picture")
        for k, (what, md_text, expect) in enumerate(SELFTEST):
            md = os.path.join(tmp, "case%d.md" % k)
            with open(md, "w", encoding="utf-8") as f:
                f.write(md_text)
            failures = run_file(ombra, repo, md, quiet=True)
            if expect is None:
                ok = not failures
            else:
                ok = any(expect in f for f in failures)
            print("%s: %s -> %s" % ("ok" if ok else "WRONG", what,
                                     "; ".join(failures) if failures else "passes"))
            bad += not ok
    return 1 if bad else 0


def main(argv):
    if len(argv) == 3 and argv[2] == "--selftest":
        return selftest(os.path.abspath(argv[0]), os.path.abspath(argv[1]))
    if len(argv) not in (3, 4) or (len(argv) == 4 and argv[3] != "--update"):
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        return 2
    ombra, repo, md = os.path.abspath(argv[0]), os.path.abspath(argv[1]), argv[2]
    failures = run_file(ombra, repo, md, update=len(argv) == 4)
    for f in failures:
        print("FAILED: " + f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
