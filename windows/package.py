"""Packs the Windows build for a bench PC, from the manifest that
windows/packages.cmake writes:

  package.py SETUP_PY MANIFEST DIST_DIR

Per interpreter X.Y (CPython 2.6 and 2.7), with NAME and VERSION from setup.py:
  NAME-VERSION-cpXY-none-win32.whl  what pip 9 or later installs
  NAME-VERSION-pyXY-win32.zip       the same files, unpacked into site-packages
                                    by hand where there is no pip
and, for every interpreter, the stand-in board library as a part of its own:
  qmdll_standin-VERSION-py2-none-win32.whl and qmdll_standin-VERSION-win32.zip

Archives are reproducible: entries sorted, fixed times and modes.

The wheels' ABI tag is "none". pip on Windows accepts "none" beside the
"cp27m" it derives for its own interpreter; pip run elsewhere for a Windows
target (--platform win32 --python-version 27) derives the ABI from the
interpreter running pip and accepts only "none" for certain. Nothing is lost:
the module names python27.dll (or python26.dll) and so loads into that
interpreter only, and it uses no part of the API that differs between the
interpreter's build variants.

Manifest lines (tab-separated):
  minimum-windows  XP | Vista
  threads          win32 | posix    (thread model of the toolchain)
  module           VERSION  BUILT_FILE  ARCHIVE_PATH   (XY: 26, 27)
  python           SOURCE_FILE  ARCHIVE_PATH
  stand-in         BUILT_FILE  ARCHIVE_PATH
"""
import ast
import base64
import hashlib
import os
import sys
import zipfile

STAND_IN = 'qmdll_standin'
# What makes the oldest Windows the DLLs load on, for the package metadata.
MINIMUM_WINDOWS = {
    'XP': ('Windows XP', ''),
    'Vista': ('Windows Vista', ' (the language runtimes linked into each DLL import '
              'GetTickCount64 from KERNEL32.dll, which Windows XP lacks)'),
}
ZIP_TIME = (1980, 1, 1, 0, 0, 0)


def setup_metadata(path):
    """{'name', 'version', 'description'} from the literal keywords of setup()."""
    tree = ast.parse(open(path).read(), path)
    for node in ast.walk(tree):
        if isinstance(node, ast.Call) and getattr(node.func, 'id', None) == 'setup':
            words = dict((k.arg, k.value.s) for k in node.keywords if isinstance(k.value, ast.Str))
            return dict((key, words[key]) for key in ('name', 'version', 'description'))
    raise SystemExit('package.py: no setup() call in %s' % path)


def read_manifest(path):
    manifest = {'module': [], 'python': [], 'stand-in': []}
    for line in open(path):
        fields = line.rstrip('\n').split('\t')
        if fields[0] in ('minimum-windows', 'threads'):
            manifest[fields[0]] = fields[1]
        elif fields[0] in manifest:
            manifest[fields[0]].append(tuple(fields[1:]))
        elif fields[0]:
            raise SystemExit('package.py: unknown manifest line %r' % line)
    return manifest


def record_hash(data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip('=')
    return 'sha256=' + digest


def write_zip(path, entries):
    """entries: [(archive path, bytes)], written in the order given."""
    archive = zipfile.ZipFile(path, 'w', zipfile.ZIP_DEFLATED)
    try:
        for name, data in entries:
            info = zipfile.ZipInfo(name, ZIP_TIME)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.external_attr = 0644 << 16
            archive.writestr(info, data)
    finally:
        archive.close()


def write_wheel(dist_dir, name, version, tag, files, metadata):
    """A wheel of files [(archive path, bytes)]; returns its file name."""
    info = '%s-%s.dist-info' % (name, version)
    wheel = ('Wheel-Version: 1.0\nGenerator: qm_python windows/package.py\n'
             'Root-Is-Purelib: false\nTag: %s\n' % tag)
    entries = sorted(files) + [(info + '/METADATA', metadata), (info + '/WHEEL', wheel)]
    record = ''.join('%s,%s,%d\n' % (path, record_hash(data), len(data)) for path, data in entries)
    entries.append((info + '/RECORD', record + info + '/RECORD,,\n'))
    filename = '%s-%s-%s.whl' % (name, version, tag)
    write_zip(os.path.join(dist_dir, filename), entries)
    return filename


def metadata(name, version, summary, classifiers, description):
    # No Requires-Python: the tags name the interpreter, and a pip that
    # installs for another target (--python-version) would test it against
    # the interpreter running pip.
    lines = ['Metadata-Version: 2.1', 'Name: ' + name, 'Version: ' + version,
             'Summary: ' + summary, 'Platform: win32']
    lines += ['Classifier: ' + c for c in classifiers]
    lines += ['Description-Content-Type: text/plain', '', description]
    return '\n'.join(lines) + '\n'


def main(setup_py, manifest_path, dist_dir):
    project = setup_metadata(setup_py)
    manifest = read_manifest(manifest_path)
    name, version = project['name'], project['version']
    windows, why = MINIMUM_WINDOWS[manifest['minimum-windows']]
    classifiers = ['Environment :: Win32 (MS Windows)',
                   'Operating System :: Microsoft :: Windows :: ' + windows,
                   'Programming Language :: Python :: Implementation :: CPython']
    if not os.path.isdir(dist_dir):
        os.makedirs(dist_dir)
    for old in os.listdir(dist_dir):
        if old.endswith(('.whl', '.zip', '.stamp')):
            os.remove(os.path.join(dist_dir, old))

    python = [(path, open(source, 'rb').read()) for source, path in manifest['python']]
    made = []
    for interpreter in sorted(set(v for v, _, _ in manifest['module'])):
        dotted = '%s.%s' % (interpreter[0], interpreter[1:])
        files = python + [(path, open(built, 'rb').read())
                          for v, built, path in manifest['module'] if v == interpreter]
        description = (
            '%s, for a 32-bit CPython %s on Windows (python%s.dll).\n'
            'Needs %s or later%s.\n\n'
            'The board library qmdll.dll is not part of this package: put the vendor\'s\n'
            'qmdll.dll beside _qm_python.pyd in site-packages (or in a directory on PATH),\n'
            'or, on a bench without a board, install the stand-in %s.\n'
            % (project['description'], dotted, interpreter, windows, why, STAND_IN))
        made.append(write_wheel(
            dist_dir, name, version, 'cp%s-none-win32' % interpreter, files,
            metadata(name, version, project['description'],
                     classifiers + ['Programming Language :: Python :: ' + dotted], description)))
        plain = '%s-%s-py%s-win32.zip' % (name, version, interpreter)
        write_zip(os.path.join(dist_dir, plain), sorted(files))
        made.append(plain)

    stand_in = [(path, open(built, 'rb').read()) for built, path in manifest['stand-in']]
    description = (
        'A simulated QM bench (two boards with one DUT each) behind the board library\'s\n'
        'functions, as qmdll.dll, for a bench PC without a board.\n'
        'Needs %s or later%s.\n'
        'Leave it out where the vendor\'s qmdll.dll and a board are present.\n' % (windows, why))
    made.append(write_wheel(
        dist_dir, STAND_IN, version, 'py2-none-win32', stand_in,
        metadata(STAND_IN, version, 'Stand-in qmdll.dll for %s without a board' % name,
                 classifiers, description)))
    plain = '%s-%s-win32.zip' % (STAND_IN, version)
    write_zip(os.path.join(dist_dir, plain), sorted(stand_in))
    made.append(plain)

    with open(os.path.join(dist_dir, 'packages.stamp'), 'w') as stamp:
        stamp.write(''.join(m + '\n' for m in made))
    for m in made:
        print 'package.py: %s' % os.path.join(dist_dir, m)


if __name__ == '__main__':
    if len(sys.argv) != 4:
        raise SystemExit(__doc__)
    main(*sys.argv[1:])
