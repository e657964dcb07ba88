"""Derives, from CPython 2.7's own sources, the C API that 2.7 added to what
CPython 2.6 had: the names a module linked for python26.dll must not import.
Its output is where windows/python26_api.txt comes from.

  python26_api.py CPYTHON_2_7_SOURCE_DIR

The source tree is Debian's python2.7 source package (bullseye: 2.7.18),
unpacked with "apt-get source python2.7/bullseye". Two records in it say
what 2.7 added:
  Doc/c-api/*.rst  a ".. versionadded:: 2.7" inside a c:function, c:var,
                   c:type or c:macro directive marks that name; one at the
                   top of a file or section marks every name the section
                   documents (capsule.rst, the memoryview part of buffer.rst).
                   ".. versionchanged:: 2.7" marks a changed behaviour.
  Misc/NEWS        the "C API" sections of the 2.7 releases: every C name
                   in an entry that adds something ("new", "add", "added",
                   "backported"). Such an entry also names older functions
                   (what the new one replaces, or whose behaviour changed),
                   so these are printed as candidates, to be judged one by
                   one; the verdicts are in python26_api.txt.
"""
import glob
import os
import re
import sys

DIRECTIVE = re.compile(r'(\s*)\.\. c:(function|var|type|macro|member)::\s*(.*)')
MARKER = re.compile(r'(\s*)\.\. (versionadded|versionchanged)::\s*(\S+)')
HEADING = re.compile(r'^(=+|-+|\*+|\^+)\s*$')
C_NAME = re.compile(r'\b_?Py[A-Z_][A-Za-z0-9_]*')


def directive_name(text):
    """The C name a directive documents: the identifier before its '(' or last."""
    head = text.split('(', 1)[0]
    names = re.findall(r'[A-Za-z_]\w*', head)
    return names[-1] if names else None


def from_docs(source):
    """({name: file}, {name: 'file: first line of the change'})."""
    new, changed = {}, {}
    for path in sorted(glob.glob(os.path.join(source, 'Doc', 'c-api', '*.rst'))):
        lines = open(path).read().splitlines()
        open_section = False  # a section-level "versionadded:: 2.7" is in force
        stack = []
        for number, line in enumerate(lines):
            if HEADING.match(line) and number > 0 and lines[number - 1].strip():
                open_section = False
            match = DIRECTIVE.match(line)
            if match:
                indent = len(match.group(1))
                stack = [s for s in stack if s[0] < indent] + [(indent, directive_name(match.group(3)))]
                if open_section:
                    new[stack[-1][1]] = os.path.basename(path)
                continue
            match = MARKER.match(line)
            if not match or not match.group(3).startswith('2.7'):
                continue
            owners = [name for indent, name in stack if indent < len(match.group(1))]
            if match.group(2) == 'versionadded':
                if owners:
                    new[owners[-1]] = os.path.basename(path)
                else:
                    open_section = True
            elif owners:
                detail = lines[number + 1].strip() if number + 1 < len(lines) else ''
                changed[owners[-1]] = '%s: %s' % (os.path.basename(path), detail)
    return new, changed


def from_news(source):
    """{name: 'bpo-NNNN (release)'} from the 2.7 releases' C API sections."""
    text = open(os.path.join(source, 'Misc', 'NEWS')).read()
    names = {}
    for release in re.split(r"\nWhat's New in Python ", text):
        if not release.startswith('2.7'):
            continue
        title = release.split('?', 1)[0]
        section = re.search(r'\nC[- ]API\n-+\n(.*?)(\n[A-Z][A-Za-z /-]+\n-+\n|\Z)', release, re.S)
        if not section:
            continue
        for entry in re.split(r'\n- ', section.group(1)):
            if re.search(r'\b(new|add|added|backported)\b', entry, re.I):
                issue = re.match(r'\s*(bpo-\d+)', entry)
                where = '%s (%s)' % (issue.group(1) if issue else 'entry', title)
                for name in C_NAME.findall(entry):
                    names.setdefault(name, where)
    return names


def main(source):
    new, changed = from_docs(source)
    for name in sorted(new):
        print 'new\t%s\tDoc/c-api/%s' % (name, new[name])
    news = from_news(source)
    for name in sorted(set(news) - set(new)):
        print 'candidate\t%s\tMisc/NEWS %s' % (name, news[name])
    for name in sorted(changed):
        print 'changed\t%s\tDoc/c-api/%s' % (name, changed[name])


if __name__ == '__main__':
    if len(sys.argv) != 2:
        raise SystemExit(__doc__)
    main(sys.argv[1])
