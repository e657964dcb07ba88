"""qmboard.analysis.analyse composed from the native kernels of _qm_signal:
the same figures, with every loop over samples or bins in a kernel and
only the few components (DC, fundamental, harmonics, spur) handled in
Python. The tests check it against the pure-Python analyse and the
benchmark times it; it is the shape analyse() takes once qmboard uses the
signal core."""
import array
import ctypes
import math

import _qm_signal as signal
from qmboard import analysis
from qmboard.analysis import Analysis, Harmonic, HARMONICS, _db, _fold

_LOBE = {analysis.RECTANGULAR: 0, analysis.BLACKMAN_HARRIS: 8}


def in_place(values):
    """A ctypes view of an array.array's memory: the kernels read it in
    place, where they copy an array.array (another thread could resize it).
    Only for an array this code alone holds, kept alive and unresized."""
    address, count = values.buffer_info()
    return (ctypes.c_double * count).from_address(address)


def is_coherent(power):
    """analysis._is_coherent: the peak's neighbours against the median bin."""
    last = len(power) - 1
    peak = signal.argmax(power, 1, last)[0]
    neighbours = [power[k] for k in (peak - 1, peak + 1) if 0 < k < last]
    mean_noise = signal.nth_smallest(power, (last - 1) // 2, 1, last) / math.log(2)
    return max(neighbours) <= analysis._LEAK_LIMIT * mean_noise


def components(power, lobe):
    """analysis._components with a mask of taken bins: (peak, signal,
    centre, [(order, position, bin, power, bins)], noise per bin, the
    largest noise bin as (power, bin))."""
    last = len(power) - 1
    n = 2 * last
    taken = bytearray(last + 1)
    signal.band(power, -lobe, lobe + 1, taken, True)
    peak = signal.argmax(power, 1, last + 1, taken)[0]
    count, total, moment = signal.band(power, peak - lobe, peak + lobe + 1)
    signal.band(power, peak - lobe, peak + lobe + 1, taken, True)
    centre = moment / (total or 1.0)
    harmonics = []
    for order in HARMONICS:
        position = _fold(order * centre, n)
        at = int(round(position))
        own, p, _ = signal.band(power, at - lobe, at + lobe + 1, taken, True)
        harmonics.append((order, position, at, p, own))
    noise_count, noise_total, _ = signal.band(power, 1, last, taken)
    loudest = signal.argmax(power, 1, last, taken)
    return peak, total, centre, harmonics, noise_count, noise_total, loudest


def analyse(samples, bit_width, sampling_frequency, window=None):
    """analysis.analyse on the native kernels (samples: an array of numbers,
    or a list, converted once)."""
    if not isinstance(samples, array.array):
        samples = array.array('d', samples)
    n = len(samples)
    analysis.check(n, window)
    rate = float(sampling_frequency)
    coherent = None
    spectrum = signal.power_spectrum(samples, window or analysis.RECTANGULAR)
    power = in_place(spectrum)
    if window is None:
        coherent = is_coherent(power)
        window = analysis.RECTANGULAR if coherent else analysis.BLACKMAN_HARRIS
        if not coherent:
            spectrum = signal.power_spectrum(samples, window)
            power = in_place(spectrum)
    enbw = signal.window_gains(window, n)[2]
    full_scale = 0.5 * 4.0 ** (bit_width - 1)
    peak, total, centre, harmonics, noise_count, noise_total, loudest = components(
        power, _LOBE[window])
    if total < full_scale * 1e-20:
        raise ValueError('the capture holds no tone: nothing outside DC reaches -200 dBFS')
    per_bin = noise_total / noise_count if noise_count else 0.0
    noise = per_bin * (n // 2)

    r = Analysis()
    r.samples, r.bit_width, r.sampling_frequency = samples, bit_width, rate
    r.window, r.coherent = window, coherent
    r.bin_width = rate / n
    r.spectrum = signal.dbfs(power, full_scale, enbw, analysis._FLOOR_DB)
    del power  # the view goes before the array it shows
    r.fundamental_bin = peak
    r.fundamental_frequency = centre * r.bin_width
    r.fundamental_dbfs = _db(total / full_scale)
    r.harmonics, distortion, excess = [], 0.0, 0.0
    spurs = [(loudest[1] * enbw, loudest[0], None)] if loudest else []
    for order, position, at, p, own in harmonics:
        distortion += p
        excess += max(0.0, p - per_bin * own)
        r.harmonics.append(Harmonic(order, at, position * r.bin_width, _db(p / total)))
        if own:
            spurs.append((p, at, order))
    r.thd = _db(distortion / total)
    r.noise_floor = _db(per_bin * enbw / full_scale)
    r.snr = _db(total / noise) if noise else float('inf')
    r.sinad = _db(total / (noise + excess)) if noise + excess else float('inf')
    r.enob = (r.sinad - 1.76) / 6.02
    spur, spur_bin, r.spur_order = max(spurs) if spurs else (0.0, 0, None)
    r.spur_frequency = spur_bin * r.bin_width
    r.sfdr_dbc = _db(total / spur) if spur else float('inf')
    r.sfdr_dbfs = _db(full_scale / spur) if spur else float('inf')
    return r
