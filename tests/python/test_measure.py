"""Dut.measure's arguments and the `python -m qmboard.measure` command:
live, saved and loaded again, as JSON, and its failures."""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

import qmsim
import qmboard
from qmboard import results


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
    def setUp(self):
        self.folder = tempfile.mkdtemp()

    def tearDown(self):
        shutil.rmtree(self.folder)

    def test_a_saved_capture_gives_the_same_figures_and_json_numbers(self):
        figures = None
        for name in ('tone.qmc', 'tone.csv'):
            path = os.path.join(self.folder, name)
            status, live, err = run_cli('--samples', '4096', '--config', '1', '--channel', '1',
                                        '--save', path)
            self.assertEqual((status, err), (0, ''))
            self.assertEqual(live.splitlines()[-1], 'capture saved to %s' % path)
            status, offline, err = run_cli('--load', path, '--channel', '1')
            self.assertEqual((status, err), (0, ''))
            self.assertEqual(offline.splitlines(), live.splitlines()[:-1])
            self.assertIn('Fundamental  16.144 MHz (bin 264)', offline)  # off a bin: windowed
            status, out, err = run_cli('--load', path, '--channel', '1', '--json')
            self.assertEqual((status, err), (0, ''))
            if figures is None:
                figures = json.loads(out)
            self.assertEqual(json.loads(out), figures)
        # Every figure of the text, as a number that prints as the text does.
        self.assertEqual(figures['samples'], 4096)
        self.assertEqual((figures['window'], figures['coherent']), ('blackman-harris', False))
        for name, text in (('fundamental_frequency', '%.3f MHz' % (figures[
                'fundamental_frequency'] / 1e6)), ('snr', 'SNR          %.2f dB'),
                ('sinad', 'SINAD        %.2f dB'), ('thd', 'THD          %.2f dBc'),
                ('noise_floor', 'Noise floor  %.2f dBFS'), ('enob', 'ENOB         %.2f bits')):
            self.assertIsInstance(figures[name], float)
            self.assertIn(text % figures[name] if '%' in text else text, offline)
        self.assertIsInstance(figures['fundamental_bin'], int)
        self.assertIn('SFDR         %.2f dBc, %.2f dBFS' % (figures['sfdr_dbc'],
                                                          figures['sfdr_dbfs']), offline)
        # JSON has no infinities: a figure that is not finite is null.
        result = qmboard.load_capture(path).analyse()
        result.snr, result.thd = float('inf'), float('-inf')
        held = json.loads(results.json_text(result))
        self.assertEqual((held['snr'], held['thd'], held['sinad']), (None, None, result.sinad))

    def test_two_tones_code_density_averages_and_repeats(self):
        path = os.path.join(self.folder, 'two.qmc')
        status, live, err = run_cli('--two-tone', '10e6,11e6', '--samples', '16384', '--save', path)
        self.assertEqual((status, err), (0, ''))
        lines = live.splitlines()
        self.assertTrue(lines[2].startswith('Tone 1       9.995 MHz (bin 655), -7.00'), lines[2])
        self.assertIn('IMD3', live)
        # Loaded, the tones are looked for where they were sourced.
        status, offline, err = run_cli('--load', path, '--two-tone', '9.995e6,11.002e6', '--json')
        figures = json.loads(offline)
        self.assertAlmostEqual(figures['tone2_dbfs'], -7.0, delta=0.1)
        self.assertEqual([p['name'] for p in figures['products']],
                         ['f2-f1', 'f1+f2', '2f1-f2', '2f2-f1'])
        self.assertIn('Worst IMD    %.2f dBc' % figures['imd_dbc'], live)
        # The code density through the hardware histogram; saved, from the samples.
        status, out, err = run_cli('--histogram', '--json')
        density = json.loads(out)
        self.assertEqual((status, density['source'], density['samples']),
                         (0, 'hardware histogram', 1 << 20))
        self.assertEqual(len(density['dnl']), density['last_code'] - density['first_code'] - 1)
        svg = os.path.join(self.folder, 'dnl.svg')
        status, out, err = run_cli('--histogram', '--save', path, '--svg', svg)
        self.assertIn('Histogram    1048576 samples, 14 bits, samples', out)
        self.assertEqual(run_cli('--load', path, '--histogram')[1].splitlines(),
                         out.splitlines()[:-2])
        self.assertTrue(open(svg).read().startswith('<?xml'))
        # The largest spur, at 96.741 MHz, excluded: another one sets SFDR.
        status, out, err = run_cli('--averages', '4', '--harmonics', '9', '--exclude', '96.741e6')
        for text in ('Averages     4 spectra', '(H2-H10)', 'Excluded     bins 3170'):
            self.assertIn(text, out)
        self.assertNotIn('(96.741 MHz)', out)
        status, out, err = run_cli('--repeat', '3', '--json')
        stats = json.loads(out)
        self.assertEqual((status, stats['runs']), (0, 3))
        self.assertEqual(stats['snr_std'], 0.0)  # the stand-in's captures repeat themselves

    def test_files_that_cannot_be_loaded(self):
        path = os.path.join(self.folder, 'bad.csv')
        with open(path, 'wb') as out:
            out.write('# qmboard capture 1\n# board=zero\n')
        for args, message in ((('--load', path), 'bad.csv, line 2: field board'),
                              (('--load', os.path.join(self.folder, 'none.qmc')),
                               'cannot read %s' % os.path.join(self.folder, 'none.qmc')),
                              (('--load', path, '--board', '0'), '--board does not apply'),
                              (('--save', '/nonexistent/dir/t.qmc'),
                               'cannot write /nonexistent/dir/t.qmc')):
            status, out, err = run_cli(*args)
            self.assertEqual((status, out), (1, ''), args)
            self.assertTrue(err.startswith('measure: ') and message in err, err)
            self.assertEqual(len(err.splitlines()), 1, err)

    def test_prints_the_figures_and_writes_the_plot(self):
        path = os.path.join(self.folder, 'out.svg')
        status, out, err = run_cli('--board', '0', '--samples', '8192', '--svg', path)
        self.assertEqual((status, err), (0, ''))
        self.assertTrue(open(path).read().startswith('<?xml'))
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
                (('--svg', '/nonexistent/dir/out.svg'), 'cannot write /nonexistent/dir/out.svg'),
                (('--two-tone', '1e6'), 'two frequencies in Hz, F1,F2'),
                (('--two-tone', '1e6,1e6'), 'take the same coherent frequency'),
                (('--two-tone', '1e6,2e6', '--level', '3'), 'level must be'),
                (('--two-tone', '1e6,2e6', '--harmonics', '3'), '--harmonics does not apply'),
                (('--two-tone', '1e6,2e6', '--histogram'), 'give one'),
                (('--histogram', '--averages', '2'), '--averages does not apply'),
                (('--level', '-3'), '--level sets the two tones'),
                (('--averages', '0'), '--averages must be 1..'),
                (('--averages', '2000'), 'averages must be 1..1024'),
                (('--repeat', '2', '--save', 'x.qmc'), '--save keeps one capture'),
                (('--exclude', 'a:b'), '--exclude takes LOW:HIGH'),
                (('--exclude', '0:300e6'), 'beyond the first Nyquist zone'),
                (('--spurs', '-1'), 'spurs must be 0..100')):
            status, out, err = run_cli(*args)
            self.assertEqual(status, 1, args)
            self.assertTrue(err.startswith('measure: ') and message in err, err)
            self.assertEqual(len(err.splitlines()), 1, err)
        status, out, err = run_cli('--samples', 'many')  # option syntax: the parser's own status
        self.assertEqual(status, 2)
        self.assertNotIn('Traceback', err)


if __name__ == '__main__':
    unittest.main()
