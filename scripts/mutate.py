#!/usr/bin/env python3
"""Mutation trial over chosen lines of src/: how many small faults the tests catch.

The lines are those of src/ whose last change (git blame HEAD) is one of the
commits given with --commits, plus the lines of the --files whose last change
lies in --since..HEAD.  Mutants are sampled from them with a seed; each one
changes one place, is built in a private copy of the tree (build-mN/tree, with
its build in build-mN/tree/build) and is run against the tests of its folder.
A developer tool, not run by CI; see docs/contributing.md.
"""
import argparse
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import threading
import time

CPP = ('.cpp', '.cc', '.h', '.hpp')

# The tests run for a mutant of src/<folder>/: the test binaries whose tests
# run, and ctest names (regular expressions, matched from the start) of
# tests run besides.
TESTS = {
    # base lies under everything: the files written under part names
    # (metafiles, pictures, fwrite, LATS) and the calls tests/base/callhook
    # makes fail are tested in the folders above it.
    'base': (['test_base', 'test_main', 'test_gx', 'test_plot', 'test_lats', 'test_sdf', 'test_cmd',
              'test_script', 'test_data', 'test_expr'],
             [r'e2e\.(session|shell|sdf_shell_escape|sdf_helper|lats_|display_fwrite|gxcmd_)']),
    'main': (['test_main'], [r'e2e\.(session|shell|window|x11|qa3)']),
    # The time reductions' steps taken from a file's map: their tests build
    # on the evaluator, in the binaries of the folders above.
    'sdf': (['test_sdf'], [r'e2e\..*sdf', r'e2e\.(qa4_month_end|open_selfdescribing)', r'SdfViews\.']),
    'lats': (['test_lats', 'test_cmd'], [r'e2e\..*lats']),  # test_cmd: set lats
    'data': (['test_data'], [r'e2e\.(data_|qa4_|sdf_month_names)', r'(SdfViews|StepViews)\.']),
    'plot': (['test_plot'], [r'e2e\.(maps_|display_|plots_)']),
}

KEYWORDS = {'if', 'while', 'for', 'switch', 'return', 'sizeof', 'delete', 'case',
            'throw', 'new', 'do', 'else', 'catch', 'static_assert', 'decltype'}


def git(*args, cwd='.'):
    return subprocess.run(['git', *args], cwd=cwd, check=True, capture_output=True,
                          text=True).stdout


# ---- the lines -------------------------------------------------------------

def code_mask(text):
    """The text with comments, string and character literals and preprocessor
    lines blanked (newlines kept), so that columns still match."""
    out = list(text)
    i, n = 0, len(text)
    line_start = True
    while i < n:
        c = text[i]
        if line_start and c in ' \t':
            i += 1
            continue
        if line_start and c == '#':          # preprocessor line, with continuations
            while i < n and not (text[i] == '\n' and text[i - 1] != '\\'):
                out[i] = ' '
                i += 1
            continue
        line_start = c == '\n'
        if text.startswith('//', i):
            while i < n and text[i] != '\n':
                out[i] = ' '
                i += 1
        elif text.startswith('/*', i):
            j = text.find('*/', i + 2)
            j = n if j < 0 else j + 2
            for k in range(i, j):
                if out[k] != '\n':
                    out[k] = ' '
            i = j
        elif c == 'R' and text.startswith('"', i + 1) and not (i and (text[i - 1].isalnum() or text[i - 1] == '_')):
            m = re.match(r'R"([^(\s]*)\(', text[i:])
            end = text.find(')' + (m.group(1) if m else '') + '"', i)
            j = n if end < 0 else end + len(m.group(1) if m else '') + 2
            for k in range(i, j):
                if out[k] != '\n':
                    out[k] = ' '
            i = j
        elif c in '"\'' and not (c == "'" and i and text[i - 1].isalnum()):
            j = i + 1
            while j < n and text[j] != c and text[j] != '\n':
                j += 2 if text[j] == '\\' else 1
            for k in range(i, min(j + 1, n)):
                out[k] = ' '
            i = j + 1
        else:
            i += 1
    return ''.join(out)


def universe(commits, files, since):
    """{path: set of line numbers} of the trial."""
    full = {git('rev-parse', c).strip() for c in commits}
    paths = set()
    for c in full:
        paths |= {p for p in git('show', '--name-only', '--format=', c).split()
                  if p.startswith('src/') and p.endswith(CPP)}
    tracked = git('ls-files', 'src').split()
    named = {p for p in tracked for f in files if p.endswith('/' + f) or p == f}
    ranged = set(git('rev-list', since + '..HEAD').split()) if since and named else set()
    lines = {}
    for path in sorted(paths | named):
        if not os.path.exists(path):
            continue
        want = full | (ranged if path in named else set())
        sha = None
        for row in git('blame', '-p', 'HEAD', '--', path).splitlines():
            m = re.match(r'([0-9a-f]{40}) \d+ (\d+)', row)
            if m:
                sha, num = m.group(1), int(m.group(2))
                if sha in want:
                    lines.setdefault(path, set()).add(num)
    return lines


# ---- the mutation operators ------------------------------------------------

def balanced_close(code, start):
    depth = 0
    for k in range(start, len(code)):
        depth += {'(': 1, ')': -1}.get(code[k], 0)
        if depth == 0:
            return k
    return -1


def sites(line, code, prev_code):
    """(operator, column, old text, new text) for every place of one line."""
    out = []

    def sub(op, pattern, swap):
        for m in re.finditer(pattern, code):
            new = swap(m.group(0))
            if new is not None:
                out.append((op, m.start(), m.group(0), new))

    sub('&&/||', r'&&|\|\|', lambda s: '||' if s == '&&' else '&&')
    sub('==/!=', r'==|!=', lambda s: '!=' if s == '==' else '==')
    sub('</<=', r'(?<=\s)<=?(?=\s)', lambda s: '<=' if s == '<' else '<')
    sub('>/>=', r'(?<=\s)>=?(?=\s)', lambda s: '>=' if s == '>' else '>')
    sub('true/false', r'\breturn\s+(true|false)\b',
        lambda s: s.replace('true', 'false') if 'true' in s else s.replace('false', 'true'))
    unary = [m.start() for m in re.finditer(r'(?<![\w)\]\s])-1(?![\w.])|(?<=[=(,\[]\s)-1(?![\w.])|(?<=return\s)-1(?![\w.])', code)]
    for k in sorted(set(unary)):
        out.append(('-1->0', k, '-1', '0'))
    for m in re.finditer(r'(?<![\w.\'])([01])([uUlLzZ]{0,3})(?![\w.\'])', code):
        if m.start() - 1 in unary:
            continue
        out.append(('0/1', m.start(), m.group(0), ('1' if m.group(1) == '0' else '0') + m.group(2)))
    for m in re.finditer(r'(?<=\s)[+-](?=\s)', code):
        before, after = line[:m.start()].rstrip(), line[m.end():].lstrip()
        if before.endswith('"') or after.startswith('"') or not before or before[-1] in '=(,<>&|+-*/?:':
            continue
        out.append(('+/-', m.start(), m.group(0), '-' if m.group(0) == '+' else '+'))
    for m in re.finditer(r'\bif\s*\(', code):
        if re.match(r'\bif\s+constexpr', code[m.start():]):
            continue
        open_ = m.end() - 1
        close = balanced_close(code, open_)
        if close > 0:
            cond = line[open_:close + 1]
            out.append(('if-not', open_, cond, '(!' + cond + ')'))
    m = re.match(r'(\s*)([A-Za-z_][\w:]*(?:\s*(?:\.|->)\s*[A-Za-z_]\w*)*\s*)\(', code)
    if m and m.group(2).split(':')[0].strip() not in KEYWORDS and code.rstrip().endswith(';'):
        close = balanced_close(code, m.end() - 1)
        ends_ok = prev_code.rstrip()[-1:] in ('', ';', '{', '}', ':', ')') or prev_code.rstrip().endswith('else')
        if close > 0 and code[close + 1:].strip() == ';' and ends_ok:
            stmt = line[m.end(1):code.rstrip().rfind(';') + 1]
            out.append(('drop-call', m.end(1), stmt, ';'))
    return out


def all_sites(lines):
    found = []
    for path in sorted(lines):
        text = open(path, encoding='utf-8', errors='surrogateescape').read()
        src, code = text.split('\n'), code_mask(text).split('\n')
        for num in sorted(lines[path]):
            if num > len(src) or not code[num - 1].strip():
                continue
            prev = next((c for c in reversed(code[:num - 1]) if c.strip()), '')
            for op, col, old, new in sites(src[num - 1], code[num - 1], prev):
                found.append({'file': path, 'line': num, 'op': op, 'col': col,
                              'old': old, 'new': new})
    found.sort(key=lambda s: (s['file'], s['line'], s['col'], s['op']))
    return found


# ---- running a mutant ------------------------------------------------------

def run(cmd, cwd, cap, env=None):
    """(status, output); status None when the cap ran out (the group is killed)."""
    p = subprocess.Popen(cmd, cwd=cwd, env=env, stdout=subprocess.PIPE,
                         stderr=subprocess.STDOUT, text=True, errors='replace',
                         start_new_session=True)
    try:
        out, _ = p.communicate(timeout=cap)
        return p.returncode, out
    except subprocess.TimeoutExpired:
        if p.pid > 0:
            os.killpg(p.pid, signal.SIGKILL)
        out, _ = p.communicate()
        return None, out


class Copy:
    """A private tree with its own build directory, reused across mutants."""

    def end_strays(self):
        """Kills what this copy's build still runs once its tests are over: a
        mutant session a test started in a session of its own (which the kill
        of the test run's group misses) may spin on without end."""
        mine = os.path.join(self.build, '')
        for pid in filter(str.isdigit, os.listdir('/proc')):
            try:
                if os.readlink('/proc/%s/exe' % pid).startswith(mine):
                    os.kill(int(pid), signal.SIGKILL)
            except OSError:
                pass

    def __init__(self, top, n):
        self.tree = os.path.join(top, 'build-m%d' % n, 'tree')
        self.build = os.path.join(self.tree, 'build')
        self.env = dict(os.environ, CCACHE_BASEDIR=self.tree, CCACHE_NOHASHDIR='1')
        for path in git('ls-files', cwd=top).splitlines():
            src, dst = os.path.join(top, path), os.path.join(self.tree, path)
            if not os.path.isfile(src):
                continue
            if os.path.exists(dst) and open(src, 'rb').read() == open(dst, 'rb').read():
                continue
            os.makedirs(os.path.dirname(dst), exist_ok=True)
            shutil.copy2(src, dst)
        if not os.path.exists(os.path.join(self.build, 'build.ninja')):
            subprocess.run(['cmake', '-S', self.tree, '-B', self.build, '-G', 'Ninja'],
                           check=True, capture_output=True, env=self.env)
        status, out = run(['ninja', '-j2'], self.build, None, self.env)
        if status != 0:
            sys.exit('the unmutated copy does not build:\n' + out[-3000:])
        listing = json.loads(run(['ctest', '--show-only=json-v1'], self.build, None)[1])
        self.tests = [(t['name'], os.path.basename((t.get('command') or [''])[0]))
                      for t in listing['tests']]

    def mutate(self, m, cap):
        folder = m['file'].split('/')[1]
        binaries, names = TESTS.get(folder, (None, None))
        if binaries is None:
            numbers, targets = [], ['all']
        else:
            picked = [(i, exe) for i, (name, exe) in enumerate(self.tests)
                      if exe in binaries or any(re.match(r, name) for r in names)]
            numbers = [str(i + 1) for i, _ in picked]
            # A test picked by name is run from its binary, built with the mutant.
            targets = ['ombra'] + sorted(set(binaries) | {exe for _, exe in picked if exe.startswith('test_')})
        path = os.path.join(self.tree, m['file'])
        original = open(path, encoding='utf-8', errors='surrogateescape').read()
        lines = original.split('\n')
        row = lines[m['line'] - 1]
        assert row[m['col']:m['col'] + len(m['old'])] == m['old'], m
        lines[m['line'] - 1] = row[:m['col']] + m['new'] + row[m['col'] + len(m['old']):]
        try:
            with open(path, 'w', encoding='utf-8', errors='surrogateescape') as f:
                f.write('\n'.join(lines))
            status, out = run(['ninja', '-j2', *targets], self.build, 900, self.env)
            if status != 0:
                # A test binary that dies while its tests are listed is caught.
                return 'killed' if 'Error running test executable' in out else 'stillborn'
            cmd = ['ctest', '-j2', '--stop-on-failure', '--output-on-failure']
            if numbers:
                cmd += ['-I', '0,0,0,' + ','.join(numbers)]
            status, out = run(cmd, self.build, cap, self.env)
            self.end_strays()
            m['log'] = out[-4000:]
            return 'timeout' if status is None else 'survived' if status == 0 else 'killed'
        finally:
            with open(path, 'w', encoding='utf-8', errors='surrogateescape') as f:
                f.write(original)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    ap.add_argument('--commits', nargs='*', default=[], help='lines last changed by these commits')
    ap.add_argument('--files', nargs='*', default=[], help='file names (or paths) of src/ ...')
    ap.add_argument('--since', help='... whose lines last changed in SINCE..HEAD')
    ap.add_argument('--seed', type=int, default=1)
    ap.add_argument('--count', type=int, default=100)
    ap.add_argument('-j', type=int, default=3, help='private copies run side by side')
    ap.add_argument('--cap', type=int, default=360, help='seconds for one mutant\'s tests')
    ap.add_argument('--only', help='run only these mutant numbers (1,5,9)')
    ap.add_argument('--list', action='store_true', help='list the mutants, run nothing')
    ap.add_argument('--json', help='write the results here too')
    a = ap.parse_args()
    top = git('rev-parse', '--show-toplevel').strip()
    os.chdir(top)
    found = all_sites(universe(a.commits, a.files, a.since))
    total_lines = len({(s['file'], s['line']) for s in found})
    chosen = random.Random(a.seed).sample(found, min(a.count, len(found)))
    for i, m in enumerate(chosen):
        m['id'] = i + 1
    if a.only:
        keep = {int(x) for x in a.only.split(',')}
        chosen = [m for m in chosen if m['id'] in keep]
    print('%d places on %d lines; %d mutants' % (len(found), total_lines, len(chosen)), flush=True)
    if not a.list:
        queue, lock = list(chosen), threading.Lock()

        def worker(n):
            copy = Copy(top, n)
            while True:
                with lock:
                    if not queue:
                        return
                    m = queue.pop(0)
                t0 = time.time()
                m['outcome'] = copy.mutate(m, a.cap)
                with lock:
                    print('  #%-3d %-8s %4.0fs %s:%d %s' % (m['id'], m['outcome'], time.time() - t0,
                                                          m['file'], m['line'], m['op']), flush=True)

        threads = [threading.Thread(target=worker, args=(n + 1,)) for n in range(a.j)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
    print('\n%-4s %-28s %-10s %-46s %s' % ('#', 'file:line', 'operator', 'original -> mutant', 'outcome'))
    for m in sorted(chosen, key=lambda m: (m['file'], m['line'], m['col'])):
        change = ('%s -> %s' % (m['old'], m['new'])).replace('\n', ' ')
        print('%-4d %-28s %-10s %-46s %s' % (m['id'], '%s:%d' % (m['file'][4:], m['line']), m['op'],
                                             change[:46], m.get('outcome', '-')))
    outcomes = [m.get('outcome') for m in chosen]
    born = [o for o in outcomes if o in ('killed', 'timeout', 'survived')]
    dead = sum(o in ('killed', 'timeout') for o in born)
    print('\n%d mutants: %d stillborn, %d killed (%d by timeout), %d survived; killed %.1f%% of %d'
          % (len(chosen), outcomes.count('stillborn'), dead, outcomes.count('timeout'),
             outcomes.count('survived'), 100.0 * dead / max(1, len(born)), len(born)))
    if a.json:
        with open(a.json, 'w') as f:
            json.dump(chosen, f, indent=1)


if __name__ == '__main__':
    main()
