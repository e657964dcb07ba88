"""Sample words to signed values and back, per data format and bit width.

The library delivers one 32-bit little-endian word per sample, holding the
sample in its low `bits` bits:

- BINARY: sign and magnitude (the top bit set for negative values);
- OFFSET_BINARY: the value plus 2**(bits - 1);
- TWOS_COMPLEMENT: two's complement.

decode() works on the whole buffer at once: the bytes below the sign bit's
byte are copied, the byte holding the sign bit is translated through a table
(masking the bits above the width, flipping the top bit for offset binary,
extending the sign), and the bytes above it come from the sign. Sign and
magnitude is negated by tables too when the sign shares a byte with the
whole magnitude (up to 8 bits); up to 16 bits the low byte's sign is applied
by audioop's saturating add; wider ones take one multiplication per sample,
done in C by map().
"""
import array
import audioop
import operator

import qm_python as qm

BINARY = qm.QmBinaryFormat
OFFSET_BINARY = qm.QmOffsetBinaryFormat
TWOS_COMPLEMENT = qm.QmTwosComplementFormat
FORMAT_NAMES = {BINARY: 'binary', OFFSET_BINARY: 'offset binary',
                TWOS_COMPLEMENT: "two's complement"}
_CONSTANTS = {BINARY: 'BINARY', OFFSET_BINARY: 'OFFSET_BINARY', TWOS_COMPLEMENT: 'TWOS_COMPLEMENT'}

SIGNED = [c for c in 'ilh' if array.array(c).itemsize == 4][0]  # 32-bit signed items

_tables = {}


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
    little-endian 32-bit sample words (a str or bytearray; TypeError for
    anything else)."""
    _check(bits, data_format)
    if isinstance(raw, bytearray):
        raw = bytes(raw)
    elif not isinstance(raw, str):
        raise TypeError('decode takes the bytes of sample words (str or bytearray), not %s'
                        % type(raw).__name__)
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
    """Sample words (ints) for signed integer `values`; a value that is not
    an integer raises TypeError, one outside the width's range ValueError."""
    _check(bits, data_format)
    half = 1 << (bits - 1)
    low = -half + 1 if data_format == BINARY else -half
    words = []
    if isinstance(values, basestring) or not hasattr(values, '__iter__'):
        raise TypeError('encode takes a sequence of integer samples, not %s'
                        % type(values).__name__)
    for v in values:
        if isinstance(v, bool) or not isinstance(v, (int, long)):
            raise TypeError('sample %r is not an integer' % (v,))
        if not low <= v < half:
            raise ValueError('sample %r outside %d..%d for %d bits' % (v, low, half - 1, bits))
        if data_format == OFFSET_BINARY:
            words.append(v + half)
        elif data_format == BINARY:
            words.append(half | -v if v < 0 else v)
        else:
            words.append(v & ((1 << bits) - 1))
    return words
