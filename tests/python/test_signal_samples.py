"""The signal core's sample kernels against the pure-Python ones: decode
exact for every data format and width 1..32 on random and boundary words,
from every kind of buffer (str, bytearray, array.array, a ctypes view of
the capture buffer); channels picked from frames; encode and its range;
the code histogram; de-interleaving."""
import array
import ctypes
import random
import unittest

import _qm_python as qm
import _qm_signal as signal
import qm_python
import signal_reference as reference

FORMATS = (reference.BINARY, reference.OFFSET_BINARY, reference.TWOS_COMPLEMENT)
WORD = qm_python.WORD_TYPECODE


def boundary_words(bits):
    """The words where a coding turns: 0, 1, around the sign bit and the
    width's top, and the same with every bit above the width set (ignored)."""
    half, mask = 1 << (bits - 1), (1 << bits) - 1
    words = set([0, 1, half - 1, half, half + 1, mask - 1, mask, 2 * half - 2])
    above = 0xFFFFFFFF ^ mask
    return sorted(w & 0xFFFFFFFF for base in list(words) for w in (base, base | above) if w >= 0)


def words_of(bits, count, seed):
    rng = random.Random(seed)
    words = [rng.getrandbits(32) for _ in range(count)] + boundary_words(bits)
    return array.array(WORD, words)


class DecodeTest(unittest.TestCase):
    def test_every_format_and_width_matches_the_reference(self):
        for fmt in FORMATS:
            for bits in range(1, 33):
                raw = words_of(bits, 200, bits).tostring()
                want = reference.decode(raw, bits, fmt)
                got = signal.decode(raw, bits, fmt)
                self.assertEqual(got.typecode, 'i')
                self.assertEqual(got.tolist(), want.tolist(), (hex(fmt), bits))

    def test_each_kind_of_buffer_gives_the_same_samples(self):
        words = words_of(14, 64, 3)
        raw = words.tostring()
        want = reference.decode(raw, 14, reference.BINARY).tolist()
        view = (ctypes.c_char * len(raw)).from_buffer_copy(raw)
        for source in (raw, bytearray(raw), words, memoryview(raw), view):
            self.assertEqual(signal.decode(source, 14, reference.BINARY).tolist(), want,
                             type(source).__name__)

    def test_decodes_the_capture_buffer_in_place(self):
        # The capture buffer is library memory: a ctypes view of its address
        # and length reads it without a copy.
        words = words_of(12, 500, 5)
        buffer = qm_python.Qm_Word_Array(len(words))
        buffer.write(words)
        view = (ctypes.c_uint32 * len(words)).from_address(int(buffer.this))
        got = signal.decode(view, 12, reference.OFFSET_BINARY)
        self.assertEqual(got.tolist(),
                         reference.decode(words.tostring(), 12, reference.OFFSET_BINARY).tolist())

    def test_one_channel_of_interleaved_frames(self):
        raw = words_of(16, 299, 9).tostring()[:4 * 3 * 100]
        every = reference.decode(raw, 16, reference.TWOS_COMPLEMENT).tolist()
        for channel in range(3):
            got = signal.decode(raw, 16, reference.TWOS_COMPLEMENT, channels=3, channel=channel)
            self.assertEqual(got.tolist(), every[channel::3])

    def test_empty_capture(self):
        self.assertEqual(signal.decode('', 8, reference.BINARY).tolist(), [])

    def test_format_values_are_the_bindings_constants(self):
        self.assertEqual((signal.BINARY, signal.OFFSET_BINARY, signal.TWOS_COMPLEMENT),
                         (qm.QmBinaryFormat, qm.QmOffsetBinaryFormat, qm.QmTwosComplementFormat))


class EncodeTest(unittest.TestCase):
    def test_encode_matches_the_reference_and_decodes_back(self):
        rng = random.Random(11)
        for fmt in FORMATS:
            for bits in range(1, 33):
                half = 1 << (bits - 1)
                low = -half + 1 if fmt == reference.BINARY else -half
                values = [low, half - 1, 0] + [rng.randint(low, half - 1) for _ in range(50)]
                got = signal.encode(array.array('i', values), bits, fmt)
                self.assertEqual(got.typecode, 'I')
                self.assertEqual(got.tolist(), reference.encode(values, bits, fmt), (fmt, bits))
                self.assertEqual(signal.decode(got, bits, fmt).tolist(), values)

    def test_values_outside_the_range_are_refused_as_the_reference_does(self):
        for fmt, bits, value in ((reference.BINARY, 8, -128), (reference.OFFSET_BINARY, 8, 128),
                                 (reference.TWOS_COMPLEMENT, 1, 1),
                                 (reference.BINARY, 32, int(-2 ** 31))):
            try:
                reference.encode([0, value], bits, fmt)
            except ValueError as e:
                want = str(e)
            with self.assertRaises(ValueError) as caught:
                signal.encode(array.array('l', [0, value]), bits, fmt)
            self.assertEqual(str(caught.exception), want)

    def test_any_integer_array(self):
        for code in 'bBhHiIlL':
            values = array.array(code, [0, 1, 2, 100])
            self.assertEqual(signal.encode(values, 9, reference.TWOS_COMPLEMENT).tolist(),
                             [0, 1, 2, 100])
        view = (ctypes.c_int16 * 3)(-1, 2, -3)
        self.assertEqual(signal.encode(view, 4, reference.BINARY).tolist(), [9, 2, 11])


class HistogramTest(unittest.TestCase):
    def rank(self, word, bits, fmt):
        half, mask = 1 << (bits - 1), (1 << bits) - 1
        value = reference.decode(array.array(WORD, [word]).tostring(), bits, fmt)[0]
        if fmt == reference.BINARY and word & half:  # -0 .. -M below +0
            return half - 1 + value
        return value + half

    def test_counts_codes_in_ascending_value_order(self):
        for fmt in FORMATS:
            for bits in (1, 2, 5, 12):
                words = words_of(bits, 400, bits)
                counts = signal.histogram(words, bits, fmt)
                self.assertEqual(len(counts), 2 ** bits)
                want = [0] * 2 ** bits
                for w in words:
                    want[self.rank(w, bits, fmt)] += 1
                self.assertEqual(counts.tolist(), want, (fmt, bits))

    def test_sign_and_magnitude_keeps_its_two_zeros_apart(self):
        counts = signal.histogram(array.array(WORD, [0x00, 0x80, 0x80, 0x81]), 8, reference.BINARY)
        self.assertEqual((counts[126], counts[127], counts[128]), (1, 2, 1))  # -1, -0, +0


class DeinterleaveTest(unittest.TestCase):
    def test_each_channel_keeps_the_element_type(self):
        for code in 'hid':
            frames = array.array(code, range(24))
            runs = signal.deinterleave(frames, 4)
            self.assertEqual([r.typecode for r in runs], [code] * 4)
            self.assertEqual([r.tolist() for r in runs], [frames[c::4].tolist() for c in range(4)])
        self.assertEqual([r.tolist() for r in signal.deinterleave((ctypes.c_double * 2)(1, 2), 1)],
                         [[1.0, 2.0]])


if __name__ == '__main__':
    unittest.main()
