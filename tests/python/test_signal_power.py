"""The signal core's spectra against the pure-Python kernels and closed
forms: the real transform against a direct DFT (1e-12 relative), Parseval
at 2**20 samples (1e-9), power spectra and levels to 1e-9 dB, the windows'
weights and gains, the reductions against plain Python, and every figure
of qmboard.analysis.analyse (on the kernels) against the pure-Python
pipeline it replaced (signal_reference.analyse), on the stand-in's tone and
on synthetic captures."""
import array
import ctypes
import math
import random
import unittest

import _qm_signal as signal
import qmboard
import qmsim
import signal_reference as reference
from qmboard import analysis
from synthetic import direct_dft, harmonic_tone

# Levels agree to 1e-9 dB, a power ratio of 1 + 2.3e-10: far above the
# transforms' rounding (some 1e-16 of the largest bin, times log2 n), far
# below anything a figure shows.
DB = 1e-9


def one_sided_dft(x):
    return direct_dft(x)[:len(x) // 2 + 1]


def complex_pairs(values):
    return [complex(values[2 * k], values[2 * k + 1]) for k in range(len(values) // 2)]


def db_apart(a, b):
    return abs(10 * math.log10(a / b)) if a and b else (0.0 if a == b else float('inf'))


def tone(n, cycles, amplitude, harmonics=(), noise=0.5, seed=1):
    return array.array('i', harmonic_tone(n, cycles, amplitude, harmonics, noise, seed))


class TransformTest(unittest.TestCase):
    def test_real_transform_matches_a_direct_dft(self):
        rng = random.Random(3)
        for n in (2, 4, 8, 16, 32, 64, 128, 256):
            x = array.array('d', [rng.uniform(-1, 1) for _ in range(n)])
            got = complex_pairs(signal.rfft(x))
            want = one_sided_dft(x)
            largest = max(abs(v) for v in want)
            error = max(abs(a - b) for a, b in zip(got, want))
            self.assertLess(error, 1e-12 * largest, n)

    def test_parseval_at_a_million_samples(self):
        # The bins of the one-sided mean-square spectrum sum to the mean
        # square of the samples.
        n = 2 ** 20
        rng = random.Random(5)
        x = array.array('d', [rng.uniform(-1, 1) for _ in range(n)])
        power = signal.power_spectrum(x)
        self.assertEqual(len(power), n // 2 + 1)
        mean_square = math.fsum(v * v for v in x) / n
        self.assertLess(abs(math.fsum(power) / mean_square - 1), 1e-9)

    def test_power_spectrum_matches_the_reference(self):
        rng = random.Random(9)
        samples = [rng.randint(-8000, 8000) for _ in range(1024)]
        for window in (reference.RECTANGULAR, reference.BLACKMAN_HARRIS):
            want, _ = reference._power_spectrum(map(float, samples), window)
            for source in (array.array('i', samples), array.array('d', samples),
                           (ctypes.c_int32 * 1024)(*samples)):
                got = signal.power_spectrum(source, window)
                self.assertLess(max(db_apart(a, b) for a, b in zip(got, want)), DB)
            # Into a spectrum no longer needed: in place for a ctypes view,
            # through a copy for an array.array; the same bins.
            for out in ((ctypes.c_double * 513)(), array.array('d', [7.0] * 513)):
                self.assertIs(signal.power_spectrum(source, window, out), out)
                self.assertEqual(list(out), list(got))


class WindowTest(unittest.TestCase):
    N = 4096
    TERMS = {'rectangular': (1.0,), 'hann': (0.5, 0.5),
             'blackman-harris-4': (0.35875, 0.48829, 0.14128, 0.01168),
             'blackman-harris': reference._BH7,
             'flat-top': (0.21557895, 0.41663158, 0.277263158, 0.083578947, 0.006947368)}

    def test_weights_are_those_in_use_and_the_cosine_sums(self):
        want, total, squares = reference.window_values(reference.BLACKMAN_HARRIS, self.N)
        got = signal.window('blackman-harris', self.N)
        self.assertLess(max(abs(a - b) for a, b in zip(got, want)), 1e-15)
        hann = signal.window('hann', 64)
        for i, w in enumerate(hann):
            self.assertAlmostEqual(w, 0.5 - 0.5 * math.cos(2 * math.pi * i / 64), places=15)
        self.assertEqual(signal.window('rectangular', 8).tolist(), [1.0] * 8)

    def test_gains_against_their_closed_forms(self):
        # A periodic cosine sum of terms a_j: coherent gain a0, noise gain
        # a0**2 + sum(a_j**2) / 2 (j > 0), enbw their ratio over a0**2.
        self.assertEqual(tuple(signal.WINDOWS), tuple(sorted(self.TERMS, key=signal.WINDOWS.index)))
        for name, terms in self.TERMS.items():
            coherent, noise, enbw, lobe = signal.window_gains(name, self.N)
            power = terms[0] ** 2 + sum(a * a for a in terms[1:]) / 2
            self.assertAlmostEqual(coherent, terms[0], places=12)
            self.assertAlmostEqual(noise, power, places=12)
            self.assertAlmostEqual(enbw, power / terms[0] ** 2, places=12)
            self.assertEqual(lobe, len(terms))

    def test_each_window_leaks_no_further_than_its_main_lobe(self):
        # A tone on a bin, windowed, reaches exactly the bins within the
        # main lobe; beyond it only rounding remains.
        n, k = 1024, 100
        for name in signal.WINDOWS:
            x = array.array('d', [math.cos(2 * math.pi * k * i / n) for i in range(n)])
            power = signal.power_spectrum(x, name)
            lobe = signal.window_gains(name, n)[3]
            self.assertGreater(min(power[k - lobe + 1:k + lobe]), 1e-12 * power[k], name)
            self.assertLess(max(power[:k - lobe + 1] + power[k + lobe:]), 1e-25, name)

    def test_flat_top_reads_a_tone_between_bins_true(self):
        # The peak bin times the enbw is the tone's mean square (A**2 / 2)
        # on a bin; half a bin off the flat top loses under 0.02 dB, Hann 1.4 dB.
        n = 4096
        for name, loss in (('flat-top', 0.02), ('hann', 1.5)):
            enbw = signal.window_gains(name, n)[2]
            for cycles in (300.0, 300.5):
                x = array.array('d', [math.sin(2 * math.pi * cycles * i / n) for i in range(n)])
                level = 10 * math.log10(max(signal.power_spectrum(x, name)) * enbw / 0.5)
                self.assertLess(-level, loss, (name, cycles))
        self.assertGreater(-level, 1.3)  # Hann, off a bin


class LevelTest(unittest.TestCase):
    def test_decibels_match_the_library_log10(self):
        rng = random.Random(2)
        power = array.array('d', [0.0, 1.0, 1e-300, 1e300, 5e-324, 2.0 ** 0.5] +
                            [10 ** rng.uniform(-250, 250) for _ in range(2000)])
        got = signal.dbfs(power, 3.5, 1.9, -300.0)
        for p, level in zip(power, got):
            want = max(10 * math.log10(p * 1.9 / 3.5), -300.0) if p else -300.0
            self.assertAlmostEqual(level, want, delta=1e-12, msg=p)


class ReductionTest(unittest.TestCase):
    def setUp(self):
        rng = random.Random(4)
        self.values = array.array('d', [rng.expovariate(1.0) for _ in range(300)])
        self.taken = bytearray(rng.random() < 0.3 for _ in range(300))

    def free(self, start, stop):
        return [k for k in range(max(start, 0), min(stop, 300)) if not self.taken[k]]

    def test_band_sums_untaken_bins_and_takes_them(self):
        for start, stop in ((-5, 7), (10, 40), (290, 320), (50, 50)):
            bins = self.free(start, stop)
            count, total, moment = signal.band(self.values, start, stop, self.taken)
            self.assertEqual(count, len(bins))
            self.assertEqual(total, sum(self.values[k] for k in bins))
            self.assertEqual(moment, sum(k * self.values[k] for k in bins))
        mask = bytearray(self.taken)
        signal.band(self.values, 10, 40, mask, True)
        self.assertEqual([k for k in range(300) if mask[k] != self.taken[k]], self.free(10, 40))
        self.assertEqual(signal.band(self.values, 0)[0], 300)

    def test_argmax_peaks_and_order_statistics(self):
        bins = self.free(5, 250)
        best = max(bins, key=self.values.__getitem__)
        self.assertEqual(signal.argmax(self.values, 5, 250, self.taken), (best, self.values[best]))
        self.assertEqual(signal.argmax(self.values, 5, 5), None)
        least = min(bins, key=self.values.__getitem__)
        self.assertEqual(signal.argmin(self.values, 5, 250, self.taken),
                         (least, self.values[least]))
        ties = array.array('d', [2.0, 1.0, 3.0, 1.0, 3.0])
        self.assertEqual((signal.argmin(ties), signal.argmax(ties)), ((1, 1.0), (2, 3.0)))
        v = self.values
        local = [k for k in bins if (k == 0 or v[k] > v[k - 1]) and (k == 299 or v[k] >= v[k + 1])]
        want = sorted(local, key=lambda k: (-v[k], k))[:7]
        self.assertEqual(signal.peaks(v, 7, 5, 250, self.taken), want)
        self.assertEqual(len(signal.peaks(v, 1000)), len(signal.peaks(v, 300)))
        for rank in (0, 17, 149):
            self.assertEqual(signal.nth_smallest(v, rank, 20, 170), sorted(v[20:170])[rank])

    def test_extremes_in_every_element_type(self):
        v = self.values
        self.assertEqual(signal.extremes(v), (min(v), max(v)))
        self.assertEqual(signal.extremes(v, 10, 20), (min(v[10:20]), max(v[10:20])))
        self.assertIsNone(signal.extremes(v, 5, 5))
        # Each type read as it is: signed and unsigned, at the ends of its range.
        for code, values in (('b', [-128, 5, 127]), ('B', [0, 7, 255]), ('h', [-32768, 3, 32767]),
                             ('H', [65535, 0, 9]), ('i', [-2 ** 31, 0, 2 ** 31 - 1]),
                             ('I', [2 ** 32 - 1, 1, 0]), ('l', [4, -2 ** 31]), ('L', [2 ** 32 - 1, 6]),
                             ('f', [-1.5, 2.25, 2.0 ** 100])):
            source = array.array(code, values)
            self.assertEqual(signal.extremes(source), (min(values), max(values)), code)
            view = analysis._view(source)  # in place
            self.assertEqual(signal.extremes(view, 1), (min(values[1:]), max(values[1:])), code)

    def test_counts_below_decide_as_order_statistics(self):
        v = self.values
        for limit in (0.0, v[17], 1.0, 100.0):
            self.assertEqual(signal.count_below(v, limit, 20, 170),
                             sum(1 for x in v[20:170] if x < limit))
        # The rank `limit` takes: the order statistic of rank k is at least
        # `limit` exactly when at most k values lie below it, also among equal values.
        ties = array.array('d', sorted(list(v[:50]) * 3))
        for rank in (0, 17, 74, 149):
            value = signal.nth_smallest(ties, rank)
            self.assertLessEqual(signal.count_below(ties, value), rank)
            self.assertGreater(signal.count_below(ties, analysis._step(value, 1)), rank)

    def test_running_sums_and_accumulation(self):
        sums = signal.cumsum(self.values)
        self.assertAlmostEqual(sums[-1], math.fsum(self.values), places=9)
        total = array.array('d', [0.0] * 300)
        for _ in range(4):
            signal.accumulate(total, self.values, 0.25)
        self.assertLess(max(abs(a - b) for a, b in zip(total, self.values)), 1e-15)
        view = (ctypes.c_double * 300)()
        signal.accumulate(view, array.array('i', range(300)), 2.0)
        self.assertEqual(list(view), [2.0 * k for k in range(300)])


class DensityKernelTest(unittest.TestCase):
    """code_density against the sine's transitions T[k] = C - A cos(pi CH[k-1])
    worked out directly (cosines subtracted: good to some 1e-12 LSB here)."""

    def direct(self, counts, first, last):
        total = float(sum(counts[first:last + 1]))
        low, high = math.cos(math.pi * counts[first] / total), math.cos(math.pi * counts[last] /
                                                                         total)
        a = (last - first - 1) / (low + high)
        c = first + 0.5 + a * low
        below = [sum(counts[first:k]) / total for k in range(first, last + 2)]
        t = dict((k, c - a * math.cos(math.pi * below[k - first])) for k in range(first + 1,
                                                                                   last + 1))
        dnl = [t[k + 1] - t[k] - 1 for k in range(first + 1, last)]
        inl = [t[k + 1] - (k + 0.5) for k in range(first + 1, last)]
        return dnl, inl, c, a

    def test_transitions_of_the_sine_and_the_ends(self):
        rng = random.Random(5)
        counts = array.array('I', [0, 0, 900] + [rng.randint(40, 400) for _ in range(60)] +
                             [0, 17] + [rng.randint(40, 400) for _ in range(60)] + [1200, 0])
        dnl, inl, offset, amplitude, missing = signal.code_density(counts)
        want = self.direct(counts, 2, len(counts) - 2)
        for got, expected in zip(dnl, want[0]) + zip(inl, want[1]):
            self.assertAlmostEqual(got, expected, delta=1e-9)
        self.assertAlmostEqual(offset, want[2], delta=1e-9)
        self.assertAlmostEqual(amplitude, want[3], delta=1e-9)
        self.assertEqual((missing, dnl[60], inl[-1]), ([63], -1.0, 0.0))
        # Ends given; counts of any numeric type, in place through a ctypes view.
        got = signal.code_density(analysis._view(array.array('d', counts)), 10, 100)
        want = self.direct(counts, 10, 100)
        self.assertEqual(len(got[0]), 89)
        self.assertAlmostEqual(max(abs(a - b) for a, b in zip(got[0], want[0])), 0, delta=1e-9)

    def test_refusals(self):
        for args, exception, text in (
                (([1.0, -1.0, 1.0],), ValueError, 'counts must not be negative'),
                (([1.0, float('nan'), 1.0],), ValueError, 'counts must be finite numbers'),
                (([0.0] * 4,), ValueError, 'the counts hold no samples'),
                (([0.0, 3.0, 4.0, 0.0],), ValueError, 'the end codes 1 and 2 must have codes '
                                                       'between them, within the 4 counts'),
                (([3.0, 0.0, 4.0],), ValueError, 'no samples came between the end codes 0 and 2'),
                (([3.0, 1.0, 4.0], 3), ValueError, 'first 3 outside 0..2'),
                (([3.0, 1.0, 4.0], 0, -2), ValueError, 'last -2 outside 0..2'),
                (('abc',), TypeError, None)):
            values = array.array('d', args[0]) if isinstance(args[0], list) else args[0]
            with self.assertRaises(exception) as caught:
                signal.code_density(values, *args[1:])
            if text:
                self.assertEqual(str(caught.exception), text)


class FiguresTest(unittest.TestCase):
    """qmboard.analysis.analyse, on the kernels, gives the figures of the
    pure-Python pipeline it replaced (signal_reference.analyse)."""

    def check_same(self, samples, bits, rate, window=None):
        native = analysis.analyse(samples, bits, rate, window)
        python = reference.analyse(samples, bits, rate, window)
        self.assertEqual((native.window, native.coherent, native.fundamental_bin),
                         (python.window, python.coherent, python.fundamental_bin))
        for name in ('fundamental_dbfs', 'snr', 'sinad', 'thd', 'noise_floor', 'sfdr_dbc',
                     'sfdr_dbfs'):
            a, b = getattr(native, name), getattr(python, name)
            self.assertTrue(a == b or abs(a - b) < DB, (name, a, b))
        for name in ('fundamental_frequency', 'spur_frequency', 'enob'):
            self.assertAlmostEqual(getattr(native, name), getattr(python, name),
                                   delta=1e-9 * abs(getattr(python, name)) + 1e-12, msg=name)
        self.assertEqual(native.spur_order, python.spur_order)
        self.assertEqual([(h.order, h.bin) for h in native.harmonics],
                         [(h.order, h.bin) for h in python.harmonics])
        for a, b in zip(native.harmonics, python.harmonics):
            self.assertTrue(a.dbc == b.dbc or abs(a.dbc - b.dbc) < DB, (a, b))
        # Bins far below the peak carry the transforms' rounding: some 1e-15
        # of the peak's amplitude, 8.7e-15 * 10**(depth / 20) dB at `depth` dB
        # below it (1e-7 dB at 140 dB); 1e-14 of it is allowed on top of DB.
        peak = max(python.spectrum)
        self.assertEqual(len(native.spectrum), len(python.spectrum))
        for a, b in zip(native.spectrum, python.spectrum):
            self.assertLess(abs(a - b), DB + 1e-14 * 10 ** ((peak - b) / 20.0), b)
        self.assertEqual(str(native), str(python))
        return native

    def test_the_coherence_test_decides_as_the_sorted_median_did(self):
        # Bins whose median lies a few units in the last place either side of
        # where the peak's neighbours stop being at the noise, repeated
        # (the median among equal bins), at levels far apart.
        class Bins(object):
            def __init__(self, power):
                self.values = array.array('d', power)
                self.power, self.last = analysis._view(self.values), len(power) - 1
        seen = set()
        for neighbour in (3e-300, 1.0, 7.77e5, 2.5e299):
            guess = neighbour * math.log(2) / 10
            for units in range(-4, 5):
                median = analysis._step(guess, units)
                for one_side in (False, True):
                    # 41 bins between DC and Nyquist, the median the 21st
                    # smallest; the peak is the second last.
                    inner = [1e-310] * 19 + [median] * 19 + [
                        neighbour, neighbour * 1e6, 1e-310 if one_side else neighbour]
                    power = [5.0] + inner + [0.0]
                    want = reference._is_coherent(power)
                    self.assertEqual(analysis._is_coherent(Bins(power)), want, (neighbour, units))
                    seen.add(want)
        self.assertEqual(seen, set([True, False]))

    def test_the_stand_ins_tones(self):
        qmsim.reset()
        for board, config in ((0, 0), (1, 2)):
            with qmboard.open(board) as bench:
                dut = bench.dut(0)
                samples = dut.capture(8192, config=config)
                bits, rate = dut.capture_configs[config].bit_size, dut.sampling_frequency_of(config)
            self.check_same(samples, bits, rate)

    def test_synthetic_tones_coherent_windowed_and_distorted(self):
        hd = ((2, -60.0), (3, -70.0))
        for cycles, window in ((1501, None), (1501.37, None), (1501, 'blackman-harris'),
                               (1501.37, 'rectangular')):
            self.check_same(tone(4096, cycles, 0.5 * 2 ** 15, hd), 16, 100e6, window)
        # A long record, off a bin: the windowed path at the size captures reach.
        r = self.check_same(tone(65536, 4099.6, 0.9 * 2 ** 13, hd), 14, 250e6)
        self.assertEqual(r.window, 'blackman-harris')

    def test_components_that_share_bins_and_equal_bins(self):
        # A windowed tone near DC: the fundamental's lobe overlaps DC's, its
        # harmonics' lobes the fundamental's.
        self.check_same(tone(256, 10.3, 1000, ((2, -50.0),)), 12, 1e6, 'blackman-harris')
        # A quarter of the rate: H2 at Nyquist, H3 folds onto the
        # fundamental, H4 onto DC (both taken: -inf dBc).
        r = self.check_same(tone(64, 16, 1000, ((2, -40.0), (3, -45.0))), 12, 1e6)
        self.assertEqual([h.dbc for h in r.harmonics][1:3], [float('-inf')] * 2)
        # A tone at Nyquist, exact zeros everywhere else: every noise bin
        # equal, the spur the highest of them.
        r = self.check_same([100, -100] * 8, 12, 1e6)
        self.assertEqual((r.fundamental_bin, r.sfdr_dbc, r.spur_frequency),
                         (8, float('inf'), 7 * r.bin_width))


if __name__ == '__main__':
    unittest.main()
