#!/usr/bin/env python3
"""Runs one end-to-end case of the built ombra program.

Usage: run_case.py OMBRA CASEFILE [DATADIR]

The case format is described in README.md beside this script.
"""
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile

SECTIONS = ("args", "stdin", "setup", "expect", "expect-exact", "reject",
            "status", "check", "timeout", "keep-prompts", "env", "no-final-newline", "requires")
PROMPTS = ("om> ", "om-> ")


def parse(path):
    sections = {}
    current = None
    with open(path, encoding="utf-8") as f:
        for raw in f:
            line = raw.rstrip("\n")
            if line.startswith("== "):
                name = line[3:].strip()
                if name not in SECTIONS:
                    raise SystemExit(f"{path}: unknown section '{name}'")
                current = name
                sections.setdefault(name, [])
                continue
            if current is None:
                if line.strip() == "" or line.startswith("#"):
                    continue
                raise SystemExit(f"{path}: text before the first section: {line!r}")
            sections[current].append(line)
    return sections


def strip_prompts(line):
    stripped = True
    while stripped:
        stripped = False
        for p in PROMPTS:
            if line.startswith(p):
                line = line[len(p):]
                stripped = True
    return line


def matches(pattern, line):
    if pattern.startswith("re:"):
        return re.fullmatch(pattern[3:], line) is not None
    if pattern.startswith("=:"):  # an exact line that itself begins with re: or =:
        pattern = pattern[2:]
    return pattern == line


def check_subsequence(expected, lines):
    i = 0
    for n, pat in enumerate(expected):
        while i < len(lines) and not matches(pat, lines[i]):
            i += 1
        if i == len(lines):
            return f"expected line {n + 1} not found (in order): {pat!r}"
        i += 1
    return None


def main():
    ombra, casefile = os.path.abspath(sys.argv[1]), sys.argv[2]
    datadir = os.path.abspath(sys.argv[3]) if len(sys.argv) > 3 else ""
    case = parse(casefile)
    missing = [w for l in case.get("requires", []) for w in l.split() if not shutil.which(w)]
    if missing:
        print("skipped: not installed: " + " ".join(missing))
        sys.exit(77)
    args = shlex.split(" ".join(case.get("args", [])))
    stdin_text = None
    if "stdin" in case:
        stdin_text = "".join(l + "\n" for l in case["stdin"])
        if "no-final-newline" in case:
            stdin_text = stdin_text[:-1]
    timeout = int(case.get("timeout", ["30"])[0])
    want_status = int(case.get("status", ["0"])[0])

    env = dict(os.environ)
    if datadir:
        env.setdefault("OMDDIR", datadir)
    for l in case.get("env", []):
        if "=" in l:
            k, v = l.split("=", 1)
            env[k.strip()] = v.strip()

    with tempfile.TemporaryDirectory(prefix="ombra-e2e-") as work:
        env["CASEDIR"] = os.path.dirname(os.path.abspath(casefile))
        env["OMBRA"] = ombra
        if "setup" in case:
            r = subprocess.run(["bash", "-euo", "pipefail", "-c", "\n".join(case["setup"])],
                               cwd=work, env=env, capture_output=True, text=True)
            if r.returncode != 0:
                print("setup failed:\n" + r.stdout + r.stderr)
                return 1
        try:
            r = subprocess.run([ombra] + args, cwd=work, env=env,
                               input=(stdin_text or "").encode("utf-8"),
                               capture_output=True, timeout=timeout)
        except subprocess.TimeoutExpired:
            print(f"ombra did not finish within {timeout} s")
            return 1
        out = r.stdout.decode("utf-8", "replace")
        err = r.stderr.decode("utf-8", "replace")
        lines = out.split("\n")
        if lines and lines[-1] == "":
            lines.pop()
        if "keep-prompts" not in case:
            lines = [strip_prompts(l) for l in lines]

        problems = []
        if r.returncode != want_status:
            problems.append(f"exit status {r.returncode}, expected {want_status}")
        if "expect" in case:
            p = check_subsequence(case["expect"], lines)
            if p:
                problems.append(p)
        if "expect-exact" in case:
            exp = case["expect-exact"]
            if len(exp) != len(lines) or not all(matches(p, l) for p, l in zip(exp, lines)):
                problems.append("output differs from expect-exact")
        for pat in case.get("reject", []):
            for l in lines:
                if matches(pat, l):
                    problems.append(f"rejected line present: {l!r}")
        if "check" in case and not problems:
            c = subprocess.run(["bash", "-euo", "pipefail", "-c", "\n".join(case["check"])],
                               cwd=work, env=env, capture_output=True, text=True)
            if c.returncode != 0:
                problems.append("check failed:\n" + c.stdout + c.stderr)

        if problems:
            print(f"CASE {os.path.basename(casefile)} FAILED")
            for p in problems:
                print("  " + p)
            print("---- arguments: " + " ".join(shlex.quote(a) for a in args))
            print("---- standard output:")
            print(out)
            print("---- standard error:")
            print(err)
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
