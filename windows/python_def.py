"""Writes the interpreter DLL's definition file: the functions and data that
the given objects use, read from their undefined symbols (imported ones are
"__imp__Name"; a function whose address sits in a static table is referenced
as "_Name"). Every C API name starts with "Py" or "_Py".

  python_def.py NM HEADER_DIR OUTPUT OBJECT...

The file names no library: dlltool's --dllname makes python26.dll's and
python27.dll's import libraries from the same file.

Names that the headers declare with PyAPI_DATA are marked DATA, so the
import library holds only their "__imp_" pointer and no code stub (data
reached through a stub would read the stub's jump instruction). An object
that names data directly ("_PyExc_TypeError", not through "__imp_") is
refused.
"""
import glob
import os
import re
import subprocess
import sys


def undefined_symbols(nm, objects):
    out = subprocess.check_output([nm, '-u'] + objects)
    fields = (line.split() for line in out.splitlines())
    return set(f[1] for f in fields if len(f) == 2 and f[0] == 'U')


def data_names(header_dir):
    """The names declared "PyAPI_DATA(type) name, ...;" by the headers; a type
    may hold parentheses, a name may stand in "(*name)(...)"."""
    names = set()
    for path in glob.glob(os.path.join(header_dir, '*.h')):
        text = open(path).read()
        text = re.sub(r'/\*.*?\*/', ' ', text, flags=re.S)
        text = re.sub(r'(?m)^[ \t]*#(?:.*\\\n)*.*$', ' ', text)  # directives, continued or not
        for start in [m.end() for m in re.finditer(r'\bPyAPI_DATA\(', text)]:
            depth, index = 1, start
            while depth:  # past the type's closing parenthesis
                depth += {'(': 1, ')': -1}.get(text[index], 0)
                index += 1
            part = ''
            for char in text[index:]:
                depth += {'(': 1, ')': -1}.get(char, 0)
                if depth == 0 and char in ',;':
                    names.add(re.search(r'[A-Za-z_]\w*', part).group(0))
                    part = ''
                    if char == ';':
                        break
                else:
                    part += char
    return names


def main(nm, header_dir, output, objects):
    symbols = set(s for s in undefined_symbols(nm, objects) if re.match(r'(__imp__|_)_?Py', s))
    names = set(re.sub(r'^(__imp_)?_', '', s) for s in symbols)
    if not names:
        raise SystemExit('python_def.py: the objects use no Python C API')
    data = data_names(header_dir)
    if not data:
        raise SystemExit('python_def.py: no PyAPI_DATA declarations in %s' % header_dir)
    direct = sorted(s[1:] for s in symbols if not s.startswith('__imp_') and s[1:] in data)
    if direct:
        raise SystemExit('python_def.py: data of the interpreter named without __imp_ '
                         '(declare it PyAPI_DATA): ' + ' '.join(direct))
    with open(output, 'w') as out:
        out.write("; The interpreter's C API that the module uses (DATA: through __imp_ only).\n"
                  'EXPORTS\n')
        for name in sorted(names):
            out.write('  %s%s\n' % (name, ' DATA' if name in data else ''))


if __name__ == '__main__':
    if len(sys.argv) < 5:
        raise SystemExit(__doc__)
    main(sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:])
