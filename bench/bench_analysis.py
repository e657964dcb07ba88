"""Time to analyse one capture (qmboard.analysis.analyse) of 8,192 and 65,536
samples: a coherent tone (one transform) and a tone off a bin (a second,
windowed transform). The first run also builds the twiddle and window
tables; the best of the later runs is the steady figure. Not a test."""
import math
import os
import random
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, os.pardir, 'python'))

from qmboard import analysis  # noqa: E402


def capture(n, cycles, bits=14):
    rng = random.Random(n)
    a = 0.9 * 2 ** (bits - 1)
    return [int(round(a * math.sin(2 * math.pi * cycles * i / n))) + rng.randint(-2, 2)
            for i in range(n)]


def seconds(samples):
    start = time.time()
    analysis.analyse(samples, 14, 250e6)
    return time.time() - start


def main():
    rounds = 5
    print('%-34s %10s %10s' % ('analyse (14 bits)', 'first s', 'best s'))
    for n in (8192, 65536):
        for label, cycles in (('coherent', n // 16 + 1), ('off a bin, windowed', n / 16.0 + 1.3)):
            samples = capture(n, cycles)
            first = seconds(samples)
            best = min(seconds(samples) for _ in range(rounds))
            print('%-34s %10.3f %10.3f' % ('%d samples, %s' % (n, label), first, best))


if __name__ == '__main__':
    main()
