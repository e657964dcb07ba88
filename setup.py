"""Installs _qm_python, the record layouts qm_layouts the build writes for
it, the signal core _qm_signal, the class layer qm_python, the bench API
qmboard and the stand-in board library libqmdll.so (beside the module,
which finds it through its run path $ORIGIN):

    /usr/bin/python2.7 setup.py install --user

The native parts are built by the project's CMake, into build/ as
scripts/build.sh does (QM_CMAKE_BUILD_DIR names another build tree)."""
import os
import shutil
import subprocess
import sys
from distutils.command.build_ext import build_ext
from distutils.core import Extension, setup

HERE = os.path.dirname(os.path.abspath(__file__))
# What the CMake build puts into its lib/ (qm_layouts.py comes with _qm_python).
BUILT = ('_qm_python.so', '_qm_signal.so', 'libqmdll.so', 'qm_layouts.py')


class cmake_build_ext(build_ext):
    """Builds the two modules, the layouts and the stand-in library with
    CMake and puts them into the build's library directory."""

    def run(self):
        tree = os.path.abspath(os.environ.get('QM_CMAKE_BUILD_DIR') or os.path.join(HERE, 'build'))
        if not os.path.exists(os.path.join(tree, 'CMakeCache.txt')):
            subprocess.check_call(['cmake', '-S', HERE, '-B', tree,
                                   '-DCMAKE_BUILD_TYPE=RelWithDebInfo',
                                   '-DQM_PYTHON=' + sys.executable])
        subprocess.check_call(['cmake', '--build', tree, '-j2', '--target', '_qm_python', '_qm_signal',
                               'qmdll'])
        self.mkpath(self.build_lib)
        for name in BUILT:
            shutil.copy(os.path.join(tree, 'lib', name), os.path.join(self.build_lib, name))

    def get_outputs(self):
        return [os.path.join(self.build_lib, name) for name in BUILT]


setup(name='qm_python',
      version='1.0',
      description='Python binding and bench API for the QM evaluation boards',
      package_dir={'': 'python'},
      py_modules=['qm_python'],
      packages=['qmboard'],
      ext_modules=[Extension('_qm_python', sources=[]), Extension('_qm_signal', sources=[])],
      cmdclass={'build_ext': cmake_build_ext})
