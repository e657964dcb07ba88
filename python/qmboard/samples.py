"""Sample words to signed values and back, per data format and bit width.

The library delivers one 32-bit little-endian word per sample, holding the
sample in its low `bits` bits (the bits above are ignored):

- BINARY: sign and magnitude (the top bit set for negative values);
- OFFSET_BINARY: the value plus 2**(bits - 1);
- TWOS_COMPLEMENT: two's complement.

The conversions are those of the signal core (_qm_signal.decode and
encode), one native pass over the words; this module checks the arguments
in qmboard's words and reads the capture buffer in place.
"""
import array
import ctypes

import _qm_signal as signal
import qm_python as qm

BINARY = qm.QmBinaryFormat
OFFSET_BINARY = qm.QmOffsetBinaryFormat
TWOS_COMPLEMENT = qm.QmTwosComplementFormat
FORMAT_NAMES = {BINARY: 'binary', OFFSET_BINARY: 'offset binary',
                TWOS_COMPLEMENT: "two's complement"}
_CONSTANTS = {BINARY: 'BINARY', OFFSET_BINARY: 'OFFSET_BINARY', TWOS_COMPLEMENT: 'TWOS_COMPLEMENT'}

SIGNED = [c for c in 'ilh' if array.array(c).itemsize == 4][0]  # 32-bit signed items
_INTEGER_CODES = 'bBhHiIlL'  # array.array types encode() hands to the kernel as they are


def format_name(data_format):
    """'TWOS_COMPLEMENT' (the constant's name) for a known data format, the
    number in hex for another."""
    if isinstance(data_format, (int, long)):
        return _CONSTANTS.get(data_format, '0x%x' % data_format)
    return repr(data_format)


def check_format(data_format):
    """TypeError unless `data_format` is an integer, ValueError unless it is
    BINARY, OFFSET_BINARY or TWOS_COMPLEMENT."""
    if isinstance(data_format, bool) or not isinstance(data_format, (int, long)):
        raise TypeError('data_format must be an integer, not %s' % type(data_format).__name__)
    if data_format not in FORMAT_NAMES:
        raise ValueError('unknown data format 0x%x (BINARY, OFFSET_BINARY or TWOS_COMPLEMENT)'
                         % data_format)


def _check(bits, data_format):
    check_format(data_format)
    if isinstance(bits, bool) or not isinstance(bits, (int, long)):
        raise TypeError('the bit width must be an integer, not %s' % type(bits).__name__)
    if not 1 <= bits <= 32:
        raise ValueError('bit width %r outside 1..32' % (bits,))


def decode(raw, bits, data_format):
    """Signed samples (array.array of 32-bit ints) from `raw`, the bytes of
    little-endian 32-bit sample words (a str or bytearray; TypeError for
    anything else, ValueError for a partial word)."""
    _check(bits, data_format)
    if not isinstance(raw, (str, bytearray)):
        raise TypeError('decode takes the bytes of sample words (str or bytearray), not %s'
                        % type(raw).__name__)
    return signal.decode(raw, bits, data_format)


def decode_words(words, bits, data_format, channels=1, channel=0):
    """The samples of channel `channel` (of `channels` interleaved) held in
    `words`, a qm_python.Qm_Word_Array of known length such as a capture
    buffer: read in place, without a copy of the words."""
    _check(bits, data_format)
    if not isinstance(words, qm.Qm_Word_Array):
        raise TypeError('decode_words takes a Qm_Word_Array, not %s' % type(words).__name__)
    # The view borrows the array's memory: `words` stays referenced (an
    # argument of this call) until the kernel has returned.
    return signal.decode(word_view(words), bits, data_format, channels, channel)


def word_view(words):
    """A ctypes array over the memory of the Qm_Word_Array `words` (of known
    length), for a kernel to read in place: it borrows that memory, so keep
    `words` referenced while the view is used."""
    if not isinstance(words, qm.Qm_Word_Array):
        raise TypeError('word_view takes a Qm_Word_Array, not %s' % type(words).__name__)
    return (ctypes.c_uint32 * len(words)).from_address(int(words.this))


def encode(values, bits, data_format):
    """Sample words (ints) for signed integer `values`; a value that is not
    an integer raises TypeError, one outside the width's range ValueError."""
    return _encoded(values, bits, data_format).tolist()


def _encoded(values, bits, data_format):
    """encode() as an array.array of 32-bit words, as the DAC's buffer takes them."""
    _check(bits, data_format)
    if isinstance(values, array.array) and values.typecode in _INTEGER_CODES:
        return signal.encode(values, bits, data_format)  # ValueError names the first outside
    if isinstance(values, basestring) or not hasattr(values, '__iter__'):
        raise TypeError('encode takes a sequence of integer samples, not %s'
                        % type(values).__name__)
    values = list(values)
    if set(map(type, values)) <= set([int, long]):
        try:
            return signal.encode(array.array(SIGNED, values), bits, data_format)
        except OverflowError:  # beyond 32 bits: outside every width's range
            pass
    _first_problem(values, bits, data_format)
    return signal.encode(array.array(SIGNED, map(int, values)), bits, data_format)


def _first_problem(values, bits, data_format):
    """Raises for the first value that is not an integer (TypeError) or lies
    outside the width's range (ValueError), in order."""
    half = 1 << (bits - 1)
    low = -half + 1 if data_format == BINARY else -half
    for v in values:
        if isinstance(v, bool) or not isinstance(v, (int, long)):
            raise TypeError('sample %r is not an integer' % (v,))
        if not low <= v < half:
            raise ValueError('sample %r outside %d..%d for %d bits' % (v, low, half - 1, bits))
