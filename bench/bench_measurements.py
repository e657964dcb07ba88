"""Time of the measurements beyond a single tone: two-tone analysis and the
code-density test, at 65,536 and 2**20 samples. Not a test.

1. qmboard.analyse_two_tone() of an array('i') as a capture gives: two
   coherent tones (one transform) and two tones off a bin (a second,
   windowed transform); qmboard.analyse() of the same beside it, with its
   spur table, for scale.
2. qmboard.code_density() of the samples (the signal core's histogram, then
   its code-density kernel), and of the 16,384 counts of a 14-bit
   converter alone; dut.code_density() on the stand-in, through the
   hardware histogram and from captured samples.
3. With valgrind: instructions per call (callgrind), which do not vary
   with the machine's load as wall time does.
The best and the median of the runs after a first one are printed, with
the machine's load average: it is shared."""
import array
import math
import os
import random
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, os.pardir, 'python'))

import _qm_signal as signal  # noqa: E402
import qmboard  # noqa: E402
from timing import have_valgrind, load, times  # noqa: E402

BITS, RATE = 14, 250e6
SIZES = (65536, 1 << 20)
CYCLES = {65536: 3207, 1 << 20: 51327}  # odd: every phase once


def two_tones(n, c1, c2):
    """Two tones at -7 dBFS each with IMD3 at -80 dBc, +/-2 LSB of noise."""
    rng = random.Random(n)
    a = 2 ** (BITS - 1) * 10 ** (-7 / 20.0)
    b = a * 1e-4
    w = [2 * math.pi * c / n for c in (c1, c2, 2 * c1 - c2, 2 * c2 - c1)]
    return array.array('i', [int(round(a * (math.sin(w[0] * i) + math.sin(w[1] * i)) +
                                       b * (math.sin(w[2] * i) + math.sin(w[3] * i)))) +
                             rng.randint(-2, 2) for i in range(n)])


def sine(n, cycles, level=0.1):
    """A coherent sine `level` dB beyond full scale, clipped, +/-2 LSB of noise."""
    rng = random.Random(n + 1)
    a, half = 2 ** (BITS - 1) * 10 ** (level / 20.0), 2 ** (BITS - 1)
    return array.array('i', [min(max(int(round(a * math.sin(2 * math.pi * cycles * i / n))) +
                                     rng.randint(-2, 2), -half), half - 1) for i in range(n)])


def row(label, fn, runs):
    best, median = times(fn, runs, warm_up=True)
    print('%-58s %9.3f %9.3f' % (label, best * 1e3, median * 1e3))


def wall_times():
    print('two-tone analysis and the code-density test, native (%s)' % load())
    print('%-58s %9s %9s' % ('', 'best ms', 'median ms'))
    for n in SIZES:
        runs = 31 if n <= 65536 else 11
        coherent = two_tones(n, n // 20 + 1, n // 20 + n // 256 + 1)
        off = two_tones(n, n / 20.0 + 1.3, n / 20.0 + n / 256.0 + 1.7)
        row('%d samples: analyse_two_tone, coherent' % n,
            lambda: qmboard.analyse_two_tone(coherent, BITS, RATE), runs)
        row('%d samples: analyse_two_tone, off a bin (two transforms)' % n,
            lambda: qmboard.analyse_two_tone(off, BITS, RATE), runs)
        row('%d samples: analyse (one tone, for scale), coherent' % n,
            lambda: qmboard.analyse(coherent, BITS, RATE), runs)
        codes = sine(n, CYCLES[n])
        row('%d samples: code_density (histogram and test)' % n,
            lambda: qmboard.code_density(codes, BITS), runs)
    counts = signal.histogram(sine(1 << 20, CYCLES[1 << 20]), BITS, qmboard.TWOS_COMPLEMENT)
    row('16384 counts: code_density_of_counts', lambda: qmboard.code_density_of_counts(counts, BITS),
        31)
    row('16384 counts: the kernel alone (_qm_signal.code_density)',
        lambda: signal.code_density(counts), 31)
    with qmboard.open(0) as board:
        dut = board.dut(0)
        for samples in SIZES:
            row('dut.code_density(%d), hardware histogram (stand-in)' % samples,
                lambda: dut.code_density(samples), 11)
            row('dut.code_density(%d), captured samples (stand-in)' % samples,
                lambda: dut.code_density(samples, hardware=False), 11)
    print('(the stand-in computes every sample it counts or captures: its share is the '
          'library\'s, not qmboard\'s)')


# The program callgrind counts: the samples read from a file (made outside
# valgrind), then `repeat` calls of the case.
CALLGRIND_PROGRAM = '''
import array
import qmboard
n, case, repeat = %(n)d, %(case)r, %(repeat)d
samples = array.array('i')
samples.fromfile(open(%(path)r, 'rb'), n)
for _ in range(repeat):
    if case == 'code density':
        qmboard.code_density(samples, 14)
    else:
        qmboard.analyse_two_tone(samples, 14, 250e6)
'''


def callgrind(n, case, repeat, folder):
    out, path = os.path.join(folder, 'callgrind.out'), os.path.join(folder, 'samples')
    with open(path, 'wb') as f:
        if case == 'code density':
            sine(n, CYCLES[n]).tofile(f)
        elif case == 'two tones, coherent':
            two_tones(n, n // 20 + 1, n // 20 + n // 256 + 1).tofile(f)
        else:
            two_tones(n, n / 20.0 + 1.3, n / 20.0 + n / 256.0 + 1.7).tofile(f)
    program = CALLGRIND_PROGRAM % {'n': n, 'case': case, 'repeat': repeat, 'path': path}
    subprocess.check_call(['valgrind', '--tool=callgrind', '--callgrind-out-file=' + out,
                           sys.executable, '-c', program],
                          stdout=open(os.devnull, 'w'), stderr=open(os.devnull, 'w'))
    text = subprocess.check_output(['callgrind_annotate', out])
    os.remove(out)
    os.remove(path)
    total = [line for line in text.splitlines() if 'PROGRAM TOTALS' in line][0]
    return int(total.split()[0].replace(',', ''))


def instructions():
    """Instructions per call: the difference between 3 calls and 1, halved."""
    if not have_valgrind():
        return
    folder = tempfile.mkdtemp()
    print('\n%-58s %14s' % ('instructions per call (callgrind)', 'Ir'))
    for n in SIZES:
        for case in ('two tones, coherent', 'two tones, off a bin', 'code density'):
            once, thrice = callgrind(n, case, 1, folder), callgrind(n, case, 3, folder)
            print('  %-56s %14s' % ('%d samples, %s' % (n, case),
                                    '{:,}'.format((thrice - once) // 2)))
    os.rmdir(folder)


def main():
    wall_times()
    instructions()


if __name__ == '__main__':
    main()
