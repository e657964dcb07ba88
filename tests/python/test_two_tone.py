"""Two-tone analysis: tones and IMD2/IMD3 products of known levels in
synthetic captures (coherent, off a bin, folded below DC and above
Nyquist), the tones located and interferers excluded, two tones through the
stand-in's DAC loopback, the plot, and refusals."""
import math
import unittest

import qmsim
import qmboard
from qmboard import analysis, plot
from svg_files import written
from synthetic import sines

N, BITS, RATE = 8192, 18, 250e6
TONE = -7.0
# Tones on bins 401 and 433; IMD3 at 2*401 - 433 = 369 and 2*433 - 401 =
# 465, 80 dB below; IMD2 at 433 - 401 = 32 and 401 + 433 = 834, 85 below.
PRODUCTS = {'2f1-f2': (369, -80.0), '2f2-f1': (465, -80.0),
            'f2-f1': (32, -85.0), 'f1+f2': (834, -85.0)}
# Tolerances. An ideal 18-bit converter's rounding puts 1/12 LSB**2 of
# noise into the record, 1/12 / (N/2) = 2.0e-5 LSB**2 a bin, against A**2 / 2
# of a component of amplitude A: the weakest product, -92 dBFS (A = 3.3 LSB),
# holds 5.5 LSB**2, 54 dB above. A bin of noise power p beside a component
# of power P moves it by sqrt(2 p / P) relative (one sigma): 0.28 % = 0.012 dB
# there, so 0.1 dB is 8 sigma; the tones, 139 dB above, move by 1e-7 dB
# (0.02 dB allowed for the window's arithmetic, 1e-9 dB in fact).
TONE_DB, PRODUCT_DB = 0.02, 0.1


def two_tones(c1=401, c2=433, products=PRODUCTS, n=N, bits=BITS, extra=(), **kw):
    components = [(c1, TONE, 0.3), (c2, TONE, 1.1)] + list(extra)
    components += [(cycles, TONE + dbc, 0.7 * i) for i, (cycles, dbc) in
                   enumerate(products.values())]
    return sines(n, bits, components, **kw)


class ProductsTest(unittest.TestCase):
    def check(self, r, products, tone_db=TONE_DB, product_db=PRODUCT_DB):
        for tone in r.tones:
            self.assertAlmostEqual(tone.dbfs, TONE, delta=tone_db)
        found = dict((p.name, p) for p in r.products)
        self.assertEqual([p.name for p in r.products], ['f2-f1', 'f1+f2', '2f1-f2', '2f2-f1'])
        for name, (cycles, dbc) in products.items():
            self.assertAlmostEqual(found[name].dbc, dbc, delta=product_db, msg=name)
            self.assertEqual(found[name].bin, int(round(cycles)), name)
            self.assertAlmostEqual(found[name].dbfs - found[name].dbc, TONE, delta=tone_db)
        return found

    def test_coherent_tones_and_their_products(self):
        r = analysis_of(two_tones())
        self.assertEqual((r.window, r.coherent), ('rectangular', True))
        self.assertEqual([t.bin for t in r.tones], [401, 433])
        found = self.check(r, PRODUCTS)
        self.assertEqual(found['2f1-f2'].frequency, 369 * RATE / N)
        # The worst of each order, the worst of all, and SFDR beside the tones: a product.
        for order, names in ((2, ('f2-f1', 'f1+f2')), (3, ('2f1-f2', '2f2-f1'))):
            worst = max(names, key=lambda name: found[name].dbc)
            self.assertEqual(getattr(r, 'imd%d_dbc' % order), found[worst].dbc)
        self.assertIn(r.imd_product, ('2f1-f2', '2f2-f1'))
        self.assertEqual((r.imd_dbc, r.imd_dbfs), (r.imd3_dbc, r.imd3_dbfs))
        self.assertEqual((r.sfdr_dbc, r.spur_product), (-r.imd_dbc, r.imd_product))
        self.assertAlmostEqual(r.sfdr_dbfs, -r.imd_dbfs, places=9)
        # What is left is rounding: the spur table's largest lies far below.
        self.assertLess(r.spurs[0].dbfs, -120)
        self.assertIn('IMD3', r.report())

    def test_tones_off_a_bin_through_the_window(self):
        # A quarter of a bin off, products where the tones' combinations put them.
        c1, c2 = 401.27, 433.61
        products = {'2f1-f2': (2 * c1 - c2, -80.0), '2f2-f1': (2 * c2 - c1, -80.0),
                    'f2-f1': (c2 - c1, -85.0), 'f1+f2': (c1 + c2, -85.0)}
        r = analysis_of(two_tones(c1, c2, products))
        self.assertEqual((r.window, r.coherent), ('blackman-harris', False))
        # Each component is its lobe's power, which the window keeps within
        # a few 1e-4 dB wherever it lies: 0.5 dB holds off a bin.
        self.check(r, products, 0.5, 0.5)
        self.assertAlmostEqual(r.tones[0].frequency / r.bin_width, c1, delta=0.01)

    def test_products_folded_below_dc_and_beyond_nyquist(self):
        # 2f1 - f2 = 2 * 1001 - 2203 = -201 folds to 201; with tones at 3001 and
        # 3203, f1 + f2 = 6204 lies beyond 4096 and folds to 8192 - 6204 = 1988,
        # where a sampled input at 6204 cycles lands.
        for c1, c2, name, folded in ((1001, 2203, '2f1-f2', 201), (3001, 3203, 'f1+f2', 1988)):
            products = {name: (folded, -80.0)}
            r = analysis_of(two_tones(c1, c2, products))
            self.check(r, products)
            self.assertEqual(r.imd_product, name)

    def test_tones_located_and_an_interferer_excluded(self):
        # A -30 dBFS interferer on bin 2000: the largest component after the
        # tones' own, the spur of SFDR; given the tones it does not mislead,
        # excluded it leaves the figures and the noise alone. The converter's
        # input with the same noise (+/-1 LSB, a bin's worth 1/3 / 4096) in
        # both: the floor moves by what bin 2000's noise held, 1/4093 of it.
        noise = {'noise': 1.0, 'quantised': False}
        clean = analysis_of(two_tones(products={}, **noise), None)
        spoilt = two_tones(products={}, extra=[(2000, -30.0, 0.0)], **noise)
        r = analysis_of(spoilt, (12.2e6, 13.2e6))
        self.assertEqual(([t.bin for t in r.tones], r.spur_product, r.spur_frequency),
                         ([401, 433], None, 2000 * RATE / N))
        self.assertAlmostEqual(r.sfdr_dbc, 30 + TONE, delta=0.01)
        r = analysis_of(spoilt, exclude=[2000 * RATE / N])
        self.assertEqual((r.excluded, [t.bin for t in r.tones]), ([(2000, 2000)], [401, 433]))
        self.assertAlmostEqual(r.noise_floor, clean.noise_floor, delta=0.01)
        self.assertGreater(r.sfdr_dbc, 100)
        # A tone looked for where there is none reads what is there: noise.
        r = analysis_of(spoilt, (1e6, 13.2e6))
        self.assertLess(r.tones[0].dbfs, -140)

    def test_refusals(self):
        capture = two_tones()
        for kw, error in (({'tones': 12e6}, TypeError), ({'tones': (1e6, 2e6, 3e6)}, TypeError),
                          ({'tones': (1e6, 1e6)}, ValueError), ({'tones': (-1.0, 2e6)}, ValueError),
                          ({'spurs': -1}, ValueError), ({'window': 'hann'}, ValueError)):
            self.assertRaises(error, analysis_of, capture, **kw)
        # Windowed, tones closer than two lobes cannot be told apart.
        with self.assertRaises(ValueError) as caught:
            analysis_of(two_tones(401.3, 410.6, {}))
        self.assertIn('the tones lie 10 bins apart', str(caught.exception))


def analysis_of(samples, tones=None, **kw):
    return qmboard.analyse_two_tone(samples, BITS, RATE, tones=tones, **kw)


class LoopbackTest(unittest.TestCase):
    """Two tones from the DAC measured by the ADC, with products the
    stand-in's converter adds (qmsim_add_tone also acts on the loopback)."""

    def setUp(self):
        qmsim.reset()

    def tearDown(self):
        qmsim.reset()

    def test_tones_and_products_through_the_loopback(self):
        # The 16-bit DUT without the stand-in's noise: what the DAC's rounding
        # and the ADC's truncation add has a power of 1/12 LSB**2 each, so
        # whatever of it lies in one bin is at most sqrt(2 * 2/12) = 0.58 LSB
        # of amplitude (Parseval), correlated with the signal or not. Against
        # an IMD2 product at -52 dBFS (82 LSB) that is 0.7 %, 0.061 dB at
        # worst, within 0.1 dB; the tones (14636 LSB) within 0.001 dB of
        # what the DAC sources, the request within 0.1 dB.
        n = 1 << 16
        with qmboard.open(0) as board:
            dut = board.dut(0)
            dut.select('QMADC-1610')
            qmsim.set_noise(0, 0)
            played = dut.dac_tone([10e6, 11e6], level=TONE, samples=n)
            f1, f2 = played.frequencies
            for frequency, dbc in ((2 * f1 - f2, -40), (2 * f2 - f1, -40), (f2 - f1, -45),
                                   (f1 + f2, -45)):
                qmsim.add_tone(0, frequency, TONE + dbc)
            r = dut.measure_two_tone(n, tones=played.frequencies)
            again = dut.record(n).analyse_two_tone(tones=played.frequencies)
        for tone, frequency in zip(r.tones, played.frequencies):
            self.assertAlmostEqual(tone.frequency, frequency, delta=1e-6)
            self.assertAlmostEqual(tone.dbfs, TONE, delta=0.1)
        for p in r.products:
            self.assertAlmostEqual(p.dbc, -40 if p.order == 3 else -45, delta=0.1, msg=p)
        self.assertEqual(again.report(), r.report())
        self.assertEqual(r.clipped, 0)


class PlotTest(unittest.TestCase):
    def test_the_tones_and_products_are_marked_with_the_figures(self):
        r = analysis_of(two_tones())
        doc, texts = written(plot.write_two_tone_svg, r)
        for name, _ in r.rows():
            self.assertIn(name, texts)
        # Both panels mark both tones; the close view holds the IMD3 products,
        # the whole zone all four.
        minus = u'\u2212'
        self.assertEqual(texts.count('F1'), 2)
        self.assertEqual(texts.count('2f1%sf2' % minus), 2)
        self.assertEqual(texts.count('f1+f2'), 1)
        self.assertEqual(len(doc.getElementsByTagName('polyline')), 2)
        self.assertRaises(TypeError, plot.two_tone_svg_text, analysis.analyse(two_tones(), BITS,
                                                                               RATE))


if __name__ == '__main__':
    unittest.main()
