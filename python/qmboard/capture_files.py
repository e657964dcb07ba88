"""Captures in files: CSV for people and spreadsheets, a binary format for
size and speed; both hold every sample and every metadata field exactly.

    save(capture, 'tone.csv')        # or capture.save('tone.csv')
    capture = load('tone.qmc')       # qmboard.load_capture: either format

Metadata (both formats). One line per field of qmboard.captures.FIELDS,
written in that order (read in any), `name=value`, in printable ASCII: indices, counts and the bit
width in decimal; versions dotted ('5.0.2.300'); the data format by its
constant's name ('TWOS_COMPLEMENT'); the sampling frequency in Hz as
Python's repr() writes a float (which reads back as the same double); texts
between double quotes with the escapes of a Python string literal
(backslash, quote, control and non-ASCII bytes as \\n, \\', \\xNN, ...), so
any byte string survives; an empty value is an unknown (None) field.

CSV (text, lines end in LF; CR LF is read too):

    # qmboard capture 1                  <- line 1: the format and its version
    # board=0                            <- a line per field, after '# '
    # board_name="QM-EVAL-0"
    ...
    # samples_per_channel=8192
    n,channel 0,channel 1                <- column names (one column per channel)
    0,-12,5                              <- n, then the sample of each channel
    1,3,-7
    ...                                  <- exactly samples_per_channel rows

Binary (all numbers little-endian):

    offset    size       contents
    0         8          magic: 89 51 4D 43 0D 0A 1A 0A ("\\x89QMC\\r\\n\\x1a\\n")
    8         2          format version, unsigned: 1
    10        2          sample size S in bytes, unsigned: 1, 2 or 4
    12        4          metadata size M in bytes, unsigned
    16        M          metadata: the field lines (as in the CSV, without '# '),
                         each ending in LF
    16+M      C x N x S  the samples, channels interleaved (C channels, N samples
                         per channel): signed two's complement integers
    16+M+CNS  4          CRC-32 (zlib.crc32, unsigned) of every byte before it

S is the smallest size that holds the bit width (1 up to 8 bits, 2 up to
16, else 4); a reader takes any of the three that holds it. A 2**20-sample
14-bit capture takes 2 MB and loads in one bulk copy.

A file that is not exactly so raises CaptureFileError (a ValueError) naming
the line (CSV) or byte offset (binary) that is wrong: a wrong first line or
magic, an unknown, repeated, missing or malformed field, a sample that is
no number or outside the codes of the bit width, too few or too many rows
or bytes, a CRC that does not match.
"""
import array
import struct
import sys
import zlib

from qmboard import arguments
from qmboard import samples as coding
from qmboard.captures import FIELDS, Capture, check_codes

CSV_FIRST_LINE = '# qmboard capture 1'
MAGIC = '\x89QMC\r\n\x1a\n'
VERSION = 1
_HEAD = struct.Struct('<8sHHI')
_CRC = struct.Struct('<I')
_SIZES = (1, 2, 4)
FORMATS = ('csv', 'binary')


class CaptureFileError(ValueError):
    """A capture file that cannot be read as one: `path`, and `line` (CSV,
    counted from 1) or `offset` (binary, in bytes from the start) of what is
    wrong; the other is None."""

    def __init__(self, path, problem, line=None, offset=None):
        if not isinstance(path, basestring):
            raise TypeError('path must be a file name, not %s' % type(path).__name__)
        arguments.instance(problem, str, 'problem')
        for name, value in (('line', line), ('offset', offset)):
            if value is not None:
                arguments.integer(value, name, 0, arguments.WORD_MAX)
        self.path, self.problem, self.line, self.offset = path, problem, line, offset
        where = ('line %d' % line if line is not None else
                 'offset %d' % offset if offset is not None else None)
        shown = path.encode('utf-8') if isinstance(path, unicode) else path
        ValueError.__init__(self, '%s%s: %s' % (shown, ', ' + where if where else '', problem))


def sample_size(bit_width):
    """Bytes per sample in the binary format for `bit_width` bits."""
    return 1 if bit_width <= 8 else 2 if bit_width <= 16 else 4


def _metadata_lines(capture):
    return ['%s=%s' % (name, kind.text(value))
            for (name, kind), value in zip(FIELDS.items(), capture.metadata().values())]


_SIGN_BYTES = ''.join('\xff' if byte & 0x80 else '\0' for byte in range(256))


def _host_bytes(values):
    """The bytes of an array.array, little-endian."""
    if sys.byteorder == 'big':
        values = array.array(values.typecode, values)
        values.byteswap()
    return values.tostring()


def _narrow(samples, size):
    """Little-endian bytes of `size` bytes per sample of the 32-bit signed
    `samples`, each of which fits: the low bytes of each word."""
    data = _host_bytes(samples)
    if size == 4:
        return data
    words = bytearray(data)
    out = bytearray(size * len(samples))
    for k in range(size):
        out[k::size] = words[k::4]
    return bytes(out)


def _widen(data, size):
    """32-bit signed samples (array.array) of the little-endian `data` of
    `size` bytes per sample, sign extended."""
    out = bytearray(4 * (len(data) // size))
    for k in range(size):
        out[k::4] = data[k::size]
    extension = data[size - 1::size].translate(_SIGN_BYTES)
    for k in range(size, 4):
        out[k::4] = extension
    values = array.array(coding.SIGNED)
    values.fromstring(bytes(out))
    if sys.byteorder == 'big':
        values.byteswap()
    return values


def csv_text(capture):
    """The CSV file of `capture` as a str."""
    arguments.instance(capture, Capture, 'capture')
    channels = capture.channels
    lines = [CSV_FIRST_LINE] + ['# ' + line for line in _metadata_lines(capture)]
    lines.append(','.join(['n'] + ['channel %d' % c for c in range(channels)]))
    samples = capture.samples
    columns = [map(str, xrange(len(samples) // channels))]
    columns += [map(str, samples[c::channels]) for c in range(channels)]
    lines.extend(map(','.join, zip(*columns)))  # row by row, in C
    return '\n'.join(lines) + '\n'


def binary_bytes(capture):
    """The binary file of `capture` as a str of bytes."""
    arguments.instance(capture, Capture, 'capture')
    metadata = ''.join(line + '\n' for line in _metadata_lines(capture))
    size = sample_size(capture.bit_width)
    body = _HEAD.pack(MAGIC, VERSION, size, len(metadata)) + metadata + _narrow(capture.samples,
                                                                                size)
    return body + _CRC.pack(zlib.crc32(body) & 0xFFFFFFFF)


def save(capture, path, format=None):
    """Writes `capture` to the file `path` in `format` ('csv' or 'binary';
    None: 'csv' for a name ending in .csv, else 'binary')."""
    arguments.instance(capture, Capture, 'capture')
    arguments.path(path)
    if format is None:
        format = 'csv' if path.lower().endswith('.csv') else 'binary'
    if format not in FORMATS:
        raise ValueError("format must be 'csv', 'binary' or None, not %r" % (format,))
    capture.check()
    data = csv_text(capture) if format == 'csv' else binary_bytes(capture)
    with open(path, 'wb') as out:
        out.write(data)


def load(path):
    """The Capture held by the file `path`, CSV or binary (told by its first
    bytes); CaptureFileError for a file that is not exactly a capture file,
    EnvironmentError when it cannot be read."""
    arguments.path(path)
    with open(path, 'rb') as source:
        data = source.read()
    if data.startswith(MAGIC[:1]):
        return _Binary(path, data).capture()
    if data.startswith('#'):
        return _Csv(path, data).capture()
    raise CaptureFileError(path, 'not a capture file: neither the binary magic %r nor the CSV '
                                 'first line %r' % (MAGIC, CSV_FIRST_LINE), offset=0)


def _capture(values, meta, fail):
    """The Capture of decoded `values` and parsed `meta`; `fail(problem, i)`
    raises for sample i (None: no sample in particular)."""
    bad = check_codes(values, meta['bit_width'], meta['data_format'])
    if bad is not None:
        fail('sample %d is outside the codes of %d bits in %s'
             % (bad[1], meta['bit_width'], coding.format_name(meta['data_format'])), bad[0])
    fields = dict((k, v) for k, v in meta.items() if k != 'samples_per_channel')
    return Capture(values, **fields)


class _Metadata(object):
    """Collects field lines; `where` is the line or offset of each."""

    def __init__(self, fail):
        self.fail, self.values = fail, {}

    def add(self, line, where):
        name, equals, text = line.partition('=')
        kind = FIELDS.get(name)
        if not equals or kind is None:
            self.fail('%r is no metadata field (name=value, name one of %s)'
                      % (line, ', '.join(FIELDS)), where)
        if name in self.values:
            self.fail('field %s given twice' % name, where)
        try:
            self.values[name] = kind.parse(text)
        except (TypeError, ValueError) as error:
            self.fail('field %s: %s' % (name, error), where)

    def finish(self, where):
        missing = [n for n in FIELDS if n not in self.values]
        if missing:
            self.fail('metadata without %s' % ', '.join(missing), where)
        return dict(self.values)


class _Csv(object):
    def __init__(self, path, data):
        self.path, self.lines = path, data.split('\n')
        if self.lines[-1] == '':
            self.lines.pop()  # the last line's end
        if '\r' in data:
            self.lines = [l[:-1] if l.endswith('\r') else l for l in self.lines]

    def fail(self, problem, line):
        raise CaptureFileError(self.path, problem, line=line)

    def capture(self):
        lines = self.lines
        if lines[0] != CSV_FIRST_LINE:
            self.fail('not a qmboard capture: the first line must be %r, not %r'
                      % (CSV_FIRST_LINE, lines[0][:60]), 1)
        meta = _Metadata(self.fail)
        k = 1
        while k < len(lines) and lines[k].startswith('# '):
            meta.add(lines[k][2:], k + 1)
            k += 1
        meta = meta.finish(k + 1)
        channels, count = meta['channels'], meta['samples_per_channel']
        header = ','.join(['n'] + ['channel %d' % c for c in range(channels)])
        if k == len(lines) or lines[k] != header:
            self.fail('the column names must be %r, not %r'
                      % (header, lines[k][:60] if k < len(lines) else 'the end of the file'), k + 1)
        first = k + 1
        rows = lines[first:]
        values = self._bulk(rows, channels, count)
        if values is None:
            values = self._scan(rows, channels, count, first + 1)
        return _capture(values, meta, lambda problem, i: self.fail(
            problem, first + 1 + (i // channels if i is not None else 0)))

    @staticmethod
    def _bulk(rows, channels, count):
        """The samples when every row is as this module writes it, else None
        (and _scan() decides)."""
        if len(rows) != count:
            return None
        cells = ','.join(rows).split(',')
        width = channels + 1
        if len(cells) != count * width or cells[0::width] != map(str, xrange(count)):
            return None
        del cells[0::width]
        try:
            return array.array(coding.SIGNED, map(int, cells))
        except (ValueError, OverflowError):
            return None

    def _scan(self, rows, channels, count, line):
        """The samples, row by row, failing at the first row that is wrong
        (`line`: the first row's line number)."""
        values = array.array(coding.SIGNED)
        for n, row in enumerate(rows):
            if n == count:
                self.fail('more rows than the %d samples per channel of the metadata'
                          % count, line + n)
            cells = row.split(',')
            if len(cells) != channels + 1:
                self.fail('%d values in the row, not n and %d sample(s)'
                          % (len(cells), channels), line + n)
            for c, cell in enumerate(cells):
                try:
                    v = int(cell)
                    if c:
                        values.append(v)
                except (ValueError, OverflowError):
                    self.fail('%r is not a%s' % (cell, ' sample of channel %d' % (c - 1)
                                                   if c else 'n row number'), line + n)
                if not c and v != n:
                    self.fail('row number %d where %d belongs' % (v, n), line + n)
        if len(rows) < count:
            self.fail('the file ends after %d of %d rows (samples per channel)'
                      % (len(rows), count), line + len(rows))
        return values


class _Binary(object):
    def __init__(self, path, data):
        self.path, self.data = path, data

    def fail(self, problem, offset):
        raise CaptureFileError(self.path, problem, offset=offset)

    def _need(self, end, what):
        if len(self.data) < end:
            self.fail('the file ends within %s (it needs %d bytes, it has %d)'
                      % (what, end, len(self.data)), len(self.data))

    def capture(self):
        data = self.data
        self._need(_HEAD.size, 'the header')
        magic, version, size, length = _HEAD.unpack_from(data)
        if magic != MAGIC:
            self.fail('not a qmboard capture: the magic is %r, not %r' % (magic, MAGIC), 0)
        if version != VERSION:
            self.fail('format version %d; this reader knows %d' % (version, VERSION), 8)
        if size not in _SIZES:
            self.fail('sample size %d bytes: 1, 2 or 4' % size, 10)
        start = _HEAD.size + length
        self._need(start, 'the metadata of %d bytes' % length)
        meta = _Metadata(self.fail)
        offset = _HEAD.size
        text = data[_HEAD.size:start]
        if not text.endswith('\n'):
            self.fail('the metadata does not end with a line end', start - 1)
        for line in text[:-1].split('\n'):
            meta.add(line, offset)
            offset += len(line) + 1
        meta = meta.finish(start)
        bits = meta['bit_width']
        if size * 8 < bits:
            self.fail('samples of %d bytes cannot hold %d bits' % (size, bits), 10)
        count = meta['channels'] * meta['samples_per_channel']
        end = start + count * size
        self._need(end, 'the %d samples of %d bytes' % (count, size))
        self._need(end + _CRC.size, 'the CRC-32')
        if len(data) > end + _CRC.size:
            self.fail('%d bytes after the CRC-32: the metadata counts %d samples'
                      % (len(data) - end - _CRC.size, count), end + _CRC.size)
        stored, = _CRC.unpack_from(data, end)
        actual = zlib.crc32(buffer(data, 0, end)) & 0xFFFFFFFF
        if stored != actual:
            self.fail('CRC-32 0x%08x, but the bytes before it give 0x%08x' % (stored, actual), end)
        values = _widen(data[start:end], size)
        return _capture(values, meta, lambda problem, i: self.fail(
            problem, start + size * (i or 0)))
