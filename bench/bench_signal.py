"""The native signal core (_qm_signal), native figures. Not a test.

1. Decoding 65,536 capture words in each data format next to the raw bulk
   read of the same words (QmBoardReadCaptureData into a Qm_Word_Array plus
   one copy, the stand-in computing each word) and next to that one copy
   alone; the pure-Python decode of today for comparison.
2. The kernels of an analysis at 65,536 and 2**20 samples (power spectrum,
   levels in dBFS, the reductions); analyse() itself, which composes them,
   is timed by bench_analysis.py.
3. Two threads computing power spectra at once against one doing the same
   work: the speed-up of releasing the lock (2 cores at most).
4. With valgrind: instructions per call (callgrind), which do not vary
   from run to run as wall time does on a shared machine.
Wall times are the best of several runs."""
import array
import ctypes
import math
import os
import random
import subprocess
import sys
import tempfile
import threading
import time

import _qm_signal as signal
import qm_python as qm
import signal_reference as reference
from timing import have_valgrind

WORDS = 65536
BITS = 14
FORMATS = ((signal.OFFSET_BINARY, 'offset binary'), (signal.TWOS_COMPLEMENT, "two's complement"),
           (signal.BINARY, 'sign and magnitude'))


def best(fn, repeat=7, number=1):
    times = []
    for _ in range(repeat):
        start = time.time()
        for _ in range(number):
            fn()
        times.append((time.time() - start) / number)
    return min(times)


def read_seconds(buffer, fmt, repeat=7):
    """The library's read of WORDS words into `buffer` plus one copy out."""
    setup = qm.QmCaptureSetup(TransferSize=WORDS, DataFormat=fmt)
    times = []
    for _ in range(repeat):
        qm.QmBoardWriteCaptureStart(0, 0, setup)
        start = time.time()
        status, got = qm.QmBoardReadCaptureData(0, 0, buffer.cast(), WORDS)
        buffer.tostring()
        times.append(time.time() - start)
        qm.QmBoardWriteCaptureEnd(0, 0)
        assert (status, got) == (0, WORDS)
    return min(times)


def decoding():
    qm.QmBoardOpen(0, None)
    buffer = qm.Qm_Word_Array(WORDS)
    view = (ctypes.c_uint32 * WORDS).from_address(int(buffer.this))
    print('%-52s %10s %8s' % ('decode %d words, %d bits' % (WORDS, BITS), 'ms', 'x read'))
    for fmt, name in FORMATS:
        read = read_seconds(buffer, fmt)
        raw = buffer.tostring()
        rows = [('library read + one copy', read),
                ('one copy alone (Qm_Word_Array.tostring)', best(buffer.tostring, number=20)),
                ('native decode of the capture buffer (ctypes view)',
                 best(lambda: signal.decode(view, BITS, fmt), number=20)),
                ('native decode of the copied bytes (str)',
                 best(lambda: signal.decode(raw, BITS, fmt), number=20)),
                ('pure-Python decode qmboard had (signal_reference)',
                 best(lambda: reference.decode(raw, BITS, fmt), 3))]
        print(name)
        for label, seconds in rows:
            print('  %-50s %10.3f %8.2f' % (label, seconds * 1e3, seconds / read))


def capture(n, cycles, bits=BITS):
    rng = random.Random(n)
    a = 0.9 * 2 ** (bits - 1)
    return array.array('i', [int(round(a * math.sin(2 * math.pi * cycles * i / n))) +
                             rng.randint(-2, 2) for i in range(n)])


def spectra():
    print('\n%-58s %10s' % ('analysis kernels', 'ms'))
    for n in (65536, 2 ** 20):
        coherent, off = capture(n, n // 16 + 1), capture(n, n / 16.0 + 1.3)
        signal.power_spectrum(coherent)  # tables made once
        signal.power_spectrum(off, 'blackman-harris')
        repeat = 7 if n <= 65536 else 3
        power = signal.power_spectrum(coherent)
        view = (ctypes.c_double * len(power)).from_buffer(power)
        samples = (ctypes.c_int32 * n).from_buffer(coherent)
        taken = bytearray(len(power))
        rows = [
            ('power_spectrum, rectangular', lambda: signal.power_spectrum(coherent)),
            ('power_spectrum, 7-term Blackman-Harris',
             lambda: signal.power_spectrum(off, 'blackman-harris')),
            ('dbfs of the bins', lambda: signal.dbfs(view, 1.0, 1.0)),
            ('rfft', lambda: signal.rfft(coherent)),
            ('band over the bins (in place, masked)', lambda: signal.band(view, 1, None, taken)),
            ('argmax over the bins (in place, masked)',
             lambda: signal.argmax(view, 1, None, taken)),
            ('nth_smallest: the median bin', lambda: signal.nth_smallest(view, n // 4)),
            ('count_below: bins below a level', lambda: signal.count_below(view, 1.0)),
            ('extremes of the samples (in place)', lambda: signal.extremes(samples)),
        ]
        for label, fn in rows:
            print('  %-56s %10.3f' % ('%d samples: %s' % (n, label), best(fn, repeat) * 1e3))


def threads():
    n, rounds = 2 ** 18, 16
    data = [capture(n, 1000.3 + i) for i in range(2)]
    signal.power_spectrum(data[0], 'blackman-harris')

    def work(samples, count):
        for _ in range(count):
            signal.power_spectrum(samples, 'blackman-harris')

    def one():
        work(data[0], rounds)

    def two():
        ts = [threading.Thread(target=work, args=(d, rounds // 2)) for d in data]
        for t in ts:
            t.start()
        for t in ts:
            t.join()
    single, double = best(one, 3), best(two, 3)
    print('\n%d power spectra of %d samples: one thread %.1f ms, two threads %.1f ms: '
          'speed-up %.2f' % (rounds, n, single * 1e3, double * 1e3, single / double))


CALLGRIND_PROGRAM = '''
import ctypes, _qm_signal as s, qm_python as qm, array, math
qm.QmBoardOpen(0, None)
b = qm.Qm_Word_Array(%(words)d)
v = (ctypes.c_uint32 * %(words)d).from_address(int(b.this))
x = array.array('i', [int(8000 * math.sin(0.05 * i)) for i in range(%(words)d)])
for fmt in (s.OFFSET_BINARY, s.TWOS_COMPLEMENT, s.BINARY):
    qm.QmBoardWriteCaptureStart(0, 0, qm.QmCaptureSetup(TransferSize=%(words)d, DataFormat=fmt))
    qm.QmBoardReadCaptureData(0, 0, b.cast(), %(words)d)
    qm.QmBoardWriteCaptureEnd(0, 0)
    s.decode(v, 14, fmt)
s.power_spectrum(x); s.power_spectrum(x)
p = s.power_spectrum(x, 'blackman-harris'); p = s.power_spectrum(x, 'blackman-harris')
s.dbfs(p, 1.0)
'''


def instructions():
    """Inclusive instruction counts of the kernels' entry functions."""
    if not have_valgrind():
        return
    folder = tempfile.mkdtemp()
    out = os.path.join(folder, 'callgrind.out')
    subprocess.check_call(['valgrind', '--tool=callgrind', '--callgrind-out-file=' + out,
                           sys.executable, '-c', CALLGRIND_PROGRAM % {'words': WORDS}],
                          stdout=open(os.devnull, 'w'), stderr=open(os.devnull, 'w'))
    text = subprocess.check_output(['callgrind_annotate', '--inclusive=yes', '--threshold=100',
                                    out])
    wanted = [('QmBoardReadCaptureData', 'library read of %d words (3 calls)' % WORDS),
              ('qs::py::decode(', 'decode %d words (3 calls, one per format)' % WORDS),
              ('qs::decode(', '  of which the decoding loops'),
              ('qs::py::power_spectrum(',
               'power_spectrum of %d samples (4 calls, 2 making tables)' % WORDS),
              ('qs::transform(', '  of which the complex transforms'),
              ('qs::py::dbfs(', 'dbfs of %d bins (1 call)' % (WORDS // 2 + 1))]
    print('\n%-52s %14s' % ('instructions (callgrind)', 'Ir'))
    for key, label in wanted:
        for line in text.splitlines():
            if key in line and line.split()[0].replace(',', '').isdigit():
                print('  %-50s %14s' % (label, line.split()[0]))
                break
    os.remove(out)
    os.rmdir(folder)


def main():
    decoding()
    spectra()
    threads()
    instructions()


if __name__ == '__main__':
    main()
