"""Dut.measure's arguments and the `python -m qmboard.measure` command."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

import qmsim
import qmboard


def run_cli(*args):
    """(exit status, stdout, stderr) of the command in a fresh interpreter."""
    proc = subprocess.Popen([sys.executable, '-m', 'qmboard.measure'] + list(args),
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    out, err = proc.communicate()
    return proc.returncode, out, err


class DutMeasureTest(unittest.TestCase):
    def setUp(self):
        qmsim.reset()

    def test_one_channel_of_an_interleaved_capture(self):
        with qmboard.open(0) as board:
            r = board.dut(0).measure(8192, config=1, channel=1)
        # Configuration 1 interleaves two channels: 8192 samples of one take 16384 words.
        self.assertEqual(qmsim.last_word('QmBoardReadCaptureData', 3), 16384)
        self.assertEqual(len(r.samples), 8192)
        self.assertEqual(r.fundamental_bin, 401 + 128)
        self.assertAlmostEqual(r.fundamental_dbfs, -0.915, delta=0.05)

    def test_bad_arguments_are_refused_before_any_capture(self):
        with qmboard.open(0) as board:
            dut = board.dut(0)
            for kw in ({'samples': 1000}, {'samples': 8}, {'config': 3},
                       {'config': 0, 'channel': 1}, {'window': 'hann'}):
                self.assertRaises(ValueError, dut.measure, **kw)
        self.assertEqual(qmsim.call_count('QmBoardWriteCaptureStart'), 0)


class CommandTest(unittest.TestCase):
    def test_prints_the_figures_and_writes_the_plot(self):
        folder = tempfile.mkdtemp()
        try:
            path = os.path.join(folder, 'out.svg')
            status, out, err = run_cli('--board', '0', '--samples', '8192', '--svg', path)
            self.assertEqual((status, err), (0, ''))
            self.assertTrue(open(path).read().startswith('<?xml'))
        finally:
            shutil.rmtree(folder)
        lines = out.splitlines()
        self.assertEqual(lines[2], 'Fundamental  12.238 MHz (bin 401), -0.915 dBFS')
        for name in ('SNR', 'SINAD', 'SFDR', 'THD', 'Noise floor', 'ENOB'):
            self.assertTrue([l for l in lines if l.startswith(name + ' ')], name)
        self.assertEqual(lines[-1], 'plot written to %s' % path)

    def test_failures_are_one_line_and_status_1(self):
        for args, message in (
                (('--samples', '1000'), 'not 1000'),
                (('--samples', '4294967296'), '--samples must be 1..4294967295, not 4294967296'),
                (('--board', '7'), 'QmBoardOpen failed'),
                (('--board', '-1'), '--board must be 0..15, not -1'),
                (('--dut', '-1'), '--dut must be 0..0, not -1'),
                (('--config', '7'), 'no capture configuration 7'),
                (('--svg', '/nonexistent/dir/out.svg'), 'cannot write /nonexistent/dir/out.svg')):
            status, out, err = run_cli(*args)
            self.assertEqual(status, 1, args)
            self.assertTrue(err.startswith('measure: ') and message in err, err)
            self.assertEqual(len(err.splitlines()), 1, err)
        status, out, err = run_cli('--samples', 'many')  # option syntax: the parser's own status
        self.assertEqual(status, 2)
        self.assertNotIn('Traceback', err)


if __name__ == '__main__':
    unittest.main()
