"""Bad input to the signal core: each case its exception and message, and
nothing written where a call fails; then two threads computing at once
with the lock released, each getting its own exact result."""
import array
import ctypes
import random
import threading
import unittest

import _qm_signal as signal

B, O, T = signal.BINARY, signal.OFFSET_BINARY, signal.TWOS_COMPLEMENT
WORDS = array.array('I', range(16))
SAMPLES = array.array('d', range(16))
NAN, INF = float('nan'), float('inf')


class BadInputTest(unittest.TestCase):
    CASES = [
        # (function, arguments, exception, message or None)
        (signal.decode, ([1, 2], 8, B), TypeError,
         'raw must be a buffer (str, bytearray, array.array, a ctypes array, ...), not list'),
        (signal.decode, (None, 8, B), TypeError, None),
        (signal.decode, ('abcde', 8, B), ValueError,
         '5 bytes are not a whole number of 32-bit words'),
        (signal.decode, (SAMPLES, 8, B), TypeError, "raw holds elements of type 'd', not 32-bit words"),
        (signal.decode, (array.array('h', [1, 2]), 8, B), TypeError, None),
        (signal.decode, (WORDS, 0, B), ValueError, 'bit width 0 outside 1..32'),
        (signal.decode, (WORDS, 33, T), ValueError, 'bit width 33 outside 1..32'),
        (signal.decode, (WORDS, 8.0, T), TypeError, None),
        (signal.decode, (WORDS, 8, 7), ValueError, 'unknown data format 0x7'),
        (signal.decode, (WORDS, 8, B, 3), ValueError,
         '16 samples are not a whole number of 3-channel frames'),
        (signal.decode, (WORDS, 8, B, 2, 2), ValueError, 'no channel 2 of 2'),
        (signal.decode, (WORDS, 8, B, 0), ValueError, 'channels must be 1 or more, not 0'),
        (signal.encode, (SAMPLES, 8, B), TypeError, "samples holds elements of type 'd', not integers"),
        (signal.encode, ('\x00\x01', 8, B), TypeError,
         'samples must be an array of numbers (array.array or a typed buffer), not str'),
        (signal.encode, (array.array('i', [3, 200]), 8, T), ValueError,
         'sample 200 outside -128..127 for 8 bits'),
        (signal.histogram, (WORDS, 25, T), ValueError,
         'a histogram counts codes of 1..24 bits, not 25'),
        (signal.power_spectrum, (array.array('d', range(12)),), ValueError,
         'a transform needs a power-of-two length, not 12'),
        (signal.power_spectrum, (array.array('d'),), ValueError,
         'a transform needs a power-of-two length, not 0'),
        (signal.rfft, (array.array('d', [1.0]),), ValueError,
         'a real transform needs at least 2 samples'),
        (signal.rfft, (array.array('b', bytearray(2 ** 23)),), ValueError,
         'a transform of 8388608 samples is longer than the 4194304 this module makes'),
        (signal.power_spectrum, (array.array('d', [0.0] * 15 + [NAN]),), ValueError,
         'samples must be finite numbers'),
        (signal.rfft, (array.array('f', [INF] + [0.0] * 15),), ValueError,
         'samples must be finite numbers'),
        (signal.power_spectrum, (SAMPLES, 'hamming'), ValueError,
         "unknown window 'hamming': one of 'rectangular', 'hann', 'blackman-harris-4', "
         "'blackman-harris', 'flat-top'"),
        (signal.power_spectrum, (bytearray(16),), TypeError, None),
        (signal.power_spectrum, (SAMPLES, 'hann', array.array('d', [0.0] * 8)), ValueError,
         'out holds 8 values, not 9'),
        (signal.power_spectrum, (SAMPLES, 'hann', array.array('f', [0.0] * 9)), TypeError,
         'out must be an array of numbers (array.array or a typed buffer), not array.array'),
        (signal.power_spectrum, (SAMPLES, 'hann', memoryview('\x00' * 72)), TypeError, None),
        (signal.window, ('hann', 12), ValueError, 'a transform needs a power-of-two length, not 12'),
        (signal.dbfs, (SAMPLES, 0.0), ValueError, 'full_scale must be a positive finite number'),
        (signal.dbfs, (SAMPLES, 1.0, NAN), ValueError, 'scale must be a positive finite number'),
        (signal.dbfs, (array.array('d', [1.0, INF]), 1.0), ValueError, 'power must be finite numbers'),
        (signal.band, (SAMPLES, 0, None, bytearray(15)), ValueError,
         'the mask holds 15 bytes, not one per value (16)'),
        (signal.band, (SAMPLES, 0, None, '\x00' * 16, True), TypeError,
         'mask is read-only: the result is written into it'),
        (signal.band, (SAMPLES, 0.5), TypeError, None),
        (signal.argmax, (array.array('d', [1.0, NAN]),), ValueError, 'values must be finite numbers'),
        (signal.nth_smallest, (SAMPLES, 16), IndexError, 'rank 16 outside 0..15 of the values'),
        (signal.count_below, (SAMPLES, NAN), ValueError, 'limit must be a finite number'),
        (signal.count_below, (array.array('d', [INF] * 4), 1.0), ValueError,
         'values must be finite numbers'),
        (signal.extremes, (array.array('f', [1.0, NAN]),), ValueError,
         'values must be finite numbers'),
        (signal.extremes, (array.array('d', [0.0, -INF]),), ValueError,
         'values must be finite numbers'),
        (signal.extremes, ('\x00' * 16,), TypeError,
         'values must be an array of numbers (array.array or a typed buffer), not str'),
        (signal.nth_smallest, (SAMPLES, 0, 5, 5), IndexError, 'rank 0 outside 0..-1 of the values'),
        (signal.peaks, (SAMPLES, -1), ValueError, 'count -1 outside 0..16'),
        (signal.accumulate, ('\x00' * 128, SAMPLES), TypeError,
         'total must be an array of numbers (array.array or a typed buffer), not str'),
        (signal.accumulate, (array.array('i', range(16)), SAMPLES), TypeError, None),
        (signal.accumulate, (array.array('d', [0.0] * 8), SAMPLES), ValueError,
         'values holds 16 values, total 8'),
        (signal.accumulate, (array.array('d', [0.0] * 16), SAMPLES, INF), ValueError,
         'weight must be a finite number'),
        (signal.deinterleave, (SAMPLES, 3), ValueError,
         '16 samples are not a whole number of 3-channel frames'),
    ]

    def test_each_refusal(self):
        for function, args, exception, message in self.CASES:
            with self.assertRaises(exception) as caught:
                function(*args)
            if message is not None:
                self.assertEqual(str(caught.exception), message, (function.__name__, args))

    def test_read_only_views_are_refused_as_outputs(self):
        read_only = memoryview('\x00' * 128)
        with self.assertRaises(TypeError) as caught:
            signal.accumulate(read_only, SAMPLES)
        self.assertEqual(str(caught.exception), 'total is read-only: the result is written into it')

    def test_a_failed_call_writes_nothing(self):
        total = array.array('d', [1.0] * 16)
        view = (ctypes.c_double * 16)(*([1.0] * 16))
        for target in (total, view):
            self.assertRaises(ValueError, signal.accumulate, target,
                              array.array('d', [2.0] * 15 + [NAN]))
            self.assertEqual(list(target), [1.0] * 16)
        mask = bytearray(16)
        self.assertRaises(ValueError, signal.band, array.array('d', [NAN] * 16), 0, 16, mask, True)
        self.assertEqual(mask, bytearray(16))
        out = (ctypes.c_double * 9)(*([1.0] * 9))
        self.assertRaises(ValueError, signal.power_spectrum, array.array('d', [NAN] * 16),
                          'hann', out)
        self.assertEqual(list(out), [1.0] * 9)

    def test_outputs_taken_by_copy_are_written_back(self):
        mask = array.array('B', [0] * 16)  # old buffer protocol: copied in and out
        signal.band(SAMPLES, 4, 8, mask, True)
        self.assertEqual(mask.tolist(), [0] * 4 + [1] * 4 + [0] * 8)


class ThreadsTest(unittest.TestCase):
    def test_two_threads_analyse_two_captures_at_once(self):
        rng = random.Random(8)
        captures = [array.array('i', [rng.randint(-2 ** 13, 2 ** 13 - 1) for _ in range(2 ** 16)])
                    for _ in range(2)]
        raws = [signal.encode(c, 14, T).tostring() for c in captures]
        expected = [signal.power_spectrum(c, 'blackman-harris').tostring() for c in captures]
        results, errors = [[], []], []

        def work(index):
            try:
                for _ in range(8):
                    samples = signal.decode(raws[index], 14, T)
                    results[index].append(signal.power_spectrum(samples, 'blackman-harris'))
            except Exception as e:  # reported by the main thread
                errors.append(e)
        threads = [threading.Thread(target=work, args=(i,)) for i in range(2)]
        for t in threads:
            t.start()
        for t in threads:
            t.join(120)
        self.assertEqual(errors, [])
        for index in range(2):
            self.assertEqual(len(results[index]), 8)
            for power in results[index]:
                self.assertEqual(power.tostring(), expected[index])


if __name__ == '__main__':
    unittest.main()
