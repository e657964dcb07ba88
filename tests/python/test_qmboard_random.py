"""Seeded random and boundary arguments to every public name of qmboard
(functions, classes, and the methods and properties of live boards, DUTs,
EEPROMs and I2C devices) against the stand-in. Only the documented
exceptions may come out, with qmboard's own messages (never the flat
layer's "in method ..." texts), and the bench still works afterwards."""
import inspect
import math
import os
import shutil
import tempfile
import unittest

import qmsim
import qmboard
from random_arguments import Checker, Values
from qmboard import analysis, capture_files, density, plot, results, samples, sweeps, tones
from qmboard import two_tone

SEED = 18
CALLS = 4000
ALLOWED = (TypeError, ValueError, IndexError, qmboard.QmError, EnvironmentError)
FLAT_TEXTS = ("in method '", "in variable '")


# ---- arguments: the shared boundary values, the bench's own, and its live objects ----
EXTRA = [2, 8, 14, 16, 64, 0x7F, 0xD010, -2 ** 63, 0.5, -1.5, 1e6, 1e200, 'a', 'fpga', 'spi',
         'QMADC-1610', 'adc_1.2.3.4.bit', '\0', u'\xe9', [1.5, 2], [0, 1], (0,), (0, 1, 2, 3, 4),
         set([1]), Ellipsis, qmboard.BINARY, qmboard.OFFSET_BINARY, qmboard.TWOS_COMPLEMENT,
         analysis.RECTANGULAR, analysis.BLACKMAN_HARRIS, [100, -100] * 8, [0.0] * 64]


def judge(error):
    """Why an allowed exception is still wrong: a codec's complaint or a flat
    layer's message is no message of qmboard's own."""
    if isinstance(error, UnicodeError):
        return 'a codec error'
    if any(text in str(error) for text in FLAT_TEXTS):
        return "the flat layer's message"
    return None


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


def targets(board, dut, capture, results_=()):
    """(name, callable) for every public function and class, and the public
    methods and properties of the live objects and measurement results."""
    found = public(qmboard, [n for n in qmboard.__all__
                             if n not in ('Event', 'on_event', 'SPACES')])
    found += public(analysis, ['analyse', 'average', 'check', 'fft', 'rfft', 'Spectrum',
                               'Options'])
    found += public(two_tone, ['analyse_two_tone', 'average_two_tone'])
    found += public(density, ['code_density', 'code_density_of_counts'])
    found += public(plot, ['svg_text', 'write_svg', 'sweep_svg_text', 'write_sweep_svg',
                           'two_tone_svg_text', 'write_two_tone_svg', 'code_density_svg_text',
                           'write_code_density_svg'])
    found += public(samples, ['decode', 'decode_words', 'encode', 'check_format', 'format_name',
                              'word_view'])
    found += public(tones, ['code_range'])
    found += public(capture_files, ['save', 'load', 'csv_text', 'binary_bytes', 'sample_size'])
    found += public(results, ['json_text', 'figures', 'figures_of', 'tables'])
    found += public(sweeps, ['dac_frequency', 'dac_level', 'capture_config', 'register'])
    for obj in (board, dut, board.cypress_eeprom, board.i2c(0x68), capture) + results_:
        for name, value in inspect.getmembers(type(obj)):
            label = '%s.%s' % (type(obj).__name__, name)
            if name.startswith('_'):
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
        board = qmboard.open(0)
        dut = board.dut(0)
        result = dut.measure(64)
        capture = dut.record(64, config=1)
        run = qmboard.sweep([1, 2.5], lambda value: {'twice': 2 * value})
        measured = (result, qmboard.analyse_two_tone([100, -100, 50, 0] * 16 + [3, 1] * 32, 12,
                                                     1e6, 'rectangular'),
                    dut.code_density(1 << 14), qmboard.repeat(lambda: result, 2))
        live = [board, dut, result, board.cypress_eeprom, qmboard.Version(1, 2, 3, 4), capture,
                run] + list(measured)
        values = Values(SEED, makers=[lambda: values.choice(live)], extra=EXTRA)
        check = Checker(ALLOWED, judge=judge)
        names = targets(board, dut, capture, measured)
        for _ in range(CALLS):
            label, function = values.choice(names)
            low, high = arity(function)
            if values.random.random() < 0.1:
                count = values.random.randint(max(0, low - 1), high + 1)
            else:
                count = values.random.randint(low, high)
            check.call(label, function, *values.picks(count))
            if board.closed:  # shutdown() or close() came up: carry on with a fresh board
                board = qmboard.open(0)
                dut = board.dut(0)
                live[:2] = [board, dut]
                names = targets(board, dut, capture, measured)
        self.assertEqual(check.faults, [], '\n'.join(check.faults))
        # The bench still works.
        qmsim.clear_forced()
        with qmboard.open(1) as other:
            self.assertEqual(len(other.dut(0).capture(64)), 64)
        self.assertFalse(math.isnan(board.dut(0).measure(64).snr))


if __name__ == '__main__':
    unittest.main()
