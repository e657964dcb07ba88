"""A capture with its metadata: what was captured, from which board, DUT and
configuration, in which format and at which rate, when, and with which
library and FPGA image. Dut.record() makes one; Capture.save() and
qmboard.load_capture() keep it in a file (qmboard.capture_files) and bring
it back exactly; Capture.analyse() measures it offline as Dut.measure()
measures live.

    capture = board.dut(0).record(8192)
    capture.save('tone.qmc')                  # binary; 'tone.csv' writes CSV
    again = qmboard.load_capture('tone.qmc')  # == capture
    print again.analyse()                     # the figures Dut.measure prints

Every metadata field is a read-only attribute; FIELDS lists them in the
order the files hold them, each with its kind. Fields a capture made by
hand does not know are None.
"""
import array
import audioop
import collections
import re

from qmboard import arguments, analysis, density, tones, two_tone
from qmboard import samples as coding
from qmboard.versions import Version


class _Kind(object):
    """How a metadata field is checked, and written to and read from a file
    as one line of printable ASCII (None: the empty text)."""
    optional = True

    def check(self, value, name):
        if value is None and self.optional:
            return None
        return self._check(value, name)

    def text(self, value):
        return '' if value is None else self._text(value)

    def parse(self, text):
        """The value of `text`; ValueError saying what is wrong."""
        if text == '' and self.optional:
            return None
        return self._parse(text)

    def _text(self, value):
        return str(value)


class _Count(_Kind):
    """A non-negative word (indices) or, not optional, a count from `low`."""

    def __init__(self, optional=True, low=0, high=arguments.WORD_MAX):
        self.optional, self.low, self.high = optional, low, high

    def _check(self, value, name):
        return arguments.integer(value, name, self.low, self.high)

    def _parse(self, text):
        if not re.match(r'\A[0-9]{1,10}\Z', text):
            raise ValueError('%r is not a whole number' % text)
        return self._check(int(text), 'the value')


class _Text(_Kind):
    """Any str, escaped as a Python literal between double quotes."""

    def _check(self, value, name):
        if not isinstance(value, str):
            raise TypeError('%s must be a str or None, not %s' % (name, type(value).__name__))
        return value

    def _text(self, value):
        return '"%s"' % value.encode('string_escape')

    def _parse(self, text):
        if len(text) < 2 or text[0] != '"' or text[-1] != '"':
            raise ValueError('%r is not a text in double quotes' % text)
        try:
            return text[1:-1].decode('string_escape')
        except ValueError as error:
            raise ValueError('%r is not a text in double quotes: %s' % (text, error))


class _Version(_Kind):
    """A Version (a 4-tuple of words is taken too), written dotted."""

    def _check(self, value, name):
        if not isinstance(value, tuple) or len(value) != 4:
            raise TypeError('%s must be a Version or None, not %s' % (name, type(value).__name__))
        return Version(*[arguments.integer(v, '%s[%d]' % (name, i)) for i, v in enumerate(value)])

    def _parse(self, text):
        parts = text.split('.')
        if len(parts) != 4 or not all(re.match(r'\A[0-9]{1,10}\Z', p) for p in parts):
            raise ValueError('%r is not a version of four dotted numbers' % text)
        return self._check(tuple(int(p) for p in parts), 'the version')


class _Format(_Kind):
    """A data format, written by its constant's name."""
    optional = False

    def _check(self, value, name):
        coding.check_format(value)
        return value

    def _text(self, value):
        return coding.format_name(value)

    def _parse(self, text):
        for value in coding.FORMAT_NAMES:
            if coding.format_name(value) == text:
                return value
        raise ValueError('%r is not a data format (BINARY, OFFSET_BINARY or TWOS_COMPLEMENT)'
                         % text)


class _Rate(_Kind):
    """A positive finite frequency in Hz, written as repr() writes it, which
    reads back as the same double."""
    optional = False

    def _check(self, value, name):
        return arguments.number(value, name)

    def _text(self, value):
        return repr(value)

    def _parse(self, text):
        if not re.match(r'\A[-+0-9.eE]+\Z', text):
            raise ValueError('%r is not a number' % text)
        try:
            value = float(text)
        except ValueError:
            raise ValueError('%r is not a number' % text)
        return self._check(value, 'the sampling frequency')


# The metadata, in the order the files hold it.
FIELDS = collections.OrderedDict([
    ('board', _Count()), ('board_name', _Text()), ('board_version', _Version()),
    ('dut', _Count()), ('dut_name', _Text()), ('dut_revision', _Text()),
    ('config', _Count()), ('config_name', _Text()),
    ('data_format', _Format()), ('bit_width', _Count(False, 1, 32)),
    ('sampling_frequency', _Rate()), ('time', _Text()),
    ('library_version', _Version()), ('fpga_version', _Version()),
    ('channels', _Count(False, 1)), ('samples_per_channel', _Count(False, 1)),
])
_DESCRIPTIVE = [n for n in FIELDS if n not in ('data_format', 'bit_width', 'sampling_frequency',
                                               'channels', 'samples_per_channel')]
_INTEGER_CODES = 'bBhHiIlL'


def _sample_array(samples):
    """`samples` as an array.array of 32-bit signed ints (a copy)."""
    if isinstance(samples, array.array):
        if samples.typecode not in _INTEGER_CODES:
            raise TypeError("samples must hold integers, not array.array('%s')" % samples.typecode)
        if samples.typecode == coding.SIGNED:
            return samples[:]  # one copy in C
        try:
            return array.array(coding.SIGNED, samples)
        except OverflowError:
            raise ValueError('samples must be 32-bit signed integers')
    if isinstance(samples, basestring) or not hasattr(samples, '__len__'):
        raise TypeError('samples must be a sequence of integers, not %s' % type(samples).__name__)
    for i, v in enumerate(samples):
        if isinstance(v, bool) or not isinstance(v, (int, long)):
            raise TypeError('samples[%d] must be an integer, not %s' % (i, type(v).__name__))
        if not -0x80000000 <= v <= 0x7FFFFFFF:
            raise ValueError('samples[%d] = %d is no code of a converter of up to 32 bits' % (i, v))
    return array.array(coding.SIGNED, samples)


def check_codes(values, bit_width, data_format):
    """None when every value of the array.array `values` (32-bit signed) is
    a code of `bit_width` bits in `data_format`, else (index, value) of the
    first that is not."""
    low, high = tones.code_range(bit_width, data_format)
    if not values:
        return None
    lowest, highest = audioop.minmax(buffer(values), values.itemsize)  # in C
    if low <= lowest and highest <= high:
        return None
    for i, v in enumerate(values):
        if not low <= v <= high:
            return i, v


class Capture(object):
    """Samples of `channels` channels (channels interleaved: sample n of
    channel c at n * channels + c), signed codes of `bit_width` bits that
    came in `data_format` (a qmboard format constant), sampled at
    `sampling_frequency` Hz, with the metadata of FIELDS (None where
    unknown): board (index), board_name, board_version (Version), dut
    (index), dut_name, dut_revision, config (capture configuration index),
    config_name, time (text; Dut.record writes UTC as
    '2024-05-01T12:00:00.123456Z'), library_version, fpga_version (as
    Board.load_fpga reported it). samples_per_channel is len(samples) /
    channels.

    TypeError or ValueError for a field of the wrong kind, samples that are
    not whole frames of `channels`, or a sample outside the codes of
    `bit_width` bits in `data_format`. Captures compare equal when every
    sample and every field is."""

    def __init__(self, samples, bit_width, sampling_frequency, channels=1,
                 data_format=coding.TWOS_COMPLEMENT, **metadata):
        unknown = sorted(set(metadata) - set(_DESCRIPTIVE))
        if unknown:
            raise TypeError('Capture has no field %r (fields: %s)'
                            % (unknown[0], ', '.join(FIELDS)))
        values = {'bit_width': bit_width, 'sampling_frequency': sampling_frequency,
                  'channels': channels, 'data_format': data_format}
        values.update(metadata)
        meta = collections.OrderedDict()
        for name, kind in FIELDS.items():
            if name != 'samples_per_channel':
                meta[name] = kind.check(values.get(name), name)
        self._samples = _sample_array(samples)
        count, channels = len(self._samples), meta['channels']
        if not count or count % channels:
            raise ValueError('samples must be whole frames of %d channel(s), not %d values'
                             % (channels, count))
        meta['samples_per_channel'] = count // channels
        self._meta = meta
        self.check()

    def check(self):
        """ValueError unless every sample is a code of the bit width in the
        data format (the samples array can be changed in place)."""
        count = len(self._samples)
        if count != self.channels * self.samples_per_channel:
            raise ValueError('the capture holds %d samples, not %d x %d'
                             % (count, self.channels, self.samples_per_channel))
        bad = check_codes(self._samples, self.bit_width, self.data_format)
        if bad is not None:
            low, high = tones.code_range(self.bit_width, self.data_format)
            raise ValueError('samples[%d] = %d is outside the %d..%d of %d bits in %s'
                             % (bad[0], bad[1], low, high, self.bit_width,
                                coding.format_name(self.data_format)))

    @property
    def samples(self):
        """The samples (array.array of signed ints), channels interleaved."""
        return self._samples

    def metadata(self):
        """Every field of FIELDS, in order (an OrderedDict)."""
        return collections.OrderedDict(self._meta)

    def channel(self, index):
        """The samples of channel `index` (array.array)."""
        arguments.integer(index, 'channel', 0, self.channels - 1)
        return self._samples[index::self.channels]

    def analyse(self, channel=0, window=None, harmonics=5, spurs=5, exclude=(),
                exclude_bins=()):
        """The analysis of channel `channel` (qmboard.analysis.Analysis), as
        Dut.measure() gives it for the same samples; `window` and the
        options as analyse() takes them."""
        return analysis.analyse(self.channel(channel), self.bit_width, self.sampling_frequency,
                                window, harmonics, spurs, exclude, exclude_bins,
                                self._limits())

    def analyse_two_tone(self, channel=0, window=None, tones=None, spurs=5, exclude=(),
                         exclude_bins=()):
        """The two-tone analysis of channel `channel`
        (qmboard.two_tone.TwoToneAnalysis), as Dut.measure_two_tone() gives
        it for the same samples."""
        return two_tone.analyse_two_tone(self.channel(channel), self.bit_width,
                                         self.sampling_frequency, window, tones, spurs, exclude,
                                         exclude_bins, self._limits())

    def code_density(self, channel=0):
        """The code-density test of channel `channel` (qmboard.density.CodeDensity)."""
        return density.code_density(self.channel(channel), self.bit_width)

    def _limits(self):
        return tones.code_range(self.bit_width, self.data_format)

    def save(self, path, format=None):
        """Writes the capture to the file `path`: format 'csv' or 'binary'
        (None: 'csv' for a name ending in .csv, else 'binary'). See
        qmboard.capture_files for both formats. EnvironmentError when the
        file cannot be written."""
        from qmboard import capture_files
        capture_files.save(self, path, format)

    def __eq__(self, other):
        return (isinstance(other, Capture) and self._meta == other._meta
                and self._samples == other._samples)

    def __ne__(self, other):
        return not self == other

    __hash__ = None

    def __repr__(self):
        m = self._meta
        where = ', '.join(
            '%s %s' % (label, ' '.join(str(v) if isinstance(v, (int, long)) else repr(v)
                                       for v in values if v is not None))
            for label, values in (('board', (m['board'], m['board_name'])),
                                  ('DUT', (m['dut'], m['dut_name'])),
                                  ('config', (m['config'], m['config_name'])))
            if any(v is not None for v in values))
        return '<Capture of %d samples x %d channel%s, %d bits %s, %.3f MSPS%s%s>' % (
            m['samples_per_channel'], m['channels'], 's' if m['channels'] > 1 else '',
            m['bit_width'], coding.format_name(m['data_format']),
            m['sampling_frequency'] * 1e-6, ', ' + where if where else '',
            ', ' + m['time'] if m['time'] else '')


def _field(name):
    return property(lambda self: self._meta[name], doc='The capture\'s %s (see FIELDS).' % name)


for _name in FIELDS:
    setattr(Capture, _name, _field(_name))
del _name
