"""Runs the sessions of sessions.jsonl with the older build and the new one
and prints what differs, grouped by kind, then grouped by cause: the
first line of the joined log that differs, with its numbers masked, so that
every difference a session shows after a first one is counted with it.

Each session runs twice per build, each time in a fresh folder holding
links to the data files it needs and the files it writes first: once with
standard output and standard error apart (their texts, the status and every
file the session leaves are compared), once with both on one pipe (the
joined log, which shows how the two streams interleave).  Texts are
compared with the session's folder, the build's program and data directory
written as $DIR, $OMBRA and $SHARE.  PNG and GIF pictures whose bytes differ
are compared by their pixels.

    python3 run.py WORK SESSIONS.jsonl OLD_OMBRA OLD_SHARE NEW_OMBRA NEW_SHARE DATADIR JOBS [--keep]
                   [--treetime TREETIME]

The folders of the sessions that differ are kept in WORK/o/ID and
WORK/n/ID (ID.in holds standard input, ID.out, ID.err and ID.log what the
build printed); the others are removed unless --keep is given.

With --treetime (bench/treetime, built), every run goes through it, which
measures the processor time of the session's whole process tree, the
helper processes it starts included, and ends the tree at the time limit;
a table of the ratios new/old per class of session (bench/pairstats.py)
follows the differences.
"""

import concurrent.futures
import difflib
import json
import os
import re
import shlex
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(HERE)), "bench"))
import pairstats  # noqa: E402
import pictures  # noqa: E402

TIMEOUT = 120
# bench/treetime, built: each run goes through it, which measures the
# processor time of the session's whole process tree (its helpers too).
TREETIME = None
# The kinds of difference in the order they are reported; "file bytes (.EXT)"
# groups follow, one per kind of file.
KINDS = ["status", "stdout", "stderr", "joined log", "files made", "pictures (pixels)"]


class Build:
    def __init__(self, tag, ombra, share):
        self.tag, self.ombra, self.share = tag, os.path.abspath(ombra), os.path.abspath(share)


def prepare(where, sess, datadir):
    if os.path.lexists(where):
        shutil.rmtree(where)
    os.makedirs(where)
    for f in sess["files"]:
        os.symlink(os.path.join(datadir, f), os.path.join(where, f))
    for f in sess.get("copies", []):
        shutil.copyfile(os.path.join(datadir, f), os.path.join(where, f))
    for name, text in sess["extras"].items():
        with open(os.path.join(where, name), "w") as f:
            f.write(text)


def environment(build, work):
    env = {"PATH": "/usr/local/bin:/usr/bin:/bin", "HOME": os.path.join(work, "home"), "LANG": "C",
           "LC_ALL": "C", "TZ": "UTC", "TMPDIR": os.path.join(work, "tmp"), "OMDDIR": build.share}
    return env


# What differs from build to build and run to run without being a
# difference: the moment the program was built (help), the process id in
# the name of a file being written (NAME.PID.N.part).
VOLATILE = [(re.compile(rb"Built on [A-Z][a-z]{2} [ 0-9]\d \d{4} \d\d:\d\d:\d\d"), b"Built on $WHEN"),
            (re.compile(rb"\.\d+\.(\d+)\.part\b"), rb".$PID.\1.part")]


def masked(data, where, build):
    for path, token in ((where, b"$DIR"), (build.ombra, b"$OMBRA"), (build.share, b"$SHARE")):
        data = data.replace(os.fsencode(path), token)
    for pattern, token in VOLATILE:
        data = pattern.sub(token, data)
    return data


def measured_status(report):
    """(status as the run's return code would give it, processor seconds)
    from treetime's report, or None where there is none.  A process the
    session left running when it ended (treetime ends it after a while,
    where the pipes it held would have made the run time out) is part of
    the status, so that a build that leaves one differs from one that does
    not."""
    try:
        with open(report) as f:
            p = f.read().split()
        os.unlink(report)
    except OSError:
        return None
    if len(p) < 11 or p[-4] != "left":
        return None
    how, n = p[9], p[10] if p[9] != "timeout" else "0"
    status = {"exit": n, "signal": "-" + n}.get(how, "timeout after %d s" % TIMEOUT)
    if how != "timeout" and p[-3] != "0":
        status += " (%s process(es) left running)" % p[-3]
    return status, float(p[1]) + float(p[3])


def execute(build, sess, where, work, joined, cost):
    """(status, stdout, stderr) of one run; stderr is None when joined.  The
    run's processor time is appended to cost where it is measured."""
    cmd = [build.ombra] + sess["args"]
    limit = TIMEOUT
    if TREETIME:
        report = os.path.join(work, "cost", "%s.%s%s" % (sess["id"], build.tag, ".j" if joined else ""))
        # treetime ends the whole tree at the limit; the wait here is a backstop.
        cmd = [TREETIME, "-a", report, "-t", str(TIMEOUT), "-g", "10"] + cmd
        limit = TIMEOUT + 30
    err = subprocess.STDOUT if joined else subprocess.PIPE
    try:
        r = subprocess.run(cmd, input=sess["stdin"].encode(), stdout=subprocess.PIPE, stderr=err,
                           cwd=where, env=environment(build, work), timeout=limit)
        status = str(r.returncode)
        out, errout = r.stdout, r.stderr
    except subprocess.TimeoutExpired as e:
        status, out, errout = "timeout after %d s" % TIMEOUT, e.stdout or b"", e.stderr or b""
    if TREETIME:
        got = measured_status(report)
        if got:
            status = got[0]
            cost.append(got[1])
    return status, masked(out, where, build), None if joined else masked(errout or b"", where, build)


def made_files(where, sess, build):
    """{relative name: masked bytes} of the regular files a run left."""
    out = {}
    for top, dirs, files in os.walk(where):
        for f in files:
            p = os.path.join(top, f)
            if os.path.islink(p):
                continue
            rel = masked(os.fsencode(os.path.relpath(p, where)), where, build).decode(errors="replace")
            try:
                with open(p, "rb") as fh:
                    out[rel] = masked(fh.read(), where, build)
            except OSError as e:
                out[rel] = ("unreadable: %s" % e).encode()
    return out


def first_difference(a, b):
    la, lb = a.decode(errors="replace").splitlines(), b.decode(errors="replace").splitlines()
    diff = list(difflib.unified_diff(la, lb, "old", "new", n=1, lineterm=""))
    return diff[2:12]


# The prompts and questions that stand before a line of the log depend on
# where in the session it comes, not on what it says.
PROMPTS = re.compile(r"(?<=^[-+])(om-?> |Press enter to continue::::: )+")


def cause(old, new, found):
    """The first difference of the joined log, numbers masked, or the kinds
    that differ where the log is the same: what a group of sessions shares."""
    la = old["joined log"].decode(errors="replace").splitlines()
    lb = new["joined log"].decode(errors="replace").splitlines()
    for tag, i1, i2, j1, j2 in difflib.SequenceMatcher(None, la, lb, autojunk=False).get_opcodes():
        if tag != "equal":
            pair = ["-" + la[i1] if i1 < i2 else "", "+" + lb[j1] if j1 < j2 else ""]
            return " | ".join(re.sub(r"\d+(\.\d+)?", "N", PROMPTS.sub("", x))[:100] for x in pair if x)
    return "same log; " + ", ".join(sorted({k for k, _ in found}))


def compare(old, new, dirs):
    """[(kind, detail lines)] of what differs between two runs' results."""
    found = []
    if old["status"] != new["status"]:
        found.append(("status", ["old %s, new %s" % (old["status"], new["status"])]))
    for kind in ("stdout", "stderr", "joined log"):
        if old[kind] != new[kind]:
            found.append((kind, first_difference(old[kind], new[kind])))
    fo, fn = old["files"], new["files"]
    if set(fo) != set(fn):
        found.append(("files made", ["only old: %s" % " ".join(sorted(set(fo) - set(fn))),
                                     "only new: %s" % " ".join(sorted(set(fn) - set(fo)))]))
    for name in sorted(set(fo) & set(fn)):
        if fo[name] == fn[name]:
            continue
        if name.endswith((".png", ".gif")) or fo[name][:4] in (b"\x89PNG", b"GIF8"):
            n = pictures.differing(os.path.join(dirs[0], name), os.path.join(dirs[1], name))
            if n == 0:
                continue
            if n is not None:
                found.append(("pictures (pixels)", ["%s: %d pixels differ" % (name, n)]))
                continue
        ext = os.path.splitext(name)[1] or name
        found.append(("file bytes (%s)" % ext, ["%s: %d bytes old, %d new" % (name, len(fo[name]),
                                                                         len(fn[name]))]))
    return found


def run_session(sess, builds, work, datadir, keep):
    """(id, what differs, (old, new) processor seconds or None)."""
    sid = sess["id"]
    results, dirs, costs = {}, {}, {}
    # The builds take turns at running first, so that neither always finds
    # the other's pages in the caches.
    for b in builds if int(sid) % 2 == 0 else builds[::-1]:
        cost = []
        where = os.path.join(work, b.tag, sid)
        prepare(where, sess, datadir)
        status, out, err = execute(b, sess, where, work, False, cost)
        files = made_files(where, sess, b)
        jwhere = where + ".j"
        prepare(jwhere, sess, datadir)
        _, log, _ = execute(b, sess, jwhere, work, True, cost)
        shutil.rmtree(jwhere)
        results[b.tag] = {"status": status, "stdout": out, "stderr": err, "joined log": log, "files": files}
        dirs[b.tag] = where
        costs[b.tag] = sum(cost) if len(cost) == 2 else None
    results = [results[b.tag] for b in builds]
    dirs = [dirs[b.tag] for b in builds]
    cpu = tuple(costs[b.tag] for b in builds)
    found = compare(results[0], results[1], dirs)
    if found:
        found.append(("cause", [cause(results[0], results[1], found)]))
        with open(os.path.join(work, sid + ".in"), "w") as f:
            f.write(sess["stdin"])
        for b, r in zip(builds, results):
            for ext, key in ((".out", "stdout"), (".err", "stderr"), (".log", "joined log")):
                with open(os.path.join(work, b.tag, sid + ext), "wb") as f:
                    f.write(r[key])
    elif not keep:
        for d in dirs:
            shutil.rmtree(d)
    return sid, found, cpu if None not in cpu else None


def rerun_line(sess, build, work):
    where = os.path.join(work, build.tag, sess["id"])
    cmd = "cd %s && env OMDDIR=%s %s %s" % (shlex.quote(where), shlex.quote(build.share),
                                            shlex.quote(build.ombra), " ".join(map(shlex.quote, sess["args"])))
    if sess["stdin"]:
        cmd += " < ../%s.in" % sess["id"]
    return cmd


def report(groups, sessions, builds, work, count, seconds):
    print("differential: %d sessions run with both builds in %.0f s" % (count, seconds))
    if not groups:
        print("No differences.")
        return 0
    causes = {}
    for sid, detail in groups.pop("cause", []):
        causes.setdefault(detail[0], []).append(sid)
    for kind in [k for k in KINDS if k in groups] + sorted(set(groups) - set(KINDS)):
        ids = groups[kind]
        sid, detail = ids[0]
        sess = sessions[sid]
        print("\n%s: %d session(s) differ, e.g. %s" % (kind, len(ids), sid))
        for line in detail:
            print("    " + line)
        print("  rerun the older build: " + rerun_line(sess, builds[0], work))
        print("  rerun the new build:   " + rerun_line(sess, builds[1], work))
        print("  folders: %s/{o,n}/%s (printed: %s/{o,n}/%s.{out,err,log})" % (work, sid, work, sid))
        others = [i for i, _ in ids[1:9]]
        if others:
            print("  others: " + " ".join(others) + (" ..." if len(ids) > 9 else ""))
    print("\nBy cause (the first line of the joined log that differs):")
    for text, ids in sorted(causes.items(), key=lambda kv: (-len(kv[1]), kv[0])):
        print("%6d  %s\n        e.g. %s" % (len(ids), text, " ".join(ids[:4])))
    return 1


def cpu_report(costs, sessions):
    """The processor time of the new build against the old per class of
    session and per block of commands; returns the classes slower than the
    limit beyond the noise."""
    if not costs:
        return []
    classes, blocks = {}, {}
    for sid, pair in costs.items():
        classes.setdefault(sessions[sid].get("class", "?"), []).append(pair)
        for b in sessions[sid].get("blocks", []):
            blocks.setdefault(b, []).append(pair)
    print("\nProcessor time, new/old, of each session's whole process tree (its two runs per build),"
          "\nthe median of the sessions' ratios, by the kind of data a session opens first:")
    flagged, doubtful = pairstats.group_table([("all sessions", list(costs.values()))] +
                                              sorted(classes.items()), "class")
    print("\nBy the blocks of commands a session holds (one session counts in each of its blocks):")
    bflagged, bdoubtful = pairstats.group_table(sorted(blocks.items()), "block")
    text = "differential: processor time new/old: %d of %d classes slower than %.2f beyond the noise" % (
        len(flagged), len(classes), pairstats.LIMIT)
    if flagged:
        text += " (" + ", ".join(flagged) + ")"
    for what, got in (("classes above the limit within the noise", doubtful),
                      ("blocks slower beyond the noise", bflagged),
                      ("blocks above the limit within the noise", bdoubtful)):
        if got:
            text += "; %s: %s" % (what, ", ".join(got))
    print(text)
    return flagged


def main(argv):
    global TREETIME
    keep = "--keep" in argv
    argv = [a for a in argv if a != "--keep"]
    if "--treetime" in argv:
        i = argv.index("--treetime")
        TREETIME = os.path.abspath(argv[i + 1])
        del argv[i:i + 2]
    work, sfile, old, oldshare, new, newshare, datadir, jobs = argv[1:9]
    builds = [Build("o", old, oldshare), Build("n", new, newshare)]
    for d in ("o", "n", "home", "tmp", "cost"):
        os.makedirs(os.path.join(work, d), exist_ok=True)
    with open(sfile) as f:
        sessions = [json.loads(line) for line in f]
    by_id = {s["id"]: s for s in sessions}
    groups, costs = {}, {}
    start = time.time()
    done = 0
    with concurrent.futures.ThreadPoolExecutor(int(jobs)) as pool:
        futures = [pool.submit(run_session, s, builds, work, os.path.abspath(datadir), keep) for s in sessions]
        for fut in concurrent.futures.as_completed(futures):
            sid, found, cpu = fut.result()
            if cpu:
                costs[sid] = cpu
            for kind, detail in found:
                groups.setdefault(kind, []).append((sid, detail))
            done += 1
            if done % 500 == 0:
                print("differential: %d of %d sessions, %.0f s" % (done, len(sessions), time.time() - start),
                      file=sys.stderr, flush=True)
    for kind in groups:
        groups[kind].sort()
    status = report(groups, by_id, builds, work, len(sessions), time.time() - start)
    cpu_report(costs, by_id)
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv))
