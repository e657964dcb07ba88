"""`setup.py install --user` into a temporary home, then `import qmboard`
from another directory with no PYTHONPATH: the module, its layouts, the
signal core, the class layer, the package and the stand-in library come from
the installed place."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..'))
CHECK = '\n'.join([
    'import qmboard, qm_python, _qm_python, qm_layouts, _qm_signal',
    'print qmboard.boards()',
    'print _qm_signal.decode("\\xff\\x3f\\x00\\x00", 14, _qm_signal.TWOS_COMPLEMENT).tolist()',
    'for module in (qmboard, qm_python, _qm_python, qm_layouts, _qm_signal):',
    '    print module.__name__, module.__file__',
    'print [l.split()[-1] for l in open("/proc/self/maps") if "libqmdll" in l][0]'])


class InstallTest(unittest.TestCase):
    def test_install_user_then_import_from_anywhere(self):
        home = tempfile.mkdtemp()
        try:
            env = dict((k, v) for k, v in os.environ.items()
                       if k not in ('PYTHONPATH', 'QMDLL_PATH', 'PYTHONNOUSERSITE'))
            env['HOME'] = home
            if os.environ.get('QM_BUILD_DIR'):
                env['QM_CMAKE_BUILD_DIR'] = os.environ['QM_BUILD_DIR']  # reuse this build
            subprocess.check_call([sys.executable, 'setup.py', '-q', 'build', '-b',
                                   os.path.join(home, 'build'), 'install', '--user'],
                                  cwd=ROOT, env=env, stdout=open(os.devnull, 'w'))
            out = subprocess.check_output([sys.executable, '-c', CHECK], cwd=home, env=env)
            sys.stdout.write(out)
            site = os.path.join(home, '.local', 'lib', 'python2.7', 'site-packages')
            lines = out.splitlines()
            self.assertEqual(lines[0], 'QM-EVAL-0, QM-EVAL-1 (library 3.2.0.118)')
            self.assertEqual(lines[1], '[-1]')
            for line in lines[2:]:
                self.assertTrue(line.split()[-1].startswith(site), line)
        finally:
            shutil.rmtree(home)


if __name__ == '__main__':
    unittest.main()
