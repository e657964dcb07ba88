"""Converter measurements: the FFT against a direct DFT, the stand-in's tone
measured (Dut.measure) against its known model, harmonics of a tone distorted on purpose,
what an analysis keeps, the plot's SVG, and bad input."""
import array
import math
import random
import unittest

import qmsim
import qmboard
from qmboard import analysis, plot
from synthetic import direct_dft, harmonic_tone as tone
from svg_files import written

# The stand-in's tone (qmdll/src/capture.cpp): v[n] = lround(A sin(2 pi k n / 8192))
# + d[n], A = 0.9 * 2**(bits-1), k = 401 + 128 config + 32 (board % 4), and d[n]
# = h(n) % 5 - 2 from an integer hash: -2..2, equally likely (2**32 % 5 = 1, a
# bias of 2**-32). Model of the error e = d + q, q the rounding error:
#   d: E[d^2] = (4+1+0+1+4)/5 = 2,      E[d^4] = (16+1+0+1+16)/5 = 6.8
#   q: k is odd, so the 8192 phases are all distinct and evenly spread, and q is
#      uniform on [-1/2, 1/2): E[q^2] = 1/12, E[q^4] = 1/80; independent of d.
#   sigma^2 = E[e^2] = 2 + 1/12 = 2.0833 LSB^2, so SNR = 10 log10((A^2 / 2) / sigma^2)
#   (71.155 dB for 14 bits, 59.113 dB for 12) and ENOB = (SNR - 1.76) / 6.02.
# The measured noise power is the mean of e^2 over N = 8192 samples (the bins
# the tone and harmonics take are filled with the average, so no bias):
#   Var(e^2) = E[e^4] - E[e^2]^2 = (6.8 + 6 * 2 / 12 + 1/80) - 2.0833^2 = 3.472
#   relative standard deviation of the mean = sqrt(3.472 / 8192) / 2.0833 = 0.99 %
#   = 0.043 dB. A tolerance of 0.2 dB (4.7 sigma) for SNR and SINAD, and
#   0.2 / 6.02 = 0.033 bits for ENOB. The tone's own bin carries noise of
#   relative amplitude sqrt(2 sigma^2 / N) / A < 1e-5: the level is good to far
#   better than 0.05 dB.
NOISE_POWER = 2 + 1.0 / 12
SNR_TOLERANCE_DB = 0.2
RECORD = 8192


def measure_stand_in(board, config):
    """The analysis of one stand-in capture, through the bench API."""
    with qmboard.open(board) as bench:
        return bench.dut(0).measure(RECORD, config=config)


class TransformTest(unittest.TestCase):
    def test_fft_and_rfft_match_a_direct_dft(self):
        rng = random.Random(7)
        for n in (1, 2, 4, 8, 16, 32, 64, 128):
            x = [complex(rng.uniform(-1, 1), rng.uniform(-1, 1)) for _ in range(n)]
            for got, want in zip(analysis.fft(x), direct_dft(x)):
                self.assertAlmostEqual(abs(got - want), 0, places=9)
            if n >= 2:
                real = [rng.uniform(-1, 1) for _ in range(n)]
                got = analysis.rfft(real)
                self.assertEqual(len(got), n // 2 + 1)
                for a, b in zip(got, direct_dft(real)):
                    self.assertAlmostEqual(abs(a - b), 0, places=9)

    def test_lengths_that_are_not_powers_of_two_are_refused(self):
        for n in (0, 3, 12):
            self.assertRaises(ValueError, analysis.fft, [0j] * n)
        self.assertRaises(ValueError, analysis.rfft, [1.0])

    def test_transforms_take_sequences_of_numbers_only(self):
        # Text and bytes-like objects would be read as their characters or bytes.
        for bad in (u'\u20ac', 'abcd', bytearray(4), memoryview('abcd'), None, ['a'], [1j, 2]):
            for transform in (analysis.fft, analysis.rfft):
                if transform is analysis.fft and bad == [1j, 2]:
                    continue
                with self.assertRaises(TypeError) as caught:
                    transform(bad)
                self.assertIn('must be a sequence of', str(caught.exception))


class StandInToneTest(unittest.TestCase):
    def setUp(self):
        qmsim.reset()

    def check_tone(self, board, config, bits):
        r = measure_stand_in(board, config)
        self.assertEqual(r.bit_width, bits)
        frequency, amplitude = qmsim.tone(board, config)
        self.assertTrue(r.coherent)
        self.assertEqual(r.window, analysis.RECTANGULAR)
        self.assertEqual(r.fundamental_bin, 401 + 128 * config + 32 * (board % 4))
        self.assertAlmostEqual(r.fundamental_frequency, frequency, delta=1e-6)
        self.assertAlmostEqual(r.fundamental_dbfs, 20 * math.log10(0.9), delta=0.05)
        snr = 10 * math.log10(amplitude ** 2 / 2 / NOISE_POWER)
        self.assertAlmostEqual(r.snr, snr, delta=SNR_TOLERANCE_DB)
        self.assertAlmostEqual(r.sinad, snr, delta=SNR_TOLERANCE_DB)
        self.assertLessEqual(r.sinad, r.snr)
        self.assertAlmostEqual(r.enob, (snr - 1.76) / 6.02, delta=SNR_TOLERANCE_DB / 6.02)
        # A clean tone: no harmonic stands out of the noise bins (13 dB above
        # their average: an exponentially distributed bin gets there once in
        # e**20; 4096 bins do once in 1e5), and the largest spur is noise.
        for h in r.harmonics:
            self.assertLess(r.fundamental_dbfs + h.dbc, r.noise_floor + 13, h)
        self.assertLess(-r.sfdr_dbfs, r.noise_floor + 13)
        return r

    def test_the_demo_tone_on_board_0(self):
        r = self.check_tone(0, 0, 14)
        self.assertEqual('%.3f MHz' % (r.fundamental_frequency / 1e6), '12.238 MHz')
        self.assertEqual(r.sampling_frequency, 250e6)
        self.assertIn('12.238 MHz (bin 401), -0.915 dBFS', str(r))

    def test_a_decimated_12_bit_tone_on_board_1(self):
        self.check_tone(1, 2, 12)


class HarmonicsTest(unittest.TestCase):
    # 1501 periods in 4096 samples: H2 at 3002 folds to bin 1094, H3 at 4503 to 407.
    N, BITS = 4096, 16
    HD = ((2, -60.0), (3, -70.0))

    def analyse(self, cycles, window=None):
        samples = tone(self.N, cycles, 0.5 * 2 ** (self.BITS - 1), self.HD, noise=0.5)
        return analysis.analyse(samples, self.BITS, 100e6, window)

    def check(self, r, bins):
        levels = dict((h.order, h) for h in r.harmonics)
        self.assertEqual(sorted(levels), [2, 3, 4, 5, 6])
        for (order, dbc), at in zip(self.HD, bins):
            self.assertEqual(levels[order].bin, at)
            self.assertAlmostEqual(levels[order].dbc, dbc, delta=0.3)
        for order in (4, 5, 6):
            self.assertLess(levels[order].dbc, -85)
        self.assertAlmostEqual(r.thd, 10 * math.log10(1e-6 + 1e-7), delta=0.3)
        self.assertEqual(r.spur_order, 2)
        self.assertAlmostEqual(r.sfdr_dbc, 60, delta=0.3)
        self.assertAlmostEqual(r.sfdr_dbfs - r.sfdr_dbc, -r.fundamental_dbfs, places=9)
        self.assertLess(r.sinad, r.snr)

    def test_coherent_tone_harmonics_at_their_folded_bins(self):
        r = self.analyse(1501)
        self.assertEqual((r.window, r.coherent), (analysis.RECTANGULAR, True))
        self.assertEqual(r.fundamental_bin, 1501)
        self.check(r, (1094, 407))
        self.assertAlmostEqual(r.harmonics[0].frequency, 1094 * 100e6 / self.N, places=3)

    def test_tone_off_a_bin_is_windowed(self):
        r = self.analyse(1501.37)
        self.assertEqual((r.window, r.coherent), (analysis.BLACKMAN_HARRIS, False))
        self.assertAlmostEqual(r.fundamental_frequency / r.bin_width, 1501.37, delta=0.01)
        self.assertAlmostEqual(r.fundamental_dbfs, 20 * math.log10(0.5), delta=0.05)
        # 2 x 1501.37 = 3002.74 -> 1093.26; 3 x 1501.37 = 4504.11 -> 408.11.
        self.check(r, (1093, 408))
        # The same figures whichever window a coherent capture is given.
        coherent = self.analyse(1501, analysis.BLACKMAN_HARRIS)
        self.assertAlmostEqual(coherent.thd, self.analyse(1501).thd, delta=0.1)


class BadInputTest(unittest.TestCase):
    def test_refusals(self):
        good = tone(64, 5, 100)
        cases = [
            (ValueError, (good[:48], 12, 1e6), {}),
            (ValueError, (good[:8], 12, 1e6), {}),
            (TypeError, (good, 12.0, 1e6), {}),
            (ValueError, (good, 1, 1e6), {}),
            (ValueError, (good, 12, 0), {}),
            (ValueError, (good, 12, float('nan')), {}),
            (ValueError, (good, 12, 1e6), {'window': 'hann'}),
            (ValueError, (good[:63] + [float('inf')], 12, 1e6), {}),
            (ValueError, ([3] * 64, 12, 1e6), {}),
            (TypeError, (good[:63] + [None], 12, 1e6), {}),
        ]
        for exc, args, kw in cases:
            self.assertRaises(exc, analysis.analyse, *args, **kw)

    def test_the_smallest_records_and_the_largest_codes(self):
        short = tone(16, 3.3, 100)
        self.assertEqual(analysis.analyse(short, 12, 1e6, 'rectangular').window, 'rectangular')
        with self.assertRaises(ValueError) as caught:
            analysis.analyse(short, 12, 1e6, 'blackman-harris')
        self.assertEqual(str(caught.exception),
                         'the Blackman-Harris window needs at least 64 samples, not 16')
        self.assertRaises(ValueError, analysis.check, 32, 'blackman-harris')
        windowed = analysis.analyse(tone(64, 3.3, 100), 12, 1e6)
        self.assertEqual(windowed.window, 'blackman-harris')
        with self.assertRaises(ValueError) as caught:
            analysis.analyse([1e200, -1e200] * 8, 14, 1e6)
        self.assertEqual(str(caught.exception),
                         'samples must be codes of a 14-bit converter, within +/-16384')
        self.assertRaises(TypeError, analysis.analyse, 'codes' * 4, 14, 1e6)
        self.assertRaises(TypeError, analysis.analyse, tone(64, 5, 100), 14, '1e6')


class KeptSamplesTest(unittest.TestCase):
    def test_samples_are_a_copy_and_the_spectrum_is_made_when_read(self):
        capture = array.array('i', tone(1024, 101, 1000, noise=0.5))
        given = capture.tolist()
        r = analysis.analyse(capture, 12, 1e6)
        capture[:4] = array.array('i', [999] * 4)  # the caller's array stays theirs
        self.assertEqual((r.samples.typecode, r.samples.tolist()), ('i', given))
        self.assertNotIn('spectrum', vars(r))
        levels = r.spectrum
        self.assertIs(r.spectrum, levels)
        self.assertEqual(len(levels), 513)
        self.assertEqual(levels.tolist(), r.power_spectrum.levels().tolist())
        peak = r.fundamental_bin
        self.assertAlmostEqual(levels[peak], r.fundamental_dbfs, places=9)
        r.spectrum = [0.0]  # an attribute as before
        self.assertEqual(r.spectrum, [0.0])
        self.assertEqual(analysis.analyse(given, 12, 1e6).samples.typecode, 'd')

    def test_codes_beyond_the_converter_and_numbers_that_are_not_finite(self):
        # An integer beyond any double raised OverflowError, and doubles
        # whose sum overflows were said not to be finite: both are codes no
        # 14-bit converter gives.
        for bad in ([10 ** 400] + [0] * 15, [1e308] * 16, array.array('i', [-16385] * 16)):
            with self.assertRaises(ValueError) as caught:
                analysis.analyse(bad, 14, 1e6)
            self.assertEqual(str(caught.exception),
                             'samples must be codes of a 14-bit converter, within +/-16384')
        for bad in ([0.0] * 15 + [float('nan')], array.array('f', [float('inf')] * 16)):
            with self.assertRaises(ValueError) as caught:
                analysis.analyse(bad, 14, 1e6)
            self.assertEqual(str(caught.exception), 'samples must be finite numbers')
        # Numbers as float() reads them, as before: strings of numbers too.
        self.assertEqual(analysis.analyse(map(str, tone(64, 5, 100)), 12, 1e6).fundamental_bin, 5)

    def test_records_up_to_the_longest_transform(self):
        self.assertGreaterEqual(analysis.MAX_SAMPLES, 2 ** 20)
        analysis.check(analysis.MAX_SAMPLES, 'blackman-harris')
        with self.assertRaises(ValueError) as caught:
            analysis.check(2 * analysis.MAX_SAMPLES)
        self.assertEqual(str(caught.exception), 'analyse needs a power-of-two number of samples, '
                         '16 to %d, not %d' % (analysis.MAX_SAMPLES, 2 * analysis.MAX_SAMPLES))


class SpectrumTest(unittest.TestCase):
    def test_components_take_their_lobes_and_leave_the_rest_to_the_noise(self):
        # 33 bins of 64 samples: 1 everywhere, DC 50, a tone of 100 on bin 12
        # with 10 on either side, bins 20 and 25 equal at 7.
        power = array.array('d', [1.0] * 33)
        power[0], power[11], power[12], power[13], power[20], power[25] = 50, 10, 100, 10, 7, 7
        s = analysis.Spectrum(power, 'blackman-harris', 2.0, 1e3)
        self.assertEqual((s.n, s.last, s.lobe, s.bin_width), (64, 32, 8, 1e3))
        self.assertEqual(s.take(0), (9, 58.0, 36.0))                       # DC: bins 0..8
        self.assertEqual(s.peak(), (12, 100.0))
        self.assertEqual(s.take(12, shared=True), (17, 140.0, 1728.0))    # bins 4..20, all
        self.assertEqual(s.take(24), (12, 18.0, 468.0))                    # 21..32, untaken
        self.assertEqual(s.free(), (0, 0.0))
        self.assertIsNone(s.loudest())
        self.assertEqual([k for k in range(33) if not s.taken[k]], [])
        fresh = analysis.Spectrum(power, 'rectangular', 2.0, 1e3)
        fresh.take(12)
        self.assertEqual(fresh.free(), (30, 60.0))                   # bins 1..31 but 12
        self.assertEqual(fresh.loudest(), (13, 10.0))                 # the higher of 11 and 13
        self.assertEqual(fresh.loudest(14, 32), (25, 7.0))            # the higher of 20 and 25
        self.assertEqual(fresh.levels()[12], 10 * math.log10(100 / 2.0))
        power[12] = 0.0  # the spectrum holds a copy
        self.assertEqual(fresh.power[12], 100.0)
        for args, exception in (((power, 'hann', 2.0, 1e3), ValueError),
                                ((power[:32], 'rectangular', 2.0, 1e3), ValueError),
                                ((power, 'rectangular', 0, 1e3), ValueError),
                                ((power, 'rectangular', 2.0, '1e3'), TypeError),
                                (([1.0, -1.0, 0.0], 'rectangular', 2.0, 1e3), ValueError),
                                (([1.0, float('nan'), 0.0], 'rectangular', 2.0, 1e3), ValueError),
                                ((['a'] * 3, 'rectangular', 2.0, 1e3), TypeError),
                                (([10 ** 400] * 3, 'rectangular', 2.0, 1e3), ValueError),
                                (('abc', 'rectangular', 2.0, 1e3), TypeError)):
            self.assertRaises(exception, analysis.Spectrum, *args)


class PlotTest(unittest.TestCase):
    def test_svg_holds_the_figures_and_markers(self):
        r = analysis.analyse(tone(4096, 1501, 1000, HarmonicsTest.HD, noise=0.5), 12, 100e6)
        doc, texts = written(plot.write_svg, r)
        root = doc.documentElement
        self.assertEqual((root.tagName, root.getAttribute('xmlns')),
                         ('svg', 'http://www.w3.org/2000/svg'))
        for name, value in r.rows():
            self.assertIn(name, texts)
        self.assertIn('%.2f dB' % r.snr, texts)
        # The fundamental and five harmonics marked, the figures' key included.
        for label in ('F', '2', '3', '4', '5', '6'):
            self.assertIn(label, texts)
        self.assertEqual(len(doc.getElementsByTagName('polyline')), 2)
        self.assertRaises(TypeError, plot.svg_text, 'not an analysis')
        self.assertRaises(ValueError, plot.svg_text, r, periods=0)
        # A name open() cannot take gets the plot's own words, not the file system's.
        with self.assertRaises(ValueError) as caught:
            plot.write_svg(r, 'a\0b.svg')
        self.assertEqual(str(caught.exception), 'path must not contain NUL characters')


if __name__ == '__main__':
    unittest.main()
