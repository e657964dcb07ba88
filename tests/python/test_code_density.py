"""The code-density test: an ideal quantiser, a moved threshold and a
missing code in synthetic captures, counts against samples, the stand-in's
imperfections through its hardware histogram and through captured samples,
the plot, and refusals."""
import array
import math
import unittest

import _qm_signal as signal
import qmsim
import qmboard
from qmboard import plot
from svg_files import written
import synthetic
from synthetic import amplitude

N = 1 << 20
# Counts: a coherent sine (an odd number of periods in 2**20 samples) meets
# every one of N evenly spread phases once, so a code holds the phases of its arcs, within 2
# (two arcs, each within one) of N / (pi A) x its width near mid-scale:
# 2600 for 8 bits. A width, and with it DNL, is good to 2 / 2600 = 0.001
# LSB; a transition (the cumulative count, good to 2 as well) to the same
# share of an LSB, and INL with it. 0.05 LSB is far beyond either.
LSB = 0.05


_made = {}


def eight_bits(level=0.05, transitions=None):
    """A sine `level` dB beyond full scale through an 8-bit converter, its N
    phases in the order of one period (a histogram does not see the order:
    the coherent capture's samples are these, permuted); made once."""
    key = (level, tuple(sorted((transitions or {}).items())))
    if key not in _made:
        if not _made:
            _made['sine'] = [math.sin(2 * math.pi * j / N) for j in range(N)]
        a = amplitude(8, level)
        xs = [a * v for v in _made['sine']]
        codes = [int(math.floor(x + 0.5)) for x in xs]
        if transitions:
            codes = [synthetic._moved(c, x, transitions) for c, x in zip(codes, xs)]
        _made[key] = array.array('i', [min(max(c, -128), 127) for c in codes])
    return _made[key]


class SyntheticTest(unittest.TestCase):
    def test_an_ideal_quantiser_slightly_overdriven_or_not(self):
        for level, ends in ((0.05, (-128, 127)), (-0.5, (-121, 121))):
            r = qmboard.code_density(eight_bits(level), 8)
            self.assertEqual((r.first_code, r.last_code), ends)
            self.assertEqual((len(r.dnl), list(r.codes())[:1]), (ends[1] - ends[0] - 1,
                                                                 [ends[0] + 1]))
            for figure in ('dnl_min', 'dnl_max', 'inl_min', 'inl_max'):
                self.assertLess(abs(getattr(r, figure)), LSB, (level, figure))
            self.assertEqual(r.missing, [])
            self.assertAlmostEqual(r.level_dbfs, level, delta=0.01)
            self.assertAlmostEqual(r.offset, 0.0, delta=0.01)
            self.assertEqual(r.samples, N)

    def test_a_moved_threshold_and_a_missing_code(self):
        # The step up to code 20 half an LSB late: code 19 is 0.5 LSB wider,
        # code 20 as much narrower, and the transition lies 0.5 LSB above its place.
        r = qmboard.code_density(eight_bits(transitions={20: 0.5}), 8)
        self.assertAlmostEqual(r.dnl_of(19), 0.5, delta=LSB)
        self.assertAlmostEqual(r.dnl_of(20), -0.5, delta=LSB)
        self.assertAlmostEqual(r.inl_of(19), 0.5, delta=LSB)
        self.assertEqual((r.dnl_max_code, r.dnl_min_code, r.worst_inl_code), (19, 20, 19))
        others = [abs(r.dnl_of(c)) for c in r.codes() if c not in (19, 20)]
        self.assertLess(max(others), LSB)
        # Code -40 missing, its inputs to its neighbours (each half an LSB wider).
        r = qmboard.code_density(eight_bits(transitions={-40: 0.5, -39: -0.5}), 8)
        self.assertEqual((r.missing, r.dnl_of(-40), r.worst_dnl, r.worst_dnl_code),
                         ([-40], -1.0, -1.0, -40))
        self.assertAlmostEqual(r.dnl_of(-41), 0.5, delta=LSB)
        self.assertAlmostEqual(r.dnl_of(-39), 0.5, delta=LSB)
        self.assertIn('Missing      1 code: -40', str(r))

    def test_counts_give_what_the_samples_give(self):
        samples = eight_bits(transitions={20: 0.5})
        counts = signal.histogram(samples, 8, qmboard.TWOS_COMPLEMENT)
        a = qmboard.code_density(samples, 8)
        for given in (counts, list(counts), array.array('d', counts)):
            b = qmboard.code_density_of_counts(given, 8)
            self.assertEqual((b.dnl, b.inl, b.first_code, b.samples), (a.dnl, a.inl, a.first_code,
                                                                       a.samples))
        # End codes given: the codes beyond them are not measured.
        c = qmboard.code_density_of_counts(counts, 8, -100, 100)
        self.assertEqual((c.first_code, c.last_code, len(c.dnl)), (-100, 100, 199))
        self.assertNotEqual(c.dnl_of(0), a.dnl_of(0))  # fitted to other ends

    def test_refusals(self):
        good = eight_bits()[:4096]
        for args, error in (((good, 1), ValueError), ((good, 21), ValueError),
                            ((good, 8.0), TypeError), (([0.5] * 16, 8), TypeError),
                            (('abc', 8), TypeError), (([200] * 16, 8), ValueError),
                            (([], 8), ValueError), (([0] * 16, 8), ValueError),
                            (([3, 4] * 8, 8), ValueError), ((good, 8, -200), ValueError)):
            self.assertRaises(error, qmboard.code_density, *args)
        for args, error in ((([1] * 255, 8), ValueError), (([1] * 255 + [-1], 8), ValueError),
                            (([0] * 256, 8), ValueError), ((None, 8), TypeError),
                            (([1] * 256, 8, None, None, 5), TypeError)):
            self.assertRaises(error, qmboard.code_density_of_counts, *args)
        with self.assertRaises(ValueError) as caught:
            qmboard.code_density_of_counts([5] + [0] * 254 + [5], 8)
        self.assertEqual(str(caught.exception), 'no samples came between the end codes 0 and 255')


class StandInTest(unittest.TestCase):
    def setUp(self):
        qmsim.reset()

    def tearDown(self):
        qmsim.reset()

    def test_imperfections_through_the_hardware_histogram_and_the_samples(self):
        # The QMADC-1425 counts 2**22 samples of a sine 0.2 dB over full scale
        # without noise: some 160 a code, so widths good to 2 / 160 = 0.013 LSB.
        with qmboard.open(0) as board:
            dut = board.dut(0)
            qmsim.set_noise(0, 0)
            qmsim.set_tone_level(0, 0.2)
            qmsim.set_tone_record(0, 1 << 22)
            qmsim.set_code_width(0, -300, -1)
            qmsim.set_code_width(0, 300, 0.5)
            reads = qmsim.call_count('QmBoardReadCaptureData')
            r = dut.code_density(1 << 22)
            self.assertEqual(qmsim.last_word('QmBoardReadCaptureData', 3), 16384)
            self.assertEqual(qmsim.call_count('QmBoardReadCaptureData') - reads, 1)
            self.assertEqual((r.source, r.samples, r.first_code, r.last_code),
                             ('hardware histogram', 1 << 22, -8192, 8191))
            self.assertEqual((r.missing, r.dnl_of(-300)), ([-300], -1.0))
            self.assertAlmostEqual(r.dnl_of(300), 0.5, delta=LSB)
            self.assertAlmostEqual(r.dnl_of(301), -0.25, delta=LSB)  # its neighbours pay
            self.assertAlmostEqual(r.level_dbfs, 0.2, delta=0.01)
            # The same counts from captured samples (2**20, the longest capture).
            qmsim.set_tone_record(0, 1 << 20)
            hardware = dut.code_density(1 << 20, hardware=True)
            captured = dut.code_density(1 << 20, hardware=False)
            self.assertEqual((captured.source, captured.counts.tolist(), captured.dnl),
                             ('samples', hardware.counts.tolist(), hardware.dnl))
            self.assertEqual(dut.record(1 << 20).code_density().dnl, hardware.dnl)
            # Channel 1 of the interleaved configuration: from its samples.
            self.assertEqual(dut.code_density(1 << 19, config=1, channel=1).source, 'samples')
            for kw in ({'samples': 2 * N, 'hardware': False}, {'channel': 2},
                       {'config': 1, 'hardware': True}):
                self.assertRaises(ValueError, dut.code_density, **kw)
            self.assertRaises(TypeError, dut.code_density, hardware=1)
            dut.select('QMADC-1610')  # no hardware histogram
            self.assertRaises(ValueError, dut.code_density, hardware=True)
            self.assertEqual(dut.code_density(1 << 16).source, 'samples')


class PlotTest(unittest.TestCase):
    def test_dnl_and_inl_panels_with_the_missing_code_marked(self):
        r = qmboard.code_density(eight_bits(transitions={-40: 0.5, -39: -0.5}), 8)
        doc, texts = written(plot.write_code_density_svg, r)
        for name, _ in r.rows():
            self.assertIn(name, texts)
        self.assertIn('DNL (LSB)', texts)
        self.assertIn('INL (LSB)', texts)
        # One polyline a panel, a tick for the missing code and one in the key.
        self.assertEqual(len(doc.getElementsByTagName('polyline')), 2)
        ticks = [l for l in doc.getElementsByTagName('line') if l.getAttribute('stroke') ==
                 plot.FAILED]
        self.assertEqual(len(ticks), 2)
        self.assertRaises(TypeError, plot.code_density_svg_text, None)


if __name__ == '__main__':
    unittest.main()
