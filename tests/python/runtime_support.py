"""Helpers for the object-runtime suites: the test-only module _qm_second,
capture of what native code writes to file descriptor 1, runs of a snippet
in a fresh interpreter (for cases that depend on import order), and the C
heap's size in use."""
import ctypes
import os
import subprocess
import sys
import tempfile


def _testonly_dir():
    build = os.environ.get('QM_BUILD_DIR')
    candidates = [os.path.join(build, 'lib')] if build else []
    candidates += [p for p in sys.path if p]
    for base in candidates:
        path = os.path.join(base, 'testonly')
        if os.path.exists(os.path.join(path, '_qm_second.so')):
            return path
    raise ImportError('_qm_second.so not found: build the _qm_second target')


TESTONLY = _testonly_dir()
if TESTONLY not in sys.path:
    sys.path.insert(0, TESTONLY)


def has_qm_python(*names):
    """True when _qm_python imports and has every named function."""
    try:
        import _qm_python
    except ImportError:
        return False
    return all(hasattr(_qm_python, n) for n in names)


def capture_fd1(action):
    """Runs action() with file descriptor 1 redirected; returns what was written."""
    sys.stdout.flush()
    saved = os.dup(1)
    out = tempfile.TemporaryFile()
    try:
        os.dup2(out.fileno(), 1)
        try:
            action()
        finally:
            sys.stdout.flush()
            os.dup2(saved, 1)
    finally:
        os.close(saved)
    out.seek(0)
    text = out.read()
    out.close()
    return text


def run_isolated(code, stdout_to_file=False):
    """Runs code in a fresh interpreter; returns (exit status, stdout, stderr).
    Standard output is a pipe, or a file when stdout_to_file."""
    env = dict(os.environ)
    env['PYTHONPATH'] = os.pathsep.join([TESTONLY] + [p for p in sys.path if p])
    out_file = tempfile.TemporaryFile() if stdout_to_file else None
    proc = subprocess.Popen([sys.executable, '-c', code], env=env,
                            stdout=out_file or subprocess.PIPE, stderr=subprocess.PIPE)
    out, err = proc.communicate()
    if out_file:
        out_file.seek(0)
        out = out_file.read()
        out_file.close()
    return proc.returncode, out, err


class _Mallinfo(ctypes.Structure):
    _fields_ = [(name, ctypes.c_int) for name in (
        'arena', 'ordblks', 'smblks', 'hblks', 'hblkhd', 'usmblks', 'fsmblks', 'uordblks',
        'fordblks', 'keepcost')]


_mallinfo = ctypes.CDLL(None).mallinfo
_mallinfo.restype = _Mallinfo


def heap_in_use():
    """Bytes of the C heap in use (malloc's own count, mapped blocks included)."""
    info = _mallinfo()
    return info.uordblks + info.hblkhd


def heap_growth(action, rounds=2):
    """How much the C heap in use grows over the last of `rounds` runs of
    action() (the first ones warm caches and free lists up)."""
    for _ in range(rounds - 1):
        action()
    before = heap_in_use()
    action()
    return heap_in_use() - before
