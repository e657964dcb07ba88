"""The Windows packages in the build's dist/ (windows/package.py), checked as
far as this machine can: names and tags, WHEEL, METADATA, RECORD and its
hashes, every archive's file list against the sources and the built files,
and that Debian's pip accepts each wheel for its target and refuses it for
another.

  check_packages.py SOURCE_DIR WINDOWS_BUILD_DIR
"""
import base64
import csv
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile

SOURCE, BUILD = sys.argv[1:3]
del sys.argv[1:3]
DIST = os.path.join(BUILD, 'dist')
PIP = '/usr/bin/pip3'  # Debian's python3-pip; not a pip found first on PATH
INTERPRETERS = ('26', '27')


def setup_field(name):
    text = open(os.path.join(SOURCE, 'setup.py')).read()
    return re.search(r"\b%s='([^']*)'" % name, text).group(1)


NAME, VERSION = setup_field('name'), setup_field('version')
STAND_IN = 'qmdll_standin'


def manifest():
    """({setting or 'stand-in': value or built file}, [(interpreter, built, archive path)])."""
    rows = [line.rstrip('\n').split('\t')
            for line in open(os.path.join(BUILD, 'windows', 'packages.txt'))]
    settings = dict((r[0], r[1]) for r in rows if r[0] not in ('module', 'python'))
    settings['layouts'] = [r[1] for r in rows if r[0] == 'python' and r[2] == 'qm_layouts.py'][0]
    return settings, [r[1:] for r in rows if r[0] == 'module']


SETTINGS, MODULES = manifest()


def wheel_name(interpreter):
    return '%s-%s-cp%s-none-win32.whl' % (NAME, VERSION, interpreter)


def python_files():
    """{archive path: source file} of the Python layers, from python/."""
    root = os.path.join(SOURCE, 'python')
    result = {}
    for folder, _, files in os.walk(root):
        for name in files:
            if name.endswith('.py'):
                path = os.path.join(folder, name)
                result[os.path.relpath(path, root).replace(os.sep, '/')] = path
    return result


def package_files(interpreter):
    """{archive path: the file it must equal} of an interpreter's package:
    the Python layers, the record layouts the native build wrote, and the
    modules built for that interpreter."""
    files = python_files()
    files['qm_layouts.py'] = SETTINGS['layouts']
    for version, built, archived in MODULES:
        if version == interpreter:
            files[archived] = built
    return files


def read(path):
    return open(path, 'rb').read()


def digest(data):
    return 'sha256=' + base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip('=')


def pip(*args):
    """(exit status, output) of Debian's pip, offline, with nothing cached."""
    command = [PIP, 'install', '--no-index', '--no-cache-dir', '--disable-pip-version-check'] + list(args)
    env = dict((k, v) for k, v in os.environ.items() if not k.startswith('PIP_'))
    env.update(PIP_CONFIG_FILE=os.devnull, PYTHONDONTWRITEBYTECODE='1')
    process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=env)
    out, _ = process.communicate()
    return process.returncode, out


class Names(unittest.TestCase):
    def test_what_setup_py_installs_from_the_build(self):
        # The Linux installer's list of built files names the modules and the
        # generated Python files too (its libqmdll.so is the stand-in, apart here).
        built = re.search(r"\(([^)]*'_qm_python\.so'[^)]*)\)", open(os.path.join(SOURCE, 'setup.py')).read())
        names = re.findall(r"'([\w.]+)'", built.group(1))
        modules = set(n[:-3] + '.pyd' for n in names if n.startswith('_') and n.endswith('.so'))
        generated = set(n for n in names if n.endswith('.py'))
        self.assertTrue('_qm_python.pyd' in modules and generated, names)
        for interpreter in INTERPRETERS:
            packed = set(os.path.basename(archived) for version, _, archived in MODULES
                         if version == interpreter)
            self.assertEqual(packed, modules, interpreter)
            self.assertTrue(generated <= set(package_files(interpreter)), interpreter)

    def test_every_archive_and_nothing_else(self):
        expected = set([wheel_name(v) for v in INTERPRETERS] +
                       ['%s-%s-py%s-win32.zip' % (NAME, VERSION, v) for v in INTERPRETERS] +
                       ['%s-%s-py2-none-win32.whl' % (STAND_IN, VERSION),
                        '%s-%s-win32.zip' % (STAND_IN, VERSION)])
        made = set(n for n in os.listdir(DIST) if n.endswith(('.whl', '.zip')))
        self.assertEqual(made, expected)


class Wheels(unittest.TestCase):
    def wheels(self):
        """[(file name, {archive path: expected bytes}, tag)] for every wheel."""
        result = [(wheel_name(v), dict((a, read(p)) for a, p in package_files(v).items()),
                   'cp%s-none-win32' % v) for v in INTERPRETERS]
        result.append(('%s-%s-py2-none-win32.whl' % (STAND_IN, VERSION),
                       {'qmdll.dll': read(SETTINGS['stand-in'])}, 'py2-none-win32'))
        return result

    def test_file_lists_and_contents(self):
        for filename, files, _ in self.wheels():
            name = filename.split('-')[0]
            info = '%s-%s.dist-info/' % (name, VERSION)
            archive = zipfile.ZipFile(os.path.join(DIST, filename))
            self.assertEqual(sorted(archive.namelist()),
                             sorted(files.keys() + [info + n for n in ('METADATA', 'WHEEL', 'RECORD')]))
            for path, data in files.items():
                self.assertEqual(archive.read(path), data, (filename, path))

    def test_wheel_file_and_its_tag(self):
        for filename, _, tag in self.wheels():
            archive = zipfile.ZipFile(os.path.join(DIST, filename))
            info = '%s-%s.dist-info/' % (filename.split('-')[0], VERSION)
            fields = [line.split(': ', 1) for line in archive.read(info + 'WHEEL').splitlines()]
            self.assertEqual(fields[0], ['Wheel-Version', '1.0'])
            self.assertTrue(['Root-Is-Purelib', 'false'] in fields)
            self.assertEqual([v for k, v in fields if k == 'Tag'], [tag])
            self.assertTrue(filename.endswith('-%s.whl' % tag))

    def test_record_hashes_every_other_file(self):
        for filename, _, _ in self.wheels():
            archive = zipfile.ZipFile(os.path.join(DIST, filename))
            info = '%s-%s.dist-info/' % (filename.split('-')[0], VERSION)
            rows = list(csv.reader(archive.read(info + 'RECORD').splitlines()))
            self.assertEqual(sorted(r[0] for r in rows), sorted(archive.namelist()), filename)
            for path, hashed, size in rows:
                if path == info + 'RECORD':
                    self.assertEqual((hashed, size), ('', ''))
                    continue
                data = archive.read(path)
                self.assertEqual((hashed, size), (digest(data), str(len(data))), (filename, path))

    def test_metadata(self):
        minimum = 'Operating System :: Microsoft :: Windows :: Windows ' + SETTINGS['minimum-windows']
        for filename, _, tag in self.wheels():
            name = filename.split('-')[0]
            archive = zipfile.ZipFile(os.path.join(DIST, filename))
            text = archive.read('%s-%s.dist-info/METADATA' % (name, VERSION))
            head, body = text.split('\n\n', 1)
            fields = [line.split(': ', 1) for line in head.splitlines()]
            self.assertEqual(fields[0][0], 'Metadata-Version')
            self.assertTrue(['Name', name] in fields and ['Version', VERSION] in fields, fields)
            self.assertTrue(['Classifier', minimum] in fields, fields)
            self.assertTrue(('Windows %s or later' % SETTINGS['minimum-windows']) in body, body)
            if tag.startswith('cp'):
                dotted = tag[2] + '.' + tag[3]
                self.assertTrue(['Classifier', 'Programming Language :: Python :: ' + dotted] in fields)
                self.assertTrue('python%s.dll' % tag[2:4] in body and STAND_IN in body, body)


class PlainZips(unittest.TestCase):
    def test_the_files_of_the_wheel_at_the_top(self):
        for interpreter in INTERPRETERS:
            archive = zipfile.ZipFile(os.path.join(DIST, '%s-%s-py%s-win32.zip' % (NAME, VERSION, interpreter)))
            files = package_files(interpreter)
            self.assertEqual(sorted(archive.namelist()), sorted(files))
            for path, source in files.items():
                self.assertEqual(archive.read(path), read(source), path)
        archive = zipfile.ZipFile(os.path.join(DIST, '%s-%s-win32.zip' % (STAND_IN, VERSION)))
        self.assertEqual(archive.namelist(), ['qmdll.dll'])
        self.assertEqual(archive.read('qmdll.dll'), read(SETTINGS['stand-in']))

    def test_made_again_byte_for_byte(self):
        again = tempfile.mkdtemp()
        try:
            subprocess.check_call([sys.executable, os.path.join(SOURCE, 'windows', 'package.py'),
                                   os.path.join(SOURCE, 'setup.py'),
                                   os.path.join(BUILD, 'windows', 'packages.txt'), again],
                                  stdout=open(os.devnull, 'w'))
            for name in os.listdir(DIST):
                if name.endswith(('.whl', '.zip')):
                    self.assertEqual(read(os.path.join(again, name)), read(os.path.join(DIST, name)), name)
        finally:
            shutil.rmtree(again)


@unittest.skipUnless(os.path.exists(PIP), "Debian's pip (%s, package python3-pip) is not installed" % PIP)
class DebianPip(unittest.TestCase):
    def setUp(self):
        self.target = tempfile.mkdtemp()

    def tearDown(self):
        shutil.rmtree(self.target)

    def install(self, filename, platform, version):
        return pip('--target', self.target, '--platform', platform, '--python-version', version,
                   '--only-binary', ':all:', '--no-deps', os.path.join(DIST, filename))

    def test_installs_each_wheel_for_its_interpreter(self):
        for interpreter in INTERPRETERS:
            status, out = self.install(wheel_name(interpreter), 'win32', interpreter)
            self.assertEqual(status, 0, out)
            for path, source in package_files(interpreter).items():
                self.assertEqual(read(os.path.join(self.target, path)), read(source), path)
            shutil.rmtree(self.target)
            os.mkdir(self.target)
        status, out = self.install('%s-%s-py2-none-win32.whl' % (STAND_IN, VERSION), 'win32', '27')
        self.assertEqual(status, 0, out)
        self.assertTrue(os.path.exists(os.path.join(self.target, 'qmdll.dll')))

    def test_refuses_another_interpreter_or_platform(self):
        for filename, platform, version in ((wheel_name('27'), 'win32', '26'),
                                            (wheel_name('26'), 'win32', '27'),
                                            (wheel_name('27'), 'win_amd64', '27')):
            status, out = self.install(filename, platform, version)
            self.assertNotEqual(status, 0, (filename, platform, version, out))
            self.assertTrue('is not a supported wheel on this platform' in out, out)


if __name__ == '__main__':
    unittest.main()
