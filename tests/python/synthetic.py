"""Synthetic captures of known figures: sums of sines at given levels in
dBFS, through an ideal rounding converter of `bits` bits (codes clipped at
its limits), with seeded noise uniform over +/- `noise` LSB added first."""
import array
import cmath
import math
import random


def amplitude(bits, dbfs):
    """The peak in LSB of a sine at `dbfs` (a full-scale sine peaks at 2**(bits - 1))."""
    return 2.0 ** (bits - 1) * 10 ** (dbfs / 20.0)


def sines(n, bits, components, noise=0.0, seed=1, transitions=None, quantised=True):
    """array('i') of n codes of the sum of `components`, each (cycles in the
    record, dBFS, phase in radians); `transitions` maps a code c to how far
    its lower transition (ideally c - 1/2) moved, in LSB. Not `quantised`:
    the converter's input itself, array('d'), the same noise for the same
    seed whatever the components."""
    rng = random.Random(seed)
    half = 1 << (bits - 1)
    waves = [(2 * math.pi * cycles / n, amplitude(bits, dbfs), phase)
             for cycles, dbfs, phase in components]
    out = array.array('i' if quantised else 'd', [0]) * n
    for i in range(n):
        x = sum(a * math.sin(step * i + phase) for step, a, phase in waves)
        if noise:
            x += rng.uniform(-noise, noise)
        if not quantised:
            out[i] = x
            continue
        code = int(math.floor(x + 0.5))
        if transitions:
            code = _moved(code, x, transitions)
        out[i] = min(max(code, -half), half - 1)
    return out


def _moved(code, x, transitions):
    """The code of input x once the transitions moved (each by less than 1 LSB)."""
    if x < code - 0.5 + transitions.get(code, 0.0):
        return code - 1
    if x >= code + 0.5 + transitions.get(code + 1, 0.0):
        return code + 1
    return code


def harmonic_tone(n, cycles, amplitude, harmonics=(), noise=0.0, seed=1):
    """A list of n codes: a tone of `cycles` periods and `amplitude` LSB with
    harmonics given as (order, dBc), uniform noise of +/- `noise` LSB added,
    rounded and not clipped."""
    rng = random.Random(seed)
    out = []
    for i in range(n):
        phase = 2 * math.pi * cycles * i / n
        v = amplitude * math.sin(phase)
        for order, dbc in harmonics:
            v += amplitude * 10 ** (dbc / 20.0) * math.sin(order * phase)
        out.append(int(round(v + rng.uniform(-noise, noise))))
    return out


def direct_dft(x):
    """The discrete Fourier transform of x by its definition: all n bins."""
    n = len(x)
    return [sum(x[m] * cmath.exp(-2j * math.pi * k * m / n) for m in range(n)) for k in range(n)]
