"""The README's Python examples and the one in help(qmboard), run as they are
written against the stand-in: each is given only the names it leaves to
the reader (`log`, `print_event`)."""
import os
import re
import shutil
import StringIO
import subprocess
import sys
import tempfile
import textwrap
import unittest

import qmsim
import _qm_python as flat
import qmboard

README = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, os.pardir,
                      'README.md')


def readme_blocks():
    with open(README) as text:
        return re.findall(r'^```python\n(.*?)^```', text.read(), re.S | re.M)


def docstring_example(module):
    """The indented block that opens a module's docstring."""
    lines = module.__doc__.split('\n\n')[1]
    return textwrap.dedent(lines) + '\n'


def run(source):
    """The namespace `source` leaves, with what it printed as `printed`. It
    runs in the current directory, where the examples write their files."""
    log = []
    namespace = {'__name__': '__readme__', 'log': log, 'print_event': log.append}
    out, sys.stdout = sys.stdout, StringIO.StringIO()
    try:
        exec compile(source, README, 'exec') in namespace
    finally:
        out, sys.stdout = sys.stdout, out
    namespace['printed'] = out.getvalue()
    return namespace


class ReadmeTest(unittest.TestCase):
    def setUp(self):
        qmsim.reset()
        self.cwd, self.folder = os.getcwd(), tempfile.mkdtemp()
        os.chdir(self.folder)

    def tearDown(self):
        os.chdir(self.cwd)
        shutil.rmtree(self.folder)

    def test_every_python_example_runs_and_captures_what_it_asks(self):
        blocks = readme_blocks()
        self.assertEqual(len(blocks), 3)
        bench, measurements, flat_session = blocks
        ns = run(measurements)
        self.assertEqual(ns['printed'].splitlines()[:2],
                         ['Coherent(frequency=9979248.046875, cycles=327)', 'True'])
        self.assertEqual([len(ns['run']), len(ns['run'].failed)], [3, 0])
        self.assertEqual(sorted(os.listdir('.')), ['dnl_inl.svg', 'sweep.csv', 'sweep.svg',
                                                   'tones.qmc', 'two_tone.svg'])
        self.assertFalse(qmsim.dac_sourcing(0))
        ns = run(bench)
        ns['unsubscribe']()
        self.assertEqual((len(ns['samples']), len(ns['pairs'])), (8192, 2 * 8192))
        self.assertTrue(ns['board'].closed)
        ns = run(flat_session)
        try:
            self.assertEqual(ns['status'], flat.QM_RETURN_OK)
            self.assertEqual((ns['words_read'], len(ns['samples'])), (1024, 1024))
            self.assertGreater(len(set(ns['samples'])), 100)  # a tone, not a blank buffer
        finally:
            flat.QmBoardWriteCaptureEnd(0, 0)
            flat.QmBoardClose(0)
            flat.delete_QmCaptureSetup(ns['setup'])
            flat.delete_Qm_Word_Array(ns['buffer'])

    def test_the_demo_builds_every_module_the_session_imports(self):
        # scripts/demo.sh builds its targets alone: in a fresh clone nothing
        # else is there (the signal core was left out once, and the session
        # failed with "No module named _qm_signal").
        with open(os.path.join(os.path.dirname(README), 'scripts', 'demo.sh')) as script:
            line = [l for l in script if l.startswith('scripts/build.sh')][0]
        targets = set(line.split('--target', 1)[1].split())
        session = os.path.join(os.path.dirname(README), 'examples', 'bench_session.py')
        code = ('import imp, sys; imp.load_source("session", %r); print " ".join(sorted('
                'name for name, m in sys.modules.items() if getattr(m, "__file__", "")'
                '.endswith(".so")))' % session)
        built = os.path.dirname(os.path.abspath(flat.__file__))
        imported = [name for name in subprocess.check_output([sys.executable, '-c', code]).split()
                    if os.path.exists(os.path.join(built, name + '.so'))]  # the build's own
        self.assertIn('_qm_signal', imported)
        self.assertLessEqual(set(imported + ['qmdll']), targets)

    def test_the_example_of_help_qmboard_runs(self):
        ns = run(docstring_example(qmboard))
        ns['unsubscribe']()
        self.assertEqual(len(ns['samples']), 8192)
        self.assertTrue(ns['board'].closed)


if __name__ == '__main__':
    unittest.main()
