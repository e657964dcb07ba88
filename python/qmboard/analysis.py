"""Converter measurements from one capture: the magnitude spectrum in dBFS and
the IEEE 1241 / 1057 dynamic figures of a single tone.

    result = analyse(samples, bit_width=14, sampling_frequency=250e6)
    print result                  # the figures, one per line
    result.snr, result.enob       # the same as numbers

Levels are relative to a full-scale sine (amplitude 2**(bit_width - 1)
codes), so a full-scale tone reads 0 dBFS.

Window. A coherent capture (a whole number of periods in the record) puts
the tone on a single bin, and needs no window. With `window=None` the
capture is judged coherent when the bins on either side of the spectrum's
peak are no more than 10 dB above the average noise bin (the median bin
over ln 2): a tone off a bin leaks into its neighbours at once (0.01 bin off
already puts them at -40 dBc, far above any converter's noise). Otherwise
the samples are weighted by the 7-term Blackman-Harris window (sidelobes
below -180 dB, main lobe +/-7 bins), and every component (DC, fundamental,
each harmonic) is the power summed over its lobe of +/-8 bins. Pass
window='rectangular' or 'blackman-harris' to choose.

Figures. The fundamental is the largest component outside DC. Harmonics 2
to 6 (the first five above the fundamental; `harmonics` sets how many) are
looked up where they fold into the first Nyquist zone; THD sums their
power. Noise is every other bin from 1 to N/2 - 1; its average per bin fills
the bins that DC, the fundamental and the harmonics occupy, so that SNR
counts the noise of the whole first zone. SINAD counts noise plus what the
harmonics hold above the noise; SFDR compares the fundamental with the
largest other component (a harmonic, or any single bin; of equal ones the
highest); ENOB = (SINAD - 1.76) / 6.02. The noise floor is the average noise
bin as drawn on the spectrum, the noise density (NSD) the same noise per Hz:
the floor less 10 log10 of the window's noise bandwidth (enbw x fs / N).

Options. `exclude` and `exclude_bins` leave bins out of every figure (a
notched interferer, a known clock spur): their noise is filled in with the
average as for the harmonics' bins, so SNR stays that of the noise alone.
`spurs` sets how many of the largest other components the spur table lists
(their lobes' power, after the noise was counted: spurs stay in the noise,
as SINAD and SFDR see them). `clipped` counts the samples at the code
limits. average() analyses the mean of the power spectra of several records
of one length: the noise bins' spread narrows by the square root of their
number, tones and spurs stay put.

Where it is computed. The signal core (_qm_signal) does every pass over
samples or bins: the power spectrum, and the sums, searches and order
statistics over its bins, reading them in place. This module decides which
bins are what, in one place: a Spectrum holds one power spectrum with its
window's noise bandwidth, the bin width, the full scale and a mask of the
bins that components took; _single_tone() takes the excluded bins, DC, the
fundamental and the harmonics from it in turn and reads the figures
(qmboard.two_tone does the same for two tones).
"""
import array
import ctypes
import math
import numbers
import struct

import _qm_signal as signal
from qmboard import arguments

RECTANGULAR = 'rectangular'
BLACKMAN_HARRIS = 'blackman-harris'
HARMONICS = (2, 3, 4, 5, 6)  # the orders harmonics=5, the default, looks up
MAX_HARMONICS = 99           # H2 .. H100
MAX_SPURS = 100
MAX_AVERAGES = 1024          # spectra average() and Dut.measure(averages=K) take
MIN_SAMPLES = 16
MAX_SAMPLES = signal.MAX_TRANSFORM  # 2**22: some 0.2 s, and 100 MB of tables and buffers
MIN_WINDOWED_SAMPLES = 64  # DC's and the fundamental's lobes of +/-8 bins, and noise beside them

_WINDOW_NAMES = {RECTANGULAR: 'none', BLACKMAN_HARRIS: '7-term Blackman-Harris'}
_LOBE = {RECTANGULAR: 0, BLACKMAN_HARRIS: 8}   # bins on each side of a component
_LEAK_LIMIT = 10.0                             # neighbour power over mean noise: 10 dB
_FLOOR_DB = -300.0                             # an empty bin's level

# The ctypes element of each array.array type of numbers.
_ELEMENTS = {'b': ctypes.c_int8, 'B': ctypes.c_uint8, 'h': ctypes.c_int16, 'H': ctypes.c_uint16,
             'i': ctypes.c_int, 'I': ctypes.c_uint, 'l': ctypes.c_long, 'L': ctypes.c_ulong,
             'f': ctypes.c_float, 'd': ctypes.c_double}


def _view(values):
    """A ctypes array over the memory of the array.array `values`, which it
    keeps alive: the kernels read it in place, where they copy an array.array
    in for every call. Only for arrays that nobody resizes while it lives."""
    return (_ELEMENTS[values.typecode] * len(values)).from_buffer(values)


def _numbers(values, what='samples'):
    """`values` as an array.array of numbers: itself when it is one, else
    doubles; TypeError for text, bytes-like objects and anything that is not
    a sequence of real numbers."""
    if isinstance(values, array.array) and values.typecode in _ELEMENTS:
        return values
    if isinstance(values, (basestring, bytearray, memoryview, buffer)):
        raise TypeError('%s must be a sequence of numbers, not %s' % (what, type(values).__name__))
    try:
        return array.array('d', values)
    except (TypeError, ValueError):
        raise TypeError('%s must be a sequence of real numbers' % what)


def rfft(samples):
    """X[0] .. X[N/2] of N real samples (N a power of two, at least 2) as a
    list of complex numbers, X[k] = sum x[m] exp(-2j pi k m / N)."""
    pairs = signal.rfft(_numbers(samples))
    return map(complex, pairs[0::2], pairs[1::2])


def fft(values):
    """The discrete Fourier transform X[k] = sum x[m] exp(-2j pi k m / N) of
    a power-of-two number of (complex) values, as a list of complex
    numbers: the real transforms of the real and the imaginary parts, joined."""
    if isinstance(values, (basestring, bytearray, memoryview, buffer)):
        raise TypeError('values must be a sequence of numbers, not %s' % type(values).__name__)
    try:
        x = [complex(v) for v in values]
    except (TypeError, ValueError):
        raise TypeError('values must be a sequence of (complex) numbers')
    if len(x) == 1:
        return x
    n = len(x)
    a = rfft([v.real for v in x])  # ValueError for a length that is not a power of two
    b = rfft([v.imag for v in x])
    # Real parts transform to conjugate-symmetric halves: X[n-k] = conj X[k].
    a += [a[k].conjugate() for k in range(n // 2 - 1, 0, -1)]
    b += [b[k].conjugate() for k in range(n // 2 - 1, 0, -1)]
    return [p + 1j * q for p, q in zip(a, b)]


def _db(ratio):
    if ratio <= 0:
        return float('-inf')
    return 10.0 * math.log10(ratio)


def _fold(position, n):
    """Where a bin position (any real number) lands in 0 .. n/2."""
    position %= n
    return n - position if position > n / 2.0 else position


class Spectrum(object):
    """The power spectrum of one capture, and the bookkeeping of which bins
    its components took.

    n: samples transformed; window: its name; last: the last bin, n/2
    power: the mean-square power of bins 0 .. n/2, a ctypes array of doubles
        that the kernels read in place (one-sided: a sine of amplitude A sums
        to A**2/2 over its bins)
    enbw: the window's equivalent noise bandwidth in bins: power[k] * enbw is
        the power of a tone on bin k
    lobe: bins on each side of a component; bin_width: Hz per bin
    full_scale: a full-scale sine's power, 0 dBFS
    taken: one byte per bin, nonzero for the bins a component took

    Spectrum.of(samples, ...) transforms a capture; Spectrum(power, ...) takes
    power already made (an average of several, say). take() sums a
    component's bins and takes them; peak() and loudest() find the largest
    bins not taken, free() sums them."""

    def __init__(self, power, window, full_scale, bin_width):
        """`power`: the n/2 + 1 bins (finite numbers) of n samples, n a power
        of two, weighted by `window` ('rectangular' or 'blackman-harris'),
        of which the Spectrum keeps a copy; `full_scale` and `bin_width`
        positive. TypeError or ValueError for anything else."""
        if window not in _LOBE:
            raise ValueError('window must be %r or %r, not %r' % (RECTANGULAR, BLACKMAN_HARRIS,
                                                                 window))
        if isinstance(power, basestring):
            raise TypeError('power must be a sequence of numbers, not %s' % type(power).__name__)
        copy = power[:] if isinstance(power, array.array) and power.typecode == 'd' else None
        try:
            copy = copy or array.array('d', power)
        except TypeError:
            raise TypeError('power must be a sequence of numbers')
        except OverflowError:
            raise ValueError('power must be finite numbers')
        self._keep(copy, window, arguments.number(full_scale, 'full_scale'),
                   arguments.number(bin_width, 'bin_width'))
        try:
            low = signal.extremes(self.power)[0]
        except ValueError:
            raise ValueError('power must be finite numbers')
        if low < 0:
            raise ValueError('power must not be negative')

    @classmethod
    def of(cls, samples, window, full_scale, sampling_frequency):
        """The Spectrum of `samples` (a buffer of numbers the kernels read,
        a power-of-two count) weighted by `window`."""
        spectrum = cls.__new__(cls)
        spectrum._keep(signal.power_spectrum(samples, window), window, full_scale,
                       sampling_frequency / len(samples))
        return spectrum

    def _rewindowed(self, samples, window):
        """This spectrum, no bin taken yet, made anew from `samples` weighted by
        `window` in the same memory (a 2**20-sample record's bins would take
        some thousand fresh pages)."""
        signal.power_spectrum(samples, window, self.power)
        self.window, self.enbw = window, signal.window_gains(window, self.n)[2]
        self.lobe = _LOBE[window]
        return self

    def _keep(self, power, window, full_scale, bin_width):
        """Takes `power`, an array('d') nobody else holds: viewed, never resized."""
        self.last = len(power) - 1
        self.n, self.window = 2 * self.last, window
        self.enbw = signal.window_gains(window, self.n)[2]  # ValueError unless n is a power of two
        self.power = _view(power)
        self.lobe = _LOBE[window]
        self.full_scale, self.bin_width = full_scale, bin_width
        self.taken = bytearray(self.last + 1)

    def take(self, centre, shared=False):
        """(count, power, moment = sum of bin * power) of the bins within the
        lobe of bin `centre` that no component took yet (with `shared`, all
        of them); they are taken from now on."""
        start, stop = centre - self.lobe, centre + self.lobe + 1
        if shared:
            sums = signal.band(self.power, start, stop)
            signal.band(self.power, start, stop, self.taken, True)
            return sums
        return signal.band(self.power, start, stop, self.taken, True)

    def peak(self, start=1, stop=None):
        """(bin, power) of the first largest bin not taken among start ..
        stop - 1 (default: 1 .. n/2), or None."""
        return signal.argmax(self.power, start, self.last + 1 if stop is None else stop,
                             self.taken)

    def free(self, start=1, stop=None):
        """(count, power) of the bins not taken among start .. stop - 1
        (default: 1 .. n/2 - 1, where the noise is counted)."""
        count, total, _ = signal.band(self.power, start, self.last if stop is None else stop,
                                      self.taken)
        return count, total

    def loudest(self, start=1, stop=None):
        """(bin, power) of the largest bin not taken among start .. stop - 1
        (default: 1 .. n/2 - 1), the highest of equal ones; or None."""
        stop = self.last if stop is None else stop
        found = signal.argmax(self.power, start, stop, self.taken)
        if found is None:
            return None
        top = found[1]
        later = signal.argmax(self.power, found[0] + 1, stop, self.taken)
        if later is None or later[1] < top:
            return found
        # Equal bins: halve the range beyond the highest one known so far.
        low, high = later[0], stop
        while high - low > 1:
            middle = (low + high) // 2
            beyond = signal.argmax(self.power, middle, stop, self.taken)
            if beyond is not None and beyond[1] == top:
                low = beyond[0]
            else:
                high = middle
        return low, top

    def levels(self):
        """The level of each bin in dBFS, as a tone on it reads (power *
        enbw; -300 for an empty bin): an array of doubles."""
        return signal.dbfs(self.power, self.full_scale, self.enbw, _FLOOR_DB)


class Harmonic(object):
    """One harmonic of the fundamental: its order, the bin it folds to, its
    frequency in Hz and its level in dBc and in dBFS (-inf when DC, the
    fundamental, an excluded band or a lower harmonic covers it)."""

    def __init__(self, order, bin, frequency, dbc, dbfs=None):
        self.order, self.bin, self.frequency, self.dbc = order, bin, frequency, dbc
        self.dbfs = dbfs

    def __repr__(self):
        return 'Harmonic(%d, bin %d, %.6g Hz, %.2f dBc)' % (
            self.order, self.bin, self.frequency, self.dbc)


class Spur(object):
    """One spur of the spur table: the bin of its peak, its frequency in Hz
    (the power-weighted centre of its lobe) and its level (its lobe's power)
    in dBc of the fundamental (of the stronger tone, in a two-tone analysis)
    and in dBFS."""

    def __init__(self, bin, frequency, dbc, dbfs):
        self.bin, self.frequency, self.dbc, self.dbfs = bin, frequency, dbc, dbfs

    def __repr__(self):
        return 'Spur(bin %d, %.6g Hz, %.2f dBc, %.2f dBFS)' % (
            self.bin, self.frequency, self.dbc, self.dbfs)


def _table(title, header, rows):
    """Lines of a table under a row title, as the reports print them:
    `header` and each of `rows` a tuple of texts, right-aligned in columns."""
    cells = [header] + list(rows)
    widths = [max(len(row[i]) for row in cells) for i in range(len(header))]
    lines = []
    for i, row in enumerate(cells):
        text = '  '.join(c.rjust(w) for c, w in zip(row, widths))
        lines.append('%-12s %s' % (title if i == 0 else '', text))
    return lines


def _spur_lines(spurs, mhz=1e-6):
    """The spur table's lines (none without spurs)."""
    if not spurs:
        return []
    return _table('Spurs', ('frequency', 'bin', 'dBc', 'dBFS'),
                 [('%.3f MHz' % (s.frequency * mhz), str(s.bin), '%.2f' % s.dbc,
                   '%.2f' % s.dbfs) for s in spurs])


class _Levels(object):
    """Analysis.spectrum: made from the power spectrum when first read (a
    plot reads it, the figures do not), then kept like any attribute."""

    def __get__(self, result, owner):
        if result is None:
            return self
        try:
            power = result.power_spectrum
        except AttributeError:
            raise AttributeError('spectrum')
        levels = result.__dict__['spectrum'] = power.levels()
        return levels


class _Spurs(object):
    """Analysis.spurs (and TwoToneAnalysis.spurs): the spur table, made from
    the power spectrum when first read (reports read it, the figures do
    not), then kept like any attribute."""

    def __get__(self, result, owner):
        if result is None:
            return self
        try:
            spectrum, (count, reference) = result.power_spectrum, result._spur_plan
        except AttributeError:
            raise AttributeError('spurs')
        spurs = result.__dict__['spurs'] = _spur_table(spectrum, count, reference)
        return spurs


class Analysis(object):
    """The measurements of one capture (see the module's text). Frequencies
    are in Hz, levels in dBFS or dBc, ratios in dB.

    samples, bit_width, sampling_frequency: what was analysed (samples as an
        array.array: a copy of the array given, or doubles)
    window: 'rectangular' or 'blackman-harris'; coherent: whether the window
        was chosen because the capture is coherent (None when it was given)
    spectrum: level of bins 0 .. N/2 in dBFS (an array of doubles, made when
        first read); bin_width: Hz per bin
    power_spectrum: the Spectrum the figures were read from
    fundamental_bin, fundamental_frequency, fundamental_dbfs
    harmonics: Harmonic for orders 2 to 6 (to harmonics + 1); thd (dBc)
    snr, sinad (dB: dBc), snr_dbfs, sinad_dbfs (the same referred to full
    scale), enob, noise_floor (dBFS per bin), noise_density (dBFS/Hz)
    sfdr_dbc, sfdr_dbfs, spur_frequency, spur_order (harmonic order, or None)
    spurs: the spur table, Spur for the largest other components, largest
        first (made when first read); excluded: the (first, last) bins left out; clipped: samples
        at the code limits; averages: the spectra averaged (1 for a record)
    """
    spectrum = _Levels()
    spurs = _Spurs()

    def rows(self):
        """The figures as (name, text) pairs, as str() and plots show them."""
        mhz = 1e-6
        if self.spur_order:
            spur = 'H%d' % self.spur_order
        else:
            spur = '%.3f MHz' % (self.spur_frequency * mhz)
        window = _WINDOW_NAMES[self.window] + (' (coherent)' if self.coherent else '')
        return [
            ('Capture', '%d samples, %d bits, %.3f MSPS' % (
                len(self.samples), self.bit_width, self.sampling_frequency * mhz)),
            ('Window', window),
            ('Fundamental', '%.3f MHz (bin %d), %.3f dBFS' % (
                self.fundamental_frequency * mhz, self.fundamental_bin, self.fundamental_dbfs)),
            ('SNR', '%.2f dB' % self.snr),
            ('SINAD', '%.2f dB' % self.sinad),
            ('SFDR', '%.2f dBc, %.2f dBFS (%s)' % (self.sfdr_dbc, self.sfdr_dbfs, spur)),
            ('THD', '%.2f dBc (%s)' % (self.thd, _orders(len(self.harmonics)))),
            ('Noise floor', '%.2f dBFS per bin' % self.noise_floor),
            ('ENOB', '%.2f bits' % self.enob),
        ]

    def extra_rows(self):
        """The figures str() leaves out, as (name, text) pairs: noise
        density, the SNR and SINAD referred to full scale, clipped samples,
        and how many spectra were averaged and which bins were excluded
        where there are any."""
        rows = [('NSD', '%.2f dBFS/Hz' % self.noise_density),
                ('Full scale', 'SNR %.2f dBFS, SINAD %.2f dBFS' % (self.snr_dbfs,
                                                                    self.sinad_dbfs)),
                ('Clipped', '%d samples' % self.clipped)]
        if self.averages > 1:
            rows.append(('Averages', '%d spectra' % self.averages))
        if self.excluded:
            rows.append(('Excluded', _excluded_text(self.excluded)))
        return rows

    def report(self):
        """The whole report as text: str()'s figures, extra_rows(), the
        harmonic table and the spur table."""
        mhz = 1e-6
        lines = ['%-12s %s' % row for row in self.rows() + self.extra_rows()]
        lines += _table('Harmonics', ('order', 'frequency', 'bin', 'dBc', 'dBFS'),
                       [('H%d' % h.order, '%.3f MHz' % (h.frequency * mhz), str(h.bin),
                         '%.2f' % h.dbc, '%.2f' % h.dbfs) for h in self.harmonics]) \
            if self.harmonics else []
        return '\n'.join(lines + _spur_lines(self.spurs))

    def __str__(self):
        return '\n'.join('%-12s %s' % row for row in self.rows())

    def __repr__(self):
        return ('<Analysis of %d samples, %d bits, %.3f MSPS: %.3f MHz at %.2f dBFS, '
                'SNR %.2f dB, SINAD %.2f dB, SFDR %.2f dBc, THD %.2f dBc, ENOB %.2f bits>' % (
                    len(self.samples), self.bit_width, self.sampling_frequency * 1e-6,
                    self.fundamental_frequency * 1e-6, self.fundamental_dbfs, self.snr,
                    self.sinad, self.sfdr_dbc, self.thd, self.enob))


def _orders(count):
    """'H2-H6': the harmonic orders of `count` harmonics."""
    return {0: 'no harmonics', 1: 'H2'}.get(count, 'H2-H%d' % (count + 1))


def _excluded_text(excluded):
    """'bins 100-120, 3170': the excluded (first, last) bin ranges."""
    return 'bins ' + ', '.join('%d' % a if a == b else '%d-%d' % (a, b) for a, b in excluded)


def check(count, window=None):
    """Raises ValueError unless `count` samples can be analysed (a power of
    two from MIN_SAMPLES, or MIN_WINDOWED_SAMPLES with the Blackman-Harris
    window, to MAX_SAMPLES) with `window`: what a caller can ask before capturing. A count
    that is not an integer raises TypeError."""
    if window not in (None, RECTANGULAR, BLACKMAN_HARRIS):
        raise ValueError("window must be None, %r or %r, not %r" % (
            RECTANGULAR, BLACKMAN_HARRIS, window))
    if isinstance(count, bool) or not isinstance(count, (int, long)):
        raise TypeError('the number of samples must be an integer, not %s' % type(count).__name__)
    if not MIN_SAMPLES <= count <= MAX_SAMPLES or count & (count - 1):
        raise ValueError('analyse needs a power-of-two number of samples, %d to %d, not %d'
                         % (MIN_SAMPLES, MAX_SAMPLES, count))
    if window == BLACKMAN_HARRIS:
        _check_windowed(count)


def _check_windowed(count, why=''):
    if count < MIN_WINDOWED_SAMPLES:
        raise ValueError('%sthe Blackman-Harris window needs at least %d samples, not %d'
                         % (why, MIN_WINDOWED_SAMPLES, count))


def _copied(samples, out_of_range, what='samples'):
    """The samples as a new array.array: a copy of an array of numbers, else
    doubles (as float() reads each one)."""
    if isinstance(samples, array.array) and samples.typecode in _ELEMENTS:
        return samples[:]
    try:
        if isinstance(samples, (list, tuple)):
            try:
                return array.array('d', samples)
            except TypeError:
                pass  # float() may still read them (strings of numbers)
        return array.array('d', map(float, samples))
    except (TypeError, ValueError):
        raise TypeError('%s must be a sequence of numbers' % what)
    except OverflowError:  # an integer beyond any double
        raise out_of_range


def _check_bits(bit_width):
    """`bit_width` as an int of 2 to 32 (TypeError, ValueError)."""
    if isinstance(bit_width, bool) or not isinstance(bit_width, (int, long)):
        raise TypeError('bit_width must be an integer, not %s' % type(bit_width).__name__)
    if not 2 <= bit_width <= 32:
        raise ValueError('bit_width must be 2 to 32, not %d' % bit_width)
    return bit_width


def _checked(samples, bit_width, window, what='samples'):
    """(the record as an array.array of the analysis' own, a view of it,
    its (smallest, largest) value)."""
    if isinstance(samples, basestring):
        raise TypeError('%s must be a sequence of numbers, not %s' % (what, type(samples).__name__))
    # Codes of a converter: anything larger is no capture, and squaring it
    # could overflow the spectrum's sums.
    limit = 2.0 ** bit_width
    out_of_range = ValueError('%s must be codes of a %d-bit converter, within +/-%d'
                              % (what, bit_width, limit))
    values = _copied(samples, out_of_range, what)
    check(len(values), window)
    view = _view(values)
    try:
        low, high = signal.extremes(view)
    except ValueError:
        raise ValueError('%s must be finite numbers' % what)
    if high > limit or low < -limit:
        raise out_of_range
    return values, view, (low, high)


def _clipped(view, extremes, limits):
    """How many samples of `view` round to a code limit or lie beyond it;
    counted only where the extremes reach a limit."""
    (low, high), (bottom, top) = extremes, limits
    count = 0
    if low < bottom + 0.5:
        count += signal.count_below(view, bottom + 0.5)
    if high >= top - 0.5:
        count += len(view) - signal.count_below(view, top - 0.5)
    return count


# ---- options ----
def _frequency(value, name):
    return arguments.real(value, name, 0.0)


def _bin(value, name):
    return arguments.integer(value, name, 0, MAX_SAMPLES // 2)


def _entries(values, name, check):
    """The entries of an exclusion list: (value, None) for a single one,
    (low, high) for a range given as a pair."""
    if isinstance(values, basestring) or not isinstance(values, (list, tuple)):
        raise TypeError('%s must be a list of %s or (low, high) pairs, not %s'
                        % (name, 'frequencies' if check is _frequency else 'bins',
                           type(values).__name__))
    entries = []
    for i, entry in enumerate(values):
        label = '%s[%d]' % (name, i)
        if isinstance(entry, (list, tuple)):
            if len(entry) != 2:
                raise ValueError('%s must be one value or a (low, high) pair, not %d values'
                                 % (label, len(entry)))
            low, high = check(entry[0], label + '[0]'), check(entry[1], label + '[1]')
            if high < low:
                raise ValueError('%s must be a (low, high) pair with low <= high, not %r'
                                 % (label, tuple(entry)))
            entries.append((low, high))
        else:
            entries.append((check(entry, label), None))
    return entries


class Options(object):
    """The figure options of analyse(), average() and the two-tone and
    DUT measurements, checked when made (TypeError or ValueError in the
    API's words):

    harmonics: how many harmonics, H2 .. H(harmonics + 1), 0 to MAX_HARMONICS
        (default 5: H2 to H6); two-tone analyses take none
    spurs: how many spurs the spur table lists, 0 to MAX_SPURS (default 5)
    exclude: frequencies in Hz to leave out of every figure: a number for the
        component there (the bin it folds to, with the window's lobe), a
        (low, high) pair for every bin from low to high (within 0 .. fs/2)
    exclude_bins: the same by bin: a number for that bin and its lobe, a
        (first, last) pair for those bins and all between
    code_limits: the (lowest, highest) code, where samples count as clipped;
        default -2**(bit_width - 1) and 2**(bit_width - 1) - 1
    """

    def __init__(self, harmonics=5, spurs=5, exclude=(), exclude_bins=(), code_limits=None):
        self.harmonics = arguments.integer(harmonics, 'harmonics', 0, MAX_HARMONICS)
        self.spurs = arguments.integer(spurs, 'spurs', 0, MAX_SPURS)
        self.exclude = _entries(exclude, 'exclude', _frequency)
        self.exclude_bins = _entries(exclude_bins, 'exclude_bins', _bin)
        if code_limits is not None:
            if not isinstance(code_limits, (list, tuple)) or len(code_limits) != 2:
                raise TypeError('code_limits must be a (lowest, highest) pair or None, not %s'
                                % type(code_limits).__name__)
            low = arguments.real(code_limits[0], 'code_limits[0]')
            high = arguments.real(code_limits[1], 'code_limits[1]')
            if not low < high:
                raise ValueError('code_limits must be (lowest, highest) with lowest < highest, '
                                 'not %r' % (tuple(code_limits),))
            code_limits = (low, high)
        self.code_limits = code_limits

    def limits(self, bit_width):
        """The (lowest, highest) code of `bit_width` bits these options count clipping at."""
        half = 2.0 ** (bit_width - 1)
        return self.code_limits or (-half, half - 1)

    def excluded(self, n, bin_width, lobe=0):
        """The bins to exclude from a spectrum of n samples, `bin_width` Hz
        apart, whose components take `lobe` bins on each side: (first, last)
        ranges, sorted and merged. ValueError for a range beyond fs/2."""
        last = n // 2
        ranges = []
        for i, (value, high) in enumerate(self.exclude):
            if high is None:
                centre = int(round(_fold(value / bin_width, n)))
                ranges.append((centre - lobe, centre + lobe))
                continue
            if high > last * bin_width:
                raise ValueError('exclude[%d]: %.12g Hz lies beyond the first Nyquist zone '
                                 '(up to %.12g Hz)' % (i, high, last * bin_width))
            ranges.append((int(round(value / bin_width)), int(round(high / bin_width))))
        for i, (first, end) in enumerate(self.exclude_bins):
            if max(first, end) > last:
                raise ValueError('exclude_bins[%d]: bin %d lies beyond the last bin, %d'
                                 % (i, max(first, end), last))
            ranges.append((first - lobe, first + lobe) if end is None else (first, end))
        merged = []
        for first, end in sorted((max(0, a), min(last, b)) for a, b in ranges):
            if merged and first <= merged[-1][1] + 1:
                merged[-1] = (merged[-1][0], max(merged[-1][1], end))
            else:
                merged.append((first, end))
        return merged


def _exclude(spectrum, options):
    """Takes the excluded bins of `spectrum`; returns their (first, last) ranges."""
    ranges = options.excluded(spectrum.n, spectrum.bin_width, spectrum.lobe)
    for first, last in ranges:
        signal.band(spectrum.power, first, last + 1, spectrum.taken, True)
    return ranges


# ---- one record, or the average of several ----
class _Spectra(object):
    """The power spectrum of one record, or the mean of the power spectra of
    `count` records of one length, added as they come (a Dut captures them
    one after the other); the window is chosen from the first, whose
    samples are kept. clipped counts the clipped samples of all."""

    def __init__(self, bit_width, sampling_frequency, window, options, count=1, tones=1):
        self.bit_width = _check_bits(bit_width)
        self.rate = arguments.number(sampling_frequency, 'sampling_frequency')
        self.window, self.options, self.count, self.tones = window, options, count, tones
        self.full_scale = 0.5 * 4.0 ** (bit_width - 1)  # a full-scale sine's power
        self.limits = options.limits(bit_width)
        self.coherent = self.spectrum = self.values = self.total = None
        self.added = self.clipped = 0

    def add(self, samples, what='samples'):
        """Adds one record (TypeError or ValueError as analyse() raises them)."""
        values, view, extremes = _checked(samples, self.bit_width, self.window, what)
        spectrum = self.spectrum
        if spectrum is None:
            window = self.window
            spectrum = Spectrum.of(view, window or RECTANGULAR, self.full_scale, self.rate)
            if window is None:
                self.coherent = _is_coherent(spectrum, self.tones)
                self.window = RECTANGULAR if self.coherent else BLACKMAN_HARRIS
                if not self.coherent:
                    _check_windowed(len(values), 'the capture is not coherent, and ')
                    spectrum = spectrum._rewindowed(view, self.window)
            self.spectrum, self.values = spectrum, values
            if self.count > 1:
                self.total = array.array('d', [0.0]) * (spectrum.last + 1)
        elif len(values) != spectrum.n:
            raise ValueError('%s holds %d samples, the first record %d'
                             % (what, len(values), spectrum.n))
        else:
            # The spectrum's memory serves as the next record's.
            signal.power_spectrum(view, self.window, spectrum.power)
        if self.total is not None:
            signal.accumulate(self.total, spectrum.power, 1.0 / self.count)
        self.clipped += _clipped(view, extremes, self.limits)
        self.added += 1

    def analysis(self, result):
        """`result` (an Analysis or kin) with what every analysis holds set,
        and the Spectrum to read its figures from."""
        spectrum = self.spectrum
        if self.total is not None:
            spectrum.power = _view(self.total)
            self.total = None
        result.samples, result.bit_width = self.values, self.bit_width
        result.sampling_frequency = self.rate
        result.window, result.coherent = self.window, self.coherent
        result.bin_width = spectrum.bin_width
        result.power_spectrum = spectrum
        result.clipped, result.averages = self.clipped, self.added
        return spectrum


def _records(records):
    """`records` as a list of 1 to MAX_AVERAGES records."""
    if isinstance(records, basestring) or not isinstance(records, (list, tuple)):
        raise TypeError('records must be a list of records (sequences of samples), not %s'
                        % type(records).__name__)
    if not 1 <= len(records) <= MAX_AVERAGES:
        raise ValueError('average takes 1 to %d records, not %d' % (MAX_AVERAGES, len(records)))
    return list(records)


def _is_coherent(spectrum, tones=1):
    """Whether the peak's neighbours are at the noise (see the module's
    text): neighbours <= 10 * (median / ln 2), the median taken over bins 1
    .. N/2 - 1; with two `tones`, the neighbours of the largest bin that is
    no neighbour of the first too. The test holds for every median
    from a least one, t, on, and the median reaches t exactly when at most
    `rank` bins lie below it: one count over the bins decides as the sorted
    bins did."""
    power, last = spectrum.power, spectrum.last
    peak = signal.argmax(power, 1, last)[0]
    centres = [peak]
    if tones > 1:  # the largest bin beside the first's neighbours: one pass in two parts
        beside = [found for found in (signal.argmax(power, 1, peak - 1),
                                      signal.argmax(power, peak + 2, last)) if found]
        centres += [max(beside, key=lambda found: found[1])[0]] if beside else []
    neighbours = max(power[k] for c in centres for k in (c - 1, c + 1) if 0 < k < last)
    rank = (last - 1) // 2
    least = _least(lambda median: neighbours <= _LEAK_LIMIT * (median / math.log(2)),
                   neighbours * math.log(2) / _LEAK_LIMIT)
    return signal.count_below(power, least, 1, last) <= rank


def _least(holds, guess):
    """The least double m >= 0 for which holds(m), a test that once true stays
    true for every larger m, is true; searched from a guess a few units in the
    last place from it."""
    m = guess
    while not holds(m):
        m = _step(m, 1)
    while m > 0 and holds(_step(m, -1)):
        m = _step(m, -1)
    return m


def _step(x, units):
    """The double `units` units in the last place above x >= 0 (x > 0 for a step down)."""
    return struct.unpack('<d', struct.pack('<q', struct.unpack('<q', struct.pack('<d', x))[0]
                                           + units))[0]


def _fundamental(spectrum, what='tone'):
    """(peak bin, power, centre) of the largest component no exclusion or
    DC took, its lobe taken with whatever it shares."""
    found = spectrum.peak()
    if found is None:
        raise ValueError('the capture holds no %s outside the excluded bins' % what)
    _, power, moment = spectrum.take(found[0], shared=True)
    if power < spectrum.full_scale * 1e-20:
        raise ValueError('the capture holds no %s: nothing outside DC reaches -200 dBFS' % what)
    return found[0], power, moment / power


def _spur_table(spectrum, count, reference):
    """The `count` largest components among the bins no component took (1 ..
    N/2 - 1), as Spur objects largest first, levels against the power
    `reference`: local peaks, each with its lobe. The spectrum's mask stays
    as it was (the table takes its lobes in a copy)."""
    power, lobe, taken = spectrum.power, spectrum.lobe, bytearray(spectrum.taken)
    found = []
    while len(found) < count:
        candidates = signal.peaks(power, count - len(found), 1, spectrum.last, taken)
        if not candidates:
            break
        for k in candidates:
            if not taken[k]:  # not in the lobe of one found before it
                _, total, moment = signal.band(power, k - lobe, k + lobe + 1, taken, True)
                found.append((total, k, moment))
    found.sort(key=lambda f: (-f[0], f[1]))
    return [Spur(k, (moment / total if total else k) * spectrum.bin_width, _db(total / reference),
                 _db(total / spectrum.full_scale)) for total, k, moment in found]


def _noise_per_bin(spectrum):
    """The mean power of the bins nothing took (1 .. N/2 - 1), 0 without any."""
    count, total = spectrum.free()
    return total / count if count else 0.0


def _single_tone(r, spectrum, options):
    """Sets the figures of `r` from `spectrum`: the excluded bins, DC, the
    fundamental and its harmonics taken in turn, the noise what is left,
    then the spur table (see the module's text)."""
    n, enbw, full_scale = spectrum.n, spectrum.enbw, spectrum.full_scale
    r.excluded = _exclude(spectrum, options)
    spectrum.take(0)
    peak, signal_power, centre = _fundamental(spectrum)
    harmonics = []
    for order in range(2, options.harmonics + 2):
        position = _fold(order * centre, n)
        at = int(round(position))
        own, power, _ = spectrum.take(at)
        harmonics.append((order, position, at, own, power))
    per_bin = _noise_per_bin(spectrum)
    noise = per_bin * (n // 2)

    r.fundamental_bin = peak
    r.fundamental_frequency = centre * r.bin_width
    r.fundamental_dbfs = _db(signal_power / full_scale)
    r.harmonics, distortion, excess = [], 0.0, 0.0
    loudest = spectrum.loudest()
    spurs = [(loudest[1] * enbw, loudest[0], None)] if loudest else []
    for order, position, at, own, power in harmonics:
        distortion += power
        excess += max(0.0, power - per_bin * own)
        r.harmonics.append(Harmonic(order, at, position * r.bin_width, _db(power / signal_power),
                                    _db(power / full_scale)))
        if own:
            spurs.append((power, at, order))
    r.thd = _db(distortion / signal_power)
    r.noise_floor = _db(per_bin * enbw / full_scale)
    r.noise_density = _db(per_bin / full_scale / spectrum.bin_width)
    r.snr = _db(signal_power / noise) if noise else float('inf')
    r.sinad = _db(signal_power / (noise + excess)) if noise + excess else float('inf')
    r.snr_dbfs = _db(full_scale / noise) if noise else float('inf')
    r.sinad_dbfs = _db(full_scale / (noise + excess)) if noise + excess else float('inf')
    r.enob = (r.sinad - 1.76) / 6.02
    spur, spur_bin, r.spur_order = max(spurs) if spurs else (0.0, 0, None)
    r.spur_frequency = spur_bin * r.bin_width
    r.sfdr_dbc = _db(signal_power / spur) if spur else float('inf')
    r.sfdr_dbfs = _db(full_scale / spur) if spur else float('inf')
    r._spur_plan = (options.spurs, signal_power)  # the spurs: made when read


def analyse(samples, bit_width, sampling_frequency, window=None, harmonics=5, spurs=5,
            exclude=(), exclude_bins=(), code_limits=None):
    """Measures a single-tone capture: `samples` (a power-of-two number of
    codes, signed around zero: an array.array such as a capture gives, or
    any sequence of numbers), the converter's `bit_width`, the
    `sampling_frequency` in Hz, and `window` (None: chosen from the capture;
    'rectangular'; 'blackman-harris', which takes at least
    MIN_WINDOWED_SAMPLES). `harmonics`, `spurs`, `exclude`, `exclude_bins`
    and `code_limits` as Options takes them. Returns an Analysis; TypeError
    or ValueError for arguments it cannot analyse (see check())."""
    options = Options(harmonics, spurs, exclude, exclude_bins, code_limits)
    spectra = _Spectra(bit_width, sampling_frequency, window, options)
    spectra.add(samples)
    return _single_tone_of(spectra, options)


def average(records, bit_width, sampling_frequency, window=None, harmonics=5, spurs=5,
            exclude=(), exclude_bins=(), code_limits=None):
    """Measures the mean of the power spectra of `records` (a list of 1 to
    MAX_AVERAGES records of one power-of-two length, each as analyse()
    takes its samples) as analyse() measures one: the window is chosen from
    the first record, the Analysis holds the first record's samples, its
    `averages` counts the records and `clipped` the clipped samples of all."""
    options = Options(harmonics, spurs, exclude, exclude_bins, code_limits)
    records = _records(records)
    spectra = _Spectra(bit_width, sampling_frequency, window, options, len(records))
    for i, record in enumerate(records):
        spectra.add(record, 'records[%d]' % i)
    return _single_tone_of(spectra, options)


def _single_tone_of(spectra, options):
    r = Analysis()
    _single_tone(r, spectra.analysis(r), options)
    return r
