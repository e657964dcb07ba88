"""The code-density (histogram) test of a converter, IEEE 1241's sine-wave
method: DNL and INL of every code from how often a sine visits it.

    result = code_density(samples, bit_width=14)     # a long capture of a sine
    print result.report()        # DNL, INL, missing codes, the sine's fit
    result.dnl, result.missing

A sine spends more time near its peaks than at its zero crossings (its
values have the arcsine density), so raw counts are no widths. The test
reads each transition level off the cumulative histogram through the
sine's inverse distribution, T[k] = C - A cos(pi CH[k-1]) (CH the share of
samples below code k), and fits the sine's offset C and amplitude A from the
histogram's ends: the two end codes hold the sine's tips (and, for a sine
driven slightly beyond the converter's range, all it clipped), so their
shares of the samples place the transitions above the lower one and below
the upper one, which are set at their ideal places (an end-point fit). Then
DNL of a code is its width in LSB less 1 (-1: missing) and INL the distance
of its upper transition from where it belongs (the running sum of DNL, 0 at
both ends). The arithmetic is the signal core's (_qm_signal.code_density).

The record should hold many samples per code (a million for 14 bits gives
some 40 each, 2**22 about 160; the counts' granularity is the DNL's
resolution) at phases spread evenly over the sine (a coherent tone with an
odd number of cycles, as qmboard.coherent_frequency plans) and reach, or
slightly pass, both ends of the range. The end codes are the lowest and
highest codes that came unless given; codes beyond them are not measured.

Dut.code_density() captures and counts: with the DUT's hardware histogram
where its description offers one bin per code (HistogramInfo, through a
capture with HistogramEnable, HistogramMaxBin and num_acqs_per_strm: no
samples cross the link, and up to 2**24 of them count), otherwise from the
captured samples.
"""
import array
import math

import _qm_signal as signal
from qmboard import analysis, arguments
from qmboard import samples as coding

MAX_BITS = 20  # a million counts


class CodeDensity(object):
    """The results of a code-density test (see the module's text). Codes
    are signed values (-2**(bits - 1) .. 2**(bits - 1) - 1), levels in LSB.

    bit_width; samples: how many were counted; source: 'samples' or
        'hardware histogram'
    counts: how often each code came (array.array, count i for code
        i - 2**(bit_width - 1))
    first_code, last_code: the end codes; the inner codes between them are
        measured: codes() lists them
    dnl, inl: array.array of doubles, one per inner code (dnl[i] of code
        first_code + 1 + i); dnl_of(code) and inl_of(code) look one up
    missing: the inner codes that never came (DNL -1)
    offset, amplitude: the fitted sine's, in LSB; level_dbfs its level
    dnl_min, dnl_max, inl_min, inl_max, each with its code (dnl_min_code,
        ...); worst_dnl, worst_inl: the one of larger magnitude, with
        worst_dnl_code, worst_inl_code
    """

    def codes(self):
        """The inner codes, those dnl and inl hold, in order."""
        return xrange(self.first_code + 1, self.last_code)

    def _index(self, code):
        arguments.integer(code, 'code', self.first_code + 1, self.last_code - 1)
        return code - self.first_code - 1

    def dnl_of(self, code):
        """The DNL of inner code `code` (ValueError for a code not measured)."""
        return self.dnl[self._index(code)]

    def inl_of(self, code):
        """The INL of inner code `code` (ValueError for a code not measured)."""
        return self.inl[self._index(code)]

    def rows(self):
        """The figures as (name, text) pairs, as str() and plots show them."""
        missing = self.missing
        shown = ', '.join(str(c) for c in missing[:8]) + (', ...' if len(missing) > 8 else '')
        return [
            ('Histogram', '%d samples, %d bits, %s' % (self.samples, self.bit_width,
                                                       self.source)),
            ('Codes', '%d measured, %d to %d, end codes %d and %d' % (
                self.last_code - self.first_code - 1, self.first_code + 1, self.last_code - 1,
                self.first_code, self.last_code)),
            ('Sine', 'offset %.3f LSB, amplitude %.2f LSB, %.3f dBFS' % (
                self.offset, self.amplitude, self.level_dbfs)),
            ('DNL', '%+.3f to %+.3f LSB, worst %+.3f (code %d)' % (
                self.dnl_min, self.dnl_max, self.worst_dnl, self.worst_dnl_code)),
            ('INL', '%+.3f to %+.3f LSB, worst %+.3f (code %d)' % (
                self.inl_min, self.inl_max, self.worst_inl, self.worst_inl_code)),
            ('Missing', '%d code%s%s' % (len(missing), '' if len(missing) == 1 else 's',
                                         ': ' + shown if missing else '')),
        ]

    def report(self):
        """The figures as text, one per line (as str())."""
        return str(self)

    def __str__(self):
        return '\n'.join('%-12s %s' % row for row in self.rows())

    def __repr__(self):
        return ('<CodeDensity of %d samples, %d bits: DNL %+.3f..%+.3f LSB, INL %+.3f..%+.3f LSB, '
                '%d missing>' % (self.samples, self.bit_width, self.dnl_min, self.dnl_max,
                                 self.inl_min, self.inl_max, len(self.missing)))


def _check_bits(bit_width):
    if isinstance(bit_width, bool) or not isinstance(bit_width, (int, long)):
        raise TypeError('bit_width must be an integer, not %s' % type(bit_width).__name__)
    if not 2 <= bit_width <= MAX_BITS:
        raise ValueError('a code-density test takes 2 to %d bits, not %d' % (MAX_BITS, bit_width))
    return bit_width


def _end(code, name, bit_width):
    """An end code given as a signed code, as an index into the counts (None: found)."""
    if code is None:
        return None
    half = 1 << (bit_width - 1)
    return arguments.integer(code, name, -half, half - 1) + half


def _codes(samples):
    """`samples` as 32-bit signed integers the histogram reads in place."""
    if isinstance(samples, array.array) and samples.typecode == coding.SIGNED:
        return samples
    if isinstance(samples, (basestring, bytearray, memoryview, buffer)) or not hasattr(
            samples, '__len__'):
        raise TypeError('samples must be a sequence of integer codes, not %s'
                        % type(samples).__name__)
    if isinstance(samples, array.array) and samples.typecode not in 'bBhHiIlL':
        raise TypeError("samples must be integer codes, not array.array('%s')"
                        % samples.typecode)
    try:
        return array.array(coding.SIGNED, samples)
    except TypeError:
        raise TypeError('samples must be a sequence of integer codes')
    except OverflowError:
        raise ValueError('samples must be codes of a converter of up to 32 bits')


def code_density(samples, bit_width, first_code=None, last_code=None):
    """The code-density test of the captured codes `samples` (signed, as
    Dut.capture() gives them: an array.array or any sequence of integers)
    of a `bit_width`-bit converter (2 to MAX_BITS); `first_code` and
    `last_code` the end codes (default: the lowest and highest that came).
    Returns a CodeDensity; TypeError or ValueError for samples that are no
    codes of that width, or a histogram no sine can have made."""
    _check_bits(bit_width)
    first, last = _end(first_code, 'first_code', bit_width), _end(last_code, 'last_code',
                                                                  bit_width)
    values = _codes(samples)
    if not values:
        raise ValueError('samples must hold samples')
    half = 1 << (bit_width - 1)
    view = analysis._view(values)
    low, high = signal.extremes(view)
    if low < -half or high > half - 1:
        raise ValueError('samples must be codes of %d bits, %d to %d, not %d to %d'
                         % (bit_width, -half, half - 1, low, high))
    counts = signal.histogram(view, bit_width, coding.TWOS_COMPLEMENT)
    return _density(counts, bit_width, first, last, 'samples')


def code_density_of_counts(counts, bit_width, first_code=None, last_code=None,
                           source='counts'):
    """The code-density test of a histogram: `counts` holds how often each
    code of a `bit_width`-bit converter came, 2**bit_width numbers, count i
    for code i - 2**(bit_width - 1) (as a DUT's hardware histogram and
    _qm_signal.histogram give them); the rest as code_density() takes it,
    `source` the text CodeDensity.source holds."""
    _check_bits(bit_width)
    first, last = _end(first_code, 'first_code', bit_width), _end(last_code, 'last_code',
                                                                  bit_width)
    arguments.text(source, 'source')
    if isinstance(counts, basestring) or not hasattr(counts, '__len__'):
        raise TypeError('counts must be a sequence of counts, not %s' % type(counts).__name__)
    if len(counts) != 1 << bit_width:
        raise ValueError('counts must hold %d counts for %d bits, not %d'
                         % (1 << bit_width, bit_width, len(counts)))
    counts = analysis._numbers(counts, 'counts')
    kept = array.array('d', counts) if counts.typecode in 'fd' else counts[:]
    return _density(kept, bit_width, first, last, source)


def _density(counts, bit_width, first, last, source):
    """The CodeDensity of the array `counts` (kept) through the kernel."""
    dnl, inl, offset, amplitude, missing = signal.code_density(counts, first, last)
    half = 1 << (bit_width - 1)
    r = CodeDensity()
    r.bit_width, r.source, r.counts = bit_width, source, counts
    r.samples = int(round(signal.band(counts, 0)[1]))
    r.dnl, r.inl = dnl, inl
    inner = len(dnl)
    # The kernel's ends: the given ones, else the first and last that came.
    if first is None:
        first = _first_nonzero(counts) if last is None else last - inner - 1
    r.first_code, r.last_code = first - half, first + inner + 1 - half
    r.missing = [k - half for k in missing]
    r.offset, r.amplitude = offset - half, amplitude
    r.level_dbfs = 20 * math.log10(amplitude / half)
    for name, values in (('dnl', dnl), ('inl', inl)):
        (low_at, low), (high_at, high) = signal.argmin(values), signal.argmax(values)
        setattr(r, name + '_min', low)
        setattr(r, name + '_max', high)
        setattr(r, name + '_min_code', r.first_code + 1 + low_at)
        setattr(r, name + '_max_code', r.first_code + 1 + high_at)
        worst, at = (high, high_at) if abs(high) >= abs(low) else (low, low_at)
        setattr(r, 'worst_' + name, worst)
        setattr(r, 'worst_%s_code' % name, r.first_code + 1 + at)
    return r


def _first_nonzero(counts):
    """The index of the first nonzero count: how many running sums are 0
    (below the least positive double)."""
    return signal.count_below(signal.cumsum(counts), 5e-324)
