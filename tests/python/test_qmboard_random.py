"""Seeded random and boundary arguments to every public name of qmboard
(functions, classes, and the methods and properties of live boards, DUTs,
EEPROMs and I2C devices) against the stand-in. Only the documented
exceptions may come out, with qmboard's own messages (never the flat
layer's "in method ..." texts), and the bench still works afterwards."""
import inspect
import math
import os
import random
import shutil
import tempfile
import unittest

import qmsim
import qmboard
from qmboard import analysis, capture_files, plot, results, samples, sweeps, tones

SEED = 18
CALLS = 4000
ALLOWED = (TypeError, ValueError, IndexError, qmboard.QmError, EnvironmentError)
# The bytes the writes take follow the byte rule of the board's buffers, whose
# own tests cover them; they join here once that rule is the layers' one.
BYTES_RULE_ELSEWHERE = ('Eeprom.write', 'I2cDevice.write')
FLAT_TEXTS = ("in method '", "in variable '")


# ---- arguments: boundary values, some random ones, and the bench's own objects ----
BOUNDARY = [0, 1, -1, 2, 3, 8, 14, 16, 64, 0x7F, 0xD010, 2 ** 31 - 1, 2 ** 31, -2 ** 31,
            2 ** 32 - 1, 2 ** 32, -2 ** 63, 2 ** 64, 0.0, 0.5, -1.5, 1e6, 1e200,
            float('nan'), float('inf'), -float('inf'), True, False, None, '', 'a', 'fpga', 'spi',
            'QMADC-1610', 'adc_1.2.3.4.bit', '\0', '\x01\x02', u'', u'abcd', u'\xe9', [],
            [1, 2, 3, 4], [1.5, 2], [0, 1], (0,), (0, 1, 2, 3, 4), {}, set([1]), bytearray('abcd'),
            object(), Ellipsis, qmboard.BINARY, qmboard.OFFSET_BINARY, qmboard.TWOS_COMPLEMENT,
            analysis.RECTANGULAR, analysis.BLACKMAN_HARRIS, [100, -100] * 8, [0.0] * 64]


def argument(rng, live):
    """One argument: mostly boundary values, some random ints, strings and the live objects."""
    roll = rng.random()
    if roll < 0.7:
        return rng.choice(BOUNDARY)
    if roll < 0.8:
        return rng.randint(-2 ** 33, 2 ** 33)
    if roll < 0.9:
        return ''.join(chr(rng.randint(0, 255)) for _ in range(rng.randint(0, 6)))
    return rng.choice(live)


def arity(function):
    """(fewest, most) positional arguments `function` takes."""
    if isinstance(function, _Getter):
        return 0, 0
    target = function.__init__ if inspect.isclass(function) else function
    try:
        signature = inspect.getargspec(target)
    except TypeError:
        return 0, 3
    bound = inspect.ismethod(target) or inspect.isclass(function)
    count = len(signature.args) - (1 if bound else 0)
    return count - len(signature.defaults or ()), count


def call_checked(function, args):
    """None, or what went wrong when `function(*args)` raised outside ALLOWED
    or with a flat-layer message."""
    try:
        function(*args)
    except ALLOWED as error:
        # A codec's complaint is no message of the layer's own.
        if isinstance(error, UnicodeError) or any(text in str(error) for text in FLAT_TEXTS):
            return error
    except BaseException as error:
        return error
    return None


class _Getter(object):
    """Reads a property; takes no arguments."""

    def __init__(self, obj, name):
        self.obj, self.name = obj, name

    def __call__(self):
        return getattr(self.obj, self.name)


# ---- the public names ----
def public(module, names=None):
    return [(module.__name__ + '.' + n, getattr(module, n))
            for n in (names or getattr(module, '__all__', dir(module))) if not n.startswith('_')]


def targets(board, dut, capture):
    """(name, callable) for every public function and class, and the public
    methods and properties of the live objects."""
    found = public(qmboard, [n for n in qmboard.__all__
                             if n not in ('Event', 'on_event', 'SPACES')])
    found += public(analysis, ['analyse', 'check', 'fft', 'rfft', 'Spectrum'])
    found += public(plot, ['svg_text', 'write_svg', 'sweep_svg_text', 'write_sweep_svg'])
    found += public(samples, ['decode', 'decode_words', 'encode', 'check_format', 'format_name'])
    found += public(tones, ['code_range'])
    found += public(capture_files, ['save', 'load', 'csv_text', 'binary_bytes', 'sample_size'])
    found += public(results, ['json_text'])
    found += public(sweeps, ['dac_frequency', 'dac_level', 'capture_config', 'register'])
    for obj in (board, dut, board.cypress_eeprom, board.i2c(0x68), capture):
        for name, value in inspect.getmembers(type(obj)):
            label = '%s.%s' % (type(obj).__name__, name)
            if name.startswith('_') or label in BYTES_RULE_ELSEWHERE:
                continue
            if isinstance(value, property):
                found.append((label, _Getter(obj, name)))
            elif inspect.ismethod(value):
                found.append((label, getattr(obj, name)))
    return found


class RandomArgumentTest(unittest.TestCase):
    def setUp(self):
        qmsim.reset()
        self.cwd, self.folder = os.getcwd(), tempfile.mkdtemp()
        os.chdir(self.folder)  # write_svg may be given a plain name

    def tearDown(self):
        qmboard.shutdown()
        os.chdir(self.cwd)
        shutil.rmtree(self.folder)

    def test_only_documented_exceptions_in_qmboards_words(self):
        rng = random.Random(SEED)
        board = qmboard.open(0)
        dut = board.dut(0)
        result = dut.measure(64)
        capture = dut.record(64, config=1)
        run = qmboard.sweep([1, 2.5], lambda value: {'twice': 2 * value})
        live = [board, dut, result, board.cypress_eeprom, qmboard.Version(1, 2, 3, 4), capture,
                run]
        names = targets(board, dut, capture)
        faults = []
        for _ in range(CALLS):
            label, function = rng.choice(names)
            low, high = arity(function)
            count = rng.randint(max(0, low - 1), high + 1) if rng.random() < 0.1 else \
                rng.randint(low, high)
            args = [argument(rng, live) for _ in range(count)]
            fault = call_checked(function, args)
            if fault is not None:
                faults.append('%s%r: %s: %s' % (label, tuple(args), type(fault).__name__, fault))
            if board.closed:  # shutdown() or close() came up: carry on with a fresh board
                board = qmboard.open(0)
                dut = board.dut(0)
                live[:2] = [board, dut]
                names = targets(board, dut, capture)
        self.assertEqual(faults, [], '\n'.join(faults[:20]))
        # The bench still works.
        qmsim.clear_forced()
        with qmboard.open(1) as other:
            self.assertEqual(len(other.dut(0).capture(64)), 64)
        self.assertFalse(math.isnan(board.dut(0).measure(64).snr))


if __name__ == '__main__':
    unittest.main()
