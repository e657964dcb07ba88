"""Captures with their metadata: recorded from the stand-in, saved to CSV
and to the binary format and loaded back exactly (extreme codes, awkward
texts, unknown fields, 2**20 samples), and malformed files refused with the
line or byte offset that is wrong."""
import array
import os
import shutil
import struct
import tempfile
import unittest
import zlib

import qmsim
import qmboard
from qmboard import capture_files

AWKWARD = 'a,b "quoted" \'single\' \\ back\n\r\tnew\x00nul \xff\xe9 = # end'


def extremes(bits, data_format):
    """Every edge code of `bits` bits in `data_format`."""
    half = 1 << (bits - 1)
    low = -half + 1 if data_format == qmboard.BINARY else -half
    return sorted(v for v in set([low, low + 1, -1, 0, 1, half - 2, half - 1]) if low <= v < half)


class Files(unittest.TestCase):
    def setUp(self):
        qmsim.reset()
        self.folder = tempfile.mkdtemp()

    def tearDown(self):
        shutil.rmtree(self.folder)

    def path(self, name):
        return os.path.join(self.folder, name)

    def round_trip(self, capture, name):
        """The capture loaded from `name` after saving it there."""
        path = self.path(name)
        capture.save(path)
        again = qmboard.load_capture(path)
        self.assertEqual(again.metadata(), capture.metadata(), name)
        self.assertEqual(list(again.samples), list(capture.samples), name)
        self.assertEqual(again, capture)
        return again


class RoundTripTest(Files):
    def test_extreme_codes_and_awkward_metadata_in_both_formats(self):
        cases = [(1, qmboard.TWOS_COMPLEMENT, 1), (8, qmboard.BINARY, 3),
                 (14, qmboard.OFFSET_BINARY, 2), (16, qmboard.TWOS_COMPLEMENT, 1),
                 (17, qmboard.BINARY, 1), (32, qmboard.TWOS_COMPLEMENT, 2)]
        for bits, fmt, channels in cases:
            codes = extremes(bits, fmt) * channels * 2
            full = dict(board=15, board_name=AWKWARD, board_version=(0, 0, 0, 0), dut=0,
                        dut_name='', dut_revision='Rev "C"', config=2 ** 32 - 1,
                        config_name='\x01\x7f', time='2024-05-01T12:00:00.000001Z',
                        library_version=qmboard.Version(2 ** 32 - 1, 1, 2, 3),
                        fpga_version=(1, 2, 3, 4))
            for metadata in (full, {}):
                capture = qmboard.Capture(codes, bits, 1e8 / 3, channels, fmt, **metadata)
                for name in ('c.csv', 'c.qmc'):
                    again = self.round_trip(capture, name)
                    self.assertEqual(type(again.sampling_frequency), float)
                    if metadata:
                        self.assertEqual(again.board_name, AWKWARD)
                        self.assertIsInstance(again.library_version, qmboard.Version)
                    else:
                        self.assertIsNone(again.board_name)
        # The smallest frequency a double holds, and one that is no short decimal.
        for rate in (5e-324, 0.1 + 0.2):
            self.round_trip(qmboard.Capture([0, 1], 8, rate), 'r.csv')

    def test_a_recorded_capture_keeps_its_metadata(self):
        with qmboard.open(0) as board:
            board.load_fpga('adc_1.2.3.4.bit')
            capture = board.dut(0).record(1024, config=1)
            self.assertEqual(list(capture.samples), list(board.dut(0).capture(1024, config=1)))
        m = capture.metadata()
        self.assertEqual([m[k] for k in ('board', 'board_name', 'dut', 'dut_name', 'dut_revision',
                                         'config', 'config_name', 'data_format', 'bit_width',
                                         'sampling_frequency', 'channels',
                                         'samples_per_channel')],
                         [0, 'QM-EVAL-0', 0, 'QMADC-1425', 'Rev C', 1,
                          'Channels A+B interleaved', qmboard.OFFSET_BINARY, 14, 250e6, 2, 1024])
        self.assertEqual([str(m[k]) for k in ('board_version', 'library_version', 'fpga_version')],
                         ['5.0.2.300', '3.2.0.118', '1.2.3.4'])
        self.assertRegexpMatches(m['time'], r'^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{6}Z$')
        for name in ('t.csv', 't.qmc'):
            again = self.round_trip(capture, name)
            self.assertEqual(str(again.analyse(1)), str(capture.analyse(1)))
        self.assertEqual(list(capture.channel(1)), list(capture.samples[1::2]))

    def test_two_to_the_twenty_samples_in_the_binary_format(self):
        codes = array.array('i', extremes(14, qmboard.TWOS_COMPLEMENT) * (1 << 18))
        capture = qmboard.Capture(codes[:1 << 20], 14, 250e6, 2)
        again = self.round_trip(capture, 'big.qmc')
        self.assertEqual(os.path.getsize(self.path('big.qmc')), 2 * (1 << 20) + 16 + 4 + len(
            ''.join(l + '\n' for l in capture_files._metadata_lines(capture))))
        self.assertEqual(again.samples_per_channel, 1 << 19)

    def test_captures_refuse_what_they_cannot_hold(self):
        for args, kw, kind, message in (
                (([0, 8192], 14, 1e6), {}, ValueError, 'samples[1] = 8192 is outside the '
                                                       '-8192..8191 of 14 bits'),
                (([-128], 8, 1e6, 1, qmboard.BINARY), {}, ValueError, '-127..127'),
                (([0, 1, 2], 8, 1e6, 2), {}, ValueError, 'whole frames of 2 channel(s)'),
                (([], 8, 1e6), {}, ValueError, 'not 0 values'),
                (([0], 8, 1e6), {'fpga_version': (1, 2, 3)}, TypeError, 'fpga_version must be'),
                (([0], 8, 1e6), {'bored': 1}, TypeError, "Capture has no field 'bored'"),
                (([0], 8, float('inf')), {}, ValueError, 'sampling_frequency must be')):
            with self.assertRaises(kind) as caught:
                qmboard.Capture(*args, **kw)
            self.assertIn(message, str(caught.exception))
        capture = qmboard.Capture([1, 2], 8, 1e6)
        capture.samples[0] = 300  # the array is the capture's own: saving checks it again
        self.assertRaises(ValueError, capture.save, self.path('x.qmc'))
        self.assertFalse(os.path.exists(self.path('x.qmc')))
        self.assertRaises(ValueError, capture.save, self.path('x.qmc'), 'xml')


class MalformedTest(Files):
    def setUp(self):
        Files.setUp(self)
        self.capture = qmboard.Capture([-5, 7, 100, -100, 0, 1], 12, 1e6, 2, board=0,
                                       board_name='QM-EVAL-0')

    def refused(self, data, name='bad'):
        """The CaptureFileError of loading `data`."""
        path = self.path(name)
        with open(path, 'wb') as out:
            out.write(data)
        with self.assertRaises(qmboard.CaptureFileError) as caught:
            qmboard.load_capture(path)
        error = caught.exception
        self.assertEqual(error.path, path)
        self.assertTrue(str(error).startswith(path + ', '), str(error))
        return error

    def test_csv_names_the_line(self):
        text = capture_files.csv_text(self.capture)
        lines = text.split('\n')
        first_row = lines.index('n,channel 0,channel 1') + 2  # line numbers count from 1

        def edited(number, line):
            return '\n'.join(lines[:number - 1] + [line] + lines[number:])
        for data, line, message in (
                (edited(first_row + 1, '1,abc,3'), first_row + 1, "'abc' is not a sample of "
                                                                 'channel 0'),
                (edited(first_row + 2, '2,100,-100,7'), first_row + 2, '4 values in the row'),
                (edited(first_row, '1,-5,7'), first_row, 'row number 1 where 0 belongs'),
                (edited(first_row, '0,-5000,7'), first_row, 'sample -5000 is outside the codes '
                                                           'of 12 bits in TWOS_COMPLEMENT'),
                ('\n'.join(lines[:-2]) + '\n', first_row + 2, 'the file ends after 2 of 3 rows'),
                (text + '3,0,0\n', first_row + 3, 'more rows than the 3 samples per channel'),
                (edited(1, '# qmboard capture 2'), 1, 'not a qmboard capture: the first line'),
                (edited(3, '# board_name=QM-EVAL-0'), 3, 'not a text in double quotes'),
                (edited(3, '# board_name="\\x4"'), 3, 'invalid \\x escape'),
                (edited(3, '# board=1'), 3, 'field board given twice'),
                (edited(3, '# colour="red"'), 3, "'colour=\"red\"' is no metadata field"),
                (edited(11, '# bit_width=eight'), 11, 'field bit_width: '),
                (edited(12, '# sampling_frequency=nan'), 12, 'field sampling_frequency'),
                ('\n'.join(lines[:2] + lines[3:]), first_row - 2,  # board_name left out
                 'metadata without board_name')):
            error = self.refused(data, 'bad.csv')
            self.assertEqual((error.line, error.offset), (line, None), (error, line))
            self.assertIn(', line %d: ' % line, str(error))
            self.assertIn(message, error.problem)
        self.assertEqual(lines[10:12], ['# bit_width=12', '# sampling_frequency=1000000.0'])
        # CR LF line ends read as well, and numbers written another way.
        path = self.path('other.csv')
        for data in (text.replace('\n', '\r\n'), edited(first_row, '+0, -5,07')):
            with open(path, 'wb') as out:
                out.write(data)
            self.assertEqual(qmboard.load_capture(path), self.capture)

    def test_binary_names_the_offset(self):
        data = capture_files.binary_bytes(self.capture)
        length = struct.unpack_from('<I', data, 12)[0]
        samples_at = 16 + length
        crc_at = samples_at + 12  # 6 samples of 2 bytes

        def sealed(body):
            return body + struct.pack('<I', zlib.crc32(body) & 0xFFFFFFFF)
        body = data[:-4]
        board_line = body.index('board=0\n')
        for bad, offset, message in (
                (data[:10], 10, 'the file ends within the header'),
                (data[:samples_at - 3], samples_at - 3, 'the file ends within the metadata'),
                (data[:samples_at + 3], samples_at + 3,
                 'the file ends within the 6 samples of 2 bytes'),
                (data[:-1], len(data) - 1, 'the file ends within the CRC-32'),
                (data + '\0', len(data), '1 bytes after the CRC-32'),
                ('\x89QMX' + data[4:], 0, 'not a qmboard capture: the magic is'),
                ('PK\x03\x04' + data[4:], 0, 'neither the binary magic'),
                (sealed(body[:8] + '\x02' + body[9:]), 8, 'format version 2'),
                (sealed(body[:10] + '\x03' + body[11:]), 10, 'sample size 3 bytes'),
                (body[:samples_at] + '\x00' + body[samples_at + 1:] + data[-4:], crc_at,
                 'CRC-32'),
                (sealed(body[:board_line] + 'board=x\n' + body[board_line + 8:]), board_line,
                 'field board'),
                (sealed(body[:samples_at + 4] + '\xff\x7f' + body[samples_at + 6:]),
                 samples_at + 4, 'sample 32767 is outside')):
            error = self.refused(bad)
            self.assertEqual((error.line, error.offset), (None, offset), (error, offset))
            self.assertIn(', offset %d: ' % offset, str(error))
            self.assertIn(message, error.problem)
        self.assertEqual(self.refused('')
                         .problem.split(':')[0], 'not a capture file')

    def test_unreadable_and_unwritable_files(self):
        self.assertRaises(IOError, qmboard.load_capture, self.path('missing.qmc'))
        self.assertRaises(IOError, self.capture.save, self.path('no/such/dir.qmc'))
        self.assertRaises(ValueError, qmboard.load_capture, 'a\0b')
        self.assertRaises(TypeError, qmboard.load_capture, None)


if __name__ == '__main__':
    unittest.main()
