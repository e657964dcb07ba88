"""The stand-in's known imperfections and hardware histogram, set through its
test control (qmsim) and seen through the module: a long capture of the bench
API against the histogram read through the capture records."""
import math
import unittest

import qmsim
import qm_python as qm
import qmboard

N = 1 << 20


def histogram(board, samples, bins=16384):
    """The hardware histogram of `samples` samples: a capture of `bins` words."""
    setup = qm.QmCaptureSetup(TransferSize=bins, ChannelDataIndex=0,
                              DataFormat=qm.QmTwosComplementFormat, HistogramEnable=1,
                              HistogramMaxBin=bins - 1, num_acqs_per_strm=samples)
    assert qm.QmBoardWriteCaptureStart(board, 0, setup) == qm.QM_RETURN_OK
    counts = qm.Qm_Word_Array(bins)
    assert qm.QmBoardReadCaptureData(board, 0, counts.cast(), bins) == [qm.QM_RETURN_OK, bins]
    assert qm.QmBoardWriteCaptureEnd(board, 0) == qm.QM_RETURN_OK
    return [counts[i] for i in range(bins)]


class ImperfectionTest(unittest.TestCase):
    def setUp(self):
        qmsim.reset()

    def tearDown(self):
        qmsim.reset()

    def test_a_long_capture_and_its_hardware_histogram_agree(self):
        with qmboard.open(0) as board:
            dut = board.dut(0)
            self.assertEqual((dut.info.histogram_info, dut.capture_configs[0].transfer_max_size),
                             (16384, N))
            qmsim.set_tone_record(0, N)
            self.assertEqual(qmsim.tone_cycles(0, 0), (51327, N))
            qmsim.set_tone_level(0, 0.2)       # a little overdriven: clips
            qmsim.set_noise(0, 0)
            qmsim.set_code_width(0, -300, -1)  # a negative code through ctypes' int
            qmsim.set_code_width(0, 300, 0.5)
            samples = dut.capture(N)
            mine = [0] * 16384
            for v in samples:
                mine[v + 8192] += 1
            self.assertEqual(histogram(0, N), mine)
        self.assertEqual(mine[-300 + 8192], 0)
        self.assertTrue(mine[0] > 1000 and mine[16383] > 1000)  # clipped at both limits
        # Code 300 half an LSB wider holds the inputs 299.25 up to 300.75: the
        # N evenly spread phases put within 2 of N / pi (asin(hi / A) -
        # asin(lo / A)) there (two arcs of the circle, each within 1).
        a = qmsim.tone(0, 0)[1]
        share = N / math.pi * (math.asin(300.75 / a) - math.asin(299.25 / a))
        self.assertAlmostEqual(mine[300 + 8192], share, delta=2)

    def test_wrappers_pass_refusals_on_and_reset_clears(self):
        for call in (lambda: qmsim.set_harmonic(0, 1, -60),
                     lambda: qmsim.set_tone_level(0, float('nan')),
                     lambda: qmsim.add_tone(0, -5.0, -60),
                     lambda: qmsim.set_transition(0, 1 << 15, 0.1),
                     lambda: qmsim.tone_cycles(0, 3)):
            self.assertRaises(ValueError, call)
        qmsim.set_tone_level(0, float('-inf'))
        qmsim.set_harmonic(0, 2, -60)
        qmsim.set_tone_record(0, 4096)
        self.assertEqual(qmsim.tone(0, 0)[1], 0)
        qmsim.reset()
        self.assertEqual(qmsim.tone(0, 0)[1], 0.9 * 8192)
        self.assertEqual(qmsim.tone_cycles(0, 0), (401, 8192))


if __name__ == '__main__':
    unittest.main()
