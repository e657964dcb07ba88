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
to 6 (the first five above the fundamental) are looked up where they fold
into the first Nyquist zone; THD sums their power. Noise is every other bin
from 1 to N/2 - 1; its average per bin fills the bins that DC, the
fundamental and the harmonics occupy, so that SNR counts the noise of the
whole first zone. SINAD counts noise plus what the harmonics hold above the
noise; SFDR compares the fundamental with the largest other component (a
harmonic, or any single bin; of equal ones the highest); ENOB = (SINAD -
1.76) / 6.02. The noise floor is the average noise bin as drawn on the
spectrum.

Where it is computed. The signal core (_qm_signal) does every pass over
samples or bins: the power spectrum, and the sums, searches and order
statistics over its bins, reading them in place. This module decides which
bins are what, in one place: a Spectrum holds one power spectrum with its
window's noise bandwidth, the bin width, the full scale and a mask of the
bins that components took; _single_tone() takes DC, the fundamental and
the harmonics from it in turn and reads the figures.
"""
import array
import ctypes
import math
import struct

import _qm_signal as signal
from qmboard import arguments

RECTANGULAR = 'rectangular'
BLACKMAN_HARRIS = 'blackman-harris'
HARMONICS = (2, 3, 4, 5, 6)
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
    frequency in Hz and its level in dBc (-inf when DC or the fundamental
    covers it)."""

    def __init__(self, order, bin, frequency, dbc):
        self.order, self.bin, self.frequency, self.dbc = order, bin, frequency, dbc

    def __repr__(self):
        return 'Harmonic(%d, bin %d, %.6g Hz, %.2f dBc)' % (
            self.order, self.bin, self.frequency, self.dbc)


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
    harmonics: Harmonic for orders 2 to 6; thd (dBc)
    snr, sinad, enob, noise_floor (dBFS per bin)
    sfdr_dbc, sfdr_dbfs, spur_frequency, spur_order (harmonic order, or None)
    """
    spectrum = _Levels()

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
            ('THD', '%.2f dBc (H2-H6)' % self.thd),
            ('Noise floor', '%.2f dBFS per bin' % self.noise_floor),
            ('ENOB', '%.2f bits' % self.enob),
        ]

    def __str__(self):
        return '\n'.join('%-12s %s' % row for row in self.rows())

    def __repr__(self):
        return ('<Analysis of %d samples, %d bits, %.3f MSPS: %.3f MHz at %.2f dBFS, '
                'SNR %.2f dB, SINAD %.2f dB, SFDR %.2f dBc, THD %.2f dBc, ENOB %.2f bits>' % (
                    len(self.samples), self.bit_width, self.sampling_frequency * 1e-6,
                    self.fundamental_frequency * 1e-6, self.fundamental_dbfs, self.snr,
                    self.sinad, self.sfdr_dbc, self.thd, self.enob))


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


def _copied(samples, out_of_range):
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
        raise TypeError('samples must be a sequence of numbers')
    except OverflowError:  # an integer beyond any double
        raise out_of_range


def _validate(samples, bit_width, sampling_frequency, window):
    """(samples as an array.array of the analysis' own, a view of them, rate)."""
    if isinstance(bit_width, bool) or not isinstance(bit_width, (int, long)):
        raise TypeError('bit_width must be an integer, not %s' % type(bit_width).__name__)
    if not 2 <= bit_width <= 32:
        raise ValueError('bit_width must be 2 to 32, not %d' % bit_width)
    rate = arguments.number(sampling_frequency, 'sampling_frequency')
    if isinstance(samples, basestring):
        raise TypeError('samples must be a sequence of numbers, not %s' % type(samples).__name__)
    # Codes of a converter: anything larger is no capture, and squaring it
    # could overflow the spectrum's sums.
    limit = 2.0 ** bit_width
    out_of_range = ValueError('samples must be codes of a %d-bit converter, within +/-%d'
                              % (bit_width, limit))
    values = _copied(samples, out_of_range)
    check(len(values), window)
    view = _view(values)
    try:
        low, high = signal.extremes(view)
    except ValueError:
        raise ValueError('samples must be finite numbers')
    if high > limit or low < -limit:
        raise out_of_range
    return values, view, rate


def _is_coherent(spectrum):
    """Whether the peak's neighbours are at the noise (see the module's
    text): neighbours <= 10 * (median / ln 2), the median taken over bins 1
    .. N/2 - 1. The test holds for every median from a least one, t, on, and
    the median reaches t exactly when at most `rank` bins lie below it: one
    count over the bins decides as the sorted bins did."""
    power, last = spectrum.power, spectrum.last
    peak = signal.argmax(power, 1, last)[0]
    neighbours = max(power[k] for k in (peak - 1, peak + 1) if 0 < k < last)
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


def _single_tone(r, spectrum):
    """Sets the figures of `r` from `spectrum`: DC, the fundamental and its
    harmonics taken in turn, the noise what is left (see the module's text)."""
    n, enbw, full_scale = spectrum.n, spectrum.enbw, spectrum.full_scale
    spectrum.take(0)
    peak = spectrum.peak()[0]
    _, signal_power, moment = spectrum.take(peak, shared=True)
    if signal_power < full_scale * 1e-20:
        raise ValueError('the capture holds no tone: nothing outside DC reaches -200 dBFS')
    centre = moment / signal_power
    harmonics = []
    for order in HARMONICS:
        position = _fold(order * centre, n)
        at = int(round(position))
        own, power, _ = spectrum.take(at)
        harmonics.append((order, position, at, own, power))
    noise_count, noise_total = spectrum.free()
    per_bin = noise_total / noise_count if noise_count else 0.0
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
        r.harmonics.append(Harmonic(order, at, position * r.bin_width, _db(power / signal_power)))
        if own:
            spurs.append((power, at, order))
    r.thd = _db(distortion / signal_power)
    r.noise_floor = _db(per_bin * enbw / full_scale)
    r.snr = _db(signal_power / noise) if noise else float('inf')
    r.sinad = _db(signal_power / (noise + excess)) if noise + excess else float('inf')
    r.enob = (r.sinad - 1.76) / 6.02
    spur, spur_bin, r.spur_order = max(spurs) if spurs else (0.0, 0, None)
    r.spur_frequency = spur_bin * r.bin_width
    r.sfdr_dbc = _db(signal_power / spur) if spur else float('inf')
    r.sfdr_dbfs = _db(full_scale / spur) if spur else float('inf')


def analyse(samples, bit_width, sampling_frequency, window=None):
    """Measures a single-tone capture: `samples` (a power-of-two number of
    codes, signed around zero: an array.array such as a capture gives, or
    any sequence of numbers), the converter's `bit_width`, the
    `sampling_frequency` in Hz, and `window` (None: chosen from the capture;
    'rectangular'; 'blackman-harris', which takes at least
    MIN_WINDOWED_SAMPLES). Returns an Analysis; TypeError or ValueError for
    arguments it cannot analyse (see check())."""
    values, view, rate = _validate(samples, bit_width, sampling_frequency, window)
    n = len(values)
    full_scale = 0.5 * 4.0 ** (bit_width - 1)  # a full-scale sine's power
    coherent = None
    spectrum = Spectrum.of(view, window or RECTANGULAR, full_scale, rate)
    if window is None:
        coherent = _is_coherent(spectrum)
        window = RECTANGULAR if coherent else BLACKMAN_HARRIS
        if not coherent:
            _check_windowed(n, 'the capture is not coherent, and ')
            spectrum = spectrum._rewindowed(view, window)
    del view  # the samples are the caller's to change from here

    r = Analysis()
    r.samples, r.bit_width, r.sampling_frequency = values, bit_width, rate
    r.window, r.coherent = window, coherent
    r.bin_width = spectrum.bin_width
    r.power_spectrum = spectrum
    _single_tone(r, spectrum)
    return r
