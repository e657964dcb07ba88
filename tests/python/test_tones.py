"""Tone planning and the DAC tone: coherent frequencies' properties over
random targets and record lengths, waveforms that would clip refused, the
tone through the stand-in's loopback at the level asked, and closing a
board (or shutting down) stopping the DAC it started."""
import fractions
import math
import random
import unittest

import qmsim
import qm_python as qm
import qmboard
from qmboard import samples, tones
from bench_fixture import BenchTest


def is_power_of_two(n):
    return not n & (n - 1)


class CoherentFrequencyTest(unittest.TestCase):
    def check(self, target, fs, n):
        """The properties of one answer; False when the record length has no
        coherent frequency within a bin of the target (checked by search)."""
        x = target * n / fs
        near = [m for m in range(max(1, int(x) - 2), min((n - 1) // 2, int(x) + 3) + 1)
                if m % 2 and fractions.gcd(m, n) == 1]
        try:
            found = qmboard.coherent_frequency(target, fs, n)
        except ValueError as error:
            self.assertFalse(is_power_of_two(n), (target, fs, n))
            self.assertFalse([m for m in near if abs(m - x) <= 1], (target, fs, n))
            self.assertIn('nearest coherent frequencies', str(error))
            return False
        m = found.cycles
        self.assertEqual((m % 2, fractions.gcd(m, n)), (1, 1), (target, fs, n))
        self.assertTrue(1 <= m < n / 2.0)
        self.assertEqual(found.frequency, m * fs / n)
        # One bin, with room for the rounding of M fs / n (an ulp of fs or two).
        self.assertLessEqual(abs(found.frequency - target), fs / n + fs * 1e-15, (target, fs, n))
        closer = [c for c in near if abs(c - x) < abs(m - x) - 1e-9]
        self.assertEqual(closer, [], (target, fs, n))
        return True

    def test_odd_coprime_within_a_bin_and_nearest(self):
        rng = random.Random(19)
        lengths = [2 ** k for k in range(2, 21)] + [3, 5, 6, 7, 12, 1000, 1001, 4095, 30030]
        lengths += [rng.randint(3, 1 << 20) for _ in range(40)]
        misses = 0
        for n in lengths:
            fs = rng.choice([250e6, 100e6, 1.0, 62.5e6 / 3])
            for target in [0.0, fs / 2, fs / n, fs / (2 * n), fs / 2 - fs / (3 * n)] + [
                    rng.uniform(0, fs / 2) for _ in range(60)]:
                misses += not self.check(target, fs, n)
        # Lengths with many small odd factors (30030 = 2 3 5 7 11 13) do miss.
        self.assertGreater(misses, 0)
        with self.assertRaises(ValueError) as caught:
            qmboard.coherent_frequency(105e6, 1e9, 1000)
        self.assertIn('103000000 Hz (103 cycles) and 107000000 Hz (107 cycles)',
                      str(caught.exception))

    def test_edges_and_bad_arguments(self):
        self.assertEqual(qmboard.coherent_frequency(0, 250e6, 8192), (250e6 / 8192, 1))
        self.assertEqual(qmboard.coherent_frequency(125e6, 250e6, 8192).cycles, 4095)
        self.assertEqual(qmboard.coherent_frequency(1.5, 3, 3), (1.0, 1))
        # A tie between two qualifying counts goes to the lower one.
        self.assertEqual(qmboard.coherent_frequency(400 * 250e6 / 8192, 250e6, 8192).cycles, 399)
        for args, kind, message in (
                ((-1, 250e6, 8192), ValueError, 'target must be a number from 0 to 125000000'),
                ((126e6, 250e6, 8192), ValueError, 'not 126000000.0'),
                ((float('nan'), 250e6, 8192), ValueError, 'target must be'),
                (('1e6', 250e6, 8192), TypeError, 'target must be a number, not str'),
                ((1e6, 0, 8192), ValueError, 'fs must be a positive finite number'),
                ((1e6, 250e6, 2), ValueError, 'n must be 3..4294967295, not 2'),
                ((1e6, 250e6, 8192.0), TypeError, 'n must be an integer, not float')):
            with self.assertRaises(kind) as caught:
                qmboard.coherent_frequency(*args)
            self.assertIn(message, str(caught.exception))


class WaveformTest(unittest.TestCase):
    def test_periods_levels_and_refusing_to_clip(self):
        wave = qmboard.tone_waveform(5, -6.0206, 64, 16)
        self.assertEqual(max(wave), 16384)  # half of full scale, the peak on a sample
        self.assertEqual(len(wave), 64)
        twice = qmboard.tone_waveform([3, 7], -7.0, 128, 12)
        self.assertEqual(list(qmboard.tone_waveform([3, 7], [-7.0, -7.0], 128, 12)), list(twice))
        # The largest single tone: its rounded peak is 2**15 - 1 only below 0 dBFS.
        self.assertEqual(max(qmboard.tone_waveform(1, -0.0003, 4, 16)), 32767)
        for args, message in (
                (([3, 7], -5.0, 8192, 16), 'lower the levels by about'),
                ((1, 0.0, 4, 16), 'peak at 32768 codes, beyond the -32768..32767'),
                ((1, -0.0001, 4, 16, samples.BINARY), '-32767..32767 of 16 bits in BINARY'),
                ((1, 1.0, 64, 16), 'level must be a number from -inf to 0'),
                (([3, 3], -10.0, 64, 16), 'cycles must differ')):
            with self.assertRaises(ValueError) as caught:
                qmboard.tone_waveform(*args)
            self.assertIn(message, str(caught.exception))


# The tone through the loopback: the stand-in hands DAC update n (16 bits) to
# capture sample n as v >> 2 (14 bits: an arithmetic shift, so full scale maps
# to full scale and dBFS stays dBFS) plus d, -2..2 LSB (test_analysis.py's
# model). The error e per sample: d (variance 2), the shift's floor (discrete
# uniform over 0, 1/4, 2/4, 3/4 LSB: variance (4**2 - 1) / 12 / 16 = 0.078),
# the DAC's rounding (1/12 DAC LSB**2 = 0.005 LSB**2): sigma**2 = 2.09 LSB**2.
# A coherent tone of amplitude A sits on one bin, where the error adds a
# relative amplitude of sqrt(2 sigma**2 / N) / A: at -40 dBFS (A = 81.9 LSB)
# and N = 8192, 2.8e-4, or 0.0024 dB; the 0.1 dB asked for is 40 of those, and
# a level off by a factor (a wrong full scale, a lost channel) misses it.
LEVEL_TOLERANCE_DB = 0.1


class DacToneTest(BenchTest):
    def test_one_tone_through_the_loopback_at_its_level(self):
        for frequency, level in ((10e6, -1.0), (61e6, -40.0)):
            tone = self.dut.dac_tone(frequency, level)
            self.assertTrue(qmsim.dac_sourcing(0))
            self.assertEqual(tone.rate, 250e6)
            self.assertEqual(tone.frequencies, (tone.cycles[0] * 250e6 / 8192,))
            r = self.dut.measure(8192)
            self.assertTrue(r.coherent)
            self.assertEqual(r.fundamental_bin, tone.cycles[0])
            self.assertAlmostEqual(r.fundamental_frequency, tone.frequencies[0], delta=1e-6)
            self.assertAlmostEqual(r.fundamental_dbfs, level, delta=LEVEL_TOLERANCE_DB)
        # The samples downloaded are the waveform in the DAC's 16 bits, 8192 of them.
        self.assertEqual(len(qmsim.dac_samples(0)), 8192)
        self.assertEqual(qmsim.last_word('QmDacExecCommand', 2), qm.QM_DAC_CMD_START_SOURCING)
        # A capture of twice the record holds twice the periods: coherent still.
        tone = self.dut.dac_tone(10e6, -6.0, samples=4096)
        r = self.dut.measure(8192)
        self.assertEqual((r.coherent, r.fundamental_bin), (True, 2 * tone.cycles[0]))
        self.assertAlmostEqual(r.fundamental_dbfs, -6.0, delta=LEVEL_TOLERANCE_DB)

    def test_two_tones_and_two_channels(self):
        tone = self.dut.dac_tone([10e6, 11e6], [-7.0, -13.0], channels=(0, 1), config=1,
                                 data_format=qmboard.OFFSET_BINARY)
        self.assertEqual(len(qmsim.dac_samples(0)), 2 * 8192)
        for channel in (0, 1):
            r = self.dut.measure(8192, config=1, channel=channel)
            for m, level in zip(tone.cycles, tone.levels):
                # Rectangular window, coherent: a bin's level is its tone's.
                self.assertAlmostEqual(r.spectrum[m], level, delta=LEVEL_TOLERANCE_DB)
        # A 16-bit ADC reads the DAC's codes unshifted.
        self.dut.select('QMADC-1610')
        tone = self.dut.dac_tone(7e6, -20.0, samples=4096)
        self.assertEqual(tone.rate, 100e6)
        r = self.dut.measure(4096)
        self.assertAlmostEqual(r.fundamental_dbfs, -20.0, delta=LEVEL_TOLERANCE_DB)

    def test_refusals_come_before_the_dac_is_touched(self):
        cases = [
            (([10e6, 11e6], -5.0), ValueError, 'lower the levels by about'),
            ((10e6, 0.5), ValueError, 'level must be a number from -inf to 0'),
            ((130e6,), ValueError, 'frequency must be a number from 0 to 125000000'),
            (([10e6, 10.005e6],), ValueError, 'take the same coherent frequency'),
            ((10e6, -1.0, 2 ** 20, None, (0, 1)), ValueError,
             'samples x channels must be 16..1048576 words for DAC configuration 0, '
             'not 1048576 x 2'),
            ((10e6, -1.0, 8192, None, (0,), 1), ValueError, 'no DAC configuration 1'),
            ((10e6, -1.0, 8192, 0.0), ValueError, 'rate must be a positive finite number'),
            ((26.25e6, -1.0, 1000), ValueError, 'no odd number of cycles coprime with n = 1000'),
            (('10e6',), TypeError, 'frequency must be a number, not str'),
            (([],), ValueError, 'frequency must name at least one tone'),
        ]
        for args, kind, message in cases:
            with self.assertRaises(kind) as caught:
                self.dut.dac_tone(*args)
            self.assertIn(message, str(caught.exception), args)
        self.assertEqual(qmsim.call_count('QmDacExecCommand'), 0)
        # A converter faster than the DAC can update: the rate must be given.
        self.dut.select('QMADC-1206FMC')
        with self.assertRaises(ValueError) as caught:
            self.dut.dac_tone(10e6)
        self.assertIn('updates at 1000000..500000000 Hz, not at the 600000000 Hz of capture '
                      'configuration 0: give the rate', str(caught.exception))
        self.assertEqual(self.dut.dac_tone(10e6, rate=500e6).rate, 500e6)


class DacStopTest(unittest.TestCase):
    """Closing a board, or shutting the library down, stops the DAC a DUT of
    the board started: seen from inside the library's close, before the
    library itself stops anything."""

    def setUp(self):
        qmsim.reset()
        self.seen = []
        self.unsubscribe = qmboard.on_event(
            lambda event: self.seen.append(qmsim.dac_sourcing(0)))

    def tearDown(self):
        self.unsubscribe()
        qmsim.clear_forced()

    def sourcing_during(self, function, end):
        """Whether the DAC sourced when the library entered `function`, which end() calls."""
        qmsim.fire_during(function, qm.QM_DLL_EVENT_SIMULATOR_LOADED)
        end()
        self.assertFalse(qmsim.pending_during(function))
        return self.seen.pop()

    def test_close_and_shutdown_stop_what_was_started(self):
        board = qmboard.open(0)
        board.dut(0).dac_tone(10e6)
        self.assertFalse(self.sourcing_during('QmBoardClose', board.close))
        board = qmboard.open(0)
        board.dut(0).dac_download([0, 1000] * 8, 100e6)
        board.dut(0).dac_start()
        self.assertFalse(self.sourcing_during('QmShutdown', qmboard.shutdown))
        # A DAC stopped by hand is not stopped again; one started elsewhere is left alone.
        with qmboard.open(0) as board:
            board.dut(0).dac_tone(10e6)
            board.dut(0).dac_stop()
            qm.QmDacExecCommand(0, 0, qm.QM_DAC_CMD_START_SOURCING, qm.Qm_Dac_Cmd_Data())
            calls = qmsim.call_count('QmDacExecCommand')
        self.assertEqual(qmsim.call_count('QmDacExecCommand'), calls)

    def test_a_stop_that_fails_still_closes_and_says_so(self):
        board = qmboard.open(0)
        board.dut(0).dac_tone(10e6)
        qmsim.force_status('QmDacExecCommand', qm.QM_RETURN_ERROR)
        with self.assertRaises(qmboard.QmError) as caught:
            board.close()
        self.assertEqual(caught.exception.function, 'QmDacExecCommand')
        self.assertTrue(board.closed)
        self.assertFalse(qmsim.board_open(0))


if __name__ == '__main__':
    unittest.main()
