"""Two-tone analysis: the intermodulation of a converter driven by two tones
of nearby frequencies f1 < f2.

    result = analyse_two_tone(samples, bit_width=14, sampling_frequency=250e6)
    print result.report()         # the tones, IMD2, IMD3, SFDR, noise
    result.imd3_dbc, result.products

A nonlinearity of order 2 mixes the tones into f2 - f1 and f1 + f2 (IMD2),
one of order 3 into 2f1 - f2 and 2f2 - f1 (IMD3), which lie right beside
the tones where no filter removes them. Each product is looked up where it
folds into the first Nyquist zone, from the tones' measured frequencies, and
is the power of its bin (or, windowed, of its lobe) as a harmonic is in a
single-tone analysis. Levels in dBc are relative to the stronger tone, in
dBFS to a full-scale sine. The worst IMD is the largest product; SFDR
compares the stronger tone with the largest component other than the two
tones: a product, or any single bin (a harmonic of either tone, a spur).
Noise is every bin the tones, DC, the products and the excluded bins leave
(1 to N/2 - 1), as in qmboard.analysis.

The window is chosen as analyse() chooses it, from both tones' neighbours;
with `tones` (their frequencies) the tones are the largest components
within a lobe and a bin of there (noise, if no tone is there), else the two
largest components. Windowed, they must lie more than two
lobes (17 bins) apart.
"""
from qmboard import analysis
from qmboard.analysis import Options, _Levels, _Spurs, _db, _fold

# name, order, (multiple of f1, multiple of f2)
PRODUCTS = (('f2-f1', 2, (-1, 1)), ('f1+f2', 2, (1, 1)),
            ('2f1-f2', 3, (2, -1)), ('2f2-f1', 3, (-1, 2)))


class Tone(object):
    """One of the two tones: its frequency in Hz (its lobe's centre), the
    bin of its peak and its level in dBFS."""

    def __init__(self, frequency, bin, dbfs):
        self.frequency, self.bin, self.dbfs = frequency, bin, dbfs

    def __repr__(self):
        return 'Tone(%.6g Hz, bin %d, %.2f dBFS)' % (self.frequency, self.bin, self.dbfs)


class Product(object):
    """One intermodulation product: its name ('2f1-f2', ...), order (2 or
    3), frequency in Hz where it folds to, bin, and level in dBc of the
    stronger tone and in dBFS (-inf when a tone, DC, an excluded band or
    another product covers its bin)."""

    def __init__(self, name, order, frequency, bin, dbc, dbfs):
        self.name, self.order, self.frequency, self.bin = name, order, frequency, bin
        self.dbc, self.dbfs = dbc, dbfs

    def __repr__(self):
        return 'Product(%s, %.6g Hz, bin %d, %.2f dBc)' % (self.name, self.frequency, self.bin,
                                                          self.dbc)


class TwoToneAnalysis(object):
    """The measurements of a two-tone capture (see the module's text).
    Frequencies in Hz, levels in dBFS or dBc, ratios in dB.

    samples, bit_width, sampling_frequency, window, coherent, bin_width,
        spectrum, power_spectrum, clipped, averages, excluded: as an
        Analysis has them
    tones: the two Tone objects, lower frequency first
    products: Product for f2-f1, f1+f2, 2f1-f2 and 2f2-f1, in that order
    imd2_dbc, imd2_dbfs, imd3_dbc, imd3_dbfs: the larger product of each order
    imd_dbc, imd_dbfs, imd_product: the worst product and its name
    sfdr_dbc, sfdr_dbfs, spur_frequency, spur_product (a product's name, or
        None for another component)
    noise_floor (dBFS per bin), noise_density (dBFS/Hz)
    spurs: the spur table (analysis.Spur, dBc of the stronger tone)
    """
    spectrum = _Levels()
    spurs = _Spurs()

    def rows(self):
        """The figures as (name, text) pairs, as str() and plots show them."""
        mhz = 1e-6
        window = analysis._WINDOW_NAMES[self.window] + (' (coherent)' if self.coherent else '')
        rows = [('Capture', '%d samples, %d bits, %.3f MSPS' % (
                    len(self.samples), self.bit_width, self.sampling_frequency * mhz)),
                ('Window', window)]
        for i, tone in enumerate(self.tones, 1):
            rows.append(('Tone %d' % i, '%.3f MHz (bin %d), %.3f dBFS' % (
                tone.frequency * mhz, tone.bin, tone.dbfs)))
        for order in (2, 3):
            worst = self._worst(order)
            rows.append(('IMD%d' % order, '%.2f dBc, %.2f dBFS (%s at %.3f MHz)' % (
                worst.dbc, worst.dbfs, worst.name, worst.frequency * mhz)))
        rows.append(('Worst IMD', '%.2f dBc, %.2f dBFS (%s)' % (self.imd_dbc, self.imd_dbfs,
                                                                self.imd_product)))
        spur = self.spur_product or '%.3f MHz' % (self.spur_frequency * mhz)
        rows += [('SFDR', '%.2f dBc, %.2f dBFS (%s)' % (self.sfdr_dbc, self.sfdr_dbfs, spur)),
                 ('Noise floor', '%.2f dBFS per bin' % self.noise_floor),
                 ('NSD', '%.2f dBFS/Hz' % self.noise_density),
                 ('Clipped', '%d samples' % self.clipped)]
        if self.averages > 1:
            rows.append(('Averages', '%d spectra' % self.averages))
        if self.excluded:
            rows.append(('Excluded', analysis._excluded_text(self.excluded)))
        return rows

    def _worst(self, order):
        return max((p for p in self.products if p.order == order), key=lambda p: p.dbc)

    def report(self):
        """The whole report: the figures, the products and the spur table."""
        mhz = 1e-6
        lines = ['%-12s %s' % row for row in self.rows()]
        lines += analysis._table('Products', ('product', 'frequency', 'bin', 'dBc', 'dBFS'),
                                [(p.name, '%.3f MHz' % (p.frequency * mhz), str(p.bin),
                                  '%.2f' % p.dbc, '%.2f' % p.dbfs) for p in self.products])
        return '\n'.join(lines + analysis._spur_lines(self.spurs))

    def __str__(self):
        return '\n'.join('%-12s %s' % row for row in self.rows())

    def __repr__(self):
        return ('<TwoToneAnalysis of %d samples, %d bits, %.3f MSPS: %.3f and %.3f MHz at %.2f '
                'and %.2f dBFS, IMD3 %.2f dBc, IMD2 %.2f dBc, SFDR %.2f dBc>' % (
                    len(self.samples), self.bit_width, self.sampling_frequency * 1e-6,
                    self.tones[0].frequency * 1e-6, self.tones[1].frequency * 1e-6,
                    self.tones[0].dbfs, self.tones[1].dbfs, self.imd3_dbc, self.imd2_dbc,
                    self.sfdr_dbc))


def _check_tones(tones):
    """None, or the two frequencies of `tones` (Hz, finite, not negative, apart)."""
    if tones is None:
        return None
    if isinstance(tones, basestring) or not isinstance(tones, (list, tuple)) or len(tones) != 2:
        raise TypeError('tones must be None or the two tones\' frequencies (f1, f2), not %s'
                        % (type(tones).__name__ if not isinstance(tones, (list, tuple))
                           else '%d values' % len(tones)))
    found = tuple(analysis._frequency(f, 'tones[%d]' % i) for i, f in enumerate(tones))
    if found[0] == found[1]:
        raise ValueError('the two tones must differ in frequency, not both %.12g Hz' % found[0])
    return found


def _take_tone(spectrum, near, index):
    """(peak bin, power, centre) of a tone: the largest free component, or
    the largest within a lobe and a bin of the frequency `near` (where no
    tone is, that is noise)."""
    if near is None:
        return analysis._fundamental(spectrum, 'second tone' if index else 'tone')
    at = int(round(_fold(near / spectrum.bin_width, spectrum.n)))
    reach = spectrum.lobe + 1
    found = spectrum.peak(max(1, at - reach), min(spectrum.last, at + reach) + 1)
    if found is None or found[1] <= 0:
        raise ValueError('the capture holds nothing near %.12g Hz (tones[%d]) outside DC and '
                         'the excluded bins' % (near, index))
    _, power, moment = spectrum.take(found[0], shared=True)
    return found[0], power, moment / power


def _two_tone(r, spectrum, options, tones):
    """Sets the figures of `r` from `spectrum`: the excluded bins, DC, the
    tones and their products taken in turn, the noise what is left, then the
    spur table."""
    n, enbw, full_scale = spectrum.n, spectrum.enbw, spectrum.full_scale
    r.excluded = analysis._exclude(spectrum, options)
    spectrum.take(0)
    found = [_take_tone(spectrum, None if tones is None else tones[i], i) for i in range(2)]
    if abs(found[0][0] - found[1][0]) <= 2 * spectrum.lobe:
        raise ValueError('the tones lie %d bins apart: the %s window needs more than %d'
                         % (abs(found[0][0] - found[1][0]), analysis._WINDOW_NAMES[r.window],
                            2 * spectrum.lobe))
    found.sort(key=lambda t: t[2])
    (_, low, c1), (_, high, c2) = found
    strong = max(low, high)
    products = []
    for name, order, (a, b) in PRODUCTS:
        position = _fold(a * c1 + b * c2, n)
        at = int(round(position))
        own, power, _ = spectrum.take(at)
        products.append((name, order, position, at, own, power))
    per_bin = analysis._noise_per_bin(spectrum)

    r.tones = [Tone(centre * r.bin_width, peak, _db(power / full_scale))
               for peak, power, centre in found]
    r.products = [Product(name, order, position * r.bin_width, at, _db(power / strong),
                          _db(power / full_scale))
                  for name, order, position, at, own, power in products]
    for order in (2, 3):
        worst = r._worst(order)
        setattr(r, 'imd%d_dbc' % order, worst.dbc)
        setattr(r, 'imd%d_dbfs' % order, worst.dbfs)
    worst = max(r.products, key=lambda p: p.dbc)
    r.imd_dbc, r.imd_dbfs, r.imd_product = worst.dbc, worst.dbfs, worst.name
    loudest = spectrum.loudest()
    spurs = [(loudest[1] * enbw, loudest[0], None)] if loudest else []
    spurs += [(power, at, name) for name, _, _, at, own, power in products if own]
    spur, spur_bin, r.spur_product = max(spurs) if spurs else (0.0, 0, None)
    r.spur_frequency = spur_bin * r.bin_width
    r.sfdr_dbc = _db(strong / spur) if spur else float('inf')
    r.sfdr_dbfs = _db(full_scale / spur) if spur else float('inf')
    r.noise_floor = _db(per_bin * enbw / full_scale)
    r.noise_density = _db(per_bin / full_scale / spectrum.bin_width)
    r._spur_plan = (options.spurs, strong)  # the spurs: made when read


def analyse_two_tone(samples, bit_width, sampling_frequency, window=None, tones=None, spurs=5,
                     exclude=(), exclude_bins=(), code_limits=None):
    """Measures a two-tone capture (see the module's text): `samples`,
    `bit_width`, `sampling_frequency` and `window` as analysis.analyse()
    takes them; `tones` None (the two largest components) or the tones'
    frequencies (f1, f2) in Hz, each looked for within a lobe and a bin of
    where it folds; `spurs`, `exclude`, `exclude_bins`, `code_limits` as
    analysis.Options takes them. Returns a TwoToneAnalysis; TypeError or
    ValueError for arguments it cannot analyse."""
    options = Options(0, spurs, exclude, exclude_bins, code_limits)
    tones = _check_tones(tones)
    spectra = analysis._Spectra(bit_width, sampling_frequency, window, options, tones=2)
    spectra.add(samples)
    return _two_tone_of(spectra, options, tones)


def average_two_tone(records, bit_width, sampling_frequency, window=None, tones=None, spurs=5,
                     exclude=(), exclude_bins=(), code_limits=None):
    """analyse_two_tone() of the mean of the power spectra of `records`, as
    analysis.average() takes them."""
    options = Options(0, spurs, exclude, exclude_bins, code_limits)
    tones = _check_tones(tones)
    records = analysis._records(records)
    spectra = analysis._Spectra(bit_width, sampling_frequency, window, options, len(records),
                                tones=2)
    for i, record in enumerate(records):
        spectra.add(record, 'records[%d]' % i)
    return _two_tone_of(spectra, options, tones)


def _two_tone_of(spectra, options, tones):
    r = TwoToneAnalysis()
    _two_tone(r, spectra.analysis(r), options, tones)
    return r
