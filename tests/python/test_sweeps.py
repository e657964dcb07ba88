"""Sweeps against the stand-in: a DAC frequency sweep with a point forced to
fail records the error and goes on, in CSV and JSON lines; Ctrl-C stops a
sweep with its rows kept; the register and configuration helpers; the
sweep plot."""
import collections
import csv
import json
import os
import shutil
import tempfile
import unittest
import xml.dom.minidom

import qmsim
import qm_python as qm
import qmboard
from qmboard import plot, sweeps
import svg_files
from bench_fixture import BenchTest

SAMPLES = 1024  # 0.25 MHz bins at 250 MSPS: a short record keeps the suite fast


class SweepTest(BenchTest):
    def setUp(self):
        BenchTest.setUp(self)
        self.folder = tempfile.mkdtemp()

    def tearDown(self):
        qmsim.clear_forced()
        BenchTest.tearDown(self)
        shutil.rmtree(self.folder)

    def failing_at(self, bad, point):
        """`point`, with the library's DAC command failing for the value `bad`."""
        def wrapped(value):
            if value == bad:
                qmsim.force_status('QmDacExecCommand', qm.QM_RETURN_ERROR)
            try:
                return point(value)
            finally:
                qmsim.clear_forced()
        wrapped.parameter, wrapped.unit = point.parameter, point.unit
        return wrapped

    def test_a_failing_point_records_its_error_and_the_sweep_goes_on(self):
        point = sweeps.dac_frequency(self.dut, level=-3.0, samples=SAMPLES)
        values = [5e6, 20e6, 40e6]
        for bad, name in ((20e6, 'sweep.csv'), (5e6, 'sweep.jsonl')):
            path = os.path.join(self.folder, name)
            run = qmboard.sweep(values, self.failing_at(bad, point), path=path)
            self.assertEqual((run.parameter, run.unit, len(run)), ('dac_frequency', 'Hz', 3))
            failed, = run.failed
            self.assertEqual((failed.value, failed.figures), (bad, None))
            self.assertIn('QmError: QmDacExecCommand failed with status 2', failed.error)
            for p in run:
                if p is not failed:
                    self.assertIsNone(p.error)
                    self.assertAlmostEqual(p.figures['fundamental_dbfs'], -3.0, delta=0.1)
                    self.assertEqual(p.figures['tone_frequency'], p.figures[
                        'fundamental_frequency'])
            with open(path) as rows:
                text = rows.read()
            if name.endswith('.csv'):
                rows = list(csv.reader(text.splitlines()))
                self.assertEqual(rows[0][:4], ['dac_frequency', 'tone_frequency', 'tone_level',
                                               'samples'])
                self.assertEqual(rows[0][-1], 'error')
                self.assertEqual([r[0] for r in rows[1:]], ['5000000.0', '20000000.0',
                                                            '40000000.0'])
                self.assertEqual(set(rows[2][1:-1]), set(['']))
                self.assertIn('QmDacExecCommand failed', rows[2][-1])
                self.assertEqual(float(rows[3][rows[0].index('snr')]),
                                 run.points[2].figures['snr'])  # repr: the same double
            else:
                # The first point failed: every row still has its own line, in order.
                rows = [json.loads(line, object_pairs_hook=collections.OrderedDict)
                        for line in text.splitlines()]
                self.assertEqual([r['dac_frequency'] for r in rows], values)
                self.assertEqual(rows[0].keys(), ['dac_frequency', 'error'])
                self.assertIsNone(rows[1]['error'])
                self.assertEqual(rows[1]['snr'], run.points[1].figures['snr'])
                self.assertIsNone(rows[1]['spur_order'])

    def test_ctrl_c_stops_the_sweep_and_keeps_the_rows(self):
        path = os.path.join(self.folder, 'stopped.csv')

        def point(value):
            if value == 2:
                raise KeyboardInterrupt
            if value == 1:
                raise ValueError('no such setting')
            return {'value_twice': 2 * value}
        self.assertRaises(KeyboardInterrupt, qmboard.sweep, [1, 0, 2, 3], point, path=path)
        with open(path) as rows:
            self.assertEqual(list(csv.reader(rows)), [
                ['value', 'value_twice', 'error'], ['1', '', 'ValueError: no such setting'],
                ['0', '0', '']])

    def test_register_and_configuration_points(self):
        read = lambda: {'read_back': self.board.read_register('fpga', 0xD010)}
        run = qmboard.sweep([1, 0xC0FFEE], sweeps.register(self.board, 'fpga', 0xD010, read))
        self.assertEqual(run.parameter, 'register fpga 0xd010')
        self.assertEqual(run.figure('read_back'), [(1, 1), (0xC0FFEE, 0xC0FFEE)])
        run = qmboard.sweep([0, 2, 3], sweeps.capture_config(self.dut, 64))
        self.assertEqual(len(run.failed), 1)
        self.assertIn('no capture configuration 3', run.failed[0].error)
        self.assertEqual([v for v, rate in run.figure('sampling_frequency')], [0, 2])
        self.assertEqual(run.figure('sampling_frequency')[1][1], 62.5e6)
        for args, kind in (((1, 2), TypeError), (([1], lambda v: 1), None),
                           (([1], read, None, 'xml'), ValueError)):
            if kind is None:
                self.assertIn('not int', qmboard.sweep(*args).failed[0].error)
            else:
                self.assertRaises(kind, qmboard.sweep, *args)
        self.assertRaises(TypeError, sweeps.dac_frequency, self.dut, level=-1.0, colour='red')
        self.assertRaises(ValueError, sweeps.dac_level, self.dut, 1e6, samples=2)

    def test_the_sweep_plot(self):
        point = sweeps.dac_frequency(self.dut, samples=SAMPLES)
        run = qmboard.sweep([5e6, 10e6, 40e6, 60e6], self.failing_at(40e6, point))
        path = os.path.join(self.folder, 'sweep.svg')
        plot.write_sweep_svg(run, path, ['snr', 'sfdr_dbc'])
        doc = xml.dom.minidom.parse(path)
        texts = svg_files.texts(doc)
        self.assertIn('Sweep of dac_frequency: 4 points, 1 failed', texts)
        self.assertIn('dac_frequency (MHz)', texts)
        for label in ('SNR (dB)', 'SFDR (dBc)', 'failed point'):
            self.assertIn(label, texts)
        self.assertTrue([t for t in texts if t.startswith('at 40 MHz: QmError')], texts)
        # Each figure: a line over 5 and 10 MHz and one lone point at 60 MHz.
        self.assertEqual(len(doc.getElementsByTagName('polyline')), 2)
        self.assertEqual(len(doc.getElementsByTagName('circle')), 2 * 3 + 2)
        self.assertRaises(ValueError, plot.sweep_svg_text, run, 'colour')
        self.assertRaises(TypeError, plot.sweep_svg_text, run, [1])
        self.assertRaises(TypeError, plot.sweep_svg_text, qmboard.sweep(['a'], lambda v: {}))


if __name__ == '__main__':
    unittest.main()
