"""The single-tone analysis' options and extra figures on synthetic
captures of known figures: harmonics H2 to H10 and THD, the spur table, an
excluded interferer, the noise density, clipped samples; averaged spectra
(synthetic and through the stand-in, whose captures then draw fresh noise)
and the statistics of repeated measurements; refusals."""
import math
import unittest

import qmsim
import qmboard
from qmboard import analysis
from synthetic import sines

N, RATE = 8192, 250e6
# 1501 periods in 8192 samples: H2 .. H10 fold to 3002, 3689, 2188, 687, 814,
# 2315, 3816, 2875 and 1374, none near another, the tone or DC.
FOLDED = {2: 3002, 3: 3689, 4: 2188, 5: 687, 6: 814, 7: 2315, 8: 3816, 9: 2875, 10: 1374}
LEVELS = dict((order, -60.0 - 5 * (order - 2)) for order in FOLDED)  # -60 .. -100 dBc


def harmonic_tone(bits=20):
    return sines(N, bits, [(1501, -1.0, 0.0)] + [
        (1501 * order, -1.0 + dbc, 0.4 * order) for order, dbc in LEVELS.items()])


def noise_spread(r):
    """The relative standard deviation of the bins nothing took."""
    s = r.power_spectrum
    values = [s.power[k] for k in range(1, s.last) if not s.taken[k]]
    mean = sum(values) / len(values)
    return math.sqrt(sum((v - mean) ** 2 for v in values) / len(values)) / mean


class SingleToneTest(unittest.TestCase):
    def test_harmonics_two_to_ten_and_thd_their_power_sum(self):
        # 20 bits: rounding puts 1/12 / 4096 LSB**2 in a bin, 57 dB below H10
        # (-101 dBFS, 4.6 LSB): it moves by sqrt(2 p / P) = 0.2 % = 0.009 dB
        # (one sigma): 0.05 dB is 5.5 sigma, and more for the others.
        r = analysis.analyse(harmonic_tone(), 20, RATE, harmonics=9)
        self.assertEqual([(h.order, h.bin) for h in r.harmonics], sorted(FOLDED.items()))
        for h in r.harmonics:
            self.assertAlmostEqual(h.dbc, LEVELS[h.order], delta=0.05, msg=h)
            self.assertAlmostEqual(h.dbfs, h.dbc + r.fundamental_dbfs, places=9)
        self.assertAlmostEqual(r.thd, 10 * math.log10(sum(10 ** (h.dbc / 10) for h in r.harmonics)),
                               places=9)
        self.assertAlmostEqual(r.thd, 10 * math.log10(sum(10 ** (l / 10) for l in LEVELS.values())),
                               delta=0.05)
        self.assertIn('THD          %.2f dBc (H2-H10)' % r.thd, str(r))
        # The default: H2 to H6 alone; the rest are spurs now, the largest in the table.
        default = analysis.analyse(harmonic_tone(), 20, RATE)
        self.assertEqual([h.order for h in default.harmonics], [2, 3, 4, 5, 6])
        self.assertEqual([s.bin for s in default.spurs[:4]], [2315, 3816, 2875, 1374])
        self.assertAlmostEqual(default.spurs[0].dbc, LEVELS[7], delta=0.05)

    def test_spur_table_and_sfdr_agree_and_spurs_stay_noise(self):
        capture = sines(N, 16, [(1501, -1.0, 0.0), (700, -90.0, 0.0), (2200, -95.0, 1.0),
                                (3100, -85.0, 2.0)], noise=0.5)
        r = analysis.analyse(capture, 16, RATE, spurs=3)
        self.assertEqual([s.bin for s in r.spurs], [3100, 700, 2200])
        for spur, level in zip(r.spurs, (-85.0, -90.0, -95.0)):
            # 16 bits with 1/12 + 1/12 LSB**2 of noise: 2e-5 a bin, 41 dB below
            # the -95 dBFS spur: 0.04 dB a sigma; 0.2 dB allowed.
            self.assertAlmostEqual(spur.dbfs, level, delta=0.2)
            self.assertAlmostEqual(spur.dbc, spur.dbfs - r.fundamental_dbfs, places=9)
        self.assertEqual((r.spur_frequency, -r.sfdr_dbc), (r.spurs[0].frequency, r.spurs[0].dbc))
        # The table changes no figure: spurs are noise to SNR and SINAD.
        without = analysis.analyse(capture, 16, RATE, spurs=0)
        self.assertEqual(without.spurs, [])
        self.assertEqual((without.snr, without.sinad, without.noise_floor),
                         (r.snr, r.sinad, r.noise_floor))

    def test_a_notched_interferer_leaves_the_snr_alone(self):
        # The converter's input, the same noise (+/-1 LSB of 14 bits) in all
        # three: excluding the interferer's bin (or a band around it) leaves
        # the mean of 4094 noise bins less that bin's (or the band's) noise,
        # some 1/4094 (sqrt(41)/4094) of it: 0.001 dB (0.007 dB), where 0.05
        # dB is allowed.
        def tone(*extra):
            return sines(N, 14, [(401, -1.0, 0.0)] + list(extra), noise=1.0, quantised=False)
        clean = analysis.analyse(tone(), 14, RATE)
        spoilt = tone((2500, -40.0, 0.0))
        self.assertLess(analysis.analyse(spoilt, 14, RATE).snr, 40)
        f = 2500 * RATE / N
        for kw, excluded in (({'exclude': [f]}, [(2500, 2500)]),
                             ({'exclude': [(f - 20 * RATE / N, f + 20 * RATE / N)]},
                              [(2480, 2520)]),
                             ({'exclude_bins': [(2480, 2520)]}, [(2480, 2520)]),
                             ({'exclude_bins': [2500, 2500]}, [(2500, 2500)])):
            r = analysis.analyse(spoilt, 14, RATE, **kw)
            self.assertEqual(r.excluded, excluded, kw)
            self.assertAlmostEqual(r.snr, clean.snr, delta=0.05, msg=kw)
            self.assertNotIn(2500, [s.bin for s in r.spurs])
        # A known clock spur above Nyquist, excluded where it folds (8192 - 5000).
        folded = tone((5000, -40.0, 0.0))
        r = analysis.analyse(folded, 14, RATE, exclude=[5000 * RATE / N])
        self.assertEqual(r.excluded, [(3192, 3192)])
        self.assertAlmostEqual(r.snr, clean.snr, delta=0.05)

    def test_noise_density_beside_the_floor(self):
        # Coherent: the floor is a bin's noise, the density that over fs/N.
        # Windowed: a bin's noise reads enbw times higher as a tone would;
        # the density is the same noise per Hz either way: the SNR's noise
        # over the first zone's fs/2.
        for cycles, window in ((401, 'rectangular'), (401.3, 'blackman-harris')):
            r = analysis.analyse(sines(N, 14, [(cycles, -1.0, 0.0)], noise=2.0), 14, RATE)
            self.assertEqual(r.window, window)
            enbw = r.power_spectrum.enbw
            self.assertAlmostEqual(r.noise_density,
                                   r.noise_floor - 10 * math.log10(enbw * RATE / N), delta=0.01)
            self.assertAlmostEqual(r.noise_density, r.fundamental_dbfs - r.snr
                                   - 10 * math.log10(RATE / 2), delta=1e-9)
            self.assertAlmostEqual(r.snr_dbfs, r.snr - r.fundamental_dbfs, places=9)
            self.assertIn('NSD          %.2f dBFS/Hz' % r.noise_density, r.report())

    def test_clipped_samples_at_the_code_limits(self):
        over = sines(N, 12, [(401, 1.0, 0.0)])  # 1 dB beyond full scale
        at_limits = sum(1 for v in over if v in (-2048, 2047))
        self.assertGreater(at_limits, 100)
        self.assertEqual(analysis.analyse(over, 12, RATE).clipped, at_limits)
        self.assertEqual(analysis.analyse(sines(N, 12, [(401, -1.0, 0.0)]), 12, RATE).clipped, 0)
        # Sign and magnitude stops at -2047, as a capture in that format says.
        self.assertEqual(analysis.analyse(over, 12, RATE, code_limits=(-2047, 2047)).clipped,
                         sum(1 for v in over if abs(v) == 2047 or v == -2048))


class AveragingTest(unittest.TestCase):
    def setUp(self):
        qmsim.reset()

    def tearDown(self):
        qmsim.reset()

    # A noise bin's power is exponential (relative spread 1); the mean of 16
    # has a spread of 1/4. Measured over 4093 bins, a spread is good to
    # sqrt((kurtosis - 1) / (4 x 4093)): 2.2 % for one, 1.2 % for 16, so the
    # ratio is 4.0 +/- 0.1 and 3.5 lies 5 sigma below. The tone is the same
    # in every record: its mean moves by rounding only.
    def test_sixteen_spectra_narrow_the_noise_and_leave_the_tone(self):
        records = [sines(N, 14, [(401, -1.0, 0.0)], noise=3.0, seed=s) for s in range(16)]
        one = analysis.analyse(records[0], 14, RATE)
        mean = analysis.average(records, 14, RATE)
        self.assertEqual((mean.averages, mean.samples), (16, records[0]))
        self.assertGreater(noise_spread(one) / noise_spread(mean), 3.5)
        self.assertLess(abs(mean.fundamental_dbfs - one.fundamental_dbfs), 0.01)
        with self.assertRaises(ValueError) as caught:
            analysis.average(records[:2] + [records[2][:4096]], 14, RATE)
        self.assertEqual(str(caught.exception), 'records[2] holds 4096 samples, the first record '
                                                '8192')
        self.assertRaises(ValueError, analysis.average, [], 14, RATE)

    def test_averaged_captures_of_the_stand_in(self):
        # Fresh noise of +/-8 LSB (24 LSB**2, against the 1/12 of rounding
        # that every capture repeats): as above, the captures' spectra narrow
        # 4-fold, less 0.2 %.
        qmsim.set_fresh_noise(0)
        qmsim.set_noise(0, 8)
        with qmboard.open(0) as board:
            dut = board.dut(0)
            one = dut.measure(N)
            starts = qmsim.call_count('QmBoardWriteCaptureStart')
            mean = dut.measure(N, averages=16)
            self.assertEqual(qmsim.call_count('QmBoardWriteCaptureStart') - starts, 16)
            run = qmboard.repeat(lambda: dut.measure(N), 4)
        self.assertEqual(mean.averages, 16)
        self.assertGreater(noise_spread(one) / noise_spread(mean), 3.5)
        self.assertLess(abs(mean.fundamental_dbfs - one.fundamental_dbfs), 0.01)
        snrs = [f['snr'] for f in run.figures]
        s = run.statistics['snr']
        mean_snr = sum(snrs) / 4
        self.assertAlmostEqual(s.mean, mean_snr, places=9)
        self.assertAlmostEqual(s.std, math.sqrt(sum((v - mean_snr) ** 2 for v in snrs) / 3),
                               places=9)
        self.assertEqual((s.min, s.max, run.count), (min(snrs), max(snrs), 4))
        self.assertGreater(s.std, 0)  # fresh noise: the runs differ
        self.assertNotIn('samples', run.statistics)
        self.assertNotIn('window', run.statistics)


class RepeatTest(unittest.TestCase):
    def test_statistics_of_figures_that_are_not_finite_or_not_numbers(self):
        values = iter([{'a': 1.0, 'b': float('inf'), 'c': 'x', 'd': float('inf')},
                       {'a': 3.0, 'b': 2.0, 'c': 'y', 'd': float('inf')}])
        run = qmboard.repeat(lambda: next(values), 2)
        self.assertEqual(run.statistics['a'], (2.0, math.sqrt(2), 1.0, 3.0))
        self.assertEqual(run.statistics['b'][0], float('inf'))
        self.assertTrue(math.isnan(run.statistics['b'][1]))
        self.assertEqual(run.statistics['d'][:2], (float('inf'), 0.0))
        self.assertNotIn('c', run.statistics)
        for args, error in (((None, 3), TypeError), ((lambda: 5, 1), TypeError),
                            ((dict, 0), ValueError), ((dict, 1.0), TypeError)):
            self.assertRaises(error, qmboard.repeat, *args)


class RefusalTest(unittest.TestCase):
    def test_options_are_checked_before_anything_is_captured(self):
        capture = sines(64, 12, [(5, -1.0, 0.0)])
        for kw, error in (({'harmonics': -1}, ValueError), ({'harmonics': 100}, ValueError),
                          ({'harmonics': 2.0}, TypeError), ({'spurs': 101}, ValueError),
                          ({'exclude': 5e6}, TypeError), ({'exclude': ['a']}, TypeError),
                          ({'exclude': [(2.0, 1.0)]}, ValueError),
                          ({'exclude': [(1.0, 2.0, 3.0)]}, ValueError),
                          ({'exclude': [(0.0, 2e9)]}, ValueError),
                          ({'exclude_bins': [33]}, ValueError), ({'exclude_bins': [-1]}, ValueError),
                          ({'code_limits': (5, 5)}, ValueError), ({'code_limits': 5}, TypeError)):
            self.assertRaises(error, analysis.analyse, capture, 12, RATE, **kw)
        qmsim.reset()
        with qmboard.open(0) as board:
            dut = board.dut(0)
            for kw in ({'averages': 0}, {'averages': analysis.MAX_AVERAGES + 1},
                       {'exclude_bins': [4097]}, {'exclude': [(0.0, 200e6)]}, {'spurs': -1}):
                self.assertRaises(ValueError, dut.measure, N, **kw)
            self.assertRaises(TypeError, dut.measure_two_tone, N, tones=5)
        self.assertEqual(qmsim.call_count('QmBoardWriteCaptureStart'), 0)


if __name__ == '__main__':
    unittest.main()
