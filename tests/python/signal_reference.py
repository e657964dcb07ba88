"""The pure-Python kernels the native signal core (_qm_signal) is checked
against, as qmboard had them before it computed with the signal core:
sample decoding and encoding (table-driven byte translation), the
transforms, window and power spectrum (a Stockham radix-2 transform over
lists), and analyse(), the whole single-tone pipeline on them with the
figure code of the time (lists of bins, sets of taken bins)."""
import array
import audioop
import math
import operator

import _qm_python as qm

BINARY = qm.QmBinaryFormat
OFFSET_BINARY = qm.QmOffsetBinaryFormat
TWOS_COMPLEMENT = qm.QmTwosComplementFormat
FORMAT_NAMES = {BINARY: 'binary', OFFSET_BINARY: 'offset binary',
                TWOS_COMPLEMENT: "two's complement"}

SIGNED = [c for c in 'ilh' if array.array(c).itemsize == 4][0]  # 32-bit signed items

_tables = {}


def _check(bits, data_format):
    if data_format not in FORMAT_NAMES:
        raise ValueError('unknown data format 0x%x' % data_format)
    if not 1 <= bits <= 32:
        raise ValueError('bit width %r outside 1..32' % (bits,))


def _byte_tables(bits, data_format):
    """(sign byte index, table for that byte, table giving the bytes above it)."""
    key = (bits, data_format)
    if key not in _tables:
        k = (bits - 1) // 8
        top = bits - 8 * k                      # bits of the sample in byte k: 1..8
        mask, sign = (1 << top) - 1, 1 << (top - 1)
        own, above = [], []
        for byte in range(256):
            b = byte & mask
            if data_format == OFFSET_BINARY:
                b ^= sign
            negative = bool(b & sign)
            if data_format == BINARY:
                b &= sign - 1                   # the magnitude
                if k == 0 and negative:         # the whole value is in this byte
                    b = -b & 0xFF if b else 0
                negative = negative and k == 0 and b != 0
            own.append(chr((b | (0x100 - (1 << top) if negative else 0)) & 0xFF))
            above.append('\xff' if negative else '\x00')
        _tables[key] = (k, ''.join(own), ''.join(above))
    return _tables[key]


def _sign_lanes(raw, bits):
    """+1 or -1 per word, from the sign-and-magnitude sign bit."""
    k = (bits - 1) // 8
    sign = 1 << ((bits - 1) - 8 * k)
    low = _table(lambda byte: 0xFF if byte & sign else 1)
    high = _table(lambda byte: 0xFF if byte & sign else 0)
    out = bytearray(len(raw))
    source = raw[k::4]
    out[0::4] = source.translate(low)
    for j in (1, 2, 3):
        out[j::4] = source.translate(high)
    return array.array(SIGNED, bytes(out))


def decode(raw, bits, data_format):
    """Signed samples (array.array of 32-bit ints) from `raw`, the bytes of
    little-endian 32-bit sample words."""
    _check(bits, data_format)
    if len(raw) % 4:
        raise ValueError('%d bytes are not a whole number of 32-bit words' % len(raw))
    values = array.array(SIGNED)
    if data_format == BINARY and 9 <= bits <= 16:
        values.fromstring(_sign_magnitude_narrow(raw, bits))
        return values
    k, own, above = _byte_tables(bits, data_format)
    out = bytearray(raw) if k else bytearray(len(raw))  # the bytes below the sign's byte stay
    sign_byte = raw[k::4]
    out[k::4] = sign_byte.translate(own)
    if k < 3:
        extension = sign_byte.translate(above)
        for j in range(k + 1, 4):
            out[j::4] = extension
    values.fromstring(bytes(out))
    if data_format == BINARY and bits > 16:
        values = array.array(SIGNED, map(operator.mul, values, _sign_lanes(raw, bits)))
    return values


def _table(function):
    return ''.join(chr(function(byte) & 0xFF) for byte in range(256))


def _narrow_tables(bits):
    key = ('narrow', bits)
    if key not in _tables:
        sign, mask = 1 << (bits - 9), (1 << (bits - 9)) - 1
        low = lambda byte: 0x7FFF - 2 * byte  # a lane of 0x7FFF - 2 * low byte
        _tables[key] = (
            _table(lambda h: -(h & mask) if h & sign else h & mask),  # high byte of +-high part
            _table(low), _table(lambda byte: low(byte) >> 8),
            _table(lambda h: 0 if h & sign else 0xFF),              # 0 or 0x7FFF by the sign
            _table(lambda h: 0 if h & sign else 0x7F),
            _table(lambda byte: 0xFF if byte & 0x80 else 0))        # 16 to 32-bit sign extension
    return _tables[key]


def _sign_magnitude_narrow(raw, bits):
    """The bytes of 32-bit values of sign-and-magnitude words of 9..16 bits.

    In 16-bit lanes, value = T + U with T = +-(high part) + low byte (a table
    per byte) and U = -2 * low byte for negative words, else 0: audioop.add
    of (0x7FFF - 2 * low byte) and (0 for negative words, else 0x7FFF)
    saturates at 0x7FFF exactly for the positive ones."""
    high_part, low0, low1, keep0, keep1, extend = _narrow_tables(bits)
    low, high = raw[0::4], raw[1::4]

    def lanes(byte0, byte1):
        lane = bytearray(2 * len(byte0))
        lane[0::2], lane[1::2] = byte0, byte1
        return bytes(lane)
    u = audioop.bias(audioop.add(lanes(low.translate(low0), low.translate(low1)),
                                 lanes(high.translate(keep0), high.translate(keep1)), 2), 2, -0x7FFF)
    v = audioop.add(lanes(low, high.translate(high_part)), u, 2)
    out = bytearray(2 * len(v))
    out[0::4], out[1::4] = v[0::2], v[1::2]
    out[2::4] = out[3::4] = v[1::2].translate(extend)
    return bytes(out)


def encode(values, bits, data_format):
    """Sample words (ints) for signed `values`; a value outside the width's
    range raises ValueError."""
    _check(bits, data_format)
    half = 1 << (bits - 1)
    low = -half + 1 if data_format == BINARY else -half
    words = []
    for v in values:
        if not low <= v < half:
            raise ValueError('sample %r outside %d..%d for %d bits' % (v, low, half - 1, bits))
        if data_format == OFFSET_BINARY:
            words.append(v + half)
        elif data_format == BINARY:
            words.append(half | -v if v < 0 else v)
        else:
            words.append(v & ((1 << bits) - 1))
    return words


# ---- transforms, windows, power spectrum (qmboard.analysis) ----
RECTANGULAR = 'rectangular'
BLACKMAN_HARRIS = 'blackman-harris'
# 7-term Blackman-Harris (Albrecht, "A family of cosine-sum windows for
# high-resolution measurements", ICASSP 2001); terms alternate in sign.
_BH7 = (0.27105140069342, 0.43329793923448, 0.21812299954311, 0.06592544638803,
        0.01081174209837, 0.00077658482522, 0.00001388721735)
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
    """The weights of window `name` for n samples, with their sum and sum of
    squares (cached)."""
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


# ---- analyse(): the figures of a single tone (qmboard.analysis) ----
HARMONICS = (2, 3, 4, 5, 6)
_LOBE = {RECTANGULAR: 0, BLACKMAN_HARRIS: 8}
_LEAK_LIMIT = 10.0
_FLOOR_DB = -300.0


def _is_coherent(power):
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
    position %= n
    return n - position if position > n / 2.0 else position


def _components(power, lobe):
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
    """qmboard.analysis.analyse as it was (arguments taken as valid): an
    Analysis whose spectrum is a list of levels."""
    from qmboard.analysis import Analysis, Harmonic
    values = map(float, samples)
    rate = float(sampling_frequency)
    n = len(values)
    coherent = None
    power, enbw = _power_spectrum(values, window or RECTANGULAR)
    if window is None:
        coherent = _is_coherent(power)
        window = RECTANGULAR if coherent else BLACKMAN_HARRIS
        if not coherent:
            power, enbw = _power_spectrum(values, window)
    full_scale = 0.5 * 4.0 ** (bit_width - 1)
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
