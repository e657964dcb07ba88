"""The bench-API suites' fixture: the stand-in reset, board 0 open with its
DUT 0, closed after each test."""
import unittest

import qmboard
import qmsim


class BenchTest(unittest.TestCase):
    def setUp(self):
        qmsim.reset()
        self.board = qmboard.open(0)
        self.dut = self.board.dut(0)

    def tearDown(self):
        self.board.close()
