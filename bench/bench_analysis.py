"""Time to analyse one capture (qmboard.analysis.analyse, on the signal
core) next to its targets, and where dut.measure()'s time goes. Not a test.

1. analyse() of 8,192, 65,536 and 2**20 samples (an array('i') as a capture
   gives): a coherent tone (one transform), a tone off a bin (a second,
   windowed transform) and the window given (one windowed transform); the
   best and the median of the runs after a first one that makes the
   tables, next to the targets (65,536: 2 ms; 2**20: 40 ms) and to the
   pure-Python pipeline qmboard had (tests/python/signal_reference.py).
2. dut.measure(8192) on the stand-in, end to end and split: the library's
   capture (start, read, end), decoding the capture buffer, the analysis.
3. Two threads analysing two captures at once against one thread doing
   the same analyses: the speed-up of computing with the lock released.
4. With valgrind: instructions per analyse() and per measure() part
   (callgrind), which do not vary with the machine's load as wall time does.
The machine's load average is printed with the wall times: it is shared."""
import array
import math
import os
import random
import subprocess
import sys
import tempfile
import threading

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, os.pardir, 'python'))
sys.path.insert(0, os.path.join(HERE, os.pardir, 'tests', 'python'))

import qmboard  # noqa: E402
import signal_reference as reference  # noqa: E402
from qmboard import analysis  # noqa: E402
from qmboard import samples as coding  # noqa: E402
from timing import have_valgrind, load, times  # noqa: E402

BITS, RATE = 14, 250e6
TARGETS = {65536: 2.0, 2 ** 20: 40.0}  # ms


def capture(n, cycles, bits=BITS):
    rng = random.Random(n)
    a = 0.9 * 2 ** (bits - 1)
    return array.array('i', [int(round(a * math.sin(2 * math.pi * cycles * i / n))) +
                             rng.randint(-2, 2) for i in range(n)])


def analyses():
    print('analyse(), native (%s)' % load())
    print('%-44s %9s %9s %7s %12s' % ('', 'best ms', 'median ms', 'target', 'pure Python'))
    for n in (8192, 65536, 2 ** 20):
        cases = (('coherent', capture(n, n // 16 + 1), None),
                 ('off a bin (two transforms)', capture(n, n / 16.0 + 1.3), None),
                 ('window given', capture(n, n / 16.0 + 1.3), analysis.BLACKMAN_HARRIS))
        runs = 41 if n <= 65536 else 15
        for label, samples, window in cases:
            analysis.analyse(samples, BITS, RATE, window)  # tables made once
            best, median = times(lambda: analysis.analyse(samples, BITS, RATE, window), runs)
            before = '-'
            if n <= 65536:
                before = '%.0f ms' % (1e3 * times(
                    lambda: reference.analyse(samples, BITS, RATE, window), 1)[0])
            target = '%.0f ms' % TARGETS[n] if n in TARGETS else ''
            print('%-44s %9.3f %9.3f %7s %12s' % ('%d samples, %s' % (n, label), best * 1e3,
                                                  median * 1e3, target, before))
    print('(pure Python: the pipeline qmboard had before the signal core, one run; at 2**20 it '
          'takes about a minute)')


def measure_split():
    """dut.measure(8192) and its parts, each timed on its own."""
    n = 8192
    with qmboard.open(0) as board:
        dut = board.dut(0)
        cfg = dut.capture_configs[0]
        rate = dut.sampling_frequency
        dut.measure(n)
        taken = dut._take(n, 0, None)[1]
        values = coding.decode_words(taken, cfg.bit_size, cfg.data_format)
        rows = [('dut.measure(8192), end to end', lambda: dut.measure(n)),
                ('  library capture (start, read into the buffer, end)',
                 lambda: dut._take(n, 0, None)),
                ('  decoding the capture buffer in place',
                 lambda: coding.decode_words(taken, cfg.bit_size, cfg.data_format)),
                ('  analyse() of the samples', lambda: analysis.analyse(values, cfg.bit_size, rate)),
                ('  the sampling frequency (QmGetSamplingFrequency)',
                 lambda: dut.sampling_frequency_of(0))]
        print('\ndut.measure(8192) on the stand-in, native (%s)' % load())
        print('%-58s %9s %9s' % ('', 'best ms', 'median ms'))
        for label, fn in rows:
            best, median = times(fn, 41)
            print('%-58s %9.3f %9.3f' % (label, best * 1e3, median * 1e3))


def threads():
    """The same analyses (captures off a bin: two transforms each) by one
    thread and by two, one capture each; runs alternate, the best counts."""
    print('\ntwo threads against one, native (%s before)' % load())
    for n, rounds in ((65536, 32), (2 ** 18, 4)):
        data = [capture(n, n / 64.0 + 0.3 + i) for i in range(2)]

        def work(samples):
            for _ in range(rounds):
                analysis.analyse(samples, BITS, RATE)

        def one():
            for samples in data:
                work(samples)

        def two():
            ts = [threading.Thread(target=work, args=(samples,)) for samples in data]
            for t in ts:
                t.start()
            for t in ts:
                t.join()
        single = double = float('inf')
        for _ in range(15):
            single, double = min(single, times(one, 1)[0]), min(double, times(two, 1)[0])
        print('  %d analyses of %d samples: one thread %.1f ms, two threads %.1f ms: '
              'speed-up %.2f' % (2 * rounds, n, single * 1e3, double * 1e3, single / double))
    print('  (%d cores; %s after)' % (os.sysconf('SC_NPROCESSORS_ONLN'), load()))


# The program callgrind counts: the samples read from a file (made outside
# valgrind), then `repeat` calls of the case.
CALLGRIND_PROGRAM = '''
import array
import qmboard
import signal_reference
from qmboard import analysis
n, case, repeat = %(n)d, %(case)r, %(repeat)d
samples = array.array('i')
samples.fromfile(open(%(path)r, 'rb'), n)
window = 'blackman-harris' if case == 'window given' else None
if case == 'measure':
    board = qmboard.open(0)
    dut = board.dut(0)
    dut.measure(n)
for _ in range(repeat):
    if case == 'measure':
        dut.measure(n)
    elif case == 'pure Python, coherent':
        signal_reference.analyse(samples, 14, 250e6)
    else:
        analysis.analyse(samples, 14, 250e6, window)
'''


def callgrind(n, case, repeat, folder):
    """(total instructions, callgrind_annotate's inclusive text) of one run."""
    out, path = os.path.join(folder, 'callgrind.out'), os.path.join(folder, 'samples')
    with open(path, 'wb') as f:
        capture(n, n // 16 + 1 if 'coherent' in case else n / 16.0 + 1.3).tofile(f)
    program = CALLGRIND_PROGRAM % {'n': n, 'case': case, 'repeat': repeat, 'path': path}
    subprocess.check_call(['valgrind', '--tool=callgrind', '--callgrind-out-file=' + out,
                           sys.executable, '-c', program],
                          stdout=open(os.devnull, 'w'), stderr=open(os.devnull, 'w'))
    text = subprocess.check_output(['callgrind_annotate', '--inclusive=yes', '--threshold=100',
                                    out])
    os.remove(out)
    os.remove(path)
    total = [line for line in text.splitlines() if 'PROGRAM TOTALS' in line][0]
    return int(total.split()[0].replace(',', '')), text


def inclusive(text, key):
    for line in text.splitlines():
        if key in line and line.split()[0].replace(',', '').isdigit():
            return int(line.split()[0].replace(',', ''))
    return 0


def instructions():
    """Instructions per call: the difference between 3 calls and 1 (tables
    are made by the first), halved."""
    if not have_valgrind():
        return
    folder = tempfile.mkdtemp()
    print('\n%-58s %14s' % ('instructions per call (callgrind)', 'Ir'))
    for n, case in ((8192, 'coherent'), (65536, 'coherent'), (65536, 'off a bin'),
                    (65536, 'window given'), (65536, 'pure Python, coherent'),
                    (2 ** 20, 'coherent'), (2 ** 20, 'off a bin')):
        once, _ = callgrind(n, case, 1, folder)
        thrice, _ = callgrind(n, case, 3, folder)
        print('  %-56s %14s' % ('analyse(), %d samples, %s' % (n, case),
                                '{:,}'.format((thrice - once) // 2)))
    once, first = callgrind(8192, 'measure', 1, folder)
    thrice, third = callgrind(8192, 'measure', 3, folder)
    parts = [('  library capture (QmBoardReadCaptureData)', 'QmBoardReadCaptureData'),
             ('  decoding (_qm_signal.decode)', 'qs::py::decode('),
             ('  power spectrum (_qm_signal.power_spectrum)', 'qs::py::power_spectrum(')]
    print('  %-56s %14s' % ('dut.measure(8192), end to end', '{:,}'.format((thrice - once) // 2)))
    for label, key in parts:
        print('  %-56s %14s' % (label, '{:,}'.format((inclusive(third, key) -
                                                       inclusive(first, key)) // 2)))
    os.rmdir(folder)


def main():
    analyses()
    measure_split()
    threads()
    instructions()


if __name__ == '__main__':
    main()
