"""Tone planning and generation: coherent frequencies and the sample codes
of single and multi-tone waveforms.

    coherent_frequency(10e6, 250e6, 8192)   # Coherent(frequency=9979248.046875, cycles=327)
    tone_waveform([329, 371], [-7.0, -7.0], 8192, 16)   # codes of two tones

A record of N samples at fs holds a tone of frequency M fs / N in exactly M
periods: its power lands on bin M and on no other (no window needed). With M
odd and coprime with N, the N samples all fall on different phases of the
tone, so the converter's codes are exercised evenly and the quantisation
error spreads over the spectrum as noise instead of piling into harmonics
(IEEE 1241, 4.1.4.5). coherent_frequency finds the nearest such M to a
target; for N a power of two any odd M is coprime with it.

Levels are in dBFS of a full-scale sine, amplitude 2**(bits - 1) codes, as
qmboard.analysis measures them; several tones are summed with Schroeder's
phases (phase of tone k of K: -pi k (k - 1) / K), which keep the sum's peak
low, and a waveform whose rounded codes do not fit the converter's range is
refused, never clipped.
"""
import array
import collections
import fractions
import math

from qmboard import arguments
from qmboard import samples as coding

MAX_SAMPLES = 1 << 20  # the longest record qmboard.analysis measures


class Coherent(collections.namedtuple('Coherent', 'frequency cycles')):
    """A coherent tone: `frequency` in Hz, `cycles` (M) periods in the record."""
    __slots__ = ()


class DacTone(collections.namedtuple(
        'DacTone', 'frequencies cycles levels samples rate channels bit_width peak')):
    """What Dut.dac_tone sources: the coherent `frequencies` (Hz) and their
    `cycles` in the record, the requested `levels` (dBFS), the record length
    `samples` (updates per channel), the update `rate` (Hz), the DAC
    `channels`, the DAC's `bit_width` and the `peak` code of the waveform
    (its largest magnitude)."""
    __slots__ = ()


def _cycles_ok(m, n):
    return m % 2 == 1 and fractions.gcd(m, n) == 1


def coherent_frequency(target, fs, n):
    """The coherent frequency nearest `target` Hz for a record of `n`
    samples at `fs` Hz: Coherent(frequency, cycles) with cycles M odd,
    coprime with n and below n / 2, frequency = M fs / n, and |frequency -
    target| <= fs / n (one bin; ties go to the lower M).

    `target` lies in 0 .. fs/2 and n is 3 or more (ValueError otherwise;
    TypeError for arguments that are no numbers). For n a power of two such
    an M is always at most a bin away. For other n it may not be (an n with
    several small odd factors, say 1000 = 2**3 * 5**3 near bin 105, or an
    odd n near fs/2), and ValueError then names the nearest coherent
    frequencies."""
    fs = arguments.number(fs, 'fs')
    n = arguments.integer(n, 'n', 3)
    target = arguments.real(target, 'target', 0.0, fs / 2)
    x = target * n / fs  # the target in bins
    top = (n - 1) // 2   # the largest M below n / 2
    below = min(int(math.floor(x)), top)
    while below >= 1 and not _cycles_ok(below, n):
        below -= 1
    above = max(int(math.floor(x)) + 1, 1)
    while above <= top and not _cycles_ok(above, n):
        above += 1
    found = [m for m in (below, above) if 1 <= m <= top]  # M = 1 always qualifies
    best = min(found, key=lambda m: (abs(m - x), m))
    if abs(best - x) > 1:
        raise ValueError('no odd number of cycles coprime with n = %d lies within one bin '
                         '(%.12g Hz) of %.12g Hz; the nearest coherent frequencies are %s '
                         '(a power-of-two n has one within a bin of every target)'
                         % (n, fs / n, target,
                            ' and '.join('%.12g Hz (%d cycles)' % (m * fs / n, m) for m in found)))
    return Coherent(best * fs / n, best)


def one_or_more(values, name, check):
    """A tuple of the values `check(value, name)` gives for a number, or for
    each of a non-empty list or tuple of them."""
    if isinstance(values, (list, tuple)):
        if not values:
            raise ValueError('%s must name at least one tone' % name)
        return tuple(check(v, '%s[%d]' % (name, i)) for i, v in enumerate(values))
    return (check(values, name),)


def check_level(value, name):
    """A tone's level in dBFS as a float: finite and at most 0 (a tone
    above full scale clips whatever else is sourced)."""
    return arguments.real(value, name, -float('inf'), 0.0)


def tone_levels(levels, count):
    """`levels` (a number for every tone, or one per tone) as a tuple of
    `count` levels (check_level)."""
    levels = one_or_more(levels, 'level', check_level)
    if len(levels) == 1:
        levels *= count
    if len(levels) != count:
        raise ValueError('%d levels for %d tones' % (len(levels), count))
    return levels


def code_range(bits, data_format):
    """(lowest, highest) code of a `bits`-bit converter in `data_format`:
    sign and magnitude (BINARY) has no -2**(bits - 1)."""
    coding.check_format(data_format)
    arguments.integer(bits, 'bit width', 1, 32)
    half = 1 << (bits - 1)
    return (-half + 1 if data_format == coding.BINARY else -half), half - 1


def tone_waveform(cycles, levels, samples, bit_width, data_format=coding.TWOS_COMPLEMENT):
    """The signed codes (array.array) of `samples` updates holding tones of
    `cycles` periods each (an int, or a sequence of distinct ints 1 .. below
    samples / 2) at `levels` dBFS, at most 0 (a number for all, or one per tone), for a
    `bit_width`-bit converter in `data_format`. ValueError when the rounded
    sum does not fit the converter's codes, saying by how much to lower the
    levels."""
    samples = arguments.integer(samples, 'samples', 3, MAX_SAMPLES)
    low, high = code_range(bit_width, data_format)
    top = (samples - 1) // 2
    cycles = one_or_more(cycles, 'cycles', lambda v, name: arguments.integer(v, name, 1, top))
    if len(set(cycles)) != len(cycles):
        raise ValueError('cycles must differ between tones, not %r' % (cycles,))
    levels = tone_levels(levels, len(cycles))
    full = float(1 << (bit_width - 1))
    # sin(2 pi (M n mod N) / N + phase) from two tables of N values: the phase
    # index is reduced exactly, so every period is the same codes.
    step = 2.0 * math.pi / samples
    sines = [math.sin(step * i) for i in range(samples)]
    cosines = [math.cos(step * i) for i in range(samples)]
    total = [0.0] * samples
    count = len(cycles)
    for k, (m, level) in enumerate(zip(cycles, levels), 1):
        amplitude = full * 10.0 ** (level / 20.0)
        phase = -math.pi * k * (k - 1) / count
        a, b = amplitude * math.cos(phase), amplitude * math.sin(phase)
        total = [t + a * sines[j] + b * cosines[j]
                 for t, j in zip(total, [m * i % samples for i in range(samples)])]
    codes = [int(round(v)) for v in total]
    lowest, highest = min(codes), max(codes)
    if lowest < low or highest > high:
        peak = max(-lowest, highest)
        room = high if highest > high else -low
        raise ValueError('tones at %s dBFS peak at %d codes, beyond the %d..%d of %d bits in %s: '
                         'lower the levels by about %.3f dB'
                         % (', '.join('%.6g' % v for v in levels), peak, low, high, bit_width,
                            coding.format_name(data_format), 20 * math.log10(peak / (room + 0.5))))
    return array.array(coding.SIGNED, codes)
