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
harmonic, or any single bin); ENOB = (SINAD - 1.76) / 6.02. The noise floor
is the average noise bin as drawn on the spectrum.
"""
import math
import operator

from qmboard import arguments

RECTANGULAR = 'rectangular'
BLACKMAN_HARRIS = 'blackman-harris'
HARMONICS = (2, 3, 4, 5, 6)
MIN_SAMPLES = 16
MAX_SAMPLES = 1 << 20  # a record this long already takes the pure-Python FFT a minute
MIN_WINDOWED_SAMPLES = 64  # DC's and the fundamental's lobes of +/-8 bins, and noise beside them

# 7-term Blackman-Harris (Albrecht, "A family of cosine-sum windows for
# high-resolution measurements", ICASSP 2001); terms alternate in sign.
_BH7 = (0.27105140069342, 0.43329793923448, 0.21812299954311, 0.06592544638803,
        0.01081174209837, 0.00077658482522, 0.00001388721735)
_WINDOW_NAMES = {RECTANGULAR: 'none', BLACKMAN_HARRIS: '7-term Blackman-Harris'}
_LOBE = {RECTANGULAR: 0, BLACKMAN_HARRIS: 8}   # bins on each side of a component
_LEAK_LIMIT = 10.0                             # neighbour power over mean noise: 10 dB
_FLOOR_DB = -300.0                             # an empty bin's level

_twiddle_cache = {}
_window_cache = {}


def _twiddles(n):
    """exp(-2j pi k / n) for k < n/2, one table per transform length."""
    w = _twiddle_cache.get(n)
    if w is None:
        step = -2.0 * math.pi / n
        w = [complex(math.cos(step * k), math.sin(step * k)) for k in range(n // 2)]
        _twiddle_cache[n] = w
    return w


def _check_length(n):
    if n < 1 or n & (n - 1):
        raise ValueError('a transform needs a power-of-two length, not %d' % n)


def fft(values):
    """The discrete Fourier transform X[k] = sum x[m] exp(-2j pi k m / N) of
    a power-of-two number of values, as a list of complex numbers.

    Iterative radix-2 without bit reversal (Stockham order): before each
    stage x holds, row-major, `rows` x `cols` numbers, column c being the
    rows-point transform of x[c::cols]. A stage joins columns c and c + cols/2
    into transforms twice as long. It walks rows or columns, whichever are
    fewer, so that list slices and map() do the work of the inner loop."""
    x = [complex(v) for v in values]
    n = len(x)
    _check_length(n)
    w = _twiddles(n)
    rows, cols = 1, n
    mul, add, sub = operator.mul, operator.add, operator.sub
    while cols > 1:
        half = cols // 2
        factors = w[::half]  # exp(-2j pi r / (2 rows)), r < rows
        y = [0j] * n
        if rows <= half:
            for r in range(rows):
                even = x[r * cols:r * cols + half]
                odd = x[r * cols + half:(r + 1) * cols]
                if r:
                    odd = map(factors[r].__mul__, odd)
                y[r * half:(r + 1) * half] = map(add, even, odd)
                y[(r + rows) * half:(r + rows + 1) * half] = map(sub, even, odd)
        else:
            for c in range(half):
                even = x[c::cols]
                odd = map(mul, factors, x[c + half::cols])
                y[c::half] = map(add, even, odd) + map(sub, even, odd)
        x = y
        rows, cols = rows * 2, half
    return x


def rfft(samples):
    """X[0] .. X[N/2] of N real samples (N a power of two, at least 2),
    through one complex transform of N/2 points: even samples as the real
    part, odd samples as the imaginary part, separated afterwards."""
    n = len(samples)
    _check_length(n)
    if n < 2:
        raise ValueError('a real transform needs at least 2 samples')
    m = n // 2
    z = fft(map(complex, samples[0::2], samples[1::2]))
    # even[k] = (Z[k] + conj Z[m-k]) / 2, odd[k] = (Z[k] - conj Z[m-k]) / 2j,
    # X[k] = even[k] + exp(-2j pi k / n) odd[k].
    mirror = map(complex.conjugate, [z[0]] + z[:0:-1])
    s = map(operator.add, z, mirror)
    d = map(operator.sub, z, mirror)
    x = [0.5 * a - 0.5j * t * b for a, b, t in zip(s, d, _twiddles(n))]
    x.append(complex(z[0].real - z[0].imag))
    return x


def window_values(name, n):
    """The weights of window `name` for n (1..MAX_SAMPLES) samples, with
    their sum and sum of squares (cached)."""
    if name not in (RECTANGULAR, BLACKMAN_HARRIS):
        raise ValueError('window must be %r or %r, not %r' % (RECTANGULAR, BLACKMAN_HARRIS, name))
    arguments.integer(n, 'n', 1, MAX_SAMPLES)
    key = (name, n)
    cached = _window_cache.get(key)
    if cached is None:
        if name == RECTANGULAR:
            w = [1.0] * n
        else:
            # cos(2 pi j i / n) = cos(2 pi (j i mod n) / n): one table of n cosines.
            cosines = [math.cos(2.0 * math.pi * i / n) for i in range(n)]
            w = [_BH7[0]] * n
            for j, a in enumerate(_BH7[1:], 1):
                a = -a if j % 2 else a
                w = map(operator.add, w, [a * cosines[j * i % n] for i in range(n)])
        cached = w, sum(w), sum(v * v for v in w)
        _window_cache[key] = cached
    return cached


def _power_spectrum(values, window):
    """Mean-square power of each bin 0 .. N/2 (one-sided: a sine of amplitude
    A sums to A^2/2 over its bins), and the window's noise bandwidth in bins."""
    n = len(values)
    w, total, squares = window_values(window, n)
    if window != RECTANGULAR:
        values = map(operator.mul, values, w)
    scale = 2.0 / (n * squares)
    power = [a * a * scale for a in map(abs, rfft(values))]
    power[0] *= 0.5
    power[-1] *= 0.5
    return power, n * squares / (total * total)


def _is_coherent(power):
    """Whether the peak's neighbours are at the noise (see the module's text)."""
    last = len(power) - 1
    inner = power[1:last]
    peak = 1 + inner.index(max(inner))
    neighbours = [power[k] for k in (peak - 1, peak + 1) if 0 < k < last]
    mean_noise = sorted(inner)[len(inner) // 2] / math.log(2)
    return max(neighbours) <= _LEAK_LIMIT * mean_noise


def _db(ratio):
    if ratio <= 0:
        return float('-inf')
    return 10.0 * math.log10(ratio)


def _fold(position, n):
    """Where a bin position (any real number) lands in 0 .. n/2."""
    position %= n
    return n - position if position > n / 2.0 else position


class Harmonic(object):
    """One harmonic of the fundamental: its order, the bin it folds to, its
    frequency in Hz and its level in dBc (-inf when DC or the fundamental
    covers it)."""

    def __init__(self, order, bin, frequency, dbc):
        self.order, self.bin, self.frequency, self.dbc = order, bin, frequency, dbc

    def __repr__(self):
        return 'Harmonic(%d, bin %d, %.6g Hz, %.2f dBc)' % (
            self.order, self.bin, self.frequency, self.dbc)


class Analysis(object):
    """The measurements of one capture (see the module's text). Frequencies
    are in Hz, levels in dBFS or dBc, ratios in dB.

    samples, bit_width, sampling_frequency: what was analysed (samples as floats)
    window: 'rectangular' or 'blackman-harris'; coherent: whether the window
        was chosen because the capture is coherent (None when it was given)
    spectrum: level of bins 0 .. N/2 in dBFS; bin_width: Hz per bin
    fundamental_bin, fundamental_frequency, fundamental_dbfs
    harmonics: Harmonic for orders 2 to 6; thd (dBc)
    snr, sinad, enob, noise_floor (dBFS per bin)
    sfdr_dbc, sfdr_dbfs, spur_frequency, spur_order (harmonic order, or None)
    """

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


def _validate(samples, bit_width, sampling_frequency, window):
    if isinstance(bit_width, bool) or not isinstance(bit_width, (int, long)):
        raise TypeError('bit_width must be an integer, not %s' % type(bit_width).__name__)
    if not 2 <= bit_width <= 32:
        raise ValueError('bit_width must be 2 to 32, not %d' % bit_width)
    rate = arguments.number(sampling_frequency, 'sampling_frequency')
    if isinstance(samples, basestring):
        raise TypeError('samples must be a sequence of numbers, not %s' % type(samples).__name__)
    try:
        values = map(float, samples)
    except (TypeError, ValueError):
        raise TypeError('samples must be a sequence of numbers')
    check(len(values), window)
    total = sum(values)
    if total != total or abs(total) == float('inf'):
        raise ValueError('samples must be finite numbers')
    # Codes of a converter: anything larger is no capture, and squaring it
    # could overflow the spectrum's sums.
    limit = 2.0 ** bit_width
    if max(values) > limit or min(values) < -limit:
        raise ValueError('samples must be codes of a %d-bit converter, within +/-%d'
                         % (bit_width, limit))
    return values, rate


def _components(power, lobe):
    """Where each component lies: the fundamental's peak bin, its bins and its
    centre (power-weighted, in bins); (order, folded position, bins) of
    harmonics 2 to 6, each without the bins that DC, the fundamental or a
    lower harmonic took; and the noise bins."""
    last = len(power) - 1
    n = 2 * last

    def span(centre):
        return [k for k in range(centre - lobe, centre + lobe + 1) if 0 <= k <= last]

    taken = set(span(0))
    peak = max((k for k in range(1, last + 1) if k not in taken), key=power.__getitem__)
    fundamental = span(peak)
    taken.update(fundamental)
    signal = sum(power[k] for k in fundamental) or 1.0
    centre = sum(k * power[k] for k in fundamental) / signal
    harmonics = []
    for order in HARMONICS:
        position = _fold(order * centre, n)
        own = [k for k in span(int(round(position))) if k not in taken]
        taken.update(own)
        harmonics.append((order, position, own))
    noise = [k for k in range(1, last) if k not in taken]
    return peak, fundamental, centre, harmonics, noise


def analyse(samples, bit_width, sampling_frequency, window=None):
    """Measures a single-tone capture: `samples` (a power-of-two number of
    codes, signed around zero), the converter's `bit_width`, the
    `sampling_frequency` in Hz, and `window` (None: chosen from the capture;
    'rectangular'; 'blackman-harris', which takes at least
    MIN_WINDOWED_SAMPLES). Returns an Analysis; TypeError or ValueError for
    arguments it cannot analyse (see check())."""
    values, rate = _validate(samples, bit_width, sampling_frequency, window)
    n = len(values)
    coherent = None
    power, enbw = _power_spectrum(values, window or RECTANGULAR)
    if window is None:
        coherent = _is_coherent(power)
        window = RECTANGULAR if coherent else BLACKMAN_HARRIS
        if not coherent:
            _check_windowed(n, 'the capture is not coherent, and ')
            power, enbw = _power_spectrum(values, window)
    full_scale = 0.5 * 4.0 ** (bit_width - 1)  # a full-scale sine's power
    peak, fundamental, centre, harmonics, noise_bins = _components(power, _LOBE[window])
    signal = sum(power[k] for k in fundamental)
    if signal < full_scale * 1e-20:
        raise ValueError('the capture holds no tone: nothing outside DC reaches -200 dBFS')
    per_bin = sum(power[k] for k in noise_bins) / len(noise_bins) if noise_bins else 0.0
    noise = per_bin * (n // 2)

    r = Analysis()
    r.samples, r.bit_width, r.sampling_frequency = values, bit_width, rate
    r.window, r.coherent = window, coherent
    r.bin_width = rate / n
    r.spectrum = [max(_db(p * enbw / full_scale), _FLOOR_DB) for p in power]
    r.fundamental_bin = peak
    r.fundamental_frequency = centre * r.bin_width
    r.fundamental_dbfs = _db(signal / full_scale)

    r.harmonics, distortion, excess = [], 0.0, 0.0
    spurs = [(power[k] * enbw, k, None) for k in noise_bins]
    for order, position, own in harmonics:
        at = int(round(position))
        p = sum(power[k] for k in own)
        distortion += p
        excess += max(0.0, p - per_bin * len(own))
        r.harmonics.append(Harmonic(order, at, position * r.bin_width, _db(p / signal)))
        if own:
            spurs.append((p, at, order))
    r.thd = _db(distortion / signal)
    r.noise_floor = _db(per_bin * enbw / full_scale)
    r.snr = _db(signal / noise) if noise else float('inf')
    r.sinad = _db(signal / (noise + excess)) if noise + excess else float('inf')
    r.enob = (r.sinad - 1.76) / 6.02
    spur, spur_bin, r.spur_order = max(spurs) if spurs else (0.0, 0, None)
    r.spur_frequency = spur_bin * r.bin_width
    r.sfdr_dbc = _db(signal / spur) if spur else float('inf')
    r.sfdr_dbfs = _db(full_scale / spur) if spur else float('inf')
    return r
