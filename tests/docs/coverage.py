#!/usr/bin/env python3
"""The reference documentation covers every word of the program's tables.

The words come from the sources themselves: the command table (and the
words the dispatcher tests before it), the set keyword table, the query
keyword tables, the gxout kinds, the map projections, the
draw sub-commands, the set lats and fwrite options, the analysis function
table and the script built-ins.  Each word must have an entry of its own in
the reference (a heading, a list item or a table row that begins with its
syntax), so a word mentioned only in passing does not count.  The entry of
each command word must also open with its synopsis (a `text` block whose
first line starts with one of the words of the heading) and hold at least one
example block (`ombra`, or `ombra-interactive` for what needs a window).

  coverage.py SRCDIR DOCSDIR             check; exit 1 listing what is missing
  coverage.py SRCDIR DOCSDIR --selftest  also check that removing the entry of
                                         one word of each list is caught

Tables are found by their declarations anywhere under SRCDIR, so files may
move; a table that cannot be found (or yields no words) is a failure too.
"""
import os
import re
import sys


def sources(srcdir):
    out = {}
    for root, _, files in os.walk(srcdir):
        for f in files:
            if f.endswith((".cpp", ".h")):
                path = os.path.join(root, f)
                with open(path, encoding="utf-8", errors="replace") as fh:
                    out[path] = fh.read()
    return out


def block(srcs, start):
    """The text from the declaration `start` to its closing brace."""
    for text in srcs.values():
        i = text.find(start)
        if i < 0:
            continue
        j = text.find("{", i)
        depth = 0
        for k in range(j, len(text)):
            if text[k] == "{":
                depth += 1
            elif text[k] == "}":
                depth -= 1
                if depth == 0:
                    return text[i:k + 1]
    return None


def words(srcs, start, pattern):
    b = block(srcs, start)
    if b is None:
        return None
    found = []
    for w in re.findall(pattern, b):
        if w not in found:
            found.append(w)
    return found


# (name, declaration, word pattern, doc file, section regex or None,
#  entry pattern with {w} for the word)
LISTS = [
    ("command", "const cmdent cmdtab[] =", r'"([a-z0-9]+)"',
     "commands.md", None, r"`{w}[ `]"),
    ("command", "int dispatch(const char* com", r'cmpwrd\(com, "([a-z0-9]+)"\)',
     "commands.md", None, r"`{w}[ `]"),
    ("set keyword", "const setkw kwds[] =", r'\{"([a-z0-9]+)", "[A-Z0-9]+",',
     "commands.md", None, r"`set {w}[ `]"),
    ("query keyword", "const qkey qkeys[] =", r'"([a-z0-9]+)"',
     "commands.md", None, r"`q {w}[ `]"),
    ("query keyword", "const gfxkey gfxkeys[] =", r'"([a-z0-9]+)"',
     "commands.md", None, r"`q {w}[ `]"),
    ("gxout kind", "static const entry table[] =", r'\{"([a-z]+)", \d',
     "commands.md", r"gxout", r"`{w}`"),
    ("map projection", "int setmproj(", r'\{"([a-z]+)", \d+\}',
     "commands.md", r"mproj", r"`{w}`"),
    ("draw sub-command", "int omdraw(", r'cmpwrd\("([a-z]+)", kw\)',
     "commands.md", None, r"`draw {w}[ `]"),
    ("set lats sub-keyword", "int omsetlats(", r'cmpwrd\(sub, "([a-z_]+)"\)',
     "commands.md", None, r"`set lats {w}[ `]"),
    ("set lats sub-keyword", "int omsetlats(", r'\{"([a-z]+)", &l\.',
     "commands.md", None, r"`set lats {w}[ `]"),
    ("fwrite option", "int setfwrite(", r'cmpwrd\(p, "(-[a-z]+)"\)',
     "commands.md", r"fwrite", r"`{w}`"),
    ("analysis function", "const funcdef omfuncs[] =", r'\{"([a-z0-9]+)", ff',
     "functions.md", None, r"`{w}\("),
    ("script built-in", "const bentry builtins[] =", r'\{"([a-z]+)", gf',
     "scripts.md", None, r"`{w}\("),
    ("script math function", "const mentry mathfns[] =", r'\{"([a-z0-9]+)", \d+\}',
     "scripts.md", None, r"`math_{w}\("),
]

# An entry: a heading that holds the pattern anywhere, or a list item or
# table row whose first words are backticked items ending with it.
LEAD = r"^(?:#+ .*|\s*(?:[-*]|\|)\s+(?:`[^`]*`\s*(?:,|or|/|\|)?\s*)*)"


def sections(text):
    """(heading, lines) pairs; lines before the first heading go under ''."""
    out = [("", [])]
    fence = False
    for line in text.splitlines():
        if line.startswith("```"):
            fence = not fence
            continue
        if fence:
            continue
        if line.startswith("#"):
            out.append((line, [line]))
        else:
            out[-1][1].append(line)
    return out


def covered(doctext, section, entry, word):
    rx = re.compile(LEAD + entry.format(w=re.escape(word)))
    for heading, lines in sections(doctext):
        if section and not re.search(section, heading):
            continue
        if any(rx.search(l) for l in lines):
            return True
    return False


def entry_lines(doctext, word):
    """The lines of the section under the first heading that names `word`
    (fenced blocks kept), or None."""
    rx = re.compile(r"^#+ .*`%s[ `]" % re.escape(word))
    lines = doctext.splitlines()
    fence = False
    for k, line in enumerate(lines):
        if line.startswith("```"):
            fence = not fence
        if fence or not rx.search(line):
            continue
        out, inner = [], False
        for l in lines[k + 1:]:
            if l.startswith("```"):
                inner = not inner
            elif not inner and l.startswith("#"):
                break
            out.append(l)
        return line, out
    return None


def entry_faults(doctext, word):
    """What the entry of a command word lacks: a list of texts."""
    found = entry_lines(doctext, word)
    if found is None:
        return []    # reported as a missing entry
    heading, lines = found
    faults = []
    body = [l for l in lines if l.strip()]
    names = re.findall(r"`([^`]+)`", heading)
    if len(body) < 2 or body[0].strip() != "```text" or \
            not any(body[1].startswith(n) for n in names):
        faults.append("no synopsis")
    if not any(re.match(r"^```ombra(-interactive)?\s*$", l) for l in lines):
        faults.append("no example block")
    return faults


def command_words(srcs):
    ws = []
    for name, decl, pat, _, _, _ in LISTS:
        if name == "command":
            ws += [w for w in words(srcs, decl, pat) or [] if w not in ws]
    return ws + ["!"]


def check(srcs, docs):
    """The list of failure messages."""
    fails = []
    for name, decl, pat, doc, sect, entry in LISTS:
        ws = words(srcs, decl, pat)
        if not ws:
            fails.append("table of %ss not found in the sources (%s)" % (name, decl))
            continue
        if doc not in docs:
            fails.append("docs/%s is missing" % doc)
            continue
        for w in ws:
            if not covered(docs[doc], sect, entry, w):
                fails.append("docs/%s: no entry for %s %s" % (doc, name, w))
    if "int dispatch(const char* com" in "".join(srcs.values()) and \
            not covered(docs.get("commands.md", ""), None, r"`{w}", "!"):
        fails.append("docs/commands.md: no entry for command !")
    cmds = docs.get("commands.md", "")
    for w in command_words(srcs):
        for fault in entry_faults(cmds, w):
            fails.append("docs/commands.md: %s for command %s" % (fault, w))
    return fails


def cut_block(doctext, word, opening):
    """doctext without the first block of the entry of `word` whose fence
    line matches the regex `opening`."""
    heading, lines = entry_lines(doctext, word)
    all_lines = doctext.splitlines()
    start = all_lines.index(heading) + 1
    for k, l in enumerate(lines):
        if re.match(opening, l):
            end = k + 1
            while not lines[end].startswith("```"):
                end += 1
            del all_lines[start + k:start + end + 1]
            return "\n".join(all_lines)
    return doctext


def selftest(srcs, docs):
    """Removing the entry lines of one word of each list must be caught."""
    bad = []
    for name, decl, pat, doc, sect, entry in LISTS:
        ws = words(srcs, decl, pat) or []
        if not ws or doc not in docs:
            continue
        w = ws[-1]
        rx = re.compile(LEAD + entry.format(w=re.escape(w)))
        cut = "\n".join(l for l in docs[doc].splitlines() if not rx.search(l))
        mutated = dict(docs)
        mutated[doc] = cut
        if not any((" %s %s" % (name, w)) in f for f in check(srcs, mutated)):
            bad.append("removing the entry of %s %s from docs/%s is not caught" % (name, w, doc))
    # A command entry without its synopsis, or without its example blocks.
    for w, opening, fault in (("open", r"^```text", "no synopsis"),
                              ("!", r"^```ombra", "no example block"),
                              ("quit", r"^```ombra-interactive", "no example block")):
        if "commands.md" not in docs or entry_lines(docs["commands.md"], w) is None:
            continue
        # the first block for a synopsis, every one for the examples
        text, cut = docs["commands.md"], cut_block(docs["commands.md"], w, opening)
        while fault == "no example block" and cut != text:
            text, cut = cut, cut_block(cut, w, opening)
        mutated = dict(docs)
        mutated["commands.md"] = cut
        if "docs/commands.md: %s for command %s" % (fault, w) not in check(srcs, mutated):
            bad.append("removing the %s block of command %s is not caught" % (opening, w))
    return bad


def main(argv):
    if len(argv) < 3:
        print(__doc__)
        return 2
    srcs = sources(argv[1])
    docs = {}
    for f in ("commands.md", "functions.md", "scripts.md", "datasets.md"):
        p = os.path.join(argv[2], f)
        if os.path.exists(p):
            with open(p, encoding="utf-8") as fh:
                docs[f] = fh.read()
    fails = check(srcs, docs)
    if "--selftest" in argv[3:]:
        fails += selftest(srcs, docs)
    for f in fails:
        print(f)
    if not fails:
        counted = sum(len(words(srcs, l[1], l[2]) or []) for l in LISTS)
        print("every one of %d table words has its entry" % counted)
    return 1 if fails else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
